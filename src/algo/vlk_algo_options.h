// Reading the searches' own keys out of their option list, where the greedy option parser would
// refuse them.
#pragma once

#include "VLK_KeyValues.h"

namespace vlk::algo {

// The keys of two-step hill climbing, taken out of its working list before the greedy options
// are parsed.
inline constexpr const char* kTwoStepKeys[] = {"first",
                                               "p",
                                               "m",
                                               "s",
                                               "S",
                                               "firstnet",
                                               "firstnettype",
                                               "firstnetopt",
                                               "firstonly",
                                               "cache",
                                               "tshc_timer_label_init",
                                               "tshc_timer_label_other"};

// The score module of the second step of two-step hill climbing when "s" names none.
inline constexpr const char* kTwoStepScore = "BNRC";

// Every entry of the key goes: a later duplicate would otherwise reach the greedy parser.
void remove_all(VLK_KeyValues* list, const char* key);
// An integer option given as text (wholly one decimal int) or as an int; def when absent. Any
// other text ends the process with a line naming the option.
int int_option(const VLK_KeyValues* list, const char* key, int def);
// A nested option list: a copy of it, the parse of a text, or an empty list.
VLK_KeyValues* list_option(const VLK_KeyValues* list, const char* key);

// Whether two-step hill climbing's "cache" option asks for a score cache in its second step:
// absent, empty or "on" (any case).
bool two_step_cache_on(const VLK_KeyValues* list);

// Binds a greedy search's option list as the search will, and ends the process with an ERROR
// line for what the search would refuse and for settings that make no search (fewer than one
// trial or one loop): a program can refuse them before any work.
void check_greedy_options(const VLK_KeyValues* options);
// The same for two-step hill climbing: the first-set file is named, the step-2 score is known
// and takes its options, and the rest binds as greedy options.
void check_two_step_options(const VLK_KeyValues* options);

}  // namespace vlk::algo
