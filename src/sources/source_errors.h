// Errors every record source raises in the same words.
#pragma once

#include "varnelo/error.h"

namespace varnelo::sources {

// Moving past the end, or reading a value with no current row.
inline Error noCurrentRecord() { return Error::standard(err::kNoCurrentRecord, "ADODB.Recordset"); }

// A field index outside the collection.
inline Error itemNotFound() { return Error::standard(err::kItemNotFound, "ADODB.Fields"); }

}  // namespace varnelo::sources
