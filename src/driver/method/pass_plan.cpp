#include "method/pass_plan.h"

#include <algorithm>
#include <cstddef>

#include "VLK_Util_jobs.h"

bool PassEvent_collective(PassEvent::Kind kind) {
  return kind == PassEvent::rebuild_network || kind == PassEvent::exchange ||
         kind == PassEvent::extra_exchange;
}

PassPlan pass_plan(int c, int P, int rank, int E, int walk_interval, int oto_interval, int method) {
  PassPlan plan;
  if (c <= 0 || P <= 0) return plan;
  const div_t split = VLK_Util_job_split(c, P, rank, &plan.offset, &plan.share);
  plan.quotient = split.quot;
  plan.remainder = split.rem;
  // A short share runs one dummy pass more than its jobs when the split is uneven, so every
  // process meets the same exchanges.
  plan.passes = split.quot + (split.rem != 0 ? 1 : 0);
  plan.loop_case = split.rem == 0 ? 'C' : (plan.share == split.quot ? 'A' : 'B');

  const int batch_size = std::max(E, 1);
  const int walk = std::max(walk_interval, 1);
  const bool walks = method == 1 || method == 2;
  const bool oto = oto_interval >= 0;
  const int oto_every = std::max(oto_interval, 1);

  plan.events.reserve(static_cast<size_t>(plan.passes) * 4 + 1);
  auto add = [&](PassEvent::Kind kind, int j, int batch = 0) {
    plan.events.push_back({kind, j, batch});
  };
  int fill = 0;
  for (int j = 0; j < plan.passes; ++j) {
    add(PassEvent::pass_start, j);
    if (walks && j % walk == 0) add(PassEvent::rebuild_network, j);
    if (oto && j % oto_every == 0) add(PassEvent::one_to_one, j);
    add(j < plan.share ? PassEvent::job : PassEvent::dummy, j);
    if (++fill == batch_size) {
      add(PassEvent::exchange, j, fill);
      fill = 0;
    }
    if (j + 1 == plan.passes) add(PassEvent::loop_break, j);
  }
  if (fill != 0) add(PassEvent::extra_exchange, plan.passes, fill);
  return plan;
}
