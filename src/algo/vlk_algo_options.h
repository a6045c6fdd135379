// Reading the searches' own keys out of their option list, where the greedy option parser would
// refuse them.
#pragma once

#include "VLK_KeyValues.h"

namespace vlk::algo {

// Every entry of the key goes: a later duplicate would otherwise reach the greedy parser.
void remove_all(VLK_KeyValues* list, const char* key);
// An integer option given as text (base 10) or as an int; def when absent.
int int_option(const VLK_KeyValues* list, const char* key, int def);
// A nested option list: a copy of it, the parse of a text, or an empty list.
VLK_KeyValues* list_option(const VLK_KeyValues* list, const char* key);

}  // namespace vlk::algo
