// Strict reading of numbers from text: the whole text must be one decimal number of the target
// type and within its range, or the caller learns why not. Option values and the value fields
// of data files are read through these, never through atoi, atof or strtoul, which take "1e4"
// for 1, "abc" for 0 and 4294967296 for 0.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vlk {

enum class NumberStatus {
  ok,
  not_a_number,  // empty, a word, a number with text after it ("12abc"), hexadecimal
  out_of_range,  // an integer outside its type, a real too large for a double
  not_finite,    // "inf", "infinity", "nan" in any case and with any sign
};

// Whether blanks (blank, tab, newline) may stand around the number, and a CR after it: a field
// of a data file may carry them, an option value may not.
enum class Blanks { refused, allowed };

template <class T>
struct Number {
  T value{};
  NumberStatus status = NumberStatus::not_a_number;
  bool ok() const { return status == NumberStatus::ok; }
};

// T is int, unsigned (32-bit) or double.
// Integers: an optional sign and decimal digits ("-0" is 0 for unsigned, "-1" out of range).
// Reals: an optional sign, decimal digits with an optional point (at least one digit) and an
// optional exponent (e or E, optional sign, digits): 12, -3.5, +.5, 1., 1e-5. A real too small
// for a double reads as 0 or a denormal, the nearest double; the value is the correctly rounded
// one, as strtod gives it.
template <class T>
Number<T> parse_number(std::string_view text, Blanks blanks = Blanks::refused);

// Why text is no T, as the words after the quoted text in a message: "is not an integer",
// "is out of the range of an int (-2147483648 to 2147483647)", "is not a finite number", ...
// Empty for ok.
template <class T>
const char* number_problem(NumberStatus status);

// The field of a list that is no number: its position (from 0), its text and why.
struct ListProblem {
  size_t index;
  std::string_view field;
  NumberStatus status;
};

// Every field of text between occurrences of sep (count(sep) + 1 fields, so an empty text or an
// empty field is a field that is no number), parsed as T and appended to *out. When a field
// does not parse, nothing is appended and its problem is returned.
template <class T>
std::optional<ListProblem> parse_number_list(std::string_view text, char sep, std::vector<T>* out,
                                             Blanks blanks = Blanks::refused);

}  // namespace vlk
