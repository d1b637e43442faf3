// The SQL formats against real readers: INSERT statements run in a PostgreSQL
// server the test starts itself (and, without the date columns, in the
// sqlite3 shell), then every value is read back and compared with the source;
// a SQL*Loader control file is parsed line by line and its data split back
// into the source values. The files come from varnelo-export, the way a user
// makes them.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/variant.h"

namespace varnelo {
namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Text = std::optional<std::string>;  // nullopt: NULL
using Table = std::vector<std::vector<Text>>;

// ---------------------------------------------------------------------------
// Running programs

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Outcome run(const std::string& command) {
    Outcome o;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return o;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) o.output.append(buf, n);
    const int raw = ::pclose(p);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

// ---------------------------------------------------------------------------
// A private PostgreSQL server: its own data folder, a Unix socket in its own
// folder and no TCP listener. The server refuses to run as root, so under
// root every server program runs as the `postgres` user.

class PgServer {
public:
    static constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

    PgServer() {
        if (!std::filesystem::exists(std::string(kBin) + "/postgres")) {
            error_ = std::string("PostgreSQL 15 is not installed in ") + kBin + " (Debian package: postgresql)";
            return;
        }
        const bool root = ::geteuid() == 0;
        asUser_ = root ? "runuser -u postgres -- " : "";
        data_ = dir_.file("data");
        socket_ = dir_.file("sock");
        std::filesystem::create_directory(data_);
        std::filesystem::create_directory(socket_);
        // The server's user must reach its folders through ours.
        ::chmod(dir_.path().c_str(), 0755);
        if (root && run("chown postgres:postgres " + shellQuoted(data_) + " " + shellQuoted(socket_)).status != 0) {
            error_ = "cannot hand the data folder to the postgres user";
            return;
        }
        Outcome init = server("initdb -D " + shellQuoted(data_) +
                              " -U postgres -A trust -E UTF8 --locale=C.UTF-8 --no-sync");
        if (init.status != 0) {
            error_ = "initdb failed:\n" + init.output;
            return;
        }
        Outcome start = server("pg_ctl -D " + shellQuoted(data_) + " -l " + shellQuoted(socket_ + "/server.log") +
                               " -w -t 60 -o " +
                               shellQuoted("-c listen_addresses='' -k " + socket_ + " -c fsync=off"
                                      " -c full_page_writes=off -c synchronous_commit=off") +
                               " start");
        started_ = true;  // pg_ctl may have started it even when it reports a failure
        if (start.status != 0) {
            error_ = "the server did not start:\n" + start.output + log();
            return;
        }
        ready_ = true;
    }

    ~PgServer() {
        if (started_) server("pg_ctl -D " + shellQuoted(data_) + " -m immediate -w stop");
    }

    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }

    // psql on the private socket: the commands, then the script file fed on
    // standard input (when given), in one session; stops at the first error.
    Outcome psql(const std::string& options, const std::string& commands, const std::string& scriptFile = "") {
        std::string cmd = "env PGCLIENTENCODING=UTF8 " + std::string(kBin) +
                          "/psql -X -q -v ON_ERROR_STOP=1 -h " + shellQuoted(socket_) + " -U postgres -d postgres " +
                          options + " -c " + shellQuoted(commands);
        if (!scriptFile.empty()) cmd += " -f - < " + shellQuoted(scriptFile);
        return server(cmd);
    }

    // A query's rows: fields split by NUL, rows by a marker, NULL by a marker.
    Table query(const std::string& sql, std::string& failure) {
        Outcome o = psql("-A -t -z -R '@@ROW@@' -P 'null=@@NULL@@'", "SET datestyle TO ISO; " + sql);
        if (o.status != 0) {
            failure = o.output;
            return {};
        }
        std::string text = o.output;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        Table rows;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find("@@ROW@@", start);
            if (end == std::string::npos) end = text.size();
            std::vector<Text> row;
            std::string_view line(text.data() + start, end - start);
            for (size_t f = 0;;) {
                size_t cut = line.find('\0', f);
                std::string v(line.substr(f, cut == std::string_view::npos ? std::string_view::npos : cut - f));
                row.push_back(v == "@@NULL@@" ? Text{} : Text{v});
                if (cut == std::string_view::npos) break;
                f = cut + 1;
            }
            rows.push_back(std::move(row));
            start = end + 7;
        }
        return rows;
    }

