#include "VLK_Type.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "VLK_Array.h"
#include "VLK_DoubleArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Object.h"
#include "VLK_StrArray.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

// ---- operations of the built-in types -------------------------------------------------------

namespace {

template <class T>
void* new_block() {
  return std::malloc(sizeof(T));
}

template <class T>
void* clone_block(const void* value) {
  void* copy = std::malloc(sizeof(T));
  if (copy != nullptr) std::memcpy(copy, value, sizeof(T));
  return copy;
}

template <class T>
void* boxed(T v) {
  return vlk::heap_value(v);
}

// -1, 0 or 1; unordered doubles (NaN) compare as equal.
template <class T>
int order(const void* a, const void* b) {
  const T x = *static_cast<const T*>(a);
  const T y = *static_cast<const T*>(b);
  if (x < y) return -1;
  if (x > y) return 1;
  return 0;
}

}  // namespace

void* VLK_Type_int_new() { return new_block<int>(); }
void* VLK_Type_int_clone(const void* value) { return clone_block<int>(value); }
void* VLK_Type_int_new_str(const char* text) { return boxed<int>(std::atoi(text)); }
int VLK_Type_int_cmp(const void* a, const void* b) { return order<int>(a, b); }
void VLK_Type_int_fprint(void* value, FILE* fp) {
  std::fprintf(fp, "%d", *static_cast<const int*>(value));
}

void* VLK_Type_double_new() { return new_block<double>(); }
void* VLK_Type_double_clone(const void* value) { return clone_block<double>(value); }
void* VLK_Type_double_new_str(const char* text) { return boxed<double>(std::atof(text)); }
int VLK_Type_double_cmp(const void* a, const void* b) { return order<double>(a, b); }
void VLK_Type_double_fprint(void* value, FILE* fp) {
  std::fprintf(fp, "%f", *static_cast<const double*>(value));
}

void* VLK_Type_float_new() { return new_block<float>(); }

void* VLK_Type_string_new() { return new_block<char>(); }
void* VLK_Type_string_clone(const void* value) { return strdup(static_cast<const char*>(value)); }
void* VLK_Type_string_new_str(const char* text) { return strdup(text); }
int VLK_Type_string_cmp(const void* a, const void* b) {
  return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}
void VLK_Type_string_fprint(void* value, FILE* fp) {
  std::fprintf(fp, "%s", static_cast<const char*>(value));
}

void VLK_Type_NULL_delete(void*) {}

// ---- the registry ----------------------------------------------------------------------------

