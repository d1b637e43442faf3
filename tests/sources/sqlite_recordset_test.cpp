#include "varnelo/sqlite_recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/error.h"

namespace fs = std::filesystem;

namespace varnelo {
namespace {

using testing_support::errorOf;

// A fresh directory per test with one database built from SQL.
class SqliteRecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir_ = fs::temp_directory_path() /
               ("varnelo-sources-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        fs::create_directories(dir_);
        dbPath_ = (dir_ / "test.db").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void build(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dbPath_.c_str(), &db), SQLITE_OK);
        char* message = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
        std::string text = message ? message : "";
        sqlite3_free(message);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << text;
    }

    SqliteRecordset open(const std::string& query) { return SqliteRecordset(dbPath_, query); }


    fs::path dir_;
    std::string dbPath_;
};

TEST_F(SqliteRecordsetTest, TypeCodesFromDeclaredTypes) {
    struct Case { const char* declared; int code; };
    const Case cases[] = {
        {"BOOLEAN", 11},          {"INTEGER", 3},           {"INT", 3},
        {"BIGINT", 20},           {"UNSIGNED BIG INT", 20}, {"INT8", 20},
        {"NCHAR(5)", 202},        {"NVARCHAR(10)", 202},    {"NTEXT", 202},
        {"NATIONAL CHARACTER(3)", 202},
        {"CHAR", 129},            {"CHARACTER(10)", 129},   {"char (10)", 129},
        {"character( 10 )", 129}, {"VARCHAR(20)", 200},     {"CHARACTER VARYING(8)", 200},
        {"TEXT", 200},            {"CLOB", 200},            {"STRING", 200},
        {"DATETIME", 135},        {"TIMESTAMP", 135},       {"DATE", 7},
        {"REAL", 5},              {"FLOAT", 5},             {"DOUBLE PRECISION", 5},
        {"DECIMAL(10,2)", 131},   {"NUMERIC", 131},         {"MONEY", 131},
        {"NUMBER(8)", 131},       {"BLOB", 205},            {"JSON", 200},
    };
    std::string create = "CREATE TABLE t(";
    for (size_t i = 0; i < std::size(cases); ++i)
        create += (i ? ", c" : "c") + std::to_string(i) + " " + cases[i].declared;
    create += ", untyped); INSERT INTO t(c0) VALUES (1);";
    build(create);

    SqliteRecordset rs = open("SELECT * FROM t");
    ASSERT_EQ(rs.Fields().Count(), static_cast<int>(std::size(cases)) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(rs.Fields()[static_cast<int>(i)].Type(), cases[i].code) << cases[i].declared;
    // No declared type and a Null in the first row.
    EXPECT_EQ(rs.Fields()[static_cast<int>(std::size(cases))].Type(), 12);
}

TEST_F(SqliteRecordsetTest, ExpressionsTakeTheFirstRowsStorageClass) {
    build("CREATE TABLE t(a INTEGER);");
    const char* query = "SELECT 1 AS i, 1.5 AS r, 'x' AS t, x'00' AS b, NULL AS n";
    SqliteRecordset rs = open(query);
    std::vector<int> codes;
    for (int i = 0; i < rs.Fields().Count(); ++i) codes.push_back(rs.Fields()[i].Type());
    EXPECT_EQ(codes, (std::vector<int>{20, 5, 200, 205, 12}));
    EXPECT_EQ(rs.Fields()[2].Name(), "t");

    SqliteRecordset none = open(std::string(query) + " WHERE 0");
    for (int i = 0; i < none.Fields().Count(); ++i) EXPECT_EQ(none.Fields()[i].Type(), 12);
    // A view passes its table's declared type on.
    build("CREATE VIEW v AS SELECT a FROM t;");
    EXPECT_EQ(open("SELECT a FROM v").Fields()[0].Type(), 3);
}

TEST_F(SqliteRecordsetTest, ValuesKeepTheirStorageClass) {
    build(R"(CREATE TABLE t(i INTEGER, big BIGINT, r REAL, s VARCHAR(9), b BLOB, f BOOLEAN,
                           d DATE, ts TIMESTAMP, dec DECIMAL(9,2));
             INSERT INTO t VALUES (7, 8, 0.1, 'abc', x'00FFa0', 1, '2003-12-25', '2003-12-25T13:05:07Z', 12.5);
             INSERT INTO t VALUES (1099511627776, -1, 1e300, '', x'', 0, 'soon', '2003-12-25 13:05', 12);
             INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, 2, 20031225, NULL, NULL);)");
    SqliteRecordset rs = open("SELECT * FROM t");
    auto value = [&](int i) { return rs.Fields()[i].Value(); };

    EXPECT_EQ(value(0), Variant(int32_t{7}));
    EXPECT_EQ(value(1), Variant(int64_t{8}));
    EXPECT_EQ(value(2), Variant(0.1));
    EXPECT_EQ(value(3), Variant("abc"));
    EXPECT_EQ(value(4), Variant("00FFA0"));
    EXPECT_EQ(value(5), Variant(true));
    EXPECT_EQ(value(6), Variant(DateTime{2003, 12, 25, 0, 0, 0}));
    EXPECT_EQ(value(7), Variant(DateTime{2003, 12, 25, 13, 5, 7}));
    EXPECT_EQ(value(8), Variant(12.5));

    rs.MoveNext();
    EXPECT_EQ(value(0), Variant(int64_t{1099511627776}));  // too wide for Int32
    EXPECT_EQ(value(2), Variant(1e300));
    EXPECT_EQ(value(3), Variant(""));
    EXPECT_FALSE(value(3).isNull());
    EXPECT_EQ(value(4), Variant(""));
    EXPECT_EQ(value(5), Variant(false));
    EXPECT_EQ(value(6), Variant("soon"));  // not a date: stays text
    EXPECT_EQ(value(7), Variant(DateTime{2003, 12, 25, 13, 5, 0}));
    EXPECT_EQ(value(8), Variant(int64_t{12}));

    rs.MoveNext();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(value(i).isNull()) << i;
    EXPECT_EQ(value(5), Variant(int64_t{2}));  // neither 0 nor 1: no Boolean
    EXPECT_EQ(value(6), Variant(int64_t{20031225}));
}