private:
    Outcome server(const std::string& program) {
        // From a folder the server's user may read: the tools look at it.
        return run("cd " + shellQuoted(dir_.path().string()) + " && " + asUser_ +
                   (program.rfind("env ", 0) == 0 ? program : std::string(kBin) + "/" + program));
    }
    std::string log() const {
        try {
            return "\nserver log:\n" + readFile(socket_ + "/server.log");
        } catch (const std::exception&) {
            return "";
        }
    }

    TempDir dir_;
    std::string asUser_, data_, socket_, error_;
    bool started_ = false, ready_ = false;
};

// ---------------------------------------------------------------------------
// The source table: every type group, the awkward texts, Nulls in every column.

struct Item {
    std::optional<int64_t> id, big;
    std::optional<double> price, amount;
    Text name, code, note;
    std::optional<bool> flag;
    Text day, stamp;
};

const std::vector<Item>& items() {
    static const std::vector<Item> rows = {
        {1, 9007199254740993, 2.5, 12.5, "Smith, John", "AB", "plain note", true, "2024-02-29",
         "2024-02-29 13:05:07"},
        {2, std::numeric_limits<int64_t>::min(), -0.1, -0.01, "O'Brien's \"best\"", "it''s", "two\nlines", false,
         "1999-12-31", "2003-12-25 23:59:59"},
        {-2147483648, std::numeric_limits<int64_t>::max(), 1e21, 99999999.99, "Zoë's café", "大阪",
         "crlf\r\nline, with comma", true, "2000-01-01", "2000-01-01 12:00:00"},
        {4, 0, 0.0, 7, "", " ", "tab\there; semi;colon", false, "1970-01-01", "2001-06-15 00:00:00"},
        {},  // Null in every column
        {6, 42, 3.25, 0.5, "Ünïcödé — “smart” ‘quotes’", "x", "ends with a quote'", true, "2038-01-19",
         "2038-01-19 15:14:07"},
    };
    return rows;
}

constexpr const char* kColumns = "id, big, price, amount, name, code, note, flag, day, stamp";
constexpr const char* kColumnsWithoutDates = "id, big, price, amount, name, code, note, flag";
constexpr size_t kDateColumns = 2;  // the last two
enum Kind { Integer, Decimal, String, Boolean, DateText };
constexpr Kind kKinds[] = {Integer, Integer, Decimal, Decimal, String, String, String, Boolean, DateText, DateText};
const char* const kNames[] = {"id", "big", "price", "amount", "name", "code", "note", "flag", "day", "stamp"};

// One value in a form every reader agrees on: numbers through the double
// they stand for, Booleans as 1 or 0, everything else as its text.
Text canonical(Kind kind, const Text& v) {
    if (!v) return v;
    switch (kind) {
        case Decimal: return formatDouble(std::strtod(v->c_str(), nullptr));
        case Boolean:
            if (*v == "t" || *v == "1" || *v == "True") return "1";
            if (*v == "f" || *v == "0" || *v == "False") return "0";
            return "?" + *v;
        default: return v;
    }
}

Table expected(size_t columns) {
    Table out;
    for (const Item& it : items()) {
        auto num = [](auto v) -> Text { return v ? Text{std::to_string(*v)} : Text{}; };
        std::vector<Text> row = {num(it.id),
                                 num(it.big),
                                 it.price ? Text{formatDouble(*it.price)} : Text{},
                                 it.amount ? Text{formatDouble(*it.amount)} : Text{},
                                 it.name,
                                 it.code,
                                 it.note,
                                 it.flag ? Text{*it.flag ? "1" : "0"} : Text{},
                                 it.day,
                                 it.stamp};
        row.resize(columns);
        out.push_back(std::move(row));
    }
    return out;
}

Table canonicalTable(const Table& raw) {
    Table out = raw;
    for (auto& row : out)
        for (size_t j = 0; j < row.size() && j < std::size(kKinds); ++j) row[j] = canonical(kKinds[j], row[j]);
    return out;
}

std::string show(const Text& v) { return v ? "'" + *v + "'" : "NULL"; }

// Every value of `got` against `want`, each mismatch named by row and column.
void expectSameTable(const Table& got, const Table& want, const std::string& reader) {
    ASSERT_EQ(got.size(), want.size()) << reader << ": row count";
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(got[i].size(), want[i].size()) << reader << ": columns of row " << i + 1;
        for (size_t j = 0; j < want[i].size(); ++j)
            EXPECT_EQ(show(got[i][j]), show(want[i][j])) << reader << ": row " << i + 1 << ", column " << kNames[j];
    }
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

Db openDb(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    return Db(db);
}

