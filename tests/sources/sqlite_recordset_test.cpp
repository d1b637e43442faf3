// SqliteRecordset: type codes, values, one run of the query per pass in one snapshot, the errors of bad queries.
#include "varnelo/sqlite_recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/test_support.h"
#include "varnelo/error.h"

namespace varnelo {
namespace {

using testing_support::errorOf;

// A scratch database holding t(n) = 1, 2, 3, with a connection of the test's own.
class SqliteRecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(dbPath_.c_str(), &db_), SQLITE_OK);
        ASSERT_EQ(exec("CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);"), SQLITE_OK);
    }
    void TearDown() override { EXPECT_EQ(sqlite3_close(db_), SQLITE_OK); }
    int exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
    SqliteRecordset open(const std::string& query) { return SqliteRecordset(dbPath_, query); }
    static int64_t walk(Recordset& rs) {
        int64_t rows = 0;
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) ++rows;
        return rows;
    }

    testing_support::TempDir dir_;
    std::string dbPath_ = dir_.file("test.db");
    sqlite3* db_ = nullptr;
};

// Declared types map to type codes; without one the first row's storage class tells, Variant without a row or for a
// Null.
TEST_F(SqliteRecordsetTest, TypeCodesFromDeclaredTypesOrTheFirstRow) {
    const std::pair<const char*, int> cases[] = {
        {"BOOLEAN", 11}, {"INT", 3}, {"UNSIGNED BIG INT", 20}, {"NATIONAL CHARACTER(3)", 202}, {"character( 10 )", 129},
        {"CHARACTER VARYING(8)", 200}, {"DATETIME", 135}, {"TIMESTAMP", 135}, {"DATE", 7}, {"DOUBLE PRECISION", 5},
        {"DECIMAL(10,2)", 131}, {"MONEY", 131}, {"BLOB", 205}, {"JSON", 200}};
    const int n = static_cast<int>(std::size(cases));
    std::string create = "CREATE TABLE d(";
    for (int i = 0; i < n; ++i) create += "c" + std::to_string(i) + " " + cases[i].first + ", ";
    ASSERT_EQ(exec(create + "untyped); INSERT INTO d(c0) VALUES (1);"), SQLITE_OK);
    SqliteRecordset rs = open("SELECT * FROM d");
    for (int i = 0; i < n; ++i) EXPECT_EQ(rs.Fields()[i].Type(), cases[i].second) << cases[i].first;
    EXPECT_EQ(rs.Fields()[n].Type(), 12);
    const std::string query = "SELECT 1 AS i, 1.5 AS r, 'x' AS t, x'00' AS b, NULL AS n";
    SqliteRecordset exprs = open(query), none = open(query + " WHERE 0");
    std::vector<int> types;
    for (int i = 0; i < 5; ++i) types.insert(types.end(), {exprs.Fields()[i].Type(), none.Fields()[i].Type()});
    EXPECT_EQ(types, (std::vector<int>{20, 12, 5, 12, 200, 12, 205, 12, 12, 12}));
}

