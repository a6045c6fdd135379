#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "VLK_ArgDef.h"
#include "VLK_KeyValues.h"
#include "vlk_test.h"

namespace {

std::vector<std::string> calls;  // what the option callbacks saw

void on_call0() { calls.push_back("call0"); }
void on_call2(const char* key, const char* value) {
  calls.push_back(std::string("call2 ") + key + " " + value +
                  (value == VLK_KeyValues_DEFAULT_VALUE ? " (bare)" : ""));
}
void on_call3(const char* key, const char* value, void* aux) {
  calls.push_back(std::string("call3 ") + key + " " + value + " " + static_cast<char*>(aux));
}

char aux_text[] = "aux";
char default_text[] = "dflt";

// One variable per binding kind and the table that binds them.
struct Targets {
  int i = -100;
  unsigned u = 0;
  double d = -1.0;
  char* s = nullptr;
  char c = '?';
  VLK_KeyValues* kv = nullptr;
  VLK_KeyValues* merged = nullptr;
  int idf = -100;
  int add = 0;
  char* sdf = nullptr;
  VLK_StrArray* sapp = nullptr;
  int onoff = -100;
  int flag_on = -100;
  int flag_off = -100;
  VLK_IntArray* ints = nullptr;
  VLK_IntArray* ints2 = nullptr;
  VLK_DoubleArray* dbls = nullptr;
  VLK_DoubleArray* dbls2 = nullptr;
  VLK_StrArray* strs = nullptr;
  VLK_StrArray* strs2 = nullptr;
  int* range = nullptr;
  int range_n = -1;
  int int_default_value = 7;
  char* string_default_value = default_text;

  std::vector<VLK_ArgDef> table() {
    return {
        vlk::arg_int("i", &i),
        vlk::arg_uint("u", &u),
        vlk::arg_double("d", &d),
        vlk::arg_string("s", &s),
        vlk::arg_char("c", &c),
        vlk::arg_keyvalues("kv", &kv),
        vlk::arg_keyvalues_merge("m", &merged),
        vlk::arg_int_default("idf", &idf, &int_default_value),
        vlk::arg_int_add("add", &add),
        vlk::arg_string_default("sdf", &sdf, &string_default_value),
        vlk::arg_string_append("sa", &sapp),
        vlk::arg_onoff("oo", &onoff),
        vlk::arg_flag_on("fon", &flag_on),
        vlk::arg_flag_off("foff", &flag_off),
        vlk::arg_ints_colon("ic", &ints),
        vlk::arg_ints_comma("icm", &ints2),
        vlk::arg_doubles_colon("dc", &dbls),
        vlk::arg_doubles_comma("dcm", &dbls2),
        vlk::arg_strings_colon("sc", &strs),
        vlk::arg_strings_comma("scm", &strs2),
        vlk::arg_call0("c0", on_call0),
        vlk::arg_call2("c2", on_call2),
        vlk::arg_call3("c3", on_call3, aux_text),
        vlk::arg_int_range("r", &range, &range_n),
        vlk::arg_ignore("ig"),
        vlk::arg_end(),
    };
  }

  ~Targets() {
    std::free(s);
    VLK_KeyValues_delete(kv);
    VLK_KeyValues_delete(merged);
    if (sdf != default_text) std::free(sdf);
    VLK_StrArray_delete_all(sapp);
    VLK_IntArray_delete(ints);
    VLK_IntArray_delete(ints2);
    VLK_DoubleArray_delete(dbls);
    VLK_DoubleArray_delete(dbls2);
    VLK_StrArray_delete_all(strs);
    VLK_StrArray_delete_all(strs2);
    std::free(range);
  }
};

std::vector<int> ints_of(const VLK_IntArray* a) {
  return a ? std::vector<int>(a->data, a->data + a->size) : std::vector<int>{};
}
std::vector<double> doubles_of(const VLK_DoubleArray* a) {
  return a ? std::vector<double>(a->data, a->data + a->size) : std::vector<double>{};
}
std::vector<std::string> strs_of(const VLK_StrArray* a) {
  std::vector<std::string> out;
  if (a)
    for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i]);
  return out;
}
std::string text_of(const VLK_KeyValues* kv) {
  return vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(kv, fp); });
}
std::vector<int> range_of(const Targets& t) {
  return t.range ? std::vector<int>(t.range, t.range + t.range_n) : std::vector<int>{};
}

