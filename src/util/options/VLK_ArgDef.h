// Option binding: a module declares its options as a table of VLK_ArgDef rows (name, binding
// kind, target variable, auxiliary address) and binds a parsed key/value list, or the whole
// command line, to it. Build rows with the vlk::arg_* helpers below: each takes the target
// type its kind writes, so a table cannot pair a kind with the wrong variable.
#pragma once

#include "VLK_DoubleArray.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"
#include "VLK_Type.h"

// Binding kinds beside the type ids 1, 2, 4, 5, 6, 8, 11 and 12 (VLK_Type.h).
enum : int {
  VLK_ARG_KEYVALUES_MERGE = 19,
  VLK_ARG_INT_DEFAULT = 20,
  VLK_ARG_INT_ADD = 21,
  VLK_ARG_STRING_DEFAULT = 22,
  VLK_ARG_STRING_APPEND = 23,
  VLK_ARG_ONOFF = 24,
  VLK_ARG_FLAG_ON = 25,
  VLK_ARG_FLAG_OFF = 26,
  VLK_ARG_INTS_COLON = 27,
  VLK_ARG_INTS_COMMA = 28,
  VLK_ARG_DOUBLES_COLON = 29,
  VLK_ARG_DOUBLES_COMMA = 30,
  VLK_ARG_STRINGS_COLON = 31,
  VLK_ARG_STRINGS_COMMA = 32,
  VLK_ARG_CALL0 = 33,
  VLK_ARG_CALL2 = 34,
  VLK_ARG_CALL3 = 35,
  VLK_ARG_INT_RANGE = 38,
  VLK_ARG_IGNORE = 42,
};

// One option-table row. A table ends with a row whose name is null. The name "_default_"
// receives positional command-line arguments, "_error_" marks a catch-all row.
struct VLK_ArgDef {
  const char* name;  // compared exactly; command-line options include their dashes
  int kind;          // type id or binding kind
  void* target;      // variable to fill, or the callback (kinds 33 to 35)
  void* aux;         // default (20, 22), count (38) or callback argument (35)
};

// Callbacks: the entry's key and value as they are (a bare key gives the value "on", a
// catch-all row gives the key as value).
using VLK_ArgCall0 = void (*)();
using VLK_ArgCall2 = void (*)(const char* key, const char* value);
using VLK_ArgCall3 = void (*)(const char* key, const char* value, void* aux);

// Binds every entry of list in order: -1 when all are bound (also for a null or empty list),
// i when entry i has no row or was rejected, -(i + 2) when entry i is an int option given
// without value. Entries before the failing one stay bound.
int VLK_KeyValues_set_values_kv(const VLK_KeyValues* list, const VLK_ArgDef* table);
// The command line (argv[0] skipped) as a list of string entries; the table only tells
// which options are flags that take no value.
VLK_KeyValues* VLK_KeyValues_parse_args(int argc, const char* const* argv, const VLK_ArgDef* table);
// parse_args, then set_values_kv: 0 on success, else the argv position of the failing word
// (negated for an int option given without value).
int VLK_KeyValues_set_args(int argc, const char* const* argv, const VLK_ArgDef* table);

