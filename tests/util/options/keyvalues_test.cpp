#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "VLK_DoubleArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Type.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

std::string text_of(const VLK_KeyValues* kv) {
  return vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(kv, fp); });
}

// key:type per entry, for comparing structure.
std::vector<std::string> shape(const VLK_KeyValues* kv) {
  std::vector<std::string> out;
  for (size_t i = 0; i < VLK_KeyValues_size(kv); ++i)
    out.push_back(std::string(VLK_KeyValues_get_key(kv, i)) + ":" +
                  std::to_string(VLK_KeyValues_get_type(kv, i)));
  return out;
}

using List = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

List parse(const char* text) { return List(VLK_KeyValues_parse(text)); }

// Texts the parser accepts, with the list they give and its printed form.
struct ParseCase {
  const char* text;
  std::vector<std::string> shape;
  const char* printed;
};

const ParseCase kParseCases[] = {
    {"a=1,b,c=", {"a:5", "b:5", "c:5"}, "a=1,b=on,c=on"},
    {"x={p=1,q={r=2}},y=3", {"x:12", "y:5"}, "x={p=1,q={r=2}},y=3"},
    {"=5,,k", {"k:5"}, "k=on"},
    {"k=a=b", {"k=a:5"}, "k=a=b"},  // the last '=' at depth 0 separates
    {"a=1,", {"a:5"}, "a=1"},
    {"", {}, ""},
    {",,,", {}, ""},
    {"a={}", {"a:12"}, "a={}"},
    {"k={a=1}x,m={b}", {"k:5", "m:12"}, "k={a=1}x,m={b=on}"},
    {" a = 1 ", {" a :5"}, " a = 1 "},  // no trimming
    {"k={x=1},{b}", {"k:12", "{b}:5"}, "k={x=1},{b}=on"},
    {"k={a,b}", {"k:12"}, "k={a=on,b=on}"},
    {"k=v{a,b}w", {"k:5"}, "k=v{a,b}w"},  // braces inside a plain value keep its ','
    {"{a=1}=2", {"{a=1}:5"}, "{a=1}=2"},
    {"k={=5,}", {"k:12"}, "k={}"},
};

}  // namespace

TEST(KeyValuesText, ParseCases) {
  for (const ParseCase& c : kParseCases) {
    SCOPED_TRACE(c.text);
    List kv = parse(c.text);
    ASSERT_NE(kv, nullptr);
    EXPECT_EQ(shape(kv.get()), c.shape);
    EXPECT_EQ(text_of(kv.get()), c.printed);
  }
}

TEST(KeyValuesText, UnbalancedBracesAreRefused) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"}", "unmatched '}' at character 1 of \"}\""},
      {"a={b}}", "unmatched '}' at character 6 of \"a={b}}\""},
      {"a=}", "unmatched '}' at character 3 of \"a=}\""},
      {"a=1,}b=2,c=3", "unmatched '}' at character 5 of \"a=1,}b=2,c=3\""},
      {"k={a,b", "unclosed '{' at character 3 of \"k={a,b\""},
      {"a={x={y},z", "unclosed '{' at character 3 of \"a={x={y},z\""},
      // Balanced as a whole, but the list's own text "a}{b" is not.
      {"k={a}{b}", "unmatched '}' at character 5 of \"k={a}{b}\""},
      {"k={x={a}{b}}", "unmatched '}' at character 8 of \"k={x={a}{b}}\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    vlk_test::CaptureErr err;
    EXPECT_EQ(VLK_KeyValues_parse(c.text), nullptr);
    EXPECT_EQ(err.text(), std::string("ERROR: VLK_KeyValues_parse(): ") + c.error + "\n");
  }
  vlk_test::CaptureErr err;
  const std::string long_text = "k=" + std::string(100, 'x') + "}";
  EXPECT_EQ(VLK_KeyValues_parse(long_text.c_str()), nullptr);
  EXPECT_EQ(err.text(), "ERROR: VLK_KeyValues_parse(): unmatched '}' at character 103 of \"k=" +
                            std::string(78, 'x') + "...\"\n");
}

