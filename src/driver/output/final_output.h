// The final network of the run: gathered at process 0 and written there.
#pragma once

#include "settings/args.h"

// --on: the frequent-edge network of --oth gathered at process 0, which writes it in the form
// of --output-mode. Collective. 1 on process 0 when the network did not reach its file (the
// run's exit status), else 0. Process 0 then gives its output prefix up (Args::prefix_lock).
int final_output(Args* args);
