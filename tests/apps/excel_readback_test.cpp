// End-to-end: workbooks of both formats, .xlsx and .xls, written by the command-line host and by the control, read
// back with openpyxl and xlrd; then what only .xls faces: the name rule, shared strings across CONTINUE records, a
// file past 109 FAT sectors, the 256-column limit.
#include <gmock/gmock.h>

#include <limits>

#include "apps/sheet_readback.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_sheet;
using ::testing::ElementsAre, ::testing::HasSubstr;

const char* const kFormats[] = {"xlsx", "xls"};

// Without the header the same values start in row 1; IncludeNulls and LowercaseColumns change nothing.
TEST(WorkbookReadback, DemoTableEveryValueWithItsType) {
    TempDir dir;
    for (const std::string ext : kFormats) {
        const std::string out = dir.file("demo." + ext), bare = dir.file("bare." + ext);
        ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, "", out));
        ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, "", bare, {"Columns=0", "IncludeNulls=1", "LowercaseColumns=1"}));
        SCOPED_TRACE(ext);
        expectDemoTable(readBack(out), readBack(bare));
    }
}

// Every cell, the Null one too, carries its part's look, colours exact; FontExcelDef 1: the body keeps
// the default look, the header its own in the default colours; IncludeCellBorder 0, 2: no lines.
TEST(WorkbookReadback, HeaderAndBodyLooks) {
    TempDir dir;
    const std::string query = "SELECT 1 AS id, 'Widget' AS name, NULL AS note UNION ALL SELECT 2, 'Gadget', 'spare'";
    for (const std::string ext : kFormats) {
        SCOPED_TRACE(ext);
        const std::string out = dir.file("look." + ext);
        ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, query, out,
                                   {"HeaderFont=DejaVu Serif,14,bold,italic", "HeaderForeColor=0x0000FF",
                                    "HeaderBackColor=0x00FF00", "BodyFont=Liberation Mono,9,italic",
                                    "BodyForeColor=0x8000000F", "BodyBackColor=0x123456", "IncludeCellBorder=1"}));
        Workbook wb = readBack(out, true);
        const auto look = [&](int r, int c) {
            return wb.cell("font", r, c) + " " + wb.cell("fill", r, c) + " " + wb.cell("border", r, c);
        };
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c)
                EXPECT_EQ(look(r, c), r == 1 ? "DejaVu Serif|14.0|1|1|FF0000 solid|00FF00 thin|thin|thin|thin|0"
                                             : "Liberation Mono|9.0|0|1|D4D0C8 solid|563412 thin|thin|thin|thin|0")
                    << "row " << r << " column " << c;
        EXPECT_EQ(wb.cell("type", 2, 3), "<none>") << "the Null is a blank that only carries the look";
        EXPECT_EQ(wb.width("A") + wb.width("B") + wb.width("C"), 0.0) << "AutoColumnWidth 0 leaves the widths alone";
        for (const char* border : {"IncludeCellBorder=0", "IncludeCellBorder=2"}) {
            ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, query, out, {"HeaderFont=DejaVu Serif,14,bold",
                                                                     "BodyFont=Liberation Mono,9,italic", "FontExcelDef=1", border}));
            wb = readBack(out, true);
            for (int r = 1; r <= 3; ++r)
                for (int c = 1; c <= 3; ++c)
                    EXPECT_EQ(look(r, c), r == 1 ? "DejaVu Serif|14.0|1|0|FFFFFF solid|000040 -|-|-|-|0"
                                                 : "Calibri|11.0|0|0|- -|- -|-|-|-|0") << border;
        }
    }
}

