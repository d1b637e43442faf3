#include "writers/pipeline.h"

#include "varnelo/error.h"
#include "writers/writers.h"

namespace varnelo {

namespace {

using Factory = std::unique_ptr<RowWriter> (*)(const ExportJob&);

constexpr int32_t kUserInterrupt = 18;

// The control's Format values and the writers that serve them.
constexpr struct {
    int32_t format;
    Factory make;
} kFormats[] = {
    {0, makeDelimitedWriter},  // Ascii: the driver sets "," as the separator
    {1, makeDelimitedWriter},  // DelimTab
    {2, makeDelimitedWriter},  // DelimOther
    {3, makeInsertWriter},     // Inserts
    {4, makeSheetWriter},      // ExcelFile: .xlsx, or .xls by the file's name
    {6, makeHtmlWriter},       // HTMLTable
    {7, makeSqlLoaderWriter},  // SQLLoader
};

// An export never writes over its own input: the database, and the files
// SQLite keeps beside it while it is open.
OutputFile::Options optionsFor(const Recordset& rs) {
    OutputFile::Options options;
    for (const std::string& f : rs.filesRead())
        for (const char* suffix : {"", "-wal", "-journal", "-shm"}) options.filesBeingRead.push_back(f + suffix);
    return options;
}

OutputFile openOutput(const ExportJob& job, const Recordset& rs, const RowWriter& writer) {
    if (job.sink) return OutputFile(*job.sink, job.outputFile, writer.writesByPath());
    return OutputFile(job.outputFile, optionsFor(rs));
}

}  // namespace

void RowWriter::failValue(int64_t row, const Column& column, const std::string& why) {
    throw Error(err::kInvalidProcedureCall, "Varnelo",
                "Row " + std::to_string(row) + ", column \"" + column.name + "\": " + why);
}

std::unique_ptr<RowWriter> makeWriter(const ExportJob& job) {
    for (const auto& f : kFormats)
        if (f.format == job.format) return f.make(job);
    return nullptr;
}

ExportRun::ExportRun(const ExportJob& job, Recordset& rs, RowWriter& writer)
    : job_(job), rs_(rs), writer_(writer), out_(openOutput(job, rs, writer)) {}

bool ExportRun::copyRows() {
    // Wherever a previous export or the host left the cursor, an export
    // starts at the first row; a lazy source does not run its query for it.
    rs_.MoveFirst();
    const int cols = rs_.fieldCount();
    columns_.clear();
    columns_.reserve(static_cast<size_t>(cols));
    for (int j = 0; j < cols; ++j) {
        const int32_t type = rs_.fieldType(j);
        columns_.push_back(Column{rs_.fieldName(j), type, typeGroupOf(type)});
    }
    const int64_t total = job_.progress && job_.countRows ? rs_.RecordCount() : -1;
    const int64_t limit = writer_.maxRows();

    const bool stoppable = job_.stop.stop_possible();
    writer_.begin(out_, columns_, rs_);
    while (!rs_.Eof()) {
        if (stoppable && job_.stop.stop_requested())
            throw Error(kUserInterrupt, "Varnelo",
                        standardErrorText(kUserInterrupt) + " (after " + std::to_string(rows_) + " rows)");
        if (rows_ == limit) {
            limitReached_ = true;
            return false;
        }
        ++rows_;
        writer_.row(out_, rs_, rows_);
        out_.flushIfFull();
        rs_.MoveNext();
        if (job_.progress && rows_ % ExportJob::kProgressEvery == 0) job_.progress(rows_, total);
    }
    return true;
}

PipelineResult ExportRun::finish() {
    if (limitReached_) throw Error(err::kInvalidProcedureCall, "Varnelo", "The export stopped at its row limit.");
    writer_.finish(out_, rows_);
    out_.commit();
    rs_.MoveFirst();
    if (job_.progress) job_.progress(rows_, rows_);
    return PipelineResult{rows_, writer_.repairedValues, false, out_.bytes()};
}

PipelineResult runExport(const ExportJob& job, Recordset& rs) {
    std::unique_ptr<RowWriter> writer = makeWriter(job);
    if (!writer)
        throw Error(err::kInvalidPropertyValue, "Varnelo",
                    "Format " + std::to_string(job.format) + " writes no file (0-4, 6 or 7 do).");
    ExportRun run(job, rs, *writer);
    if (!run.copyRows()) return PipelineResult{0, 0, true, 0};
    return run.finish();
}

}  // namespace varnelo
