// Value formatting shared by the text writers and the settings file.
//
// Pure functions of text in, text out: none reads the control's settings.
//
// FormatData shapes one field value's text for an output kind, chosen by a
// one-letter format type (exact, case-sensitive; any other text gives ""),
// with the very rules the writers use (value_text.h):
//
//   "A" delimited text   character group: "text", embedded " doubled;
//                        other types unchanged.
//   "I" INSERT values    character group: 'text', embedded ' doubled;
//                        date group: TO_DATE('dd/MM/yyyy HH:mm:ss',
//                        'dd/mm/yyyy hh24:mi:ss') for a plain date, the
//                        quoted ISO text for one with a fraction or a zone,
//                        '' when empty, quoted text when no date; other
//                        types: a number bare, NULL when empty, any other
//                        text quoted (never bare words that run as SQL).
//   "S" SQL*Loader data  date group: dd/MM/yyyy HH:mm:ss (with fraction and
//                        zone when the value has them); everything else
//                        unchanged.
//   "E"                  unchanged.
//
// Date-group text is read as ISO 8601 ("yyyy-MM-dd[ HH:mm[:ss[.f]]][zone]",
// "T" also between date and time) or "dd/MM/yyyy[ HH:mm[:ss]]".
//
// Failures pass through the error trace under the procedure tags
// "mFunctions.FormatData(strIn,FieldType,FormatType,DateFormat)",
// "mFunctions.GetFieldTypeText(FieldType)" and "mFunctions.CovStr(inval,DataType)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "varnelo/variant.h"
#include "writers/value_text.h"

namespace varnelo {

// `dateFormat` is accepted for the callers' sake and not used.
std::string FormatData(std::string_view strIn, int32_t fieldType, std::string_view formatType,
                       std::string_view dateFormat);

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
