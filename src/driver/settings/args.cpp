#include "settings/args.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_AlgoArgs.h"
#include "VLK_ArgDef.h"
#include "VLK_BNRC.h"
#include "VLK_Help.h"
#include "VLK_IO.h"
#include "VLK_Str.h"
#include "VLK_Util.h"
#include "evaluation/cutoffs.h"
#include "method/method.h"
#include "output/output_network.h"
#include "output/prefix_lock.h"
#include "search/skeleton.h"
#include "velkcom.h"
#include "vlk_algo_options.h"
#include "vlk_fatal.h"
#include "vlk_number.h"
#include "vlk_output_file.h"
#include "vlk_owned.h"

const char* const Args_usage_text =
    "Usage:\n"
    "mpirun [MPI options...] velknnsr [options...] input_file\n"
    "\n"
    "Options:\n"
    " -h [command[,subcommand]]\n"
    " --help [command[,subcommand]]\n"
    "        Show help messages.  The following \"command\" can be specified.\n"
    "          \"module\" or \"mod\"\n"
    "             Displays the list of modules.  If the module name is given as\n"
    "             \"subcommand\", displays available options for the specified module.\n"
    " -m n   Module size (default: 1000)\n"
    " -T n   # of iterations. (default: 100000)\n"
    " -t n   # of iterations for random sampling phase. (default: 0)\n";

