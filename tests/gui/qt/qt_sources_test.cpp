// QSqlQueryRecordset against the same rows through SQLite directly; varnelo-demo's pictures and form store.
#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gmock/gmock.h>

#include "gui_fixture.h"
#include "varnelo/qt/form_store.h"
#include "varnelo/qt/qsql_query_recordset.h"
#include "varnelo/sqlite_recordset.h"

namespace varnelo::gui_test {
namespace {

using ::testing::AllOf, ::testing::HasSubstr;
using testing_support::readFile;

class QtSqlTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = QSqlDatabase::addDatabase("QSQLITE", "qtsql-test");
        db.setDatabaseName(VARNELO_DEMO_DB);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        ASSERT_TRUE(db.open());
    }
    void TearDown() override {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("qtsql-test");
    }
    std::string exportOf(RecordsetPtr source, int32_t format, const std::string& name) {
        qt::VarneloWidget host;
        host.initProperties();
        host.control().UserControl_Show();
        host.control().DataSource(std::move(source));
        host.control().Format(format);
        host.control().InsertTable("orders");
        host.control().IncludeNulls(1);
        host.control().OutputFile(dir.file(name));
        EXPECT_TRUE(host.control().Save());
        return readFile(dir.file(name));
    }
    QSqlDatabase db;
    testing_support::TempDir dir;
};

// The same file from QtSql as from SQLite, in each kind of text format.
TEST_F(QtSqlTest, WritesWhatTheSqliteSourceWritesInEveryTextFormat) {
    const char* sql = "SELECT order_id, order_ref, status, customer_id * 1.5 AS half FROM orders ORDER BY order_id";
    for (int32_t format : {int32_t{Ascii}, int32_t{DelimTab}, int32_t{HTMLTable}}) {
        SCOPED_TRACE(format);
        const std::string viaQt = exportOf(std::make_shared<qt::QSqlQueryRecordset>(db, sql), format, "qt.out");
        const std::string viaSqlite = exportOf(std::make_shared<SqliteRecordset>(VARNELO_DEMO_DB, sql), format, "sqlite.out");
        EXPECT_GT(viaQt.size(), 1000u);
        EXPECT_EQ(viaQt, viaSqlite);
    }
}

// A prepared query with bound values: counted on request, run again for each pass, nothing past the end.
TEST_F(QtSqlTest, CountsOnlyWhenAskedAndRunsAgainForEachPass) {
    QSqlQuery prepared(db);
    ASSERT_TRUE(prepared.prepare("SELECT order_id FROM orders WHERE order_id <= ? ORDER BY order_id"));
    prepared.addBindValue(5);
    qt::QSqlQueryRecordset rs(db, std::move(prepared));
    EXPECT_EQ(rs.RecordCount(), 5);
    EXPECT_EQ(rs.fieldName(0), "order_id");
    for (int pass = 0; pass < 2; ++pass) {
        rs.MoveFirst();
        int64_t sum = 0, rows = 0;
        for (; !rs.Eof(); rs.MoveNext(), ++rows) sum += rs.Fields()[0].Value().toInt64();
        EXPECT_EQ(rows, 5);
        EXPECT_EQ(sum, 15);
        EXPECT_EQ(rs.RecordCount(), 5);
    }
    EXPECT_THROW(rs.MoveNext(), Error);
    EXPECT_THROW(rs.Fields()[0].Value(), Error);
    EXPECT_THAT(rs.filesRead(), ::testing::ElementsAre(std::filesystem::absolute(VARNELO_DEMO_DB).string()));

    qt::QSqlQueryRecordset empty(db, "SELECT order_id FROM orders WHERE 0");
    EXPECT_TRUE(empty.Bof());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.RecordCount(), 0);
}

// A failing query names QtSql, the driver's message and the database.
TEST_F(QtSqlTest, AFailingQueryNamesTheDriverAndTheDatabase) {
    const Error e = testing_support::errorOf([&] { qt::QSqlQueryRecordset(db, "SELECT nope FROM nowhere"); });
    EXPECT_EQ(e.source(), "QtSql");
    EXPECT_THAT(e.description(), AllOf(HasSubstr("QtSql error: "), HasSubstr("nowhere"), HasSubstr(VARNELO_DEMO_DB)));
}

