#include "VLK_KeyObjects.h"

#include <cstdlib>
#include <cstring>

#include "VLK_Str.h"
#include "VLK_Type.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

// Appends (copy of key, box); the box is freed when the arrays cannot grow, so that an entry
// handed over is never left half-owned.
void append_entry(VLK_KeyObjects* list, const char* key, VLK_Object* box) {
  char* k = VLK_Str_copy(key);
  if (!vlk::make_room_for_one(list->keys) || !vlk::make_room_for_one(list->values)) {
    std::free(k);
    VLK_Object_delete(box);
    return;
  }
  vlk::append(list->keys, k);
  vlk::append(list->values, box);
}

VLK_Object* clone_box(const VLK_Object* box) {
  return box != nullptr ? VLK_Object_clone(box) : nullptr;
}

void append_KeyValues(VLK_KeyObjects* list, const VLK_KeyValues* kv) {
  if (kv == nullptr) return;
  for (size_t i = 0; i < VLK_KeyValues_size(kv); ++i) {
    const int id = VLK_KeyValues_get_type(kv, i);
    void* value = VLK_Type_duplicate(VLK_KeyValues_get_value(kv, i), id);
    append_entry(list, VLK_KeyValues_get_key(kv, i), VLK_Object_new_value(value, id));
  }
}

// Stores v in the first entry with the key: in place when the box already holds a T, else
// the box is retyped (its old value released through the registry); a new entry otherwise.
template <class T>
VLK_KeyObjects* set_value(VLK_KeyObjects* list, const char* key, T v, int id) {
  const long i = VLK_KeyObjects_find(list, key);
  VLK_Object* box = i >= 0 ? list->values->data[i] : nullptr;
  if (box == nullptr) {
    append_entry(list, key, VLK_Object_new_value(vlk::heap_value(v), id));
  } else if (box->type == id && box->value != nullptr) {
    *static_cast<T*>(box->value) = v;
  } else {
    VLK_Object_set(box, vlk::heap_value(v), id);
  }
  return list;
}

}  // namespace

VLK_KeyObjects* VLK_KeyObjects_new() {
  auto* list = static_cast<VLK_KeyObjects*>(std::malloc(sizeof(VLK_KeyObjects)));
  if (list == nullptr) return nullptr;
  list->keys = VLK_StrArray_new();
  list->values = VLK_ObjArray_new();
  return list;
}

VLK_KeyObjects* VLK_KeyObjects_new_KeyValues(const VLK_KeyValues* kv) {
  VLK_KeyObjects* list = VLK_KeyObjects_new();
  append_KeyValues(list, kv);
  return list;
}

void VLK_KeyObjects_delete(VLK_KeyObjects* list) {
  if (list == nullptr) return;
  VLK_StrArray_delete_all(list->keys);
  VLK_ObjArray_delete_all(list->values);
  std::free(list);
}

void VLK_KeyObjects_delete_v(void* list) {
  VLK_KeyObjects_delete(static_cast<VLK_KeyObjects*>(list));
}

VLK_KeyObjects* VLK_KeyObjects_clone(const VLK_KeyObjects* list) {
  if (list == nullptr) return nullptr;
  VLK_KeyObjects* copy = VLK_KeyObjects_new();
  VLK_KeyObjects_append_KeyObjects(copy, list);
  return copy;
}

void VLK_KeyObjects_clear(VLK_KeyObjects* list) {
  VLK_StrArray_clear_all(list->keys);
  VLK_ObjArray_clear_all(list->values);
}

size_t VLK_KeyObjects_size(const VLK_KeyObjects* list) { return list->keys->size; }

long VLK_KeyObjects_find(const VLK_KeyObjects* list, const char* key) {
  if (key == nullptr) return -1;
  return vlk::find_if(list->keys, [key](const char* k) { return k && std::strcmp(k, key) == 0; });
}

VLK_Object* VLK_KeyObjects_get(VLK_KeyObjects* list, const char* key) {
  const long i = VLK_KeyObjects_find(list, key);
  return i >= 0 ? list->values->data[i] : nullptr;
}

const VLK_Object* VLK_KeyObjects_get_const(const VLK_KeyObjects* list, const char* key) {
  const long i = VLK_KeyObjects_find(list, key);
  return i >= 0 ? list->values->data[i] : nullptr;
}

