// The published properties: where each value lives, what reading and writing
// do to the panel, and the change key each write sends. A value the panel
// field refuses is checked before it is stored, so the previous value stays
// and the property can still be read.
#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

namespace {
std::string readTag(const char* name) { return std::string("Varnelo.") + name; }
std::string writeTag(const char* name) {
    return std::string("Varnelo.") + name + "(New_" + name + ")";
}
}  // namespace

// Stored string shown in a text box.
#define VARNELO_TEXT_PROPERTY(Name, Box, Key, WriteTag)                \
    std::string Varnelo::Name() {                                      \
        return guard(readTag(#Name), [&] {                             \
            std::string v = s_.Name;                                   \
            if (reflectReads()) panel_->Box.setText(v);                \
            return v;                                                  \
        });                                                            \
    }                                                                  \
    void Varnelo::Name(const std::string& v) {                         \
        guard(WriteTag, [&] {                                          \
            s_.Name = v;                                               \
            panel_->Box.setText(v);                                    \
            changed(Key);                                              \
        });                                                            \
    }

VARNELO_TEXT_PROPERTY(StrEnclose, txtStrEnclose, "StrEnclose", "Varnelo.StrEnclose(NewValue)")
VARNELO_TEXT_PROPERTY(InsertTable, txttable, "Inserttable", "Varnelo.InsertTable(NewValue)")
VARNELO_TEXT_PROPERTY(CommitInterval, txtCommitInt, "CommitInterval", writeTag("CommitInterval"))
VARNELO_TEXT_PROPERTY(InsertSchema, txtSchema, "InsertSchema", writeTag("InsertSchema"))
VARNELO_TEXT_PROPERTY(DelimChar, txtDelimChar, "DelimChar", writeTag("DelimChar"))
VARNELO_TEXT_PROPERTY(OutputFile, txtFileSave, "OutputFile", writeTag("OutputFile"))
VARNELO_TEXT_PROPERTY(MailAttachment, txtAttach, "MailAttachment", writeTag("MailAttachment"))
#undef VARNELO_TEXT_PROPERTY

