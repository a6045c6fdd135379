#include "simulated_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>

#include "test_score.h"

namespace vlk_test {

VLK_Data* make_data(int p, int samples, bool names) {
  VLK_Data* d = VLK_Data_new();
  d->p = p;
  d->n = samples;
  d->X = static_cast<double*>(
      std::calloc(std::max<size_t>(VLK_Data_cells(p, samples), 1), sizeof(double)));
  d->Y = d->X;
  for (int i = 0; names && i < p; ++i) {
    VLK_StrArray_add_copy(d->names, ("g" + std::to_string(i)).c_str());
    VLK_StrArray_add_copy(d->aliases, ("a" + std::to_string(i)).c_str());
  }
  return d;
}

SimulatedDag::SimulatedDag(int genes, int samples, std::uint64_t dag_seed, std::uint64_t value_seed)
    : truth(random_dag(genes, 2, dag_seed)), data(make_data(genes, samples, true)) {
  std::uint64_t state = value_seed;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (static_cast<double>(state >> 11) + 0.5) * 0x1.0p-53;
  };
  auto normal = [&] {
    const double u = uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * v);
  };
  const auto n = static_cast<size_t>(samples);
  // Parents come before their children in some order: fill by repeated sweeps.
  std::vector<bool> done(static_cast<size_t>(genes), false);
  for (int filled = 0; filled < genes;) {
    for (int g = 0; g < genes; ++g) {
      if (done[static_cast<size_t>(g)]) continue;
      const auto& pa = truth[static_cast<size_t>(g)];
      if (!std::all_of(pa.begin(), pa.end(), [&](int q) { return done[static_cast<size_t>(q)]; }))
        continue;
      for (size_t s = 0; s < n; ++s) {
        double v = 0.3 * normal();
        for (size_t k = 0; k < pa.size(); ++k) {
          const double x = data->X[static_cast<size_t>(pa[k]) * n + s];
          v += (k % 2 == 0) ? std::sin(1.5 * x) + 0.3 * x : 0.6 * x * x - 0.5;
        }
        data->X[static_cast<size_t>(g) * n + s] = pa.empty() ? normal() : v;
      }
      done[static_cast<size_t>(g)] = true;
      ++filled;
    }
  }
}

size_t SimulatedDag::true_edges() const {
  size_t e = 0;
  for (const auto& l : truth) e += l.size();
  return e;
}

double SimulatedDag::recall(const VLK_Graph* g) const {
  size_t hit = 0;
  for (size_t c = 0; c < truth.size(); ++c)
    for (int q : truth[c])
      if (VLK_Graph_check_edge(g, q, static_cast<int>(c)) ||
          VLK_Graph_check_edge(g, static_cast<int>(c), q))
        ++hit;
  return static_cast<double>(hit) / static_cast<double>(true_edges());
}

}  // namespace vlk_test
