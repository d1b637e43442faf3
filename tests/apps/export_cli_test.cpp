// End-to-end: the command-line host exporting the demo database, read back
// with real readers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "support/test_support.h"

namespace {

using ::testing::HasSubstr;
using namespace varnelo::testing_support;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct RunResult { int status; std::string out, err; };

RunResult run(const std::vector<std::string>& args, const TempDir& dir) {
    std::string cmd = quote(VARNELO_EXPORT_BIN);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd += " >" + quote(dir.file("stdout.txt")) + " 2>" + quote(dir.file("stderr.txt")) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir.file("stdout.txt")), readFile(dir.file("stderr.txt"))};
}

// A query's declared column types and its rows as text (NULL as nullopt), straight from SQLite.
using Row = std::vector<std::optional<std::string>>;
std::vector<Row> queryRows(const std::string& db, const std::string& sql, std::vector<std::string>& types) {
    sqlite3* h = nullptr;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) types.push_back(sqlite3_column_decltype(st, i) ? sqlite3_column_decltype(st, i) : "");
    std::vector<Row> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
        Row& r = rows.emplace_back();
        for (int i = 0; i < n; ++i) {
            const int type = sqlite3_column_type(st, i);
            char exact[40] = "";  // SQLite's own text of a double keeps 15 digits; the exact value needs 17
            if (type == SQLITE_FLOAT) std::snprintf(exact, sizeof exact, "%.17g", sqlite3_column_double(st, i));
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            if (type == SQLITE_NULL) r.emplace_back();
            else r.emplace_back(type == SQLITE_FLOAT ? exact : text);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return rows;
}

}  // namespace

