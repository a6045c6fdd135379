#include "vlk_algo_options.h"

#include <strings.h>

#include <cstdlib>

#include "VLK_AlgoArgs.h"
#include "VLK_BNRC.h"
#include "VLK_Score.h"
#include "VLK_Str.h"
#include "VLK_Type.h"
#include "vlk_fatal.h"
#include "vlk_number.h"
#include "vlk_owned.h"

namespace vlk::algo {

void remove_all(VLK_KeyValues* list, const char* key) {
  while (VLK_KeyValues_find_key(list, key) >= 0) VLK_KeyValues_remove(list, key);
}

int int_option(const VLK_KeyValues* list, const char* key, int def) {
  const int i = VLK_KeyValues_find_key(list, key);
  if (i < 0) return def;
  const auto at = static_cast<size_t>(i);
  if (VLK_KeyValues_get_type(list, at) == VLK_TYPE_INT)
    return VLK_KeyValues_get_int_index(list, at);
  const auto* text =
      static_cast<const char*>(VLK_KeyValues_get_with_type_index(list, at, VLK_TYPE_STRING));
  if (text == nullptr) return def;
  const vlk::Number<int> n = vlk::parse_number<int>(text);
  if (!n.ok())
    vlk::fatal("ERROR: option \"%s\": \"%s\" %s\n", vlk::printable(key).c_str(),
               vlk::printable(text).c_str(), vlk::number_problem<int>(n.status));
  return n.value;
}

VLK_KeyValues* list_option(const VLK_KeyValues* list, const char* key) {
  if (const auto* nested = static_cast<const VLK_KeyValues*>(
          VLK_KeyValues_get_with_type(list, key, VLK_TYPE_KEYVALUES)))
    return VLK_KeyValues_clone(nested);
  if (const char* text = VLK_KeyValues_get_string(list, key)) return VLK_KeyValues_parse(text);
  return VLK_KeyValues_new();
}

bool two_step_cache_on(const VLK_KeyValues* list) {
  const int i = VLK_KeyValues_find_key(list, "cache");
  if (i < 0) return true;
  const auto* text = static_cast<const char*>(
      VLK_KeyValues_get_with_type_index(list, static_cast<size_t>(i), VLK_TYPE_STRING));
  return text == nullptr || text[0] == '\0' || strcasecmp(text, "on") == 0;
}

void check_greedy_options(const VLK_KeyValues* options) {
  const vlk::Owned<VLK_GreedyArgs, VLK_GreedyArgs_delete> g(VLK_GreedyArgs_parse(options));
  if (g == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  if (g->trials < 1)
    vlk::fatal("ERROR: Greedy: the number of trials (t, trials) must be at least 1: %d\n",
               g->trials);
  if (g->max_loops < 1)
    vlk::fatal("ERROR: Greedy: the number of loops (max_loops) must be at least 1: %d\n",
               g->max_loops);
}

void check_two_step_options(const VLK_KeyValues* options) {
  if (VLK_KeyValues_get_string(options, "first") == nullptr)
    vlk::fatal("ERROR: TwoStepHC: First parent set file not specified.\n");
  for (const char* key : {"p", "m"})
    if (const int value = int_option(options, key, 1); value < 1)
      vlk::fatal("ERROR: TwoStepHC: option \"%s\" must be at least 1: %d\n", key, value);
  const char* s = VLK_KeyValues_get_string(options, "s");
  const char* score = s != nullptr ? s : kTwoStepScore;
  const vlk::MallocPtr<VLK_Score> module(VLK_Score_get(score));
  if (module == nullptr) vlk::fatal("ERROR: TwoStepHC: unknown score module: %s\n", score);
  if (strcasecmp(score, "BNRC") == 0) {
    const vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> score_options(list_option(options, "S"));
    vlk::bnrc::Options o;
    vlk::bnrc::read_options(score_options.get(), &o);
  }
  const vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> rest(
      options != nullptr ? VLK_KeyValues_clone(options) : VLK_KeyValues_new());
  if (rest == nullptr) vlk::fatal("ERROR: TwoStepHC: Memory allocation failed.\n");
  for (const char* key : kTwoStepKeys) remove_all(rest.get(), key);
  check_greedy_options(rest.get());
}

}  // namespace vlk::algo
