// End-to-end: the command-line host exporting the demo table as HTML, read
// back by a real HTML parser (html5lib, through tests/apps/html_readback.py)
// and compared cell by cell with the source.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/sqlite_recordset.h"

namespace {

using varnelo::testing_support::readFile;
using varnelo::testing_support::TempDir;

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

// Runs the exporter with its settings file kept in `dir`; its exit status,
// standard error in `err`.
int exportHtml(const std::vector<std::string>& args, const TempDir& dir, std::string& err) {
    std::string cmd = shellQuote(VARNELO_EXPORT_BIN) + " --db " + shellQuote(VARNELO_DEMO_DB) +
                      " --format html --quiet --settings-dir " + shellQuote(dir.path().string());
    for (const auto& a : args) cmd += " " + shellQuote(a);
    const std::string errFile = dir.file("stderr.txt");
    cmd += " 2>" + shellQuote(errFile) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    err = readFile(errFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        parts.push_back(line.substr(start, tab - start));
    parts.push_back(line.substr(start));
    return parts;
}

struct Cell {
    std::string tag, nowrap, bgcolor, face, color, size, text, outside;
};

struct Page {
    int tables = -1, scripts = -1;
    bool tableClosedBeforeWhatFollows = false;
    std::vector<std::vector<Cell>> rows;
};

// The parser's view of an exported file.
Page parse(const std::string& file) {
    // Debian's html5lib belongs to the system interpreter.
    const std::string python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string cmd = python + " " + shellQuote(std::string(VARNELO_SOURCE_DIR) + "/tests/apps/html_readback.py") +
                            " " + shellQuote(file);
    Page page;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        ADD_FAILURE() << "cannot run " << cmd;
        return page;
    }
    std::string out;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = ::pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the parser failed: " << cmd;

    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
        const auto f = split(out.substr(start, nl - start));
        if (f[0] == "TABLES") page.tables = std::stoi(f.at(1));
        else if (f[0] == "SCRIPTS") page.scripts = std::stoi(f.at(1));
        else if (f[0] == "AFTER") page.tableClosedBeforeWhatFollows = f.at(1) == "yes";
        else if (f[0] == "ROW") page.rows.emplace_back();
        else if (f[0] == "CELL" && f.size() == 9 && !page.rows.empty())
            page.rows.back().push_back({f[1], f[2], f[3], f[4], f[5], f[6], fromHex(f[7]), fromHex(f[8])});
        else ADD_FAILURE() << "unexpected parser line: " << out.substr(start, nl - start);
    }
    return page;
}

// Column names and values of a query, as the record source gives them (Null
// and the empty string as nullopt) and as every writer turns them into text.
struct Source {
    std::vector<std::string> names;
    std::vector<std::vector<std::optional<std::string>>> rows;
};

Source readSource(const std::string& query) {
    varnelo::SqliteRecordset rs(VARNELO_DEMO_DB, query);
    Source s;
    const int cols = rs.Fields().Count();
    for (int j = 0; j < cols; ++j) s.names.push_back(rs.Fields().Item(j).Name());
    for (int64_t i = 0, n = rs.RecordCount(); i < n; ++i, rs.MoveNext()) {
        auto& row = s.rows.emplace_back();
        for (int j = 0; j < cols; ++j) {
            const varnelo::Variant v = rs.Fields().Item(j).Value();
            row.push_back(v.isBlank() ? std::nullopt : std::optional<std::string>(v.toText()));
        }
    }
    return s;
}

