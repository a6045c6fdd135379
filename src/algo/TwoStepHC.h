// Two-step hill climbing. The user names a first set of nodes. Step 1 estimates, with greedy
// hill climbing version 2, only edges from a first-set node to a node outside the set (or the
// edges of a given first network). Step 2 keeps that network fixed and estimates the rest
// around it, again with version 2, with its own candidates, parent limit, score module and
// score options and, optionally, a score cache.
//
// Options (the search's option list; the keys below are taken out before the greedy options
// are parsed):
//   first         node set file of the first set (required)
//   p, m          candidates and parent limit of step 2 (default: the caller's)
//   s, S          score module of step 2 (default "BNRC") and its option list (default none)
//   firstonly     present: step 2 is skipped and the step-1 graph returned
//   cache         step-2 score cache on unless its text is other than "on" (any case)
//   firstnet, firstnettype, firstnetopt
//                 a network file whose edges form the step-1 skeleton, its format (default
//                 "PALIST") and reader options (default ch=T); the two defaults only together
//   tshc_timer_label_other, tshc_timer_label_init
//                 the timer sections of an earlier call (ints), charged again
#pragma once

#include <cstdio>

#include "GraphI.h"
#include "VLK_AlgoArgs.h"
#include "VLK_Graph.h"
#include "VLK_IntArray.h"
#include "VLK_Score.h"

// The search. Both argument records are changed during the call and given back as they were,
// except `score` of a (the step-2 module, which the caller finalizes as any search's module;
// the step-1 module is finalized and its record freed here), the used memory that module's init
// wrote into sa, and `results` of a. With the cache on, sa's cache type picks the cache: 3 the
// hash cache; 1 or 2 the prefix tree, which is refused when step 2 would score from several
// threads. A first call without a timer gives a the greedy timer with the sections
// "TwoStep Other" and "TwoStep Init", whose ids it puts into `results`.
VLK_Graph* TwoStepHC_exec(VLK_AlgoArgs* a, VLK_ScoreArgs* sa);

// The help registry's "tshc": its options and those it passes on to the greedy search, with
// their defaults; sub is not used.
void TwoStepHC_help(FILE* fp, const char* sub);

// The step-1 skeleton: an n-node adjacency graph holding p -> c for every first-set node p and
// every node c outside the set that the outer skeleton (when not null) allows.
GraphI* TwoStepHC_skeleton1(int n, const VLK_IntArray* first, const GraphI* outer);
// The step-2 skeleton: a clone of the outer skeleton, or the complete n-node adjacency graph,
// without any pair of first-set nodes (both orders, and a node with itself).
GraphI* TwoStepHC_skeleton2(int n, const VLK_IntArray* first, const GraphI* outer);
