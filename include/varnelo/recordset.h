// Recordset: the rows a host hands the control as its DataSource.
//
// The control only walks rows and reads field names, type codes and values,
// through exactly these operations: RecordCount, Fields (Count, Item),
// Field (Name, Type, Value), MoveNext, MoveFirst, MoveLast, Bof, Eof and
// Source. `Eof`/`Bof` stand for the classic EOF/BOF, which collide with the
// C library's EOF macro.
//
// Contract for implementations:
//  - Sources stream: writers walk from MoveFirst() until Eof(), so a query
//    runs once per export. RecordCount() is asked only when something needs
//    the total; a source answers it from the same snapshot as its rows.
//  - MoveFirst() may position lazily (a query that runs again runs only when
//    a row is read); Eof() and Bof() then fetch what they need to answer.
//  - RecordCount() is the exact number of rows (0 or -1: nothing to export).
//  - Reading a field while there is no current row (after the last row,
//    before the first) and moving past the end throw Error 3021.
//  - Type codes follow the classic data-access codes: 3 integer, 5 double,
//    7 date, 11 boolean, 12 variant, 20 bigint, 129 char, 131 numeric,
//    135 timestamp, 200 varchar, 202 wide varchar, 205 binary.
//  - Writers keep one shared_ptr for the length of an export and run on the
//    caller's thread; a recordset need not be thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "varnelo/export_macros.h"
#include "varnelo/variant.h"

namespace varnelo {

namespace adtype {
constexpr int kInteger = 3;
constexpr int kDouble = 5;
constexpr int kDate = 7;
constexpr int kBoolean = 11;
constexpr int kVariant = 12;
constexpr int kBigInt = 20;
constexpr int kChar = 129;
constexpr int kNumeric = 131;
constexpr int kDBTimeStamp = 135;
constexpr int kVarChar = 200;
constexpr int kVarWChar = 202;
constexpr int kLongVarBinary = 205;
}  // namespace adtype

class Recordset;

// A view of one field's value in the current row, read without building a
// Variant: text and bytes point into the source's own row and stay valid only
// until the cursor moves or the next readField() of the same column.
// Int32 and Int64 both carry their value in `integer`.
struct VARNELO_EXPORT FieldValue {
    Variant::Kind kind = Variant::Kind::Null;
    bool boolean = false;
    int64_t integer = 0;
    double number = 0;
    DateTime date;
    std::string_view text;  // String: UTF-8 text; Bytes: the raw bytes

    bool isNull() const { return kind == Variant::Kind::Null || kind == Variant::Kind::Empty; }
    // Null, Empty or the empty string: "no value" to the text writers.
    bool isBlank() const { return isNull() || (kind == Variant::Kind::String && text.empty()); }
    bool isInteger() const { return kind == Variant::Kind::Int32 || kind == Variant::Kind::Int64; }
    // The plain text of the value (Variant::toText's rules); Null appends nothing.
    void appendText(std::string& out) const;
    // A Variant that owns a copy of the value.
    Variant toVariant() const;
};

// Points `out` at `v`, which must outlive the view (for sources that hold
// Variants themselves).
VARNELO_EXPORT void viewVariant(const Variant& v, FieldValue& out);

// One column of the current row. A light handle: cheap to copy, valid while
// its recordset lives.
class VARNELO_EXPORT Field {
public:
    Field(const Recordset& rs, int index) : rs_(&rs), index_(index) {}
    const std::string& Name() const;
    int Type() const;
    Variant Value() const;
    // Appends the value's text (Variant::toText) without a temporary Variant
    // where the recordset can; Null appends nothing. Returns false for Null.
    bool AppendValueText(std::string& out) const;
    // True when the value is Null, Empty or the empty string.
    bool IsBlank() const;

private:
    const Recordset* rs_;
    int index_;
};

// The field collection of the current row.
class VARNELO_EXPORT FieldCollection {
public:
    explicit FieldCollection(const Recordset& rs) : rs_(&rs) {}
    int Count() const;
    // 0-based; an index outside 0..Count()-1 throws Error 3265.
    Field Item(int index) const;
    Field operator[](int index) const { return Item(index); }

private:
    const Recordset* rs_;
};

class VARNELO_EXPORT Recordset {
public:
    virtual ~Recordset() = default;

    virtual int64_t RecordCount() = 0;
    FieldCollection Fields() const { return FieldCollection(*this); }
    virtual void MoveNext() = 0;
    virtual void MoveFirst() = 0;
    virtual void MoveLast() = 0;
    virtual bool Bof() const = 0;
    virtual bool Eof() const = 0;
    virtual std::string Source() const = 0;

    // The per-column operations behind FieldCollection and Field.
    virtual int fieldCount() const = 0;
    virtual const std::string& fieldName(int index) const = 0;
    virtual int fieldType(int index) const = 0;
    virtual Variant fieldValue(int index) const = 0;
    // Default: through fieldValue(). Sources override it to skip the Variant.
    virtual bool appendFieldText(int index, std::string& out) const;
    virtual bool fieldIsBlank(int index) const;
    // The value of a field as a view. Default: through fieldValue(), held
    // until the next call for that column. Sources override it to read their
    // own row without copies; this is the writers' hot path.
    virtual void readField(int index, FieldValue& out) const;

    // The files this source reads (a database file), so that an export never
    // writes over its own input. Default: none.
    virtual std::vector<std::string> filesRead() const { return {}; }

private:
    mutable std::vector<Variant> held_;  // backs readField()'s default
};

// A source that reads its own current row as views: readField() is its one
// reader, and the Variant, text and blank accessors go through it.
class VARNELO_EXPORT RowViewRecordset : public Recordset {
public:
    void readField(int index, FieldValue& out) const override = 0;
    Variant fieldValue(int index) const override;
    bool appendFieldText(int index, std::string& out) const override;
    bool fieldIsBlank(int index) const override;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

}  // namespace varnelo
