// The reference network of --compare, against which the evaluation measures the run.
#pragma once

#include <string>

#include "settings/args.h"

// Every process reads the --compare file (VLK3); its node i is gene i, so a node count other
// than the data's ends the run, as does an edge the evaluation cannot count (see
// vlk::eval::reference_edge_problem). Before it, the module list of --compare-module: a file
// that cannot be opened, or a directory, ends the run; since no step of a run compares modules
// (compare_module is not called), process 0 also warns, once, that the file goes unused.
void read_reference(Args* args);

namespace vlk::eval {

// The ERROR line for the first edge line of the VLK3 file's [Edges] section that the two
// evaluation roads would count differently, naming the file and the line: a self-loop (the
// distributed count sees pairs of two genes only) or a pair given a second time (the reader
// merges it into one edge, which hides a mistake in the file). Empty when there is none; the
// file is read as the VLK3 reader reads it, and one it cannot open has no problem here.
std::string reference_edge_problem(const char* path);

}  // namespace vlk::eval
