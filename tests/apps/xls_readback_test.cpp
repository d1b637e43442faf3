// End-to-end: what only Excel 97-2003 workbooks (.xls) face, read back with
// xlrd (tests/apps/xls_readback.py): the name rule, shared strings across
// CONTINUE records, a file past 109 FAT sectors, and the 256-column limit.
#include <gmock/gmock.h>

#include "apps/sheet_readback.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_sheet;
using ::testing::HasSubstr;

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

// Only the name decides: .xls in any case is a compound document, anything
// else a zip (readBack checks which, by the name). No records: an empty sheet.
TEST_F(WorkbookControlTest, TheNameChoosesTheFormat) {
    for (const char* name : {"b.XLS", "c.xLs", "d.XLSX", "f.xls.bak", "xls"}) {
        ready({"n"}, {{Variant(int64_t{42})}}, dir.file(name));
        control.Save();
        EXPECT_EQ(readBack(dir.file(name)).cell("value", 2, 1), "42") << name;
    }
    for (const char* name : {"empty.xls", "empty.xlsx"}) {
        ready({"n"}, {}, dir.file(name));
        control.Save();
        const Workbook empty = readBack(dir.file(name));
        EXPECT_EQ(empty.at("sheets") + " " + empty.at("size"), "Sheet1 0 0") << name;
    }
}

// 65,535 records fill the sheet: 7 MB of different texts in Latin-1 and UTF-16 run across some thousand
// CONTINUE records, and the file needs more FAT sectors than the header lists (DIFAT sectors list the rest).
// One record more ends the export with the information box before anything is written.
TEST_F(WorkbookControlTest, AFullSheetOfLongTextsReadsBackWholeAndNotOneRecordMore) {
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
    ready({"n", "text"}, rows, file);
    control.Save();
    EXPECT_TRUE(desktop.messages.empty());

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
    ready({names.begin(), names.end() - 1}, {{row.begin(), row.end() - 1}}, file);
    control.Save();
    const Workbook wb = readBack(file);
    EXPECT_EQ(wb.at("size"), "2 256");
    EXPECT_EQ(wb.cell("value", 1, 256) + " " + wb.cell("value", 2, 256), "c256 256");

    writeFile(file, "old");
    ready(names, {row}, file);
    const Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("The record source has 257 columns; a worksheet holds at most 256."));
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"wide.xls"}) << "no temporary left";
}

}  // namespace
