// The control clicked through its Qt widget on the offscreen platform, and the view following every panel widget.
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

// Format clicked, the file named through the dialog, Save clicked: the file holds the rows.
TEST_F(WidgetTest, AnExportClickedThroughFromFormatToFile) {
    control().DataSource(threeOrders());
    click(p().optFormat(1));  // TAB Delimited
    EXPECT_EQ(control().Format(), DelimTab);
    const QString path = q(dir.file("orders.txt"));
    QString filterShown;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filterShown = dialog->selectedNameFilter();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->clear();
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
    click(p().cmdSave);
    EXPECT_EQ(readFile(path.toStdString()), "order_id\torder_ref\r\n1\tSO-000001\r\n2\tSO-000002\r\n3\tSO-000003");
    EXPECT_FALSE(widget->desktop().waitWindow()->isVisible());
    EXPECT_TRUE(view(p().cmdSave)->isVisible());
    expectViewMatchesModel();
}

// The wait window shows a busy bar and the rows written, painting while the export runs.
TEST_F(WidgetTest, TheWaitWindowShowsTheRowsAndPaintsWhileTheExportRuns) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 0; i < 20000; ++i) rows.push_back({Variant(int32_t{i})});
    control().DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"n"},
                                                           std::vector<int>{adtype::kInteger}, rows));
    control().OutputFile(dir.file("n.csv"));
    // A timer fires only when the export lets the event loop run.
    struct Seen { bool shown; int maximum; QString rows; };
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
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                            [](const Seen& s) { return s.shown && s.rows == QString("%L1 rows").arg(4096); }));
    EXPECT_FALSE(widget->desktop().waitWindow()->isVisible());
    EXPECT_EQ(control().lastExport().rows, 20000);
}

// A colour and a font picked through the dialogs reach the control and the swatches; cancelling keeps the colour.
TEST_F(WidgetTest, ColoursAndFontsArePickedThroughTheDialogs) {
    control().Format(ExcelFile);
    openTab(1);
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

    changes.clear();  // cancelling still tells the host
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

// Mail mode, the mail tab typed in, Send clicked: the export arrives at the loopback server as an attachment.
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

// A panel error shows in one selectable report window, which the next error reuses.
TEST_F(WidgetTest, APanelErrorOpensTheReportWindowOnce) {
    control().DataSource(threeOrders());
    control().OutputFile(dir.file("missing/orders.csv"));
    click(p().cmdSave);

    QWidget* report = widget->desktop().reportWindow();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(report->windowTitle(), "Error Report");
    QPlainTextEdit* text = widget->desktop().reportText();
    EXPECT_THAT(text->toPlainText().toStdString(),
                ::testing::AllOf(HasSubstr("Varnelo.Save"), HasSubstr(dir.file("missing/orders.csv"))));
    EXPECT_TRUE(text->isReadOnly() && QFontInfo(text->font()).fixedPitch());
    EXPECT_TRUE(view(p().cmdSave)->isVisible());  // the panel is usable again
    expectViewMatchesModel();
    text->setFocus();
    QTest::keySequence(text, QKeySequence::SelectAll);
    QTest::keySequence(text, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), text->toPlainText());

    for (QSize size : {QSize(900, 600), QSize(40, 30)}) {
        report->resize(size);
        QApplication::processEvents();
        EXPECT_EQ(text->geometry(), report->rect());
    }

    const QString first = text->toPlainText();
    control().OutputFile(dir.file("other/orders.csv"));
    click(p().cmdSave);
    EXPECT_EQ(widget->desktop().reportWindow(), report);
    EXPECT_NE(text->toPlainText(), first);
    EXPECT_THAT(text->toPlainText().toStdString(), HasSubstr(dir.file("other/orders.csv")));
}

// The panel's messages show in message boxes with their icon, title and text.
TEST_F(WidgetTest, MessageBoxesCarryTheirIconAndTitle) {
    struct Case { std::function<void()> act; QMessageBox::Icon icon; const char *title, *text; };
    const Case cases[] = {
        {[&] { control().Format(ExcelInstance); }, QMessageBox::Information, "Information",
         "This option is not available in this version"},
        {[&] { click(p().optFormat(3)), type(p().txtCommitInt, "x"); }, QMessageBox::Warning, "Wrong data Entry",
         "Please enter numeric data to proceed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        QMessageBox::Icon icon{};
        QString title, text;
        onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            icon = box->icon(), title = box->windowTitle(), text = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        c.act();
        EXPECT_TRUE(icon == c.icon && title == c.title && text == c.text) << title.toStdString() << ": "
                                                                         << text.toStdString();
    }
}

// Every panel widget has a Qt counterpart in the same state, through the states that rearrange the panel most, on
// each tab that can be opened.
TEST_F(WidgetTest, TheViewFollowsEveryWidgetOfThePanel) {
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"shown", [] {}},
        {"Other delim char", [&] { click(p().optFormat(2)); }},
        {"Insert Statements", [&] { click(p().optFormat(3)); }},
        {"Excel File", [&] { click(p().optFormat(4)); }},
        {"HTML table", [&] { click(p().optFormat(6)); }},
        {"SQL loader", [&] { click(p().optFormat(7)); }},
        {"mail mode", [&] { click(p().chkOption(10)); }},
        {"authentication", [&] { openTab(2), click(p().chkAuthReq); }},
        {"UU encoding", [&] { openTab(2), click(p().optEncodeType(1)); }},
        {"host writes", [&] { control().MailTo("bo@x.org"), control().Password("secret"), control().LaunchFile(2); }},
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

// Typed keys go through the panel's handlers: one delimiter character, no letters in the priority list.
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
}

// The control's events reach the host as signals; a first placement gets the defaults.
TEST_F(WidgetTest, TheHostHearsEventsAsSignals) {
    QSignalSpy hidden(widget.get(), &qt::VarneloWidget::Hide);
    widget->hide();
    EXPECT_EQ(hidden.count(), 1);

    qt::VarneloWidget fresh;
    QSignalSpy placed(&fresh, &qt::VarneloWidget::InitProperties);
    fresh.show();
    EXPECT_EQ(placed.count(), 1);
    EXPECT_EQ(fresh.control().CommitInterval(), "1000");  // first placement's defaults
}

}  // namespace
}  // namespace varnelo::gui_test
