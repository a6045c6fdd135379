#include "VLK_ArgDef.h"

#include <strings.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_Str.h"
#include "VLK_StrBuff.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_number.h"

namespace {

enum class Bound { yes, rejected, no_value };

const VLK_ArgDef* find_row(const VLK_ArgDef* table, const char* key) {
  if (key == nullptr) return nullptr;
  for (const VLK_ArgDef* row = table; row->name != nullptr; ++row)
    if (std::strcmp(row->name, key) == 0) return row;
  return nullptr;
}

const VLK_ArgDef* find_error_row(const VLK_ArgDef* table) {
  const VLK_ArgDef* last = nullptr;
  for (const VLK_ArgDef* row = table; row->name != nullptr; ++row)
    if (std::strcmp(row->name, VLK_KeyValues_ERROR_KEY) == 0) last = row;
  return last;
}

template <class T>
T& target_as(const VLK_ArgDef* row) {
  return *static_cast<T*>(row->target);
}

template <class A>
A* made(A*& slot, A* (*create)()) {
  if (slot == nullptr) slot = create();
  return slot;
}

VLK_StrArray* new_str_array() { return VLK_StrArray_news(1); }

// The value of one entry as the binding sees it.
struct Entry {
  const char* key;
  void* value;
  int type;
  bool is_text() const { return type == VLK_TYPE_STRING && value != nullptr; }
  const char* text() const { return static_cast<const char*>(value); }
  bool bare() const { return value == VLK_KeyValues_DEFAULT_VALUE; }
};

[[noreturn]] void unexpected_type(const Entry& e) {
  vlk::fatal("FATAL_ERROR: Unexpected type for key \"%s\": %s", e.key, VLK_Type_name(e.type));
}

[[noreturn]] void not_a_pointer_value() {
  vlk::fatal("FATAL ERROR: VLK_KeyValues_set_value_kv().\n");
}

// Splits the text at sep and hands every token to add; the token strings stay the caller's
// unless add takes them (returns true).
template <class Add>
void each_token(const char* text, char sep, Add add) {
  VLK_StrArray* tokens = VLK_Str_split(text, sep);
  if (tokens == nullptr) return;
  for (size_t i = 0; i < tokens->size; ++i)
    if (add(tokens->data[i])) tokens->data[i] = nullptr;  // taken
  VLK_StrArray_delete_all(tokens);
}

// The line of a refused value: the option and what it was given, so that it stands alone
// whether a module or the command line refuses it next.
void say_refused(const Entry& e, const std::string& why) {
  vlk::report("ERROR: option \"%s\": %s\n", vlk::printable(e.key).c_str(), why.c_str());
}

// A text of a message, between double quotes.
std::string quoted(std::string_view text) { return "\"" + vlk::printable(text) + "\""; }

// A numeric kind takes a wholly numeric text, or is refused with its line. A bare key holds the
// text "on", which is no number: it is said as a missing value.
bool has_number_text(const Entry& e) {
  if (!e.is_text()) return false;
  if (e.bare()) say_refused(e, "a number is needed, none was given");
  return !e.bare();
}

template <class T>
std::optional<T> number_of(const Entry& e) {
  if (!has_number_text(e)) return std::nullopt;
  const vlk::Number<T> n = vlk::parse_number<T>(e.text());
  if (n.ok()) return n.value;
  say_refused(e, quoted(e.text()) + " " + vlk::number_problem<T>(n.status));
  return std::nullopt;
}

// Every field of a list, or none when one is no number.
template <class T>
std::optional<std::vector<T>> numbers_of(const Entry& e, char sep) {
  if (!has_number_text(e)) return std::nullopt;
  std::vector<T> values;
  if (const auto bad = vlk::parse_number_list<T>(e.text(), sep, &values)) {
    say_refused(e, quoted(bad->field) + " (field " + std::to_string(bad->index + 1) + " of " +
                       quoted(e.text()) + ") " + vlk::number_problem<T>(bad->status));
    return std::nullopt;
  }
  return values;
}

template <class T, class A>
Bound bind_numbers(const VLK_ArgDef* row, const Entry& e, char sep, A* (*create)(),
                   A* (*add)(A*, T)) {
  const std::optional<std::vector<T>> values = numbers_of<T>(e, sep);
  if (!values) return Bound::rejected;
  A* a = made(target_as<A*>(row), create);
  if (a == nullptr) return Bound::rejected;
  for (const T v : *values)
    if (add(a, v) == nullptr) return Bound::rejected;
  return Bound::yes;
}

Bound bind_strings(const VLK_ArgDef* row, const Entry& e, char sep) {
  if (!e.is_text()) return Bound::rejected;
  VLK_StrArray* a = made(target_as<VLK_StrArray*>(row), new_str_array);
  if (a == nullptr) return Bound::rejected;
  each_token(e.text(), sep, [a](char* tok) { return VLK_StrArray_add(a, tok) != nullptr; });
  return Bound::yes;
}

// A range lists indexes (genes, samples, columns), and no index set of a run comes near a
// million: gene ids stop at 65535. A longer range is a typo (1-2000000000 would ask for 8 GB),
// refused before anything is allocated.
constexpr int64_t kMaxRangeValues = 1000000;

// The values first, first + step, ... up to last (step >= 1) into a new block and their number
// into the count; false when there are too many (said on VELK_ERR) or memory runs out.
bool store_range(const VLK_ArgDef* row, const Entry& e, int first, int last, int step) {
  const int64_t count = (static_cast<int64_t>(last) - first) / step + 1;
  if (count > kMaxRangeValues) {
    vlk::report("ERROR: VLK_KeyValues_set_values_kv(): range \"%s\" of key \"%s\" holds %" PRId64
                " values, more than %" PRId64 "\n",
                e.text(), e.key, count, kMaxRangeValues);
    return false;
  }
  int* values = static_cast<int*>(std::malloc(static_cast<size_t>(count) * sizeof(int)));
  if (values == nullptr) return false;
  for (int64_t k = 0; k < count; ++k) values[k] = static_cast<int>(first + k * step);
  target_as<int*>(row) = values;
  *static_cast<int*>(row->aux) = static_cast<int>(count);
  return true;
}

// first[-last][:step], each an integer: a '-' separates the bounds, so neither can be negative,
// and a step below 1 would never reach the upper bound.
Bound bind_range(const VLK_ArgDef* row, const Entry& e) {
  if (!has_number_text(e)) return Bound::rejected;
  const std::string_view text = e.text();
  const std::string shown = quoted(text);
  const size_t colon = text.find(':');
  const std::string_view bounds = text.substr(0, colon);
  const size_t dash = bounds.find('-');
  const std::string_view parts[] = {
      bounds.substr(0, dash), dash == std::string_view::npos ? bounds : bounds.substr(dash + 1),
      colon == std::string_view::npos ? std::string_view("1") : text.substr(colon + 1)};
  if ((colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) ||
      (dash != std::string_view::npos && bounds.find('-', dash + 1) != std::string_view::npos)) {
    say_refused(e, shown + " is not a range first[-last][:step]");
    return Bound::rejected;
  }
  int v[3];
  for (int k = 0; k < 3; ++k) {
    const vlk::Number<int> n = vlk::parse_number<int>(parts[k]);
    if (!n.ok()) {
      say_refused(e, quoted(parts[k]) + " in the range " + shown + " " +
                         vlk::number_problem<int>(n.status));
      return Bound::rejected;
    }
    v[k] = n.value;
  }
  if (v[1] < v[0]) {
    say_refused(e, "the range " + shown + " ends below its start");
    return Bound::rejected;
  }
  if (v[2] < 1) {
    say_refused(e, "the step of the range " + shown + " is below 1");
    return Bound::rejected;
  }
  return store_range(row, e, v[0], v[1], v[2]) ? Bound::yes : Bound::rejected;
}

template <class T>
Bound store(const VLK_ArgDef* row, const std::optional<T>& v) {
  if (!v) return Bound::rejected;
  target_as<T>(row) = *v;
  return Bound::yes;
}

// A sum beyond an int is refused like a value beyond one.
Bound add_int(const VLK_ArgDef* row, const Entry& e, int v) {
  int& sum = target_as<int>(row);
  int result;
  if (__builtin_add_overflow(sum, v, &result)) {
    say_refused(e, "adding " + std::to_string(v) + " to " + std::to_string(sum) + " " +
                       vlk::number_problem<int>(vlk::NumberStatus::out_of_range));
    return Bound::rejected;
  }
  sum = result;
  return Bound::yes;
}

Bound bind_onoff(const VLK_ArgDef* row, const Entry& e) {
  if (e.is_text()) {
    for (const char* on : {"on", "t", "1"})
      if (strcasecmp(e.text(), on) == 0) return target_as<int>(row) = 1, Bound::yes;
    for (const char* off : {"off", "f", "0"})
      if (strcasecmp(e.text(), off) == 0) return target_as<int>(row) = 0, Bound::yes;
    return Bound::rejected;
  }
  if (e.type == VLK_TYPE_STRING) return Bound::rejected;  // a null string
  if (e.type == VLK_TYPE_INT && e.value != nullptr)
    target_as<int>(row) = *static_cast<const int*>(e.value) != 0;
  return Bound::yes;  // other types: accepted, nothing stored
}

// Flags test strings only: any other value type cannot say "on".
Bound bind_flag(const VLK_ArgDef* row, const Entry& e, int value) {
  if (!e.is_text() || !(e.bare() || std::strcmp(e.text(), "on") == 0)) return Bound::rejected;
  target_as<int>(row) = value;
  return Bound::yes;
}

Bound bind_merge(const VLK_ArgDef* row, const Entry& e) {
  if (e.type != VLK_TYPE_STRING && e.type != VLK_TYPE_KEYVALUES) return Bound::rejected;
  VLK_KeyValues* dst = made(target_as<VLK_KeyValues*>(row), VLK_KeyValues_new);
  if (dst == nullptr) return Bound::rejected;
  if (e.type == VLK_TYPE_KEYVALUES) {
    if (e.value != nullptr)
      VLK_KeyValues_add_KeyValues(dst, static_cast<const VLK_KeyValues*>(e.value));
    return Bound::yes;
  }
  VLK_KeyValues* parsed = VLK_KeyValues_parse(e.text());
  if (parsed == nullptr) return Bound::rejected;
  VLK_KeyValues_add_KeyValues(dst, parsed);
  VLK_KeyValues_delete(parsed);
  return Bound::yes;
}

Bound bind(const VLK_ArgDef* row, const Entry& e) {
  switch (row->kind) {
    case VLK_TYPE_INT:
      if (e.is_text()) {
        if (e.bare()) return Bound::no_value;
        return store(row, number_of<int>(e));
      }
      if (e.type != VLK_TYPE_INT || e.value == nullptr) return Bound::rejected;
      target_as<int>(row) = *static_cast<const int*>(e.value);
      return Bound::yes;
    case VLK_TYPE_UINT:
      if (e.is_text()) return store(row, number_of<unsigned>(e));
      if (e.type != VLK_TYPE_UINT || e.value == nullptr) return Bound::rejected;
      target_as<unsigned>(row) = *static_cast<const unsigned*>(e.value);
      return Bound::yes;
    case VLK_TYPE_DOUBLE:
      if (e.is_text()) return store(row, number_of<double>(e));
      if (e.type == VLK_TYPE_STRING) return Bound::rejected;  // a null string
      if (e.type != VLK_TYPE_DOUBLE) unexpected_type(e);
      if (e.value == nullptr) return Bound::rejected;
      target_as<double>(row) = *static_cast<const double*>(e.value);
      return Bound::yes;
    case VLK_TYPE_STRING:
      if (!e.is_text()) return Bound::rejected;
      target_as<char*>(row) = strdup(e.text());
      return Bound::yes;
    case VLK_TYPE_CHAR:
      if (!e.is_text()) return Bound::rejected;
      target_as<char>(row) = e.text()[0];
      return Bound::yes;
    case VLK_TYPE_ARRAY:
      if (e.type != VLK_TYPE_ARRAY) not_a_pointer_value();
      target_as<VLK_Array*>(row) = static_cast<VLK_Array*>(e.value);
      return Bound::yes;
    case VLK_TYPE_STRARRAY:
      if (e.type != VLK_TYPE_STRARRAY) not_a_pointer_value();
      target_as<VLK_StrArray*>(row) = static_cast<VLK_StrArray*>(e.value);
      return Bound::yes;
    case VLK_TYPE_KEYVALUES:
      if (e.type == VLK_TYPE_STRING) {
        VLK_KeyValues* parsed = VLK_KeyValues_parse(e.text());
        if (parsed == nullptr) return Bound::rejected;  // the parser has said why
        target_as<VLK_KeyValues*>(row) = parsed;
        return Bound::yes;
      }
      if (e.type != VLK_TYPE_KEYVALUES) unexpected_type(e);
      target_as<VLK_KeyValues*>(row) =
          VLK_KeyValues_clone(static_cast<const VLK_KeyValues*>(e.value));
      return Bound::yes;
    case VLK_ARG_KEYVALUES_MERGE:
      return bind_merge(row, e);
    case VLK_ARG_INT_DEFAULT:
      if (e.is_text()) {
        if (!e.bare()) return store(row, number_of<int>(e));
        if (row->aux != nullptr) target_as<int>(row) = *static_cast<const int*>(row->aux);
        return Bound::yes;
      }
      if (e.type != VLK_TYPE_INT || e.value == nullptr) return Bound::rejected;
      target_as<int>(row) = *static_cast<const int*>(e.value);
      return Bound::yes;
    case VLK_ARG_INT_ADD:
      if (e.is_text()) {
        const std::optional<int> v = number_of<int>(e);
        return v ? add_int(row, e, *v) : Bound::rejected;
      }
      if (e.type != VLK_TYPE_INT || e.value == nullptr) return Bound::rejected;
      return add_int(row, e, *static_cast<const int*>(e.value));
    case VLK_ARG_STRING_DEFAULT:
      if (!e.is_text()) return Bound::rejected;
      if (!e.bare())
        target_as<char*>(row) = strdup(e.text());
      else if (row->aux != nullptr)
        target_as<char*>(row) = *static_cast<char* const*>(row->aux);
      return Bound::yes;
    case VLK_ARG_STRING_APPEND: {
      if (!e.is_text()) return Bound::rejected;
      VLK_StrArray* a = made(target_as<VLK_StrArray*>(row), new_str_array);
      return a != nullptr && VLK_StrArray_add_copy(a, e.text()) != nullptr ? Bound::yes
                                                                           : Bound::rejected;
    }
    case VLK_ARG_ONOFF:
      return bind_onoff(row, e);
    case VLK_ARG_FLAG_ON:
      return bind_flag(row, e, 1);
    case VLK_ARG_FLAG_OFF:
      return bind_flag(row, e, 0);
    case VLK_ARG_INTS_COLON:
      return bind_numbers(row, e, ':', VLK_IntArray_new, VLK_IntArray_add);
    case VLK_ARG_INTS_COMMA:
      return bind_numbers(row, e, ',', VLK_IntArray_new, VLK_IntArray_add);
    case VLK_ARG_DOUBLES_COLON:
      return bind_numbers(row, e, ':', VLK_DoubleArray_new, VLK_DoubleArray_add);
    case VLK_ARG_DOUBLES_COMMA:
      return bind_numbers(row, e, ',', VLK_DoubleArray_new, VLK_DoubleArray_add);
    case VLK_ARG_STRINGS_COLON:
      return bind_strings(row, e, ':');
    case VLK_ARG_STRINGS_COMMA:
      return bind_strings(row, e, ',');
    case VLK_ARG_CALL0:
      reinterpret_cast<VLK_ArgCall0>(row->target)();
      return Bound::yes;
    // The callbacks read the value as text; a list or number handed over as a string would
    // be read past its end.
    case VLK_ARG_CALL2:
      if (e.type != VLK_TYPE_STRING) return Bound::rejected;
      reinterpret_cast<VLK_ArgCall2>(row->target)(e.key, e.text());
      return Bound::yes;
    case VLK_ARG_CALL3:
      if (e.type != VLK_TYPE_STRING) return Bound::rejected;
      reinterpret_cast<VLK_ArgCall3>(row->target)(e.key, e.text(), row->aux);
      return Bound::yes;
    case VLK_ARG_INT_RANGE:
      return bind_range(row, e);
    case VLK_ARG_IGNORE:
      return Bound::yes;
    default:
      // Goes to the process's standard error stream, not VELK_ERR.
      vlk::fatal_stderr("FATAL ERROR:%s:%d: unknown key type detected:%d\n", "util/VLK_KeyValues",
                        __LINE__, row->kind);
  }
}

bool is_flag_option(const VLK_ArgDef* table, const char* key) {
  for (const VLK_ArgDef* row = table; row->name != nullptr; ++row)
    if ((row->kind == VLK_ARG_FLAG_ON || row->kind == VLK_ARG_FLAG_OFF) &&
        std::strcmp(row->name, key) == 0)
      return true;
  return false;
}

bool is_option_key(const char* arg) { return arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9'); }

}  // namespace

int VLK_KeyValues_set_values_kv(const VLK_KeyValues* list, const VLK_ArgDef* table) {
  if (list == nullptr) return -1;
  const size_t n = VLK_KeyValues_size(list);
  for (size_t i = 0; i < n; ++i) {
    Entry e{list->keys->data[i], list->values->data[i], list->types->data[i]};
    const VLK_ArgDef* row = find_row(table, e.key);
    if (row == nullptr) {
      row = find_error_row(table);
      if (row == nullptr) return static_cast<int>(i);
      // The catch-all row receives the key as its (string) value.
      e.value = const_cast<char*>(e.key);
      e.type = VLK_TYPE_STRING;
    }
    switch (bind(row, e)) {
      case Bound::yes:
        break;
      case Bound::rejected:
        return static_cast<int>(i);
      case Bound::no_value:
        return -static_cast<int>(i) - 2;
    }
  }
  return -1;
}

VLK_KeyValues* VLK_KeyValues_parse_args(int argc, const char* const* argv,
                                        const VLK_ArgDef* table) {
  VLK_KeyValues* list = VLK_KeyValues_new();
  VLK_StrBuff* value = VLK_StrBuff_new();
  if (list == nullptr || value == nullptr) {
    VLK_KeyValues_delete(list);
    VLK_StrBuff_delete(value);
    return nullptr;
  }
  const char* pending = nullptr;
  // A pending key left without value; text collected for it (a value ending in ',' that no
  // argument continued) is dropped so that it cannot leak into the next key's value.
  const auto flush_pending = [&] {
    if (pending != nullptr)
      VLK_KeyValues_add(list, pending, VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
    pending = nullptr;
    VLK_StrBuff_clear(value);
  };
  bool positional_only = false;
  for (int a = 1; a < argc; ++a) {
    const char* arg = argv[a];
    if (positional_only) {
      VLK_KeyValues_add_string(list, VLK_KeyValues_DEFAULT_KEY, arg);
    } else if (std::strcmp(arg, "-") == 0) {
      flush_pending();
      positional_only = true;
    } else if (is_option_key(arg)) {
      flush_pending();
      if (is_flag_option(table, arg))
        VLK_KeyValues_add(list, arg, VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
      else
        pending = arg;
    } else if (pending == nullptr) {
      VLK_KeyValues_add_string(list, VLK_KeyValues_DEFAULT_KEY, arg);
    } else {
      VLK_StrBuff_add_str(value, arg);
      const size_t len = std::strlen(arg);
      if (len > 0 && arg[len - 1] == ',') continue;  // the next argument continues the value
      char* text = VLK_StrBuff_gen(value);
      if (text != nullptr && VLK_KeyValues_add(list, pending, VLK_TYPE_STRING, text) == nullptr)
        std::free(text);
      pending = nullptr;
      VLK_StrBuff_clear(value);
    }
  }
  flush_pending();
  VLK_StrBuff_delete(value);
  return list;
}

const char* vlk::rejected_key(const VLK_KeyValues* list, const VLK_ArgDef* table) {
  const int r = VLK_KeyValues_set_values_kv(list, table);
  return r == -1 ? nullptr : VLK_KeyValues_get_key(list, failed_entry(r));
}

int VLK_KeyValues_set_args(int argc, const char* const* argv, const VLK_ArgDef* table) {
  VLK_KeyValues* list = VLK_KeyValues_parse_args(argc, argv, table);
  if (list == nullptr) return argc > 1 ? 1 : 0;
  const int r = VLK_KeyValues_set_values_kv(list, table);
  int result = 0;
  if (r != -1) {
    const size_t e = vlk::failed_entry(r);
    const char* key = VLK_KeyValues_get_key(list, e);
    const char* word = std::strcmp(key, VLK_KeyValues_DEFAULT_KEY) == 0
                           ? static_cast<const char*>(VLK_KeyValues_get_value(list, e))
                           : key;
    // Every key and positional value is a copy of an argument, so the word is found.
    int k = argc - 1;
    for (int a = 1; a < argc; ++a) {
      if (std::strcmp(argv[a], word) == 0) {
        k = a;
        break;
      }
    }
    result = r >= 0 ? k : -k;
  }
  VLK_KeyValues_delete(list);
  return result;
}
