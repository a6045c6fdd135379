// The skeleton that restricts the search of each nucleus: which parent -> child pairs it may
// consider, read from a file of node names, and its start-up checks.
#pragma once

#include "GraphI.h"
#include "VLK_Data.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"

// The allowed parent -> child pairs over the nodes of `data` (matched by name: a data set
// without names is refused), read from `file` in the interpretation `type` (any case):
//   "parents"          a node-set file: only the listed nodes may be parents, of every node;
//   "parents_targets"  the same, for the nodes of the node-set file named by the option
//                      "target" only; the other nodes may take any parent. The option "inv"
//                      (any value but "off") swaps the two groups;
//   "CHLIST"           children lists (PALIST with "ch"): a node heading a list may be the
//                      parent of its listed children only; a node heading none, of any other.
// A new VLK_AdjGraph seen as GraphI. A node set the nucleus holds none of still restricts: the
// nodes it is for take no parent from it (never no restriction). The files are read without
// warnings. An unknown type, "parents_targets" without "target" and a file that cannot be read
// end the process with status 1.
GraphI* read_skeleton(VLK_Data* data, const char* file, const char* type, VLK_KeyValues* options);
// The start-up check of the same settings, on every process: what read_skeleton would refuse
// ends the run before any work.
void check_skeleton_args(const char* type, const VLK_KeyValues* options);
// The start-up check of the files themselves against the whole data set (its names), on every
// process after the data are shared; nothing without a file. A skeleton file, or the "target"
// file, that cannot be read, is a directory, is empty or names no gene of the data (for
// "CHLIST": heads no list with a gene) ends the run, naming the option; a name that is no gene
// of the data is warned about here, once per run, with its control bytes escaped.
void check_skeleton_files(const VLK_Data* data, const char* file, const char* type,
                          const VLK_KeyValues* options);

// The start-up check of two-step hill climbing's first set (the file of "first" in the -A
// options of --algo tshc) against the whole data set, as check_skeleton_files checks a node-set
// file: one that cannot be read, is a directory, is empty or names no gene ends the run, naming
// the option and the file. Nothing for the other searches.
void check_first_set_file(const VLK_Data* data, const char* algo_name,
                          const VLK_KeyValues* algo_options);

namespace vlk {
// The CHLIST skeleton over data's nodes from the children lists already read as a network and
// the data nodes that head a list.
GraphI* chlist_skeleton(const VLK_Data* data, const VLK_Network* lists, const VLK_IntArray* heads);
}  // namespace vlk
