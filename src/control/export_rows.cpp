// exportRows: the control's checks and row pipeline without the control.
#include "varnelo/export.h"

#include <chrono>
#include <ostream>

#include "control/export_checks.h"
#include "varnelo/varnelo.h"
#include "writers/export_job.h"
#include "writers/pipeline.h"
#include "writers/sheet_model.h"

namespace varnelo {

namespace {

constexpr int32_t kUserInterrupt = 18;

int32_t controlFormat(ExportFormat f) {
    switch (f) {
        case ExportFormat::Csv: return Ascii;
        case ExportFormat::Tsv: return DelimTab;
        case ExportFormat::Delimited: return DelimOther;
        case ExportFormat::Insert: return Inserts;
        case ExportFormat::Excel: return ExcelFile;
        case ExportFormat::Html: return HTMLTable;
        case ExportFormat::SqlLoader: return SQLLoader;
    }
    throw Error(err::kInvalidPropertyValue, "Varnelo",
                "Invalid property value: format " + std::to_string(static_cast<int>(f)) + " is no ExportFormat");
}

// The ExportOptions field a missing setting stands for.
const char* optionName(MissingSetting missing) {
    switch (missing) {
        case MissingSetting::DataSource: return "source";
        case MissingSetting::Delimiter: return "delimiter";
        case MissingSetting::FileOption:
        case MissingSetting::OutputFile: return "path";
        case MissingSetting::Table: return "insertTable";
        case MissingSetting::CommitInterval: return "commitInterval";
    }
    return "";
}

int32_t yesNo(bool b) { return b ? 1 : 0; }

ExportJob jobFrom(const ExportOptions& o, const ExportCallbacks& callbacks) {
    ExportJob job;
    job.format = controlFormat(o.format);
    job.fieldSeparator = separatorFor(job.format, o.delimiter).value_or(o.loaderSeparator);
    job.columns = yesNo(o.columns);
    job.lowercaseColumns = yesNo(o.lowercaseColumns);
    job.includeNulls = yesNo(o.includeNulls);
    job.quotes = yesNo(o.quotes);
    job.delimAfterRow = yesNo(o.delimAfterRow);
    job.includeSQL = yesNo(o.includeSql);
    job.unixFormat = yesNo(o.unixFormat);
    job.insertTable = o.insertTable;
    job.insertSchema = o.insertSchema;
    job.commitInterval = o.commitInterval;
    job.discardMax = o.discardMax;
    job.strEnclose = o.strEnclose;
    job.sqlLoaderMode = static_cast<int32_t>(o.sqlLoaderMode);
    job.noWrap = yesNo(o.noWrap);
    job.autoColumnWidth = yesNo(o.autoColumnWidth);
    job.includeCellBorder = yesNo(o.includeCellBorder);
    job.fontExcelDef = yesNo(o.fontExcelDef);
    job.headerBackColor = o.headerBackColor;
    job.headerForeColor = o.headerForeColor;
    job.bodyBackColor = o.bodyBackColor;
    job.bodyForeColor = o.bodyForeColor;
    job.headerFont = std::make_shared<Font>(o.headerFont);
    job.bodyFont = std::make_shared<Font>(o.bodyFont);
    if (callbacks.progress) {
        job.progress = [&progress = callbacks.progress](int64_t done, int64_t total) {
            progress(done, total < 0 ? std::nullopt : std::optional<int64_t>(total));
        };
    }
    job.countRows = o.countRows;
    job.stop = callbacks.stop;
    return job;
}

ExportResult run(const RecordsetPtr& source, const ExportOptions& options, const ExportCallbacks& callbacks,
                 std::string name, std::optional<OutputFile::Sink> sink) {
    const auto start = std::chrono::steady_clock::now();
    ExportRequest request;
    request.hasSource = source != nullptr;
    request.format = controlFormat(options.format);
    request.fileDestination = !sink;
    request.outputFile = name;
    request.delimiter = options.delimiter;
    request.table = options.insertTable;
    request.commitInterval = options.commitInterval;
    if (auto missing = firstMissingSetting(request)) throw SettingsError(optionName(*missing), missingSettingText(*missing).text);

    ExportJob job = jobFrom(options, callbacks);
    job.outputFile = std::move(name);
    job.sink = sink;
    PipelineResult r;
    try {
        r = runExport(job, *source);
    } catch (const Error& e) {
        if (e.number() == kUserInterrupt && callbacks.stop.stop_requested()) throw ExportCancelled(e.message());
        throw;
    }
    if (r.limitReached)
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The source has more than " + std::to_string(kExcelMaxRecords) +
                        " records, the most this workbook takes; nothing was written.");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ExportResult{r.rows, r.bytes, seconds, r.repairedValues};
}

}  // namespace

SettingsError::SettingsError(std::string setting, const std::string& text)
    : Error(err::kInvalidPropertyValue, "Varnelo", "Missing setting " + setting + ": " + text),
      setting_(std::move(setting)) {}

ExportCancelled::ExportCancelled(const std::string& description) : Error(kUserInterrupt, "Varnelo", description) {}

ExportResult exportRows(const RecordsetPtr& source, const ExportOptions& options, const std::string& path,
                        const ExportCallbacks& callbacks) {
    return run(source, options, callbacks, path, std::nullopt);
}

ExportResult exportRows(const RecordsetPtr& source, const ExportOptions& options, std::ostream& out,
                        const ExportCallbacks& callbacks) {
    return run(source, options, callbacks, options.streamName, OutputFile::Sink{-1, &out});
}

ExportResult exportRows(const RecordsetPtr& source, const ExportOptions& options, int fd,
                        const ExportCallbacks& callbacks) {
    return run(source, options, callbacks, options.streamName, OutputFile::Sink{fd, nullptr});
}

}  // namespace varnelo
