#include "writers/excel_writer.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "varnelo/error.h"
#include "writers/formatting.h"
#include "writers/output_file.h"

namespace varnelo {

namespace {

constexpr int kMaxColumns = 16384;  // a sheet's columns, A to XFD
// Integers beyond 15 digits lose digits in a number cell.
constexpr int64_t kMaxExactInteger = 999'999'999'999'999;
constexpr const char* kDateFormat = "yyyy-mm-dd";
constexpr const char* kDateTimeFormat = "yyyy-mm-dd hh:mm:ss";
// libxlsxwriter's own default cell font, the body's look with fontExcelDef
// other than 0.
constexpr double kDefaultPointSize = 11.0;
// General format shows at most this many characters of a number.
constexpr size_t kGeneralNumberChars = 11;

// Advance widths in pixels at 11 points of the printable ASCII characters,
// space (32) to tilde (126), for a common sans-serif face.
constexpr unsigned char kAsciiWidths[95] = {
    3, 3, 5, 7, 7, 10, 10, 3, 4, 4, 7, 7, 4, 4, 4, 5,     //  !"#$%&'()*+,-./
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7,                         // 0-9
    4, 4, 7, 7, 7, 6, 12,                                 // :;<=>?@
    8, 8, 8, 9, 7, 7, 9, 9, 3, 5, 8, 6, 12,               // A-M
    9, 10, 8, 10, 8, 7, 7, 9, 8, 13, 8, 7, 7,             // N-Z
    4, 5, 4, 7, 7, 4,                                     // [\]^_`
    7, 7, 6, 7, 7, 4, 7, 7, 3, 3, 6, 3, 11,               // a-m
    7, 7, 7, 7, 5, 6, 4, 7, 6, 10, 6, 6, 6,               // n-z
    4, 4, 4, 7,                                           // {|}~
};
constexpr double kOtherWidth = 7.0;  // any other letter: a digit's width
constexpr double kWideWidth = 14.0;  // East Asian wide characters, emoji
constexpr double kBoldFactor = 1.08;

bool isWide(uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
           (cp >= 0x20000 && cp <= 0x3FFFD);
}

bool isZeroWidth(uint32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F) || cp == 0xFE0F ||
           (cp >= 0xFE00 && cp <= 0xFE0E);
}

// Pixels of one line at 11 points.
double linePixels(std::string_view s) {
    double px = 0;
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c >= 32 && c < 127) px += kAsciiWidths[c - 32];
            else if (c == '\t') px += kOtherWidth;
            ++i;
            continue;
        }
        // A multi-byte sequence; a stray byte counts as one ordinary letter.
        int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (len == 1 || i + static_cast<size_t>(len) > s.size()) {
            px += kOtherWidth;
            ++i;
            continue;
        }
        uint32_t cp = c & (0x3F >> (len - 1));
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        px += isZeroWidth(cp) ? 0.0 : isWide(cp) ? kWideWidth : kOtherWidth;
        i += static_cast<size_t>(len);
    }
    return px;
}

[[noreturn]] void raiseLxw(lxw_error e, const std::string& what) {
    if (e == LXW_ERROR_MEMORY_MALLOC_FAILED) throw Error::standard(err::kOutOfMemory);
    std::string text = std::string("The Excel workbook could not be written: ") + what + " (" +
                       lxw_strerror(e) + ").";
    switch (e) {
        case LXW_ERROR_CREATING_XLSX_FILE:
        case LXW_ERROR_CREATING_TMPFILE:
        case LXW_ERROR_READING_TMPFILE:
        case LXW_ERROR_ZIP_FILE_OPERATION:
        case LXW_ERROR_ZIP_FILE_ADD:
        case LXW_ERROR_ZIP_CLOSE: {
            // A file went wrong: the standard number for the errno it left.
            const int saved = errno;
            const int32_t number = saved ? OutputFile::errorNumberFor(saved) : err::kPathFileAccess;
            throw Error(number, "Varnelo", standardErrorText(number) + ". " + text, saved);
        }
        default:
            throw Error(err::kInvalidProcedureCall, "Varnelo", text);
    }
}

