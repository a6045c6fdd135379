#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "VLK_KeyObjects.h"
#include "VLK_KeyValues.h"
#include "VLK_Type.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::KeyObjectsPtr;

std::string text_of(const VLK_KeyObjects* list) {
  return vlk_test::capture([&](FILE* fp) { VLK_KeyObjects_fprint(list, fp); });
}

using KvPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

// One entry of every kind a typed reader can meet.
KeyObjectsPtr typed_list() {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  VLK_KeyObjects_add_int(list.get(), "i", 7);
  VLK_KeyObjects_add_string(list.get(), "s", "12");
  VLK_KeyObjects_add_string(list.get(), "w", "word");
  VLK_KeyObjects_add_double(list.get(), "d", 2.5);
  VLK_KeyObjects_add(list.get(), "nul", nullptr);
  VLK_KeyObjects_add(list.get(), "empty", VLK_Object_new());
  return list;
}

}  // namespace

TEST(KeyObjectsRead, TypedReadersByKindOfEntry) {
  const KeyObjectsPtr list = typed_list();
  struct Case {
    const char* key;
    long index;
    int type;
    int as_int;  // default -1
  };
  const Case cases[] = {
      {"absent", -1, -1, -1},          {"i", 0, VLK_TYPE_INT, 7},     {"s", 1, VLK_TYPE_STRING, 12},
      {"w", 2, VLK_TYPE_STRING, 0},    {"d", 3, VLK_TYPE_DOUBLE, -1}, {"nul", 4, VLK_TYPE_NULL, -1},
      {"empty", 5, VLK_TYPE_NULL, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(VLK_KeyObjects_find(list.get(), c.key), c.index);
    EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), c.key, -1), c.as_int);
    if (c.index < 0) {
      EXPECT_EQ(VLK_KeyObjects_get(list.get(), c.key), nullptr);
      continue;
    }
    const size_t i = static_cast<size_t>(c.index);
    EXPECT_STREQ(VLK_KeyObjects_get_key(list.get(), i), c.key);
    EXPECT_EQ(VLK_KeyObjects_get_type(list.get(), i), c.type);
    EXPECT_EQ(VLK_KeyObjects_get_int_at(list.get(), i, -1), c.as_int);
    EXPECT_EQ(VLK_KeyObjects_get(list.get(), c.key), VLK_KeyObjects_get_value(list.get(), i));
    EXPECT_EQ(VLK_KeyObjects_get_const(list.get(), c.key),
              VLK_KeyObjects_get_const_value(list.get(), i));
  }
  EXPECT_EQ(VLK_KeyObjects_find(list.get(), nullptr), -1);
  EXPECT_EQ(VLK_KeyObjects_size(list.get()), 6u);
}

TEST(KeyObjectsEdit, DuplicateKeysAppendAndLookupsTakeTheFirst) {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  VLK_KeyObjects_add_int(list.get(), "a", 1);
  VLK_KeyObjects_add_int(list.get(), "a", 2);
  EXPECT_EQ(VLK_KeyObjects_size(list.get()), 2u);
  EXPECT_EQ(VLK_KeyObjects_find(list.get(), "a"), 0);
  EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), "a", 0), 1);
  VLK_KeyObjects_set_int(list.get(), "a", 10);  // changes only the first
  EXPECT_EQ(text_of(list.get()), "a=10, a=2");
  VLK_KeyObjects_remove_at(list.get(), 0);
  EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), "a", 0), 2);
}