TEST(KeyValuesText, NestingDepthIsCapped) {
  const auto nested = [](size_t levels, const char* inner = "b") {
    std::string t;
    for (size_t i = 0; i < levels; ++i) t += "a={";
    return t + inner + std::string(levels, '}');
  };
  {
    vlk_test::CaptureErr err;
    List deepest = parse(nested(64).c_str());
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(text_of(deepest.get()), nested(64, "b=on"));
    EXPECT_EQ(err.text(), "");
  }
  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK_KeyValues_parse(nested(65).c_str()), nullptr);
  EXPECT_EQ(err.text(),
            "ERROR: VLK_KeyValues_parse(): braces nested deeper than 64 levels at character 195\n");
  // Thousands of braces: refused at the 65th, not one stack frame per brace.
  for (const std::string& text :
       {nested(200000), std::string(200000, '{') + std::string(200000, '}')}) {
    vlk_test::CaptureErr e;
    EXPECT_EQ(VLK_KeyValues_parse(text.c_str()), nullptr);
    EXPECT_NE(e.text().find("nested deeper than 64 levels"), std::string::npos);
  }
}

TEST(KeyValuesText, SentinelsAndValues) {
  List kv = parse("a=1,b,c=,d=on,x={p=1,q={r=2}}");
  EXPECT_STREQ(VLK_KeyValues_get_string(kv.get(), "a"), "1");
  EXPECT_EQ(VLK_KeyValues_get(kv.get(), "b"), VLK_KeyValues_DEFAULT_VALUE);
  EXPECT_EQ(VLK_KeyValues_get(kv.get(), "c"), VLK_KeyValues_DEFAULT_VALUE);
  EXPECT_NE(VLK_KeyValues_get(kv.get(), "d"), VLK_KeyValues_DEFAULT_VALUE);  // explicit on
  EXPECT_STREQ(VLK_KeyValues_get_string(kv.get(), "d"), "on");
  auto* x = static_cast<VLK_KeyValues*>(VLK_KeyValues_get_with_type(kv.get(), "x", 12));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(shape(x), (std::vector<std::string>{"p:5", "q:12"}));
  auto* q = static_cast<VLK_KeyValues*>(VLK_KeyValues_get(x, "q"));
  EXPECT_STREQ(VLK_KeyValues_get_string(q, "r"), "2");
  kv.reset();
  EXPECT_STREQ(VLK_KeyValues_DEFAULT_VALUE, "on");  // never freed
  EXPECT_STREQ(VLK_KeyValues_DEFAULT_KEY, "_default_");
  EXPECT_STREQ(VLK_KeyValues_ERROR_KEY, "_error_");
  EXPECT_EQ(*VLK_KeyValues_DEFAULT_VALUE_ON, 1);
  EXPECT_EQ(*VLK_KeyValues_DEFAULT_VALUE_OFF, 0);
}

TEST(KeyValuesText, ParsePrefixAndNull) {
  List a(VLK_KeyValues_parse_sl("a=1,b=2", 5));
  EXPECT_EQ(text_of(a.get()), "a=1,b=on");
  List b(VLK_KeyValues_parse_sl("a=1", 100));  // n beyond the string
  EXPECT_EQ(text_of(b.get()), "a=1");
  List c(VLK_KeyValues_parse(nullptr));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(VLK_KeyValues_size(c.get()), 0u);
}

