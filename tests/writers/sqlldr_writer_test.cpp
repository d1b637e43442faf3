// The SQL*Loader writer: whole control files from in-memory sources compared
// byte for byte: the header and its options, modes, base names, column
// types, Nulls, enclosures and separators of any length.
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

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing_control::callStack;
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
                       Rows{{7, "Smith", DateTime{2003, 12, 25, 13, 5, 7}, 2.5}, {8, "Jones", "2024-02-29", -1.0}});
    job.insertSchema = "SALES";
    job.sqlLoaderMode = Append;
    EXPECT_EQ(write(rs), header("APPEND INTO TABLE SALES.ORDERS") +
                             "ID\tINTEGER EXTERNAL,\n"
                             "NAME\tCHAR,\n"
                             "BORN\tDATE\t\"dd/mm/yyyy hh24:mi:ss\",\n"
                             "PRICE\tINTEGER EXTERNAL\n"
                             ")\nBEGINDATA\n"
                             "7,Smith,25/12/2003 13:05:07,2.5\n"
                             "8,Jones,29/02/2024 00:00:00,-1");
    EXPECT_EQ(rs.position(), 0) << "moved back to the first row";

    job.unixFormat = 0;
    EXPECT_THAT(write(rs), StartsWith("Load data \r\nINFILE *\r\nBADFILE "));
    EXPECT_THAT(readFile(job.outputFile), HasSubstr("PRICE\tINTEGER EXTERNAL\r\n)\r\nBEGINDATA\r\n7,"));
    EXPECT_THAT(readFile(job.outputFile), ::testing::EndsWith("\r\n8,Jones,29/02/2024 00:00:00,-1"));
}

TEST_F(SqlLoaderWriterTest, EmptyAndOneColumnSources) {
    writeFile(job.outputFile, "old");
    MemoryRecordset none({"A", "B"}, {adtype::kInteger, adtype::kChar}, Rows{});
    EXPECT_EQ(write(none), header("INSERT INTO TABLE ORDERS") + "A\tINTEGER EXTERNAL,\nB\tCHAR\n)\nBEGINDATA\n");

    MemoryRecordset one({"A"}, {adtype::kVarWChar}, Rows{{"x"}, {"y"}});
    EXPECT_EQ(write(one), header("INSERT INTO TABLE ORDERS") + "A\tCHAR\n)\nBEGINDATA\nx\ny");
}

TEST_F(SqlLoaderWriterTest, ModesFollowThePublishedNumbering) {
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{{1}});
    const std::pair<int32_t, const char*> modes[] = {{Insert, "INSERT INTO TABLE ORDERS"},
                                                     {Append, "APPEND INTO TABLE ORDERS"},
                                                     {Replace_, "REPLACE INTO TABLE ORDERS"},
                                                     {Truncate, "TRUNCATE INTO TABLE ORDERS"},
                                                     {0, " INTO TABLE ORDERS"},
                                                     {5, " INTO TABLE ORDERS"},
                                                     {-1, " INTO TABLE ORDERS"}};
    for (auto [mode, line] : modes) {
        job.sqlLoaderMode = mode;
        EXPECT_EQ(write(rs), header(line) + "A\tINTEGER EXTERNAL\n)\nBEGINDATA\n1") << mode;
    }
}

TEST_F(SqlLoaderWriterTest, BaseNamesComeFromTheOutputFile) {
    EXPECT_EQ(sqlLoaderBaseName("out/orders.ctl"), "out/orders.");
    EXPECT_EQ(sqlLoaderBaseName("out/orders.2024.ctl"), "out/orders.2024.");
    EXPECT_EQ(sqlLoaderBaseName("out.d/orders"), "out.d/orders.") << "a dot in a folder name is no extension";
    EXPECT_EQ(sqlLoaderBaseName("orders"), "orders.");
    EXPECT_EQ(sqlLoaderBaseName("/tmp/x.ctl"), "/tmp/x.");

    job.outputFile = dir.file("load");
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{});
    EXPECT_THAT(write(rs), HasSubstr("\nBADFILE " + dir.file("load.bad") + "\nDISCARDFILE " +
                                     dir.file("load.dsc") + "\n"));
}

TEST_F(SqlLoaderWriterTest, AnEmptyDiscardMaxLeavesItsLineOut) {
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{{1}});
    job.discardMax = "";
    const std::string text = write(rs);
    EXPECT_THAT(text, Not(HasSubstr("DISCARDMAX")));
    EXPECT_THAT(text, HasSubstr("DISCARDFILE " + dir.file("orders.dsc") + "\nINSERT INTO TABLE ORDERS\n"));
}

TEST_F(SqlLoaderWriterTest, NullsOfEveryGroupAreEmptyFields) {
    MemoryRecordset rs({"S", "D", "I"}, {adtype::kVarChar, adtype::kDate, adtype::kInteger},
                       Rows{{Variant::null(), Variant::null(), Variant::null()},
                            {"a", Variant::null(), 1},
                            {"", Variant(), Variant::null()}});
    const std::string text = write(rs);
    EXPECT_THAT(text, ::testing::EndsWith("BEGINDATA\n,,\na,,1\n,,"));
    EXPECT_EQ(rs.position(), 0) << "a Null no longer stops the export";
}

