// What the database-source tests share: one private PostgreSQL server per test program, started on first use and
// holding the tables below, and a private ODBC driver list in a scratch folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/pg_server.h"
#include "support/test_support.h"

namespace varnelo::db_test {

// Every type the PostgreSQL source maps: row 1 ordinary values, row 2 edge values (some no ODBC driver
// carries: a year BC, 'infinity'), row 3 NULL everywhere, row 4 what a double cannot carry or is whole.
inline const char* const kTablesSql = R"SQL(
SET TimeZone = 'Asia/Kolkata';
CREATE TABLE types (id int PRIMARY KEY, b boolean, i2 smallint, i4 integer, i8 bigint, n numeric,
    f4 real, f8 double precision, d date, ts timestamp, tz timestamptz, tx text, vc varchar(10),
    bc char(4), by bytea, j json, u uuid);
INSERT INTO types VALUES
 (1, true, -32768, 2147483647, -9223372036854775808, 12345678901234567890.123456789, 1.5, 0.1,
  '2024-02-29', '2003-12-25 13:05:07.12', '2003-12-25 13:05:07.123456+05:30', 'Zoë ''x'' "q"', 'a,b',
  'ab', '\x00ff41', '{"a": 1}', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'),
 (2, false, 0, 0, 0, 99999999.99, 'Infinity', 'NaN', '0044-03-15 BC', 'infinity',
  '2000-01-01 00:00:00+00', '', '', '', '\x', '[]', '00000000-0000-0000-0000-000000000000'),
 (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (4, true, 7, -7, 9007199254740993, 5.000, -0.25, '-Infinity', '1999-12-31', '1999-12-31 23:59:59.999999',
  '1999-12-31 23:59:59-08', 'two
lines', 'x', 'abcd', '\x0a0d', 'null', 'ffffffff-ffff-ffff-ffff-ffffffffffff');
CREATE TABLE counting (n int);
INSERT INTO counting SELECT generate_series(1, 10);
)SQL";

// The server, tables made; nullptr (the reason in `why`) when it cannot run here. Sessions show India's +05:30.
inline testing_support::PgServer* pgServer(std::string& why) {
    static testing_support::PgServer server;
    static const bool made = [] {
        ::setenv("PGTZ", "Asia/Kolkata", 1);
        if (!server.absent().empty() || !server.error().empty()) return false;
        testing_support::Outcome o = server.psql("", kTablesSql);
        if (o.status != 0) ADD_FAILURE() << "could not make the test tables:\n" << o.output;
        return o.status == 0;
    }();
    why = !server.absent().empty() ? server.absent() : server.error();
    return made ? &server : nullptr;
}

// The PostgreSQL and SQLite drivers; one list per test program, as the driver manager reads its lists once.
class OdbcDrivers {
public:
    static OdbcDrivers& drivers() {
        static OdbcDrivers instance;
        return instance;
    }
    bool hasPostgres() const { return !pg_.empty(); }
    bool hasSqlite() const { return !sqlite_.empty(); }
    const testing_support::TempDir& dir() const { return dir_; }

private:
    OdbcDrivers() {
        std::string ini;
        for (const char* arch : {"x86_64-linux-gnu", "aarch64-linux-gnu", "i386-linux-gnu"}) {
            const std::string dir = std::string("/usr/lib/") + arch + "/odbc/";
            if (std::filesystem::exists(dir + "psqlodbcw.so")) pg_ = dir + "psqlodbcw.so";
            if (std::filesystem::exists(dir + "libsqlite3odbc.so")) sqlite_ = dir + "libsqlite3odbc.so";
        }
        if (!pg_.empty()) ini += "[PostgreSQL Unicode]\nDriver=" + pg_ + "\n";
        if (!sqlite_.empty()) ini += "[SQLite3]\nDriver=" + sqlite_ + "\n";
        testing_support::writeFile(dir_.file("odbcinst.ini"), ini);
        testing_support::writeFile(dir_.file("odbc.ini"), "");
        ::setenv("ODBCSYSINI", dir_.path().c_str(), 1);
        ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
        ::setenv("ODBCINI", dir_.file("odbc.ini").c_str(), 1);
    }

    testing_support::TempDir dir_;
    std::string pg_, sqlite_;
};

}  // namespace varnelo::db_test
