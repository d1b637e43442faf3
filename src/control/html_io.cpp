// The control's HTML table writer.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"
#include "writers/export_job.h"
#include "writers/pipeline.h"

namespace varnelo {

using hunterr::guard;

void Varnelo::HtmlIO() {
    guard("Varnelo.HtmlIO", [&] {
        RecordsetPtr rs = s_.DataSource;  // the writer's own reference for the export
        noteExport(runExport(makeJob(), *rs));
    });
}

}  // namespace varnelo
