// The Qt windows behind the control's Desktop.
#include "varnelo/qt/qt_desktop.h"

#include <QApplication>
#include <QColorDialog>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>

#include "varnelo/zip_files.h"

namespace varnelo::qt {

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QMessageBox::Icon iconFor(int style) {
    switch (style & 0x70) {
        case mb::kCritical: return QMessageBox::Critical;
        case mb::kQuestion: return QMessageBox::Question;
        case mb::kExclamation: return QMessageBox::Warning;
        case mb::kInformation: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

// "Text Files (*.txt)|*.txt|..." to Qt's "Text Files (*.txt)" entries; a
// description without its pattern in parentheses gets it added.
QStringList nameFilters(const std::string& filter) {
    const QStringList parts = q(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString entry = parts[i];
        if (!entry.contains(QLatin1Char('('))) entry += QStringLiteral(" (%1)").arg(parts[i + 1]);
        out << entry;
    }
    return out;
}

}  // namespace

QColor toQColor(OLE_COLOR c) {
    const OLE_COLOR rgb = resolveColor(c);
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>((rgb >> 16) & 0xFF));
}

OLE_COLOR fromQColor(const QColor& c) {
    return static_cast<OLE_COLOR>(c.red()) | static_cast<OLE_COLOR>(c.green()) << 8 |
           static_cast<OLE_COLOR>(c.blue()) << 16;
}

QtDesktop::QtDesktop(QWidget* owner) : owner_(owner) {
    // Making an archive then lets the windows of this thread repaint.
    CGZipFiles::setMessagePump([] { QCoreApplication::processEvents(); });
}

QtDesktop::~QtDesktop() {
    CGZipFiles::setMessagePump({});
    delete wait_.data();
    delete report_.data();
}

int QtDesktop::messageBox(const std::string& text, const std::string& title, int style) {
    QMessageBox box(iconFor(style), q(title), q(text), QMessageBox::Ok, owner_ ? owner_->window() : nullptr);
    box.exec();
    return 1;  // the only button: OK
}

void QtDesktop::showWait(const std::string& text) {
    if (!wait_) {
        wait_ = new QDialog(owner_ ? owner_->window() : nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        wait_->setObjectName(QStringLiteral("frmWait"));
        wait_->setWindowTitle(QApplication::applicationDisplayName());
        auto* layout = new QVBoxLayout(wait_);
        waitText_ = new QLabel(wait_);
        waitBar_ = new QProgressBar(wait_);
        waitBar_->setTextVisible(false);
        waitRows_ = new QLabel(wait_);
        waitRows_->setObjectName(QStringLiteral("rows"));
        layout->addWidget(waitText_);
        layout->addWidget(waitBar_);
        layout->addWidget(waitRows_);
        wait_->setMinimumWidth(320);
    }
    waitText_->setText(q(text));
    waitBar_->setRange(0, 0);  // busy until the first rows are counted
    waitRows_->clear();
    wait_->show();
    wait_->raise();
    lastPaint_ = 0;
    // The export that follows holds this thread: paint the window now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDesktop::closeWait() {
    if (wait_) wait_->hide();
}

void QtDesktop::progress(int64_t done, int64_t total) {
    if (!wait_ || !wait_->isVisible()) return;
    if (total > 0) {
        // QProgressBar counts in int: scale large totals down.
        const int64_t scale = total > INT32_MAX ? total / INT32_MAX + 1 : 1;
        waitBar_->setRange(0, static_cast<int>(total / scale));
        waitBar_->setValue(static_cast<int>(std::min(done, total) / scale));
        waitRows_->setText(QStringLiteral("%L1 of %L2 rows").arg(done).arg(total));
    } else {
        waitRows_->setText(QStringLiteral("%L1 rows").arg(done));
    }
    // Painting costs; a few times a second is enough to look alive.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastPaint_ < 40 && done != total) return;
    lastPaint_ = now;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDesktop::openDocument(const std::string& path, uintptr_t) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(q(path)));
}

std::optional<std::string> QtDesktop::saveFileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(owner_ ? owner_->window() : nullptr);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = nameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    if (!request.fileName.empty()) dialog.selectFile(q(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<OLE_COLOR> QtDesktop::colorDialog(OLE_COLOR initial, int) {
    // Qt's colour dialog always shows its custom-colour part and starts at
    // the colour it is given, which is what both flags ask.
    QColorDialog dialog(toQColor(initial), owner_ ? owner_->window() : nullptr);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return fromQColor(dialog.selectedColor());
}

std::optional<Font> QtDesktop::fontDialog(const Font& initial, int) {
    // Qt lists the installed fonts only, which is what kFontForceExist asks.
    QFont preset(q(initial.name));
    if (initial.size > 0) preset.setPointSizeF(initial.size);
    preset.setBold(initial.bold);
    preset.setItalic(initial.italic);
    preset.setUnderline(initial.underline);
    preset.setStrikeOut(initial.strikethrough);
    QFontDialog dialog(preset, owner_ ? owner_->window() : nullptr);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QFont f = dialog.selectedFont();
    Font out;
    out.name = f.family().toStdString();
    out.size = f.pointSizeF() > 0 ? f.pointSizeF() : initial.size;
    out.bold = f.bold();
    out.italic = f.italic();
    out.underline = f.underline();
    out.strikethrough = f.strikeOut();
    return out;
}

void QtDesktop::showReport(const std::string& report) {
    if (!report_) {
        report_ = new QWidget(nullptr, Qt::Window);
        report_->setObjectName(QStringLiteral("frmShowError"));
        report_->setAttribute(Qt::WA_DeleteOnClose, false);
        report_->setWindowTitle(QString::fromLatin1(kReportCaption));
        auto* layout = new QVBoxLayout(report_);
        layout->setContentsMargins(0, 0, 0, 0);
        reportText_ = new QPlainTextEdit(report_);
        reportText_->setObjectName(QStringLiteral("txtError"));
        reportText_->setReadOnly(true);
        reportText_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        reportText_->setLineWrapMode(QPlainTextEdit::NoWrap);
        QFont fixed(QString::fromLatin1(kReportFont));
        fixed.setStyleHint(QFont::TypeWriter);
        fixed.setFixedPitch(true);
        // Where the named font is missing, the system's fixed-pitch font.
        if (!QFontInfo(fixed).fixedPitch()) fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        reportText_->setFont(fixed);
        layout->addWidget(reportText_);
        report_->resize(640, 420);
    }
    reportText_->setPlainText(q(report));
    if (!report_->isVisible()) {
        // A modal window already open would block a plain window's input:
        // then the report opens modal above it, without blocking the caller.
        QWidget* modal = QApplication::activeModalWidget();
        report_->setWindowModality(modal && modal != report_ ? Qt::ApplicationModal : Qt::NonModal);
        report_->show();
    }
    report_->raise();
    report_->activateWindow();
}

QWidget* QtDesktop::waitWindow() const { return wait_; }
QProgressBar* QtDesktop::waitProgress() const { return waitBar_; }
QWidget* QtDesktop::reportWindow() const { return report_; }
QPlainTextEdit* QtDesktop::reportText() const { return reportText_; }

}  // namespace varnelo::qt
