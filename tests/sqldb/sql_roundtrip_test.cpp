// The SQL files of varnelo-export against real readers: INSERT statements run
// in a PostgreSQL server the test starts (the sqlite3 shell runs them in
// tests/apps); a SQL*Loader control file parsed back into the source values.
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
using Text = std::optional<std::string>;  // nullopt: NULL
using Table = std::vector<std::vector<Text>>;

// The source table: every type group, the awkward texts, Nulls in every
// column. Values as text, numbers and Booleans written as the database has them.
enum Kind { Integer, Decimal, String, Boolean, Date };
constexpr Kind kKinds[] = {Integer, Integer, Decimal, Decimal, String, String, String, Boolean, Date, Date};
const char* const kNames[] = {"id", "big", "price", "amount", "name", "code", "note", "flag", "day", "stamp"};
constexpr size_t kCols = std::size(kNames), kDateColumns = 2;  // the last two
const Table kRows = {
    {"1", "9007199254740993", "2.5", "12.5", "Smith, John", "AB", "plain note", "1", "2024-02-29",
     "2024-02-29 13:05:07"},
    {"2", "-9223372036854775808", "-0.1", "-0.01", "O'Brien's \"best\"", "it''s", "two\nlines", "0", "1999-12-31",
     "2003-12-25 23:59:59"},
    {"-2147483648", "9223372036854775807", "1e21", "99999999.99", "Zoë's café", "大阪", "crlf\r\nline, with comma", "1",
     "2000-01-01", "2000-01-01 12:00:00"},
    {"4", "0", "0", "7", "", " ", "tab\there; semi;colon", "0", "1970-01-01", "2001-06-15 00:00:00"},
    std::vector<Text>(kCols),
    {"6", "42", "3.25", "0.5", "Ünïcödé — “smart” ‘quotes’", "x", "ends in quotes '\"", "1", "2038-01-19",
     "2038-01-19 15:14:07"},
};

// The rows in a form every reader agrees on: decimals through the double
// they stand for, Booleans as 1 or 0, everything else as it is.
Table canonical(Table t) {
    for (auto& row : t) {
        for (size_t j = 0; j < row.size(); ++j) {
            Text& v = row[j];
            if (v && kKinds[j] == Decimal) v = formatDouble(std::strtod(v->c_str(), nullptr));
            if (v && kKinds[j] == Boolean && (*v == "t" || *v == "True")) v = "1";
            if (v && kKinds[j] == Boolean && (*v == "f" || *v == "False")) v = "0";
        }
    }
    return t;
}

class SqlRoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new PgServer; }
    static void TearDownTestSuite() { delete server; }  // stops the server, whatever the tests did

    void SetUp() override {
        std::string sql = "CREATE TABLE items (id INTEGER, big BIGINT, price REAL, amount DECIMAL(12,2),"
                          " name VARCHAR(60), code VARCHAR(5), note TEXT, flag BOOLEAN, day DATE, stamp DATETIME);";
        for (const auto& row : kRows) {  // as text: the columns' affinity makes the numbers
            for (size_t j = 0; j < kCols; ++j) {
                char* v = sqlite3_mprintf("%s%Q", j == 0 ? "INSERT INTO items VALUES (" : ",",
                                          row[j] ? row[j]->c_str() : nullptr);
                sql += v;
                sqlite3_free(v);
            }
            sql += ");";
        }
        const Outcome made = run(shellQuoted(VARNELO_SQLITE3_SHELL) + " -bail " + shellQuoted(source) + " " + shellQuoted(sql));
        ASSERT_EQ(made.status, 0) << made.output;
    }

    // varnelo-export on the source into table roundtrip.items, the way a user makes the files.
    void exportTo(const std::string& file, const std::string& format, const std::string& query,
                  const std::vector<std::string>& sets) {
        std::string cmd = shellQuoted(VARNELO_EXPORT_BIN) + " --quiet --db " + shellQuoted(source) + " --query " +
                          shellQuoted(query) + " --format " + format + " -o " + shellQuoted(file) +
                          " --settings-dir " + shellQuoted(dir.path()) +
                          " --set InsertSchema=roundtrip --set InsertTable=items";
        for (const auto& s : sets) cmd += " --set " + shellQuoted(s);
        Outcome o = run(cmd);
        ASSERT_EQ(o.status, 0) << o.output;
    }

    static inline PgServer* server = nullptr;
    TempDir dir;
    std::string source = dir.file("source.db");
};

