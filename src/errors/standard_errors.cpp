// The platform's texts for its standard run-time error numbers, as users of
// the control have always seen them in their error messages.
#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "varnelo/error.h"

namespace varnelo {

namespace {

using Entry = std::pair<int32_t, const char*>;

// Sorted by number for the binary search below.
constexpr std::array kStandardTexts{
    Entry{3, "Return without GoSub"},
    Entry{5, "Invalid procedure call or argument"},
    Entry{6, "Overflow"},
    Entry{7, "Out of memory"},
    Entry{9, "Subscript out of range"},
    Entry{10, "This array is fixed or temporarily locked"},
    Entry{11, "Division by zero"},
    Entry{13, "Type mismatch"},
    Entry{14, "Out of string space"},
    Entry{16, "Expression too complex"},
    Entry{17, "Can't perform requested operation"},
    Entry{18, "User interrupt occurred"},
    Entry{20, "Resume without error"},
    Entry{28, "Out of stack space"},
    Entry{35, "Sub or Function not defined"},
    Entry{47, "Too many DLL application clients"},
    Entry{48, "Error in loading DLL"},
    Entry{49, "Bad DLL calling convention"},
    Entry{51, "Internal error"},
    Entry{52, "Bad file name or number"},
    Entry{53, "File not found"},
    Entry{54, "Bad file mode"},
    Entry{55, "File already open"},
    Entry{57, "Device I/O error"},
    Entry{58, "File already exists"},
    Entry{59, "Bad record length"},
    Entry{61, "Disk full"},
    Entry{62, "Input past end of file"},
    Entry{63, "Bad record number"},
    Entry{67, "Too many files"},
    Entry{68, "Device unavailable"},
    Entry{70, "Permission denied"},
    Entry{71, "Disk not ready"},
    Entry{74, "Can't rename with different drive"},
    Entry{75, "Path/File access error"},
    Entry{76, "Path not found"},
    Entry{91, "Object variable or With block variable not set"},
    Entry{92, "For loop not initialized"},
    Entry{93, "Invalid pattern string"},
    Entry{94, "Invalid use of Null"},
    Entry{321, "Invalid file format"},
    Entry{322, "Can't create necessary temporary file"},
    Entry{340, "Control array element doesn't exist"},
    Entry{341, "Invalid control array index"},
    Entry{380, "Invalid property value"},
    Entry{381, "Invalid property-array index"},
    Entry{382, "Set not supported at runtime"},
    Entry{383, "Set not supported (read-only property)"},
    Entry{385, "Need property-array index"},
    Entry{387, "Set not permitted"},
    Entry{393, "Get not supported at runtime"},
    Entry{394, "Get not supported (write-only property)"},
    Entry{422, "Property not found"},
    Entry{423, "Property or method not found"},
    Entry{424, "Object required"},
    Entry{429, "ActiveX component can't create object"},
    Entry{430, "Class doesn't support Automation"},
    Entry{438, "Object doesn't support this property or method"},
    Entry{440, "Automation error"},
    Entry{445, "Object doesn't support this action"},
    Entry{446, "Object doesn't support named arguments"},
    Entry{448, "Named argument not found"},
    Entry{449, "Argument not optional"},
    Entry{450, "Wrong number of arguments or invalid property assignment"},
    Entry{457, "This key is already associated with an element of this collection"},
    Entry{461, "Method or data member not found"},
    Entry{3021,
          "Either BOF or EOF is True, or the current record has been deleted. "
          "Requested operation requires a current record."},
    Entry{3265,
          "Item cannot be found in the collection corresponding to the requested "
          "name or ordinal."},
};

static_assert(std::is_sorted(kStandardTexts.begin(), kStandardTexts.end(),
                             [](const Entry& a, const Entry& b) { return a.first < b.first; }));

}  // namespace

std::string standardErrorText(int32_t number) {
    auto it = std::lower_bound(kStandardTexts.begin(), kStandardTexts.end(), number,
                               [](const Entry& e, int32_t n) { return e.first < n; });
    if (it != kStandardTexts.end() && it->first == number) return it->second;
    return "Application-defined or object-defined error";
}

std::string controlArrayElementText(int index) {
    return "Control array element '" + std::to_string(index) + "' doesn't exist";
}

}  // namespace varnelo

namespace varnelo {

// The report's first line is the cause followed by " " and CR LF.
std::string Error::trace() const {
    if (description_ == message_) return {};
    const std::string firstLine = message_ + " \r\n";
    if (description_.compare(0, firstLine.size(), firstLine) == 0) return description_.substr(firstLine.size());
    return description_;
}

}  // namespace varnelo
