// Help texts of option tables. A module describes its options once, and the help is printed
// from its option table itself: every key the table takes is listed, aliases included, and a
// default is read from the record the table is made over, so the help cannot leave a key out
// or name a default the module does not start from.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "VLK_ArgDef.h"

namespace vlk {

// One option of a table: its keys, what the value after each key looks like, what it does and
// where it starts.
struct OptionHelp {
  // The option's keys as the table names them, blank-separated: "hyper_bg hb".
  const char* keys;
  // What follows each key ("=file (string)"); null: what the first key's binding kind takes
  // ("=n (integer)", "[=(on|off)]", nothing for a flag, ...).
  const char* value;
  // What the option does; '\n' separates the lines, each printed indented.
  std::string text;
  // Printed as " (default: ...)" after the text: none when empty, and when absent the value
  // the first key's target holds (the table is made over a record of defaults).
  std::optional<std::string> default_text = std::nullopt;
};

// Every entry of `help` in order: its keys, one per line with their value, then its text. Two
// slips show in the text instead of passing silently: a key that the table lacks is printed
// with "(not an option)", and a key of the table that no entry names is printed after the
// entries with "(not described)".
void print_option_help(FILE* fp, const VLK_ArgDef* table, std::span<const OptionHelp> help);

// What follows a key of this binding kind in a help text ("=x (double)", "" for a flag).
const char* option_value_text(int kind);
// The value that the row's target holds, as a help text shows it; empty when the kind's
// target cannot be read (callbacks, lists).
std::string option_default_text(const VLK_ArgDef& row);
// A double as a help text shows it: the shortest text that reads back as the same value, with
// at least one decimal ("2.0", "0.4", "1e-07").
std::string option_number_text(double x);

}  // namespace vlk
