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

namespace varnelo {

using hunterr::guard;

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kRowEnd = "</tr>\r\n";

// Bytes that HTML reads as markup in a text or attribute value.
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> t{};
    t['&'] = t['<'] = t['>'] = t['"'] = true;
    return t;
}();

bool needsEscape(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (kSpecial[static_cast<unsigned char>(p[i])]) return true;
    return false;
}

void appendFontBlock(std::string& out, const Font& font, const std::string& color, const std::string& size) {
    out.append(" <font face=\"");
    appendHtmlEscaped(out, font.name);
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

void appendHtmlEscaped(std::string& out, std::string_view text) {
    size_t run = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!kSpecial[static_cast<unsigned char>(c)]) continue;
        out.append(text.data() + run, i - run);
        switch (c) {
            case '&': out.append("&amp;"); break;
            case '<': out.append("&lt;"); break;
            case '>': out.append("&gt;"); break;
            default: out.append("&quot;"); break;
        }
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

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
        appendHtmlEscaped(s, strIn);
        s.append("</font>");
        s.append(header ? "</th>" : "</td>");
        s.append(kCrLf);
        if (Position == "E") s.append(kRowEnd);
        return s;
    });
}

void writeHtml(const ExportJob& job, Recordset& rs) {
    const std::string_view blankText = job.includeNulls == 1 ? "NULL" : "";

    OutputFile out(job.outputFile);
    std::string& buf = out.buffer();
    std::string scratch;  // a value that holds markup characters, while it is escaped

    // Each body cell is its opening, the value and its closing; both are the
    // same for every row, so they are built once from PrepareHtml of an
    // empty text, split where the text goes.
    std::vector<std::string> openings, closings;
    int cols = 0;
    bool tableStarted = false;

    const int64_t count = rs.RecordCount();
    for (int64_t i = 1; i <= count; ++i) {
        if (i == 1) {
            cols = rs.Fields().Count();
            if (cols > 0) {
                if (!job.bodyFont || (job.columns == 1 && !job.headerFont))
                    throw Error::standard(err::kObjectNotSet);
                tableStarted = true;
            }
            if (job.columns == 1) {
                std::string name;
                for (int j = 0; j < cols; ++j) {
                    name = rs.Fields().Item(j).Name();
                    if (job.lowercaseColumns == 1) lowerAscii(name);
                    buf.append(PrepareHtml(name, "th", positionOf(j, cols), job.headerBackColor,
                                           job.headerForeColor, *job.headerFont, job.noWrap));
                }
                // A lone column is the first and the last: its row is closed too.
                if (cols == 1) buf.append(kRowEnd);
            } else if (cols > 0) {
                buf.append(kHtmlTableStart);
            }
            openings.resize(static_cast<size_t>(cols));
            closings.resize(static_cast<size_t>(cols));
            for (int j = 0; j < cols; ++j) {
                std::string cell = PrepareHtml("", "td", positionOf(j, cols), job.bodyBackColor, job.bodyForeColor,
                                               *job.bodyFont, job.noWrap);
                const size_t textAt = cell.rfind("</font>");  // the face name is escaped: no '<' in it
                openings[static_cast<size_t>(j)].assign(cell, 0, textAt);
                closings[static_cast<size_t>(j)].assign(cell, textAt);
                if (cols == 1) closings[0].append(kRowEnd);
            }
        }

        for (int j = 0; j < cols; ++j) {
            buf.append(openings[static_cast<size_t>(j)]);
            const size_t valueStart = buf.size();
            rs.appendFieldText(j, buf);
            const size_t n = buf.size() - valueStart;
            if (n == 0) {
                // Only Null, Empty and the empty string have no text.
                buf.append(blankText);
            } else if (needsEscape(buf.data() + valueStart, n)) {
                scratch.assign(buf, valueStart, n);
                buf.resize(valueStart);
                appendHtmlEscaped(buf, scratch);
            }
            buf.append(closings[static_cast<size_t>(j)]);
        }

        out.flushIfFull();
        rs.MoveNext();
        job.rowDone(i, count);
    }

    // Closed, so a page that embeds the fragment keeps what follows it.
    if (tableStarted) buf.append(kHtmlTableEnd);
    out.commit();
    rs.MoveFirst();
    job.finished(count);
}

}  // namespace varnelo
