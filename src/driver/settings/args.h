// Run settings of the estimation program: one Args record per process, filled with defaults,
// bound to the command line, and then carrying the run's shared working state.
#pragma once

#include <cstdint>
#include <cstdio>

#include "VLK_AlgoArgs.h"
#include "VLK_Data.h"
#include "VLK_DoubleArray.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"
#include "VLK_Timer.h"
#include "VLK_UShortArray.h"

struct VLK_Network;
struct VLK_PCGraph;
struct VLK_ScoreStore;
struct ExchangeWork;

struct Args {
  char* input_file;              // the positional word: expression data file
  VLK_KeyValues* input_args;     // -I, --input-args: reader options
  char* input_type;              // --input-type: "edf" (any case) or another reader
  char* output_prefix;           // -o: prefix of the final network and the log files
  double output_threshold;       // --oth: minimum edge frequency of the final network
  char* output_format;           // -O: format name of the final network
  VLK_KeyValues* output_args;    // --output-args: writer options
  double* whole_values;          // values of the whole data set, nodes x samples, node-major
  std::uint32_t seed;            // --seed: base seed of the random numbers
  int samples;                   // samples of the whole data set
  int nodes;                     // genes of the whole data set
  VLK_Data* nucleus_data;        // the reused data set of the current nucleus
  char* score_name;              // score module of the run ("BNRC")
  VLK_ScoreArgs* score_args;     // arguments of every score initialisation; -S fills options
  char* algo_name;               // --algo: "hc", "hc2" or "tshc"
  int algo_id;                   // 0 "hc", 2 "hc2", 1 "tshc"
  VLK_AlgoArgs* algo_args;       // arguments of every search; -M sets max_parents
  VLK_KeyValues* algo_options;   // -A: search options, cloned for every nucleus
  int own_genes;                 // genes owned by this process
  int* edge_counts;              // the edge-count table
  int row_length;                // length of one edge-count row
  int first_gene;                // first job of this process in the job split
  int split_q;                   // genes / processes
  int split_r;                   // genes % processes
  int* pair_counts;              // the pair-count table
  int iterations;                // -t: random sampling nuclei; after the run, all nuclei
  int module_size;               // -m: genes per nucleus (K)
  int rank;                      // this process's rank
  int processes;                 // number of processes (P)
  VLK_IntArray* exchange_lists;  // module-size block of work lists of the graph exchange
  char* reference_file;          // --compare: reference network file
  double module_ratio;           // -r: ratio threshold of the module comparison
  int min_pair_count;            // -c: pair count from which a frequency is defined
  VLK_Network* reference;        // the network read from the reference file
  char* module_file;             // --compare-module: module list of the comparison
  VLK_Data* whole_data;          // the data set read by rank 0
  int share_names;               // 1 broadcasts the whole data set with its names
  VLK_DoubleArray* cutoffs;      // --cutoffs: frequency cutoffs of the evaluation
  VLK_UShortArray* send_records;
  VLK_UShortArray* recv_records;
  VLK_FloatArray* send_values;
  VLK_FloatArray* edge_values;   // values of the edges of the whole network, as received
  VLK_PCGraph* whole_network;    // the frequent-edge network rebuilt by the exchanges
  int interval_base;             // -n: genes from which the default intervals derive
  double rw_threshold;           // --rw-th: frequency that puts an edge into the walk network
  int rw_interval;               // --rw-int: jobs between rebuilds of the walk network
  double rw_ratio;               // --rw-r: share of the module filled by walks (method 1)
  double rw_ratio2;              // --rw-r2: the same for method 2
  int rw_steps;                  // maximum steps of one random walk
  int total_iterations;          // -T, --rw-t: nuclei of the whole run (T)
  int method;                    // -a: 0 RSR, 1 NNSR, 2 NNSR with the second selection
  int debug;                     // --debug: settings block and per-job dumps
  VLK_PCGraph* dag;              // the acyclic network of the evaluation (rank 0)
  int check_interval;            // --ci, --check-int: nuclei per check interval
  int oto_interval;              // --oto: jobs between 1-to-1 table recomputations
  double* oto_table;             // the 1-to-1 score table
  int write_output;              // --on: 0 skips the final network
  int exchange_interval;         // --ex-int: nucleus jobs per exchange batch
  int batch_fill;                // jobs collected in the current batch
  VLK_UShortArray* node_lists;   // block of one list per destination process
  int dag_interval;              // --dag-inv: iterations between DAG evaluations
  int last_dag_eval;             // iteration of the last DAG evaluation
  int last_eval;                 // iteration of the last evaluation of any kind
  int cutoff_mode;               // --cutoff-mode: 1 reads the cutoffs as start, end, step
  double comm_time;              // seconds spent in MPI transfers
  double single_time;            // seconds of work done by one process alone
  VLK_Timer* init_timer;         // time of the score initialisations
  VLK_Timer* search_timer;       // time of the searches
  int log_mode;                  // --log, -L: choice of log file
  int resampling;                // --RS: any value but -1 stops the run
  int bootstrap_blocks;          // --Bnum, --blocks: blocks of the dynamic bootstrap
  int* replicates;               // replicates per time point of dynamic data
  int time_points;               // time points of dynamic data
  std::uint64_t memory;          // bytes left of the memory budget
  VLK_IntArray* dynamic_points;  // the integers of --dynamic-points
  int init_score;                // --init: score once on the whole data set
  int score_level;               // --lv: "level" of the whole-data score
  char* skeleton_file;           // --skeleton, --skel: skeleton read for every nucleus
  char* skeleton_type;           // --skeleton-type, --skel-type
  VLK_KeyValues* skeleton_args;  // --skeleton-args, --skel-args: skeleton reader options
  int output_mode;               // --output-mode: 0 directed, 1 one edge per pair
  int cache_type;                // --cache: 2 prefix tree, 3 hash, others none
  std::uint64_t cache_bytes;     // --cache-size (MiB): memory of the score cache
  VLK_MultiTimer* timer;         // section profile of the run
  double rw_accept;              // --rw-pr: base of the acceptance test of random walks
  // Scratch of the exchanges beyond the buffers above (exchange/exchange_work.h), made with them.
  ExchangeWork* exchange_work;
  // Process 0 only: the network that send_network2/3/4/5 gather for the evaluation and the
  // final output, and its edge values (stride of the form). Kept apart from the walk network
  // and its values, which only exchange_network rebuilds, so that gathering never changes the
  // root's node selection. Null on the other processes.
  VLK_PCGraph* gathered_network;
  VLK_FloatArray* gathered_values;
  // The run's score store (static data): the scores of no parent and one parent and the
  // bounded parent sets, shared by the processes of a node (score_store.h); null without one.
  VLK_ScoreStore* score_store;
};

