// The control's SQL writers: INSERT statements and SQL*Loader control files.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"
#include "writers/pipeline.h"

namespace varnelo {

using hunterr::guard;

void Varnelo::InsertIO() {
    guard("Varnelo.InsertIO", [&] {
        RecordsetPtr rs = s_.DataSource;  // the writer's own reference for the export
        noteExport(runExport(makeJob(), *rs));
    });
}

void Varnelo::SQLLdrIO() {
    guard("Varnelo.SQLLdrIO", [&] {
        RecordsetPtr rs = s_.DataSource;
        noteExport(runExport(makeJob(), *rs));
    });
}

}  // namespace varnelo
