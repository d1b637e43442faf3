#include "writers/scratch_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "writers/file_ops.h"

namespace varnelo {

namespace {

constexpr size_t kMaxChunk = size_t{1} << 30;
constexpr size_t kCopyBuffer = 256 * 1024;

bool refusesNewFiles(int e) { return e == EACCES || e == EPERM || e == EROFS; }

// The kernel cannot copy between these two files this way; the next way may.
bool copyUnsupported(int e) { return e == EXDEV || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP || e == EBADF; }

}  // namespace

ScratchFile::ScratchFile(std::string nearPath, size_t bufferSize)
    : near_(std::move(nearPath)), limit_(bufferSize ? bufferSize : 1) {
    std::string near = near_;
    if (char* real = ::realpath(near_.c_str(), nullptr)) {
        near = real;
        std::free(real);
    }
    if (!create(folderOf(near))) {
        int e = errno;
        if (refusesNewFiles(e)) {
            const char* tmp = std::getenv("TMPDIR");
            if (create(tmp && *tmp ? tmp : "/tmp")) e = 0;
            else e = errno;
        }
        if (e != 0) fail(e, "creating");
    }
    buf_.reserve(limit_ + limit_ / 8);
}

// One try in one folder: false with errno set when it fails.
bool ScratchFile::create(const std::string& folder) {
    FileOps& ops = fileOps();
    fd_ = ops.openat(AT_FDCWD, folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0) return true;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;

    // Named for a moment: the termination signals wait until the name is
    // gone again, so none can leave it behind.
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    std::string path;
    int e = EEXIST;
    for (int attempt = 0; attempt < 100 && fd_ < 0 && e == EEXIST; ++attempt) {
        path = (folder == "/" ? "/" : folder + "/") + temporaryName("scratch");
        fd_ = ops.openat(AT_FDCWD, path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        e = errno;
    }
    if (fd_ >= 0 && ops.unlinkat(AT_FDCWD, path.c_str(), 0) != 0) {
        e = errno;
        ops.unlinkat(AT_FDCWD, path.c_str(), 0);  // once more; the file is unusable either way
        ops.close(fd_);
        fd_ = -1;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = e;
    return fd_ >= 0;
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) fileOps().close(fd_);
}

void ScratchFile::fail(int e, const char* operation) {
    throw fileError(e, std::string(operation) + " a scratch file for " + near_);
}

void ScratchFile::writeAll(const char* data, size_t size) {
    FileOps& ops = fileOps();
    while (size > 0) {
        const ssize_t n = ops.write(fd_, data, std::min(size, kMaxChunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, "writing");
        }
        if (n == 0) fail(ENOSPC, "writing");
        data += n;
        size -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
}

void ScratchFile::flush() {
    if (buf_.empty()) return;
    writeAll(buf_.data(), buf_.size());
    buf_.clear();
}

void ScratchFile::copyTo(OutputFile& out) {
    flush();
    out.flush();
    if (out.fd_ < 0 && !out.stream_) out.fail(EBADF, "writing");
    FileOps& ops = fileOps();
    off_t at = 0;
    const auto end = static_cast<off_t>(written_);

    // A pipe gets plain writes, which hold back SIGPIPE.
    // A stream sink has no descriptor: plain writes through it.
    const bool plain = out.pipeLike_ || (out.stream_ && !out.spooled_);
    bool kernelCopy = !plain, sendfile = !plain;
    while (kernelCopy && at < end) {
        const ssize_t n =
            ops.copyFileRange(fd_, &at, out.fd_, nullptr, std::min(static_cast<size_t>(end - at), kMaxChunk), 0);
        if (n > 0) {  // copy_file_range moved `at` on
            out.bytes_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n == 0) break;    // nothing moved: let the next way finish
        if (errno == EINTR) continue;
        if (!copyUnsupported(errno)) out.fail(errno, "copying into");
        kernelCopy = false;
    }
    while (sendfile && at < end) {
        const ssize_t n = ops.sendfile(out.fd_, fd_, &at, std::min(static_cast<size_t>(end - at), kMaxChunk));
        if (n > 0) {
            out.bytes_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (errno != EINVAL && errno != ENOSYS) out.fail(errno, "copying into");
        sendfile = false;
    }
    if (at >= end) return;
    std::unique_ptr<char[]> chunk(new char[kCopyBuffer]);
    while (at < end) {
        const ssize_t n = ops.pread(fd_, chunk.get(), std::min(static_cast<size_t>(end - at), kCopyBuffer), at);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, "reading");
        }
        if (n == 0) fail(EIO, "reading");  // shorter than what was written to it
        out.writeAll(chunk.get(), static_cast<size_t>(n));
        at += n;
    }
}

}  // namespace varnelo
