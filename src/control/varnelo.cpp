// The control object: creation and its life in the host.
#include "varnelo/varnelo.h"

#include <filesystem>
#include <system_error>

#include "errors/hunt_err.h"
#include "panel/panel.h"

namespace varnelo {

using hunterr::guard;

namespace {
constexpr int kWidthTwips = 5295;
constexpr int kHeightTwips = 7050;

// A font object of the control's own, starting as the host's: changing the
// header font must change neither the body font nor the host's.
FontPtr ownCopy(const FontPtr& f) { return std::make_shared<Font>(f ? *f : Font{}); }
}  // namespace

Varnelo::Varnelo(ControlHost& host, Desktop& desktop)
    : host_(host), desktop_(desktop), panel_(std::make_unique<Panel>()) {
    wirePanel();
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    settingsDirectory_ = ec ? std::string(".") : exe.parent_path().string();
}

Varnelo::~Varnelo() = default;

void Varnelo::UserControl_Initialize() {
    guard("Varnelo.UserControl_Initialize", [&] {
        // The format choice at show time decides what is available.
        panel_->fraOthers.setEnabled(false);
        panel_->frmSaveTo.setEnabled(false);
        panel_->cmdSave.setVisible(false);
    });
}

void Varnelo::UserControl_InitProperties() {
    guard("Varnelo.UserControl_InitProperties", [&] {
        host_.raiseEvent("InitProperties");
        s_.Locked = false;
        s_.DateFormat = "dd/MM/yyyy HH:mm:ss";
        s_.CommitInterval = "1000";
        s_.FieldSeparator = ",";
        s_.InsertSchema.clear();
        s_.InsertTable.clear();
        s_.DelimChar = ";";
        s_.LowercaseColumns = 0;
        s_.NoWrap = 0;
        s_.UnixFormat = 0;
        s_.BodyBackColor = 0xFFFFFF;
        s_.BodyForeColor = 0;
        s_.BodyFont = ownCopy(host_.ambientFont());
        s_.HeaderBackColor = 0x400000;
        s_.HeaderForeColor = 0xFFFFFF;
        s_.HeaderFont = ownCopy(host_.ambientFont());
        host_.surface().width = kWidthTwips;
        host_.surface().height = kHeightTwips;
        s_.Columns = 1;
        s_.IncludeNulls = 0;
        s_.DelimAfterRow = 0;
        s_.Compress = 0;
        s_.Quotes = 0;
        s_.IncludeSQL = 0;
        s_.Format = 0;
        s_.SQLLoaderMode = 1;
        s_.AutoColumnWidth = 0;
        s_.OutputFile.clear();
        s_.SaveToFile = 1;
        s_.IncludeCellBorder = 0;
        s_.LaunchFile = 0;
        s_.FontExcelDef = 0;
        s_.DiscardMax = "1000";
        s_.DateTemp = "dd/MM/yyyy";
        s_.TimeTemp = "hh:mm:ss";
        s_.MailFormat = 0;
        s_.MailFormatEnabled = 1;
        s_.MailFooter.clear();
        s_.MailPriority = 3;
        s_.SendThroughMail = 0;
        s_.MailAttachment.clear();
        s_.SMTPAuthentication = 0;
        s_.AbortProcess = false;
    });
}

void Varnelo::UserControl_Resize() {
    guard("Varnelo.UserControl_Resize", [&] {
        DrawingSurface& d = host_.surface();
        d.scaleMode = 1;
        d.height = kHeightTwips;
        d.width = kWidthTwips;
    });
}

void Varnelo::UserControl_Show() {
    guard("Varnelo.UserControl_Show", [&] {
        Panel& p = *panel_;
        newMailer();
        // The panel shows what is stored, so its checks and its user see the
        // same settings as the host.
        loadPanelFields();
        for (const char* entry : {"Normal", "High", "Low"}) p.cboPriority.addItem(entry);
        p.cboPriority.setListIndex(0);
        p.SSTab1.setTabEnabled(1, false);
        p.SSTab1.setTabEnabled(2, false);
        p.SSTab1.setCurrentTab(0);
        // Arrange the panel for the stored format, as a click on its button.
        optFormat_Click(s_.Format);
        p.optFormat(s_.Format).setDesignValue(true);
    });
}

void Varnelo::UserControl_Hide() {
    guard("Varnelo.UserControl_Hide", [&] { host_.raiseEvent("Hide"); });
}

void Varnelo::UserControl_Terminate() {
    guard("Varnelo.UserControl_Terminate", [&] {});
}

}  // namespace varnelo
