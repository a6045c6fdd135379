// Option lists of the readers and writers that warn about an entry they cannot bind and go on.
#pragma once

#include "VLK_ArgDef.h"
#include "VLK_KeyValues.h"

namespace vlk::io {

// Binds the entries of list (null: none) to table in order. Each entry the table refuses is
// reported with `refused` (a format with one %s, the entry's key) on VELK_ERR, and the
// entries after it are still bound.
void bind_or_warn(const VLK_KeyValues* list, const VLK_ArgDef* table, const char* refused);

}  // namespace vlk::io
