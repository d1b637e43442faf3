// CellSpool: the worksheet's cell records, in the order they come, kept
// until the workbook is saved (the sheet's leading records - column widths,
// dimensions - are known only at the end).
//
// The first megabyte stays in memory; beyond it the records go to an
// unnamed temporary file (tmpfile(3), removed by the system whatever
// happens), so memory does not grow with the rows. Errors throw
// varnelo::Error with the standard number for the errno (disk full 61, ...).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "writers/xls/compound_file.h"

namespace varnelo::xls {

class CellSpool {
public:
    // Records are appended here; call spillIfFull() after each.
    std::string& buffer() { return buf_; }
    void spillIfFull() {
        if (buf_.size() >= kMemoryLimit) spill();
    }
    // All bytes appended so far.
    uint64_t size() const { return spilled_ + buf_.size(); }
    // Appends everything, in order, to the sink.
    void copyTo(StreamSink& sink);

private:
    static constexpr size_t kMemoryLimit = 1 << 20;
    void spill();
    [[noreturn]] static void fail(const char* what);

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    uint64_t spilled_ = 0;
    std::string buf_;
};

}  // namespace varnelo::xls