char* VLK_KeyObjects_get_key(const VLK_KeyObjects* list, size_t i) { return list->keys->data[i]; }

VLK_Object* VLK_KeyObjects_get_value(VLK_KeyObjects* list, size_t i) {
  return list->values->data[i];
}

const VLK_Object* VLK_KeyObjects_get_const_value(const VLK_KeyObjects* list, size_t i) {
  return list->values->data[i];
}

int VLK_KeyObjects_get_type(const VLK_KeyObjects* list, size_t i) {
  const VLK_Object* box = list->values->data[i];
  return box != nullptr ? box->type : VLK_TYPE_NULL;
}

int VLK_KeyObjects_get_int(const VLK_KeyObjects* list, const char* key, int def) {
  return VLK_Object_int_value(VLK_KeyObjects_get_const(list, key), def);
}

int VLK_KeyObjects_get_int_at(const VLK_KeyObjects* list, size_t i, int def) {
  return VLK_Object_int_value(list->values->data[i], def);
}

void VLK_KeyObjects_add(VLK_KeyObjects* list, const char* key, VLK_Object* box) {
  append_entry(list, key, box);
}

void VLK_KeyObjects_add_type(VLK_KeyObjects* list, const char* key, void* value, int id) {
  append_entry(list, key, VLK_Object_new_value(value, id));
}

void VLK_KeyObjects_add_int(VLK_KeyObjects* list, const char* key, int v) {
  append_entry(list, key, VLK_Object_new_int(v));
}

void VLK_KeyObjects_add_double(VLK_KeyObjects* list, const char* key, double x) {
  append_entry(list, key, VLK_Object_new_double(x));
}

void VLK_KeyObjects_add_string(VLK_KeyObjects* list, const char* key, const char* s) {
  append_entry(list, key, VLK_Object_new_string(s));
}

void VLK_KeyObjects_add_by_string(VLK_KeyObjects* list, const char* key, const char* text, int id) {
  append_entry(list, key, VLK_Object_new_value(VLK_Type_new_str(text, id), id));
}

VLK_KeyObjects* VLK_KeyObjects_set_int(VLK_KeyObjects* list, const char* key, int v) {
  return set_value<int>(list, key, v, VLK_TYPE_INT);
}

VLK_KeyObjects* VLK_KeyObjects_set_double(VLK_KeyObjects* list, const char* key, double x) {
  return set_value<double>(list, key, x, VLK_TYPE_DOUBLE);
}

VLK_KeyObjects* VLK_KeyObjects_append_KeyObjects(VLK_KeyObjects* list,
                                                 const VLK_KeyObjects* other) {
  // Fixed count: appending a list to itself copies each entry once.
  const size_t n = other->keys->size;
  for (size_t i = 0; i < n; ++i)
    append_entry(list, other->keys->data[i], clone_box(other->values->data[i]));
  return list;
}

void VLK_KeyObjects_append_KeyValues(VLK_KeyObjects* list, const VLK_KeyValues* kv) {
  append_KeyValues(list, kv);
}

void VLK_KeyObjects_remove_at(VLK_KeyObjects* list, size_t i) {
  if (i >= list->keys->size) return;
  std::free(vlk::remove_at(list->keys, i));
  VLK_Object_delete(vlk::remove_at(list->values, i));
}

void VLK_KeyObjects_fprint(const VLK_KeyObjects* list, FILE* fp) {
  for (size_t i = 0; i < list->keys->size; ++i) {
    if (i > 0) std::fprintf(fp, ", ");
    std::fprintf(fp, "%s=", list->keys->data[i]);
    if (const VLK_Object* box = list->values->data[i]) VLK_Object_fprint(box, fp);
  }
}

void VLK_KeyObjects_check_validity(const VLK_KeyObjects* list) {
  for (size_t i = 0; i < list->keys->size; ++i) {
    const int n = static_cast<int>(i);
    std::fprintf(VELK_ERR, "[%d] key=%s\n", n, list->keys->data[i]);
    const int id = VLK_KeyObjects_get_type(list, i);
    if (id < 0 || id >= VLK_TYPE_COUNT)
      vlk::fatal_abort("FATAL ERROR: VLK_KeyObjects_check_validity(): Check Failed.\n");
    std::fprintf(VELK_ERR, "[%d] type=%d\n", n, id);
  }
}
