// The prior-knowledge score: the prior tables made from matrix and network files, what the score,
// prop and evaluate make of them, the budget left to the inner module and the refusals.
#include "ContPrior.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "VLK_BDE.h"
#include "VLK_DoubleArray.h"
#include "VLK_IO.h"
#include "VLK_Network.h"
#include "score_testing.h"
#include "simulated_data.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using score_testing::Setup;
using vlk_test::TempFile;

using PriorPtr = vlk::Owned<ContPriorBuff, ContPrior_finalize>;
using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;
using ScorePtr = std::unique_ptr<VLK_Score, vlk::FreeMalloced>;

// Three nodes g0, g1, g2 of binary values: the BDe score takes them, and scores differ by set.
DataPtr binary_data() {
  DataPtr d(vlk_test::make_data(3, 8, true));
  const double rows[3][8] = {
      {0, 1, 0, 1, 1, 0, 1, 0}, {0, 1, 1, 1, 0, 0, 1, 0}, {1, 1, 0, 1, 1, 0, 0, 0}};
  for (int v = 0; v < 3; ++v)
    for (int s = 0; s < 8; ++s) d->X[v * 8 + s] = rows[v][s];
  return d;
}

PriorPtr init(VLK_Data* data, const std::string& options, std::string* log = nullptr,
              size_t max_memory = size_t{64} << 20) {
  Setup s;
  s.options = options.c_str();
  s.max_memory = max_memory;
  s.verbosity = 0;
  PriorPtr bf = score_testing::init_state<PriorPtr>(ContPrior_init, data, s, log, nullptr);
  if (bf != nullptr) bf->verbose = -1;  // finalized quietly
  return bf;
}

// The direct computation of one pair: eta, then the logistic function.
double pi_of(double eta) { return 1.0 / (1.0 + std::exp(-eta)); }

// A network over the named nodes with a double property per edge, written in `format`.
std::string network_text(const char* format, const std::vector<std::string>& nodes,
                         const std::vector<std::tuple<int, int, const char*, double>>& edges) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (const std::string& name : nodes)
    VLK_Network_add_node(net.get(), VLK_Node_new(name.c_str(), name.c_str()));
  for (const auto& [p, c, key, value] : edges)
    VLK_Edge_add_property_double(VLK_Network_add_edge_index(net.get(), p, c), key, value);
  vlk_test::CaptureErr quiet;
  return vlk_test::capture([&](FILE* fp) { IO_output_network_fp(fp, net.get(), format, nullptr); });
}

// ---- The tables ---------------------------------------------------------------------------