const Font& fontOr(const FontPtr& f) {
    static const Font fallback;
    return f ? *f : fallback;
}

}  // namespace

uint32_t excelColor(OLE_COLOR c) {
    const OLE_COLOR rgb = resolveColor(c);
    const uint32_t r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    const uint32_t out = (r << 16) | (g << 8) | b;
    return out == 0 ? static_cast<uint32_t>(LXW_COLOR_BLACK) : out;
}

double textPixelWidth(std::string_view utf8, double pointSize, bool bold) {
    double widest = 0;
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string_view::npos) end = utf8.size();
        std::string_view line = utf8.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        widest = std::max(widest, linePixels(line));
        start = end + 1;
    }
    return widest * (pointSize / kDefaultPointSize) * (bold ? kBoldFactor : 1.0);
}

double columnWidthForText(double pixels) {
    // A column of width w >= 1 is w * 7 + 5 pixels wide (7 the default
    // font's digit, 5 the margins); the text wants 3 pixels more to stand
    // clear of the grid lines on both sides.
    const double columnPixels = std::ceil(pixels) + 3 + 5;
    const double width = columnPixels <= 12 ? columnPixels / 12.0 : (columnPixels - 5) / 7.0;
    return std::min(width, 255.0);
}

// ---------------------------------------------------------------------------

struct ExcelWorkbook::Impl {
    explicit Impl(const ExportJob& j) : job(j), out(j.outputFile) {}
    ~Impl() {
        if (wb) lxw_workbook_free(wb);  // never saved: nothing is written
    }

    // The look of one kind of cell, and the font its text is measured in.
    struct Look {
        lxw_format* format = nullptr;
        double pointSize = kDefaultPointSize;
        bool bold = false;
    };

    void open();
    lxw_format* newFormat(const Font* font, OLE_COLOR fore, OLE_COLOR back, const char* numberFormat);
    void writeHeader(Recordset& rs);
    void writeValue(lxw_row_t row, lxw_col_t col, const Variant& v, int type);
    void writeText(lxw_row_t row, lxw_col_t col, const std::string& text, const Look& look);
    void writeDate(lxw_row_t row, lxw_col_t col, const DateTime& d);
    void measure(lxw_col_t col, std::string_view text, const Look& look) {
        if (!fitWidths) return;
        const double px = textPixelWidth(text, look.pointSize, look.bold);
        if (px > widest[col]) widest[col] = px;
    }
    void check(lxw_error e, lxw_row_t row, lxw_col_t col) {
        if (e == LXW_NO_ERROR) return;
        raiseLxw(e, "cell in row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1));
    }

    const ExportJob& job;
    OutputFile out;
    lxw_workbook* wb = nullptr;
    lxw_worksheet* ws = nullptr;
    Look header, body, bodyDate, bodyDateTime;
    bool fitWidths = false;
    std::vector<double> widest;  // pixels per column, while fitting widths
    std::vector<int> types;
    std::string scratch;
    bool copied = false;
};

void ExcelWorkbook::Impl::open() {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to a temporary file as they come
    wb = workbook_new_opt(out.workingPath().c_str(), &options);
    if (!wb) throw Error::standard(err::kOutOfMemory);
    ws = workbook_add_worksheet(wb, "Sheet1");
    if (!ws) raiseLxw(LXW_ERROR_CREATING_TMPFILE, "the sheet \"Sheet1\"");

    const bool borders = job.includeCellBorder == 1;
    const Font& hf = fontOr(job.headerFont);
    header.format = newFormat(&hf, job.headerForeColor, job.headerBackColor, nullptr);
    header.pointSize = hf.size;
    header.bold = hf.bold;

    const bool styledBody = job.fontExcelDef == 0;
    const Font* bf = styledBody ? &fontOr(job.bodyFont) : nullptr;
    for (Look* look : {&body, &bodyDate, &bodyDateTime}) {
        const char* numberFormat =
            look == &bodyDate ? kDateFormat : look == &bodyDateTime ? kDateTimeFormat : nullptr;
        if (styledBody || borders || numberFormat)
            look->format = newFormat(bf, job.bodyForeColor, job.bodyBackColor, numberFormat);
        if (bf) {
            look->pointSize = bf->size;
            look->bold = bf->bold;
        }
    }
}

// A format with the font and colours (none when font is null), the number
// format, and thin borders when the job asks for them.
lxw_format* ExcelWorkbook::Impl::newFormat(const Font* font, OLE_COLOR fore, OLE_COLOR back,
                                           const char* numberFormat) {
    lxw_format* f = workbook_add_format(wb);
    if (!f) throw Error::standard(err::kOutOfMemory);
    if (font) {
        if (!font->name.empty()) format_set_font_name(f, font->name.c_str());
        if (font->size > 0) format_set_font_size(f, font->size);
        if (font->bold) format_set_bold(f);
        if (font->italic) format_set_italic(f);
        format_set_font_color(f, excelColor(fore));
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, excelColor(back));
    }
    if (numberFormat) format_set_num_format(f, numberFormat);
    if (job.includeCellBorder == 1) format_set_border(f, LXW_BORDER_THIN);
    return f;
}

