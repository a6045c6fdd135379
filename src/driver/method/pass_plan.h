// The schedule of one call of the nucleus job loop on one process, as a pure function of the
// chunk, the process and the intervals. Every collective of the loop (the walk-network
// rebuilds and the graph exchanges) sits at the same place of every process's schedule: the
// processes run the same number of passes, the short ones padding with dummy passes, and the
// rebuilds and exchanges fall at the same passes. generate_nuclei follows the schedule event
// by event.
#pragma once

#include <vector>

struct PassEvent {
  enum Kind : unsigned char {
    pass_start,       // the pass's header lines
    rebuild_network,  // exchange_network (collective)
    one_to_one,       // the 1-to-1 table (this process alone, but at the same passes)
    job,              // a real nucleus job into the next batch slot
    dummy,            // an empty slot: no gene, no graph
    exchange,         // exchange_graph of the batch (collective)
    loop_break,       // the end test met: the loop ends after this pass
    extra_exchange,   // exchange_graph of what is left after the loop (collective)
  };
  Kind kind;
  int pass;   // 0-based pass of the call; the extra exchange carries the pass count
  int batch;  // exchanges: the jobs the batch holds; 0 otherwise
};

bool PassEvent_collective(PassEvent::Kind kind);

struct PassPlan {
  int quotient = 0;    // chunk / processes
  int remainder = 0;   // chunk % processes
  int share = 0;       // real jobs of this process
  int offset = 0;      // first job of this process in the chunk
  int passes = 0;      // passes of every process
  char loop_case = 0;  // 'A' short share of an uneven split, 'B' long share, 'C' even split
  std::vector<PassEvent> events;
};

// The schedule of a chunk of c jobs on process `rank` of P, with E jobs per exchange batch,
// the walk network rebuilt every walk_interval passes (methods 1 and 2) and the 1-to-1 table
// every oto_interval passes (never when negative); both also at the first pass. Intervals below
// 1 count as 1 (0 for the 1-to-1 table as well: every pass). A chunk of no jobs (c <= 0), or
// P <= 0, has no pass.
PassPlan pass_plan(int c, int P, int rank, int E, int walk_interval, int oto_interval, int method);