// Defaults of every field; rank and processes from the world communicator (after MPI_Init).
Args* Args_new();
// The same with rank and process count given, for callers without MPI.
Args* Args_new_rank(int rank, int processes);
// Releases what Args_new and parse_args made (the run's record otherwise lives until the
// process ends). The tables and buffers of the start-up are released by their owners first.
void Args_delete(Args* a);

// Binds the command line, derives the dependent settings and refuses settings the run cannot
// carry out (exit status 1 before any work); every failure ends the process.
void parse_args(Args* a, int argc, char** argv);
// Option callbacks of -h/--help and of the refused options --H/--IA.
void help(const char* key, const char* value);
void show_help();
void obsolete_args(const char* key, const char* value);
void show_settings(const Args* a);

// The usage text of -h.
extern const char* const Args_usage_text;

// rank x 1000 + seed in unsigned 32-bit arithmetic (wraps, never overflows).
std::uint32_t Args_run_seed(const Args* a);
// Ends MPI when it was started and is still running; a no-op otherwise (and without MPI).
// The help exits with status 0 through it, so mpirun sees a clean end.
void Args_finalize_mpi();
// Charges bytes to the memory budget; a charge larger than what is left prints an error
// naming the budget and what was charged, and ends the run.
void Args_charge_memory(Args* a, std::uint64_t bytes, const char* what);
// "<bytes> [bytes] (<MiB> [MiB])" on VELK_ERR: how the start-up reports what it charges.
void Args_print_bytes(std::uint64_t bytes);
