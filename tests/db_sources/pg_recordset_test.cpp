// PgRecordset against a real PostgreSQL server the test program starts.
#include "varnelo/pg_recordset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "db_sources/db_fixture.h"
#include "support/test_support.h"
#include "writers/pipeline.h"

namespace varnelo {
namespace {

using namespace testing_support;
constexpr auto kOffset = DateTime::Zone::Offset;

class PgRecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        server_ = db_test::pgServer(why);
        if (!server_) GTEST_SKIP() << why;
    }
    PgRecordset open(const std::string& query, int batchRows = 10000, const std::string& extra = "") {
        return PgRecordset(server_->conninfo() + extra, query, PgOptions{batchRows});
    }
    std::vector<int> column(Recordset& rs) {
        std::vector<int> values;
        for (; !rs.Eof(); rs.MoveNext()) values.push_back(rs.Fields()[0].Value().asInt32());
        return values;
    }

    PgServer* server_ = nullptr;
};

// The PostgreSQL error's SQLSTATE as the description gives it.
std::string sqlState(const Error& e) {
    const std::string prefix = "PostgreSQL error ";
    return e.description().rfind(prefix, 0) == 0 ? e.description().substr(prefix.size(), 5) : e.description();
}

// Each type's code and values, exact; what no Variant carries (a year BC, 'infinity', numerals past a double) stays
// text; NULL is not empty text.
TEST_F(PgRecordsetTest, EveryTypeReadsBackExactlyAndNullIsNotEmptyText) {
    PgRecordset rs = open("SELECT b, i2, i4, i8, n, f4, f8, d, ts, tz, tx, vc, bc, by, j, u FROM types ORDER BY id");
    const std::vector<int> types = {11, 3, 3, 20, 131, 5, 5, 7, 135, 135, 200, 200, 129, 205, 200, 200};
    for (int j = 0; j < rs.fieldCount(); ++j) EXPECT_EQ(rs.fieldType(j), types[static_cast<size_t>(j)]) << j;

    const double inf = std::numeric_limits<double>::infinity();
    const Variant null = Variant::null();
    const std::vector<std::vector<Variant>> expected = {
        {true, int32_t{-32768}, int32_t{2147483647}, std::numeric_limits<int64_t>::min(),
         "12345678901234567890.123456789", 1.5, 0.1, DateTime{2024, 2, 29},
         DateTime{2003, 12, 25, 13, 5, 7, 120000000, 2}, DateTime{2003, 12, 25, 13, 5, 7, 123456000, 6, kOffset, 330},
         "Zoë 'x' \"q\"", "a,b", "ab  ", Bytes{std::string("\x00\xff\x41", 3)}, "{\"a\": 1}",
         "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
        {false, int32_t{0}, int32_t{0}, int64_t{0}, 99999999.99, inf, null /* NaN: below */, "0044-03-15 BC",
         "infinity", DateTime{2000, 1, 1, 5, 30, 0, 0, 0, kOffset, 330}, "", "", "    ", Bytes{}, "[]",
         "00000000-0000-0000-0000-000000000000"},
        std::vector<Variant>(16, null),
        {true, int32_t{7}, int32_t{-7}, int64_t{9007199254740993}, int64_t{5}, -0.25, -inf, DateTime{1999, 12, 31},
         DateTime{1999, 12, 31, 23, 59, 59, 999999000, 6}, DateTime{2000, 1, 1, 13, 29, 59, 0, 0, kOffset, 330},
         "two\nlines", "x", "abcd", Bytes{"\n\r"}, "null", "ffffffff-ffff-ffff-ffff-ffffffffffff"},
    };
    for (size_t r = 0; r < expected.size(); ++r, rs.MoveNext()) {
        ASSERT_FALSE(rs.Eof()) << "row " << r + 1;
        for (int j = 0; j < rs.fieldCount(); ++j) {
            const Variant v = rs.Fields()[j].Value();
            if (r == 1 && j == 6) {
                EXPECT_TRUE(v.kind() == Variant::Kind::Double && std::isnan(v.asDouble()));
                continue;
            }
            EXPECT_EQ(v, expected[r][static_cast<size_t>(j)]) << "row " << r + 1 << ", column " << rs.fieldName(j)
                                                             << ": " << v.toText();
        }
    }
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(rs.RecordCount(), 4);
}

// Batches of three over ten rows: the cursor crosses them, goes back and to the end, and keeps its
// snapshot while another session changes the table; a new recordset sees the change.
TEST_F(PgRecordsetTest, CursorCrossesBatchesAndKeepsItsSnapshot) {
    PgRecordset rs = open("SELECT n FROM counting ORDER BY n -- every number\n;", 3);
    Outcome o = server_->psql("", "INSERT INTO counting SELECT generate_series(11, 15); DELETE FROM counting WHERE n = 1");
    ASSERT_EQ(o.status, 0) << o.output;

    const std::vector<int> all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(column(rs), all);
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }).number(), err::kNoCurrentRecord);
    EXPECT_EQ(rs.RecordCount(), 10);
    rs.MoveFirst();
    EXPECT_EQ(column(rs), all);
    rs.MoveFirst();
    rs.MoveNext();
    EXPECT_EQ(rs.Fields()[0].Value().asInt32(), 2);
    rs.MoveLast();  // from the first batch: skipped on the server
    EXPECT_EQ(rs.Fields()[0].Value().asInt32(), 10);
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());

    PgRecordset later = open("SELECT n FROM counting ORDER BY n", 4);
    EXPECT_EQ(later.RecordCount(), 14);
    EXPECT_EQ(column(later).front(), 2);
    server_->psql("", "DELETE FROM counting WHERE n > 10; INSERT INTO counting VALUES (1)");
}