// Each pass and each count runs the query again, so a query that writes is refused before it runs.
TEST_F(QtSqlTest, AWritingQueryIsRefusedBeforeItRuns) {
    const std::string copy = dir.file("rw.db");
    std::filesystem::copy_file(VARNELO_DEMO_DB, copy);
    {
        QSqlDatabase rw = QSqlDatabase::addDatabase("QSQLITE", "qtsql-rw");
        rw.setDatabaseName(q(copy));
        ASSERT_TRUE(rw.open());
        for (const char* sql : {"DELETE FROM orders RETURNING order_id",
                                "INSERT INTO orders(order_id, order_ref) SELECT order_id + 100000, 'X' FROM orders RETURNING order_id",
                                "WITH gone AS (SELECT 1) DELETE FROM orders"}) {
            SCOPED_TRACE(sql);
            const Error e = testing_support::errorOf([&] { qt::QSqlQueryRecordset(rw, sql); });
            EXPECT_THAT(e.description(), AllOf(HasSubstr("would change the database"), HasSubstr(copy)));
            QSqlQuery prepared(rw);
            ASSERT_TRUE(prepared.prepare(sql));
            EXPECT_THROW(qt::QSqlQueryRecordset(rw, std::move(prepared)), Error);
        }
        QSqlQuery rows(rw);
        ASSERT_TRUE(rows.exec("SELECT count(*), max(order_id) FROM orders") && rows.next());
        EXPECT_EQ(rows.value(0).toInt(), 300);
        EXPECT_EQ(rows.value(1).toInt(), 300);
        qt::QSqlQueryRecordset reads(rw, "SELECT order_id FROM orders");
        EXPECT_EQ(reads.RecordCount(), 300);
        rw.close();
    }
    QSqlDatabase::removeDatabase("qtsql-rw");
}

// varnelo-demo pictures every tab and the report window without a display.
TEST(DemoTest, ScreenshotsOfEveryTabAndTheReportWithoutADisplay) {
    testing_support::TempDir dir;
    const auto [status, output] = testing_support::runShell(
        "env -u DISPLAY -u WAYLAND_DISPLAY " VARNELO_DEMO_BIN " --db " VARNELO_DEMO_DB " --screenshot " +
        testing_support::shellQuote(dir.file("shots")));
    ASSERT_EQ(status, 0) << output;
    QImage tabs[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(tabs[i].load(q(dir.file("shots/tab" + std::to_string(i) + ".png")))) << i;
        EXPECT_GE(tabs[i].width(), 353 * 2);
        EXPECT_EQ(tabs[i].size(), tabs[0].size());
    }
    EXPECT_NE(tabs[0], tabs[1]);
    EXPECT_NE(tabs[1], tabs[2]);
    EXPECT_TRUE(QImage().load(q(dir.file("shots/report.png"))));
    // A database it cannot read is named, not waited on behind a message box.
    const auto [refused, why] = testing_support::runShell("timeout 60 " VARNELO_DEMO_BIN " --db " +
        testing_support::shellQuote(dir.file("none.db")) + " --screenshot " + testing_support::shellQuote(dir.file("no")));
    EXPECT_EQ(refused, 1) << why;
    EXPECT_NE(why.find("none.db"), std::string::npos) << why;
    testing_support::writeFile(dir.file("empty.db"), "");
    const auto [noTable, named] = testing_support::runShell("timeout 60 " VARNELO_DEMO_BIN " --db " +
        testing_support::shellQuote(dir.file("empty.db")) + " --screenshot " + testing_support::shellQuote(dir.file("no")));
    EXPECT_EQ(noTable, 1) << named;
    EXPECT_NE(named.find("demo_export"), std::string::npos) << named;
    EXPECT_NE(named.find("empty.db"), std::string::npos) << named;
}

// The demo's form: what one run sets, the next run's widget shows from its first show; a damaged file is set aside.
TEST(FormStoreTest, SettingsComeBackAndADamagedFileIsKept) {
    testing_support::TempDir dir;
    const qt::FormStore form(dir.file("cfg/varnelo-demo.bag"));
    {
        qt::VarneloWidget first;
        first.show();
        first.control().OutputFile(dir.file("orders.tsv"));
        first.control().Format(DelimTab);
        first.control().MailTo("ana@example.org");
        form.save(first);
    }
    EXPECT_EQ(std::filesystem::status(form.path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    qt::VarneloWidget next;
    ASSERT_TRUE(form.load(next));
    next.show();
    QApplication::processEvents();
    EXPECT_EQ(std::tuple(next.control().OutputFile(), next.control().Format(), next.control().MailTo()),
              std::tuple(dir.file("orders.tsv"), DelimTab, "ana@example.org"));

    testing_support::writeFile(form.path(), "# Varnelo property bag 1\nFormat\tint32\t1");  // cut short
    qt::VarneloWidget third;
    std::string problem;
    EXPECT_FALSE(form.load(third, &problem));
    EXPECT_THAT(problem, HasSubstr("moved to " + form.path() + ".damaged"));
    EXPECT_EQ(readFile(form.path() + ".damaged"), "# Varnelo property bag 1\nFormat\tint32\t1");
}

}  // namespace
}  // namespace varnelo::gui_test