// A list of string entries, for values that the text form cannot carry (',' at depth 0).
VLK_KeyValues* strings(std::initializer_list<std::pair<const char*, const char*>> entries) {
  VLK_KeyValues* kv = VLK_KeyValues_new();
  for (const auto& [k, v] : entries) VLK_KeyValues_add_string(kv, k, v);
  return kv;
}

VLK_KeyValues* with_int(const char* key, int v) {
  VLK_KeyValues* kv = VLK_KeyValues_new();
  VLK_KeyValues_put_int(kv, key, v);
  return kv;
}

}  // namespace

TEST(ArgBinding, EveryKind) {
  struct Case {
    const char* what;
    std::function<VLK_KeyValues*()> list;
    int rc;
    std::function<void(const Targets&)> check;
  };
  const auto text = [](const char* t) { return [t] { return VLK_KeyValues_parse(t); }; };
  const Case cases[] = {
      {"int", text("i=5"), -1, [](auto& t) { EXPECT_EQ(t.i, 5); }},
      {"int bare", text("i"), -2, [](auto& t) { EXPECT_EQ(t.i, -100); }},
      {"int bare later", text("u=1,i"), -3, [](auto& t) { EXPECT_EQ(t.u, 1u); }},
      {"int typed", [] { return with_int("i", 9); }, -1, [](auto& t) { EXPECT_EQ(t.i, 9); }},
      {"int other type", text("i={a}"), 0, [](auto& t) { EXPECT_EQ(t.i, -100); }},
      {"uint", text("u=4000000000"), -1, [](auto& t) { EXPECT_EQ(t.u, 4000000000u); }},
      {"uint bare", text("u"), 0, [](auto& t) { EXPECT_EQ(t.u, 0u); }},
      {"uint other type", [] { return with_int("u", 1); }, 0, [](auto&) {}},
      {"double", text("d=2.5"), -1, [](auto& t) { EXPECT_EQ(t.d, 2.5); }},
      {"double bare", text("d"), 0, [](auto& t) { EXPECT_EQ(t.d, -1.0); }},
      {"string", text("s=abc"), -1, [](auto& t) { EXPECT_STREQ(t.s, "abc"); }},
      {"string of list", text("s={a}"), 0, [](auto& t) { EXPECT_EQ(t.s, nullptr); }},
      {"char", text("c=xyz"), -1, [](auto& t) { EXPECT_EQ(t.c, 'x'); }},
      {"keyvalues from text", [] { return strings({{"kv", "a=1,b"}}); }, -1,
       [](auto& t) { EXPECT_EQ(text_of(t.kv), "a=1,b=on"); }},
      {"keyvalues nested", text("kv={a=1,b={c}}"), -1,
       [](auto& t) { EXPECT_EQ(text_of(t.kv), "a=1,b={c=on}"); }},
      {"merge", text("m={a=1},m={b=2},m=c"), -1,
       [](auto& t) { EXPECT_EQ(text_of(t.merged), "a=1,b=2,c=on"); }},
      {"int default bare", text("idf"), -1, [](auto& t) { EXPECT_EQ(t.idf, 7); }},
      {"int default value", text("idf=3"), -1, [](auto& t) { EXPECT_EQ(t.idf, 3); }},
      {"int add", text("add=2,add=3,add=-1"), -1, [](auto& t) { EXPECT_EQ(t.add, 4); }},
      {"int add bare", text("add=2,add"), 1, [](auto& t) { EXPECT_EQ(t.add, 2); }},
      {"int add typed", [] { return with_int("add", 4); }, -1,
       [](auto& t) { EXPECT_EQ(t.add, 4); }},
      {"string default bare", text("sdf"), -1,
       [](auto& t) { EXPECT_EQ(t.sdf, default_text); }},  // the pointer itself
      {"string default value", text("sdf=v"), -1, [](auto& t) { EXPECT_STREQ(t.sdf, "v"); }},
      {"string append", text("sa=x,sa"), -1,
       [](auto& t) {
         EXPECT_EQ(strs_of(t.sapp), (std::vector<std::string>{"x", "on"}));
         EXPECT_EQ(t.sapp->capacity, 2u);  // created with capacity 1
       }},
      {"onoff T", text("oo=T"), -1, [](auto& t) { EXPECT_EQ(t.onoff, 1); }},
      {"onoff bare", text("oo"), -1, [](auto& t) { EXPECT_EQ(t.onoff, 1); }},
      {"onoff OFF", text("oo=OFF"), -1, [](auto& t) { EXPECT_EQ(t.onoff, 0); }},
      {"onoff f then 1", text("oo=f,oo=1"), -1, [](auto& t) { EXPECT_EQ(t.onoff, 1); }},
      {"onoff 0", text("oo=0"), -1, [](auto& t) { EXPECT_EQ(t.onoff, 0); }},
      {"onoff no", text("oo=no"), 0, [](auto& t) { EXPECT_EQ(t.onoff, -100); }},
      {"onoff int", [] { return with_int("oo", 5); }, -1, [](auto& t) { EXPECT_EQ(t.onoff, 1); }},
      {"onoff list", text("oo={a}"), -1, [](auto& t) { EXPECT_EQ(t.onoff, -100); }},
      {"flag on bare", text("fon"), -1, [](auto& t) { EXPECT_EQ(t.flag_on, 1); }},
      {"flag on text", text("fon=on"), -1, [](auto& t) { EXPECT_EQ(t.flag_on, 1); }},
      {"flag on yes", text("fon=yes"), 0, [](auto& t) { EXPECT_EQ(t.flag_on, -100); }},
      {"flag on int", [] { return with_int("fon", 1); }, 0,
       [](auto& t) { EXPECT_EQ(t.flag_on, -100); }},
      {"flag on list", text("fon={on}"), 0, [](auto& t) { EXPECT_EQ(t.flag_on, -100); }},
      {"flag off bare", text("foff"), -1, [](auto& t) { EXPECT_EQ(t.flag_off, 0); }},
      {"flag off ON", text("foff=ON"), 0, [](auto& t) { EXPECT_EQ(t.flag_off, -100); }},
      {"ints colon", text("ic=1:2:-3,ic=4"), -1,
       [](auto& t) { EXPECT_EQ(ints_of(t.ints), (std::vector<int>{1, 2, -3, 4})); }},
      {"ints colon, one field no number", text("ic=4,ic=1:2:x"), 1,
       [](auto& t) { EXPECT_EQ(ints_of(t.ints), std::vector<int>{4}); }},  // nothing of 1:2:x
      {"ints comma", [] { return strings({{"icm", "3,-1"}}); }, -1,
       [](auto& t) { EXPECT_EQ(ints_of(t.ints2), (std::vector<int>{3, -1})); }},
      {"doubles colon", text("dc=0.5:1"), -1,
       [](auto& t) { EXPECT_EQ(doubles_of(t.dbls), (std::vector<double>{0.5, 1.0})); }},
      {"doubles comma", [] { return strings({{"dcm", "1.5,2"}}); }, -1,
       [](auto& t) { EXPECT_EQ(doubles_of(t.dbls2), (std::vector<double>{1.5, 2.0})); }},
      {"strings colon", text("sc=a:b:"), -1,
       [](auto& t) { EXPECT_EQ(strs_of(t.strs), (std::vector<std::string>{"a", "b", ""})); }},
      {"strings comma", [] { return strings({{"scm", "x,y"}}); }, -1,
       [](auto& t) { EXPECT_EQ(strs_of(t.strs2), (std::vector<std::string>{"x", "y"})); }},
      {"numbers of a list", text("ic={1}"), 0, [](auto& t) { EXPECT_EQ(t.ints, nullptr); }},
      {"callbacks", text("c0=z,c2=val,c2,c3=w"), -1,
       [](auto&) {
         EXPECT_EQ(calls, (std::vector<std::string>{"call0", "call2 c2 val",
                                                    "call2 c2 on (bare)", "call3 c3 w aux"}));
       }},
      {"callback of a list", text("c2={a}"), 0, [](auto&) { EXPECT_TRUE(calls.empty()); }},
      {"range", text("r=2-8:3"), -1,
       [](auto& t) {
         EXPECT_EQ(range_of(t), (std::vector<int>{2, 5, 8}));
         EXPECT_EQ(t.range_n, 3);
       }},
      {"range single", text("r=5"), -1, [](auto& t) { EXPECT_EQ(range_of(t), std::vector<int>{5}); }},
      {"range uneven", text("r=1-6:2"), -1,
       [](auto& t) { EXPECT_EQ(range_of(t), (std::vector<int>{1, 3, 5})); }},
      {"range leading dash", text("r=-3"), 0, [](auto& t) { EXPECT_EQ(t.range, nullptr); }},
      {"range reversed", text("r=9-3"), 0, [](auto& t) { EXPECT_EQ(t.range_n, -1); }},
      {"range three parts", text("r=1:2:3"), 0, [](auto& t) { EXPECT_EQ(t.range_n, -1); }},
      {"range step 0", text("r=3-9:0"), 0, [](auto& t) { EXPECT_EQ(t.range, nullptr); }},
      {"range step text", text("r=1-5:x"), 0, [](auto& t) { EXPECT_EQ(t.range, nullptr); }},
      {"range step negative", text("r=1-5:-2"), 0, [](auto& t) { EXPECT_EQ(t.range, nullptr); }},
      {"range empty", [] { return strings({{"r", ""}}); }, 0,
       [](auto& t) { EXPECT_EQ(t.range, nullptr); }},
      {"ignore", text("ig=anything,ig"), -1, [](auto&) {}},
      {"no row", text("i=1,zz=2,s=x"), 1,
       [](auto& t) {
         EXPECT_EQ(t.i, 1);  // bound before the failure
         EXPECT_EQ(t.s, nullptr);  // never looked at
       }},
      {"rejected stops", text("i=2,fon=yes,s=x"), 1,
       [](auto& t) {
         EXPECT_EQ(t.i, 2);
         EXPECT_EQ(t.s, nullptr);
       }},
      {"first entry without row", text("zz"), 0, [](auto&) {}},
      {"empty list", text(""), -1, [](auto&) {}},
      {"null list", [] { return nullptr; }, -1, [](auto&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    calls.clear();
    Targets t;
    const std::vector<VLK_ArgDef> table = t.table();
    VLK_KeyValues* list = c.list();
    EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table.data()), c.rc);
    VLK_KeyValues_delete(list);  // bound values survive the list
    c.check(t);
  }
}

