// The control's Excel workbook writer: ExcelIO opens and saves the workbook,
// ExcelCopyRecords fills its sheet, each under its own tag in the trace.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"
#include "writers/excel_writer.h"
#include "writers/export_job.h"

namespace varnelo {

using hunterr::guard;

namespace {

constexpr const char* kTooManyRecords =
    "Currentversion supports only records upto 65535.\r\nPlease modify your SELECT query accordingly.";

// Fills the sheet; too many records are told to the user here, and the
// caller saves the empty sheet all the same.
void ExcelCopyRecords(Recordset& RST, ExcelWorkbook& WS, Desktop& desktop) {
    guard("Varnelo.ExcelCopyRecords(RST,WS,StartingCell)", [&] {
        if (WS.copyRecords(RST) == ExcelCopyResult::TooManyRecords)
            desktop.messageBox(kTooManyRecords, "Information", mb::kInformation);
    });
}

}  // namespace

void Varnelo::ExcelIO() {
    guard("Varnelo.ExcelIO", [&] {
        RecordsetPtr rs = s_.DataSource;  // the writer's own reference for the export
        const ExportJob job = makeJob();
        ExcelWorkbook workbook(job);
        ExcelCopyRecords(*rs, workbook, desktop_);
        workbook.save();
    });
}

}  // namespace varnelo
