// The Excel writer's pieces: colours, text measurement, column widths, and
// the workbook's life (limit, empty source, failures that keep the old file).
// Values, fonts and widths are read back with a real reader in
// tests/apps/excel_readback_test.cpp.
#include "writers/excel_writer.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using testing_support::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Rows = std::vector<std::vector<Variant>>;

// The sheet's XML, straight out of the zip container.
std::string sheetXml(const std::string& xlsx) {
    std::string cmd = "unzip -p '" + xlsx + "' xl/worksheets/sheet1.xml";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

std::string workbookXml(const std::string& xlsx) {
    std::string cmd = "unzip -p '" + xlsx + "' xl/workbook.xml";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

MemoryRecordset oneColumn(int64_t rows) {
    Rows r;
    r.reserve(static_cast<size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) r.push_back({Variant(i)});
    return MemoryRecordset({"n"}, {adtype::kBigInt}, std::move(r));
}

TEST(ExcelColor, PlainColoursSwapToRgbAndSystemColoursResolve) {
    EXPECT_EQ(excelColor(0x0000FF), 0xFF0000u);  // red in the low byte
    EXPECT_EQ(excelColor(0x00FF00), 0x00FF00u);
    EXPECT_EQ(excelColor(0x400000), 0x000040u);  // the default header fill, dark blue
    EXPECT_EQ(excelColor(0x123456), 0x563412u);
    EXPECT_EQ(excelColor(0xFFFFFF), 0xFFFFFFu);
    // Black must be explicit: libxlsxwriter takes 0 for "no colour".
    EXPECT_EQ(excelColor(0x000000), static_cast<uint32_t>(LXW_COLOR_BLACK));
    EXPECT_EQ(excelColor(0x8000000F), 0xD4D0C8u);  // button face
    EXPECT_EQ(excelColor(0x80000005), 0xFFFFFFu);  // window background
    EXPECT_EQ(excelColor(0x80000008), static_cast<uint32_t>(LXW_COLOR_BLACK));  // window text
}

TEST(TextPixelWidth, ScalesWithTextFontSizeAndWeight) {
    EXPECT_DOUBLE_EQ(textPixelWidth("0123456789", 11, false), 70.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("0123456789", 22, false), 140.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("0123456789", 8.25, false), 52.5);
    EXPECT_GT(textPixelWidth("0123456789", 11, true), 70.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("", 11, false), 0.0);

    EXPECT_LT(textPixelWidth("iiiiiiii", 11, false), textPixelWidth("MMMMMMMM", 11, false));
    EXPECT_LT(textPixelWidth("customer 1", 11, false), textPixelWidth("customer 10", 11, false));
}

TEST(TextPixelWidth, LinesWideAndZeroWidthCharacters) {
    // The widest line counts, with or without CR before the LF.
    EXPECT_DOUBLE_EQ(textPixelWidth("12\n12345\n1", 11, false), 35.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("12345\r\n12", 11, false), 35.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("\n\n", 11, false), 0.0);
    // A CJK character is two digits wide, an accented letter one, a
    // combining accent nothing.
    EXPECT_DOUBLE_EQ(textPixelWidth("\xE4\xB8\xAD\xE6\x96\x87", 11, false), 28.0);  // 中文
    EXPECT_DOUBLE_EQ(textPixelWidth("\xC3\xA9", 11, false), 7.0);                  // é
    EXPECT_DOUBLE_EQ(textPixelWidth("e\xCC\x81", 11, false), 7.0);                 // e + U+0301
    EXPECT_DOUBLE_EQ(textPixelWidth("\xF0\x9F\x98\x80", 11, false), 14.0);         // an emoji
    // Broken UTF-8 is measured, never read past its end.
    EXPECT_DOUBLE_EQ(textPixelWidth("\xE4\xB8", 11, false), 14.0);
    EXPECT_DOUBLE_EQ(textPixelWidth("\x80", 11, false), 7.0);
}

TEST(ColumnWidth, FitsTheTextWithMarginsAndStopsAt255) {
    // N digits at 11 points are 7N pixels: the column is a little over N.
    for (int n : {1, 5, 10, 40}) {
        const double w = columnWidthForText(7.0 * n);
        EXPECT_GE(w, n) << n;
        EXPECT_LT(w, n + 1) << n;
        // As libxlsxwriter turns the width into pixels, the text fits.
        EXPECT_GE(w * 7 + 5, 7.0 * n + 3) << n;
    }
    EXPECT_LT(columnWidthForText(1), 1.0);
    EXPECT_GT(columnWidthForText(1), 0.0);
    EXPECT_DOUBLE_EQ(columnWidthForText(1e6), 255.0);
    EXPECT_LT(columnWidthForText(100), columnWidthForText(101));
}

class ExcelWriterTest : public ::testing::Test {
protected:
    ExcelWriterTest() { job.outputFile = dir.file("out.xlsx"); }
    TempDir dir;
    ExportJob job;
};

TEST_F(ExcelWriterTest, WritesOneSheetAndMovesBackToTheFirstRow) {
    MemoryRecordset rs({"id", "name"}, {adtype::kInteger, adtype::kVarChar},
                       Rows{{1, "a"}, {2, "b"}, {3, "c"}});
    rs.moveTo(2);  // the whole source is copied, wherever the cursor stood
    std::vector<std::pair<int64_t, int64_t>> progress;
    job.progress = [&](int64_t done, int64_t all) { progress.emplace_back(done, all); };

    EXPECT_EQ(writeExcel(job, rs), ExcelCopyResult::Copied);
    EXPECT_EQ(rs.position(), 0);
    EXPECT_EQ(progress.back(), std::make_pair(int64_t{3}, int64_t{3}));
    EXPECT_NE(workbookXml(job.outputFile).find("<sheet name=\"Sheet1\""), std::string::npos);
    const std::string xml = sheetXml(job.outputFile);
    EXPECT_NE(xml.find("<dimension ref=\"A1:B4\"/>"), std::string::npos) << xml;
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"}) << "no temporary left";
}

TEST_F(ExcelWriterTest, WithoutColumnsTheDataStartsInRowOne) {
    job.columns = 0;
    job.fontExcelDef = 1;  // plain cells, easy to find in the XML
    MemoryRecordset rs({"id"}, {adtype::kInteger}, Rows{{7}, {8}});
    writeExcel(job, rs);
    const std::string xml = sheetXml(job.outputFile);
    EXPECT_NE(xml.find("<dimension ref=\"A1:A2\"/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c r=\"A1\"><v>7</v></c>"), std::string::npos) << xml;
}

TEST_F(ExcelWriterTest, EmptySourceReplacesTheFileWithAnEmptySheet) {
    writeFile(job.outputFile, "last week's export");
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{});
    EXPECT_EQ(writeExcel(job, rs), ExcelCopyResult::Empty);
    EXPECT_EQ(readFile(job.outputFile).substr(0, 2), "PK");
    EXPECT_NE(sheetXml(job.outputFile).find("<sheetData/>"), std::string::npos);
    EXPECT_NE(workbookXml(job.outputFile).find("<sheet name=\"Sheet1\""), std::string::npos);
}

TEST_F(ExcelWriterTest, AtMost65535Records) {
    job.fontExcelDef = 1;
    MemoryRecordset fits = oneColumn(kExcelMaxRecords);
    EXPECT_EQ(writeExcel(job, fits), ExcelCopyResult::Copied);
    const std::string full = sheetXml(job.outputFile);
    EXPECT_NE(full.find("<dimension ref=\"A1:A65536\"/>"), std::string::npos);
    EXPECT_NE(full.find("<c r=\"A65536\"><v>65534</v></c>"), std::string::npos);

    MemoryRecordset over = oneColumn(kExcelMaxRecords + 1);
    over.moveTo(5);
    EXPECT_EQ(writeExcel(job, over), ExcelCopyResult::TooManyRecords);
    EXPECT_NE(sheetXml(job.outputFile).find("<sheetData/>"), std::string::npos)
        << "the earlier full sheet is replaced by an empty one";
    EXPECT_EQ(over.position(), 5) << "nothing was read";
}

TEST_F(ExcelWriterTest, ValuesASheetCannotHoldExactlyBecomeText) {
    job.columns = 0;
    job.fontExcelDef = 1;
    MemoryRecordset rs({"big", "d", "day"}, {adtype::kBigInt, adtype::kDouble, adtype::kDate},
                       Rows{{Variant(int64_t{999'999'999'999'999}), Variant(1e308 * 10), Variant(DateTime{1850, 3, 4})},
                            {Variant(int64_t{1'000'000'000'000'000}), Variant(-1.5), Variant("2024-02-29 13:05:09")}});
    writeExcel(job, rs);
    const std::string xml = sheetXml(job.outputFile);
    EXPECT_NE(xml.find("<c r=\"A1\"><v>999999999999999</v></c>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c r=\"A2\" t=\"inlineStr\"><is><t>1000000000000000</t></is></c>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"B1\" t=\"inlineStr\"><is><t>Infinity</t></is></c>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"B2\"><v>-1.5</v></c>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"C1\" t=\"inlineStr\"><is><t>1850-03-04</t></is></c>"), std::string::npos);
    // ISO text in a date column is a date: 2024-02-29 is day 45351.
    EXPECT_NE(xml.find("<v>45351.545243055"), std::string::npos) << xml;
}

TEST_F(ExcelWriterTest, FailuresKeepTheOldFileAndLeaveNoTemporary) {
    writeFile(job.outputFile, "last week's export");
    MemoryRecordset tooLong({"t"}, {adtype::kVarChar}, Rows{{"ok"}, {std::string(40000, 'x')}});
    Error e = errorOf([&] { writeExcel(job, tooLong); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_NE(e.description().find("row 3, column 1"), std::string::npos) << e.description();
    EXPECT_EQ(readFile(job.outputFile), "last week's export");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"});

    // A record source that fails part-way (a row shorter than the count).
    class Failing : public MemoryRecordset {
    public:
        using MemoryRecordset::MemoryRecordset;
        Variant fieldValue(int index) const override {
            if (position() == 1) throw Error(err::kNoCurrentRecord, "ADODB.Recordset", "gone");
            return MemoryRecordset::fieldValue(index);
        }
    } failing({"n"}, {adtype::kInteger}, Rows{{1}, {2}});
    EXPECT_EQ(errorOf([&] { writeExcel(job, failing); }).number(), err::kNoCurrentRecord);
    EXPECT_EQ(readFile(job.outputFile), "last week's export");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"});

    job.outputFile = dir.file("no-such-folder/out.xlsx");
    MemoryRecordset rs({"n"}, {adtype::kInteger}, Rows{{1}});
    EXPECT_EQ(errorOf([&] { writeExcel(job, rs); }).number(), err::kPathNotFound);
}

TEST_F(ExcelWriterTest, AWorkbookDroppedBeforeSaveWritesNothing) {
    writeFile(job.outputFile, "old");
    {
        ExcelWorkbook book(job);
        MemoryRecordset rs({"n"}, {adtype::kInteger}, Rows{{1}});
        book.copyRecords(rs);
    }
    EXPECT_EQ(readFile(job.outputFile), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"});
}

}  // namespace
}  // namespace varnelo