TEST(ArgBinding, RefusedValuesSayWhy) {
  struct Case {
    const char* what;
    std::pair<const char*, const char*> entry;
    const char* error;
  };
  const Case cases[] = {
      {"list with an unclosed brace",
       {"kv", "a={b"},
       "ERROR: VLK_KeyValues_parse(): unclosed '{' at character 3 of \"a={b\"\n"},
      {"merged list with a stray brace",
       {"m", "a}"},
       "ERROR: VLK_KeyValues_parse(): unmatched '}' at character 2 of \"a}\"\n"},
      {"range of two billion",
       {"r", "1-2000000000"},
       "ERROR: VLK_KeyValues_set_values_kv(): range \"1-2000000000\" of key \"r\" holds "
       "2000000000 values, more than 1000000\n"},
      {"range one past the cap",
       {"r", "0-1000000"},
       "ERROR: VLK_KeyValues_set_values_kv(): range \"0-1000000\" of key \"r\" holds 1000001 "
       "values, more than 1000000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Targets t;
    const std::vector<VLK_ArgDef> table = t.table();
    VLK_KeyValues* list = strings({c.entry});
    vlk_test::CaptureErr err;
    EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table.data()), 0);
    EXPECT_EQ(err.text(), c.error);
    EXPECT_EQ(t.kv, nullptr);
    EXPECT_EQ(t.range, nullptr);
    VLK_KeyValues_delete(list);
  }
  // The longest range is still bound; with a step it may span far more.
  for (const auto& [text, last] :
       {std::pair{"1-1000000", 1000000}, {"0-1999998000:2000", 1999998000}}) {
    SCOPED_TRACE(text);
    Targets t;
    const std::vector<VLK_ArgDef> table = t.table();
    VLK_KeyValues* list = strings({{"r", text}});
    EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table.data()), -1);
    EXPECT_EQ(t.range_n, 1000000);
    ASSERT_NE(t.range, nullptr);
    EXPECT_EQ(t.range[t.range_n - 1], last);
    VLK_KeyValues_delete(list);
  }
}

