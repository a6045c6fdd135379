// The steps of the main program between the command line and the method, and after it: the
// reference network, the parametric cutoffs, the nucleus buffer, the final network and the
// timing report. Every one runs on every process in the same order.
#pragma once

#include "VLK_Timer.h"
#include "settings/args.h"

// Every process reads the --compare file (VLK3); its node i is gene i, so a node count other
// than the data's ends the run.
void read_reference(Args* args);

// --cutoff-mode 1: the three values of --cutoffs become the list start, start + step, .. end.
void parametric_cutoffs(Args* args);

// The reused nucleus data set: module size rows of the samples (static data), or X and Y of
// module size rows of (time points - 1) x --Bnum columns (dynamic data, pseudo bootstrap),
// charged to the memory budget; the empty excluded graph of the searches; and the run's score
// store (score_store.h). Collective.
void nucleus_buffer_alloc(Args* args);

// --on: the frequent-edge network of --oth gathered at process 0, which writes it in the form
// of --output-mode. Collective. 1 on process 0 when the network did not reach its file (the
// run's exit status), else 0.
int final_output(Args* args);

// Every process: communication and single-process seconds, then the whole run (timers[0]), MPI
// (timers[1]), the score initialisations and the searches.
void timing_report(const Args* args, const VLK_Timer* timers);
