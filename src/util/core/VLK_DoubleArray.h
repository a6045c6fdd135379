// Growable array of double; its text form is numbers joined by ':'.
#pragma once

#include <cstddef>
#include <cstdio>

#include "vlk_grow_array.h"

using VLK_DoubleArray = vlk::GrowArray<double>;

// The constructors, init and every growing call return null when memory runs out (init leaves
// the record empty); an index must name an element in use (checked in Debug and sanitizer
// builds).
VLK_DoubleArray* VLK_DoubleArray_new();
VLK_DoubleArray* VLK_DoubleArray_news(size_t n);
VLK_DoubleArray* VLK_DoubleArray_init(VLK_DoubleArray* a, size_t n);
void VLK_DoubleArray_delete(VLK_DoubleArray* a);
VLK_DoubleArray* VLK_DoubleArray_new_ar(size_t n, size_t m);
VLK_DoubleArray* VLK_DoubleArray_expand(VLK_DoubleArray* a, size_t k);
VLK_DoubleArray* VLK_DoubleArray_add(VLK_DoubleArray* a, double v);
double VLK_DoubleArray_get(const VLK_DoubleArray* a, size_t i);
VLK_DoubleArray* VLK_DoubleArray_set(VLK_DoubleArray* a, size_t i, double v);
size_t VLK_DoubleArray_size(const VLK_DoubleArray* a);
void VLK_DoubleArray_clear(VLK_DoubleArray* a);
long VLK_DoubleArray_find(const VLK_DoubleArray* a, double v);
double* VLK_DoubleArray_ptr(VLK_DoubleArray* a);
VLK_DoubleArray* VLK_DoubleArray_copy(const VLK_DoubleArray* a);
VLK_DoubleArray* VLK_DoubleArray_new_str(const char* text);
VLK_DoubleArray* VLK_DoubleArray_set_str(VLK_DoubleArray* a, const char* text);
double VLK_DoubleArray_get_min(const VLK_DoubleArray* a);
char* VLK_DoubleArray_read(const VLK_DoubleArray* a, size_t i, char* buf);
void VLK_DoubleArray_fprint(const VLK_DoubleArray* a, FILE* fp);
void VLK_DoubleArray_fprint_v(void* a, FILE* fp);
void VLK_DoubleArray_delete_v(void* a);
