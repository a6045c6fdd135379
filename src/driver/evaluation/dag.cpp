#include "evaluation/dag.h"

#include "OTO_PK.h"

void extract_DAG(const VLK_PCGraph* src, const VLK_FloatArray* frequencies, VLK_PCGraph* dst,
                 float threshold) {
  // The candidates {edge, frequency} and their order are those of the greedy subgraph by
  // weight: one implementation of both.
  VLK_PCGraph_DAG_fsc_th(src, frequencies, threshold, dst);
}

int size_t_float_cmp(const void* a, const void* b) { return VLK_PCGraph_DAG_cmp(a, b); }
