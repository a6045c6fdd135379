// Key/value lists: the one container of named, typed settings, and their text form
// key=value,key2={nested list},flag. Entry i is (keys[i], types[i], values[i]) in insertion
// order; keys may repeat and every lookup takes the first match.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_Array.h"
#include "VLK_DoubleArray.h"
#include "VLK_IntArray.h"
#include "VLK_StrArray.h"

struct VLK_KeyValues {
  VLK_StrArray* keys;   // heap copies owned by the list
  VLK_Array* values;    // owned by the list, released by their type ids
  VLK_IntArray* types;  // one type id per value
};

// Shared static values, compared by address, never freed and read-only (a write through one
// faults). A key given without value holds VLK_KeyValues_DEFAULT_VALUE ("on"), which tells it
// apart from an explicit on.
extern char* const VLK_KeyValues_DEFAULT_VALUE;     // "on"
extern char* const VLK_KeyValues_DEFAULT_KEY;       // "_default_": positional arguments
extern char* const VLK_KeyValues_ERROR_KEY;         // "_error_": catch-all option row
extern int* const VLK_KeyValues_DEFAULT_VALUE_ON;   // 1
extern int* const VLK_KeyValues_DEFAULT_VALUE_OFF;  // 0

VLK_KeyValues* VLK_KeyValues_new();
// A new list from an argument string; an empty list for null. Braces must balance inside
// every list and nest at most 64 deep: otherwise one "ERROR: " line goes to VELK_ERR and the
// result is null (as it is when memory runs out). What is accepted prints to a text that
// parses to the same list.
VLK_KeyValues* VLK_KeyValues_parse(const char* text);
// The same over the first n characters (at most the string's length).
VLK_KeyValues* VLK_KeyValues_parse_sl(const char* text, size_t n);
// Deep copy; null for null.
VLK_KeyValues* VLK_KeyValues_clone(const VLK_KeyValues* list);
void VLK_KeyValues_delete(VLK_KeyValues* list);
void VLK_KeyValues_delete_v(void* list);
// Releases every value and key and empties the list.
void VLK_KeyValues_clear(VLK_KeyValues* list);
// Releases one value by its type id (sentinels are kept); returns 0.
int VLK_KeyValues_release_at(void* value, int id);
size_t VLK_KeyValues_size(const VLK_KeyValues* list);

// Access by index; i must be below the size (checked in Debug and sanitizer builds).
char* VLK_KeyValues_get_key(const VLK_KeyValues* list, size_t i);
int VLK_KeyValues_get_type(const VLK_KeyValues* list, size_t i);
void* VLK_KeyValues_get_value(const VLK_KeyValues* list, size_t i);
int VLK_KeyValues_get_int_index(const VLK_KeyValues* list, size_t i);
void* VLK_KeyValues_get_with_type_index(const VLK_KeyValues* list, size_t i, int id);
// Replaces type and value of entry i; the old value is not released.
void VLK_KeyValues_set_at(VLK_KeyValues* list, size_t i, int id, void* value);

// Lookup by key, first match.
int VLK_KeyValues_find_key(const VLK_KeyValues* list, const char* key);
void* VLK_KeyValues_get(const VLK_KeyValues* list, const char* key);
void* VLK_KeyValues_get_case(const VLK_KeyValues* list, const char* key);
void* VLK_KeyValues_get_with_type(const VLK_KeyValues* list, const char* key, int id);
// Only values stored as ints (doubles) count; parsed text is never converted.
int VLK_KeyValues_get_int(const VLK_KeyValues* list, const char* key, int def);
int VLK_KeyValues_get_int_def(const VLK_KeyValues* list, const char* key, int def);
double VLK_KeyValues_get_double(const VLK_KeyValues* list, const char* key, double def);
char* VLK_KeyValues_get_string(const VLK_KeyValues* list, const char* key);

// Editing. Values handed over belong to the list from then on; the appends return the list,
// or null (nothing stored, the value still the caller's) when memory runs out.
VLK_KeyValues* VLK_KeyValues_add(VLK_KeyValues* list, const char* key, int id, void* value);
VLK_KeyValues* VLK_KeyValues_put_int(VLK_KeyValues* list, const char* key, int v);
VLK_KeyValues* VLK_KeyValues_put_double(VLK_KeyValues* list, const char* key, double x);
VLK_KeyValues* VLK_KeyValues_add_string(VLK_KeyValues* list, const char* key, const char* s);
VLK_KeyValues* VLK_KeyValues_put_DoubleArray(VLK_KeyValues* list, const char* key,
                                             VLK_DoubleArray* array);
VLK_KeyValues* VLK_KeyValues_put_as_string(VLK_KeyValues* list, const char* key, int id,
                                           const char* text);
void VLK_KeyValues_set_int(VLK_KeyValues* list, const char* key, int v);
void VLK_KeyValues_set_double(VLK_KeyValues* list, const char* key, double x);
void VLK_KeyValues_inc_int(VLK_KeyValues* list, const char* key);
// Upsert: the first entry with the key gets its old value released, then id and value.
void VLK_KeyValues_write(VLK_KeyValues* list, const char* key, int id, void* value);
void VLK_KeyValues_remove(VLK_KeyValues* list, const char* key);
// Appends deep copies of all src entries (keys may repeat).
void VLK_KeyValues_add_KeyValues(VLK_KeyValues* dst, const VLK_KeyValues* src);
// Writes deep copies of all src entries: existing keys take the new value.
void VLK_KeyValues_add_KeyValues_nr(VLK_KeyValues* dst, const VLK_KeyValues* src);

// The text form: key=value joined by ',', nested lists in braces; no newline. A missing value
// prints nothing after '=' (a missing list prints {}).
void VLK_KeyValues_print(const VLK_KeyValues* list, FILE* fp);
void VLK_KeyValues_print_v(void* list, FILE* fp);