namespace {

// The default texts of the string settings; an option replaces them by heap copies.
char edf_text[] = "edf";
char vlk3_text[] = "vlk3";
char bnrc_text[] = "BNRC";
char hc_text[] = "hc";
char parents_text[] = "parents";
// "--dynamic-points" given without a list, and "-y".
char x_text[] = "x";
char* const x_default = x_text;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kDefaultMemory = std::uint64_t{3} << 30;
constexpr std::uint64_t kDefaultCacheBytes = 524288000;  // 500 MiB
constexpr int kMultiTimerSections = 7;

// Settings the command line passes through before they reach their fields.
struct Working {
  int interval_base = -1;
  int dynamic = 0;
  char* points = nullptr;
  int total_mem = 0;
  int share_names = -1;
  int cache_size = 0;
};

// The positional word: the input file, given once. A second word would silently replace it.
void input_file_word(const char* /*key*/, const char* value, void* aux) {
  Args* a = static_cast<Args*>(aux);
  if (a->input_file != nullptr)
    vlk::fatal("ERROR: more than one input file given: %s and %s\n", a->input_file, value);
  a->input_file = strdup(value);
  if (a->input_file == nullptr) vlk::fatal("ERROR: Args: Memory allocation failed.\n");
}

// The rows of the command line in table order, the positional row first and the closing row
// last; the compiler counts them.
auto option_table(Args* a, Working* w) {
  using namespace vlk;
  return std::to_array<VLK_ArgDef>({
      arg_call3(VLK_KeyValues_DEFAULT_KEY, input_file_word, a),
      arg_keyvalues("--input-args", &a->input_args),
      arg_keyvalues("-I", &a->input_args),
      arg_string("--input-type", &a->input_type),
      arg_string("-o", &a->output_prefix),
      arg_string("-O", &a->output_format),
      arg_keyvalues("--output-args", &a->output_args),
      arg_double("--oth", &a->output_threshold),
      arg_keyvalues("-A", &a->algo_options),
      arg_keyvalues("-S", &a->score_args->options),
      arg_onoff("--on", &a->write_output),
      arg_string("--algo", &a->algo_name),
      arg_int("-m", &a->module_size),
      arg_int("-n", &w->interval_base),
      arg_int("-M", &a->algo_args->max_parents),
      arg_double("-r", &a->module_ratio),
      arg_int("-c", &a->min_pair_count),
      arg_string("--compare", &a->reference_file),
      arg_string("--compare-module", &a->module_file),
      arg_doubles_comma("--cutoffs", &a->cutoffs),
      arg_int("--cutoff-mode", &a->cutoff_mode),
      arg_int("-a", &a->method),
      arg_int("--oto", &a->oto_interval),
      arg_int("-t", &a->iterations),
      arg_int("-T", &a->total_iterations),
      arg_int("--rw-t", &a->total_iterations),
      arg_double("--rw-th", &a->rw_threshold),
      arg_int("--rw-int", &a->rw_interval),
      arg_int("--ex-int", &a->exchange_interval),
      arg_int("--ci", &a->check_interval),
      arg_int("--check-int", &a->check_interval),
      arg_uint("--seed", &a->seed),
      arg_int("--dag-inv", &a->dag_interval),
      arg_int("--RS", &a->resampling),
      arg_flag_on("-y", &w->dynamic),
      arg_string_default("--dynamic-points", &w->points, &x_default),
      arg_int("--Bnum", &a->bootstrap_blocks),
      arg_int("--blocks", &a->bootstrap_blocks),
      arg_flag_on("--debug", &a->debug),
      arg_int("--log", &a->log_mode),
      arg_int("-L", &a->log_mode),
      arg_int("--total-mem", &w->total_mem),
      arg_call2("-h", help),
      arg_call2("--help", help),
      arg_call2("--H", obsolete_args),
      arg_call2("--IA", obsolete_args),
      arg_flag_on("--init", &a->init_score),
      arg_int("--lv", &a->score_level),
      arg_flag_on("--share-names", &w->share_names),
      arg_string("--skeleton", &a->skeleton_file),
      arg_string("--skel", &a->skeleton_file),
      arg_string("--skeleton-type", &a->skeleton_type),
      arg_string("--skel-type", &a->skeleton_type),
      arg_keyvalues("--skeleton-args", &a->skeleton_args),
      arg_keyvalues("--skel-args", &a->skeleton_args),
      arg_int("--output-mode", &a->output_mode),
      arg_int("--cache", &a->cache_type),
      arg_int("--cache-size", &w->cache_size),
      arg_double("--rw-pr", &a->rw_accept),
      arg_double("--rw-r", &a->rw_ratio),
      arg_double("--rw-r2", &a->rw_ratio2),
      arg_end(),
  });
}
// The positional row, 60 named rows and the closing row.
static_assert(std::tuple_size_v<decltype(option_table(nullptr, nullptr))> == 62);

bool has_key(const VLK_KeyValues* list, const char* key) {
  return VLK_KeyValues_find_key(list, key) >= 0;
}

template <size_t N>
bool has_any_key(const VLK_KeyValues* list, const std::array<const char*, N>& keys) {
  for (const char* key : keys)
    if (has_key(list, key)) return true;
  return false;
}

std::vector<std::string> split_commas(std::string_view text) {
  std::vector<std::string> tokens;
  for (;;) {
    const size_t comma = text.find(',');
    tokens.emplace_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return tokens;
    text.remove_prefix(comma + 1);
  }
}

void free_unless(char* s, const char* static_default) {
  if (s != static_default) std::free(s);
}

// Dynamic data: the time-point text, or "-y", switches the search to dynamic mode. The
// 1-to-1 interval 0 means "derive it": once per job-loop call for static data, every
// base / P jobs for dynamic data (at least every job, since it divides the job count; a
// negative quotient from a negative base would switch the table off instead).
void derive_dynamic(Args* a, Working* w) {
  if (w->dynamic) {
    free_unless(w->points, x_default);
    w->points = x_default;
  }
  if (w->points == nullptr) {
    if (a->oto_interval == 0) a->oto_interval = kNeverInterval;
    return;
  }
  a->algo_args->dynamic = 1;
  if (std::strcmp(w->points, "x") != 0) {
    std::vector<int> points;
    if (const auto bad = vlk::parse_number_list<int>(w->points, ',', &points))
      vlk::fatal("ERROR: option \"--dynamic-points\": \"%s\" (field %zu of \"%s\") %s\n",
                 vlk::printable(bad->field).c_str(), bad->index + 1,
                 vlk::printable(w->points).c_str(), vlk::number_problem<int>(bad->status));
    if (a->dynamic_points == nullptr) a->dynamic_points = VLK_IntArray_new();
    for (const int t : points) VLK_IntArray_add(a->dynamic_points, t);
  }
  if (a->oto_interval == 0) {
    a->oto_interval = a->interval_base / a->processes;
    if (a->oto_interval < 1) a->oto_interval = 1;
  }
  free_unless(w->points, x_default);
  w->points = nullptr;
}

// The defaults appended to the option lists only fill in what the user left out.
void append_default_options(Args* a) {
  if (strcasecmp(a->score_name, "bnrc") == 0) {
    VLK_KeyValues*& options = a->score_args->options;
    if (options == nullptr) options = VLK_KeyValues_new();
    static constexpr std::array<const char*, 7> grid_keys = {"linear",    "hn", "hyper_num", "hi",
                                                             "hyper_inc", "hb", "hyper_bg"};
    if (!has_any_key(options, grid_keys))
      VLK_KeyValues_add(options, "linear", VLK_TYPE_STRING, VLK_KeyValues_DEFAULT_VALUE);
  }

  if (a->algo_options == nullptr) a->algo_options = VLK_KeyValues_new();
  if (!has_key(a->algo_options, "t") && !has_key(a->algo_options, "trials"))
    VLK_KeyValues_add_string(a->algo_options, "t", "1");
  const bool two_step = strcasecmp(a->algo_name, "tshc") == 0;
  if (two_step && !has_key(a->algo_options, "cache"))
    VLK_KeyValues_add_string(a->algo_options, "cache", "off");
  // Two-step hill climbing, the skeleton and the parent-candidate file look genes up by name
  // in the nucleus data set, which carries names only when they are shared.
  const bool by_name =
      two_step || a->skeleton_file != nullptr || has_key(a->algo_options, "parent");
  a->share_names = by_name ? 1 : 0;
}

// The run's score scores every nucleus with the options of -S and the whole-data 1-to-1 table
// with them and the level of --lv.
void check_score_options(const Args* a) {
  if (a->score_level < 1 || a->score_level > 3)
    vlk::fatal("ERROR: --lv must be 1, 2 or 3: %d\n", a->score_level);
  if (strcasecmp(a->score_name, "bnrc") != 0) return;
  vlk::bnrc::Options o;
  vlk::bnrc::read_options(a->score_args->options, &o);
}

void check_search_options(const Args* a) {
  if (strcasecmp(a->algo_name, "tshc") != 0)
    return vlk::algo::check_greedy_options(a->algo_options);
  vlk::algo::check_two_step_options(a->algo_options);
  // The second step's cache is the run's --cache, and only the hash table takes its threads.
  if (vlk::algo::two_step_cache_on(a->algo_options) && a->cache_type != 3)
    vlk::fatal(
        "ERROR: TwoStepHC: -A cache=on takes the score cache of --cache, which must be 3 (the "
        "hash table): --cache %d\n",
        a->cache_type);
}

// Settings that would stall or break the run are refused before any work: a chunk of zero
// or fewer nuclei never ends, a check interval of 0 divides by zero, and a step that does
// not advance never ends the cutoff or DAG schedule.
void validate_settings(const Args* a, const char* dynamic_option) {
  if (a->iterations < 0) vlk::fatal("ERROR: -t must not be negative: %d\n", a->iterations);
  if (a->method < 0 || a->method > 2)
    vlk::fatal("ERROR: Unknown algorithm type (-a option) specified: %d\n", a->method);
  if (!vlk::run::known_algorithm(a->algo_name))
    vlk::fatal("ERROR: Unknown Algorithm specified: %s\n", a->algo_name);
  // Methods 1 and 2 run the neighbour node sampling phase over the nuclei left by -t.
  if ((a->method == 1 || a->method == 2) && a->total_iterations < a->iterations)
    vlk::fatal("ERROR: -T must not be less than -t: -T %d, -t %d\n", a->total_iterations,
               a->iterations);
  if (a->module_size < 1)
    vlk::fatal("ERROR: the module size (-m) must be at least 1: %d\n", a->module_size);
  if (a->algo_args->max_parents < 1)
    vlk::fatal("ERROR: the maximum number of parents (-M) must be at least 1: %d\n",
               a->algo_args->max_parents);
  if (a->check_interval < 1) vlk::fatal("ERROR: --ci must be at least 1: %d\n", a->check_interval);
  if (a->dag_interval < 1) vlk::fatal("ERROR: --dag-inv must be at least 1: %d\n", a->dag_interval);
  // Parametric cutoffs are start, end and step.
  if (a->cutoff_mode == 1 && a->cutoffs != nullptr) {
    if (a->cutoffs->size != 3) vlk::fatal("ERROR: specify three values for --cutoffs\n");
    std::vector<double> list;
    const std::string error = vlk::run::expand_cutoffs(a->cutoffs->data[0], a->cutoffs->data[1],
                                                       a->cutoffs->data[2], &list);
    if (!error.empty()) vlk::fatal("%s", error.c_str());
  }
  if (a->cache_type != 0 && a->cache_type != 2 && a->cache_type != 3)
    vlk::fatal("ERROR: --cache must be 0 (no cache), 2 (prefix tree) or 3 (hash table): %d\n",
               a->cache_type);
  // The prefix-tree cache has no lock; these searches score from several threads at once.
  if (a->cache_type == 2 &&
      (strcasecmp(a->algo_name, "hc2") == 0 || strcasecmp(a->algo_name, "tshc") == 0))
    vlk::fatal(
        "ERROR: --cache 2 serves one scoring thread only and cannot be used with --algo "
        "%s; use --cache 3\n",
        a->algo_name);
  // The score's and the search's options are bound to their tables now, so that a bad key or
  // value ends the run before the data are read instead of at the first nucleus.
  check_score_options(a);
  check_search_options(a);
  // The skeleton is read by real jobs only; a process with dummy jobs alone must end as well.
  if (a->skeleton_file != nullptr) check_skeleton_args(a->skeleton_type, a->skeleton_args);
  // Every nucleus of dynamic data is a pseudo bootstrap of --Bnum series: without them the first
  // real job would stop its own process alone and leave the others waiting in an exchange.
  if (a->algo_args->dynamic && a->bootstrap_blocks == -1)
    vlk::fatal(
        "ERROR: Normal dynamic model not supported. %s needs --Bnum (or --blocks), the number "
        "of bootstrap blocks of a nucleus\n",
        dynamic_option);
  // The whole-data score state is built over all genes, while a search scores the positions
  // of its nucleus; nothing maps one onto the other.
  if (a->init_score)
    vlk::fatal(
        "ERROR: --init is not supported: the whole-data score cannot serve the nucleus "
        "searches\n");
  // A bad -O or --output-mode, or a file that cannot be made, would otherwise be found only
  // after the whole run.
  check_output_settings(a);
  Args_check_on_root(a, check_output_file);
}

// The word at the position the binding failed: an option the table does not hold, an int
// option without its value, or a value the option's binding refused (which has said why).
[[noreturn]] void refuse_argument(const VLK_ArgDef* table, const char* word, bool no_value) {
  bool known = false;
  for (const VLK_ArgDef* row = table; row->name != nullptr; ++row)
    known = known || std::strcmp(row->name, word) == 0;
  if (!known) vlk::fatal("ERROR: unknown argument specified: %s\n", word);
  if (no_value) vlk::fatal("ERROR: option %s needs a value\n", word);
  vlk::fatal("ERROR: invalid value for option %s\n", word);
}

// A text option given without its value receives the binder's "on", which a file name or a
// format name would then be: "-o" as the last word would write on.vlk3. The option lists
// (-A, -S, ...) have a meaning for a bare key, and --dynamic-points a default of its own.
void refuse_bare_texts(int argc, char** argv, const VLK_ArgDef* table) {
  const vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> list(
      VLK_KeyValues_parse_args(argc, argv, table));
  for (size_t i = 0; list != nullptr && i < VLK_KeyValues_size(list.get()); ++i) {
    if (VLK_KeyValues_get_value(list.get(), i) != VLK_KeyValues_DEFAULT_VALUE) continue;
    const char* key = VLK_KeyValues_get_key(list.get(), i);
    for (const VLK_ArgDef* row = table; row->name != nullptr; ++row)
      if (row->kind == VLK_TYPE_STRING && std::strcmp(row->name, key) == 0)
        vlk::fatal("ERROR: option %s needs a value\n", key);
  }
}

// The log of this process under --log; null for the standard error stream.
std::string log_name(const Args* a) {
  switch (a->log_mode) {
    case 1: {
      char rank[16];
      std::snprintf(rank, sizeof rank, "%05d", a->rank);
      return std::string(a->output_prefix) + ".log." + rank;
    }
    case 0:
      return a->rank == 0 ? std::string(a->output_prefix) + ".log" : "/dev/null";
    case 2:
      return a->rank == 0 ? std::string() : "/dev/null";
    default:
      return "/dev/null";
  }
}

void open_own_log(const Args* a) {
  const std::string name = log_name(a);
  if (name.empty()) {
    VELK_ERR = stderr;
    return;
  }
  FILE* log = std::fopen(name.c_str(), "w");
  if (log == nullptr) vlk::fatal("ERROR: cannot open log file: %s\n", name.c_str());
  VELK_ERR = log;
}

// Whether the run writes files of its prefix: the final network, or log files.
bool writes_prefix_files(const Args* a) {
  return a->write_output || a->log_mode == 0 || a->log_mode == 1;
}

// Process 0 takes the prefix before any file of it changes (before a log is emptied), then
// opens its log (under --log 0 the locked file itself) and clears what an interrupted run
// left of its final network.
void take_prefix_and_open_log(const Args* a) {
  PrefixLock* lock = a->prefix_lock;
  std::string why;
  switch (lock->take(a->output_prefix, &why)) {
    case PrefixLock::Taken::yes:
      break;
    case PrefixLock::Taken::held:
      vlk::fatal(
          "ERROR: the output prefix %s is in use by another running job (it holds the lock of "
          "%s)\n",
          a->output_prefix, lock->path().c_str());
    case PrefixLock::Taken::failed:
      if (a->log_mode == 0) vlk::fatal("ERROR: cannot open log file: %s\n", lock->path().c_str());
      vlk::fatal("ERROR: cannot lock the output prefix %s: %s: %s\n", a->output_prefix,
                 lock->path().c_str(), why.c_str());
  }
  if (a->log_mode == 0) {
    FILE* log = lock->log_stream();
    if (log == nullptr) vlk::fatal("ERROR: cannot open log file: %s\n", lock->path().c_str());
    VELK_ERR = log;
  } else {
    open_own_log(a);
  }
  for (const VLK_IOFormat* row = IO_list; row->name != nullptr; ++row) {
    if (row->write_fp == nullptr) continue;
    for (const std::string& name :
         vlk::remove_stale_temporaries(final_network_path(a->output_prefix, row->name)))
      std::fprintf(VELK_ERR, "Removed %s, a temporary file of an interrupted run\n", name.c_str());
  }
}

// Process 0's log is its own file; the others' are null streams or files of their own.
void open_log(Args* a) {
  if (a->output_prefix == nullptr) return;
  const bool lock = writes_prefix_files(a);
  if (lock && a->rank == 0) a->prefix_lock = new PrefixLock;
  Args_check_on_root(a, lock ? take_prefix_and_open_log : open_own_log);
  if (a->rank != 0) open_own_log(a);
}

// A MiB count of the command line as bytes; a negative count has no meaning as a size.
std::uint64_t mib_bytes(int mib, const char* option) {
  if (mib < 0) vlk::fatal("ERROR: %s must not be negative: %d\n", option, mib);
  return static_cast<std::uint64_t>(mib) * kMiB;
}

}  // namespace

