// Run settings of the estimation program: one Args record per process, filled with defaults,
// bound to the command line, and then carrying the run's shared working state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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
class PrefixLock;

// The 1-to-1 interval that parse_args gives static data for --oto 0: the table is computed at
// the first pass of every call of the job loop only.
inline constexpr int kNeverInterval = 2147483647;

// The fields keep the order in which the rest of the program knows them, so the groups
// interleave. Every field's comment starts with its group, which says who writes it:
//   set      a setting bound from the command line by parse_args;
//   derived  a setting that Args_new, parse_args or the main program's start-up (before the
//            data input) derive from others;
//            both are read-only from the data input on, except the few the comment names;
//   input    the data as the data input (and the reference network's reader) leave them;
//   split    the gene split of the start-up (edge_tables_alloc), read-only after it;
//   stats    the edge statistics tables: only exchange_graph changes them, adding to them;
//   buffers  the exchanges' buffers: every exchange (exchange_graph, exchange_network,
//            send_network2/3/4/5) overwrites them;
//   network  the frequent-edge networks: exchange_network rebuilds the walk network on every
//            process, send_network2/3/4/5 the gathered one on process 0, the DAG evaluation the
//            acyclic one;
//   job      the nucleus job loop's state: generate_nuclei, node selection, collect_data and
//            one_to_one write it;
//   eval     the evaluation's schedule: evaluate writes it;
//   time     the timers and time totals: the data input, the exchanges, the scores and
//            searches and the output add to them;
//   budget   the memory budget: parse_args and the start-up's allocations charge it.
struct Args {
  char* input_file;            // set: the positional word: expression data file
  VLK_KeyValues* input_args;   // set: -I, --input-args: reader options
  char* input_type;            // set: --input-type: "edf" (any case) or another reader
  char* output_prefix;         // set: -o: prefix of the final network and the log files
  double output_threshold;     // set: --oth: minimum edge frequency of the final network
  char* output_format;         // set: -O: format name of the final network
  VLK_KeyValues* output_args;  // set: --output-args: writer options
  double* whole_values;        // input: the whole data set's values, nodes x samples
  std::uint32_t seed;          // set: --seed: base seed of the random numbers
  int samples;                 // input: samples of the whole data set
  int nodes;                   // input: genes of the whole data set
  VLK_Data* nucleus_data;      // job: the reused data set of the current nucleus
  char* score_name;            // derived: score module of the run ("BNRC")
  VLK_ScoreArgs* score_args;   // job: arguments of every score init; -S sets its options
  char* algo_name;             // set: --algo: "hc", "hc2" or "tshc"
  int algo_id;                 // derived (by method): 0 "hc", 2 "hc2", 1 "tshc"
  VLK_AlgoArgs* algo_args;     // job: arguments of every search; -M sets max_parents
  // set: -A: search options, cloned for every nucleus; two-step hill climbing's jobs put its
  // profiler sections in
  VLK_KeyValues* algo_options;
  int own_genes;                 // split: genes owned by this process
  int* edge_counts;              // stats: the edge-count table
  int row_length;                // split: length of one edge-count row
  int first_gene;                // split: first job of this process in the job split
  int split_q;                   // split: genes / processes
  int split_r;                   // split: genes % processes
  int* pair_counts;              // stats: the pair-count table
  int iterations;                // set: -t: random sampling nuclei; after NNSR, all nuclei
  int module_size;               // set: -m: genes per nucleus (K)
  int rank;                      // derived: this process's rank
  int processes;                 // derived: number of processes (P)
  VLK_IntArray* exchange_lists;  // buffers: module-size block of graph exchange work lists
  char* reference_file;          // set: --compare: reference network file
  double module_ratio;           // set: -r: ratio threshold of the module comparison
  int min_pair_count;            // set: -c: pair count from which a frequency is defined
  VLK_Network* reference;        // input: the network read from the reference file
  char* module_file;             // set: --compare-module: module list of the comparison
  VLK_Data* whole_data;          // input: the data set read by rank 0
  int share_names;               // derived: 1 broadcasts the whole data set with its names
  // set: --cutoffs: frequency cutoffs of the evaluation (with --cutoff-mode 1 expanded by the
  // start-up)
  VLK_DoubleArray* cutoffs;
  VLK_UShortArray* send_records;  // buffers: outgoing edge records
  VLK_UShortArray* recv_records;  // buffers: incoming edge records and selections
  VLK_FloatArray* send_values;    // buffers: outgoing edge values
  VLK_FloatArray* edge_values;    // network: values of the walk network's edges, as received
  VLK_PCGraph* whole_network;     // network: the walk network, rebuilt by exchange_network
  int interval_base;              // set: -n: genes from which the default intervals derive
  double rw_threshold;            // set: --rw-th: edge frequency of the walk network
  int rw_interval;                // derived: --rw-int: jobs between walk network rebuilds
  double rw_ratio;                // set: --rw-r: share of the module filled by walks (-a 1)
  double rw_ratio2;               // set: --rw-r2: the same for -a 2
  int rw_steps;                   // derived: maximum steps of one random walk
  int total_iterations;           // set: -T, --rw-t: nuclei of the whole run (T)
  int method;                     // set: -a: 0 RSR, 1 NNSR, 2 NNSR, second selection
  int debug;                      // set: --debug: settings block and per-job dumps
  VLK_PCGraph* dag;               // network: the evaluation's acyclic network (rank 0)
  int check_interval;             // set: --ci, --check-int: nuclei per check interval
  int oto_interval;               // derived: --oto: jobs between 1-to-1 table recomputations
  double* oto_table;              // job: the 1-to-1 score table
  int write_output;               // set: --on: 0 skips the final network
  int exchange_interval;          // derived: --ex-int: nucleus jobs per exchange batch
  int batch_fill;                 // job: jobs collected in the current batch
  VLK_UShortArray* node_lists;    // buffers: block of one record stream per destination
  int dag_interval;               // set: --dag-inv: iterations between DAG evaluations
  int last_dag_eval;              // eval: iteration of the last DAG evaluation
  int last_eval;                  // eval: iteration of the last evaluation of any kind
  int cutoff_mode;                // set: --cutoff-mode: 1 reads the cutoffs as start, end, step
  double comm_time;               // time: seconds spent in MPI transfers
  double single_time;             // time: seconds of work done by one process alone
  VLK_Timer* init_timer;          // time: the score initialisations
  VLK_Timer* search_timer;        // time: the searches
  int log_mode;                   // set: --log, -L: choice of log file
  int resampling;                 // set: --RS: any value but -1 stops the run
  int bootstrap_blocks;           // set: --Bnum, --blocks: blocks of the dynamic bootstrap
  int* replicates;                // input: replicates per time point of dynamic data
  int time_points;                // input: time points of dynamic data
  std::uint64_t memory;           // budget: bytes left of the memory budget
  VLK_IntArray* dynamic_points;   // derived: the integers of --dynamic-points
  int init_score;                 // set: --init: score once on the whole data set
  int score_level;                // set: --lv: "level" of the whole-data score
  char* skeleton_file;            // set: --skeleton, --skel: skeleton read for every nucleus
  char* skeleton_type;            // set: --skeleton-type, --skel-type
  VLK_KeyValues* skeleton_args;   // set: --skeleton-args, --skel-args: skeleton options
  int output_mode;                // set: --output-mode: 0 directed, 1 one edge per pair
  int cache_type;                 // set: --cache: 2 prefix tree, 3 hash, others none
  std::uint64_t cache_bytes;      // derived: --cache-size (MiB): memory of the score cache
  VLK_MultiTimer* timer;          // time: section profile of the run
  double rw_accept;               // set: --rw-pr: base of the walks' acceptance test
  // buffers: scratch of the exchanges beyond the buffers above (exchange/exchange_work.h)
  ExchangeWork* exchange_work;
  // network: process 0 only: the network that send_network2/3/4/5 gather for the evaluation
  // and the final output, and its edge values (stride of the form). Kept apart from the walk
  // network and its values, which only exchange_network rebuilds, so that gathering never
  // changes the root's node selection. Null on the other processes.
  VLK_PCGraph* gathered_network;
  VLK_FloatArray* gathered_values;
  // job: the run's score store (static data): the scores of no parent and one parent and the
  // bounded parent sets, shared by the processes of a node (method/score_store.h), made by the
  // start-up; the jobs and one_to_one fill it. Null without one.
  VLK_ScoreStore* score_store;
  // derived: process 0 only, when the run writes files of its output prefix: the lock that
  // keeps other jobs off the prefix (output/prefix_lock.h), taken by parse_args before any
  // log is opened and given up by the final output. Null elsewhere.
  PrefixLock* prefix_lock;
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
// A start-up check that process 0 makes alone, on what the others never touch (the final
// network's file, its own log): the others wait for its verdict and leave with it, the run
// ending as for an error every process found. The check runs on process 0 only.
void Args_check_on_root(const Args* a, void (*check)(const Args*));
// Charges bytes to the memory budget; a charge larger than what is left prints an error
// naming the budget and what was charged, and ends the run.
void Args_charge_memory(Args* a, std::uint64_t bytes, const char* what);
// "<bytes> [bytes] (<MiB> [MiB])" on VELK_ERR: how the start-up reports what it charges.
void Args_print_bytes(std::uint64_t bytes);
// The same as a text.
std::string Args_bytes_text(std::uint64_t bytes);

// An option of the command line and the value the program starts from, as the manual lists
// it: a number, a text, "none", "on"/"off" for flags, "the clock" for the seed, "—" for the
// options that only act.
struct ArgsOption {
  std::string name;
  std::string default_text;
};
// Every named option of the command line, in table order.
std::vector<ArgsOption> Args_options();
