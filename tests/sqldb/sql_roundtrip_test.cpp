// varnelo-export's INSERT statements run in a PostgreSQL server the test starts (the sqlite3 shell runs them in
// tests/apps).
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/pg_server.h"
#include "support/test_support.h"
#include "varnelo/variant.h"

namespace varnelo {
namespace {

using namespace testing_support;
using Table = std::vector<std::vector<std::optional<std::string>>>;  // nullopt: NULL

// Every type group, the awkward texts, Nulls in every column; numbers and Booleans as the database has them.
enum Kind { Integer, Decimal, String, Boolean, Date };
constexpr Kind kKinds[] = {Integer, Integer, Decimal, Decimal, String, String, String, Boolean, Date, Date};
constexpr size_t kCols = std::size(kKinds);
const Table kRows = {
    {"1", "9007199254740993", "2.5", "12.5", "Smith, John", "AB", "plain note", "1", "2024-02-29",
     "2024-02-29 13:05:07"},
    {"2", "-9223372036854775808", "-0.1", "-0.01", "O'Brien's \"best\"", "it''s", "two\nlines", "0", "1999-12-31",
     "2003-12-25 23:59:59"},
    {"-2147483648", "9223372036854775807", "1e21", "99999999.99", "Zoë's café", "大阪", "crlf\r\nline, with comma", "1",
     "2000-01-01", "2000-01-01 12:00:00"},
    {"4", "0", "0", "7", "", " ", "tab\there; semi;colon", "0", "1970-01-01", "2001-06-15 00:00:00"},
    Table::value_type(kCols),
    {"6", "42", "3.25", "0.5", "Ünïcödé — “smart” ‘quotes’", "x", "ends in quotes '\"", "1", "2038-01-19",
     "2038-01-19 15:14:07"},
};

// Decimals through the double they stand for, Booleans as 1 or 0.
Table canonical(Table t) {
    for (auto& row : t)
        for (size_t j = 0; j < row.size(); ++j) {
            if (row[j] && kKinds[j] == Decimal) row[j] = formatDouble(std::strtod(row[j]->c_str(), nullptr));
            if (row[j] && kKinds[j] == Boolean) row[j] = *row[j] == "t" || *row[j] == "1" ? "1" : "0";
        }
    return t;
}

// Every value of every type group loads back as the source holds it, the times of day of dates included.
TEST(SqlRoundTrip, InsertStatementsLoadIntoPostgresWithEveryValueIntact) {
    PgServer server;
    if (!server.absent().empty()) GTEST_SKIP() << server.absent();
    ASSERT_TRUE(server.error().empty()) << server.error();
    TempDir dir;
    const std::string source = dir.file("source.db"), file = dir.file("items.sql");
    std::string sql = "CREATE TABLE items (id INTEGER, big BIGINT, price REAL, amount DECIMAL(12,2), name VARCHAR(60),"
                      " code VARCHAR(5), note TEXT, flag BOOLEAN, day DATE, stamp DATETIME);";
    for (const auto& row : kRows)  // as text: the columns' affinity makes the numbers
        for (size_t j = 0; j < kCols; ++j) {
            char* v = sqlite3_mprintf("%s%Q%s", j == 0 ? "INSERT INTO items VALUES (" : ",",
                                      row[j] ? row[j]->c_str() : nullptr, j + 1 == kCols ? ");" : "");
            sql += v;
            sqlite3_free(v);
        }
    const auto [made, madeOutput] =
        runShell(shellQuote(VARNELO_SQLITE3_SHELL) + " -bail " + shellQuote(source) + " " + shellQuote(sql));
    ASSERT_EQ(made, 0) << madeOutput;
    const auto [status, output] = runShell(
        shellQuote(VARNELO_EXPORT_BIN) + " --quiet --db " + shellQuote(source) + " --query 'SELECT * FROM items'"
        " --format insert -o " + shellQuote(file) + " --settings-dir " + shellQuote(dir.path()) +
        " --set InsertSchema=roundtrip --set InsertTable=items --set CommitInterval=2 --set IncludeSQL=1");
    ASSERT_EQ(status, 0) << output;
    // TO_DATE in the loading schema, ahead of the built-in one that keeps only the date.
    Outcome setup = server.psql(
        "", "CREATE SCHEMA roundtrip;"
            " CREATE FUNCTION roundtrip.to_date(text, text) RETURNS timestamp LANGUAGE sql IMMUTABLE"
            "  AS $$ SELECT to_timestamp($1, $2)::timestamp $$;"
            " CREATE TABLE roundtrip.items (id integer, big bigint, price double precision, amount numeric(12,2),"
            "  name varchar(60), code varchar(5), note text, flag boolean, day date, stamp timestamp);");
    ASSERT_EQ(setup.status, 0) << setup.output;
    Outcome load = server.psql("", "SET search_path TO roundtrip, pg_catalog", file);
    ASSERT_EQ(load.status, 0) << load.output << "\n--- the file:\n" << readFile(file);
    EXPECT_EQ(canonical(server.query("SELECT * FROM roundtrip.items ORDER BY ctid", kCols)), canonical(kRows));
}

}  // namespace
}  // namespace varnelo
