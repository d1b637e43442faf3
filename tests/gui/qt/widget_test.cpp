// The control clicked through its Qt widget on the offscreen platform: an
// export from format to file, colours and fonts through the dialogs, a mail
// sent to the loopback SMTP server, a panel error in the report window, and
// the view following every widget of the panel.
#include <QClipboard>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>

#include <gmock/gmock.h>

#include "gui_fixture.h"
#include "mail/loopback_smtp.h"
#include "varnelo/memory_recordset.h"
#include "varnelo/sqlite_recordset.h"

namespace varnelo::gui_test {
namespace {

using ::testing::HasSubstr;
using testing_support::readFile;

RecordsetPtr threeOrders() {
    return std::make_shared<SqliteRecordset>(VARNELO_DEMO_DB,
                                             "SELECT order_id, order_ref FROM orders WHERE order_id <= 3 ORDER BY order_id");
}

TEST_F(WidgetTest, AnExportClickedThroughFromFormatToFile) {
    control().DataSource(threeOrders());
    expectViewMatchesModel();

    click(p().optFormat(1));  // TAB Delimited
    EXPECT_EQ(control().Format(), DelimTab);
    expectViewMatchesModel();

    const QString path = q(dir.file("orders.txt"));
    QString filterShown;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filterShown = dialog->selectedNameFilter();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->clear();
        // The folder as a user reaches it, then the name typed.
        dialog->setDirectory(q(dir.path().string()));
        QTest::keyClicks(name, "orders.txt");
        auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
        ASSERT_NE(buttons, nullptr);
        buttons->button(QDialogButtonBox::Save)->click();
    });
    click(p().cmdFileSel);
    EXPECT_EQ(filterShown, "Text Files (*.txt)");
    EXPECT_EQ(viewAs<QLineEdit>(p().txtFileSave)->text(), path);
    EXPECT_EQ(control().OutputFile(), path.toStdString());
    expectViewMatchesModel();

    click(p().cmdSave);
    EXPECT_EQ(readFile(path.toStdString()), "order_id\torder_ref\r\n1\tSO-000001\r\n2\tSO-000002\r\n3\tSO-000003");
    EXPECT_FALSE(widget->desktop().waitWindow()->isVisible());
    EXPECT_TRUE(view(p().cmdSave)->isVisible());
    expectViewMatchesModel();
}

TEST_F(WidgetTest, TheWaitWindowShowsTheRowsAndPaintsWhileTheExportRuns) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 0; i < 20000; ++i) rows.push_back({Variant(int32_t{i})});
    control().DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"n"},
                                                           std::vector<int>{adtype::kInteger}, rows));
    control().OutputFile(dir.file("n.csv"));
    // A timer fires only when the export lets the event loop run.
    struct Seen {
        bool shown;
        int maximum;
        QString rows;
    };
    std::vector<Seen> seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (QWidget* wait = widget->desktop().waitWindow())
            seen.push_back({wait->isVisible(), widget->desktop().waitProgress()->maximum(),
                            wait->findChild<QLabel*>("rows")->text()});
    });
    probe.start(0);
    click(p().cmdSave);
    probe.stop();
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen.front().shown);
    EXPECT_EQ(seen.front().maximum, 0);  // no total known: a busy bar
    // The window went on painting while rows were written.
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                            [](const Seen& s) { return s.shown && s.rows == QString("%L1 rows").arg(4096); }));
    EXPECT_FALSE(widget->desktop().waitWindow()->isVisible());
    EXPECT_EQ(control().lastExport().rows, 20000);
}

