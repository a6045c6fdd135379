// Growable array of int, and the ring queue of int.
#pragma once

#include <cstddef>
#include <cstdio>

#include "vlk_grow_array.h"

using VLK_IntArray = vlk::GrowArray<int>;

// The constructors, init and every growing call return null when memory runs out (init leaves
// the record empty); an index must name an element in use (checked in Debug and sanitizer
// builds).
VLK_IntArray* VLK_IntArray_new();
VLK_IntArray* VLK_IntArray_news(size_t n);
VLK_IntArray* VLK_IntArray_init(VLK_IntArray* a, size_t n);
void VLK_IntArray_delete(VLK_IntArray* a);
VLK_IntArray* VLK_IntArray_new_ar(size_t n, size_t m);
void VLK_IntArray_delete_ar(VLK_IntArray* block, size_t n);
VLK_IntArray* VLK_IntArray_expand(VLK_IntArray* a, size_t k);
VLK_IntArray* VLK_IntArray_add(VLK_IntArray* a, int v);
VLK_IntArray* VLK_IntArray_push(VLK_IntArray* a, int v);
int VLK_IntArray_get(const VLK_IntArray* a, size_t i);
VLK_IntArray* VLK_IntArray_set(VLK_IntArray* a, size_t i, int v);
size_t VLK_IntArray_size(const VLK_IntArray* a);
void VLK_IntArray_clear(VLK_IntArray* a);
VLK_IntArray* VLK_IntArray_set_size(VLK_IntArray* a, size_t n);
long VLK_IntArray_find(const VLK_IntArray* a, int v);
int VLK_IntArray_remove(VLK_IntArray* a, size_t i);
VLK_IntArray* VLK_IntArray_insert(VLK_IntArray* a, size_t i, int v);
int VLK_IntArray_pop(VLK_IntArray* a);
int* VLK_IntArray_ptr(VLK_IntArray* a);
int VLK_IntArray_cmp(const void* a, const void* b);
void VLK_IntArray_sort(VLK_IntArray* a);
VLK_IntArray* VLK_IntArray_clone(const VLK_IntArray* a);
VLK_IntArray* VLK_IntArray_copy(const VLK_IntArray* src, VLK_IntArray* dst);
VLK_IntArray* VLK_IntArray_copy_add(const VLK_IntArray* src, VLK_IntArray* dst, int v);
VLK_IntArray* VLK_IntArray_copy_remove(const VLK_IntArray* src, VLK_IntArray* dst, size_t i);
VLK_IntArray* VLK_IntArray_add_nr(VLK_IntArray* a, int v);
VLK_IntArray* VLK_IntArray_add_ar(VLK_IntArray* a, const int* src, size_t n);
VLK_IntArray* VLK_IntArray_add_IntArray(VLK_IntArray* a, const VLK_IntArray* b);
VLK_IntArray* VLK_IntArray_add_IntArray_nr(VLK_IntArray* a, const VLK_IntArray* b);
VLK_IntArray* VLK_IntArray_reserve(VLK_IntArray* a, size_t n);
void VLK_IntArray_inc(VLK_IntArray* a, size_t i);
void VLK_IntArray_remove_value(VLK_IntArray* a, int v);
void VLK_IntArray_swap(VLK_IntArray* a, VLK_IntArray* b);
void VLK_IntArray_fill_zero(VLK_IntArray* a);
int VLK_IntArray_equal(const VLK_IntArray* a, const VLK_IntArray* b);
int VLK_IntArray_equal_ar(const VLK_IntArray* a, const int* src, size_t n);
int VLK_IntArray_max(const VLK_IntArray* a);
void VLK_IntArray_fprint(const VLK_IntArray* a, FILE* fp);
int* VLK_IntArray_gen_array(const VLK_IntArray* a);

// First-in first-out ring of int; element i (0 = oldest) is items[(head + i) % capacity].
struct VLK_IntQueue {
  int* items;
  size_t capacity;
  size_t head;
  size_t count;
};

VLK_IntQueue* VLK_IntQueue_new();
void VLK_IntQueue_init(VLK_IntQueue* q);
VLK_IntQueue* VLK_IntQueue_new_ar(size_t n);
void VLK_IntQueue_delete(VLK_IntQueue* q);
void VLK_IntQueue_delete_ar(VLK_IntQueue* block, size_t n);
void VLK_IntQueue_clear(VLK_IntQueue* q);
size_t VLK_IntQueue_size(const VLK_IntQueue* q);
int VLK_IntQueue_is_empty(const VLK_IntQueue* q);
VLK_IntQueue* VLK_IntQueue_expand(VLK_IntQueue* q, size_t k);
VLK_IntQueue* VLK_IntQueue_enqueue(VLK_IntQueue* q, int v);
int VLK_IntQueue_dequeue(VLK_IntQueue* q, int* v);
int VLK_IntQueue_get(const VLK_IntQueue* q, size_t i);
void VLK_IntQueue_fprint(const VLK_IntQueue* q, FILE* fp);
