// QtDesktop: the control's modal and top-level windows as Qt windows.
//
// Message boxes carry the icon the style asks for (16 critical, 32 question,
// 48 exclamation, 64 information) and the given title, with one OK button.
// The save, colour and font dialogs are Qt's own (not the platform's, so they
// look and answer the same everywhere), start from the preset they are
// handed and answer "cancelled" as nothing. The wait window shows its text and
// a progress bar fed by progress(); the report window ("Error Report") shows
// one report in a fixed-pitch, read-only, selectable text that fills the
// window. Finished files open through QDesktopServices.
//
// Creating a QtDesktop sets the zip class's message pump of the calling
// thread to Qt's event processing, so an archive being made lets the window
// repaint. Use it on the GUI thread, after the QApplication exists; the owner
// widget (may be null) parents the dialogs and must outlive the calls.
#pragma once

#include <QPointer>

#include <memory>

#include "varnelo/desktop.h"

class QColor;
class QDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

namespace varnelo::qt {

class QtDesktop : public Desktop {
public:
    explicit QtDesktop(QWidget* owner = nullptr);
    ~QtDesktop() override;
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    int messageBox(const std::string& text, const std::string& title, int style) override;
    void showWait(const std::string& text) override;
    void closeWait() override;
    void openDocument(const std::string& path, uintptr_t ownerWindow) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR initial, int flags) override;
    std::optional<Font> fontDialog(const Font& initial, int flags) override;
    void showReport(const std::string& report) override;

    // Rows written so far and the total (-1 while unknown): updates the wait
    // window and lets it paint, since the export runs on this thread.
    void progress(int64_t done, int64_t total);

    // The windows, for hosts that place them and for tests (null until first
    // shown).
    QWidget* waitWindow() const;
    QProgressBar* waitProgress() const;
    QWidget* reportWindow() const;
    QPlainTextEdit* reportText() const;

private:
    QPointer<QWidget> owner_;
    // Top-level windows of our own; QPointer, since Qt may close them first.
    QPointer<QDialog> wait_;
    QPointer<QLabel> waitText_;
    QPointer<QLabel> waitRows_;
    QPointer<QProgressBar> waitBar_;
    QPointer<QWidget> report_;
    QPointer<QPlainTextEdit> reportText_;
    qint64 lastPaint_ = 0;
};

// OLE_COLOR (0x00BBGGRR, system colours through their usual values) to Qt
// and back.
QColor toQColor(OLE_COLOR c);
OLE_COLOR fromQColor(const QColor& c);

}  // namespace varnelo::qt
