// The text writers' whole files from in-memory sources, and Save's failures; real readers are in tests/apps/.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "control/control_fixture.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"
#include "writers/pipeline.h"
#include "writers/sqlldr_writer.h"

namespace varnelo {
namespace {

using namespace testing_support;
using ::testing::EndsWith, ::testing::HasSubstr;
using Rows = std::vector<std::vector<Variant>>;

template <int32_t Format>
class WriterTest : public ::testing::Test {
protected:
    WriterTest() {
        job.format = Format, job.outputFile = dir.file("out.txt"), job.unixFormat = 1, job.insertTable = "T";
        job.commitInterval = "100", job.discardMax = "50";
        job.headerFont = job.bodyFont = makeFont("Arial", 10);
    }
    std::string write(Recordset& rs) {
        runExport(job, rs);
        return readFile(job.outputFile);
    }
    TempDir dir;
    ExportJob job;
};
using DelimitedWriterTest = WriterTest<2>;
using InsertWriterTest = WriterTest<3>;
using HtmlWriterTest = WriterTest<6>;
using SqlLoaderWriterTest = WriterTest<7>;

// Query text and header come with the first row; the separator goes whole; the export starts and ends at row one.
TEST_F(DelimitedWriterTest, QueryTextHeaderSeparatorsAndLineEnds) {
    job.includeSQL = 1;
    MemoryRecordset rs({"A", "B"}, {adtype::kInteger, adtype::kVarChar}, Rows{{1, "x"}, {2, "y"}}, "select A,\nB");
    const struct { int32_t lf, after; const char* sep; const char* want; } cases[] = {
        {0, 0, ",", "SQL statement that produce this data\r\nselect A,\nB\r\nA,B\r\n1,x\r\n2,y"},
        {1, 0, "||", "SQL statement that produce this data\nselect A,\nB\nA||B\n1||x\n2||y"},
        {1, 1, ",", "SQL statement that produce this data\nselect A,\nB\nA,B,\n1,x,\n2,y,"},
    };
    for (const auto& c : cases) {
        job.unixFormat = c.lf, job.delimAfterRow = c.after, job.fieldSeparator = c.sep;
        rs.moveTo(2);
        EXPECT_EQ(write(rs), c.want);
        EXPECT_EQ(rs.position(), 0);
    }
    MemoryRecordset none({"A"}, {adtype::kInteger}, Rows{}, "select A");
    EXPECT_EQ(write(none), "") << "no rows: no query text and no header";
}

// Quotes go round every text value (even empty) and every value of a character column (its Null too), never round a
// Null or Empty elsewhere; lower-cased names are always quoted, and only ASCII letters change.
TEST_F(DelimitedWriterTest, NullsQuotesAndNames) {
    MemoryRecordset rs({"Name", "Ünit\"Q\"", "a,b"}, {adtype::kVarChar, adtype::kInteger, adtype::kDate},
                       Rows{{Variant::null(), Variant::null(), DateTime{2003, 12, 25, 13, 5, 7}}, {"", "", "a,\"b\""},
                            {7, "1,2", Variant()}});
    const struct { int32_t quotes, nulls, lower; const char* want; } cases[] = {
        {0, 0, 0, "Name,Ünit\"Q\",a,b\n,,2003-12-25 13:05:07\n,,a,\"b\"\n7,1,2,"},
        {0, 1, 1, "\"name\",\"Ünit\"\"q\"\"\",\"a,b\"\nNULL,NULL,2003-12-25 13:05:07\nNULL,NULL,a,\"b\"\n7,1,2,NULL"},
        {1, 1, 0,
         "Name,\"Ünit\"\"Q\"\"\",\"a,b\"\n\"NULL\",NULL,2003-12-25 13:05:07\n\"NULL\",\"NULL\",\"a,\"\"b\"\"\"\n"
         "\"7\",\"1,2\",NULL"},
    };
    for (const auto& c : cases) {
        job.quotes = c.quotes, job.includeNulls = c.nulls, job.lowercaseColumns = c.lower;
        EXPECT_EQ(write(rs), c.want) << c.quotes << c.nulls << c.lower;
    }
}

std::string stmt(int n) { return "INSERT INTO T (N) \nVALUES (\n" + std::to_string(n) + ");\n"; }

// Odd names in double quotes; a final COMMIT even for an empty source; every line of the query a comment.
TEST_F(InsertWriterTest, StatementShapeAndQueryComment) {
    job.includeSQL = 1;
    MemoryRecordset none({"A"}, {adtype::kInteger}, Rows{}, "select A from T");
    EXPECT_EQ(write(none), "COMMIT;");
    MemoryRecordset two({"N"}, {adtype::kInteger}, Rows{{1}, {2}}, "select N,\r\n  M\nfrom T\r-- end");
    EXPECT_EQ(write(two), "--SQL statement that produce this data\n--select N,\n--  M\n--from T\n---- end\n" +
                              stmt(1) + stmt(2) + "COMMIT;");
    job.includeSQL = 0, job.insertSchema = "SALES", job.unixFormat = 0;
    MemoryRecordset rs({"ID", "order id"}, {adtype::kInteger, adtype::kVarChar}, Rows{{7, "Smith"}, {8, "Jones"}});
    EXPECT_EQ(write(rs), "INSERT INTO SALES.T (ID,\"order id\") \r\nVALUES (\r\n7,'Smith');\r\n"
                         "INSERT INTO SALES.T (ID,\"order id\") \r\nVALUES (\r\n8,'Jones');\r\nCOMMIT;");
}

// The interval is read as a number and floored; below 1 or past any count, only the last COMMIT.
TEST_F(InsertWriterTest, CommitsAtTheIntervalFloored) {
    MemoryRecordset four({"N"}, {adtype::kInteger}, Rows{{1}, {2}, {3}, {4}});
    const std::pair<const char*, int> cases[] = {{"2", 2}, {"2.9", 2}, {" 3 ", 3}, {"1", 1},
                                                 {"0", 0}, {"-3", 0},  {"5", 0},   {"1e30", 0}};
    for (auto [interval, every] : cases) {
        job.commitInterval = interval;
        std::string want;
        for (int i = 1; i <= 4; ++i) want += stmt(i) + (every > 0 && i % every == 0 ? "COMMIT;\n" : "");
        EXPECT_EQ(write(four), want + "COMMIT;") << interval;
    }
}

// Text is quoted even when empty or in a number column; dates become TO_DATE.
TEST_F(InsertWriterTest, NullsEmptiesQuotesAndDatesOfEveryTypeGroup) {
    const Variant null = Variant::null();
    MemoryRecordset rs({"S", "W", "D", "I", "X", "B"}, {adtype::kVarChar, adtype::kVarWChar, adtype::kDBTimeStamp,
                                                        adtype::kInteger, adtype::kDouble, adtype::kBoolean},
                       Rows{{null, Variant(), null, null, null, null},
                            {"", "a,b\nc", "2024-02-29 23:59:58", Variant(), "", true},
                            {"O'Brien's", "Zoë", DateTime{2003, 12, 25, 13, 5, 7}, int64_t{9007199254740993}, -1e21,
                             false}});
    const std::string head = "INSERT INTO T (S,W,D,I,X,B) \nVALUES (\n";
    EXPECT_EQ(write(rs), head + "NULL,NULL,NULL,NULL,NULL,NULL);\n" + head +
                             "'','a,b\nc',TO_DATE('29/02/2024 23:59:58','dd/mm/yyyy hh24:mi:ss'),NULL,'',True);\n" + head +
                             "'O''Brien''s','Zoë',TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss'),"
                             "9007199254740993,-1e+21,False);\nCOMMIT;");
}

// The control file's lines up to "(", with LF line ends.
std::string loaderHead(const TempDir& dir, const std::string& table, const std::string& clause = "\",\"") {
    const std::string base = dir.file("out.");
    return "Load data \nINFILE *\nBADFILE " + base + "bad\nDISCARDFILE " + base + "dsc\nDISCARDMAX 50\n" + table +
           " INTO TABLE T\nFields terminated by " + clause + "\nTRAILING NULLCOLS\n(\n";
}

// Nulls and empties of every type group are empty fields; CR LF throughout on request.
TEST_F(SqlLoaderWriterTest, WholeFileWithColumnTypesAndData) {
    const Variant null = Variant::null();
    MemoryRecordset rs({"ID", "NAME", "BORN", "PRICE"},
                       {adtype::kInteger, adtype::kVarChar, adtype::kDBTimeStamp, adtype::kDouble},
                       Rows{{7, "Smith", DateTime{2003, 12, 25, 13, 5, 7}, 2.5}, {8, "Jones", "2024-02-29", -1.0},
                            {null, null, null, null}, {Variant(), "", Variant(), null}});
    job.sqlLoaderMode = Append;
    const std::string want = loaderHead(dir, "APPEND") +
                             "ID\tINTEGER EXTERNAL,\nNAME\tCHAR(5),\nBORN\tDATE\t\"dd/mm/yyyy hh24:mi:ss\",\n"
                             "PRICE\tINTEGER EXTERNAL\n)\nBEGINDATA\n"
                             "7,Smith,25/12/2003 13:05:07,2.5\n8,Jones,29/02/2024 00:00:00,-1\n,,,\n,,,";
    EXPECT_EQ(write(rs), want);
    job.unixFormat = 0;
    EXPECT_EQ(write(rs), std::regex_replace(want, std::regex("\n"), "\r\n"));
}

// Modes by number; CHAR(1) at least; a dot in a folder name is no extension; an empty DiscardMax is left out; the
// schema before the table.
TEST_F(SqlLoaderWriterTest, ModesEmptySourcesAndBaseNames) {
    const std::pair<int32_t, const char*> modes[] = {{5, ""}, {Replace_, "REPLACE"}, {Truncate, "TRUNCATE"}};
    MemoryRecordset none({"A", "B"}, {adtype::kInteger, adtype::kChar}, Rows{});
    for (auto [mode, keyword] : modes) {
        job.sqlLoaderMode = mode;
        EXPECT_EQ(write(none), loaderHead(dir, keyword) + "A\tINTEGER EXTERNAL,\nB\tCHAR(1)\n)\nBEGINDATA\n");
    }
    EXPECT_EQ(sqlLoaderBaseName("out.d/orders"), "out.d/orders.");
    job.outputFile = dir.file("load"), job.discardMax = "", job.insertSchema = "S";
    EXPECT_THAT(write(none), HasSubstr("\nBADFILE " + dir.file("load.bad") + "\nDISCARDFILE " + dir.file("load.dsc") +
                                       "\nTRUNCATE INTO TABLE S.T\n"));
}

// Text and character columns go enclosed, the enclosure doubled inside; a separator of any length is kept whole; a
// string holding both quote kinds goes as hex, since the loader reads no doubled quotes there.
TEST_F(SqlLoaderWriterTest, EnclosuresAndSeparators) {
    MemoryRecordset rs({"N", "S", "D"}, {adtype::kInteger, adtype::kVarChar, adtype::kDate},
                       Rows{{1, "Smith, John", "2024-01-02 15:04:05"}, {2, "the \"quoted\" one", Variant::null()}});
    job.strEnclose = "\"";
    EXPECT_EQ(write(rs), loaderHead(dir, "INSERT", "\",\" Optionally enclosed by '\"'") +
                             "N\tINTEGER EXTERNAL,\nS\tCHAR(16),\nD\tDATE\t\"dd/mm/yyyy hh24:mi:ss\"\n)\nBEGINDATA\n"
                             "1,\"Smith, John\",02/01/2024 15:04:05\n2,\"the \"\"quoted\"\" one\",");
    job.strEnclose = "$$", job.fieldSeparator = "||";
    MemoryRecordset money({"N", "S"}, {adtype::kInteger, adtype::kChar}, Rows{{1, "a$$b$c$$$"}});
    const std::string text = write(money);
    EXPECT_THAT(text, HasSubstr("\nFields terminated by \"||\" Optionally enclosed by \"$$\"\n"));
    EXPECT_THAT(text, EndsWith("BEGINDATA\n1||$$a$$$$b$c$$$$$$$"));
    job.fieldSeparator = "\"|", job.strEnclose = "'\"";
    EXPECT_THAT(write(money), HasSubstr("\nFields terminated by '\"|' Optionally enclosed by X'2722'\n"));
}

// CHAR(n) covers a value past the loader's 255-byte default; Booleans load as 1 and 0; fractions and zones widen.
TEST_F(SqlLoaderWriterTest, LongValuesBooleansAndFractionsLoseNothing) {
    MemoryRecordset rs({"T", "B", "D", "Z"}, {adtype::kVarChar, adtype::kBoolean, adtype::kDBTimeStamp, adtype::kDate},
                       Rows{{std::string(300, 'x') + "\xC3\xA9", true, "2024-03-05T14:30:00.123", "2024-03-05"},
                            {"a", false, "2024-03-05 14:30:00", "2024-03-05 14:30:00+05:30"}});
    const std::string text = write(rs);
    EXPECT_THAT(text, HasSubstr("\nT\tCHAR(302),\nB\tINTEGER EXTERNAL,\nD\tTIMESTAMP\t\"dd/mm/yyyy hh24:mi:ss.ff\",\n"
                                "Z\tTIMESTAMP WITH TIME ZONE\t\"dd/mm/yyyy hh24:mi:ss.ff tzh:tzm\"\n)\n"));
    EXPECT_THAT(text, EndsWith(",1,05/03/2024 14:30:00.123,05/03/2024 00:00:00\n"
                               "a,0,05/03/2024 14:30:00,05/03/2024 14:30:00 +05:30"));
}

const std::string kStart = "<table border=1 cellspacing=1 cellpadding=1 Width= \"100%\">\r\n", kEndRow = "</tr>\r\n",
                  kEnd = "</table>\r\n";

// One cell in an Arial 10 font, spelled out independently of the writer.
std::string cell(const std::string& open, const std::string& bg, const std::string& color, const std::string& text,
                 const std::string& close) {
    const std::string font = " <font face=\"Arial\" color=\"" + color + "\" size=\"2\">";
    return open + "align=\"left\" bgcolor=\"" + bg + "\"" + font + font + text + "</font>" + close + "\r\n";
}
// Cells in the job's default colours.
std::string th(const std::string& text) { return cell("<th ", "#000040", "#FFFFFF", text, "</th>"); }
std::string td(const std::string& text) { return cell("<td ", "#FFFFFF", "#000000", text, "</td>"); }

// Header row only with Columns 1; lone columns close their rows; no cell, no table; a missing font keeps the old file.
TEST_F(HtmlWriterTest, HeaderRowsEmptySourcesAndFonts) {
    MemoryRecordset rs({"Id", "Price"}, {adtype::kInteger, adtype::kDouble}, Rows{{1, 2.5}, {2, -1.0}});
    const std::string body = "<tr>" + td("1") + td("2.5") + kEndRow + "<tr>" + td("2") + td("-1") + kEndRow + kEnd;
    EXPECT_EQ(write(rs), kStart + "<tr>" + th("Id") + th("Price") + kEndRow + body);
    MemoryRecordset one({"Only"}, {adtype::kVarChar}, Rows{{"a"}, {"b"}});
    EXPECT_EQ(write(one), kStart + "<tr>" + th("Only") + kEndRow + "<tr>" + td("a") + kEndRow + "<tr>" + td("b") +
                              kEndRow + kEnd);
    MemoryRecordset noRows({"A", "B"}, {adtype::kInteger, adtype::kInteger}, Rows{}), noColumns({}, {}, Rows{{}, {}});
    EXPECT_EQ(write(noRows) + write(noColumns), "");
    writeFile(job.outputFile, "the good old file");
    job.headerFont.reset();
    EXPECT_EQ(errorOf([&] { write(rs); }).number(), err::kObjectNotSet);
    EXPECT_EQ(readFile(job.outputFile), "the good old file");
    job.columns = 2;
    EXPECT_EQ(write(rs), kStart + body);
}

// Blanks read nothing without IncludeNulls; names are escaped and lower-cased in ASCII only.
TEST_F(HtmlWriterTest, BlanksAndNames) {
    MemoryRecordset rs({"A<B", "Ünit"}, {adtype::kVarChar, adtype::kInteger}, Rows{{Variant::null(), Variant()}, {"", 0}});
    job.lowercaseColumns = 1;
    EXPECT_EQ(write(rs), kStart + "<tr>" + th("a&lt;b") + th("Ünit") + kEndRow + "<tr>" + td("") + td("") + kEndRow +
                             "<tr>" + td("") + td("0") + kEndRow + kEnd);
}

using SaveFailureTest = testing_control::ControlTest;

// What INSERT or SQL*Loader cannot take fails Save naming its procedures (and row and column); the old file stays.
TEST_F(SaveFailureTest, AFailedSaveNamesItsProceduresAndKeepsTheOldFile) {
    const std::vector<std::string> insert = {"Varnelo.InsertIO", "Varnelo.Save"},
                                   loader = {"Varnelo.SQLLdrIO", "Varnelo.Save"};
    const std::string row = "Row 2, column \"S\": ";
    const struct { int32_t format; Variant value; const char *separator, *interval; int32_t number; std::string why;
                   const std::vector<std::string>& stack; } cases[] = {
        {Inserts, Variant(1), ",", "12x", err::kTypeMismatch, "", insert},
        {SQLLoader, Variant("cr\ronly"), ",", "1", err::kInvalidProcedureCall, row + "a line break cannot", loader},
        {SQLLoader, Variant("a,b"), ",", "1", err::kInvalidProcedureCall, row + "the value holds the field", loader},
        {SQLLoader, Variant(std::string("a\0b", 3)), ",", "1", err::kInvalidProcedureCall, row + "a NUL", loader},
        {SQLLoader, Variant("ok"), "", "1", err::kInvalidProcedureCall, "The field separator is empty", loader},
    };
    TempDir dir;
    const std::string file = dir.file("out.txt");
    control.OutputFile(file), control.InsertTable("T");
    for (const auto& c : cases) {
        writeFile(file, "the good old file");
        control.DataSource(std::make_shared<MemoryRecordset>(
            std::vector<std::string>{"S"}, std::vector<int>{adtype::kVariant}, Rows{{"ok"}, {c.value}}));
        control.Format(c.format), control.FieldSeparator(c.separator), control.CommitInterval(c.interval);
        Error e = errorOf([&] { control.Save(); });
        EXPECT_EQ(e.number(), c.number);
        EXPECT_THAT(e.description(), HasSubstr(c.why));
        EXPECT_EQ(testing_control::callStack(e.description()), c.stack);
        EXPECT_EQ(readFile(file), "the good old file");
    }
}

}  // namespace
}  // namespace varnelo
