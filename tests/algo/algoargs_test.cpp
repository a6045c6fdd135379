#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VLK_AlgoArgs.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using GreedyPtr = vlk::Owned<VLK_GreedyArgs, VLK_GreedyArgs_delete>;

using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

GreedyPtr parse(const char* text) {
  KeyValuesPtr list(VLK_KeyValues_parse(text));
  return GreedyPtr(VLK_GreedyArgs_parse(list.get()));
}

std::string str(const char* s) { return s ? s : "(null)"; }

TEST(AlgoArgs, NewHasTheDefaultsAndDeletesAlone) {
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->candidates, 10);
  EXPECT_EQ(a->max_parents, 10);
  EXPECT_EQ(a->excluded, nullptr);
  EXPECT_EQ(a->fixed, nullptr);
  EXPECT_EQ(a->skeleton, nullptr);
  EXPECT_EQ(a->dynamic, 0);
  EXPECT_EQ(a->score, nullptr);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->options, nullptr);
  EXPECT_EQ(a->selfloop, 0);
  EXPECT_EQ(a->verbosity, 0);
  EXPECT_EQ(a->results, nullptr);
  EXPECT_EQ(a->rng, nullptr);
  EXPECT_EQ(a->timer, nullptr);
  VLK_AlgoArgs_delete(a);  // the sanitizer build checks that only the record goes
}

// The owned members go with the record; the borrowed ones must survive it (a double free or
// a use after free shows in the sanitizer build, a leak of an owned one as well).
TEST(AlgoArgs, DeleteReleasesOwnedMembersOnly) {
  VLK_Graph* fixed = VLK_Graph_new(3);
  VLK_Graph* skeleton = VLK_Graph_new(3);
  VLK_RNG* rng = VLK_RNG_new();
  VLK_MultiTimer* timer = VLK_MultiTimer_new(2);

  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  a->excluded = VLK_Graph_new(3);
  VLK_Graph_add_edge(a->excluded, 0, 1);
  a->data = VLK_Data_new();
  a->score = static_cast<VLK_Score*>(std::calloc(1, sizeof(VLK_Score)));
  a->options = VLK_KeyValues_parse("t=3,rev=off");
  a->results = VLK_KeyValues_new();
  VLK_KeyValues_put_double(a->results, "score", 1.5);
  a->fixed = fixed;
  a->skeleton = skeleton;
  a->rng = rng;
  a->timer = timer;
  VLK_AlgoArgs_delete(a);

  VLK_Graph_add_edge(fixed, 1, 2);
  EXPECT_EQ(VLK_Graph_check_edge(fixed, 1, 2), 1);
  VLK_Graph_add_edge(skeleton, 2, 0);
  VLK_MultiTimer_start(timer, 1);
  VLK_MultiTimer_stop(timer);
  VLK_Graph_delete(fixed);
  VLK_Graph_delete(skeleton);
  VLK_RNG_delete(rng);
  VLK_MultiTimer_delete(timer);
}

TEST(GreedyArgs, NullAndEmptyListsGiveTheDefaults) {
  for (const bool null_list : {true, false}) {
    SCOPED_TRACE(null_list ? "null list" : "empty list");
    KeyValuesPtr empty(VLK_KeyValues_new());
    GreedyPtr g(VLK_GreedyArgs_parse(null_list ? nullptr : empty.get()));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->trials, 10);
    EXPECT_EQ(g->max_loops, 100);
    EXPECT_EQ(g->fast, 0);
    EXPECT_EQ(g->rev, 1);
    EXPECT_EQ(g->skeleton, nullptr);
    EXPECT_EQ(g->dag, 0);
    EXPECT_EQ(str(g->prob_key), "BS Prob");
    EXPECT_DOUBLE_EQ(g->dag_th, 0.3);
    EXPECT_EQ(g->parent, nullptr);
    EXPECT_EQ(g->v, -99);
  }
}