// An HTML parser reads CR LF and a lone CR in its input as LF, before any
// markup: that is all it may change in a cell's text.
std::string asParsed(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TEST(HtmlReadback, DemoTableCellByCellWithHeaderAndFonts) {
    TempDir dir;
    const std::string file = dir.file("demo.html");
    std::string err;
    ASSERT_EQ(exportHtml({"--set", "Columns=1", "--set", "NoWrap=1", "--set", "UnixFormat=1", "--set",
                          "HeaderFont=Georgia,12.5,bold", "--set", "BodyFont=Courier New,10.5", "--set",
                          "HeaderBackColor=0x8000000F", "--set", "HeaderForeColor=0x000080", "--set",
                          "BodyBackColor=0xF0F0F0", "--set", "BodyForeColor=0xFF", "-o", file},
                         dir, err),
              0)
        << err;

    const Source src = readSource("SELECT * FROM demo_export");
    ASSERT_EQ(src.rows.size(), 300u);
    const Page page = parse(file);
    EXPECT_EQ(page.tables, 1);
    EXPECT_EQ(page.scripts, 0);
    EXPECT_TRUE(page.tableClosedBeforeWhatFollows) << "the table must end before the page goes on";
    ASSERT_EQ(page.rows.size(), src.rows.size() + 1);

    const auto& header = page.rows[0];
    ASSERT_EQ(header.size(), src.names.size());
    for (size_t j = 0; j < header.size(); ++j) {
        SCOPED_TRACE("header column " + std::to_string(j + 1));
        EXPECT_EQ(header[j].tag, "th");
        EXPECT_EQ(header[j].text, src.names[j]);
        EXPECT_EQ(header[j].nowrap, "-") << "header cells never carry nowrap";
        EXPECT_EQ(header[j].bgcolor, "#D4D0C8") << "the button face colour, not its index";
        EXPECT_EQ(header[j].face, "Georgia");
        EXPECT_EQ(header[j].color, "#800000");
        EXPECT_EQ(header[j].size, "3");  // 12.5 points round to 12
    }
    size_t compared = 0;
    for (size_t i = 0; i < src.rows.size(); ++i) {
        const auto& cells = page.rows[i + 1];
        ASSERT_EQ(cells.size(), src.names.size()) << "row " << i + 1;
        for (size_t j = 0; j < cells.size(); ++j) {
            SCOPED_TRACE("row " + std::to_string(i + 1) + " column " + src.names[j]);
            const Cell& c = cells[j];
            EXPECT_EQ(c.tag, "td");
            EXPECT_EQ(c.nowrap, "nowrap");
            EXPECT_EQ(c.bgcolor, "#F0F0F0");
            EXPECT_EQ(c.face, "Courier New");
            EXPECT_EQ(c.color, "#FF0000");
            EXPECT_EQ(c.size, "2");  // 10.5 points round to 10
            EXPECT_EQ(c.outside, " ");
            EXPECT_EQ(c.text, asParsed(src.rows[i][j].value_or("")));
            ++compared;
        }
    }
    EXPECT_EQ(compared, 300 * src.names.size());
    // The whole file is CR LF, UnixFormat notwithstanding.
    const std::string raw = readFile(file);
    size_t bare = 0, crlf = 0;
    for (size_t k = 0; k < raw.size(); ++k)
        if (raw[k] == '\n') ++(k > 0 && raw[k - 1] == '\r' ? crlf : bare);
    size_t valueLfs = 0;
    for (const auto& row : src.rows)
        for (const auto& v : row)
            if (v)
                for (size_t k = 0; k < v->size(); ++k)
                    if ((*v)[k] == '\n' && (k == 0 || (*v)[k - 1] != '\r')) ++valueLfs;
    EXPECT_EQ(bare, valueLfs) << "only the values' own line breaks are bare LF";
    EXPECT_GT(crlf, 300 * src.names.size());
}

TEST(HtmlReadback, NullTextWithoutHeaderAndMarkupInValues) {
    TempDir dir;
    const std::string file = dir.file("nulls.html");
    std::string err;
    ASSERT_EQ(exportHtml({"--set", "Columns=0", "--set", "IncludeNulls=1", "-o", file}, dir, err), 0) << err;
    const Source src = readSource("SELECT * FROM demo_export");
    const Page page = parse(file);
    EXPECT_TRUE(page.tableClosedBeforeWhatFollows);
    ASSERT_EQ(page.rows.size(), src.rows.size()) << "no header row";
    size_t blanks = 0;
    for (size_t i = 0; i < src.rows.size(); ++i) {
        ASSERT_EQ(page.rows[i].size(), src.names.size());
        for (size_t j = 0; j < src.names.size(); ++j) {
            EXPECT_EQ(page.rows[i][j].tag, "td");
            EXPECT_EQ(page.rows[i][j].nowrap, "-");
            if (!src.rows[i][j]) ++blanks;
            EXPECT_EQ(page.rows[i][j].text, asParsed(src.rows[i][j].value_or("NULL")))
                << "row " << i + 1 << " column " << src.names[j];
        }
    }
    EXPECT_GT(blanks, 0u) << "the demo table holds Nulls and empty texts";

    // Values and names that are markup stay text and inject nothing.
    const std::string query =
        "SELECT '<script>alert(\"x\")</script>' AS \"<b>name</b>\", 'a & b' AS \"q\"\"\", "
        "'</td></tr></table><p>' AS t UNION ALL SELECT '\"><img src=x onerror=y>', '&amp;', ''";
    ASSERT_EQ(exportHtml({"--query", query, "-o", file}, dir, err), 0) << err;
    const Page inj = parse(file);
    EXPECT_EQ(inj.tables, 1);
    EXPECT_EQ(inj.scripts, 0);
    EXPECT_TRUE(inj.tableClosedBeforeWhatFollows);
    ASSERT_EQ(inj.rows.size(), 3u);
    std::vector<std::vector<std::string>> texts;
    for (const auto& row : inj.rows) {
        auto& t = texts.emplace_back();
        for (const auto& c : row) t.push_back(c.text);
    }
    EXPECT_EQ(texts, (std::vector<std::vector<std::string>>{{"<b>name</b>", "q\"", "t"},
                                                            {"<script>alert(\"x\")</script>", "a & b", "</td></tr></table><p>"},
                                                            {"\"><img src=x onerror=y>", "&amp;", ""}}));
}

}  // namespace
