// FileOps: the system calls the output files make, gathered in one table.
//
// OutputFile and ScratchFile never call open, write, fdatasync, rename and
// the like themselves: they call through fileOps(), which holds the real
// system calls. A test can swap one entry (or all of them, with wrappers
// that count the calls) to make the Nth file operation of an export fail
// with a chosen errno, and so prove that every failure keeps the previous
// file and leaves no temporary behind.
//
// Each entry has the signature and errno contract of the system call it is
// named after. Read-only questions (stat, access, realpath) are not in the
// table: they change nothing, and a failure in them is a failure of the
// next real operation.
//
// The cost in production is one indirect call per operation; writes go out
// in pieces of a buffer's size, so it is not measurable.
//
// Not thread-safe to change: swap entries only while no file is open (the
// tests do it at the start and end of one test).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "varnelo/error.h"

namespace varnelo {

struct FileOps {
    int (*openat)(int dirFd, const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* data, size_t size);
    ssize_t (*pread)(int fd, void* data, size_t size, off_t offset);
    int (*fdatasync)(int fd);
    int (*fsync)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*linkat)(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags);
    int (*renameat)(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath);
    int (*unlinkat)(int dirFd, const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*copyFileRange)(int inFd, off_t* inOffset, int outFd, off_t* outOffset, size_t size,
                             unsigned flags);
    ssize_t (*sendfile)(int outFd, int inFd, off_t* inOffset, size_t size);
};

// The table every file operation goes through; the system's calls unless a
// test has changed it.
FileOps& fileOps();

// The system's calls, to restore the table or to wrap them.
const FileOps& systemFileOps();

// The standard error number for an errno of a file operation: 76 for a
// missing folder, 75 for no permission, 61 disk full, 57 I/O error, ...
int32_t fileErrorNumber(int savedErrno);

// The error for a failed file operation: its standard number and text, with
// what was being done to which file in parentheses ("Disk full (writing
// /tmp/x/out.csv)"), and the errno as the last system error.
Error fileError(int savedErrno, std::string_view operationAndFile);

// A fresh hidden name for a temporary beside `base`: ".base.XXXXXX" with six
// random letters or digits (the base cut so the name fits in NAME_MAX).
std::string temporaryName(std::string_view base);

// Creates a new file under a fresh temporaryName(base) in the folder open as
// dirFd (O_CREAT | O_EXCL, trying other names while they are taken). Returns
// the descriptor and sets `name`, or -1 with errno set.
int createNamedTemporary(int dirFd, std::string_view base, int flags, mode_t mode, std::string& name);

// The folder part and the last part of a path ("." and the path itself when
// it has no slash).
std::string folderOf(const std::string& path);
std::string baseOf(const std::string& path);

}  // namespace varnelo