Args* Args_new_rank(int rank, int processes) {
  auto* a = static_cast<Args*>(std::calloc(1, sizeof(Args)));
  if (a == nullptr) vlk::fatal("ERROR: Args: Memory allocation failed.\n");
  a->input_type = edf_text;
  a->output_threshold = 0.2;
  a->output_format = vlk3_text;
  a->seed = static_cast<std::uint32_t>(std::time(nullptr));
  a->nucleus_data = VLK_Data_new();
  a->score_name = bnrc_text;
  a->score_args = VLK_ScoreArgs_new();
  a->algo_name = hc_text;
  a->algo_args = VLK_AlgoArgs_new();
  a->algo_args->max_parents = 1;
  a->algo_args->verbosity = -1;
  a->module_size = 1000;
  a->rank = rank;
  a->processes = processes;
  a->module_ratio = 0.1;
  a->min_pair_count = 1;
  a->interval_base = 2560;
  a->rw_threshold = 0.3;
  a->rw_interval = -1;
  a->rw_ratio = 0.5;
  a->rw_ratio2 = 0.75;
  a->rw_steps = 1000;
  a->total_iterations = 100000;
  a->method = 1;
  a->check_interval = 100000;
  a->write_output = 1;
  a->exchange_interval = -1;
  a->dag_interval = 100000;
  a->init_timer = VLK_Timer_new();
  a->search_timer = VLK_Timer_new();
  a->resampling = -1;
  a->bootstrap_blocks = -1;
  a->memory = kDefaultMemory;
  a->score_level = 2;
  a->skeleton_type = parents_text;
  a->cache_bytes = kDefaultCacheBytes;
  a->timer = VLK_MultiTimer_new(kMultiTimerSections);
  a->rw_accept = 1.0;
  return a;
}