namespace {

std::string random_word(std::mt19937& rng) {
  static const char alphabet[] = "abcxyz019._-:+ ";
  std::uniform_int_distribution<int> len(1, 6), ch(0, sizeof(alphabet) - 2);
  std::string w;
  for (int n = len(rng); n > 0; --n) w += alphabet[ch(rng)];
  return w;
}

VLK_KeyValues* random_list(std::mt19937& rng, int depth) {
  VLK_KeyValues* kv = VLK_KeyValues_new();
  std::uniform_int_distribution<int> entries(0, 4), pick(0, 9);
  for (int n = entries(rng); n > 0; --n) {
    const std::string key = random_word(rng);
    const int p = pick(rng);
    if (p < 2 && depth < 4)
      VLK_KeyValues_add(kv, key.c_str(), VLK_TYPE_KEYVALUES, random_list(rng, depth + 1));
    else if (p < 3)
      VLK_KeyValues_add(kv, key.c_str(), VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
    else
      VLK_KeyValues_add_string(kv, key.c_str(), random_word(rng).c_str());
  }
  return kv;
}

// Same keys, nesting and string values (a bare key reads back as the text on).
void expect_same(const VLK_KeyValues* a, const VLK_KeyValues* b) {
  ASSERT_EQ(VLK_KeyValues_size(a), VLK_KeyValues_size(b));
  for (size_t i = 0; i < VLK_KeyValues_size(a); ++i) {
    EXPECT_STREQ(VLK_KeyValues_get_key(a, i), VLK_KeyValues_get_key(b, i));
    ASSERT_EQ(VLK_KeyValues_get_type(a, i), VLK_KeyValues_get_type(b, i));
    if (VLK_KeyValues_get_type(a, i) == VLK_TYPE_KEYVALUES)
      expect_same(static_cast<VLK_KeyValues*>(VLK_KeyValues_get_value(a, i)),
                  static_cast<VLK_KeyValues*>(VLK_KeyValues_get_value(b, i)));
    else
      EXPECT_STREQ(static_cast<char*>(VLK_KeyValues_get_value(a, i)),
                   static_cast<char*>(VLK_KeyValues_get_value(b, i)));
  }
}

}  // namespace

TEST(KeyValuesText, PrintParseRoundTripOnRandomNestedLists) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    List original(random_list(rng, 0));
    const std::string text = text_of(original.get());
    SCOPED_TRACE(text);
    List back = parse(text.c_str());
    expect_same(original.get(), back.get());
    EXPECT_EQ(text_of(back.get()), text);
    List copy(VLK_KeyValues_clone(original.get()));
    EXPECT_EQ(text_of(copy.get()), text);
  }
}

namespace {

// Every text over a small alphabet up to a length: all the ways braces, separators and
// words can meet.
std::vector<std::string> all_texts(const std::string& alphabet, size_t max_len) {
  std::vector<std::string> out{""};
  for (size_t begin = 0, len = 1; len <= max_len; ++len) {
    const size_t end = out.size();
    for (size_t i = begin; i < end; ++i)
      for (const char c : alphabet) out.push_back(out[i] + c);
    begin = end;
  }
  return out;
}

}  // namespace

TEST(KeyValuesText, EverythingAcceptedPrintsToTextThatReadsBackTheSame) {
  std::vector<std::string> texts;
  for (const ParseCase& c : kParseCases) texts.emplace_back(c.text);
  for (std::string& t : all_texts("a{},=", 7)) texts.push_back(std::move(t));
  // Longer texts whose braces mostly balance, so that most of them are accepted.
  std::mt19937 rng(77);
  std::uniform_int_distribution<size_t> len(8, 40);
  std::uniform_int_distribution<int> ch(0, 7), percent(0, 99);
  for (int i = 0; i < 20000; ++i) {
    std::string t;
    size_t depth = 0;
    for (size_t n = len(rng); n > 0; --n) {
      char c = "ab {},=="[ch(rng)];
      if (c == '}' && depth == 0 && percent(rng) > 0) c = '{';
      depth += c == '{';
      depth -= c == '}' && depth > 0;
      t += c;
    }
    if (percent(rng) < 90) t += std::string(depth, '}');
    texts.push_back(std::move(t));
  }
  size_t refused = 0;
  vlk_test::CaptureErr err;
  for (const std::string& text : texts) {
    List kv = parse(text.c_str());
    if (!kv) {
      ++refused;
      continue;
    }
    SCOPED_TRACE(text);
    const std::string printed = text_of(kv.get());
    List back = parse(printed.c_str());
    ASSERT_NE(back, nullptr) << printed;
    expect_same(kv.get(), back.get());
    ASSERT_EQ(text_of(back.get()), printed);
  }
  // Every refusal said why, in one line; and the alphabet reached both outcomes.
  const std::string lines = err.text();
  EXPECT_EQ(static_cast<size_t>(std::count(lines.begin(), lines.end(), '\n')), refused);
  EXPECT_GT(refused, 0u);
  EXPECT_LT(refused, texts.size());
}

