#include "varnelo/font.h"

#include <iterator>

#include "varnelo/variant.h"

namespace varnelo {

std::string fontCaption(const Font& f) { return f.name + "," + formatDouble(f.size); }

namespace {
constexpr OLE_COLOR rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }

// The classic desktop scheme's defaults, by system colour index.
constexpr OLE_COLOR kSystemColors[] = {
    rgb(212, 208, 200),  // 0 scroll bar
    rgb(58, 110, 165),   // 1 desktop
    rgb(10, 36, 106),    // 2 active title bar
    rgb(128, 128, 128),  // 3 inactive title bar
    rgb(212, 208, 200),  // 4 menu bar
    rgb(255, 255, 255),  // 5 window background
    rgb(0, 0, 0),        // 6 window frame
    rgb(0, 0, 0),        // 7 menu text
    rgb(0, 0, 0),        // 8 window text
    rgb(255, 255, 255),  // 9 active title bar text
    rgb(212, 208, 200),  // 10 active border
    rgb(212, 208, 200),  // 11 inactive border
    rgb(128, 128, 128),  // 12 application workspace
    rgb(10, 36, 106),    // 13 highlight
    rgb(255, 255, 255),  // 14 highlight text
    rgb(212, 208, 200),  // 15 button face
    rgb(128, 128, 128),  // 16 button shadow
    rgb(128, 128, 128),  // 17 disabled text
    rgb(0, 0, 0),        // 18 button text
    rgb(212, 208, 200),  // 19 inactive title bar text
    rgb(255, 255, 255),  // 20 button highlight
    rgb(64, 64, 64),     // 21 3-D dark shadow
    rgb(212, 208, 200),  // 22 3-D light
    rgb(0, 0, 0),        // 23 tool tip text
    rgb(255, 255, 225),  // 24 tool tip background
};
}  // namespace

OLE_COLOR resolveColor(OLE_COLOR c) {
    if (!isSystemColor(c)) return c & 0x00FFFFFFu;
    OLE_COLOR index = c & 0x00FFFFFFu;
    return index < std::size(kSystemColors) ? kSystemColors[index] : 0;
}

}  // namespace varnelo