void Args_delete(Args* a) {
  if (a == nullptr) return;
  // The job loop lends the nucleus data set to the search arguments, which would free it again.
  if (a->algo_args != nullptr && a->algo_args->data == a->nucleus_data)
    a->algo_args->data = nullptr;
  // With shared names the nucleus's names are the whole data set's own strings.
  if (a->share_names && a->nucleus_data != nullptr) VLK_StrArray_clear(a->nucleus_data->names);
  std::free(a->input_file);
  VLK_KeyValues_delete(a->input_args);
  free_unless(a->input_type, edf_text);
  std::free(a->output_prefix);
  free_unless(a->output_format, vlk3_text);
  VLK_KeyValues_delete(a->output_args);
  if (a->nucleus_data != nullptr) VLK_Data_delete(a->nucleus_data);
  free_unless(a->score_name, bnrc_text);
  if (a->score_args != nullptr) {
    VLK_KeyValues_delete(a->score_args->options);
    VLK_ScoreArgs_delete(a->score_args);
  }
  free_unless(a->algo_name, hc_text);
  VLK_AlgoArgs_delete(a->algo_args);
  VLK_KeyValues_delete(a->algo_options);
  std::free(a->reference_file);
  std::free(a->module_file);
  VLK_DoubleArray_delete(a->cutoffs);
  VLK_Timer_delete(a->init_timer);
  VLK_Timer_delete(a->search_timer);
  VLK_IntArray_delete(a->dynamic_points);
  std::free(a->skeleton_file);
  free_unless(a->skeleton_type, parents_text);
  VLK_KeyValues_delete(a->skeleton_args);
  VLK_MultiTimer_delete(a->timer);
  delete a->prefix_lock;
  std::free(a);
}

