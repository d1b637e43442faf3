// Errors every record source raises in the same words.
#pragma once

#include <cstddef>

#include "varnelo/error.h"

namespace varnelo::sources {

// Moving past the end, or reading a value with no current row.
inline Error noCurrentRecord() { return Error::standard(err::kNoCurrentRecord, "ADODB.Recordset"); }

// A field index outside the collection.
inline Error itemNotFound() { return Error::standard(err::kItemNotFound, "ADODB.Fields"); }

// A field index checked against the number of fields, as an element index.
inline std::size_t fieldIndex(int index, int count) {
    if (index < 0 || index >= count) throw itemNotFound();
    return static_cast<std::size_t>(index);
}

}  // namespace varnelo::sources
