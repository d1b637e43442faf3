// End-to-end: Excel 97-2003 workbooks (.xls) written by the command-line host
// and by the control, read back with xlrd (tests/apps/xls_readback.py): the
// name rule, every value with its type, fonts and fills through the palette,
// borders, widths, the shared strings across CONTINUE records, a file past
// 109 FAT sectors, and the 256-column limit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "apps/sheet_readback.h"
#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"

namespace {

using varnelo::DateTime;
using varnelo::Variant;
using varnelo::testing_sheet::exportWorkbook;
using varnelo::testing_sheet::quote;
using varnelo::testing_sheet::readBack;
using varnelo::testing_sheet::shell;
using varnelo::testing_sheet::Workbook;
using varnelo::testing_support::readFile;
using varnelo::testing_support::TempDir;
using ::testing::HasSubstr;

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

std::string repeat(const std::string& s, size_t times) {
    std::string out;
    out.reserve(s.size() * times);
    for (size_t i = 0; i < times; ++i) out += s;
    return out;
}

TEST(XlsReadback, DemoTableEveryValueWithItsType) {
    TempDir dir;
    const std::string out = dir.file("demo.xls"), bare = dir.file("bare.XLS");
    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, "", out));
    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, "", bare, {"Columns=0", "IncludeNulls=1", "LowercaseColumns=1"}));
    varnelo::testing_sheet::expectDemoTable(readBack(out), readBack(bare));
}

// The same looks as the .xlsx workbook shows, every colour exact: two of them
// sit in the default palette, two take overridden slots.
TEST(XlsReadback, HeaderAndBodyLooksThroughThePalette) {
    TempDir dir;
    const std::string out = dir.file("look.xls");
    const std::string query = "SELECT 1 AS id, 'Widget' AS name, NULL AS note UNION ALL SELECT 2, 'Gadget', 'spare'";
    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, query, out,
                               {"HeaderFont=DejaVu Serif,14,bold,italic", "HeaderForeColor=0x0000FF",
                                "HeaderBackColor=0x00FF00", "BodyFont=Liberation Mono,9,italic",
                                "BodyForeColor=0x8000000F", "BodyBackColor=0x123456", "IncludeCellBorder=1"}));
    Workbook wb = readBack(out, true);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) {
            SCOPED_TRACE("row " + std::to_string(r) + " column " + std::to_string(c));
            EXPECT_EQ(wb.cell("font", r, c),
                      r == 1 ? "DejaVu Serif|14.0|1|1|FF0000" : "Liberation Mono|9.0|0|1|D4D0C8");
            EXPECT_EQ(wb.cell("fill", r, c), r == 1 ? "solid|00FF00" : "solid|563412");
            EXPECT_EQ(wb.cell("border", r, c), "thin|thin|thin|thin|0");
        }
    EXPECT_EQ(wb.cell("type", 2, 3), "<none>") << "the Null is a blank that only carries the look";
    EXPECT_EQ(wb.width("A") + wb.width("B") + wb.width("C"), 0.0) << "AutoColumnWidth 0 leaves the widths alone";

    ASSERT_TRUE(exportWorkbook(VARNELO_DEMO_DB, query, out,
                               {"HeaderFont=DejaVu Serif,14,bold", "BodyFont=Liberation Mono,9,italic",
                                "FontExcelDef=1", "IncludeCellBorder=0"}));
    wb = readBack(out, true);
    EXPECT_EQ(wb.cell("font", 1, 2), "DejaVu Serif|14.0|1|0|FFFFFF");
    EXPECT_EQ(wb.cell("fill", 1, 2), "solid|000040");
    EXPECT_EQ(wb.cell("font", 2, 2), "Calibri|11.0|0|0|-");
    EXPECT_EQ(wb.cell("fill", 2, 2), "-|-");
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(wb.cell("border", r, c), "-|-|-|-|0");
}

// Fitted widths come from the model: the .xls columns are as wide as the
// .xlsx ones (COLINFO counts 1/256 of a character).
TEST(XlsReadback, FittedWidthsMatchTheXlsxWorkbook) {
    TempDir dir;
    const std::string db = dir.file("w.db"), query = "SELECT * FROM w";
    const auto made = shell(quote(VARNELO_SQLITE3_SHELL) + " -batch -bail " + quote(db) + " " +
                            quote("CREATE TABLE w (a BIGINT, a_rather_long_column_name VARCHAR(20), c TEXT, "
                                  "d DATETIME); INSERT INTO w VALUES (1234567890, 'x', NULL, "
                                  "'2024-05-06 07:08:09'), (7, 'yy', NULL, NULL);"));
    ASSERT_EQ(made.first, 0) << made.second;
    for (const char* header : {"HeaderFont=Arial,11", "HeaderFont=Arial,22,bold"}) {
        SCOPED_TRACE(header);
        ASSERT_TRUE(exportWorkbook(db, query, dir.file("w.xls"), {"AutoColumnWidth=1", header}));
        ASSERT_TRUE(exportWorkbook(db, query, dir.file("w.xlsx"), {"AutoColumnWidth=1", header}));
        const Workbook xls = readBack(dir.file("w.xls"), true), xlsx = readBack(dir.file("w.xlsx"), true);
        for (const char* col : {"A", "B", "C", "D"}) {
            EXPECT_GT(xls.width(col), 1.0) << col;
            EXPECT_NEAR(xls.width(col), xlsx.width(col), 1.0 / 256) << col;
        }
    }
    ASSERT_TRUE(exportWorkbook(db, query, dir.file("w.xls"), {"AutoColumnWidth=1", "Columns=0"}));
    const Workbook bare = readBack(dir.file("w.xls"), true);
    EXPECT_EQ(bare.width("C"), 0.0) << "a column of Nulls keeps its width";
    EXPECT_GT(bare.width("B"), 0.0);
}