namespace {

// A value ending in ',' waits for the next word; when no word continues it ("-h mod," last),
// the binding drops it and the help would print the usage as for a bare -h. The help gets the
// text it was given instead, and answers that it names no module.
void unfinished_help(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string_view key = argv[i], value = argv[i + 1];
    const bool continued = i + 2 < argc && argv[i + 2][0] != '-';
    if ((key == "-h" || key == "--help") && value.ends_with(',') && !continued)
      help(argv[i], argv[i + 1]);
  }
}

}  // namespace

void parse_args(Args* a, int argc, char** argv) {
  // Every process reads the same command line: what one refuses, all do.
  vlk::EveryProcessAlike same_command_line;
  Working w;
  const auto table = option_table(a, &w);
  unfinished_help(argc, argv);

  const int r = VLK_KeyValues_set_args(argc, argv, table.data());
  if (r != 0) refuse_argument(table.data(), argv[std::abs(r)], r < 0);
  refuse_bare_texts(argc, argv, table.data());

  if (w.total_mem != 0) a->memory = mib_bytes(w.total_mem, "--total-mem");
  if (w.interval_base != -1) a->interval_base = w.interval_base;

  // -y wins over a list of --dynamic-points.
  const char* dynamic_option = w.dynamic ? "-y" : "--dynamic-points";
  derive_dynamic(a, &w);
  if (a->rw_interval == -1) a->rw_interval = a->interval_base / a->processes;
  if (a->exchange_interval == -1) a->exchange_interval = a->interval_base / a->processes;

  append_default_options(a);
  // Refused settings are reported on the terminal, before a log file is made.
  validate_settings(a, dynamic_option);
  open_log(a);

  // Two-step hill climbing's "cache=on" picks the cache of its second step by this type.
  a->score_args->cache_type = a->cache_type;
  if (a->cache_type != 0) {
    std::fprintf(VELK_ERR, "Score cache enabled.  Algorithm version: %d \n", a->cache_type);
    if (w.cache_size != 0) a->cache_bytes = mib_bytes(w.cache_size, "--cache-size");
    Args_charge_memory(a, a->cache_bytes, "the score cache");
  }
}