// Two matrix files, the second with absolute values and cells it leaves to its undefined value;
// pairs far enough out that pi is exactly 1 or 0 take the clamped logs.
TEST(ContPrior, TablesOfTwoMatrixFiles) {
  const DataPtr data = binary_data();
  // Row = child, column = parent: file a's x(0, 1) = 600, x(2, 0) = -600.
  const TempFile a(
      "\tg0\tg1\tg2\n"
      "g0\t0.5\t-1\t-600\n"
      "g1\t600\t0\t2\n"
      "g2\t1\t0.25\t-2\n");
  const TempFile b(
      "x\tg0\tg1\tg2\n"
      "g0\t-3\t1\n"
      "g2\t2\t-1\t4\n");
  const double xa[3][3] = {{0.5, 600, 1}, {-1, 0, 0.25}, {-600, 2, -2}};  // [parent][child]
  const double d_b = -7;                                                  // b's undefined value
  const double xb[3][3] = {{-3, d_b, 2}, {1, d_b, -1}, {d_b, d_b, 4}};
  const double w[2] = {1.5, -0.5}, c[2] = {0.2, 1};
  std::string log;
  const PriorPtr bf = init(
      data.get(),
      "mat=" + a.path() + ",mat=" + b.path() + ",w=1.5:-0.5,c=0.2:1,d=0:-7,abs=2:0:3,s=BDE", &log);
  ASSERT_NE(bf, nullptr);
  EXPECT_EQ(bf->files, 2);
  EXPECT_NE(log.find("ContPrior: WARNING: 'abs' specified for off-bound information.\n"
                     "ContPrior: WARNING: 'abs' specified for off-bound information.\n"
                     "ContPrior: priors = 2\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ContPrior:    Type: Matrix\nContPrior:    Abs: Yes\n"), std::string::npos);

  double want_base[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      SCOPED_TRACE(std::to_string(i) + " -> " + std::to_string(j));
      EXPECT_EQ(bf->values[0][i][j], xa[i][j]);
      EXPECT_EQ(bf->values[1][i][j], xb[i][j]);
      const double eta = w[0] * (xa[i][j] - c[0]) + w[1] * (std::fabs(xb[i][j]) - c[1]);
      const double pi = pi_of(eta);
      const double l1 = pi == 0 ? -20000.0 : std::log(pi);
      const double l0 = pi == 1 ? -20000.0 : std::log1p(-pi);
      EXPECT_NEAR(bf->pi[i][j], pi, 1e-15);
      EXPECT_NEAR(bf->delta[i][j], -2 * (l1 - l0), 1e-9);
      want_base[j] += -2 * l0;
    }
  }
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(bf->base[j], want_base[j], 1e-9) << j;
  // eta near +-900: exp underflows, pi is exactly 1 or 0 and the log of 0 becomes -20000.
  EXPECT_EQ(bf->pi[0][1], 1.0);
  EXPECT_EQ(bf->delta[0][1], -40000.0);
  EXPECT_EQ(bf->pi[2][0], 0.0);
  EXPECT_EQ(bf->delta[2][0], 40000.0);

  // Child 2 has no extreme pair: base + the deltas of a parent set is -2 log of its prior
  // probability under independent edges, for every set (the child itself included).
  for (int set = 0; set < 8; ++set) {
    double sum = bf->base[2], log_prior = 0;
    for (int i = 0; i < 3; ++i) {
      const bool in = (set >> i) & 1;
      if (in) sum += bf->delta[i][2];
      log_prior += in ? std::log(bf->pi[i][2]) : std::log1p(-bf->pi[i][2]);
    }
    EXPECT_NEAR(sum, -2 * log_prior, 1e-9) << "set " << set;
  }
}

TEST(ContPrior, ZeroWeightsGiveEvenOdds) {
  const DataPtr data = binary_data();
  const TempFile a("\tg0\tg1\tg2\ng0\t5\t-9\t100\ng1\t1\t2\t3\n");
  const PriorPtr bf =
      init(data.get(), "mat=" + a.path() + ",mat=" + a.path() + ",w=0:0,c=1:2,d=4:5,abs=1,s=BDE");
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(bf->pi[i][j], 0.5);
      EXPECT_EQ(bf->delta[i][j], 0.0);
    }
  }
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(bf->base[j], 6 * std::log(2.0), 1e-12);
}

// The value in the row of r and the column of c is the prior of the edge c -> r.
TEST(ContPrior, MatrixRowsAreChildrenColumnsParents) {
  const DataPtr data = binary_data();
  const TempFile a("\tg0\tg1\tg2\ng2\t4\t0\t0\n");
  const PriorPtr bf = init(data.get(), "mat=" + a.path() + ",w=1,c=0,d=-1,s=BDE");
  EXPECT_EQ(bf->values[0][0][2], 4.0);   // g0 -> g2
  EXPECT_EQ(bf->values[0][2][0], -1.0);  // g2 -> g0: not in the file
  EXPECT_EQ(bf->values[0][2][2], 0.0);
  EXPECT_GT(bf->pi[0][2], 0.98);
  EXPECT_LT(bf->pi[2][0], 0.27);
  EXPECT_LT(bf->delta[0][2], 0.0);
  EXPECT_GT(bf->delta[2][0], 0.0);
}

TEST(ContPrior, MatrixLabelsThatNameNoNodeAreSkipped) {
  const DataPtr data = binary_data();
  const TempFile a(
      "\tg0\tgX\tg2\n"
      "g1\t1\t99\t2\t98\n"
      "gY\t5\t5\t5\n"
      "\n"
      "g2\t3\n");
  std::vector<double> cells(9, -5.0);
  double* rows[3] = {&cells[0], &cells[3], &cells[6]};
  vlk_test::CaptureErr err;
  ContPrior_read_matrix(data.get(), a.path().c_str(), rows);
  EXPECT_EQ(err.text(), "ContPrior: Reading the matrix prior file: " + a.path() +
                            "\n"
                            "ContPrior:   3 columns without the first column.\n"
                            "WARNING: ContPrior: Column not found: gX\n"
                            "ContPrior:   Found 2 columns in the input data set.\n"
                            "ContPrior: WARNING: row not found: gY\n"
                            "ContPrior: WARNING: row not found: \n"
                            "ContPrior:   Found 2 rows in the input dataset.\n");
  // [parent][child]: the label after the unknown one still names its own column.
  const std::vector<double> want = {-5, 1,  3,   //
                                    -5, -5, -5,  //
                                    -5, 2,  -5};
  EXPECT_EQ(cells, want);
}