// Every numeric kind takes a text that is wholly a number of its target type and in its range;
// anything else is refused with a line naming the option and the text, the target untouched.
TEST(ArgBinding, NumbersAreWholeNumbersOfTheirType) {
  struct Case {
    const char* key;
    const char* text;   // null: the key alone
    std::string error;  // after "ERROR: option "key": "; empty: bound
  };
  const std::string int_range = " is out of the range of an int (-2147483648 to 2147483647)";
  const std::string uint_range =
      " is out of the range of an unsigned 32-bit integer (0 to 4294967295)";
  const std::string none = "a number is needed, none was given";
  const Case cases[] = {
      {"i", "2147483647", ""},
      {"i", "-2147483648", ""},
      {"i", "+7", ""},
      {"i", "1e4", "\"1e4\" is not an integer"},
      {"i", "abc", "\"abc\" is not an integer"},
      {"i", "12abc", "\"12abc\" is not an integer"},
      {"i", "3.0", "\"3.0\" is not an integer"},
      {"i", "", "\"\" is not an integer"},
      {"i", " 5", "\" 5\" is not an integer"},
      {"i", "1\t2", "\"1\\t2\" is not an integer"},
      {"i", "2147483648", "\"2147483648\"" + int_range},
      {"i", "-2147483649", "\"-2147483649\"" + int_range},
      {"i", "99999999999999999999", "\"99999999999999999999\"" + int_range},
      {"u", "4294967295", ""},
      {"u", "4294967296", "\"4294967296\"" + uint_range},
      {"u", "-1", "\"-1\"" + uint_range},
      {"u", "0x10", "\"0x10\" is not an unsigned integer"},
      {"u", nullptr, none},
      {"d", "-2.5e-3", ""},
      {"d", ".5", ""},
      {"d", "1.", ""},
      {"d", "1e-400", ""},  // too small for a double: 0
      {"d", "abc", "\"abc\" is not a number"},
      {"d", "0.2x", "\"0.2x\" is not a number"},
      {"d", "0x1p3", "\"0x1p3\" is not a number"},
      {"d", "inf", "\"inf\" is not a finite number"},
      {"d", "-NaN", "\"-NaN\" is not a finite number"},
      {"d", "1e999", "\"1e999\" is too large for a double"},
      {"d", nullptr, none},
      {"idf", "3000000000", "\"3000000000\"" + int_range},
      {"idf", "x", "\"x\" is not an integer"},
      {"add", "1.5", "\"1.5\" is not an integer"},
      {"add", nullptr, none},
      {"icm", "1,,2", "\"\" (field 2 of \"1,,2\") is not an integer"},
      {"ic", "1:2:3000000000", "\"3000000000\" (field 3 of \"1:2:3000000000\")" + int_range},
      {"dcm", "1,2,", "\"\" (field 3 of \"1,2,\") is not a number"},
      {"dcm", "", "\"\" (field 1 of \"\") is not a number"},
      {"dc", "0.5:nan", "\"nan\" (field 2 of \"0.5:nan\") is not a finite number"},
      {"dc", nullptr, none},
      {"r", "-3", "\"\" in the range \"-3\" is not an integer"},
      {"r", "1-x", "\"x\" in the range \"1-x\" is not an integer"},
      {"r", "1-5:x", "\"x\" in the range \"1-5:x\" is not an integer"},
      {"r", "1-5e1", "\"5e1\" in the range \"1-5e1\" is not an integer"},
      {"r", "", "\"\" in the range \"\" is not an integer"},
      {"r", "1-5-7", "\"1-5-7\" is not a range first[-last][:step]"},
      {"r", "1:2:3", "\"1:2:3\" is not a range first[-last][:step]"},
      {"r", "9-3", "the range \"9-3\" ends below its start"},
      {"r", "3-9:0", "the step of the range \"3-9:0\" is below 1"},
      {"r", "1-5:-2", "the step of the range \"1-5:-2\" is below 1"},
      {"r", nullptr, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + (c.text ? c.text : "(bare)"));
    Targets t;
    const std::vector<VLK_ArgDef> table = t.table();
    VLK_KeyValues* list = strings({{"s", "before"}});
    if (c.text != nullptr)
      VLK_KeyValues_add_string(list, c.key, c.text);
    else
      VLK_KeyValues_add(list, c.key, VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
    vlk_test::CaptureErr err;
    const bool refused = !c.error.empty();
    EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table.data()), refused ? 1 : -1);
    EXPECT_EQ(err.text(),
              refused ? "ERROR: option \"" + std::string(c.key) + "\": " + c.error + "\n" : "");
    EXPECT_STREQ(t.s, "before");  // entries before the refused one stay bound
    if (refused) {
      EXPECT_EQ(t.i, -100);
      EXPECT_EQ(t.u, 0u);
      EXPECT_EQ(t.d, -1.0);
      EXPECT_EQ(t.idf, -100);
      EXPECT_EQ(t.add, 0);
      EXPECT_EQ(t.ints, nullptr);
      EXPECT_EQ(t.ints2, nullptr);
      EXPECT_EQ(t.dbls, nullptr);
      EXPECT_EQ(t.dbls2, nullptr);
      EXPECT_EQ(t.range, nullptr);
    }
    VLK_KeyValues_delete(list);
  }
  // What the bound ones hold.
  Targets t;
  const std::vector<VLK_ArgDef> table = t.table();
  VLK_KeyValues* list = strings({{"u", "4294967295"}, {"d", "1e-400"}, {"i", "+7"}});
  EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table.data()), -1);
  EXPECT_EQ(t.u, 4294967295u);
  EXPECT_EQ(t.d, 0.0);
  EXPECT_EQ(t.i, 7);
  VLK_KeyValues_delete(list);
  // A sum beyond an int is refused like a value beyond one, the sum kept.
  Targets sum;
  const std::vector<VLK_ArgDef> sum_table = sum.table();
  list = strings({{"add", "2147483640"}, {"add", "8"}});
  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK_KeyValues_set_values_kv(list, sum_table.data()), 1);
  EXPECT_EQ(err.text(), "ERROR: option \"add\": adding 8 to 2147483640" + int_range + "\n");
  EXPECT_EQ(sum.add, 2147483640);
  VLK_KeyValues_delete(list);
}