void ExcelWorkbook::Impl::writeHeader(Recordset& rs) {
    const int cols = rs.fieldCount();
    for (int j = 0; j < cols; ++j) {
        const std::string& name = rs.fieldName(j);
        writeText(0, static_cast<lxw_col_t>(j), name, header);
    }
}

void ExcelWorkbook::Impl::writeText(lxw_row_t row, lxw_col_t col, const std::string& text, const Look& look) {
    const lxw_error e = worksheet_write_string(ws, row, col, text.c_str(), look.format);
    if (e == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED) {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The text in row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1) +
                        " is longer than a worksheet cell holds (32,767 characters).");
    }
    check(e, row, col);
    measure(col, text, look);
}

void ExcelWorkbook::Impl::writeDate(lxw_row_t row, lxw_col_t col, const DateTime& d) {
    if (d.year < 1900 || d.year > 9999) {
        writeText(row, col, d.toText(), body);  // before the sheet's first day: kept as text
        return;
    }
    lxw_datetime dt{d.year, d.month, d.day, d.hour, d.minute, static_cast<double>(d.second)};
    const Look& look = d.isMidnight() ? bodyDate : bodyDateTime;
    check(worksheet_write_datetime(ws, row, col, &dt, look.format), row, col);
    // The number format shows exactly these characters.
    measure(col, d.isMidnight() ? "0000-00-00" : "0000-00-00 00:00:00", look);
}

void ExcelWorkbook::Impl::writeValue(lxw_row_t row, lxw_col_t col, const Variant& v, int type) {
    switch (v.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            // Only a formatted blank is worth a cell (its fill and borders).
            if (body.format) check(worksheet_write_blank(ws, row, col, body.format), row, col);
            return;
        case Variant::Kind::Boolean:
            check(worksheet_write_boolean(ws, row, col, v.asBool() ? 1 : 0, body.format), row, col);
            measure(col, v.asBool() ? "TRUE" : "FALSE", body);
            return;
        case Variant::Kind::Int32:
        case Variant::Kind::Int64: {
            const int64_t i = v.kind() == Variant::Kind::Int32 ? v.asInt32() : v.asInt64();
            scratch.clear();
            v.appendText(scratch);
            if (i > kMaxExactInteger || i < -kMaxExactInteger) {
                writeText(row, col, scratch, body);
                return;
            }
            check(worksheet_write_number(ws, row, col, static_cast<double>(i), body.format), row, col);
            if (scratch.size() > kGeneralNumberChars) scratch.resize(kGeneralNumberChars);
            measure(col, scratch, body);
            return;
        }
        case Variant::Kind::Double: {
            const double d = v.asDouble();
            scratch.clear();
            v.appendText(scratch);
            if (!std::isfinite(d)) {
                writeText(row, col, scratch, body);
                return;
            }
            check(worksheet_write_number(ws, row, col, d, body.format), row, col);
            if (scratch.size() > kGeneralNumberChars) scratch.resize(kGeneralNumberChars);
            measure(col, scratch, body);
            return;
        }
        case Variant::Kind::Date:
            writeDate(row, col, v.asDate());
            return;
        case Variant::Kind::String: {
            const std::string& s = v.asString();
            if (s.empty()) {
                if (body.format) check(worksheet_write_blank(ws, row, col, body.format), row, col);
                return;
            }
            DateTime d;
            if (isDateType(type) && DateTime::parseIso(s, d)) {
                writeDate(row, col, d);
                return;
            }
            writeText(row, col, s, body);
            return;
        }
        case Variant::Kind::Bytes:
            // Binary values read as their hexadecimal text, as before they had a kind of their own.
            scratch.clear();
            v.appendText(scratch);
            if (scratch.empty()) {
                if (body.format) check(worksheet_write_blank(ws, row, col, body.format), row, col);
                return;
            }
            writeText(row, col, scratch, body);
            return;
    }
}

