// The panel's design: captions, tool tips, start states and places.
#include "panel/panel.h"

#include <map>

namespace varnelo {

namespace {

template <class W>
W& place(W& w, const std::string& container, const std::string& caption, int left, int top,
         int width, int height) {
    w.setContainer(container);
    if (!caption.empty()) w.setCaption(caption);
    w.move(left, top, width, height);
    return w;
}

const char* const kTab0 = "SSTab1(0)";
const char* const kTab1 = "SSTab1(1)";
const char* const kTab2 = "SSTab1(2)";

}  // namespace

Panel::Panel() {
    SSTab1.addTab("&Export Settings");
    SSTab1.addTab("&Other Settings");
    SSTab1.addTab("&Mail Settings");
    SSTab1.move(0, 0, 5295, 7050);
    SSTab1.setFont(makeFont("MS Sans Serif", 8.25));
    SSTab1.setBackColor(kButtonFace);

    // ---- Tab 0: format, options, SQL settings, output file.
    place(fraFormat, kTab0, "Format", 120, 420, 5040, 1260);
    static const char* const formats[] = {"ASCII ,Comma delimited", "TAB Delimited", "Other delim char",
                                          "Insert Statements",      "Excel File",    "Excel Instance",
                                          "HTML table",             "SQL loader"};
    for (int i = 0; i < 8; ++i) {
        auto& b = optFormat.add(i);
        place(b, "fraFormat", formats[i], i < 4 ? 120 : 2640, 240 + (i % 4) * 240, 2400, 240);
        b.joinGroup(&formatGroup);
    }
    optFormat(5).setEnabled(false);

    place(fraOthers, kTab0, "Options", 120, 1740, 5040, 3300);
    static const char* const options[] = {"Auto column width", "Double quote char column", "Include column headers",
                                          "include NULL text", "<Feature in V2.0>",        "Include SQL Statement",
                                          "Include cell border", "Lower Case",             "No Word wrap",
                                          "Delim char after row", "Send through Mail"};
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 10}) {
        auto& c = chkOption.add(i);
        int slot = i == 10 ? 8 : i;
        place(c, "fraOthers", options[i], slot < 5 ? 120 : 2640, 240 + (slot % 5) * 240, 2400, 240);
    }
    chkOption(4).setEnabled(false);
    chkOption(4).setToolTip("Zip resulting file");
    place(lblSchema, "fraOthers", "Schema /Owner", 120, 1500, 1200, 240);
    place(txtSchema, "fraOthers", "", 1320, 1470, 1200, 285);
    place(lblTable, "fraOthers", "Table", 2640, 1500, 600, 240);
    place(txttable, "fraOthers", "", 3240, 1470, 1680, 285);

    // Two frames share one place; the format choice shows one of them.
    place(fraSQLLDR, "fraOthers", "SQL Loader", 120, 1860, 4800, 1320);
    place(lblStrEnclose, "fraSQLLDR", "String field enclosed by", 120, 240, 1800, 240);
    place(txtStrEnclose, "fraSQLLDR", "", 1920, 210, 480, 285);
    place(lblFieldSep, "fraSQLLDR", "Field Separator", 2520, 240, 1200, 240);
    place(txtFieldSep, "fraSQLLDR", "", 3720, 210, 480, 285);
    place(lblDiscardMax, "fraSQLLDR", "Discard Max", 120, 600, 1200, 240);
    place(txtDiscardMax, "fraSQLLDR", "", 1320, 570, 1080, 285);
    // One numbering for the modes everywhere: the published enumeration's.
    struct Mode { int index; const char* caption; int left, top; };
    static const Mode modes[] = {{1, "Insert", 120, 960}, {4, "Truncate", 1320, 960},
                                 {2, "Append", 2520, 960}, {3, "Replace", 3720, 960}};
    for (const Mode& m : modes) {
        auto& b = optSQLLdr.add(m.index);
        place(b, "fraSQLLDR", m.caption, m.left, m.top, 1080, 240);
        b.joinGroup(&sqlLdrGroup);
    }

    place(fraOption1, "fraOthers", "Frame1", 120, 1860, 4800, 1320);
    for (int i : {8, 9}) place(chkOption.add(i), "fraOption1", options[i], 120, 240 + (i - 8) * 240, 2400, 240);
    place(lblDelimChar, "fraOption1", "Deliminator", 2520, 240, 1320, 240);
    place(txtDelimChar, "fraOption1", "", 3840, 210, 480, 285);
    place(lblCommitInt, "fraOption1", "Commit Interval", 2520, 600, 1320, 240);
    place(txtCommitInt, "fraOption1", "", 3840, 570, 840, 285);

    place(frmSaveTo, kTab0, "Save To", 120, 5100, 5040, 1380);
    place(optSaveTo.add(1), "frmSaveTo", "File", 120, 240, 720, 240);
    place(txtFileSave, "frmSaveTo", "", 840, 210, 3600, 285);
    txtFileSave.setEnabled(false);
    txtFileSave.locked = true;
    place(cmdFileSel, "frmSaveTo", "...", 4500, 210, 375, 285);
    place(optSaveTo.add(0), "frmSaveTo", "<Feature in V2.0>", 120, 600, 2400, 240);
    optSaveTo(0).setEnabled(false);
    for (int i : {1, 0}) optSaveTo(i).joinGroup(&saveToGroup);
    optSaveTo(1).setDesignValue(true);
    place(chkSaveTo.add(0), "frmSaveTo", "Launch file after save", 120, 960, 2400, 240);
    place(chkSaveTo.add(1), "frmSaveTo", "Unix style save", 2640, 960, 2160, 240);

    place(cmdSave, kTab0, "", 3840, 6540, 600, 420);
    cmdSave.picture = true;
    cmdSave.setToolTip("Save");
    cmdSave.setVisible(false);
    place(cmdSend, kTab0, "", 3840, 6540, 600, 420);
    cmdSend.picture = true;
    cmdSend.setToolTip("Save and Send");
    cmdSend.setVisible(false);
    place(cmdAbort, kTab0, "Abort", 4500, 6540, 660, 420);
    cmdAbort.setToolTip("Abort current processing");
    cmdAbort.setVisible(false);

    // ---- Tab 1: colours, fonts, date format.
    place(fraColorSetting, kTab1, "Colour Setting", 120, 420, 5040, 2100);
    place(chkExcelDef, "fraColorSetting", "Excel Default", 120, 240, 1800, 240);
    auto bold = makeFont("MS Sans Serif", 8.25, true);
    // Each column: row label, preview or swatch, button; the line between.
    place(Label4, "fraColorSetting", "Header", 960, 540, 1050, 240).setFont(bold);
    place(Label5, "fraColorSetting", "Body", 3360, 540, 1050, 240).setFont(bold);
    place(Line1, "fraColorSetting", "", 2430, 540, 15, 1440);
    static const char* const rowLabels[] = {"Font", "Back Color", "Fore Color", "Fore Color", "Back Color", "Font"};
    for (int i = 0; i < 6; ++i) {
        int row = i < 3 ? i : 5 - i;  // 3..5 are the body column's rows, bottom up
        place(lblColor0.add(i), "fraColorSetting", rowLabels[i], i < 3 ? 120 : 2520, 900 + row * 360, 840, 240);
    }
    static const OLE_COLOR headerColors[] = {0, 0x400000, 0xFFFFFF};
    static const OLE_COLOR bodyColors[] = {0, 0xFFFFFF, 0x000000};
    for (int i = 0; i < 3; ++i) {
        auto& h = place(lblHeader.add(i), "fraColorSetting", "", 960, 870 + i * 360, 1050, 285);
        auto& b = place(lblBody.add(i), "fraColorSetting", "", 3360, 870 + i * 360, 1050, 285);
        if (i > 0) {
            h.setBackColor(headerColors[i]);
            b.setBackColor(bodyColors[i]);
        }
        place(cmdHeader.add(i), "fraColorSetting", "", 2040, 870 + i * 360, 285, 285);
        place(cmdBody.add(i), "fraColorSetting", "", 4440, 870 + i * 360, 285, 285);
    }
    place(Label8, kTab1, "", 0, 0, 0, 0).setVisible(false);
    place(Label9, kTab1, "", 0, 0, 0, 0).setVisible(false);

    place(fraDateTime, kTab1, "Date / Time", 120, 2580, 5040, 3000);
    place(fraDate, "fraDateTime", "Date Format", 120, 240, 2640, 2160);
    static const char* const dateLabels[] = {"Order", "Day", "Month", "Year", "Separator"};
    ui::Label* labels[] = {&Label6, &Label7, &Label13, &Label14, &Label15};
    static const std::vector<std::vector<std::string>> entries = {
        {"day month year", "month day year", "year month day"},
        {"d", "dd"},
        {"M", "MM", "MMM", "Month"},
        {"yy", "yyyy"},
        {"/", "-", "."}};
    for (int i = 0; i < 5; ++i) {
        place(*labels[i], "fraDate", dateLabels[i], 120, 300 + i * 360, 900, 240);
        auto& c = place(cmbDate.add(i), "fraDate", "", 1080, 270 + i * 360, 1440, 315);
        c.pickOnly = true;
        for (const auto& e : entries[static_cast<size_t>(i)]) c.addItem(e);
    }
    place(fraTime, "fraDateTime", "Time Format", 2880, 240, 2040, 1320);
    place(chkTime.add(0), "fraTime", "Include Time", 120, 240, 1800, 240);
    place(optTime.add(0), "fraTime", "AM/PM", 120, 600, 1800, 240).joinGroup(&timeGroup);
    place(optTime.add(1), "fraTime", "24 Hour", 120, 960, 1800, 240).joinGroup(&timeGroup);
    place(lblDateFormat, "fraDateTime", "", 120, 2520, 2640, 285);
    place(cmdOK1, "fraDateTime", "OK", 2880, 2520, 900, 360);
    place(cmdCancel1, "fraDateTime", "Cancel", 3900, 2520, 900, 360);

    // ---- Tab 2: mail. The login rows start hidden: authentication is off.
    place(fraOptions, kTab2, "Mail Server && Option Details", 120, 420, 5040, 2595);
    place(lblServer, "fraOptions", "SMTP", 120, 300, 900, 240);
    place(txtServer, "fraOptions", "", 1080, 270, 3840, 285);
    place(chkAuthReq, "fraOptions", "SMTP requires Authentication", 120, 660, 3600, 240);
    place(Label18, "fraOptions", "Login using", 120, 1020, 1200, 240).setVisible(false);
    place(Label17, "fraOptions", "Username:", 1320, 1020, 840, 240).setVisible(false);
    place(txtUserName, "fraOptions", "", 2160, 990, 1080, 285).setVisible(false);
    place(Label16, "fraOptions", "Password", 3300, 1020, 720, 240).setVisible(false);
    place(txtPassword, "fraOptions", "", 4020, 990, 900, 285).setVisible(false);
    txtPassword.passwordChar = '*';
    place(Label20, "fraOptions", "Encode using", 120, 1200, 1200, 240);
    static const char* const encodeTips[] = {"Use MIME encoding for Mail & Attachments.",
                                             "Use UU Encoding for Attachments."};
    for (int i = 0; i < 2; ++i) {
        auto& b = place(optEncodeType.add(i), "fraOptions", i == 0 ? "MIME" : "UUEncode", 1320 + i * 1320, 1200,
                        1200, 240);
        b.setToolTip(encodeTips[i]);
        b.joinGroup(&encodeGroup);
    }
    place(Label21, "fraOptions", "Mail Priority", 120, 1605, 1200, 240);
    place(cboPriority, "fraOptions", "", 1320, 1560, 1560, 315).setToolTip("Sets the Prioirty of the Mail Message");
    place(ckHtml, "fraOptions", "Html", 120, 2160, 1200, 240).setToolTip("Mail Body is HTML / Plain Text");
    place(ckReceipt, "fraOptions", "Receipt", 1440, 2160, 1200, 240).setToolTip("Request a Return Receipt");

    place(fmeMail, kTab2, "Mailing Details", 120, 3120, 5040, 3360);
    ui::Label* mailLabels[] = {&lblTo, &lblFrom, &lblCc, &lblBcc, &lblSubject, &lblMsg};
    ui::TextBox* mailBoxes[] = {&txtTo, &txtFrom, &txtCc, &txtBcc, &txtSubject, &txtMsg};
    static const char* const mailCaptions[] = {"To ", "From ", "Cc ", "Bcc ", "Subject ", "Message "};
    for (int i = 0; i < 6; ++i) {
        place(*mailLabels[i], "fmeMail", mailCaptions[i], 120, 300 + i * 360, 840, 240);
        place(*mailBoxes[i], "fmeMail", "", 960, 270 + i * 360, 3960, i == 5 ? 1080 : 285);
    }
    txtMsg.multiLine = true;
    place(lblAttach, kTab2, "Attachment", 120, 6600, 900, 240).setVisible(false);
    place(txtAttach, kTab2, "", 1080, 6570, 3960, 285).setVisible(false);

    // Tie each widget to the frame or tab it sits in, so a disabled or
    // hidden container disables or hides what it holds.
    std::map<std::string, ui::Widget*> byName;
    forEachWidget([&](ui::Widget& w) { byName[w.fullName()] = &w; });
    forEachWidget([&](ui::Widget& w) {
        const std::string& c = w.container();
        if (c.empty()) return;
        for (int tab = 0; tab < SSTab1.tabCount(); ++tab)
            if (c == "SSTab1(" + std::to_string(tab) + ")") return w.setContainer(c, &SSTab1, tab);
        w.setContainer(c, byName.at(c));
    });
}

