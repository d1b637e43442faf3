// The control's Excel workbook writer: ExcelIO opens and saves the workbook,
// ExcelCopyRecords fills its sheet, each under its own tag in the trace.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"
#include "writers/export_job.h"
#include "writers/pipeline.h"

namespace varnelo {

using hunterr::guard;

namespace {

constexpr const char* kTooManyRecords =
    "Currentversion supports only records upto 65535.\r\nPlease modify your SELECT query accordingly.";

}  // namespace

void Varnelo::ExcelIO() {
    guard("Varnelo.ExcelIO", [&] {
        RecordsetPtr rs = s_.DataSource;  // the writer's own reference for the export
        const ExportJob job = makeJob();
        std::unique_ptr<RowWriter> sheet = makeWriter(job);
        ExportRun run(job, *rs, *sheet);
        bool copied = false;
        guard("Varnelo.ExcelCopyRecords(RST,WS,StartingCell)", [&] { copied = run.copyRows(); });
        if (!copied) {
            // Nothing is written after a message: the previous file stays.
            desktop_.messageBox(kTooManyRecords, "Information", mb::kInformation);
            return;
        }
        noteExport(run.finish());
    });
}

}  // namespace varnelo
