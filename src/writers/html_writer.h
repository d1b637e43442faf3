// The HTML table writer's cell helpers (the writer itself is a RowWriter in
// html_writer.cpp).
//
// The writer turns the rows into one HTML table fragment (no document head,
// no html or body element):
//  - the table start line "<table border=1 cellspacing=1 cellpadding=1
//    Width= "100%">" CR LF, in front of the first row;
//  - with columns 1, a header row of "th" cells holding the column names
//    (lower case with lowercaseColumns 1) in the header colours and font;
//  - one row of "td" cells per record in the body colours and font; a Null or
//    empty value reads "NULL" with includeNulls 1, else nothing; noWrap 1
//    puts "nowrap" on body cells (never on header cells);
//  - "</table>" CR LF after the last row.
// Every cell is one line; a row opens with "<tr>" on its first cell's line
// and closes with a line "</tr>", also when the table has one column. Every
// line ends in CR LF, whatever unixFormat says. A source with no rows gives
// an empty file.
//
// Cell text and font names are HTML-escaped (& < > "), so a value always
// shows as text and never becomes markup in the page that embeds the table;
// ill-formed UTF-8 and NUL characters become U+FFFD (counted). System
// colours (0x80000000 + index) are written as the real colour they stand for.
// A job without a header or body font fails with Error 91.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "varnelo/font.h"

namespace varnelo {

// The text of one cell with the framing its Position asks for: RecordType
// "th" is a header cell, any other a body cell; Position "B" opens the row
// ("<tr>", and for a header cell the table start line in front of it), "E"
// closes it ("</tr>" CR LF after the cell), any other is a middle cell.
// NoWrap 1 adds "nowrap" to a body cell. The point size of TextFont is
// rounded half to even. Errors pass through the error trace under
// "mFunctions.PrepareHtml(strIn,RecordType,Position,BackColor,ForeColor,TextFont,NoWrap)".
std::string PrepareHtml(std::string_view strIn, std::string_view RecordType, std::string_view Position,
                        OLE_COLOR BackColor, OLE_COLOR ForeColor, const Font& TextFont, int32_t NoWrap);

// The three low bytes of lColor, red first, as six upper-case hexadecimal
// digits, with "#" in front when bProper is true. The high byte is dropped
// as it is: a system colour gives its index as red (0x8000000F "#0F0000").
std::string LNGtoHEX(OLE_COLOR lColor, bool bProper);

// The HTML font size "1" to "7" for a whole point size: up to 8 "1", 9-10
// "2", 11-12 "3", 13-14 "4", 15-18 "5", 19-24 "6", 25 and more "7".
std::string GetHtmlFontSize(int16_t intFontSize);

// A font's point size as the whole number GetHtmlFontSize takes: the nearest
// one, a half going to the even neighbour (10.5 -> 10, 12.5 -> 12). A size
// outside the 16-bit range (or not a number) fails with Error 6 (overflow).
int16_t wholePointSize(double points);

// The table start line, CR LF included.
constexpr std::string_view kHtmlTableStart = "<table border=1 cellspacing=1 cellpadding=1 Width= \"100%\">\r\n";
// What closes the table after its last row.
constexpr std::string_view kHtmlTableEnd = "</table>\r\n";

}  // namespace varnelo
