// varnelo-demo: a desktop window that hosts the Varnelo widget.
//
// Pick a database (SQLite by default, the bundled demo database preselected),
// write a query, look at its first 100 rows, and export them with the
// control's panel beside the preview.
//
//   varnelo-demo [--db FILE] [--settings-dir DIR] [--screenshot DIR]
//
// --screenshot DIR draws the window with each of the panel's tabs open to
// DIR/tab0.png, DIR/tab1.png and DIR/tab2.png, and the error report window to
// DIR/report.png, then exits; it needs no display (Qt's offscreen platform).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <iostream>

#include "varnelo/qt/form_store.h"
#include "varnelo/qt/qsql_query_recordset.h"
#include "varnelo/qt/qt_desktop.h"
#include "varnelo/qt/varnelo_widget.h"

using varnelo::Error;
using varnelo::Varnelo;
using varnelo::qt::FormStore;
using varnelo::qt::QSqlQueryRecordset;
using varnelo::qt::VarneloWidget;

namespace {

constexpr int kPreviewRows = 100;
const char* const kConnection = "varnelo-demo";

class DemoWindow : public QMainWindow {
public:
    // A window that is not interactive (the pictures) prints what went wrong
    // instead of waiting for a person to close a message box.
    DemoWindow(const QString& database, bool interactive) : interactive_(interactive) {
        setWindowTitle(QStringLiteral("Varnelo demo"));
        auto* central = new QWidget(this);
        auto* columns = new QHBoxLayout(central);

        auto* left = new QVBoxLayout;
        auto* form = new QFormLayout;
        driver_ = new QComboBox(central);
        driver_->addItems(QSqlDatabase::drivers());
        driver_->setCurrentText(QStringLiteral("QSQLITE"));
        form->addRow(QStringLiteral("&Driver:"), driver_);
        auto* file = new QHBoxLayout;
        database_ = new QLineEdit(database, central);
        database_->setObjectName(QStringLiteral("database"));
        auto* browse = new QPushButton(QStringLiteral("&Browse..."), central);
        file->addWidget(database_, 1);
        file->addWidget(browse);
        auto* databaseLabel = new QLabel(QStringLiteral("D&atabase:"), central);
        databaseLabel->setBuddy(database_);
        form->addRow(databaseLabel, file);
        left->addLayout(form);
        left->addWidget(new QLabel(QStringLiteral("&Query:"), central));
        query_ = new QPlainTextEdit(QStringLiteral("SELECT * FROM demo_export"), central);
        query_->setObjectName(QStringLiteral("query"));
        query_->setTabChangesFocus(true);
        query_->setMaximumHeight(90);
        static_cast<QLabel*>(left->itemAt(1)->widget())->setBuddy(query_);
        left->addWidget(query_);
        auto* run = new QPushButton(QStringLiteral("&Run query"), central);
        run->setObjectName(QStringLiteral("run"));
        auto* runRow = new QHBoxLayout;
        status_ = new QLabel(central);
        runRow->addWidget(run);
        runRow->addWidget(status_, 1);
        left->addLayout(runRow);
        preview_ = new QTableView(central);
        preview_->setModel(&rows_);
        preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        preview_->horizontalHeader()->setDefaultSectionSize(110);
        preview_->verticalHeader()->setDefaultSectionSize(22);
        left->addWidget(preview_, 1);
        columns->addLayout(left, 1);

        panel_ = new VarneloWidget(central);
        columns->addWidget(panel_, 0, Qt::AlignTop);
        setCentralWidget(central);
        resize(980, 540);

        connect(browse, &QPushButton::clicked, this, [this] {
            const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Database"), database_->text(),
                                                                QStringLiteral("SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)"));
            if (!chosen.isEmpty()) {
                database_->setText(chosen);
                runQuery();
            }
        });
        connect(run, &QPushButton::clicked, this, [this] { runQuery(); });
        setTabOrder(driver_, database_);
        setTabOrder(database_, browse);
        setTabOrder(browse, query_);
        setTabOrder(query_, run);
        setTabOrder(run, preview_);
    }

    VarneloWidget& panel() { return *panel_; }

    // Opens the database, shows the query's first rows and hands the query
    // to the control as its record source.
    bool runQuery() {
        {
            QSqlDatabase old = QSqlDatabase::database(kConnection, false);
            old.close();
        }
        panel_->control().DataSource(nullptr);
        QSqlDatabase::removeDatabase(kConnection);
        QSqlDatabase db = QSqlDatabase::addDatabase(driver_->currentText(), kConnection);
        db.setDatabaseName(database_->text());
        if (driver_->currentText() == QLatin1String("QSQLITE")) {
            if (!QFileInfo::exists(database_->text())) return report(QStringLiteral("No database file %1").arg(database_->text()));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
        // The driver's text does not say which database it means.
        const auto failed = [this](const QSqlError& e) { return report(QStringLiteral("%1 (%2)").arg(e.text(), database_->text())); };
        if (!db.open()) return failed(db.lastError());
        const QString sql = query_->toPlainText();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql)) return failed(q.lastError());
        rows_.clear();
        const QSqlRecord rec = q.record();
        QStringList headers;
        for (int i = 0; i < rec.count(); ++i) headers << rec.fieldName(i);
        rows_.setHorizontalHeaderLabels(headers);
        int shown = 0;
        while (shown < kPreviewRows && q.next()) {
            QList<QStandardItem*> items;
            for (int i = 0; i < rec.count(); ++i) {
                const QVariant v = q.value(i);
                auto* item = new QStandardItem(v.isNull() ? QString() : v.toString().replace(QLatin1Char('\n'), QStringLiteral(" ⏎ ")));
                item->setToolTip(v.isNull() ? QStringLiteral("NULL") : v.toString());
                items << item;
            }
            rows_.appendRow(items);
            ++shown;
        }
        const bool more = q.next();
        q.finish();
        status_->setText(more ? QStringLiteral("The first %1 rows").arg(shown) : QStringLiteral("%1 rows").arg(shown));
        try {
            panel_->control().DataSource(std::make_shared<QSqlQueryRecordset>(db, sql));
        } catch (const varnelo::Error& e) {
            if (!interactive_) return report(QString::fromStdString(e.message()));
            panel_->desktop().showReport(e.description());
            return false;
        }
        return true;
    }

