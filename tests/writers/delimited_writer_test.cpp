// The delimited text writer: whole files written from in-memory sources and
// compared byte for byte, plus a read-back through the sqlite3 shell.
#include "writers/delimited_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "test_files.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testing_files::readFile;
using testing_files::TempDir;
using testing_files::writeFile;

using Rows = std::vector<std::vector<Variant>>;

class DelimitedWriterTest : public ::testing::Test {
protected:
    DelimitedWriterTest() {
        job.outputFile = dir.file("out.csv");
        job.columns = 0;
    }

    // Writes rs with the current job and returns the file's text.
    std::string write(MemoryRecordset& rs) {
        writeDelimited(job, rs);
        return readFile(job.outputFile);
    }

    static MemoryRecordset twoByThree(std::string source = "select A, B from T") {
        return MemoryRecordset({"A", "B"}, {adtype::kInteger, adtype::kVarChar},
                               Rows{{1, "x"}, {2, "y"}, {3, "z"}}, std::move(source));
    }

    TempDir dir;
    ExportJob job;
};

TEST_F(DelimitedWriterTest, SqlTextHeaderAndRowsWithDosLineEnds) {
    job.columns = 1;
    job.includeSQL = 1;
    MemoryRecordset rs = twoByThree();
    EXPECT_EQ(write(rs),
              "SQL statement that produce this data\r\n"
              "select A, B from T\r\n"
              "A,B\r\n"
              "1,x\r\n"
              "2,y\r\n"
              "3,z");
    EXPECT_EQ(rs.position(), 0) << "moved back to the first row";
}

TEST_F(DelimitedWriterTest, UnixLineEndsEverywhere) {
    job.columns = 1;
    job.includeSQL = 1;
    job.unixFormat = 1;
    MemoryRecordset rs = twoByThree("select A,\nB from T");
    std::string text = write(rs);
    EXPECT_EQ(text,
              "SQL statement that produce this data\n"
              "select A,\nB from T\n"
              "A,B\n1,x\n2,y\n3,z");
    EXPECT_THAT(text, Not(HasSubstr("\r")));
}

TEST_F(DelimitedWriterTest, EmptySourceGivesAnEmptyFileReplacingTheOldOne) {
    writeFile(job.outputFile, "last week's export");
    job.columns = 1;
    job.includeSQL = 1;
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{}, "select A from T");
    EXPECT_EQ(write(rs), "");
}

TEST_F(DelimitedWriterTest, OneRowWithHeader) {
    job.columns = 1;
    MemoryRecordset rs({"Id", "Name"}, {adtype::kInteger, adtype::kVarChar}, Rows{{7, "Ann"}});
    EXPECT_EQ(write(rs), "Id,Name\r\n7,Ann");
}

TEST_F(DelimitedWriterTest, DelimAfterRowKeepsTheSeparatorOnEveryLine) {
    job.columns = 1;
    job.delimAfterRow = 1;
    MemoryRecordset rs = twoByThree();
    EXPECT_EQ(write(rs), "A,B,\r\n1,x,\r\n2,y,\r\n3,z,");
}

TEST_F(DelimitedWriterTest, MultiCharacterSeparatorIsDroppedWhole) {
    job.fieldSeparator = "||";
    job.columns = 1;
    MemoryRecordset rs = twoByThree();
    EXPECT_EQ(write(rs), "A||B\r\n1||x\r\n2||y\r\n3||z");

    job.delimAfterRow = 1;
    MemoryRecordset again = twoByThree();
    EXPECT_EQ(write(again), "A||B||\r\n1||x||\r\n2||y||\r\n3||z||");
}

TEST_F(DelimitedWriterTest, TabSeparatorAndSingleColumn) {
    job.fieldSeparator = "\t";
    job.columns = 1;
    MemoryRecordset rs({"Only"}, {adtype::kVarChar}, Rows{{"a"}, {"b c"}});
    EXPECT_EQ(write(rs), "Only\r\na\r\nb c");
}

TEST_F(DelimitedWriterTest, LowercaseColumnsAreQuoted) {
    job.columns = 1;
    job.lowercaseColumns = 1;
    MemoryRecordset rs({"OrderID", "Say\"Hi\"", "Ünit"},
                       {adtype::kInteger, adtype::kVarChar, adtype::kVarChar}, Rows{{1, "a", "b"}});
    EXPECT_EQ(write(rs), "\"orderid\",\"say\"\"hi\"\"\",\"Ünit\"\r\n1,a,b");

    job.lowercaseColumns = 0;
    rs.MoveFirst();
    EXPECT_EQ(write(rs), "OrderID,Say\"Hi\",Ünit\r\n1,a,b");
}

