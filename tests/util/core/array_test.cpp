#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <vector>

#include "VLK_Array.h"
#include "VLK_DoubleArray.h"
#include "VLK_IntArray.h"
#include "VLK_StrArray.h"
#include "VLK_UShortArray.h"
#include "vlk_check.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

template <class A>
std::vector<size_t> capacities_after_appends(A* a, int n) {
  std::vector<size_t> caps;
  for (int i = 0; i < n; ++i) {
    vlk::append(a, static_cast<typename A::value_type>(i));
    caps.push_back(a->capacity);
  }
  return caps;
}

std::vector<int> elems(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

}  // namespace

TEST(Growth, AppendSequencesPerFamily) {
  const std::vector<size_t> family{1, 2, 4, 4, 8, 8, 8, 8, 16};
  VLK_IntArray* i = VLK_IntArray_new();
  EXPECT_EQ(capacities_after_appends(i, 9), family);
  VLK_DoubleArray* d = VLK_DoubleArray_new();
  EXPECT_EQ(capacities_after_appends(d, 9), family);
  VLK_UShortArray* u = VLK_UShortArray_new();
  EXPECT_EQ(capacities_after_appends(u, 9), family);
  VLK_FloatArray* f = VLK_FloatArray_new();
  EXPECT_EQ(capacities_after_appends(f, 11),
            (std::vector<size_t>{5, 5, 5, 5, 5, 10, 10, 10, 10, 10, 20}));
  VLK_Array* p = VLK_Array_new();
  for (int k = 0; k < 5; ++k) VLK_Array_add(p, nullptr);
  EXPECT_EQ(p->capacity, 8u);
  VLK_IntArray_delete(i);
  VLK_DoubleArray_delete(d);
  VLK_UShortArray_delete(u);
  VLK_FloatArray_delete(f);
  VLK_Array_delete(p);
}

TEST(Growth, ExactAndDoublingRules) {
  struct Case {
    const char* what;
    size_t start_capacity;
    size_t start_size;
    std::function<void(VLK_IntArray*)> op;
    size_t capacity;
    size_t size;
  };
  const std::vector<Case> cases = {
      {"expand by 3", 2, 0, [](VLK_IntArray* a) { VLK_IntArray_expand(a, 3); }, 5, 0},
      {"expand by 0 means 1", 2, 0, [](VLK_IntArray* a) { VLK_IntArray_expand(a, 0); }, 3, 0},
      {"set 10 on empty", 0, 0, [](VLK_IntArray* a) { VLK_IntArray_set(a, 10, 7); }, 16, 11},
      {"set 4 at capacity 4", 4, 4, [](VLK_IntArray* a) { VLK_IntArray_set(a, 4, 7); }, 8, 5},
      {"set inside keeps size", 8, 6, [](VLK_IntArray* a) { VLK_IntArray_set(a, 2, 7); }, 8, 6},
      {"set_size grows exactly", 4, 1, [](VLK_IntArray* a) { VLK_IntArray_set_size(a, 13); }, 13,
       13},
      {"set_size never shrinks", 8, 5, [](VLK_IntArray* a) { VLK_IntArray_set_size(a, 0); }, 8, 0},
      {"reserve grows exactly", 2, 2, [](VLK_IntArray* a) { VLK_IntArray_reserve(a, 9); }, 9, 2},
      {"reserve below is a no-op", 8, 2, [](VLK_IntArray* a) { VLK_IntArray_reserve(a, 3); }, 8, 2},
      {"add_ar grows to size + n", 4, 4,
       [](VLK_IntArray* a) {
         const int src[3] = {1, 2, 3};
         VLK_IntArray_add_ar(a, src, 3);
       },
       7, 7},
      {"clear keeps capacity", 8, 5, [](VLK_IntArray* a) { VLK_IntArray_clear(a); }, 8, 0},
      {"insert into full array", 4, 4, [](VLK_IntArray* a) { VLK_IntArray_insert(a, 1, 9); }, 8, 5},
  };
  for (const Case& c : cases) {
    VLK_IntArray* a = VLK_IntArray_news(c.start_capacity);
    for (size_t k = 0; k < c.start_size; ++k) a->data[k] = static_cast<int>(k);
    a->size = c.start_size;
    c.op(a);
    EXPECT_EQ(a->capacity, c.capacity) << c.what;
    EXPECT_EQ(a->size, c.size) << c.what;
    VLK_IntArray_delete(a);
  }
}

