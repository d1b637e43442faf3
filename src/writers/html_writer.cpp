#include "writers/html_writer.h"

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "errors/hunt_err.h"
#include "varnelo/error.h"
#include "writers/formatting.h"
#include "writers/output_file.h"
#include "writers/writers.h"

namespace varnelo {

using hunterr::guard;

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kRowEnd = "</tr>\r\n";

void appendFontBlock(std::string& out, const Font& font, const std::string& color, const std::string& size) {
    out.append(" <font face=\"");
    appendHtmlText(out, font.name);
    out.append("\" color=\"");
    out.append(color);
    out.append("\" size=\"");
    out.append(size);
    out.append("\">");
}

const char* positionOf(int column, int columns) {
    if (column == 0) return "B";
    return column == columns - 1 ? "E" : "M";
}

}  // namespace

std::string LNGtoHEX(OLE_COLOR lColor, bool bProper) {
    return guard("mFunctions.LNGtoHEX(lColor,bProper)", [&] {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string s;
        s.reserve(7);
        if (bProper) s.push_back('#');
        for (int shift = 0; shift <= 16; shift += 8) {
            const unsigned byte = (lColor >> shift) & 0xFFu;
            s.push_back(kDigits[byte >> 4]);
            s.push_back(kDigits[byte & 0xFu]);
        }
        return s;
    });
}

std::string GetHtmlFontSize(int16_t intFontSize) {
    return guard("mFunctions.GetHtmlFontSize(intFontSize)", [&] {
        if (intFontSize <= 8) return std::string("1");
        if (intFontSize <= 10) return std::string("2");
        if (intFontSize <= 12) return std::string("3");
        if (intFontSize <= 14) return std::string("4");
        if (intFontSize <= 18) return std::string("5");
        if (intFontSize <= 24) return std::string("6");
        return std::string("7");
    });
}

int16_t wholePointSize(double points) {
    // nearbyint rounds in the current mode, which is to nearest, ties to even.
    const double whole = std::nearbyint(points);
    if (!(whole >= -32768.0 && whole <= 32767.0)) throw Error::standard(err::kOverflow);
    return static_cast<int16_t>(whole);
}

std::string PrepareHtml(std::string_view strIn, std::string_view RecordType, std::string_view Position,
                        OLE_COLOR BackColor, OLE_COLOR ForeColor, const Font& TextFont, int32_t NoWrap) {
    return guard("mFunctions.PrepareHtml(strIn,RecordType,Position,BackColor,ForeColor,TextFont,NoWrap)", [&] {
        const bool header = RecordType == "th";
        // A system colour's index means nothing to a browser: write the
        // colour it stands for.
        const std::string back = LNGtoHEX(resolveColor(BackColor), true);
        const std::string fore = LNGtoHEX(resolveColor(ForeColor), true);
        const std::string size = GetHtmlFontSize(wholePointSize(TextFont.size));

        std::string s;
        s.reserve(2 * TextFont.name.size() + strIn.size() + 200);
        if (Position == "B") {
            if (header) s.append(kHtmlTableStart);
            s.append("<tr>");
        }
        s.append(header ? "<th " : NoWrap == 1 ? "<td nowrap " : "<td ");
        s.append("align=\"left\" bgcolor=\"");
        s.append(back);
        s.push_back('"');
        // The first block ends the start tag, the second encloses the text.
        appendFontBlock(s, TextFont, fore, size);
        appendFontBlock(s, TextFont, fore, size);
        appendHtmlText(s, strIn);
        s.append("</font>");
        s.append(header ? "</th>" : "</td>");
        s.append(kCrLf);
        if (Position == "E") s.append(kRowEnd);
        return s;
    });
}

namespace {

class HtmlWriter final : public RowWriter {
public:
    explicit HtmlWriter(const ExportJob& job) : job_(job), blankText_(job.includeNulls == 1 ? "NULL" : "") {}

    void begin(OutputFile&, const std::vector<Column>& columns, Recordset&) override { columns_ = &columns; }

    void row(OutputFile& out, Recordset& rs, int64_t number) override {
        std::string& buf = out.buffer();
        const std::vector<Column>& cols = *columns_;
        const int n = static_cast<int>(cols.size());
        if (number == 1) startTable(buf);
        for (int j = 0; j < n; ++j) {
            const auto at = static_cast<size_t>(j);
            buf.append(openings_[at]);
            rs.readField(j, value_);
            if (value_.isBlank()) {
                buf.append(blankText_);
            } else if (value_.kind == Variant::Kind::String) {
                if (appendHtmlText(buf, value_.text)) ++repairedValues;
            } else {
                value_.appendText(buf);  // digits, dates, hex: nothing to escape
            }
            buf.append(closings_[at]);
        }
    }

    void finish(OutputFile& out, int64_t) override {
        // Closed, so a page that embeds the fragment keeps what follows it.
        if (tableStarted_) out.buffer().append(kHtmlTableEnd);
    }

private:
    void startTable(std::string& buf) {
        const std::vector<Column>& cols = *columns_;
        const int n = static_cast<int>(cols.size());
        if (n == 0) return;
        if (!job_.bodyFont || (job_.columns == 1 && !job_.headerFont)) throw Error::standard(err::kObjectNotSet);
        tableStarted_ = true;
        if (job_.columns == 1) {
            std::string name;
            for (int j = 0; j < n; ++j) {
                name = cols[static_cast<size_t>(j)].name;
                if (job_.lowercaseColumns == 1) lowerAscii(name);
                buf.append(PrepareHtml(name, "th", positionOf(j, n), job_.headerBackColor, job_.headerForeColor,
                                       *job_.headerFont, job_.noWrap));
            }
            // A lone column is the first and the last: its row is closed too.
            if (n == 1) buf.append(kRowEnd);
        } else {
            buf.append(kHtmlTableStart);
        }
        // Each body cell is its opening, the value and its closing; both are
        // the same for every row, so they are cut once from PrepareHtml of an
        // empty text.
        openings_.resize(static_cast<size_t>(n));
        closings_.resize(static_cast<size_t>(n));
        for (int j = 0; j < n; ++j) {
            std::string cell = PrepareHtml("", "td", positionOf(j, n), job_.bodyBackColor, job_.bodyForeColor,
                                           *job_.bodyFont, job_.noWrap);
            const size_t textAt = cell.rfind("</font>");  // the face name is escaped: no '<' in it
            openings_[static_cast<size_t>(j)].assign(cell, 0, textAt);
            closings_[static_cast<size_t>(j)].assign(cell, textAt);
            if (n == 1) closings_[0].append(kRowEnd);
        }
    }

    const ExportJob& job_;
    const std::string_view blankText_;
    const std::vector<Column>* columns_ = nullptr;
    std::vector<std::string> openings_, closings_;
    bool tableStarted_ = false;
    FieldValue value_;
};

}  // namespace

std::unique_ptr<RowWriter> makeHtmlWriter(const ExportJob& job) { return std::make_unique<HtmlWriter>(job); }

}  // namespace varnelo
