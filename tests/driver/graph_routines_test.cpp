// The driver's graph routines: skeletons of the three types on a small named data set, their
// start-up check, searches of both greedy versions restricted by a skeleton read from a file,
// the acyclic extraction, and the component and connected-subset utilities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "OTO_PK.h"
#include "VLK_AdjGraph.h"
#include "VLK_Greedy.h"
#include "evaluation/dag.h"
#include "graph_testing.h"
#include "search/edge_lists.h"
#include "search/skeleton.h"
#include "selection/collect_data.h"
#include "settings/args.h"
#include "test_score.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;
using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;
using PCGraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;
using vlk_test::Pairs;

struct SkeletonPtrDeleter {
  void operator()(GraphI* g) const { g->delete_(g); }
};
using SkeletonPtr = std::unique_ptr<GraphI, SkeletonPtrDeleter>;

// Nodes named as given, with values for a search (5 samples, all 0: the test scores ignore them).
DataPtr named_data(const std::vector<std::string>& names) {
  DataPtr d(VLK_Data_new());
  d->p = static_cast<int>(names.size());
  d->n = 5;
  d->X = static_cast<double*>(std::calloc(VLK_Data_cells(d->p, d->n), sizeof(double)));
  d->Y = d->X;
  for (const std::string& name : names) {
    VLK_StrArray_add_copy(d->names, name.c_str());
    VLK_StrArray_add_copy(d->aliases, name.c_str());
  }
  return d;
}

// Every allowed pair (parent, child), by child, parents ascending.
Pairs allowed(const GraphI* g) {
  Pairs out;
  const int n = static_cast<int>(g->n);
  for (int c = 0; c < n; ++c)
    for (int p = 0; p < n; ++p)
      if (g->check_edge(g, p, c)) out.emplace_back(p, c);
  return out;
}

// The pairs whose child is one of `children` (or any child) and whose parent is in `parents`.
Pairs pairs_of(const std::vector<int>& parents, const std::vector<int>& children) {
  Pairs out;
  for (int c : children)
    for (int p : parents) out.emplace_back(p, c);
  return out;
}

Pairs sorted(Pairs v) {
  std::sort(v.begin(), v.end(), [](const auto& x, const auto& y) {
    return std::pair(x.second, x.first) < std::pair(y.second, y.first);
  });
  return v;
}

struct Skeleton {
  SkeletonPtr g;
  std::string err;
};

Skeleton skeleton(VLK_Data* data, const std::string& file, const char* type, const char* options) {
  KeyValuesPtr opts(options != nullptr ? VLK_KeyValues_parse(options) : nullptr);
  vlk_test::CaptureErr err;
  Skeleton s;
  s.g.reset(read_skeleton(data, file.c_str(), type, opts.get()));
  s.err = err.text();
  return s;
}

