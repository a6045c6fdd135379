#include "VLK_Help.h"

#include <strings.h>

#include "VLK_BNRC.h"
#include "VLK_TXT.h"

// Every module with a help text adds its row here when it is built, keeping the order
// TXT ("io"), BNRC ("score"). A central table rather than registration from static
// constructors, whose order across files is unspecified.
constexpr VLK_HelpEntry VLK_Help_lists[] = {
    {TXT_help, "TXT", "io"},
    {VLK_BNRC_help, "BNRC", "score"},
    {nullptr, nullptr, nullptr},
};

namespace {

// A null argument matches no row.
bool same(const char* given, const char* field) {
  return given != nullptr && field != nullptr && strcasecmp(given, field) == 0;
}

// The rows of a listing: all of them without a category.
bool listed(const char* category, const VLK_HelpEntry* row) {
  return category == nullptr || same(category, row->category);
}

}  // namespace

namespace vlk {

VLK_StrArray* help_list(const VLK_HelpEntry* table, const char* category) {
  VLK_StrArray* names = VLK_StrArray_new();
  if (names == nullptr) return nullptr;
  for (const VLK_HelpEntry* row = table; row->help != nullptr; ++row) {
    if (!listed(category, row)) continue;
    if (VLK_StrArray_add_copy(names, row->name) == nullptr) {
      VLK_StrArray_delete_all(names);
      return nullptr;
    }
  }
  return names;
}

void help_print_list(const VLK_HelpEntry* table, FILE* fp, const char* category) {
  for (const VLK_HelpEntry* row = table; row->help != nullptr; ++row)
    if (listed(category, row)) std::fprintf(fp, "%s\n", row->name);
}

void help_msg(const VLK_HelpEntry* table, FILE* fp, const char* category, const char* name,
              const char* sub) {
  for (const VLK_HelpEntry* row = table; row->help != nullptr; ++row) {
    if (!same(name, row->name) && !same(category, row->category)) continue;
    std::fprintf(fp, "<%s module [%s]>:\n", row->name, row->category);
    row->help(fp, sub);
    std::fprintf(fp, "\n");
  }
}

}  // namespace vlk

VLK_StrArray* VLK_Help_list(const char* category) {
  return vlk::help_list(VLK_Help_lists, category);
}

void VLK_Help_msg(FILE* fp, const char* category, const char* name, const char* sub) {
  vlk::help_msg(VLK_Help_lists, fp, category, name, sub);
}

void VLK_Help_print_list(FILE* fp, const char* category) {
  vlk::help_print_list(VLK_Help_lists, fp, category);
}
