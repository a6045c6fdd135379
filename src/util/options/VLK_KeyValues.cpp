#include "VLK_KeyValues.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "VLK_Type.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

// Every list that holds one of these shares it: the storage is read-only, so that no write
// through a looked-up value can change it for all of them (the setters give such an entry a
// value of its own instead).
const char on_text[] = "on";
const char default_key_text[] = "_default_";
const char error_key_text[] = "_error_";
const int on_int = 1;
const int off_int = 0;

}  // namespace

// The pointers have the types of the lists' values, which are not const; they are told apart
// by address.
char* const VLK_KeyValues_DEFAULT_VALUE = const_cast<char*>(on_text);
char* const VLK_KeyValues_DEFAULT_KEY = const_cast<char*>(default_key_text);
char* const VLK_KeyValues_ERROR_KEY = const_cast<char*>(error_key_text);
int* const VLK_KeyValues_DEFAULT_VALUE_ON = const_cast<int*>(&on_int);
int* const VLK_KeyValues_DEFAULT_VALUE_OFF = const_cast<int*>(&off_int);

namespace {

bool is_static_string(const void* s) {
  return s == VLK_KeyValues_DEFAULT_VALUE || s == VLK_KeyValues_DEFAULT_KEY ||
         s == VLK_KeyValues_ERROR_KEY;
}

bool is_static_int(const void* v) {
  return v == VLK_KeyValues_DEFAULT_VALUE_ON || v == VLK_KeyValues_DEFAULT_VALUE_OFF;
}

void release_key(char* key) {
  if (!is_static_string(key)) std::free(key);
}

// Appends an entry whose key the list takes over; on failure nothing is stored.
VLK_KeyValues* append_owned(VLK_KeyValues* list, char* key, int id, void* value) {
  if (!vlk::make_room_for_one(list->keys) || !vlk::make_room_for_one(list->values) ||
      !vlk::make_room_for_one(list->types))
    return nullptr;
  vlk::append(list->keys, key);
  vlk::append(list->values, value);
  vlk::append(list->types, id);
  return list;
}

char* copy_key(const char* key) { return key ? strdup(key) : nullptr; }

// The copy a list keeps of another list's value: the shared sentinels stay shared, so a key
// given without value still reads as such after cloning.
void* copy_value(void* value, int id) {
  if (id == VLK_TYPE_STRING && is_static_string(value)) return value;
  if (id == VLK_TYPE_INT && is_static_int(value)) return value;
  return VLK_Type_duplicate(value, id);
}

long find_first(const VLK_KeyValues* list, const char* key) {
  if (list == nullptr || key == nullptr) return -1;
  return vlk::find_if(list->keys, [key](const char* k) { return k && std::strcmp(k, key) == 0; });
}

// ---- text form ---------------------------------------------------------------------------

// Real option strings nest a few levels; one stack frame per level must stay far from the
// stack's end whatever the text.
constexpr size_t kMaxBraceDepth = 64;

// Parses a whole argument string. Braces must balance inside every list, so that the printed
// form of what is accepted reads back as the same list; a text that breaks this is refused
// with one "ERROR: " line and the parse returns null.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  VLK_KeyValues* run() { return parse_list(0, text_.size(), 0); }

 private:
  // The list written in text_[begin, end), nested `level` braces deep; null on failure.
  VLK_KeyValues* parse_list(size_t begin, size_t end, size_t level) {
    vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> list(VLK_KeyValues_new());
    if (!list) return nullptr;
    size_t depth = 0;
    size_t outer_open = 0;  // the '{' that opened depth 1
    size_t item = begin;
    size_t eq = std::string_view::npos;
    for (size_t i = begin; i < end; ++i) {
      switch (text_[i]) {
        case '{':
          if (depth == 0) outer_open = i;
          if (level + ++depth > kMaxBraceDepth) return refuse_depth(i);
          break;
        case '}':
          if (depth == 0) return refuse("unmatched '}'", i);
          --depth;
          break;
        case '=':
          if (depth == 0) eq = i;
          break;
        case ',':
          if (depth == 0) {
            if (!add_item(list.get(), item, i, eq, level)) return nullptr;
            item = i + 1;
            eq = std::string_view::npos;
          }
          break;
        default:
          break;
      }
    }
    if (depth != 0) return refuse("unclosed '{'", outer_open);
    if (!add_item(list.get(), item, end, eq, level)) return nullptr;
    return list.release();
  }

