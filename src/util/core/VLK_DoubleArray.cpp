#include "VLK_DoubleArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

VLK_DoubleArray* VLK_DoubleArray_new() { return vlk::make<VLK_DoubleArray>(); }
VLK_DoubleArray* VLK_DoubleArray_news(size_t n) { return vlk::make<VLK_DoubleArray>(n); }
VLK_DoubleArray* VLK_DoubleArray_init(VLK_DoubleArray* a, size_t n) {
  return vlk::init(a, n) ? a : nullptr;
}
void VLK_DoubleArray_delete(VLK_DoubleArray* a) { vlk::destroy(a); }
VLK_DoubleArray* VLK_DoubleArray_new_ar(size_t n, size_t m) {
  return vlk::make_block<VLK_DoubleArray>(n, m);
}
VLK_DoubleArray* VLK_DoubleArray_expand(VLK_DoubleArray* a, size_t k) { return vlk::expand(a, k); }
VLK_DoubleArray* VLK_DoubleArray_add(VLK_DoubleArray* a, double v) { return vlk::append(a, v); }
double VLK_DoubleArray_get(const VLK_DoubleArray* a, size_t i) { return vlk::at(a, i); }
VLK_DoubleArray* VLK_DoubleArray_set(VLK_DoubleArray* a, size_t i, double v) {
  return vlk::set_grow(a, i, v);
}
size_t VLK_DoubleArray_size(const VLK_DoubleArray* a) { return a->size; }
void VLK_DoubleArray_clear(VLK_DoubleArray* a) { a->size = 0; }
long VLK_DoubleArray_find(const VLK_DoubleArray* a, double v) { return vlk::find(a, v); }
double* VLK_DoubleArray_ptr(VLK_DoubleArray* a) { return a->data; }
VLK_DoubleArray* VLK_DoubleArray_copy(const VLK_DoubleArray* a) { return vlk::clone(a); }

namespace {

// Appends every ':'-separated field of text; false when a field holds no number.
bool parse_fields(VLK_DoubleArray* a, const char* text) {
  const char* field = text;
  for (;;) {
    char* end = nullptr;
    const double v = std::strtod(field, &end);
    if (end == field) return false;
    if (vlk::append(a, v) == nullptr) return false;
    const char* colon = std::strchr(field, ':');
    if (colon == nullptr) return true;
    field = colon + 1;
  }
}

}  // namespace

VLK_DoubleArray* VLK_DoubleArray_new_str(const char* text) {
  const size_t colons = static_cast<size_t>(std::count(text, text + std::strlen(text), ':'));
  VLK_DoubleArray* a = vlk::make<VLK_DoubleArray>(colons + 1);
  if (a == nullptr) return nullptr;
  if (!parse_fields(a, text)) {
    vlk::destroy(a);
    return nullptr;
  }
  return a;
}

VLK_DoubleArray* VLK_DoubleArray_set_str(VLK_DoubleArray* a, const char* text) {
  a->size = 0;
  if (!parse_fields(a, text)) a->size = 0;
  return a;
}

double VLK_DoubleArray_get_min(const VLK_DoubleArray* a) {
  if (a->size == 0) return 0.0;
  return *std::min_element(a->data, a->data + a->size);
}

char* VLK_DoubleArray_read(const VLK_DoubleArray* a, size_t i, char* buf) {
  std::memcpy(buf, &vlk::at(a, i), sizeof(double));
  return buf + sizeof(double);
}

namespace {
void print_joined(const VLK_DoubleArray* a, FILE* fp, const char* sep) {
  for (size_t i = 0; i < a->size; ++i) {
    if (i) std::fputs(sep, fp);
    std::fprintf(fp, "%f", a->data[i]);
  }
}
}  // namespace

void VLK_DoubleArray_fprint(const VLK_DoubleArray* a, FILE* fp) { print_joined(a, fp, ", "); }

void VLK_DoubleArray_fprint_v(void* a, FILE* fp) {
  print_joined(static_cast<const VLK_DoubleArray*>(a), fp, ":");
}

void VLK_DoubleArray_delete_v(void* a) { vlk::destroy(static_cast<VLK_DoubleArray*>(a)); }
