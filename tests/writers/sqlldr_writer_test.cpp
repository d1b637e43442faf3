// The SQL*Loader writer: whole control files compared byte for byte: the
// header and its options, modes, base names, column types, Nulls, enclosures
// and separators of any length.
#include "writers/pipeline.h"
#include "writers/sqlldr_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

void writeSqlLoader(ExportJob job, Recordset& rs) {
    job.format = 7;
    runExport(job, rs);
}


using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using testing_support::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Rows = std::vector<std::vector<Variant>>;

class SqlLoaderWriterTest : public ::testing::Test {
protected:
    SqlLoaderWriterTest() {
        job.outputFile = dir.file("orders.ctl");
        job.insertTable = "ORDERS";
        job.discardMax = "50";
        job.unixFormat = 1;
    }
    std::string write(MemoryRecordset& rs) {
        writeSqlLoader(job, rs);
        return readFile(job.outputFile);
    }
    // The header lines up to "(" for the current job, with LF line ends.
    std::string header(const std::string& tableLine, const std::string& clause = "Fields terminated by \",\"") {
        const std::string base = dir.file("orders.");
        return "Load data \nINFILE *\nBADFILE " + base + "bad\nDISCARDFILE " + base + "dsc\nDISCARDMAX 50\n" +
               tableLine + "\n" + clause + "\nTRAILING NULLCOLS\n(\n";
    }

    TempDir dir;
    ExportJob job;
};

TEST_F(SqlLoaderWriterTest, WholeFileWithColumnTypesAndData) {
    MemoryRecordset rs({"ID", "NAME", "BORN", "PRICE"},
                       {adtype::kInteger, adtype::kVarChar, adtype::kDBTimeStamp, adtype::kDouble},
                       Rows{{7, "Smith", DateTime{2003, 12, 25, 13, 5, 7}, 2.5},
                            {8, "Jones", "2024-02-29", -1.0},
                            {Variant::null(), Variant::null(), Variant::null(), Variant::null()},
                            {Variant(), "", Variant(), Variant::null()}});
    job.insertSchema = "SALES";
    job.sqlLoaderMode = Append;
    const std::string want = header("APPEND INTO TABLE SALES.ORDERS") +
                             "ID\tINTEGER EXTERNAL,\nNAME\tCHAR(5),\nBORN\tDATE\t\"dd/mm/yyyy hh24:mi:ss\",\n"
                             "PRICE\tINTEGER EXTERNAL\n)\nBEGINDATA\n"
                             "7,Smith,25/12/2003 13:05:07,2.5\n"
                             "8,Jones,29/02/2024 00:00:00,-1\n"
                             ",,,\n,,,";  // Nulls and empties of every group are empty fields
    EXPECT_EQ(write(rs), want);
    EXPECT_EQ(rs.position(), 0) << "moved back to the first row";

    job.unixFormat = 0;
    std::string crlf;
    for (char c : want) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(write(rs), crlf);
}

TEST_F(SqlLoaderWriterTest, EmptyAndOneColumnSources) {
    MemoryRecordset none({"A", "B"}, {adtype::kInteger, adtype::kChar}, Rows{});
    EXPECT_EQ(write(none), header("INSERT INTO TABLE ORDERS") + "A\tINTEGER EXTERNAL,\nB\tCHAR(1)\n)\nBEGINDATA\n");
    MemoryRecordset one({"A"}, {adtype::kVarWChar}, Rows{{"x"}, {"y"}});
    EXPECT_EQ(write(one), header("INSERT INTO TABLE ORDERS") + "A\tCHAR(1)\n)\nBEGINDATA\nx\ny");
}

TEST_F(SqlLoaderWriterTest, ModesFollowThePublishedNumbering) {
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{{1}});
    const int32_t modes[] = {Insert, Append, Replace_, Truncate, 0, 5, -1};
    const char* const keywords[] = {"INSERT", "APPEND", "REPLACE", "TRUNCATE", "", "", ""};
    for (size_t k = 0; k < std::size(modes); ++k) {
        job.sqlLoaderMode = modes[k];
        const std::string want = header(keywords[k] + std::string(" INTO TABLE ORDERS"));
        EXPECT_EQ(write(rs), want + "A\tINTEGER EXTERNAL\n)\nBEGINDATA\n1") << modes[k];
    }
}

TEST_F(SqlLoaderWriterTest, BaseNamesComeFromTheOutputFileAndAnEmptyDiscardMaxIsLeftOut) {
    EXPECT_EQ(sqlLoaderBaseName("out/orders.ctl"), "out/orders.");
    EXPECT_EQ(sqlLoaderBaseName("out/orders.2024.ctl"), "out/orders.2024.");
    EXPECT_EQ(sqlLoaderBaseName("out.d/orders"), "out.d/orders.") << "a dot in a folder name is no extension";
    EXPECT_EQ(sqlLoaderBaseName("orders"), "orders.");

    job.outputFile = dir.file("load");
    job.discardMax = "";
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{});
    EXPECT_THAT(write(rs), HasSubstr("\nBADFILE " + dir.file("load.bad") + "\nDISCARDFILE " + dir.file("load.dsc") +
                                     "\nINSERT INTO TABLE ORDERS\n"));
}

