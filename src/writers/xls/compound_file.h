// A compound document (the OLE2 "structured storage" container, version 3,
// 512-byte sectors) that holds one stream, written front to back.
//
// Layout: the header; the stream in consecutive sectors from sector 0,
// padded to whole sectors; one directory sector (the Root Entry and the
// stream's entry); the FAT sectors; the DIFAT sectors that list the FAT
// sectors past the 109 the header holds. Streams shorter than the 4,096-byte
// cutoff would belong in the mini stream: writeCompoundFile() pads them to
// the cutoff instead, which readers accept (the workbook's records end with
// its EOF record; the zeros after it are never read).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "writers/output_file.h"

namespace varnelo::xls {

// The most bytes a stream may hold in a version 3 file.
constexpr uint64_t kMaxStreamSize = 0x80000000u;

// Appends the stream's bytes to the output and counts them.
class StreamSink {
public:
    explicit StreamSink(OutputFile& out) : out_(out) {}
    void append(std::string_view bytes) {
        out_.buffer().append(bytes);
        out_.flushIfFull();
        written_ += bytes.size();
    }
    uint64_t written() const { return written_; }

private:
    OutputFile& out_;
    uint64_t written_ = 0;
};

// Sector counts of a file holding a stream of `streamSize` bytes.
struct CompoundLayout {
    uint32_t streamSectors = 0;
    uint32_t fatSectors = 0;
    uint32_t difatSectors = 0;
    uint64_t streamSize = 0;  // as recorded: at least the cutoff
    uint64_t fileSize() const;
};
CompoundLayout compoundLayout(uint64_t streamSize);

// Writes the whole file into `out`: `writeStream` must append exactly
// `streamSize` bytes (at most kMaxStreamSize) to the sink. `streamName` is
// ASCII ("Workbook").
void writeCompoundFile(OutputFile& out, std::string_view streamName, uint64_t streamSize,
                       const std::function<void(StreamSink&)>& writeStream);

}  // namespace varnelo::xls