// Each network file reads its own key: "edgeScore" unless a "key" follows it. Edges with an end
// the data set lacks are left out.
TEST(ContPrior, NetworkFilesReadTheirOwnKeys) {
  const DataPtr data = binary_data();
  const TempFile first(network_text("VLK3", {"g0", "g2", "other"},
                                    {{0, 1, "edgeScore", 0.75}, {2, 0, "edgeScore", 5.0}}));
  const TempFile second(
      network_text("CSML", {"g1", "g2"}, {{0, 1, "conf", -2.5}, {1, 0, "conf", 3.0}}));
  std::string log;
  const PriorPtr bf =
      init(data.get(),
           "vlk3=" + first.path() + ",csml=" + second.path() + ",key=conf,w=1:1,c=0:0,d=0:0,s=BDE",
           &log);
  EXPECT_EQ(bf->values[0][0][2], 0.75);
  EXPECT_EQ(bf->values[1][1][2], -2.5);
  EXPECT_EQ(bf->values[1][2][1], 3.0);
  EXPECT_EQ(bf->values[0][2][0], 0.0);
  EXPECT_NE(log.find("Type: VLK3\nContPrior:    Score Key: edgeScore\n"), std::string::npos);
  EXPECT_NE(log.find("Type: CSML\nContPrior:    Score Key: conf\n"), std::string::npos);
  EXPECT_NE(log.find("ContPrior: 1 edges found.\n"), std::string::npos);
  EXPECT_NE(log.find("ContPrior: 2 edges found.\n"), std::string::npos);
}

// A key names the file given just before it; files without one get "edgeScore".
TEST(ContPrior, KeysArePaddedPerFile) {
  ContPriorFiles lists{nullptr, nullptr, nullptr};
  ContPrior_set_file("vlk3", "a", &lists);
  ContPrior_set_file("VLK3", "b", &lists);
  VLK_StrArray_add_copy(lists.keys, "k2");  // what the "key" option appends
  ContPrior_set_file("Mat", "c", &lists);
  ContPrior_set_file("csml", "d", &lists);
  ASSERT_EQ(lists.keys->size, 3u);
  EXPECT_STREQ(lists.keys->data[0], "edgeScore");
  EXPECT_STREQ(lists.keys->data[1], "k2");
  EXPECT_STREQ(lists.keys->data[2], "edgeScore");
  ASSERT_EQ(lists.types->size, 4u);
  EXPECT_EQ(std::vector<int>(lists.types->data, lists.types->data + 4),
            (std::vector<int>{CONTPRIOR_VLK3, CONTPRIOR_VLK3, CONTPRIOR_MATRIX, CONTPRIOR_CSML}));
  EXPECT_STREQ(lists.files->data[3], "d");
  VLK_StrArray_delete_all(lists.files);
  VLK_IntArray_delete(lists.types);
  VLK_StrArray_delete_all(lists.keys);
}

// ---- Refusals -------------------------------------------------------------------------------

