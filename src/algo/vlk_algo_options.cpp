#include "vlk_algo_options.h"

#include <cstdlib>

#include "VLK_Type.h"

namespace vlk::algo {

void remove_all(VLK_KeyValues* list, const char* key) {
  while (VLK_KeyValues_find_key(list, key) >= 0) VLK_KeyValues_remove(list, key);
}

int int_option(const VLK_KeyValues* list, const char* key, int def) {
  const int i = VLK_KeyValues_find_key(list, key);
  if (i < 0) return def;
  const auto at = static_cast<size_t>(i);
  if (VLK_KeyValues_get_type(list, at) == VLK_TYPE_INT)
    return VLK_KeyValues_get_int_index(list, at);
  const auto* text =
      static_cast<const char*>(VLK_KeyValues_get_with_type_index(list, at, VLK_TYPE_STRING));
  return text != nullptr ? static_cast<int>(std::strtol(text, nullptr, 10)) : def;
}

VLK_KeyValues* list_option(const VLK_KeyValues* list, const char* key) {
  if (const auto* nested = static_cast<const VLK_KeyValues*>(
          VLK_KeyValues_get_with_type(list, key, VLK_TYPE_KEYVALUES)))
    return VLK_KeyValues_clone(nested);
  if (const char* text = VLK_KeyValues_get_string(list, key)) return VLK_KeyValues_parse(text);
  return VLK_KeyValues_new();
}

}  // namespace vlk::algo
