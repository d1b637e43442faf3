// The spreadsheet writer's sheet model and the backends that store it.
//
// The model (SheetWriter in sheet_model.cpp, a RowWriter) decides, once for
// every workbook format, what a sheet shows:
//  - one sheet "Sheet1"; with columns 1 the field names (as they are) in
//    row 1 in the header look, the records from row 2, else from row 1;
//  - every value keeps its type: numbers are number cells, except integers
//    beyond 15 digits (a number cell would change them) and Infinity/NaN,
//    which are text; Booleans are Boolean cells; dates (and ISO date text in
//    a date column) are date cells, "yyyy-mm-dd" at a plain midnight,
//    "yyyy-mm-dd hh:mm:ss" otherwise, "yyyy-mm-dd hh:mm:ss.000" with a
//    fraction of up to three digits; dates a cell cannot show as they are
//    (before 1900, after 9999, with a zone or a finer fraction) are text in
//    their ISO form, so nothing is lost; binary values are hexadecimal text;
//    Null and the empty string are empty cells (a blank cell that carries
//    the body look where there is one to show), whatever includeNulls says;
//  - the header look: headerFont (name, size, bold, italic), headerForeColor
//    and a solid headerBackColor fill; the body look, with fontExcelDef 0,
//    the same from bodyFont and the body colours, else the default look;
//    includeCellBorder 1 puts thin borders around every cell; system colours
//    are resolved first;
//  - autoColumnWidth 1 fits each column to its widest content in the font
//    used, measured while the rows stream (textPixelWidth);
//  - limits: at most kExcelMaxRecords records (the export stops at the next
//    one and writes nothing); at most the backend's columns and 32,767
//    characters a text (Error 5 naming the row and column, or the limit);
//    ill-formed UTF-8 becomes U+FFFD (counted).
//
// A backend only stores what the model hands it: cells with one of a fixed
// set of styles, column widths, and the file. Text reaches it as valid UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "varnelo/font.h"
#include "writers/output_file.h"

namespace varnelo {

// The most records a sheet takes: with the header row, 65536 sheet rows.
constexpr int64_t kExcelMaxRecords = 65535;
// The most characters (UTF-16 units) a cell's text holds.
constexpr size_t kExcelMaxTextLength = 32767;

enum class NumberFormat : uint8_t { General, Date, DateTime, DateTimeMillis };

// The number format's code as workbooks write it ("yyyy-mm-dd", ...; "" for
// General).
const char* numberFormatCode(NumberFormat f);

// One look a cell can have.
struct SheetStyle {
    bool hasFont = false;  // false: the workbook's default font, no fill
    std::string fontName;
    double fontSize = 11.0;
    bool bold = false;
    bool italic = false;
    uint32_t foreRgb = 0;  // 0xRRGGBB
    uint32_t backRgb = 0;  // 0xRRGGBB, a solid fill
    bool border = false;   // thin, automatic colour, on all four sides
    NumberFormat numberFormat = NumberFormat::General;

    // Whether an empty cell in this look shows anything (a fill, borders).
    bool showsWhenBlank() const { return hasFont || border; }
};

// The looks of a sheet, each a fixed slot.
enum class CellStyle : uint8_t { Header, Body, BodyDate, BodyDateTime, BodyDateTimeMillis };
constexpr size_t kCellStyles = 5;
using SheetStyles = std::array<SheetStyle, kCellStyles>;

class SheetBackend {
public:
    virtual ~SheetBackend() = default;

    // The most columns a sheet of this format holds.
    virtual uint32_t maxColumns() const = 0;
    // Once, before any cell.
    virtual void defineStyles(const SheetStyles& styles) = 0;
    // Rows and columns count from 0; rows arrive in order.
    virtual void number(uint32_t row, uint32_t col, double value, CellStyle style) = 0;
    virtual void text(uint32_t row, uint32_t col, std::string_view utf8, CellStyle style) = 0;
    virtual void boolean(uint32_t row, uint32_t col, bool value, CellStyle style) = 0;
    virtual void blank(uint32_t row, uint32_t col, CellStyle style) = 0;
    // After the last row; width in the sheet's character units.
    virtual void columnWidth(uint32_t col, double width) = 0;
    // Writes the workbook into the output file (its bytes or its working path).
    virtual void save() = 0;
};

// Office Open XML (.xlsx) through libxlsxwriter, streamed row by row.
std::unique_ptr<SheetBackend> makeXlsxBackend(OutputFile& out);
// Excel 97-2003 (.xls): BIFF8 in a compound document, our own writer
// (writers/xls/). At most 256 columns.
std::unique_ptr<SheetBackend> makeXlsBackend(OutputFile& out);
// Whether a file name asks for the .xls format: it ends in ".xls", in any
// letter case.
bool isXlsFileName(std::string_view path);

// ---- Pieces of the model, public for their tests.

// The colour as a workbook takes it (0xRRGGBB) for an OLE colour
// (0x00BBGGRR, or a system colour, resolved).
uint32_t sheetRgb(OLE_COLOR c);

// The date serial a spreadsheet shows for a date and time (1900 system:
// 1 is 1900-01-01, with the calendar's phantom 1900-02-29 skipped).
double excelSerial(int year, int month, int day, int hour, int minute, int second, int32_t nanosecond);

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
