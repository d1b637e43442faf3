// Fonts and colours as the control and its writers see them.
//
// Fonts are shared objects: a font property stores the pointer it is given
// (not a copy), so a host that changes the font object later changes what the
// control uses, as with the desktop control the design grew up on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "varnelo/export_macros.h"

namespace varnelo {

struct VARNELO_EXPORT Font {
    std::string name = "Sans Serif";
    double size = 8.25;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
};

using FontPtr = std::shared_ptr<Font>;

inline FontPtr makeFont(std::string name, double size, bool bold = false, bool italic = false) {
    auto f = std::make_shared<Font>();
    f->name = std::move(name);
    f->size = size;
    f->bold = bold;
    f->italic = italic;
    return f;
}

// "Name,Size" with the size in its shortest decimal form (8.25, 10, 10.5):
// the caption and tool tip of the panel's font cells.
VARNELO_EXPORT std::string fontCaption(const Font& f);

// 0x00BBGGRR for a plain colour, or 0x80000000 + index for a system colour.
using OLE_COLOR = uint32_t;

constexpr OLE_COLOR kSystemColorFlag = 0x80000000u;
constexpr OLE_COLOR kButtonFace = 0x8000000Fu;

inline bool isSystemColor(OLE_COLOR c) { return (c & 0xFF000000u) == kSystemColorFlag; }

// The real 0x00BBGGRR colour: plain colours unchanged, system colours through
// a fixed table of the usual desktop defaults (an unknown index gives black).
VARNELO_EXPORT OLE_COLOR resolveColor(OLE_COLOR c);

}  // namespace varnelo
