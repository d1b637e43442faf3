#include "varnelo/sqlite_recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <set>
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

TEST_F(SqliteRecordsetTest, ValuesKeepTheirStorageClassAndEveryReadAgrees) {
    build(R"(CREATE TABLE t(i INTEGER, big BIGINT, r REAL, s VARCHAR(9), b BLOB, f BOOLEAN,
                           d DATE, ts TIMESTAMP, dec DECIMAL(9,2), x);
             INSERT INTO t VALUES (7, 8, 0.1 + 0.2, 'a"b', x'00FFa0', 1, '2003-12-25',
                                   '2003-12-25T13:05:07.250Z', 12.5, 3.0);
             INSERT INTO t VALUES (1099511627776, -1, 1e300, '', x'', 0, 'soon',
                                   '2024-03-05T14:30:00.123+05:30', 12, 'x');
             INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, 2, 20031225, '2003-12-25 13:05', NULL, NULL);)");
    const Variant null = Variant::null();
    DateTime utc{2003, 12, 25, 13, 5, 7}, east{2024, 3, 5, 14, 30, 0};
    utc.nanosecond = 250'000'000, utc.fractionDigits = 3, utc.zone = DateTime::Zone::Utc;
    east.nanosecond = 123'000'000, east.fractionDigits = 3, east.zone = DateTime::Zone::Offset;
    east.offsetMinutes = 330;
    const std::vector<std::vector<Variant>> rows = {
        {Variant(int32_t{7}), Variant(int64_t{8}), Variant(0.1 + 0.2), Variant("a\"b"),
         Variant(Bytes{std::string("\x00\xFF\xA0", 3)}), Variant(true), Variant(DateTime{2003, 12, 25}),
         Variant(utc), Variant(12.5), Variant(3.0)},
        // Too wide for Int32; empty text and an empty blob are no Null; "soon" is no date and stays text.
        {Variant(int64_t{1099511627776}), Variant(int64_t{-1}), Variant(1e300), Variant(""), Variant(Bytes{}),
         Variant(false), Variant("soon"), Variant(east), Variant(int64_t{12}), Variant("x")},
        // 2 is neither 0 nor 1: no Boolean.
        {null, null, null, null, null, Variant(int64_t{2}), Variant(int64_t{20031225}),
         Variant(DateTime{2003, 12, 25, 13, 5, 0}), null, null},
    };
    SqliteRecordset rs = open("SELECT * FROM t");
    for (size_t r = 0; r < rows.size(); ++r, rs.MoveNext())
        for (int i = 0; i < 10; ++i) {
            Field f = rs.Fields()[i];
            const Variant v = f.Value();
            EXPECT_EQ(v, rows[r][i]) << r << "," << i;
            // The view, the appended text and the blank test say what the Variant says.
            FieldValue view;
            rs.readField(i, view);
            std::string viewText = ">", text = ">";
            view.appendText(viewText);
            EXPECT_EQ(view.kind, v.kind()) << r << "," << i;
            EXPECT_EQ(f.AppendValueText(text), !v.isNull()) << r << "," << i;
            EXPECT_EQ(text, ">" + v.toText()) << r << "," << i;
            EXPECT_EQ(viewText, text) << r << "," << i;
            EXPECT_EQ(f.IsBlank(), v.isBlank()) << r << "," << i;
        }
    EXPECT_TRUE(rs.Eof());

    // Blobs read as hexadecimal text; doubles as the shortest text that reads back the same.
    rs.MoveFirst();
    std::string out;
    for (int i : {2, 4, 7}) rs.Fields()[i].AppendValueText(out += "|");
    EXPECT_EQ(out, "|0.30000000000000004|00FFA0|2003-12-25 13:05:07.250Z");
}

TEST_F(SqliteRecordsetTest, CountsMovesAndStopsAtTheEnd) {
    build(R"(CREATE TABLE t(n INTEGER); CREATE TABLE u(a INTEGER, b TEXT, c REAL);
             WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 5000)
             INSERT INTO t SELECT n FROM s;)");
    const std::string query = "SELECT n FROM t ORDER BY n;  -- all of them\n";
    SqliteRecordset rs = open(query);
    EXPECT_EQ(rs.Source(), query);
    EXPECT_EQ(rs.RecordCount(), 5000);
    int64_t rows = 0;
    for (; !rs.Eof(); rs.MoveNext()) EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t(++rows)));
    EXPECT_EQ(rows, 5000);
    Error past = errorOf([&] { rs.MoveNext(); });
    EXPECT_EQ(past.number(), 3021);
    EXPECT_EQ(past.description(), standardErrorText(3021));
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].Value(); }).number(), 3021);

    rs.MoveFirst();
    rs.MoveNext();
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{5000}));
    rs.MoveNext();
    rs.MoveLast();  // from past the end: starts over and walks to the last row
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{5000}));

    // An empty result is at both ends, and moving to either end keeps it there.
    SqliteRecordset empty = open("SELECT n FROM t WHERE n > 5000");
    EXPECT_TRUE(empty.Bof() && empty.Eof());
    EXPECT_EQ(empty.RecordCount(), 0);
    empty.MoveFirst();
    empty.MoveLast();
    EXPECT_EQ(errorOf([&] { empty.MoveNext(); }).number(), 3021);

    // PRAGMA cannot be a subquery: it is counted by stepping.
    SqliteRecordset pragma = open("PRAGMA table_info(u)");
    EXPECT_EQ(pragma.RecordCount(), 3);
    pragma.MoveLast();
    EXPECT_EQ(pragma.Fields()[1].Value(), Variant("c"));
}

