#include "method/phases.h"

namespace vlk::run {

Plan plan_method(int mode, int iterations, int total_iterations, int ci) {
  Plan plan;
  Phase& rs = plan.random;
  rs.span = iterations;
  rs.loops = iterations / ci;
  rs.rem = iterations % ci;
  for (int i = 1; i <= rs.loops; ++i) rs.chunks.push_back({i, ci, ci * i});
  if (rs.rem != 0) rs.chunks.push_back({0, rs.rem, iterations});
  if (mode != 1) return plan;

  plan.neighbour_phase = true;
  Phase& nn = plan.neighbour;
  nn.span = total_iterations - iterations;
  nn.loops = nn.span / ci;
  nn.rem = nn.span % ci;
  int rem = nn.rem, total = iterations;
  for (int i = 1; i <= nn.loops; ++i) {
    int step = ci;
    if (i == 1 && iterations < ci) {
      step = ci - iterations;
      rem += iterations;
    }
    total += step;
    nn.chunks.push_back({i, step, total});
  }
  if (rem != 0) nn.chunks.push_back({0, rem, total + rem});
  return plan;
}

}  // namespace vlk::run
