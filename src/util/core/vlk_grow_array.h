// The one implementation behind every growable array of the library. Each named array type
// is an instance of GrowArray (standard layout: data, size, capacity) and each of its named
// operations is a thin wrapper over the templates below. The capacities are part of the
// contract (receive buffers and callers rely on them), so the block is managed with
// malloc/realloc rather than std::vector.
//
// Indexes are the caller's promise: checked builds (Debug, sanitizer) stop at a bad one with
// its place, Release trusts it. Failed allocations are always reported: null or false, with
// the array left as it was.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "vlk_check.h"

namespace vlk {

// Appends to a full array grow by max(size, 1): 1, 2, 4, 8, ...
struct FamilyGrowth {
  static constexpr size_t append(size_t size, size_t capacity) {
    return capacity + std::max<size_t>(size, 1);
  }
  static constexpr size_t expand(size_t capacity, size_t k) { return capacity + (k ? k : 1); }
};

// The float arrays of the exchanges start at 5 elements and then double.
struct FloatGrowth {
  static constexpr size_t append(size_t size, size_t) { return size ? 2 * size : 5; }
  static constexpr size_t expand(size_t capacity, size_t k) {
    return capacity + k ? capacity + k : 5;
  }
};

template <class T, class Growth = FamilyGrowth>
struct GrowArray {
  using value_type = T;
  using growth = Growth;
  T* data;
  size_t size;
  size_t capacity;
};

template <class A>
concept GrowArrayType = requires(A a) {
  typename A::value_type;
  typename A::growth;
  a.data;
  a.size;
  a.capacity;
};

template <GrowArrayType A>
using elem_t = typename A::value_type;

// Reallocates the block to exactly `capacity` elements; false (array untouched) on failure.
template <GrowArrayType A>
bool realloc_to(A* a, size_t capacity) {
  using T = elem_t<A>;
  static_assert(std::is_trivially_copyable_v<T>);
  if (capacity == 0) return true;
  if (capacity > std::numeric_limits<size_t>::max() / sizeof(T)) return false;
  void* block = std::realloc(a->data, capacity * sizeof(T));
  if (block == nullptr) return false;
  a->data = static_cast<T*>(block);
  a->capacity = capacity;
  return true;
}

// Grows to exactly n when the capacity is smaller.
template <GrowArrayType A>
bool reserve_exact(A* a, size_t n) {
  return n <= a->capacity || realloc_to(a, n);
}

// A new empty record with a block of `capacity` elements; null when either cannot be had.
template <GrowArrayType A>
A* make(size_t capacity = 0) {
  A* a = static_cast<A*>(std::calloc(1, sizeof(A)));
  if (a != nullptr && !realloc_to(a, capacity)) {
    std::free(a);
    return nullptr;
  }
  return a;
}

// Sets up a caller's record with a block of `capacity` elements; false (record empty, no
// block) when the block cannot be had.
template <GrowArrayType A>
bool init(A* a, size_t capacity) {
  a->data = nullptr;
  a->size = 0;
  a->capacity = 0;
  return realloc_to(a, capacity);
}

template <GrowArrayType A>
void release(A* a) {
  if (a == nullptr) return;
  std::free(a->data);
  a->data = nullptr;
  a->size = 0;
  a->capacity = 0;
}

template <GrowArrayType A>
void destroy(A* a) {
  if (a == nullptr) return;
  std::free(a->data);
  std::free(a);
}

template <GrowArrayType A>
void destroy_block(A* block, size_t n) {
  if (block == nullptr) return;
  for (size_t i = 0; i < n; ++i) std::free(block[i].data);
  std::free(block);
}

// A contiguous block of n records, each with capacity m; null (nothing left allocated) when
// the block or any record's elements cannot be had.
template <GrowArrayType A>
A* make_block(size_t n, size_t m) {
  A* block = static_cast<A*>(std::calloc(n ? n : 1, sizeof(A)));
  if (block == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    if (!init(&block[i], m)) {
      destroy_block(block, i);
      return nullptr;
    }
  }
  return block;
}

template <GrowArrayType A>
A* expand(A* a, size_t k) {
  return realloc_to(a, A::growth::expand(a->capacity, k)) ? a : nullptr;
}

template <GrowArrayType A>
bool make_room_for_one(A* a) {
  return a->size < a->capacity || realloc_to(a, A::growth::append(a->size, a->capacity));
}

template <GrowArrayType A>
A* append(A* a, elem_t<A> v) {
  if (!make_room_for_one(a)) return nullptr;
  a->data[a->size++] = v;
  return a;
}

// Appends n elements, growing to exactly size + n when needed.
template <GrowArrayType A>
A* append_n(A* a, const elem_t<A>* src, size_t n) {
  if (n > std::numeric_limits<size_t>::max() - a->size) return nullptr;
  if (!reserve_exact(a, a->size + n)) return nullptr;
  if (n) std::memcpy(a->data + a->size, src, n * sizeof(elem_t<A>));
  a->size += n;
  return a;
}

// Stores at i, doubling the capacity (from at least 1) until i fits; the gap stays as it was.
template <GrowArrayType A>
A* set_grow(A* a, size_t i, elem_t<A> v) {
  if (i >= a->capacity) {
    size_t capacity = std::max<size_t>(a->capacity, 1);
    while (capacity <= i) {
      if (capacity > std::numeric_limits<size_t>::max() / 2) return nullptr;
      capacity *= 2;
    }
    if (!realloc_to(a, capacity)) return nullptr;
  }
  a->data[i] = v;
  if (i >= a->size) a->size = i + 1;
  return a;
}

// Size n, growing to exactly n when needed; on failure the size is kept and null returned.
// `zero_new` clears the slots it opens (pointer arrays, so a later free never meets garbage).
template <GrowArrayType A>
A* set_size(A* a, size_t n, bool zero_new = false) {
  if (!reserve_exact(a, n)) return nullptr;
  if (zero_new && n > a->size)
    std::memset(static_cast<void*>(a->data + a->size), 0, (n - a->size) * sizeof(elem_t<A>));
  a->size = n;
  return a;
}

// Element i, which must be in use.
template <GrowArrayType A>
elem_t<A>& at(const A* a, size_t i) {
  check(i < a->size, "index below the size");
  return a->data[i];
}

// Stores v at i (0 <= i <= size) and moves the tail up by one.
template <GrowArrayType A>
A* insert(A* a, size_t i, elem_t<A> v) {
  check(i <= a->size, "insert position at most the size");
  if (!make_room_for_one(a)) return nullptr;
  std::memmove(a->data + i + 1, a->data + i, (a->size - i) * sizeof(elem_t<A>));
  a->data[i] = v;
  ++a->size;
  return a;
}

template <GrowArrayType A>
elem_t<A> remove_at(A* a, size_t i) {
  check(i < a->size, "removed index below the size");
  elem_t<A> v = a->data[i];
  std::memmove(a->data + i, a->data + i + 1, (a->size - i - 1) * sizeof(elem_t<A>));
  --a->size;
  return v;
}

template <GrowArrayType A>
elem_t<A> pop(A* a) {
  check(a->size > 0, "pop from a non-empty array");
  return a->data[--a->size];
}

template <GrowArrayType A, class Eq>
long find_if(const A* a, Eq eq) {
  for (size_t i = 0; i < a->size; ++i)
    if (eq(a->data[i])) return static_cast<long>(i);
  return -1;
}

template <GrowArrayType A>
long find(const A* a, elem_t<A> v) {
  return find_if(a, [v](elem_t<A> x) { return x == v; });
}

// dst receives src's elements; dst grows to exactly src's size when smaller.
template <GrowArrayType A>
A* copy_into(const A* src, A* dst) {
  if (src == dst) return dst;
  if (!reserve_exact(dst, src->size)) return nullptr;
  if (src->size) std::memcpy(dst->data, src->data, src->size * sizeof(elem_t<A>));
  dst->size = src->size;
  return dst;
}

// A new array with capacity = size and the same elements.
template <GrowArrayType A>
A* clone(const A* src) {
  A* a = make<A>(src->size);
  if (a == nullptr) return nullptr;
  if (src->size) std::memcpy(a->data, src->data, src->size * sizeof(elem_t<A>));
  a->size = src->size;
  return a;
}

template <GrowArrayType A>
void swap(A* a, A* b) {
  std::swap(a->data, b->data);
  std::swap(a->size, b->size);
  std::swap(a->capacity, b->capacity);
}

// Three-way comparison that cannot overflow, for qsort.
template <class T>
int cmp3(T a, T b) {
  return (a > b) - (a < b);
}

}  // namespace vlk