namespace vlk {

namespace detail {
constexpr VLK_ArgDef arg_row(const char* name, int kind, void* target, void* aux = nullptr) {
  return {name, kind, target, aux};
}
}  // namespace detail

constexpr VLK_ArgDef arg_end() { return {nullptr, 0, nullptr, nullptr}; }

// Type-id kinds.
constexpr VLK_ArgDef arg_int(const char* name, int* target) {
  return detail::arg_row(name, VLK_TYPE_INT, target);
}
constexpr VLK_ArgDef arg_uint(const char* name, unsigned* target) {
  return detail::arg_row(name, VLK_TYPE_UINT, target);
}
constexpr VLK_ArgDef arg_double(const char* name, double* target) {
  return detail::arg_row(name, VLK_TYPE_DOUBLE, target);
}
// The previous string is not freed; the bound one is a heap copy.
constexpr VLK_ArgDef arg_string(const char* name, char** target) {
  return detail::arg_row(name, VLK_TYPE_STRING, target);
}
constexpr VLK_ArgDef arg_char(const char* name, char* target) {
  return detail::arg_row(name, VLK_TYPE_CHAR, target);
}
constexpr VLK_ArgDef arg_array(const char* name, VLK_Array** target) {
  return detail::arg_row(name, VLK_TYPE_ARRAY, target);
}
constexpr VLK_ArgDef arg_str_array(const char* name, VLK_StrArray** target) {
  return detail::arg_row(name, VLK_TYPE_STRARRAY, target);
}
constexpr VLK_ArgDef arg_keyvalues(const char* name, VLK_KeyValues** target) {
  return detail::arg_row(name, VLK_TYPE_KEYVALUES, target);
}

// Binding kinds.
constexpr VLK_ArgDef arg_keyvalues_merge(const char* name, VLK_KeyValues** target) {
  return detail::arg_row(name, VLK_ARG_KEYVALUES_MERGE, target);
}
constexpr VLK_ArgDef arg_int_default(const char* name, int* target, const int* def) {
  return detail::arg_row(name, VLK_ARG_INT_DEFAULT, target, const_cast<int*>(def));
}
constexpr VLK_ArgDef arg_int_add(const char* name, int* target) {
  return detail::arg_row(name, VLK_ARG_INT_ADD, target);
}
// A bare key stores *def itself (not a copy), a value a heap copy.
constexpr VLK_ArgDef arg_string_default(const char* name, char** target, char* const* def) {
  return detail::arg_row(name, VLK_ARG_STRING_DEFAULT, target, const_cast<char**>(def));
}
constexpr VLK_ArgDef arg_string_append(const char* name, VLK_StrArray** target) {
  return detail::arg_row(name, VLK_ARG_STRING_APPEND, target);
}
constexpr VLK_ArgDef arg_onoff(const char* name, int* target) {
  return detail::arg_row(name, VLK_ARG_ONOFF, target);
}
constexpr VLK_ArgDef arg_flag_on(const char* name, int* target) {
  return detail::arg_row(name, VLK_ARG_FLAG_ON, target);
}
constexpr VLK_ArgDef arg_flag_off(const char* name, int* target) {
  return detail::arg_row(name, VLK_ARG_FLAG_OFF, target);
}
constexpr VLK_ArgDef arg_ints_colon(const char* name, VLK_IntArray** target) {
  return detail::arg_row(name, VLK_ARG_INTS_COLON, target);
}
constexpr VLK_ArgDef arg_ints_comma(const char* name, VLK_IntArray** target) {
  return detail::arg_row(name, VLK_ARG_INTS_COMMA, target);
}
constexpr VLK_ArgDef arg_doubles_colon(const char* name, VLK_DoubleArray** target) {
  return detail::arg_row(name, VLK_ARG_DOUBLES_COLON, target);
}
constexpr VLK_ArgDef arg_doubles_comma(const char* name, VLK_DoubleArray** target) {
  return detail::arg_row(name, VLK_ARG_DOUBLES_COMMA, target);
}
constexpr VLK_ArgDef arg_strings_colon(const char* name, VLK_StrArray** target) {
  return detail::arg_row(name, VLK_ARG_STRINGS_COLON, target);
}
constexpr VLK_ArgDef arg_strings_comma(const char* name, VLK_StrArray** target) {
  return detail::arg_row(name, VLK_ARG_STRINGS_COMMA, target);
}
// A new block of the range's values into *target, their number into *count.
constexpr VLK_ArgDef arg_int_range(const char* name, int** target, int* count) {
  return detail::arg_row(name, VLK_ARG_INT_RANGE, target, count);
}
constexpr VLK_ArgDef arg_ignore(const char* name) {
  return detail::arg_row(name, VLK_ARG_IGNORE, nullptr);
}

// Callback rows store a function pointer in the void* target, which no constant expression
// may do, so these three are plain inline functions.
inline VLK_ArgDef arg_call0(const char* name, VLK_ArgCall0 fn) {
  return detail::arg_row(name, VLK_ARG_CALL0, reinterpret_cast<void*>(fn));
}
inline VLK_ArgDef arg_call2(const char* name, VLK_ArgCall2 fn) {
  return detail::arg_row(name, VLK_ARG_CALL2, reinterpret_cast<void*>(fn));
}
inline VLK_ArgDef arg_call3(const char* name, VLK_ArgCall3 fn, void* aux) {
  return detail::arg_row(name, VLK_ARG_CALL3, reinterpret_cast<void*>(fn), aux);
}

// The entry that a result of VLK_KeyValues_set_values_kv other than -1 names.
inline size_t failed_entry(int r) { return static_cast<size_t>(r >= 0 ? r : -r - 2); }

// Binds list to table; the key of the entry it could not bind, or null when all are bound.
const char* rejected_key(const VLK_KeyValues* list, const VLK_ArgDef* table);

}  // namespace vlk