void makeSource(const std::string& path) {
    Db db = openDb(path);
    ASSERT_EQ(sqlite3_exec(db.get(),
                           "CREATE TABLE items (id INTEGER, big BIGINT, price REAL, amount DECIMAL(12,2),"
                           " name VARCHAR(60), code VARCHAR(5), note TEXT, flag BOOLEAN, day DATE, stamp DATETIME)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), "INSERT INTO items VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr),
              SQLITE_OK);
    for (const Item& it : items()) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);  // unbound parameters are NULL
        if (it.id) sqlite3_bind_int64(st, 1, *it.id);
        if (it.big) sqlite3_bind_int64(st, 2, *it.big);
        if (it.price) sqlite3_bind_double(st, 3, *it.price);
        if (it.amount) sqlite3_bind_double(st, 4, *it.amount);
        const Text* texts[] = {&it.name, &it.code, &it.note};
        for (int k = 0; k < 3; ++k)
            if (*texts[k]) sqlite3_bind_text(st, 5 + k, (*texts[k])->c_str(), -1, SQLITE_TRANSIENT);
        if (it.flag) sqlite3_bind_int(st, 8, *it.flag ? 1 : 0);
        if (it.day) sqlite3_bind_text(st, 9, it.day->c_str(), -1, SQLITE_TRANSIENT);
        if (it.stamp) sqlite3_bind_text(st, 10, it.stamp->c_str(), -1, SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
    }
    sqlite3_finalize(st);
}

Table readSqlite(const std::string& path, const std::string& sql) {
    Db db = openDb(path);
    sqlite3_stmt* st = nullptr;
    Table rows;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db.get());
        return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<Text> row;
        for (int j = 0; j < sqlite3_column_count(st); ++j) {
            switch (sqlite3_column_type(st, j)) {
                case SQLITE_NULL: row.push_back(Text{}); break;
                case SQLITE_FLOAT: row.push_back(formatDouble(sqlite3_column_double(st, j))); break;
                default:
                    row.push_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, j)),
                                              static_cast<size_t>(sqlite3_column_bytes(st, j))));
            }
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rows;
}

// ---------------------------------------------------------------------------

class SqlRoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new PgServer; }
    static void TearDownTestSuite() {
        delete server;  // stops the server, whatever the tests did
        server = nullptr;
    }

    void SetUp() override {
        source = dir.file("source.db");
        makeSource(source);
    }

    // varnelo-export on the source; the exit status, the output in `out`.
    Outcome exportTo(const std::string& file, const std::string& format, const std::string& query,
                     const std::vector<std::string>& sets) {
        std::string cmd = shellQuoted(VARNELO_EXPORT_BIN) + " --quiet --db " + shellQuoted(source) + " --query " +
                          shellQuoted(query) + " --format " + format + " -o " + shellQuoted(file) + " --settings-dir " +
                          shellQuoted(dir.path().string());
        for (const auto& s : sets) cmd += " --set " + shellQuoted(s);
        return run(cmd);
    }

    static PgServer* server;
    TempDir dir;
    std::string source;
};

PgServer* SqlRoundTripTest::server = nullptr;

