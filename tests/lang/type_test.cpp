#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "VLK_Array.h"
#include "VLK_DoubleArray.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"
#include "VLK_Type.h"
#include "vlk_test.h"

namespace {

int i3 = 3, i3b = 3, i5 = 5;

}  // namespace

TEST(TypeRegistry, NamesByIdAndNullRows) {
  const char* names[VLK_TYPE_COUNT] = {
      "NULL",   "int",     "uint",      "float",       "double",   "string",    "char",
      "Object", "Array",   "IntArray",  "DoubleArray", "StrArray", "KeyValues", "Node",
      "Edge",   "Network", "DataFrame", "CSMLObject",  "Data"};
  names[39] = "Graph";
  names[40] = "AdjGraph";
  names[41] = "CompleteGraph";
  names[42] = "NONE";
  names[43] = "ERROR";
  for (int id = 0; id < VLK_TYPE_COUNT; ++id) {
    SCOPED_TRACE(id);
    if (names[id] == nullptr) {
      EXPECT_EQ(VLK_Type_db[id].name, nullptr);
    } else {
      ASSERT_NE(VLK_Type_db[id].name, nullptr);
      EXPECT_STREQ(VLK_Type_name(id), names[id]);
    }
  }
}

// The generic operations end the process exactly where a slot is null, so the filled slots
// are part of the contract: create, destroy, clone, new_str, cmp, fprint as six flags.
TEST(TypeRegistry, FilledSlotsByRow) {
  const auto mask = [](const VLK_TypeEntry& e) {
    return std::string{e.create ? 'c' : '.',  e.destroy ? 'd' : '.', e.clone ? 'k' : '.',
                       e.new_str ? 'n' : '.', e.cmp ? 'm' : '.',     e.fprint ? 'p' : '.'};
  };
  for (int id = 0; id < VLK_TYPE_COUNT; ++id) {
    std::string want = "......";
    switch (id) {
      case 0:
      case 2:
      case 3:
      case 6:
        want = ".d....";
        break;
      case 1:
      case 4:
      case 5:
        want = "cdknmp";
        break;
      case 7:
        want = "cd....";
        break;
      case 8:
        want = ".....p";
        break;
      case 10:
      case 11:
      case 12:
        want = ".d...p";
        break;
      default:
        break;
    }
    EXPECT_EQ(mask(VLK_Type_db[id]), want) << "id " << id;
  }
  EXPECT_EQ(VLK_Type_db[8].fprint, VLK_Array_fprint_v);
  EXPECT_EQ(VLK_Type_db[10].destroy, VLK_DoubleArray_delete_v);
  EXPECT_EQ(VLK_Type_db[10].fprint, VLK_DoubleArray_fprint_v);
  EXPECT_EQ(VLK_Type_db[11].destroy, VLK_StrArray_delete_v);
  EXPECT_EQ(VLK_Type_db[11].fprint, VLK_StrArray_fprint_v);
  EXPECT_EQ(VLK_Type_db[12].destroy, VLK_KeyValues_delete_v);
  EXPECT_EQ(VLK_Type_db[12].fprint, VLK_KeyValues_print_v);
  EXPECT_EQ(VLK_Type_db[1].cmp, VLK_Type_int_cmp);
  EXPECT_EQ(VLK_Type_db[5].clone, VLK_Type_string_clone);

  // Row 7 makes and frees boxes.
  void* box = VLK_Type_db[7].create();
  VLK_Type_delete(box, 7);
}

TEST(TypeRegistry, TypeWordsAndOperatorWords) {
  const std::pair<const char*, int> types[] = {
      {"int", 1},    {"Integer", 1}, {"UINT", 2},   {"unsigned int", 2}, {"Unsigned Integer", 2},
      {"DOUBLE", 4}, {"float", 3},   {"string", 5}, {"Str", 5},          {"doubleArray", 10},
      {"long", 43},  {"", 43},       {"intx", 43}};
  for (const auto& [word, id] : types) EXPECT_EQ(VLK_Type_get(word), id) << word;
  EXPECT_EQ(VLK_Type_get(nullptr), 43);

  const std::pair<const char*, int> ops[] = {{"eq", 0}, {"=", 0},  {"EQ", 0}, {"gt", 3}, {">", 3},
                                             {"ge", 4}, {">=", 4}, {"Lt", 1}, {"<", 1},  {"le", 2},
                                             {"<=", 2}, {"!=", 5}, {"==", 5}, {"", 5}};
  for (const auto& [word, op] : ops) EXPECT_EQ(VLK_Type_get_compare_op(word), op) << word;
  EXPECT_EQ(VLK_Type_get_compare_op(nullptr), 5);
}