  // Adds the item text_[b, e) with its separating '=' at eq (npos: none); false on failure.
  bool add_item(VLK_KeyValues* list, size_t b, size_t e, size_t eq, size_t level) {
    if (b == e) return true;
    if (eq == std::string_view::npos)
      return add_owned(list, dup(b, e), VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
    if (eq == b) return true;  // an empty key adds nothing
    const size_t v = eq + 1;
    if (v == e) return add_owned(list, dup(b, eq), VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
    if (e - v >= 2 && text_[v] == '{' && text_[e - 1] == '}') {
      VLK_KeyValues* nested = parse_list(v + 1, e - 1, level + 1);
      return nested != nullptr && add_owned(list, dup(b, eq), VLK_TYPE_KEYVALUES, nested);
    }
    char* value = dup(v, e);
    return value != nullptr && add_owned(list, dup(b, eq), VLK_TYPE_STRING, value);
  }

  // Appends (key, id, value), both taken over; false, with both released, when memory runs out.
  static bool add_owned(VLK_KeyValues* list, char* key, int id, void* value) {
    if (key != nullptr && append_owned(list, key, id, value) != nullptr) return true;
    std::free(key);
    VLK_KeyValues_release_at(value, id);
    return false;
  }

  char* dup(size_t b, size_t e) const { return strndup(text_.data() + b, e - b); }

  VLK_KeyValues* refuse(const char* what, size_t at) const {
    // Long texts are cut in the message; the character number still finds the place.
    constexpr size_t kShown = 80;
    const bool cut = text_.size() > kShown;
    vlk::report("ERROR: VLK_KeyValues_parse(): %s at character %zu of \"%.*s%s\"\n", what, at + 1,
                static_cast<int>(cut ? kShown : text_.size()), text_.data(), cut ? "..." : "");
    return nullptr;
  }

  VLK_KeyValues* refuse_depth(size_t at) const {
    vlk::report(
        "ERROR: VLK_KeyValues_parse(): braces nested deeper than %zu levels at character "
        "%zu\n",
        kMaxBraceDepth, at + 1);
    return nullptr;
  }

  std::string_view text_;
};

}  // namespace

// ---- creation and release ----------------------------------------------------------------

VLK_KeyValues* VLK_KeyValues_new() {
  auto* list = static_cast<VLK_KeyValues*>(std::calloc(1, sizeof(VLK_KeyValues)));
  if (list == nullptr) return nullptr;
  list->keys = VLK_StrArray_new();
  list->values = VLK_Array_new();
  list->types = VLK_IntArray_new();
  if (list->keys == nullptr || list->values == nullptr || list->types == nullptr) {
    VLK_StrArray_delete(list->keys);
    VLK_Array_delete(list->values);
    VLK_IntArray_delete(list->types);
    std::free(list);
    return nullptr;
  }
  return list;
}

VLK_KeyValues* VLK_KeyValues_parse(const char* text) {
  return text ? Parser(text).run() : VLK_KeyValues_new();
}

VLK_KeyValues* VLK_KeyValues_parse_sl(const char* text, size_t n) {
  return text ? Parser(std::string_view(text, strnlen(text, n))).run() : VLK_KeyValues_new();
}

VLK_KeyValues* VLK_KeyValues_clone(const VLK_KeyValues* list) {
  if (list == nullptr) return nullptr;
  VLK_KeyValues* copy = VLK_KeyValues_new();
  if (copy != nullptr) VLK_KeyValues_add_KeyValues(copy, list);
  return copy;
}

void VLK_KeyValues_delete(VLK_KeyValues* list) {
  if (list == nullptr) return;
  VLK_KeyValues_clear(list);
  VLK_StrArray_delete(list->keys);
  VLK_Array_delete(list->values);
  VLK_IntArray_delete(list->types);
  std::free(list);
}

void VLK_KeyValues_delete_v(void* list) { VLK_KeyValues_delete(static_cast<VLK_KeyValues*>(list)); }

void VLK_KeyValues_clear(VLK_KeyValues* list) {
  for (size_t i = 0; i < list->keys->size; ++i) {
    VLK_KeyValues_release_at(list->values->data[i], list->types->data[i]);
    release_key(list->keys->data[i]);
  }
  list->keys->size = 0;
  list->values->size = 0;
  list->types->size = 0;
}

int VLK_KeyValues_release_at(void* value, int id) {
  switch (id) {
    case VLK_TYPE_INT:
      if (!is_static_int(value)) std::free(value);
      break;
    case VLK_TYPE_STRING:
      if (!is_static_string(value)) std::free(value);
      break;
    case VLK_TYPE_DOUBLE:
    case VLK_TYPE_INTARRAY:
    case VLK_TYPE_DOUBLEARRAY:
    case VLK_TYPE_STRARRAY:
    case VLK_TYPE_KEYVALUES:
      VLK_Type_delete(value, id);
      break;
    default:
      vlk::fatal("FATAL ERROR: VLK_KeyValues_release_at(): Unsupported type specified: %s\n",
                 VLK_Type_name(id));
  }
  return 0;
}

size_t VLK_KeyValues_size(const VLK_KeyValues* list) { return list->keys->size; }

// ---- access by index ---------------------------------------------------------------------

char* VLK_KeyValues_get_key(const VLK_KeyValues* list, size_t i) { return vlk::at(list->keys, i); }
int VLK_KeyValues_get_type(const VLK_KeyValues* list, size_t i) { return vlk::at(list->types, i); }
void* VLK_KeyValues_get_value(const VLK_KeyValues* list, size_t i) {
  return vlk::at(list->values, i);
}
int VLK_KeyValues_get_int_index(const VLK_KeyValues* list, size_t i) {
  return *static_cast<const int*>(vlk::at(list->values, i));
}
void* VLK_KeyValues_get_with_type_index(const VLK_KeyValues* list, size_t i, int id) {
  return vlk::at(list->types, i) == id ? list->values->data[i] : nullptr;
}
void VLK_KeyValues_set_at(VLK_KeyValues* list, size_t i, int id, void* value) {
  vlk::at(list->types, i) = id;
  list->values->data[i] = value;
}

// ---- lookup by key -----------------------------------------------------------------------

int VLK_KeyValues_find_key(const VLK_KeyValues* list, const char* key) {
  return static_cast<int>(find_first(list, key));
}

void* VLK_KeyValues_get(const VLK_KeyValues* list, const char* key) {
  const long i = find_first(list, key);
  return i < 0 ? nullptr : list->values->data[i];
}

void* VLK_KeyValues_get_case(const VLK_KeyValues* list, const char* key) {
  if (list == nullptr || key == nullptr) return nullptr;
  const long i =
      vlk::find_if(list->keys, [key](const char* k) { return k && strcasecmp(k, key) == 0; });
  return i < 0 ? nullptr : list->values->data[i];
}

void* VLK_KeyValues_get_with_type(const VLK_KeyValues* list, const char* key, int id) {
  const long i = find_first(list, key);
  return i >= 0 && list->types->data[i] == id ? list->values->data[i] : nullptr;
}

int VLK_KeyValues_get_int(const VLK_KeyValues* list, const char* key, int def) {
  const void* v = VLK_KeyValues_get_with_type(list, key, VLK_TYPE_INT);
  return v ? *static_cast<const int*>(v) : def;
}

int VLK_KeyValues_get_int_def(const VLK_KeyValues* list, const char* key, int def) {
  return VLK_KeyValues_get_int(list, key, def);
}

double VLK_KeyValues_get_double(const VLK_KeyValues* list, const char* key, double def) {
  const void* v = VLK_KeyValues_get_with_type(list, key, VLK_TYPE_DOUBLE);
  return v ? *static_cast<const double*>(v) : def;
}

char* VLK_KeyValues_get_string(const VLK_KeyValues* list, const char* key) {
  return static_cast<char*>(VLK_KeyValues_get_with_type(list, key, VLK_TYPE_STRING));
}

// ---- editing -----------------------------------------------------------------------------

VLK_KeyValues* VLK_KeyValues_add(VLK_KeyValues* list, const char* key, int id, void* value) {
  char* k = copy_key(key);
  if (key != nullptr && k == nullptr) return nullptr;
  if (append_owned(list, k, id, value) == nullptr) {
    std::free(k);
    return nullptr;
  }
  return list;
}

namespace {

// Appends a value made here; it is freed again when the append fails.
VLK_KeyValues* add_new(VLK_KeyValues* list, const char* key, int id, void* value) {
  if (value == nullptr) return nullptr;
  if (VLK_KeyValues_add(list, key, id, value) == nullptr) {
    VLK_KeyValues_release_at(value, id);
    return nullptr;
  }
  return list;
}

}  // namespace

VLK_KeyValues* VLK_KeyValues_put_int(VLK_KeyValues* list, const char* key, int v) {
  return add_new(list, key, VLK_TYPE_INT, vlk::heap_value(v));
}

VLK_KeyValues* VLK_KeyValues_put_double(VLK_KeyValues* list, const char* key, double x) {
  return add_new(list, key, VLK_TYPE_DOUBLE, vlk::heap_value(x));
}

VLK_KeyValues* VLK_KeyValues_add_string(VLK_KeyValues* list, const char* key, const char* s) {
  if (s == nullptr) return VLK_KeyValues_add(list, key, VLK_TYPE_STRING, nullptr);
  return add_new(list, key, VLK_TYPE_STRING, strdup(s));
}

VLK_KeyValues* VLK_KeyValues_put_DoubleArray(VLK_KeyValues* list, const char* key,
                                             VLK_DoubleArray* array) {
  return VLK_KeyValues_add(list, key, VLK_TYPE_DOUBLEARRAY, array);
}

VLK_KeyValues* VLK_KeyValues_put_as_string(VLK_KeyValues* list, const char* key, int id,
                                           const char* text) {
  // A double array text without numbers gives a null value, which is stored as such.
  void* value = VLK_Type_from_str(id, text, nullptr);
  if (VLK_KeyValues_add(list, key, id, value) == nullptr) {
    VLK_KeyValues_release_at(value, id);
    return nullptr;
  }
  return list;
}

namespace {

// set_int / set_double: a number of this type written in place, except into a shared
// sentinel or a missing value, which get a value of their own.
template <class T>
void set_number(VLK_KeyValues* list, const char* key, T v, int id) {
  const long i = find_first(list, key);
  if (i < 0) {
    add_new(list, key, id, vlk::heap_value(v));
    return;
  }
  void*& slot = list->values->data[i];
  int& type = list->types->data[i];
  if (type == id && slot != nullptr && !is_static_int(slot)) {
    *static_cast<T*>(slot) = v;
    return;
  }
  T* fresh = vlk::heap_value(v);
  if (fresh == nullptr) return;
  VLK_KeyValues_release_at(slot, type);  // keeps a sentinel
  slot = fresh;
  type = id;
}

}  // namespace

void VLK_KeyValues_set_int(VLK_KeyValues* list, const char* key, int v) {
  set_number<int>(list, key, v, VLK_TYPE_INT);
}

void VLK_KeyValues_set_double(VLK_KeyValues* list, const char* key, double x) {
  set_number<double>(list, key, x, VLK_TYPE_DOUBLE);
}

void VLK_KeyValues_inc_int(VLK_KeyValues* list, const char* key) {
  const long i = find_first(list, key);
  if (i < 0) {
    VLK_KeyValues_put_int(list, key, 1);
    return;
  }
  void*& slot = list->values->data[i];
  if (list->types->data[i] != VLK_TYPE_INT || slot == nullptr) return;
  if (is_static_int(slot)) {
    // The shared sentinel must not change for every list that holds it.
    int* fresh = vlk::heap_value(*static_cast<const int*>(slot) + 1);
    if (fresh != nullptr) slot = fresh;
    return;
  }
  ++*static_cast<int*>(slot);
}

void VLK_KeyValues_write(VLK_KeyValues* list, const char* key, int id, void* value) {
  const long i = find_first(list, key);
  if (i < 0) {
    VLK_KeyValues_add(list, key, id, value);
    return;
  }
  void*& slot = list->values->data[i];
  if (slot != value) VLK_KeyValues_release_at(slot, list->types->data[i]);
  slot = value;
  list->types->data[i] = id;
}

void VLK_KeyValues_remove(VLK_KeyValues* list, const char* key) {
  const long i = find_first(list, key);
  if (i < 0) return;
  const auto at = static_cast<size_t>(i);
  VLK_KeyValues_release_at(list->values->data[at], list->types->data[at]);
  release_key(list->keys->data[at]);
  vlk::remove_at(list->keys, at);
  vlk::remove_at(list->values, at);
  vlk::remove_at(list->types, at);
}

void VLK_KeyValues_add_KeyValues(VLK_KeyValues* dst, const VLK_KeyValues* src) {
  const size_t n = src->keys->size;  // dst may be src
  for (size_t i = 0; i < n; ++i) {
    const int id = src->types->data[i];
    void* copy = copy_value(src->values->data[i], id);
    if (VLK_KeyValues_add(dst, src->keys->data[i], id, copy) == nullptr)
      VLK_KeyValues_release_at(copy, id);
  }
}

void VLK_KeyValues_add_KeyValues_nr(VLK_KeyValues* dst, const VLK_KeyValues* src) {
  const size_t n = src->keys->size;
  for (size_t i = 0; i < n; ++i) {
    const int id = src->types->data[i];
    void* copy = copy_value(src->values->data[i], id);
    VLK_KeyValues_write(dst, src->keys->data[i], id, copy);
  }
}

void VLK_KeyValues_print(const VLK_KeyValues* list, FILE* fp) {
  if (list == nullptr) return;
  for (size_t i = 0; i < list->keys->size; ++i) {
    const int id = list->types->data[i];
    const char* key = list->keys->data[i];
    if (i) std::fputs(",", fp);
    std::fprintf(fp, "%s=", key ? key : "");  // a null key prints empty
    if (id == VLK_TYPE_KEYVALUES) std::fputs("{", fp);
    VLK_Type_fprint_value(list->values->data[i], id, fp);
    if (id == VLK_TYPE_KEYVALUES) std::fputs("}", fp);
  }
}

void VLK_KeyValues_print_v(void* list, FILE* fp) {
  VLK_KeyValues_print(static_cast<const VLK_KeyValues*>(list), fp);
}
