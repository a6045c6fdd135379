#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VLK_Help.h"
#include "VLK_StrArray.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

void txt_help(FILE* fp, const char* sub) { std::fprintf(fp, "txt options%s\n", sub ? sub : ""); }
void bnrc_help(FILE* fp, const char* sub) { std::fprintf(fp, "bnrc options%s", sub ? sub : ""); }

// The rows the io and score modules bring, with stand-in help functions.
constexpr VLK_HelpEntry kTable[] = {
    {txt_help, "TXT", "io"},
    {bnrc_help, "BNRC", "score"},
    {nullptr, nullptr, nullptr},
};

std::vector<std::string> names(VLK_StrArray* a) {
  std::vector<std::string> out;
  if (a == nullptr) return out;
  for (size_t i = 0; i < VLK_StrArray_size(a); ++i) out.emplace_back(VLK_StrArray_get(a, i));
  VLK_StrArray_delete_all(a);
  return out;
}

}  // namespace

TEST(Help, MessagesOfTheMatchingRowsInTableOrder) {
  const std::string txt = "<TXT module [io]>:\ntxt options\n\n";
  const std::string bnrc = "<BNRC module [score]>:\nbnrc options\n";
  struct Case {
    const char* category;
    const char* name;
    const char* sub;
    std::string out;
  };
  const Case cases[] = {
      {nullptr, "bnrc", nullptr, bnrc},
      {nullptr, "BnRc", nullptr, bnrc},
      {"io", nullptr, nullptr, txt},
      {"IO", nullptr, nullptr, txt},
      {"score", "TXT", nullptr, txt + bnrc},  // table order, not argument order
      {"io", "txt", nullptr, txt},            // a row matching twice prints once
      {nullptr, "BNRC", ",prior", "<BNRC module [score]>:\nbnrc options,prior\n"},
      {nullptr, "NOPE", nullptr, ""},
      {"graph", nullptr, nullptr, ""},
      {nullptr, nullptr, nullptr, ""},
      {nullptr, "", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.category ? c.category : "(null)") + " / " +
                 (c.name ? c.name : "(null)"));
    EXPECT_EQ(capture([&](FILE* fp) { vlk::help_msg(kTable, fp, c.category, c.name, c.sub); }),
              c.out);
  }
}

TEST(Help, ListsModuleNamesByCategory) {
  using V = std::vector<std::string>;
  EXPECT_EQ(names(vlk::help_list(kTable, nullptr)), (V{"TXT", "BNRC"}));
  EXPECT_EQ(names(vlk::help_list(kTable, "SCORE")), (V{"BNRC"}));
  EXPECT_EQ(names(vlk::help_list(kTable, "io")), (V{"TXT"}));
  EXPECT_EQ(names(vlk::help_list(kTable, "graph")), V{});

  // The same rows printed, one name per line.
  const auto printed = [](const char* category) {
    return capture([&](FILE* fp) { vlk::help_print_list(kTable, fp, category); });
  };
  EXPECT_EQ(printed(nullptr), "TXT\nBNRC\n");
  EXPECT_EQ(printed("SCORE"), "BNRC\n");
  EXPECT_EQ(printed("graph"), "");

  // The names are copies, not the table's texts.
  VLK_StrArray* a = vlk::help_list(kTable, nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(static_cast<const void*>(VLK_StrArray_get(a, 0)),
            static_cast<const void*>(kTable[0].name));
  VLK_StrArray_delete_all(a);
}

// What a program adds to a block comes after the module's help, before the empty line.
TEST(Help, AProgramsNoteClosesTheBlock) {
  const vlk::HelpAfter note = [](FILE* fp, const VLK_HelpEntry& row) {
    std::fprintf(fp, "note on %s\n", row.name);
  };
  EXPECT_EQ(capture([&](FILE* fp) { vlk::help_msg(kTable, fp, "io", "BNRC", nullptr, note); }),
            "<TXT module [io]>:\ntxt options\nnote on TXT\n\n"
            "<BNRC module [score]>:\nbnrc optionsnote on BNRC\n\n");
  EXPECT_EQ(vlk::help_find(kTable, "bnrc"), &kTable[1]);
  EXPECT_EQ(vlk::help_find(kTable, "score"), nullptr);
  EXPECT_EQ(vlk::help_find(kTable, nullptr), nullptr);
}

// The registry itself: terminated, every row complete, the public calls read it, and no help
// text names a key its module's table lacks or leaves a key of the table out.
TEST(Help, RegistryRowsAreComplete) {
  std::vector<std::string> rows;
  for (const VLK_HelpEntry* row = VLK_Help_lists; row->help != nullptr; ++row) {
    ASSERT_NE(row->name, nullptr);
    ASSERT_NE(row->category, nullptr);
    rows.emplace_back(row->name);
  }
  EXPECT_EQ(names(VLK_Help_list(nullptr)), rows);
  for (const std::string& name : rows) {
    SCOPED_TRACE(name);
    const std::string out =
        capture([&](FILE* fp) { VLK_Help_msg(fp, nullptr, name.c_str(), nullptr); });
    EXPECT_EQ(out.rfind("<" + name + " module [", 0), 0u) << out;
    EXPECT_EQ(out.find("\n\"" + name + "\" ("), out.find('\n')) << out;
    EXPECT_EQ(out.find("(not described)"), std::string::npos) << out;
    EXPECT_EQ(out.find("(not an option)"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("\n\n")) << out;
  }
  EXPECT_EQ(capture([](FILE* fp) { VLK_Help_msg(fp, nullptr, "no such module", nullptr); }), "");
}
