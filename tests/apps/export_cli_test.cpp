// End to end: the command-line host exporting, read back by real readers:
// the sqlite3 shell (CSV, INSERT files) and html5lib (HTML, html_readback.py).
#include <gmock/gmock.h>
#include <sqlite3.h>

#include <charconv>
#include <optional>

#include "support/test_support.h"
#include "varnelo/version.h"
#include "varnelo/sqlite_recordset.h"

namespace {

using namespace varnelo::testing_support;
using ::testing::EndsWith, ::testing::HasSubstr, ::testing::Not, ::testing::Pair, ::testing::StartsWith;
using Rows = std::vector<std::vector<std::optional<std::string>>>;

// Each run with settings of its own: what one run saves must not steer the next.
std::pair<int, std::string> exportCli(const std::string& args) {
    static TempDir settings;
    static int runs = 0;
    return runShell("XDG_CONFIG_HOME=" + shellQuote(settings.file(std::to_string(++runs))) + " " +
                    shellQuote(VARNELO_EXPORT_BIN) + args);
}

// A query's rows straight from SQLite: Null as nullopt, a double in its shortest exact form.
Rows queryRows(const std::string& db, const std::string& sql) {
    sqlite3* h = nullptr;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << db;
    EXPECT_EQ(sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
    Rows rows;
    for (char number[40]; sqlite3_step(st) == SQLITE_ROW;) {
        auto& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const int type = sqlite3_column_type(st, i);
            if (type == SQLITE_NULL) row.emplace_back();
            else if (type != SQLITE_FLOAT) row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
            else row.emplace_back(std::string(number, std::to_chars(number, number + 40, sqlite3_column_double(st, i)).ptr));
        }
    }
    sqlite3_finalize(st), sqlite3_close(h);
    return rows;
}

// The demo table as CSV, imported by the sqlite3 shell's CSV reader: every
// value comes back as the source holds it, in the writer's forms.
TEST(ExportCli, DemoCsvReadsBackThroughSqliteImport) {
    TempDir dir;
    const std::string csv = dir.file("demo.csv"), imported = dir.file("imported.db");
    ASSERT_THAT(exportCli(" --format csv --set Quotes=1 --set Columns=1 -o " + shellQuote(csv)),
                Pair(0, HasSubstr("Exported 300 rows to " + csv)));
    ASSERT_EQ(runShell(shellQuote(VARNELO_SQLITE3_SHELL) + " " + shellQuote(imported) + " " +
                       shellQuote(".import --csv " + csv + " t")).first, 0);
    Rows want = queryRows(VARNELO_DEMO_DB, "SELECT * FROM demo_export");
    const Rows types = queryRows(VARNELO_DEMO_DB, "SELECT type FROM pragma_table_info('demo_export')");
    for (auto& row : want)
        for (size_t j = 0; j < row.size(); ++j) {
            std::string& value = *(row[j] = row[j].value_or(""));  // Null travels as an empty field
            if (types[j][0] == "BOOLEAN" && !value.empty()) value = value == "0" ? "False" : "True";
            if (types[j][0] == "DATETIME" && value.ends_with(" 00:00:00")) value.resize(10);
        }
    EXPECT_EQ(queryRows(imported, "SELECT * FROM t"), want);
}

// The command line as a Unix tool: getopt_long's forms, 64 and one plain line for every bad value (never a
// report or a rounded value), 1 an error report, 2 a missing setting; nothing is written unless exported.
TEST(ExportCli, CommandLineRules) {
    TempDir dir;
    const std::string out = dir.file("out.csv"), db = dir.file("odd.db"), sql = dir.file("out.sql");
    ASSERT_EQ(runShell(shellQuote(VARNELO_SQLITE3_SHELL) + " " + shellQuote(db) + " " +
                       shellQuote("CREATE TABLE \"we\"\"ird\" (n); INSERT INTO \"we\"\"ird\" VALUES (42);")).first, 0);
    const auto oneLine = [](const std::string& text) {
        return AllOf(StartsWith("varnelo-export: " + text), EndsWith(" (see --help)\n"),
                     ::testing::ResultOf([](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }, 1));
    };
    const struct { std::string args; int status; ::testing::Matcher<std::string> out; } cases[] = {
        {"", 64, AllOf(StartsWith("usage: varnelo-export"), HasSubstr("Exit status:"))},
        {" -o " + shellQuote(dir.file("no-such-folder/out.csv")), 1,
         AllOf(HasSubstr("  Method: Varnelo.ascii_IO \r\n"), HasSubstr("  Number: 76 = &H4C"))},
        {" --format insert -o " + shellQuote(sql), 2, "Missing Configuration: Please enter Table name to proceed.\n"},
        {" --version", 0, "varnelo-export " VARNELO_VERSION "\n"},
        {" --format 8 -o " + out, 64, oneLine("unknown format \"8\"")},
        {" --format=5 -o " + out, 64, oneLine("unknown format \"5\"")},
        {" --frobnicate", 64, oneLine("unknown option \"--frobnicate\"")},
        {" -o", 64, oneLine("-o needs a value")},
        {" --query=x --table y", 64, oneLine("--query and --table both name the rows")},
        {" -o " + out + " stray", 64, oneLine("unexpected argument \"stray\"")},
        {" --set SQLLoaderMode=99 -o " + out, 64,
         "varnelo-export: bad value \"99\" for SQLLoaderMode: takes 1 (Insert), 2 (Append), 3 (Replace) or 4 (Truncate)\n"},
        {" --set=Format=x -o " + out, 64, "varnelo-export: bad value \"x\" for Format: takes a whole number\n"},
        {" --set 'HeaderFont=Arial,-3' -o " + out, 64,
         "varnelo-export: bad value \"Arial,-3\" for HeaderFont: Type mismatch: font size \"-3\" is out of range "
         "(HeaderFont)\n"},
        {" --set ScaleWidth=3 -o " + out, 64, HasSubstr("unknown property \"ScaleWidth\"")},
        {" --db=" + db + " --table='we\"ird' --quiet --output=-", 0, "n\r\n42"},
        {" --list-properties --set Password=secret --set MailTo=a@b.example --set HeaderBackColor=0xFF", 0,
         AllOf(HasSubstr("Returns/sets the format of data export."), HasSubstr("0x000000FF"),
               HasSubstr("Password               String        (set)"), HasSubstr("a@b.example"),
               Not(HasSubstr("secret")), Not(HasSubstr("ScaleWidth")), Not(HasSubstr("DataSource")))},
    };
    for (const auto& c : cases) EXPECT_THAT(exportCli(c.args), Pair(c.status, c.out)) << c.args;
    EXPECT_FALSE(std::filesystem::exists(out) || std::filesystem::exists(sql));
}

// -o - writes what a file gets, a missing setting reported as for a file; a reader that stops early ends the
// export quietly with 141; a workbook is not written to a terminal.
TEST(ExportCli, StandardOutput) {
    TempDir dir;
    const std::string file = dir.file("demo.tsv"), status = dir.file("status"), err = dir.file("err");
    ASSERT_EQ(exportCli(" --format tsv -q -o " + shellQuote(file)).first, 0);
    EXPECT_EQ(exportCli(" --format tsv -q -o - 2>/dev/null"), std::make_pair(0, readFile(file)));
    EXPECT_THAT(exportCli(" --format insert -o -"), Pair(2, "Missing Configuration: Please enter Table name to proceed.\n"));

    const std::string many = shellQuote("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT 300000) "
                                        "SELECT x, 'a row of some length' FROM c");
    for (const std::string format : {"csv", "sqlldr --set InsertTable=t"}) {
        ASSERT_EQ(runShell("{ " + shellQuote(VARNELO_EXPORT_BIN) + " --query " + many + " --format " + format +
                           " -o - 2>" + shellQuote(err) + "; echo $? >" + shellQuote(status) + "; } | head -c 100 >/dev/null")
                      .first, 0);
        EXPECT_EQ(readFile(status) + readFile(err), "141\n") << format << ": the status, and nothing on standard error";
    }
    EXPECT_THAT(runShell("script -qec " + shellQuote(shellQuote(VARNELO_EXPORT_BIN) + " --format xlsx -o -") + " /dev/null"),
                Pair(64, HasSubstr("a workbook is binary: not written to a terminal")));
}

// Text in an INTEGER column and a blob in a TEXT column are written as what
// they are, and a hostile text stays data when the INSERT file runs.
TEST(ExportCli, InsertLiteralsFollowTheValueSoTextNeverRunsAsSql) {
    TempDir dir;
    const std::string sqlite = shellQuote(VARNELO_SQLITE3_SHELL) + " -batch -bail ", src = dir.file("src.db"),
                      dst = dir.file("dst.db"), out = dir.file("out.sql"),
                      table = "CREATE TABLE t (n INTEGER, s TEXT, b BLOB, d REAL);";
    ASSERT_EQ(runShell(sqlite + shellQuote(src) + " " +
                       shellQuote(table + "INSERT INTO t VALUES ('0); DELETE FROM victim; --', x'00ff', x'', 1e999);"
                                          "INSERT INTO t VALUES (7, 'plain', NULL, -1e999);")).first, 0);
    ASSERT_THAT(exportCli(" --db " + shellQuote(src) + " --query 'SELECT * FROM t' --format insert --set InsertTable=t"
                          " --quiet -o " + shellQuote(out)), Pair(0, ""));
    ASSERT_EQ(runShell(sqlite + shellQuote(dst) + " " +
                       shellQuote("CREATE TABLE victim (x); INSERT INTO victim VALUES (1);" + table + "BEGIN;") + " " +
                       shellQuote(".read " + out)).first, 0) << readFile(out);
    EXPECT_EQ(queryRows(dst, "SELECT (SELECT count(*) FROM victim), typeof(n) || ' ' || n, typeof(s) || ' ' || hex(s), "
                             "typeof(b) || ' ' || hex(b), d FROM t"),
              (Rows{{"1", "text 0); DELETE FROM victim; --", "blob 00FF", "blob ", "Infinity"},
                    {"1", "integer 7", "text 706C61696E", "null ", "-Infinity"}}));
}

// Exports as HTML with `args`; html5lib's reading of the page, as html_readback.py prints it.
std::string htmlPage(const std::string& args) {
    TempDir dir;
    const std::string file = shellQuote(dir.file("t.html"));
    const auto [status, out] = exportCli(" --format html --quiet -o " + file + args + " && /usr/bin/python3 " +
                                         shellQuote(VARNELO_SOURCE_DIR "/tests/apps/html_readback.py") + " " + file);
    EXPECT_EQ(status, 0) << out;
    return out;
}

// One row as html_readback.py prints it: every cell `attributes|TEXT IN HEX`.
std::string row(const std::string& attributes, const std::vector<std::string>& texts) {
    std::string line;
    for (const auto& text : texts) {
        line += (line.empty() ? "" : "\t") + attributes + "|";
        for (unsigned char c : text) line += "0123456789abcdef"[c >> 4], line += "0123456789abcdef"[c & 15];
    }
    return line + "\n";
}

// The demo table cell by cell in one closed table: attributes from the settings (a system colour resolved,
// 12.5 points as size 3), values as every writer writes them; markup in values and names stays text.
TEST(ExportCli, HtmlReadsBackCellByCellThroughHtml5lib) {
    const std::string page = htmlPage(
        " --set Columns=1 --set IncludeNulls=1 --set NoWrap=1 --set UnixFormat=1 --set 'HeaderFont=Georgia,12.5,bold'"
        " --set 'BodyFont=Courier New,10.5' --set HeaderBackColor=0x8000000F --set HeaderForeColor=0x000080"
        " --set BodyBackColor=0xF0F0F0 --set BodyForeColor=0xFF");
    varnelo::SqliteRecordset rs(VARNELO_DEMO_DB, "SELECT * FROM demo_export");
    std::vector<std::string> texts;
    for (int j = 0; j < rs.Fields().Count(); ++j) texts.push_back(rs.Fields().Item(j).Name());
    std::string want = "h1 table p scripts=0\n" + row("th - #D4D0C8 Georgia #800000 3", texts);
    for (; !rs.Eof(); rs.MoveNext()) {
        texts.clear();
        for (int j = 0; j < rs.Fields().Count(); ++j) {
            std::string& text = texts.emplace_back(
                rs.Fields().Item(j).Value().isBlank() ? "NULL" : rs.Fields().Item(j).Value().toText());
            for (size_t at; (at = text.find('\r')) != std::string::npos;) text.replace(at, text.compare(at, 2, "\r\n") ? 1 : 2, "\n");
        }
        want += row("td nowrap #F0F0F0 Courier New #FF0000 2", texts);
    }
    EXPECT_EQ(page, want);

    const std::string th = "th - #000040 Sans Serif #FFFFFF 1", td = "td - #FFFFFF Sans Serif #000000 1";
    EXPECT_EQ(htmlPage(" --query " + shellQuote(
                  "SELECT '<script>alert(\"x\")</script>' AS \"<b>name</b>\", 'a & b' AS \"q\"\"\", "
                  "'</td></tr></table><p>' AS t UNION ALL SELECT '\"><img src=x onerror=y>', '&amp;', ''")),
              "h1 table p scripts=0\n" + row(th, {"<b>name</b>", "q\"", "t"}) +
                  row(td, {"<script>alert(\"x\")</script>", "a & b", "</td></tr></table><p>"}) +
                  row(td, {"\"><img src=x onerror=y>", "&amp;", ""}));
}

}  // namespace