TEST_F(SqlLoaderWriterTest, EnclosuresAreDoubledAndSeparatorsOfAnyLengthKeptWhole) {
    MemoryRecordset rs({"N", "S", "D"}, {adtype::kInteger, adtype::kVarChar, adtype::kDate},
                       Rows{{1, "Smith, John", "2024-01-02 15:04:05"},
                            {2, "the \"quoted\" one", Variant::null()},
                            {3, Variant::null(), "2024-01-02"},
                            {4, "", Variant::null()}});
    job.strEnclose = "\"";
    EXPECT_EQ(write(rs), header("INSERT INTO TABLE ORDERS", "Fields terminated by \",\" Optionally enclosed by '\"'") +
                             "N\tINTEGER EXTERNAL,\nS\tCHAR(16),\nD\tDATE\t\"dd/mm/yyyy hh24:mi:ss\"\n)\nBEGINDATA\n"
                             "1,\"Smith, John\",02/01/2024 15:04:05\n"
                             "2,\"the \"\"quoted\"\" one\",\n"
                             "3,,02/01/2024 00:00:00\n"
                             "4,\"\",");

    job.strEnclose = "$$";
    job.fieldSeparator = "||";
    MemoryRecordset money({"N", "S"}, {adtype::kInteger, adtype::kChar}, Rows{{1, "a$$b$c$$$"}, {2, "$$"}});
    const std::string text = write(money);
    EXPECT_THAT(text, HasSubstr("\nFields terminated by \"||\" Optionally enclosed by \"$$\"\n"));
    EXPECT_THAT(text, EndsWith("BEGINDATA\n1||$$a$$$$b$c$$$$$$$\n2||$$$$$$$$"));

    // The loader reads no doubled quotes in these strings.
    job.fieldSeparator = "\"|";
    job.strEnclose = "'\"";
    EXPECT_THAT(write(money), HasSubstr("\nFields terminated by '\"|' Optionally enclosed by X'2722'\n"));
}

class SqlLoaderThroughControlTest : public testing_control::ControlTest {};

TEST_F(SqlLoaderWriterTest, LongValuesBooleansAndFractionsLoseNothing) {
    // The loader's 255-byte default would reject the long value: CHAR(n) covers it.
    MemoryRecordset rs({"T", "B", "D", "Z"}, {adtype::kVarChar, adtype::kBoolean, adtype::kDBTimeStamp, adtype::kDate},
                       Rows{{std::string(300, 'x') + "\xC3\xA9", true, "2024-03-05T14:30:00.123", "2024-03-05"},
                            {"a", false, "2024-03-05 14:30:00", "2024-03-05 14:30:00+05:30"}});
    const std::string text = write(rs);
    EXPECT_THAT(text, HasSubstr("\nT\tCHAR(302),\nB\tINTEGER EXTERNAL,\n"
                                "D\tTIMESTAMP\t\"dd/mm/yyyy hh24:mi:ss.ff\",\n"
                                "Z\tTIMESTAMP WITH TIME ZONE\t\"dd/mm/yyyy hh24:mi:ss.ff tzh:tzm\"\n)\n"));
    EXPECT_THAT(text, EndsWith(",1,05/03/2024 14:30:00.123,05/03/2024 00:00:00\n"
                               "a,0,05/03/2024 14:30:00,05/03/2024 14:30:00 +05:30"));
}

// What in-line data cannot carry fails the export, naming the row and the
// column, and keeps the old file.
TEST_F(SqlLoaderThroughControlTest, ValuesTheLoaderCannotReadFailUnderSQLLdrIOKeepingTheOldFile) {
    TempDir dir;
    const std::string file = dir.file("load.ctl");
    writeFile(file, "the good old file");
    control.Format(SQLLoader);
    control.OutputFile(file);
    control.InsertTable("T");
    control.CommitInterval("1");
    const struct { Variant value; const char* separator; const char* why; } cases[] = {
        {Variant("two\nlines"), ",", "Row 2, column \"S\": a line break cannot travel"},
        {Variant("cr\ronly"), ",", "Row 2, column \"S\": a line break cannot travel"},
        {Variant("a,b"), ",", "Row 2, column \"S\": the value holds the field separator"},
        {Variant(1.5), ".", "Row 2, column \"S\": the value holds the field separator"},
        {Variant(std::string("a\0b", 3)), ",", "Row 2, column \"S\": a NUL character"},
        {Variant("fine"), "", "The field separator is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        control.DataSource(std::make_shared<MemoryRecordset>(
            std::vector<std::string>{"S"}, std::vector<int>{adtype::kVariant}, Rows{{"ok"}, {c.value}}));
        control.FieldSeparator(c.separator);
        Error e = errorOf([&] { control.Save(); });
        EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
        EXPECT_THAT(e.description(), HasSubstr(c.why));
        EXPECT_THAT(testing_control::callStack(e.description()), ElementsAre("Varnelo.SQLLdrIO", "Varnelo.Save"));
        EXPECT_EQ(readFile(file), "the good old file");
        EXPECT_EQ(dir.names(), std::set<std::string>{"load.ctl"});
    }
}

}  // namespace
}  // namespace varnelo
