// Varnelo: the data-export control.
//
// A host creates the control with its ControlHost and Desktop, runs its
// lifecycle (UserControl_Initialize, then UserControl_InitProperties for a
// newly placed control, UserControl_Show when it is shown, ...), sets
// DataSource to an open Recordset and the export settings, and calls Save.
//
//     MyHost host;               // the application's ControlHost
//     HeadlessDesktop desktop;   // or the application's own Desktop
//     Varnelo control(host, desktop);
//     control.UserControl_Initialize();
//     control.UserControl_InitProperties();
//     control.UserControl_Show();
//     control.DataSource(std::make_shared<SqliteRecordset>("shop.db", "SELECT * FROM orders"));
//     control.Format(Ascii);
//     control.OutputFile("orders.csv");
//     control.Save();
//
// Every property reads with `Name()` and writes with `Name(value)`, names as
// published. Reading a property also writes its value into its panel field;
// writing stores the value, sets the panel field (which runs that field's
// handler as a user's edit would) and sends the change notification with the
// property's change key. A write that the panel field refuses (a check-box
// state outside 0..2, an option index with no button) fails and leaves the
// previous value stored. Failures are varnelo::Error exceptions whose
// description is the trace report (see error.h). A missing setting is not an
// error: Save shows a message box through the Desktop, writes nothing and
// returns false.
//
// The panel and the stored values are one set of settings: after first
// placement and show (and after any load of settings) every panel field
// shows its stored value. An error that leaves a panel handler the user
// started (a click, typing, a key, a dialog) has no caller to take it; the
// control shows its report in the Desktop's report window.
//
// The control is not thread-safe: use it on the host's user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "varnelo/desktop.h"
#include "varnelo/error.h"
#include "varnelo/export_macros.h"
#include "varnelo/font.h"
#include "varnelo/host.h"
#include "varnelo/mailer.h"
#include "varnelo/recordset.h"
#include "varnelo/variant.h"

namespace varnelo {

struct Panel;
struct StyleColumn;
struct ExportJob;
struct PipelineResult;
struct ExportRequest;
enum class MissingSetting;

// What the last export wrote: the records, and how many text values held
// bytes that are not UTF-8 and were written with U+FFFD in their place (in
// the formats that must be valid UTF-8: INSERT, SQL*Loader, HTML, Excel).
struct ExportSummary {
    int64_t rows = 0;
    int64_t repairedValues = 0;
};

enum edFormatType : int32_t {
    Ascii = 0,
    DelimTab = 1,
    DelimOther = 2,
    Inserts = 3,
    ExcelFile = 4,
    ExcelInstance = 5,
    HTMLTable = 6,
    SQLLoader = 7,
};

enum edSelYesNo : int32_t { Yes = 1, no = 0 };

// One numbering of the load modes everywhere: panel buttons, property and
// the SQL*Loader keyword.
enum edSQLLDRtype : int32_t { Insert = 1, Append = 2, Replace_ = 3, Truncate = 4 };

enum ZTranslate : int32_t { CRLFtoLF = 1, LFtoCRLF = 2 };

// The mail component's scales, published by the control.
enum MailPriorityType : int32_t { PriorityHigh = 1, PriorityNormal = 3, PriorityLow = 5 };
enum MailEncodingType : int32_t { EncodingMIME = 0, EncodingUU = 1 };

// The control's stored values (the ones that are not panel fields). They
// start empty, 0, false and unset when the control is created; the first
// placement or the property bag gives them their real values.
struct VarneloSettings {
    std::string StrEnclose, InsertTable, DateFormat, CommitInterval, FieldSeparator, InsertSchema,
        DelimChar, OutputFile, MailFooter, DiscardMax, MailAttachment, DateTemp, TimeTemp;
    int32_t LowercaseColumns = 0, NoWrap = 0, UnixFormat = 0, Columns = 0, IncludeNulls = 0,
            DelimAfterRow = 0, Quotes = 0, IncludeSQL = 0, Format = 0, SQLLoaderMode = 0,
            AutoColumnWidth = 0, SaveToFile = 0, FontExcelDef = 0, MailPriority = 0,
            SendThroughMail = 0, MailFormatEnabled = 0, MailFormat = 0, IncludeCellBorder = 0,
            LaunchFile = 0, SMTPAuthentication = 0, Compress = 0;
    OLE_COLOR BodyBackColor = 0, BodyForeColor = 0, HeaderBackColor = 0, HeaderForeColor = 0;
    FontPtr BodyFont, HeaderFont;
    bool Locked = false;
    bool AbortProcess = false;
    RecordsetPtr DataSource;
    // Kept for the mail dispatch: set by the encoding buttons and the
    // priority list.
    int32_t encodingCode = 0;
    int32_t priorityCode = 0;
};

class VARNELO_EXPORT Varnelo {
public:
    // The host and the desktop must outlive the control.
    Varnelo(ControlHost& host, Desktop& desktop);
    ~Varnelo();
    Varnelo(const Varnelo&) = delete;
    Varnelo& operator=(const Varnelo&) = delete;

