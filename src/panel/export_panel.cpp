// Handlers of the export tab, the mail switch and the panel fields the
// published properties write into.
#include <charconv>
#include <cmath>

#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

void Varnelo::wirePanel() {
    Panel& p = *panel_;
    for (int i = 0; i < 8; ++i) p.optFormat(i).onClick = [this, i] { optFormat_Click(i); };
    p.chkOption.forEach([this](ui::CheckBox& c) {
        int i = c.index();
        c.onClick = [this, i] { chkOption_Click(i); };
    });
    p.optSQLLdr.forEach([this](ui::OptionButton& b) {
        int i = b.index();
        b.onClick = [this, i] { optSQLLdr_Click(i); };
    });
    for (int i : {0, 1}) {
        p.chkSaveTo(i).onClick = [this, i] { chkSaveTo_Click(i); };
        p.optSaveTo(i).onClick = [this, i] { optSaveTo_Click(i); };
        p.optEncodeType(i).onClick = [this, i] { optEncodeType_Click(i); };
    }
    p.cmdFileSel.onClick = [this] { cmdFileSel_Click(); };
    p.txtCommitInt.onChange = [this] { txtCommitInt_Change(); };
    p.txtDelimChar.onChange = [this] { txtDelimChar_Change(); };
    p.txtDiscardMax.onChange = [this] { txtDiscardMax_change(); };
    p.txtFieldSep.onChange = [this] { txtFieldSep_change(); };
    p.txtFileSave.onChange = [this] { txtFileSave_Change(); };
    p.txtSchema.onChange = [this] { txtSchema_change(); };
    p.txtStrEnclose.onChange = [this] { txtStrEnclose_Change(); };
    p.txttable.onChange = [this] { txttable_change(); };
    p.chkExcelDef.onClick = [this] { chkExcelDef_Click(); };
    p.chkAuthReq.onClick = [this] { chkAuthReq_Click(); };
    p.cboPriority.onClick = [this] { cboPriority_Click(); };
    p.cboPriority.onKeyDown = [this](int& key, int shift) { cboPriority_KeyDown(key, shift); };
    p.cboPriority.onKeyPress = [this](int& key) { cboPriority_KeyPress(key); };
    p.lblDateFormat.onChange = [this] { lblDateFormat_Change(); };
    p.cmdSave.onClick = [this] { cmdSave_Click(); };
    p.cmdSend.onClick = [this] { cmdSend_Click(); };
    p.cmdAbort.onClick = [this] { cmdAbort_Click(); };
    for (int i = 0; i < 3; ++i) {
        p.cmdHeader(i).onClick = [this, i] { cmdHeader_Click(i); };
        p.cmdBody(i).onClick = [this, i] { cmdBody_Click(i); };
    }
    p.cmdOK1.onClick = [this] { cmdOK1_Click(); };
    // Nobody called a handler the user started, so nobody above can take its
    // error: show the report instead of letting it into the host's loop.
    p.forEachWidget([this](ui::Widget& w) {
        w.setErrorSink([this](const Error& e) { desktop_.showReport(e.description()); });
    });
}