// No rows: the columns are there, reads fail.
TEST_F(PgRecordsetTest, QueryWithoutRowsHasItsColumns) {
    PgRecordset rs = open("SELECT n, n::text AS label FROM counting WHERE n < 0");
    EXPECT_TRUE(rs.Bof() && rs.Eof());
    EXPECT_EQ(rs.fieldName(1), "label");
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].Value(); }).number(), err::kNoCurrentRecord);
}

// A query failing on its fifteenth row fails with the batch holding it; MoveFirst starts a new transaction.
TEST_F(PgRecordsetTest, FailureWhileReadingEndsTheRowsAndMoveFirstStartsAgain) {
    PgRecordset rs = open("SELECT 100 / (15 - n) AS q FROM generate_series(1, 20) n", 4);
    int rows = 0;
    Error e = errorOf([&] {
        for (; !rs.Eof(); rs.MoveNext()) ++rows;
    });
    EXPECT_EQ(rows, 12);  // the batch holding the fifteenth row fails as a whole
    EXPECT_EQ(sqlState(e), "22012") << e.description();
    EXPECT_NE(e.description().find("division by zero"), std::string::npos);
    EXPECT_TRUE(rs.Eof());
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields()[0].Value().asInt32(), 7);
}

// Refused statements carry the server's SQLSTATE and message, and none ran.
TEST_F(PgRecordsetTest, ErrorsCarryTheServersSqlStateAndMessage) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"SELECT * FROM no_such_table", "", "42P01", "no_such_table"},
        {"DELETE FROM counting", "", "42601", "syntax error"},  // a cursor only takes a query
        {"SELECT 1; DROP TABLE counting", "", "42601", "multiple commands"},
        {"SELECT 1", " dbname=no_such_db", "08006", "no_such_db"},  // no connection, no server state
        {"  ;  ", "", "The query holds no SQL statement", ""},
    };
    for (const auto& [query, conninfoExtra, state, says] : cases) {
        const Error e = errorOf([&] { open(query, 10, conninfoExtra); });
        EXPECT_EQ(e.number(), kPgErrorNumber) << query;
        EXPECT_EQ(e.source(), "PostgreSQL") << query;
        EXPECT_TRUE(sqlState(e).starts_with(state) && e.description().find(says) != std::string::npos)
            << e.description();
    }
    EXPECT_EQ(open("SELECT n FROM counting").RecordCount(), 10);
}

// The connection ended by another session mid-export: the server's word, the previous file kept, no reconnection.
TEST_F(PgRecordsetTest, LostConnectionFailsTheExportAndKeepsTheOldFile) {
    TempDir dir;
    const std::string target = dir.file("rows.csv");
    writeFile(target, "the previous export\n");
    PgRecordset rs = open("SELECT n, 'row ' || n AS label FROM generate_series(1, 100000) n", 100,
                          " application_name=victim");
    Outcome o = server_->psql(
        "", "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'victim'");
    ASSERT_EQ(o.status, 0) << o.output;

    ExportJob job;
    job.outputFile = target;
    Error e = errorOf([&] { runExport(job, rs); });
    EXPECT_EQ(e.number(), kPgErrorNumber);
    EXPECT_TRUE(sqlState(e) == "57P01" || sqlState(e) == "08006") << e.description();
    EXPECT_EQ(readFile(target), "the previous export\n");
    EXPECT_EQ(dir.names(), std::set<std::string>{"rows.csv"});
    rs.MoveFirst();
    EXPECT_EQ(sqlState(errorOf([&] { rs.Eof(); })), sqlState(e));
}

}  // namespace
}  // namespace varnelo