TEST(KeyValuesText, MissingValuesPrintSafely) {
  List kv(VLK_KeyValues_new());
  VLK_KeyValues_add_string(kv.get(), "s", nullptr);
  VLK_KeyValues_put_as_string(kv.get(), "d", VLK_TYPE_DOUBLEARRAY, "x");  // no numbers: null
  VLK_KeyValues_add(kv.get(), "i", VLK_TYPE_INT, nullptr);
  VLK_KeyValues_add(kv.get(), "l", VLK_TYPE_KEYVALUES, nullptr);
  VLK_KeyValues_add(kv.get(), nullptr, VLK_TYPE_STRING, strdup("v"));
  ASSERT_EQ(VLK_KeyValues_size(kv.get()), 5u);
  EXPECT_EQ(VLK_KeyValues_get(kv.get(), "d"), nullptr);
  // No value: key=, which reads back as a key given without value; a missing list: {}.
  const std::string text = text_of(kv.get());
  EXPECT_EQ(text, "s=,d=,i=,l={},=v");
  List back = parse(text.c_str());
  EXPECT_EQ(shape(back.get()), (std::vector<std::string>{"s:5", "d:5", "i:5", "l:12"}));
  EXPECT_EQ(VLK_KeyValues_get(back.get(), "s"), VLK_KeyValues_DEFAULT_VALUE);
}

TEST(KeyValuesText, PrintsTypedValues) {
  List kv(VLK_KeyValues_new());
  VLK_KeyValues_put_int(kv.get(), "i", -3);
  VLK_KeyValues_put_double(kv.get(), "d", 1.5);
  VLK_KeyValues_put_DoubleArray(kv.get(), "a", VLK_DoubleArray_new_str("1:2"));
  VLK_KeyValues_put_as_string(kv.get(), "p", VLK_TYPE_DOUBLE, "0.25");
  VLK_KeyValues_add(kv.get(), "n", VLK_TYPE_KEYVALUES, VLK_KeyValues_parse("x=1"));
  EXPECT_EQ(text_of(kv.get()), "i=-3,d=1.500000,a=1.000000:2.000000,p=0.250000,n={x=1}");
}

TEST(KeyValues, LookupsTakeTheFirstMatch) {
  List kv = parse("k=1,K=2,k=3,n=3");
  EXPECT_EQ(VLK_KeyValues_find_key(kv.get(), "k"), 0);
  EXPECT_EQ(VLK_KeyValues_find_key(kv.get(), "none"), -1);
  EXPECT_STREQ(static_cast<char*>(VLK_KeyValues_get(kv.get(), "k")), "1");
  EXPECT_STREQ(static_cast<char*>(VLK_KeyValues_get_case(kv.get(), "K")), "1");
  EXPECT_EQ(VLK_KeyValues_get(kv.get(), "none"), nullptr);
  EXPECT_EQ(VLK_KeyValues_get_with_type(kv.get(), "k", VLK_TYPE_INT), nullptr);
  // Parsed values are text: the typed getters do not convert them.
  EXPECT_EQ(VLK_KeyValues_get_int(kv.get(), "n", -5), -5);
  EXPECT_EQ(VLK_KeyValues_get_double(kv.get(), "n", 0.5), 0.5);
  VLK_KeyValues_remove(kv.get(), "k");  // only the first
  EXPECT_EQ(text_of(kv.get()), "K=2,k=3,n=3");
  VLK_KeyValues_remove(kv.get(), "absent");
  VLK_KeyValues_remove(nullptr, "k");

  // A null list (and a null key where allowed) reads as absent.
  EXPECT_EQ(VLK_KeyValues_find_key(nullptr, "k"), -1);
  EXPECT_EQ(VLK_KeyValues_get_int(nullptr, "k", 7), 7);
  EXPECT_EQ(VLK_KeyValues_get_int_def(kv.get(), nullptr, 8), 8);
  EXPECT_EQ(VLK_KeyValues_get_double(nullptr, "k", 1.5), 1.5);
  EXPECT_EQ(VLK_KeyValues_get_string(nullptr, "k"), nullptr);
  EXPECT_EQ(VLK_KeyValues_get_string(kv.get(), nullptr), nullptr);
  EXPECT_EQ(VLK_KeyValues_get_with_type(nullptr, "k", 5), nullptr);
}

