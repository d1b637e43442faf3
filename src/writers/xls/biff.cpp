#include "writers/xls/biff.h"

#include <algorithm>

namespace varnelo::xls {

size_t appendBiffString(std::string& b, std::string_view utf8, unsigned lengthBytes, size_t maxUnits) {
    // Code points up to U+00FF take lead bytes up to 0xC3: any byte from
    // 0xC4 up starts a character beyond Latin-1.
    const bool latin1 =
        std::none_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xC4; });
    const size_t at = b.size();
    b.append(lengthBytes, '\0');
    put8(b, latin1 ? 0x00 : 0x01);
    size_t units = 0;
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        // ASCII, the common case: the bytes are the characters.
        units = std::min(utf8.size(), maxUnits);
        b.append(utf8.substr(0, units));
        utf8 = {};
    }
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        uint32_t cp = len == 1 ? c : c & (0x3Fu >> (len - 1));
        for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        const size_t need = cp >= 0x10000 && !latin1 ? 2 : 1;
        if (units + need > maxUnits) break;
        if (latin1) {
            put8(b, cp);
        } else if (need == 2) {
            cp -= 0x10000;
            put16(b, 0xD800 + (cp >> 10));
            put16(b, 0xDC00 + (cp & 0x3FF));
        } else {
            put16(b, cp);
        }
        units += need;
    }
    for (unsigned k = 0; k < lengthBytes; ++k) b[at + k] = static_cast<char>((units >> (8 * k)) & 0xFF);
    return units;
}

}  // namespace varnelo::xls
