// The delimited text writer: comma, TAB or any separator, one line per row.
//
// Writes the rows of `rs` from its current row on, `RecordCount` rows, to
// job.outputFile:
//  - with job.includeSQL 1, first the line "SQL statement that produce this
//    data" and the line of rs.Source();
//  - with job.columns 1, a header line of column names (lower case and in
//    double quotes with job.lowercaseColumns 1);
//  - then one line per row: each value (Null or empty as "NULL" with
//    job.includeNulls 1, else as nothing; character columns in double quotes
//    with job.quotes 1), job.fieldSeparator after each.
// The separator at the end of every line is dropped unless job.delimAfterRow
// is 1. Lines end in LF with job.unixFormat 1, else CR LF; the last line has
// no line end. The SQL text and header come with the first row, so a source
// with no rows gives an empty file.
//
// On success the file replaces job.outputFile and the source moves back to
// its first row. On failure (a source error such as 3021 when the rows run
// out early, a file error) the exception leaves with the earlier file, if
// any, unchanged and the source where it stopped. See OutputFile.
#pragma once

#include "varnelo/recordset.h"
#include "writers/export_job.h"

namespace varnelo {

void writeDelimited(const ExportJob& job, Recordset& rs);

}  // namespace varnelo