TEST(Growth, CopiesReuseAndGrowExactly) {
  const int v[5] = {5, 4, 3, 2, 1};
  VLK_IntArray* src = VLK_IntArray_new();
  VLK_IntArray_add_ar(src, v, 5);
  VLK_IntArray* dst = VLK_IntArray_news(2);
  VLK_IntArray_copy(src, dst);
  EXPECT_EQ(dst->capacity, 5u);
  EXPECT_EQ(elems(dst), (std::vector<int>{5, 4, 3, 2, 1}));
  VLK_IntArray_copy_add(src, dst, 9);
  EXPECT_EQ(dst->capacity, 6u);
  EXPECT_EQ(elems(dst), (std::vector<int>{5, 4, 3, 2, 1, 9}));
  VLK_IntArray_copy_remove(src, dst, 0);
  EXPECT_EQ(dst->capacity, 6u);  // large enough: reused
  EXPECT_EQ(elems(dst), (std::vector<int>{4, 3, 2, 1}));
  VLK_IntArray_copy_remove(src, dst, 4);
  EXPECT_EQ(elems(dst), (std::vector<int>{5, 4, 3, 2}));
  VLK_IntArray* c = VLK_IntArray_clone(src);
  EXPECT_EQ(c->capacity, 5u);
  EXPECT_TRUE(VLK_IntArray_equal(c, src));
  // The floating exchange arrays follow the same exact rule for set_size.
  VLK_FloatArray* f = VLK_FloatArray_new();
  VLK_FloatArray_set_size(f, 3);
  EXPECT_EQ(f->capacity, 3u);
  VLK_FloatArray_set(f, 10, 1.f);
  EXPECT_EQ(f->capacity, 12u);  // 3 doubled until it exceeds 10
  EXPECT_EQ(f->size, 11u);
  VLK_FloatArray_expand(f, 0);
  EXPECT_EQ(f->capacity, 12u);  // capacity + 0 is not 0: unchanged
  VLK_FloatArray* g = VLK_FloatArray_new();
  VLK_FloatArray_expand(g, 0);
  EXPECT_EQ(g->capacity, 5u);
  for (auto* a : {src, dst, c}) VLK_IntArray_delete(a);
  VLK_FloatArray_delete(f);
  VLK_FloatArray_delete(g);
}

