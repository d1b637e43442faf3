#include "writers/xls/cell_spool.h"

#include <cerrno>
#include <cstring>

#include "varnelo/error.h"

namespace varnelo::xls {

void CellSpool::fail(const char* what) {
    const int e = errno ? errno : EIO;
    const int32_t number = OutputFile::errorNumberFor(e);
    throw Error(number, "Varnelo",
                standardErrorText(number) + ". The Excel workbook could not be written: " + what +
                    " the temporary file of the sheet's cells (" + std::strerror(e) + ").",
                e);
}

void CellSpool::spill() {
    if (buf_.empty()) return;
    errno = 0;
    if (!file_) {
        file_.reset(std::tmpfile());
        if (!file_) fail("cannot create");
    }
    if (std::fwrite(buf_.data(), 1, buf_.size(), file_.get()) != buf_.size()) fail("cannot write");
    spilled_ += buf_.size();
    buf_.clear();
}

void CellSpool::copyTo(StreamSink& sink) {
    if (file_) {
        spill();
        errno = 0;
        if (std::fflush(file_.get()) != 0) fail("cannot write");
        std::rewind(file_.get());
        std::string chunk(kMemoryLimit, '\0');
        for (uint64_t left = spilled_; left > 0;) {
            const size_t want = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
            if (std::fread(chunk.data(), 1, want, file_.get()) != want) fail("cannot read back");
            sink.append(std::string_view(chunk.data(), want));
            left -= want;
        }
    }
    sink.append(buf_);
}

}  // namespace varnelo::xls
