// OutputFile: the file a writer produces, replaced all at once.
//
// Text goes into a temporary file beside the target (".name.XXXXXX" in the
// same folder) and only commit() renames it over the target. An export that
// fails part-way - an exception, or the object destroyed without commit() -
// leaves whatever file was there before untouched and removes the temporary,
// so no half-written file can be taken for a good one.
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
//
// Errors throw varnelo::Error with the standard numbers and the errno of the
// failing call (Error::lastSystemError): folder missing 76 "Path not found",
// no permission or a target that is a folder 75 "Path/File access error",
// disk full 61, too many open files 67, I/O error 57, an empty name 52.
//
// Not thread-safe; one export at a time owns one OutputFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace varnelo {

class OutputFile {
public:
    static constexpr size_t kDefaultBufferSize = 512 * 1024;

    struct Options {
        size_t bufferSize = kDefaultBufferSize;
        // Flush the data to the disk before the rename, so that a system
        // crash leaves the old file or the whole new one. Off by default:
        // it costs a disk round trip and guards only against power loss.
        bool syncBeforeRename = false;
    };

    // Opens (creates) the temporary file, or the target itself when it is
    // written directly. Throws Error on failure.
    explicit OutputFile(std::string path) : OutputFile(std::move(path), Options{}) {}
    OutputFile(std::string path, Options options);
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
    // target. After a failed commit the old target is still there.
    void commit();

    // The path given, and the file being written (the temporary, or the
    // target in direct mode).
    const std::string& path() const { return path_; }
    const std::string& workingPath() const { return working_; }
    bool direct() const { return direct_; }
    bool committed() const { return committed_; }

    // The standard error number for an errno of a file operation.
    static int32_t errorNumberFor(int savedErrno);

private:
    [[noreturn]] void fail(int savedErrno);
    void openDirect();
    void writeAll(const char* data, size_t size);
    void closeFd();
    void discard() noexcept;

    std::string path_;     // as given
    std::string target_;   // what commit() replaces (a link's destination)
    std::string working_;  // the file open in fd_
    int fd_ = -1;
    bool direct_ = false;
    bool pipeLike_ = false;  // writes may fail with EPIPE
    bool committed_ = false;
    bool tempExists_ = false;
    bool sync_ = false;
    std::string buf_;
    size_t limit_;
};

}  // namespace varnelo
