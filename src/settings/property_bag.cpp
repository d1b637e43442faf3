// The property bag: every key in one order for load and save, with its
// default. The load writes straight into the stored values and the panel
// fields (no handler runs, nothing is reported changed); a value of the
// wrong type or out of range takes the key's default, so a damaged bag
// never stops a control from loading.
#include <cmath>

#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

namespace {

constexpr OLE_COLOR kWindowBackground = 0x80000009u;

// Typed reads with the key's default for anything that does not fit.
class BagReader {
public:
    BagReader(const PropertyBag& bag, const FontPtr& ambient) : bag_(bag), ambient_(ambient) {}

    Variant value(const char* key, const Variant& def) const {
        BagValue v = bag_.ReadProperty(key, def);
        const Variant* plain = std::get_if<Variant>(&v);
        return plain && !plain->isNull() ? *plain : def;
    }
    std::string text(const char* key, const std::string& def) const {
        Variant v = value(key, def);
        return v.isString() ? v.asString() : v.isNumeric() ? v.toText() : def;
    }
    int32_t int32(const char* key, int32_t def) const {
        try {
            return value(key, def).toInt32();
        } catch (const Error&) {
            return def;
        }
    }
    // A check box's state: 0, 1 or 2.
    int32_t state(const char* key, int32_t def) const {
        int32_t v = int32(key, def);
        return v >= 0 && v <= 2 ? v : def;
    }
    // An option index that has a button (first..last).
    int32_t index(const char* key, int32_t def, int32_t first, int32_t last) const {
        int32_t v = int32(key, def);
        return v >= first && v <= last ? v : def;
    }
    bool boolean(const char* key, bool def) const {
        Variant v = value(key, def);
        if (v.kind() == Variant::Kind::Boolean) return v.asBool();
        try {
            return v.toInt64() != 0;
        } catch (const Error&) {
            return def;
        }
    }
    // Colours as the 32-bit value, signed (system colours) or not.
    OLE_COLOR color(const char* key, OLE_COLOR def) const {
        try {
            int64_t v = value(key, static_cast<int32_t>(def)).toInt64();
            if (v >= INT32_MIN && v <= static_cast<int64_t>(UINT32_MAX)) return static_cast<OLE_COLOR>(v);
        } catch (const Error&) {
        }
        return def;
    }
    float single(const char* key, float def) const {
        try {
            double d = value(key, static_cast<double>(def)).toDouble();
            if (std::isfinite(d) && std::fabs(d) <= 3.4e38) return static_cast<float>(d);
        } catch (const Error&) {
        }
        return def;
    }
    // A font by reference; a missing one is a copy of the host's of its own,
    // so that the header, the body and the host never share one object.
    FontPtr font(const char* key) const {
        BagValue v = bag_.ReadProperty(key, Variant());
        if (const FontPtr* f = std::get_if<FontPtr>(&v); f && *f) return *f;
        return std::make_shared<Font>(ambient_ ? *ambient_ : Font{});
    }
    RecordsetPtr recordset(const char* key) const {
        BagValue v = bag_.ReadProperty(key, RecordsetPtr());
        const RecordsetPtr* r = std::get_if<RecordsetPtr>(&v);
        return r ? *r : nullptr;
    }

private:
    const PropertyBag& bag_;
    FontPtr ambient_;
};

const char* priorityName(int32_t code) {
    switch (code) {
        case PriorityHigh: return "High";
        case PriorityNormal: return "Normal";
        case PriorityLow: return "Low";
        default: return nullptr;
    }
}

int32_t priorityCode(const std::string& name) {
    if (name == "High") return PriorityHigh;
    if (name == "Normal") return PriorityNormal;
    if (name == "Low") return PriorityLow;
    return 0;
}

}  // namespace

