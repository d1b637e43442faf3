// OutputFile: the file a writer produces, replaced all at once.
//
// Text goes into a temporary file in the target's folder and only commit()
// puts it in the target's place. The temporary is created unnamed
// (O_TMPFILE) where the file system allows, so that nothing is left behind
// even when the process is killed; commit() links it under a fresh hidden
// name (".name.XXXXXX") and renames that over the target, which replaces the
// target in one step. Where the file system refuses unnamed files, the
// temporary is a named ".name.XXXXXX" from the start; the command-line host
// calls removeTemporariesOnSignals() so that SIGINT, SIGTERM and SIGHUP
// remove it too. An export that fails part-way - an exception, or the object
// destroyed without commit() - leaves whatever file was there before
// untouched and no temporary.
//
// Durability (Options::syncBeforeRename, on by default): the new file's data
// reaches the disk (fdatasync) before it takes the old one's place, and the
// folder is synced after the rename, so a crash or power cut leaves the old
// file or the whole new one. The rename is the point of no return: a failure
// to sync the folder afterwards is still reported (the disk is failing), but
// the new file is then already in place.
//
// Refused targets, each with error 75 and nothing written: a file the user
// may not write (as opening it would be refused, rather than replaced
// through the folder), and a file that is one of Options::filesBeingRead
// (same device and inode, found also through a symbolic or hard link).
//
// A target that exists and is not a regular file (a FIFO, a character
// device such as /dev/null, anything under /dev or /proc such as /dev/stdout)
// cannot be replaced: it is opened and written directly, and a failure
// leaves in it what was written so far. The same holds when the folder
// refuses new files but the existing target itself may be written.
//
// The new file keeps the permission bits (and, where allowed, the owner) of
// the file it replaces; a new file gets 0666 less the umask. A symbolic link
// to a regular file is followed: the file it points at is replaced.
//
// Text is gathered in a buffer and written with write(2) in large pieces.
// Writers append whole lines to buffer() and call flushIfFull() after each.
// Every system call on the file goes through fileOps() (writers/file_ops.h).
//
// Errors throw varnelo::Error with the standard numbers and the errno of the
// failing call (Error::lastSystemError): folder missing 76 "Path not found",
// no permission or a target that is a folder 75 "Path/File access error",
// disk full 61, too many open files 67, I/O error 57, an empty name 52. The
// description is the standard text followed by the operation and the file,
// e.g. "Disk full (writing /tmp/x/out.csv)".
//
// Sinks: an OutputFile can also write to what its caller already has open,
// a file descriptor or a std::ostream, which it never closes. Text goes
// straight through as it comes; with `spool` (for writers that write their
// file by path, such as the workbook library) the output is built in an
// unnamed temporary under $TMPDIR and copied to the sink at commit. Nothing
// is replaced: a failure leaves in the sink what was written so far.
//
// Not thread-safe; one export at a time owns one OutputFile.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnelo {

class ScratchFile;

class OutputFile {
public:
    static constexpr size_t kDefaultBufferSize = 512 * 1024;

    struct Options {
        size_t bufferSize = kDefaultBufferSize;
        // Flush the data to the disk before the rename and sync the folder
        // after it, so that a system crash leaves the old file or the whole
        // new one. Costs a disk round trip or two per export.
        bool syncBeforeRename = true;
        // Files the export reads (a database and its companions): the target
        // may not be any of them.
        std::vector<std::string> filesBeingRead{};
    };

    // Opens (creates) the temporary file, or the target itself when it is
    // written directly. Throws Error on failure.
    explicit OutputFile(std::string path) : OutputFile(std::move(path), Options{}) {}
    OutputFile(std::string path, Options options);

    // What a sink writes to: an open descriptor, or else a stream.
    struct Sink {
        int fd = -1;
        std::ostream* stream = nullptr;
    };
    // Writes to `sink`; `name` is what path() returns and errors name.
    OutputFile(Sink sink, std::string name, bool spool);
    ~OutputFile();  // without commit(): discards the temporary

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Pending text; append to it freely, then call flushIfFull().
    std::string& buffer() { return buf_; }
    void flushIfFull() {
        if (buf_.size() >= limit_) flush();
    }
    void write(std::string_view text) {
        buf_.append(text);
        flushIfFull();
    }
    // Writes all pending text to the file.
    void flush();

    // Writes what is pending, closes the file and puts it in place of the
    // target. After a failed commit the old target is still there (but see
    // the folder sync above).
    void commit();

    // The path given, and a path that opens the file being written: the
    // temporary ("/proc/self/fd/N" while it is unnamed), or the target in
    // direct mode. A library that writes the file itself opens this path
    // (in this process only: /proc/self means the opener).
    const std::string& path() const { return path_; }
    const std::string& workingPath() const { return working_; }
    bool direct() const { return direct_; }
    bool committed() const { return committed_; }
    // True while the temporary has no name in the folder (O_TMPFILE).
    bool unnamed() const { return unnamed_; }
    // Bytes of the finished output, known after commit().
    uint64_t bytes() const { return bytes_; }

    // The standard error number for an errno of a file operation.
    static int32_t errorNumberFor(int savedErrno);

    // Installs handlers for SIGINT, SIGTERM and SIGHUP (where they still
    // have their default action) that remove the named temporaries of this
    // process and then end it with the same signal. For hosts that own the
    // process, such as the command line; call once at start.
    static void removeTemporariesOnSignals();

private:
    friend class ScratchFile;  // copies its content straight into fd_

    [[noreturn]] void fail(int savedErrno, const char* operation, const char* suffix = "");
    void openDirect();
    void createTemporary(const std::string& folder, bool exists);
    void linkUnnamed();
    void writeAll(const char* data, size_t size);
    void writeOut(const char* data, size_t size);
    void copySpoolToSink();
    void discard() noexcept;
    void forgetName() noexcept;

    std::string path_;     // as given
    std::string target_;   // what commit() replaces (a link's destination)
    std::string working_;  // a path to the file open in fd_
    std::string tempName_;  // the temporary's name in the folder, once it has one
    int fd_ = -1;
    int dirFd_ = -1;       // the target's folder, for the *at calls and its sync
    bool folderSyncable_ = true;
    int slot_ = -1;        // in the signal registry while tempName_ exists
    mode_t mode_ = 0;      // the new file's permission bits
    bool chown_ = false;   // give the new file the old one's owner
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool direct_ = false;
    bool unnamed_ = false;
    bool pipeLike_ = false;  // writes may fail with EPIPE
    bool committed_ = false;
    bool sync_ = true;
    bool borrowed_ = false;          // fd_ is the caller's: never closed here
    std::ostream* stream_ = nullptr;  // the sink stream, when there is one
    int sinkFd_ = -1;                 // the sink descriptor while spooling
    bool spooled_ = false;
    uint64_t bytes_ = 0;
    std::string buf_;
    size_t limit_;
};

}  // namespace varnelo
