#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VLK_DoubleArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Object.h"
#include "vlk_check.h"
#include "vlk_test.h"

namespace {

int* heap_int(int v) {
  int* p = static_cast<int*>(std::malloc(sizeof(int)));
  *p = v;
  return p;
}

std::string printed(const VLK_Object* box) {
  return vlk_test::capture([&](FILE* fp) { VLK_Object_fprint(box, fp); });
}

std::vector<int> ints_of(const VLK_ObjArray* a) {
  std::vector<int> out;
  for (size_t i = 0; i < VLK_ObjArray_size(a); ++i)
    out.push_back(VLK_Object_int_value(VLK_ObjArray_get(a, i), -99));
  return out;
}

int by_int(const void* a, const void* b) {
  const auto* x = *static_cast<VLK_Object* const*>(a);
  const auto* y = *static_cast<VLK_Object* const*>(b);
  return VLK_Type_compare(VLK_TYPE_INT, x->value, y->value);
}

}  // namespace

TEST(Object, TypedReadersConvertOnlyWhatTheyShould) {
  VLK_Object* i = VLK_Object_new_int(3);
  VLK_Object* d = VLK_Object_new_double(2.5);
  VLK_Object* s = VLK_Object_new_string("42.5");
  VLK_Object* e = VLK_Object_new();
  EXPECT_EQ(VLK_Object_type(i), 1);
  EXPECT_STREQ(VLK_Object_type_name(d), "double");
  EXPECT_EQ(VLK_Object_type(e), 0);
  EXPECT_EQ(VLK_Object_pointer(e), nullptr);

  EXPECT_EQ(VLK_Object_int_value(i, -1), 3);
  EXPECT_EQ(VLK_Object_int_value(s, -1), 42);  // atoi of the text
  EXPECT_EQ(VLK_Object_int_value(d, -1), -1);
  EXPECT_EQ(VLK_Object_double_value(i, -1.0), -1.0);  // an int box is not read as 3.0
  EXPECT_EQ(VLK_Object_double_value(d, -1.0), 2.5);
  EXPECT_EQ(VLK_Object_double_value(s, -1.0), 42.5);
  EXPECT_STREQ(VLK_Object_string_value(s, "dflt"), "42.5");
  EXPECT_STREQ(VLK_Object_string_value(i, "dflt"), "dflt");
  EXPECT_EQ(VLK_Object_get(i, 1), VLK_Object_ptr(i));
  EXPECT_EQ(VLK_Object_get(i, 4), nullptr);
  EXPECT_EQ(printed(i) + "|" + printed(d) + "|" + printed(s), "3|2.500000|42.5");

  VLK_Object* p = VLK_Object_new_by_string("1:2", VLK_TYPE_DOUBLEARRAY);
  EXPECT_EQ(VLK_Object_type(p), 10);
  EXPECT_EQ(printed(p), "1.000000:2.000000");
  VLK_Object* q = VLK_Object_new_by_string("7", VLK_TYPE_INT);
  EXPECT_EQ(VLK_Object_int_value(q, 0), 7);
  for (VLK_Object* box : {i, d, s, e, p, q}) VLK_Object_delete(box);
  VLK_Object_delete(nullptr);
}

TEST(Object, SetReleaseAndOwnership) {
  VLK_Object* box = VLK_Object_new();
  VLK_Object_set(box, heap_int(1), VLK_TYPE_INT);     // empty box: nothing to free
  VLK_Object_set(box, strdup("x"), VLK_TYPE_STRING);  // frees the int (leak check)
  EXPECT_STREQ(VLK_Object_string_value(box, nullptr), "x");
  void* old = VLK_Object_set_ret(box, heap_int(5), VLK_TYPE_INT);
  EXPECT_STREQ(static_cast<char*>(old), "x");  // handed back, not freed
  std::free(old);
  VLK_Object_release(box);
  EXPECT_EQ(box->value, nullptr);
  EXPECT_EQ(box->type, VLK_TYPE_NULL);

  // Boxes of the container types free their values through the registry.
  VLK_Object_set(box, VLK_KeyValues_parse("a=1,b={c}"), VLK_TYPE_KEYVALUES);
  VLK_Object_set(box, VLK_DoubleArray_new_str("1:2"), VLK_TYPE_DOUBLEARRAY);
  VLK_Object_delete(box);

  VLK_Object* keep = VLK_Object_new_value(heap_int(9), VLK_TYPE_INT);
  int* value = static_cast<int*>(VLK_Object_ptr(keep));
  VLK_Object_delete_ref(keep);  // the value survives
  EXPECT_EQ(*value, 9);
  std::free(value);
}

TEST(Object, ErrorBoxIsDeletable) {
  VLK_Object* e = VLK_Object_new_error(-7);
  EXPECT_EQ(VLK_Object_type(e), VLK_TYPE_ERROR);
  EXPECT_STREQ(VLK_Object_type_name(e), "ERROR");
  EXPECT_EQ(*static_cast<int*>(VLK_Object_ptr(e)), -7);
  VLK_Object_delete(e);  // no abort, no leak
  VLK_Object* f = VLK_Object_new_error(1);
  VLK_Object_set(f, heap_int(2), VLK_TYPE_INT);
  VLK_Object_release(f);
  VLK_Object_delete(f);
}