namespace {

// The words -h takes before a module name.
constexpr const char* kHelpWords[] = {"module", "mod"};

// The option lists of velknnsr to which it appends defaults of its own (append_default_options).
enum class Appends { nothing, score, search };

// How velknnsr passes a module of the help registry its options.
struct ModuleRoad {
  const char* name;
  const char* road;
  // The setting and the value that pick the module, when one does: the road is then marked
  // "(the default)" when that is the setting's default.
  const char* option;
  const char* value;
  Appends appends;
};

constexpr ModuleRoad kModuleRoads[] = {
    {"EDF", "-I, --input-args, with --input-type edf", "--input-type", "edf", Appends::nothing},
    {"DataMatrix", "-I, --input-args, with any other --input-type", nullptr, nullptr,
     Appends::nothing},
    {"hc", "-A, with --algo hc", "--algo", "hc", Appends::search},
    {"hc2", "-A, with --algo hc2", "--algo", "hc2", Appends::search},
    {"tshc", "-A, with --algo tshc", "--algo", "tshc", Appends::search},
    {"BNRC", "-S (every run's score); -A S={...} with --algo tshc", nullptr, nullptr,
     Appends::score},
    {"ContPrior", "-A S={...} with --algo tshc and -A s=ContPrior", nullptr, nullptr,
     Appends::nothing},
    {"TXT", "--output-args with -O TXT; -A firstnetopt={...} with --algo tshc", nullptr, nullptr,
     Appends::nothing},
    {"CSML", "--output-args with -O CSML", nullptr, nullptr, Appends::nothing},
    {"NODELIST", "--output-args with -O NODELIST", nullptr, nullptr, Appends::nothing},
    {"GON", "--output-args with -O GON", nullptr, nullptr, Appends::nothing},
    {"PALIST", "-A firstnetopt={...} with --algo tshc (its default firstnettype)", nullptr, nullptr,
     Appends::nothing},
};

const ModuleRoad* road_of(const char* name) {
  for (const ModuleRoad& road : kModuleRoads)
    if (strcasecmp(road.name, name) == 0) return &road;
  return nullptr;
}

// "a, b or c".
std::string either(const std::vector<std::string>& words, const char* last = " or ") {
  std::string text;
  for (size_t k = 0; k < words.size(); ++k)
    text += (k == 0 ? "" : k + 1 == words.size() ? last : ", ") + words[k];
  return text;
}

std::string default_of(const char* option) {
  for (const ArgsOption& o : Args_options())
    if (o.name == option) return o.default_text;
  return "";
}

// The road, and whether the setting that picks the module picks it by default.
std::string road_text(const ModuleRoad& road) {
  std::string text = road.road;
  if (road.option != nullptr && strcasecmp(default_of(road.option).c_str(), road.value) == 0)
    text += " (the default)";
  return text;
}

VLK_KeyValues*& list_of(Args* a, Appends which) {
  return which == Appends::score ? a->score_args->options : a->algo_options;
}

std::string entry_text(const VLK_KeyValues* list, size_t i) {
  const std::string key = VLK_KeyValues_get_key(list, i);
  const void* value = VLK_KeyValues_get_value(list, i);
  if (value == VLK_KeyValues_DEFAULT_VALUE) return key;
  if (VLK_KeyValues_get_type(list, i) != VLK_TYPE_STRING || value == nullptr) return key + "=...";
  return key + "=" + static_cast<const char*>(value);
}

// The entries that parse_args appends to the list of a command line whose list names `key`
// alone (none: an empty list), under --algo `algo`.
std::vector<std::string> appended(Appends which, const char* algo, const char* key) {
  Args* a = Args_new_rank(0, 1);
  if (algo != nullptr) a->algo_name = strdup(algo);
  VLK_KeyValues*& list = list_of(a, which);
  list = VLK_KeyValues_new();
  if (key != nullptr) VLK_KeyValues_add_string(list, key, "x");
  const size_t given = VLK_KeyValues_size(list);
  append_default_options(a);
  const VLK_KeyValues* after = list_of(a, which);
  std::vector<std::string> entries;
  for (size_t i = given; i < VLK_KeyValues_size(after); ++i)
    entries.push_back(entry_text(after, i));
  Args_delete(a);
  return entries;
}

// The keys the module's list may name: the probes that tell which keys keep an entry out.
std::vector<std::string> keys_of(Appends which) {
  std::vector<std::string> keys;
  if (which == Appends::score) {
    vlk::bnrc::Options o;
    for (const VLK_ArgDef& row : vlk::bnrc::option_table(&o))
      if (row.name != nullptr) keys.emplace_back(row.name);
  } else {
    const vlk::Owned<VLK_GreedyArgs, VLK_GreedyArgs_delete> g(VLK_GreedyArgs_parse(nullptr));
    for (const VLK_ArgDef& row : VLK_GreedyArgs_table(g.get()))
      if (row.name != nullptr) keys.emplace_back(row.name);
    for (const char* key : vlk::algo::kTwoStepKeys) keys.emplace_back(key);
  }
  return keys;
}

// What velknnsr itself does to a module's options, after the module's own help.
void program_note(FILE* fp, const VLK_HelpEntry& row) {
  const ModuleRoad* road = road_of(row.name);
  if (road == nullptr) return;
  std::fprintf(fp, "velknnsr passes these with %s.\n", road_text(*road).c_str());
  if (road->appends == Appends::nothing) return;
  const char* algo = road->appends == Appends::search ? road->name : nullptr;
  const char* list = road->appends == Appends::search ? "-A" : "-S";
  for (const std::string& entry : appended(road->appends, algo, nullptr)) {
    std::vector<std::string> keeping_out;
    for (const std::string& key : keys_of(road->appends)) {
      const std::vector<std::string> with = appended(road->appends, algo, key.c_str());
      if (std::find(with.begin(), with.end(), entry) == with.end()) keeping_out.push_back(key);
    }
    std::fprintf(fp, "Without %s in %s, velknnsr adds %s.\n", either(keeping_out).c_str(), list,
                 entry.c_str());
  }
  if (road->appends == Appends::search) {
    Args* a = Args_new_rank(0, 1);
    std::fprintf(fp,
                 "Its searches keep up to %d parent candidates per node and take the parent limit "
                 "of -M (default %s).\n",
                 a->algo_args->candidates, default_of("-M").c_str());
    Args_delete(a);
  }
}

std::string module_names() {
  std::vector<std::string> names;
  for (const VLK_HelpEntry* row = VLK_Help_lists; row->help != nullptr; ++row)
    names.emplace_back(row->name);
  return either(names, ", ");
}

void print_modules(FILE* fp) {
  std::fprintf(fp, "Modules with options of their own, and how velknnsr passes them theirs:\n");
  for (const VLK_HelpEntry* row = VLK_Help_lists; row->help != nullptr; ++row) {
    const ModuleRoad* road = road_of(row->name);
    std::fprintf(fp, "  %-11s %s\n", row->name,
                 road != nullptr ? road_text(*road).c_str() : "(not reached from velknnsr)");
  }
  std::fprintf(fp, "-h module,NAME shows the options of one of them.\n");
}

}  // namespace

