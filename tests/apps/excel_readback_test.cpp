// End-to-end: the command-line host writes Excel workbooks, and openpyxl (a
// real reader, through tests/apps/excel_readback.py) reads them back: sheet,
// placement, every value with its type, fonts, fills, borders, widths and
// the 65535-record limit.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace {

using varnelo::testing_support::readFile;
using varnelo::testing_support::TempDir;

const std::string kReader = std::string(VARNELO_SOURCE_DIR) + "/tests/apps/excel_readback.py";

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct RunResult {
    int status = -1;
    std::string err;
};

RunResult exportXlsx(const std::vector<std::string>& args, const TempDir& dir) {
    std::string cmd = quote(VARNELO_EXPORT_BIN) + " --format xlsx --quiet";
    for (const auto& a : args) cmd += " " + quote(a);
    cmd += " 2>" + quote(dir.file("stderr.txt")) + " </dev/null";
    RunResult r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = readFile(dir.file("stderr.txt"));
    return r;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    return out;
}

struct Cell {
    std::string type, value, numberFormat;
};
struct CellFont {
    std::string name, size, color;
    bool bold = false, italic = false;
};
struct Fill {
    std::string pattern, color;
};
struct Border {
    std::string left, right, top, bottom;
    bool diagonal = false;
};
using Pos = std::pair<int, int>;  // row, column from 1

struct Workbook {
    std::vector<std::string> sheets;
    int maxRow = -1, maxCol = -1;
    std::map<Pos, Cell> cells;
    std::map<Pos, CellFont> fonts;
    std::map<Pos, Fill> fills;
    std::map<Pos, Border> borders;
    std::map<std::string, double> widths;
};

Workbook readBack(const std::string& xlsx, const std::string& what) {
    Workbook wb;
    std::string cmd = "/usr/bin/python3 " + quote(kReader) + " " + quote(xlsx) + " " + what + " 2>&1";
    std::string text;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        ADD_FAILURE() << "cannot run " << cmd;
        return wb;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = ::pclose(p);
    EXPECT_EQ(status, 0) << text;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(unescape(line.substr(start, tab - start)));
        f.push_back(unescape(line.substr(start)));
        const std::string& kind = f[0];
        auto pos = [&] { return Pos{std::stoi(f.at(1)), std::stoi(f.at(2))}; };
        if (kind == "sheets") wb.sheets.assign(f.begin() + 1, f.end());
        else if (kind == "size") wb.maxRow = std::stoi(f.at(1)), wb.maxCol = std::stoi(f.at(2));
        else if (kind == "cell") wb.cells[pos()] = {f.at(3), f.at(4), f.at(5)};
        else if (kind == "font") wb.fonts[pos()] = {f.at(3), f.at(4), f.at(7), f.at(5) == "1", f.at(6) == "1"};
        else if (kind == "fill") wb.fills[pos()] = {f.at(3), f.at(4)};
        else if (kind == "border")
            wb.borders[pos()] = {f.at(3), f.at(4), f.at(5), f.at(6), f.at(7) == "1" || f.at(8) == "1"};
        else if (kind == "width") wb.widths[f.at(1)] = std::stod(f.at(2));
        else ADD_FAILURE() << "reader said: " << line;
    }
    return wb;
}

// The source rows straight from SQLite: declared types, names, and each
// value as text (nullopt for NULL; reals with all 17 digits).
struct Source {
    std::vector<std::string> names, types;
    std::vector<std::vector<std::optional<std::string>>> rows;
    std::vector<std::vector<int>> storage;
};

Source querySource(const std::string& db, const std::string& sql) {
    Source s;
    sqlite3* h = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) {
        s.names.push_back(sqlite3_column_name(st, i));
        const char* t = sqlite3_column_decltype(st, i);
        s.types.push_back(t ? t : "");
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::optional<std::string>> row;
        std::vector<int> kinds;
        for (int i = 0; i < n; ++i) {
            const int kind = sqlite3_column_type(st, i);
            kinds.push_back(kind);
            if (kind == SQLITE_NULL) {
                row.push_back(std::nullopt);
            } else if (kind == SQLITE_FLOAT) {
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, i));
                row.push_back(std::string(buf));
            } else {
                row.push_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
            }
        }
        s.rows.push_back(std::move(row));
        s.storage.push_back(std::move(kinds));
    }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return s;
}

