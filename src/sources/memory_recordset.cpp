#include "varnelo/memory_recordset.h"

#include <utility>

#include "sources/source_errors.h"

namespace varnelo {

MemoryRecordset::MemoryRecordset(std::vector<std::string> names, std::vector<int> types,
                                 std::vector<std::vector<Variant>> rows, std::string source)
    : names_(std::move(names)),
      types_(std::move(types)),
      rows_(std::move(rows)),
      source_(std::move(source)) {
    const char* kSource = "MemoryRecordset";
    if (types_.size() != names_.size())
        throw Error(err::kInvalidProcedureCall, kSource,
                    std::to_string(names_.size()) + " column names but " +
                        std::to_string(types_.size()) + " type codes");
    for (size_t r = 0; r < rows_.size(); ++r) {
        if (rows_[r].size() != names_.size())
            throw Error(err::kInvalidProcedureCall, kSource,
                        "row " + std::to_string(r + 1) + " holds " +
                            std::to_string(rows_[r].size()) + " values for " +
                            std::to_string(names_.size()) + " columns");
    }
}

void MemoryRecordset::MoveNext() {
    if (Eof()) throw sources::noCurrentRecord();
    ++pos_;
}

// On an empty recordset there is no row to go to; staying put keeps a writer
// that exported nothing from failing on its final MoveFirst.
void MemoryRecordset::MoveFirst() {
    if (!rows_.empty()) pos_ = 0;
}

void MemoryRecordset::MoveLast() {
    if (!rows_.empty()) pos_ = static_cast<int64_t>(rows_.size()) - 1;
}

void MemoryRecordset::moveTo(int64_t index) {
    if (index < -1 || index > static_cast<int64_t>(rows_.size()))
        throw sources::noCurrentRecord();
    pos_ = index;
}

const std::string& MemoryRecordset::fieldName(int index) const {
    return names_[sources::fieldIndex(index, fieldCount())];
}

int MemoryRecordset::fieldType(int index) const {
    return types_[sources::fieldIndex(index, fieldCount())];
}

const Variant& MemoryRecordset::current(int index) const {
    if (pos_ < 0 || Eof()) throw sources::noCurrentRecord();
    return rows_[static_cast<size_t>(pos_)][sources::fieldIndex(index, fieldCount())];
}

Variant MemoryRecordset::fieldValue(int index) const { return current(index); }

bool MemoryRecordset::appendFieldText(int index, std::string& out) const {
    const Variant& v = current(index);
    if (v.isNull()) return false;
    v.appendText(out);
    return true;
}

bool MemoryRecordset::fieldIsBlank(int index) const { return current(index).isBlank(); }

void MemoryRecordset::readField(int index, FieldValue& out) const { viewVariant(current(index), out); }

}  // namespace varnelo
