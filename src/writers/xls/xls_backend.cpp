// The .xls backend: an Excel 97-2003 workbook (BIFF8 records in a compound
// document), written by our own code.
//
// Workbook stream:
//   globals  BOF, CODEPAGE 1200, WINDOW1, DATEMODE, FONT x (4 + ours),
//            FORMAT (the date formats), XF (15 style XFs, the default cell
//            XF, one per cell style), STYLE, PALETTE, BOUNDSHEET "Sheet1",
//            SST + CONTINUE, EXTSST, EOF
//   sheet    BOF, COLINFO (fitted widths), DIMENSIONS, the cell records
//            (NUMBER, LABELSST, BOOLERR, BLANK) row by row, WINDOW2, EOF
//
// Cells are spooled as they come (CellSpool: memory, then a temporary file);
// the texts go into the shared-string table, the only thing that grows in
// memory. save() sizes everything first, then writes the compound document
// front to back into the output file.
//
// Colours go through the palette: each RGB a style uses takes a palette
// slot (8..63), a default slot that already shows it or one overridden by
// PALETTE, so every colour is shown exactly.
#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "varnelo/error.h"
#include "writers/sheet_model.h"
#include "writers/xls/biff.h"
#include "writers/xls/cell_spool.h"
#include "writers/xls/compound_file.h"
#include "writers/xls/shared_strings.h"

namespace varnelo {

namespace {

using namespace xls;

constexpr uint32_t kXlsMaxColumns = 256;
constexpr uint32_t kXlsMaxRows = 65536;
constexpr uint32_t kPaletteSize = 56;
constexpr uint16_t kFirstPaletteIcv = 8;
constexpr uint16_t kIcvAutoBorder = 64;  // system window text
constexpr uint16_t kIcvAutoBack = 65;    // system window background
constexpr uint16_t kIcvAutoFont = 0x7FFF;
constexpr uint16_t kFirstOwnFont = 5;    // 0-3 the defaults; index 4 does not exist
constexpr uint16_t kFirstOwnFormat = 164;
constexpr uint16_t kDefaultCellXf = 15;
constexpr uint16_t kFirstOwnXf = 16;
constexpr double kDefaultPointSize = 11.0;
constexpr const char* kDefaultFontName = "Calibri";
constexpr double kDigitPixels = 7.0;  // the default font's digit
constexpr double kCellPadding = 5.0;

// The default palette (slots 8..63) as 0xRRGGBB.
constexpr std::array<uint32_t, kPaletteSize> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,  //  8-15
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,  // 16-23
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,  // 24-31
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,  // 32-39
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,  // 40-47
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,  // 48-55
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,  // 56-63
};
// Slots to override first: those repeating an earlier slot's colour.
constexpr uint16_t kSpareSlots[] = {32, 33, 34, 35, 36, 37, 38, 39, 41, 61};

class Palette {
public:
    Palette() : rgb_(kDefaultPalette) {}

    uint16_t icv(uint32_t rgb) {
        for (size_t i = 0; i < kPaletteSize; ++i)
            if (rgb_[i] == rgb && (taken_[i] || !spare(i))) return take(i);
        for (uint16_t s : kSpareSlots)
            if (!taken_[s - kFirstPaletteIcv]) return take(s - kFirstPaletteIcv, rgb);
        for (size_t i = kPaletteSize; i-- > 0;)
            if (!taken_[i]) return take(i, rgb);
        throw Error(err::kInvalidProcedureCall, "Varnelo", "A .xls workbook shows at most 56 colours.");
    }

    void write(std::string& b) const {
        RecordBuilder r(b, rec::kPalette);
        put16(b, kPaletteSize);
        for (uint32_t c : rgb_) put32(b, ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16));  // R, G, B, 0
        r.end();
    }

private:
    static bool spare(size_t i) {
        return std::find(std::begin(kSpareSlots), std::end(kSpareSlots), i + kFirstPaletteIcv) != std::end(kSpareSlots);
    }
    uint16_t take(size_t i) {
        taken_[i] = true;
        return static_cast<uint16_t>(i + kFirstPaletteIcv);
    }
    uint16_t take(size_t i, uint32_t rgb) {
        rgb_[i] = rgb;
        return take(i);
    }

