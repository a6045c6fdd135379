#include "vlk_data_read.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_number.h"

namespace vlk {

char* copy_or_die(std::string_view s, const char* no_memory) {
  char* out = or_die(static_cast<char*>(std::malloc(s.size() + 1)), no_memory);
  if (!s.empty()) std::memcpy(out, s.data(), s.size());
  out[s.size()] = '\0';
  return out;
}

void add_copy(VLK_StrArray* a, std::string_view s, const char* no_memory) {
  char* c = copy_or_die(s, no_memory);
  if (VLK_StrArray_add(a, c) == nullptr) {
    std::free(c);
    fatal(no_memory);
  }
}

void bind_last_string(const char*, const char* value, void* target) {
  auto* s = static_cast<std::optional<std::string>*>(target);
  if (value != nullptr)
    *s = value;
  else
    s->reset();
}

void print_requires(size_t cells) {
  const size_t bytes = cells * sizeof(double);
  std::fprintf(VELK_ERR, "  Requires ");
  VLK_Util_print_size_t_comma(VELK_ERR, bytes);
  std::fprintf(VELK_ERR, " [bytes] (");
  VLK_Util_print_size_t_comma(VELK_ERR, bytes >> 20);
  std::fprintf(VELK_ERR, " [MiB])\n");
}

double* take_block(VLK_DoubleArray* a) {
  double* block = nullptr;
  if (a->size > 0) {
    realloc_to(a, a->size);  // a failed shrink keeps the larger block, which is fine
    block = a->data;
    a->data = nullptr;
  }
  a->size = a->capacity = 0;
  return block;
}

void DataSource::refuse(const char* fmt, ...) const {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int size = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string line(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  std::vsnprintf(line.data(), line.size() + 1, fmt, again);
  va_end(again);
  if (file_ == nullptr) fatal("%s", line.c_str());
  fatal("%s  file: %s\n", line.c_str(), printable(file_).c_str());
}

double DataSource::finite_value(std::string_view field, int line, size_t column) const {
  const Number<double> x = parse_number<double>(field, Blanks::allowed);
  if (x.ok()) return x.value;
  if (x.status == NumberStatus::not_a_number)
    refuse("ERROR: not a number at line %d, column %zu: \"%s\"\n", line, column,
           printable(field).c_str());
  refuse("ERROR: not a finite value at line %d, column %zu: %.*s\n", line, column,
         static_cast<int>(field.size()), field.data());
}

void DataSource::refuse_nul_line(size_t line) const {
  refuse("ERROR: a NUL byte in line %zu\n", line);
}

bool has_control_byte(std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

}  // namespace vlk