// Names the data set lacks are left out without a word (the start-up check warns of them); a
// node set that names none of the nodes still restricts the nodes it is for.
TEST(Skeleton, NodeSetTypes) {
  const DataPtr data = named_data({"A", "B", "C", "D"});
  vlk_test::TempFile ab("A\nB\nnobody\n");
  vlk_test::TempFile a("A\n");
  vlk_test::TempFile c("C\n");
  vlk_test::TempFile none("nobody\n");
  const std::string target_c = "target=" + c.path();
  const std::string target_none = "target=" + none.path();
  const std::string read_line = "Reading the skeleton file: ";
  const std::vector<int> all = {0, 1, 2, 3};
  const std::string one_each =
      "  1 nodes found in the input dataset as parents.\n"
      "  1 nodes found in the input dataset as targets.\n";
  // C takes A only, the others anything.
  const Pairs c_from_a = sorted([&] {
    Pairs p = pairs_of(all, {0, 1, 3});
    p.emplace_back(0, 2);
    return p;
  }());
  struct Case {
    const char* name;
    std::string file;
    const char* type;
    std::string options;  // empty: none
    Pairs pairs;
    std::string err;  // after the reading line
  };
  const Case cases[] = {
      {"parents: only A and B, of every node, themselves included", ab.path(), "parents", "",
       pairs_of({0, 1}, all), "  2 nodes found in the input dataset.\n"},
      {"parents_targets: C takes A only, the others anything", a.path(), "Parents_Targets",
       target_c, c_from_a, one_each},
      {"parents_targets with inv: the others take A only", a.path(), "parents_targets",
       target_c + ",inv", sorted([&] {
         Pairs p = pairs_of({0}, {0, 1, 3});
         for (int q : all) p.emplace_back(q, 2);
         return p;
       }()),
       one_each},
      {"inv=off is no inversion", a.path(), "parents_targets", target_c + ",inv=OFF", c_from_a,
       one_each},
      {"parents: no listed node here, so no parent for any",
       none.path(),
       "PARENTS",
       "",
       {},
       "  0 nodes found in the input dataset.\n"},
      {"parents_targets: no listed parent here, so none for C", none.path(), "parents_targets",
       target_c, pairs_of(all, {0, 1, 3}),
       "  0 nodes found in the input dataset as parents.\n"
       "  1 nodes found in the input dataset as targets.\n"},
      {"parents_targets: no target here, so every node takes anything", a.path(), "parents_targets",
       target_none, pairs_of(all, all),
       "  1 nodes found in the input dataset as parents.\n"
       "  0 nodes found in the input dataset as targets.\n"},
      {"parents_targets with inv and no target here: every node takes A only", a.path(),
       "parents_targets", target_none + ",inv", pairs_of({0}, all),
       "  1 nodes found in the input dataset as parents.\n"
       "  0 nodes found in the input dataset as targets.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Skeleton s =
        skeleton(data.get(), k.file, k.type, k.options.empty() ? nullptr : k.options.c_str());
    EXPECT_EQ(s.err, read_line + k.file + "\n" + k.err);
    ASSERT_NE(s.g, nullptr);
    EXPECT_EQ(s.g->type, VLK_TYPE_ADJGRAPH);
    EXPECT_EQ(allowed(s.g.get()), k.pairs);
  }
}

// Children lists: a node heading a list may be the parent of its listed children only (names
// the data set lacks give nothing); a node heading none, of every other node.
const Pairs kChildrenListPairs =
    sorted({{0, 1}, {0, 2}, {1, 0}, {1, 2}, {1, 3}, {3, 0}, {3, 1}, {3, 2}});

TEST(Skeleton, ChildrenLists) {
  const DataPtr data = named_data({"A", "B", "C", "D"});
  vlk::NetworkPtr lists(VLK_Network_new());
  for (const char* name : {"A", "B", "C", "X"})
    VLK_Network_add_node(lists.get(), VLK_Node_new(name, name));
  VLK_Network_add_edge_index(lists.get(), 0, 1);  // A: B, C
  VLK_Network_add_edge_index(lists.get(), 0, 2);
  VLK_Network_add_edge_index(lists.get(), 2, 3);  // C: X
  const IntArrayPtr heads(VLK_IntArray_new());
  VLK_IntArray_add(heads.get(), 0);
  VLK_IntArray_add(heads.get(), 2);
  const SkeletonPtr g(vlk::chlist_skeleton(data.get(), lists.get(), heads.get()));
  EXPECT_EQ(allowed(g.get()), kChildrenListPairs);
}

// The same from a file, read as children lists.
TEST(Skeleton, ChildrenListsFromAFile) {
  const DataPtr data = named_data({"A", "B", "C", "D"});
  vlk_test::TempFile file("A\tB\tC\n# a comment\nC\tX\n");
  const Skeleton s = skeleton(data.get(), file.path(), "chlist", nullptr);
  ASSERT_NE(s.g, nullptr) << s.err;
  EXPECT_EQ(allowed(s.g.get()), kChildrenListPairs);
}

TEST(Skeleton, RefusedSettings) {
  const DataPtr data = named_data({"A", "B"});
  vlk_test::TempFile a("A\n");
  const std::string read_line = "Reading the skeleton file: " + a.path() + "\n";
  KeyValuesPtr other(VLK_KeyValues_parse("b=2"));
  EXPECT_FATAL_EXIT(read_skeleton(data.get(), a.path().c_str(), "children", nullptr),
                    read_line + "ERROR: Unknown skeleton file type: children\n");
  // A nucleus whose names were not shared: refused rather than read as no restriction.
  const DataPtr unnamed(VLK_Data_new());
  unnamed->p = 2;
  EXPECT_FATAL_EXIT(read_skeleton(unnamed.get(), a.path().c_str(), "parents", nullptr),
                    read_line + "ERROR: read_skeleton(): the data set carries no node names.\n");
  EXPECT_FATAL_EXIT(read_skeleton(data.get(), a.path().c_str(), "parents_targets", other.get()),
                    read_line +
                        "  1 nodes found in the input dataset as parents.\n"
                        "ERROR: Specify 'target=' for --skel-args.\n");

  // A file gone since the start-up check ends the run rather than lift the restriction.
  const std::string gone = "/nonexistent/skeleton.txt";
  KeyValuesPtr gone_target(VLK_KeyValues_parse(("target=" + gone).c_str()));
  for (const char* type : {"parents", "CHLIST"})
    EXPECT_FATAL_EXIT(read_skeleton(data.get(), gone.c_str(), type, nullptr),
                      "Reading the skeleton file: " + gone + "\nERROR: --skeleton: cannot open " +
                          gone + ": No such file or directory\n");
  EXPECT_FATAL_EXIT(
      read_skeleton(data.get(), a.path().c_str(), "parents_targets", gone_target.get()),
      read_line +
          "  1 nodes found in the input dataset as parents.\n"
          "ERROR: target= of --skeleton-args: cannot open " +
          gone + ": No such file or directory\n");

  // The same refusals before any work, for the settings alone.
  KeyValuesPtr target(VLK_KeyValues_parse("target=t.txt"));
  for (const char* type : {"parents", "PARENTS", "chlist", "CHLIST"})
    check_skeleton_args(type, nullptr);
  check_skeleton_args("parents_targets", target.get());
  EXPECT_FATAL_EXIT(check_skeleton_args("tree", target.get()),
                    "ERROR: Unknown skeleton file type: tree\n");
  EXPECT_FATAL_EXIT(check_skeleton_args("parents_targets", other.get()),
                    "ERROR: Specify 'target=' for --skel-args.\n");
  EXPECT_FATAL_EXIT(check_skeleton_args("parents_targets", nullptr),
                    "ERROR: Specify 'target=' for --skel-args.\n");
}

// The files themselves, against the whole data set: what would leave the nuclei unrestricted,
// or end a run half-way, is refused before any work, naming the option; the names that are no
// gene are warned about once, printably.
TEST(Skeleton, FilesAreCheckedAgainstTheWholeData) {
  const DataPtr data = named_data({"A", "B", "C", "D"});
  vlk_test::TempFile good("A\nnobody\nC\nnobody\n\x01odd\n");
  vlk_test::TempFile empty("");
  vlk_test::TempFile blank("\n\n");
  vlk_test::TempFile strangers("nobody\nX\x1b[1m\n");
  vlk_test::TempFile nul(std::string("A\n\0B\n", 5));
  vlk_test::TempFile lists("A\tB\tZ\n# C\tnot read\nC\tZ\n-\nY\tA\n");
  vlk_test::TempFile headless("X\tA\tB\n");
  vlk_test::TempFile ended("# lists follow\n-\nA\tB\n");
  const std::string missing = "/nonexistent/skeleton.txt";
  const std::string dir = "/tmp";
  const auto checking = [](const std::string& file) {
    return "Checking the skeleton file: " + file + "\n";
  };
  const auto not_gene = [](const char* option, const std::string& file, int line,
                           const std::string& name) {
    return "WARNING: " + std::string(option) + ": " + file + " line " + std::to_string(line) +
           ": not a gene of the data set: " + name + "\n";
  };
  const char* skel = "--skeleton";
  const char* target = "target= of --skeleton-args";
  struct Case {
    const char* name;
    std::string file;
    const char* type;
    std::string options;  // empty: none
    std::string err;      // after the checking line
    bool refused;
  };
  const Case cases[] = {
      {"a node set: every stranger once, control bytes escaped", good.path(), "parents", "",
       not_gene(skel, good.path(), 2, "nobody") + not_gene(skel, good.path(), 5, "\\x01odd") +
           "  --skeleton: 2 genes of the data set in " + good.path() + ".\n",
       false},
      {"both files of parents_targets", good.path(), "parents_targets", "target=" + lists.path(),
       not_gene(skel, good.path(), 2, "nobody") + not_gene(skel, good.path(), 5, "\\x01odd") +
           "  --skeleton: 2 genes of the data set in " + good.path() + ".\n" +
           not_gene(target, lists.path(), 2, "# C") + not_gene(target, lists.path(), 4, "-") +
           not_gene(target, lists.path(), 5, "Y") +
           "  target= of --skeleton-args: 2 genes of the data set in " + lists.path() + ".\n",
       false},
      {"children lists: every field, no comments, up to the line -", lists.path(), "CHLIST", "",
       not_gene(skel, lists.path(), 1, "Z") + "  --skeleton: 2 genes of the data set in " +
           lists.path() + ".\n",
       false},
      {"missing", missing, "parents", "",
       "ERROR: --skeleton: cannot open " + missing + ": No such file or directory\n", true},
      {"a directory", dir, "parents", "", "ERROR: --skeleton: /tmp is a directory, not a file\n",
       true},
      {"empty", empty.path(), "parents", "",
       "ERROR: --skeleton: " + empty.path() + " is empty: no name in it\n", true},
      {"blank lines only", blank.path(), "parents", "",
       "ERROR: --skeleton: " + blank.path() + " is empty: no name in it\n", true},
      {"no gene of the data", strangers.path(), "parents", "",
       not_gene(skel, strangers.path(), 1, "nobody") +
           not_gene(skel, strangers.path(), 2, "X\\x1b[1m") + "ERROR: --skeleton: no name in " +
           strangers.path() + " is a gene of the data set (2 read)\n",
       true},
      {"a NUL byte", nul.path(), "parents", "",
       "ERROR: --skeleton: line 2 of " + nul.path() + " holds a NUL byte\n", true},
      {"the target file missing", good.path(), "parents_targets", "target=" + missing,
       not_gene(skel, good.path(), 2, "nobody") + not_gene(skel, good.path(), 5, "\\x01odd") +
           "  --skeleton: 2 genes of the data set in " + good.path() + ".\n" +
           "ERROR: target= of --skeleton-args: cannot open " + missing +
           ": No such file or directory\n",
       true},
      {"the target file naming no gene", good.path(), "parents_targets",
       "target=" + strangers.path(),
       not_gene(skel, good.path(), 2, "nobody") + not_gene(skel, good.path(), 5, "\\x01odd") +
           "  --skeleton: 2 genes of the data set in " + good.path() + ".\n" +
           not_gene(target, strangers.path(), 1, "nobody") +
           not_gene(target, strangers.path(), 2, "X\\x1b[1m") +
           "ERROR: target= of --skeleton-args: no name in " + strangers.path() +
           " is a gene of the data set (2 read)\n",
       true},
      {"lists headed by no gene", headless.path(), "chlist", "",
       not_gene(skel, headless.path(), 1, "X") + "ERROR: --skeleton: no list in " +
           headless.path() + " is headed by a gene of the data set (1 read)\n",
       true},
      {"no list before the line -", ended.path(), "CHLIST", "",
       "ERROR: --skeleton: " + ended.path() + " is empty: no list in it\n", true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    KeyValuesPtr opts(k.options.empty() ? nullptr : VLK_KeyValues_parse(k.options.c_str()));
    const auto check = [&] {
      check_skeleton_files(data.get(), k.file.c_str(), k.type, opts.get());
    };
    if (k.refused) {
      EXPECT_FATAL_EXIT(check(), checking(k.file) + k.err);
    } else {
      vlk_test::CaptureErr err;
      check();
      EXPECT_EQ(err.text(), checking(k.file) + k.err);
    }
  }
  // Nothing to check without a file; a data set without names has nothing to match.
  {
    vlk_test::CaptureErr err;
    check_skeleton_files(data.get(), nullptr, "parents", nullptr);
    EXPECT_EQ(err.text(), "");
  }
  const DataPtr unnamed(VLK_Data_new());
  unnamed->p = 2;
  EXPECT_FATAL_EXIT(check_skeleton_files(unnamed.get(), good.path().c_str(), "parents", nullptr),
                    checking(good.path()) +
                        "ERROR: --skeleton: the data set carries no gene names to match " +
                        good.path() + " against\n");
}

// Two-step hill climbing's first set is checked as a node-set skeleton is, under its own
// option's name; other searches, and a first set not given (refused by parse_args), have none.
TEST(Skeleton, TheFirstSetFileIsChecked) {
  const DataPtr data = named_data({"A", "B", "C"});
  vlk_test::TempFile good("B\nnobody\n");
  vlk_test::TempFile empty("");
  vlk_test::TempFile strangers("nobody\n");
  const auto run = [&](const char* algo, const std::string& options) {
    KeyValuesPtr opts(options.empty() ? nullptr : VLK_KeyValues_parse(options.c_str()));
    check_first_set_file(data.get(), algo, opts.get());
  };
  const auto checking = [](const std::string& file) {
    return "Checking the first set file: " + file + "\n";
  };
  {
    vlk_test::CaptureErr err;
    run("TSHC", "first=" + good.path() + ",cache=off");
    EXPECT_EQ(err.text(), checking(good.path()) + "WARNING: first= of -A: " + good.path() +
                              " line 2: not a gene of the data set: nobody\n" +
                              "  first= of -A: 1 genes of the data set in " + good.path() + ".\n");
  }
  {
    vlk_test::CaptureErr err;
    run("hc2", "first=" + empty.path());
    run("tshc", "cache=off");
    EXPECT_EQ(err.text(), "");
  }
  EXPECT_FATAL_EXIT(run("tshc", "first=" + empty.path()),
                    checking(empty.path()) + "ERROR: first= of -A: " + empty.path() +
                        " is empty: no name in it\n");
  EXPECT_FATAL_EXIT(run("tshc", "first=" + strangers.path()),
                    checking(strangers.path()) + "WARNING: first= of -A: " + strangers.path() +
                        " line 1: not a gene of the data set: nobody\n" +
                        "ERROR: first= of -A: no name in " + strangers.path() +
                        " is a gene of the data set (1 read)\n");
  EXPECT_FATAL_EXIT(run("tshc", "first=/nonexistent/first.txt"),
                    checking("/nonexistent/first.txt") +
                        "ERROR: first= of -A: cannot open /nonexistent/first.txt: No such file or "
                        "directory\n");
}

// parse_args runs on every process: a bad skeleton setting ends each of them at start-up,
// whether or not it would ever run a real job. Without a skeleton file the type is not read.
TEST(Skeleton, SettingsAreCheckedAtStartUp) {
  const auto parse = [](std::vector<std::string> words) {
    words.insert(words.begin(), "velknnsr");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    Args* a = Args_new_rank(2, 3);
    parse_args(a, static_cast<int>(words.size()), argv.data());
    Args_delete(a);
  };
  EXPECT_FATAL_EXIT(parse({"--skel", "s.txt", "--skel-type", "list", "x.edf"}),
                    "ERROR: Unknown skeleton file type: list\n");
  EXPECT_FATAL_EXIT(parse({"--skeleton", "s.txt", "--skeleton-type", "parents_targets",
                           "--skel-args", "inv", "x.edf"}),
                    "ERROR: Specify 'target=' for --skel-args.\n");
  parse({"--skel-type", "list", "x.edf"});
}

// The road of a run: a skeleton file on the command line switches name sharing on, the
// nucleus data set gets its genes' names from collect_data, read_skeleton matches the file's
// names against them (nucleus positions are not gene ids), and either greedy search keeps to
// the skeleton. The planted network has parents among the genes the file leaves out, which the
// unrestricted search does find; a file whose genes the nucleus lacks leaves it no edge.
TEST(Skeleton, SearchesKeepToTheSkeleton) {
  const int genes = 20, samples = 5;
  std::vector<std::string> names;
  std::string even;
  for (int i = 0; i < genes; ++i) {
    names.push_back("g" + std::to_string(i));
    if (i % 2 == 0) even += names.back() + "\n";
  }
  vlk_test::TempFile list(even);
  // Genes that none of the nucleus's positions holds: the nucleus may take no parent at all.
  vlk_test::TempFile outside("g1\ng5\ng19\n");
  enum class Mode { even, outside, none };
  std::vector<std::string> words = {"velknnsr", "--skel", list.path(), "-m", "12", "x.edf"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  Args* a = Args_new_rank(0, 1);
  parse_args(a, static_cast<int>(words.size()), argv.data());
  ASSERT_EQ(a->share_names, 1);

  const DataPtr whole = named_data(names);
  a->whole_data = whole.get();
  a->nodes = genes;
  a->samples = samples;
  a->whole_values = whole->X;
  const int K = a->module_size;
  std::vector<double> nucleus_values(static_cast<size_t>(K * samples));
  VLK_Data* nucleus = a->nucleus_data;
  nucleus->p = K;
  nucleus->n = samples;
  nucleus->X = nucleus->Y = nucleus_values.data();
  const unsigned short sel[12] = {13, 4, 7, 0, 18, 9, 2, 11, 6, 15, 10, 3};
  {
    vlk_test::CaptureErr err;
    collect_data(a, sel);
  }

  VLK_AlgoArgs* s = a->algo_args;
  s->data = nucleus;
  s->rng = VLK_RNG_new();
  s->max_parents = 3;
  const auto truth = vlk_test::random_dag(K, 2, 17);
  for (const char* algo : {"hc", "hc2"})
    for (const Mode mode : {Mode::even, Mode::outside, Mode::none}) {
      SCOPED_TRACE(testing::Message() << algo << ", mode " << static_cast<int>(mode));
      vlk_test::TestScoreConfig cfg;
      cfg.nodes = K;
      cfg.parents = truth;
      s->score = vlk_test::test_score_new(cfg);
      VLK_KeyValues_delete(s->options);
      s->options = VLK_KeyValues_parse("trials=2");
      SkeletonPtr skel;
      VLK_Graph* g = nullptr;
      {
        vlk_test::CaptureErr err;
        if (mode != Mode::none)
          skel.reset(read_skeleton(nucleus,
                                   mode == Mode::even ? a->skeleton_file : outside.path().c_str(),
                                   a->skeleton_type, a->skeleton_args));
        s->skeleton = skel.get();
        g = std::string(algo) == "hc" ? VLK_Greedy_exec(s) : VLK_Greedy_exec2(s);
      }
      ASSERT_NE(g, nullptr);
      int odd_parents = 0;
      for (int c = 0; c < K; ++c) {
        const VLK_IntArray* l = VLK_Graph_parents(g, c);
        for (size_t k = 0; k < l->size; ++k) odd_parents += sel[l->data[k]] % 2;
      }
      switch (mode) {
        case Mode::even:
          EXPECT_EQ(odd_parents, 0);
          EXPECT_GT(VLK_Graph_num_edges(g), 0u);
          break;
        case Mode::outside:
          EXPECT_EQ(VLK_Graph_num_edges(g), 0u);
          break;
        case Mode::none:
          EXPECT_GT(odd_parents, 0);
          break;
      }
      VLK_Graph_delete(g);
      s->skeleton = nullptr;
      vlk_test::test_score_delete(s->score);
      s->score = nullptr;
    }
  // What the record does not own here: the nucleus's borrowed names and values, the search's
  // data set (the nucleus itself), its random numbers and timer.
  VLK_StrArray_set_size(nucleus->names, 0);
  nucleus->X = nucleus->Y = nullptr;
  s->data = nullptr;
  VLK_RNG_delete(s->rng);
  VLK_MultiTimer_delete(s->timer);
  s->timer = nullptr;
  a->whole_data = nullptr;
  a->whole_values = nullptr;
  Args_delete(a);
}

// ---- Acyclic extraction ----------------------------------------------------------------------

TEST(ExtractDag, MostFrequentFirstWithoutCycles) {
  struct Case {
    const char* name;
    Pairs edges;
    std::vector<float> freq;
    float th;
    Pairs dag;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"the ring's weakest edge is refused",
       {{0, 1}, {1, 2}, {2, 0}},
       {0.9f, 0.8f, 0.7f},
       0.5f,
       {{0, 1}, {1, 2}}},
      {"below the threshold: no candidate",
       {{0, 1}, {1, 2}, {2, 0}},
       {0.9f, 0.8f, 0.7f},
       0.75f,
       {{0, 1}, {1, 2}}},
      {"order by frequency, not by edge",
       {{2, 0}, {0, 1}, {1, 2}},
       {0.1f, 0.9f, 0.8f},
       0.0f,
       {{0, 1}, {1, 2}}},
      {"equal frequencies: the lower edge id first",
       {{1, 0}, {0, 1}},
       {0.5f, 0.5f},
       0.5f,
       {{1, 0}}},
      {"a NaN is no candidate", {{0, 1}, {1, 0}}, {nan, 0.1f}, 0.0f, {{1, 0}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    PCGraphPtr src(VLK_PCGraph_new(3));
    for (const auto& [a, b] : k.edges) VLK_PCGraph_add_edge(src.get(), a, b);
    PCGraphPtr dst(VLK_PCGraph_new(3));
    VLK_PCGraph_add_edge(dst.get(), 2, 1);  // left from before: cleared
    const vlk_test::FloatArray f(k.freq);
    extract_DAG(src.get(), f.a, dst.get(), k.th);
    EXPECT_EQ(vlk_test::pcgraph_edges(dst.get()), k.dag);
  }
  const VLK_PCGraph_DAGEntry hi{4, 0.75f}, lo{9, 0.25f}, odd{1, nan};
  EXPECT_EQ(size_t_float_cmp(&hi, &lo), -1);
  EXPECT_EQ(size_t_float_cmp(&lo, &hi), 1);
  EXPECT_EQ(size_t_float_cmp(&hi, &hi), 0);
  EXPECT_EQ(size_t_float_cmp(&hi, &odd), 0);
}

// Over half a million frequent edges: their candidates are more than a thread's stack holds.
TEST(ExtractDag, ManyCandidates) {
  const int n = 600001;
  PCGraphPtr src(VLK_PCGraph_new(n));
  VLK_FloatArray* f = VLK_FloatArray_new();
  for (int v = 0; v + 1 < n; ++v) {
    VLK_PCGraph_add_edge(src.get(), v, v + 1);
    VLK_FloatArray_add(f, 0.5f);
  }
  PCGraphPtr dst(VLK_PCGraph_new(n));
  extract_DAG(src.get(), f, dst.get(), 0.5f);
  EXPECT_EQ(VLK_PCGraph_num_edges(dst.get()), static_cast<size_t>(n - 1));
  VLK_FloatArray_delete(f);
}

// ---- Edge-list utilities ---------------------------------------------------------------------

VLK_IntArray* edge_list(const Pairs& pairs) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (const auto& [x, y] : pairs) {
    VLK_IntArray_add(a, x);
    VLK_IntArray_add(a, y);
  }
  return a;
}
std::vector<int> ints(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

TEST(GraphUtils, FindIntAr) {
  const int a[] = {4, 7, 7, -1};
  EXPECT_EQ(find_int_ar(a, 4, 7), 1);
  EXPECT_EQ(find_int_ar(a, 4, -1), 3);
  EXPECT_EQ(find_int_ar(a, 3, -1), -1);
  EXPECT_EQ(find_int_ar(a, 0, 4), -1);
}

TEST(GraphUtils, Components) {
  struct Case {
    Pairs edges;
    std::vector<std::vector<int>> nodes, edges_out;
    std::string shown;
  };
  const Case cases[] = {
      {{{0, 1}, {2, 3}},
       {{0, 1}, {2, 3}},
       {{0, 1, 0, 1}, {2, 3, 2, 3}},
       " Components = 2\n\n --- Component 0 ---\n  Nodes: 0 1\n  Edges:  0->1  0->1\n"
       "\n --- Component 1 ---\n  Nodes: 2 3\n  Edges:  2->3  2->3\n"},
      // Breadth first from the first node; an edge once per endpoint expanded; a loop once.
      {{{5, 1}, {1, 7}, {9, 9}, {7, 5}, {3, 9}},
       {{5, 1, 7}, {9, 3}},
       {{5, 1, 7, 5, 5, 1, 1, 7, 1, 7, 7, 5}, {9, 9, 3, 9, 3, 9}},
       ""},
      {{}, {}, {}, " Components = 0\n"},
  };
  for (const Case& k : cases) {
    const IntArrayPtr edges(edge_list(k.edges));
    VLK_Array* list = collect_connected(edges.get());
    ASSERT_EQ(list->size, 2 * k.nodes.size());
    for (size_t c = 0; c < k.nodes.size(); ++c) {
      EXPECT_EQ(ints(static_cast<VLK_IntArray*>(list->data[2 * c])), k.nodes[c]) << c;
      EXPECT_EQ(ints(static_cast<VLK_IntArray*>(list->data[2 * c + 1])), k.edges_out[c]) << c;
    }
    if (!k.shown.empty()) {
      vlk_test::CaptureErr err;
      show_components(list);
      EXPECT_EQ(err.text(), k.shown);
    }
    for (size_t i = 0; i < list->size; ++i)
      VLK_IntArray_delete(static_cast<VLK_IntArray*>(list->data[i]));
    VLK_Array_delete(list);
  }
}

// A member after the first touches an edge to an earlier one, no node is listed twice.
::testing::AssertionResult grown_connected(const Pairs& edges, const std::vector<int>& out,
                                           size_t from) {
  std::set<int> seen;
  for (size_t i = 0; i < out.size(); ++i) {
    if (!seen.insert(out[i]).second) return ::testing::AssertionFailure() << "twice: " << out[i];
    if (i < from) continue;
    const bool linked = std::any_of(edges.begin(), edges.end(), [&](const auto& e) {
      const auto earlier = [&](int v) {
        return std::find(out.begin(), out.begin() + static_cast<long>(i), v) !=
               out.begin() + static_cast<long>(i);
      };
      return (e.first == out[i] && earlier(e.second)) || (e.second == out[i] && earlier(e.first));
    });
    if (!linked) return ::testing::AssertionFailure() << out[i] << " joins no earlier member";
  }
  return ::testing::AssertionSuccess();
}

TEST(GraphUtils, ConnectedSubgraphs) {
  // Two stars, 0 with 1..5 and 10 with 11..15, joined by 5 - 11.
  Pairs stars;
  for (int k = 1; k <= 5; ++k) stars.emplace_back(0, k);
  for (int k = 11; k <= 15; ++k) stars.emplace_back(10, k);
  stars.emplace_back(5, 11);
  const IntArrayPtr edges(edge_list(stars));
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    SCOPED_TRACE(seed);
    srandom(seed);
    // One member at a time: 0 exhausts its edges before 1 .. 5 are looked at.
    std::vector<int> out(16, -1);
    ASSERT_EQ(connected_subgraph(edges.get(), 0, 4, out.data()), 4);
    out.resize(4);
    EXPECT_EQ(out[0], 0);
    for (int i = 1; i < 4; ++i) EXPECT_TRUE(out[i] >= 1 && out[i] <= 5) << out[i];
    EXPECT_TRUE(grown_connected(stars, out, 1));
    // Evenly: one edge per member and pass, so both centres grow.
    std::vector<int> out2(16, -1);
    out2[0] = 0;
    out2[1] = 10;
    ASSERT_EQ(connected_subgraph2(edges.get(), 4, out2.data(), 2), 4);
    out2.resize(4);
    EXPECT_EQ(out2[0], 0);
    EXPECT_EQ(out2[1], 10);
    EXPECT_TRUE(grown_connected(stars, out2, 2));
    EXPECT_EQ(std::count_if(out2.begin() + 2, out2.end(), [](int v) { return v <= 5; }), 1);
    // A size the start already reaches takes the whole component.
    std::vector<int> whole(16, -1);
    EXPECT_EQ(connected_subgraph(edges.get(), 12, 1, whole.data()), 12);
    EXPECT_TRUE(grown_connected(stars, {whole.begin(), whole.begin() + 12}, 1));
    std::vector<int> whole2(16, -1);
    whole2[0] = 3;
    EXPECT_EQ(connected_subgraph2(edges.get(), 1, whole2.data(), 1), 12);
  }
  // A loop taken first answers at once for size 1.
  const IntArrayPtr loop(edge_list({{4, 4}}));
  int one[2] = {-1, -1};
  EXPECT_EQ(connected_subgraph(loop.get(), 4, 1, one), 1);
  EXPECT_EQ(one[0], 4);
}

}  // namespace