TEST(ArgBinding, CatchAllRowGetsTheKey) {
  calls.clear();
  int i = 0;
  const VLK_ArgDef table[] = {vlk::arg_int("i", &i), vlk::arg_call2("_error_", on_call2),
                              vlk::arg_end()};
  VLK_KeyValues* list = VLK_KeyValues_parse("zz=1,i=4,other={nested}");
  EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table), -1);
  EXPECT_EQ(calls, (std::vector<std::string>{"call2 zz zz", "call2 other other"}));
  EXPECT_EQ(i, 4);
  VLK_KeyValues_delete(list);

  // The last catch-all row wins; as an int row it reads the key as a number.
  int first = 0, last = 0;
  const VLK_ArgDef two[] = {vlk::arg_int("_error_", &first), vlk::arg_int("_error_", &last),
                            vlk::arg_end()};
  list = VLK_KeyValues_parse("12");
  EXPECT_EQ(VLK_KeyValues_set_values_kv(list, two), -1);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 12);
  VLK_KeyValues_delete(list);
}

TEST(ArgBinding, FatalTypeMismatches) {
  double d = 0;
  VLK_KeyValues* kv = nullptr;
  VLK_Array* array = nullptr;
  VLK_StrArray* sa = nullptr;
  const VLK_ArgDef table[] = {vlk::arg_double("d", &d), vlk::arg_keyvalues("kv", &kv),
                              vlk::arg_array("a", &array), vlk::arg_str_array("sa", &sa),
                              vlk::arg_end()};
  const auto bind = [&](VLK_KeyValues* list) { VLK_KeyValues_set_values_kv(list, table); };
  EXPECT_FATAL_EXIT(bind(VLK_KeyValues_parse("d={x}")),
                    "FATAL_ERROR: Unexpected type for key \"d\": KeyValues");
  EXPECT_FATAL_EXIT(bind(with_int("kv", 1)), "FATAL_ERROR: Unexpected type for key \"kv\": int");
  EXPECT_FATAL_EXIT(bind(VLK_KeyValues_parse("a=1")),
                    "FATAL ERROR: VLK_KeyValues_set_value_kv().\n");
  EXPECT_FATAL_EXIT(bind(VLK_KeyValues_parse("sa=x")),
                    "FATAL ERROR: VLK_KeyValues_set_value_kv().\n");

  // Pointer kinds take the value itself.
  VLK_KeyValues* list = VLK_KeyValues_new();
  VLK_StrArray* given = VLK_StrArray_new();
  VLK_KeyValues_add(list, "sa", VLK_TYPE_STRARRAY, given);
  VLK_KeyValues_put_double(list, "d", 0.75);
  EXPECT_EQ(VLK_KeyValues_set_values_kv(list, table), -1);
  EXPECT_EQ(sa, given);
  EXPECT_EQ(d, 0.75);
  VLK_KeyValues_delete(list);  // frees the array it held
}

