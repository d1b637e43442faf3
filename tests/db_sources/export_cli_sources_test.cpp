// varnelo-export takes its source by the form of its argument: a SQLite file, a PostgreSQL URI or connection string,
// an ODBC connection string.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "db_sources/db_fixture.h"
#include "support/test_support.h"

namespace varnelo {
namespace {

using namespace testing_support;

// A PostgreSQL URI, a libpq connection string and an ODBC connection string give the same file.
TEST(ExportCliSources, EachSourceFormGivesTheSameFile) {
    std::string why;
    PgServer* server = db_test::pgServer(why);
    if (!server) GTEST_SKIP() << why;
    TempDir dir;
    const std::string query = "SELECT n, 'Zoë, ' || n AS name FROM counting WHERE n <= 3 ORDER BY n";
    const std::pair<std::string, std::string> forms[] = {
        {"uri", "--db " + shellQuote("postgresql://postgres@/postgres?host=" + server->socketDir())},
        {"conninfo", "--pg " + shellQuote(server->conninfo())},
        {"odbc", "--odbc " + shellQuote("Driver={PostgreSQL Unicode};Servername=" + server->socketDir() +
                                        ";Database=postgres;UID=postgres")},
    };
    for (const auto& [name, args] : forms) {
        if (name == "odbc" && !db_test::OdbcDrivers::drivers().hasPostgres()) continue;
        const std::string out = dir.file(name + ".csv");
        const auto [status, output] = runShell(
            shellQuote(VARNELO_EXPORT_BIN) + " --quiet " + args + " --query " + shellQuote(query) +
            " --format csv --set Quotes=1 --set UnixFormat=1 -o " + shellQuote(out) + " --settings-dir " +
            shellQuote(dir.path()));
        ASSERT_EQ(status, 0) << name << ": " << output;
        EXPECT_EQ(readFile(out), "n,name\n1,\"Zoë, 1\"\n2,\"Zoë, 2\"\n3,\"Zoë, 3\"") << name;
    }
}

// Memory follows the batch, not the table: a million rows take no more than a hundred thousand, give or take a few MiB.
TEST(ExportCliSources, PeakMemoryDoesNotGrowWithThePostgresRowCount) {
    std::string why;
    PgServer* server = db_test::pgServer(why);
    if (!server) GTEST_SKIP() << why;
    TempDir dir;
    auto peakKiB = [&](int rows) {
        const std::string peak = dir.file("peak.txt");
        const std::string query = "SELECT n, n * 0.5 AS half, 'label ' || n AS label, now() AS at "
                                  "FROM generate_series(1, " + std::to_string(rows) + ") n";
        // Under AddressSanitizer freed memory waits in quarantine: without it the peak is the program's own.
        const auto [status, output] =
            runShell("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0 /usr/bin/time -f %M -o " +
                     shellQuote(peak) + " " + shellQuote(VARNELO_EXPORT_BIN) + " --quiet --pg " +
                     shellQuote(server->conninfo()) + " --query " + shellQuote(query) + " --format csv -o " +
                     shellQuote(dir.file("rows.csv")) + " --settings-dir " + shellQuote(dir.path()));
        EXPECT_EQ(status, 0) << output;
        return std::stol(readFile(peak));
    };
    const long small = peakKiB(100'000), large = peakKiB(1'000'000);
    EXPECT_LE(large, small + 6 * 1024) << "100,000 rows: " << small << " KiB, 1,000,000 rows: " << large << " KiB";
}

}  // namespace
}  // namespace varnelo
