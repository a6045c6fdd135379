// The timing report that ends the run on every process.
#pragma once

#include "VLK_Timer.h"
#include "settings/args.h"

// Every process: communication and single-process seconds, then the whole run (timers[0]), MPI
// (timers[1]), the score initialisations and the searches.
void timing_report(const Args* args, const VLK_Timer* timers);
