// The export driver: checks a request, picks the field separator, locks the
// panel while one writer runs, and the panel's Save, Send and Abort buttons.
#include "control/export_checks.h"
#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"
#include "writers/export_job.h"
#include "writers/pipeline.h"

namespace varnelo {

using hunterr::guard;

namespace {
constexpr const char* kWaitText = "Processing the data. Please wait .....";
constexpr int kBusyPointer = 11;
constexpr int kArrowPointer = 1;
}  // namespace

// The checks read the panel's boxes, where the user typed, rather than the
// properties that mirror them.
ExportRequest Varnelo::exportRequest() const {
    ExportRequest r;
    r.hasSource = s_.DataSource != nullptr;
    r.format = s_.Format;
    r.fileDestination = s_.SaveToFile == 1;
    r.fileOptionSelected = panel_->optSaveTo(1).value();
    r.outputFile = panel_->txtFileSave.text();
    r.delimiter = panel_->txtDelimChar.text();
    r.table = panel_->txttable.text();
    r.commitInterval = panel_->txtCommitInt.text();
    return r;
}

bool Varnelo::settingPresent(std::optional<MissingSetting> missing) {
    if (!missing) return true;
    const MissingSettingText m = missingSettingText(*missing);
    desktop_.messageBox(m.text, m.title, mb::kExclamation);
    return false;
}

bool Varnelo::FinalIOCheck() {
    return guard("Varnelo.FinalIOCheck",
                 [&] { return settingPresent(runCheck(ExportCheck::FinalIO, exportRequest())); });
}

bool Varnelo::InsertCheck() {
    return guard("Varnelo.InsertCheck",
                 [&] { return settingPresent(runCheck(ExportCheck::Insert, exportRequest())); });
}

bool Varnelo::Save() {
    wrote_ = false;
    guard("Varnelo.Save", [&] {
        if (!s_.DataSource) {
            settingPresent(MissingSetting::DataSource);
            return;
        }
        const std::span<const ExportCheck> checks = checksFor(s_.Format);
        if (checks.empty()) {
            // Returning quietly would look like a save that worked.
            throw Error(err::kInvalidPropertyValue, "Varnelo",
                        "Invalid property value: Format " + std::to_string(s_.Format) +
                            " writes no file (0-4, 6 or 7 do; 5, Excel Instance, writes nothing).");
        }
        for (ExportCheck check : checks) {
            const bool passed = check == ExportCheck::Insert    ? InsertCheck()
                                : check == ExportCheck::FinalIO ? FinalIOCheck()
                                                                : settingPresent(runCheck(check, exportRequest()));
            if (!passed) return;
        }
        if (auto separator = separatorFor(s_.Format, panel_->txtDelimChar.text())) s_.FieldSeparator = *separator;
        switch (s_.Format) {
            case Inserts: runWriter(&Varnelo::InsertIO); return;
            case ExcelFile: runWriter(&Varnelo::ExcelIO); return;
            case HTMLTable: runWriter(&Varnelo::HtmlIO); return;
            case SQLLoader: runWriter(&Varnelo::SQLLdrIO); return;
            default: runWriter(&Varnelo::ascii_IO); return;
        }
    });
    return wrote_;
}

// The tab sheet is locked while a writer runs and unlocked again whether the
// writer succeeds or fails, so a failed export never leaves the panel dead.
void Varnelo::runWriter(void (Varnelo::*writer)()) {
    ui::TabSheet& tabs = panel_->SSTab1;
    lastExport_ = ExportSummary{};
    tabs.setEnabled(false);
    tabs.setMousePointer(kBusyPointer);
    try {
        (this->*writer)();
    } catch (...) {
        tabs.setMousePointer(kArrowPointer);
        tabs.setEnabled(true);
        throw;
    }
    tabs.setMousePointer(kArrowPointer);
    tabs.setEnabled(true);
}

ExportJob Varnelo::makeJob() const {
    ExportJob job;
    job.format = s_.Format;
    job.outputFile = s_.OutputFile;
    job.fieldSeparator = s_.FieldSeparator;
    job.columns = s_.Columns;
    job.lowercaseColumns = s_.LowercaseColumns;
    job.includeNulls = s_.IncludeNulls;
    job.quotes = s_.Quotes;
    job.delimAfterRow = s_.DelimAfterRow;
    job.includeSQL = s_.IncludeSQL;
    job.unixFormat = s_.UnixFormat;
    job.insertTable = s_.InsertTable;
    job.insertSchema = s_.InsertSchema;
    job.commitInterval = s_.CommitInterval;
    job.discardMax = s_.DiscardMax;
    job.strEnclose = s_.StrEnclose;
    job.sqlLoaderMode = s_.SQLLoaderMode;
    job.noWrap = s_.NoWrap;
    job.autoColumnWidth = s_.AutoColumnWidth;
    job.includeCellBorder = s_.IncludeCellBorder;
    job.fontExcelDef = s_.FontExcelDef;
    job.headerBackColor = s_.HeaderBackColor;
    job.headerForeColor = s_.HeaderForeColor;
    job.bodyBackColor = s_.BodyBackColor;
    job.bodyForeColor = s_.BodyForeColor;
    job.headerFont = s_.HeaderFont;
    job.bodyFont = s_.BodyFont;
    job.progress = progress_;
    return job;
}

// Every writer reports here when its file is in place (the sheet's record
// limit returns without it: nothing was written).
void Varnelo::noteExport(const PipelineResult& r) {
    lastExport_ = ExportSummary{r.rows, r.repairedValues};
    wrote_ = true;
}

void Varnelo::ascii_IO() {
    guard("Varnelo.ascii_IO", [&] {
        RecordsetPtr rs = s_.DataSource;  // the writer's own reference for the export
        noteExport(runExport(makeJob(), *rs));
    });
}

void Varnelo::showWait() {
    waitWindowOpen_ = true;
    desktop_.showWait(kWaitText);
}

void Varnelo::closeWait() {
    if (!waitWindowOpen_) return;
    waitWindowOpen_ = false;
    desktop_.closeWait();
}

void Varnelo::cmdSave_Click() {
    Panel& p = *panel_;
    guard(
        "Varnelo.cmdSave_Click",
        [&] {
            p.cmdSave.setVisible(false);
            p.cmdSend.setVisible(false);
            showWait();
            // Only a file this click wrote is opened: a refused request may
            // name a file that is old or not there.
            const bool wrote = Save();
            if (s_.SendThroughMail == 0) {
                p.cmdSave.setVisible(true);
                if (wrote && s_.LaunchFile == 1) OpenFile(s_.OutputFile);
            }
            closeWait();
        },
        [&] {
            (s_.SendThroughMail == 0 ? p.cmdSave : p.cmdSend).setVisible(true);
            closeWait();
        });
}

// Cleans up as the Save button does, so a failed send never leaves the wait
// window open and both buttons hidden.
void Varnelo::cmdSend_Click() {
    Panel& p = *panel_;
    guard(
        "Varnelo.cmdSend_Click",
        [&] {
            p.cmdSave.setVisible(false);
            p.cmdSend.setVisible(false);
            showWait();
            SaveNSend();
            p.cmdSend.setVisible(true);
            closeWait();
        },
        [&] {
            (s_.SendThroughMail == 0 ? p.cmdSave : p.cmdSend).setVisible(true);
            closeWait();
        });
}

void Varnelo::cmdAbort_Click() { AbortProcess(true); }

// Mails only a file this request wrote: a request that Save refused (its
// message shown) sends nothing, rather than an older file or none. The Send
// button ends as it was, so a host's call in file mode does not show it.
void Varnelo::SaveNSend() {
    ui::Widget& send = panel_->cmdSend;
    const bool sendShown = send.visible();
    guard(
        "Varnelo.SaveNSend",
        [&] {
            send.setVisible(false);
            if (CheckMailFields() && Save()) SendMail();
            send.setVisible(sendShown);
        },
        [&] { send.setVisible(sendShown); });
}

void Varnelo::OpenFile(const std::string& strFileName) {
    desktop_.openDocument(strFileName, host_.windowHandle());
}

}  // namespace varnelo
