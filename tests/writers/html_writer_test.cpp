// The HTML table writer: its three cell helpers on their own, whole files
// written from in-memory sources compared byte for byte, and the control's
// HTML export with its error trace.
#include "writers/html_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_control::callStack;
using testing_support::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Rows = std::vector<std::vector<Variant>>;

const std::string kStart = "<table border=1 cellspacing=1 cellpadding=1 Width= \"100%\">\r\n";

// One cell as the file must show it, spelled out here independently of the
// writer: opening tag, both font blocks, text, closings.
std::string cell(const std::string& open, const std::string& bg, const std::string& face, const std::string& color,
                 const std::string& size, const std::string& text, const std::string& close) {
    const std::string font =
        " <font face=\"" + face + "\" color=\"" + color + "\" size=\"" + size + "\">";
    return open + "align=\"left\" bgcolor=\"" + bg + "\"" + font + font + text + "</font>" + close + "\r\n";
}
// Header and body cells in the job's default colours and an Arial 10 font.
std::string th(const std::string& text) { return cell("<th ", "#000040", "Arial", "#FFFFFF", "2", text, "</th>"); }
std::string td(const std::string& text) { return cell("<td ", "#FFFFFF", "Arial", "#000000", "2", text, "</td>"); }

TEST(LNGtoHEX, RedFirstTwoDigitsPerByteHighByteDropped) {
    EXPECT_EQ(LNGtoHEX(255, true), "#FF0000");
    EXPECT_EQ(LNGtoHEX(16711680, true), "#0000FF");
    EXPECT_EQ(LNGtoHEX(0x8000000Fu, true), "#0F0000") << "a system colour is not translated here";
    EXPECT_EQ(LNGtoHEX(0x000A0B0Cu, true), "#0C0B0A") << "bytes below 16 keep their leading zero";
    EXPECT_EQ(LNGtoHEX(0x00123456u, false), "563412");
    EXPECT_EQ(LNGtoHEX(0, true), "#000000");
    EXPECT_EQ(LNGtoHEX(0xFFFFFFFFu, true), "#FFFFFF");
}

TEST(GetHtmlFontSize, EveryBandAndItsEdges) {
    const std::vector<std::pair<int16_t, std::string>> cases = {
        {-32768, "1"}, {0, "1"},  {8, "1"},  {9, "2"},  {10, "2"}, {11, "3"}, {12, "3"},      {13, "4"},
        {14, "4"},     {15, "5"}, {18, "5"}, {19, "6"}, {24, "6"}, {25, "7"}, {32767, "7"}};
    for (const auto& [points, size] : cases) EXPECT_EQ(GetHtmlFontSize(points), size) << points << " points";
}

TEST(GetHtmlFontSize, PointSizesRoundHalfToEven) {
    EXPECT_EQ(wholePointSize(10.5), 10);
    EXPECT_EQ(wholePointSize(12.5), 12);
    EXPECT_EQ(wholePointSize(11.5), 12);
    EXPECT_EQ(wholePointSize(24.5), 24);
    EXPECT_EQ(wholePointSize(25.5), 26);
    EXPECT_EQ(wholePointSize(8.25), 8);
    EXPECT_EQ(wholePointSize(8.75), 9);
    EXPECT_EQ(wholePointSize(-0.5), 0);
    EXPECT_EQ(wholePointSize(32767.4), 32767);
    EXPECT_EQ(errorOf([] { wholePointSize(32767.5); }).number(), err::kOverflow);
    EXPECT_EQ(errorOf([] { wholePointSize(-1e9); }).number(), err::kOverflow);
    EXPECT_EQ(errorOf([] { wholePointSize(std::nan("")); }).number(), err::kOverflow);
}