TEST(ContPrior, RefusedSetups) {
  const DataPtr data = binary_data();
  const TempFile good("\tg0\n");
  const TempFile empty("");
  const TempFile no_columns("label only\ng0\t1\n");
  const TempFile no_header("\ng0\t1\n");
  const TempFile not_finite("\tg0\tg1\ng1\t1\tnan\n");
  const TempFile no_key(network_text("VLK3", {"g0", "g1"}, {{0, 1, "other", 1.0}}));
  const TempFile nan_edge(network_text("VLK3", {"g0", "g1"}, {{0, 1, "edgeScore", NAN}}));
  const TempFile sentinel(network_text("VLK3", {"g0", "g1"}, {{0, 1, "edgeScore", 9999.0}}));
  const std::string m = "mat=" + good.path();
  const struct {
    std::string options;
    std::string tail;  // how VELK_ERR ends
  } cases[] = {
      {"", "ERROR: ContPrior: No prior information file specified.\n"},
      {"w=1,c=0,d=0,s=BDE", "ERROR: ContPrior: No prior information file specified.\n"},
      {m + "," + m + "," + m + ",w=1:2,c=0:0:0,d=0:0:0",
       "ERROR: ContPrior: # of 'weight' (w) parameters inconsistent with # of prior files.\n"},
      {m + ",w=1,c=0:1,d=0",
       "ERROR: ContPrior: # of 'center' (c) parameters inconsistent with # of prior files.\n"},
      {m + ",w=1,c=0",
       "ERROR: ContPrior: # of 'undefined' (d) inconsistent with # of prior files.\n"},
      {m + ",w=1,c=0,d=0,bogus=1", "ERROR: unknown argument specified: bogus\n"},
      {m + ",w=1,c=0,d=0,s=NoSuchScore", "ERROR: ContPrior: Unknown score function: NoSuchScore\n"},
      {"mat=/nonexistent/prior,w=1,c=0,d=0",
       "ContPrior: ERROR: Cannot open file: /nonexistent/prior\n"},
      {"mat=" + empty.path() + ",w=1,c=0,d=0", "ContPrior: ERROR: Failed to read the header.\n"},
      {"mat=" + no_columns.path() + ",w=1,c=0,d=0",
       "ContPrior:   0 columns without the first column.\n"
       "ERROR: ContPrior: Matrix file has no columns.\n"},
      {"mat=" + no_header.path() + ",w=1,c=0,d=0",
       "ContPrior:   0 columns without the first column.\n"
       "ERROR: ContPrior: Matrix file has no columns.\n"},
      {"mat=" + not_finite.path() + ",w=1,c=0,d=0",
       "ERROR: not a finite value at line 2, column 3: nan\n"},
      {"vlk3=" + no_key.path() + ",w=1,c=0,d=0",
       "ERROR: ContPrior: Specified score key \"edgeScore\" not found in network file: " +
           no_key.path() + "\n"},
      {"vlk3=" + nan_edge.path() + ",w=1,c=0,d=0",
       "ERROR: ContPrior: not a finite value of \"edgeScore\" on the edge g0 -> g1: " +
           nan_edge.path() + "\n"},
      {"vlk3=" + sentinel.path() + ",w=1,c=0,d=0",
       "ERROR: ContPrior: Specified score key \"edgeScore\" not found in network file: " +
           sentinel.path() + "\n"},
      // Options that are no finite numbers (the option binding refuses them), and finite ones
      // whose combination is none: each would make every score of a child NaN.
      {m + ",w=nan,c=0,d=0",
       "ERROR: option \"w\": \"nan\" (field 1 of \"nan\") is not a finite number\n"
       "ERROR: unknown argument specified: w\n"},
      {m + "," + m + ",w=1:1,c=0:-inf,d=0:0",
       "ERROR: option \"c\": \"-inf\" (field 2 of \"0:-inf\") is not a finite number\n"
       "ERROR: unknown argument specified: c\n"},
      {m + ",w=1,c=0,d=1e999",
       "ERROR: option \"d\": \"1e999\" (field 1 of \"1e999\") is too large for a double\n"
       "ERROR: unknown argument specified: d\n"},
      {m + ",w=0,c=-1e308,d=1e308",
       "ERROR: ContPrior: the weighted prior values of the edge 0 -> 0 (node positions from 0) "
       "add up to nan, not a finite number: choose smaller weights, centres or undefined "
       "values\n"},
      {m + "," + m + ",w=1e308:1e308,c=-1e308:0,d=1e308:1e308",
       "ERROR: ContPrior: the weighted prior values of the edge 0 -> 0 (node positions from 0) "
       "add up to inf, not a finite number: choose smaller weights, centres or undefined "
       "values\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const vlk_test::Ending end = vlk_test::run_fatal([&] {
      score_testing::Setup s;
      s.options = c.options.c_str();
      score_testing::init_only_with(ContPrior_init, data.get(), s);
    });
    EXPECT_TRUE(end.exit1()) << "status " << end.status << " signal " << end.signal;
    EXPECT_TRUE(end.err.ends_with(c.tail)) << end.err;
  }
  ContPriorFiles lists{nullptr, nullptr, nullptr};
  EXPECT_FATAL_EXIT(ContPrior_set_file("txt", "f", &lists),
                    "ERROR: Unsupported prior type specified: txt");
}

// ---- Scoring -------------------------------------------------------------------------------

