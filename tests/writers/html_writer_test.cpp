// The HTML table writer: its cell helpers, whole files from in-memory
// sources compared byte for byte, and the control's Save in HTML.
#include "writers/html_writer.h"
#include "writers/pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

void writeHtml(ExportJob job, Recordset& rs) {
    job.format = 6;
    runExport(job, rs);
}

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Rows = std::vector<std::vector<Variant>>;

const std::string kStart = "<table border=1 cellspacing=1 cellpadding=1 Width= \"100%\">\r\n";
const std::string kEndRow = "</tr>\r\n", kEnd = "</table>\r\n";

// One cell spelled out independently of the writer: opening, both font blocks, text, closing.
std::string cell(const std::string& open, const std::string& bg, const std::string& face, const std::string& color,
                 const std::string& size, const std::string& text, const std::string& close) {
    const std::string font = " <font face=\"" + face + "\" color=\"" + color + "\" size=\"" + size + "\">";
    return open + "align=\"left\" bgcolor=\"" + bg + "\"" + font + font + text + "</font>" + close + "\r\n";
}
// Cells in the job's default colours and an Arial 10 font.
std::string th(const std::string& text) { return cell("<th ", "#000040", "Arial", "#FFFFFF", "2", text, "</th>"); }
std::string td(const std::string& text, const std::string& open = "<td ") {
    return cell(open, "#FFFFFF", "Arial", "#000000", "2", text, "</td>");
}

TEST(LNGtoHEX, RedFirstTwoDigitsPerByteHighByteDropped) {
    const std::vector<std::tuple<OLE_COLOR, bool, std::string>> cases = {
        {255, true, "#FF0000"},        {16711680, true, "#0000FF"},   {0x8000000Fu, true, "#0F0000"},
        {0x000A0B0Cu, true, "#0C0B0A"}, {0x00123456u, false, "563412"}, {0xFFFFFFFFu, true, "#FFFFFF"}};
    for (const auto& [colour, proper, hex] : cases) EXPECT_EQ(LNGtoHEX(colour, proper), hex) << colour;
}

TEST(GetHtmlFontSize, EveryBandItsEdgesAndHalfPointsToEven) {
    const std::vector<std::pair<int16_t, std::string>> cases = {
        {-32768, "1"}, {8, "1"},  {9, "2"},  {10, "2"}, {11, "3"}, {12, "3"}, {13, "4"},
        {14, "4"},     {15, "5"}, {18, "5"}, {19, "6"}, {24, "6"}, {25, "7"}, {32767, "7"}};
    for (const auto& [points, size] : cases) EXPECT_EQ(GetHtmlFontSize(points), size) << points << " points";

    const std::vector<std::pair<double, int16_t>> rounded = {
        {10.5, 10}, {12.5, 12}, {11.5, 12}, {25.5, 26}, {8.25, 8}, {8.75, 9}, {-0.5, 0}, {32767.4, 32767}};
    for (const auto& [points, whole] : rounded) EXPECT_EQ(wholePointSize(points), whole) << points;
    for (double bad : {32767.5, -1e9, std::nan("")})
        EXPECT_EQ(errorOf([&] { wholePointSize(bad); }).number(), err::kOverflow) << bad;
}

TEST(PrepareHtml, CellKindPositionAndNoWrap) {
    const std::vector<std::tuple<std::string, const char*, int, std::string>> cases = {
        {"th", "B", 0, kStart + "<tr>" + th("a")},  // the table starts with the header row
        {"th", "M", 1, th("a")},                    // never nowrap on a header cell
        {"th", "E", 0, th("a") + kEndRow},
        {"td", "B", 0, "<tr>" + td("a")},
        {"td", "M", 1, td("a", "<td nowrap ")},
        {"td", "M", 2, td("a")},  // only 1 means yes
        {"td", "E", 0, td("a") + kEndRow}};
    const Font f = *makeFont("Arial", 10);
    for (const auto& [type, position, noWrap, want] : cases) {
        const bool head = type == "th";
        EXPECT_EQ(PrepareHtml("a", type, position, head ? 0x400000 : 0xFFFFFF, head ? 0xFFFFFF : 0, f, noWrap), want)
            << type << " " << position << " " << noWrap;
    }
}