// A connection of the test's own with a function tick(x) that counts its
// calls and returns x: used in a WHERE clause it is called once for every
// row a run of the query looks at, so calls / rows is the number of runs.
class SqliteRunsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_EQ(sqlite3_create_function(db_, "tick", 1, SQLITE_UTF8, &calls_, &tick, nullptr, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db_, "CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);", nullptr,
                               nullptr, nullptr), SQLITE_OK);
    }
    void TearDown() override { EXPECT_EQ(sqlite3_close(db_), SQLITE_OK); }

    static void tick(sqlite3_context* ctx, int, sqlite3_value** args) {
        ++*static_cast<int*>(sqlite3_user_data(ctx));
        sqlite3_result_value(ctx, args[0]);
    }
    // The row loop of an export: first row to Eof, reading every field.
    static int64_t walk(Recordset& rs) {
        int64_t rows = 0;
        FieldValue v;
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext(), ++rows)
            for (int i = 0; i < rs.fieldCount(); ++i) rs.readField(i, v);
        return rows;
    }

    sqlite3* db_ = nullptr;
    int calls_ = 0;
};

TEST_F(SqliteRunsTest, AnExportRunsTheQueryOnce) {
    SqliteRecordset rs(db_, "SELECT n, n * 2 AS twice FROM t WHERE tick(n)");
    EXPECT_EQ(rs.fieldType(0), 3);  // declared: nothing runs
    EXPECT_EQ(calls_, 0);
    EXPECT_EQ(rs.fieldType(1), 20);  // an expression: the first row tells, and the walk goes on from it
    EXPECT_EQ(walk(rs), 3);
    rs.MoveFirst();
    EXPECT_EQ(calls_, 3) << "the walk and the final MoveFirst run the query once";
    EXPECT_EQ(walk(rs), 3);
    EXPECT_EQ(calls_, 6) << "a second export runs it a second time";

    // A count asked before a walk is the only other run.
    rs.MoveFirst();
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(walk(rs), 3);
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(calls_, 12);
}

TEST_F(SqliteRunsTest, TheFirstRowIsFetchedWhenSomethingNeedsIt) {
    using Need = std::function<void(SqliteRecordset&)>;
    const std::pair<const char*, Need> needs[] = {
        {"Eof", [](SqliteRecordset& rs) { EXPECT_FALSE(rs.Eof()); }},
        {"Bof", [](SqliteRecordset& rs) { EXPECT_FALSE(rs.Bof()); }},
        {"Value", [](SqliteRecordset& rs) { EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1})); }},
        {"readField", [](SqliteRecordset& rs) { FieldValue v; rs.readField(1, v); EXPECT_EQ(v.integer, 2); }},
        {"expression's Type", [](SqliteRecordset& rs) { EXPECT_EQ(rs.fieldType(1), 20); }},
    };
    for (const auto& [what, need] : needs) {
        calls_ = 0;
        SqliteRecordset rs(db_, "SELECT n, n * 2 AS twice FROM t WHERE tick(n)");
        rs.MoveFirst();
        EXPECT_EQ(calls_, 0) << what;
        need(rs);
        EXPECT_EQ(calls_, 1) << what;
        rs.MoveFirst();  // on the first row, not moved: nothing runs again
        EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1})) << what;
        EXPECT_EQ(calls_, 1) << what;
    }
    // MoveNext from a pending first row lands on the second.
    SqliteRecordset rs(db_, "SELECT n FROM t WHERE tick(n)");
    rs.MoveNext();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{2}));
}

TEST_F(SqliteRunsTest, AVaryingQueryCountsTheRowsItGave) {
    ASSERT_EQ(sqlite3_exec(db_, "INSERT INTO t SELECT n + 3 FROM t; INSERT INTO t SELECT n + 6 FROM t;"
                                "INSERT INTO t SELECT n + 12 FROM t;", nullptr, nullptr, nullptr), SQLITE_OK);
    std::set<int64_t> sizes;
    for (int run = 0; run < 40; ++run) {
        SqliteRecordset rs(db_, "SELECT n FROM t ORDER BY random() LIMIT abs(random() % 20) + 1");
        if (run % 2) rs.RecordCount();  // a count of another run, taken first
        const int64_t rows = walk(rs);
        EXPECT_EQ(rs.RecordCount(), rows);
        sizes.insert(rows);
        EXPECT_NO_THROW(rs.MoveLast());  // runs again, so it may find fewer rows, but never fails
    }
    EXPECT_GT(sizes.size(), 1u) << "the query did vary";
}

