#include "varnelo/sqlite_recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/error.h"

namespace varnelo {
namespace {

using testing_support::errorOf;

// A scratch folder per test with one database built from SQL.
class SqliteRecordsetTest : public ::testing::Test {
protected:
    void build(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dbPath_.c_str(), &db), SQLITE_OK);
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    SqliteRecordset open(const std::string& query) { return SqliteRecordset(dbPath_, query); }

    testing_support::TempDir dir_;
    std::string dbPath_ = dir_.file("test.db");
};

TEST_F(SqliteRecordsetTest, TypeCodesFromDeclaredTypesOrTheFirstRow) {
    const std::pair<const char*, int> cases[] = {
        {"BOOLEAN", 11}, {"INTEGER", 3}, {"INT", 3}, {"BIGINT", 20}, {"UNSIGNED BIG INT", 20}, {"INT8", 20},
        {"NCHAR(5)", 202}, {"NVARCHAR(10)", 202}, {"NTEXT", 202}, {"NATIONAL CHARACTER(3)", 202},
        {"CHAR", 129}, {"CHARACTER(10)", 129}, {"char (10)", 129}, {"character( 10 )", 129},
        {"VARCHAR(20)", 200}, {"CHARACTER VARYING(8)", 200}, {"TEXT", 200}, {"CLOB", 200}, {"STRING", 200},
        {"DATETIME", 135}, {"TIMESTAMP", 135}, {"DATE", 7}, {"REAL", 5}, {"FLOAT", 5},
        {"DOUBLE PRECISION", 5}, {"DECIMAL(10,2)", 131}, {"NUMERIC", 131}, {"MONEY", 131},
        {"NUMBER(8)", 131}, {"BLOB", 205}, {"JSON", 200},
    };
    const int n = static_cast<int>(std::size(cases));
    std::string create = "CREATE TABLE t(";
    for (int i = 0; i < n; ++i) create += "c" + std::to_string(i) + " " + cases[i].first + ", ";
    build(create + "untyped); INSERT INTO t(c0) VALUES (1); CREATE VIEW v AS SELECT c1 FROM t;");

    SqliteRecordset rs = open("SELECT * FROM t");
    ASSERT_EQ(rs.Fields().Count(), n + 1);
    for (int i = 0; i < n; ++i) EXPECT_EQ(rs.Fields()[i].Type(), cases[i].second) << cases[i].first;
    EXPECT_EQ(rs.Fields()[n].Type(), 12);  // no declared type and a Null in the first row
    EXPECT_EQ(open("SELECT c1 FROM v").Fields()[0].Type(), 3);  // a view passes the declared type on

    // Expressions have no declared type: the first row's storage class tells, Variant without rows.
    const std::string query = "SELECT 1 AS i, 1.5 AS r, 'x' AS t, x'00' AS b, NULL AS n";
    SqliteRecordset exprs = open(query), none = open(query + " WHERE 0");
    const int expected[] = {20, 5, 200, 205, 12};
    ASSERT_EQ(exprs.Fields().Count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(exprs.Fields()[i].Type(), expected[i]) << i;
        EXPECT_EQ(none.Fields()[i].Type(), 12) << i;
    }
    EXPECT_EQ(exprs.Fields()[2].Name(), "t");
}

TEST_F(SqliteRecordsetTest, ValuesKeepTheirStorageClassAndAppendTheSameText) {
    build(R"(CREATE TABLE t(i INTEGER, big BIGINT, r REAL, s VARCHAR(9), b BLOB, f BOOLEAN,
                           d DATE, ts TIMESTAMP, dec DECIMAL(9,2), x);
             INSERT INTO t VALUES (7, 8, 0.1 + 0.2, 'a"b', x'00FFa0', 1, '2003-12-25',
                                   '2003-12-25T13:05:07.250Z', 12.5, 3.0);
             INSERT INTO t VALUES (1099511627776, -1, 1e300, '', x'', 0, 'soon', '2003-12-25 13:05', 12, 'x');
             INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, 2, 20031225, NULL, NULL, NULL);)");
    const Variant null = Variant::null();
    const std::vector<std::vector<Variant>> rows = {
        {Variant(int32_t{7}), Variant(int64_t{8}), Variant(0.1 + 0.2), Variant("a\"b"), Variant("00FFA0"),
         Variant(true), Variant(DateTime{2003, 12, 25, 0, 0, 0}), Variant(DateTime{2003, 12, 25, 13, 5, 7}),
         Variant(12.5), Variant(3.0)},
        // Too wide for Int32; empty text is no Null; "soon" is no date and stays text.
        {Variant(int64_t{1099511627776}), Variant(int64_t{-1}), Variant(1e300), Variant(""), Variant(""),
         Variant(false), Variant("soon"), Variant(DateTime{2003, 12, 25, 13, 5, 0}), Variant(int64_t{12}),
         Variant("x")},
        // 2 is neither 0 nor 1: no Boolean.
        {null, null, null, null, null, Variant(int64_t{2}), Variant(int64_t{20031225}), null, null, null},
    };
    SqliteRecordset rs = open("SELECT * FROM t");
    for (size_t r = 0; r < rows.size(); ++r, rs.MoveNext())
        for (int i = 0; i < 10; ++i) {
            Field f = rs.Fields()[i];
            const Variant v = f.Value();
            std::string out = ">";
            EXPECT_EQ(v, rows[r][i]) << r << "," << i;
            EXPECT_EQ(f.AppendValueText(out), !v.isNull()) << r << "," << i;
            EXPECT_EQ(out, ">" + v.toText()) << r << "," << i;
            EXPECT_EQ(f.IsBlank(), v.isBlank()) << r << "," << i;
        }
    EXPECT_TRUE(rs.Eof());

    // The shortest text that reads back as the same double, not SQLite's.
    rs.MoveFirst();
    std::string out;
    rs.Fields()[2].AppendValueText(out);
    rs.Fields()[7].AppendValueText(out += "|");
    EXPECT_EQ(out, "0.30000000000000004|2003-12-25 13:05:07");
}