TEST(IntArray, EditingAndSearch) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (int v : {3, 1, 4, 1, 5}) VLK_IntArray_add(a, v);
  EXPECT_EQ(VLK_IntArray_find(a, 1), 1);
  EXPECT_EQ(VLK_IntArray_find(a, 9), -1);
  VLK_IntArray_insert(a, 5, 9);  // at the end
  VLK_IntArray_insert(a, 0, 0);
  EXPECT_EQ(elems(a), (std::vector<int>{0, 3, 1, 4, 1, 5, 9}));
  EXPECT_EQ(VLK_IntArray_remove(a, 2), 1);
  VLK_IntArray_remove_value(a, 1);
  VLK_IntArray_remove_value(a, 42);
  EXPECT_EQ(elems(a), (std::vector<int>{0, 3, 4, 5, 9}));
  EXPECT_EQ(VLK_IntArray_pop(a), 9);
  VLK_IntArray_add_nr(a, 3);
  VLK_IntArray_add_nr(a, 7);
  VLK_IntArray_inc(a, 0);
  EXPECT_EQ(elems(a), (std::vector<int>{1, 3, 4, 5, 7}));
  VLK_IntArray* b = VLK_IntArray_new();
  for (int v : {7, 8, 8, 2}) VLK_IntArray_add(b, v);
  VLK_IntArray_add_IntArray_nr(a, b);
  EXPECT_EQ(elems(a), (std::vector<int>{1, 3, 4, 5, 7, 8, 2}));
  VLK_IntArray_add_IntArray(b, b);
  EXPECT_EQ(elems(b), (std::vector<int>{7, 8, 8, 2, 7, 8, 8, 2}));
  int* plain = VLK_IntArray_gen_array(b);
  EXPECT_TRUE(VLK_IntArray_equal_ar(b, plain, 8));
  EXPECT_FALSE(VLK_IntArray_equal_ar(b, plain, 7));
  std::free(plain);
  VLK_IntArray_fill_zero(b);
  EXPECT_EQ(elems(b), std::vector<int>(8, 0));
  VLK_IntArray_delete(a);
  VLK_IntArray_delete(b);
}

TEST(IntArray, SortCannotOverflowAndMaxReadsTheArray) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (int v : {INT_MAX, INT_MIN, 0, -1, INT_MAX - 1, INT_MIN + 1}) VLK_IntArray_add(a, v);
  VLK_IntArray_sort(a);
  EXPECT_EQ(elems(a), (std::vector<int>{INT_MIN, INT_MIN + 1, -1, 0, INT_MAX - 1, INT_MAX}));
  EXPECT_EQ(VLK_IntArray_max(a), INT_MAX);
  VLK_IntArray_clear(a);
  EXPECT_EQ(VLK_IntArray_max(a), -2147483647);
  VLK_IntArray_add(a, INT_MIN);
  EXPECT_EQ(VLK_IntArray_max(a), INT_MIN);
  VLK_IntArray_delete(a);
}

TEST(IntArray, SwapCarriesCapacities) {
  VLK_IntArray* a = VLK_IntArray_news(1);
  VLK_IntArray* b = VLK_IntArray_news(16);
  VLK_IntArray_add(a, 1);
  VLK_IntArray_swap(a, b);
  EXPECT_EQ(a->capacity, 16u);
  EXPECT_EQ(b->capacity, 1u);
  for (int i = 0; i < 40; ++i) {  // the sanitizer build catches a write past either block
    VLK_IntArray_add(a, i);
    VLK_IntArray_add(b, i);
  }
  EXPECT_EQ(a->size, 40u);
  EXPECT_EQ(b->size, 41u);
  VLK_IntArray_delete(a);
  VLK_IntArray_delete(b);
}

TEST(Printing, ArraysAndRegistryForms) {
  VLK_IntArray* a = VLK_IntArray_new();
  EXPECT_EQ(capture([&](FILE* fp) { VLK_IntArray_fprint(a, fp); }), "");
  VLK_IntArray_add(a, 3);
  VLK_IntArray_add(a, 1);
  EXPECT_EQ(capture([&](FILE* fp) { VLK_IntArray_fprint(a, fp); }), "3, 1");
  VLK_DoubleArray* d = VLK_DoubleArray_new_str("1.5:2:3");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(capture([&](FILE* fp) { VLK_DoubleArray_fprint_v(d, fp); }),
            "1.500000:2.000000:3.000000");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_DoubleArray_fprint(d, fp); }),
            "1.500000, 2.000000, 3.000000");
  VLK_Array* p = VLK_Array_new();
  VLK_Array_add(p, a);
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Array_fprint_v(p, fp); }), "(Array elm=1)");
  VLK_IntArray_delete(a);
  VLK_DoubleArray_delete_v(d);
  VLK_Array_delete(p);
}

