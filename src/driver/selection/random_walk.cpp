#include "selection/random_walk.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "VLK_PCGraph.h"
#include "selection/select_set.h"
#include "vlk_check.h"

namespace {

// The neighbours of the current gene with the value of the connecting edge and their degree.
struct Neighbours {
  std::vector<int> id;
  std::vector<float> weight;
  std::vector<float> degree;
  double total = 0.0;    // sum of the weights
  double degrees = 0.0;  // sum of the degrees

  void list(const VLK_PCGraph* g, const VLK_FloatArray* w, int v) {
    id.clear();
    weight.clear();
    degree.clear();
    total = degrees = 0.0;
    const size_t none = static_cast<size_t>(-1);
    for (size_t e = VLK_PCGraph_first_parent_id(g, v); e != none;) {
      int u = 0;
      const size_t next = VLK_PCGraph_parent_next(g, e, &u);
      append(g, w, e, u);
      e = next;
    }
    for (size_t e = VLK_PCGraph_first_child_id(g, v); e != none;) {
      int u = 0;
      const size_t next = VLK_PCGraph_child_next(g, e, &u);
      append(g, w, e, u);
      e = next;
    }
  }

  // The first neighbour whose running single-precision sum exceeds r; when rounding leaves r at or
  // above the last sum, the last neighbour of positive weight; -1 when none has weight.
  int pick(float r) const {
    float sum = 0.0f;
    int last_positive = -1;
    for (size_t i = 0; i < weight.size(); ++i) {
      sum += weight[i];
      if (r < sum) return static_cast<int>(i);
      if (weight[i] > 0.0f) last_positive = static_cast<int>(i);
    }
    return std::isfinite(total) && total > 0.0 ? last_positive : -1;
  }

 private:
  void append(const VLK_PCGraph* g, const VLK_FloatArray* w, size_t slot, int u) {
    const float value = w->data[slot - VLK_PCGraph_num_nodes(g)];
    const float d = static_cast<float>(VLK_PCGraph_degree(g, u));
    id.push_back(u);
    weight.push_back(value);
    degree.push_back(d);
    total += value;
    degrees += d;
  }
};

// The walk of both variants; bound(neighbours, i) is the acceptance bound of neighbour i.
template <class Bound>
int walk(const VLK_PCGraph* g, const VLK_FloatArray* w, unsigned short* sel, int K, int target,
         int c, int steps, int seed, VLK_RNG* rng, Bound bound) {
  vlk::check(w->size >= VLK_PCGraph_num_edges(g), "a value for every edge of the network");
  vlk::select::Selection s(sel, c);
  if (s.count() < K) s.add_new(seed);
  target = std::min(target, K);
  Neighbours nb;
  int current = seed;
  for (int step = 0; step < steps; ++step) {
    nb.list(g, w, current);
    double u[2];
    VLK_RNG_uniform(rng, u, 2, 0.0, 1.0);
    const int i = nb.pick(static_cast<float>(u[0] * nb.total));
    if (i < 0) continue;  // nothing to pick: the step is spent where the walk is
    const int v = nb.id[static_cast<size_t>(i)];
    if (u[1] < bound(nb, i)) {
      if (s.count() < K) s.add_new(v);
      if (s.count() >= target) break;
    }
    current = v;
  }
  return s.count();
}

}  // namespace

int random_walk(const VLK_PCGraph* g, const VLK_FloatArray* w, unsigned short* sel, int K,
                int target, int c, int steps, int seed, double pr, VLK_RNG* rng) {
  const double two_edges = 2.0 * static_cast<double>(VLK_PCGraph_num_edges(g));
  return walk(g, w, sel, K, target, c, steps, seed, rng, [&](const Neighbours& nb, int i) {
    return (1.0 + pr) - VLK_PCGraph_degree(g, nb.id[static_cast<size_t>(i)]) / two_edges;
  });
}

int random_walk2(const VLK_PCGraph* g, const VLK_FloatArray* w, unsigned short* sel, int K,
                 int target, int c, int steps, int seed, double pr, VLK_RNG* rng) {
  return walk(g, w, sel, K, target, c, steps, seed, rng, [&](const Neighbours& nb, int i) {
    return (1.0 + pr) - nb.degree[static_cast<size_t>(i)] / nb.degrees;
  });
}