    // ---- Published properties, in the order of the published interface.
    std::string StrEnclose();
    void StrEnclose(const std::string& v);
    std::string InsertTable();
    void InsertTable(const std::string& v);
    OLE_COLOR BackColor();
    void BackColor(OLE_COLOR v);
    OLE_COLOR ForeColor();
    void ForeColor(OLE_COLOR v);
    FontPtr Font();
    void Font(FontPtr v);
    std::string DateFormat();
    void DateFormat(const std::string& v);  // has no effect, by design
    std::string CommitInterval();
    void CommitInterval(const std::string& v);
    std::string FieldSeparator();
    void FieldSeparator(const std::string& v);
    std::string InsertSchema();
    void InsertSchema(const std::string& v);
    std::string DelimChar();
    void DelimChar(const std::string& v);
    int32_t LowercaseColumns();
    void LowercaseColumns(int32_t v);
    int32_t NoWrap();
    void NoWrap(int32_t v);
    int32_t UnixFormat();
    void UnixFormat(int32_t v);
    OLE_COLOR BodyBackColor();
    void BodyBackColor(OLE_COLOR v);
    OLE_COLOR BodyForeColor();
    void BodyForeColor(OLE_COLOR v);
    FontPtr BodyFont();
    void BodyFont(FontPtr v);
    OLE_COLOR HeaderBackColor();
    void HeaderBackColor(OLE_COLOR v);
    OLE_COLOR HeaderForeColor();
    void HeaderForeColor(OLE_COLOR v);
    FontPtr HeaderFont();
    void HeaderFont(FontPtr v);
    bool Enabled();
    bool Locked();
    void Locked(bool v);
    float ScaleHeight();
    void ScaleHeight(float v);
    float ScaleLeft();
    void ScaleLeft(float v);
    int16_t ScaleMode();
    void ScaleMode(int16_t v);
    float ScaleTop();
    void ScaleTop(float v);
    float ScaleWidth();
    void ScaleWidth(float v);
    int32_t Columns();
    void Columns(int32_t v);
    int32_t IncludeNulls();
    void IncludeNulls(int32_t v);
    int32_t DelimAfterRow();
    void DelimAfterRow(int32_t v);
    int32_t Quotes();
    void Quotes(int32_t v);
    int32_t IncludeSQL();
    void IncludeSQL(int32_t v);
    int32_t Format();
    void Format(int32_t v);
    int32_t SQLLoaderMode();
    void SQLLoaderMode(int32_t v);
    int32_t AutoColumnWidth();
    void AutoColumnWidth(int32_t v);
    std::string OutputFile();
    void OutputFile(const std::string& v);
    int32_t SaveToFile();
    void SaveToFile(int32_t v);
    int32_t FontExcelDef();
    void FontExcelDef(int32_t v);
    int32_t MailPriority();
    void MailPriority(int32_t v);
    int32_t SendThroughMail();
    void SendThroughMail(int32_t v);
    int32_t MailFormatEnabled();
    void MailFormatEnabled(int32_t v);
    int32_t MailHTMLBody();
    void MailHTMLBody(int32_t v);
    int32_t MailReceipt();
    void MailReceipt(int32_t v);
    std::string MailTo();
    void MailTo(const std::string& v);
    std::string MailFrom();
    void MailFrom(const std::string& v);
    bool MailFromEnabled();
    void MailFromEnabled(bool v);
    std::string MailCc();
    void MailCc(const std::string& v);
    std::string MailBcc();
    void MailBcc(const std::string& v);
    std::string MailSubject();
    void MailSubject(const std::string& v);
    std::string MailMessage();
    void MailMessage(const std::string& v);
    std::string MailFooter();
    void MailFooter(const std::string& v);
    int32_t MailFormat();
    void MailFormat(int32_t v);
    std::string MailSMTPServer();
    void MailSMTPServer(const std::string& v);
    bool MailSMTPServerEnabled();
    void MailSMTPServerEnabled(bool v);
    int32_t IncludeCellBorder();
    void IncludeCellBorder(int32_t v);
    int32_t LaunchFile();
    void LaunchFile(int32_t v);
    RecordsetPtr DataSource();
    void DataSource(RecordsetPtr v);
    std::string DiscardMax();
    void DiscardMax(const std::string& v);
    std::string Password();
    void Password(const std::string& v);
    std::string UserName();
    void UserName(const std::string& v);
    int32_t SMTPAuthentication();
    void SMTPAuthentication(int32_t v);
    bool SMTPAuthEnabled();
    void SMTPAuthEnabled(bool v);