TEST(PrepareHtml, RoundedSizesRealSystemColoursAndEscaping) {
    for (const auto& [points, size] : {std::pair{10.5, "2"}, {12.5, "3"}})
        EXPECT_EQ(PrepareHtml("x", "td", "M", 0xFFFFFF, 0, *makeFont("Arial", points), 0),
                  cell("<td ", "#FFFFFF", "Arial", "#000000", size, "x", "</td>"));
    // Button face and window text of the usual desktop scheme, not their indexes.
    EXPECT_EQ(PrepareHtml("x", "td", "M", 0x8000000Fu, 0x80000008u, *makeFont("Arial", 10), 0),
              cell("<td ", "#D4D0C8", "Arial", "#000000", "2", "x", "</td>"));
    EXPECT_EQ(PrepareHtml("<s>\"a&b\" a'b é", "td", "M", 0xFFFFFF, 0, *makeFont("Evil\" x=\"<&>", 10), 0),
              cell("<td ", "#FFFFFF", "Evil&quot; x=&quot;&lt;&amp;&gt;", "#000000", "2",
                   "&lt;s&gt;&quot;a&amp;b&quot; a'b é", "</td>"));
}

class HtmlWriterTest : public ::testing::Test {
protected:
    HtmlWriterTest() {
        job.outputFile = dir.file("out.html");
        job.headerFont = makeFont("Arial", 10);
        job.bodyFont = makeFont("Arial", 10);
    }
    std::string write(MemoryRecordset& rs) {
        writeHtml(job, rs);
        return readFile(job.outputFile);
    }

    MemoryRecordset threeByTwo{{"Id", "Name", "Price"},
                               {adtype::kInteger, adtype::kVarChar, adtype::kDouble},
                               Rows{{1, "x", 2.5}, {2, "y", -1.0}}};
    const std::string header = kStart + "<tr>" + th("Id") + th("Name") + th("Price") + kEndRow;
    const std::string body = "<tr>" + td("1") + td("x") + td("2.5") + kEndRow + "<tr>" + td("2") + td("y") +
                             td("-1") + kEndRow + kEnd;
    TempDir dir;
    ExportJob job;
};

TEST_F(HtmlWriterTest, HeaderOnlyWithColumnsOneRowsClosedAndNoCellsGiveAnEmptyFile) {
    EXPECT_EQ(write(threeByTwo), header + body);
    EXPECT_EQ(threeByTwo.position(), 0) << "moved back to the first row";
    for (int columns : {0, 2}) {
        job.columns = columns;
        EXPECT_EQ(write(threeByTwo), kStart + body) << "Columns " << columns;
    }
    MemoryRecordset rs({"Only"}, {adtype::kVarChar}, Rows{{"a"}, {"b"}});
    const std::string rows = "<tr>" + td("a") + kEndRow + "<tr>" + td("b") + kEndRow + kEnd;
    EXPECT_EQ(write(rs), kStart + rows);
    MemoryRecordset noRows({"A", "B"}, {adtype::kInteger, adtype::kInteger}, Rows{});
    EXPECT_EQ(write(noRows), "") << "the old file is replaced";
    job.columns = 1;
    EXPECT_EQ(write(rs), kStart + "<tr>" + th("Only") + kEndRow + rows);
    MemoryRecordset noColumns({}, {}, Rows{{}, {}});
    EXPECT_EQ(write(noColumns), "") << "no cell, so no table to start or close";
}

TEST_F(HtmlWriterTest, NullAndEmptyValues) {
    job.columns = 0;
    MemoryRecordset rs({"S", "N", "D"}, {adtype::kVarChar, adtype::kInteger, adtype::kDate},
                       Rows{{Variant::null(), Variant(), ""}, {"0", 0, DateTime{2003, 12, 25, 13, 5, 7}}});
    const std::string second = "<tr>" + td("0") + td("0") + td("2003-12-25 13:05:07") + kEndRow + kEnd;
    EXPECT_EQ(write(rs), kStart + "<tr>" + td("") + td("") + td("") + kEndRow + second);
    job.includeNulls = 1;
    EXPECT_EQ(write(rs), kStart + "<tr>" + td("NULL") + td("NULL") + td("NULL") + kEndRow + second);
}

