// Desktop: everything modal or top-level the control shows.
//
// The control never opens a window itself; it asks its Desktop for a message
// box, a dialog, the wait window or the report window, and to open a finished
// file in its application. The command-line host prints message boxes on
// standard error; the Qt host shows real windows; tests record the calls and
// answer dialogs with scripted values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "varnelo/font.h"

namespace varnelo {

// Message-box styles (icon and buttons), as the classic values.
namespace mb {
constexpr int kOkOnly = 0;
constexpr int kCritical = 16;
constexpr int kQuestion = 32;
constexpr int kExclamation = 48;
constexpr int kInformation = 64;
}  // namespace mb

// Flags of the colour and font dialogs, as the classic common dialog's.
namespace cdl {
constexpr int kColorRgbInit = 1;        // start at the preset colour
constexpr int kColorFullOpen = 2;       // open with the custom-colour part shown
constexpr int kFontScreenFonts = 1;     // list screen fonts
constexpr int kFontPrinterFonts = 2;    // list printer fonts
constexpr int kFontForceExist = 65536;  // accept only fonts that exist
}  // namespace cdl

// The report window: one window, titled kReportCaption, showing one report
// in the fixed-pitch font kReportFont. A report handed over while the window
// is open replaces its text; no second window opens.
constexpr const char* kReportCaption = "Error Report";
constexpr const char* kReportFont = "Courier New";

struct FileDialogRequest {
    std::string filter;       // "Name (*.x)|*.x|..." pairs
    int filterIndex = 1;      // preselected entry, from 1
    std::string fileName;     // name the dialog starts with
};

class Desktop {
public:
    virtual ~Desktop() = default;

    // A modal message box with an OK button; returns the button pressed (1 OK).
    virtual int messageBox(const std::string& text, const std::string& title, int style) = 0;

    // The wait window ("Processing the data. Please wait ....."), not modal.
    virtual void showWait(const std::string& text) = 0;
    virtual void closeWait() = 0;

    // Opens a finished file in its associated application; the result is not
    // looked at by the control.
    virtual void openDocument(const std::string& path, uintptr_t ownerWindow) = 0;

    // Save-as dialog: the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> saveFileDialog(const FileDialogRequest& request) = 0;
    // Colour dialog starting at `initial`, with cdl::kColor* flags: the
    // chosen colour, or nothing when cancelled.
    virtual std::optional<OLE_COLOR> colorDialog(OLE_COLOR initial, int flags) = 0;
    // Font dialog starting at `initial`, with cdl::kFont* flags: the chosen
    // font, or nothing when cancelled.
    virtual std::optional<Font> fontDialog(const Font& initial, int flags) = 0;

    // Shows a report in the report window (see kReportCaption), opening the
    // window when it is not open, replacing its text when it is.
    virtual void showReport(const std::string& report) = 0;
};

// A Desktop that records every call and answers dialogs from scripted
// queues (an empty queue answers "cancelled"). For tests and headless hosts.
class RecordingDesktop : public Desktop {
public:
    struct Message { std::string text, title; int style; };
    std::vector<Message> messages;
    std::vector<std::string> calls;  // "showWait", "closeWait", "open:PATH", ...
    std::vector<std::optional<std::string>> fileAnswers;
    std::vector<std::optional<OLE_COLOR>> colorAnswers;
    std::vector<std::optional<Font>> fontAnswers;
    // What the dialogs were handed, one entry per dialog.
    struct ColorRequest { OLE_COLOR initial; int flags; };
    struct FontRequest { Font initial; int flags; };
    std::vector<FileDialogRequest> fileRequests;
    std::vector<ColorRequest> colorRequests;
    std::vector<FontRequest> fontRequests;
    // The report window: every report handed over, and how often it opened.
    std::vector<std::string> reports;
    bool reportOpen = false;
    int reportOpenings = 0;
    bool waitShown = false;

    int messageBox(const std::string& text, const std::string& title, int style) override {
        messages.push_back({text, title, style});
        calls.push_back("messageBox:" + title);
        return 1;
    }
    void showWait(const std::string&) override { waitShown = true; calls.push_back("showWait"); }
    void closeWait() override { waitShown = false; calls.push_back("closeWait"); }
    void openDocument(const std::string& path, uintptr_t) override { calls.push_back("open:" + path); }
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override {
        calls.push_back("saveFileDialog");
        fileRequests.push_back(request);
        return take(fileAnswers);
    }
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR initial, int flags) override {
        calls.push_back("colorDialog");
        colorRequests.push_back({initial, flags});
        return take(colorAnswers);
    }
    std::optional<Font> fontDialog(const Font& initial, int flags) override {
        calls.push_back("fontDialog");
        fontRequests.push_back({initial, flags});
        return take(fontAnswers);
    }
    void showReport(const std::string& report) override {
        calls.push_back("showReport");
        reports.push_back(report);
        if (!reportOpen) ++reportOpenings;
        reportOpen = true;
    }

private:
    template <class T>
    static std::optional<T> take(std::vector<std::optional<T>>& q) {
        if (q.empty()) return std::nullopt;
        auto v = q.front();
        q.erase(q.begin());
        return v;
    }
};

}  // namespace varnelo
