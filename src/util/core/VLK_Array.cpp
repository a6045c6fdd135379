#include "VLK_Array.h"

#include <cstdlib>

namespace {
void free_elements(VLK_Array* a, void (*f)(void*)) {
  for (size_t i = 0; i < a->size; ++i) f(a->data[i]);
}
}  // namespace

VLK_Array* VLK_Array_new() { return vlk::make<VLK_Array>(); }

VLK_Array* VLK_Array_news(size_t n) { return vlk::make<VLK_Array>(n); }
VLK_Array* VLK_Array_init(VLK_Array* a, size_t n) { return vlk::init(a, n) ? a : nullptr; }
void VLK_Array_release(VLK_Array* a) { vlk::release(a); }
void VLK_Array_delete(VLK_Array* a) { vlk::destroy(a); }

void VLK_Array_delete_all(VLK_Array* a) { VLK_Array_delete_allf(a, std::free); }

void VLK_Array_delete_allf(VLK_Array* a, void (*f)(void*)) {
  if (a == nullptr) return;
  free_elements(a, f);
  vlk::destroy(a);
}

VLK_Array* VLK_Array_new_ar(size_t n, size_t m) { return vlk::make_block<VLK_Array>(n, m); }
void VLK_Array_delete_ar(VLK_Array* block, size_t n) { vlk::destroy_block(block, n); }
VLK_Array* VLK_Array_expand(VLK_Array* a, size_t k) { return vlk::expand(a, k); }
VLK_Array* VLK_Array_add(VLK_Array* a, void* v) { return vlk::append(a, v); }

VLK_Array* VLK_Array_add_array(VLK_Array* a, const VLK_Array* b) {
  const size_t n = b->size;  // a == b appends one copy, not forever
  for (size_t i = 0; i < n; ++i)
    if (vlk::append(a, b->data[i]) == nullptr) return nullptr;
  return a;
}

void* VLK_Array_get(const VLK_Array* a, size_t i) { return vlk::at(a, i); }

VLK_Array* VLK_Array_set(VLK_Array* a, size_t i, void* v) {
  if (i >= a->size) return nullptr;
  a->data[i] = v;
  return a;
}

size_t VLK_Array_size(const VLK_Array* a) { return a->size; }
void VLK_Array_clear(VLK_Array* a) { a->size = 0; }

void VLK_Array_clear_all(VLK_Array* a) { VLK_Array_clear_allf(a, std::free); }

VLK_Array* VLK_Array_clear_allf(VLK_Array* a, void (*f)(void*)) {
  if (a == nullptr) return nullptr;
  free_elements(a, f);
  a->size = 0;
  return a;
}

VLK_Array* VLK_Array_set_size(VLK_Array* a, size_t n) { return vlk::set_size(a, n, true); }

long VLK_Array_find(const VLK_Array* a, const void* v) {
  return vlk::find_if(a, [v](const void* x) { return x == v; });
}

void* VLK_Array_remove(VLK_Array* a, size_t i) { return vlk::remove_at(a, i); }
VLK_Array* VLK_Array_insert(VLK_Array* a, size_t i, void* v) { return vlk::insert(a, i, v); }
void* VLK_Array_pop(VLK_Array* a) { return vlk::pop(a); }

void VLK_Array_sort(VLK_Array* a, int (*cmp)(const void*, const void*)) {
  if (a->size > 1) std::qsort(a->data, a->size, sizeof(void*), cmp);
}

void VLK_Array_fprint_v(void* a, FILE* fp) {
  std::fprintf(fp, "(Array elm=%zu)", static_cast<VLK_Array*>(a)->size);
}