// AutoColumnWidth fits each column to its widest content in its font; .xls
// columns come as wide as .xlsx ones (COLINFO counts 1/256 of a character).
TEST(WorkbookReadback, AutoColumnWidthFitsTheWidestContent) {
    TempDir dir;
    const std::string db = dir.file("w.db");
    // A: a short header, long digits; B: a long header, short text; C: Nulls; D: times.
    ASSERT_EQ(runShell(shellQuote(VARNELO_SQLITE3_SHELL) + " -batch -bail " + shellQuote(db) + " " +
                       shellQuote("CREATE TABLE w (a BIGINT, a_rather_long_column_name VARCHAR(20), c TEXT, d DATETIME);"
                                  "INSERT INTO w VALUES (1234567890, 'x', NULL, '2024-05-06 07:08:09'), (7, 'yy', NULL, NULL);")).first, 0);
    const auto widths = [&](const std::vector<std::string>& settings) {
        std::vector<Workbook> both;
        for (const std::string ext : kFormats) {
            EXPECT_TRUE(exportWorkbook(db, "SELECT * FROM w", dir.file("w." + ext), settings));
            both.push_back(readBack(dir.file("w." + ext), true));
        }
        for (const char* col : {"A", "B", "C", "D"}) EXPECT_NEAR(both[1].width(col), both[0].width(col), 1.0 / 256);
        return both[0];
    };
    const Workbook wb = widths({"AutoColumnWidth=1", "HeaderFont=Arial,11", "BodyFont=Arial,11"});
    EXPECT_NEAR(wb.width("A"), 10.75, 0.75) << "10 digits, a little wider";
    EXPECT_NEAR(wb.width("B"), 25.0, 5.0) << "the header's 25 letters";
    EXPECT_NEAR(wb.width("C"), 1.25, 0.75) << "its one-letter header";
    EXPECT_NEAR(wb.width("D"), 19.0, 2.0) << "\"2024-05-06 07:08:09\"";
    // Twice the size is about twice as wide; bold a little wider.
    const Workbook big = widths({"AutoColumnWidth=1", "HeaderFont=Arial,22,bold", "BodyFont=Arial,22"});
    EXPECT_NEAR(big.width("A"), 2 * wb.width("A"), 1.5);
    EXPECT_GT(big.width("B"), 2 * wb.width("B"));
    // Without the header a column of Nulls shows nothing and keeps its width.
    const Workbook bare = widths({"AutoColumnWidth=1", "Columns=0"});
    EXPECT_EQ(bare.width("C"), 0.0);
    EXPECT_TRUE(bare.width("B") > 0.0 && bare.width("B") < 3.0) << "fitted to \"yy\" in the default 8.25-point font";
}

