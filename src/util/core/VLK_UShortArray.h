// The arrays of the driver's exchanges: 16-bit gene-id streams and single-precision values.
#pragma once

#include <cstddef>

#include "vlk_grow_array.h"

using VLK_UShortArray = vlk::GrowArray<unsigned short>;
using VLK_FloatArray = vlk::GrowArray<float, vlk::FloatGrowth>;

// The constructors and every growing call return null when memory runs out (reserve: -1, the
// array unchanged); an index must name an element in use (checked in Debug and sanitizer
// builds).
VLK_UShortArray* VLK_UShortArray_new();
void VLK_UShortArray_delete(VLK_UShortArray* a);
void VLK_UShortArray_init(VLK_UShortArray* a);
VLK_UShortArray* VLK_UShortArray_new_ar(size_t n);
void VLK_UShortArray_delete_ar(VLK_UShortArray* block, size_t n);
size_t VLK_UShortArray_size(const VLK_UShortArray* a);
VLK_UShortArray* VLK_UShortArray_expand(VLK_UShortArray* a, size_t k);
int VLK_UShortArray_reserve(VLK_UShortArray* a, size_t n);
VLK_UShortArray* VLK_UShortArray_set_size(VLK_UShortArray* a, size_t n);
void VLK_UShortArray_clear(VLK_UShortArray* a);
VLK_UShortArray* VLK_UShortArray_add(VLK_UShortArray* a, unsigned short v);
unsigned short VLK_UShortArray_get(const VLK_UShortArray* a, size_t i);
VLK_UShortArray* VLK_UShortArray_set(VLK_UShortArray* a, size_t i, unsigned short v);
unsigned short* VLK_UShortArray_ptr(VLK_UShortArray* a);
VLK_UShortArray* VLK_UShortArray_set_ar(VLK_UShortArray* a, size_t off, const VLK_UShortArray* src,
                                        size_t count);

VLK_FloatArray* VLK_FloatArray_new();
void VLK_FloatArray_delete(VLK_FloatArray* a);
VLK_FloatArray* VLK_FloatArray_expand(VLK_FloatArray* a, size_t k);
VLK_FloatArray* VLK_FloatArray_add(VLK_FloatArray* a, float v);
float VLK_FloatArray_get(const VLK_FloatArray* a, size_t i);
VLK_FloatArray* VLK_FloatArray_set(VLK_FloatArray* a, size_t i, float v);
void VLK_FloatArray_clear(VLK_FloatArray* a);
VLK_FloatArray* VLK_FloatArray_set_size(VLK_FloatArray* a, size_t n);
float* VLK_FloatArray_ptr(VLK_FloatArray* a);
VLK_FloatArray* VLK_FloatArray_set_ar(VLK_FloatArray* a, size_t off, const VLK_FloatArray* src,
                                      size_t count);
