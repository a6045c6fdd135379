#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VLK_StrArray.h"
#include "vlk_test.h"

namespace {

std::vector<std::string> strs(const VLK_StrArray* a) {
  std::vector<std::string> out;
  for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i] ? a->data[i] : "<null>");
  return out;
}

VLK_StrArray* make(std::initializer_list<const char*> items) {
  VLK_StrArray* a = VLK_StrArray_new();
  for (const char* s : items) VLK_StrArray_add_copy(a, s);
  return a;
}

}  // namespace

TEST(StrArray, OwnershipOfAddedStrings) {
  VLK_StrArray* a = VLK_StrArray_new();
  char* owned = strdup("x");
  VLK_StrArray_add(a, owned);
  EXPECT_EQ(VLK_StrArray_get(a, 0), owned);  // taken, not copied
  const char* lit = "y";
  VLK_StrArray_add_copy(a, lit);
  EXPECT_NE(VLK_StrArray_get(a, 1), lit);
  char* dup = strdup("x");
  EXPECT_EQ(VLK_StrArray_add_nr(a, dup), a);  // equal string: not added, caller still owns it
  EXPECT_EQ(a->size, 2u);
  std::free(dup);
  char* z = strdup("z");
  VLK_StrArray_add_nr(a, z);
  EXPECT_EQ(VLK_StrArray_get(a, 2), z);
  EXPECT_EQ(VLK_StrArray_find_add(a, "y"), 1);
  EXPECT_EQ(VLK_StrArray_find_add(a, "w"), 3);
  EXPECT_EQ(strs(a), (std::vector<std::string>{"x", "y", "z", "w"}));
  char* removed = VLK_StrArray_remove(a, 0);  // slot removed, string kept
  EXPECT_STREQ(removed, "x");
  std::free(removed);
  VLK_StrArray_remove_elm(a, 0);  // string freed
  EXPECT_EQ(strs(a), (std::vector<std::string>{"z", "w"}));
  VLK_StrArray_delete_all(a);
  VLK_StrArray_delete_all(nullptr);
}

TEST(StrArray, SearchAndIndexes) {
  VLK_StrArray* a = make({"Gene", "b", "gene", "b", "c", "b"});
  EXPECT_EQ(VLK_StrArray_find(a, "gene"), 2);
  EXPECT_EQ(VLK_StrArray_find_case(a, "GENE"), 0);
  EXPECT_EQ(VLK_StrArray_find(a, "none"), -1);
  VLK_IntArray* idx = VLK_StrArray_collect_indexes(a, "b");
  EXPECT_EQ(std::vector<int>(idx->data, idx->data + idx->size), (std::vector<int>{1, 3, 5}));
  VLK_IntArray_delete(idx);
  VLK_StrArray_delete_all(a);
}

TEST(StrArray, ClonesAndCopies) {
  VLK_StrArray* a = make({"a", "", "ccc"});
  VLK_StrArray* c = VLK_StrArray_clone(a);
  EXPECT_EQ(c->capacity, 3u);
  EXPECT_EQ(strs(c), strs(a));
  EXPECT_NE(c->data[0], a->data[0]);

  VLK_StrArray* dst = make({"old1", "old2"});
  VLK_StrArray_copy_all(a, dst);
  EXPECT_EQ(strs(dst), strs(a));
  EXPECT_EQ(dst->capacity, 3u);     // grown by the shortfall
  VLK_StrArray_copy_all(dst, dst);  // onto itself: unchanged, nothing freed
  EXPECT_EQ(strs(dst), strs(a));

  VLK_StrArray* block = VLK_StrArray_new_ar(2);
  EXPECT_EQ(block[0].capacity, 1u);
  VLK_StrArray_add_copy(&block[1], "p");
  VLK_StrArray_add_copy(&block[1], "q");
  VLK_StrArray* block2 = VLK_StrArray_clone_ar(block, 2);
  EXPECT_EQ(strs(&block2[1]), (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(block2[0].size, 0u);
  VLK_StrArray_delete_ar_all(block, 2);
  VLK_StrArray_delete_ar_all(block2, 2);

  for (auto* x : {a, c, dst}) VLK_StrArray_delete_all(x);
}

TEST(StrArray, SetSizeOpensNullSlots) {
  VLK_StrArray* a = make({"a"});
  VLK_StrArray_set_size(a, 4);
  EXPECT_EQ(a->capacity, 4u);
  EXPECT_EQ(strs(a), (std::vector<std::string>{"a", "<null>", "<null>", "<null>"}));
  VLK_StrArray_set(a, 2, strdup("c"));
  EXPECT_EQ(VLK_StrArray_set(a, 4, nullptr), nullptr);
  EXPECT_EQ(VLK_StrArray_find(a, "c"), 2);  // null slots are skipped by the search
  VLK_StrArray_delete_v(a);                 // frees "a", "c" and the nulls safely
}

TEST(StrArray, RegistryPrintForm) {
  VLK_StrArray* a = make({"a", "b"});
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_StrArray_fprint_v(a, fp); }), "a:b");
  VLK_StrArray_clear_all(a);
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_StrArray_fprint_v(a, fp); }), "");
  VLK_StrArray_add(a, nullptr);  // a slot a caller left null prints as an empty string
  VLK_StrArray_add_copy(a, "x");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_StrArray_fprint_v(a, fp); }), ":x");
  VLK_StrArray_delete_all(a);
}