    std::array<uint32_t, kPaletteSize> rgb_;
    std::array<bool, kPaletteSize> taken_{};
};

void fontRecord(std::string& b, const std::string& name, double points, bool bold, bool italic, uint16_t icv) {
    RecordBuilder r(b, rec::kFont);
    put16(b, static_cast<uint32_t>(std::clamp(std::lround(points * 20), 20L, 8180L)));  // twips
    put16(b, (bold ? 0x0001 : 0) | (italic ? 0x0002 : 0));  // bit 0 repeats the weight for older readers
    put16(b, icv);
    put16(b, bold ? 700 : 400);
    put16(b, 0);  // no super- or subscript
    put8(b, 0);   // no underline
    put8(b, 0);   // family: not known
    put8(b, 0);   // character set: ANSI
    put8(b, 0);
    appendBiffString(b, name, 1, 255);
    r.end();
}

// A style XF (the workbook's 15 built-in ones) or a cell XF.
struct XfLook {
    uint16_t font = 0;
    uint16_t format = 0;
    bool style = false;
    bool border = false;
    bool fill = false;
    uint16_t fillIcv = kIcvAutoBorder;
    uint8_t used = 0;  // cell XF: the attribute groups it sets itself
};

void xfRecord(std::string& b, const XfLook& x) {
    RecordBuilder r(b, rec::kXf);
    put16(b, x.font);
    put16(b, x.format);
    put16(b, x.style ? 0xFFF5 : 0x0001);  // locked; a style XF has no parent, a cell XF the Normal style
    put8(b, 0x20);                        // general alignment, bottom
    put8(b, 0);                           // no rotation
    put8(b, 0);                           // no indent
    put8(b, x.used);
    const uint32_t thin = x.border ? 1 : 0, icv = x.border ? kIcvAutoBorder : 0;
    put32(b, thin | thin << 4 | thin << 8 | thin << 12 | icv << 16 | icv << 23);  // left, right, top, bottom
    put32(b, icv | icv << 7 | (x.fill ? 1u : 0u) << 26);                          // top and bottom colour, pattern
    put16(b, x.fillIcv | kIcvAutoBack << 7);
    r.end();
}

void simpleRecord(std::string& b, uint16_t number, std::initializer_list<uint16_t> words) {
    RecordBuilder r(b, number);
    for (uint16_t w : words) put16(b, w);
    r.end();
}

void bofRecord(std::string& b, uint16_t type) {
    RecordBuilder r(b, rec::kBof);
    put16(b, 0x0600);  // BIFF8
    put16(b, type);    // 0x0005 workbook globals, 0x0010 worksheet
    put16(b, 0x0DBB);  // build and year of the Excel 97 format
    put16(b, 0x07CC);
    put32(b, 0);       // file history
    put32(b, 0x0006);  // the lowest version that reads every record: BIFF8
    r.end();
}

// The width COLINFO records, in 1/256 of the default font's digit, padding
// included, for a width in characters as the sheet shows it.
uint16_t colinfoWidth(double width) {
    const double pixels = width < 1 ? std::round(width * (kDigitPixels + kCellPadding))
                                    : std::round(width * kDigitPixels) + kCellPadding;
    return static_cast<uint16_t>(std::min(65535.0, std::floor(pixels / kDigitPixels * 256)));
}

class XlsBackend final : public SheetBackend {
public:
    explicit XlsBackend(OutputFile& out) : out_(out) { xf_.fill(kDefaultCellXf); }

    uint32_t maxColumns() const override { return kXlsMaxColumns; }

