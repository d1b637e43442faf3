// The delimited text writer: whole files written from in-memory sources and
// compared byte for byte.
#include "writers/pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/failing_recordset.h"
#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

void writeDelimited(ExportJob job, Recordset& rs) {
    job.format = 2;  // the job's own separator
    runExport(job, rs);
}

using ::testing::ElementsAre;
using namespace testing_support;
using Rows = std::vector<std::vector<Variant>>;

class DelimitedWriterTest : public ::testing::Test {
protected:
    DelimitedWriterTest() { job.outputFile = dir.file("out.csv"); }
    std::string write(MemoryRecordset& rs) {
        writeDelimited(job, rs);
        return readFile(job.outputFile);
    }
    MemoryRecordset twoByThree{{"A", "B"}, {adtype::kInteger, adtype::kVarChar},
                               Rows{{1, "x"}, {2, "y"}, {3, "z"}}, "select A,\nB from T"};
    TempDir dir;
    ExportJob job;
};

TEST_F(DelimitedWriterTest, SqlTextHeaderAndRows) {
    job.includeSQL = 1;
    EXPECT_EQ(write(twoByThree),
              "SQL statement that produce this data\r\nselect A,\nB from T\r\nA,B\r\n1,x\r\n2,y\r\n3,z");
    EXPECT_EQ(twoByThree.position(), 0) << "a successful export moves back to the first row";
    job.unixFormat = 1;
    EXPECT_EQ(write(twoByThree), "SQL statement that produce this data\nselect A,\nB from T\nA,B\n1,x\n2,y\n3,z");
    MemoryRecordset one({"Id"}, {adtype::kInteger}, Rows{{7}});
    EXPECT_EQ(write(one), "SQL statement that produce this data\n\nId\n7");
    // No rows: the last file gives way to an empty one, without SQL text or header.
    MemoryRecordset none({"A"}, {adtype::kInteger}, Rows{}, "select A from T");
    EXPECT_EQ(write(none), "");
}

TEST_F(DelimitedWriterTest, SeparatorAtTheLineEndsAndLowercaseHeader) {
    job.delimAfterRow = 1;
    EXPECT_EQ(write(twoByThree), "A,B,\r\n1,x,\r\n2,y,\r\n3,z,");

    job.fieldSeparator = "||";  // a separator of any length goes whole
    EXPECT_EQ(write(twoByThree), "A||B||\r\n1||x||\r\n2||y||\r\n3||z||");
    job.delimAfterRow = 0;
    EXPECT_EQ(write(twoByThree), "A||B\r\n1||x\r\n2||y\r\n3||z");

    job.fieldSeparator = ",";
    job.lowercaseColumns = 1;  // lower-cased names go in quotes; only ASCII letters change
    MemoryRecordset rs({"OrderID", "Say\"Hi\"", "Ünit"},
                       {adtype::kInteger, adtype::kVarChar, adtype::kVarChar}, Rows{{1, "a", "b"}});
    EXPECT_EQ(write(rs), "\"orderid\",\"say\"\"hi\"\"\",\"Ünit\"\r\n1,a,b");
    job.lowercaseColumns = 0;
    EXPECT_EQ(write(rs), "OrderID,Say\"Hi\",Ünit\r\n1,a,b");
}

TEST_F(DelimitedWriterTest, NullsEmptyValuesAndQuotes) {
    job.columns = 0;
    MemoryRecordset rs({"Name", "Qty", "When"}, {adtype::kVarChar, adtype::kInteger, adtype::kDate},
                       Rows{{Variant::null(), Variant::null(), DateTime{2003, 12, 25, 13, 5, 7}},
                            {"", Variant(), "a,\"b\""}});
    EXPECT_EQ(write(rs), ",,2003-12-25 13:05:07\r\n,,a,\"b\"");  // no quoting: as they are
    job.includeNulls = 1;
    EXPECT_EQ(write(rs), "NULL,NULL,2003-12-25 13:05:07\r\nNULL,NULL,a,\"b\"");
    // Quotes reach the NULL text in character columns, and every text value
    // (here one in a date column), whatever its column declares.
    job.quotes = 1;
    EXPECT_EQ(write(rs), "\"NULL\",NULL,2003-12-25 13:05:07\r\n\"NULL\",NULL,\"a,\"\"b\"\"\"");
    job.includeNulls = 0;
    EXPECT_EQ(write(rs), "\"\",,2003-12-25 13:05:07\r\n\"\",,\"a,\"\"b\"\"\"");
    MemoryRecordset injected({"n"}, {adtype::kInteger}, Rows{{"1,2"}, {7}});
    EXPECT_EQ(write(injected), "\"1,2\"\r\n7");
    // A header name that would break the line is quoted by the same rule.
    job.columns = 1;
    MemoryRecordset names({"a,b", "say \"x\"", "two\nlines", "plain"},
                          {adtype::kInteger, adtype::kInteger, adtype::kInteger, adtype::kInteger},
                          Rows{{1, 2, 3, 4}});
    EXPECT_EQ(write(names), "\"a,b\",\"say \"\"x\"\"\",\"two\nlines\",plain\r\n1,2,3,4");
    job.columns = 0;

    MemoryRecordset text({"T", "N"}, {adtype::kVarWChar, adtype::kDouble},
                         Rows{{"say \"hi\", bye", 2.5}, {"\"", -1.0}});
    EXPECT_EQ(write(text), "\"say \"\"hi\"\", bye\",2.5\r\n\"\"\"\",-1");
}

TEST_F(DelimitedWriterTest, StartsAtTheFirstRowAndASourceFailureKeepsTheOldFile) {
    MemoryRecordset rs({"N"}, {adtype::kInteger}, Rows{{1}, {2}, {3}});
    rs.moveTo(2);  // wherever the host left the cursor
    EXPECT_EQ(write(rs), "N\r\n1\r\n2\r\n3");

    writeFile(job.outputFile, "the good old file");
    testing_support::FailingRecordset failing({"N"}, {adtype::kInteger}, Rows{{1}, {2}}, 1);
    EXPECT_EQ(errorOf([&] { writeDelimited(job, failing); }).number(), err::kNoCurrentRecord);
    EXPECT_EQ(readFile(job.outputFile), "the good old file");
    EXPECT_THAT(dir.names(), ElementsAre("out.csv"));
}

TEST_F(DelimitedWriterTest, ManyRowsInOrderWithProgress) {
    Rows rows;
    std::string expected = "I,S\n";
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({i, "r" + std::to_string(i)});
        expected += std::to_string(i) + ",r" + std::to_string(i) + (i < 9999 ? "\n" : "");
    }
    MemoryRecordset rs({"I", "S"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows));
    job.unixFormat = 1;
    std::vector<std::pair<int64_t, int64_t>> calls;
    job.progress = [&](int64_t rowsDone, int64_t all) { calls.emplace_back(rowsDone, all); };
    EXPECT_EQ(write(rs), expected);
    // No total unless asked: counting costs a second pass over the query.
    using P = std::pair<int64_t, int64_t>;
    EXPECT_THAT(calls, ElementsAre(P{4096, -1}, P{8192, -1}, P{10000, 10000}));
    calls.clear();
    job.countRows = true;
    write(rs);
    EXPECT_THAT(calls, ElementsAre(P{4096, 10000}, P{8192, 10000}, P{10000, 10000}));
}

}  // namespace
}  // namespace varnelo