// A database made with the sqlite3 shell from `sql`.
std::string makeDb(const TempDir& dir, const std::string& name, const std::string& sql) {
    const std::string db = dir.file(name);
    const std::string cmd = quote(VARNELO_SQLITE3_SHELL) + " -batch -bail " + quote(db) + " " + quote(sql);
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return db;
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// Checks one sheet cell against its source value, as the writer promises:
// numbers, Booleans and dates typed, text as text, Null and '' empty.
void expectValue(const Workbook& wb, Pos at, const std::string& declared, int storage,
                 const std::optional<std::string>& v) {
    SCOPED_TRACE("row " + std::to_string(at.first) + " column " + std::to_string(at.second) + " (" + declared +
                 ") source " + (v ? "\"" + *v + "\"" : "NULL"));
    auto it = wb.cells.find(at);
    if (!v || v->empty()) {
        EXPECT_TRUE(it == wb.cells.end()) << "an empty cell";
        return;
    }
    ASSERT_TRUE(it != wb.cells.end()) << "a cell";
    const Cell& c = it->second;
    if (contains(declared, "BOOL") && storage == SQLITE_INTEGER) {
        EXPECT_EQ(c.type, "b");
        EXPECT_EQ(c.value, *v == "1" ? "TRUE" : "FALSE");
    } else if (contains(declared, "DATE") && storage == SQLITE_TEXT) {
        EXPECT_EQ(c.type, "d");
        const bool midnight = v->size() == 10 || v->substr(10) == " 00:00:00";
        EXPECT_EQ(c.value, v->substr(0, 10) + (midnight ? " 00:00:00" : v->substr(10)));
        EXPECT_EQ(c.numberFormat, midnight ? "yyyy-mm-dd" : "yyyy-mm-dd hh:mm:ss");
    } else if (storage == SQLITE_INTEGER) {
        const long long i = std::stoll(*v);
        if (i >= -999'999'999'999'999LL && i <= 999'999'999'999'999LL) {
            EXPECT_EQ(c.type, "n");
            EXPECT_EQ(c.value, *v);
        } else {
            EXPECT_EQ(c.type, "s") << "more digits than a number cell holds";
            EXPECT_EQ(c.value, *v);
        }
    } else if (storage == SQLITE_FLOAT) {
        EXPECT_EQ(c.type, "n");
        const double want = std::stod(*v), got = std::stod(c.value);
        EXPECT_NEAR(got, want, std::fabs(want) * 1e-15) << c.value;
    } else {
        EXPECT_EQ(c.type, "s");
        EXPECT_EQ(c.value, *v);
    }
}

TEST(ExcelReadback, DemoTableEveryValueWithItsType) {
    TempDir dir;
    const std::string out = dir.file("demo.xls");  // the panel's name; the content is .xlsx
    RunResult r = exportXlsx({"--db", VARNELO_DEMO_DB, "-o", out}, dir);
    ASSERT_EQ(r.status, 0) << r.err;

    const Source src = querySource(VARNELO_DEMO_DB, "SELECT * FROM demo_export");
    ASSERT_GT(src.rows.size(), 100u);
    const Workbook wb = readBack(out, "--rows");
    EXPECT_EQ(wb.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_EQ(wb.maxRow, static_cast<int>(src.rows.size()) + 1);
    EXPECT_EQ(wb.maxCol, static_cast<int>(src.names.size()));
    for (size_t j = 0; j < src.names.size(); ++j) {
        const Cell& h = wb.cells.at({1, static_cast<int>(j) + 1});
        EXPECT_EQ(h.type, "s");
        EXPECT_EQ(h.value, src.names[j]) << "names as they are";
    }
    for (size_t i = 0; i < src.rows.size(); ++i)
        for (size_t j = 0; j < src.names.size(); ++j)
            expectValue(wb, {static_cast<int>(i) + 2, static_cast<int>(j) + 1}, src.types[j], src.storage[i][j],
                        src.rows[i][j]);

    // Without the header the same values start in row 1. IncludeNulls and
    // DateFormat change nothing.
    r = exportXlsx({"--db", VARNELO_DEMO_DB, "-o", out, "--set", "Columns=0", "--set", "IncludeNulls=1",
                    "--set", "LowercaseColumns=1"},
                   dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const Workbook body = readBack(out, "--rows");
    EXPECT_EQ(body.maxRow, static_cast<int>(src.rows.size()));
    for (size_t i = 0; i < src.rows.size(); ++i)
        for (size_t j = 0; j < src.names.size(); ++j)
            expectValue(body, {static_cast<int>(i) + 1, static_cast<int>(j) + 1}, src.types[j],
                        src.storage[i][j], src.rows[i][j]);
}

TEST(ExcelReadback, HeaderAndBodyFontsFillsAndBorders) {
    TempDir dir;
    const std::string out = dir.file("look.xlsx");
    const std::string query =
        "SELECT 1 AS id, 'Widget' AS name, NULL AS note UNION ALL SELECT 2, 'Gadget', 'spare'";
    RunResult r = exportXlsx({"--db", VARNELO_DEMO_DB, "--query", query, "-o", out, "--set",
                              "HeaderFont=DejaVu Serif,14,bold,italic", "--set", "HeaderForeColor=0x0000FF",
                              "--set", "HeaderBackColor=0x00FF00", "--set", "BodyFont=Liberation Mono,9,italic",
                              "--set", "BodyForeColor=0x8000000F", "--set", "BodyBackColor=0x123456", "--set",
                              "IncludeCellBorder=1"},
                             dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Workbook wb = readBack(out, "--styles");
    for (int c = 1; c <= 3; ++c) {
        SCOPED_TRACE("column " + std::to_string(c));
        const CellFont& hf = wb.fonts.at({1, c});
        EXPECT_EQ(hf.name, "DejaVu Serif");
        EXPECT_EQ(hf.size, "14.0");
        EXPECT_TRUE(hf.bold);
        EXPECT_TRUE(hf.italic);
        EXPECT_EQ(hf.color, "FF0000");
        EXPECT_EQ(wb.fills.at({1, c}).pattern, "solid");
        EXPECT_EQ(wb.fills.at({1, c}).color, "00FF00");
        for (int row = 2; row <= 3; ++row) {
            SCOPED_TRACE("row " + std::to_string(row));
            const CellFont& bf = wb.fonts.at({row, c});
            EXPECT_EQ(bf.name, "Liberation Mono");
            EXPECT_EQ(bf.size, "9.0");
            EXPECT_FALSE(bf.bold);
            EXPECT_TRUE(bf.italic);
            EXPECT_EQ(bf.color, "D4D0C8") << "the button face colour, resolved";
            EXPECT_EQ(wb.fills.at({row, c}).pattern, "solid");
            EXPECT_EQ(wb.fills.at({row, c}).color, "563412");
        }
        for (int row = 1; row <= 3; ++row) {
            const Border& b = wb.borders.at({row, c});
            EXPECT_EQ(b.left + b.right + b.top + b.bottom, "thinthinthinthin") << "row " << row;
            EXPECT_FALSE(b.diagonal);
        }
    }
    EXPECT_TRUE(wb.fonts.count({2, 3})) << "the Null cell carries the body look too";
    EXPECT_TRUE(wb.widths.empty()) << "AutoColumnWidth 0 leaves the widths alone";

    // FontExcelDef 1: the body keeps the default look, the header its own.
    // IncludeCellBorder 0 and 2: no lines at all.
    for (const char* border : {"IncludeCellBorder=0", "IncludeCellBorder=2"}) {
        r = exportXlsx({"--db", VARNELO_DEMO_DB, "--query", query, "-o", out, "--set",
                        "HeaderFont=DejaVu Serif,14,bold", "--set", "BodyFont=Liberation Mono,9,italic", "--set",
                        "FontExcelDef=1", "--set", border},
                       dir);
        ASSERT_EQ(r.status, 0) << r.err;
        wb = readBack(out, "--styles");
        EXPECT_EQ(wb.fonts.at({1, 2}).name, "DejaVu Serif");
        EXPECT_EQ(wb.fills.at({1, 2}).color, "000040") << "the default header fill";
        EXPECT_EQ(wb.fonts.at({1, 2}).color, "FFFFFF");
        const CellFont& bf = wb.fonts.at({2, 2});
        EXPECT_EQ(bf.name, "Calibri");
        EXPECT_EQ(bf.size, "11.0");
        EXPECT_FALSE(bf.italic);
        EXPECT_EQ(wb.fills.at({2, 2}).pattern, "-");
        for (const auto& [at, b] : wb.borders)
            EXPECT_EQ(b.left + b.right + b.top + b.bottom, "----") << border << " at " << at.first << "," << at.second;
    }
}

TEST(ExcelReadback, AutoColumnWidthFitsTheWidestContent) {
    TempDir dir;
    const std::string out = dir.file("widths.xlsx");
    // Column A: a short header over long digits; B: a long header over short
    // text; C: only Nulls; D: dates with times.
    const std::string db = makeDb(dir, "w.db",
                                  "CREATE TABLE w (a BIGINT, a_rather_long_column_name VARCHAR(20), c TEXT, "
                                  "d DATETIME); INSERT INTO w VALUES (1234567890, 'x', NULL, "
                                  "'2024-05-06 07:08:09'), (7, 'yy', NULL, NULL);");
    const std::string query = "SELECT * FROM w";
    RunResult r = exportXlsx({"--db", db, "--query", query, "-o", out, "--set", "AutoColumnWidth=1",
                              "--set", "HeaderFont=Arial,11", "--set", "BodyFont=Arial,11"},
                             dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Workbook wb = readBack(out, "--styles --rows");
    ASSERT_TRUE(wb.widths.count("A") && wb.widths.count("B") && wb.widths.count("D")) << r.err;
    // 10 digits at 11 points are 10 digit widths: the column a little wider.
    EXPECT_GE(wb.widths["A"], 10.0);
    EXPECT_LT(wb.widths["A"], 11.5);
    // 25 letters of the header decide column B.
    EXPECT_GT(wb.widths["B"], 20.0);
    EXPECT_LT(wb.widths["B"], 30.0);
    ASSERT_EQ(wb.widths.count("C"), 1u);
    EXPECT_LE(wb.widths["C"], 2.0) << "only its one-letter header is shown";
    // "2024-05-06 07:08:09": 19 characters, mostly digits.
    EXPECT_GE(wb.widths["D"], 17.0);
    EXPECT_LT(wb.widths["D"], 21.0);

    // The same at twice the size is about twice as wide; bold a little wider.
    r = exportXlsx({"--db", db, "--query", query, "-o", out, "--set", "AutoColumnWidth=1", "--set",
                    "HeaderFont=Arial,22,bold", "--set", "BodyFont=Arial,22"},
                   dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Workbook big = readBack(out, "--styles");
    EXPECT_NEAR(big.widths["A"], 2 * wb.widths["A"], 1.5);
    EXPECT_GT(big.widths["B"], 2 * wb.widths["B"]);

    // Without the header, a column of Nulls shows nothing and keeps its width.
    r = exportXlsx({"--db", db, "--query", query, "-o", out, "--set", "AutoColumnWidth=1", "--set", "Columns=0"},
                   dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Workbook bare = readBack(out, "--styles");
    EXPECT_EQ(bare.widths.count("C"), 0u);
    EXPECT_EQ(bare.widths.count("B"), 1u);
    EXPECT_LT(bare.widths["B"], 3.0) << "fitted to \"yy\" in the default 8.25-point font";
}

TEST(ExcelReadback, AtMost65535RecordsThenTheMessageAndAnEmptySheet) {
    TempDir dir;
    const std::string db = makeDb(dir, "many.db",
                                  "CREATE TABLE t (n INTEGER); WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL "
                                  "SELECT i + 1 FROM c WHERE i < 65536) INSERT INTO t SELECT i FROM c;");
    const std::string out = dir.file("many.xlsx");

    RunResult r = exportXlsx({"--db", db, "--query", "SELECT n FROM t WHERE n <= 65535", "-o", out}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Workbook wb = readBack(out, "--rows");
    EXPECT_EQ(wb.maxRow, 65536);
    EXPECT_EQ(wb.maxCol, 1);
    EXPECT_EQ(wb.cells.at({1, 1}).value, "n");
    for (int row = 2; row <= 65536; ++row) {
        auto it = wb.cells.find({row, 1});
        ASSERT_TRUE(it != wb.cells.end()) << row;
        ASSERT_EQ(it->second.value, std::to_string(row - 1)) << row;
    }

    r = exportXlsx({"--db", db, "--query", "SELECT n FROM t", "-o", out}, dir);
    EXPECT_EQ(r.status, 2) << "a message was shown";
    EXPECT_TRUE(contains(r.err, "Information")) << r.err;
    EXPECT_TRUE(contains(r.err, "Currentversion supports only records upto 65535.")) << r.err;
    EXPECT_TRUE(contains(r.err, "Please modify your SELECT query accordingly.")) << r.err;
    wb = readBack(out, "--rows");
    EXPECT_EQ(wb.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_EQ(wb.maxRow, 0) << "the sheet is empty";
    EXPECT_TRUE(wb.cells.empty());

    // No records: an empty sheet as well, without a message.
    r = exportXlsx({"--db", db, "--query", "SELECT n FROM t WHERE n < 0", "-o", out}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    wb = readBack(out, "--rows");
    EXPECT_EQ(wb.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_TRUE(wb.cells.empty());
}

// Through the control itself, with a recording desktop: the message box as
// the user sees it, and failures traced under both procedures.
class ExcelControlTest : public varnelo::testing_control::ControlTest {
protected:
    void ready(std::vector<std::vector<varnelo::Variant>> rows, const std::string& file) {
        control.DataSource(std::make_shared<varnelo::MemoryRecordset>(
            std::vector<std::string>{"n"}, std::vector<int>{varnelo::adtype::kVarChar}, std::move(rows)));
        control.Format(varnelo::ExcelFile);
        control.OutputFile(file);
        forget();
    }
    TempDir dir;
};

TEST_F(ExcelControlTest, TooManyRecordsShowTheInformationBoxAndSaveAnEmptySheet) {
    const std::string file = dir.file("many.xls");
    ready(std::vector<std::vector<varnelo::Variant>>(65536, {varnelo::Variant("v")}), file);
    control.Save();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              "Currentversion supports only records upto 65535.\r\nPlease modify your SELECT query accordingly.");
    EXPECT_EQ(desktop.messages[0].title, "Information");
    EXPECT_EQ(desktop.messages[0].style, varnelo::mb::kInformation);
    const Workbook wb = readBack(file, "--rows");
    EXPECT_EQ(wb.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_TRUE(wb.cells.empty());

    ready(std::vector<std::vector<varnelo::Variant>>(65535, {varnelo::Variant("v")}), file);
    control.Save();
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(readBack(file, "--rows").maxRow, 65536);
}

TEST_F(ExcelControlTest, FailuresNameTheSheetStepAndTheWorkbookStep) {
    const std::string file = dir.file("out.xlsx");
    varnelo::testing_support::writeFile(file, "old");
    ready({{varnelo::Variant("fine")}, {varnelo::Variant(std::string(40000, 'x'))}}, file);
    varnelo::Error e = varnelo::testing_support::errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), varnelo::err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), ::testing::HasSubstr("row 3, column 1"));
    EXPECT_THAT(varnelo::testing_control::callStack(e.description()),
                ::testing::ElementsAre("Varnelo.ExcelCopyRecords", "Varnelo.ExcelIO", "Varnelo.Save"));
    EXPECT_EQ(readFile(file), "old") << "the earlier file is kept";
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"}) << "no temporary left";

    ready({{varnelo::Variant("fine")}}, dir.file("missing/out.xlsx"));
    e = varnelo::testing_support::errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), varnelo::err::kPathNotFound);
    EXPECT_THAT(varnelo::testing_control::callStack(e.description()),
                ::testing::ElementsAre("Varnelo.ExcelIO", "Varnelo.Save"));
}

}  // namespace
