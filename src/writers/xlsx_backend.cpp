// The .xlsx backend: libxlsxwriter in constant-memory mode, so rows go to a
// temporary file as they come and memory does not grow with the records.
// libxlsxwriter writes the workbook itself, through the output's working path.
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "varnelo/error.h"
#include "writers/sheet_model.h"
#include "writers/value_text.h"

namespace varnelo {

namespace {

constexpr uint32_t kXlsxMaxColumns = 16384;  // A to XFD

// libxlsxwriter writes numbers with 16 significant digits. The doubles
// within that rounding of the largest one would be written as a number
// above it, which readers take for infinity or reject: they are written as
// the largest 16-digit number instead, the same rounding every other
// number gets.
constexpr double kLargest16Digits = 1.797693134862315e308;

[[noreturn]] void raiseLxw(lxw_error e, const std::string& what) {
    if (e == LXW_ERROR_MEMORY_MALLOC_FAILED) throw Error::standard(err::kOutOfMemory);
    std::string text = std::string("The Excel workbook could not be written: ") + what + " (" + lxw_strerror(e) + ").";
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
        default: throw Error(err::kInvalidProcedureCall, "Varnelo", text);
    }
}

// Sheet text as the XML holds it. libxlsxwriter writes other control
// characters as _xHHHH_ itself, but a NUL would end its C string, and a text
// that already reads _xHHHH_ would be decoded by the reader: its underscore
// is written _x005F_.
bool needsEscape(std::string_view s) {
    if (holdsNul(s)) return true;
    for (size_t i = s.find("_x"); i != std::string_view::npos; i = s.find("_x", i + 1))
        if (i + 7 <= s.size() && s[i + 6] == '_') return true;
    return false;
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void escapeInto(std::string& out, std::string_view s) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\0') {
            out.append("_x0000_");
        } else if (c == '_' && i + 7 <= s.size() && s[i + 1] == 'x' && isHex(s[i + 2]) && isHex(s[i + 3]) &&
                   isHex(s[i + 4]) && isHex(s[i + 5]) && s[i + 6] == '_') {
            out.append("_x005F_");
        } else {
            out.push_back(c);
        }
    }
}

class XlsxBackend final : public SheetBackend {
public:
    explicit XlsxBackend(OutputFile& out) : path_(out.workingPath()) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        wb_ = workbook_new_opt(path_.c_str(), &options);
        if (!wb_) throw Error::standard(err::kOutOfMemory);
        ws_ = workbook_add_worksheet(wb_, "Sheet1");
        if (!ws_) raiseLxw(LXW_ERROR_CREATING_TMPFILE, "the sheet \"Sheet1\"");
    }
    ~XlsxBackend() override {
        if (wb_) lxw_workbook_free(wb_);  // never saved: nothing is written
    }

    uint32_t maxColumns() const override { return kXlsxMaxColumns; }

    void defineStyles(const SheetStyles& styles) override {
        for (size_t i = 0; i < styles.size(); ++i) {
            const SheetStyle& s = styles[i];
            if (!s.showsWhenBlank() && s.numberFormat == NumberFormat::General) continue;  // the default look
            lxw_format* f = workbook_add_format(wb_);
            if (!f) throw Error::standard(err::kOutOfMemory);
            if (s.hasFont) {
                if (!s.fontName.empty()) format_set_font_name(f, s.fontName.c_str());
                format_set_font_size(f, s.fontSize);
                if (s.bold) format_set_bold(f);
                if (s.italic) format_set_italic(f);
                format_set_font_color(f, color(s.foreRgb));
                format_set_pattern(f, LXW_PATTERN_SOLID);
                format_set_bg_color(f, color(s.backRgb));
            }
            if (s.numberFormat != NumberFormat::General) format_set_num_format(f, numberFormatCode(s.numberFormat));
            if (s.border) format_set_border(f, LXW_BORDER_THIN);
            formats_[i] = f;
        }
    }

    void number(uint32_t row, uint32_t col, double value, CellStyle style) override {
        value = std::clamp(value, -kLargest16Digits, kLargest16Digits);
        check(worksheet_write_number(ws_, row, static_cast<lxw_col_t>(col), value, format(style)), row, col);
    }
    void text(uint32_t row, uint32_t col, std::string_view utf8, CellStyle style) override {
        const char* s;
        if (needsEscape(utf8)) {
            escapeInto(escaped_, utf8);
            s = escaped_.c_str();
        } else {
            plain_.assign(utf8);
            s = plain_.c_str();
        }
        check(worksheet_write_string(ws_, row, static_cast<lxw_col_t>(col), s, format(style)), row, col);
    }
    void boolean(uint32_t row, uint32_t col, bool value, CellStyle style) override {
        check(worksheet_write_boolean(ws_, row, static_cast<lxw_col_t>(col), value ? 1 : 0, format(style)), row, col);
    }
    void blank(uint32_t row, uint32_t col, CellStyle style) override {
        check(worksheet_write_blank(ws_, row, static_cast<lxw_col_t>(col), format(style)), row, col);
    }
    void columnWidth(uint32_t col, double width) override {
        const auto c = static_cast<lxw_col_t>(col);
        check(worksheet_set_column(ws_, c, c, width, nullptr), 0, col);
    }

    void save() override {
        lxw_workbook* wb = wb_;
        wb_ = nullptr;  // workbook_close frees it, whatever it returns
        errno = 0;
        const lxw_error e = workbook_close(wb);
        if (e != LXW_NO_ERROR) raiseLxw(e, "saving " + path_);
    }

private:
    // libxlsxwriter's 0 means "no colour": black is its explicit black.
    static lxw_color_t color(uint32_t rgb) { return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : rgb; }
    lxw_format* format(CellStyle s) const { return formats_[static_cast<size_t>(s)]; }
    void check(lxw_error e, uint32_t row, uint32_t col) const {
        if (e == LXW_NO_ERROR) return;
        raiseLxw(e, "cell in row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1));
    }

    std::string path_;
    lxw_workbook* wb_ = nullptr;
    lxw_worksheet* ws_ = nullptr;
    std::array<lxw_format*, kCellStyles> formats_{};
    std::string escaped_, plain_;
};

}  // namespace

std::unique_ptr<SheetBackend> makeXlsxBackend(OutputFile& out) { return std::make_unique<XlsxBackend>(out); }

}  // namespace varnelo
