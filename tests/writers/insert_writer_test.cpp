// The INSERT statement writer: whole files compared byte for byte, commit
// counting, the query comment, Nulls of every type group, and the failures a
// host sees through the control.
#include "writers/pipeline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo {
namespace {

void writeInserts(ExportJob job, Recordset& rs) {
    job.format = 3;
    runExport(job, rs);
}


using ::testing::ElementsAre;
using testing_control::callStack;
using testing_support::errorOf;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Rows = std::vector<std::vector<Variant>>;

class InsertWriterTest : public ::testing::Test {
protected:
    InsertWriterTest() {
        job.outputFile = dir.file("out.sql");
        job.insertTable = "T";
        job.commitInterval = "100";
        job.unixFormat = 1;
    }
    std::string write(MemoryRecordset& rs) {
        writeInserts(job, rs);
        return readFile(job.outputFile);
    }
    static std::string stmt(int n) { return "INSERT INTO T (N) \nVALUES (\n" + std::to_string(n) + ");\n"; }

    TempDir dir;
    ExportJob job;
};

TEST_F(InsertWriterTest, StatementShapeOneRowOneColumnAndEmptySource) {
    MemoryRecordset rs({"ID", "NAME"}, {adtype::kInteger, adtype::kVarChar}, Rows{{7, "Smith"}, {8, "Jones"}});
    job.insertSchema = "SALES";
    job.insertTable = "ORDERS";
    job.unixFormat = 0;
    EXPECT_EQ(write(rs),
              "INSERT INTO SALES.ORDERS (ID,NAME) \r\nVALUES (\r\n7,'Smith');\r\n"
              "INSERT INTO SALES.ORDERS (ID,NAME) \r\nVALUES (\r\n8,'Jones');\r\nCOMMIT;");
    EXPECT_EQ(rs.position(), 0) << "moved back to the first row";

    job.insertSchema = "";
    job.insertTable = "T";
    job.unixFormat = 1;
    MemoryRecordset one({"N"}, {adtype::kInteger}, Rows{{1}});
    EXPECT_EQ(write(one), stmt(1) + "COMMIT;") << "no schema, one column: no separator anywhere";

    job.includeSQL = 1;
    MemoryRecordset none({"A"}, {adtype::kInteger}, Rows{}, "select A from T");
    EXPECT_EQ(write(none), "COMMIT;") << "an empty source replaces the old file with the final commit only";
}

TEST_F(InsertWriterTest, CommitsAtTheIntervalFloored) {
    MemoryRecordset four({"N"}, {adtype::kInteger}, Rows{{1}, {2}, {3}, {4}});
    // The interval text and the statements after which a COMMIT follows (0: none before the final one).
    const std::pair<const char*, int> cases[] = {{"2", 2},  {"2.9", 2}, {" 3 ", 3}, {"1", 1},   {"0", 0},
                                                 {"-3", 0}, {"0.5", 0}, {"5", 0},   {"1e30", 0}};
    for (auto [interval, every] : cases) {
        job.commitInterval = interval;
        std::string want;
        for (int i = 1; i <= 4; ++i) want += stmt(i) + (every > 0 && i % every == 0 ? "COMMIT;\n" : "");
        EXPECT_EQ(write(four), want + "COMMIT;") << interval;
    }
}

TEST_F(InsertWriterTest, EveryLineOfTheQueryIsCommentedBeforeTheFirstStatementOnly) {
    job.includeSQL = 1;
    MemoryRecordset rs({"N"}, {adtype::kInteger}, Rows{{1}, {2}}, "select N,\r\n  M\nfrom T\r-- end");
    EXPECT_EQ(write(rs), "--SQL statement that produce this data\n--select N,\n--  M\n--from T\n---- end\n" +
                             stmt(1) + stmt(2) + "COMMIT;");
}

TEST_F(InsertWriterTest, NullsEmptiesQuotesAndDatesOfEveryTypeGroup) {
    const Variant null = Variant::null();
    MemoryRecordset rs({"S", "W", "D", "I", "X", "B"},
                       {adtype::kVarChar, adtype::kVarWChar, adtype::kDBTimeStamp, adtype::kInteger, adtype::kDouble,
                        adtype::kBoolean},
                       Rows{{null, null, null, null, null, null},
                            {"", Variant(), Variant(), Variant(), "", true},
                            {"O'Brien's", "Zoë ''x''", DateTime{2003, 12, 25, 13, 5, 7}, -42, 2.5, false},
                            {"a,b\nc", "\"q\"", "2024-02-29 23:59:58", int64_t{9007199254740993}, -1e21, true}});
    const std::string head = "INSERT INTO T (S,W,D,I,X,B) \nVALUES (\n";
    EXPECT_EQ(write(rs), head + "NULL,NULL,NULL,NULL,NULL,NULL);\n" +  //
                             head + "'',NULL,NULL,NULL,'',True);\n" +  // text is text, even empty in a number column
                             head +
                             "'O''Brien''s','Zoë ''''x''''',TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss'),"
                             "-42,2.5,False);\n" +
                             head +
                             "'a,b\nc','\"q\"',TO_DATE('29/02/2024 23:59:58','dd/mm/yyyy hh24:mi:ss'),"
                             "9007199254740993,-1e+21,True);\nCOMMIT;");
}

// Past the output buffer and the progress step.
TEST_F(InsertWriterTest, ManyRowsCommitEveryThousandWithProgress) {
    Rows rows;
    std::string want;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({i});
        want += stmt(i) + (i % 1000 == 999 ? "COMMIT;\n" : "");
    }
    MemoryRecordset rs({"N"}, {adtype::kInteger}, std::move(rows));
    job.commitInterval = "1000";
    std::vector<int64_t> done;
    job.progress = [&](int64_t rowsDone, int64_t) { done.push_back(rowsDone); };
    want += "COMMIT;";
    const std::string text = write(rs);
    EXPECT_TRUE(text == want) << "differs from byte "
                              << std::mismatch(text.begin(), text.end(), want.begin(), want.end()).first - text.begin();
    EXPECT_THAT(done, ElementsAre(4096, 8192, 10000));
}

class InsertThroughControlTest : public testing_control::ControlTest {};

TEST_F(InsertThroughControlTest, ANonNumericIntervalIsATypeMismatchUnderInsertIOKeepingTheOldFile) {
    TempDir dir;
    const std::string file = dir.file("out.sql");
    writeFile(file, "the good old file");
    control.DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"A"},
                                                         std::vector<int>{adtype::kInteger}, Rows{{1}, {2}}));
    control.Format(Inserts);
    control.OutputFile(file);
    control.InsertTable("T");
    for (const char* bad : {"ten", "12x", "inf", "nan"}) {
        control.CommitInterval(bad);
        Error e = errorOf([&] { control.Save(); });
        EXPECT_EQ(e.number(), err::kTypeMismatch) << bad;
        EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.InsertIO", "Varnelo.Save")) << bad;
        EXPECT_EQ(readFile(file), "the good old file") << bad;
    }
}

}  // namespace
}  // namespace varnelo
