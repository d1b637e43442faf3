// The INSERT statement writer: one INSERT per row, with COMMITs between.
//
// Writes the rows of `rs` from its current row on, `RecordCount` rows, to
// job.outputFile, each as the statement
//
//   INSERT INTO [schema.]table (col1,col2) <line end>
//   VALUES (<line end>
//   v1,v2);<line end>
//
// with job.fieldSeparator between names and values. A Null value of any type
// is NULL; other values go through FormatData "I" (character values in single
// quotes with embedded quotes doubled, dates as TO_DATE(...) with the 24-hour
// mask, an empty character or date value as '', an empty value of another
// type as NULL). Column names are written as they stand.
//
// After every job.commitInterval statements (the text read as a number and
// floored; 0 or less: never) comes "COMMIT;" and a line end; the file ends
// with a "COMMIT;" of its own and no line end, so an empty source gives a
// file holding only "COMMIT;". With job.includeSQL 1 the first statement is
// preceded by "--SQL statement that produce this data" and by every line of
// rs.Source(), each behind "--", so no part of the query runs as SQL.
//
// A commit interval that is no number fails with Error 13 (type mismatch) at
// the end of the first row. On success the file replaces job.outputFile and
// the source moves back to its first row; on failure the earlier file, if any,
// stays as it was (see OutputFile).
#pragma once

#include "varnelo/recordset.h"
#include "writers/export_job.h"

namespace varnelo {

void writeInserts(const ExportJob& job, Recordset& rs);

}  // namespace varnelo