namespace {

void free_value(void* value) { std::free(value); }

constexpr VLK_TypeEntry named(const char* name) {
  return {name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}
constexpr VLK_TypeEntry freed(const char* name) {
  return {name, nullptr, free_value, nullptr, nullptr, nullptr, nullptr};
}
constexpr VLK_TypeEntry no_type() { return named(nullptr); }

// The registry's slot shapes differ from these two functions' own signatures.
void* object_create() { return VLK_Object_new(); }
void object_destroy(void* box) { VLK_Object_delete_v(box); }

}  // namespace

constexpr VLK_TypeEntry VLK_Type_db[VLK_TYPE_COUNT] = {
    {"NULL", nullptr, VLK_Type_NULL_delete, nullptr, nullptr, nullptr, nullptr},
    {"int", VLK_Type_int_new, free_value, VLK_Type_int_clone, VLK_Type_int_new_str,
     VLK_Type_int_cmp, VLK_Type_int_fprint},
    freed("uint"),
    freed("float"),
    {"double", VLK_Type_double_new, free_value, VLK_Type_double_clone, VLK_Type_double_new_str,
     VLK_Type_double_cmp, VLK_Type_double_fprint},
    {"string", VLK_Type_string_new, free_value, VLK_Type_string_clone, VLK_Type_string_new_str,
     VLK_Type_string_cmp, VLK_Type_string_fprint},
    freed("char"),
    {"Object", object_create, object_destroy, nullptr, nullptr, nullptr, nullptr},
    {"Array", nullptr, nullptr, nullptr, nullptr, nullptr, VLK_Array_fprint_v},
    named("IntArray"),
    {"DoubleArray", nullptr, VLK_DoubleArray_delete_v, nullptr, nullptr, nullptr,
     VLK_DoubleArray_fprint_v},
    {"StrArray", nullptr, VLK_StrArray_delete_v, nullptr, nullptr, nullptr, VLK_StrArray_fprint_v},
    {"KeyValues", nullptr, VLK_KeyValues_delete_v, nullptr, nullptr, nullptr,
     VLK_KeyValues_print_v},
    named("Node"),
    named("Edge"),
    named("Network"),
    named("DataFrame"),
    named("CSMLObject"),
    named("Data"),
    // 19 to 38: no type
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    no_type(),
    named("Graph"),
    named("AdjGraph"),
    named("CompleteGraph"),
    named("NONE"),
    named("ERROR"),
};

namespace {

const VLK_TypeEntry* entry(int id) {
  return id >= 0 && id < VLK_TYPE_COUNT ? &VLK_Type_db[id] : nullptr;
}

// A named type lacks the operation: the caller's message; otherwise the unknown-id message.
bool has_name(int id) {
  const VLK_TypeEntry* e = entry(id);
  return e != nullptr && e->name != nullptr;
}

}  // namespace

// ---- generic operations ----------------------------------------------------------------------

const char* VLK_Type_name(int id) {
  if (!has_name(id)) vlk::fatal("FATAL ERROR: VLK_Type_name(): Unsupported type ID: %d\n", id);
  return VLK_Type_db[id].name;
}

int VLK_Type_get(const char* word) {
  struct Word {
    const char* text;
    int id;
  };
  static constexpr Word words[] = {
      {"int", VLK_TYPE_INT},
      {"integer", VLK_TYPE_INT},
      {"uint", VLK_TYPE_UINT},
      {"unsigned int", VLK_TYPE_UINT},
      {"unsigned integer", VLK_TYPE_UINT},
      {"double", VLK_TYPE_DOUBLE},
      {"float", VLK_TYPE_FLOAT},
      {"string", VLK_TYPE_STRING},
      {"str", VLK_TYPE_STRING},
      {"doublearray", VLK_TYPE_DOUBLEARRAY},
  };
  if (word == nullptr) return VLK_TYPE_ERROR;
  for (const Word& w : words)
    if (strcasecmp(word, w.text) == 0) return w.id;
  return VLK_TYPE_ERROR;
}

void VLK_Type_delete(void* value, int id) {
  const VLK_TypeEntry* e = entry(id);
  if (e != nullptr && e->destroy != nullptr) return e->destroy(value);
  if (has_name(id))
    vlk::fatal_abort("FATAL ERROR: VLK_Type_delete(): Unsupported type ID given: %s (%d)\n",
                     e->name, id);
  VLK_Type_name(id);
}

void* VLK_Type_clone(const void* value, int id) {
  const VLK_TypeEntry* e = entry(id);
  if (e != nullptr && e->clone != nullptr) return e->clone(value);
  vlk::fatal("FATAL ERROR: VLK_Type_clone(): Unsupported type: %s\n", VLK_Type_name(id));
}

void* VLK_Type_new_str(const char* text, int id) {
  const VLK_TypeEntry* e = entry(id);
  if (e != nullptr && e->new_str != nullptr) return e->new_str(text);
  vlk::fatal("FATAL ERROR: VLK_Type_new_str(): Unsupported type ID: %d\n", id);
}

void VLK_Type_fprint_value(const void* value, int id, FILE* fp) {
  const VLK_TypeEntry* e = entry(id);
  if (e != nullptr && e->fprint != nullptr) {
    // A missing value (a list or box may hold one) has no text: nothing is printed, so a
    // key/value list prints it as key= (a key without value) and a missing list as key={}.
    if (value != nullptr) e->fprint(const_cast<void*>(value), fp);
    return;
  }
  vlk::fatal("FATAL ERROR: VLK_Type_fprint_value(): Unsupported type: %s\n", VLK_Type_name(id));
}

namespace {

int (*comparator(int id))(const void*, const void*) {
  const VLK_TypeEntry* e = entry(id);
  if (e != nullptr && e->cmp != nullptr) return e->cmp;
  const char* name = VLK_Type_name(id);
  vlk::fatal_abort("FATAL ERROR: VLK_Type_compare(): Unsupported type specified: %s (%d)\n", name,
                   id);
}

}  // namespace

int VLK_Type_compare(int id, const void* a, const void* b) { return comparator(id)(a, b); }

int VLK_Type_compare_op(int id, int op, const void* a, const void* b) {
  const auto cmp = comparator(id);
  if (op < VLK_OP_EQ || op > VLK_OP_GE)
    vlk::fatal_abort("FATAL ERROR: VLK_Type_compare_op(): Unsupported operator IDt specified: %d\n",
                     op);
  const int c = cmp(a, b);
  switch (op) {
    case VLK_OP_EQ:
      return c == 0;
    case VLK_OP_LT:
      return c < 0;
    case VLK_OP_LE:
      return c <= 0;
    case VLK_OP_GT:
      return c > 0;
    default:
      return c >= 0;
  }
}

int VLK_Type_get_compare_op(const char* word) {
  struct Word {
    const char* text;
    int op;
  };
  static constexpr Word words[] = {
      {"eq", VLK_OP_EQ}, {"=", VLK_OP_EQ},  {"gt", VLK_OP_GT}, {">", VLK_OP_GT},  {"ge", VLK_OP_GE},
      {">=", VLK_OP_GE}, {"lt", VLK_OP_LT}, {"<", VLK_OP_LT},  {"le", VLK_OP_LE}, {"<=", VLK_OP_LE},
  };
  if (word == nullptr) return VLK_OP_UNKNOWN;
  for (const Word& w : words)
    if (strcasecmp(word, w.text) == 0) return w.op;
  return VLK_OP_UNKNOWN;
}

namespace {

template <class T>
void* store(void* dst, T v) {
  if (dst == nullptr) return boxed<T>(v);
  *static_cast<T*>(dst) = v;
  return dst;
}

}  // namespace

void* VLK_Type_from_str(int id, const char* text, void* dst) {
  // A missing text (put_as_string can pass one on) reads like an empty one.
  if (text == nullptr) text = "";
  switch (id) {
    case VLK_TYPE_INT:
      return store<int>(dst, std::atoi(text));
    case VLK_TYPE_UINT:
      return store<unsigned>(dst, static_cast<unsigned>(std::strtoul(text, nullptr, 10)));
    case VLK_TYPE_FLOAT:
      return store<float>(dst, static_cast<float>(std::atof(text)));
    case VLK_TYPE_DOUBLE:
      return store<double>(dst, std::atof(text));
    case VLK_TYPE_STRING:
      if (dst == nullptr) return strdup(text);
      return std::strcpy(static_cast<char*>(dst), text);
    case VLK_TYPE_DOUBLEARRAY:
      if (dst == nullptr) return VLK_DoubleArray_new_str(text);
      return VLK_DoubleArray_set_str(static_cast<VLK_DoubleArray*>(dst), text);
    default: {
      const char* name = VLK_Type_name(id);
      vlk::fatal_abort("FATAL ERROR: VLK_Type_from_str(): unsupported type id given: %s (%d)\n",
                       name, id);
    }
  }
}

void* VLK_Type_duplicate(const void* value, int id) {
  const bool listed = id == VLK_TYPE_INT || id == VLK_TYPE_DOUBLE || id == VLK_TYPE_STRING ||
                      id == VLK_TYPE_KEYVALUES || id == VLK_TYPE_DOUBLEARRAY;
  if (listed && value == nullptr) return nullptr;  // a list may hold a null value of any type
  switch (id) {
    case VLK_TYPE_INT:
      return boxed<int>(*static_cast<const int*>(value));
    case VLK_TYPE_DOUBLE:
      return boxed<double>(*static_cast<const double*>(value));
    case VLK_TYPE_STRING:
      return strdup(static_cast<const char*>(value));
    case VLK_TYPE_KEYVALUES:
      return VLK_KeyValues_clone(static_cast<const VLK_KeyValues*>(value));
    case VLK_TYPE_DOUBLEARRAY:
      return VLK_DoubleArray_copy(static_cast<const VLK_DoubleArray*>(value));
    default:
      vlk::fatal_abort("FATAL ERROR: VLK_Type_duplicate(): unsupported value type: %d\n", id);
  }
}

char* VLK_Type_to_str(const void*, int) { return nullptr; }
