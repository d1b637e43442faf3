// The SQL*Loader writer's helpers (the writer is a RowWriter in
// sqlldr_writer.cpp).
//
// The writer makes one control file that carries its own data, each line
// followed by the line end (LF with unixFormat 1, else CR LF):
//
//   Load data                      (with a trailing blank)
//   INFILE *
//   BADFILE <base>bad
//   DISCARDFILE <base>dsc
//   DISCARDMAX <discardMax>        (left out when discardMax is empty)
//   <mode> INTO TABLE [schema.]table
//   Fields terminated by "<sep>"[ Optionally enclosed by "<strEnclose>"]
//   TRAILING NULLCOLS
//   (
//   <name><TAB><type>,  one line per column, the last without ","
//   )
//   BEGINDATA
//
// then one line per row, the values separated by the field separator and the
// last line without a line end. <base> is the output file up to and
// including the last "." of its file name, or the whole path and a "." when
// the name has none. <mode> is sqlLoaderMode: 1 INSERT, 2 APPEND, 3 REPLACE,
// 4 TRUNCATE, any other value nothing (the line then starts with a blank).
// The separator and the enclosure stand in double quotes; one holding a
// double quote stands in single quotes instead, and one holding both kinds
// as X'<hex>'. Names that are not plain identifiers stand in double quotes.
//
// Types: character columns CHAR(n), n the longest value of the column in
// this export in bytes (the loader's default of 255 would reject longer
// ones); date columns DATE "dd/mm/yyyy hh24:mi:ss", or a TIMESTAMP mask
// when their values carry fractions or zones (loaderDateType); others
// INTEGER EXTERNAL. The column list depends on every value, so the data
// goes to a scratch file first and follows the list at the end.
//
// Values: Null is an empty field, which the loader loads as NULL; Booleans
// 1 and 0; dates dd/MM/yyyy HH:mm:ss (with fraction and zone when they have
// them); binary values hexadecimal. With strEnclose set, text values (and
// any value holding the separator) stand between two strEnclose texts with
// each occurrence inside doubled. Refused with Error 5 naming the row and
// column, the old file kept: a value holding a line break (in-line data
// cannot carry one), a value holding the separator without strEnclose, text
// holding a NUL. An empty field separator is refused before anything is
// written. Ill-formed UTF-8 becomes U+FFFD (counted).
#pragma once

#include <cstdint>
#include <string>

namespace varnelo {

// The load keyword of a SQLLoaderMode value ("" outside 1..4).
const char* sqlLoaderKeyword(int32_t mode);

// The base name of the bad and discard files for an output path.
std::string sqlLoaderBaseName(const std::string& outputFile);

}  // namespace varnelo