TEST_F(SqlLoaderWriterTest, SeparatorsOfAnyLengthAreDroppedWhole) {
    MemoryRecordset rs({"A", "B"}, {adtype::kInteger, adtype::kVarChar}, Rows{{1, "x"}, {2, "y"}});
    job.fieldSeparator = "||";
    EXPECT_EQ(write(rs), header("INSERT INTO TABLE ORDERS", "Fields terminated by \"||\"") +
                             "A\tINTEGER EXTERNAL,\nB\tCHAR\n)\nBEGINDATA\n1||x\n2||y");
    job.fieldSeparator = "\t";
    EXPECT_THAT(write(rs), ::testing::EndsWith("BEGINDATA\n1\tx\n2\ty"));
}

TEST_F(SqlLoaderWriterTest, EnclosedCharacterValuesDoubleTheirEnclosure) {
    MemoryRecordset rs({"N", "S", "D"}, {adtype::kInteger, adtype::kVarChar, adtype::kDate},
                       Rows{{1, "Smith, John", "2024-01-02 15:04:05"},
                            {2, "the \"quoted\" one", Variant::null()},
                            {3, Variant::null(), "2024-01-02"},
                            {4, "", Variant::null()}});
    job.strEnclose = "\"";
    EXPECT_EQ(write(rs), header("INSERT INTO TABLE ORDERS",
                                "Fields terminated by \",\" Optionally enclosed by '\"'") +
                             "N\tINTEGER EXTERNAL,\nS\tCHAR,\nD\tDATE\t\"dd/mm/yyyy hh24:mi:ss\"\n)\nBEGINDATA\n"
                             "1,\"Smith, John\",02/01/2024 15:04:05\n"
                             "2,\"the \"\"quoted\"\" one\",\n"
                             "3,,02/01/2024 00:00:00\n"
                             "4,\"\",");

    job.strEnclose = "$$";
    MemoryRecordset money({"S"}, {adtype::kChar}, Rows{{"a$$b$c$$$"}, {"$$"}});
    EXPECT_THAT(write(money), ::testing::EndsWith("BEGINDATA\n$$a$$$$b$c$$$$$$$\n$$$$$$$$"));
    EXPECT_THAT(write(money), HasSubstr("Optionally enclosed by \"$$\"\n"));
}

TEST_F(SqlLoaderWriterTest, QuoteCharactersInTheClauseStayReadableToTheLoader) {
    MemoryRecordset rs({"S"}, {adtype::kChar}, Rows{{"a"}});
    job.fieldSeparator = "\"|";
    job.strEnclose = "'\"";
    EXPECT_THAT(write(rs), HasSubstr("Fields terminated by '\"|' Optionally enclosed by X'2722'\n"));
}

TEST_F(SqlLoaderWriterTest, RunningPastTheEndFailsAndKeepsTheOldFile) {
    writeFile(job.outputFile, "the good old file");
    MemoryRecordset rs({"N"}, {adtype::kInteger}, Rows{{1}, {2}, {3}});
    rs.moveTo(2);
    EXPECT_EQ(errorOf([&] { writeSqlLoader(job, rs); }).number(), err::kNoCurrentRecord);
    EXPECT_EQ(readFile(job.outputFile), "the good old file");
    EXPECT_THAT(dir.names(), ElementsAre("orders.ctl"));
}

class SqlLoaderThroughControlTest : public testing_control::ControlTest {};

TEST_F(SqlLoaderThroughControlTest, SaveKeepsTheSeparatorAndFailsUnderSQLLdrIO) {
    TempDir dir;
    const std::string file = dir.file("load.ctl");
    auto rs = std::make_shared<MemoryRecordset>(std::vector<std::string>{"A", "B"},
                                                std::vector<int>{adtype::kInteger, adtype::kVarChar},
                                                Rows{{1, "x"}, {2, "y"}});
    control.DataSource(rs);
    control.Format(SQLLoader);
    control.OutputFile(file);
    control.InsertTable("T");
    control.CommitInterval("1");
    control.SQLLoaderMode(Truncate);
    control.FieldSeparator("|");
    control.Save();
    const std::string text = readFile(file);
    EXPECT_THAT(text, HasSubstr("\r\nTRUNCATE INTO TABLE T\r\nFields terminated by \"|\"\r\n"));
    EXPECT_THAT(text, HasSubstr("BADFILE " + dir.file("load.bad") + "\r\n"));
    EXPECT_THAT(text, ::testing::EndsWith("BEGINDATA\r\n1|x\r\n2|y"));

    rs->moveTo(2);
    Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kNoCurrentRecord);
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.SQLLdrIO", "Varnelo.Save"));
    EXPECT_EQ(readFile(file), text) << "the earlier export stays whole";
}

}  // namespace
}  // namespace varnelo
