// Value formatting shared by the text writers and the settings file.
//
// Pure functions of text in, text out: none reads the control's settings.
//
// FormatData shapes one field value's text for an output kind, chosen by a
// one-letter format type (exact, case-sensitive; any other text gives ""):
//
//   "A" delimited text   character group: "text", embedded " doubled;
//                        other types unchanged.
//   "I" INSERT values    character group: 'text', embedded ' doubled ('' when
//                        empty); date group: TO_DATE('dd/MM/yyyy HH:mm:ss',
//                        'dd/mm/yyyy hh24:mi:ss') ('' when empty); other
//                        types unchanged, NULL when empty.
//   "S" SQL*Loader data  date group: dd/MM/yyyy HH:mm:ss (empty stays empty);
//                        everything else unchanged.
//   "E"                  unchanged.
//
// Date-group text is read as "yyyy-MM-dd[ HH:mm[:ss]]" (the text every value
// converts to; "T" between date and time also reads) or "dd/MM/yyyy[ HH:mm
// [:ss]]". Any other non-empty date text fails with Error 13 (type mismatch).
//
// Failures pass through the error trace under the procedure tags
// "mFunctions.FormatData(strIn,FieldType,FormatType,DateFormat)",
// "mFunctions.GetFieldTypeText(FieldType)" and "mFunctions.CovStr(inval,DataType)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "varnelo/variant.h"

namespace varnelo {

// Character group: variant, char, varchar, wide varchar.
inline bool isCharacterType(int32_t fieldType) {
    return fieldType == 12 || fieldType == 129 || fieldType == 200 || fieldType == 202;
}

// Date group: date, date-time stamp.
inline bool isDateType(int32_t fieldType) { return fieldType == 7 || fieldType == 135; }

// Column names are UTF-8: only ASCII letters change case, other bytes stay.
inline void lowerAscii(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// The three groups the SQL writers shape values by.
enum class TypeGroup : char { Character, Date, Other };

inline TypeGroup typeGroupOf(int32_t fieldType) {
    return isCharacterType(fieldType) ? TypeGroup::Character
           : isDateType(fieldType)    ? TypeGroup::Date
                                      : TypeGroup::Other;
}

// `dateFormat` is accepted for the callers' sake and not used.
std::string FormatData(std::string_view strIn, int32_t fieldType, std::string_view formatType,
                       std::string_view dateFormat);

// FormatData's fast path for writers: appends the formatted text to `out`
// without temporaries. `text` must not point into `out`. An unknown letter
// appends nothing. Errors are raised as FormatData's.
void appendFormatted(std::string& out, std::string_view text, int32_t fieldType, char formatType);

// The SQL*Loader column type: date group `DATE<TAB>"dd/mm/yyyy hh24:mi:ss"`,
// character group "CHAR", any other "INTEGER EXTERNAL".
std::string GetFieldTypeText(int32_t fieldType);

// A value as settings-file text. "Bool": a Boolean gives "1" or "0", any other
// value "". Any other tag: the value as a number, with a leading blank when it
// is not negative and "." as the decimal separator (7 " 7", -7 "-7", 8.25
// " 8.25"); strings holding a number convert like the number, Empty is 0, a
// Boolean is -1 or 0; Null, dates and other strings fail with Error 13.
std::string CovStr(const Variant& inval, std::string_view dataType);

}  // namespace varnelo
