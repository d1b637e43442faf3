// End-to-end: the command-line host exporting the demo database, read back
// with real readers.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using varnelo::testing_support::readFile;
using varnelo::testing_support::TempDir;

struct RunResult {
    int status = -1;
    std::string err;  // standard error
};

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

RunResult run(const std::vector<std::string>& args, const TempDir& dir) {
    std::string cmd = quote(VARNELO_EXPORT_BIN);
    for (const auto& a : args) cmd += " " + quote(a);
    std::string errFile = dir.file("stderr.txt");
    cmd += " 2>" + quote(errFile) + " </dev/null";
    RunResult r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = readFile(errFile);
    return r;
}

// Rows of a query as text (NULL as nullopt), straight from SQLite.
using Row = std::vector<std::optional<std::string>>;
std::vector<Row> queryRows(const std::string& db, const std::string& sql, std::vector<std::string>* types = nullptr) {
    sqlite3* h = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
    std::vector<Row> rows;
    int n = sqlite3_column_count(st);
    if (types)
        for (int i = 0; i < n; ++i) {
            const char* t = sqlite3_column_decltype(st, i);
            types->push_back(t ? t : "");
        }
    while (sqlite3_step(st) == SQLITE_ROW) {
        Row r;
        for (int i = 0; i < n; ++i) {
            if (sqlite3_column_type(st, i) == SQLITE_NULL) {
                r.push_back(std::nullopt);
            } else if (sqlite3_column_type(st, i) == SQLITE_FLOAT) {
                // SQLite's own text keeps 15 digits; the exact value needs 17.
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, i));
                r.push_back(std::string(buf));
            } else r.push_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
        }
        rows.push_back(std::move(r));
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
    auto csv = dir.path() / "demo.csv";
    auto r = run({"--format", "csv", "--set", "Quotes=1", "--set", "Columns=1", "-o", csv.string()}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Exported 300 rows to " + csv.string()), std::string::npos) << r.err;

    auto imported = dir.path() / "imported.db";
    std::string cmd = quote(VARNELO_SQLITE3_SHELL) + " " + quote(imported.string()) + " " +
                      quote(".import --csv " + csv.string() + " t");
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    std::vector<std::string> types;
    auto source = queryRows(VARNELO_DEMO_DB, "SELECT * FROM demo_export", &types);
    auto back = queryRows(imported.string(), "SELECT * FROM t");
    ASSERT_EQ(back.size(), source.size());
    ASSERT_EQ(source.size(), 300u);
    for (size_t i = 0; i < source.size(); ++i) {
        ASSERT_EQ(back[i].size(), source[i].size());
        for (size_t j = 0; j < source[i].size(); ++j) {
            const auto& want = source[i][j];
            const std::string& got = *back[i][j];
            SCOPED_TRACE("row " + std::to_string(i + 1) + " column " + std::to_string(j + 1) + " " + types[j]);
            if (!want) {
                EXPECT_EQ(got, "");  // Null travels as an empty field
            } else if (types[j] == "BOOLEAN") {
                EXPECT_EQ(got, *want == "0" ? "False" : "True");
            } else if (types[j] == "REAL" || types[j].rfind("DECIMAL", 0) == 0) {
                EXPECT_EQ(std::strtod(got.c_str(), nullptr), std::strtod(want->c_str(), nullptr));
            } else if (types[j] == "DATETIME" && want->size() == 19 && want->substr(10) == " 00:00:00") {
                EXPECT_EQ(got, want->substr(0, 10));
            } else {
                EXPECT_EQ(got, *want);
            }
        }
    }
}

TEST(ExportCli, MissingSettingPrintsTheMessageAndWritesNothing) {
    TempDir dir;
    auto out = dir.path() / "out.sql";
    auto r = run({"--format", "insert", "-o", out.string()}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Missing Configuration: Please enter Table name to proceed.\n");
    EXPECT_FALSE(fs::exists(out));
}

TEST(ExportCli, WriterFailurePrintsTheReportAndKeepsTheOldFile) {
    TempDir dir;
    auto r = run({"-o", (dir.path() / "no-such-folder" / "out.csv").string(), "--quiet"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("  Method: Varnelo.ascii_IO \r\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  Number: 76 = &H4C"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  Call Stack: Varnelo.Save() -"), std::string::npos) << r.err;

    // A failing export leaves an existing file as it was.
    auto out = dir.path() / "keep.csv";
    std::ofstream(out) << "old contents";
    r = run({"--query", "SELECT 1 AS a UNION ALL SELECT 2", "--set", "Columns=1", "-o", out.string(), "--quiet",
             "--set", "DelimAfterRow=7"},
            dir);
    EXPECT_EQ(r.status, 64);  // 7 is no check-box state: refused before any export
    EXPECT_EQ(readFile(out.string()), "old contents");
}

TEST(ExportCli, PropertiesBySetAndUnknownNames) {
    TempDir dir;
    auto out = dir.path() / "out.txt";
    auto r = run({"--query", "SELECT 'a' AS x, 2 AS y", "--format", "DelimOther", "--set", "delimchar=|", "--set",
                  "UnixFormat=1", "--set", "IncludeSQL=1", "-o", out.string(), "--quiet"},
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(out.string()), "SQL statement that produce this data\nSELECT 'a' AS x, 2 AS y\nx|y\na|2");

    r = run({"--set", "NoSuchThing=1"}, dir);
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find("NoSuchThing"), std::string::npos);

    r = run({"--set", "HeaderFont=Arial"}, dir);
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find("HeaderFont"), std::string::npos) << r.err;
}

TEST(ExportCli, ListsPropertiesWithValuesAndDescriptions) {
    TempDir dir;
    std::string listing = dir.file("list.txt");
    std::string cmd = quote(VARNELO_EXPORT_BIN) + " --list-properties --set HeaderBackColor=0xFF --set "
                      "BodyFont=Arial,10.5,bold >" + quote(listing);
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string text = readFile(listing);
    EXPECT_NE(text.find("Returns/sets the format of data export."), std::string::npos);
    EXPECT_NE(text.find("0x000000FF"), std::string::npos);
    EXPECT_NE(text.find("Arial,10.5,bold"), std::string::npos);
    EXPECT_NE(text.find("CommitInterval"), std::string::npos);
}