TEST(ArgBindingDeathTest, KindsOutsideTheTable) {
  // The message goes to the standard error stream, which only a death test captures.
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int v = 0;
  for (int kind : {0, 3, 7, 9, 10, 13, 18, 36, 37, 39, 41, 43, -1}) {
    SCOPED_TRACE(kind);
    const VLK_ArgDef table[] = {{"k", kind, &v, nullptr}, vlk::arg_end()};
    VLK_KeyValues* list = VLK_KeyValues_parse("k=1");
    EXPECT_EXIT(VLK_KeyValues_set_values_kv(list, table), ::testing::ExitedWithCode(1),
                "^FATAL ERROR:util/VLK_KeyValues:[0-9]+: unknown key type detected:" +
                    std::to_string(kind) + "\n$");
    VLK_KeyValues_delete(list);
  }
  GTEST_FLAG_SET(death_test_style, style);
}

namespace {

// argv as the program receives it: argv[0] first.
struct Argv {
  std::vector<const char*> words;
  Argv(std::initializer_list<const char*> args) : words{"prog"} {
    words.insert(words.end(), args.begin(), args.end());
  }
  int argc() const { return static_cast<int>(words.size()); }
  const char* const* argv() const { return words.data(); }
};

// "key=value" per entry, "key" alone for a key given without value.
std::vector<std::string> entries(const VLK_KeyValues* kv) {
  std::vector<std::string> out;
  for (size_t i = 0; i < VLK_KeyValues_size(kv); ++i) {
    EXPECT_EQ(VLK_KeyValues_get_type(kv, i), VLK_TYPE_STRING);
    const void* v = VLK_KeyValues_get_value(kv, i);
    std::string e = VLK_KeyValues_get_key(kv, i);
    if (v != VLK_KeyValues_DEFAULT_VALUE) e += "=" + std::string(static_cast<const char*>(v));
    out.push_back(e);
  }
  return out;
}

}  // namespace

