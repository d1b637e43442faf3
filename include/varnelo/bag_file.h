// A property bag kept in a file, for hosts that keep their forms on disk.
//
// The file is UTF-8 text, one key a line, in the order the keys were first
// written (a key written twice is kept once, with its last value):
//
//     # Varnelo property bag 1
//     OutputFile<TAB>string<TAB>/home/ana/orders.csv
//     BodyFont<TAB>font<TAB>DejaVu Sans<TAB>10<TAB>bi
//     MailPriority<TAB>int32<TAB>1
//     end
//
// Types: empty, null, bool (1 or 0), int32, int64, double, date (ISO 8601),
// string, bytes (hexadecimal), font (name, size in points, and the letters
// b i u s for bold, italic, underline, strikethrough, or "-" for none). A
// record source belongs to the running program and is not written. Keys
// and text escape the backslash (\\), TAB (\t), LF (\n), CR (\r) and any
// other control byte or byte that is not UTF-8 (\xHH), so a value never
// ends its line and multi-line text (a mail message) comes back whole. The
// last line, "end", tells a whole file from a truncated one.
//
// The file holds the mail password: it is written with permissions 0600,
// and replaced whole (a reader sees the old file or the new one, never a
// part).
#pragma once

#include <string>
#include <string_view>

#include "varnelo/host.h"

namespace varnelo {

// The file's text for a bag.
std::string formatBagFile(const PropertyBag& bag);

// The bag a file's text holds. Anything that is not such a file (no
// heading, an unknown type, a bad escape or number, no "end" line) is Error
// 13 naming `fileName`, the line and what is wrong with it; nothing else is
// thrown.
PropertyBag parseBagFile(std::string_view text, const std::string& fileName);

// Reads the file at `path` (Error 53 when it does not exist, the file
// errors 75, 57, ... when it cannot be read, or as parseBagFile).
PropertyBag readBagFile(const std::string& path);

// Writes the bag to `path` with permissions 0600, replacing the file whole.
// Throws the file error of what failed, naming the file; the old file is
// then as it was.
void writeBagFile(const PropertyBag& bag, const std::string& path);

}  // namespace varnelo
