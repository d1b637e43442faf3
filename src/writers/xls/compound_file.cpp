#include "writers/xls/compound_file.h"

#include "varnelo/error.h"
#include "writers/xls/biff.h"

namespace varnelo::xls {

namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kIdsPerSector = kSectorSize / 4;
constexpr uint32_t kHeaderDifat = 109;  // FAT sector numbers the header holds
constexpr uint32_t kMiniStreamCutoff = 4096;
// Special sector numbers.
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

void padTo(std::string& b, size_t size) { b.append(size - b.size(), '\0'); }

// One 128-byte directory entry.
void directoryEntry(std::string& b, std::string_view name, uint8_t type, uint32_t child, uint32_t start,
                    uint64_t size) {
    const size_t at = b.size();
    for (char c : name) put16(b, static_cast<unsigned char>(c));
    padTo(b, at + 64);
    put16(b, name.empty() ? 0 : static_cast<uint32_t>(name.size() + 1) * 2);  // with the terminating NUL
    put8(b, type);
    put8(b, type == 0 ? 0 : 1);  // black: a tree of one node per level is a valid red-black tree
    put32(b, kNoStream);  // left sibling
    put32(b, kNoStream);  // right sibling
    put32(b, child);
    padTo(b, at + 116);  // CLSID, state bits, creation and modification times: none
    put32(b, start);
    put32(b, static_cast<uint32_t>(size));
    put32(b, 0);  // high half of the size, zero in version 3
}

}  // namespace

uint64_t CompoundLayout::fileSize() const {
    return uint64_t{kSectorSize} * (1 + streamSectors + 1 + fatSectors + difatSectors);
}

CompoundLayout compoundLayout(uint64_t streamSize) {
    CompoundLayout l;
    l.streamSize = streamSize < kMiniStreamCutoff ? kMiniStreamCutoff : streamSize;
    l.streamSectors = static_cast<uint32_t>((l.streamSize + kSectorSize - 1) / kSectorSize);
    // The FAT covers every sector, its own and the DIFAT's included: grow
    // both until they cover themselves.
    for (;;) {
        const uint64_t sectors = uint64_t{l.streamSectors} + 1 + l.fatSectors + l.difatSectors;
        const auto fat = static_cast<uint32_t>((sectors + kIdsPerSector - 1) / kIdsPerSector);
        const uint32_t difat = fat > kHeaderDifat ? (fat - kHeaderDifat + kIdsPerSector - 2) / (kIdsPerSector - 1) : 0;
        if (fat == l.fatSectors && difat == l.difatSectors) return l;
        l.fatSectors = fat;
        l.difatSectors = difat;
    }
}

void writeCompoundFile(OutputFile& out, std::string_view streamName, uint64_t streamSize,
                       const std::function<void(StreamSink&)>& writeStream) {
    if (streamSize > kMaxStreamSize || streamName.size() > 31)
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "A compound file stream holds at most 2 GB; this one would take " + std::to_string(streamSize) +
                        " bytes.");
    const CompoundLayout l = compoundLayout(streamSize);
    const uint32_t dirSector = l.streamSectors;
    const uint32_t firstFat = dirSector + 1;
    const uint32_t firstDifat = firstFat + l.fatSectors;

    std::string b;
    b.reserve(kSectorSize);
    static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    b.append(reinterpret_cast<const char*>(kSignature), 8);
    padTo(b, 24);               // CLSID
    put16(b, 0x003E);           // minor version
    put16(b, 0x0003);           // major version 3: 512-byte sectors
    put16(b, 0xFFFE);           // byte order mark: little-endian
    put16(b, 9);                // sector size 2^9
    put16(b, 6);                // mini sector size 2^6
    padTo(b, 40);
    put32(b, 0);                // directory sectors: always 0 in version 3
    put32(b, l.fatSectors);
    put32(b, dirSector);
    put32(b, 0);                // transaction signature
    put32(b, kMiniStreamCutoff);
    put32(b, kEndOfChain);      // no mini FAT
    put32(b, 0);
    put32(b, l.difatSectors ? firstDifat : kEndOfChain);
    put32(b, l.difatSectors);
    for (uint32_t i = 0; i < kHeaderDifat; ++i) put32(b, i < l.fatSectors ? firstFat + i : kFreeSect);
    out.write(b);

    StreamSink sink(out);
    writeStream(sink);
    if (sink.written() != streamSize)
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The compound file's stream came to " + std::to_string(sink.written()) + " bytes, not the " +
                        std::to_string(streamSize) + " its directory records.");
    b.assign(uint64_t{l.streamSectors} * kSectorSize - streamSize, '\0');
    b.reserve(kSectorSize);
    out.write(b);

    b.clear();
    directoryEntry(b, "Root Entry", 5, 1, kEndOfChain, 0);
    directoryEntry(b, streamName, 2, kNoStream, 0, l.streamSize);
    while (b.size() < kSectorSize) directoryEntry(b, "", 0, kNoStream, 0, 0);
    out.write(b);

    // The FAT: the stream's chain, the directory, the FAT and DIFAT sectors
    // marked as such, the rest free.
    const uint64_t used = uint64_t{firstDifat} + l.difatSectors;
    b.clear();
    for (uint64_t s = 0; s < uint64_t{l.fatSectors} * kIdsPerSector; ++s) {
        uint32_t v = kFreeSect;
        if (s + 1 < l.streamSectors) v = static_cast<uint32_t>(s + 1);
        else if (s + 1 == l.streamSectors || s == dirSector) v = kEndOfChain;
        else if (s < firstDifat) v = kFatSect;
        else if (s < used) v = kDifSect;
        put32(b, v);
        if (b.size() >= OutputFile::kDefaultBufferSize) {
            out.write(b);
            b.clear();
        }
    }
    // The DIFAT sectors: 127 more FAT sector numbers each, then the next.
    for (uint32_t d = 0; d < l.difatSectors; ++d) {
        for (uint32_t i = 0; i < kIdsPerSector - 1; ++i) {
            const uint64_t fat = kHeaderDifat + uint64_t{d} * (kIdsPerSector - 1) + i;
            put32(b, fat < l.fatSectors ? firstFat + static_cast<uint32_t>(fat) : kFreeSect);
        }
        put32(b, d + 1 < l.difatSectors ? firstDifat + d + 1 : kEndOfChain);
    }
    out.write(b);
}

}  // namespace varnelo::xls