    // Internal settings: shown on the panel and persisted, not published.
    int32_t Compress();
    void Compress(int32_t v);
    std::string MailAttachment();
    void MailAttachment(const std::string& v);
    bool AbortProcess();
    void AbortProcess(bool v);

    // A plain published field; nothing reads it.
    int32_t TotalFrames = 0;

    // ---- Methods.
    void Refresh();
    void CollapseDetails();
    void Scale_(std::optional<float> X1 = {}, std::optional<float> Y1 = {},
                std::optional<float> X2 = {}, std::optional<float> Y2 = {});
    // True when this call wrote the output file; false when a check refused
    // the request (its message was shown) or the format writes nothing.
    bool Save();
    // Checks the mail settings (a missing one is a "Missing details" message
    // box), runs Save and, only when Save wrote the file, mails it through
    // the mailer of the last show; a refused send is an Error.
    void SaveNSend();
    void OpenFile(const std::string& strFileName);

    // ---- Lifecycle, called by the host: creation; then first placement
    // (InitProperties) or load (ReadProperties), never both; then any number
    // of resize, show, hide, focus and save (WriteProperties) calls; the end
    // (Terminate) last.
    //
    // Show makes a new mailer, reads the settings file "Varnelo.ini" in
    // settingsDirectory() over the loaded values, fills the priority list
    // and arranges the panel for the stored format; a missing, damaged or
    // truncated settings file never stops it (a key that cannot be read
    // takes its default). Terminate writes the settings file, creating its
    // folder; a file that cannot be written raises the file error (75, 76,
    // 61, ...) naming it, under "Varnelo.SavePropertyINI" and
    // "Varnelo.UserControl_Terminate".
    //
    // ReadProperties reads every key of the bag in its order with its
    // default, straight into the stored values and panel fields (no handler,
    // no change notice); a value of the wrong type takes the key's default.
    // WriteProperties writes every key in the same order (some twice).
    void UserControl_Initialize();
    void UserControl_InitProperties();
    void UserControl_ReadProperties(PropertyBag& PropBag);
    void UserControl_WriteProperties(PropertyBag& PropBag);
    void UserControl_Resize();
    void UserControl_Show();
    void UserControl_Hide();
    void UserControl_GotFocus() {}
    void UserControl_LostFocus() {}
    void UserControl_Terminate();

    // ---- Panel button handlers (the panel's Save, Send and Abort buttons).
    void cmdSave_Click();
    void cmdSend_Click();
    void cmdAbort_Click();

    // Called now and then during an export with (rows written, rows in all),
    // for a host's progress display.
    void setProgressCallback(std::function<void(int64_t, int64_t)> callback) {
        progress_ = std::move(callback);
    }

    // Where the control gets its mail component: called at each show, the
    // new mailer replacing the one before. By default the SMTP mailer
    // (makeSmtpMailer()); a host with its own relay settings or transport
    // sets this before the control is shown.
    using MailerFactory = std::function<std::unique_ptr<Mailer>()>;
    void setMailerFactory(MailerFactory factory) { mailerFactory_ = std::move(factory); }

    // The folder that holds the settings file "Varnelo.ini"; by default the
    // user's configuration folder, $XDG_CONFIG_HOME/varnelo (see
    // platform::userSettingsFolder), since a program's own folder is not
    // writable for its users.
    void setSettingsDirectory(std::string dir) { settingsDirectory_ = std::move(dir); }
    const std::string& settingsDirectory() const { return settingsDirectory_; }

