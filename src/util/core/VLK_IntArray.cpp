#include "VLK_IntArray.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

VLK_IntArray* VLK_IntArray_new() { return vlk::make<VLK_IntArray>(); }
VLK_IntArray* VLK_IntArray_news(size_t n) { return vlk::make<VLK_IntArray>(n); }
VLK_IntArray* VLK_IntArray_init(VLK_IntArray* a, size_t n) { return vlk::init(a, n) ? a : nullptr; }
void VLK_IntArray_delete(VLK_IntArray* a) { vlk::destroy(a); }
VLK_IntArray* VLK_IntArray_new_ar(size_t n, size_t m) {
  return vlk::make_block<VLK_IntArray>(n, m);
}
void VLK_IntArray_delete_ar(VLK_IntArray* block, size_t n) { vlk::destroy_block(block, n); }
VLK_IntArray* VLK_IntArray_expand(VLK_IntArray* a, size_t k) { return vlk::expand(a, k); }
VLK_IntArray* VLK_IntArray_add(VLK_IntArray* a, int v) { return vlk::append(a, v); }
VLK_IntArray* VLK_IntArray_push(VLK_IntArray* a, int v) { return vlk::append(a, v); }
int VLK_IntArray_get(const VLK_IntArray* a, size_t i) { return vlk::at(a, i); }
VLK_IntArray* VLK_IntArray_set(VLK_IntArray* a, size_t i, int v) { return vlk::set_grow(a, i, v); }
size_t VLK_IntArray_size(const VLK_IntArray* a) { return a->size; }
void VLK_IntArray_clear(VLK_IntArray* a) { a->size = 0; }
VLK_IntArray* VLK_IntArray_set_size(VLK_IntArray* a, size_t n) { return vlk::set_size(a, n); }
long VLK_IntArray_find(const VLK_IntArray* a, int v) { return vlk::find(a, v); }
int VLK_IntArray_remove(VLK_IntArray* a, size_t i) { return vlk::remove_at(a, i); }
VLK_IntArray* VLK_IntArray_insert(VLK_IntArray* a, size_t i, int v) { return vlk::insert(a, i, v); }
int VLK_IntArray_pop(VLK_IntArray* a) { return vlk::pop(a); }
int* VLK_IntArray_ptr(VLK_IntArray* a) { return a->data; }

int VLK_IntArray_cmp(const void* a, const void* b) {
  return vlk::cmp3(*static_cast<const int*>(a), *static_cast<const int*>(b));
}

void VLK_IntArray_sort(VLK_IntArray* a) {
  if (a->size > 1) std::qsort(a->data, a->size, sizeof(int), VLK_IntArray_cmp);
}

VLK_IntArray* VLK_IntArray_clone(const VLK_IntArray* a) { return vlk::clone(a); }

VLK_IntArray* VLK_IntArray_copy(const VLK_IntArray* src, VLK_IntArray* dst) {
  return vlk::copy_into(src, dst);
}

VLK_IntArray* VLK_IntArray_copy_add(const VLK_IntArray* src, VLK_IntArray* dst, int v) {
  if (!vlk::reserve_exact(dst, src->size + 1)) return nullptr;
  if (src != dst) vlk::copy_into(src, dst);
  dst->data[dst->size++] = v;
  return dst;
}

VLK_IntArray* VLK_IntArray_copy_remove(const VLK_IntArray* src, VLK_IntArray* dst, size_t i) {
  vlk::check(i < src->size, "removed index below the size");
  if (src == dst) {
    vlk::remove_at(dst, i);
    return dst;
  }
  if (!vlk::reserve_exact(dst, src->size - 1)) return nullptr;
  std::copy(src->data, src->data + i, dst->data);
  std::copy(src->data + i + 1, src->data + src->size, dst->data + i);
  dst->size = src->size - 1;
  return dst;
}

VLK_IntArray* VLK_IntArray_add_nr(VLK_IntArray* a, int v) {
  return vlk::find(a, v) >= 0 ? a : vlk::append(a, v);
}

VLK_IntArray* VLK_IntArray_add_ar(VLK_IntArray* a, const int* src, size_t n) {
  return vlk::append_n(a, src, n);
}

VLK_IntArray* VLK_IntArray_add_IntArray(VLK_IntArray* a, const VLK_IntArray* b) {
  if (a == b) {  // appending an array to itself reads a block that may move
    const size_t n = b->size;
    if (!vlk::reserve_exact(a, 2 * n)) return nullptr;
    std::copy(a->data, a->data + n, a->data + n);
    a->size = 2 * n;
    return a;
  }
  return vlk::append_n(a, b->data, b->size);
}

VLK_IntArray* VLK_IntArray_add_IntArray_nr(VLK_IntArray* a, const VLK_IntArray* b) {
  const size_t n = b->size;  // a == b adds nothing, every element is already present
  for (size_t i = 0; i < n; ++i)
    if (VLK_IntArray_add_nr(a, b->data[i]) == nullptr) return nullptr;
  return a;
}