// ---------------------------------------------------------------------------

ExcelWorkbook::ExcelWorkbook(const ExportJob& job) : impl_(std::make_unique<Impl>(job)) { impl_->open(); }

ExcelWorkbook::~ExcelWorkbook() = default;

ExcelCopyResult ExcelWorkbook::copyRecords(Recordset& rs) {
    Impl& m = *impl_;
    if (m.copied) throw Error(err::kInvalidProcedureCall, "Varnelo", "The records are already in the sheet.");
    m.copied = true;

    if (rs.Bof() && rs.Eof()) return ExcelCopyResult::Empty;
    const int64_t count = rs.RecordCount();
    if (count <= 0) return ExcelCopyResult::Empty;
    if (count > kExcelMaxRecords) return ExcelCopyResult::TooManyRecords;

    const int cols = rs.fieldCount();
    if (cols > kMaxColumns) {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The record source has " + std::to_string(cols) +
                        " columns; a worksheet holds at most 16,384.");
    }
    m.fitWidths = m.job.autoColumnWidth == 1;
    if (m.fitWidths) m.widest.assign(static_cast<size_t>(cols), 0.0);
    m.types.resize(static_cast<size_t>(cols));
    for (int j = 0; j < cols; ++j) m.types[static_cast<size_t>(j)] = rs.fieldType(j);

    lxw_row_t row = 0;
    if (m.job.columns == 1) {
        m.writeHeader(rs);
        row = 1;
    }

    rs.MoveFirst();
    int64_t done = 0;
    while (!rs.Eof()) {
        if (done == kExcelMaxRecords) {
            throw Error(err::kInvalidProcedureCall, "Varnelo",
                        "The record source gave more records than the 65,535 it counted.");
        }
        for (int j = 0; j < cols; ++j)
            m.writeValue(row, static_cast<lxw_col_t>(j), rs.fieldValue(j), m.types[static_cast<size_t>(j)]);
        ++row;
        ++done;
        rs.MoveNext();
        m.job.rowDone(done, count);
    }

    // The column records are written ahead of the rows when the workbook is
    // put together, so widths measured over the streamed rows apply to them.
    if (m.fitWidths) {
        for (int j = 0; j < cols; ++j) {
            const double px = m.widest[static_cast<size_t>(j)];
            if (px <= 0) continue;  // nothing shown: the column keeps its default width
            const auto col = static_cast<lxw_col_t>(j);
            m.check(worksheet_set_column(m.ws, col, col, columnWidthForText(px), nullptr), 0, col);
        }
    }

    rs.MoveFirst();
    if (m.job.progress) m.job.progress(done, count);
    return ExcelCopyResult::Copied;
}

void ExcelWorkbook::save() {
    Impl& m = *impl_;
    lxw_workbook* wb = m.wb;
    m.wb = nullptr;  // workbook_close frees it, whatever it returns
    errno = 0;
    const lxw_error e = workbook_close(wb);
    if (e != LXW_NO_ERROR) raiseLxw(e, "saving " + m.job.outputFile);
    m.out.commit();
}

ExcelCopyResult writeExcel(const ExportJob& job, Recordset& rs) {
    ExcelWorkbook book(job);
    const ExcelCopyResult result = book.copyRecords(rs);
    book.save();
    return result;
}

}  // namespace varnelo