    // What the last successful export wrote.
    const ExportSummary& lastExport() const { return lastExport_; }

    // While the returned guard lives, property reads return what is stored
    // and leave the panel alone (no field written, no handler run): for
    // listings that must not change what they list.
    class StoredReads {
    public:
        explicit StoredReads(Varnelo& c) : control_(c), before_(c.storedReadsOnly_) { c.storedReadsOnly_ = true; }
        ~StoredReads() { control_.storedReadsOnly_ = before_; }
        StoredReads(const StoredReads&) = delete;
        StoredReads& operator=(const StoredReads&) = delete;

    private:
        Varnelo& control_;
        bool before_;
    };
    [[nodiscard]] StoredReads readStoredValuesOnly() { return StoredReads(*this); }

    // The stored values, read-only, for views and tests.
    const VarneloSettings& settings() const { return s_; }

private:
    // In-tree views, tools and tests reach the settings panel through it
    // (control/control_internals.h); the panel is not part of the API.
    friend struct ControlInternals;

    // The export driver's checks and writers.
    bool FinalIOCheck();
    bool InsertCheck();
    ExportRequest exportRequest() const;
    // True when nothing is missing; else shows the missing setting's message.
    bool settingPresent(std::optional<MissingSetting> missing);
    void ascii_IO();
    void InsertIO();
    void ExcelIO();
    void HtmlIO();
    void SQLLdrIO();
    ExportJob makeJob() const;
    void noteExport(const PipelineResult& r);
    void runWriter(void (Varnelo::*writer)());
    void showWait();
    void closeWait();

    // The settings file, read at show and written at the end.
    void GetPropertyINI();
    void SavePropertyINI();
    std::string settingsFile() const;
    // The priority list's entry for a priority number (Normal when none).
    static int priorityEntry(int32_t priority);

    // Mail dispatch.
    bool CheckMailFields();
    void SendMail();
    void poSendMail_Progress(int32_t lPercentCompete);
    void poSendMail_SendFailed(const std::string& Explanation);
    void poSendMail_SendSuccesful();
    void poSendMail_Status(const std::string& Status);
    void newMailer();

    // Panel handlers of the export tab and the mail switch.
    void wirePanel();
    void optFormat_Click(int Index);
    void chkOption_Click(int Index);
    void optSQLLdr_Click(int Index);
    void chkSaveTo_Click(int Index);
    void optSaveTo_Click(int Index);
    void cmdFileSel_Click();
    void txtCommitInt_Change();
    void txtDelimChar_Change();
    void txtDiscardMax_change();
    void txtFieldSep_change();
    void txtFileSave_Change();
    void txtSchema_change();
    void txtStrEnclose_Change();
    void txttable_change();
    void chkExcelDef_Click();
    void chkAuthReq_Click();
    void optEncodeType_Click(int Index);
    void cboPriority_Click();
    void cboPriority_KeyDown(int& KeyCode, int Shift);
    void cboPriority_KeyPress(int& KeyAscii);
    void lblDateFormat_Change();
    void cmdHeader_Click(int Index);
    void cmdBody_Click(int Index);
    void cmdOK1_Click();
    void chooseStyle(const StyleColumn& column, int index);
    void mailModeSwitch(int32_t state);
    void setMailAttachment(const std::string& path);
    void applyEncoding(bool mime);
    void arrangeLogin(bool shown);
    // Puts every stored value into its panel field without running handlers
    // or notifying the host: after first placement and after any load.
    void loadPanelFields();
    // A property read writes its value back into the panel unless a listing
    // asked for stored values only.
    bool reflectReads() const { return !storedReadsOnly_; }
    void changed(const char* key) { host_.propertyChanged(key); }

    ControlHost& host_;
    Desktop& desktop_;
    std::unique_ptr<Panel> panel_;
    VarneloSettings s_;
    int fileFilterIndex_ = 1;  // preselected entry of the file dialog
    bool waitWindowOpen_ = false;
    bool wrote_ = false;  // the current Save reached a writer that finished
    bool storedReadsOnly_ = false;
    std::function<void(int64_t, int64_t)> progress_;
    std::string settingsDirectory_;
    ExportSummary lastExport_;
    MailerFactory mailerFactory_;
    std::unique_ptr<Mailer> poSendMail_;
};

}  // namespace varnelo
