#include "varnelo/recordset.h"

#include <charconv>

#include "sources/source_errors.h"

namespace varnelo {

const std::string& Field::Name() const { return rs_->fieldName(index_); }
int Field::Type() const { return rs_->fieldType(index_); }
Variant Field::Value() const { return rs_->fieldValue(index_); }
bool Field::AppendValueText(std::string& out) const { return rs_->appendFieldText(index_, out); }
bool Field::IsBlank() const { return rs_->fieldIsBlank(index_); }

int FieldCollection::Count() const { return rs_->fieldCount(); }

Field FieldCollection::Item(int index) const {
    sources::fieldIndex(index, rs_->fieldCount());
    return Field(*rs_, index);
}

bool Recordset::appendFieldText(int index, std::string& out) const {
    Variant v = fieldValue(index);
    if (v.isNull()) return false;
    v.appendText(out);
    return true;
}

bool Recordset::fieldIsBlank(int index) const { return fieldValue(index).isBlank(); }

void FieldValue::appendText(std::string& out) const {
    switch (kind) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null: return;
        case Variant::Kind::Boolean: out += boolean ? "True" : "False"; return;
        case Variant::Kind::Int32:
        case Variant::Kind::Int64: {
            char buf[24];
            auto r = std::to_chars(buf, buf + sizeof buf, integer);
            out.append(buf, r.ptr);
            return;
        }
        case Variant::Kind::Double: appendDouble(out, number); return;
        case Variant::Kind::Date: date.appendText(out); return;
        case Variant::Kind::String: out += text; return;
        case Variant::Kind::Bytes: appendHex(out, text); return;
    }
}

Variant FieldValue::toVariant() const {
    switch (kind) {
        case Variant::Kind::Empty: return Variant();
        case Variant::Kind::Null: return Variant::null();
        case Variant::Kind::Boolean: return Variant(boolean);
        case Variant::Kind::Int32: return Variant(static_cast<int32_t>(integer));
        case Variant::Kind::Int64: return Variant(integer);
        case Variant::Kind::Double: return Variant(number);
        case Variant::Kind::Date: return Variant(date);
        case Variant::Kind::String: return Variant(text);
        case Variant::Kind::Bytes: return Variant(Bytes{std::string(text)});
    }
    return Variant();
}

// Points a FieldValue at a Variant the caller keeps alive.
void viewVariant(const Variant& v, FieldValue& out) {
    out.kind = v.kind();
    switch (v.kind()) {
        case Variant::Kind::Boolean: out.boolean = v.asBool(); break;
        case Variant::Kind::Int32: out.integer = v.asInt32(); break;
        case Variant::Kind::Int64: out.integer = v.asInt64(); break;
        case Variant::Kind::Double: out.number = v.asDouble(); break;
        case Variant::Kind::Date: out.date = v.asDate(); break;
        case Variant::Kind::String: out.text = v.asString(); break;
        case Variant::Kind::Bytes: out.text = v.asBytes().data; break;
        default: break;
    }
}

void Recordset::readField(int index, FieldValue& out) const {
    Variant v = fieldValue(index);
    if (held_.size() <= static_cast<size_t>(index)) held_.resize(static_cast<size_t>(index) + 1);
    Variant& slot = held_[static_cast<size_t>(index)];
    slot = std::move(v);
    viewVariant(slot, out);
}

Variant RowViewRecordset::fieldValue(int index) const {
    FieldValue v;
    readField(index, v);
    return v.toVariant();
}

bool RowViewRecordset::appendFieldText(int index, std::string& out) const {
    FieldValue v;
    readField(index, v);
    if (v.isNull()) return false;
    v.appendText(out);
    return true;
}

bool RowViewRecordset::fieldIsBlank(int index) const {
    FieldValue v;
    readField(index, v);
    return v.isBlank();
}

}  // namespace varnelo