TEST(DoubleArray, TextForm) {
  struct Case {
    const char* text;
    bool ok;
    std::vector<double> values;
  };
  const std::vector<Case> cases = {
      {"1.5:2:3", true, {1.5, 2, 3}},
      {"1abc:2", true, {1, 2}},
      {"-1e3", true, {-1000}},
      {"1::3", false, {}},
      {"1:", false, {}},
      {"", false, {}},
      {":1", false, {}},
      {"x", false, {}},
  };
  for (const Case& c : cases) {
    VLK_DoubleArray* a = VLK_DoubleArray_new_str(c.text);
    EXPECT_EQ(a != nullptr, c.ok) << c.text;
    if (a) {
      EXPECT_EQ(std::vector<double>(a->data, a->data + a->size), c.values) << c.text;
      VLK_DoubleArray_delete(a);
    }
    VLK_DoubleArray* b = VLK_DoubleArray_new();
    VLK_DoubleArray_add(b, 42);
    VLK_DoubleArray_set_str(b, c.text);
    EXPECT_EQ(std::vector<double>(b->data, b->data + b->size), c.values) << c.text;
    VLK_DoubleArray_delete(b);
  }
}

TEST(DoubleArray, MinFindAndRead) {
  VLK_DoubleArray* a = VLK_DoubleArray_new();
  EXPECT_EQ(VLK_DoubleArray_get_min(a), 0.0);
  for (double v : {2.5, -1.0, 7.0}) VLK_DoubleArray_add(a, v);
  EXPECT_EQ(VLK_DoubleArray_get_min(a), -1.0);
  EXPECT_EQ(VLK_DoubleArray_find(a, 7.0), 2);
  EXPECT_EQ(VLK_DoubleArray_find(a, 7.5), -1);
  char buf[16];
  EXPECT_EQ(VLK_DoubleArray_read(a, 0, buf), buf + 8);
  double back;
  std::memcpy(&back, buf, 8);
  EXPECT_EQ(back, 2.5);
  VLK_DoubleArray* c = VLK_DoubleArray_copy(a);
  EXPECT_EQ(c->capacity, 3u);
  EXPECT_EQ(c->data[1], -1.0);
  VLK_DoubleArray_delete(a);
  VLK_DoubleArray_delete(c);
}

