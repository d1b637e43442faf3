// ScratchFile: an unnamed temporary file for output that must wait.
//
// Some files need a summary of their data before the data itself (the
// SQL*Loader control file declares each column's longest value ahead of the
// rows): the writer puts the data here first, writes the head into its
// OutputFile, then copyTo() appends the whole scratch content after it.
//
// The file is made in the folder of the path given (usually the output
// file's, so the copy can stay inside one file system and the kernel may
// share blocks instead of copying): unnamed with O_TMPFILE where the file
// system allows, otherwise under a hidden name that is unlinked at once,
// with the termination signals held in between, so no name is ever left
// behind. A folder that takes no new files gives way to $TMPDIR (or /tmp).
// The file disappears when the object is destroyed.
//
// Text is gathered in a buffer as in OutputFile: append whole lines to
// buffer() and call flushIfFull() after each. Every system call goes through
// fileOps() (writers/file_ops.h).
//
// Errors throw varnelo::Error as OutputFile's do, naming the operation and
// the file: "Disk full (writing a scratch file for /tmp/x/out.ctl)".
//
// Not thread-safe; one export owns one ScratchFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "writers/output_file.h"

namespace varnelo {

class ScratchFile {
public:
    static constexpr size_t kDefaultBufferSize = OutputFile::kDefaultBufferSize;

    // Creates the file beside `nearPath` (which need not exist yet).
    explicit ScratchFile(std::string nearPath, size_t bufferSize = kDefaultBufferSize);
    ~ScratchFile();

    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    std::string& buffer() { return buf_; }
    void flushIfFull() {
        if (buf_.size() >= limit_) flush();
    }
    void write(std::string_view text) {
        buf_.append(text);
        flushIfFull();
    }
    void flush();

    // Bytes held so far, pending ones included.
    uint64_t size() const { return written_ + buf_.size(); }

    // Appends the whole content to `out`, after what out has pending
    // (copy_file_range where the kernel can, else sendfile, else read and
    // write). The scratch file keeps its content.
    void copyTo(OutputFile& out);

private:
    [[noreturn]] void fail(int savedErrno, const char* operation);
    bool create(const std::string& folder);
    void writeAll(const char* data, size_t size);

    std::string near_;  // named in errors
    int fd_ = -1;
    uint64_t written_ = 0;
    std::string buf_;
    size_t limit_;
};

}  // namespace varnelo