TEST(TypeRegistry, ComparisonsAndOperators) {
  EXPECT_EQ(VLK_Type_compare_op(1, 2, &i3, &i3b), 1);
  EXPECT_EQ(VLK_Type_compare_op(1, 1, &i3, &i3b), 0);
  // op: 0 ==, 1 <, 2 <=, 3 >, 4 >= for (3, 5), (5, 3) and (3, 3)
  const int expect[5][3] = {{0, 0, 1}, {1, 0, 0}, {1, 0, 1}, {0, 1, 0}, {0, 1, 1}};
  for (int op = 0; op < 5; ++op) {
    EXPECT_EQ(VLK_Type_compare_op(1, op, &i3, &i5), expect[op][0]) << op;
    EXPECT_EQ(VLK_Type_compare_op(1, op, &i5, &i3), expect[op][1]) << op;
    EXPECT_EQ(VLK_Type_compare_op(1, op, &i3, &i3b), expect[op][2]) << op;
  }
  EXPECT_EQ(VLK_Type_compare(1, &i5, &i3), 1);  // -1, 0, 1 even for large differences
  int big = 2000000000, low = -2000000000;
  EXPECT_EQ(VLK_Type_compare(1, &low, &big), -1);

  double a = 1.5, b = 2.5, nan1 = std::nan(""), nan2 = std::nan("");
  EXPECT_EQ(VLK_Type_compare(4, &a, &b), -1);
  EXPECT_EQ(VLK_Type_compare(4, &b, &a), 1);
  EXPECT_EQ(VLK_Type_compare(4, &nan1, &nan2), 0);
  EXPECT_EQ(VLK_Type_compare_op(4, 0, &nan1, &nan2), 1);

  EXPECT_LT(VLK_Type_compare(5, "abc", "abd"), 0);
  EXPECT_EQ(VLK_Type_compare_op(5, 4, "b", "a"), 1);
}

TEST(TypeRegistry, ParseCloneAndPrintBuiltins) {
  int* n = static_cast<int*>(VLK_Type_new_str("42x", 1));
  double* x = static_cast<double*>(VLK_Type_new_str("2.5", 4));
  char* s = static_cast<char*>(VLK_Type_new_str("text", 5));
  EXPECT_EQ(*n, 42);
  EXPECT_EQ(*x, 2.5);
  EXPECT_STREQ(s, "text");
  int* n2 = static_cast<int*>(VLK_Type_clone(n, 1));
  char* s2 = static_cast<char*>(VLK_Type_clone(s, 5));
  EXPECT_NE(n2, n);
  EXPECT_EQ(*n2, 42);
  EXPECT_NE(s2, s);
  EXPECT_STREQ(s2, "text");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) {
              VLK_Type_fprint_value(n, 1, fp);
              VLK_Type_fprint_value(x, 4, fp);
              VLK_Type_fprint_value(s, 5, fp);
            }),
            "422.500000text");
  for (void* v : {static_cast<void*>(n), static_cast<void*>(n2)}) VLK_Type_delete(v, 1);
  VLK_Type_delete(x, 4);
  VLK_Type_delete(s, 5);
  VLK_Type_delete(s2, 5);
  VLK_Type_delete(&i3, 0);  // NULL: does nothing

  // The new operations hand out blocks of the type's size.
  for (auto make :
       {VLK_Type_int_new, VLK_Type_double_new, VLK_Type_float_new, VLK_Type_string_new}) {
    void* block = make();
    EXPECT_NE(block, nullptr);
    std::free(block);
  }
  EXPECT_EQ(VLK_Type_to_str(&i3, 1), nullptr);
}

