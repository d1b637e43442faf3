// The row pipeline: one loop drives every format.
//
// An export opens the output (OutputFile: a temporary that replaces the
// target only when everything succeeded), moves the source to its first row,
// reads its columns once, hands them to the format's RowWriter, then hands it
// every row until the source's Eof, then lets it finish and puts the file in
// place. The query behind the source runs once: nothing counts the rows
// unless the job asks for a total, and the final MoveFirst positions lazily.
//
// A RowWriter turns columns and rows into bytes (or cells); how each value is
// written is decided in value_text.h. Adding a format takes one file with a
// RowWriter and its factory, and one line in the table of formats.cpp.
//
// A job with a stop token ends with Error 18 ("User interrupt occurred")
// once stop is requested, checked before every row.
//
// Failures are varnelo::Error. A value that a format cannot carry fails with
// Error 5 naming its row (counted from 1) and column; source errors pass
// through as they are; file errors are OutputFile's. On any failure the
// previous file stays as it was and no temporary remains.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "varnelo/recordset.h"
#include "writers/export_job.h"
#include "writers/output_file.h"
#include "writers/value_text.h"

namespace varnelo {

struct PipelineResult {
    int64_t rows = 0;            // records written
    int64_t repairedValues = 0;  // values whose ill-formed UTF-8 became U+FFFD
    bool limitReached = false;   // more records than the format takes: nothing written
    uint64_t bytes = 0;          // size of the output
};

class RowWriter {
public:
    virtual ~RowWriter() = default;

    // The most records the format takes (-1: no limit). The export stops
    // before the first record past it and writes nothing.
    virtual int64_t maxRows() const { return -1; }
    // True for a writer whose library writes the file by its path
    // (OutputFile::workingPath()): a sink is then spooled.
    virtual bool writesByPath() const { return false; }
    // Once, before any row (also for a source without rows).
    virtual void begin(OutputFile& out, const std::vector<Column>& columns, Recordset& rs) = 0;
    // One record, `number` counted from 1; its values are read through
    // rs.readField().
    virtual void row(OutputFile& out, Recordset& rs, int64_t number) = 0;
    // After the last record; `rows` records were written.
    virtual void finish(OutputFile& out, int64_t rows) = 0;

    // Values written with U+FFFD in place of ill-formed UTF-8.
    int64_t repairedValues = 0;

protected:
    // Error 5: "Row 12, column "name": <why>".
    [[noreturn]] static void failValue(int64_t row, const Column& column, const std::string& why);
};

// The writer for job.format, or nullptr for a format that writes nothing
// (ExcelInstance) or does not exist.
std::unique_ptr<RowWriter> makeWriter(const ExportJob& job);

// One export, in two steps so that a caller can report the row walk under a
// tag of its own (the Excel writer's ExcelCopyRecords).
class ExportRun {
public:
    // Opens the output. The source's own files are refused as the output.
    ExportRun(const ExportJob& job, Recordset& rs, RowWriter& writer);
    // Walks the source; false when it has more records than the format takes
    // (nothing will be written; the previous file stays).
    bool copyRows();
    // Finishes the writer, puts the file in place and moves the source back
    // to its first row.
    PipelineResult finish();

private:
    const ExportJob& job_;
    Recordset& rs_;
    RowWriter& writer_;
    OutputFile out_;
    std::vector<Column> columns_;
    int64_t rows_ = 0;
    bool limitReached_ = false;
};

// The whole export with the writer for job.format. Error 380 for a format
// that has no writer.
PipelineResult runExport(const ExportJob& job, Recordset& rs);

}  // namespace varnelo
