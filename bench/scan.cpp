// varnelo-bench-scan DB QUERY: the floor under an export's run time.
//
// Walks every row of the query through the record source the exporter reads
// (SqliteRecordset), the way the row loop does: from MoveFirst until Eof, one
// run of the query and no count, every field's text appended to one reused
// buffer, MoveNext. Nothing is formatted or
// written, so the gap between this and varnelo-export is what formatting and
// output cost. The checksum of field sizes proves the work was done and lets
// two runs be compared.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "varnelo/error.h"
#include "varnelo/sqlite_recordset.h"

namespace {

struct ScanResult {
    int64_t rows = 0;
    int fields = 0;
    uint64_t bytes = 0;
    uint64_t nulls = 0;
    uint64_t checksum = 0;
};

ScanResult scan(varnelo::Recordset& rs) {
    ScanResult r;
    r.fields = rs.Fields().Count();
    std::string line;
    line.reserve(4096);
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
        line.clear();
        for (int i = 0; i < r.fields; ++i) {
            const size_t before = line.size();
            if (!rs.Fields().Item(i).AppendValueText(line)) ++r.nulls;
            // Order-sensitive, so a field read from the wrong column shows.
            r.checksum = r.checksum * 1000003u + (line.size() - before);
        }
        r.bytes += line.size();
        ++r.rows;
    }
    rs.MoveFirst();  // as the export ends: must not run the query again
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: varnelo-bench-scan DB QUERY\n");
        return 2;
    }
    try {
        varnelo::SqliteRecordset rs(argv[1], argv[2]);
        const ScanResult r = scan(rs);
        std::printf("rows %" PRId64 " fields %d bytes %" PRIu64 " nulls %" PRIu64
                    " checksum %016" PRIx64 "\n",
                    r.rows, r.fields, r.bytes, r.nulls, r.checksum);
        return 0;
    } catch (const varnelo::Error& e) {
        std::fprintf(stderr, "varnelo-bench-scan: error %d (%s): %s\n", static_cast<int>(e.number()),
                     e.source().c_str(), e.description().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnelo-bench-scan: %s\n", e.what());
    }
    return 1;
}