// The demo table as CSV with quotes, imported by the sqlite3 shell's own CSV
// reader: every value must come back as the source holds it.
TEST(ExportCli, DemoCsvReadsBackThroughSqliteImport) {
    TempDir dir;
    const std::string csv = dir.file("demo.csv"), imported = dir.file("imported.db");
    auto r = run({"--format", "csv", "--set", "Quotes=1", "--set", "Columns=1", "-o", csv}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Exported 300 rows to " + csv));
    const std::string import = quote(".import --csv " + csv + " t");
    ASSERT_EQ(std::system((quote(VARNELO_SQLITE3_SHELL) + " " + quote(imported) + " " + import).c_str()), 0);

    std::vector<std::string> types, unused;
    auto source = queryRows(VARNELO_DEMO_DB, "SELECT * FROM demo_export", types);
    auto back = queryRows(imported, "SELECT * FROM t", unused);
    ASSERT_EQ(source.size(), 300u);
    ASSERT_EQ(back.size(), source.size());
    for (size_t i = 0; i < source.size(); ++i) {
        ASSERT_EQ(back[i].size(), source[i].size());
        for (size_t j = 0; j < source[i].size(); ++j) {
            const auto& want = source[i][j];
            const std::string& got = *back[i][j];
            SCOPED_TRACE("row " + std::to_string(i + 1) + " column " + std::to_string(j + 1) + " " + types[j]);
            if (!want) EXPECT_EQ(got, "");  // Null travels as an empty field
            else if (types[j] == "BOOLEAN") EXPECT_EQ(got, *want == "0" ? "False" : "True");
            else if (types[j] == "REAL" || types[j].rfind("DECIMAL", 0) == 0)
                EXPECT_EQ(std::strtod(got.c_str(), nullptr), std::strtod(want->c_str(), nullptr));
            else if (types[j] == "DATETIME" && want->size() == 19 && want->substr(10) == " 00:00:00")
                EXPECT_EQ(got, want->substr(0, 10));
            else EXPECT_EQ(got, *want);
        }
    }
}

// Exit status 0 exported, 1 an error report, 2 a missing setting, 64 a bad command line.
TEST(ExportCli, ExitStatusMessagesAndOutput) {
    TempDir dir;
    const std::string keep = dir.file("keep.csv"), sql = dir.file("out.sql"), txt = dir.file("out.txt");
    writeFile(keep, "old contents");
    const struct { std::vector<std::string> args; int status; ::testing::Matcher<std::string> err; } cases[] = {
        {{"--query", "SELECT 'a' AS x, 2 AS y", "--format", "DelimOther", "--set", "delimchar=|", "--set",
          "UnixFormat=1", "--set", "IncludeSQL=1", "-o", txt, "--quiet"}, 0, ::testing::IsEmpty()},
        {{"-o", dir.file("no-such-folder/out.csv"), "--quiet"}, 1,
         AllOf(HasSubstr("  Method: Varnelo.ascii_IO \r\n"), HasSubstr("  Number: 76 = &H4C"),
               HasSubstr("  Call Stack: Varnelo.Save() -"))},
        {{"--format", "insert", "-o", sql}, 2, "Missing Configuration: Please enter Table name to proceed.\n"},
        {{"--set", "DelimAfterRow=7", "-o", keep, "--quiet"}, 64, HasSubstr("DelimAfterRow")},  // no check-box state
        {{"--set", "NoSuchThing=1"}, 64, HasSubstr("NoSuchThing")},
        {{"--set", "HeaderFont=Arial"}, 64, HasSubstr("HeaderFont")},
    };
    for (const auto& c : cases) {
        auto r = run(c.args, dir);
        EXPECT_EQ(r.status, c.status) << c.args[1] << r.err;
        EXPECT_THAT(r.err, c.err) << c.args[1];
    }
    EXPECT_EQ(readFile(txt), "SQL statement that produce this data\nSELECT 'a' AS x, 2 AS y\nx|y\na|2");
    EXPECT_FALSE(std::filesystem::exists(sql));
    EXPECT_EQ(readFile(keep), "old contents");  // refused before any export

    auto r = run({"--list-properties", "--set", "HeaderBackColor=0xFF", "--set", "BodyFont=Arial,10.5,bold"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* s : {"Returns/sets the format of data export.", "0x000000FF", "Arial,10.5,bold", "CommitInterval"})
        EXPECT_THAT(r.out, HasSubstr(s));
}

namespace {

int sqliteShell(const std::string& db, const std::string& sqlFile) {
    const std::string cmd = quote(VARNELO_SQLITE3_SHELL) + " -batch " + quote(db) + " < " + quote(sqlFile) +
                            " >/dev/null 2>&1";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// SQLite lets text live in an INTEGER column and a blob in a TEXT column: the
// INSERT file must carry them as what they are, and a hostile text must stay
// data when the file runs.
TEST(ExportCli, InsertLiteralsFollowTheValueSoTextNeverRunsAsSql) {
    TempDir dir;
    const std::string src = dir.file("src.db"), dst = dir.file("dst.db"), out = dir.file("out.sql");
    writeFile(dir.file("make.sql"),
              "CREATE TABLE t (n INTEGER, s TEXT, b BLOB, d REAL);"
              "INSERT INTO t VALUES ('0); DELETE FROM victim; --', x'00ff', x'', 1e999);"
              "INSERT INTO t VALUES (7, 'plain', NULL, -1e999);");
    ASSERT_EQ(sqliteShell(src, dir.file("make.sql")), 0);
    const RunResult r = run({"--db", src, "--query", "SELECT * FROM t", "--format", "insert", "--set",
                             "InsertTable=t", "-o", out, "--quiet"},
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    writeFile(dir.file("target.sql"),
              "CREATE TABLE victim (x); INSERT INTO victim VALUES (1);"
              "CREATE TABLE t (n INTEGER, s TEXT, b BLOB, d REAL);\nBEGIN;\n.read " + out + "\n");
    ASSERT_EQ(sqliteShell(dst, dir.file("target.sql")), 0) << readFile(out);
    std::vector<std::string> types;
    EXPECT_EQ(queryRows(dst, "SELECT count(*) FROM victim", types).at(0).at(0), "1");
    const auto rows = queryRows(dst, "SELECT typeof(n), n, typeof(s), hex(s), typeof(b), hex(b), d FROM t", types);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(*rows[0][0] + "|" + *rows[0][1], "text|0); DELETE FROM victim; --");
    EXPECT_EQ(*rows[0][2] + "|" + *rows[0][3], "blob|00FF");
    EXPECT_EQ(*rows[0][4] + "|" + *rows[0][5], "blob|") << "an empty blob stays a blob, not NULL";
    EXPECT_EQ(*rows[0][6], "Infinity") << "quoted, not read as a column name";
    EXPECT_EQ(*rows[1][0] + "|" + *rows[1][1], "integer|7");
}

}  // namespace