namespace {

// What a format choice does to the panel: 1 enabled or shown, 0 disabled or
// hidden, -1 left as it is. Columns are the formats 0..7.
enum Row {
    kSqlLdrShown, kOption1Shown, kColorEnabled, kDateEnabled,
    kChk0, kChk1, kChk2, kChk3, kChk5, kChk6, kChk7, kChk8, kChk9,
    kDelimChar, kCommitInt, kSchema, kTable, kSaveTo0, kSaveTo1, kFilter, kRows
};
constexpr int kFormatTable[kRows][8] = {
    /* fraSQLLDR shown   */ {0, 0, 0, 0, 0, -1, 0, 1},
    /* fraOption1 shown  */ {1, 1, 1, 1, 1, -1, 1, 0},
    /* fraColorSetting   */ {0, 0, 0, 0, 1, -1, 1, 0},
    /* fraDateTime       */ {-1, 0, 0, 0, 1, -1, 0, 0},
    /* chkOption(0)      */ {0, 0, 0, 0, 1, -1, 0, 0},
    /* chkOption(1)      */ {1, 1, 1, 0, 1, -1, 0, 0},
    /* chkOption(2)      */ {1, 1, 1, 0, 1, -1, 1, 0},
    /* chkOption(3)      */ {1, 1, 1, 1, 1, -1, 1, 0},
    /* chkOption(5)      */ {1, 1, 1, 1, 0, -1, 0, 1},
    /* chkOption(6)      */ {0, 0, 0, 0, 1, -1, 1, 0},
    /* chkOption(7)      */ {1, 1, 1, 0, 1, -1, 1, 0},
    /* chkOption(8)      */ {0, 0, 0, 0, 0, -1, 1, 0},
    /* chkOption(9)      */ {1, 1, 1, 0, 0, -1, 0, 0},
    /* txtDelimChar      */ {0, 0, 1, 0, 0, -1, 0, 0},
    /* txtCommitInt      */ {0, 0, 0, 1, 0, -1, 0, 0},
    /* txtSchema         */ {0, 0, 0, 1, 0, -1, 0, 1},
    /* txttable          */ {0, 0, 0, 1, 0, -1, 0, 1},
    /* optSaveTo(0)      */ {-1, -1, -1, -1, 0, -1, 0, -1},
    /* optSaveTo(1)      */ {1, 1, 1, 1, 1, -1, 1, 1},
    /* file dialog entry */ {2, 2, 2, 4, 5, -1, 6, 7},
};

void apply(int state, const std::function<void(bool)>& set) {
    if (state >= 0) set(state == 1);
}

bool isNumericText(const std::string& text) {
    if (text.empty()) return true;
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) t.remove_prefix(1);
    if (t.empty() || t.front() == '-' || t.front() == '+') return false;
    double d;
    auto r = std::from_chars(t.data(), t.data() + t.size(), d);
    // from_chars also reads "inf" and "nan", which are words, not numbers.
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(d);
}

}  // namespace

void Varnelo::optFormat_Click(int Index) {
    guard("Varnelo.optFormat_Click(Index)", [&] {
        Panel& p = *panel_;
        p.chkOption(10).setValue(0);
        p.SSTab1.setTabEnabled(1, false);
        p.SSTab1.setTabEnabled(2, false);
        p.SSTab1.setTabVisible(0, true);
        // Excel Instance hides tab 1 below; every other choice brings it
        // back, or its settings would be lost for the control's life.
        if (Index != ExcelInstance) p.SSTab1.setTabVisible(1, true);
        p.SSTab1.setCurrentTab(0);
        p.fraOthers.setEnabled(true);
        p.frmSaveTo.setEnabled(true);
        p.cmdSave.setVisible(true);
        if (Index == ExcelInstance) {
            p.cmdSave.setVisible(false);
            p.SSTab1.setTabVisible(1, false);
            desktop_.messageBox("This option is not available in this version", "Information", mb::kInformation);
        } else if (Index >= 0 && Index < 8) {
            if (Index == ExcelFile || Index == HTMLTable) p.SSTab1.setTabEnabled(1, true);
            auto col = static_cast<size_t>(Index);
            auto row = [&](Row r) { return kFormatTable[r][col]; };
            apply(row(kSqlLdrShown), [&](bool v) { p.fraSQLLDR.setVisible(v); });
            apply(row(kOption1Shown), [&](bool v) { p.fraOption1.setVisible(v); });
            apply(row(kColorEnabled), [&](bool v) { p.fraColorSetting.setEnabled(v); });
            apply(row(kDateEnabled), [&](bool v) { p.fraDateTime.setEnabled(v); });
            const std::pair<Row, int> checks[] = {{kChk0, 0}, {kChk1, 1}, {kChk2, 2}, {kChk3, 3}, {kChk5, 5},
                                                  {kChk6, 6}, {kChk7, 7}, {kChk8, 8}, {kChk9, 9}};
            for (auto [r, i] : checks) apply(row(r), [&](bool v) { p.chkOption(i).setEnabled(v); });
            apply(row(kDelimChar), [&](bool v) { p.txtDelimChar.setEnabled(v); });
            apply(row(kCommitInt), [&](bool v) { p.txtCommitInt.setEnabled(v); });
            apply(row(kSchema), [&](bool v) { p.txtSchema.setEnabled(v); });
            apply(row(kTable), [&](bool v) { p.txttable.setEnabled(v); });
            if (Index == Inserts) p.txtCommitInt.setText(s_.CommitInterval);
            apply(row(kSaveTo0), [&](bool v) { p.optSaveTo(0).setEnabled(v); });
            apply(row(kSaveTo1), [&](bool v) { p.optSaveTo(1).setEnabled(v); });
            fileFilterIndex_ = row(kFilter);
        }
        s_.Format = Index;
        changed("Format");
    });
}