    void defineStyles(const SheetStyles& styles) override {
        std::string fonts, xfs;
        std::vector<std::string> fontKeys;
        for (int i = 0; i < 4; ++i) fontRecord(fonts, kDefaultFontName, kDefaultPointSize, false, false, kIcvAutoFont);
        XfLook builtIn;
        builtIn.style = true;
        xfRecord(xfs, builtIn);
        builtIn.used = 0xF4;  // the other built-in styles leave everything to Normal
        for (uint16_t font : {1, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) {
            builtIn.font = font;
            xfRecord(xfs, builtIn);
        }
        xfRecord(xfs, XfLook{});  // the default cell XF

        for (size_t i = 0; i < styles.size(); ++i) {
            const SheetStyle& s = styles[i];
            XfLook x;
            x.used = 0xFC;  // number format, font, alignment, borders, fill, protection: its own
            x.border = s.border;
            x.format = s.numberFormat == NumberFormat::General
                           ? 0
                           : static_cast<uint16_t>(kFirstOwnFormat + static_cast<int>(s.numberFormat) - 1);
            if (s.hasFont) {
                const std::string name = s.fontName.empty() ? kDefaultFontName : s.fontName;
                const uint16_t fore = palette_.icv(s.foreRgb);
                std::string key = name + '\0' + std::to_string(s.fontSize) + (s.bold ? "b" : "") +
                                  (s.italic ? "i" : "") + '\0' + std::to_string(fore);
                auto it = std::find(fontKeys.begin(), fontKeys.end(), key);
                if (it == fontKeys.end()) {
                    fontRecord(fonts, name, s.fontSize, s.bold, s.italic, fore);
                    it = fontKeys.insert(fontKeys.end(), std::move(key));
                }
                x.font = static_cast<uint16_t>(kFirstOwnFont + (it - fontKeys.begin()));
                x.fill = true;
                x.fillIcv = palette_.icv(s.backRgb);
            }
            xfRecord(xfs, x);
            xf_[i] = static_cast<uint16_t>(kFirstOwnXf + i);
        }

        std::string formats;
        for (NumberFormat f : {NumberFormat::Date, NumberFormat::DateTime, NumberFormat::DateTimeMillis}) {
            RecordBuilder r(formats, rec::kFormat);
            put16(formats, kFirstOwnFormat + static_cast<int>(f) - 1);
            appendBiffString(formats, numberFormatCode(f), 2, 255);
            r.end();
        }
        styleRecords_ = fonts + formats + xfs;
        RecordBuilder normal(styleRecords_, rec::kStyle);
        put16(styleRecords_, 0x8000);  // built-in, style XF 0
        put8(styleRecords_, 0);        // Normal
        put8(styleRecords_, 0xFF);
        normal.end();
        palette_.write(styleRecords_);
    }

    void number(uint32_t row, uint32_t col, double value, CellStyle style) override {
        std::string& b = cell(rec::kNumber, 14, row, col, style);
        putDouble(b, value);
        spool_.spillIfFull();
    }
    void text(uint32_t row, uint32_t col, std::string_view utf8, CellStyle style) override {
        const uint32_t index = strings_.add(utf8);
        if (strings_.encodedBytes() + spool_.size() > kMaxStreamSize) tooLarge();
        put32(cell(rec::kLabelsst, 10, row, col, style), index);
        spool_.spillIfFull();
    }
    void boolean(uint32_t row, uint32_t col, bool value, CellStyle style) override {
        std::string& b = cell(rec::kBoolerr, 8, row, col, style);
        put8(b, value ? 1 : 0);
        put8(b, 0);  // a Boolean, not an error code
        spool_.spillIfFull();
    }
    void blank(uint32_t row, uint32_t col, CellStyle style) override {
        cell(rec::kBlank, 6, row, col, style);
        spool_.spillIfFull();
    }
    void columnWidth(uint32_t col, double width) override {
        if (col >= kXlsMaxColumns) return;
        simpleRecord(colinfo_, rec::kColinfo,
                     {static_cast<uint16_t>(col), static_cast<uint16_t>(col), colinfoWidth(width), kDefaultCellXf,
                      0x0002 /* set by the writer */, 0});
    }

    void save() override {
        // Globals up to the shared strings; BOUNDSHEET's offset is set below.
        std::string head;
        bofRecord(head, 0x0005);
        simpleRecord(head, rec::kCodepage, {1200});  // UTF-16
        simpleRecord(head, rec::kWindow1, {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 600});
        simpleRecord(head, rec::kDatemode, {0});     // dates count from 1900
        head += styleRecords_;
        RecordBuilder sheet(head, rec::kBoundsheet);
        const size_t sheetOffsetAt = head.size();
        put32(head, 0);
        put8(head, 0);  // visible
        put8(head, 0);  // a worksheet
        appendBiffString(head, "Sheet1", 1, 31);
        sheet.end();

        const uint64_t sstPos = head.size();
        uint64_t sstSize = 0;
        strings_.writeRecords(sstPos, [&](std::string_view r) { sstSize += r.size(); });
        std::string tail = strings_.extsst();
        simpleRecord(tail, rec::kEof, {});

        const uint64_t sheetPos = sstPos + sstSize + tail.size();
        std::string sheetHead;
        bofRecord(sheetHead, 0x0010);
        sheetHead += colinfo_;
        RecordBuilder dims(sheetHead, rec::kDimensions);
        put32(sheetHead, anyCell_ ? firstRow_ : 0);
        put32(sheetHead, anyCell_ ? lastRow_ + 1 : 0);
        put16(sheetHead, anyCell_ ? firstCol_ : 0);
        put16(sheetHead, anyCell_ ? lastCol_ + 1 : 0);
        put16(sheetHead, 0);
        dims.end();
        std::string sheetTail;
        RecordBuilder window(sheetTail, rec::kWindow2);
        put16(sheetTail, 0x06B6);  // grid, headings, zeros, outline symbols; the selected and shown sheet
        put16(sheetTail, 0);       // top row
        put16(sheetTail, 0);       // left column
        put16(sheetTail, kIcvAutoBorder);  // grid line colour
        put16(sheetTail, 0);
        put16(sheetTail, 0);       // zoom: the defaults
        put16(sheetTail, 0);
        put32(sheetTail, 0);
        window.end();
        simpleRecord(sheetTail, rec::kEof, {});

        const uint64_t total = sheetPos + sheetHead.size() + spool_.size() + sheetTail.size();
        if (total > kMaxStreamSize) tooLarge();
        set32(head, sheetOffsetAt, static_cast<uint32_t>(sheetPos));
        writeCompoundFile(out_, "Workbook", total, [&](StreamSink& sink) {
            sink.append(head);
            strings_.writeRecords(sstPos, [&](std::string_view r) { sink.append(r); });
            sink.append(tail);
            sink.append(sheetHead);
            spool_.copyTo(sink);
            sink.append(sheetTail);
        });
    }

private:
    // Starts a cell record in the spool: header, row, column, XF.
    std::string& cell(uint16_t number, uint16_t length, uint32_t row, uint32_t col, CellStyle style) {
        if (row >= kXlsMaxRows || col >= kXlsMaxColumns)
            throw Error(err::kInvalidProcedureCall, "Varnelo",
                        "The cell in row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1) +
                            " lies outside a .xls worksheet (65,536 rows, 256 columns).");
        if (!anyCell_) {
            anyCell_ = true;
            firstRow_ = row;  // rows come in order: the first is the lowest
            firstCol_ = lastCol_ = col;
        }
        lastRow_ = row;
        firstCol_ = std::min(firstCol_, col);
        lastCol_ = std::max(lastCol_, col);
        const uint16_t xf = xf_[static_cast<size_t>(style)];
        const char head[10] = {static_cast<char>(number & 0xFF), static_cast<char>(number >> 8),
                               static_cast<char>(length & 0xFF), static_cast<char>(length >> 8),
                               static_cast<char>(row & 0xFF),    static_cast<char>(row >> 8),
                               static_cast<char>(col & 0xFF),    static_cast<char>(col >> 8),
                               static_cast<char>(xf & 0xFF),     static_cast<char>(xf >> 8)};
        std::string& b = spool_.buffer();
        b.append(head, sizeof head);
        return b;
    }

    [[noreturn]] static void tooLarge() {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The .xls workbook would exceed 2 GB, the most its file format holds; save it as .xlsx.");
    }

    OutputFile& out_;
    Palette palette_;
    std::string styleRecords_;  // FONT, FORMAT, XF, STYLE, PALETTE
    std::array<uint16_t, kCellStyles> xf_{};
    SharedStrings strings_;
    CellSpool spool_;
    std::string colinfo_;
    bool anyCell_ = false;
    uint32_t firstRow_ = 0, lastRow_ = 0, firstCol_ = 0, lastCol_ = 0;
};

}  // namespace

bool isXlsFileName(std::string_view path) {
    if (path.size() < 4) return false;
    const std::string_view end = path.substr(path.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 'x' && (end[2] | 0x20) == 'l' && (end[3] | 0x20) == 's';
}

std::unique_ptr<SheetBackend> makeXlsBackend(OutputFile& out) { return std::make_unique<XlsBackend>(out); }

}  // namespace varnelo
