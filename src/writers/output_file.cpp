#include "writers/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>

#include "varnelo/error.h"
#include "writers/file_ops.h"
#include "writers/temporary_names.h"

namespace varnelo {

namespace {

constexpr size_t kMaxWriteChunk = size_t{1} << 30;
constexpr int kLinkAttempts = 100;

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

// An unnamed temporary is reached by others (a library that opens the
// working path, linkat at commit) through /proc/self/fd; without /proc the
// temporaries are named.
bool procFdAvailable() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

// Holds back the signals whose handler removes named temporaries while a
// name is created and remembered, so none can slip between the two.
class TerminationSignalsHeld {
public:
    TerminationSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        sigaddset(&held, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &held, &old_);
    }
    ~TerminationSignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
    TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

private:
    sigset_t old_{};
};

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

int32_t OutputFile::errorNumberFor(int e) { return fileErrorNumber(e); }

void OutputFile::removeTemporariesOnSignals() { temporary_names::installOnSignals(); }

OutputFile::OutputFile(std::string path, Options options)
    : path_(std::move(path)), sync_(options.syncBeforeRename) {
    limit_ = options.bufferSize ? options.bufferSize : 1;
    if (path_.empty()) throw Error::standard(err::kBadFileNameOrNumber);
    target_ = path_;

    struct stat st {};
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists) {
        // Before anything opens it: a direct open would truncate it too.
        for (const std::string& read : options.filesBeingRead) {
            struct stat rst {};
            if (::stat(read.c_str(), &rst) != 0 || rst.st_dev != st.st_dev || rst.st_ino != st.st_ino) continue;
            std::string what = path_ + " is the database being read";
            if (read != path_) what += ", " + read;
            throw Error(err::kPathFileAccess, "Varnelo", standardErrorText(err::kPathFileAccess) + " (" + what + ")");
        }
    } else {
        const int e = errno;
        struct stat lst {};
        if (e == ENOENT && ::lstat(path_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            // A dangling link: create the file it names, as opening it would.
            openDirect();
            return;
        }
        if (e != ENOENT || path_.back() == '/') fail(e, "opening");
    }
    if (exists) {
        if (S_ISDIR(st.st_mode)) fail(EISDIR, "opening");
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
        // A file the user may not write is refused as opening it would be,
        // though the folder would let us replace it.
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) fail(errno, "opening", " for writing");
        mode_ = st.st_mode & 07777;
        chown_ = st.st_uid != ::geteuid() || st.st_gid != ::getegid();
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else {
        mode_ = 0666 & ~currentUmask();
    }

    FileOps& ops = fileOps();
    const std::string folder = folderOf(target_);
    dirFd_ = ops.openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd_ < 0 && errno == EACCES) {
        // A folder we may add to but not list: usable, but it cannot be synced.
        dirFd_ = ops.openat(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
        folderSyncable_ = false;
    }
    if (dirFd_ < 0) fail(errno, "opening the folder of");
    createTemporary(folder, exists);
}

void OutputFile::createTemporary(const std::string& folder, bool exists) {
    FileOps& ops = fileOps();
    if (procFdAvailable()) {
        fd_ = ops.openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            unnamed_ = true;
            working_ = "/proc/self/fd/" + std::to_string(fd_);
            buf_.reserve(limit_ + limit_ / 8);
            return;
        }
    }
    // The file system knows no unnamed files (EOPNOTSUPP; EISDIR or EINVAL
    // from kernels that predate them): a named temporary instead.
    if (fd_ < 0 && (!procFdAvailable() || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        TerminationSignalsHeld held;
        fd_ = createNamedTemporary(dirFd_, baseOf(target_), O_WRONLY | O_CLOEXEC, 0600, tempName_);
        if (fd_ >= 0) slot_ = temporary_names::remember(dirFd_, tempName_.c_str());
    }
    if (fd_ < 0) {
        const int e = errno;
        if ((e == EACCES || e == EPERM) && exists) {
            // The folder takes no new files but the file itself may be
            // written (checked above): do what a plain open would.
            openDirect();
            return;
        }
        fail(e, "creating a temporary file for");
    }
    working_ = (folder == "/" ? "/" : folder + "/") + tempName_;
    buf_.reserve(limit_ + limit_ / 8);
}

OutputFile::OutputFile(Sink sink, std::string name, bool spool) : path_(std::move(name)), sync_(false) {
    limit_ = kDefaultBufferSize;
    target_ = working_ = path_;
    direct_ = true;
    if (spool) {
        // Unnamed, in the temporary folder: reached by path through /proc.
        const char* tmp = std::getenv("TMPDIR");
        fd_ = fileOps().openat(AT_FDCWD, tmp && *tmp ? tmp : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0) fail(errno, "creating a temporary file for");
        spooled_ = true;
        sinkFd_ = sink.fd;
        stream_ = sink.stream;
        working_ = "/proc/self/fd/" + std::to_string(fd_);
    } else if (sink.fd >= 0) {
        fd_ = sink.fd;
        borrowed_ = true;
        struct stat st {};
        if (::fstat(fd_, &st) == 0) pipeLike_ = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
    } else {
        stream_ = sink.stream;
    }
    if (fd_ < 0 && !stream_) fail(EBADF, "opening");
    buf_.reserve(limit_ + limit_ / 8);
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::openDirect() {
    FileOps& ops = fileOps();
    if (dirFd_ >= 0) {
        ops.close(dirFd_);
        dirFd_ = -1;
    }
    direct_ = true;
    working_ = target_;
    fd_ = ops.openat(AT_FDCWD, target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) fail(errno, "opening");
    struct stat st {};
    if (::fstat(fd_, &st) == 0) pipeLike_ = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
    buf_.reserve(limit_ + limit_ / 8);
}

void OutputFile::fail(int e, const char* operation, const char* suffix) {
    discard();
    throw fileError(e, std::string(operation) + " " + path_ + suffix);
}

void OutputFile::writeAll(const char* data, size_t size) {
    if (stream_ && !spooled_) {
        if (!stream_->write(data, static_cast<std::streamsize>(size))) fail(EIO, "writing");
        bytes_ += size;
        return;
    }
    if (fd_ < 0) fail(EBADF, "writing");
    SigpipeGuard sigpipe(pipeLike_);
    FileOps& ops = fileOps();
    while (size > 0) {
        ssize_t n = ops.write(fd_, data, size < kMaxWriteChunk ? size : kMaxWriteChunk);
        if (n < 0) {
            int e = errno;
            if (e == EINTR) continue;
            if (e == EPIPE) sigpipe.broken = true;
            fail(e, "writing");
        }
        if (n == 0) fail(ENOSPC, "writing");  // no progress and no reason: the device is full
        data += n;
        size -= static_cast<size_t>(n);
        bytes_ += static_cast<uint64_t>(n);
    }
}

// Writes to the sink a spooled output is copied to.
void OutputFile::writeOut(const char* data, size_t size) {
    if (stream_) {
        if (!stream_->write(data, static_cast<std::streamsize>(size))) fail(EIO, "writing");
        return;
    }
    SigpipeGuard sigpipe(true);
    FileOps& ops = fileOps();
    while (size > 0) {
        const ssize_t n = ops.write(sinkFd_, data, size < kMaxWriteChunk ? size : kMaxWriteChunk);
        if (n < 0) {
            const int e = errno;
            if (e == EINTR) continue;
            if (e == EPIPE) sigpipe.broken = true;
            fail(e, "writing");
        }
        if (n == 0) fail(ENOSPC, "writing");
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void OutputFile::copySpoolToSink() {
    constexpr size_t kChunk = 256 * 1024;
    std::unique_ptr<char[]> chunk(new char[kChunk]);
    FileOps& ops = fileOps();
    uint64_t total = 0;
    for (off_t at = 0;;) {
        const ssize_t n = ops.pread(fd_, chunk.get(), kChunk, at);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, "reading the temporary file of");
        }
        if (n == 0) break;
        writeOut(chunk.get(), static_cast<size_t>(n));
        at += n;
        total += static_cast<uint64_t>(n);
    }
    if (stream_ && !stream_->flush()) fail(EIO, "writing");
    bytes_ = total;
}

void OutputFile::flush() {
    if (buf_.empty()) return;
    writeAll(buf_.data(), buf_.size());
    buf_.clear();
}

// Gives the unnamed temporary a fresh hidden name in the target's folder, so
// that a rename can put it over the target in one step (linkat cannot
// replace an existing name).
void OutputFile::linkUnnamed() {
    FileOps& ops = fileOps();
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const std::string base = baseOf(target_);
    for (int attempt = 0; attempt < kLinkAttempts; ++attempt) {
        std::string name = temporaryName(base);
        TerminationSignalsHeld held;
        if (ops.linkat(AT_FDCWD, self.c_str(), dirFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            tempName_ = std::move(name);
            slot_ = temporary_names::remember(dirFd_, tempName_.c_str());
            return;
        }
        if (errno != EEXIST) break;
    }
    fail(errno, "linking the new file for");
}

void OutputFile::commit() {
    if (committed_) return;
    flush();
    FileOps& ops = fileOps();
    if (spooled_) {
        copySpoolToSink();
        const int fd = fd_;
        fd_ = -1;
        ops.close(fd);  // a temporary that is gone with its descriptor
        committed_ = true;
        return;
    }
    if (borrowed_ || (stream_ && fd_ < 0)) {
        // The caller's: flushed, never closed.
        fd_ = -1;
        if (stream_ && !stream_->flush()) fail(EIO, "writing");
        committed_ = true;
        return;
    }
    {
        // A library may have written the file itself: its size is the count.
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) bytes_ = static_cast<uint64_t>(st.st_size);
    }
    if (direct_) {
        const int fd = fd_;
        fd_ = -1;
        // Linux releases the descriptor even when close reports an error, so
        // EINTR is not retried; the error itself (late EIO, ENOSPC on NFS) counts.
        if (ops.close(fd) != 0 && errno != EINTR) fail(errno, "closing");
        committed_ = true;
        return;
    }
    if (chown_ && ::fchown(fd_, uid_, gid_) != 0) {
        // Best effort: only root (or a group member for the group) may.
    }
    if (ops.fchmod(fd_, mode_) != 0) fail(errno, "setting the permissions of");
    if (sync_ && ops.fdatasync(fd_) != 0) fail(errno, "syncing");
    if (unnamed_) linkUnnamed();
    const int fd = fd_;
    fd_ = -1;
    if (ops.close(fd) != 0 && errno != EINTR) fail(errno, "closing");
    if (ops.renameat(dirFd_, tempName_.c_str(), dirFd_, baseOf(target_).c_str()) != 0) fail(errno, "replacing");
    tempName_.clear();
    forgetName();
    // The new file is in place: from here on a failure cannot bring the old
    // one back, but the caller still hears that the rename may not last.
    committed_ = true;
    const int dirFd = dirFd_;
    dirFd_ = -1;
    const bool synced = !sync_ || !folderSyncable_ || ops.fsync(dirFd) == 0;
    const int e = errno;
    ops.close(dirFd);  // opened for reading only: its close loses nothing
    if (!synced) fail(e, "syncing the folder of", ", after the new file took its place");
}

void OutputFile::forgetName() noexcept {
    temporary_names::forget(slot_);
    slot_ = -1;
}

void OutputFile::discard() noexcept {
    FileOps& ops = fileOps();
    if (borrowed_) fd_ = -1;
    if (fd_ >= 0) {
        ops.close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ops.unlinkat(dirFd_, tempName_.c_str(), 0);
        tempName_.clear();
    }
    forgetName();
    if (dirFd_ >= 0) {
        ops.close(dirFd_);
        dirFd_ = -1;
    }
}

}  // namespace varnelo