namespace {
// The stored value and change key behind each option box chkOption(i).
struct OptionBinding { int32_t VarneloSettings::*field; const char* key; };
constexpr OptionBinding kOptionBindings[] = {
    {&VarneloSettings::AutoColumnWidth, "AutoColumnWidth"},
    {&VarneloSettings::Quotes, "Quotes"},
    {&VarneloSettings::Columns, "Columns"},
    {&VarneloSettings::IncludeNulls, "IncludeNulls"},
    {&VarneloSettings::Compress, "Compress"},
    {&VarneloSettings::IncludeSQL, "IncludeSQL"},
    {&VarneloSettings::IncludeCellBorder, "IncludeCellBorder"},
    {&VarneloSettings::LowercaseColumns, "LowercaseColumns"},
    {&VarneloSettings::NoWrap, "NoWrap"},
    {&VarneloSettings::DelimAfterRow, "DelimAfterRow"},
    {&VarneloSettings::SendThroughMail, "SendThroughMail"},
};
}  // namespace

void Varnelo::chkOption_Click(int Index) {
    guard("Varnelo.chkOption_Click(Index)", [&] {
        int32_t v = panel_->chkOption(Index).value();
        const OptionBinding& b = kOptionBindings[Index];
        s_.*b.field = v;
        changed(b.key);
        if (Index == 10) mailModeSwitch(v);
    });
}

// The "Send through Mail" box clicked: file mode (0) or mail mode (1).
void Varnelo::mailModeSwitch(int32_t state) {
    Panel& p = *panel_;
    if (state == 0) {
        p.SSTab1.setTabEnabled(2, false);
        p.chkSaveTo(0).setEnabled(true);
        p.optSaveTo(0).setEnabled(false);
        p.cmdSave.setVisible(true);
        p.cmdSend.setVisible(false);
        setMailAttachment("");
    } else if (state == 1) {
        p.chkSaveTo(0).setEnabled(false);
        p.optSaveTo(0).setEnabled(false);
        p.cmdSave.setVisible(false);
        p.cmdSend.setVisible(true);
        setMailAttachment(s_.OutputFile);
        CollapseDetails();
        p.SSTab1.setTabEnabled(2, true);
    }
}

void Varnelo::setMailAttachment(const std::string& path) {
    s_.MailAttachment = path;
    panel_->txtAttach.setText(path);
    changed("MailAttachment");
}

void Varnelo::CollapseDetails() {
    Panel& p = *panel_;
    int state = p.chkAuthReq.value();
    if (state == 2) return;
    // Switching authentication off forgets the login; showing the login
    // fields keeps what they hold.
    if (state == 0) {
        p.txtUserName.setText("");
        p.txtPassword.setText("");
    }
    arrangeLogin(state == 1);
}

// The login rows shown or hidden, and everything below them moved by one row.
void Varnelo::arrangeLogin(bool on) {
    Panel& p = *panel_;
    for (ui::Widget* w : std::initializer_list<ui::Widget*>{&p.Label16, &p.Label17, &p.Label18, &p.txtUserName,
                                                            &p.txtPassword})
        w->setVisible(on);
    int shift = on ? 360 : 0;
    p.Label20.setTop(1200 + shift);
    p.optEncodeType(0).setTop(1200 + shift);
    p.optEncodeType(1).setTop(1200 + shift);
    p.Label21.setTop(1605 + shift);
    p.cboPriority.setTop(1560 + shift);
    p.ckHtml.setTop(2160 + shift);
    p.ckReceipt.setTop(2160 + shift);
    p.fraOptions.setHeight(2595 + shift);
    p.fmeMail.setTop(3120 + shift);
}

void Varnelo::optSQLLdr_Click(int Index) {
    guard("Varnelo.optSQLLdr_Click(Index)", [&] {
        s_.SQLLoaderMode = Index;
        changed("SQLLoadermode");
    });
}

void Varnelo::chkSaveTo_Click(int Index) {
    guard("Varnelo.chkSaveTo_Click(Index)", [&] {
        int32_t v = panel_->chkSaveTo(Index).value();
        if (Index == 0) {
            s_.LaunchFile = v;
            changed("LaunchFile");
        } else {
            s_.UnixFormat = v;
            changed("UnixFormat");
        }
    });
}