void Varnelo::UserControl_ReadProperties(PropertyBag& PropBag) {
    guard("Varnelo.UserControl_ReadProperties(PropBag)", [&] {
        Panel& p = *panel_;
        DrawingSurface& d = host_.surface();
        const BagReader r(PropBag, host_.ambientFont());
        p.SSTab1.setBackColor(r.color("BackColor", kButtonFace));
        p.SSTab1.setForeColor(r.color("ForeColor", 0));
        p.SSTab1.setFont(r.font("Font"));
        s_.Locked = r.boolean("Locked", false);
        d.scaleHeight = r.single("ScaleHeight", 7050);
        d.scaleLeft = r.single("ScaleLeft", 0);
        d.scaleMode = static_cast<int16_t>(r.index("ScaleMode", 1, INT16_MIN, INT16_MAX));
        d.scaleTop = r.single("ScaleTop", 0);
        d.scaleWidth = r.single("ScaleWidth", 5295);
        s_.DateFormat = r.text("DateFormat", "dd/MM/yyyy HH:mm:ss");
        p.lblBody(1).setBackColor(r.color("BodyBackColor", kWindowBackground));
        p.lblBody(2).setBackColor(r.color("BodyForeColor", kWindowBackground));
        p.lblBody(0).setFont(r.font("BodyFont"));
        p.lblHeader(1).setBackColor(r.color("HeaderBackColor", kWindowBackground));
        p.lblHeader(2).setBackColor(r.color("HeaderForeColor", kWindowBackground));
        p.lblHeader(0).setFont(r.font("HeaderFont"));
        s_.CommitInterval = r.text("CommitInterval", "1000");
        s_.FieldSeparator = r.text("FieldSeparator", ",");
        s_.InsertSchema = r.text("InsertSchema", "");
        s_.InsertTable = r.text("InsertTable", "");
        s_.DelimChar = r.text("DelimChar", ";");
        s_.LowercaseColumns = r.state("LowercaseColumns", 0);
        s_.NoWrap = r.state("NoWrap", 0);
        s_.UnixFormat = r.state("UnixFormat", 0);
        s_.BodyBackColor = r.color("BodyBackColor", 0xFFFFFF);
        s_.BodyForeColor = r.color("BodyForeColor", 0);
        s_.BodyFont = r.font("BodyFont");
        s_.HeaderBackColor = r.color("HeaderBackColor", 0x400000);
        s_.HeaderForeColor = r.color("HeaderForeColor", 0xFFFFFF);
        s_.HeaderFont = r.font("HeaderFont");
        s_.Columns = r.state("Columns", 1);
        s_.IncludeNulls = r.state("IncludeNulls", 0);
        s_.DelimAfterRow = r.state("DelimAfterRow", 0);
        s_.Compress = r.state("Compress", 0);
        s_.Quotes = r.state("Quotes", 0);
        s_.IncludeSQL = r.state("IncludeSQL", 0);
        s_.Format = r.index("Format", 0, Ascii, SQLLoader);
        s_.SQLLoaderMode = r.index("SQLLoaderMode", 1, Insert, Truncate);
        s_.AutoColumnWidth = r.state("AutoColumnWidth", 0);
        s_.OutputFile = r.text("OutputFile", "");
        s_.SaveToFile = r.index("SaveToFile", 1, 0, 1);
        s_.IncludeCellBorder = r.state("IncludeCellBorder", 0);
        s_.LaunchFile = r.state("LaunchFile", 0);
        s_.DataSource = r.recordset("DataSource");
        s_.FontExcelDef = r.state("FontExcelDef", 0);
        s_.DiscardMax = r.text("DiscardMax", "1000");
        s_.DateTemp = r.text("DateTemp", "dd/MM/yyyy");
        s_.TimeTemp = r.text("Timetemp", "hh:mm:ss");
        p.ckHtml.loadValue(r.state("MailHTMLBody", 0));
        p.ckReceipt.loadValue(r.state("MailReceipt", 0));
        p.txtFrom.loadText(r.text("MailFrom", ""));
        p.txtTo.loadText(r.text("MailTo", ""));
        p.txtCc.loadText(r.text("MailCc", ""));
        p.txtBcc.loadText(r.text("MailBcc", ""));
        p.txtSubject.loadText(r.text("MailSubject", ""));
        p.txtMsg.loadText(r.text("MailMessage", ""));
        p.txtServer.loadText(r.text("MailServer", ""));
        s_.MailFormat = r.index("MailFormat", 0, EncodingMIME, EncodingUU);
        s_.MailFormatEnabled = r.int32("MailFormatEnabled", 1);
        // The bag keeps the last write of "MailPriority": the stored number.
        // Box text and number come back together, whichever the bag holds.
        {
            Variant v = r.value("MailPriority", "cboPriority");
            int32_t code = 0;
            std::string text;
            if (v.isString()) {
                text = v.asString();
                code = priorityCode(text);
            } else {
                code = r.int32("MailPriority", 0);
                text = priorityName(code) ? priorityName(code) : v.toText();
            }
            p.cboPriority.setText(text);
            if (priorityName(code)) {
                s_.MailPriority = code;
                s_.priorityCode = code;
            }
        }
        p.ckHtml.loadValue(r.state("MailHTMLBody", 0));
        p.ckReceipt.loadValue(r.state("MailReceipt", 0));
        p.txtTo.loadText(r.text("MailTo", ""));
        p.txtFrom.loadText(r.text("MailFrom", ""));
        p.txtFrom.setEnabled(r.boolean("MailFromEnabled", true));
        p.txtCc.loadText(r.text("MailCc", ""));
        p.txtBcc.loadText(r.text("MailBcc", ""));
        p.txtSubject.loadText(r.text("MailSubject", ""));
        p.txtMsg.loadText(r.text("MailMessage", ""));
        s_.MailFooter = r.text("MailFooter", "");
        s_.MailFormat = r.index("MailFormat", 0, EncodingMIME, EncodingUU);
        p.txtServer.loadText(r.text("MailSMTPServer", ""));
        p.txtServer.setEnabled(r.boolean("MailSMTPServerEnabled", true));
        // Authentication comes before the login fields, which it would
        // otherwise clear.
        s_.SMTPAuthentication = r.state("SMTPAuthentication", 0);
        p.chkAuthReq.loadValue(s_.SMTPAuthentication);
        p.chkAuthReq.setEnabled(r.boolean("SMTPAuthEnabled", true));
        s_.SendThroughMail = r.state("SendThroughMail", 0);
        s_.MailAttachment = r.text("MailAttachment", "");
        p.txtPassword.loadText(r.text("Password", ""));
        p.txtUserName.loadText(r.text("UserName", ""));
    });
}

