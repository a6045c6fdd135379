// Growable array of owned C strings (malloc'ed, released with free).
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_IntArray.h"
#include "vlk_grow_array.h"

using VLK_StrArray = vlk::GrowArray<char*>;

// The constructors, copies and every growing call return null when memory runs out; an index
// must name an element in use (checked in Debug and sanitizer builds).
VLK_StrArray* VLK_StrArray_new();
VLK_StrArray* VLK_StrArray_news(size_t n);
void VLK_StrArray_delete(VLK_StrArray* a);
void VLK_StrArray_delete_all(VLK_StrArray* a);
void VLK_StrArray_clear(VLK_StrArray* a);
void VLK_StrArray_clear_all(VLK_StrArray* a);
void VLK_StrArray_delete_v(void* a);
VLK_StrArray* VLK_StrArray_new_ar(size_t n);
void VLK_StrArray_delete_ar(VLK_StrArray* block, size_t n);
void VLK_StrArray_delete_ar_all(VLK_StrArray* block, size_t n);
VLK_StrArray* VLK_StrArray_clone(const VLK_StrArray* a);
VLK_StrArray* VLK_StrArray_clone_ar(const VLK_StrArray* block, size_t n);
VLK_StrArray* VLK_StrArray_copy_all(const VLK_StrArray* src, VLK_StrArray* dst);
VLK_StrArray* VLK_StrArray_add(VLK_StrArray* a, char* s);
VLK_StrArray* VLK_StrArray_add_copy(VLK_StrArray* a, const char* s);
VLK_StrArray* VLK_StrArray_add_nr(VLK_StrArray* a, char* s);
long VLK_StrArray_find_add(VLK_StrArray* a, const char* s);
char* VLK_StrArray_get(const VLK_StrArray* a, size_t i);
VLK_StrArray* VLK_StrArray_set(VLK_StrArray* a, size_t i, char* s);
size_t VLK_StrArray_size(const VLK_StrArray* a);
VLK_StrArray* VLK_StrArray_set_size(VLK_StrArray* a, size_t n);
char* VLK_StrArray_remove(VLK_StrArray* a, size_t i);
void VLK_StrArray_remove_elm(VLK_StrArray* a, size_t i);
long VLK_StrArray_find(const VLK_StrArray* a, const char* s);
long VLK_StrArray_find_case(const VLK_StrArray* a, const char* s);
VLK_IntArray* VLK_StrArray_collect_indexes(const VLK_StrArray* a, const char* s);
void VLK_StrArray_fprint_v(void* a, FILE* fp);
