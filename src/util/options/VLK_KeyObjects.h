// Property lists: ordered (key, boxed value) entries, the typed properties of nodes, edges and
// drawing objects. Keys may repeat; every add appends and every lookup takes the first entry
// whose key is equal under strcmp. The list owns a copy of every key and every box handed in.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "VLK_KeyValues.h"
#include "VLK_Object.h"
#include "VLK_StrArray.h"
#include "vlk_owned.h"

struct VLK_KeyObjects {
  VLK_StrArray* keys;    // owned copies
  VLK_ObjArray* values;  // owned boxes, parallel to keys; an entry may hold a null box
};

VLK_KeyObjects* VLK_KeyObjects_new();
// Every entry of kv, keys copied and values deep-copied by their type ids; empty for null.
VLK_KeyObjects* VLK_KeyObjects_new_KeyValues(const VLK_KeyValues* kv);
void VLK_KeyObjects_delete(VLK_KeyObjects* list);
void VLK_KeyObjects_delete_v(void* list);
// Deep copy; null for null.
VLK_KeyObjects* VLK_KeyObjects_clone(const VLK_KeyObjects* list);
void VLK_KeyObjects_clear(VLK_KeyObjects* list);

size_t VLK_KeyObjects_size(const VLK_KeyObjects* list);
long VLK_KeyObjects_find(const VLK_KeyObjects* list, const char* key);
VLK_Object* VLK_KeyObjects_get(VLK_KeyObjects* list, const char* key);
const VLK_Object* VLK_KeyObjects_get_const(const VLK_KeyObjects* list, const char* key);
// By entry index, no range check.
char* VLK_KeyObjects_get_key(const VLK_KeyObjects* list, size_t i);
VLK_Object* VLK_KeyObjects_get_value(VLK_KeyObjects* list, size_t i);
const VLK_Object* VLK_KeyObjects_get_const_value(const VLK_KeyObjects* list, size_t i);
int VLK_KeyObjects_get_type(const VLK_KeyObjects* list, size_t i);
// An int value unchanged, a string through atoi, def for any other type or a missing entry.
int VLK_KeyObjects_get_int(const VLK_KeyObjects* list, const char* key, int def);
int VLK_KeyObjects_get_int_at(const VLK_KeyObjects* list, size_t i, int def);

// Appends one entry (whatever keys are present); the box or value handed in is taken over.
void VLK_KeyObjects_add(VLK_KeyObjects* list, const char* key, VLK_Object* box);
void VLK_KeyObjects_add_type(VLK_KeyObjects* list, const char* key, void* value, int id);
void VLK_KeyObjects_add_int(VLK_KeyObjects* list, const char* key, int v);
void VLK_KeyObjects_add_double(VLK_KeyObjects* list, const char* key, double x);
void VLK_KeyObjects_add_string(VLK_KeyObjects* list, const char* key, const char* s);
void VLK_KeyObjects_add_by_string(VLK_KeyObjects* list, const char* key, const char* text, int id);

// Overwrites the value of the first entry with the key (an entry of another type is retyped,
// its old value freed through its type); appends a new entry when there is none.
VLK_KeyObjects* VLK_KeyObjects_set_int(VLK_KeyObjects* list, const char* key, int v);
VLK_KeyObjects* VLK_KeyObjects_set_double(VLK_KeyObjects* list, const char* key, double x);

// Appends clones of every entry of other.
VLK_KeyObjects* VLK_KeyObjects_append_KeyObjects(VLK_KeyObjects* list, const VLK_KeyObjects* other);
void VLK_KeyObjects_append_KeyValues(VLK_KeyObjects* list, const VLK_KeyValues* kv);
// Nothing when i is not below the size.
void VLK_KeyObjects_remove_at(VLK_KeyObjects* list, size_t i);
// key=value entries separated by ", ", no newline.
void VLK_KeyObjects_fprint(const VLK_KeyObjects* list, FILE* fp);
// Dump of keys and type ids to VELK_ERR; aborts at a type id outside the registry.
void VLK_KeyObjects_check_validity(const VLK_KeyObjects* list);

namespace vlk {

using KeyObjectsPtr = std::unique_ptr<VLK_KeyObjects, FreeWith<VLK_KeyObjects_delete>>;

}  // namespace vlk