TEST(TypeRegistry, ContainerRowsPrintAndFree) {
  VLK_DoubleArray* d = VLK_DoubleArray_new_str("1:2.5");
  VLK_StrArray* sa = VLK_StrArray_new();
  VLK_StrArray_add_copy(sa, "a");
  VLK_StrArray_add_copy(sa, "b");
  VLK_KeyValues* kv = VLK_KeyValues_parse("k=v,n={m=1}");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) {
              VLK_Type_fprint_value(d, 10, fp);
              std::fputs("|", fp);
              VLK_Type_fprint_value(sa, 11, fp);
              std::fputs("|", fp);
              VLK_Type_fprint_value(kv, 12, fp);
            }),
            "1.000000:2.500000|a:b|k=v,n={m=1}");
  VLK_Type_delete(d, 10);
  VLK_Type_delete(sa, 11);
  VLK_Type_delete(kv, 12);
}

TEST(TypeRegistry, FromStrAllParsedTypes) {
  int* n = static_cast<int*>(VLK_Type_from_str(1, "17", nullptr));
  unsigned* u = static_cast<unsigned*>(VLK_Type_from_str(2, "4000000000", nullptr));
  float* f = static_cast<float*>(VLK_Type_from_str(3, "0.25", nullptr));
  double* x = static_cast<double*>(VLK_Type_from_str(4, "-1.5", nullptr));
  char* s = static_cast<char*>(VLK_Type_from_str(5, "word", nullptr));
  EXPECT_EQ(*n, 17);
  EXPECT_EQ(*u, 4000000000u);
  EXPECT_EQ(*f, 0.25f);
  EXPECT_EQ(*x, -1.5);
  EXPECT_STREQ(s, "word");
  // Into a destination: the destination itself comes back, rewritten.
  EXPECT_EQ(VLK_Type_from_str(1, "-3", n), n);
  EXPECT_EQ(*n, -3);
  EXPECT_EQ(VLK_Type_from_str(3, "1.5", f), f);
  EXPECT_EQ(*f, 1.5f);
  char buf[8];
  EXPECT_EQ(VLK_Type_from_str(5, "abc", buf), buf);
  EXPECT_STREQ(buf, "abc");
  VLK_Type_delete(n, 1);
  VLK_Type_delete(u, 2);
  VLK_Type_delete(f, 3);
  VLK_Type_delete(x, 4);
  VLK_Type_delete(s, 5);

  auto* d = static_cast<VLK_DoubleArray*>(VLK_Type_from_str(10, "1:2", nullptr));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->size, 2u);
  EXPECT_EQ(d->data[0], 1.0);
  EXPECT_EQ(d->data[1], 2.0);
  EXPECT_EQ(VLK_Type_from_str(10, "7:8:9", d), d);  // contents replaced
  ASSERT_EQ(d->size, 3u);
  EXPECT_EQ(d->data[2], 9.0);
  VLK_DoubleArray_delete(d);
  EXPECT_EQ(VLK_Type_from_str(10, "1:x", nullptr), nullptr);
}

TEST(TypeRegistry, FromStrReadsAMissingTextAsEmpty) {
  int* n = static_cast<int*>(VLK_Type_from_str(1, nullptr, nullptr));
  double* x = static_cast<double*>(VLK_Type_from_str(4, nullptr, nullptr));
  char* s = static_cast<char*>(VLK_Type_from_str(5, nullptr, nullptr));
  EXPECT_EQ(*n, 0);
  EXPECT_EQ(*x, 0.0);
  EXPECT_STREQ(s, "");
  EXPECT_EQ(VLK_Type_from_str(10, nullptr, nullptr), nullptr);  // an empty field: no number
  VLK_Type_delete(n, 1);
  VLK_Type_delete(x, 4);
  VLK_Type_delete(s, 5);
}

TEST(TypeRegistry, DuplicateIsDeep) {
  int* n = static_cast<int*>(VLK_Type_duplicate(&i5, 1));
  EXPECT_NE(n, &i5);
  EXPECT_EQ(*n, 5);
  std::free(n);
  double x = 0.5;
  double* y = static_cast<double*>(VLK_Type_duplicate(&x, 4));
  EXPECT_EQ(*y, 0.5);
  std::free(y);
  char* s = static_cast<char*>(VLK_Type_duplicate("abc", 5));
  EXPECT_STREQ(s, "abc");
  std::free(s);

  VLK_DoubleArray* d = VLK_DoubleArray_new_str("1:2");
  auto* d2 = static_cast<VLK_DoubleArray*>(VLK_Type_duplicate(d, 10));
  d->data[0] = 9;
  EXPECT_EQ(d2->data[0], 1.0);
  VLK_DoubleArray_delete(d);
  VLK_DoubleArray_delete(d2);

  VLK_KeyValues* kv = VLK_KeyValues_parse("a={b=1}");
  auto* kv2 = static_cast<VLK_KeyValues*>(VLK_Type_duplicate(kv, 12));
  auto* inner = static_cast<VLK_KeyValues*>(VLK_KeyValues_get(kv, "a"));
  auto* inner2 = static_cast<VLK_KeyValues*>(VLK_KeyValues_get(kv2, "a"));
  EXPECT_NE(inner, inner2);
  VLK_KeyValues_delete(kv);
  EXPECT_STREQ(VLK_KeyValues_get_string(inner2, "b"), "1");
  VLK_KeyValues_delete(kv2);
  EXPECT_EQ(VLK_Type_duplicate(nullptr, 12), nullptr);
}

