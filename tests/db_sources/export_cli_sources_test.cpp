// varnelo-export takes its source by the form of its argument: a SQLite
// file, a PostgreSQL URI or connection string, an ODBC connection string.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "db_sources/db_fixture.h"
#include "support/test_support.h"

namespace varnelo {
namespace {

using namespace testing_support;

TEST(ExportCliSources, EachSourceFormGivesTheSameFile) {
    std::string why;
    testing_support::PgServer* server = db_test::pgServer(why);
    if (!server) GTEST_SKIP() << why;
    db_test::OdbcDrivers& drivers = db_test::OdbcDrivers::drivers();
    testing_support::TempDir dir;
    const std::string query = "SELECT n, 'Zoë, ' || n AS name FROM counting WHERE n <= 3 ORDER BY n";
    const std::string expected = "n,name\n1,\"Zoë, 1\"\n2,\"Zoë, 2\"\n3,\"Zoë, 3\"";
    const std::pair<std::string, std::string> forms[] = {
        {"uri", "--db " + shellQuoted("postgresql://postgres@/postgres?host=" + server->socketDir())},
        {"conninfo", "--pg " + shellQuoted(server->conninfo())},
        {"odbc", "--odbc " + shellQuoted("Driver={PostgreSQL Unicode};Servername=" + server->socketDir() +
                                         ";Database=postgres;UID=postgres")},
    };
    for (const auto& [name, args] : forms) {
        if (name == "odbc" && !drivers.hasPostgres()) continue;
        const std::string out = dir.file(name + ".csv");
        Outcome o = run(shellQuoted(VARNELO_EXPORT_BIN) + " --quiet " + args + " --query " + shellQuoted(query) +
                        " --format csv --set Quotes=1 --set UnixFormat=1 -o " + shellQuoted(out) + " --settings-dir " +
                        shellQuoted(dir.path()));
        ASSERT_EQ(o.status, 0) << name << ": " << o.output;
        EXPECT_EQ(readFile(out), expected) << name;
    }
}

// Memory follows the batch, not the table: a million rows take no more than a
// hundred thousand, give or take a few MiB.
TEST(ExportCliSources, PeakMemoryDoesNotGrowWithThePostgresRowCount) {
    std::string why;
    testing_support::PgServer* server = db_test::pgServer(why);
    if (!server) GTEST_SKIP() << why;
    testing_support::TempDir dir;
    auto peakKiB = [&](int rows) {
        const std::string peak = dir.file("peak.txt");
        const std::string query = "SELECT n, n * 0.5 AS half, 'label ' || n AS label, now() AS at "
                                  "FROM generate_series(1, " + std::to_string(rows) + ") n";
        // Under AddressSanitizer freed memory waits in quarantine: without it the peak is the program's own.
        testing_support::Outcome o =
            run("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0 /usr/bin/time -f %M -o " +
                shellQuoted(peak) + " " + shellQuoted(VARNELO_EXPORT_BIN) + " --quiet --pg " +
                shellQuoted(server->conninfo()) + " --query " + shellQuoted(query) + " --format csv -o " +
                shellQuoted(dir.file("rows.csv")) + " --settings-dir " + shellQuoted(dir.path()));
        EXPECT_EQ(o.status, 0) << o.output;
        return std::stol(readFile(peak));
    };
    const long small = peakKiB(100'000), large = peakKiB(1'000'000);
    EXPECT_LE(large, small + 6 * 1024) << "100,000 rows: " << small << " KiB, 1,000,000 rows: " << large << " KiB";
}

}  // namespace
}  // namespace varnelo