TEST(PrepareHtml, MiddleBodyCellAsDocumented) {
    Font f = *makeFont("MS Sans Serif", 10);
    EXPECT_EQ(PrepareHtml("42", "td", "M", 16777215, 0, f, 0),
              "<td align=\"left\" bgcolor=\"#FFFFFF\" <font face=\"MS Sans Serif\" color=\"#000000\" size=\"2\">"
              " <font face=\"MS Sans Serif\" color=\"#000000\" size=\"2\">42</font></td>\r\n");
}

TEST(PrepareHtml, PositionFramesTheRow) {
    Font f = *makeFont("Arial", 10);
    EXPECT_EQ(PrepareHtml("a", "th", "B", 0x400000, 0xFFFFFF, f, 0), kStart + "<tr>" + th("a"));
    EXPECT_EQ(PrepareHtml("a", "th", "M", 0x400000, 0xFFFFFF, f, 0), th("a"));
    EXPECT_EQ(PrepareHtml("a", "th", "E", 0x400000, 0xFFFFFF, f, 0), th("a") + "</tr>\r\n");
    // The table start line belongs to the header; a body row only opens.
    EXPECT_EQ(PrepareHtml("b", "td", "B", 0xFFFFFF, 0, f, 0), "<tr>" + td("b"));
    EXPECT_EQ(PrepareHtml("b", "td", "E", 0xFFFFFF, 0, f, 0), td("b") + "</tr>\r\n");
}

TEST(PrepareHtml, NoWrapOnBodyCellsOnly) {
    Font f = *makeFont("Arial", 10);
    EXPECT_THAT(PrepareHtml("x", "td", "M", 0xFFFFFF, 0, f, 1), ::testing::StartsWith("<td nowrap align="));
    EXPECT_EQ(PrepareHtml("x", "th", "M", 0x400000, 0xFFFFFF, f, 1), th("x"));
    EXPECT_EQ(PrepareHtml("x", "td", "M", 0xFFFFFF, 0, f, 2), td("x")) << "only 1 means yes";
}

TEST(PrepareHtml, FontSizeFromTheRoundedPointSize) {
    auto sizeFor = [](double points) {
        std::string s = PrepareHtml("", "td", "M", 0, 0, *makeFont("A", points), 0);
        size_t at = s.rfind("size=\"");
        return s.substr(at + 6, s.find('"', at + 6) - at - 6);
    };
    EXPECT_EQ(sizeFor(10.5), "2");  // 10.5 becomes 10
    EXPECT_EQ(sizeFor(12.5), "3");  // 12.5 becomes 12
    EXPECT_EQ(sizeFor(24), "6");
    EXPECT_EQ(sizeFor(24.5), "6");
    EXPECT_EQ(sizeFor(25), "7");
    EXPECT_EQ(sizeFor(8.25), "1");
}

TEST(PrepareHtml, TextAndFaceNamesAreEscaped) {
    Font f = *makeFont("Evil\" onload=\"x()", 10);
    std::string s = PrepareHtml("<script>alert(\"a&b\")</script>", "td", "M", 0, 0, f, 0);
    EXPECT_THAT(s, HasSubstr("face=\"Evil&quot; onload=&quot;x()\""));
    EXPECT_THAT(s, HasSubstr(">&lt;script&gt;alert(&quot;a&amp;b&quot;)&lt;/script&gt;</font></td>"));
    EXPECT_EQ(s.find("<script"), std::string::npos);
    EXPECT_THAT(PrepareHtml("a'b é", "td", "M", 0, 0, f, 0), HasSubstr(">a'b é</font>")) << "nothing else changes";
}

TEST(PrepareHtml, SystemColoursBecomeRealColours) {
    Font f = *makeFont("Arial", 10);
    // Button face and window text of the usual desktop scheme.
    std::string s = PrepareHtml("x", "td", "M", 0x8000000Fu, 0x80000008u, f, 0);
    EXPECT_THAT(s, HasSubstr("bgcolor=\"#D4D0C8\""));
    EXPECT_THAT(s, HasSubstr("color=\"#000000\""));
    EXPECT_THAT(PrepareHtml("x", "td", "M", 0x80000005u, 0x8000000Eu, f, 0),
                HasSubstr("bgcolor=\"#FFFFFF\" <font face=\"Arial\" color=\"#FFFFFF\""));
}

