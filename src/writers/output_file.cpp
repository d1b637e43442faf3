#include "writers/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "varnelo/error.h"

namespace varnelo {

namespace {

constexpr size_t kMaxWriteChunk = size_t{1} << 30;

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// Devices and process files are written in place, never replaced, even when
// they resolve to a regular file (/dev/stdout redirected into a file).
bool isSpecialPath(const std::string& p) {
    return startsWith(p, "/dev/") || startsWith(p, "/proc/");
}

// The process umask without changing it (umask(2) only reads by writing).
mode_t currentUmask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, f)) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                found = true;
                break;
            }
        }
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

std::string folderOf(const std::string& p) {
    auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string baseOf(const std::string& p) {
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Keeps a broken pipe from killing the process: SIGPIPE is held back while
// the writes run, and one that they caused is taken off the pending set.
class SigpipeGuard {
public:
    explicit SigpipeGuard(bool active) : active_(active) {
        if (!active_) return;
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeGuard() {
        if (!active_) return;
        if (broken && !wasPending_) {
            timespec zero{};
            while (sigtimedwait(&pipe_, nullptr, &zero) == -1 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    bool broken = false;

private:
    bool active_;
    bool wasPending_ = false;
    sigset_t pipe_{}, old_{};
};

}  // namespace

int32_t OutputFile::errorNumberFor(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP: return err::kPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY: return err::kPathFileAccess;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return err::kDiskFull;
        case EMFILE:
        case ENFILE: return err::kTooManyFiles;
        case ENAMETOOLONG: return err::kBadFileNameOrNumber;
        case ENOMEM: return err::kOutOfMemory;
        case EIO:
        case EPIPE: return err::kDeviceIoError;
        default: return err::kPathFileAccess;
    }
}

OutputFile::OutputFile(std::string path, Options options)
    : path_(std::move(path)), sync_(options.syncBeforeRename) {
    limit_ = options.bufferSize ? options.bufferSize : 1;
    if (path_.empty()) throw Error::standard(err::kBadFileNameOrNumber);
    target_ = path_;

    struct stat st {};
    bool exists = ::stat(path_.c_str(), &st) == 0;
    if (!exists) {
        int e = errno;
        struct stat lst {};
        if (e == ENOENT && ::lstat(path_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            // A dangling link: create the file it names, as opening it would.
            openDirect();
            return;
        }
        if (e != ENOENT || path_.back() == '/') fail(e);
    } else {
        if (S_ISDIR(st.st_mode)) fail(EISDIR);
        if (!S_ISREG(st.st_mode) || isSpecialPath(path_)) {
            openDirect();
            return;
        }
        if (char* real = ::realpath(path_.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
            if (isSpecialPath(target_)) {
                openDirect();
                return;
            }
        }
    }

    std::string base = baseOf(target_);
    if (base.size() > 200) base.resize(200);  // room for the temp suffix in NAME_MAX
    std::string folder = folderOf(target_);
    working_ = (folder == "/" ? "/" : folder + "/") + "." + base + ".XXXXXX";
    fd_ = ::mkostemp(working_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        int e = errno;
        if ((e == EACCES || e == EPERM) && exists && ::access(target_.c_str(), W_OK) == 0) {
            // The folder takes no new files but the file itself may be
            // written: do what a plain open would.
            openDirect();
            return;
        }
        working_.clear();
        fail(e);
    }
    tempExists_ = true;

    mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Best effort: only root (or a group member for the group) may.
        if (::fchown(fd_, st.st_uid, st.st_gid) != 0) {
        }
    }
    if (::fchmod(fd_, mode) != 0) fail(errno);
    buf_.reserve(limit_ + limit_ / 8);
}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

void OutputFile::openDirect() {
    direct_ = true;
    working_ = target_;
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) fail(errno);
    struct stat st {};
    if (::fstat(fd_, &st) == 0) pipeLike_ = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
    buf_.reserve(limit_ + limit_ / 8);
}

void OutputFile::fail(int e) {
    discard();
    throw Error::standard(errorNumberFor(e), "Varnelo", e);
}

void OutputFile::writeAll(const char* data, size_t size) {
    if (fd_ < 0) fail(EBADF);
    SigpipeGuard sigpipe(pipeLike_);
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size < kMaxWriteChunk ? size : kMaxWriteChunk);
        if (n < 0) {
            int e = errno;
            if (e == EINTR) continue;
            if (e == EPIPE) sigpipe.broken = true;
            fail(e);
        }
        if (n == 0) fail(ENOSPC);  // no progress and no reason: the device is full
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void OutputFile::flush() {
    if (buf_.empty()) return;
    writeAll(buf_.data(), buf_.size());
    buf_.clear();
}

void OutputFile::closeFd() {
    int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports an error, so
    // EINTR is not retried; the error itself (late EIO, ENOSPC on NFS) counts.
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
}

void OutputFile::commit() {
    if (committed_) return;
    flush();
    if (sync_ && !direct_ && ::fdatasync(fd_) != 0) fail(errno);
    closeFd();
    if (!direct_) {
        if (::rename(working_.c_str(), target_.c_str()) != 0) fail(errno);
        tempExists_ = false;
    }
    committed_ = true;
}

void OutputFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (tempExists_) {
        ::unlink(working_.c_str());
        tempExists_ = false;
    }
}

}  // namespace varnelo