TEST_F(WidgetTest, ColoursAndFontsArePickedThroughTheDialogs) {
    control().Format(ExcelFile);
    openTab(1);
    ASSERT_EQ(p().SSTab1.currentTab(), 1);
    QSignalSpy changes(widget.get(), qOverload<const QString&>(&qt::VarneloWidget::propertyChanged));

    QColor preset;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QColorDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        preset = dialog->currentColor();
        dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
        dialog->accept();
    });
    click(p().cmdHeader(1));
    EXPECT_EQ(preset, QColor(0x00, 0x00, 0x40));  // the header's default back colour
    EXPECT_EQ(control().HeaderBackColor(), 0x563412u);
    auto* swatch = viewAs<QLabel>(p().lblHeader(1));
    EXPECT_TRUE(swatch->autoFillBackground());
    EXPECT_EQ(swatch->palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));

    // Cancelling keeps the colour and still tells the host.
    changes.clear();
    onNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    click(p().cmdHeader(1));
    EXPECT_EQ(control().HeaderBackColor(), 0x563412u);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), "HeaderBackColor");

    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QFont chosen("DejaVu Sans");
        chosen.setPointSize(12);
        chosen.setBold(true);
        dialog->setCurrentFont(chosen);
        dialog->accept();
    });
    click(p().cmdBody(0));
    ASSERT_NE(control().BodyFont(), nullptr);
    EXPECT_EQ(control().BodyFont()->name, "DejaVu Sans");
    EXPECT_EQ(control().BodyFont()->size, 12);
    EXPECT_TRUE(control().BodyFont()->bold);
    EXPECT_EQ(viewAs<QLabel>(p().lblBody(0))->text(), "DejaVu Sans,12");
    EXPECT_EQ(view(p().lblBody(0))->toolTip(), "DejaVu Sans,12");
    EXPECT_EQ(control().HeaderBackColor(), 0x563412u);  // the other column is untouched
    expectViewMatchesModel();
}

TEST_F(WidgetTest, ClickingSendMailsTheExportToTheLoopbackServer) {
    testing_support::TempDir serverDir;
    testing_support::LoopbackSmtp smtp(serverDir.path());
    control().DataSource(threeOrders());
    const std::string out = dir.file("orders.csv");
    control().OutputFile(out);

    click(p().chkOption(10));  // Send through Mail
    EXPECT_TRUE(view(p().cmdSend)->isVisible());
    EXPECT_FALSE(view(p().cmdSave)->isVisible());
    openTab(2);
    ASSERT_EQ(p().SSTab1.currentTab(), 2);
    expectViewMatchesModel();
    type(p().txtServer, q(smtp.server("plain")));
    type(p().txtTo, "ana@example.org");
    type(p().txtFrom, "exports@example.org");
    type(p().txtSubject, "Orders");
    click(p().optEncodeType(0));  // MIME
    EXPECT_EQ(control().MailTo(), "ana@example.org");
    openTab(0);
    click(p().cmdSend);

    const auto mails = smtp.delivered("plain");
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0]["envelope-to"], "ana@example.org");
    EXPECT_EQ(mails[0]["header Subject"], "Orders");
    EXPECT_EQ(mails[0]["attachment-name"], "orders.csv");
    EXPECT_EQ(mails[0]["attachment-hex"], testing_support::hexOf(readFile(out)));
    EXPECT_TRUE(view(p().cmdSend)->isVisible());
    expectViewMatchesModel();
}

TEST_F(WidgetTest, APanelErrorOpensTheReportWindowOnce) {
    control().DataSource(threeOrders());
    control().OutputFile(dir.file("missing/orders.csv"));
    click(p().cmdSave);

    QWidget* report = widget->desktop().reportWindow();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(report->windowTitle(), "Error Report");
    QPlainTextEdit* text = widget->desktop().reportText();
    EXPECT_THAT(text->toPlainText().toStdString(), HasSubstr("Varnelo.Save"));
    EXPECT_THAT(text->toPlainText().toStdString(), HasSubstr(dir.file("missing/orders.csv")));
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(QFontInfo(text->font()).fixedPitch());
    // The panel is usable again: the Save button is back.
    EXPECT_TRUE(view(p().cmdSave)->isVisible());
    expectViewMatchesModel();

    // Selectable and copyable.
    text->setFocus();
    QTest::keySequence(text, QKeySequence::SelectAll);
    QTest::keySequence(text, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), text->toPlainText());

    // The text fills the window at any size.
    for (QSize size : {QSize(900, 600), QSize(40, 30)}) {
        report->resize(size);
        QApplication::processEvents();
        EXPECT_EQ(text->geometry(), report->rect());
    }

    // A second error replaces the text in the same window.
    const QString first = text->toPlainText();
    control().OutputFile(dir.file("other/orders.csv"));
    click(p().cmdSave);
    EXPECT_EQ(widget->desktop().reportWindow(), report);
    EXPECT_NE(text->toPlainText(), first);
    EXPECT_THAT(text->toPlainText().toStdString(), HasSubstr(dir.file("other/orders.csv")));
}

