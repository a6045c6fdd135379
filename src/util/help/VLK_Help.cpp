#include "VLK_Help.h"

#include <strings.h>

#include "ContPrior.h"
#include "TwoStepHC.h"
#include "VLK_BNRC.h"
#include "VLK_CSML.h"
#include "VLK_DataMatrix.h"
#include "VLK_EDF.h"
#include "VLK_GON.h"
#include "VLK_Greedy.h"
#include "VLK_LIST.h"
#include "VLK_ListReaders.h"
#include "VLK_TXT.h"

// Every module whose option list a user can give has a row here, added when the module is
// built; grouped by category along the road of a run: the data readers, the searches, the
// scores, the network formats. A central table rather than registration from static
// constructors, whose order across files is unspecified.
constexpr VLK_HelpEntry VLK_Help_lists[] = {
    {VLK_EDF_help, "EDF", "input"},
    {VLK_DataMatrix_help, "DataMatrix", "input"},
    {VLK_Greedy_help, "hc", "algo"},
    {VLK_Greedy2_help, "hc2", "algo"},
    {TwoStepHC_help, "tshc", "algo"},
    {VLK_BNRC_help, "BNRC", "score"},
    {ContPrior_help, "ContPrior", "score"},
    {TXT_help, "TXT", "io"},
    {VLK_CSML_help, "CSML", "io"},
    {NODELIST_help, "NODELIST", "io"},
    {GON_help, "GON", "io"},
    {PALIST_help, "PALIST", "io"},
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

const VLK_HelpEntry* help_find(const VLK_HelpEntry* table, const char* name) {
  for (const VLK_HelpEntry* row = table; row->help != nullptr; ++row)
    if (same(name, row->name)) return row;
  return nullptr;
}

void help_msg(const VLK_HelpEntry* table, FILE* fp, const char* category, const char* name,
              const char* sub, HelpAfter after) {
  for (const VLK_HelpEntry* row = table; row->help != nullptr; ++row) {
    if (!same(name, row->name) && !same(category, row->category)) continue;
    std::fprintf(fp, "<%s module [%s]>:\n", row->name, row->category);
    row->help(fp, sub);
    if (after != nullptr) after(fp, *row);
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
