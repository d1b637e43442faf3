#include "writers/xls/shared_strings.h"

#include <algorithm>

#include "varnelo/error.h"
#include "writers/xls/biff.h"

namespace varnelo::xls {

namespace {

// EXTSST holds at most this many buckets, so that it fits one record.
constexpr uint32_t kMaxBuckets = 1024;
constexpr uint32_t kMinPerBucket = 8;

bool isHighSurrogate(std::string_view utf16, size_t at) {
    const auto hi = static_cast<unsigned char>(utf16[at + 1]);
    return hi >= 0xD8 && hi <= 0xDB;
}

}  // namespace

uint32_t SharedStrings::add(std::string_view utf8) {
    scratch_.clear();
    const size_t units = appendBiffString(scratch_, utf8, 2, 0xFFFFFFFF);
    if (units > 0xFFFF)
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "A text of " + std::to_string(units) + " characters is longer than a shared string holds.");

    if ((offsets_.size() + 1) * 2 > slots_.size()) grow();
    const auto hash = static_cast<uint32_t>(std::hash<std::string_view>{}(scratch_));
    const size_t mask = slots_.size() - 1;
    size_t at = hash & mask;
    for (; slots_[at] != 0; at = (at + 1) & mask) {
        const uint64_t slot = slots_[at];
        const auto index = static_cast<uint32_t>(slot & 0xFFFFFFFF) - 1;
        if (static_cast<uint32_t>(slot >> 32) == hash && sameAt(index, scratch_)) {
            ++references_;
            return index;
        }
    }
    const auto index = static_cast<uint32_t>(offsets_.size());
    if (blob_.size() + scratch_.size() > 0xFFFFFFFFu)
        throw Error(err::kInvalidProcedureCall, "Varnelo", "The shared strings outgrow 4 GB.");
    offsets_.push_back(static_cast<uint32_t>(blob_.size()));
    blob_.append(scratch_);
    slots_[at] = (uint64_t{hash} << 32) | (uint64_t{index} + 1);
    ++references_;
    return index;
}

bool SharedStrings::sameAt(uint32_t index, std::string_view encoded) const {
    const size_t start = offsets_[index];
    const size_t end = index + 1 < offsets_.size() ? offsets_[index + 1] : blob_.size();
    return std::string_view(blob_).substr(start, end - start) == encoded;
}

void SharedStrings::grow() {
    std::vector<uint64_t> old = std::move(slots_);
    slots_.assign(std::max<size_t>(1024, old.size() * 2), 0);
    const size_t mask = slots_.size() - 1;
    for (uint64_t slot : old) {
        if (slot == 0) continue;
        size_t at = (slot >> 32) & mask;
        while (slots_[at] != 0) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

void SharedStrings::writeRecords(uint64_t streamPos, const std::function<void(std::string_view)>& put) {
    const auto unique = uniqueCount();
    perBucket_ = std::max(kMinPerBucket, (unique + kMaxBuckets - 1) / kMaxBuckets);
    buckets_.clear();

    std::string rec;
    rec.reserve(4 + kMaxRecordData);
    uint64_t recordPos = streamPos;  // where `rec` starts in the stream
    auto begin = [&](uint16_t number) {
        rec.clear();
        put16(rec, number);
        put16(rec, 0);
    };
    auto finish = [&] {
        const size_t len = rec.size() - 4;
        rec[2] = static_cast<char>(len & 0xFF);
        rec[3] = static_cast<char>(len >> 8);
        put(rec);
        recordPos += rec.size();
    };
    auto room = [&] { return 4 + kMaxRecordData - rec.size(); };

    begin(rec::kSst);
    put32(rec, references_);
    put32(rec, unique);
    const std::string_view blob(blob_);
    for (uint32_t i = 0; i < unique; ++i) {
        const size_t start = offsets_[i];
        const size_t end = i + 1 < unique ? offsets_[i + 1] : blob.size();
        const std::string_view head = blob.substr(start, 3), chars = blob.substr(start + 3, end - start - 3);
        const auto flags = static_cast<unsigned char>(head[2]);
        const size_t unit = (flags & 0x01) ? 2 : 1;
        // The header and the first character (a whole surrogate pair) stay
        // together; a string without room for them starts the next record.
        const size_t first = unit == 2 && chars.size() >= 4 && isHighSurrogate(chars, 0) ? 4 : unit;
        if (room() < head.size() + std::min(first, chars.size())) {
            finish();
            begin(rec::kContinue);
        }
        if (i % perBucket_ == 0)
            buckets_.emplace_back(static_cast<uint32_t>(recordPos + rec.size()), static_cast<uint16_t>(rec.size()));
        rec.append(head);
        for (size_t done = 0;;) {
            size_t take = std::min(chars.size() - done, room() / unit * unit);
            if (unit == 2 && done + take < chars.size() && take >= 2 && isHighSurrogate(chars, done + take - 2))
                take -= 2;
            rec.append(chars.substr(done, take));
            done += take;
            if (done == chars.size()) break;
            // The characters run on: a new record with the string's flags.
            finish();
            begin(rec::kContinue);
            put8(rec, flags & 0x01);
        }
    }
    finish();
}

std::string SharedStrings::extsst() const {
    std::string b;
    RecordBuilder r(b, rec::kExtsst);
    put16(b, perBucket_);
    for (const auto& [pos, offset] : buckets_) {
        put32(b, pos);
        put16(b, offset);
        put16(b, 0);
    }
    r.end();
    return b;
}

}  // namespace varnelo::xls
