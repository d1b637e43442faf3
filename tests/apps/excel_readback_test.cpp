// End-to-end: workbooks written by the command-line host and by the control
// are read back with openpyxl (tests/apps/excel_readback.py): sheet,
// placement, every value with its type, fonts, fills, borders, widths and
// the 65535-record limit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/sheet_readback.h"
#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace {

using varnelo::Variant;
using varnelo::testing_sheet::exportWorkbook;
using varnelo::testing_sheet::quote;
using varnelo::testing_sheet::readBack;
using varnelo::testing_sheet::shell;
using varnelo::testing_sheet::Workbook;
using varnelo::testing_support::TempDir;
using ::testing::HasSubstr;

TEST(ExcelReadback, DemoTableEveryValueWithItsType) {
    TempDir dir;
    const std::string out = dir.file("demo.xlsx"), bare = dir.file("bare.xlsx");
    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, "", out));
    // Without the header the same values start in row 1; IncludeNulls and
    // LowercaseColumns change nothing.
    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, "", bare, {"Columns=0", "IncludeNulls=1", "LowercaseColumns=1"}));
    varnelo::testing_sheet::expectDemoTable(readBack(out), readBack(bare));
}

TEST(ExcelReadback, HeaderAndBodyFontsFillsAndBorders) {
    TempDir dir;
    const std::string out = dir.file("look.xlsx");
    const std::string query = "SELECT 1 AS id, 'Widget' AS name, NULL AS note UNION ALL SELECT 2, 'Gadget', 'spare'";
    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, query, out,
                           {"HeaderFont=DejaVu Serif,14,bold,italic", "HeaderForeColor=0x0000FF",
                            "HeaderBackColor=0x00FF00", "BodyFont=Liberation Mono,9,italic",
                            "BodyForeColor=0x8000000F", "BodyBackColor=0x123456", "IncludeCellBorder=1"}));
    Workbook wb = readBack(out, true);
    // Every cell, the Null one too, carries its look; the body's fore colour
    // is the button face, resolved.
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) {
            SCOPED_TRACE("row " + std::to_string(r) + " column " + std::to_string(c));
            EXPECT_EQ(wb.cell("font", r, c),
                      r == 1 ? "DejaVu Serif|14.0|1|1|FF0000" : "Liberation Mono|9.0|0|1|D4D0C8");
            EXPECT_EQ(wb.cell("fill", r, c), r == 1 ? "solid|00FF00" : "solid|563412");
            EXPECT_EQ(wb.cell("border", r, c), "thin|thin|thin|thin|0");
        }
    EXPECT_EQ(wb.width("A") + wb.width("B") + wb.width("C"), 0.0) << "AutoColumnWidth 0 leaves the widths alone";

    // FontExcelDef 1: the body keeps the default look, the header its own
    // with the default colours. IncludeCellBorder 0 and 2: no lines at all.
    for (const char* border : {"IncludeCellBorder=0", "IncludeCellBorder=2"}) {
        ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, query, out,
                               {"HeaderFont=DejaVu Serif,14,bold", "BodyFont=Liberation Mono,9,italic",
                                "FontExcelDef=1", border}));
        wb = readBack(out, true);
        EXPECT_EQ(wb.cell("font", 1, 2), "DejaVu Serif|14.0|1|0|FFFFFF");
        EXPECT_EQ(wb.cell("fill", 1, 2), "solid|000040");
        EXPECT_EQ(wb.cell("font", 2, 2), "Calibri|11.0|0|0|-");
        EXPECT_EQ(wb.cell("fill", 2, 2), "-|-");
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c) EXPECT_EQ(wb.cell("border", r, c), "-|-|-|-|0") << border;
    }
}

TEST(ExcelReadback, AutoColumnWidthFitsTheWidestContent) {
    TempDir dir;
    const std::string out = dir.file("widths.xlsx"), db = dir.file("w.db"), query = "SELECT * FROM w";
    // A: a short header over long digits; B: a long header over short text;
    // C: only Nulls; D: dates with times.
    const auto made = shell(quote(VARNELO_SQLITE3_SHELL) + " -batch -bail " + quote(db) + " " +
                            quote("CREATE TABLE w (a BIGINT, a_rather_long_column_name VARCHAR(20), c TEXT, "
                                  "d DATETIME); INSERT INTO w VALUES (1234567890, 'x', NULL, "
                                  "'2024-05-06 07:08:09'), (7, 'yy', NULL, NULL);"));
    ASSERT_EQ(made.first, 0) << made.second;
    ASSERT_TRUE(exportWorkbook(db, query, out, {"AutoColumnWidth=1", "HeaderFont=Arial,11", "BodyFont=Arial,11"}));
    const Workbook wb = readBack(out, true);
    EXPECT_NEAR(wb.width("A"), 10.75, 0.75) << "10 digits, a little wider";
    EXPECT_NEAR(wb.width("B"), 25.0, 5.0) << "the header's 25 letters";
    EXPECT_NEAR(wb.width("C"), 1.25, 0.75) << "its one-letter header";
    EXPECT_NEAR(wb.width("D"), 19.0, 2.0) << "\"2024-05-06 07:08:09\"";

    // Twice the size is about twice as wide; bold a little wider.
    ASSERT_TRUE(exportWorkbook(db, query, out, {"AutoColumnWidth=1", "HeaderFont=Arial,22,bold", "BodyFont=Arial,22"}));
    const Workbook big = readBack(out, true);
    EXPECT_NEAR(big.width("A"), 2 * wb.width("A"), 1.5);
    EXPECT_GT(big.width("B"), 2 * wb.width("B"));

    // Without the header a column of Nulls shows nothing and keeps its width.
    ASSERT_TRUE(exportWorkbook(db, query, out, {"AutoColumnWidth=1", "Columns=0"}));
    const Workbook bare = readBack(out, true);
    EXPECT_EQ(bare.width("C"), 0.0);
    EXPECT_GT(bare.width("B"), 0.0);
    EXPECT_LT(bare.width("B"), 3.0) << "fitted to \"yy\" in the default 8.25-point font";
}

