// MemoryRecordset: a record source over rows a host already holds in memory.
//
// Built from column names, their type codes (adtype::, see recordset.h) and
// rows of Variant values; the recordset owns a copy of all of it. Tests use it
// to drive writers with exact values and positions.
//
// Cursor rules (those of the classic recordset):
//  - After construction the cursor is on the first row. With no rows both
//    Bof() and Eof() are true.
//  - MoveNext() from the last row leaves the cursor after it: Eof() is true.
//  - MoveNext() while Eof(), and reading a field value with no current row,
//    throw Error 3021 ("Either BOF or EOF is True, ...", source
//    "ADODB.Recordset").
//  - MoveFirst()/MoveLast() go to the first/last row; on an empty recordset
//    they do nothing, so a writer that moves back to the first row after
//    exporting nothing does not fail.
//  - moveTo(index) places the cursor anywhere: -1 before the first row
//    (Bof), 0..count-1 on a row, count after the last row (Eof).
//
// Not thread-safe; one writer uses it at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "varnelo/export_macros.h"
#include "varnelo/recordset.h"
#include "varnelo/variant.h"

namespace varnelo {

class VARNELO_EXPORT MemoryRecordset : public Recordset {
public:
    // names and types must have the same length and every row that many
    // values; otherwise throws Error 5 (invalid procedure call) naming the
    // mismatch.
    MemoryRecordset(std::vector<std::string> names, std::vector<int> types,
                    std::vector<std::vector<Variant>> rows, std::string source = {});

    int64_t RecordCount() override { return static_cast<int64_t>(rows_.size()); }
    void MoveNext() override;
    void MoveFirst() override;
    void MoveLast() override;
    bool Bof() const override { return rows_.empty() || pos_ < 0; }
    bool Eof() const override { return pos_ >= static_cast<int64_t>(rows_.size()); }
    std::string Source() const override { return source_; }

    // Places the cursor: -1 before the first row, rows.size() after the last.
    // Any other index outside 0..rows.size()-1 throws Error 3021.
    void moveTo(int64_t index);
    // The cursor's row index (-1 before the first row, RecordCount() after the last).
    int64_t position() const { return pos_; }

    int fieldCount() const override { return static_cast<int>(names_.size()); }
    const std::string& fieldName(int index) const override;
    int fieldType(int index) const override;
    Variant fieldValue(int index) const override;
    bool appendFieldText(int index, std::string& out) const override;
    bool fieldIsBlank(int index) const override;
    void readField(int index, FieldValue& out) const override;

private:
    const Variant& current(int index) const;

    std::vector<std::string> names_;
    std::vector<int> types_;
    std::vector<std::vector<Variant>> rows_;
    std::string source_;
    int64_t pos_ = 0;
};

}  // namespace varnelo