TEST_F(WidgetTest, MessageBoxesCarryTheirIconAndTitle) {
    struct Case {
        const char* what;
        std::function<void()> act;
        QMessageBox::Icon icon;
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        {"Excel Instance (the host's choice: its button is disabled)", [&] { control().Format(ExcelInstance); }, QMessageBox::Information, "Information",
         "This option is not available in this version"},
        {"letters as commit interval",
         [&] {
             click(p().optFormat(3));
             type(p().txtCommitInt, "x");
         },
         QMessageBox::Warning, "Wrong data Entry", "Please enter numeric data to proceed"},
        {"Save without a source", [&] { click(p().cmdSave); }, QMessageBox::Warning, "Missing DataSource",
         "Please set the DataSource to proceed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.icon != QMessageBox::Information) click(p().optFormat(0));
        QMessageBox::Icon icon{};
        QString title, text;
        onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            title = box->windowTitle();
            text = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        c.act();
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(text, c.text);
        expectViewMatchesModel();
    }
}

// Every widget of the panel has a Qt counterpart in the same state, through
// the states that rearrange the panel most, with each tab that can be opened.
TEST_F(WidgetTest, TheViewFollowsEveryWidgetOfThePanel) {
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"shown", [] {}},
        {"Other delim char", [&] { click(p().optFormat(2)); }},
        {"Insert Statements", [&] { click(p().optFormat(3)); }},
        {"Excel File", [&] { click(p().optFormat(4)); }},
        {"HTML table", [&] { click(p().optFormat(6)); }},
        {"SQL loader", [&] { click(p().optFormat(7)); }},
        {"mail mode", [&] { click(p().chkOption(10)); }},
        {"authentication", [&] {
             openTab(2);
             click(p().chkAuthReq);
         }},
        {"UU encoding", [&] {
             openTab(2);
             click(p().optEncodeType(1));
         }},
        {"host writes", [&] {
             control().MailTo("bo@example.org");
             control().Password("secret");
             control().LaunchFile(2);
         }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        openTab(0);
        step();
        for (int tab = 0; tab < 3; ++tab) {
            if (!p().SSTab1.tab(tab).enabled || !p().SSTab1.tab(tab).visible) continue;
            openTab(tab);
            ASSERT_EQ(p().SSTab1.currentTab(), tab);
            expectViewMatchesModel();
        }
    }
    EXPECT_EQ(viewAs<QLineEdit>(p().txtPassword)->text(), "secret");
    EXPECT_EQ(viewAs<QCheckBox>(p().chkSaveTo(0))->checkState(), Qt::PartiallyChecked);
}

TEST_F(WidgetTest, TypingGoesThroughTheHandlersOfTheFieldAndTheList) {
    click(p().optFormat(2));
    type(p().txtDelimChar, "|;");  // a second character replaces the first
    EXPECT_EQ(control().DelimChar(), ";");
    EXPECT_EQ(viewAs<QLineEdit>(p().txtDelimChar)->text(), ";");

    click(p().chkOption(10));
    openTab(2);
    auto* priority = viewAs<QComboBox>(p().cboPriority);
    priority->setFocus();
    QTest::keyClick(priority, Qt::Key_H);  // letters are cancelled
    EXPECT_EQ(priority->currentText(), "Normal");
    EXPECT_EQ(control().MailPriority(), 3);
    QTest::keyClick(priority, Qt::Key_Down);
    EXPECT_EQ(priority->currentText(), "High");
    EXPECT_EQ(control().MailPriority(), 1);
    expectViewMatchesModel();
}

TEST_F(WidgetTest, TheHostHearsChangesAndEventsAsSignals) {
    QSignalSpy changes(widget.get(), qOverload<const QString&>(&qt::VarneloWidget::propertyChanged));
    QSignalSpy hidden(widget.get(), &qt::VarneloWidget::Hide);
    click(p().chkOption(1));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), "Quotes");
    widget->hide();
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_EQ(widget->sizeHint(), QSize(353, 470));

    qt::VarneloWidget fresh;
    QSignalSpy placed(&fresh, &qt::VarneloWidget::InitProperties);
    fresh.show();
    EXPECT_EQ(placed.count(), 1);
    EXPECT_EQ(fresh.control().CommitInterval(), "1000");  // first placement's defaults
}

}  // namespace
}  // namespace varnelo::gui_test