private:
    bool report(const QString& text) {
        rows_.clear();
        status_->setText(QStringLiteral("No rows"));
        if (interactive_)
            QMessageBox::warning(this, QStringLiteral("Query"), text);
        else
            std::cerr << "varnelo-demo: " << text.toStdString() << "\n";
        return false;
    }

    bool interactive_;
    QComboBox* driver_;
    QLineEdit* database_;
    QPlainTextEdit* query_;
    QLabel* status_;
    QTableView* preview_;
    QStandardItemModel rows_;
    VarneloWidget* panel_;
};

bool save(QWidget* w, const QString& path) {
    if (w->grab().save(path)) return true;
    std::cerr << "varnelo-demo: cannot write " << path.toStdString() << "\n";
    return false;
}

// The window with each tab open, then the report of a failed export.
int screenshots(DemoWindow& window, const QString& dir) {
    if (!QDir().mkpath(dir)) {
        std::cerr << "varnelo-demo: cannot create " << dir.toStdString() << "\n";
        return 1;
    }
    window.show();
    if (!window.runQuery()) return 1;  // pictures of an empty preview would mislead
    VarneloWidget& panel = window.panel();
    varnelo::Varnelo& control = panel.control();
    control.OutputFile(QDir::home().filePath(QStringLiteral("orders.csv")).toStdString());
    QApplication::processEvents();
    bool ok = save(&window, QDir(dir).filePath(QStringLiteral("tab0.png")));
    // The other tabs open only where they apply: tab 1 for Excel, tab 2 in
    // mail mode.
    control.Format(varnelo::ExcelFile);
    panel.tabs()->setCurrentIndex(1);
    QApplication::processEvents();
    ok = save(&window, QDir(dir).filePath(QStringLiteral("tab1.png"))) && ok;
    control.Format(varnelo::Ascii);
    control.SendThroughMail(1);
    control.MailSMTPServer("smtp.example.com:587");
    control.MailTo("reports@example.com");
    control.MailFrom("exports@example.com");
    control.MailSubject("Orders");
    control.MailMessage("The orders of the week are attached.");
    panel.tabs()->setCurrentIndex(2);
    QApplication::processEvents();
    ok = save(&window, QDir(dir).filePath(QStringLiteral("tab2.png"))) && ok;

    control.SendThroughMail(0);
    control.OutputFile("/nonexistent-folder/orders.csv");
    try {
        control.Save();
    } catch (const varnelo::Error& e) {
        panel.desktop().showReport(e.description());
    }
    QWidget* report = panel.desktop().reportWindow();
    if (!report) {
        std::cerr << "varnelo-demo: the failed export showed no report\n";
        return 1;
    }
    report->resize(720, 380);
    QApplication::processEvents();
    ok = save(report, QDir(dir).filePath(QStringLiteral("report.png"))) && ok;
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QString screenshotDir;
    QString database;
    QString settingsDir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--screenshot" || arg == "--db" || arg == "--settings-dir") && i + 1 < argc) {
            const QString value = QString::fromLocal8Bit(argv[++i]);
            (arg == "--db" ? database : arg == "--settings-dir" ? settingsDir : screenshotDir) = value;
        } else {
            std::cerr << "usage: varnelo-demo [--db FILE] [--settings-dir DIR] [--screenshot DIR]\n";
            return 2;
        }
    }
    // Pictures need no screen.
    if (!screenshotDir.isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Varnelo"));
    if (database.isEmpty()) database = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("demo.db"));

    DemoWindow window(database, screenshotDir.isEmpty());
    // The pictures show a newly placed control, never a person's settings.
    if (!screenshotDir.isEmpty()) return screenshots(window, screenshotDir);

    // The form (every setting of the control) stays between runs, beside the
    // control's Varnelo.ini.
    Varnelo& control = window.panel().control();
    if (!settingsDir.isEmpty()) control.setSettingsDirectory(settingsDir.toStdString());
    const FormStore form(control.settingsDirectory() + "/varnelo-demo.bag");
    std::string problem;
    form.load(window.panel(), &problem);
    if (!problem.empty())
        QMessageBox::warning(&window, QStringLiteral("Varnelo demo"),
                             QStringLiteral("The saved settings could not be read; the defaults are used.\n\n%1")
                                 .arg(QString::fromStdString(problem)));
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&] {
        try {
            form.save(window.panel());
        } catch (const Error& e) {
            QMessageBox::warning(nullptr, QStringLiteral("Varnelo demo"),
                                 QStringLiteral("The settings were not saved.\n\n%1").arg(QString::fromStdString(e.message())));
        }
    });
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.runQuery(); });
    return app.exec();
}