TEST(KeyValues, AccessByIndex) {
  List kv(VLK_KeyValues_new());
  VLK_KeyValues_put_int(kv.get(), "i", 4);
  VLK_KeyValues_add_string(kv.get(), "s", "v");
  EXPECT_EQ(VLK_KeyValues_get_int_index(kv.get(), 0), 4);
  EXPECT_EQ(VLK_KeyValues_get_with_type_index(kv.get(), 0, VLK_TYPE_STRING), nullptr);
  EXPECT_STREQ(static_cast<char*>(VLK_KeyValues_get_with_type_index(kv.get(), 1, 5)), "v");
  void* old = VLK_KeyValues_get_value(kv.get(), 1);
  int* n = static_cast<int*>(std::malloc(sizeof(int)));
  *n = 6;
  VLK_KeyValues_set_at(kv.get(), 1, VLK_TYPE_INT, n);  // the old value is the caller's
  std::free(old);
  EXPECT_STREQ(VLK_KeyValues_get_key(kv.get(), 1), "s");
  EXPECT_EQ(VLK_KeyValues_get_int(kv.get(), "s", 0), 6);
}

TEST(KeyValues, NumberEditing) {
  List kv = parse("s=text");
  VLK_KeyValues_inc_int(kv.get(), "c");
  EXPECT_EQ(VLK_KeyValues_get_int(kv.get(), "c", 0), 1);
  VLK_KeyValues_inc_int(kv.get(), "c");
  EXPECT_EQ(VLK_KeyValues_get_int(kv.get(), "c", 0), 2);
  VLK_KeyValues_inc_int(kv.get(), "s");  // another type: nothing
  EXPECT_STREQ(VLK_KeyValues_get_string(kv.get(), "s"), "text");

  VLK_KeyValues_set_int(kv.get(), "c", 10);  // in place
  VLK_KeyValues_set_int(kv.get(), "s", 11);  // replaces the string (released)
  VLK_KeyValues_set_int(kv.get(), "new", 12);
  VLK_KeyValues_set_double(kv.get(), "c", 0.5);
  VLK_KeyValues_set_double(kv.get(), "x", 2.0);
  VLK_KeyValues_set_double(kv.get(), "x", 3.0);
  EXPECT_EQ(text_of(kv.get()), "s=11,c=0.500000,new=12,x=3.000000");
  EXPECT_EQ(VLK_KeyValues_get_double(kv.get(), "c", 0), 0.5);
}

TEST(KeyValues, SharedSentinelIntsNeverChange) {
  List kv(VLK_KeyValues_new());
  VLK_KeyValues_add(kv.get(), "on", VLK_TYPE_INT, VLK_KeyValues_DEFAULT_VALUE_ON);
  VLK_KeyValues_add(kv.get(), "off", VLK_TYPE_INT, VLK_KeyValues_DEFAULT_VALUE_OFF);
  VLK_KeyValues_add(kv.get(), "on2", VLK_TYPE_INT, VLK_KeyValues_DEFAULT_VALUE_ON);
  VLK_KeyValues_inc_int(kv.get(), "on");
  VLK_KeyValues_set_int(kv.get(), "off", 5);
  EXPECT_EQ(*VLK_KeyValues_DEFAULT_VALUE_ON, 1);
  EXPECT_EQ(*VLK_KeyValues_DEFAULT_VALUE_OFF, 0);
  EXPECT_EQ(text_of(kv.get()), "on=2,off=5,on2=1");
  VLK_KeyValues_write(kv.get(), "on2", VLK_TYPE_INT, VLK_KeyValues_DEFAULT_VALUE_OFF);
  EXPECT_EQ(VLK_KeyValues_release_at(VLK_KeyValues_DEFAULT_VALUE, VLK_TYPE_STRING), 0);
  EXPECT_EQ(VLK_KeyValues_release_at(VLK_KeyValues_ERROR_KEY, VLK_TYPE_STRING), 0);
  EXPECT_EQ(VLK_KeyValues_release_at(VLK_KeyValues_DEFAULT_VALUE_ON, VLK_TYPE_INT), 0);
}

