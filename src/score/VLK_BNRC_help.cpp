// The BNRC module's entry in the help registry: its options.
#include <cstdio>
#include <string>

#include "VLK_BNRC.h"
#include "VLK_KeyValues.h"
#include "vlk_option_help.h"
#include "vlk_owned.h"

namespace {

// The grid that "linear" stands for, as the option binding makes it.
vlk::bnrc::Options linear_grid() {
  const vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> list(VLK_KeyValues_new());
  VLK_KeyValues_add(list.get(), "linear", VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
  vlk::bnrc::Options o;
  vlk::bnrc::read_options(list.get(), &o);
  return o;
}

}  // namespace

void VLK_BNRC_help(FILE* fp, const char* /*sub*/) {
  vlk::bnrc::Options d;
  const vlk::bnrc::OptionTable table = vlk::bnrc::option_table(&d);
  const vlk::bnrc::Options linear = linear_grid();
  // Init takes the verbosity of its arguments, which "v" replaces.
  const vlk::Owned<VLK_ScoreArgs, VLK_ScoreArgs_delete> args(VLK_ScoreArgs_new());
  const std::string verbosity = args != nullptr && args->verbosity > 0 ? "on" : "off";
  const vlk::OptionHelp help[] = {
      {"level", nullptr,
       "The pre-calculation level, 1, 2 or 3: the higher, the more tables init keeps and "
       "the faster the score; init lowers it until its tables fit the memory budget."},
      {"hyper_bg hb", nullptr,
       "The initial exponent number of the hyperparameter search range.  The\n"
       "search range is from 10^x to 10^(x-iy) where x is the value of\n"
       "\"hyper_bg\" (\"hb\"), y the value of \"hyper_inc\" (\"hi\"), and \n"
       "0 <= i < n where n is the value of \"hyper_num\" (\"hn\")."},
      {"hyper_inc hi", "=y (double)",
       "The step of the exponent number for the hyperparameter search\n"
       "range."},
      {"hyper_num hn", nullptr, "The number of hyper parameters to search."},
      {"linear", nullptr,
       "Linear mode. This does not take value.  This is an alias for\n\"hyper_bg=" +
           vlk::option_number_text(linear.hb) + ",hyper_inc=" + vlk::option_number_text(linear.hi) +
           ",hyper_num=" + std::to_string(linear.hyper_num) + "\"."},
      {"v", nullptr, "On: the score's detailed messages; off: its usual ones.", verbosity},
  };
  std::fprintf(fp, "\"BNRC\" (network score function):\n");
  vlk::print_option_help(fp, table.data(), help);
}
