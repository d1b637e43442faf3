// exportRows: Save's file in every format to a file, stream or descriptor; the checks as SettingsError; a stop.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stop_token>

#include "control/control_fixture.h"
#include "varnelo/export.h"
#include "varnelo/sqlite_recordset.h"

namespace varnelo {
namespace {

using ::testing::StartsWith, testing_support::readFile, testing_support::writeFile;
namespace fs = std::filesystem;

// Every type of the demo table, without its multi-line texts (SQL*Loader's in-line data refuses line breaks).
RecordsetPtr demo(const std::string& sql = "SELECT order_id, order_ref, order_date, shipped_at, customer, email, "
                                           "amount, discount, is_gift, account_no FROM demo_export") {
    return std::make_shared<SqliteRecordset>(VARNELO_DEMO_DB, sql);
}

// Rows 1..n of one integer and one text column.
RecordsetPtr counted(int n) {
    return demo("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT " + std::to_string(n) +
                ") SELECT x, 'row ' || x AS t FROM c");
}

class ExportRowsTest : public testing_control::ControlTest {
protected:
    testing_support::TempDir dir;
};

// Settings off the defaults in every group: Save and exportRows write the same bytes to a file, stream, descriptor.
TEST_F(ExportRowsTest, WritesWhatSaveWritesToAFileAStreamAndADescriptor) {
    const struct { int32_t control; ExportFormat format; const char* name; } formats[] = {
        {Ascii, ExportFormat::Csv, "a.csv"}, {DelimTab, ExportFormat::Tsv, "a.tsv"},
        {DelimOther, ExportFormat::Delimited, "a.txt"}, {Inserts, ExportFormat::Insert, "a.sql"},  // leaves ","
        {ExcelFile, ExportFormat::Excel, "a.xls"}, {HTMLTable, ExportFormat::Html, "a.html"},
        {SQLLoader, ExportFormat::SqlLoader, "a.ctl"}};
    control.Quotes(Yes), control.IncludeNulls(Yes), control.UnixFormat(Yes), control.NoWrap(Yes);
    control.DelimChar("|"), control.InsertTable("orders"), control.InsertSchema("shop");
    control.CommitInterval("100"), control.StrEnclose("\""), control.HeaderBackColor(0x123456);
    ExportOptions opt{.includeNulls = true, .quotes = true, .unixFormat = true, .delimiter = "|",
                      .insertTable = "orders", .insertSchema = "shop", .commitInterval = "100", .strEnclose = "\"",
                      .noWrap = true, .headerBackColor = 0x123456, .headerFont = *control.HeaderFont(),
                      .bodyFont = *control.BodyFont()};

    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        const std::string saved = dir.file(std::string("saved-") + f.name), path = dir.file(f.name);
        ASSERT_TRUE((control.Format(f.control), control.OutputFile(saved), control.DataSource(demo()), control.Save()));
        opt.format = f.format, opt.streamName = path;  // the name the SQL*Loader file and the .xls choice go by
        const ExportResult r = exportRows(demo(), opt, path);
        EXPECT_EQ(std::pair(r.rows, r.bytes), std::pair(int64_t{300}, fs::file_size(path)));
        const std::string want = readFile(path);
        std::string fromSave = readFile(saved);  // SQL*Loader's names its bad and discard files after itself
        for (size_t at; (at = fromSave.find("saved-")) != std::string::npos;) fromSave.erase(at, 6);
        EXPECT_TRUE(fromSave == want) << "Save and exportRows differ";
        std::ostringstream stream;
        EXPECT_EQ(exportRows(demo(), opt, stream).bytes, want.size());
        EXPECT_TRUE(stream.str() == want) << "the stream differs";
        // A descriptor is written from where it stands and left open.
        const std::string viaFd = dir.file(std::string("fd-") + f.name);
        writeFile(viaFd, "head:");
        const int fd = ::open(viaFd.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        exportRows(demo(), opt, fd);
        EXPECT_EQ(::write(fd, ":tail", 5), 5);
        ::close(fd);
        EXPECT_TRUE(readFile(viaFd) == "head:" + want + ":tail") << "the descriptor differs";
    }
    // An .xlsx workbook through a stream: built aside, copied out whole.
    opt.format = ExportFormat::Excel, opt.streamName = "report.xlsx";
    std::ostringstream xlsx;
    const ExportResult r = exportRows(demo(), opt, xlsx);
    EXPECT_EQ(r.bytes, xlsx.str().size());
    EXPECT_THAT(xlsx.str(), StartsWith("PK\x03\x04"));
}

// The control's checks in its order, each naming the missing option; nothing is opened and the old file stays.
TEST_F(ExportRowsTest, AMissingSettingThrowsSettingsErrorNamingItAsSaveReportsIt) {
    const std::string file = dir.file("keep.txt");
    writeFile(file, "old");
    // Each case empties the settings it lists; the first of them in the control's order is named.
    const struct { ExportFormat format; std::string emptied; const char *setting, *text; } cases[] = {
        {ExportFormat::Insert, "source insertTable", "source", "Please set the DataSource to proceed."},
        {ExportFormat::Delimited, "delimiter path", "delimiter", "Please enter Field separator to proceed."},
        {ExportFormat::Csv, "path", "path", "Please enter file name to proceed."},
        {ExportFormat::Insert, "insertTable path", "insertTable", "Please enter Table name to proceed."},
        {ExportFormat::SqlLoader, "commitInterval", "commitInterval", "Please enter Commit interval to proceed."}};
    for (const auto& c : cases) {
        const auto kept = [&](const std::string& name, auto value) {
            return c.emptied.find(name) == std::string::npos ? value : decltype(value){};
        };
        ExportOptions opt;
        opt.format = c.format, opt.insertTable = kept("insertTable", std::string("t"));
        opt.delimiter = kept("delimiter", opt.delimiter), opt.commitInterval = kept("commitInterval", opt.commitInterval);
        try {
            exportRows(kept("source", demo()), opt, kept("path", file));
            ADD_FAILURE() << c.setting << ": nothing thrown";
        } catch (const SettingsError& e) {
            EXPECT_EQ(e.setting() + ": " + e.message(), std::string(c.setting) + ": Missing setting " + c.setting + ": " + c.text);
        }
    }
    std::ostringstream out;  // a stream has no file to name
    EXPECT_EQ(exportRows(demo(), ExportOptions{}, out).rows, 300);
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A stop ends the export with error 18, the old file kept and no temporary left; progress totals only when counted.
TEST_F(ExportRowsTest, StopKeepsTheOldFileAndProgressCountsOnRequest) {
    const std::string file = dir.file("big.csv");
    writeFile(file, "old");
    std::stop_source stop;
    std::vector<std::pair<int64_t, std::optional<int64_t>>> calls;
    ExportCallbacks callbacks{.progress = [&](int64_t done, std::optional<int64_t> total) {
        calls.emplace_back(done, total), stop.request_stop();
    }, .stop = stop.get_token()};
    const Error e = testing_support::errorOf([&] { exportRows(counted(10000), ExportOptions{}, file, callbacks); });
    EXPECT_EQ(std::to_string(e.number()) + " " + e.message() + " " + readFile(file),
              "18 User interrupt occurred (after 4096 rows) old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    for (const bool count : {true, false}) {
        calls.clear();
        ExportOptions opt;
        opt.countRows = count;
        EXPECT_EQ(exportRows(counted(5000), opt, file, {.progress = callbacks.progress, .stop = {}}).rows, 5000);
        EXPECT_EQ(calls, (decltype(calls){{4096, count ? std::optional<int64_t>(5000) : std::nullopt}, {5000, 5000}}));
    }
}

}  // namespace
}  // namespace varnelo