// Stored 32-bit value shown in a check box. A value the box refuses is
// neither stored nor recorded.
#define VARNELO_CHECK_PROPERTY(Name, Box)                              \
    int32_t Varnelo::Name() {                                          \
        return guard(readTag(#Name), [&] {                             \
            int32_t v = s_.Name;                                       \
            if (reflectReads()) panel_->Box.setValue(v);               \
            return v;                                                  \
        });                                                            \
    }                                                                  \
    void Varnelo::Name(int32_t v) {                                    \
        guard(writeTag(#Name), [&] {                                   \
            ui::CheckBox::checkState(v, panel_->Box.fullName());       \
            s_.Name = v;                                               \
            panel_->Box.setValue(v);                                   \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_CHECK_PROPERTY(LowercaseColumns, chkOption(7))
VARNELO_CHECK_PROPERTY(NoWrap, chkOption(8))
VARNELO_CHECK_PROPERTY(UnixFormat, chkSaveTo(1))
VARNELO_CHECK_PROPERTY(Columns, chkOption(2))
VARNELO_CHECK_PROPERTY(IncludeNulls, chkOption(3))
VARNELO_CHECK_PROPERTY(DelimAfterRow, chkOption(9))
VARNELO_CHECK_PROPERTY(Quotes, chkOption(1))
VARNELO_CHECK_PROPERTY(AutoColumnWidth, chkOption(0))
VARNELO_CHECK_PROPERTY(IncludeCellBorder, chkOption(6))
VARNELO_CHECK_PROPERTY(LaunchFile, chkSaveTo(0))
VARNELO_CHECK_PROPERTY(Compress, chkOption(4))
#undef VARNELO_CHECK_PROPERTY

// IncludeSQL records its change before it touches the panel.
int32_t Varnelo::IncludeSQL() {
    return guard("Varnelo.IncludeSQL", [&] {
        int32_t v = s_.IncludeSQL;
        if (reflectReads()) panel_->chkOption(5).setValue(v);
        return v;
    });
}
void Varnelo::IncludeSQL(int32_t v) {
    guard("Varnelo.IncludeSQL(New_IncludeSQL)", [&] {
        changed("IncludeSQL");
        ui::CheckBox::checkState(v, panel_->chkOption(5).fullName());
        s_.IncludeSQL = v;
        panel_->chkOption(5).setValue(v);
    });
}

int32_t Varnelo::FontExcelDef() {
    return guard("Varnelo.FontExcelDef", [&] {
        int32_t v = s_.FontExcelDef;
        if (reflectReads()) {
            panel_->chkExcelDef.setValue(v);
            host_.surface().refresh();  // the box is repainted on read
        }
        return v;
    });
}
void Varnelo::FontExcelDef(int32_t v) {
    guard("Varnelo.FontExcelDef(New_FontExcelDef)", [&] {
        ui::CheckBox::checkState(v, panel_->chkExcelDef.fullName());
        s_.FontExcelDef = v;
        panel_->chkExcelDef.setValue(v);
        changed("FontExcelDef");
    });
}

// Stored value that selects the option button of the same index. An index
// with no button fails (error 340) and is not stored; Format records the
// change even then.
#define VARNELO_OPTION_PROPERTY(Name, Array, RecordFirst)              \
    int32_t Varnelo::Name() {                                          \
        return guard(readTag(#Name), [&] {                             \
            int32_t v = s_.Name;                                       \
            if (reflectReads()) panel_->Array(v).setValue(true);       \
            return v;                                                  \
        });                                                            \
    }                                                                  \
    void Varnelo::Name(int32_t v) {                                    \
        guard(writeTag(#Name), [&] {                                   \
            if (RecordFirst) changed(#Name);                           \
            ui::OptionButton& button = panel_->Array(v);               \
            s_.Name = v;                                               \
            button.setValue(true);                                     \
            if (!(RecordFirst)) changed(#Name);                        \
        });                                                            \
    }

VARNELO_OPTION_PROPERTY(Format, optFormat, true)
VARNELO_OPTION_PROPERTY(SQLLoaderMode, optSQLLdr, false)
VARNELO_OPTION_PROPERTY(SaveToFile, optSaveTo, false)
VARNELO_OPTION_PROPERTY(MailFormat, optEncodeType, false)
#undef VARNELO_OPTION_PROPERTY

// Stored colour shown as a swatch's background.
#define VARNELO_COLOR_PROPERTY(Name, Swatch)                           \
    OLE_COLOR Varnelo::Name() {                                        \
        return guard(readTag(#Name), [&] {                             \
            OLE_COLOR v = s_.Name;                                     \
            if (reflectReads()) panel_->Swatch.setBackColor(v);        \
            return v;                                                  \
        });                                                            \
    }                                                                  \
    void Varnelo::Name(OLE_COLOR v) {                                  \
        guard(writeTag(#Name), [&] {                                   \
            s_.Name = v;                                               \
            panel_->Swatch.setBackColor(v);                            \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_COLOR_PROPERTY(BodyBackColor, lblBody(1))
VARNELO_COLOR_PROPERTY(BodyForeColor, lblBody(2))
VARNELO_COLOR_PROPERTY(HeaderBackColor, lblHeader(1))
VARNELO_COLOR_PROPERTY(HeaderForeColor, lblHeader(2))
#undef VARNELO_COLOR_PROPERTY

// Stored font, by reference: the holder label takes the name, the font cell
// shows "Name,Size" as caption and tool tip.
#define VARNELO_FONT_PROPERTY(Name, Holder, Cell)                      \
    FontPtr Varnelo::Name() {                                          \
        return guard(readTag(#Name), [&] {                             \
            FontPtr f = s_.Name;                                       \
            if (f && reflectReads()) showFontOn(panel_->Holder, panel_->Cell, *f); \
            return f;                                                  \
        });                                                            \
    }                                                                  \
    void Varnelo::Name(FontPtr v) {                                    \
        guard(writeTag(#Name), [&] {                                   \
            if (!v) throw Error::standard(err::kInvalidPropertyValue); \
            s_.Name = v;                                               \
            showFontOn(panel_->Holder, panel_->Cell, *v);              \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_FONT_PROPERTY(BodyFont, Label9, lblBody(0))
VARNELO_FONT_PROPERTY(HeaderFont, Label8, lblHeader(0))
#undef VARNELO_FONT_PROPERTY

// Panel-only values: the field is the only copy.
#define VARNELO_PANEL_TEXT(Name, Box)                                  \
    std::string Varnelo::Name() {                                      \
        return guard(readTag(#Name), [&] { return panel_->Box.text(); }); \
    }                                                                  \
    void Varnelo::Name(const std::string& v) {                         \
        guard(writeTag(#Name), [&] {                                   \
            panel_->Box.setText(v);                                    \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_PANEL_TEXT(MailTo, txtTo)
VARNELO_PANEL_TEXT(MailFrom, txtFrom)
VARNELO_PANEL_TEXT(MailCc, txtCc)
VARNELO_PANEL_TEXT(MailBcc, txtBcc)
VARNELO_PANEL_TEXT(MailSubject, txtSubject)
VARNELO_PANEL_TEXT(MailMessage, txtMsg)
VARNELO_PANEL_TEXT(MailSMTPServer, txtServer)
VARNELO_PANEL_TEXT(Password, txtPassword)
VARNELO_PANEL_TEXT(UserName, txtUserName)
#undef VARNELO_PANEL_TEXT

#define VARNELO_PANEL_CHECK(Name, Box)                                 \
    int32_t Varnelo::Name() {                                          \
        return guard(readTag(#Name), [&] { return int32_t{panel_->Box.value()}; }); \
    }                                                                  \
    void Varnelo::Name(int32_t v) {                                    \
        guard(writeTag(#Name), [&] {                                   \
            panel_->Box.setValue(v);                                   \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_PANEL_CHECK(MailHTMLBody, ckHtml)
VARNELO_PANEL_CHECK(MailReceipt, ckReceipt)
#undef VARNELO_PANEL_CHECK

#define VARNELO_PANEL_ENABLED(Name, Widget)                            \
    bool Varnelo::Name() {                                             \
        return guard(readTag(#Name), [&] { return panel_->Widget.enabled(); }); \
    }                                                                  \
    void Varnelo::Name(bool v) {                                       \
        guard(writeTag(#Name), [&] {                                   \
            panel_->Widget.setEnabled(v);                              \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_PANEL_ENABLED(MailFromEnabled, txtFrom)
VARNELO_PANEL_ENABLED(MailSMTPServerEnabled, txtServer)
#undef VARNELO_PANEL_ENABLED

// No handler of their own: failures go to the caller unreported.
bool Varnelo::SMTPAuthEnabled() { return panel_->chkAuthReq.enabled(); }
void Varnelo::SMTPAuthEnabled(bool v) {
    panel_->chkAuthReq.setEnabled(v);
    changed("SMTPAuthEnabled");
}

int32_t Varnelo::SMTPAuthentication() {
    int32_t v = s_.SMTPAuthentication;
    if (reflectReads()) {
        panel_->chkAuthReq.setValue(v);
        CollapseDetails();
    }
    return v;
}
void Varnelo::SMTPAuthentication(int32_t v) {
    ui::CheckBox::checkState(v, panel_->chkAuthReq.fullName());
    s_.SMTPAuthentication = v;
    panel_->chkAuthReq.setValue(v);
    CollapseDetails();
    changed("SMTPAuthentication");
}

// The tab sheet's own colours and font.
OLE_COLOR Varnelo::BackColor() {
    return guard("Varnelo.BackColor", [&] { return panel_->SSTab1.backColor(); });
}
void Varnelo::BackColor(OLE_COLOR v) {
    guard("Varnelo.BackColor(New_BackColor)", [&] {
        panel_->SSTab1.setBackColor(v);
        changed("BackColor");
    });
}
OLE_COLOR Varnelo::ForeColor() {
    return guard("Varnelo.ForeColor", [&] { return panel_->SSTab1.foreColor(); });
}
void Varnelo::ForeColor(OLE_COLOR v) {
    guard("Varnelo.ForeColor(New_ForeColor)", [&] {
        panel_->SSTab1.setForeColor(v);
        changed("ForeColor");
    });
}
FontPtr Varnelo::Font() {
    return guard("Varnelo.Font", [&] { return panel_->SSTab1.font(); });
}
void Varnelo::Font(FontPtr v) {
    guard("Varnelo.Font(New_Font)", [&] {
        if (!v) throw Error::standard(err::kInvalidPropertyValue);
        panel_->SSTab1.setFont(std::move(v));
        changed("Font");
    });
}

// Only the date and time format editor changes the stored format.
std::string Varnelo::DateFormat() {
    return guard("Varnelo.DateFormat", [&] {
        std::string v = s_.DateFormat;
        if (reflectReads()) panel_->lblDateFormat.setCaption(v);
        return v;
    });
}
void Varnelo::DateFormat(const std::string&) {}

// FieldSeparator, DiscardMax and MailFooter have no panel field of their own.
std::string Varnelo::FieldSeparator() { return s_.FieldSeparator; }
void Varnelo::FieldSeparator(const std::string& v) {
    guard("Varnelo.FieldSeparator(New_FieldSeparator)", [&] {
        s_.FieldSeparator = v;
        changed("FieldSeparator");
    });
}
std::string Varnelo::DiscardMax() {
    return guard("Varnelo.DiscardMax(DiscardMax)", [&] { return s_.DiscardMax; });
}
void Varnelo::DiscardMax(const std::string& v) {
    guard("Varnelo.DiscardMax(New_DiscardMax)", [&] {
        s_.DiscardMax = v;
        changed("DiscardMax");
    });
}
std::string Varnelo::MailFooter() { return s_.MailFooter; }
void Varnelo::MailFooter(const std::string& v) {
    guard("Varnelo.MailFooter(New_MailFooter)", [&] {
        s_.MailFooter = v;
        changed("MailFooter");
    });
}

bool Varnelo::Enabled() {
    return guard("Varnelo.Enabled", [&] { return host_.surface().enabled; });
}
bool Varnelo::Locked() { return s_.Locked; }
void Varnelo::Locked(bool v) {
    guard("Varnelo.Locked(New_Locked)", [&] {
        s_.Locked = v;
        changed("Locked");
    });
}

#define VARNELO_SCALE_PROPERTY(Name, Type, Member)                     \
    Type Varnelo::Name() {                                             \
        return guard(readTag(#Name), [&] { return host_.surface().Member; }); \
    }                                                                  \
    void Varnelo::Name(Type v) {                                       \
        guard(writeTag(#Name), [&] {                                   \
            host_.surface().Member = v;                                \
            changed(#Name);                                            \
        });                                                            \
    }

VARNELO_SCALE_PROPERTY(ScaleHeight, float, scaleHeight)
VARNELO_SCALE_PROPERTY(ScaleLeft, float, scaleLeft)
VARNELO_SCALE_PROPERTY(ScaleMode, int16_t, scaleMode)
VARNELO_SCALE_PROPERTY(ScaleTop, float, scaleTop)
VARNELO_SCALE_PROPERTY(ScaleWidth, float, scaleWidth)
#undef VARNELO_SCALE_PROPERTY

namespace {
const char* priorityText(int32_t v) {
    switch (v) {
        case 1: return "High";
        case 3: return "Normal";
        case 5: return "Low";
        default: return nullptr;
    }
}
}  // namespace

// Setting the list's text runs no handler; a host's priority also becomes
// the code the mail uses, or it would never reach the mail.
int32_t Varnelo::MailPriority() {
    return guard("Varnelo.MailPriority", [&] {
        int32_t v = s_.MailPriority;
        const char* t = priorityText(v);
        if (t && reflectReads()) panel_->cboPriority.setText(t);
        return v;
    });
}
void Varnelo::MailPriority(int32_t v) {
    guard("Varnelo.MailPriority(New_MailPriority)", [&] {
        s_.MailPriority = v;
        changed("MailPriority");
        if (const char* t = priorityText(v)) {
            panel_->cboPriority.setText(t);
            s_.priorityCode = v;
        }
    });
}

int32_t Varnelo::MailFormatEnabled() {
    return guard("Varnelo.MailFormatEnabled", [&] {
        int32_t v = s_.MailFormatEnabled;
        if (reflectReads()) {
            panel_->optEncodeType(0).setEnabled(v != 0);
            panel_->optEncodeType(1).setEnabled(v != 0);
        }
        return v;
    });
}
void Varnelo::MailFormatEnabled(int32_t v) {
    guard("Varnelo.MailFormatEnabled(New_MailFormatEnabled)", [&] {
        s_.MailFormatEnabled = v;
        panel_->optEncodeType(0).setEnabled(v != 0);
        panel_->optEncodeType(1).setEnabled(v != 0);
        changed("MailFormatEnabled");
    });
}

// The mail switch: file mode (0) or mail mode (1) across the panel.
int32_t Varnelo::SendThroughMail() {
    return guard("Varnelo.SendThroughMail", [&] {
        int32_t v = s_.SendThroughMail;
        if (!reflectReads()) return v;
        panel_->chkOption(10).setValue(v);
        Panel& p = *panel_;
        if (v == 0) {
            p.SSTab1.setTabEnabled(2, false);
            p.chkSaveTo(0).setEnabled(false);
            p.chkSaveTo(1).setValue(0);
            p.cmdSave.setVisible(true);
            p.cmdSend.setVisible(false);
        } else if (v == 1) {
            p.SSTab1.setTabEnabled(2, true);
            p.chkSaveTo(0).setEnabled(true);
            p.cmdSave.setVisible(false);
            p.cmdSend.setVisible(true);
        }
        return v;
    });
}
void Varnelo::SendThroughMail(int32_t v) {
    guard("Varnelo.SendThroughMail(New_SendThroughMail)", [&] {
        changed("SendThroughMail");
        Panel& p = *panel_;
        ui::CheckBox::checkState(v, p.chkOption(10).fullName());
        s_.SendThroughMail = v;
        p.chkOption(10).setValue(v);
        if (v == 0 || v == 1) {
            p.SSTab1.setTabEnabled(2, v == 1);
            p.chkSaveTo(0).setEnabled(v == 1);
            p.optSaveTo(0).setEnabled(false);
            p.cmdSave.setVisible(v == 0);
            p.cmdSend.setVisible(v == 1);
        }
    });
}

RecordsetPtr Varnelo::DataSource() { return s_.DataSource; }
void Varnelo::DataSource(RecordsetPtr v) {
    guard("Varnelo.DataSource(New_DataSource)", [&] {
        // A record source belongs to a running application, not to a design.
        if (!host_.userMode()) throw Error::standard(err::kSetNotAtDesignTime);
        s_.DataSource = std::move(v);
        changed("DataSource");
    });
}

bool Varnelo::AbortProcess() { return s_.AbortProcess; }
void Varnelo::AbortProcess(bool v) {
    s_.AbortProcess = v;
    changed("AbortProcess");
}

void Varnelo::Refresh() {
    guard("Varnelo.Refresh", [&] { host_.surface().refresh(); });
}

void Varnelo::Scale_(std::optional<float> X1, std::optional<float> Y1, std::optional<float> X2,
                     std::optional<float> Y2) {
    guard("Varnelo.Scale_(X1,Y1,X2,Y2)", [&] { host_.surface().scale(X1, Y1, X2, Y2); });
}

}  // namespace varnelo
