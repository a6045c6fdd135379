// A process's edge statistics as text, one line per own gene.
#pragma once

#include "settings/args.h"

// Writes to "<prefix>.nuc.<rank, 5 digits>" with an output prefix, else (or when that file
// cannot be opened, with a warning) to VELK_ERR: per own gene v in order, "v" and then
// "\tw\tforward\tbackward\tpairs" for every w < v that met v in a nucleus.
void output_nuc(const Args* args);