TEST_F(DelimitedWriterTest, NullsAndEmptyValues) {
    MemoryRecordset rs({"Name", "Qty", "When"}, {adtype::kVarChar, adtype::kInteger, adtype::kDate},
                       Rows{{Variant::null(), Variant::null(), Variant::null()},
                            {"", Variant(), "2003-12-25"}});
    // Defaults: nothing at all for a missing value.
    EXPECT_EQ(write(rs), ",,\r\n,,2003-12-25");

    job.includeNulls = 1;
    rs.MoveFirst();
    EXPECT_EQ(write(rs), "NULL,NULL,NULL\r\nNULL,NULL,2003-12-25");

    // Quotes reach the NULL text and empty values, in character columns only.
    job.quotes = 1;
    rs.MoveFirst();
    EXPECT_EQ(write(rs), "\"NULL\",NULL,NULL\r\n\"NULL\",NULL,2003-12-25");

    job.includeNulls = 0;
    rs.MoveFirst();
    EXPECT_EQ(write(rs), "\"\",,\r\n\"\",,2003-12-25");
}

TEST_F(DelimitedWriterTest, SeparatorsAndQuotesInsideValues) {
    MemoryRecordset rs({"Text", "Num", "Wide"}, {adtype::kVarChar, adtype::kDouble, adtype::kVarWChar},
                       Rows{{"a,b", 2.5, "say \"hi\""}, {"\"", -1.0, "x"}});
    // Without quoting, values go out as they are.
    EXPECT_EQ(write(rs), "a,b,2.5,say \"hi\"\r\n\",-1,x");

    job.quotes = 1;
    rs.MoveFirst();
    EXPECT_EQ(write(rs), "\"a,b\",2.5,\"say \"\"hi\"\"\"\r\n\"\"\"\",-1,\"x\"");
}

TEST_F(DelimitedWriterTest, ValuesReadAsTheirText) {
    MemoryRecordset rs({"D", "B", "L", "S"},
                       {adtype::kDBTimeStamp, adtype::kBoolean, adtype::kBigInt, adtype::kChar},
                       Rows{{DateTime{2003, 12, 25, 13, 5, 7}, true, int64_t{9007199254740993}, "é"}});
    EXPECT_EQ(write(rs), "2003-12-25 13:05:07,True,9007199254740993,é");
}

TEST_F(DelimitedWriterTest, RunningPastTheEndFailsAndKeepsTheOldFile) {
    writeFile(job.outputFile, "the good old file");
    job.columns = 1;
    MemoryRecordset rs({"N"}, {adtype::kInteger}, Rows{{1}, {2}, {3}, {4}, {5}});
    rs.moveTo(2);  // third row: only three rows left of five
    try {
        writeDelimited(job, rs);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kNoCurrentRecord);
    }
    EXPECT_EQ(readFile(job.outputFile), "the good old file");
    EXPECT_THAT(dir.names(), ElementsAre("out.csv"));
    EXPECT_TRUE(rs.Eof()) << "not moved back after a failure";
}

TEST_F(DelimitedWriterTest, MissingFolderFailsBeforeReadingRows) {
    job.outputFile = dir.file("missing/out.csv");
    MemoryRecordset rs = twoByThree();
    rs.moveTo(1);
    try {
        writeDelimited(job, rs);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kPathNotFound);
    }
    EXPECT_EQ(rs.position(), 1);
}

TEST_F(DelimitedWriterTest, ProgressIsReportedAndRowsStayInOrder) {
    Rows rows;
    std::string expected;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({i, "r" + std::to_string(i)});
        expected += std::to_string(i) + ",r" + std::to_string(i) + (i < 9999 ? "\n" : "");
    }
    MemoryRecordset rs({"I", "S"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows));
    job.unixFormat = 1;
    std::vector<std::pair<int64_t, int64_t>> calls;
    job.progress = [&](int64_t done, int64_t all) { calls.emplace_back(done, all); };
    EXPECT_EQ(write(rs), expected);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(int64_t{10000}, int64_t{10000}));
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_LT(calls[i - 1].first, calls[i].first);
}

// What a CSV reader makes of a quoted export: the sqlite3 shell imports the
// file and prints each field back.
TEST_F(DelimitedWriterTest, QuotedOutputReadsBackThroughSqlite3) {
    const std::vector<std::string> texts = {"plain", "a,b", "say \"hi\"", "two\nlines", "", "\"\""};
    Rows rows;
    for (size_t i = 0; i < texts.size(); ++i)
        rows.push_back({static_cast<int32_t>(i), texts[i]});
    MemoryRecordset rs({"Id", "Txt"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows));
    job.columns = 1;
    job.quotes = 1;
    job.unixFormat = 1;
    writeDelimited(job, rs);

    const std::string script = dir.file("read.sql");
    writeFile(script, ".mode list\n.import --csv '" + job.outputFile +
                          "' t\nSELECT Id || ':' || hex(Txt) FROM t ORDER BY CAST(Id AS INT);\n");
    const std::string cmd = std::string(VARNELO_SQLITE3_SHELL) + " -batch :memory: < '" + script + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
    ASSERT_TRUE(pipe);
    std::string got;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, pipe.get())) got.append(buf, n);

    std::string expected;
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string hex;
        for (unsigned char c : texts[i]) {
            char h[3];
            std::snprintf(h, sizeof h, "%02X", c);
            hex += h;
        }
        expected += std::to_string(i) + ":" + hex + "\n";
    }
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace varnelo
