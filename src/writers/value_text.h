// How a value is written for each target: the one place that decides it.
//
// Pure functions of a value (or a text) in, bytes appended out; none touches
// a file or the control. The writers call them for every value, FormatData
// calls them for its letters, and their tests are the tests of what the
// files hold.
//
// The rules every target shares:
//  - A literal follows what the value is, not what the column declares: a
//    text value is always text (quoted where the target quotes text), even
//    in a column declared INTEGER; numbers and Booleans stand bare only
//    where they are numbers and Booleans.
//  - Dates keep their fraction of a second and their zone. Where a target's
//    date form cannot hold them (the TO_DATE mask, the loader's DATE mask),
//    another form that loses nothing is used (see each function).
//  - Text that must be valid UTF-8 in the target (SQL, HTML, spreadsheets)
//    gets U+FFFD for every byte sequence that is not UTF-8; the functions
//    say so through their result, and the writers count such values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "varnelo/recordset.h"
#include "varnelo/variant.h"

namespace varnelo {

// The three groups the writers shape values by, from a column's type code.
enum class TypeGroup : char { Character, Date, Other };

// Character group: variant, char, varchar, wide varchar.
inline bool isCharacterType(int32_t fieldType) {
    return fieldType == 12 || fieldType == 129 || fieldType == 200 || fieldType == 202;
}
// Date group: date, date-time stamp.
inline bool isDateType(int32_t fieldType) { return fieldType == 7 || fieldType == 135; }

inline TypeGroup typeGroupOf(int32_t fieldType) {
    return isCharacterType(fieldType) ? TypeGroup::Character
           : isDateType(fieldType)    ? TypeGroup::Date
                                      : TypeGroup::Other;
}

// One column of an export, read once from the source.
struct Column {
    std::string name;
    int32_t type = 0;
    TypeGroup group = TypeGroup::Other;
};

// Column names are UTF-8: only ASCII letters change case, other bytes stay.
void lowerAscii(std::string& s);

// ---- UTF-8

// True when the text holds a NUL character.
inline bool holdsNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }
// True when `text` is well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(std::string_view text);
// Appends `text` with U+FFFD in place of every ill-formed sequence (and of
// every NUL when replaceNul). Returns true when anything was replaced.
bool appendRepairedUtf8(std::string& out, std::string_view text, bool replaceNul);

// ---- Delimited text

// "text" with embedded double quotes doubled.
void appendCsvQuoted(std::string& out, std::string_view text);
// Whether a header name needs the CSV quotes: it holds the separator, a
// double quote or a line break.
bool csvNameNeedsQuotes(std::string_view name, std::string_view separator);

// ---- SQL

// A plain identifier: ASCII letters, digits, "_", "$", "#", not starting
// with a digit, not empty.
bool isPlainIdentifier(std::string_view name);
// The name as it stands when plain, else in double quotes with embedded
// double quotes doubled.
void appendSqlName(std::string& out, std::string_view name);
// 'text' with embedded single quotes doubled. Ill-formed UTF-8 becomes
// U+FFFD (returns true then). The text must hold no NUL (see sqlTextHasNul).
bool appendSqlString(std::string& out, std::string_view text);
// "dd/MM/yyyy HH:mm:ss" (the year as it is when it has no four digits).
void appendDayFirst(std::string& out, const DateTime& d);
// TO_DATE('dd/MM/yyyy HH:mm:ss','dd/mm/yyyy hh24:mi:ss')
void appendToDate(std::string& out, const DateTime& d);

// What became of a value written as a SQL literal.
enum class SqlLiteral : char {
    Written,   // as it is
    Repaired,  // written, with U+FFFD for ill-formed UTF-8
    HasNul,    // not written: no SQL text literal carries a NUL character
};
// The SQL literal of a value in a column of `group`:
//   Null                    NULL
//   text                    'text' (a text that reads as a date in a date
//                           column is that date)
//   Bytes                   X'hex' (X'' when empty)
//   plain date              TO_DATE(...); in a character column 'yyyy-MM-dd ...'
//   date with a fraction
//   or a zone               'yyyy-MM-dd HH:mm:ss.fff+hh:mm' (the mask holds neither)
//   number, Boolean         bare (True/False), or quoted in a character
//                           column; Infinity, -Infinity and NaN always quoted
SqlLiteral appendSqlLiteral(std::string& out, const FieldValue& v, TypeGroup group);

// ---- SQL*Loader

// A date as loader data: "dd/MM/yyyy HH:mm:ss", then the fraction
// (".123") and the zone (" +05:30", "Z" as " +00:00") when the value has
// them, for the TIMESTAMP masks of loaderDateType().
void appendLoaderDate(std::string& out, const DateTime& d);
// The column type of a date column whose values had fractions or zones:
// DATE "dd/mm/yyyy hh24:mi:ss" for neither (the classic mask), TIMESTAMP
// "dd/mm/yyyy hh24:mi:ss.ff" for fractions, TIMESTAMP WITH TIME ZONE
// "dd/mm/yyyy hh24:mi:ss.ff tzh:tzm" for zones. The loader fills elements a
// value leaves out, so plain values read under every mask.
std::string loaderDateType(bool fractions, bool zones);

// ---- HTML

// Text with & < > " as character references, ill-formed UTF-8 and NUL as
// U+FFFD. Returns true when anything was replaced.
bool appendHtmlText(std::string& out, std::string_view text);

}  // namespace varnelo
