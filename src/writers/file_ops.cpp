#include "writers/file_ops.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace varnelo {

namespace {

// openat is variadic; the table wants a plain signature.
int openatCall(int dirFd, const char* path, int flags, mode_t mode) { return ::openat(dirFd, path, flags, mode); }

const FileOps kSystem{
    .openat = &openatCall,
    .write = &::write,
    .pread = &::pread,
    .fdatasync = &::fdatasync,
    .fsync = &::fsync,
    .fchmod = &::fchmod,
    .linkat = &::linkat,
    .renameat = &::renameat,
    .unlinkat = &::unlinkat,
    .close = &::close,
    .copyFileRange = &::copy_file_range,
    .sendfile = &::sendfile,
};

FileOps gOps = kSystem;

// Room for "." + base + ".XXXXXX" within NAME_MAX (255).
constexpr size_t kMaxBase = 200;
constexpr int kNameAttempts = 100;

}  // namespace

FileOps& fileOps() { return gOps; }

const FileOps& systemFileOps() { return kSystem; }

int32_t fileErrorNumber(int e) {
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

Error fileError(int savedErrno, std::string_view operationAndFile) {
    const int32_t number = fileErrorNumber(savedErrno);
    std::string text = standardErrorText(number);
    text.append(" (").append(operationAndFile).append(")");
    return Error(number, "Varnelo", std::move(text), savedErrno);
}

std::string temporaryName(std::string_view base) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint64_t> counter{0};
    unsigned char bytes[6];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet: the clock and a counter still make clashes rare,
        // and O_EXCL settles the rest.
        uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                     (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^ static_cast<uint64_t>(::getpid());
        for (unsigned char& b : bytes) {
            x = x * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<unsigned char>(x >> 56);
        }
    }
    std::string name = ".";
    name.append(base.substr(0, kMaxBase)).append(".");
    for (unsigned char b : bytes) name += kLetters[b % (sizeof kLetters - 1)];
    return name;
}

int createNamedTemporary(int dirFd, std::string_view base, int flags, mode_t mode, std::string& name) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = temporaryName(base);
        const int fd = fileOps().openat(dirFd, candidate.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

std::string folderOf(const std::string& p) {
    const auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string baseOf(const std::string& p) {
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

}  // namespace varnelo