TEST(KeyObjectsEdit, SetInPlaceAppendOrRetype) {
  KeyObjectsPtr list = typed_list();
  const VLK_Object* int_box = VLK_KeyObjects_get(list.get(), "i");
  // Same type: the box and its storage are kept.
  void* storage = int_box->value;
  VLK_KeyObjects_set_int(list.get(), "i", 70);
  EXPECT_EQ(VLK_KeyObjects_get(list.get(), "i"), int_box);
  EXPECT_EQ(int_box->value, storage);
  EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), "i", 0), 70);
  VLK_KeyObjects_set_double(list.get(), "d", -1.25);
  EXPECT_EQ(*static_cast<double*>(VLK_KeyObjects_get(list.get(), "d")->value), -1.25);

  // Another type: the value is replaced through the registry (the sanitizer build sees a write
  // of a double into an int's storage, or a leaked string, here).
  VLK_KeyObjects_set_double(list.get(), "i", 0.5);
  EXPECT_EQ(VLK_KeyObjects_get(list.get(), "i"), int_box);
  EXPECT_EQ(int_box->type, VLK_TYPE_DOUBLE);
  EXPECT_EQ(*static_cast<double*>(int_box->value), 0.5);
  VLK_KeyObjects_set_int(list.get(), "w", 3);
  EXPECT_EQ(VLK_KeyObjects_get_type(list.get(), 2), VLK_TYPE_INT);
  EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), "w", 0), 3);
  VLK_KeyObjects_set_int(list.get(), "empty", 4);  // a box without value gets one
  EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), "empty", 0), 4);
  EXPECT_EQ(VLK_KeyObjects_size(list.get()), 6u);

  // No entry, or an entry without box: a new entry at the end.
  VLK_KeyObjects_set_int(list.get(), "new", 5);
  VLK_KeyObjects_set_double(list.get(), "nul", 1.5);
  ASSERT_EQ(VLK_KeyObjects_size(list.get()), 8u);
  EXPECT_STREQ(VLK_KeyObjects_get_key(list.get(), 6), "new");
  EXPECT_EQ(VLK_KeyObjects_get_type(list.get(), 6), VLK_TYPE_INT);
  EXPECT_STREQ(VLK_KeyObjects_get_key(list.get(), 7), "nul");
  EXPECT_EQ(VLK_KeyObjects_get_type(list.get(), 7), VLK_TYPE_DOUBLE);
  EXPECT_EQ(VLK_KeyObjects_get(list.get(), "nul"), nullptr);  // the first "nul" still wins
}

TEST(KeyObjectsEdit, AddsTakeOverOrCopy) {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  char key[] = "k";
  char text[] = "abc";
  VLK_KeyObjects_add_string(list.get(), key, text);
  key[0] = 'x';
  text[0] = 'x';
  EXPECT_EQ(text_of(list.get()), "k=abc");
  VLK_KeyObjects_add_type(list.get(), "t", strdup("owned"), VLK_TYPE_STRING);
  VLK_KeyObjects_add_by_string(list.get(), "n", "42", VLK_TYPE_INT);
  VLK_KeyObjects_add_by_string(list.get(), "x", "2.5", VLK_TYPE_DOUBLE);
  EXPECT_EQ(VLK_KeyObjects_get_int(list.get(), "n", 0), 42);
  EXPECT_EQ(VLK_KeyObjects_get_type(list.get(), 3), VLK_TYPE_DOUBLE);
  EXPECT_EQ(text_of(list.get()), "k=abc, t=owned, n=42, x=2.500000");
}

TEST(KeyObjectsEdit, RemoveAtAndClear) {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  for (const char* k : {"a", "b", "c"}) VLK_KeyObjects_add_string(list.get(), k, k);
  VLK_KeyObjects_remove_at(list.get(), 3);  // == size: nothing
  EXPECT_EQ(VLK_KeyObjects_size(list.get()), 3u);
  VLK_KeyObjects_remove_at(list.get(), 1);
  EXPECT_EQ(text_of(list.get()), "a=a, c=c");
  VLK_KeyObjects_clear(list.get());
  EXPECT_EQ(VLK_KeyObjects_size(list.get()), 0u);
  EXPECT_EQ(text_of(list.get()), "");
  VLK_KeyObjects_add_int(list.get(), "z", 1);  // still usable
  EXPECT_EQ(text_of(list.get()), "z=1");
}

TEST(KeyObjectsText, PrintsEntriesSeparatedWithoutNewline) {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  VLK_KeyObjects_add_int(list.get(), "x", 3);
  VLK_KeyObjects_add_string(list.get(), "y", "b");
  EXPECT_EQ(text_of(list.get()), "x=3, y=b");
}

TEST(KeyObjectsCopy, CloneSharesNothing) {
  EXPECT_EQ(VLK_KeyObjects_clone(nullptr), nullptr);
  KeyObjectsPtr src(VLK_KeyObjects_new());
  VLK_KeyObjects_add_int(src.get(), "i", 1);
  VLK_KeyObjects_add_string(src.get(), "s", "v");
  VLK_KeyObjects_add(src.get(), "nul", nullptr);
  KeyObjectsPtr copy(VLK_KeyObjects_clone(src.get()));
  ASSERT_EQ(VLK_KeyObjects_size(copy.get()), 3u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NE(VLK_KeyObjects_get_key(copy.get(), i), VLK_KeyObjects_get_key(src.get(), i));
    EXPECT_NE(VLK_KeyObjects_get_value(copy.get(), i), VLK_KeyObjects_get_value(src.get(), i));
    EXPECT_NE(VLK_KeyObjects_get_value(copy.get(), i)->value,
              VLK_KeyObjects_get_value(src.get(), i)->value);
  }
  EXPECT_EQ(VLK_KeyObjects_get_value(copy.get(), 2), nullptr);
  VLK_KeyObjects_set_int(src.get(), "i", 9);
  src.reset();
  EXPECT_EQ(VLK_KeyObjects_get_int(copy.get(), "i", 0), 1);
  EXPECT_EQ(text_of(copy.get()), "i=1, s=v, nul=");
}

