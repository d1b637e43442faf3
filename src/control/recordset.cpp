#include "varnelo/recordset.h"

#include "varnelo/error.h"

namespace varnelo {

const std::string& Field::Name() const { return rs_->fieldName(index_); }
int Field::Type() const { return rs_->fieldType(index_); }
Variant Field::Value() const { return rs_->fieldValue(index_); }
bool Field::AppendValueText(std::string& out) const { return rs_->appendFieldText(index_, out); }
bool Field::IsBlank() const { return rs_->fieldIsBlank(index_); }

int FieldCollection::Count() const { return rs_->fieldCount(); }

Field FieldCollection::Item(int index) const {
    if (index < 0 || index >= rs_->fieldCount())
        throw Error::standard(err::kItemNotFound, "ADODB.Fields");
    return Field(*rs_, index);
}

bool Recordset::appendFieldText(int index, std::string& out) const {
    Variant v = fieldValue(index);
    if (v.isNull()) return false;
    v.appendText(out);
    return true;
}

bool Recordset::fieldIsBlank(int index) const { return fieldValue(index).isBlank(); }

}  // namespace varnelo
