// The INSERT statement writer: whole files from in-memory sources compared
// byte for byte, commit counting, the query comment, Nulls of every type
// group, and the failures a host sees through the control.
#include "writers/insert_writer.h"

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
    }

    std::string write(MemoryRecordset& rs) {
        writeInserts(job, rs);
        return readFile(job.outputFile);
    }

    // n one-column rows 1..n.
    static MemoryRecordset numbers(int n) {
        Rows rows;
        for (int i = 1; i <= n; ++i) rows.push_back({i});
        return MemoryRecordset({"N"}, {adtype::kInteger}, std::move(rows));
    }
    static std::string stmt(int n) { return "INSERT INTO T (N) \nVALUES (\n" + std::to_string(n) + ");\n"; }

    TempDir dir;
    ExportJob job;
};

TEST_F(InsertWriterTest, StatementShapeWithAndWithoutSchema) {
    MemoryRecordset rs({"ID", "NAME"}, {adtype::kInteger, adtype::kVarChar}, Rows{{7, "Smith"}});
    job.insertSchema = "SALES";
    job.insertTable = "ORDERS";
    EXPECT_EQ(write(rs), "INSERT INTO SALES.ORDERS (ID,NAME) \r\nVALUES (\r\n7,'Smith');\r\nCOMMIT;");
    EXPECT_EQ(rs.position(), 0) << "moved back to the first row";

    job.insertSchema = "";
    job.unixFormat = 1;
    MemoryRecordset two({"ID", "NAME"}, {adtype::kInteger, adtype::kChar}, Rows{{1, "a"}, {2, "b"}});
    EXPECT_EQ(write(two),
              "INSERT INTO ORDERS (ID,NAME) \nVALUES (\n1,'a');\n"
              "INSERT INTO ORDERS (ID,NAME) \nVALUES (\n2,'b');\nCOMMIT;");

    job.insertTable = "T";
    MemoryRecordset one = numbers(1);
    EXPECT_EQ(write(one), stmt(1) + "COMMIT;") << "one column: no separator anywhere";
}

TEST_F(InsertWriterTest, EmptySourceGivesOnlyTheFinalCommit) {
    writeFile(job.outputFile, "yesterday's statements");
    job.includeSQL = 1;
    MemoryRecordset rs({"A"}, {adtype::kInteger}, Rows{}, "select A from T");
    EXPECT_EQ(write(rs), "COMMIT;");
}

TEST_F(InsertWriterTest, CommitsAtTheIntervalFloored) {
    job.unixFormat = 1;
    MemoryRecordset four = numbers(4);
    const std::string c = "COMMIT;\n";
    job.commitInterval = "2";
    EXPECT_EQ(write(four), stmt(1) + stmt(2) + c + stmt(3) + stmt(4) + c + "COMMIT;")
        << "a multiple of the interval ends with two commits, one line end between";
    job.commitInterval = "2.9";
    EXPECT_EQ(write(four), stmt(1) + stmt(2) + c + stmt(3) + stmt(4) + c + "COMMIT;");
    job.commitInterval = " 3 ";
    EXPECT_EQ(write(four), stmt(1) + stmt(2) + stmt(3) + c + stmt(4) + "COMMIT;");
    job.commitInterval = "1";
    EXPECT_EQ(write(four), stmt(1) + c + stmt(2) + c + stmt(3) + c + stmt(4) + c + "COMMIT;");
    for (const char* never : {"0", "-3", "0.5", "5", "1e30"}) {
        job.commitInterval = never;
        EXPECT_EQ(write(four), stmt(1) + stmt(2) + stmt(3) + stmt(4) + "COMMIT;") << never;
    }
}

TEST_F(InsertWriterTest, ANonNumericIntervalFailsAndKeepsTheOldFile) {
    writeFile(job.outputFile, "the good old file");
    MemoryRecordset rs = numbers(3);
    for (const char* bad : {"abc", "", "12x", "inf", "nan"}) {
        job.commitInterval = bad;
        EXPECT_EQ(errorOf([&] { writeInserts(job, rs); }).number(), err::kTypeMismatch) << bad;
        EXPECT_EQ(readFile(job.outputFile), "the good old file") << bad;
        EXPECT_THAT(dir.names(), ElementsAre("out.sql")) << "no temporary left behind";
        rs.MoveFirst();
    }
}

TEST_F(InsertWriterTest, EveryLineOfTheQueryIsCommentedBeforeTheFirstStatementOnly) {
    job.includeSQL = 1;
    job.unixFormat = 1;
    MemoryRecordset rs({"N"}, {adtype::kInteger}, Rows{{1}, {2}}, "select N,\r\n  M\nfrom T\r-- end");
    EXPECT_EQ(write(rs),
              "--SQL statement that produce this data\n--select N,\n--  M\n--from T\n---- end\n" + stmt(1) +
                  stmt(2) + "COMMIT;");
    MemoryRecordset bare({"N"}, {adtype::kInteger}, Rows{{1}}, "");
    EXPECT_EQ(write(bare), "--SQL statement that produce this data\n--\n" + stmt(1) + "COMMIT;");
}