void showFontOn(ui::Label& holder, ui::Label& cell, const Font& font) {
    auto named = holder.font() ? std::make_shared<Font>(*holder.font()) : std::make_shared<Font>();
    named->name = font.name;
    holder.setFont(named);
    std::string caption = fontCaption(font);
    cell.setCaption(caption);
    cell.setToolTip(caption);
}

void Panel::forEachWidget(const std::function<void(ui::Widget&)>& f) {
    ui::Widget* singles[] = {
        &SSTab1, &fraFormat, &fraOthers, &lblSchema, &txtSchema, &lblTable, &txttable, &fraSQLLDR,
        &lblStrEnclose, &txtStrEnclose, &lblFieldSep, &txtFieldSep, &lblDiscardMax, &txtDiscardMax,
        &fraOption1, &lblDelimChar, &txtDelimChar, &lblCommitInt, &txtCommitInt, &frmSaveTo, &txtFileSave,
        &cmdFileSel, &cmdSave, &cmdSend, &cmdAbort, &fraColorSetting, &chkExcelDef, &Label4, &Label5, &Line1,
        &Label8, &Label9, &fraDateTime, &fraDate, &Label6, &Label7, &Label13, &Label14, &Label15, &fraTime,
        &lblDateFormat, &cmdOK1, &cmdCancel1, &fraOptions, &lblServer, &txtServer, &chkAuthReq, &Label18,
        &Label17, &txtUserName, &Label16, &txtPassword, &Label20, &Label21, &cboPriority, &ckHtml, &ckReceipt,
        &fmeMail, &lblTo, &txtTo, &lblFrom, &txtFrom, &lblCc, &txtCc, &lblBcc, &txtBcc, &lblSubject,
        &txtSubject, &lblMsg, &txtMsg, &lblAttach, &txtAttach};
    for (ui::Widget* w : singles) f(*w);
    auto each = [&](auto& array) { array.forEach([&](ui::Widget& w) { f(w); }); };
    each(optFormat);
    each(chkOption);
    each(optSQLLdr);
    each(optSaveTo);
    each(chkSaveTo);
    each(lblHeader);
    each(cmdHeader);
    each(lblBody);
    each(cmdBody);
    each(lblColor0);
    each(cmbDate);
    each(chkTime);
    each(optTime);
    each(optEncodeType);
}

}  // namespace varnelo
