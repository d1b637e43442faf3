// Mail dispatch: the mail settings checked, handed to the mail component and
// sent, and the component's events.
#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

// A new mail component at each show, bound to the handlers below; the one
// before goes with it.
void Varnelo::newMailer() {
    poSendMail_.reset();
    poSendMail_ = mailerFactory_ ? mailerFactory_() : makeSmtpMailer();
    if (!poSendMail_)
        throw Error(err::kObjectNotSet, "Varnelo", standardErrorText(err::kObjectNotSet) + " (the host's mailer factory gave none)");
    poSendMail_->setEvents({
        .progress = [this](int32_t pct) { poSendMail_Progress(pct); },
        .sendFailed = [this](const std::string& why) { poSendMail_SendFailed(why); },
        .sendSuccesful = [this] { poSendMail_SendSuccesful(); },
        .status = [this](const std::string& line) { poSendMail_Status(line); },
    });
}

// The first missing setting is named; blanks count as filled in.
bool Varnelo::CheckMailFields() {
    return guard("Varnelo.CheckMailFields", [&] {
        Panel& p = *panel_;
        const char* missing = nullptr;
        if (p.txtServer.text().empty())
            missing = "Please enter SMTP Server detail to proceed.";
        else if (!p.optEncodeType(0).value() && !p.optEncodeType(1).value())
            missing = "Please select mail encode format detail to proceed.";
        else if (p.cboPriority.text().empty())
            missing = "Please select mail priority to proceed.";
        else if (p.txtFrom.text().empty())
            missing = "Please enter 'From' mail id to proceed.";
        else if (p.txtTo.text().empty())
            missing = "Please 'To' mail id to proceed.";
        else if (p.txtSubject.text().empty())
            missing = "Please enter Subject to proceed.";
        if (!missing) return true;
        desktop_.messageBox(missing, "Missing details", mb::kExclamation);
        return false;
    });
}

// Every value is read now, from the panel and the stored attachment; the
// mailer checks and refuses what it cannot send before it connects.
void Varnelo::SendMail() {
    guard("Varnelo.SendMail", [&] {
        if (!poSendMail_)
            throw Error(err::kObjectNotSet, "Varnelo",
                        standardErrorText(err::kObjectNotSet) + " (no mail component: the control was never shown)");
        Mailer& mail = *poSendMail_;
        Panel& p = *panel_;
        mail.setAddressSeparator(";");
        mail.setSmtpHost(p.txtServer.text());
        mail.setFrom(p.txtFrom.text());
        mail.setRecipient(p.txtTo.text());
        mail.setCcRecipient(p.txtCc.text());
        mail.setBccRecipient(p.txtBcc.text());
        mail.setFromDisplayName(p.txtFrom.text());
        mail.setSubject(p.txtSubject.text());
        mail.setMessage(p.txtMsg.text());
        const std::string& attach = s_.MailAttachment;
        const size_t first = attach.find_first_not_of(' ');
        mail.setAttachment(first == std::string::npos ? "" : attach.substr(first, attach.find_last_not_of(' ') - first + 1));
        mail.setAsHtml(p.ckHtml.value() == 1);
        mail.setEncoding(s_.encodingCode);
        mail.setPriority(s_.priorityCode);
        mail.setReceipt(p.ckReceipt.value() == 1);
        mail.setUseAuthentication(p.chkAuthReq.value() == 1);
        mail.setUserName(p.txtUserName.text());
        mail.setPassword(p.txtPassword.text());
        mail.send();
        p.txtServer.setText(mail.smtpHost());
    });
}

// The control reports neither progress nor outcome through these: a failed
// send reaches the caller as the error send() raises.
void Varnelo::poSendMail_Progress(int32_t) {
    guard("Varnelo.poSendMail_Progress(lPercentCompete)", [] {});
}
void Varnelo::poSendMail_SendFailed(const std::string&) {
    guard("Varnelo.poSendMail_SendFailed(Explanation)", [] {});
}
void Varnelo::poSendMail_SendSuccesful() {
    guard("Varnelo.poSendMail_SendSuccesful", [] {});
}
void Varnelo::poSendMail_Status(const std::string&) {
    guard("Varnelo.poSendMail_Status(Status)", [] {});
}

}  // namespace varnelo