TEST(PrepareHtml, AFontSizeOutOfRangeFailsUnderItsTag) {
    Error e = errorOf([] { PrepareHtml("x", "td", "M", 0, 0, *makeFont("Arial", 40000), 0); });
    EXPECT_EQ(e.number(), err::kOverflow);
    EXPECT_THAT(e.description(), HasSubstr("  Method: mFunctions.PrepareHtml \r\n"));
    EXPECT_THAT(callStack(e.description()), ElementsAre("mFunctions.PrepareHtml"));
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
    TempDir dir;
    ExportJob job;
};

TEST_F(HtmlWriterTest, HeaderRowThenBodyRowsThenTheClosedTable) {
    EXPECT_EQ(write(threeByTwo), kStart + "<tr>" + th("Id") + th("Name") + th("Price") + "</tr>\r\n" +  //
                                     "<tr>" + td("1") + td("x") + td("2.5") + "</tr>\r\n" +             //
                                     "<tr>" + td("2") + td("y") + td("-1") + "</tr>\r\n" + "</table>\r\n");
    EXPECT_EQ(threeByTwo.position(), 0) << "moved back to the first row";
}

TEST_F(HtmlWriterTest, WithoutHeaderTheStartLineStandsBeforeTheFirstBodyRow) {
    job.columns = 0;
    EXPECT_EQ(write(threeByTwo), kStart + "<tr>" + td("1") + td("x") + td("2.5") + "</tr>\r\n" +  //
                                     "<tr>" + td("2") + td("y") + td("-1") + "</tr>\r\n</table>\r\n");
    job.columns = 2;  // only 1 means a header row
    EXPECT_EQ(write(threeByTwo).substr(0, kStart.size() + 4), kStart + "<tr>");
    EXPECT_EQ(write(threeByTwo).find("<th "), std::string::npos);
}

TEST_F(HtmlWriterTest, OneColumnRowsAreClosedToo) {
    MemoryRecordset rs({"Only"}, {adtype::kVarChar}, Rows{{"a"}, {"b"}});
    EXPECT_EQ(write(rs), kStart + "<tr>" + th("Only") + "</tr>\r\n" + "<tr>" + td("a") + "</tr>\r\n" + "<tr>" +
                             td("b") + "</tr>\r\n</table>\r\n");
    job.columns = 0;
    EXPECT_EQ(write(rs), kStart + "<tr>" + td("a") + "</tr>\r\n<tr>" + td("b") + "</tr>\r\n</table>\r\n");
}

TEST_F(HtmlWriterTest, EmptySourceGivesAnEmptyFile) {
    writeFile(job.outputFile, "last week's table");
    MemoryRecordset rs({"A", "B"}, {adtype::kInteger, adtype::kInteger}, Rows{});
    EXPECT_EQ(write(rs), "");
    MemoryRecordset noColumns({}, {}, Rows{{}, {}});
    EXPECT_EQ(write(noColumns), "") << "no cell, so no table to start or close";
}

TEST_F(HtmlWriterTest, NullAndEmptyValues) {
    job.columns = 0;
    MemoryRecordset rs({"S", "N", "D"}, {adtype::kVarChar, adtype::kInteger, adtype::kDate},
                       Rows{{Variant::null(), Variant(), ""}, {"0", 0, DateTime{2003, 12, 25, 13, 5, 7}}});
    const std::string second = "<tr>" + td("0") + td("0") + td("2003-12-25 13:05:07") + "</tr>\r\n</table>\r\n";
    EXPECT_EQ(write(rs), kStart + "<tr>" + td("") + td("") + td("") + "</tr>\r\n" + second);
    job.includeNulls = 1;
    EXPECT_EQ(write(rs), kStart + "<tr>" + td("NULL") + td("NULL") + td("NULL") + "</tr>\r\n" + second);
}