void Varnelo::UserControl_WriteProperties(PropertyBag& PropBag) {
    guard("Varnelo.UserControl_WriteProperties(PropBag)", [&] {
        Panel& p = *panel_;
        const DrawingSurface& d = host_.surface();
        const FontPtr ambient = host_.ambientFont();
        auto put = [&](const char* key, BagValue value, BagValue def) { PropBag.WriteProperty(key, value, def); };
        auto color = [](OLE_COLOR c) { return Variant(static_cast<int32_t>(c)); };
        auto text = [](const std::string& s) { return Variant(s); };
        put("BackColor", color(p.SSTab1.backColor()), color(kButtonFace));
        put("ForeColor", color(p.SSTab1.foreColor()), color(0));
        put("Font", p.SSTab1.font(), ambient);
        put("Locked", Variant(s_.Locked), Variant(false));
        put("ScaleHeight", Variant(double{d.scaleHeight}), Variant(7050.0));
        put("ScaleLeft", Variant(double{d.scaleLeft}), Variant(0.0));
        put("ScaleMode", Variant(int32_t{d.scaleMode}), Variant(int32_t{1}));
        put("ScaleTop", Variant(double{d.scaleTop}), Variant(0.0));
        put("ScaleWidth", Variant(double{d.scaleWidth}), Variant(5190.0));
        put("DateFormat", text(s_.DateFormat), text("dd/MM/yyyy HH:mm:ss"));
        put("BodyBackColor", color(p.lblBody(1).backColor()), color(kWindowBackground));
        put("BodyForeColor", color(p.lblBody(2).backColor()), color(kWindowBackground));
        put("BodyFont", p.lblBody(0).font(), ambient);
        put("HeaderBackColor", color(p.lblHeader(1).backColor()), color(kWindowBackground));
        put("HeaderForeColor", color(p.lblHeader(2).backColor()), color(kWindowBackground));
        put("HeaderFont", p.lblHeader(0).font(), ambient);
        put("CommitInterval", text(s_.CommitInterval), text("1000"));
        put("FieldSeparator", text(s_.FieldSeparator), text(","));
        put("InsertSchema", text(s_.InsertSchema), text(""));
        put("InsertTable", text(s_.InsertTable), text(""));
        put("DelimChar", text(s_.DelimChar), text(";"));
        const Variant zero(int32_t{0}), one(int32_t{1});
        put("LowercaseColumns", Variant(s_.LowercaseColumns), zero);
        put("NoWrap", Variant(s_.NoWrap), zero);
        put("UnixFormat", Variant(s_.UnixFormat), zero);
        put("BodyBackColor", color(s_.BodyBackColor), color(0xFFFFFF));
        put("BodyForeColor", color(s_.BodyForeColor), color(0));
        put("BodyFont", s_.BodyFont, ambient);
        put("HeaderBackColor", color(s_.HeaderBackColor), color(0x400000));
        put("HeaderForeColor", color(s_.HeaderForeColor), color(0xFFFFFF));
        put("HeaderFont", s_.HeaderFont, ambient);
        put("Columns", Variant(s_.Columns), one);
        put("IncludeNulls", Variant(s_.IncludeNulls), zero);
        put("DelimAfterRow", Variant(s_.DelimAfterRow), zero);
        put("Compress", Variant(s_.Compress), zero);
        put("Quotes", Variant(s_.Quotes), zero);
        put("IncludeSQL", Variant(s_.IncludeSQL), zero);
        put("Format", Variant(s_.Format), zero);
        put("SQLLoaderMode", Variant(s_.SQLLoaderMode), one);
        put("AutoColumnWidth", Variant(s_.AutoColumnWidth), zero);
        put("OutputFile", text(s_.OutputFile), text(""));
        put("SaveToFile", Variant(s_.SaveToFile), one);
        put("IncludeCellBorder", Variant(s_.IncludeCellBorder), zero);
        put("LaunchFile", Variant(s_.LaunchFile), zero);
        put("DataSource", s_.DataSource, RecordsetPtr());
        put("FontExcelDef", Variant(s_.FontExcelDef), zero);
        put("DiscardMax", text(s_.DiscardMax), text("1000"));
        put("DateTemp", text(s_.DateTemp), text("dd/MM/yyyy"));
        put("Timetemp", text(s_.TimeTemp), text("hh:mm:ss"));
        put("MailHTMLBody", Variant(int32_t{p.ckHtml.value()}), zero);
        put("MailReceipt", Variant(int32_t{p.ckReceipt.value()}), zero);
        put("MailFrom", text(p.txtFrom.text()), text(""));
        put("MailTo", text(p.txtTo.text()), text(""));
        put("MailCc", text(p.txtCc.text()), text(""));
        put("MailBcc", text(p.txtBcc.text()), text(""));
        put("MailSubject", text(p.txtSubject.text()), text(""));
        put("MailMessage", text(p.txtMsg.text()), text(""));
        put("MailServer", text(p.txtServer.text()), text(""));
        put("MailFormat", Variant(s_.MailFormat), zero);
        put("MailFormatEnabled", Variant(s_.MailFormatEnabled), one);
        put("MailPriority", text(p.cboPriority.text()), text("cboPriority"));
        put("MailHTMLBody", Variant(int32_t{p.ckHtml.value()}), zero);
        put("MailReceipt", Variant(int32_t{p.ckReceipt.value()}), zero);
        put("MailTo", text(p.txtTo.text()), text(""));
        put("MailFrom", text(p.txtFrom.text()), text(""));
        put("MailFromEnabled", Variant(p.txtFrom.enabled()), Variant(true));
        put("MailCc", text(p.txtCc.text()), text(""));
        put("MailBcc", text(p.txtBcc.text()), text(""));
        put("MailSubject", text(p.txtSubject.text()), text(""));
        put("MailMessage", text(p.txtMsg.text()), text(""));
        put("MailFooter", text(s_.MailFooter), text(""));
        put("MailFormat", Variant(s_.MailFormat), zero);
        put("MailSMTPServer", text(p.txtServer.text()), text(""));
        put("MailSMTPServerEnabled", Variant(p.txtServer.enabled()), Variant(true));
        put("MailPriority", Variant(s_.MailPriority), Variant(int32_t{3}));
        put("SMTPAuthentication", Variant(s_.SMTPAuthentication), zero);
        put("SMTPAuthEnabled", Variant(p.chkAuthReq.enabled()), Variant(true));
        put("SendThroughMail", Variant(s_.SendThroughMail), zero);
        put("MailAttachment", text(s_.MailAttachment), text(""));
        put("Password", text(p.txtPassword.text()), text(""));
        put("UserName", text(p.txtUserName.text()), text(""));
    });
}

}  // namespace varnelo