// Two connections on one file: the recordset's and a writer's.
class SqliteSnapshotTest : public SqliteRecordsetTest {
protected:
    void SetUp() override {
        build("CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);");
        ASSERT_EQ(sqlite3_open(dbPath_.c_str(), &writer_), SQLITE_OK);
    }
    void TearDown() override { EXPECT_EQ(sqlite3_close(writer_), SQLITE_OK); }
    int write(const char* sql) { return sqlite3_exec(writer_, sql, nullptr, nullptr, nullptr); }

    sqlite3* writer_ = nullptr;
};

TEST_F(SqliteSnapshotTest, UnderWalTheCountAndTheWalkSeeOneSnapshot) {
    ASSERT_EQ(write("PRAGMA journal_mode = WAL"), SQLITE_OK);
    SqliteRecordset rs(dbPath_, "SELECT n FROM t");
    EXPECT_EQ(rs.RecordCount(), 3);
    ASSERT_EQ(write("INSERT INTO t VALUES (4)"), SQLITE_OK);  // committed between count and walk
    int64_t rows = 0;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) ++rows;
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.MoveFirst();  // the next pass sees the new row
    EXPECT_EQ(rs.RecordCount(), 4);
}

TEST_F(SqliteSnapshotTest, UnderARollbackJournalAWriterWaitsForThePassToEnd) {
    {
        SqliteRecordset rs(dbPath_, "SELECT n FROM t");
        EXPECT_EQ(rs.RecordCount(), 3);
        ASSERT_EQ(write("BEGIN; INSERT INTO t VALUES (4)"), SQLITE_OK);
        EXPECT_EQ(write("COMMIT"), SQLITE_BUSY);  // the reader holds its snapshot
        int64_t rows = 0;
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) ++rows;
        EXPECT_EQ(rows, 3);
        EXPECT_EQ(write("COMMIT"), SQLITE_OK) << "the walk's end ends the read transaction";

        // Left in the middle of a pass, the recordset's end ends it too.
        rs.MoveFirst();
        EXPECT_FALSE(rs.Eof());
        ASSERT_EQ(write("BEGIN; INSERT INTO t VALUES (5)"), SQLITE_OK);
        EXPECT_EQ(write("COMMIT"), SQLITE_BUSY);
    }
    EXPECT_EQ(write("COMMIT"), SQLITE_OK);
}

TEST_F(SqliteRecordsetTest, BadQueriesAndFilesFailWithSqliteErrors) {
    build("CREATE TABLE t(n INTEGER); INSERT INTO t VALUES (1), (2), (3);");
    Error e = errorOf([&] { open("SELECT * FROM missing"); });
    EXPECT_EQ(e.number(), -2147467259);
    EXPECT_EQ(e.source(), "SQLite");
    EXPECT_EQ(e.description(), "SQLite error 1: no such table: missing (" + dbPath_ + ")");

    // A failure on a later row leaves the cursor at the end.
    SqliteRecordset rs = open("SELECT CASE WHEN n = 3 THEN abs(-9223372036854775807 - 1) ELSE n END FROM t");
    rs.MoveNext();
    Error late = errorOf([&] { rs.MoveNext(); });
    EXPECT_EQ(late.number(), kSqliteErrorNumber);
    EXPECT_EQ(late.description(), "SQLite error 1: integer overflow (" + dbPath_ + ")");
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

TEST_F(SqliteRecordsetTest, ABorrowedConnectionKeepsItsOwnTransactionAndFiles) {
    build("CREATE TABLE t(s TEXT); INSERT INTO t VALUES ('a'), ('b');");
    const std::string other = dir_.file("other.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    const auto exec = [&](const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
    ASSERT_EQ(exec("ATTACH '" + dbPath_ + "' AS src; ATTACH ':memory:' AS scratch; CREATE TEMP TABLE k(x);"),
              SQLITE_OK);
    {
        SqliteRecordset rs(db, "SELECT s FROM src.t");
        EXPECT_EQ(rs.filesRead(), (std::vector<std::string>{other, dbPath_}));
        EXPECT_EQ(rs.Fields()[0].Value(), Variant("a"));
        EXPECT_EQ(sqlite3_get_autocommit(db), 0);  // inside the pass's transaction
    }
    // Left mid-walk: its transaction ended, no statement remains.
    EXPECT_NE(sqlite3_get_autocommit(db), 0);
    EXPECT_EQ(sqlite3_next_stmt(db, nullptr), nullptr);

    // The caller's own transaction is used, never ended.
    ASSERT_EQ(exec("BEGIN"), SQLITE_OK);
    {
        SqliteRecordset rs(db, "SELECT s FROM src.t");
        EXPECT_EQ(rs.RecordCount(), 2);
        while (!rs.Eof()) rs.MoveNext();
        rs.MoveFirst();
    }
    EXPECT_EQ(sqlite3_get_autocommit(db), 0);
    EXPECT_EQ(exec("DELETE FROM src.t; COMMIT"), SQLITE_OK);
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

}  // namespace
}  // namespace varnelo