TEST(PointerArray, OwnershipAndBlocks) {
  VLK_Array_delete(nullptr);
  VLK_Array_delete_all(nullptr);
  EXPECT_EQ(VLK_Array_clear_allf(nullptr, std::free), nullptr);

  static std::vector<int> freed;
  freed.clear();
  VLK_Array* a = VLK_Array_new();
  static int vals[3] = {10, 20, 30};
  for (int& v : vals) VLK_Array_add(a, &v);
  EXPECT_EQ(VLK_Array_find(a, &vals[1]), 1);
  EXPECT_EQ(VLK_Array_set(a, 3, nullptr), nullptr);  // no growth through set
  EXPECT_EQ(VLK_Array_remove(a, 0), &vals[0]);
  VLK_Array_insert(a, 0, &vals[0]);
  VLK_Array_clear_allf(a, [](void* p) { freed.push_back(*static_cast<int*>(p)); });
  EXPECT_EQ(freed, (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(a->size, 0u);
  VLK_Array_add(a, &vals[0]);
  VLK_Array_add(a, &vals[1]);
  VLK_Array_add_array(a, a);  // onto itself: one copy of what it held
  EXPECT_EQ(a->size, 4u);
  EXPECT_EQ(VLK_Array_get(a, 3), &vals[1]);
  VLK_Array_clear(a);
  VLK_Array_set_size(a, 4);  // opened slots are null, so freeing them all is safe
  VLK_Array_delete_all(a);

  VLK_Array* block = VLK_Array_new_ar(3, 2);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(block[i].capacity, 2u);
  VLK_Array_add(&block[1], nullptr);
  VLK_Array_add(&block[1], nullptr);
  VLK_Array_add(&block[1], nullptr);
  EXPECT_EQ(block[1].capacity, 4u);
  VLK_Array_release(&block[2]);
  EXPECT_EQ(block[2].data, nullptr);
  VLK_Array_delete_ar(block, 3);

  VLK_IntArray* ib = VLK_IntArray_new_ar(2, 3);
  VLK_IntArray_add(&ib[0], 5);
  VLK_IntArray_delete_ar(ib, 2);
}

TEST(PointerArray, SortWithCallerComparator) {
  VLK_Array* a = VLK_Array_new();
  static int vals[4] = {3, 1, 2, 0};
  for (int& v : vals) VLK_Array_add(a, &v);
  VLK_Array_sort(a, [](const void* x, const void* y) {
    const int l = **static_cast<int*const*>(x), r = **static_cast<int*const*>(y);
    return (l > r) - (l < r);
  });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(*static_cast<int*>(VLK_Array_get(a, i)), i);
  VLK_Array_delete(a);
}

TEST(IntQueue, MatchesDequeOnRandomOperations) {
  std::mt19937 gen(7);
  for (int round = 0; round < 50; ++round) {
    VLK_IntQueue* q = VLK_IntQueue_new();
    std::deque<int> ref;
    for (int step = 0; step < 400; ++step) {
      const int op = static_cast<int>(gen() % 10);
      if (op < 6) {
        const int v = static_cast<int>(gen() % 1000);
        ASSERT_NE(VLK_IntQueue_enqueue(q, v), nullptr);
        ref.push_back(v);
      } else if (op < 9) {
        int v = -1;
        const int empty = VLK_IntQueue_dequeue(q, &v);
        ASSERT_EQ(empty, ref.empty() ? 1 : 0);
        if (!ref.empty()) {
          ASSERT_EQ(v, ref.front());
          ref.pop_front();
        } else {
          ASSERT_EQ(v, -1);
        }
      } else {
        VLK_IntQueue_expand(q, gen() % 3);
      }
      ASSERT_EQ(VLK_IntQueue_size(q), ref.size());
      for (size_t i = 0; i < ref.size(); ++i) ASSERT_EQ(VLK_IntQueue_get(q, i), ref[i]);
    }
    VLK_IntQueue_delete(q);
  }
}

TEST(IntQueue, WrappedRingKeepsOrderWhenGrowing) {
  VLK_IntQueue* q = VLK_IntQueue_new();
  int v = 0;
  VLK_IntQueue_enqueue(q, 1);
  VLK_IntQueue_enqueue(q, 2);
  VLK_IntQueue_dequeue(q, &v);
  VLK_IntQueue_enqueue(q, 3);  // wraps to slot 0
  EXPECT_GT(q->head, 0u);
  VLK_IntQueue_enqueue(q, 4);  // grows while wrapped
  EXPECT_EQ(capture([&](FILE* fp) { VLK_IntQueue_fprint(q, fp); }), "2, 3, 4");
  std::vector<int> out;
  while (VLK_IntQueue_dequeue(q, &v) == 0) out.push_back(v);
  EXPECT_EQ(out, (std::vector<int>{2, 3, 4}));
  EXPECT_TRUE(VLK_IntQueue_is_empty(q));
  VLK_IntQueue_clear(q);
  EXPECT_EQ(q->head, 0u);
  VLK_IntQueue_delete(q);
  VLK_IntQueue* block = VLK_IntQueue_new_ar(3);
  VLK_IntQueue_enqueue(&block[2], 5);
  VLK_IntQueue_init(&block[0]);
  VLK_IntQueue_delete_ar(block, 3);
}

TEST(ExchangeArrays, SetRangeAndReserve) {
  VLK_UShortArray* src = VLK_UShortArray_new();
  for (unsigned short v : {1, 2, 3}) VLK_UShortArray_add(src, v);
  VLK_UShortArray* a = VLK_UShortArray_new();
  VLK_UShortArray_set_ar(a, 2, src, 3);
  EXPECT_EQ(a->size, 5u);
  EXPECT_EQ(a->capacity, 5u);
  EXPECT_EQ(VLK_UShortArray_get(a, 4), 3);
  VLK_UShortArray_set_ar(a, 7, src, 0);  // count 0 raises the size only
  EXPECT_EQ(a->size, 7u);
  EXPECT_EQ(VLK_UShortArray_get(a, 2), 1);
  EXPECT_EQ(VLK_UShortArray_reserve(a, 3), 0);
  EXPECT_EQ(a->capacity, 7u);
  VLK_UShortArray_reserve(a, 20);
  EXPECT_EQ(a->capacity, 20u);
  VLK_UShortArray_set_size(a, 0);
  EXPECT_EQ(a->capacity, 20u);
  VLK_UShortArray* block = VLK_UShortArray_new_ar(3);
  VLK_UShortArray_add(&block[1], 65535);
  EXPECT_EQ(VLK_UShortArray_ptr(&block[1])[0], 65535);
  VLK_UShortArray_delete_ar(block, 3);

  VLK_FloatArray* fs = VLK_FloatArray_new();
  VLK_FloatArray_add(fs, 0.5f);
  VLK_FloatArray* f = VLK_FloatArray_new();
  VLK_FloatArray_set_ar(f, 1, fs, 1);
  EXPECT_EQ(f->size, 2u);
  EXPECT_EQ(VLK_FloatArray_ptr(f)[1], 0.5f);
  VLK_UShortArray_delete(src);
  VLK_UShortArray_delete(a);
  VLK_FloatArray_delete(fs);
  VLK_FloatArray_delete(f);
}

TEST(FailedGrowth, LeavesTheArrayAsItWas) {
  // A request no allocator can meet: the size stays and the call reports the failure.
  VLK_IntArray* a = VLK_IntArray_new();
  VLK_IntArray_add(a, 1);
  EXPECT_EQ(VLK_IntArray_set_size(a, SIZE_MAX / 2), nullptr);
  EXPECT_EQ(a->size, 1u);
  EXPECT_EQ(a->capacity, 1u);
  EXPECT_EQ(VLK_IntArray_expand(a, SIZE_MAX / 8), nullptr);
  EXPECT_EQ(VLK_IntArray_set(a, SIZE_MAX / 2, 3), nullptr);
  EXPECT_EQ(a->size, 1u);
  VLK_UShortArray* u = VLK_UShortArray_new();
  EXPECT_EQ(VLK_UShortArray_set_size(u, SIZE_MAX / 2), nullptr);
  EXPECT_EQ(u->size, 0u);
  EXPECT_EQ(VLK_UShortArray_reserve(u, SIZE_MAX / 4), -1);
  EXPECT_EQ(u->capacity, 0u);
  VLK_UShortArray_add(u, 7);
  EXPECT_EQ(VLK_UShortArray_set_ar(u, SIZE_MAX, u, 1), nullptr);  // off + count overflows
  EXPECT_EQ(u->size, 1u);
  VLK_IntQueue* q = VLK_IntQueue_new();
  VLK_IntQueue_enqueue(q, 1);
  EXPECT_EQ(VLK_IntQueue_expand(q, SIZE_MAX), nullptr);
  EXPECT_EQ(VLK_IntQueue_size(q), 1u);
  VLK_IntArray_delete(a);
  VLK_UShortArray_delete(u);
  VLK_IntQueue_delete(q);
}

TEST(FailedGrowth, ConstructorsReportIt) {
  // Sizes past the overflow guard reach the allocator, which cannot meet them.
  constexpr size_t kHuge = SIZE_MAX / 16;
  EXPECT_EQ(VLK_Array_news(kHuge), nullptr);
  EXPECT_EQ(VLK_IntArray_news(kHuge), nullptr);
  EXPECT_EQ(VLK_DoubleArray_news(kHuge), nullptr);
  EXPECT_EQ(VLK_StrArray_news(kHuge), nullptr);
  EXPECT_EQ(VLK_Array_new_ar(3, kHuge), nullptr);     // a record's elements
  EXPECT_EQ(VLK_IntArray_new_ar(kHuge, 1), nullptr);  // the block of records
  EXPECT_EQ(VLK_DoubleArray_new_ar(2, kHuge), nullptr);
  EXPECT_EQ(VLK_UShortArray_new_ar(kHuge), nullptr);
  EXPECT_EQ(VLK_StrArray_new_ar(kHuge), nullptr);

  VLK_IntArray rec{};
  EXPECT_EQ(VLK_IntArray_init(&rec, kHuge), nullptr);
  EXPECT_EQ(rec.data, nullptr);
  EXPECT_EQ(rec.capacity, 0u);
  EXPECT_EQ(VLK_IntArray_init(&rec, 3), &rec);
  EXPECT_EQ(rec.capacity, 3u);
  VLK_Array prec{};
  EXPECT_EQ(VLK_Array_init(&prec, kHuge), nullptr);
  VLK_DoubleArray drec{};
  EXPECT_EQ(VLK_DoubleArray_init(&drec, kHuge), nullptr);
  std::free(rec.data);
}

namespace {

// A misuse that checked builds stop with its place; Release builds compile the check out.
struct Misuse {
  const char* what;
  std::function<void()> call;
};

void expect_checked(const std::vector<Misuse>& cases) {
  if (!vlk::checks_on) GTEST_SKIP() << "checks are compiled out in this build";
  for (const Misuse& m : cases) EXPECT_DEATH(m.call(), "check failed: ") << m.what;
}

}  // namespace

TEST(CheckedIndexes, MisuseStopsInCheckedBuilds) {
  expect_checked({
      {"pop of an empty int array", [] { VLK_IntArray_pop(VLK_IntArray_new()); }},
      {"pop of an empty pointer array", [] { VLK_Array_pop(VLK_Array_new()); }},
      {"remove from an empty array", [] { VLK_IntArray_remove(VLK_IntArray_new(), 0); }},
      {"remove at the size",
       [] {
         VLK_Array* a = VLK_Array_new();
         VLK_Array_add(a, nullptr);
         VLK_Array_remove(a, 1);
       }},
      {"remove a string from an empty array",
       [] { VLK_StrArray_remove_elm(VLK_StrArray_new(), 0); }},
      {"insert past the end",
       [] {
         VLK_IntArray* a = VLK_IntArray_new();
         VLK_IntArray_add(a, 1);
         VLK_IntArray_insert(a, 2, 5);
       }},
      {"get at the size",
       [] {
         VLK_DoubleArray* a = VLK_DoubleArray_news(4);  // capacity is not size
         VLK_DoubleArray_get(a, 0);
       }},
      {"inc past the end", [] { VLK_IntArray_inc(VLK_IntArray_new(), 0); }},
      {"string get past the end", [] { VLK_StrArray_get(VLK_StrArray_news(2), 1); }},
      {"copy without an element of an empty array",
       [] { VLK_IntArray_copy_remove(VLK_IntArray_new(), VLK_IntArray_new(), 0); }},
      {"range copy longer than its source",
       [] {
         VLK_UShortArray* src = VLK_UShortArray_new();
         VLK_UShortArray_add(src, 1);
         VLK_UShortArray_set_ar(VLK_UShortArray_new(), 0, src, 2);
       }},
      {"float get past the end", [] { VLK_FloatArray_get(VLK_FloatArray_new(), 0); }},
      {"queue position past the count",
       [] {
         VLK_IntQueue* q = VLK_IntQueue_new();
         VLK_IntQueue_enqueue(q, 1);
         VLK_IntQueue_get(q, 1);
       }},
  });
}