TEST_F(SqliteRecordsetTest, CountsMovesAndStopsAtTheEnd) {
    build(R"(CREATE TABLE t(n INTEGER); CREATE TABLE u(a INTEGER, b TEXT, c REAL);
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
    EXPECT_EQ(past.description(), standardErrorText(3021));
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].Value(); }).number(), 3021);
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].IsBlank(); }).number(), 3021);

    rs.MoveFirst();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1}));
    rs.MoveNext();
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{5000}));
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    rs.MoveLast();  // from past the end: starts over and walks to the last row
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{5000}));

    // An empty result is at both ends, and moving to either end keeps it there.
    SqliteRecordset empty = open("SELECT n FROM t WHERE n > 5000");
    EXPECT_TRUE(empty.Bof() && empty.Eof());
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_NO_THROW(empty.MoveFirst());
    EXPECT_NO_THROW(empty.MoveLast());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(errorOf([&] { empty.MoveNext(); }).number(), 3021);

    // PRAGMA cannot be a subquery: it is counted by stepping.
    SqliteRecordset pragma = open("PRAGMA table_info(u)");
    EXPECT_EQ(pragma.RecordCount(), 3);
    pragma.MoveLast();
    EXPECT_EQ(pragma.Fields()[1].Value(), Variant("c"));
}

TEST_F(SqliteRecordsetTest, BadQueriesAndFilesFailWithSqliteErrors) {
    build("CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);");
    Error e = errorOf([&] { open("SELECT * FROM missing"); });
    EXPECT_EQ(e.number(), -2147467259);
    EXPECT_EQ(e.source(), "SQLite");
    EXPECT_EQ(e.description(), "SQLite error 1: no such table: missing");

    // A failure on a later row leaves the cursor at the end.
    SqliteRecordset rs = open("SELECT CASE WHEN n = 3 THEN abs(-9223372036854775807 - 1) ELSE n END FROM t");
    rs.MoveNext();
    Error late = errorOf([&] { rs.MoveNext(); });
    EXPECT_EQ(late.number(), kSqliteErrorNumber);
    EXPECT_NE(late.description().find("integer overflow"), std::string::npos) << late.description();
    EXPECT_TRUE(rs.Eof());

    // Only one read-only statement; a trailing semicolon and comment are no second one.
    for (const char* query : {"", "  -- nothing\n", "SELECT 1; SELECT 2", "INSERT INTO t VALUES (1)", "BEGIN"}) {
        Error refused = errorOf([&] { open(query); });
        EXPECT_EQ(refused.number(), kSqliteErrorNumber) << query;
        EXPECT_FALSE(refused.description().empty());
    }
    EXPECT_NO_THROW(open("SELECT 1; -- done"));

    // A missing file is not created; a foreign one is no database.
    const std::string missing = dir_.file("missing.db");
    Error none = errorOf([&] { SqliteRecordset(missing, "SELECT 1"); });
    EXPECT_EQ(none.number(), kSqliteErrorNumber);
    EXPECT_NE(none.description().find("SQLite error 14"), std::string::npos) << none.description();
    EXPECT_NE(none.description().find(missing), std::string::npos) << none.description();
    EXPECT_FALSE(std::filesystem::exists(missing));
    const std::string text = dir_.file("notes.txt");
    testing_support::writeFile(text, "this is no database, just some text to fill a page header.......\n");
    Error notDb = errorOf([&] { SqliteRecordset(text, "SELECT * FROM sqlite_master"); });
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