TEST(Object, CloneCopiesValues) {
  VLK_Object* s = VLK_Object_new_string("abc");
  VLK_Object* c = VLK_Object_clone(s);
  EXPECT_NE(VLK_Object_ptr(c), VLK_Object_ptr(s));
  EXPECT_STREQ(VLK_Object_string_value(c, nullptr), "abc");
  VLK_Object* d = VLK_Object_new_double(0.5);
  VLK_Object* dc = VLK_Object_clone(d);
  EXPECT_EQ(VLK_Object_double_value(dc, 0), 0.5);
  VLK_Object* empty = VLK_Object_new();
  VLK_Object* ec = VLK_Object_clone(empty);  // an empty box gives an empty box
  EXPECT_EQ(ec->value, nullptr);
  EXPECT_EQ(ec->type, VLK_TYPE_NULL);
  for (VLK_Object* box : {s, c, d, dc, empty, ec}) VLK_Object_delete(box);
}

// Boxes of the fatal paths stay reachable from here, so the ending child reports no leak.
VLK_Object* held = nullptr;

TEST(Object, FatalPaths) {
  EXPECT_FATAL_EXIT(
      {
        held = VLK_Object_new_value(VLK_KeyValues_new(), VLK_TYPE_KEYVALUES);
        VLK_Object_clone(held);
      },
      "FATAL ERROR: VLK_Type_clone(): Unsupported type: KeyValues\n");
  EXPECT_FATAL_ABORT(
      {
        held = VLK_Object_new_value(nullptr, VLK_TYPE_ARRAY);
        VLK_Object_delete(held);
      },
      "FATAL ERROR: VLK_Type_delete(): Unsupported type ID given: Array (8)\n");
  EXPECT_FATAL_EXIT(
      {
        held = VLK_Object_new_error(1);
        VLK_Object_fprint(held, stdout);
      },
      "FATAL ERROR: VLK_Type_fprint_value(): Unsupported type: ERROR\n");
}

TEST(ObjArray, OwnsItsBoxes) {
  VLK_ObjArray* a = VLK_ObjArray_new();
  std::vector<size_t> caps;
  for (int v : {5, 1, 4, 2, 3}) {
    VLK_ObjArray_add_type(a, heap_int(v), VLK_TYPE_INT);
    caps.push_back(a->capacity);
  }
  EXPECT_EQ(caps, (std::vector<size_t>{1, 2, 4, 4, 8}));  // the family growth rule
  VLK_ObjArray_sort(a, by_int);
  EXPECT_EQ(ints_of(a), (std::vector<int>{1, 2, 3, 4, 5}));

  VLK_ObjArray* c = VLK_ObjArray_clone(a);
  EXPECT_EQ(c->capacity, 5u);
  EXPECT_NE(VLK_ObjArray_get(c, 0), VLK_ObjArray_get(a, 0));
  EXPECT_NE(VLK_ObjArray_get(c, 0)->value, VLK_ObjArray_get(a, 0)->value);
  VLK_ObjArray_remove_obj(c, 0);  // box and value freed
  VLK_Object* taken = VLK_ObjArray_remove(c, 0);
  EXPECT_EQ(VLK_Object_int_value(taken, 0), 2);
  VLK_Object_delete(taken);
  EXPECT_EQ(ints_of(c), (std::vector<int>{3, 4, 5}));
  VLK_ObjArray_add_copy(c, VLK_ObjArray_get(a, 0));
  EXPECT_EQ(ints_of(c), (std::vector<int>{3, 4, 5, 1}));
  VLK_ObjArray_delete_all(c);

  // delete_ref frees the values and leaves the boxes empty, so deleting them later is safe.
  VLK_ObjArray_delete_ref(a);
  for (size_t i = 0; i < VLK_ObjArray_size(a); ++i) {
    EXPECT_EQ(VLK_ObjArray_get(a, i)->value, nullptr);
    EXPECT_EQ(VLK_ObjArray_get(a, i)->type, VLK_TYPE_NULL);
  }
  VLK_ObjArray_delete_all(a);
}

TEST(ObjArray, ClearKeepsBoxesClearAllDeletesThem) {
  VLK_ObjArray* a = VLK_ObjArray_news(3);
  ASSERT_EQ(a->capacity, 3u);
  VLK_Object* kept = VLK_Object_new_string("kept");
  VLK_ObjArray_add(a, kept);
  VLK_ObjArray_clear(a);
  EXPECT_EQ(VLK_ObjArray_size(a), 0u);
  EXPECT_STREQ(VLK_Object_string_value(kept, nullptr), "kept");  // still alive
  VLK_ObjArray_add(a, kept);
  VLK_ObjArray_add(a, VLK_Object_new_error(3));
  VLK_ObjArray_clear_all(a);  // both deleted with their values
  EXPECT_EQ(VLK_ObjArray_size(a), 0u);
  VLK_ObjArray_add(a, VLK_Object_new_int(1));
  VLK_Object* last = VLK_ObjArray_get(a, 0);
  VLK_ObjArray_delete(a);  // the array only
  VLK_Object_delete(last);
}

TEST(ObjArray, FailedAllocationIsReported) { EXPECT_EQ(VLK_ObjArray_news(SIZE_MAX / 16), nullptr); }

TEST(ObjArray, MisuseStopsInCheckedBuilds) {
  if (!vlk::checks_on) GTEST_SKIP() << "index checks are compiled out in this build";
  EXPECT_DEATH(VLK_ObjArray_remove(VLK_ObjArray_new(), 0), "check failed: ");
  EXPECT_DEATH(VLK_ObjArray_remove_obj(VLK_ObjArray_news(1), 0), "check failed: ");
  EXPECT_DEATH(VLK_ObjArray_get(VLK_ObjArray_new(), 0), "check failed: ");
}