TEST_F(InsertWriterTest, NullsEmptiesQuotesAndDatesOfEveryTypeGroup) {
    job.unixFormat = 1;
    MemoryRecordset rs({"S", "W", "D", "I", "X", "B"},
                       {adtype::kVarChar, adtype::kVarWChar, adtype::kDBTimeStamp, adtype::kInteger,
                        adtype::kDouble, adtype::kBoolean},
                       Rows{{Variant::null(), Variant::null(), Variant::null(), Variant::null(),
                             Variant::null(), Variant::null()},
                            {"", Variant(), Variant(), Variant(), "", true},
                            {"O'Brien's", "Zoë ''x''", DateTime{2003, 12, 25, 13, 5, 7}, -42, 2.5, false},
                            {"a,b\nc", "\"q\"", "2024-02-29 23:59:58", int64_t{9007199254740993}, -1e21,
                             true}});
    const std::string head = "INSERT INTO T (S,W,D,I,X,B) \nVALUES (\n";
    EXPECT_EQ(write(rs),
              head + "NULL,NULL,NULL,NULL,NULL,NULL);\n" +  //
                  head + "'','','',NULL,NULL,True);\n" +
                  head +
                  "'O''Brien''s','Zoë ''''x''''',TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss'),"
                  "-42,2.5,False);\n" +
                  head +
                  "'a,b\nc','\"q\"',TO_DATE('29/02/2024 23:59:58','dd/mm/yyyy hh24:mi:ss'),"
                  "9007199254740993,-1e+21,True);\n"
                  "COMMIT;");
}

TEST_F(InsertWriterTest, ADateThatIsNoDateFailsAndKeepsTheOldFile) {
    writeFile(job.outputFile, "the good old file");
    MemoryRecordset rs({"D"}, {adtype::kDate}, Rows{{"2024-01-01"}, {"soon"}});
    EXPECT_EQ(errorOf([&] { writeInserts(job, rs); }).number(), err::kTypeMismatch);
    EXPECT_EQ(readFile(job.outputFile), "the good old file");
}

TEST_F(InsertWriterTest, ManyRowsCommitEveryThousandWithProgress) {
    Rows rows;
    for (int i = 0; i < 10000; ++i) rows.push_back({i, "r" + std::to_string(i)});
    MemoryRecordset rs({"I", "S"}, {adtype::kInteger, adtype::kVarChar}, std::move(rows));
    job.commitInterval = "1000";
    std::vector<int64_t> done;
    job.progress = [&](int64_t rowsDone, int64_t) { done.push_back(rowsDone); };
    const std::string text = write(rs);
    EXPECT_THAT(done, ElementsAre(4096, 8192, 10000));
    size_t statements = 0, commits = 0;
    for (size_t at = 0; (at = text.find("INSERT INTO T (I,S) ", at)) != std::string::npos; ++at) ++statements;
    for (size_t at = 0; (at = text.find("COMMIT;", at)) != std::string::npos; ++at) ++commits;
    EXPECT_EQ(statements, 10000u);
    EXPECT_EQ(commits, 11u);
    EXPECT_THAT(text, HasSubstr("VALUES (\r\n999,'r999');\r\nCOMMIT;\r\nINSERT INTO T (I,S) \r\nVALUES (\r\n1000,"));
    EXPECT_THAT(text, ::testing::EndsWith("9999,'r9999');\r\nCOMMIT;\r\nCOMMIT;"));
}

// Through the control: the driver's "," and the writer's error tag.
class InsertThroughControlTest : public testing_control::ControlTest {
protected:
    void ready(std::shared_ptr<MemoryRecordset> rs) {
        control.DataSource(rs);
        control.Format(Inserts);
        control.OutputFile(file);
        control.InsertTable("T");
        control.FieldSeparator("|");
        forget();
    }
    TempDir dir;
    std::string file = dir.file("out.sql");
};

TEST_F(InsertThroughControlTest, SaveWritesStatementsWithCommas) {
    auto rs = std::make_shared<MemoryRecordset>(std::vector<std::string>{"A", "B"},
                                                std::vector<int>{adtype::kInteger, adtype::kVarChar},
                                                Rows{{1, "x"}});
    ready(rs);
    control.CommitInterval("1");
    control.Save();
    EXPECT_EQ(readFile(file), "INSERT INTO T (A,B) \r\nVALUES (\r\n1,'x');\r\nCOMMIT;\r\nCOMMIT;");
}

TEST_F(InsertThroughControlTest, ANonNumericIntervalIsATypeMismatchUnderInsertIO) {
    auto rs = std::make_shared<MemoryRecordset>(std::vector<std::string>{"A"},
                                                std::vector<int>{adtype::kInteger}, Rows{{1}});
    ready(rs);
    control.CommitInterval("ten");
    Error e = errorOf([&] { control.Save(); });
    EXPECT_EQ(e.number(), err::kTypeMismatch);
    EXPECT_THAT(e.description(), HasSubstr("  Method: Varnelo.InsertIO \r\n"));
    EXPECT_THAT(callStack(e.description()), ElementsAre("Varnelo.InsertIO", "Varnelo.Save"));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(p().SSTab1.enabled());
}

}  // namespace
}  // namespace varnelo