TEST(KeyValues, WriteAndMerge) {
  List kv = parse("a=1,b=2,a=3");
  VLK_KeyValues_write(kv.get(), "a", VLK_TYPE_STRING, strdup("x"));  // old value released
  VLK_KeyValues_write(kv.get(), "c", VLK_TYPE_STRING, strdup("y"));
  EXPECT_EQ(text_of(kv.get()), "a=x,b=2,a=3,c=y");

  List src = parse("b=9,d={e=1},f");
  List appended(VLK_KeyValues_clone(kv.get()));
  VLK_KeyValues_add_KeyValues(appended.get(), src.get());
  EXPECT_EQ(text_of(appended.get()), "a=x,b=2,a=3,c=y,b=9,d={e=1},f=on");
  VLK_KeyValues_add_KeyValues_nr(kv.get(), src.get());
  EXPECT_EQ(text_of(kv.get()), "a=x,b=9,a=3,c=y,d={e=1},f=on");

  // Deep copies: the source can go, the copies stay.
  auto* d_src = VLK_KeyValues_get(src.get(), "d");
  src.reset();
  EXPECT_NE(VLK_KeyValues_get(kv.get(), "d"), d_src);
  EXPECT_EQ(text_of(kv.get()), "a=x,b=9,a=3,c=y,d={e=1},f=on");
  // A bare key stays bare in a copy.
  EXPECT_EQ(VLK_KeyValues_get(kv.get(), "f"), VLK_KeyValues_DEFAULT_VALUE);

  VLK_KeyValues_add_KeyValues(kv.get(), kv.get());  // onto itself: one pass
  EXPECT_EQ(VLK_KeyValues_size(kv.get()), 12u);
  VLK_KeyValues_clear(kv.get());
  EXPECT_EQ(VLK_KeyValues_size(kv.get()), 0u);
  VLK_KeyValues_add_string(kv.get(), "z", "1");
  EXPECT_EQ(text_of(kv.get()), "z=1");
  EXPECT_EQ(VLK_KeyValues_clone(nullptr), nullptr);
  VLK_KeyValues_delete(nullptr);
}

TEST(KeyValues, ReleaseOfUnsupportedTypes) {
  EXPECT_FATAL_EXIT(
      VLK_KeyValues_release_at(nullptr, VLK_TYPE_OBJECT),
      "FATAL ERROR: VLK_KeyValues_release_at(): Unsupported type specified: Object\n");
  EXPECT_FATAL_EXIT(
      {
        VLK_KeyValues* kv = VLK_KeyValues_new();
        VLK_KeyValues_add(kv, "u", VLK_TYPE_UINT, nullptr);
        VLK_KeyValues_delete(kv);
      },
      "FATAL ERROR: VLK_KeyValues_release_at(): Unsupported type specified: uint\n");
  // Type 9 is released through the registry, which has no delete for it.
  EXPECT_FATAL_ABORT(VLK_KeyValues_release_at(nullptr, VLK_TYPE_INTARRAY),
                     "FATAL ERROR: VLK_Type_delete(): Unsupported type ID given: IntArray (9)\n");
  EXPECT_FATAL_EXIT(VLK_KeyValues_release_at(nullptr, 30),
                    "FATAL ERROR: VLK_Type_name(): Unsupported type ID: 30\n");
}
