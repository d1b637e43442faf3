// The control's settings panel: every widget of the three tabs.
//
// Panel holds the widgets with their design-time captions, tool tips and
// states; the control wires their handlers. Positions are in twips inside
// their container.
#pragma once

#include <functional>

#include "platform/widgets.h"

namespace varnelo {

struct Panel {
    Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // Calls f for every widget (array elements included), for views.
    void forEachWidget(const std::function<void(ui::Widget&)>& f);

    ui::TabSheet SSTab1{"SSTab1"};

    // Tab 0, "&Export Settings".
    ui::Frame fraFormat{"fraFormat"};
    ui::ControlArray<ui::OptionButton> optFormat{"optFormat"};
    ui::OptionGroup formatGroup;

    ui::Frame fraOthers{"fraOthers"};
    ui::ControlArray<ui::CheckBox> chkOption{"chkOption"};
    ui::Label lblSchema{"lblSchema"};
    ui::TextBox txtSchema{"txtSchema"};
    ui::Label lblTable{"lblTable"};
    ui::TextBox txttable{"txttable"};

    ui::Frame fraSQLLDR{"fraSQLLDR"};
    ui::Label lblStrEnclose{"lblStrEnclose"};
    ui::TextBox txtStrEnclose{"txtStrEnclose"};
    ui::Label lblFieldSep{"lblFieldSep"};
    ui::TextBox txtFieldSep{"txtFieldSep"};
    ui::Label lblDiscardMax{"lblDiscardMax"};
    ui::TextBox txtDiscardMax{"txtDiscardMax"};
    ui::ControlArray<ui::OptionButton> optSQLLdr{"optSQLLdr"};
    ui::OptionGroup sqlLdrGroup;

    ui::Frame fraOption1{"fraOption1"};
    ui::Label lblDelimChar{"lblDelimChar"};
    ui::TextBox txtDelimChar{"txtDelimChar"};
    ui::Label lblCommitInt{"lblCommitInt"};
    ui::TextBox txtCommitInt{"txtCommitInt"};

    ui::Frame frmSaveTo{"frmSaveTo"};
    ui::ControlArray<ui::OptionButton> optSaveTo{"optSaveTo"};
    ui::OptionGroup saveToGroup;
    ui::TextBox txtFileSave{"txtFileSave"};
    ui::CommandButton cmdFileSel{"cmdFileSel"};
    ui::ControlArray<ui::CheckBox> chkSaveTo{"chkSaveTo"};

    ui::CommandButton cmdSave{"cmdSave"};
    ui::CommandButton cmdSend{"cmdSend"};
    ui::CommandButton cmdAbort{"cmdAbort"};

    // Tab 1, "&Other Settings": colours and fonts.
    ui::Frame fraColorSetting{"fraColorSetting"};
    ui::CheckBox chkExcelDef{"chkExcelDef"};
    ui::Label Label4{"Label4"};
    ui::Label Label5{"Label5"};
    ui::Line Line1{"Line1"};
    ui::ControlArray<ui::Label> lblHeader{"lblHeader"};
    ui::ControlArray<ui::CommandButton> cmdHeader{"cmdHeader"};
    ui::ControlArray<ui::Label> lblBody{"lblBody"};
    ui::ControlArray<ui::CommandButton> cmdBody{"cmdBody"};
    ui::ControlArray<ui::Label> lblColor0{"lblColor0"};
    ui::Label Label8{"Label8"};  // hidden holder of the header font's name
    ui::Label Label9{"Label9"};  // hidden holder of the body font's name

    // Tab 1: date and time format.
    ui::Frame fraDateTime{"fraDateTime"};
    ui::Frame fraDate{"fraDate"};
    ui::ControlArray<ui::ComboBox> cmbDate{"cmbDate"};
    ui::Label Label6{"Label6"};
    ui::Label Label7{"Label7"};
    ui::Label Label13{"Label13"};
    ui::Label Label14{"Label14"};
    ui::Label Label15{"Label15"};
    ui::Frame fraTime{"fraTime"};
    ui::ControlArray<ui::CheckBox> chkTime{"chkTime"};
    ui::ControlArray<ui::OptionButton> optTime{"optTime"};
    ui::OptionGroup timeGroup;
    ui::Label lblDateFormat{"lblDateFormat"};
    ui::CommandButton cmdOK1{"cmdOK1"};
    ui::CommandButton cmdCancel1{"cmdCancel1"};

    // Tab 2, "&Mail Settings".
    ui::Frame fraOptions{"fraOptions"};
    ui::Label lblServer{"lblServer"};
    ui::TextBox txtServer{"txtServer"};
    ui::CheckBox chkAuthReq{"chkAuthReq"};
    ui::Label Label18{"Label18"};
    ui::Label Label17{"Label17"};
    ui::TextBox txtUserName{"txtUserName"};
    ui::Label Label16{"Label16"};
    ui::TextBox txtPassword{"txtPassword"};
    ui::Label Label20{"Label20"};
    ui::ControlArray<ui::OptionButton> optEncodeType{"optEncodeType"};
    ui::OptionGroup encodeGroup;
    ui::Label Label21{"Label21"};
    ui::ComboBox cboPriority{"cboPriority"};
    ui::CheckBox ckHtml{"ckHtml"};
    ui::CheckBox ckReceipt{"ckReceipt"};

    ui::Frame fmeMail{"fmeMail"};
    ui::Label lblTo{"lblTo"};
    ui::TextBox txtTo{"txtTo"};
    ui::Label lblFrom{"lblFrom"};
    ui::TextBox txtFrom{"txtFrom"};
    ui::Label lblCc{"lblCc"};
    ui::TextBox txtCc{"txtCc"};
    ui::Label lblBcc{"lblBcc"};
    ui::TextBox txtBcc{"txtBcc"};
    ui::Label lblSubject{"lblSubject"};
    ui::TextBox txtSubject{"txtSubject"};
    ui::Label lblMsg{"lblMsg"};
    ui::TextBox txtMsg{"txtMsg"};
    ui::Label lblAttach{"lblAttach"};
    ui::TextBox txtAttach{"txtAttach"};
};

// Shows a font on its column: the hidden holder label takes the font's name
// (keeping its own size and style), the font cell "Name,Size" as caption and
// tool tip.
void showFontOn(ui::Label& holder, ui::Label& cell, const Font& font);

// The file dialog's filter list behind "...".
inline constexpr const char* kFileFilter =
    "All Files (*.*)|*.*|Text Files (*.txt)|*.txt|Data Files (*.dat)|*.dat|SQL Files (*.sql)|*.sql|"
    "Excel Files (*.xls)|*.xls|Html Files (*.html)|*.html|Control Files (*.ctl)|*.ctl";

}  // namespace varnelo
