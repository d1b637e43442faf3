// Desktop: everything modal or top-level the control shows.
//
// The control never opens a window itself; it asks its Desktop for a message
// box, a dialog, the wait window or the report window, and to open a finished
// file in its application. The command-line host prints message boxes on
// standard error; the Qt host shows real windows; a host without a screen
// uses HeadlessDesktop; tests record the calls and answer dialogs with
// scripted values (varnelo/testing.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "varnelo/export_macros.h"
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

class VARNELO_EXPORT Desktop {
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

// A Desktop for hosts without a screen: every dialog answers "cancelled",
// nothing opens, and the message boxes and reports the control shows are
// kept, in order, for the host to read (a missing setting, a report of an
// error a panel handler met).
class VARNELO_EXPORT HeadlessDesktop : public Desktop {
public:
    struct Message {
        std::string text;
        std::string title;
        int icon = 0;  // the style's icon: mb::kCritical, kQuestion, kExclamation, kInformation or 0
    };

    int messageBox(const std::string& text, const std::string& title, int style) override;
    void showWait(const std::string&) override {}
    void closeWait() override {}
    void openDocument(const std::string&, uintptr_t) override {}
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR, int) override { return std::nullopt; }
    std::optional<Font> fontDialog(const Font&, int) override { return std::nullopt; }
    void showReport(const std::string& report) override;

    // Everything shown so far, oldest first.
    const std::vector<Message>& messages() const { return messages_; }
    const std::vector<std::string>& reports() const { return reports_; }
    // Forgets what was shown, e.g. before the next export.
    void clear();

private:
    std::vector<Message> messages_;
    std::vector<std::string> reports_;
};

}  // namespace varnelo
