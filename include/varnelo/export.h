// exportRows: the rows of a record source to a file, without the control.
//
// For programs that only want to export rows: no host, no desktop, no panel,
// no lifecycle. The settings are one plain struct whose defaults are those of
// a newly placed control; the same row pipeline and the same checks as the
// control's Save do the work, so a file written here is byte for byte the
// file Save writes with the same settings.
//
//     #include <varnelo/export.h>
//     #include <varnelo/sqlite_recordset.h>
//
//     auto source = std::make_shared<varnelo::SqliteRecordset>("shop.db", "SELECT * FROM orders");
//     varnelo::ExportOptions opt;
//     opt.format = varnelo::ExportFormat::Csv;
//     opt.quotes = true;
//     varnelo::ExportResult r = varnelo::exportRows(source, opt, "orders.csv", {
//         .progress = [](int64_t done, std::optional<int64_t> total) { ... },
//         .stop = stopSource.get_token(),
//     });
//
// Failures are exceptions, all of them varnelo::Error (see error.h):
// - SettingsError: a setting the format needs is missing (an empty table
//   name for Insert, ...); setting() names the ExportOptions field. Nothing
//   is opened or written.
// - ExportCancelled (error 18): the stop token was triggered.
// - any other Error: the source, the file or a value failed, as with Save.
// After any failure the file at `path` is what it was before (see
// OutputFile: the new file replaces the old one only when complete).
//
// The stream and descriptor overloads write as the rows come (text formats)
// or, for Excel, build the workbook in a temporary file and copy it out at
// the end. They never close what they are given. A failure there leaves in
// the stream what was written so far; a broken pipe is an Error whose
// lastSystemError() is EPIPE.
//
// One export at a time per source; the call blocks until it is done and
// calls the callbacks on the calling thread. The stop token may be triggered
// from any thread.
#pragma once

#include "varnelo/export_macros.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "varnelo/error.h"
#include "varnelo/font.h"
#include "varnelo/recordset.h"

namespace varnelo {

// The formats that write a file, as the control's Format values 0-4, 6, 7.
enum class ExportFormat {
    Csv,        // comma-delimited text (Ascii)
    Tsv,        // TAB-delimited text (DelimTab)
    Delimited,  // text with ExportOptions::delimiter (DelimOther)
    Insert,     // SQL INSERT statements (Inserts)
    Excel,      // a workbook: .xlsx, or Excel 97-2003 for a name ending in .xls (ExcelFile)
    Html,       // an HTML table (HTMLTable)
    SqlLoader,  // a SQL*Loader control file with the data in it (SQLLoader)
};

enum class SqlLoaderMode { Insert = 1, Append = 2, Replace = 3, Truncate = 4 };

// Every field starts as a newly placed control has it.
struct ExportOptions {
    ExportFormat format = ExportFormat::Csv;

    // Text formats.
    bool columns = true;            // a header line (or row) of column names
    bool lowercaseColumns = false;  // header names lower case, in double quotes
    bool includeNulls = false;      // Null and empty values written as NULL
    bool quotes = false;            // text values in double quotes
    bool delimAfterRow = false;     // a separator after the last field too
    bool includeSql = false;        // the query text before the data
    bool unixFormat = false;        // LF line ends instead of CR LF
    std::string delimiter = ";";    // Delimited: the field separator, any length

    // Insert and SqlLoader.
    std::string insertTable;              // required
    std::string insertSchema;             // optional "schema." before the table
    std::string commitInterval = "1000";  // Insert: a COMMIT after so many rows; required
    std::string discardMax = "1000";      // SqlLoader: DISCARDMAX ("" leaves it out)
    std::string strEnclose;               // SqlLoader: "Optionally enclosed by"
    std::string loaderSeparator = ",";    // SqlLoader: "Fields terminated by"
    SqlLoaderMode sqlLoaderMode = SqlLoaderMode::Insert;

    // Html and Excel.
    bool noWrap = false;
    bool autoColumnWidth = false;
    bool includeCellBorder = false;
    bool fontExcelDef = false;  // Excel: the body keeps the workbook's default font
    OLE_COLOR headerBackColor = 0x400000;
    OLE_COLOR headerForeColor = 0xFFFFFF;
    OLE_COLOR bodyBackColor = 0xFFFFFF;
    OLE_COLOR bodyForeColor = 0x000000;
    Font headerFont;
    Font bodyFont;

    // The stream and descriptor overloads: the file name the output stands
    // for where the data names its own file (SQL*Loader's BADFILE and
    // DISCARDFILE) and to choose .xls over .xlsx. The path overload uses
    // the path.
    std::string streamName = "export";

    // Ask the source for its row count first, so that progress has a total;
    // it costs the source a second pass over its query.
    bool countRows = false;
};

struct ExportCallbacks {
    // Now and then while rows are written, and once at the end with the
    // final count. The total is known only with ExportOptions::countRows.
    std::function<void(int64_t done, std::optional<int64_t> total)> progress;
    // Checked before every row: once stop is requested the export ends with
    // ExportCancelled and the previous file stays.
    std::stop_token stop;
};

struct ExportResult {
    int64_t rows = 0;        // records written
    uint64_t bytes = 0;      // size of what was written
    double seconds = 0;      // wall-clock time of the export
    int64_t repairedValues = 0;  // text values whose ill-formed UTF-8 became U+FFFD
};

// A setting the format needs is missing. The message names the field
// ("Missing setting insertTable: Please enter Table name to proceed.").
class VARNELO_EXPORT SettingsError : public Error {
public:
    SettingsError(std::string setting, const std::string& text);
    // The ExportOptions field (or "source", "path") that is missing.
    const std::string& setting() const { return setting_; }

private:
    std::string setting_;
};

// The stop token was triggered; error 18 "User interrupt occurred".
class VARNELO_EXPORT ExportCancelled : public Error {
public:
    explicit ExportCancelled(const std::string& description);
};

// Writes the rows of `source` to the file `path` (replacing it when done).
VARNELO_EXPORT ExportResult exportRows(const RecordsetPtr& source, const ExportOptions& options, const std::string& path,
                        const ExportCallbacks& callbacks = {});
// Writes to an open stream (flushed at the end, not closed).
VARNELO_EXPORT ExportResult exportRows(const RecordsetPtr& source, const ExportOptions& options, std::ostream& out,
                        const ExportCallbacks& callbacks = {});
// Writes to an open file descriptor at its current position (not closed):
// standard output, a pipe, a socket, a file.
VARNELO_EXPORT ExportResult exportRows(const RecordsetPtr& source, const ExportOptions& options, int fd,
                        const ExportCallbacks& callbacks = {});

}  // namespace varnelo
