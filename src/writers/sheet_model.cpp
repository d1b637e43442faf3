#include "writers/sheet_model.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "varnelo/error.h"
#include "writers/value_text.h"
#include "writers/writers.h"

namespace varnelo {

namespace {

// Integers beyond 15 digits lose digits in a number cell.
constexpr int64_t kMaxExactInteger = 999'999'999'999'999;
// The workbooks' own default cell font, the body's look with fontExcelDef
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

// UTF-16 units of valid UTF-8 text: what a cell's length limit counts.
size_t utf16Length(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) ++n;  // a lead byte starts a character
        if (c >= 0xF0) ++n;           // beyond the basic plane: a surrogate pair
    }
    return n;
}

int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

SheetStyle styleFrom(const Font* font, OLE_COLOR fore, OLE_COLOR back, bool border, NumberFormat nf) {
    SheetStyle s;
    if (font) {
        s.hasFont = true;
        s.fontName = font->name;
        s.fontSize = font->size > 0 ? font->size : kDefaultPointSize;
        s.bold = font->bold;
        s.italic = font->italic;
        s.foreRgb = sheetRgb(fore);
        s.backRgb = sheetRgb(back);
    }
    s.border = border;
    s.numberFormat = nf;
    return s;
}

const Font& fontOr(const FontPtr& f) {
    static const Font fallback;
    return f ? *f : fallback;
}

class SheetWriter final : public RowWriter {
public:
    explicit SheetWriter(const ExportJob& job) : job_(job) {}

    int64_t maxRows() const override { return kExcelMaxRecords; }
    // The workbook library writes .xlsx by path; .xls goes through the file.
    bool writesByPath() const override { return !isXlsFileName(job_.outputFile); }

    void begin(OutputFile& out, const std::vector<Column>& columns, Recordset&) override {
        columns_ = &columns;
        backend_ = isXlsFileName(out.path()) ? makeXlsBackend(out) : makeXlsxBackend(out);
        if (columns.size() > backend_->maxColumns()) {
            throw Error(err::kInvalidProcedureCall, "Varnelo",
                        "The record source has " + std::to_string(columns.size()) +
                            " columns; a worksheet holds at most " + std::to_string(backend_->maxColumns()) + ".");
        }
        const bool border = job_.includeCellBorder == 1;
        const Font* bodyFont = job_.fontExcelDef == 0 ? &fontOr(job_.bodyFont) : nullptr;
        styles_[index(CellStyle::Header)] = styleFrom(&fontOr(job_.headerFont), job_.headerForeColor,
                                                      job_.headerBackColor, border, NumberFormat::General);
        const struct { CellStyle slot; NumberFormat nf; } body[] = {
            {CellStyle::Body, NumberFormat::General},
            {CellStyle::BodyDate, NumberFormat::Date},
            {CellStyle::BodyDateTime, NumberFormat::DateTime},
            {CellStyle::BodyDateTimeMillis, NumberFormat::DateTimeMillis},
        };
        for (const auto& b : body)
            styles_[index(b.slot)] = styleFrom(bodyFont, job_.bodyForeColor, job_.bodyBackColor, border, b.nf);
        backend_->defineStyles(styles_);
        fitWidths_ = job_.autoColumnWidth == 1;
        if (fitWidths_) widest_.assign(columns.size(), 0.0);
    }

    void row(OutputFile&, Recordset& rs, int64_t number) override {
        const std::vector<Column>& cols = *columns_;
        if (number == 1 && job_.columns == 1) {
            for (size_t j = 0; j < cols.size(); ++j)
                writeText(0, static_cast<uint32_t>(j), cols[j].name, CellStyle::Header, number, cols[j]);
        }
        const uint32_t r = static_cast<uint32_t>(number - (job_.columns == 1 ? 0 : 1));
        for (size_t j = 0; j < cols.size(); ++j) {
            rs.readField(static_cast<int>(j), value_);
            writeValue(r, static_cast<uint32_t>(j), number, cols[j]);
        }
    }

    void finish(OutputFile&, int64_t) override {
        // Widths measured over the streamed rows go into the column records,
        // which the backends place ahead of the rows when they save.
        for (size_t j = 0; fitWidths_ && j < widest_.size(); ++j)
            if (widest_[j] > 0) backend_->columnWidth(static_cast<uint32_t>(j), columnWidthForText(widest_[j]));
        backend_->save();
    }

private:
    static size_t index(CellStyle s) { return static_cast<size_t>(s); }

    void measure(uint32_t col, std::string_view shown, CellStyle style) {
        if (!fitWidths_) return;
        const SheetStyle& s = styles_[index(style)];
        const double px = textPixelWidth(shown, s.hasFont ? s.fontSize : kDefaultPointSize, s.hasFont && s.bold);
        if (px > widest_[col]) widest_[col] = px;
    }

    void writeText(uint32_t r, uint32_t col, std::string_view text, CellStyle style, int64_t number,
                   const Column& column) {
        std::string_view shown = text;
        if (!isValidUtf8(text)) {
            repaired_.clear();
            appendRepairedUtf8(repaired_, text, false);
            shown = repaired_;
            ++repairedValues;
        }
        if (utf16Length(shown) > kExcelMaxTextLength)
            failValue(number, column, "the text is longer than a worksheet cell holds (32,767 characters)");
        backend_->text(r, col, shown, style);
        measure(col, shown, style);
    }