void Varnelo::optSaveTo_Click(int Index) {
    guard("Varnelo.optSaveTo_Click(Index)", [&] {
        bool file = Index == 1;
        panel_->chkSaveTo(0).setEnabled(file);
        panel_->cmdFileSel.setEnabled(file);
    });
}

void Varnelo::cmdFileSel_Click() {
    guard("Varnelo.cmdFileSel_Click", [&] {
        // The dialog starts at the current output file; a cancel keeps it,
        // whether the host or the user had set it.
        FileDialogRequest request{kFileFilter, fileFilterIndex_, panel_->txtFileSave.text()};
        if (auto chosen = desktop_.saveFileDialog(request)) panel_->txtFileSave.setText(*chosen);
    });
}

void Varnelo::txtCommitInt_Change() {
    guard("Varnelo.txtCommitInt_Change", [&] {
        const std::string& t = panel_->txtCommitInt.text();
        if (!isNumericText(t)) {
            desktop_.messageBox("Please enter numeric data to proceed", "Wrong data Entry", mb::kExclamation);
            return;
        }
        s_.CommitInterval = t;
        changed("CommitInterval");
    });
}

void Varnelo::txtDiscardMax_change() {
    guard("Varnelo.txtDiscardMax_change", [&] {
        const std::string& t = panel_->txtDiscardMax.text();
        if (!isNumericText(t)) {
            desktop_.messageBox("Please enter numeric data to proceed", "Wrong data Entry", mb::kExclamation);
            return;
        }
        s_.DiscardMax = t;
        changed("DiscardMax");
    });
}

void Varnelo::txtDelimChar_Change() {
    guard("Varnelo.txtDelimChar_Change", [&] {
        std::string t = panel_->txtDelimChar.text();
        if (t.size() > 1) {
            // Keep the last character typed; a UTF-8 character is kept whole.
            size_t start = t.size() - 1;
            while (start > 0 && (static_cast<unsigned char>(t[start]) & 0xC0) == 0x80) --start;
            if (start > 0) {
                panel_->txtDelimChar.setText(t.substr(start));  // runs this handler again
                return;
            }
        }
        s_.DelimChar = t;
        changed("DelimChar");
    });
}

void Varnelo::txtFieldSep_change() {
    guard("Varnelo.txtFieldSep_change", [&] {
        s_.FieldSeparator = panel_->txtFieldSep.text();
        changed("FieldSeparator");
    });
}

void Varnelo::txtFileSave_Change() {
    guard("Varnelo.txtFileSave_Change", [&] {
        s_.OutputFile = panel_->txtFileSave.text();
        if (s_.SendThroughMail == 1) setMailAttachment(s_.OutputFile);
        changed("OutputFile");
    });
}

void Varnelo::txtSchema_change() {
    guard("Varnelo.txtSchema_change", [&] {
        s_.InsertSchema = panel_->txtSchema.text();
        changed("InsertSchema");
    });
}

void Varnelo::txtStrEnclose_Change() {
    guard("Varnelo.txtStrEnclose_Change", [&] {
        s_.StrEnclose = panel_->txtStrEnclose.text();
        changed("StrEnclose");
    });
}

void Varnelo::txttable_change() {
    guard("Varnelo.txttable_change", [&] {
        s_.InsertTable = panel_->txttable.text();
        changed("InsertTable");
    });
}

void Varnelo::chkExcelDef_Click() {
    guard("Varnelo.chkExcelDef_Click", [&] {
        s_.FontExcelDef = panel_->chkExcelDef.value();
        changed("FontExcelDef");
    });
}

void Varnelo::chkAuthReq_Click() {
    guard("Varnelo.chkAuthReq_Click", [&] {
        s_.SMTPAuthentication = panel_->chkAuthReq.value();
        changed("SMTPAuthentication");
        CollapseDetails();
    });
}

void Varnelo::optEncodeType_Click(int Index) {
    guard("Varnelo.optEncodeType_Click(Index)", [&] {
        Panel& p = *panel_;
        s_.MailFormat = Index;
        changed("MailFormat");
        bool mime = p.optEncodeType(0).value();
        if (!mime) {
            p.ckHtml.setValue(0);
            p.ckReceipt.setValue(0);
        }
        applyEncoding(mime);
    });
}