VLK_IntArray* VLK_IntArray_reserve(VLK_IntArray* a, size_t n) {
  return vlk::reserve_exact(a, n) ? a : nullptr;
}

void VLK_IntArray_inc(VLK_IntArray* a, size_t i) { ++vlk::at(a, i); }

void VLK_IntArray_remove_value(VLK_IntArray* a, int v) {
  const long i = vlk::find(a, v);
  if (i >= 0) vlk::remove_at(a, static_cast<size_t>(i));
}

void VLK_IntArray_swap(VLK_IntArray* a, VLK_IntArray* b) { vlk::swap(a, b); }

void VLK_IntArray_fill_zero(VLK_IntArray* a) { std::fill_n(a->data, a->size, 0); }

int VLK_IntArray_equal(const VLK_IntArray* a, const VLK_IntArray* b) {
  return VLK_IntArray_equal_ar(a, b->data, b->size);
}

int VLK_IntArray_equal_ar(const VLK_IntArray* a, const int* src, size_t n) {
  return a->size == n && std::equal(a->data, a->data + n, src);
}

int VLK_IntArray_max(const VLK_IntArray* a) {
  if (a->size == 0) return -INT_MAX;
  return *std::max_element(a->data, a->data + a->size);
}

void VLK_IntArray_fprint(const VLK_IntArray* a, FILE* fp) {
  for (size_t i = 0; i < a->size; ++i) std::fprintf(fp, i ? ", %d" : "%d", a->data[i]);
}

int* VLK_IntArray_gen_array(const VLK_IntArray* a) {
  int* out = static_cast<int*>(std::malloc((a->size ? a->size : 1) * sizeof(int)));
  if (out != nullptr) std::copy(a->data, a->data + a->size, out);
  return out;
}

// ---- ring queue ----

VLK_IntQueue* VLK_IntQueue_new() {
  return static_cast<VLK_IntQueue*>(std::calloc(1, sizeof(VLK_IntQueue)));
}

void VLK_IntQueue_init(VLK_IntQueue* q) { *q = VLK_IntQueue{nullptr, 0, 0, 0}; }

VLK_IntQueue* VLK_IntQueue_new_ar(size_t n) {
  return static_cast<VLK_IntQueue*>(std::calloc(n ? n : 1, sizeof(VLK_IntQueue)));
}

void VLK_IntQueue_delete(VLK_IntQueue* q) {
  if (q == nullptr) return;
  std::free(q->items);
  std::free(q);
}

void VLK_IntQueue_delete_ar(VLK_IntQueue* block, size_t n) {
  if (block == nullptr) return;
  for (size_t i = 0; i < n; ++i) std::free(block[i].items);
  std::free(block);
}

void VLK_IntQueue_clear(VLK_IntQueue* q) { q->head = q->count = 0; }
size_t VLK_IntQueue_size(const VLK_IntQueue* q) { return q->count; }
int VLK_IntQueue_is_empty(const VLK_IntQueue* q) { return q->count == 0; }

VLK_IntQueue* VLK_IntQueue_expand(VLK_IntQueue* q, size_t k) {
  if (k == 0) k = 1;
  const size_t old = q->capacity;
  if (k > std::numeric_limits<size_t>::max() / sizeof(int) - old) return nullptr;
  void* block = std::realloc(q->items, (old + k) * sizeof(int));
  if (block == nullptr) return nullptr;
  q->items = static_cast<int*>(block);
  q->capacity = old + k;
  // A wrapped ring keeps its order: the run from head to the old end moves up by k.
  if (q->head + q->count > old) {
    std::memmove(q->items + q->head + k, q->items + q->head, (old - q->head) * sizeof(int));
    q->head += k;
  }
  return q;
}

VLK_IntQueue* VLK_IntQueue_enqueue(VLK_IntQueue* q, int v) {
  if (q->count == q->capacity && VLK_IntQueue_expand(q, q->capacity) == nullptr) return nullptr;
  q->items[(q->head + q->count) % q->capacity] = v;
  ++q->count;
  return q;
}

int VLK_IntQueue_dequeue(VLK_IntQueue* q, int* v) {
  if (q->count == 0) return 1;
  *v = q->items[q->head];
  if (++q->head == q->capacity) q->head = 0;
  --q->count;
  return 0;
}

int VLK_IntQueue_get(const VLK_IntQueue* q, size_t i) {
  vlk::check(i < q->count, "queue position below the count");
  return q->items[(q->head + i) % q->capacity];
}

void VLK_IntQueue_fprint(const VLK_IntQueue* q, FILE* fp) {
  for (size_t i = 0; i < q->count; ++i) std::fprintf(fp, i ? ", %d" : "%d", VLK_IntQueue_get(q, i));
}