// The table's record scores the inner score plus base and deltas, for every parent set.
TEST(ContPrior, ScoreIsInnerScorePlusPrior) {
  const DataPtr data = binary_data();
  const TempFile a("\tg0\tg1\tg2\ng0\t0\t1\t-2\ng1\t3\t0\t0.5\ng2\t-1\t2\t0\n");
  const std::string options = "mat=" + a.path() + ",w=0.7,c=0.1,d=0,s=bde";
  VLK_KeyValues* list = VLK_KeyValues_parse(options.c_str());
  VLK_ScoreArgs args{list, 2, size_t{64} << 20, 0, 1, 0, -1};
  VLK_ScoreArgs bde_args{nullptr, 2, size_t{64} << 20, 0, 1, 0, -1};
  ScorePtr prior(VLK_Score_get("ContPrior"));
  ScorePtr bde(VLK_Score_get("BDE"));
  {
    vlk_test::CaptureErr quiet;
    VLK_Score_init(prior.get(), data.get(), &args);
    VLK_Score_init(bde.get(), data.get(), &bde_args);
  }
  EXPECT_EQ(args.options, list);  // the caller's list is put back
  VLK_KeyValues_delete(list);
  const auto* bf = static_cast<const ContPriorBuff*>(prior->state);
  const std::vector<std::vector<int>> sets = {{}, {0}, {1}, {2}, {0, 1}, {1, 0}, {0, 2}};
  for (int child = 0; child < 3; ++child) {
    for (std::vector<int> parents : sets) {
      SCOPED_TRACE(score_testing::label_of(child, parents));
      const int q = static_cast<int>(parents.size());
      double prior_part = bf->base[child];
      for (int p : parents) prior_part += bf->delta[p][child];
      const double inner = bde->score(bde->state, child, parents.data(), q);
      EXPECT_NEAR(prior->score(prior->state, child, parents.data(), q) - inner, prior_part, 1e-9);
    }
  }
  // The edge's prior figures; BDe has no properties of its own to add.
  int parents[] = {2, 1};
  VLK_KeyValues* kv = prior->prop(prior->state, 0, parents, 2, 1);
  ASSERT_EQ(VLK_KeyValues_size(kv), 3u);
  EXPECT_DOUBLE_EQ(VLK_KeyValues_get_double(kv, "ContPrior.eta", 0), 0.7 * (1 - 0.1));
  EXPECT_EQ(VLK_KeyValues_get_double(kv, "ContPrior.pi", 0), bf->pi[1][0]);
  const auto* z = static_cast<const VLK_DoubleArray*>(
      VLK_KeyValues_get_with_type(kv, "ContPrior.z", VLK_TYPE_DOUBLEARRAY));
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(std::vector<double>(z->data, z->data + z->size), std::vector<double>{1.0});
  VLK_KeyValues_delete(kv);
  {
    vlk_test::CaptureErr quiet;
    prior->finalize(prior->state);
    bde->finalize(bde->state);
  }
}

// An inner module with properties: its list follows the prior's, as it describes the same call.
TEST(ContPrior, PropCarriesTheInnerModulesProperties) {
  vlk_test::SimulatedDag sim(3, 40, 5, 9);
  const DataPtr data(sim.data);
  const TempFile a("\tg0\tg1\ng2\t1\t2\n");
  std::string log;
  const PriorPtr bf = init(data.get(), "mat=" + a.path() + ",w=1,c=0,d=0,S={linear}", &log);
  ASSERT_NE(bf, nullptr);
  EXPECT_NE(log.find("ContPrior: Wrapped score function: BNRC\n"), std::string::npos);
  EXPECT_NE(log.find("BNRC: Linear mode specified.\n"), std::string::npos);
  int parents[] = {0, 1};
  ContPrior_score(bf.get(), 2, parents, 2);
  VLK_KeyValues* mine = ContPrior_prop(bf.get(), 2, parents, 2, 1);
  bf->inner->score(bf->inner->state, 2, parents, 2);
  VLK_KeyValues* inner = bf->inner->prop(bf->inner->state, 2, parents, 2, 1);
  ASSERT_NE(inner, nullptr);
  ASSERT_EQ(VLK_KeyValues_size(mine), 3 + VLK_KeyValues_size(inner));
  EXPECT_STREQ(VLK_KeyValues_get_key(mine, 0), "ContPrior.eta");
  EXPECT_STREQ(VLK_KeyValues_get_key(mine, 1), "ContPrior.pi");
  EXPECT_STREQ(VLK_KeyValues_get_key(mine, 2), "ContPrior.z");
  const std::string mine_text = vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(mine, fp); });
  const std::string inner_text =
      vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(inner, fp); });
  EXPECT_TRUE(mine_text.ends_with("," + inner_text)) << mine_text;
  VLK_KeyValues_delete(mine);
  VLK_KeyValues_delete(inner);
}

