// Evaluation of the estimated network against a reference network (--compare), whose node i is
// gene i of the data set. After a check interval the run either counts, on every process, how
// its own gene pairs agree with the reference at each cutoff (compare_nuclei), or, every DAG
// interval, gathers the frequent-edge network at process 0 and compares it, and the acyclic
// network extracted from it, edge by edge (compare_pcgraph_prob2, compare_pcgraph2).
//
// Counts: TP a reference edge found in its direction, RTP one found only reversed, FP an edge
// found between genes without a reference edge either way (a pair found both ways is one FP),
// FN a reference edge not found, TN a pair with neither. Sn = TP / (TP + FN), Sp = TP / (TP +
// RTP + FP); a quotient with a zero denominator is printed as "nan". Frequencies are float
// quotients of counts, compared with the cutoff in single precision on both roads, so that the
// distributed counts and the gathered network agree (7 of 10 nuclei reach the cutoff 0.7).
#pragma once

#include <cstdint>
#include <cstdio>

#include "VLK_DoubleArray.h"
#include "VLK_Graph.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"
#include "settings/args.h"

// After a check interval at `iteration` (nuclei so far over all processes); collective. Nothing
// happens without cutoffs. An iteration at or past *next is a DAG evaluation at process 0, after
// which *next moves past the iteration by DAG intervals; any other is a compare_nuclei count.
void evaluate(Args* args, int iteration, int* next);
// Every process counts its own pairs; the sums are reduced to process 0, which prints the
// "COML:"/"COMR:" lines, one row per cutoff. Collective.
void compare_nuclei(Args* args, int iteration, VLK_DoubleArray* cutoffs);
// The evaluation after the method, with a reference file: a DAG evaluation at the final count
// unless the last one was there already (its edge counts skipped when the last evaluation of any
// kind was), else a warning when the final count went unevaluated. Collective.
void final_evaluation(Args* args);

// Process 0's reports on a whole-network graph g: with frequencies (one float per edge index)
// an edge counts as found when its frequency reaches the cutoff; without, every edge is found.
// Lines "<label>L:" and "<label>R:" between rule lines.
void compare_pcgraph_prob2(const VLK_PCGraph* g, const VLK_FloatArray* frequencies,
                           const VLK_Network* reference, float cutoff, int iteration,
                           const char* label);
void compare_pcgraph2(const VLK_PCGraph* g, const VLK_Network* reference, double cutoff,
                      int iteration, const char* label);

// Older reports, over every pair of nodes, with a TN column; nothing in a run calls them.
void compare_pcgraph_prob(const VLK_PCGraph* g, const VLK_FloatArray* frequencies,
                          const VLK_Network* reference, float cutoff, int iteration,
                          const char* label);
void compare_pcgraph(const VLK_PCGraph* g, const VLK_Network* reference, double cutoff,
                     int iteration, const char* label);
// One nucleus's graph over its positions against the reference, genes[i] the gene of position
// i (module_size positions).
void compare_subnetwork(const Args* args, const unsigned short* genes, VLK_Graph* g);
// The gene pairs of the send id array (as send_network collects them: parent, child, ...)
// against the modules of the --compare-module file (one module of TAB-separated gene names per
// line): POS when both genes are in the same module, NEG when in different ones.
void compare_module(const Args* args);

namespace vlk::eval {

struct Confusion {
  std::int64_t tp = 0, rtp = 0, fp = 0, fn = 0, tn = 0;
  double sn() const;
  double sp() const;
  bool operator==(const Confusion&) const = default;
};

// The local counts of compare_nuclei, per cutoff in list order, over the pairs w < v of the
// genes this process owns. out holds one entry per cutoff.
void count_own_pairs(const Args* args, const VLK_DoubleArray* cutoffs, Confusion* out);

// The counts of compare_pcgraph_prob2 (frequencies given) and compare_pcgraph2 (null).
Confusion count_graph(const VLK_PCGraph* g, const VLK_FloatArray* frequencies,
                      const VLK_Network* reference, float cutoff);

// The "COMPARISON RESULT(S)" block of process 0, from the summed counts.
void print_nuclei_report(FILE* fp, int iteration, const VLK_DoubleArray* cutoffs,
                         const Confusion* sums);

// The DAG evaluation's reports at process 0 for every cutoff: the gathered network against the
// reference (unless with_counts is false), then its acyclic extraction into args->dag.
void dag_reports(Args* args, int iteration, bool with_counts);

// The smallest cutoff, at which the network for the DAG evaluation is gathered.
float smallest_cutoff(const VLK_DoubleArray* cutoffs);

// The DAG evaluation that follows one at `next`: the first multiple step past the iteration.
int next_dag_evaluation(int iteration, int next, int dag_interval);

}  // namespace vlk::eval
