#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace varnelo::platform {

namespace {

std::string folderPart(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string basePart(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string randomSuffix() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
    std::string s;
    for (int i = 0; i < 6; ++i) s += letters[pick(gen)];
    return s;
}

// Closes a descriptor and keeps the errno of the failure being reported.
void closeKeepingErrno(int fd) {
    int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

int replaceFile(const std::string& requested, std::string_view content, std::optional<mode_t> mode) {
    if (requested.empty()) return ENOENT;
    std::string path = requested;
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists) {
        if (!S_ISREG(st.st_mode)) return EISDIR;
        if (::access(path.c_str(), W_OK) != 0) return errno;
        if (char* real = ::realpath(requested.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const std::string folder = folderPart(path);
    std::string base = basePart(path).substr(0, NAME_MAX - 8);

    std::string temp;
    int fd = -1;
    const mode_t createMode = mode ? *mode : 0666;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + "." + randomSuffix();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        return err;
    };
    // Explicit bits, or the replaced file's: the umask must not widen or
    // narrow what the caller asked for.
    if (mode || exists) {
        if (::fchmod(fd, mode ? *mode : (st.st_mode & 07777)) != 0) return fail(errno);
    }
    for (size_t done = 0; done < content.size();) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return err;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return err;
    }
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);  // best effort: the new file is in place already
        ::close(dirFd);
    }
    return 0;
}

int makeFolders(const std::string& dir, mode_t mode) {
    if (dir.empty()) return ENOENT;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::string parent = folderPart(dir);
    if (parent != dir && parent != "." && parent != "/") {
        if (int err = makeFolders(parent, mode)) return err;
    }
    if (::mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return errno;
    return 0;
}

FolderLock::FolderLock(const std::string& dir) {
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            closeKeepingErrno(fd_);
            fd_ = -1;
            return;
        }
    }
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace varnelo::platform
