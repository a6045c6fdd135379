// The nucleus job loop end to end, on every process count: the data read and broadcast, three
// chunks of jobs (dummy jobs among them) with the walk network, the 1-to-1 table and the batch
// exchanges in lockstep, then the final network gathered and written. The search is a stand-in
// that returns the chain 0 -> 1 -> ... over the nucleus positions, and every nucleus holds all
// genes, so the counts are known: every chain edge in every nucleus, nothing else.
#include <gtest/gtest.h>
#include <mpi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "VLK_PCGraph.h"
#include "VLK_RNG.h"
#include "VLK_Score.h"
#include "VLK_VLK3.h"
#include "exchange/edge_tables.h"
#include "exchange/network_gathering.h"
#include "input/input_data.h"
#include "method/nucleus_jobs.h"
#include "mpi_test.h"
#include "output/output_network.h"
#include "settings/args.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

constexpr int kGenes = 6;
constexpr int kSamples = 24;
constexpr int kJobs = 7;

std::string data_text() {
  std::string s = "$Version\t1.0\n";
  for (int g = 0; g < kGenes; ++g) {
    s += "gene" + std::to_string(g);
    for (int j = 0; j < kSamples; ++j) {
      char v[32];
      std::snprintf(v, sizeof v, "\t%.17g", std::sin(1.7 * g + 0.37 * j) + 0.01 * g * j);
      s += v;
    }
    s += "\n";
  }
  return s;
}

// What the stand-in saw of each nucleus it was asked to search.
struct Seen {
  int calls = 0;
  int bad = 0;
} seen;

VLK_Graph* chain_search(Args* a) {
  ++seen.calls;
  const VLK_AlgoArgs* aa = a->algo_args;
  // The job hands over its nucleus data, a score initialised on it and the search options.
  if (aa->data != a->nucleus_data || aa->score == nullptr || aa->score->state == nullptr ||
      aa->options == nullptr || VLK_Score_threads(aa->score) < 1)
    ++seen.bad;
  VLK_Graph* g = VLK_Graph_new(static_cast<size_t>(a->module_size));
  for (int i = 0; i + 1 < a->module_size; ++i) VLK_Graph_add_edge(g, i, i + 1);
  return g;
}

long long sum_all(long long x) {
  long long total = 0;
  MPI_Allreduce(&x, &total, 1, MPI_LONG_LONG, MPI_SUM, MPI_COMM_WORLD);
  return total;
}

// The seeds of this process's jobs in the order of the log.
std::vector<int> seeds_in(const std::string& log) {
  std::vector<int> out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("Seed Node = ")) out.push_back(std::stoi(line.substr(12)));
  return out;
}

// The start-up of a run as the main program makes it, for the job loop alone; `extra` words
// go on the command line before the input file.
struct JobRun {
  Args* a = Args_new();
  VLK_RNG* rng = VLK_RNG_new();
  explicit JobRun(const std::string& input, const std::vector<std::string>& extra = {}) {
    const std::string genes = std::to_string(kGenes);
    std::vector<const char*> argv = {"velknnsr", "-m",    genes.c_str(), "-a",       "1",
                                     "--ex-int", "2",     "--ci",        "3",        "-T",
                                     "7",        "--oto", "2",           "--rw-int", "2",
                                     "--seed",   "11",    "--rw-th",     "0.5",      "--debug"};
    for (const std::string& w : extra) argv.push_back(w.c_str());
    argv.push_back(input.c_str());
    parse_args(a, static_cast<int>(argv.size()), const_cast<char**>(argv.data()));
    a->algo_args->rng = rng;
    VLK_RNG_set_seed(rng, static_cast<int>(Args_run_seed(a)));
    input_data(a);
    edge_tables_alloc(a);
    exchange_buffers_new(a);
    VLK_Data* d = a->nucleus_data;
    d->X = d->Y = static_cast<double*>(
        std::malloc(sizeof(double) * static_cast<size_t>(a->module_size) * a->samples));
    d->n = a->samples;
    d->p = a->module_size;
    a->algo_args->excluded = VLK_Graph_new(static_cast<size_t>(a->module_size));
    a->algo_args->score = VLK_Score_get(a->score_name);
    const std::string algo = a->algo_name;
    a->algo_id = algo == "hc2" ? 2 : algo == "tshc" ? 1 : 0;
  }
  ~JobRun() {
    exchange_buffers_delete(a);
    edge_tables_free(a);
    input_data_free(a);
    Args_delete(a);
    VLK_RNG_delete(rng);
  }
};