TEST(CommandLine, ArgumentsToList) {
  int flag = 0, quiet = 1;
  const VLK_ArgDef table[] = {vlk::arg_flag_on("-f", &flag), vlk::arg_flag_off("-q", &quiet),
                              vlk::arg_end()};
  struct Case {
    Argv args;
    std::vector<std::string> expect;
  };
  const Case cases[] = {
      {{"-o", "out", "-x", "5", "in"}, {"-o=out", "-x=5", "_default_=in"}},
      {{"-S", "a=1,", "b=2"}, {"-S=a=1,b=2"}},
      {{"-S", "a,", "b,", "c"}, {"-S=a,b,c"}},
      {{"-f", "in"}, {"-f", "_default_=in"}},
      {{"-q", "-f", "-o", "x"}, {"-q", "-f", "-o=x"}},
      {{"-x", "-5"}, {"-x=-5"}},
      {{"-x", "-.5"}, {"-x", "-.5"}},
      {{"-5", "a"}, {"_default_=-5", "_default_=a"}},
      {{"in1", "-o", "x", "in2"}, {"_default_=in1", "-o=x", "_default_=in2"}},
      {{"-a", "-o"}, {"-a", "-o"}},
      {{"-", "-x", "y"}, {"_default_=-x", "_default_=y"}},
      {{"-o", "out", "-", "-f", "-"}, {"-o=out", "_default_=-f", "_default_=-"}},
      {{"-o", "-", "in"}, {"-o", "_default_=in"}},
      {{"--oth", "0.3", "--on", "off"}, {"--oth=0.3", "--on=off"}},
      {{"-o", ""}, {"-o="}},
      // A value left open by ',' is dropped when no argument continues it.
      {{"-S", "a=1,", "-o", "out"}, {"-S", "-o=out"}},
      {{"-S", "a=1,"}, {"-S"}},
      {{"-S", "a=1,", "-", "in"}, {"-S", "_default_=in"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const char* w : c.args.words) line += std::string(w) + " ";
    SCOPED_TRACE(line);
    VLK_KeyValues* kv = VLK_KeyValues_parse_args(c.args.argc(), c.args.argv(), table);
    EXPECT_EQ(entries(kv), c.expect);
    for (size_t i = 0; i < VLK_KeyValues_size(kv); ++i)
      for (const char* w : c.args.words) EXPECT_NE(VLK_KeyValues_get_key(kv, i), w);  // copies
    VLK_KeyValues_delete(kv);
  }
}

TEST(CommandLine, SetArgsReportsPositions) {
  struct Bound {
    char* o = nullptr;
    int m = -1;
    int f = 0;
    int pos = -1;  // positional words must be on or off
    VLK_KeyValues* S = nullptr;
    ~Bound() {
      std::free(o);
      VLK_KeyValues_delete(S);
    }
  };
  struct Case {
    Argv args;
    int result;
    std::function<void(const Bound&)> check;
  };
  const Case cases[] = {
      {{"-o", "out", "-m", "3", "on"},
       0,
       [](auto& b) {
         EXPECT_STREQ(b.o, "out");
         EXPECT_EQ(b.m, 3);
         EXPECT_EQ(b.pos, 1);
       }},
      {{"-z", "1"}, 1, [](auto&) {}},        // first argument has no row
      {{"-o", "x", "-y"}, 3, [](auto&) {}},  // a later one
      {{"-m"}, -1, [](auto&) {}},            // int without value at argv[1]
      {{"-o", "x", "-m"}, -3, [](auto& b) { EXPECT_STREQ(b.o, "x"); }},
      {{"-m", "-o", "x"}, -1, [](auto& b) { EXPECT_EQ(b.o, nullptr); }},
      {{"-o", "x", "maybe"}, 3, [](auto&) {}},  // a rejected positional word
      {{"-f", "off"},
       0,
       [](auto& b) {
         EXPECT_EQ(b.f, 1);
         EXPECT_EQ(b.pos, 0);
       }},
      {{"-S", "a=1,", "b={c=2}", "-m", "-4"},
       0,
       [](auto& b) {
         EXPECT_EQ(text_of(b.S), "a=1,b={c=2}");
         EXPECT_EQ(b.m, -4);
       }},
      {{"-S", "a=1,", "-o", "out"},
       0,
       [](auto& b) {
         EXPECT_STREQ(b.o, "out");  // not "a=1,out"
         EXPECT_EQ(text_of(b.S), "on=on");
       }},
      {{}, 0, [](auto&) {}},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const char* w : c.args.words) line += std::string(w) + " ";
    SCOPED_TRACE(line);
    Bound b;
    const VLK_ArgDef table[] = {vlk::arg_string("-o", &b.o),         vlk::arg_int("-m", &b.m),
                                vlk::arg_flag_on("-f", &b.f),        vlk::arg_keyvalues("-S", &b.S),
                                vlk::arg_onoff("_default_", &b.pos), vlk::arg_end()};
    EXPECT_EQ(VLK_KeyValues_set_args(c.args.argc(), c.args.argv(), table), c.result);
    c.check(b);
  }
}

// The helpers build rows at compile time.
static_assert(vlk::arg_flag_on("-f", nullptr).kind == VLK_ARG_FLAG_ON);
static_assert(vlk::arg_end().name == nullptr);