// Through the control itself, with a recording desktop: the message box as
// the user sees it, and failures traced under both procedures.
class ExcelControlTest : public varnelo::testing_control::ControlTest {
protected:
    void ready(std::vector<std::vector<Variant>> rows, int type, const std::string& file) {
        control.DataSource(std::make_shared<varnelo::MemoryRecordset>(std::vector<std::string>{"n"},
                                                                      std::vector<int>{type}, std::move(rows)));
        control.Format(varnelo::ExcelFile);
        control.OutputFile(file);
        forget();
    }
    TempDir dir;
};

TEST_F(ExcelControlTest, AtMost65535RecordsThenTheInformationBoxAndNothingWritten) {
    const std::string file = dir.file("many.xlsx");
    std::vector<std::vector<Variant>> rows;
    for (int64_t i = 1; i <= 65535; ++i) rows.push_back({Variant(i)});
    ready(rows, varnelo::adtype::kBigInt, file);
    control.Save();
    EXPECT_TRUE(desktop.messages.empty());
    Workbook wb = readBack(file);
    EXPECT_EQ(wb.at("size"), "65536 1");
    EXPECT_EQ(wb.cell("value", 1, 1), "n");
    for (int row = 2; row <= 65536; ++row) ASSERT_EQ(wb.cell("value", row, 1), std::to_string(row - 1)) << row;

    rows.push_back({Variant(int64_t{65536})});
    ready(std::move(rows), varnelo::adtype::kBigInt, file);
    EXPECT_FALSE(control.Save()) << "the message box ends the export: nothing is written";
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              "Currentversion supports only records upto 65535.\r\nPlease modify your SELECT query accordingly.");
    EXPECT_EQ(desktop.messages[0].title, "Information");
    EXPECT_EQ(desktop.messages[0].style, varnelo::mb::kInformation);
    wb = readBack(file);
    EXPECT_EQ(wb.at("size"), "65536 1") << "nothing is written after the message: the full sheet stays";

    // No records: an empty sheet as well, without a message.
    varnelo::testing_support::writeFile(file, "old");
    ready({}, varnelo::adtype::kBigInt, file);
    control.Save();
    EXPECT_TRUE(desktop.messages.empty());
    wb = readBack(file);
    EXPECT_EQ(wb.at("sheets") + " " + wb.at("size"), "Sheet1 0 0");
}

// Text reaches the sheet as it was, or as close as valid XML allows (and the
// count of repaired values says so); dates keep their fraction and zone.
TEST_F(ExcelControlTest, OddBytesAndPreciseDatesLoseNothing) {
    const std::string file = dir.file("odd.xlsx");
    using varnelo::DateTime;
    DateTime millis{2024, 3, 5, 14, 30, 0};
    millis.nanosecond = 123'000'000;
    millis.fractionDigits = 3;
    DateTime zoned = millis;
    zoned.zone = DateTime::Zone::Offset;
    zoned.offsetMinutes = 330;
    ready({{Variant(std::string("a\0b", 3))}, {Variant("lit _x0041_ ok")}, {Variant("bad \xFF" "byte")},
           {Variant("ctl \x01 tab\t")}, {Variant(millis)}, {Variant(zoned)}},
          varnelo::adtype::kVariant, file);
    control.Columns(0);
    control.Save();
    EXPECT_EQ(control.lastExport().repairedValues, 1);
    const Workbook wb = readBack(file);
    EXPECT_EQ(wb.cell("value", 1, 1), "a<NUL>b");
    EXPECT_EQ(wb.cell("value", 2, 1), "lit _x0041_ ok");
    EXPECT_EQ(wb.cell("value", 3, 1), "bad \xEF\xBF\xBD" "byte");
    EXPECT_EQ(wb.cell("value", 4, 1), "ctl \x01 tab\t");
    EXPECT_EQ(wb.cell("type", 5, 1) + " " + wb.cell("value", 5, 1), "d 2024-03-05 14:30:00.123000");
    EXPECT_EQ(wb.cell("format", 5, 1), "yyyy-mm-dd hh:mm:ss.000");
    EXPECT_EQ(wb.cell("type", 6, 1) + " " + wb.cell("value", 6, 1), "s 2024-03-05 14:30:00.123+05:30");
}

TEST_F(ExcelControlTest, FailuresKeepTheOldFileAndNameBothSteps) {
    const std::string file = dir.file("out.xlsx");
    varnelo::testing_support::writeFile(file, "old");
    ready({{Variant("fine")}, {Variant(std::string(40000, 'x'))}}, varnelo::adtype::kVarChar, file);
    varnelo::Error e = varnelo::testing_support::errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), varnelo::err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("Row 2, column \"n\": the text is longer than a worksheet cell holds"));
    EXPECT_THAT(varnelo::testing_control::callStack(e.description()),
                ::testing::ElementsAre("Varnelo.ExcelCopyRecords", "Varnelo.ExcelIO", "Varnelo.Save"));
    EXPECT_EQ(varnelo::testing_support::readFile(file), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"}) << "no temporary left";

    ready({{Variant("fine")}}, varnelo::adtype::kVarChar, dir.file("missing/out.xlsx"));
    e = varnelo::testing_support::errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), varnelo::err::kPathNotFound);
    EXPECT_THAT(varnelo::testing_control::callStack(e.description()),
                ::testing::ElementsAre("Varnelo.ExcelIO", "Varnelo.Save"));
}

}  // namespace
