// The argument record of every structure search, and the options the greedy searches read
// from its option list.
#pragma once

#include <array>

#include "GraphI.h"
#include "VLK_ArgDef.h"
#include "VLK_Data.h"
#include "VLK_Graph.h"
#include "VLK_KeyValues.h"
#include "VLK_RNG.h"
#include "VLK_Score.h"
#include "VLK_Timer.h"

// What one search run works on, its limits and constraints, and where its results go.
struct VLK_AlgoArgs {
  int candidates;          // parent candidates kept per node (clamped by the searches)
  int max_parents;         // largest parent set a move may create
  VLK_Graph* excluded;     // edges never scored or added (version 1); owned
  GraphI* fixed;           // edges that start every trial and stay; not owned
  GraphI* skeleton;        // the only edges that may be added or reversed; not owned
  int dynamic;             // time-lagged data: self-parents allowed, no cycle tests on add
  VLK_Score* score;        // initialised score module record; owned
  VLK_Data* data;          // the data set searched; owned
  VLK_KeyValues* options;  // the search's option list; owned
  int selfloop;            // 1 lets a node be its own parent
  int verbosity;           // message level
  VLK_KeyValues* results;  // filled by the search ("score", ...); owned
  VLK_RNG* rng;            // orders the children in version 1; not owned
  VLK_MultiTimer* timer;   // section profile, created by the search when null; not owned
};

// The greedy options. Strings are copies owned by the record.
struct VLK_GreedyArgs {
  int trials;      // climbs from the start graph
  int max_loops;   // pass limit of one climb
  int fast;        // flag; only announced
  int rev;         // 0 switches reversal moves off (version 1)
  char* skeleton;  // skeleton network file of the parent-child-graph search
  int dag;         // flag of the parent-child-graph search
  char* prob_key;  // edge property read from the skeleton network
  double dag_th;   // threshold of the parent-child-graph search
  char* parent;    // node set file of the only nodes that may be parents (version 1)
  int v;           // when not -99, replaces the verbosity of the search arguments
};

// Section ids of the greedy section timer, in the order of its labels.
enum : int {
  VLK_GREEDY_TIMER_PREPARATION = 0,
  VLK_GREEDY_TIMER_OTO_SINGLE = 1,
  VLK_GREEDY_TIMER_OTO_PARALLEL = 2,
  VLK_GREEDY_TIMER_HC_SINGLE = 3,
  VLK_GREEDY_TIMER_HC_PARALLEL = 4,
  VLK_GREEDY_TIMER_HC_SINGLE2 = 5,
};

// The labels of the greedy section timer, ended by null.
extern const char* const VLK_Greedy_timer_labels[];

VLK_AlgoArgs* VLK_AlgoArgs_new();
// Deletes the owned members (excluded, data, score record without finalizing it, options,
// results) and the record; fixed, skeleton, rng and timer stay with their owners.
void VLK_AlgoArgs_delete(VLK_AlgoArgs* a);

// Defaults, then the option list bound entry by entry (a later entry for a field wins). An
// entry the table does not accept ends the program with a message naming its key.
VLK_GreedyArgs* VLK_GreedyArgs_parse(const VLK_KeyValues* options);
// Releases the record and its strings.
void VLK_GreedyArgs_delete(VLK_GreedyArgs* g);
// The greedy option table over *g, as VLK_GreedyArgs_parse binds it (a record that parse made
// without options holds the defaults).
using VLK_GreedyTable = std::array<VLK_ArgDef, 12>;
VLK_GreedyTable VLK_GreedyArgs_table(VLK_GreedyArgs* g);
// VLK_GreedyArgs_parse of the search's option list.
VLK_GreedyArgs* VLK_Greedy_init(const VLK_AlgoArgs* a);
// Gives a search argument record without a timer the six-section greedy timer.
void VLK_Greedy_prepare_timer(VLK_AlgoArgs* a);