// MIME allows a priority, an HTML body and a receipt; UU encoding none.
void Varnelo::applyEncoding(bool mime) {
    Panel& p = *panel_;
    s_.encodingCode = mime ? 0 : 1;
    p.cboPriority.setEnabled(mime);
    p.ckHtml.setEnabled(mime);
    p.ckReceipt.setEnabled(mime);
}

void Varnelo::cboPriority_Click() {
    guard("Varnelo.cboPriority_Click", [&] {
        static const int32_t codes[] = {3, 1, 5};
        int i = panel_->cboPriority.listIndex();
        if (i >= 0 && i < 3) {
            s_.priorityCode = codes[i];
            s_.MailPriority = codes[i];
        }
        changed("MailPriority");
    });
}

void Varnelo::cboPriority_KeyDown(int& KeyCode, int) {
    if (KeyCode != 38 && KeyCode != 40) KeyCode = 0;
}

void Varnelo::cboPriority_KeyPress(int& KeyAscii) { KeyAscii = 0; }

void Varnelo::lblDateFormat_Change() {
    guard("Varnelo.lblDateFormat_Change", [&] {
        s_.DateFormat = panel_->lblDateFormat.caption();
        changed("DateFormat");
    });
}

void Varnelo::loadPanelFields() {
    Panel& p = *panel_;
    const std::pair<ui::TextBox*, const std::string*> texts[] = {
        {&p.txtStrEnclose, &s_.StrEnclose}, {&p.txttable, &s_.InsertTable},     {&p.txtCommitInt, &s_.CommitInterval},
        {&p.txtSchema, &s_.InsertSchema},   {&p.txtDelimChar, &s_.DelimChar},   {&p.txtFileSave, &s_.OutputFile},
        {&p.txtAttach, &s_.MailAttachment}, {&p.txtFieldSep, &s_.FieldSeparator}, {&p.txtDiscardMax, &s_.DiscardMax}};
    for (auto [box, value] : texts) box->loadText(*value);

    // A stored state that no box can show (a bad saved value) leaves its box
    // as it is; reading the property reports it.
    auto loadCheck = [](ui::CheckBox& box, int32_t v) {
        if (v >= 0 && v <= 2) box.loadValue(v);
    };
    p.chkOption.forEach([&](ui::CheckBox& box) { loadCheck(box, s_.*kOptionBindings[box.index()].field); });
    loadCheck(p.chkSaveTo(0), s_.LaunchFile);
    loadCheck(p.chkSaveTo(1), s_.UnixFormat);
    loadCheck(p.chkExcelDef, s_.FontExcelDef);
    loadCheck(p.chkAuthReq, s_.SMTPAuthentication);
    if (p.chkAuthReq.value() != 2) arrangeLogin(p.chkAuthReq.value() == 1);

    if (p.optFormat.has(s_.Format)) p.optFormat(s_.Format).setDesignValue(true);
    if (p.optSQLLdr.has(s_.SQLLoaderMode)) p.optSQLLdr(s_.SQLLoaderMode).setDesignValue(true);
    if (p.optSaveTo.has(s_.SaveToFile)) {
        p.optSaveTo(s_.SaveToFile).setDesignValue(true);
        p.chkSaveTo(0).setEnabled(s_.SaveToFile == 1);
        p.cmdFileSel.setEnabled(s_.SaveToFile == 1);
    }
    if (p.optEncodeType.has(s_.MailFormat)) {
        p.optEncodeType(s_.MailFormat).setDesignValue(true);
        applyEncoding(s_.MailFormat == EncodingMIME);
    }
    p.optEncodeType(0).setEnabled(s_.MailFormatEnabled != 0);
    p.optEncodeType(1).setEnabled(s_.MailFormatEnabled != 0);

    p.lblHeader(1).setBackColor(s_.HeaderBackColor);
    p.lblHeader(2).setBackColor(s_.HeaderForeColor);
    p.lblBody(1).setBackColor(s_.BodyBackColor);
    p.lblBody(2).setBackColor(s_.BodyForeColor);
    if (s_.HeaderFont) showFontOn(p.Label8, p.lblHeader(0), *s_.HeaderFont);
    if (s_.BodyFont) showFontOn(p.Label9, p.lblBody(0), *s_.BodyFont);
    p.lblDateFormat.loadCaption(s_.DateFormat);
}

}  // namespace varnelo
