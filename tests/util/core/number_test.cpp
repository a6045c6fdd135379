// The strict number reading: the whole text is one number of the type, within its range, or the
// caller learns which of the three ways it is not.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "vlk_number.h"

namespace {

using vlk::Blanks;
using vlk::NumberStatus;
constexpr NumberStatus ok = NumberStatus::ok, word = NumberStatus::not_a_number,
                       range = NumberStatus::out_of_range, nonfinite = NumberStatus::not_finite;

template <class T>
struct Case {
  std::string text;
  NumberStatus status;
  T value;  // when ok
};

template <class T>
void check(const std::vector<Case<T>>& cases, Blanks blanks = Blanks::refused) {
  for (const Case<T>& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    const vlk::Number<T> n = vlk::parse_number<T>(c.text, blanks);
    EXPECT_EQ(n.status, c.status);
    if (c.status == ok) {
      EXPECT_EQ(n.value, c.value);
    }
  }
}

TEST(ParseNumber, Int) {
  check<int>({
      {"0", ok, 0},
      {"42", ok, 42},
      {"-17", ok, -17},
      {"+5", ok, 5},
      {"007", ok, 7},
      {"-0", ok, 0},
      {"2147483647", ok, 2147483647},
      {"-2147483648", ok, -2147483647 - 1},
      {"2147483648", range, 0},
      {"-2147483649", range, 0},
      {"4294967296", range, 0},
      {"99999999999999999999999", range, 0},
      {"1e4", word, 0},
      {"1.0", word, 0},
      {"12abc", word, 0},
      {"abc", word, 0},
      {"", word, 0},
      {"-", word, 0},
      {"+-1", word, 0},
      {"--1", word, 0},
      {"0x10", word, 0},
      {" 1", word, 0},
      {"1 ", word, 0},
      {"1,000", word, 0},
      {"inf", word, 0},
  });
}

TEST(ParseNumber, Unsigned32) {
  check<unsigned>({
      {"0", ok, 0u},
      {"4294967295", ok, 4294967295u},
      {"+12", ok, 12u},
      {"-0", ok, 0u},
      {"4294967296", range, 0u},
      {"-1", range, 0u},
      {"18446744073709551616", range, 0u},
      {"1e3", word, 0u},
      {"abc", word, 0u},
      {"", word, 0u},
  });
}

TEST(ParseNumber, Double) {
  const double denormal = 4.9406564584124654e-324;
  check<double>({
      {"0", ok, 0.0},
      {"12", ok, 12.0},
      {"-3.5", ok, -3.5},
      {"+.5", ok, 0.5},
      {".5", ok, 0.5},
      {"1.", ok, 1.0},
      {"1e5", ok, 1e5},
      {"1E+5", ok, 1e5},
      {"2.5e-3", ok, 2.5e-3},
      {"0.1", ok, 0.1},  // the correctly rounded double
      {"1.7976931348623157e308", ok, std::numeric_limits<double>::max()},
      {"4.9406564584124654e-324", ok, denormal},
      {"1e-400", ok, 0.0},  // below the smallest double: 0, as strtod reads it
      {"-1e-400", ok, -0.0},
      {"1e309", range, 0.0},
      {"-1.8e308", range, 0.0},
      {"inf", nonfinite, 0.0},
      {"-Infinity", nonfinite, 0.0},
      {"NaN", nonfinite, 0.0},
      {"+nan", nonfinite, 0.0},
      {"nan(0x7)", nonfinite, 0.0},
      {"infinit", word, 0.0},
      {"nan(", word, 0.0},
      {"", word, 0.0},
      {".", word, 0.0},
      {"+", word, 0.0},
      {"e5", word, 0.0},
      {"1e", word, 0.0},
      {"1e+", word, 0.0},
      {"1.2.3", word, 0.0},
      {"12abc", word, 0.0},
      {"NA", word, 0.0},
      {"0x1A", word, 0.0},
      {"0x1p3", word, 0.0},
      {"1,5", word, 0.0},
      {"1 2", word, 0.0},
      {" 1", word, 0.0},
  });
  // Signed zeros keep their sign.
  EXPECT_TRUE(std::signbit(vlk::parse_number<double>("-0").value));
  EXPECT_TRUE(std::signbit(vlk::parse_number<double>("-1e-400").value));
}

// Data fields may carry blanks around the number and the CR of a CR LF line end; a field of
// blanks alone is still no number.
TEST(ParseNumber, BlanksAroundAField) {
  check<double>(
      {
          {" 1.5", ok, 1.5},
          {"2\t", ok, 2.0},
          {"\t 3 \n", ok, 3.0},
          {"4\r", ok, 4.0},
          {"5 \r", ok, 5.0},
          {" ", word, 0.0},
          {"\r", word, 0.0},
          {"", word, 0.0},
          {"\r6", word, 0.0},
          {"1 2", word, 0.0},
          {" inf ", nonfinite, 0.0},
      },
      Blanks::allowed);
  check<int>({{" -7 ", ok, -7}, {"7\r", ok, 7}, {"\t", word, 0}}, Blanks::allowed);
}

TEST(ParseNumber, Problems) {
  EXPECT_STREQ(vlk::number_problem<int>(word), "is not an integer");
  EXPECT_STREQ(vlk::number_problem<int>(range),
               "is out of the range of an int (-2147483648 to 2147483647)");
  EXPECT_STREQ(vlk::number_problem<unsigned>(word), "is not an unsigned integer");
  EXPECT_STREQ(vlk::number_problem<unsigned>(range),
               "is out of the range of an unsigned 32-bit integer (0 to 4294967295)");
  EXPECT_STREQ(vlk::number_problem<double>(word), "is not a number");
  EXPECT_STREQ(vlk::number_problem<double>(range), "is too large for a double");
  EXPECT_STREQ(vlk::number_problem<double>(nonfinite), "is not a finite number");
  EXPECT_STREQ(vlk::number_problem<double>(ok), "");
}

TEST(ParseNumberList, EveryFieldOrNone) {
  struct Row {
    std::string text;
    char sep;
    std::vector<int> values;  // when every field reads
    size_t bad_index;         // otherwise
    std::string bad_field;
    NumberStatus status;
  };
  const Row rows[] = {
      {"1,2,3", ',', {1, 2, 3}, 0, "", ok}, {"-4", ',', {-4}, 0, "", ok},
      {"0:1:2", ':', {0, 1, 2}, 0, "", ok}, {"1,x,3", ',', {}, 1, "x", word},
      {"1,,3", ',', {}, 1, "", word},       {"1,2,", ',', {}, 2, "", word},
      {",1", ',', {}, 0, "", word},         {"", ',', {}, 0, "", word},
      {"1,2", ':', {}, 0, "1,2", word},     {"1,9999999999", ',', {}, 1, "9999999999", range},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<int> out = {99};
    const auto problem = vlk::parse_number_list<int>(r.text, r.sep, &out);
    if (r.status == ok) {
      EXPECT_FALSE(problem.has_value());
      std::vector<int> expect = {99};
      expect.insert(expect.end(), r.values.begin(), r.values.end());
      EXPECT_EQ(out, expect);  // appended
    } else {
      ASSERT_TRUE(problem.has_value());
      EXPECT_EQ(problem->index, r.bad_index);
      EXPECT_EQ(problem->field, r.bad_field);
      EXPECT_EQ(problem->status, r.status);
      EXPECT_EQ(out, std::vector<int>{99});  // nothing appended
    }
  }
  std::vector<double> reals;
  EXPECT_FALSE(vlk::parse_number_list<double>("0.2, 0.5 ,1", ',', &reals, Blanks::allowed));
  EXPECT_EQ(reals, (std::vector<double>{0.2, 0.5, 1.0}));
  const auto bad = vlk::parse_number_list<double>("0.2,inf", ',', &reals);
  ASSERT_TRUE(bad.has_value());
  EXPECT_EQ(bad->status, nonfinite);
}

}  // namespace
