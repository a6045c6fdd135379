#include "vlk_bind_options.h"

#include <cstdio>

#include "velkcom.h"

namespace vlk::io {

void bind_or_warn(const VLK_KeyValues* list, const VLK_ArgDef* table, const char* refused) {
  const size_t size = list != nullptr ? VLK_KeyValues_size(list) : 0;
  for (size_t start = 0; start < size;) {
    // The entries from `start` on, as a list that borrows the original's storage.
    const size_t rest = size - start;
    VLK_StrArray keys{list->keys->data + start, rest, rest};
    VLK_Array values{list->values->data + start, rest, rest};
    VLK_IntArray types{list->types->data + start, rest, rest};
    const VLK_KeyValues view{&keys, &values, &types};
    const int r = VLK_KeyValues_set_values_kv(&view, table);
    if (r == -1) return;
    const size_t bad = start + vlk::failed_entry(r);
    std::fprintf(VELK_ERR, refused, VLK_KeyValues_get_key(list, bad));
    start = bad + 1;
  }
}

}  // namespace vlk::io
