// The sheet model's parts: colours, date serials, text measurement, column
// widths and the workbook's life. Values, looks and the record limit are read back with a
// real reader in tests/apps/excel_readback_test.cpp.
#include "writers/sheet_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/failing_recordset.h"
#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"
#include "writers/pipeline.h"

namespace varnelo {
namespace {

using testing_support::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Rows = std::vector<std::vector<Variant>>;

// One part of the workbook, straight out of the zip container.
std::string zipPart(const std::string& xlsx, const char* part) {
    std::string out;
    if (FILE* p = ::popen(("unzip -p '" + xlsx + "' " + part).c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

ExportResult writeExcel(ExportJob job, Recordset& rs) {
    job.format = 4;
    return runExport(job, rs);
}

TEST(SheetRgb, PlainColoursSwapToRgbAndSystemColoursResolve) {
    EXPECT_EQ(sheetRgb(0x0000FF), 0xFF0000u);  // red in the low byte
    EXPECT_EQ(sheetRgb(0x123456), 0x563412u);
    EXPECT_EQ(sheetRgb(0x8000000F), 0xD4D0C8u);  // button face
    EXPECT_EQ(sheetRgb(0x80000008), 0u);         // window text
}

TEST(ExcelSerial, CountsFrom1900WithItsPhantomLeapDay) {
    EXPECT_DOUBLE_EQ(excelSerial(1900, 1, 1, 0, 0, 0, 0), 1.0);
    EXPECT_DOUBLE_EQ(excelSerial(1900, 2, 28, 0, 0, 0, 0), 59.0);
    EXPECT_DOUBLE_EQ(excelSerial(1900, 3, 1, 0, 0, 0, 0), 61.0);
    EXPECT_DOUBLE_EQ(excelSerial(2024, 2, 29, 12, 0, 0, 0), 45351.5);
    EXPECT_DOUBLE_EQ(excelSerial(9999, 12, 31, 0, 0, 0, 0), 2958465.0);
    EXPECT_NEAR(excelSerial(2024, 3, 5, 14, 30, 0, 123'000'000) - excelSerial(2024, 3, 5, 14, 30, 0, 0),
                0.123 / 86400, 1e-11);
}

TEST(TextPixelWidth, ScalesWithFontAndMeasuresTheWidestLine) {
    EXPECT_DOUBLE_EQ(textPixelWidth("0123456789", 11, false), 70.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("0123456789", 22, false), 140.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("0123456789", 8.25, false), 52.5);
    EXPECT_GT(textPixelWidth("0123456789", 11, true), 70.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("", 11, false), 0.0);
    EXPECT_LT(textPixelWidth("iiiiiiii", 11, false), textPixelWidth("MMMMMMMM", 11, false));
    // The widest line counts, with or without CR before the LF.
    EXPECT_DOUBLE_EQ(textPixelWidth("12\n12345\n1", 11, false), 35.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("12345\r\n12", 11, false), 35.0);
    // CJK and emoji are two digits wide, an accented letter one, a combining
    // accent nothing; broken UTF-8 is measured, never read past its end.
    EXPECT_DOUBLE_EQ(textPixelWidth("\xE4\xB8\xAD\xE6\x96\x87", 11, false), 28.0);  // 中文
    EXPECT_DOUBLE_EQ(textPixelWidth("\xF0\x9F\x98\x80", 11, false), 14.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("e\xCC\x81", 11, false), 7.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("\xE4\xB8", 11, false), 14.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("\x80", 11, false), 7.0);
}

TEST(ColumnWidth, FitsTheTextWithMarginsAndStopsAt255) {
    // N digits at 11 points are 7N pixels: the column is a little over N,
    // and as libxlsxwriter turns the width into pixels the text fits.
    for (int n : {1, 5, 10, 40}) {
        const double w = columnWidthForText(7.0 * n);
        EXPECT_GE(w, n) << n;
        EXPECT_LT(w, n + 1) << n;
        EXPECT_GE(w * 7 + 5, 7.0 * n + 3) << n;
    }
    EXPECT_GT(columnWidthForText(1), 0.0);
    EXPECT_LT(columnWidthForText(1), 1.0);
    EXPECT_DOUBLE_EQ(columnWidthForText(1e6), 255.0);
}

class ExcelWriterTest : public ::testing::Test {
protected:
    ExcelWriterTest() { job.outputFile = dir.file("out.xlsx"); }
    TempDir dir;
    ExportJob job;
};

TEST_F(ExcelWriterTest, WritesOneSheetAndMovesBackToTheFirstRow) {
    MemoryRecordset rs({"id", "name"}, {adtype::kInteger, adtype::kVarChar}, Rows{{1, "a"}, {2, "b"}, {3, "c"}});
    rs.moveTo(2);  // the whole source is copied, wherever the cursor stood
    std::pair<int64_t, int64_t> progress;
    job.progress = [&](int64_t done, int64_t all) { progress = {done, all}; };
    EXPECT_EQ(writeExcel(job, rs).rows, 3);
    EXPECT_EQ(rs.position(), 0);
    EXPECT_EQ(progress, std::make_pair(int64_t{3}, int64_t{3}));
    EXPECT_NE(zipPart(job.outputFile, "xl/worksheets/sheet1.xml").find("<dimension ref=\"A1:B4\"/>"),
              std::string::npos);
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"}) << "no temporary left";
}

TEST_F(ExcelWriterTest, ValuesASheetCannotHoldExactlyBecomeText) {
    job.columns = 0;
    job.fontExcelDef = 1;  // plain cells, easy to find in the XML
    MemoryRecordset rs({"big", "d", "day"}, {adtype::kBigInt, adtype::kDouble, adtype::kDate},
                       Rows{{Variant(int64_t{999'999'999'999'999}), Variant(1e308 * 10), Variant(DateTime{1850, 3, 4})},
                            {Variant(int64_t{1'000'000'000'000'000}), Variant(-1.5), Variant("2024-02-29 13:05:09")}});
    writeExcel(job, rs);
    const std::string xml = zipPart(job.outputFile, "xl/worksheets/sheet1.xml");
    EXPECT_NE(xml.find("<c r=\"A1\"><v>999999999999999</v></c>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c r=\"A2\" t=\"inlineStr\"><is><t>1000000000000000</t></is></c>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"B1\" t=\"inlineStr\"><is><t>Infinity</t></is></c>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"C1\" t=\"inlineStr\"><is><t>1850-03-04</t></is></c>"), std::string::npos);
    // ISO text in a date column is a date: 2024-02-29 is day 45351.
    EXPECT_NE(xml.find("<v>45351.545243055"), std::string::npos);
}

TEST_F(ExcelWriterTest, ARecordSourceFailurePassesThroughAndKeepsTheOldFile) {
    writeFile(job.outputFile, "last week's export");
    testing_support::FailingRecordset failing({"n"}, {adtype::kInteger}, Rows{{1}, {2}}, 1);
    EXPECT_EQ(errorOf([&] { writeExcel(job, failing); }).number(), err::kNoCurrentRecord);
    EXPECT_EQ(readFile(job.outputFile), "last week's export");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"});
}

}  // namespace
}  // namespace varnelo