    void writeNumber(uint32_t r, uint32_t col, double d) {
        backend_->number(r, col, d, CellStyle::Body);
        if (fitWidths_) {
            scratch_.clear();
            appendDouble(scratch_, d);
            if (scratch_.size() > kGeneralNumberChars) scratch_.resize(kGeneralNumberChars);
            measure(col, scratch_, CellStyle::Body);
        }
    }

    void writeDate(uint32_t r, uint32_t col, const DateTime& d, int64_t number, const Column& column) {
        const bool cellHolds = d.year >= 1900 && d.year <= 9999 && !d.hasZone() && d.fractionDigits <= 3;
        if (!cellHolds) {
            scratch_.clear();
            d.appendText(scratch_);  // what a date cell cannot show: its ISO text
            writeText(r, col, scratch_, CellStyle::Body, number, column);
            return;
        }
        const CellStyle style = d.isMidnight()  ? CellStyle::BodyDate
                                : d.hasFraction() ? CellStyle::BodyDateTimeMillis
                                                  : CellStyle::BodyDateTime;
        backend_->number(r, col, excelSerial(d.year, d.month, d.day, d.hour, d.minute, d.second, d.nanosecond), style);
        // The number format shows exactly these characters.
        measure(col,
                style == CellStyle::BodyDate         ? "0000-00-00"
                : style == CellStyle::BodyDateTime ? "0000-00-00 00:00:00"
                                                   : "0000-00-00 00:00:00.000",
                style);
    }

    void writeValue(uint32_t r, uint32_t col, int64_t number, const Column& column) {
        using K = Variant::Kind;
        switch (value_.kind) {
            case K::Empty:
            case K::Null:
                // Only a blank that shows something is worth a cell.
                if (styles_[index(CellStyle::Body)].showsWhenBlank()) backend_->blank(r, col, CellStyle::Body);
                return;
            case K::Boolean:
                backend_->boolean(r, col, value_.boolean, CellStyle::Body);
                measure(col, value_.boolean ? "TRUE" : "FALSE", CellStyle::Body);
                return;
            case K::Int32:
            case K::Int64:
                if (value_.integer > kMaxExactInteger || value_.integer < -kMaxExactInteger) {
                    scratch_.clear();
                    value_.appendText(scratch_);
                    writeText(r, col, scratch_, CellStyle::Body, number, column);
                } else {
                    writeNumber(r, col, static_cast<double>(value_.integer));
                }
                return;
            case K::Double:
                if (!std::isfinite(value_.number)) {
                    scratch_.clear();
                    value_.appendText(scratch_);
                    writeText(r, col, scratch_, CellStyle::Body, number, column);
                } else {
                    writeNumber(r, col, value_.number);
                }
                return;
            case K::Date: writeDate(r, col, value_.date, number, column); return;
            case K::String: {
                if (value_.text.empty()) {
                    if (styles_[index(CellStyle::Body)].showsWhenBlank()) backend_->blank(r, col, CellStyle::Body);
                    return;
                }
                DateTime d;
                if (column.group == TypeGroup::Date && DateTime::parseIso(value_.text, d)) {
                    writeDate(r, col, d, number, column);
                    return;
                }
                writeText(r, col, value_.text, CellStyle::Body, number, column);
                return;
            }
            case K::Bytes:
                scratch_.clear();
                appendHex(scratch_, value_.text);
                writeText(r, col, scratch_, CellStyle::Body, number, column);
                return;
        }
    }

    const ExportJob& job_;
    const std::vector<Column>* columns_ = nullptr;
    std::unique_ptr<SheetBackend> backend_;
    SheetStyles styles_;
    bool fitWidths_ = false;
    std::vector<double> widest_;  // pixels per column, while fitting widths
    FieldValue value_;
    std::string scratch_, repaired_;
};

}  // namespace

const char* numberFormatCode(NumberFormat f) {
    switch (f) {
        case NumberFormat::Date: return "yyyy-mm-dd";
        case NumberFormat::DateTime: return "yyyy-mm-dd hh:mm:ss";
        case NumberFormat::DateTimeMillis: return "yyyy-mm-dd hh:mm:ss.000";
        case NumberFormat::General: break;
    }
    return "";
}

uint32_t sheetRgb(OLE_COLOR c) {
    const OLE_COLOR rgb = resolveColor(c);
    const uint32_t r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

double excelSerial(int year, int month, int day, int hour, int minute, int second, int32_t nanosecond) {
    int64_t days = daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30);
    if (days < 61) days -= 1;  // before 1900-03-01: the sheet counts a 1900-02-29 that never was
    const double seconds = hour * 3600.0 + minute * 60.0 + second + nanosecond / 1e9;
    return static_cast<double>(days) + seconds / 86400.0;
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

std::unique_ptr<RowWriter> makeSheetWriter(const ExportJob& job) { return std::make_unique<SheetWriter>(job); }

}  // namespace varnelo