// The inner module gets the budget the tables leave; tables beyond the budget leave it nothing,
// never a wrapped-around unlimited budget.
TEST(ContPrior, InnerModuleGetsTheBudgetLeft) {
  const DataPtr data = binary_data();
  const TempFile a("\tg0\n");
  const std::string options = "mat=" + a.path() + ",w=1,c=0,d=0,s=BDE";
  // 28 F + F (8n + 8n^2) + 24 n with F = 1, n = 3.
  const size_t tables = 28 + 24 + 72 + 72;
  VLK_KeyValues* list = VLK_KeyValues_parse(options.c_str());
  VLK_ScoreArgs args{list, 2, 100000, 0, 1, 0, 0};
  std::string log;
  {
    vlk_test::CaptureErr err;
    ContPrior_finalize(ContPrior_init(data.get(), &args));
    log = err.text();
  }
  EXPECT_EQ(args.max_memory, 100000 - tables);
  EXPECT_NE(log.find("ContPrior: Total memory usage: 196 [Byte] (0 [Mi Byte]).\n"),
            std::string::npos)
      << log;
  const vlk_test::Ending end = vlk_test::run_fatal([&] {
    VLK_ScoreArgs small{list, 2, tables - 1, 0, 1, 0, -1};
    ContPrior_init(data.get(), &small);
  });
  EXPECT_TRUE(end.exit1());
  EXPECT_TRUE(end.err.ends_with("ERROR: BDE: Memory consumption over.\n")) << end.err;
  VLK_KeyValues_delete(list);
}

// ---- Evaluation ----------------------------------------------------------------------------

// Confident prior edges (pi >= 0.8) against a network, over the nodes both have: a network
// larger than the tables is read no further than they reach.
TEST(ContPrior, EvaluateRatesTheConfidentPriorEdges) {
  const DataPtr data = binary_data();
  // x(0, 1) = 3, x(1, 2) = 2, x(2, 0) = 1.5: pi 0.95, 0.88, 0.82; every other pair 0.5.
  const TempFile a("\tg0\tg1\tg2\ng1\t3\t0\t0\ng2\t0\t2\t0\ng0\t0\t0\t1.5\n");
  const PriorPtr bf = init(data.get(), "mat=" + a.path() + ",w=1,c=0,d=0,s=BDE");
  const struct {
    int nodes;
    std::vector<std::pair<int, int>> edges;
    std::string rate;
  } cases[] = {
      {5, {{0, 1}, {2, 0}, {1, 0}, {3, 4}, {4, 2}}, "0.666667 (2/3)"},
      {3, {{1, 2}, {0, 1}, {2, 0}}, "1.000000 (3/3)"},
      {2, {{0, 1}}, "1.000000 (1/1)"},
      {3, {}, "0.000000 (0/3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    vlk::NetworkPtr net(VLK_Network_new());
    for (int v = 0; v < c.nodes; ++v)
      VLK_Network_add_node(net.get(), VLK_Node_new(("n" + std::to_string(v)).c_str(), ""));
    for (auto [p, ch] : c.edges) VLK_Network_add_edge_index(net.get(), p, ch);
    vlk_test::CaptureErr err;
    ContPrior_evaluate(bf.get(), net.get());
    const std::string rate = c.rate.substr(0, c.rate.find(' '));
    EXPECT_EQ(err.text(),
              "ContPrior: Evaluating the estimated network...\n"
              "ContPrior: Prior Estimation Rate: " +
                  c.rate + "\nX-PER:\t" + rate + "\n");
  }
  // No confident pair at all: the rate is 0/0.
  const PriorPtr flat = init(data.get(), "mat=" + a.path() + ",w=0,c=0,d=0,s=BDE");
  vlk::NetworkPtr net(VLK_Network_new());
  vlk_test::CaptureErr err;
  ContPrior_evaluate(flat.get(), net.get());
  EXPECT_NE(err.text().find("nan (0/0)\n"), std::string::npos) << err.text();
}

}  // namespace
