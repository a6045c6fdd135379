// The manual's option reference (doc/options.md) against the program's option table: every
// option is there, with the default the program starts from, and nothing else is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "settings/args.h"
#include "vlk_test.h"

namespace {

struct Row {
  std::string default_cell;
};

// Option name -> its row, from every table row of the reference whose first cell names options.
std::map<std::string, Row> reference_rows() {
  const std::string here = __FILE__;
  const std::string doc =
      vlk_test::read_file(here.substr(0, here.rfind("/tests/")) + "/doc/options.md");
  std::map<std::string, Row> rows;
  std::istringstream in(doc);
  const std::regex name("`(-[^`]*)`");
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("| `-")) continue;
    const size_t first = line.find('|', 1), second = line.find('|', first + 1);
    const std::string names = line.substr(1, first - 1);
    std::string cell = line.substr(first + 1, second - first - 1);
    cell = cell.substr(cell.find_first_not_of(' '));
    for (std::sregex_iterator m(names.begin(), names.end(), name), end; m != end; ++m)
      rows[(*m)[1]] = Row{cell};
  }
  return rows;
}

// The cell begins with the default: a number equal to it (between backquotes), or the text
// itself, between backquotes or not.
bool cell_says(const std::string& cell, const std::string& value) {
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (!value.empty() && *end == '\0' && cell.starts_with("`"))
    return std::strtod(cell.c_str() + 1, nullptr) == number &&
           cell.find('`', 1) != std::string::npos;
  return cell.starts_with("`" + value + "`") || cell.starts_with(value);
}

TEST(OptionsDoc, EveryOptionWithItsDefault) {
  std::map<std::string, Row> rows = reference_rows();
  ASSERT_FALSE(rows.empty());
  for (const ArgsOption& option : Args_options()) {
    SCOPED_TRACE(option.name);
    const auto row = rows.find(option.name);
    ASSERT_NE(row, rows.end()) << "not in doc/options.md";
    EXPECT_TRUE(cell_says(row->second.default_cell, option.default_text))
        << "default " << option.default_text << ", the reference says " << row->second.default_cell;
    rows.erase(row);
  }
  for (const auto& [name, row] : rows) ADD_FAILURE() << name << " is not an option of the program";
}

}  // namespace