TEST_F(HtmlWriterTest, ValuesAndNamesAreEscapedAndLowercased) {
    MemoryRecordset rs({"A<B", "Ünit\"Q\""}, {adtype::kVarChar, adtype::kVarChar},
                       Rows{{"Tom & \"Jerry\"", "<b>bold</b>"}, {"fine", "1 > 0"}});
    EXPECT_EQ(write(rs), kStart + "<tr>" + th("A&lt;B") + th("Ünit&quot;Q&quot;") + "</tr>\r\n" +  //
                             "<tr>" + td("Tom &amp; &quot;Jerry&quot;") + td("&lt;b&gt;bold&lt;/b&gt;") +
                             "</tr>\r\n" + "<tr>" + td("fine") + td("1 &gt; 0") + "</tr>\r\n</table>\r\n");
    job.lowercaseColumns = 1;
    EXPECT_THAT(write(rs), HasSubstr(th("a&lt;b") + th("Ünit&quot;q&quot;")));
}

TEST_F(HtmlWriterTest, NoWrapReachesBodyCellsOnlyAndLinesEndInCrLfAlways) {
    job.noWrap = 1;
    job.unixFormat = 1;
    std::string html = write(threeByTwo);
    EXPECT_THAT(html, HasSubstr("<tr>" + th("Id")));
    EXPECT_EQ(html.find("<th nowrap"), std::string::npos);
    EXPECT_THAT(html, HasSubstr("<tr><td nowrap align=\"left\""));
    size_t nowraps = 0;
    for (size_t at = html.find("<td nowrap "); at != std::string::npos; at = html.find("<td nowrap ", at + 1))
        ++nowraps;
    EXPECT_EQ(nowraps, 6u);
    size_t lf = 0;
    for (size_t i = 0; i < html.size(); ++i)
        if (html[i] == '\n') {
            ++lf;
            EXPECT_TRUE(i > 0 && html[i - 1] == '\r') << "bare LF at byte " << i;
        }
    EXPECT_EQ(lf, 1u + 3 + 1 + 2 * 4 + 1) << "start, header cells, header close, two rows, table close";
}

TEST_F(HtmlWriterTest, ColoursAndFontsComeFromTheJob) {
    job.headerBackColor = 0x0000FF;
    job.headerForeColor = 0x8000000Fu;
    job.headerFont = makeFont("Times & Co", 12.5);
    job.bodyBackColor = 0x00FF00;
    job.bodyForeColor = 0xFF0000;
    job.bodyFont = makeFont("Courier", 25);
    std::string html = write(threeByTwo);
    EXPECT_THAT(html, HasSubstr("<tr>" + cell("<th ", "#FF0000", "Times &amp; Co", "#D4D0C8", "3", "Id", "</th>")));
    EXPECT_THAT(html, HasSubstr("<tr>" + cell("<td ", "#00FF00", "Courier", "#0000FF", "7", "1", "</td>")));
}

TEST_F(HtmlWriterTest, StartsAtTheCurrentRowAndReplacesTheFile) {
    writeFile(job.outputFile, std::string(100000, 'Q'));
    threeByTwo.moveTo(1);
    MemoryRecordset& rs = threeByTwo;
    // RecordCount rows from the current one: the second row, then past the end.
    Error e = errorOf([&] { writeHtml(job, rs); });
    EXPECT_EQ(e.number(), err::kNoCurrentRecord);
    EXPECT_EQ(readFile(job.outputFile), std::string(100000, 'Q')) << "a failed export keeps the old file";
    EXPECT_THAT(dir.names(), ElementsAre("out.html"));
    EXPECT_TRUE(rs.Eof()) << "not moved back after a failure";

    rs.moveTo(0);
    const std::string html = write(rs);
    EXPECT_EQ(html.find('Q'), std::string::npos) << "the old text is gone, not overwritten in part";
    EXPECT_THAT(html, ::testing::StartsWith(kStart + "<tr>" + th("Id")));
    EXPECT_THAT(html, ::testing::EndsWith(td("-1") + "</tr>\r\n</table>\r\n"));
}

