// BIFF8 building blocks: little-endian appends, record framing and the
// record numbers the .xls backend writes.
//
// A BIFF record is a 2-byte number, a 2-byte length and at most
// kMaxRecordData bytes of data; longer contents (the shared-string table)
// continue in CONTINUE records. Everything is little-endian.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace varnelo::xls {

// The most data one record carries.
constexpr size_t kMaxRecordData = 8224;

// Record numbers.
namespace rec {
constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kCodepage = 0x0042;
constexpr uint16_t kDatemode = 0x0022;  // "1904" in the format descriptions
constexpr uint16_t kWindow1 = 0x003D;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kStyle = 0x0293;
constexpr uint16_t kPalette = 0x0092;
constexpr uint16_t kBoundsheet = 0x0085;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kExtsst = 0x00FF;
constexpr uint16_t kColinfo = 0x007D;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kLabelsst = 0x00FD;
constexpr uint16_t kBoolerr = 0x0205;
constexpr uint16_t kBlank = 0x0201;
constexpr uint16_t kWindow2 = 0x023E;
}  // namespace rec

inline void put8(std::string& b, uint32_t v) { b.push_back(static_cast<char>(v & 0xFF)); }
inline void put16(std::string& b, uint32_t v) {
    const char c[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    b.append(c, 2);
}
inline void put32(std::string& b, uint32_t v) {
    const char c[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    b.append(c, 4);
}
inline void putDouble(std::string& b, double d) {
    // The IEEE bytes as they are: no digit is lost.
    static_assert(sizeof(double) == 8 && std::endian::native == std::endian::little);
    char c[8];
    std::memcpy(c, &d, 8);
    b.append(c, 8);
}
inline void set32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Appends valid UTF-8 text as a BIFF8 string: its length in UTF-16 units
// (`lengthBytes` 1 or 2 bytes), an option-flags byte (0: 8-bit characters,
// used when every character is Latin-1; 1: UTF-16LE) and the characters.
// Text beyond `maxUnits` units is cut, never inside a surrogate pair.
// Returns the units written.
size_t appendBiffString(std::string& b, std::string_view utf8, unsigned lengthBytes, size_t maxUnits);

// Starts a record in `b`; end() writes its length. Records built this way
// are small: the caller keeps them under kMaxRecordData.
class RecordBuilder {
public:
    RecordBuilder(std::string& b, uint16_t number) : b_(b), start_(b.size()) {
        put16(b_, number);
        put16(b_, 0);
    }
    void end() {
        const size_t len = b_.size() - start_ - 4;
        b_[start_ + 2] = static_cast<char>(len & 0xFF);
        b_[start_ + 3] = static_cast<char>((len >> 8) & 0xFF);
    }

private:
    std::string& b_;
    size_t start_;
};

}  // namespace varnelo::xls
