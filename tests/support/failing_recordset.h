// A MemoryRecordset whose field reads fail on one row, as a source that
// loses its connection part-way through an export would.
#pragma once

#include "varnelo/error.h"
#include "varnelo/memory_recordset.h"

namespace varnelo::testing_support {

class FailingRecordset : public MemoryRecordset {
public:
    // Reading any field of row `failAt` (0-based) throws Error 3021.
    FailingRecordset(std::vector<std::string> names, std::vector<int> types, std::vector<std::vector<Variant>> rows,
                     int64_t failAt)
        : MemoryRecordset(std::move(names), std::move(types), std::move(rows)), failAt_(failAt) {}
    void readField(int index, FieldValue& out) const override {
        if (position() == failAt_) throw Error(err::kNoCurrentRecord, "ADODB.Recordset", "gone");
        MemoryRecordset::readField(index, out);
    }

private:
    int64_t failAt_;
};

}  // namespace varnelo::testing_support
