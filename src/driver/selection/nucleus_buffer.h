// The nucleus data set that every job of the run reuses, made once at start-up.
#pragma once

#include "settings/args.h"

// The reused nucleus data set: module size rows of the samples (static data), or X and Y of
// module size rows of (time points - 1) x --Bnum columns (dynamic data, pseudo bootstrap),
// charged to the memory budget; the empty excluded graph of the searches; and the run's score
// store (method/score_store.h). Collective.
void nucleus_buffer_alloc(Args* args);