// Escaping, colours, fonts and nowrap are proved per cell (PrepareHtml), and
// through the whole control by HtmlSaveTest and the parser's read-back.
TEST_F(HtmlWriterTest, NamesAreEscapedAndLowercased) {
    MemoryRecordset rs({"A<B", "Ünit\"Q\""}, {adtype::kVarChar, adtype::kVarChar}, Rows{{"Tom & Jerry", "1 > 0"}});
    job.lowercaseColumns = 1;
    EXPECT_EQ(write(rs), kStart + "<tr>" + th("a&lt;b") + th("Ünit&quot;q&quot;") + kEndRow + "<tr>" +
                             td("Tom &amp; Jerry") + td("1 &gt; 0") + kEndRow + kEnd);
}

TEST_F(HtmlWriterTest, AFailureKeepsTheOldFileAndASuccessReplacesIt) {
    writeFile(job.outputFile, std::string(100000, 'Q'));
    job.headerFont.reset();
    EXPECT_EQ(errorOf([&] { writeHtml(job, threeByTwo); }).number(), err::kObjectNotSet);
    EXPECT_EQ(readFile(job.outputFile), std::string(100000, 'Q'));
    EXPECT_THAT(dir.names(), ElementsAre("out.html"));
    job.headerFont = makeFont("Arial", 10);
    threeByTwo.moveTo(1);  // an export starts at the first row, wherever the cursor was
    EXPECT_EQ(write(threeByTwo), header + body);

    job.headerFont.reset();
    EXPECT_EQ(errorOf([&] { writeHtml(job, threeByTwo); }).number(), err::kObjectNotSet);
    EXPECT_EQ(readFile(job.outputFile), header + body);
    job.columns = 0;  // no header row: the header font is not needed
    EXPECT_EQ(write(threeByTwo), kStart + body);
}

TEST_F(HtmlWriterTest, ManyRowsInOrderWithProgress) {
    Rows rows;
    std::string expected = kStart;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({i, "r&" + std::to_string(i)});
        expected += "<tr>" + td(std::to_string(i)) + td("r&amp;" + std::to_string(i)) + kEndRow;
    }
    MemoryRecordset rs({"I", "S"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows));
    job.columns = 0;
    std::vector<std::pair<int64_t, int64_t>> done;
    job.progress = [&](int64_t rowsDone, int64_t all) { done.emplace_back(rowsDone, all); };
    EXPECT_EQ(write(rs), expected + kEnd);
    EXPECT_THAT(done, ElementsAre(std::pair{4096, -1}, std::pair{8192, -1}, std::pair{10000, 10000}));
}

using HtmlSaveTest = testing_control::ControlTest;

// The control's Save in HTML: a failure keeps the old file and names every
// procedure; the stored settings reach the file.
TEST_F(HtmlSaveTest, AFailureKeepsTheOldFileThenTheSettingsReachIt) {
    TempDir dir;
    const std::string file = dir.file("t.html");
    writeFile(file, "old");
    control.DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"Name", "Qty"},
                                                         std::vector<int>{adtype::kVarChar, adtype::kInteger},
                                                         Rows{{"a<b", 3}, {Variant::null(), 4}}));
    control.Format(HTMLTable);
    control.OutputFile(file);
    control.HeaderFont(makeFont("Arial", 10));
    control.BodyFont(makeFont("Arial", 1e6));
    Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kOverflow);
    EXPECT_THAT(testing_control::callStack(e.description()),
                ElementsAre("mFunctions.PrepareHtml", "Varnelo.HtmlIO", "Varnelo.Save"));
    EXPECT_EQ(readFile(file), "old");
    EXPECT_TRUE(p().SSTab1.enabled());

    control.BodyFont(makeFont("Arial", 10));
    control.IncludeNulls(1);
    control.NoWrap(1);
    control.UnixFormat(1);
    control.LowercaseColumns(1);
    control.BodyBackColor(0x8000000Fu);
    forget();
    control.Save();
    EXPECT_TRUE(desktop.messages.empty());
    auto body = [](auto t) { return cell("<td nowrap ", "#D4D0C8", "Arial", "#000000", "2", t, "</td>"); };
    EXPECT_EQ(readFile(file), kStart + "<tr>" + th("name") + th("qty") + kEndRow + "<tr>" + body("a&lt;b") +
                                  body("3") + kEndRow + "<tr>" + body("NULL") + body("4") + kEndRow + kEnd);
}

}  // namespace
}  // namespace varnelo