TEST(KeyObjectsCopy, AppendKeyObjectsIncludingItself) {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  VLK_KeyObjects_add_int(list.get(), "a", 1);
  KeyObjectsPtr other(VLK_KeyObjects_new());
  VLK_KeyObjects_add_string(other.get(), "b", "x");
  EXPECT_EQ(VLK_KeyObjects_append_KeyObjects(list.get(), other.get()), list.get());
  VLK_KeyObjects_append_KeyObjects(list.get(), list.get());
  EXPECT_EQ(text_of(list.get()), "a=1, b=x, a=1, b=x");
  EXPECT_NE(VLK_KeyObjects_get_value(list.get(), 1), VLK_KeyObjects_get_value(other.get(), 0));
}

TEST(KeyObjectsCopy, FromKeyValuesDeepCopiesByType) {
  KvPtr kv(VLK_KeyValues_parse("a=1,flag"));
  VLK_KeyValues_put_int(kv.get(), "n", 5);
  VLK_KeyValues_put_double(kv.get(), "d", 0.25);
  VLK_KeyValues_add(kv.get(), "sub", VLK_TYPE_KEYVALUES, VLK_KeyValues_parse("p=q"));
  KeyObjectsPtr list(VLK_KeyObjects_new_KeyValues(kv.get()));
  ASSERT_EQ(VLK_KeyObjects_size(list.get()), VLK_KeyValues_size(kv.get()));
  for (size_t i = 0; i < VLK_KeyValues_size(kv.get()); ++i) {
    EXPECT_STREQ(VLK_KeyObjects_get_key(list.get(), i), VLK_KeyValues_get_key(kv.get(), i));
    EXPECT_EQ(VLK_KeyObjects_get_type(list.get(), i), VLK_KeyValues_get_type(kv.get(), i));
    EXPECT_NE(VLK_KeyObjects_get_value(list.get(), i)->value, VLK_KeyValues_get_value(kv.get(), i));
  }
  VLK_KeyObjects_append_KeyValues(list.get(), kv.get());
  kv.reset();  // the copies outlive the source
  EXPECT_EQ(text_of(list.get()),
            "a=1, flag=on, n=5, d=0.250000, sub=p=q, a=1, flag=on, n=5, d=0.250000, sub=p=q");
  KeyObjectsPtr empty(VLK_KeyObjects_new_KeyValues(nullptr));
  EXPECT_EQ(VLK_KeyObjects_size(empty.get()), 0u);
}

TEST(KeyObjectsCheck, DumpsKeysAndTypes) {
  KeyObjectsPtr list(VLK_KeyObjects_new());
  VLK_KeyObjects_add_int(list.get(), "a", 1);
  VLK_KeyObjects_add_string(list.get(), "b", "x");
  vlk_test::CaptureErr err;
  VLK_KeyObjects_check_validity(list.get());
  EXPECT_EQ(err.text(), "[0] key=a\n[0] type=1\n[1] key=b\n[1] type=5\n");
}

TEST(KeyObjectsCheck, TypeOutsideTheRegistryAborts) {
  for (int bad : {44, 1000, -1}) {
    SCOPED_TRACE(bad);
    KeyObjectsPtr list(VLK_KeyObjects_new());
    VLK_KeyObjects_add_int(list.get(), "ok", 1);
    // A box of an unknown type owns nothing the registry could free: it holds no value.
    VLK_KeyObjects_add(list.get(), "bad", VLK_Object_new_value(nullptr, bad));
    EXPECT_FATAL_ABORT(VLK_KeyObjects_check_validity(list.get()),
                       "[0] key=ok\n[0] type=1\n[1] key=bad\n"
                       "FATAL ERROR: VLK_KeyObjects_check_validity(): Check Failed.\n");
    VLK_KeyObjects_get_value(list.get(), 1)->type = VLK_TYPE_NULL;  // let it be freed
  }
}