void show_help() { std::fputs(Args_usage_text, stdout); }

void help(const char* /*key*/, const char* value) {
  // Every process meets the same command line; process 0 alone answers.
  const bool answers = vlk::mpi_place().rank == 0;
  if (value == nullptr || value == VLK_KeyValues_DEFAULT_VALUE) {
    if (answers) std::fputs(Args_usage_text, stdout);
  } else {
    const std::vector<std::string> tokens = split_commas(value);
    const std::string& command = tokens[0];
    const bool module_word =
        std::any_of(std::begin(kHelpWords), std::end(kHelpWords),
                    [&](const char* w) { return strcasecmp(command.c_str(), w) == 0; });
    if (!module_word)
      vlk::fatal("Unknown command for --help (-h) option: %s (known: %s)\n", command.c_str(),
                 either({std::begin(kHelpWords), std::end(kHelpWords)}, ", ").c_str());
    if (tokens.size() == 1) {
      if (answers) print_modules(stdout);
    } else {
      const std::string& name = tokens[1];
      if (name.empty())
        vlk::fatal("ERROR: no module name for --help (-h) option: %s (known: %s)\n", value,
                   module_names().c_str());
      if (vlk::help_find(VLK_Help_lists, name.c_str()) == nullptr)
        vlk::fatal("ERROR: unknown module for --help (-h) option: %s (known: %s)\n", name.c_str(),
                   module_names().c_str());
      if (answers)
        vlk::help_msg(VLK_Help_lists, stdout, nullptr, name.c_str(),
                      tokens.size() >= 3 ? tokens[2].c_str() : nullptr, program_note);
    }
  }
  std::fflush(stdout);
  std::fflush(VELK_ERR);
  Args_finalize_mpi();
  std::exit(0);
}