TEST_F(SqliteRecordsetTest, AppendedTextMatchesTheValuesText) {
    build(R"(CREATE TABLE t(i INTEGER, r REAL, s TEXT, b BLOB, f BOOL, d DATETIME, c CHAR(3), x);
             INSERT INTO t VALUES (-42, 0.1 + 0.2, 'a"b', x'0A1B', 1, '2003-12-25 13:05:07.250', 'ab ', 3.0);
             INSERT INTO t VALUES (0, 100.0, '', x'', 0, '2003-12-25 00:00:00', NULL, 'x');
             INSERT INTO t VALUES (NULL, -2.5e-7, NULL, NULL, 5, 'later', 'z', NULL);)");
    SqliteRecordset rs = open("SELECT * FROM t");
    int row = 0;
    while (!rs.Eof()) {
        for (int i = 0; i < rs.Fields().Count(); ++i) {
            Field f = rs.Fields()[i];
            Variant v = f.Value();
            std::string out = ">";
            EXPECT_EQ(f.AppendValueText(out), !v.isNull()) << row << "," << i;
            EXPECT_EQ(out, ">" + v.toText()) << row << "," << i;
            EXPECT_EQ(f.IsBlank(), v.isBlank()) << row << "," << i;
        }
        rs.MoveNext();
        ++row;
    }
    EXPECT_EQ(row, 3);

    // The shortest text that reads back as the same double, not SQLite's.
    rs.MoveFirst();
    std::string out;
    rs.Fields()[1].AppendValueText(out);
    EXPECT_EQ(out, "0.30000000000000004");
    out.clear();
    rs.Fields()[5].AppendValueText(out);
    EXPECT_EQ(out, "2003-12-25 13:05:07");
}

TEST_F(SqliteRecordsetTest, CountsMovesAndStopsAtTheEnd) {
    build(R"(CREATE TABLE t(n INTEGER);
             WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 5000)
             INSERT INTO t SELECT n FROM s;)");
    const std::string query = "SELECT n FROM t ORDER BY n;  -- all of them\n";
    SqliteRecordset rs = open(query);
    EXPECT_EQ(rs.Source(), query);
    EXPECT_FALSE(rs.Bof());
    EXPECT_EQ(rs.RecordCount(), 5000);

    int64_t sum = 0, rows = 0;
    for (; !rs.Eof(); rs.MoveNext(), ++rows) sum += rs.Fields()[0].Value().asInt32();
    EXPECT_EQ(rows, 5000);
    EXPECT_EQ(sum, 5000 * 5001 / 2);

    Error past = errorOf([&] { rs.MoveNext(); });
    EXPECT_EQ(past.number(), 3021);
    EXPECT_EQ(past.description(),
              "Either BOF or EOF is True, or the current record has been deleted. "
              "Requested operation requires a current record.");
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].Value(); }).number(), 3021);
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].IsBlank(); }).number(), 3021);

    rs.MoveFirst();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1}));
    rs.MoveNext();
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{5000}));
    EXPECT_FALSE(rs.Eof());
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    rs.MoveLast();  // from past the end: starts over and walks to the last row
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{5000}));
}

