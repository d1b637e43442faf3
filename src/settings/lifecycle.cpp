// The control's life in its host: creation, first placement, size, show,
// hide and end. The property bag's keys are in property_bag.cpp, the
// settings file in ini_settings.cpp.
#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

namespace {
constexpr int kWidthTwips = 5295;
constexpr int kHeightTwips = 7050;

// A font object of the control's own, starting as the host's: changing the
// header font must change neither the body font nor the host's.
FontPtr ownCopy(const FontPtr& f) { return std::make_shared<Font>(f ? *f : Font{}); }
}  // namespace

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

int Varnelo::priorityEntry(int32_t priority) {
    switch (priority) {
        case PriorityHigh: return 1;
        case PriorityLow: return 2;
        default: return 0;  // Normal
    }
}

void Varnelo::UserControl_Show() {
    guard("Varnelo.UserControl_Show", [&] {
        Panel& p = *panel_;
        newMailer();
        // The panel shows what is stored, so its checks and its user see the
        // same settings as the host; the settings file then goes over it
        // through the panel's own handlers.
        loadPanelFields();
        GetPropertyINI();
        // A list filled at every show would hold its entries again and again.
        p.cboPriority.clear();
        for (const char* entry : {"Normal", "High", "Low"}) p.cboPriority.addItem(entry);
        // The stored priority stays: selecting the first entry regardless
        // would turn every saved priority back to Normal.
        p.cboPriority.setListIndex(priorityEntry(s_.MailPriority));
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
    guard("Varnelo.UserControl_Terminate", [&] { SavePropertyINI(); });
}

}  // namespace varnelo
