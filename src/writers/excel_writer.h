// The Excel writer: the rows of a record source as an Office Open XML
// workbook (.xlsx, whatever the file is called), written with libxlsxwriter.
//
// The workbook has one sheet, "Sheet1". With job.columns 1 the field names
// (as they are) fill row 1 and the data starts in row 2, else in row 1. Every
// value keeps its type:
//  - numbers are number cells; an integer of more than 15 digits, which a
//    spreadsheet cannot hold exactly, is a text cell of its digits, and a
//    non-finite double (inf, nan) a text cell, so no digit is lost or made up;
//  - Booleans are Boolean cells;
//  - dates (and ISO date text in a date column) are date cells formatted
//    "yyyy-mm-dd", or "yyyy-mm-dd hh:mm:ss" when the time is not midnight;
//    dates a spreadsheet cannot show (before 1900, after 9999) are text;
//  - text is text (never a formula, whatever it starts with);
//  - Null, Empty and the empty string are empty cells, whatever
//    job.includeNulls says.
// The header cells take job.headerFont (name, size, bold, italic),
// job.headerForeColor and a solid job.headerBackColor fill. With
// job.fontExcelDef 0 the body cells take job.bodyFont, job.bodyForeColor and
// job.bodyBackColor; any other value leaves them in the default look.
// job.includeCellBorder 1 puts thin borders of automatic colour around and
// between all cells; any other value puts none. job.autoColumnWidth 1 fits
// each column to its widest content in the font used (measured while the
// rows stream, see textPixelWidth). System colours are resolved first.
//
// Limits: more than kExcelMaxRecords records give an empty "Sheet1" and
// ExcelCopyResult::TooManyRecords; the caller tells the user. No records give
// an empty "Sheet1" too. A text longer than a cell holds (32,767 characters)
// fails the export with error 5 naming its row and column.
//
// Rows stream through libxlsxwriter's constant-memory mode: memory does not
// grow with the number of records. The workbook goes into a temporary file
// beside job.outputFile that replaces it only on save() (see OutputFile): a
// failure leaves the earlier file untouched and no temporary behind. On
// success the record source is back on its first row.
//
// Errors are varnelo::Error: file errors with the standard numbers and errno
// of OutputFile (76 path not found, 75 access, 61 disk full, ...), 7 out of
// memory, 5 for a value that cannot go into a cell or any other libxlsxwriter
// failure (its own text in the description); record-source errors pass
// through as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "varnelo/font.h"
#include "varnelo/recordset.h"
#include "writers/export_job.h"

namespace varnelo {

// The most records a sheet takes: with the header row, 65536 sheet rows.
constexpr int64_t kExcelMaxRecords = 65535;

enum class ExcelCopyResult {
    Copied,          // the header (with columns 1) and every record are in the sheet
    Empty,           // the source has no records: the sheet stays empty
    TooManyRecords,  // more than kExcelMaxRecords: the sheet stays empty
};

// One workbook being written: open, copy the records, save. Destroying it
// without save() discards everything.
class ExcelWorkbook {
public:
    // Creates the temporary file and the empty sheet "Sheet1". The job must
    // outlive the workbook.
    explicit ExcelWorkbook(const ExportJob& job);
    ~ExcelWorkbook();
    ExcelWorkbook(const ExcelWorkbook&) = delete;
    ExcelWorkbook& operator=(const ExcelWorkbook&) = delete;

    // Fills and formats the sheet from the first record of rs to its end.
    // Call once.
    ExcelCopyResult copyRecords(Recordset& rs);

    // Finishes the workbook and puts it in place of job.outputFile.
    void save();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The three steps in one call.
ExcelCopyResult writeExcel(const ExportJob& job, Recordset& rs);

// ---- Pieces of the writer, public for their tests.

// The colour as libxlsxwriter takes it (0xRRGGBB) for an OLE colour
// (0x00BBGGRR, or a system colour, resolved). Black is libxlsxwriter's
// explicit black, since its 0 means "no colour".
uint32_t excelColor(OLE_COLOR c);

// The width in pixels of a line of UTF-8 text at `pointSize` points, from
// per-character advance widths of a common sans-serif face at 11 points
// (scaled linearly, bold a little wider). East Asian wide characters and
// emoji count two digits, combining marks nothing. Multi-line text measures
// its widest line.
double textPixelWidth(std::string_view utf8, double pointSize, bool bold);

// The column width (in the sheet's character units) that shows `pixels` of
// text with the usual cell margins; at most 255, the widest column allowed.
double columnWidthForText(double pixels);

}  // namespace varnelo
