// Values that database servers hand over as text, turned into FieldValues the
// same way by every source that reads text (PostgreSQL, ODBC).
//
// Decimal numbers (NUMERIC, DECIMAL) have no Variant kind of their own, and
// the writers shape a value by its kind. A decimal therefore becomes the
// kind that carries its exact value:
//   - Int64 when it is a whole number that fits (trailing ".00" included);
//   - Double when the double's shortest text is the same number, so the
//     digits written are the digits sent ("0.1", "99999999.99");
//     NaN and +/-Infinity are Doubles too;
//   - otherwise a String holding the server's digits unchanged: a value no
//     double can carry ("12345678901234567890.123456789") is never rounded.
//     Targets that quote text quote it ('12345...'), which every SQL engine
//     converts exactly when it loads the literal into a numeric column, and a
//     spreadsheet shows the digits instead of rounding them to 15.
// Trailing zeros after the decimal point ("1.50") are the column's scale, not
// part of the value: such a value is written in its shortest form ("1.5"),
// as the writers do for every number.
#pragma once

#include <string>
#include <string_view>

#include "varnelo/recordset.h"

namespace varnelo::sources {

// A decimal number's text as above. `out.text` may point into `text`.
void numericFromText(std::string_view text, FieldValue& out);

// Text a double column sent: "Infinity", "-Infinity", "NaN" or a number;
// anything else stays a String.
void doubleFromText(std::string_view text, FieldValue& out);

// A date or date-time text (DateTime::parseIso: fraction and zone kept) as a
// Date; what does not read as one (a year before 1 or past 9999, "infinity",
// an offset with seconds) stays a String, so nothing is lost.
void dateFromText(std::string_view text, FieldValue& out);

}  // namespace varnelo::sources
