// The frequency cutoffs of the evaluation reports: --cutoffs as given, or with --cutoff-mode 1
// the list its three values describe.
#pragma once

#include <string>
#include <vector>

#include "settings/args.h"

// --cutoff-mode 1: the three values of --cutoffs become the list start, start + step, .. end.
void parametric_cutoffs(Args* args);

namespace vlk::run {

// The cutoffs start, start + step, ... up to end (with 1e-7 of slack for the sums of steps).
// Returns the error line when the list would be empty (start above end), would hold more than
// kMaxCutoffs values, or the step is not positive; else an empty text.
inline constexpr int kMaxCutoffs = 10000;
std::string expand_cutoffs(double start, double end, double step, std::vector<double>* out);

}  // namespace vlk::run