// Every fatal path of the registry: the exact line and how the process ends.
TEST(TypeRegistry, FatalPaths) {
  struct Case {
    const char* what;
    std::function<void()> call;
    bool aborts;
    const char* message;
  };
  int v = 1;
  const Case cases[] = {
      {"delete named", [&] { VLK_Type_delete(&v, 9); }, true,
       "FATAL ERROR: VLK_Type_delete(): Unsupported type ID given: IntArray (9)\n"},
      {"delete array", [&] { VLK_Type_delete(&v, 8); }, true,
       "FATAL ERROR: VLK_Type_delete(): Unsupported type ID given: Array (8)\n"},
      {"delete unnamed", [&] { VLK_Type_delete(&v, 20); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 20\n"},
      {"delete beyond", [&] { VLK_Type_delete(&v, 44); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 44\n"},
      {"clone named", [&] { VLK_Type_clone(&v, 12); }, false,
       "FATAL ERROR: VLK_Type_clone(): Unsupported type: KeyValues\n"},
      {"clone unnamed", [&] { VLK_Type_clone(&v, 38); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 38\n"},
      {"print named", [&] { VLK_Type_fprint_value(&v, 9, stdout); }, false,
       "FATAL ERROR: VLK_Type_fprint_value(): Unsupported type: IntArray\n"},
      {"print beyond", [&] { VLK_Type_fprint_value(&v, 100, stdout); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 100\n"},
      {"compare named", [&] { VLK_Type_compare(8, &v, &v); }, true,
       "FATAL ERROR: VLK_Type_compare(): Unsupported type specified: Array (8)\n"},
      {"compare_op named", [&] { VLK_Type_compare_op(10, 0, &v, &v); }, true,
       "FATAL ERROR: VLK_Type_compare(): Unsupported type specified: DoubleArray (10)\n"},
      {"compare unnamed", [&] { VLK_Type_compare(19, &v, &v); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 19\n"},
      {"operator", [&] { VLK_Type_compare_op(1, 5, &v, &v); }, true,
       "FATAL ERROR: VLK_Type_compare_op(): Unsupported operator IDt specified: 5\n"},
      {"operator negative", [&] { VLK_Type_compare_op(1, -1, &v, &v); }, true,
       "FATAL ERROR: VLK_Type_compare_op(): Unsupported operator IDt specified: -1\n"},
      {"new_str named", [&] { VLK_Type_new_str("1", 3); }, false,
       "FATAL ERROR: VLK_Type_new_str(): Unsupported type ID: 3\n"},
      {"new_str beyond", [&] { VLK_Type_new_str("1", 99); }, false,
       "FATAL ERROR: VLK_Type_new_str(): Unsupported type ID: 99\n"},
      {"from_str named", [&] { VLK_Type_from_str(9, "1", nullptr); }, true,
       "FATAL ERROR: VLK_Type_from_str(): unsupported type id given: IntArray (9)\n"},
      {"from_str unnamed", [&] { VLK_Type_from_str(30, "1", nullptr); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 30\n"},
      {"duplicate", [&] { VLK_Type_duplicate(&v, 11); }, true,
       "FATAL ERROR: VLK_Type_duplicate(): unsupported value type: 11\n"},
      {"name", [&] { VLK_Type_name(25); }, false,
       "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 25\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const vlk_test::Ending end = vlk_test::run_fatal(c.call);
    if (c.aborts)
      EXPECT_TRUE(end.aborted()) << "status " << end.status << " signal " << end.signal;
    else
      EXPECT_TRUE(end.exit1()) << "status " << end.status << " signal " << end.signal;
    EXPECT_EQ(end.err, c.message);
  }
}