TEST_F(HtmlWriterTest, AMissingFontIsAnObjectNotSet) {
    writeFile(job.outputFile, "old");
    job.headerFont.reset();
    EXPECT_EQ(errorOf([&] { writeHtml(job, threeByTwo); }).number(), err::kObjectNotSet);
    EXPECT_EQ(readFile(job.outputFile), "old");
    job.columns = 0;  // no header row: the header font is not needed
    EXPECT_THAT(write(threeByTwo), ::testing::StartsWith(kStart + "<tr>" + td("1")));
}

TEST_F(HtmlWriterTest, ManyRowsInOrderWithProgress) {
    Rows rows;
    std::string expected = kStart;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({i, "r&" + std::to_string(i)});
        expected += "<tr>" + td(std::to_string(i)) + td("r&amp;" + std::to_string(i)) + "</tr>\r\n";
    }
    expected += "</table>\r\n";
    MemoryRecordset rs({"I", "S"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows));
    job.columns = 0;
    std::vector<int64_t> done;
    job.progress = [&](int64_t rowsDone, int64_t all) {
        EXPECT_EQ(all, 10000);
        done.push_back(rowsDone);
    };
    EXPECT_EQ(write(rs), expected);
    EXPECT_THAT(done, ElementsAre(4096, 8192, 10000));
}

// The control's Save with Format 6, from its stored settings to the file.
class HtmlSaveTest : public testing_control::ControlTest {
protected:
    HtmlSaveTest() {
        control.DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"Name", "Qty"},
                                                             std::vector<int>{adtype::kVarChar, adtype::kInteger},
                                                             Rows{{"a<b", 3}, {Variant::null(), 4}}));
        control.Format(HTMLTable);
        control.OutputFile(file);
        control.HeaderFont(makeFont("Arial", 10));
        control.BodyFont(makeFont("Arial", 10));
        forget();
    }
    TempDir dir;
    std::string file = dir.file("t.html");
};

TEST_F(HtmlSaveTest, SaveWritesTheTableFromTheSettings) {
    control.IncludeNulls(1);
    control.NoWrap(1);
    control.UnixFormat(1);
    control.LowercaseColumns(1);
    control.BodyBackColor(0x8000000Fu);
    control.Save();
    EXPECT_TRUE(desktop.messages.empty());
    const std::string body = "<td nowrap align=\"left\" bgcolor=\"#D4D0C8\"";
    std::string html = readFile(file);
    EXPECT_EQ(html.substr(0, kStart.size()), kStart);
    EXPECT_THAT(html, HasSubstr("<tr>" + th("name") + th("qty") + "</tr>\r\n"));
    EXPECT_THAT(html, HasSubstr("<tr>" + body));
    EXPECT_THAT(html, HasSubstr(">a&lt;b</font></td>\r\n"));
    EXPECT_THAT(html, HasSubstr(">NULL</font></td>\r\n"));
    EXPECT_THAT(html, ::testing::EndsWith(">4</font></td>\r\n</tr>\r\n</table>\r\n"));
}

TEST_F(HtmlSaveTest, AFailureCarriesTheTraceOfEveryProcedure) {
    control.BodyFont(makeFont("Arial", 1e6));
    Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kOverflow);
    EXPECT_THAT(callStack(e.description()),
                ElementsAre("mFunctions.PrepareHtml", "Varnelo.HtmlIO", "Varnelo.Save"));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(p().SSTab1.enabled());
}

}  // namespace
}  // namespace varnelo