TEST_F(SqliteRecordsetTest, EmptyResultIsAtBothEnds) {
    build("CREATE TABLE t(n INTEGER);");
    SqliteRecordset rs = open("SELECT n FROM t");
    EXPECT_TRUE(rs.Bof());
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_NO_THROW(rs.MoveFirst());
    EXPECT_NO_THROW(rs.MoveLast());
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }).number(), 3021);
}

TEST_F(SqliteRecordsetTest, CountsAStatementThatCannotBeASubquery) {
    build("CREATE TABLE t(a INTEGER, b TEXT, c REAL);");
    SqliteRecordset rs = open("PRAGMA table_info(t)");
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[1].Value(), Variant("c"));
}

TEST_F(SqliteRecordsetTest, SqliteFailuresCarrySqlitesMessage) {
    build("CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);");
    Error e = errorOf([&] { open("SELECT * FROM missing"); });
    EXPECT_EQ(e.number(), -2147467259);
    EXPECT_EQ(e.source(), "SQLite");
    EXPECT_EQ(e.description(), "SQLite error 1: no such table: missing");

    // A failure on a later row leaves the cursor at the end.
    SqliteRecordset rs = open("SELECT CASE WHEN n = 3 THEN abs(-9223372036854775807 - 1) ELSE n END FROM t");
    rs.MoveNext();
    Error late = errorOf([&] { rs.MoveNext(); });
    EXPECT_EQ(late.number(), -2147467259);
    EXPECT_NE(late.description().find("integer overflow"), std::string::npos) << late.description();
    EXPECT_TRUE(rs.Eof());
}

TEST_F(SqliteRecordsetTest, RefusesWhatIsNoSingleReadOnlyQuery) {
    build("CREATE TABLE t(n INTEGER);");
    for (const char* query : {"", "  -- nothing\n", "SELECT 1; SELECT 2", "INSERT INTO t VALUES (1)",
                              "BEGIN"}) {
        Error e = errorOf([&] { open(query); });
        EXPECT_EQ(e.number(), kSqliteErrorNumber) << query;
        EXPECT_FALSE(e.description().empty());
    }
    // A trailing semicolon and comment are no second statement.
    EXPECT_NO_THROW(open("SELECT 1; -- done"));
}

TEST_F(SqliteRecordsetTest, MissingOrForeignFileFailsWithoutCreatingOne) {
    const std::string missing = (dir_ / "missing.db").string();
    Error e = errorOf([&] { SqliteRecordset(missing, "SELECT 1"); });
    EXPECT_EQ(e.number(), kSqliteErrorNumber);
    EXPECT_NE(e.description().find("SQLite error 14"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find(missing), std::string::npos) << e.description();
    EXPECT_FALSE(fs::exists(missing));

    const fs::path text = dir_ / "notes.txt";
    std::ofstream(text) << "this is no database, just some text to fill a page header.......\n";
    Error notDb = errorOf([&] { SqliteRecordset(text.string(), "SELECT * FROM sqlite_master"); });
    EXPECT_NE(notDb.description().find("file is not a database"), std::string::npos) << notDb.description();
}

TEST_F(SqliteRecordsetTest, BorrowedConnectionStaysOpen) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t(s TEXT); INSERT INTO t VALUES ('a'), ('b');", nullptr,
                           nullptr, nullptr), SQLITE_OK);
    {
        SqliteRecordset rs(db, "SELECT s FROM t");
        EXPECT_EQ(rs.RecordCount(), 2);
        EXPECT_EQ(rs.Fields()[0].Value(), Variant("a"));
    }
    // Still usable: the recordset neither closed it nor left a statement behind.
    EXPECT_EQ(sqlite3_next_stmt(db, nullptr), nullptr);
    EXPECT_EQ(sqlite3_exec(db, "DELETE FROM t", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

}  // namespace
}  // namespace varnelo
