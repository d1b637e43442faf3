// The SQL*Loader writer: one control file that carries its own data.
//
// Writes to job.outputFile, each line followed by the line end (LF with
// job.unixFormat 1, else CR LF):
//
//   Load data                      (with a trailing blank)
//   INFILE *
//   BADFILE <base>bad
//   DISCARDFILE <base>dsc
//   DISCARDMAX <job.discardMax>    (left out when job.discardMax is empty)
//   <mode> INTO TABLE [schema.]table
//   Fields terminated by "<sep>"[ Optionally enclosed by "<job.strEnclose>"]
//   TRAILING NULLCOLS
//   (
//   <name><TAB><GetFieldTypeText>,  one line per column, the last without ","
//   )
//   BEGINDATA
//
// then one line per row of `rs` (from its current row on, `RecordCount`
// rows), the values separated by job.fieldSeparator and the last line
// without a line end. <base> is job.outputFile up to and including the last
// "." of its file name, or the whole path and a "." when the name has none.
// <mode> is job.sqlLoaderMode: 1 INSERT, 2 APPEND, 3 REPLACE, 4 TRUNCATE, any
// other value nothing (the line then starts with a blank). The separator and
// the enclosure stand in double quotes; one holding a double quote stands in
// single quotes instead, and one holding both kinds as X'<hex>'.
//
// Values: Null is an empty field, which the loader loads as NULL; dates read
// dd/MM/yyyy HH:mm:ss; with job.strEnclose set, every character-group value
// stands between two job.strEnclose texts with each occurrence inside doubled,
// so a value holding the separator loads intact. A value holding a line break
// cannot travel in in-line data: the loader reads it as two records.
//
// On success the file replaces job.outputFile and the source moves back to its
// first row; on failure the earlier file, if any, stays as it was.
#pragma once

#include <string>

#include "varnelo/recordset.h"
#include "writers/export_job.h"

namespace varnelo {

void writeSqlLoader(const ExportJob& job, Recordset& rs);

// The load keyword of a SQLLoaderMode value ("" outside 1..4).
const char* sqlLoaderKeyword(int32_t mode);

// The base name of the bad and discard files for an output path.
std::string sqlLoaderBaseName(const std::string& outputFile);

}  // namespace varnelo
