// The nucleus data set of a selection: the rows of its genes from the whole data set, or a pseudo
// bootstrap of them for dynamic data, and with shared names their names.
#pragma once

#include "settings/args.h"

// Fills args->nucleus_data from the module_size ids of sel. Static data: row i becomes a copy of
// whole row sel[i] (samples values). Dynamic data: the pseudo bootstrap pairs of those genes from
// the run's random numbers, into the data set's X and Y (separate blocks of module_size x
// (time points - 1) x --Bnum values). With shared names, entry i of the name list is the whole
// data set's name of sel[i] (shared, not copied).
void collect_data(Args* args, const unsigned short* sel);