TEST_F(SqlRoundTripTest, InsertStatementsLoadIntoPostgresWithEveryValueIntact) {
    if (!server->absent().empty()) GTEST_SKIP() << server->absent();
    ASSERT_TRUE(server->error().empty()) << server->error();

    const std::string file = dir.file("items.sql");
    ASSERT_NO_FATAL_FAILURE(exportTo(file, "insert", "SELECT * FROM items", {"CommitInterval=2", "IncludeSQL=1"}));
    // TO_DATE in the loading schema, ahead of the built-in one that keeps only
    // the date: the afternoon times must load as they are.
    Outcome setup = server->psql(
        "", "DROP SCHEMA IF EXISTS roundtrip CASCADE; CREATE SCHEMA roundtrip;"
            " CREATE FUNCTION roundtrip.to_date(text, text) RETURNS timestamp LANGUAGE sql IMMUTABLE"
            "  AS $$ SELECT to_timestamp($1, $2)::timestamp $$;"
            " CREATE TABLE roundtrip.items (id integer, big bigint, price double precision, amount numeric(12,2),"
            "  name varchar(60), code varchar(5), note text, flag boolean, day date, stamp timestamp);");
    ASSERT_EQ(setup.status, 0) << setup.output;
    Outcome load = server->psql("", "SET search_path TO roundtrip, pg_catalog", file);
    ASSERT_EQ(load.status, 0) << load.output << "\n--- the file:\n" << readFile(file);
    EXPECT_EQ(canonical(server->query("SELECT * FROM roundtrip.items ORDER BY ctid", kCols)), canonical(kRows));
}

// The bytes of the longest value of column j: what a CHAR(n) must hold.
size_t longest(const Table& rows, size_t j) {
    size_t n = 1;
    for (const auto& row : rows) n = std::max(n, row[j] ? row[j]->size() : 0);
    return n;
}

TEST_F(SqlRoundTripTest, SqlLoaderControlFileParsesBackIntoTheSourceValues) {
    const std::string file = dir.file("items.ctl");
    // In-line data holds one record per line: rows whose text has a line
    // break cannot travel that way, so the query leaves them out.
    ASSERT_NO_FATAL_FAILURE(exportTo(file, "sqlldr",
                                     "SELECT * FROM items WHERE note IS NULL OR (instr(note, char(10)) = 0"
                                     " AND instr(note, char(13)) = 0)",
                                     {"SQLLoaderMode=3", "DiscardMax=10", "FieldSeparator=,", "StrEnclose=\""}));
    std::vector<std::string> lines;
    const std::string text = readFile(file);
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, (end = text.find("\r\n", at)) - at));

    Table sent;
    for (auto row : kRows) {
        if (row[6] && row[6]->find_first_of("\r\n") != std::string::npos) continue;
        if (row[8]) *row[8] += " 00:00:00";  // a date column's value reads with its time, midnight included
        sent.push_back(std::move(row));
    }
    std::vector<std::string> want = {
        "Load data ", "INFILE *", "BADFILE " + dir.file("items.bad"), "DISCARDFILE " + dir.file("items.dsc"),
        "DISCARDMAX 10", "REPLACE INTO TABLE roundtrip.items",
        "Fields terminated by \",\" Optionally enclosed by '\"'", "TRAILING NULLCOLS", "("};
    for (size_t j = 0; j < kCols; ++j) {
        const Kind k = kKinds[j];
        want.push_back(std::string(kNames[j]) + "\t" +
                       (k == String ? "CHAR(" + std::to_string(longest(sent, j)) + ")"
                        : k == Date ? "DATE\t\"dd/mm/yyyy hh24:mi:ss\""
                                    : "INTEGER EXTERNAL") +
                       (j + 1 < kCols ? "," : ""));
    }
    want.insert(want.end(), {")", "BEGINDATA"});
    ASSERT_GE(lines.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) EXPECT_EQ(lines[k], want[k]) << "line " << k + 1;

    // Data lines split on ',' with a field optionally enclosed in '"', the
    // enclosure doubled inside; an empty field that is not enclosed is NULL.
    // Dates go back from dd/mm/yyyy hh24:mi:ss to ISO.
    Table data;
    for (size_t k = want.size(); k < lines.size(); ++k) {
        std::vector<Text> row(1);
        bool enclosed = false;
        for (size_t i = 0; i < lines[k].size(); ++i) {
            const char c = lines[k][i];
            Text& f = row.back();
            if (c == ',' && !enclosed) row.emplace_back();
            else if (c != '"') f = f.value_or("") + c;
            else if (!f) f = "", enclosed = true;
            else if (enclosed && lines[k].compare(i, 2, "\"\"") == 0) *f += lines[k][i++];
            else enclosed = false;
        }
        for (size_t j = kCols - kDateColumns; j < row.size(); ++j)
            if (const std::string s = row[j].value_or(""); s.size() == 19)
                row[j] = s.substr(6, 4) + "-" + s.substr(3, 2) + "-" + s.substr(0, 2) + s.substr(10);
        data.push_back(std::move(row));
    }
    EXPECT_EQ(canonical(data), canonical(sent));
}

}  // namespace
}  // namespace varnelo
