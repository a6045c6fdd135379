// Data sets for the tests of the searches and the scores: a blank one of a given shape, and one
// simulated from a known sparse DAG with nonlinear links, whose true edges a search under the
// BNRC score should find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "VLK_Data.h"
#include "VLK_Graph.h"

namespace vlk_test {

// p nodes of `samples` zero values, named "g<i>" with alias "a<i>" when names is set.
VLK_Data* make_data(int p, int samples, bool names);

// Each gene a sum of smooth functions of its parents (random_dag(genes, 2, dag_seed)) plus
// noise drawn from value_seed; genes without parents are standard normal. The data set is the
// caller's to delete (a search record that takes it deletes it with itself).
struct SimulatedDag {
  SimulatedDag(int genes, int samples, std::uint64_t dag_seed, std::uint64_t value_seed);
  std::vector<std::vector<int>> truth;  // parents of each gene
  VLK_Data* data;

  size_t true_edges() const;
  // Share of the true edges that g holds in either direction.
  double recall(const VLK_Graph* g) const;
};

}  // namespace vlk_test