TEST_F(SqlRoundTripTest, InsertStatementsLoadIntoPostgresAndSqliteWithEveryValueIntact) {
    ASSERT_TRUE(server->ready()) << server->error();

    const std::string file = dir.file("items.sql");
    Outcome ex = exportTo(file, "insert", std::string("SELECT ") + kColumns + " FROM items",
                          {"InsertSchema=roundtrip", "InsertTable=items", "CommitInterval=2", "IncludeSQL=1"});
    ASSERT_EQ(ex.status, 0) << ex.output;

    // TO_DATE in the loading schema, ahead of the built-in one that keeps
    // only the date.
    Outcome setup = server->psql(
        "", "DROP SCHEMA IF EXISTS roundtrip CASCADE; CREATE SCHEMA roundtrip;"
            " CREATE FUNCTION roundtrip.to_date(text, text) RETURNS timestamp LANGUAGE sql IMMUTABLE"
            "  AS $$ SELECT to_timestamp($1, $2)::timestamp $$;"
            " CREATE TABLE roundtrip.items (id integer, big bigint, price double precision, amount numeric(12,2),"
            "  name varchar(60), code varchar(5), note text, flag boolean, day date, stamp timestamp);");
    ASSERT_EQ(setup.status, 0) << setup.output;
    Outcome load = server->psql("", "SET search_path TO roundtrip, pg_catalog", file);
    ASSERT_EQ(load.status, 0) << load.output << "\n--- the file:\n" << readFile(file);

    std::string failure;
    Table pg = server->query(std::string("SELECT ") + kColumns + " FROM roundtrip.items ORDER BY ctid", failure);
    ASSERT_TRUE(failure.empty()) << failure;
    expectSameTable(canonicalTable(pg), expected(std::size(kKinds)), "PostgreSQL");

    // The same export without the date columns in the sqlite3 shell. The file
    // commits the way a server expects (no BEGIN of its own), so the shell
    // opens the one transaction the final COMMIT closes.
    const std::string plain = dir.file("items-nodates.sql");
    ex = exportTo(plain, "insert", std::string("SELECT ") + kColumnsWithoutDates + " FROM items",
                  {"InsertSchema=roundtrip", "InsertTable=items", "CommitInterval=1000", "IncludeSQL=1"});
    ASSERT_EQ(ex.status, 0) << ex.output;
    const std::string loaded = dir.file("loaded.db");
    const std::string script = dir.file("load.sql");
    writeFile(script, "ATTACH DATABASE " + shellQuoted(loaded) +
                          " AS roundtrip;\n"
                          "CREATE TABLE roundtrip.items (id INTEGER, big BIGINT, price REAL, amount DECIMAL(12,2),"
                          " name VARCHAR(60), code VARCHAR(5), note TEXT, flag BOOLEAN);\nBEGIN;\n" +
                          readFile(plain) + "\n");
    Outcome shell = run(shellQuoted(VARNELO_SQLITE3_SHELL) + " -batch -bail " + shellQuoted(dir.file("main.db")) + " < " +
                        shellQuoted(script));
    ASSERT_EQ(shell.status, 0) << shell.output;
    ASSERT_TRUE(shell.output.empty()) << shell.output;

    const std::string readBack = std::string("SELECT ") + kColumnsWithoutDates + " FROM items ORDER BY rowid";
    Table pgNoDates = canonicalTable(pg);
    for (auto& row : pgNoDates) row.resize(row.size() - kDateColumns);

    // The shell's line reader drops a CR that stands before a LF, inside a
    // string literal too (printf "select hex('a\r\nb');" | sqlite3 gives
    // 610A62), so that one byte cannot come through the shell; the file
    // carries it, as PostgreSQL shows above and the library run below.
    Table viaShell = pgNoDates;
    for (auto& row : viaShell)
        for (Text& v : row)
            for (size_t at; v && (at = v->find("\r\n")) != std::string::npos;) v->erase(at, 1);
    expectSameTable(canonicalTable(readSqlite(loaded, readBack)), viaShell, "sqlite3 shell against PostgreSQL");

    // The same file through the SQLite library: every byte as PostgreSQL has it.
    const std::string direct = dir.file("direct.db");
    {
        Db db = openDb(":memory:");
        const std::string sql = "ATTACH DATABASE " + shellQuoted(direct) +
                                " AS roundtrip; CREATE TABLE roundtrip.items (id INTEGER, big BIGINT, price REAL,"
                                " amount DECIMAL(12,2), name VARCHAR(60), code VARCHAR(5), note TEXT, flag BOOLEAN);"
                                " BEGIN;\n" +
                                readFile(plain);
        char* message = nullptr;
        ASSERT_EQ(sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
            << (message ? message : "");
    }
    Table lite = canonicalTable(readSqlite(direct, readBack));
    expectSameTable(lite, expected(std::size(kKinds) - kDateColumns), "SQLite library");
    expectSameTable(lite, pgNoDates, "SQLite library against PostgreSQL");
}

TEST_F(SqlRoundTripTest, TheBuiltInToDateWouldDropTheTime) {
    // Why the loading schema carries its own TO_DATE: without it the
    // afternoon times of the file would load as midnight.
    ASSERT_TRUE(server->ready()) << server->error();
    std::string failure;
    Table t = server->query("SELECT to_date('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')::timestamp", failure);
    ASSERT_TRUE(failure.empty()) << failure;
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(show(t[0][0]), "'2003-12-25 00:00:00'");
}

// ---------------------------------------------------------------------------
// SQL*Loader: the control file read the way the loader reads it.

std::vector<std::string> splitLines(const std::string& text, const std::string& lineEnd) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find(lineEnd, start)) != std::string::npos; start = at + lineEnd.size())
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

