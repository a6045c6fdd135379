// The value type registry: a typed value is an untyped pointer plus a type id, and every
// generic operation on it (free, copy, parse, compare, print) goes through VLK_Type_db.
#pragma once

#include <cstdio>

// Type ids: the index of a type's row in VLK_Type_db. Ids 19 to 38 have no type.
enum : int {
  VLK_TYPE_NULL = 0,
  VLK_TYPE_INT = 1,
  VLK_TYPE_UINT = 2,
  VLK_TYPE_FLOAT = 3,
  VLK_TYPE_DOUBLE = 4,
  VLK_TYPE_STRING = 5,
  VLK_TYPE_CHAR = 6,
  VLK_TYPE_OBJECT = 7,
  VLK_TYPE_ARRAY = 8,
  VLK_TYPE_INTARRAY = 9,
  VLK_TYPE_DOUBLEARRAY = 10,
  VLK_TYPE_STRARRAY = 11,
  VLK_TYPE_KEYVALUES = 12,
  VLK_TYPE_NODE = 13,
  VLK_TYPE_EDGE = 14,
  VLK_TYPE_NETWORK = 15,
  VLK_TYPE_DATAFRAME = 16,
  VLK_TYPE_CSMLOBJECT = 17,
  VLK_TYPE_DATA = 18,
  VLK_TYPE_GRAPH = 39,
  VLK_TYPE_ADJGRAPH = 40,
  VLK_TYPE_COMPLETEGRAPH = 41,
  VLK_TYPE_NONE = 42,
  VLK_TYPE_ERROR = 43,
  VLK_TYPE_COUNT = 44,  // number of rows of the registry
};

// Comparison operators of VLK_Type_compare_op (network filters); 5 marks an unknown word.
enum : int {
  VLK_OP_EQ = 0,
  VLK_OP_LT = 1,
  VLK_OP_LE = 2,
  VLK_OP_GT = 3,
  VLK_OP_GE = 4,
  VLK_OP_UNKNOWN = 5,
};

// One row of the registry; a null slot means the type lacks that operation.
struct VLK_TypeEntry {
  const char* name;                          // null for an id without type
  void* (*create)();                         // uninitialised value
  void (*destroy)(void* value);              // frees a value
  void* (*clone)(const void* value);         // copy of a value
  void* (*new_str)(const char* text);        // value parsed from text
  int (*cmp)(const void* a, const void* b);  // negative, 0 or positive
  void (*fprint)(void* value, FILE* fp);     // text form of a value
};

extern const VLK_TypeEntry VLK_Type_db[VLK_TYPE_COUNT];

// Operations of the built-in types.
void* VLK_Type_int_new();
void* VLK_Type_int_clone(const void* value);
void* VLK_Type_int_new_str(const char* text);
int VLK_Type_int_cmp(const void* a, const void* b);
void VLK_Type_int_fprint(void* value, FILE* fp);
void* VLK_Type_double_new();
void* VLK_Type_double_clone(const void* value);
void* VLK_Type_double_new_str(const char* text);
int VLK_Type_double_cmp(const void* a, const void* b);
void VLK_Type_double_fprint(void* value, FILE* fp);
void* VLK_Type_float_new();
void* VLK_Type_string_new();
void* VLK_Type_string_clone(const void* value);
void* VLK_Type_string_new_str(const char* text);
int VLK_Type_string_cmp(const void* a, const void* b);
void VLK_Type_string_fprint(void* value, FILE* fp);
void VLK_Type_NULL_delete(void* value);

// Generic operations by type id. A missing operation ends the process (see the .cpp).
const char* VLK_Type_name(int id);
int VLK_Type_get(const char* word);
void VLK_Type_delete(void* value, int id);
void* VLK_Type_clone(const void* value, int id);
void* VLK_Type_new_str(const char* text, int id);
// A null value prints nothing (for a type that has a print operation).
void VLK_Type_fprint_value(const void* value, int id, FILE* fp);
int VLK_Type_compare(int id, const void* a, const void* b);
int VLK_Type_compare_op(int id, int op, const void* a, const void* b);
int VLK_Type_get_compare_op(const char* word);
// Parses text for ids 1 (int), 2 (uint), 3 (float), 4 (double), 5 (string) and 10 (double
// array); into dst when it is not null (dst returned), else into a new value.
void* VLK_Type_from_str(int id, const char* text, void* dst);
// Deep copy of the value types of key/value lists: 1, 4, 5, 10 and 12.
void* VLK_Type_duplicate(const void* value, int id);
// No text form of values is provided: always null.
char* VLK_Type_to_str(const void* value, int id);
