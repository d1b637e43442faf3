// End-to-end: the command-line host exports the demo table as HTML, a real
// HTML parser (html5lib, through html_readback.py) reads it back, and every
// cell is compared with the source value.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"
#include "varnelo/sqlite_recordset.h"

namespace {

using varnelo::testing_support::readFile;
using varnelo::testing_support::TempDir;
using Cell = std::pair<std::string, std::string>;  // attributes as the parser sees them, text

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Page {
    std::string summary;  // the page body's child elements and its script count
    std::vector<std::vector<Cell>> rows;
};

// Exports with `settings`, the settings file kept in a new directory, and
// reads the file back through the parser.
Page exportAndParse(const std::vector<std::string>& settings, const std::vector<std::string>& more = {}) {
    TempDir dir;
    const std::string file = dir.file("t.html");
    std::string cmd = quote(VARNELO_EXPORT_BIN) + " --db " + quote(VARNELO_DEMO_DB) + " -o " + quote(file) +
                      " --format html --quiet --settings-dir " + quote(dir.path().string());
    for (const auto& s : settings) cmd += " --set " + quote(s);
    for (const auto& a : more) cmd += " " + quote(a);
    const int raw = std::system((cmd + " 2>" + quote(dir.file("err.txt")) + " </dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << readFile(dir.file("err.txt"));

    // Debian's html5lib belongs to the system interpreter.
    cmd = "/usr/bin/python3 " + quote(VARNELO_SOURCE_DIR "/tests/apps/html_readback.py") + " " + quote(file);
    std::string out;
    char buf[65536];
    FILE* p = ::popen(cmd.c_str(), "r");
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_TRUE(p && ::pclose(p) == 0) << "the parser failed: " << cmd;
    Page page;
    std::istringstream lines(out);
    for (std::string line, kind, a, hex; std::getline(lines, line);) {
        std::istringstream f(line);
        std::getline(std::getline(std::getline(f, kind, '\t'), a, '\t'), hex);
        if (kind == "PAGE") page.summary = a;
        else if (kind == "ROW") page.rows.emplace_back();
        else if (kind == "CELL" && !page.rows.empty()) {
            std::string text;
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            page.rows.back().emplace_back(a, text);
        } else ADD_FAILURE() << "unexpected parser line: " << line;
    }
    return page;
}

// A parser reads CR LF and a lone CR as LF before any markup: all it may
// change in a cell's text.
std::string asParsed(std::string text) {
    for (size_t at; (at = text.find('\r')) != std::string::npos;)
        text.replace(at, at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1, "\n");
    return text;
}

TEST(HtmlReadback, DemoTableCellByCell) {
    const Page page = exportAndParse({"Columns=1", "IncludeNulls=1", "NoWrap=1", "UnixFormat=1",
                                      "HeaderFont=Georgia,12.5,bold", "BodyFont=Courier New,10.5",
                                      "HeaderBackColor=0x8000000F", "HeaderForeColor=0x000080",
                                      "BodyBackColor=0xF0F0F0", "BodyForeColor=0xFF"});
    EXPECT_EQ(page.summary, "h1 table p scripts=0") << "one table, closed before the page goes on";

    // Expected rows from the source, as every writer turns values into text.
    varnelo::SqliteRecordset rs(VARNELO_DEMO_DB, "SELECT * FROM demo_export");
    const int cols = rs.Fields().Count();
    std::vector<std::vector<Cell>> want(1);
    for (int j = 0; j < cols; ++j)  // button face as a real colour; 12.5 points round to 12
        want[0].emplace_back("th - #D4D0C8 Georgia #800000 3", rs.Fields().Item(j).Name());
    size_t blanks = 0;
    for (; !rs.Eof(); rs.MoveNext()) {
        auto& row = want.emplace_back();
        for (int j = 0; j < cols; ++j) {
            const varnelo::Variant v = rs.Fields().Item(j).Value();
            blanks += v.isBlank();
            row.emplace_back("td nowrap #F0F0F0 Courier New #FF0000 2", v.isBlank() ? "NULL" : asParsed(v.toText()));
        }
    }
    ASSERT_EQ(want.size(), 301u);
    EXPECT_GT(blanks, 0u) << "the demo table holds Nulls and empty texts";
    ASSERT_EQ(page.rows.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(page.rows[i].size(), want[i].size()) << "row " << i;
        for (size_t j = 0; j < want[i].size(); ++j)
            EXPECT_EQ(page.rows[i][j], want[i][j]) << "row " << i << " column " << want[0][j].second;
    }
}

TEST(HtmlReadback, MarkupInValuesAndNamesStaysText) {
    const std::string query =
        "SELECT '<script>alert(\"x\")</script>' AS \"<b>name</b>\", 'a & b' AS \"q\"\"\", "
        "'</td></tr></table><p>' AS t UNION ALL SELECT '\"><img src=x onerror=y>', '&amp;', ''";
    const Page page = exportAndParse({}, {"--query", query});
    EXPECT_EQ(page.summary, "h1 table p scripts=0");
    std::vector<std::vector<std::string>> texts;
    for (const auto& row : page.rows)
        for (auto& t = texts.emplace_back(); const auto& c : row) t.push_back(c.second);
    EXPECT_EQ(texts, (std::vector<std::vector<std::string>>{
                         {"<b>name</b>", "q\"", "t"},
                         {"<script>alert(\"x\")</script>", "a & b", "</td></tr></table><p>"},
                         {"\"><img src=x onerror=y>", "&amp;", ""}}));
}

}  // namespace
