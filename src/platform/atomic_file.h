// Whole-file replacement for small files the control keeps (settings).
//
// The new content goes into a fresh hidden file beside the target
// (".name.XXXXXX"), reaches the disk (fsync) and is renamed over the
// target, and the folder is synced: a reader sees the old file or the whole
// new one, never a part, and a crash at any point leaves one of the two.
// A failure removes the temporary and leaves the target as it was.
//
// The target is refused (EACCES) when it exists and the user may not write
// it, as opening it for writing would be. A symbolic link is followed: the
// file it points at is replaced.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace varnelo::platform {

// Replaces `path` with `content`. The new file gets `mode` when given,
// else the permission bits of the file it replaces, else 0666 less the
// umask. Returns 0, or the errno of the failing call.
int replaceFile(const std::string& path, std::string_view content, std::optional<mode_t> mode = std::nullopt);

// Creates `dir` and any missing parents with `mode` (less the umask).
// Returns 0 (also when it exists as a folder) or an errno.
int makeFolders(const std::string& dir, mode_t mode);

// An exclusive lock on a folder (flock), released by the destructor; it
// keeps the read-change-write of one file in that folder whole against
// other processes doing the same. A folder that cannot be opened gives no
// lock (held() is false) and nothing else.
class FolderLock {
public:
    explicit FolderLock(const std::string& dir);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace varnelo::platform