TEST(GenerateNuclei, ChainNucleiGiveAFrequencyOneChainAndNothingElse) {
  vlk_test::TempFile input(data_text(), ".edf");
  char dir[] = "/tmp/vlk_nuclei_XXXXXX";
  const std::string prefix = std::string(mkdtemp(dir)) + "/final";
  seen = {};
  generate_nuclei_search = chain_search;
  vlk_test::CaptureErr log;
  JobRun run(input.path());
  Args* a = run.a;
  int counter = 0;
  // The check intervals of -T 7 with --ci 3: two chunks of 3, then the remainder of 1.
  for (int chunk : {3, 3, 1}) generate_nuclei(a, chunk, &counter);
  generate_nuclei(a, 0, &counter);  // a chunk of no jobs returns at once
  send_network4(a, static_cast<float>(a->output_threshold));
  int written = 0;
  if (a->rank == 0)
    written = output_network4(prefix.c_str(), a->output_format, a->output_args, a->whole_data,
                              a->gathered_network, a->gathered_values);
  generate_nuclei_search = nucleus_search;
  const std::string text = log.text();

  EXPECT_EQ(seen.bad, 0);
  EXPECT_EQ(seen.calls, counter);
  EXPECT_EQ(sum_all(counter), kJobs);
  // Seeds: this process's own genes in increasing order, cycling across the calls.
  const int P = a->processes, r = a->rank;
  std::vector<int> own;
  for (int v = r; v < kGenes; v += P) own.push_back(v);
  std::vector<int> expect;
  for (int k = 0; k < counter; ++k) expect.push_back(own[static_cast<size_t>(k) % own.size()]);
  EXPECT_EQ(seeds_in(text), expect);

  // Every nucleus meets every pair of genes; the chain edges are its only edges.
  const GeneLayout L = Args_gene_layout(a);
  const long long pairs = std::accumulate(a->pair_counts, a->pair_counts + L.pair_cells(), 0LL);
  const long long edges = std::accumulate(a->edge_counts, a->edge_counts + L.edge_cells(), 0LL);
  EXPECT_EQ(sum_all(pairs), kJobs * kGenes * (kGenes - 1) / 2);
  EXPECT_EQ(sum_all(edges), kJobs * (kGenes - 1));

  if (a->rank == 0) {
    EXPECT_EQ(written, 0);
    const vlk::NetworkPtr net(VLK3_read_file((prefix + ".vlk3").c_str(), nullptr));
    ASSERT_NE(net, nullptr) << text;
    EXPECT_EQ(VLK_Network_num_nodes(net.get()), static_cast<size_t>(kGenes));
    ASSERT_EQ(VLK_Network_num_edges(net.get()), static_cast<size_t>(kGenes - 1));
    for (int v = 0; v + 1 < kGenes; ++v) {
      SCOPED_TRACE(v);
      const VLK_Edge* e = VLK_Network_get_edge_index(net.get(), v, v + 1);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(VLK_Edge_get_property_double(e, "Freq", -1), 1.0);
      const void* count = VLK_Edge_get_property_with_type(e, "Count", VLK_TYPE_INT);
      ASSERT_NE(count, nullptr);
      EXPECT_EQ(*static_cast<const int*>(count), kJobs);
    }
  }
  std::system(("rm -rf " + std::string(dir)).c_str());
}

int lines_with(const std::string& text, const std::string& part) {
  int n = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) n += line.find(part) != std::string::npos;
  return n;
}

// Each search by its algorithm id, with the score cache --cache asks for: every real job
// initialises its own score, wrapped by the cache, searches and releases it once, and the
// statistics hold its nucleus.
TEST(GenerateNuclei, EverySearchWithItsScoreCache) {
  vlk_test::TempFile input(data_text(), ".edf");
  vlk_test::TempFile first("gene0\ngene3\n");
  struct Case {
    std::vector<std::string> words;
    const char* cache_init;   // the cache's line at its set-up, once per job
    const char* cache_freed;  // and at its release
  };
  const Case cases[] = {
      {{"--algo", "hc"}, nullptr, nullptr},
      {{"--algo", "hc", "--cache", "2", "--cache-size", "8"},
       "ScoreCache2: Max parents",
       "ScoreCache2: Releasing allocated resources."},
      {{"--algo", "hc2", "--cache", "3", "--cache-size", "8", "-M", "2"},
       "ScoreCache3: Initializing ...",
       "ScoreCache3: finalize:"},
      {{"--algo", "tshc", "--cache", "3", "--cache-size", "8", "-A", "first=" + first.path()},
       "ScoreCache3: Initializing ...",
       "ScoreCache3: finalize:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[1] + (c.cache_init ? std::string(" cached") : ""));
    vlk_test::CaptureErr log;
    JobRun run(input.path(), c.words);
    Args* a = run.a;
    int counter = 0;
    for (int chunk : {3, 2}) generate_nuclei(a, chunk, &counter);
    const std::string text = log.text();
    EXPECT_EQ(sum_all(counter), 5);
    const GeneLayout L = Args_gene_layout(a);
    const long long pairs = std::accumulate(a->pair_counts, a->pair_counts + L.pair_cells(), 0LL);
    EXPECT_EQ(sum_all(pairs), 5 * kGenes * (kGenes - 1) / 2);
    // The search of the algorithm ran for every job (version 1 prints nothing at this
    // verbosity), and its graphs reached the statistics.
    const char* v2 = "Greedy: Starting the greedy hill-climbing algorithm (v2).";
    const std::string& algo = c.words[1];
    EXPECT_EQ(lines_with(text, v2), algo == "hc" ? 0 : algo == "hc2" ? counter : 2 * counter);
    EXPECT_EQ(lines_with(text, "TwoStepHC: Second network estimation finished"),
              algo == "tshc" ? counter : 0);
    const long long edges = std::accumulate(a->edge_counts, a->edge_counts + L.edge_cells(), 0LL);
    EXPECT_GT(sum_all(edges), 0);
    EXPECT_EQ(lines_with(text, "Releasing the score buffer"), counter);
    if (c.cache_init != nullptr) {
      EXPECT_EQ(lines_with(text, c.cache_init), counter);
      EXPECT_EQ(lines_with(text, c.cache_freed), counter);
    }
    // Two-step hill climbing's profiler sections are kept once in the search options.
    if (c.words[1] == "tshc" && counter > 0) {
      int entries = 0;
      for (size_t i = 0; i < VLK_KeyValues_size(a->algo_options); ++i)
        entries +=
            std::strcmp(VLK_KeyValues_get_key(a->algo_options, i), "tshc_timer_label_other") == 0;
      EXPECT_EQ(entries, 1);
      EXPECT_NE(VLK_KeyValues_get_int(a->algo_options, "tshc_timer_label_init", 999), 999);
    }
  }
}

}  // namespace