void obsolete_args(const char* key, const char* /*value*/) {
  vlk::fatal("ERROR: Obsolete argument specified: %s\n", key);
}

void show_settings(const Args* a) {
  std::fprintf(VELK_ERR, "show_settings() =====================================\n");
  std::fprintf(VELK_ERR, "MPI_rank=%d\n", a->rank);
  std::fprintf(VELK_ERR, "iterations=%d\n", a->iterations);
  std::fprintf(VELK_ERR, "=====================================================\n");
  std::fflush(VELK_ERR);
}

std::uint32_t Args_run_seed(const Args* a) {
  return static_cast<std::uint32_t>(a->rank) * 1000u + a->seed;
}

void Args_charge_memory(Args* a, std::uint64_t bytes, const char* what) {
  if (bytes > a->memory)
    vlk::fatal("ERROR: memory budget exceeded: %s needs %" PRIu64 " bytes, %" PRIu64
               " bytes are left (--total-mem)\n",
               what, bytes, a->memory);
  a->memory -= bytes;
}

std::string Args_bytes_text(std::uint64_t bytes) {
  return vlk::comma_text(bytes) + " [bytes] (" + vlk::comma_text(bytes >> 20) + " [MiB])";
}

void Args_print_bytes(std::uint64_t bytes) { std::fputs(Args_bytes_text(bytes).c_str(), VELK_ERR); }

#ifndef USE_MPI
Args* Args_new() { return Args_new_rank(0, 1); }
void Args_finalize_mpi() {}
void Args_check_on_root(const Args* a, void (*check)(const Args*)) {
  if (a->rank == 0) check(a);
}
#endif

std::vector<ArgsOption> Args_options() {
  Args* a = Args_new_rank(0, 1);
  Working w;
  const auto table = option_table(a, &w);
  const auto text = [&](const VLK_ArgDef& row) -> std::string {
    // The working values stand for fields that keep the defaults.
    if (row.target == &w.interval_base) return std::to_string(a->interval_base);
    if (row.target == &w.total_mem) return std::to_string(a->memory >> 20);
    if (row.target == &w.cache_size) return std::to_string(a->cache_bytes >> 20);
    if (row.target == &a->seed) return "the clock";
    switch (row.kind) {
      case VLK_TYPE_INT:
        return std::to_string(*static_cast<const int*>(row.target));
      case VLK_TYPE_DOUBLE: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", *static_cast<const double*>(row.target));
        return buf;
      }
      case VLK_TYPE_STRING: {
        const char* value = *static_cast<char* const*>(row.target);
        return value != nullptr ? value : "none";
      }
      case VLK_ARG_ONOFF:
        return *static_cast<const int*>(row.target) ? "on" : "off";
      case VLK_ARG_FLAG_ON:
        return "off";
      case VLK_ARG_CALL2:
        return "\u2014";
      default:  // option lists, string defaults: nothing until given
        return "none";
    }
  };
  std::vector<ArgsOption> out;
  for (const VLK_ArgDef& row : table)
    if (row.name != nullptr && std::strcmp(row.name, VLK_KeyValues_DEFAULT_KEY) != 0)
      out.push_back({row.name, text(row)});
  Args_delete(a);
  return out;
}
