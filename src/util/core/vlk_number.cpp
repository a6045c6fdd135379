#include "vlk_number.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <type_traits>

namespace vlk {

// The seed and the other unsigned options are 32-bit.
static_assert(sizeof(unsigned) == 4);

namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string_view strip(std::string_view s, Blanks blanks) {
  if (blanks == Blanks::refused) return s;
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (is_blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The digits from s[*i] on; how many there were.
size_t skip_digits(std::string_view s, size_t* i) {
  const size_t start = *i;
  while (*i < s.size() && is_digit(s[*i])) ++*i;
  return *i - start;
}

bool has_sign(std::string_view s) { return !s.empty() && (s[0] == '+' || s[0] == '-'); }

bool is_integer_text(std::string_view s) {
  size_t i = has_sign(s) ? 1 : 0;
  return skip_digits(s, &i) > 0 && i == s.size();
}

bool is_real_text(std::string_view s) {
  size_t i = has_sign(s) ? 1 : 0;
  size_t digits = skip_digits(s, &i);
  if (i < s.size() && s[i] == '.') {
    ++i;
    digits += skip_digits(s, &i);
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (skip_digits(s, &i) == 0) return false;
  }
  return i == s.size();
}

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

// The spellings of infinity and NaN that strtod takes: inf, infinity, nan, nan(chars).
bool is_non_finite_text(std::string_view s) {
  if (has_sign(s)) s.remove_prefix(1);
  if (equal_nocase(s, "inf") || equal_nocase(s, "infinity") || equal_nocase(s, "nan")) return true;
  return s.size() >= 5 && equal_nocase(s.substr(0, 4), "nan(") && s.back() == ')';
}

template <class T>
Number<T> parse_integer(std::string_view s) {
  if (!is_integer_text(s)) return {};
  if (s[0] == '+') s.remove_prefix(1);
  long long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() ||
      v < static_cast<long long>(std::numeric_limits<T>::min()) ||
      v > static_cast<long long>(std::numeric_limits<T>::max()))
    return {T{}, NumberStatus::out_of_range};
  return {static_cast<T>(v), NumberStatus::ok};
}

Number<double> parse_real(std::string_view s) {
  if (!is_real_text(s))
    return {0.0, is_non_finite_text(s) ? NumberStatus::not_finite : NumberStatus::not_a_number};
  const std::string_view digits = s[0] == '+' ? s.substr(1) : s;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (ec == std::errc() && end == digits.data() + digits.size()) return {v, NumberStatus::ok};
  // Out of range either way: too large is refused, too small reads as strtod rounds it (0 or
  // a denormal).
  const std::string text(digits);
  v = std::strtod(text.c_str(), nullptr);
  if (v == std::numeric_limits<double>::infinity() || v == -std::numeric_limits<double>::infinity())
    return {0.0, NumberStatus::out_of_range};
  return {v, NumberStatus::ok};
}

}  // namespace

template <class T>
Number<T> parse_number(std::string_view text, Blanks blanks) {
  if constexpr (std::is_same_v<T, double>)
    return parse_real(strip(text, blanks));
  else
    return parse_integer<T>(strip(text, blanks));
}

template <class T>
const char* number_problem(NumberStatus status) {
  if (status == NumberStatus::ok) return "";
  if constexpr (std::is_same_v<T, double>) {
    if (status == NumberStatus::out_of_range) return "is too large for a double";
    if (status == NumberStatus::not_finite) return "is not a finite number";
    return "is not a number";
  } else if constexpr (std::is_same_v<T, int>) {
    if (status == NumberStatus::out_of_range)
      return "is out of the range of an int (-2147483648 to 2147483647)";
    return "is not an integer";
  } else {
    if (status == NumberStatus::out_of_range)
      return "is out of the range of an unsigned 32-bit integer (0 to 4294967295)";
    return "is not an unsigned integer";
  }
}

template <class T>
std::optional<ListProblem> parse_number_list(std::string_view text, char sep, std::vector<T>* out,
                                             Blanks blanks) {
  const size_t first = out->size();
  for (size_t index = 0;; ++index) {
    const size_t cut = text.find(sep);
    const std::string_view field = text.substr(0, cut);
    const Number<T> n = parse_number<T>(field, blanks);
    if (!n.ok()) {
      out->resize(first);
      return ListProblem{index, field, n.status};
    }
    out->push_back(n.value);
    if (cut == std::string_view::npos) return std::nullopt;
    text.remove_prefix(cut + 1);
  }
}

template Number<int> parse_number<int>(std::string_view, Blanks);
template Number<unsigned> parse_number<unsigned>(std::string_view, Blanks);
template Number<double> parse_number<double>(std::string_view, Blanks);
template const char* number_problem<int>(NumberStatus);
template const char* number_problem<unsigned>(NumberStatus);
template const char* number_problem<double>(NumberStatus);
template std::optional<ListProblem> parse_number_list<int>(std::string_view, char,
                                                           std::vector<int>*, Blanks);
template std::optional<ListProblem> parse_number_list<unsigned>(std::string_view, char,
                                                                std::vector<unsigned>*, Blanks);
template std::optional<ListProblem> parse_number_list<double>(std::string_view, char,
                                                              std::vector<double>*, Blanks);

}  // namespace vlk
