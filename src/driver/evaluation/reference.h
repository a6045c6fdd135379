// The reference network of --compare, against which the evaluation measures the run.
#pragma once

#include "settings/args.h"

// Every process reads the --compare file (VLK3); its node i is gene i, so a node count other
// than the data's ends the run.
void read_reference(Args* args);
