// OdbcRecordset through real drivers, PostgreSQL's against the test program's server and SQLite's against a file,
// gives the values the native source gives for the same query.
#include "varnelo/odbc_recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <tuple>

#include "db_sources/db_fixture.h"
#include "support/test_support.h"
#include "varnelo/pg_recordset.h"
#include "varnelo/sqlite_recordset.h"

namespace varnelo {
namespace {

using testing_support::errorOf;

// Walks both sources side by side, comparing every value with `same`.
template <class Same>
void expectSameRows(Recordset& native, Recordset& odbc, Same same) {
    ASSERT_EQ(odbc.fieldCount(), native.fieldCount());
    for (int j = 0; j < native.fieldCount(); ++j) EXPECT_EQ(odbc.fieldName(j), native.fieldName(j));
    int64_t row = 0;
    for (; !native.Eof(); native.MoveNext(), odbc.MoveNext()) {
        ++row;
        ASSERT_FALSE(odbc.Eof()) << "ODBC ended before row " << row;
        for (int j = 0; j < native.fieldCount(); ++j) {
            const Variant n = native.Fields()[j].Value(), o = odbc.Fields()[j].Value();
            EXPECT_TRUE(same(n, o)) << "row " << row << ", column " << native.fieldName(j) << ": native "
                                    << n.toText() << " (kind " << static_cast<int>(n.kind()) << "), ODBC "
                                    << o.toText() << " (kind " << static_cast<int>(o.kind()) << ")";
        }
    }
    EXPECT_TRUE(odbc.Eof());
    EXPECT_GT(row, 0);
}

// Through the PostgreSQL driver the values are the native source's very Variants, but for what the driver
// changes (a zone's offset, a year BC, 'infinity', a uuid's case): column tz, row 2 and column u.
TEST(OdbcRecordset, PostgresDriverGivesTheNativeValues) {
    std::string why;
    testing_support::PgServer* server = db_test::pgServer(why);
    if (!server) GTEST_SKIP() << why;
    if (!db_test::OdbcDrivers::drivers().hasPostgres()) GTEST_SKIP() << "no PostgreSQL ODBC driver (odbc-postgresql)";
    const std::string query = "SELECT id, b, i2, i4, i8, n, f4, f8, d, ts, tx, vc, bc, by, j FROM types WHERE id <> 2 "
                              "ORDER BY id";
    // BoolsAsChar=0: booleans as SQL_BIT; UseDeclareFetch: the driver streams.
    const std::string conn = "Driver={PostgreSQL Unicode};Servername=" + server->socketDir() +
                             ";Database=postgres;UID=postgres;BoolsAsChar=0;UseDeclareFetch=1;Fetch=2";
    PgRecordset native(server->conninfo(), query);
    OdbcRecordset odbc(conn, query);
    for (int j = 0; j < native.fieldCount(); ++j) {
        const int n = native.fieldType(j), o = odbc.fieldType(j);
        // Text may come as wide text (202) where the server says text (200).
        EXPECT_TRUE(n == o || (n == 200 && o == 202)) << native.fieldName(j) << ": " << n << " vs " << o;
    }
    expectSameRows(native, odbc, std::equal_to<Variant>());
    EXPECT_EQ(odbc.RecordCount(), 3);
    odbc.MoveFirst();  // the statement runs again
    EXPECT_EQ(odbc.Fields()[0].Value().asInt32(), 1);
    odbc.MoveLast();
    EXPECT_EQ(odbc.Fields()[0].Value().asInt32(), 4);
}

// Through the SQLite driver the same text and NULLs as the native source ('' is none); a value longer
// than its VARCHAR(3) and one of 100,000 characters come whole.
TEST(OdbcRecordset, SqliteDriverGivesTheNativeValues) {
    const db_test::OdbcDrivers& drivers_ = db_test::OdbcDrivers::drivers();
    if (!drivers_.hasSqlite()) GTEST_SKIP() << "no SQLite ODBC driver (Debian package: libsqliteodbc)";
    const std::string path = drivers_.dir().file("values.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const char* sql = R"SQL(
        CREATE TABLE v (id INTEGER, flag BOOLEAN, big BIGINT, price DECIMAL(12,2), f DOUBLE, day DATE,
                        stamp DATETIME, name TEXT, code VARCHAR(3), data BLOB);
        INSERT INTO v VALUES (1, 1, 9223372036854775807, 12.5, 0.1, '2024-02-29', '2003-12-25 13:05:07.12',
                              'Zoë ''x'' 大阪 😀', 'longer than three', x'00ff41');
        INSERT INTO v VALUES (2, 0, -9223372036854775808, 99999999.99, -1e300, '1999-12-31',
                              '2003-12-25 13:05:07+05:30', '', '', x'');
        INSERT INTO v VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
        INSERT INTO v VALUES (4, 1, 7, 3, 2.5, 'not a date', '2000-01-01', printf('%.*c', 100000, 'x'), 'a', x'0a');
    )SQL";
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);

    const std::string query = "SELECT * FROM v ORDER BY id";
    SqliteRecordset native(path, query);
    OdbcRecordset odbc("Driver=SQLite3;Database=" + path + ";StepAPI=1", query);
    expectSameRows(native, odbc, [](const Variant& n, const Variant& o) {
        return n.isNull() == o.isNull() && n.toText() == o.toText();
    });
    EXPECT_EQ(odbc.RecordCount(), 4);
}

// Failures carry the driver's diagnostic state and message; a statement that gives no rows is refused before it runs.
TEST(OdbcRecordset, ErrorsCarryTheDiagnosticStateAndMessage) {
    const db_test::OdbcDrivers& drivers_ = db_test::OdbcDrivers::drivers();
    const std::string empty = "Driver=SQLite3;Database=" + drivers_.dir().file("empty.db");
    const std::tuple<std::string, const char*, const char*, const char*> cases[] = {
        {"DSN=no_such_source", "SELECT 1", "ODBC error IM002", "not found"},
        {"Driver=No Such Driver;Database=x", "SELECT 1", "ODBC error ", "Can't open lib 'No Such Driver'"},
        {empty, "SELECT * FROM missing", "ODBC error ", "no such table: missing"},
        {empty, "CREATE TABLE t (x)", "", "returns no columns"},
    };
    for (const auto& [conn, query, state, says] : cases) {
        if (conn == empty && !drivers_.hasSqlite()) continue;
        const Error e = errorOf([&] { OdbcRecordset(conn, query); });
        EXPECT_EQ(e.number(), kOdbcErrorNumber) << query;
        EXPECT_EQ(e.source(), "ODBC");
        EXPECT_TRUE(e.description().starts_with(state) && e.description().find(says) != std::string::npos)
            << e.description();
    }
    if (drivers_.hasSqlite()) {  // nothing was created
        EXPECT_EQ(SqliteRecordset(drivers_.dir().file("empty.db"), "SELECT count(*) FROM sqlite_master")
                      .Fields()[0].Value().toText(), "0");
    }
}

}  // namespace
}  // namespace varnelo