// Every read of a value agrees; integers too wide for Int32 stay Int64; only 0 and 1 are Booleans; text
// that is no date stays text; empty text and blobs are no Null.
TEST_F(SqliteRecordsetTest, ValuesKeepTheirStorageClassAndEveryReadAgrees) {
    ASSERT_EQ(exec(R"(CREATE TABLE v(i INTEGER, r REAL, s VARCHAR(9), b BLOB, f BOOLEAN, d DATE, ts TIMESTAMP, x);
        INSERT INTO v VALUES (7, 0.1 + 0.2, 'a"b', x'00FFa0', 1, '2003-12-25', '2024-03-05T14:30:00', 3.0);
        INSERT INTO v VALUES (1099511627776, 1e300, '', x'', 2, 'soon', '2003-12-25 13:05', NULL);)"), SQLITE_OK);
    const std::vector<std::vector<Variant>> rows = {
        {Variant(int32_t{7}), Variant(0.1 + 0.2), Variant("a\"b"), Variant(Bytes{std::string("\x00\xFF\xA0", 3)}),
         Variant(true), Variant(DateTime{2003, 12, 25}), Variant(DateTime{2024, 3, 5, 14, 30, 0}),
         Variant(3.0)},
        {Variant(int64_t{1099511627776}), Variant(1e300), Variant(""), Variant(Bytes{}), Variant(int64_t{2}),
         Variant("soon"), Variant(DateTime{2003, 12, 25, 13, 5, 0}), Variant::null()}};
    SqliteRecordset rs = open("SELECT * FROM v");
    for (size_t r = 0; r < rows.size(); ++r, rs.MoveNext())
        for (int i = 0; i < 8; ++i) {
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(i));
            Field f = rs.Fields()[i];
            const Variant v = f.Value();
            FieldValue view;
            rs.readField(i, view);
            std::string viewText, text;
            view.appendText(viewText);
            EXPECT_EQ(v, rows[r][i]);
            EXPECT_EQ(std::tuple(view.kind, f.AppendValueText(text), f.IsBlank()),
                      std::tuple(v.kind(), !v.isNull(), v.isBlank()));
            EXPECT_EQ(viewText + "|" + text, v.toText() + "|" + v.toText());
        }
}

// Past the end: 3021; MoveLast from the middle or the end finds the last row; an empty result is at both ends;
// PRAGMA is counted by stepping.
TEST_F(SqliteRecordsetTest, CountsMovesAndStopsAtTheEnd) {
    SqliteRecordset rs = open("SELECT n FROM t ORDER BY n;  -- all of them\n");
    EXPECT_EQ(rs.RecordCount(), 3);
    int32_t rows = 0;
    for (; !rs.Eof(); rs.MoveNext()) EXPECT_EQ(rs.Fields()[0].Value(), Variant(++rows));
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }).description(), standardErrorText(3021));
    for (int from : {0, 1}) {
        rs.MoveFirst();
        if (from) rs.MoveNext();
        rs.MoveLast();
        EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{3}));
        rs.MoveNext();
    }
    SqliteRecordset empty = open("SELECT n FROM t WHERE n > 3"), pragma = open("PRAGMA table_info(t)");
    empty.MoveLast();
    EXPECT_TRUE(empty.Bof() && empty.Eof());
    EXPECT_EQ(pragma.RecordCount(), 1);
    EXPECT_EQ(pragma.Fields()[1].Value(), Variant("n"));
}

// tick(x) counts the rows a run of the query looks at: a pass runs it once and counts its rows; a query
// that varies from run to run counts what its last pass gave.
TEST_F(SqliteRecordsetTest, APassRunsTheQueryOnce) {
    int calls = 0;
    auto tick = [](sqlite3_context* ctx, int, sqlite3_value** args) {
        ++*static_cast<int*>(sqlite3_user_data(ctx));
        sqlite3_result_value(ctx, args[0]);
    };
    ASSERT_EQ(sqlite3_create_function(db_, "tick", 1, SQLITE_UTF8, &calls, tick, nullptr, nullptr), SQLITE_OK);
    SqliteRecordset rs(db_, "SELECT n FROM t WHERE tick(n)");
    EXPECT_EQ(walk(rs) + rs.RecordCount(), 6);
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(exec("INSERT INTO t SELECT n + 3 FROM t;"), SQLITE_OK);
    for (int run = 0; run < 20; ++run) {
        SqliteRecordset varying(db_, "SELECT n FROM t ORDER BY random() LIMIT abs(random() % 6) + 1");
        const int64_t rows = walk(varying);
        EXPECT_EQ(varying.RecordCount(), rows);
        EXPECT_NO_THROW(varying.MoveLast());  // runs again and may find fewer rows, but never fails
    }
}