// Values keep their type, text every character (a bad byte repaired and
// counted), numbers every bit, dates their fraction: "type value [format]".
TEST_F(WorkbookControlTest, TrickyValuesKeepTheirTypeAndEveryBit) {
    const DateTime millis{2024, 3, 5, 14, 30, 0, 123'000'000, 3},
        zoned{2024, 3, 5, 14, 30, 0, 123'000'000, 3, DateTime::Zone::Offset, 330};
    const double inf = std::numeric_limits<double>::infinity();
    const auto repeat = [](const std::string& s, size_t times) { std::string out; while (times--) out += s; return out; };
    const std::string longLatin = repeat("\xC3\xA9", 32767), longWide = repeat("\xE6\x97\xA5", 32767),
                      longPairs = "x" + repeat("\xF0\x9F\x98\x80", 16383);  // 32,767 units, pairs across records
    // xlsxWant: the .xlsx library writes 16 significant digits; the largest
    // doubles must still read back as numbers, not infinity.
    const struct { Variant value; std::string want; std::string xlsxWant = {}; } cases[] = {
        {Variant("say \"hi\", 'you'"), "s say \"hi\", 'you'"}, {Variant("two\r\nlines\n"), "s two\r\nlines\n"},
        {Variant("Zo\xC3\xAB caf\xC3\xA9 \xC3\xB1"), "s Zo\xC3\xAB caf\xC3\xA9 \xC3\xB1"},
        {Variant("\xCE\x95\xCE\xBB \xE6\x97\xA5 \xF0\x9F\x98\x80"), "s \xCE\x95\xCE\xBB \xE6\x97\xA5 \xF0\x9F\x98\x80"},
        {Variant(std::string("a\0b", 3)), "s a<NUL>b"}, {Variant("lit _x0041_ ok"), "s lit _x0041_ ok"},
        {Variant("bad \xFF" "byte"), "s bad \xEF\xBF\xBD" "byte"}, {Variant("ctl \x01 tab\t"), "s ctl \x01 tab\t"},
        {Variant(longLatin), "s " + longLatin}, {Variant(longWide), "s " + longWide}, {Variant(longPairs), "s " + longPairs},
        {Variant(int64_t{999'999'999'999'999}), "n 999999999999999"}, {Variant(int64_t{1'000'000'000'000'000}), "s 1000000000000000"},
        {Variant(0.1 + 0.2), "n 0.30000000000000004", "n 0.3"}, {Variant(5e-324), "n 5e-324"},
        {Variant(-1.7976931348623157e308), "n -1.7976931348623157e+308", "n -1.797693134862315e+308"}, {Variant(-inf), "s -Infinity"},
        {Variant::null(), "<none> <none>"}, {Variant(""), "<none> <none>"},
        {Variant(true), "b TRUE"}, {Variant(false), "b FALSE"}, {Variant(DateTime{1850, 3, 4}), "s 1850-03-04"},
        {Variant(DateTime{2024, 2, 29}), "d 2024-02-29 00:00:00 [yyyy-mm-dd]"},
        {Variant(DateTime{2024, 2, 29, 13, 5, 9}), "d 2024-02-29 13:05:09 [yyyy-mm-dd hh:mm:ss]"},
        {Variant(millis), "d 2024-03-05 14:30:00.123000 [yyyy-mm-dd hh:mm:ss.000]"},
        {Variant(zoned), "s 2024-03-05 14:30:00.123+05:30"},
        {Variant(DateTime{1900, 3, 1, 6, 0, 0}), "d 1900-03-01 06:00:00 [yyyy-mm-dd hh:mm:ss]"},
    };
    std::vector<std::vector<Variant>> rows;
    for (const auto& c : cases) rows.push_back({c.value, Variant("same")});  // "same": one shared string
    for (const std::string ext : kFormats) {
        SCOPED_TRACE(ext);
        ready({"value", "same"}, rows, dir.file("tricky." + ext));
        control.FontExcelDef(1), control.Save();  // default look: a Null leaves no cell at all
        EXPECT_EQ(control.lastExport().repairedValues, 1);
        const Workbook wb = readBack(dir.file("tricky." + ext));
        for (size_t i = 0; i < std::size(cases); ++i) {
            const int row = static_cast<int>(i) + 2;
            const std::string format = wb.cell("format", row, 1);
            EXPECT_EQ(wb.cell("type", row, 1) + " " + wb.cell("value", row, 1) +
                          (format == "General" || format == "<none>" ? "" : " [" + format + "]"),
                      ext == "xlsx" && !cases[i].xlsxWant.empty() ? cases[i].xlsxWant : cases[i].want)
                << "row " << row;
            EXPECT_EQ(wb.cell("value", row, 2), "same");
        }
        EXPECT_EQ(wb.at("size"), std::to_string(std::size(cases) + 1) + " 2");
    }
}

// A failure keeps the old file, leaves no temporary, and names both procedures.
TEST_F(WorkbookControlTest, FailuresKeepTheOldFileAndNameBothSteps) {
    const std::string file = dir.file("out.xlsx");
    writeFile(file, "old");
    ready({"n"}, {{Variant("fine")}, {Variant(std::string(40000, 'x'))}}, file);
    Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("Row 2, column \"n\": the text is longer than a worksheet cell holds"));
    EXPECT_THAT(testing_control::callStack(e.description()),
                ElementsAre("Varnelo.ExcelCopyRecords", "Varnelo.ExcelIO", "Varnelo.Save"));
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.xlsx"}) << "no temporary left";
    ready({"n"}, {{Variant("fine")}}, dir.file("missing/out.xlsx"));
    e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kPathNotFound);
    EXPECT_THAT(testing_control::callStack(e.description()), ElementsAre("Varnelo.ExcelIO", "Varnelo.Save"));
}

// Only the name decides: .xls in any case is a compound document, anything
// else a zip (readBack checks which, by the name). No records: an empty sheet.
TEST_F(WorkbookControlTest, TheNameChoosesTheFormat) {
    for (const char* name : {"b.XLS", "c.xLs", "d.XLSX", "f.xls.bak", "xls"}) {
        ready({"n"}, {{Variant(int64_t{42})}}, dir.file(name)), control.Save();
        EXPECT_EQ(readBack(dir.file(name)).cell("value", 2, 1), "42") << name;
    }
    for (const char* name : {"empty.xls", "empty.xlsx"}) {
        ready({"n"}, {}, dir.file(name)), control.Save();
        const Workbook empty = readBack(dir.file(name));
        EXPECT_EQ(empty.at("sheets") + " " + empty.at("size"), "Sheet1 0 0") << name;
    }
}

// 65,535 records fill the sheet: 7 MB of different texts in Latin-1 and UTF-16 run across some thousand
// CONTINUE records, and the file needs more FAT sectors than the header lists (DIFAT sectors list the rest).
// One record more ends the export with the information box before anything is written.
TEST_F(WorkbookControlTest, AFullSheetOfLongTextsReadsBackWholeAndNotOneRecordMore) {
    const char* pieces[] = {"caf\xC3\xA9 ", "\xE6\x97\xA5\xE6\x9C\xAC ", "\xF0\x9F\x98\x80 ok ", "\xCE\xA9 \xC3\xBC "};
    std::vector<std::vector<Variant>> rows;
    for (int64_t i = 1; i <= 65535; ++i) {
        std::string t = std::to_string(i) + ":";
        for (int64_t n = 0, len = 10 + (i * 37) % 50; n < len; ++n) t += i % 4 == 0 ? "e " : pieces[i % 4];
        rows.push_back({Variant(i), Variant(t)});
    }
    const std::string file = dir.file("full.xls");
    ready({"n", "text"}, rows, file), control.Save();
    EXPECT_TRUE(desktop.messages.empty());

    const std::string bytes = readFile(file);
    const auto le32 = [&](size_t at) {  // a little-endian header field
        return uint32_t{uint8_t(bytes[at])} | uint32_t{uint8_t(bytes[at + 1])} << 8 | uint32_t{uint8_t(bytes[at + 2])} << 16 |
               uint32_t{uint8_t(bytes[at + 3])} << 24;
    };
    EXPECT_GT(le32(44), 109u) << "FAT sectors";
    EXPECT_GE(le32(72), 1u) << "DIFAT sectors";
    EXPECT_EQ(bytes.size() % 512, 0u);
    const Workbook wb = readBack(file);
    ASSERT_EQ(wb.at("size"), "65536 2");
    for (int row = 2; row <= 65536; ++row) {
        ASSERT_EQ(wb.cell("value", row, 1), std::to_string(row - 1)) << row;
        ASSERT_EQ(wb.cell("value", row, 2), rows[static_cast<size_t>(row - 2)][1].toText()) << row;
    }
    rows.push_back({Variant(int64_t{65536}), Variant("")});
    ready({"n", "text"}, std::move(rows), file);
    EXPECT_FALSE(control.Save());
    EXPECT_EQ(shown(), std::vector<std::string>{"Information: Currentversion supports only records upto 65535.\r\n"
                                                "Please modify your SELECT query accordingly. (" +
                                                std::to_string(mb::kInformation) + ")"});
    EXPECT_TRUE(readFile(file) == bytes) << "the full sheet stays";
}

// 256 columns fit; one more is refused before anything is written.
TEST_F(WorkbookControlTest, TwoHundredFiftySixColumnsAndNotOneMore) {
    const std::string file = dir.file("wide.xls");
    std::vector<std::string> names;
    std::vector<Variant> row;
    for (int j = 1; j <= 257; ++j) {
        names.push_back("c" + std::to_string(j));
        row.push_back(Variant(int32_t{j}));
    }
    ready({names.begin(), names.end() - 1}, {{row.begin(), row.end() - 1}}, file), control.Save();
    const Workbook wb = readBack(file);
    EXPECT_EQ(wb.at("size") + " " + wb.cell("value", 1, 256) + " " + wb.cell("value", 2, 256), "2 256 c256 256");

    writeFile(file, "old");
    ready(names, {row}, file);
    const Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("The record source has 257 columns; a worksheet holds at most 256."));
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"wide.xls"}) << "no temporary left";
}

}  // namespace
