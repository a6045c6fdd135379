// Growable array of untyped pointers. It does not own its elements unless a *_all call says so.
#pragma once

#include <cstddef>
#include <cstdio>

#include "vlk_grow_array.h"

using VLK_Array = vlk::GrowArray<void*>;

// The constructors, init and every growing call return null when memory runs out (init leaves
// the record empty); an index must name an element in use (checked in Debug and sanitizer
// builds).
VLK_Array* VLK_Array_new();
VLK_Array* VLK_Array_news(size_t n);
VLK_Array* VLK_Array_init(VLK_Array* a, size_t n);
void VLK_Array_release(VLK_Array* a);
void VLK_Array_delete(VLK_Array* a);
void VLK_Array_delete_all(VLK_Array* a);
void VLK_Array_delete_allf(VLK_Array* a, void (*f)(void*));
VLK_Array* VLK_Array_new_ar(size_t n, size_t m);
void VLK_Array_delete_ar(VLK_Array* block, size_t n);
VLK_Array* VLK_Array_expand(VLK_Array* a, size_t k);
VLK_Array* VLK_Array_add(VLK_Array* a, void* v);
VLK_Array* VLK_Array_add_array(VLK_Array* a, const VLK_Array* b);
void* VLK_Array_get(const VLK_Array* a, size_t i);
VLK_Array* VLK_Array_set(VLK_Array* a, size_t i, void* v);
size_t VLK_Array_size(const VLK_Array* a);
void VLK_Array_clear(VLK_Array* a);
void VLK_Array_clear_all(VLK_Array* a);
VLK_Array* VLK_Array_clear_allf(VLK_Array* a, void (*f)(void*));
VLK_Array* VLK_Array_set_size(VLK_Array* a, size_t n);
long VLK_Array_find(const VLK_Array* a, const void* v);
void* VLK_Array_remove(VLK_Array* a, size_t i);
VLK_Array* VLK_Array_insert(VLK_Array* a, size_t i, void* v);
void* VLK_Array_pop(VLK_Array* a);
void VLK_Array_sort(VLK_Array* a, int (*cmp)(const void*, const void*));
void VLK_Array_fprint_v(void* a, FILE* fp);
