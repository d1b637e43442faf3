// SharedStrings: the workbook's shared-string table (SST) for the .xls
// backend, and its index.
//
// Every text cell refers to one entry by number; equal texts share one.
// Entries are kept already encoded as BIFF8 strings (character count,
// option flags, characters): 8-bit "compressed" characters when every
// character is Latin-1, else UTF-16LE. Memory holds only these bytes, one
// offset per entry and a hash index.
//
// writeRecords() lays the table out in an SST record and as many CONTINUE
// records as it needs, each at most 8,224 data bytes. A string header is
// never split; a string's characters may run on into the next record,
// which then starts with a fresh option-flags byte; a UTF-16 surrogate pair
// is never split. It also yields the EXTSST record that indexes the table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnelo::xls {

class SharedStrings {
public:
    // The entry for valid UTF-8 text of at most 65,535 UTF-16 units, added
    // when new. Counts one reference.
    uint32_t add(std::string_view utf8);

    uint32_t uniqueCount() const { return static_cast<uint32_t>(offsets_.size()); }
    uint32_t referenceCount() const { return references_; }
    // Bytes the encoded entries take (what the SST records carry, less
    // their headers and the continuation flags).
    uint64_t encodedBytes() const { return blob_.size(); }

    // Hands the SST and CONTINUE records, headers included, one whole record
    // at a time to `put`. `streamPos` is where the SST record starts in the
    // workbook stream; the positions EXTSST needs are kept for extsst().
    void writeRecords(uint64_t streamPos, const std::function<void(std::string_view)>& put);
    // The EXTSST record (header included) for the last writeRecords().
    std::string extsst() const;

private:
    void grow();
    bool sameAt(uint32_t index, std::string_view encoded) const;

    std::string blob_;               // encoded entries, back to back
    std::vector<uint32_t> offsets_;  // where each entry starts in blob_
    std::vector<uint64_t> slots_;    // open addressing: (hash << 32) | (index + 1); 0 is empty
    uint32_t references_ = 0;
    std::string scratch_;
    // EXTSST: one (stream position, offset in its record) per bucket.
    uint32_t perBucket_ = 8;
    std::vector<std::pair<uint32_t, uint16_t>> buckets_;
};

}  // namespace varnelo::xls