// Under a rollback journal a writer waits for the pass to end; under WAL the count and the walk see one snapshot.
TEST_F(SqliteRecordsetTest, OnePassReadsOneSnapshot) {
    {
        SqliteRecordset rs = open("SELECT n FROM t");
        EXPECT_EQ(rs.RecordCount(), 3);
        ASSERT_EQ(exec("BEGIN; INSERT INTO t VALUES (4)"), SQLITE_OK);
        EXPECT_EQ(exec("COMMIT"), SQLITE_BUSY);
        EXPECT_EQ(walk(rs), 3);
        EXPECT_EQ(exec("COMMIT"), SQLITE_OK) << "the walk's end ends the read transaction";
    }
    ASSERT_EQ(exec("PRAGMA journal_mode = WAL"), SQLITE_OK);
    SqliteRecordset rs = open("SELECT n FROM t");
    EXPECT_EQ(rs.RecordCount(), 4);
    ASSERT_EQ(exec("INSERT INTO t VALUES (5)"), SQLITE_OK);
    EXPECT_EQ(walk(rs), 4) << "in the count's snapshot";
    EXPECT_EQ(walk(rs), 5) << "the next pass sees the new row";
}

// Errors name SQLite and the file; a failure on a later row leaves the cursor at the end; only one
// read-only statement is taken; a missing file is not created.
TEST_F(SqliteRecordsetTest, BadQueriesAndFilesFailWithSqliteErrors) {
    Error e = errorOf([&] { open("SELECT * FROM missing"); });
    EXPECT_EQ(std::tuple(e.number(), e.source(), e.description()),
              std::tuple(kSqliteErrorNumber, "SQLite", "SQLite error 1: no such table: missing (" + dbPath_ + ")"));
    SqliteRecordset rs = open("SELECT CASE WHEN n = 3 THEN abs(-9223372036854775807 - 1) ELSE n END FROM t");
    rs.MoveNext();
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }).description(), "SQLite error 1: integer overflow (" + dbPath_ + ")");
    EXPECT_TRUE(rs.Eof());
    for (const char* query : {"  -- nothing\n", "SELECT 1; SELECT 2", "INSERT INTO t VALUES (1)", "BEGIN"})
        EXPECT_EQ(errorOf([&] { open(query); }).number(), kSqliteErrorNumber) << query;
    EXPECT_NO_THROW(open("SELECT 1; -- done"));
    const std::string missing = dir_.file("missing.db");
    EXPECT_NE(errorOf([&] { SqliteRecordset(missing, "SELECT 1"); }).description().find("error 14"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// A borrowed connection's files are all the files read; a pass opens a transaction and ends it, even left mid-walk,
// but never ends the caller's own.
TEST_F(SqliteRecordsetTest, ABorrowedConnectionKeepsItsOwnTransactionAndFiles) {
    const std::string other = dir_.file("other.db");
    ASSERT_EQ(exec("ATTACH '" + other + "' AS o; ATTACH ':memory:' AS scratch; CREATE TEMP TABLE k(x);"), SQLITE_OK);
    {
        SqliteRecordset rs(db_, "SELECT n FROM t");
        EXPECT_EQ(rs.filesRead(), (std::vector<std::string>{dbPath_, other}));
        EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1}));
        EXPECT_EQ(sqlite3_get_autocommit(db_), 0);
    }
    EXPECT_NE(sqlite3_get_autocommit(db_), 0);
    ASSERT_EQ(exec("BEGIN"), SQLITE_OK);
    {
        SqliteRecordset rs(db_, "SELECT n FROM t");
        EXPECT_EQ(rs.RecordCount() + walk(rs), 6);
        rs.MoveFirst();
    }
    EXPECT_EQ(sqlite3_get_autocommit(db_), 0);
    EXPECT_EQ(exec("COMMIT"), SQLITE_OK);
}

}  // namespace
}  // namespace varnelo