// One data line split on `sep`, a field optionally enclosed in `quote` with
// the enclosure doubled inside; an empty field that is not enclosed is NULL.
std::vector<Text> splitFields(const std::string& line, const std::string& sep, char quote) {
    std::vector<Text> fields;
    size_t at = 0;
    for (;;) {
        if (at < line.size() && line[at] == quote) {
            std::string v;
            size_t i = at + 1;
            for (; i < line.size(); ++i) {
                if (line[i] != quote) {
                    v += line[i];
                } else if (i + 1 < line.size() && line[i + 1] == quote) {
                    v += quote;
                    ++i;
                } else {
                    break;
                }
            }
            fields.push_back(v);
            at = i + 1;  // past the closing enclosure: a separator or the end
        } else {
            size_t cut = line.find(sep, at);
            std::string v = line.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
            fields.push_back(v.empty() ? Text{} : Text{v});
            at = cut == std::string::npos ? line.size() : cut;
        }
        if (at >= line.size()) break;
        if (line.compare(at, sep.size(), sep) != 0) {
            fields.push_back("?junk after an enclosed field: " + line.substr(at));
            break;
        }
        at += sep.size();
    }
    return fields;
}

// dd/mm/yyyy hh24:mi:ss to yyyy-MM-dd HH:mm:ss.
Text isoFromLoaderDate(const Text& v) {
    if (!v || v->size() != 19) return v;
    const std::string& s = *v;
    return s.substr(6, 4) + "-" + s.substr(3, 2) + "-" + s.substr(0, 2) + s.substr(10);
}

TEST_F(SqlRoundTripTest, SqlLoaderControlFileParsesBackIntoTheSourceValues) {
    const std::string file = dir.file("items.ctl");
    // In-line data holds one record per line: rows whose text has a line
    // break cannot travel that way, so the query leaves them out.
    Outcome ex = exportTo(file, "sqlldr",
                          std::string("SELECT ") + kColumns +
                              " FROM items WHERE note IS NULL OR (instr(note, char(10)) = 0"
                              " AND instr(note, char(13)) = 0)",
                          {"InsertSchema=roundtrip", "InsertTable=items", "SQLLoaderMode=3", "DiscardMax=10",
                           "FieldSeparator=,", "StrEnclose=\""});
    ASSERT_EQ(ex.status, 0) << ex.output;

    const std::vector<std::string> lines = splitLines(readFile(file), "\r\n");
    const std::vector<std::string> head = {"Load data ",
                                           "INFILE *",
                                           "BADFILE " + dir.file("items.bad"),
                                           "DISCARDFILE " + dir.file("items.dsc"),
                                           "DISCARDMAX 10",
                                           "REPLACE INTO TABLE roundtrip.items",
                                           "Fields terminated by \",\" Optionally enclosed by '\"'",
                                           "TRAILING NULLCOLS",
                                           "("};
    const char* const types[] = {"INTEGER EXTERNAL", "INTEGER EXTERNAL", "INTEGER EXTERNAL", "INTEGER EXTERNAL",
                                 "CHAR",             "CHAR",             "CHAR",             "INTEGER EXTERNAL",
                                 "DATE\t\"dd/mm/yyyy hh24:mi:ss\"",     "DATE\t\"dd/mm/yyyy hh24:mi:ss\""};
    const size_t cols = std::size(types);
    ASSERT_GE(lines.size(), head.size() + cols + 2);
    for (size_t k = 0; k < head.size(); ++k) EXPECT_EQ(lines[k], head[k]) << "header line " << k + 1;
    for (size_t j = 0; j < cols; ++j)
        EXPECT_EQ(lines[head.size() + j], std::string(kNames[j]) + "\t" + types[j] + (j + 1 < cols ? "," : ""));
    EXPECT_EQ(lines[head.size() + cols], ")");
    EXPECT_EQ(lines[head.size() + cols + 1], "BEGINDATA");

    Table data;
    for (size_t k = head.size() + cols + 2; k < lines.size(); ++k) {
        std::vector<Text> row = splitFields(lines[k], ",", '"');
        for (size_t j = cols - kDateColumns; j < row.size(); ++j) row[j] = isoFromLoaderDate(row[j]);
        data.push_back(std::move(row));
    }
    Table want;
    const Table all = expected(cols);
    for (size_t i = 0; i < all.size(); ++i) {
        const Text& note = items()[i].note;
        if (note && note->find_first_of("\r\n") != std::string::npos) continue;
        std::vector<Text> row = all[i];
        // A date column's value reads with its time, midnight included.
        if (row[8]) *row[8] += " 00:00:00";
        want.push_back(std::move(row));
    }
    expectSameTable(canonicalTable(data), want, "SQL*Loader data");
}

}  // namespace
}  // namespace varnelo
