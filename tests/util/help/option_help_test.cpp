#include <gtest/gtest.h>

#include <string>

#include "VLK_ArgDef.h"
#include "vlk_option_help.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

// A module's options over a record of defaults, as the modules make them.
struct Defaults {
  int rounds = 3;
  double step = 0.25;
  int loud = 1;
  int quick = 0;
  char* name = nullptr;
  VLK_KeyValues* inner = nullptr;
};

void ignore_text(const char*, const char*, void*) {}

struct Fixture {
  Defaults d;
  const VLK_ArgDef table[8] = {
      vlk::arg_int("rounds", &d.rounds),
      vlk::arg_int("r", &d.rounds),
      vlk::arg_double("step", &d.step),
      vlk::arg_onoff("loud", &d.loud),
      vlk::arg_flag_on("quick", &d.quick),
      vlk::arg_string("name", &d.name),
      vlk::arg_call3("tag", ignore_text, nullptr),
      vlk::arg_end(),
  };
  std::string print(std::initializer_list<vlk::OptionHelp> help) const {
    return capture([&](FILE* fp) {
      vlk::print_option_help(fp, table,
                             std::span<const vlk::OptionHelp>(help.begin(), help.size()));
    });
  }
};

}  // namespace

// Every key line, the text indented, the default read from the record the table is made over,
// or given, or left out.
TEST(OptionHelp, KeysTextsAndDefaults) {
  const Fixture f;
  EXPECT_EQ(f.print({
                {"rounds r", nullptr, "Rounds to run."},
                {"step", "=s (double)", "The step.\nSecond line."},
                {"loud", nullptr, "Speak."},
                {"quick", nullptr, "Hurry."},
                {"name", nullptr, "A name."},
                {"tag", "=label", "A tag.", "untagged"},
            }),
            "rounds=n (integer)\n"
            "r=n (integer)\n"
            "        Rounds to run. (default: 3)\n"
            "step=s (double)\n"
            "        The step.\n"
            "        Second line. (default: 0.25)\n"
            "loud[=(on|off)]\n"
            "        Speak. (default: on)\n"
            "quick\n"
            "        Hurry. (default: off)\n"
            "name=text (string)\n"
            "        A name. (default: none)\n"
            "tag=label\n"
            "        A tag. (default: untagged)\n");
  // An empty default prints none; a callback's target cannot be read, so it prints none either.
  EXPECT_EQ(f.print({{"rounds r", nullptr, "Rounds.", ""},
                     {"step loud quick name tag", nullptr, "The rest."}}),
            "rounds=n (integer)\nr=n (integer)\n        Rounds.\nstep=x (double)\n"
            "loud[=(on|off)]\nquick\nname=text (string)\ntag=text (string)\n"
            "        The rest. (default: 0.25)\n");
}

// A slip between the table and its help shows in the text.
TEST(OptionHelp, KeysMissingOnEitherSideShow) {
  const Fixture f;
  const std::string out = f.print({
      {"rounds", nullptr, "Rounds."},
      {"colour", "=c", "Not an option of the table.", ""},
      {"step loud quick name tag", nullptr, "The rest.", ""},
  });
  EXPECT_NE(out.find("colour (not an option)\n"), std::string::npos) << out;
  // "r" is in the table but in no entry: listed after the entries.
  EXPECT_TRUE(out.ends_with("r=n (integer)\n        (not described)\n")) << out;
}

// Long lines break at blanks within 80 columns; a default that does not fit the last line
// takes a line of its own.
TEST(OptionHelp, LinesStayWithinTheWidth) {
  const Fixture f;
  const std::string words =
      "one two three four five six seven eight nine ten eleven twelve thirteen fourteen";
  const std::string out = f.print({
      {"rounds r", nullptr, words},
      {"step loud quick name tag", nullptr, "Short.", std::string(70, 'x')},
  });
  EXPECT_EQ(out,
            "rounds=n (integer)\nr=n (integer)\n"
            "        one two three four five six seven eight nine ten eleven twelve thirteen\n"
            "        fourteen (default: 3)\n"
            "step=x (double)\nloud[=(on|off)]\nquick\nname=text (string)\ntag=text (string)\n"
            "        Short.\n"
            "        (default: " +
                std::string(70, 'x') + ")\n");
}

TEST(OptionHelp, NumbersReadBackWithADecimal) {
  const std::pair<double, const char*> cases[] = {
      {2.0, "2.0"},      {0.4, "0.4"},    {100.0, "100.0"},
      {-1.5, "-1.5"},    {1e-7, "1e-07"}, {0.1 + 0.2, "0.30000000000000004"},
      {1e300, "1e+300"},
  };
  for (const auto& [x, text] : cases) EXPECT_EQ(vlk::option_number_text(x), text) << x;
}
