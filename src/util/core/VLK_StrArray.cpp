#include "VLK_StrArray.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

namespace {

char* copy_str(const char* s) { return s ? strdup(s) : nullptr; }

void free_strings(VLK_StrArray* a) {
  for (size_t i = 0; i < a->size; ++i) std::free(a->data[i]);
}

// Copies of all strings of src appended to dst; false when a copy or the growth fails.
bool append_copies(VLK_StrArray* dst, const VLK_StrArray* src) {
  for (size_t i = 0; i < src->size; ++i)
    if (VLK_StrArray_add_copy(dst, src->data[i]) == nullptr) return false;
  return true;
}

}  // namespace

VLK_StrArray* VLK_StrArray_new() { return vlk::make<VLK_StrArray>(); }
VLK_StrArray* VLK_StrArray_news(size_t n) { return vlk::make<VLK_StrArray>(n); }
void VLK_StrArray_delete(VLK_StrArray* a) { vlk::destroy(a); }

void VLK_StrArray_delete_all(VLK_StrArray* a) {
  if (a == nullptr) return;
  free_strings(a);
  vlk::destroy(a);
}

void VLK_StrArray_clear(VLK_StrArray* a) { a->size = 0; }

void VLK_StrArray_clear_all(VLK_StrArray* a) {
  free_strings(a);
  a->size = 0;
}

void VLK_StrArray_delete_v(void* a) { VLK_StrArray_delete_all(static_cast<VLK_StrArray*>(a)); }

VLK_StrArray* VLK_StrArray_new_ar(size_t n) { return vlk::make_block<VLK_StrArray>(n, 1); }
void VLK_StrArray_delete_ar(VLK_StrArray* block, size_t n) { vlk::destroy_block(block, n); }

void VLK_StrArray_delete_ar_all(VLK_StrArray* block, size_t n) {
  if (block == nullptr) return;
  for (size_t i = 0; i < n; ++i) free_strings(&block[i]);
  vlk::destroy_block(block, n);
}

VLK_StrArray* VLK_StrArray_clone(const VLK_StrArray* a) {
  VLK_StrArray* c = vlk::make<VLK_StrArray>(a->size);
  if (c != nullptr && !append_copies(c, a)) {
    VLK_StrArray_delete_all(c);
    return nullptr;
  }
  return c;
}

VLK_StrArray* VLK_StrArray_clone_ar(const VLK_StrArray* block, size_t n) {
  VLK_StrArray* c = VLK_StrArray_new_ar(n);
  if (c == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    if (!append_copies(&c[i], &block[i])) {
      VLK_StrArray_delete_ar_all(c, n);
      return nullptr;
    }
  }
  return c;
}

VLK_StrArray* VLK_StrArray_copy_all(const VLK_StrArray* src, VLK_StrArray* dst) {
  if (src == dst) return dst;  // freeing dst's strings would free what is then read
  if (dst->capacity < src->size && vlk::expand(dst, src->size - dst->capacity) == nullptr)
    return nullptr;
  VLK_StrArray_clear_all(dst);
  return append_copies(dst, src) ? dst : nullptr;
}

VLK_StrArray* VLK_StrArray_add(VLK_StrArray* a, char* s) { return vlk::append(a, s); }

VLK_StrArray* VLK_StrArray_add_copy(VLK_StrArray* a, const char* s) {
  char* c = copy_str(s);
  if (s != nullptr && c == nullptr) return nullptr;
  if (vlk::append(a, c) == nullptr) {
    std::free(c);
    return nullptr;
  }
  return a;
}

VLK_StrArray* VLK_StrArray_add_nr(VLK_StrArray* a, char* s) {
  return VLK_StrArray_find(a, s) >= 0 ? a : vlk::append(a, s);
}

long VLK_StrArray_find_add(VLK_StrArray* a, const char* s) {
  const long i = VLK_StrArray_find(a, s);
  if (i >= 0) return i;
  if (VLK_StrArray_add_copy(a, s) == nullptr) return -1;
  return static_cast<long>(a->size - 1);
}

char* VLK_StrArray_get(const VLK_StrArray* a, size_t i) { return vlk::at(a, i); }

VLK_StrArray* VLK_StrArray_set(VLK_StrArray* a, size_t i, char* s) {
  if (i >= a->size) return nullptr;
  a->data[i] = s;
  return a;
}

size_t VLK_StrArray_size(const VLK_StrArray* a) { return a->size; }

VLK_StrArray* VLK_StrArray_set_size(VLK_StrArray* a, size_t n) { return vlk::set_size(a, n, true); }

char* VLK_StrArray_remove(VLK_StrArray* a, size_t i) { return vlk::remove_at(a, i); }
void VLK_StrArray_remove_elm(VLK_StrArray* a, size_t i) { std::free(vlk::remove_at(a, i)); }

long VLK_StrArray_find(const VLK_StrArray* a, const char* s) {
  return vlk::find_if(a, [s](const char* x) { return x && std::strcmp(x, s) == 0; });
}

long VLK_StrArray_find_case(const VLK_StrArray* a, const char* s) {
  return vlk::find_if(a, [s](const char* x) { return x && strcasecmp(x, s) == 0; });
}

VLK_IntArray* VLK_StrArray_collect_indexes(const VLK_StrArray* a, const char* s) {
  VLK_IntArray* out = VLK_IntArray_new();
  if (out == nullptr) return nullptr;
  for (size_t i = 0; i < a->size; ++i) {
    if (a->data[i] && std::strcmp(a->data[i], s) == 0 &&
        VLK_IntArray_add(out, static_cast<int>(i)) == nullptr) {
      VLK_IntArray_delete(out);
      return nullptr;
    }
  }
  return out;
}

void VLK_StrArray_fprint_v(void* v, FILE* fp) {
  const auto* a = static_cast<const VLK_StrArray*>(v);
  // A null slot (only a caller stores one) prints as an empty string.
  for (size_t i = 0; i < a->size; ++i)
    std::fprintf(fp, i ? ":%s" : "%s", a->data[i] ? a->data[i] : "");
}