// Every row of the option table, the aliases, and later entries winning.
TEST(GreedyArgs, OptionTable) {
  struct Case {
    const char* text;
    std::function<void(const VLK_GreedyArgs&)> check;
  };
  const std::vector<Case> cases = {
      {"trials=4", [](auto& g) { EXPECT_EQ(g.trials, 4); }},
      {"t=3,trials=5", [](auto& g) { EXPECT_EQ(g.trials, 5); }},
      {"trials=5,t=3", [](auto& g) { EXPECT_EQ(g.trials, 3); }},
      {"max_loops=7", [](auto& g) { EXPECT_EQ(g.max_loops, 7); }},
      {"fast", [](auto& g) { EXPECT_EQ(g.fast, 1); }},
      {"fast=on", [](auto& g) { EXPECT_EQ(g.fast, 1); }},
      {"rev=off", [](auto& g) { EXPECT_EQ(g.rev, 0); }},
      {"rev=f", [](auto& g) { EXPECT_EQ(g.rev, 0); }},
      {"rev=0", [](auto& g) { EXPECT_EQ(g.rev, 0); }},
      {"rev=OFF", [](auto& g) { EXPECT_EQ(g.rev, 0); }},
      {"rev=off,rev=t", [](auto& g) { EXPECT_EQ(g.rev, 1); }},
      {"rev=off,rev=1", [](auto& g) { EXPECT_EQ(g.rev, 1); }},
      {"rev=off,rev=on", [](auto& g) { EXPECT_EQ(g.rev, 1); }},
      {"skeleton=s.vlk3", [](auto& g) { EXPECT_EQ(str(g.skeleton), "s.vlk3"); }},
      {"skel=k.vlk3", [](auto& g) { EXPECT_EQ(str(g.skeleton), "k.vlk3"); }},
      {"skeleton=a,skel=b", [](auto& g) { EXPECT_EQ(str(g.skeleton), "b"); }},
      {"skel=b,skeleton=a", [](auto& g) { EXPECT_EQ(str(g.skeleton), "a"); }},
      {"dag", [](auto& g) { EXPECT_EQ(g.dag, 1); }},
      {"dag_th=0.55", [](auto& g) { EXPECT_DOUBLE_EQ(g.dag_th, 0.55); }},
      {"parent=p.txt,parent=q.txt", [](auto& g) { EXPECT_EQ(str(g.parent), "q.txt"); }},
      {"v=0", [](auto& g) { EXPECT_EQ(g.v, 0); }},
      {"v=2,t=1,max_loops=3",
       [](auto& g) {
         EXPECT_EQ(g.v, 2);
         EXPECT_EQ(g.trials, 1);
         EXPECT_EQ(g.max_loops, 3);
         EXPECT_EQ(str(g.prob_key), "BS Prob");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    GreedyPtr g = parse(c.text);
    ASSERT_NE(g, nullptr);
    c.check(*g);
  }
}

// A rejected entry ends the program naming that entry's key, also when it is not the first
// and when an int option comes without its value.
TEST(GreedyArgs, RejectedEntryNamesItsKey) {
  struct Case {
    const char* text;
    const char* key;
  };
  const std::vector<Case> cases = {
      {"foo=1", "foo"},       {"t=2,bogus", "bogus"},
      {"trials", "trials"},   {"t=2,max_loops", "max_loops"},
      {"rev=maybe", "rev"},   {"fast=1", "fast"},
      {"dag=yes", "dag"},     {"trials=2,v", "v"},
      {"Trials=2", "Trials"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_FATAL_EXIT(parse(c.text),
                      "ERROR: Greedy: unknown argument specified: " + std::string(c.key) + "\n");
  }
}

TEST(GreedyArgs, InitReadsTheSearchOptions) {
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  GreedyPtr none(VLK_Greedy_init(a));
  EXPECT_EQ(none->trials, 10);
  a->options = VLK_KeyValues_parse("t=2,parent=genes.txt");
  GreedyPtr g(VLK_Greedy_init(a));
  EXPECT_EQ(g->trials, 2);
  EXPECT_EQ(str(g->parent), "genes.txt");
  VLK_AlgoArgs_delete(a);
}

TEST(GreedyTimer, PrepareCreatesTheSixSectionsOnce) {
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  VLK_Greedy_prepare_timer(a);
  ASSERT_NE(a->timer, nullptr);
  const std::vector<std::string> labels = {"Greedy Preparation",  "Greedy OTO single",
                                           "Greedy OTO parallel", "Greedy HC single",
                                           "Greedy HC parallel",  "Greedy HC single2"};
  ASSERT_EQ(a->timer->n, labels.size());
  for (size_t i = 0; i < labels.size(); ++i) EXPECT_EQ(str(a->timer->labels[i]), labels[i]);
  EXPECT_EQ(str(a->timer->labels[VLK_GREEDY_TIMER_OTO_PARALLEL]), "Greedy OTO parallel");
  EXPECT_EQ(str(a->timer->labels[VLK_GREEDY_TIMER_HC_SINGLE2]), "Greedy HC single2");

  VLK_MultiTimer* first = a->timer;
  VLK_Greedy_prepare_timer(a);
  EXPECT_EQ(a->timer, first);

  VLK_MultiTimer_delete(a->timer);  // the timer is not the record's to release
  VLK_AlgoArgs_delete(a);
}

}  // namespace
