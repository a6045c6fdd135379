#include "vlk_option_help.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace vlk {

namespace {

constexpr const char* kIndent = "        ";
// The width of a help line; a default that would go beyond it takes a line of its own.
constexpr size_t kWidth = 80;

const VLK_ArgDef* row_named(const VLK_ArgDef* table, std::string_view key) {
  for (const VLK_ArgDef* row = table; row->name != nullptr; ++row)
    if (key == row->name) return row;
  return nullptr;
}

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  for (;;) {
    const size_t start = s.find_first_not_of(' ');
    if (start == std::string_view::npos) return out;
    s.remove_prefix(start);
    const size_t end = s.find(' ');
    out.push_back(s.substr(0, end));
    if (end == std::string_view::npos) return out;
    s.remove_prefix(end);
  }
}

// The lines of a text: its own lines, each broken at blanks where it would pass the width.
std::vector<std::string_view> text_lines(std::string_view text) {
  const size_t room = kWidth - std::strlen(kIndent);
  std::vector<std::string_view> out;
  for (;;) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    while (line.size() > room) {
      const size_t cut = line.rfind(' ', room);
      if (cut == std::string_view::npos || cut == 0) break;
      out.push_back(line.substr(0, cut));
      line.remove_prefix(cut + 1);
    }
    out.push_back(line);
    if (end == std::string_view::npos || end + 1 == text.size()) return out;
    text.remove_prefix(end + 1);
  }
}

void print_text(FILE* fp, std::string_view text, const std::string& default_text) {
  std::vector<std::string_view> lines = text_lines(text);
  const std::string note = default_text.empty() ? "" : "(default: " + default_text + ")";
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string_view line = lines[k];
    std::fprintf(fp, "%s%.*s", kIndent, static_cast<int>(line.size()), line.data());
    if (k + 1 < lines.size() || note.empty()) {
      std::fputc('\n', fp);
    } else if (line.empty()) {
      std::fprintf(fp, "%s\n", note.c_str());
    } else if (std::strlen(kIndent) + line.size() + 1 + note.size() <= kWidth) {
      std::fprintf(fp, " %s\n", note.c_str());
    } else {
      std::fprintf(fp, "\n%s%s\n", kIndent, note.c_str());
    }
  }
}

bool described(std::span<const OptionHelp> help, const char* key) {
  for (const OptionHelp& h : help)
    for (std::string_view k : words(h.keys))
      if (k == key) return true;
  return false;
}

}  // namespace

const char* option_value_text(int kind) {
  switch (kind) {
    case VLK_TYPE_INT:
    case VLK_TYPE_UINT:
    case VLK_ARG_INT_ADD:
      return "=n (integer)";
    case VLK_TYPE_DOUBLE:
      return "=x (double)";
    case VLK_TYPE_STRING:
    case VLK_ARG_STRING_APPEND:
    case VLK_ARG_CALL3:  // the callback takes the value's text
      return "=text (string)";
    case VLK_ARG_INT_DEFAULT:
      return "[=n] (integer)";
    case VLK_ARG_STRING_DEFAULT:
      return "[=text] (string)";
    case VLK_ARG_ONOFF:
      return "[=(on|off)]";
    case VLK_ARG_FLAG_ON:
    case VLK_ARG_FLAG_OFF:
      return "";
    case VLK_TYPE_KEYVALUES:
    case VLK_ARG_KEYVALUES_MERGE:
      return "={key=value,...}";
    case VLK_ARG_INTS_COLON:
      return "=n:n:... (integers)";
    case VLK_ARG_INTS_COMMA:
      return "=n,n,... (integers)";
    case VLK_ARG_DOUBLES_COLON:
      return "=x:x:... (doubles)";
    case VLK_ARG_DOUBLES_COMMA:
      return "=x,x,... (doubles)";
    default:
      return "=value";
  }
}

std::string option_number_text(double x) {
  char buf[32];
  // As many digits as the integer part has at least, so that 100 is not written 1e+02; beyond
  // 15 digits the exponent form is the shorter.
  int digits = 1;
  if (std::fabs(x) < 1e15)
    for (double whole = std::fabs(x); whole >= 10.0; whole /= 10.0) ++digits;
  for (; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, x);
    if (std::strtod(buf, nullptr) == x) break;
  }
  std::string text = buf;
  if (text.find_first_of(".eni") == std::string::npos) text += ".0";
  return text;
}

std::string option_default_text(const VLK_ArgDef& row) {
  if (row.target == nullptr) return "";
  switch (row.kind) {
    case VLK_TYPE_INT:
      return std::to_string(*static_cast<const int*>(row.target));
    case VLK_TYPE_UINT:
      return std::to_string(*static_cast<const unsigned*>(row.target));
    case VLK_TYPE_DOUBLE:
      return option_number_text(*static_cast<const double*>(row.target));
    case VLK_TYPE_STRING: {
      const char* s = *static_cast<char* const*>(row.target);
      return s != nullptr ? s : "none";
    }
    case VLK_ARG_ONOFF:
    case VLK_ARG_FLAG_ON:
    case VLK_ARG_FLAG_OFF:
      return *static_cast<const int*>(row.target) != 0 ? "on" : "off";
    default:
      return "";
  }
}

void print_option_help(FILE* fp, const VLK_ArgDef* table, std::span<const OptionHelp> help) {
  for (const OptionHelp& h : help) {
    const VLK_ArgDef* first = nullptr;
    for (std::string_view key : words(h.keys)) {
      const VLK_ArgDef* row = row_named(table, key);
      if (first == nullptr) first = row;
      std::fprintf(fp, "%.*s", static_cast<int>(key.size()), key.data());
      if (row == nullptr)
        std::fprintf(fp, " (not an option)\n");
      else
        std::fprintf(fp, "%s\n", h.value != nullptr ? h.value : option_value_text(row->kind));
    }
    const std::string default_text = h.default_text     ? *h.default_text
                                     : first != nullptr ? option_default_text(*first)
                                                        : "";
    print_text(fp, h.text, default_text);
  }
  for (const VLK_ArgDef* row = table; row->name != nullptr; ++row) {
    if (described(help, row->name)) continue;
    std::fprintf(fp, "%s%s\n%s(not described)\n", row->name, option_value_text(row->kind), kIndent);
  }
}

}  // namespace vlk
