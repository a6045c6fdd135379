// The job loop's schedule: every process of a chunk meets the same collectives at the same
// passes, the real jobs of all processes add up to the chunk, and a chunk of no jobs has no
// pass at all.
#include "method/pass_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string token(const PassEvent& e) {
  static const char* const names[] = {"S", "R", "O", "J", "D", "X", "B", "XX"};
  std::string s = names[e.kind] + std::to_string(e.pass);
  if (e.batch != 0) s += "(" + std::to_string(e.batch) + ")";
  return s;
}

std::string tokens(const std::vector<PassEvent>& events, bool collective_only) {
  std::string s;
  for (const PassEvent& e : events) {
    if (collective_only && !PassEvent_collective(e.kind) && e.kind != PassEvent::one_to_one)
      continue;
    s += (s.empty() ? "" : " ") + token(e);
  }
  return s;
}

int count(const PassPlan& p, PassEvent::Kind kind) {
  int n = 0;
  for (const PassEvent& e : p.events) n += e.kind == kind;
  return n;
}

TEST(PassPlan, OneProcessOfAnUnevenSplitInOrder) {
  // 10 jobs on 4 processes, rank 3: jobs 8 and 9, then a dummy pass; rebuilds every second
  // pass, the 1-to-1 table every third, batches of two.
  const PassPlan p = pass_plan(10, 4, 3, 2, 2, 3, 1);
  EXPECT_EQ(tokens(p.events, false), "S0 R0 O0 J0 S1 J1 X1(2) S2 R2 D2 B2 XX3(1)");
  EXPECT_EQ(p.offset, 8);
  EXPECT_EQ(p.share, 2);
  EXPECT_EQ(p.loop_case, 'A');
}

struct Case {
  const char* name;
  int c, P, E, walk, oto, method;
  const char* cases;        // loop-break case of each rank
  const char* collectives;  // the shared sequence of rebuilds, 1-to-1 tables and exchanges
};

TEST(PassPlan, EveryProcessMeetsTheSameCollectivesAndTheJobsAddUp) {
  const Case table[] = {
      {"10 on 4", 10, 4, 2, 5, -1, 1, "BBAA", "R0 X1(2) XX3(1)"},
      {"8 on 4", 8, 4, 4, 3, -1, 2, "CCCC", "R0 XX2(2)"},
      {"3 on 4", 3, 4, 1, 1, 0, 1, "BBBA", "R0 O0 X0(1)"},
      {"fewer jobs than processes", 2, 5, 3, 1, -1, 0, "BBAAA", "XX1(1)"},
      {"exchanges leave a remainder", 7, 1, 3, 100, 100, 1, "C", "R0 O0 X2(3) X5(3) XX7(1)"},
      {"walk interval 1", 6, 2, 2, 1, 2, 1, "CC", "R0 O0 R1 X1(2) R2 O2 XX3(1)"},
      {"intervals below 1 count as 1", 4, 2, 0, -3, 0, 2, "CC", "R0 O0 X0(1) R1 O1 X1(1)"},
      {"RSR never rebuilds", 5, 2, 10, 1, 1, 0, "BA", "O0 O1 O2 XX3(3)"},
  };
  for (const Case& t : table) {
    SCOPED_TRACE(t.name);
    int jobs = 0, next_offset = 0;
    for (int r = 0; r < t.P; ++r) {
      SCOPED_TRACE(testing::Message() << "rank " << r);
      const PassPlan p = pass_plan(t.c, t.P, r, t.E, t.walk, t.oto, t.method);
      EXPECT_EQ(tokens(p.events, true), t.collectives);
      EXPECT_EQ(p.loop_case, t.cases[r]);
      EXPECT_EQ(p.passes, t.c / t.P + (t.c % t.P != 0));
      EXPECT_EQ(count(p, PassEvent::pass_start), p.passes);
      EXPECT_EQ(count(p, PassEvent::loop_break), 1);
      EXPECT_EQ(count(p, PassEvent::job), p.share);
      EXPECT_EQ(count(p, PassEvent::dummy), p.passes - p.share);
      EXPECT_EQ(p.offset, next_offset);
      next_offset += p.share;
      jobs += p.share;
      // Real jobs come first; every slot of every batch is filled once.
      int batched = 0;
      bool dummy_seen = false;
      for (const PassEvent& e : p.events) {
        if (e.kind == PassEvent::dummy) dummy_seen = true;
        if (e.kind == PassEvent::job) {
          EXPECT_FALSE(dummy_seen) << "job after a dummy pass";
        }
        if (e.kind == PassEvent::exchange || e.kind == PassEvent::extra_exchange)
          batched += e.batch;
      }
      EXPECT_EQ(batched, p.passes);
    }
    EXPECT_EQ(jobs, t.c);
  }
}

TEST(PassPlan, AChunkOfNoJobsHasNoPass) {
  for (int c : {0, -3}) {
    for (int r = 0; r < 3; ++r) {
      const PassPlan p = pass_plan(c, 3, r, 2, 1, 1, 1);
      EXPECT_EQ(p.passes, 0) << c;
      EXPECT_TRUE(p.events.empty()) << c;
    }
  }
}

}  // namespace
