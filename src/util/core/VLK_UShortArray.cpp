#include "VLK_UShortArray.h"

#include <algorithm>
#include <limits>

namespace {

// Copies count elements of src to off.. after raising the size; null when the room cannot be had.
template <class A>
A* set_range(A* a, size_t off, const A* src, size_t count) {
  vlk::check(count <= src->size, "copied count at most the source's size");
  if (off > std::numeric_limits<size_t>::max() - count) return nullptr;
  if (off + count > a->size && vlk::set_size(a, off + count) == nullptr) return nullptr;
  std::copy(src->data, src->data + count, a->data + off);
  return a;
}

}  // namespace

VLK_UShortArray* VLK_UShortArray_new() { return vlk::make<VLK_UShortArray>(); }
void VLK_UShortArray_delete(VLK_UShortArray* a) { vlk::destroy(a); }
void VLK_UShortArray_init(VLK_UShortArray* a) { *a = VLK_UShortArray{nullptr, 0, 0}; }
VLK_UShortArray* VLK_UShortArray_new_ar(size_t n) { return vlk::make_block<VLK_UShortArray>(n, 0); }
void VLK_UShortArray_delete_ar(VLK_UShortArray* block, size_t n) { vlk::destroy_block(block, n); }
size_t VLK_UShortArray_size(const VLK_UShortArray* a) { return a->size; }
VLK_UShortArray* VLK_UShortArray_expand(VLK_UShortArray* a, size_t k) { return vlk::expand(a, k); }
int VLK_UShortArray_reserve(VLK_UShortArray* a, size_t n) {
  return vlk::reserve_exact(a, n) ? 0 : -1;
}
VLK_UShortArray* VLK_UShortArray_set_size(VLK_UShortArray* a, size_t n) {
  return vlk::set_size(a, n);
}
void VLK_UShortArray_clear(VLK_UShortArray* a) { a->size = 0; }
VLK_UShortArray* VLK_UShortArray_add(VLK_UShortArray* a, unsigned short v) {
  return vlk::append(a, v);
}
unsigned short VLK_UShortArray_get(const VLK_UShortArray* a, size_t i) { return vlk::at(a, i); }
VLK_UShortArray* VLK_UShortArray_set(VLK_UShortArray* a, size_t i, unsigned short v) {
  return vlk::set_grow(a, i, v);
}
unsigned short* VLK_UShortArray_ptr(VLK_UShortArray* a) { return a->data; }
VLK_UShortArray* VLK_UShortArray_set_ar(VLK_UShortArray* a, size_t off, const VLK_UShortArray* src,
                                        size_t count) {
  return set_range(a, off, src, count);
}

VLK_FloatArray* VLK_FloatArray_new() { return vlk::make<VLK_FloatArray>(); }
void VLK_FloatArray_delete(VLK_FloatArray* a) { vlk::destroy(a); }
VLK_FloatArray* VLK_FloatArray_expand(VLK_FloatArray* a, size_t k) { return vlk::expand(a, k); }
VLK_FloatArray* VLK_FloatArray_add(VLK_FloatArray* a, float v) { return vlk::append(a, v); }
float VLK_FloatArray_get(const VLK_FloatArray* a, size_t i) { return vlk::at(a, i); }
VLK_FloatArray* VLK_FloatArray_set(VLK_FloatArray* a, size_t i, float v) {
  return vlk::set_grow(a, i, v);
}
void VLK_FloatArray_clear(VLK_FloatArray* a) { a->size = 0; }
VLK_FloatArray* VLK_FloatArray_set_size(VLK_FloatArray* a, size_t n) { return vlk::set_size(a, n); }
float* VLK_FloatArray_ptr(VLK_FloatArray* a) { return a->data; }
VLK_FloatArray* VLK_FloatArray_set_ar(VLK_FloatArray* a, size_t off, const VLK_FloatArray* src,
                                      size_t count) {
  return set_range(a, off, src, count);
}