class XlsControlTest : public varnelo::testing_control::ControlTest {
protected:
    void ready(std::vector<std::string> names, std::vector<std::vector<Variant>> rows, const std::string& file) {
        std::vector<int> types(names.size(), varnelo::adtype::kVariant);
        control.DataSource(
            std::make_shared<varnelo::MemoryRecordset>(std::move(names), std::move(types), std::move(rows)));
        control.Format(varnelo::ExcelFile);
        control.OutputFile(file);
        forget();
    }
    TempDir dir;
};

// What only the file name decides: .xls in any case is a compound document,
// anything else a zip. Small workbooks (an empty one too) read back whole.
TEST_F(XlsControlTest, TheNameChoosesTheFormat) {
    const struct {
        const char* name;
        bool xls;
    } cases[] = {{"a.xls", true}, {"b.XLS", true}, {"c.xLs", true},   {"d.xlsx", false},
                 {"e.XLSX", false}, {"f.xls.bak", false}, {"g", false}, {"xls", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file(c.name);
        ready({"n"}, {{Variant(int64_t{42})}}, file);
        control.Save();
        const std::string head = readFile(file).substr(0, 4);
        EXPECT_EQ(head, c.xls ? std::string("\xD0\xCF\x11\xE0") : std::string("PK\x03\x04")) << c.name;
    }
    const Workbook wb = readBack(dir.file("b.XLS"));
    EXPECT_EQ(wb.cell("value", 2, 1), "42");

    ready({"n"}, {}, dir.file("empty.xls"));
    control.Save();
    const Workbook empty = readBack(dir.file("empty.xls"));
    EXPECT_EQ(empty.at("sheets") + " " + empty.at("size"), "Sheet1 0 0");
}

// Values a reader could take for something else: each keeps its type, text
// every character (Latin-1 and beyond, NUL, line breaks, the longest text a
// cell holds) and numbers every bit.
TEST_F(XlsControlTest, TrickyValuesKeepTheirTypeAndEveryBit) {
    DateTime millis{2024, 3, 5, 14, 30, 0};
    millis.nanosecond = 123'000'000;
    millis.fractionDigits = 3;
    DateTime zoned = millis;
    zoned.zone = DateTime::Zone::Offset;
    zoned.offsetMinutes = 330;
    const double inf = std::numeric_limits<double>::infinity();
    const std::string longLatin = repeat("\xC3\xA9", 32767), longWide = repeat("\xE6\x97\xA5", 32767),
                      longPairs = "x" + repeat("\xF0\x9F\x98\x80", 16383);  // 32,767 units, pairs across records
    const struct {
        Variant value;
        const char* type;  // "<none>": an empty cell
        std::string shown;
        const char* format;
    } cases[] = {
        {Variant("say \"hi\", 'you'"), "s", "say \"hi\", 'you'", "General"},
        {Variant("two\r\nlines\n"), "s", "two\r\nlines\n", "General"},
        {Variant("Zo\xC3\xAB caf\xC3\xA9 \xC3\xB1"), "s", "Zo\xC3\xAB caf\xC3\xA9 \xC3\xB1", "General"},
        {Variant("\xCE\x95\xCE\xBB \xE6\x97\xA5 \xF0\x9F\x98\x80"), "s", "\xCE\x95\xCE\xBB \xE6\x97\xA5 \xF0\x9F\x98\x80",
         "General"},
        {Variant(std::string("a\0b", 3)), "s", "a<NUL>b", "General"},
        {Variant("lit _x0041_ ok"), "s", "lit _x0041_ ok", "General"},
        {Variant(longLatin), "s", longLatin, "General"},
        {Variant(longWide), "s", longWide, "General"},
        {Variant(longPairs), "s", longPairs, "General"},
        {Variant(int64_t{999'999'999'999'999}), "n", "999999999999999", "General"},
        {Variant(int64_t{1'000'000'000'000'000}), "s", "1000000000000000", "General"},
        {Variant(std::numeric_limits<int64_t>::min()), "s", "-9223372036854775808", "General"},
        {Variant(0.1 + 0.2), "n", "0.30000000000000004", "General"},
        {Variant(5e-324), "n", "5e-324", "General"},
        {Variant(-1.7976931348623157e308), "n", "-1.7976931348623157e+308", "General"},
        {Variant(inf), "s", "Infinity", "General"},
        {Variant(-inf), "s", "-Infinity", "General"},
        {Variant::null(), "<none>", "<none>", "<none>"},
        {Variant(""), "<none>", "<none>", "<none>"},
        {Variant(true), "b", "TRUE", "General"},
        {Variant(false), "b", "FALSE", "General"},
        {Variant(DateTime{1850, 3, 4}), "s", "1850-03-04", "General"},
        {Variant(DateTime{2024, 2, 29}), "d", "2024-02-29 00:00:00", "yyyy-mm-dd"},
        {Variant(DateTime{2024, 2, 29, 13, 5, 9}), "d", "2024-02-29 13:05:09", "yyyy-mm-dd hh:mm:ss"},
        {Variant(millis), "d", "2024-03-05 14:30:00.123000", "yyyy-mm-dd hh:mm:ss.000"},
        {Variant(zoned), "s", "2024-03-05 14:30:00.123+05:30", "General"},
        {Variant(DateTime{1900, 3, 1, 6, 0, 0}), "d", "1900-03-01 06:00:00", "yyyy-mm-dd hh:mm:ss"},
    };
    std::vector<std::vector<Variant>> rows;
    for (const auto& c : cases) rows.push_back({c.value, Variant("same")});  // "same": one shared string
    const std::string file = dir.file("tricky.xls");
    ready({"value", "same"}, rows, file);
    control.FontExcelDef(1);  // default look: a Null leaves no cell at all
    control.Save();
    const Workbook wb = readBack(file);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int row = static_cast<int>(i) + 2;
        SCOPED_TRACE("row " + std::to_string(row) + ": " + cases[i].shown.substr(0, 40));
        EXPECT_EQ(wb.cell("type", row, 1), cases[i].type);
        EXPECT_EQ(wb.cell("value", row, 1), cases[i].shown);
        EXPECT_EQ(wb.cell("format", row, 1), cases[i].format);
        EXPECT_EQ(wb.cell("value", row, 2), "same");
    }
    EXPECT_EQ(wb.at("size"), std::to_string(std::size(cases) + 1) + " 2");
}

// 65,535 records fill the sheet's 65,536 rows. Their texts, all different,
// 7 MB of shared strings in Latin-1 and UTF-16 of every length, run across
// some thousand CONTINUE records; the file needs more FAT sectors than the
// header lists, so DIFAT sectors list the rest.
TEST_F(XlsControlTest, AFullSheetOfLongTextsReadsBackWhole) {
    const char* pieces[] = {"caf\xC3\xA9 ", "\xE6\x97\xA5\xE6\x9C\xAC ", "\xF0\x9F\x98\x80 ok ", "\xCE\xA9 \xC3\xBC "};
    std::vector<std::string> texts;
    std::vector<std::vector<Variant>> rows;
    for (int64_t i = 1; i <= 65535; ++i) {
        std::string t = std::to_string(i) + ":";
        const std::string& piece = pieces[i % 4];
        for (int64_t n = 0, len = 10 + (i * 37) % 50; n < len; ++n) t += i % 4 == 0 ? std::string("e ") : piece;
        rows.push_back({Variant(i), Variant(t)});
        texts.push_back(std::move(t));
    }
    const std::string file = dir.file("full.xls");
    ready({"n", "text"}, std::move(rows), file);
    control.Save();

    const std::string bytes = readFile(file);
    EXPECT_GT(le32(bytes, 44), 109u) << "FAT sectors";
    EXPECT_GE(le32(bytes, 72), 1u) << "DIFAT sectors";
    EXPECT_EQ(bytes.size() % 512, 0u);
    const Workbook wb = readBack(file);
    ASSERT_EQ(wb.at("size"), "65536 2");
    for (int row = 2; row <= 65536; ++row) {
        ASSERT_EQ(wb.cell("value", row, 1), std::to_string(row - 1)) << row;
        ASSERT_EQ(wb.cell("value", row, 2), texts[static_cast<size_t>(row - 2)]) << row;
    }
}

// 256 columns fit; one more is refused before anything is written.
TEST_F(XlsControlTest, TwoHundredFiftySixColumnsAndNotOneMore) {
    const std::string file = dir.file("wide.xls");
    std::vector<std::string> names;
    std::vector<Variant> row;
    for (int j = 1; j <= 257; ++j) {
        names.push_back("c" + std::to_string(j));
        row.push_back(Variant(int32_t{j}));
    }
    ready({names.begin(), names.end() - 1}, {{row.begin(), row.end() - 1}}, file);
    control.Save();
    const Workbook wb = readBack(file);
    EXPECT_EQ(wb.at("size"), "2 256");
    EXPECT_EQ(wb.cell("value", 1, 256) + " " + wb.cell("value", 2, 256), "c256 256");

    varnelo::testing_support::writeFile(file, "old");
    ready(names, {row}, file);
    const varnelo::Error e = varnelo::testing_support::errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), varnelo::err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("The record source has 257 columns; a worksheet holds at most 256."));
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"wide.xls"}) << "no temporary left";
}

}  // namespace
