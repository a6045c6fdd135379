// The prior-knowledge score: options and prior files, the prior tables, score, prop, evaluate.
#include "ContPrior.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "VLK_ArgDef.h"
#include "VLK_Data.h"
#include "VLK_DoubleArray.h"
#include "VLK_Edge.h"
#include "VLK_IO.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_Str.h"
#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_option_help.h"

namespace {

using std::size_t;

constexpr double kLogZero = -20000.0;
constexpr double kConfident = 0.8;      // evaluate: a prior edge this likely is expected
constexpr double kKeyMissing = 9999.0;  // a network edge without the file's key reads as this
constexpr const char* kDefaultKey = "edgeScore";

FILE* out() { return VELK_ERR != nullptr ? VELK_ERR : stderr; }

void say(const char* line) {
  std::fputs(line, out());
  std::fflush(out());
}

size_t count(int v) { return v > 0 ? static_cast<size_t>(v) : 0; }

// a * b, ending the process when the product does not fit.
size_t mul(size_t a, size_t b, const char* name) {
  if (a != 0 && b > std::numeric_limits<size_t>::max() / a)
    vlk::fatal("ERROR: ContPrior: Failed to allocate memory: %s\n", name);
  return a * b;
}

template <class T>
T* take(size_t elements, const char* name) {
  void* p = std::malloc(std::max<size_t>(mul(elements, sizeof(T), name), 1));
  if (p == nullptr) vlk::fatal("ERROR: ContPrior: Failed to allocate memory: %s\n", name);
  return static_cast<T*>(p);
}

// n row pointers into one block of n x n doubles, every cell `fill`. The first pointer holds the
// block also without nodes, so that it is released with the pointers.
double** new_matrix(size_t n, double fill) {
  auto** rows = take<double*>(std::max<size_t>(n, 1), "values");
  double* block = take<double>(mul(n, n, "values[]"), "values[]");
  std::fill_n(block, n * n, fill);
  rows[0] = block;
  for (size_t i = 0; i < n; ++i) rows[i] = block + i * n;
  return rows;
}

void delete_matrix(double** rows) {
  if (rows == nullptr) return;
  std::free(rows[0]);
  std::free(rows);
}

size_t size_of(const VLK_StrArray* a) { return a != nullptr ? a->size : 0; }
size_t size_of(const VLK_IntArray* a) { return a != nullptr ? a->size : 0; }
size_t size_of(const VLK_DoubleArray* a) { return a != nullptr ? a->size : 0; }

// The linear combination of the files' values of the edge i -> j.
double eta_of(const ContPriorBuff* bf, int i, int j) {
  double eta = 0.0;
  for (int k = 0; k < bf->files; ++k) {
    const double x = bf->values[k][i][j];
    const double v = bf->abs_flags[k] != 0 ? std::fabs(x) : x;
    eta += bf->weights[k] * (v - bf->centres[k]);
  }
  return eta;
}

const char* type_name(int type) {
  switch (type) {
    case CONTPRIOR_MATRIX:
      return "Matrix\n";
    case CONTPRIOR_VLK3:
      return "VLK3\n";
    case CONTPRIOR_CSML:
      return "CSML\n";
    default:
      return "\n";
  }
}

void print_memory(size_t bytes) {
  std::fprintf(out(), "ContPrior: Total memory usage: ");
  VLK_Util_print_size_t_comma(out(), bytes);
  std::fprintf(out(), " [Byte] (");
  VLK_Util_print_size_t_comma(out(), ((bytes >> 10) + 1023) >> 10);
  std::fprintf(out(), " [Mi Byte]).\n");
}

// What the option table binds, released once the tables are made.
struct Options {
  std::optional<std::string> score{"BNRC"};
  VLK_KeyValues* inner = nullptr;
  VLK_DoubleArray* w = nullptr;
  VLK_DoubleArray* c = nullptr;
  VLK_DoubleArray* d = nullptr;
  VLK_IntArray* abs = nullptr;
  ContPriorFiles lists{nullptr, nullptr, nullptr};

  Options() = default;
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  ~Options() {
    VLK_KeyValues_delete(inner);
    VLK_DoubleArray_delete(w);
    VLK_DoubleArray_delete(c);
    VLK_DoubleArray_delete(d);
    VLK_IntArray_delete(abs);
    VLK_StrArray_delete_all(lists.files);
    VLK_IntArray_delete(lists.types);
    VLK_StrArray_delete_all(lists.keys);
  }

  // The module's options over this record; the help prints the same rows.
  auto table() {
    return std::to_array<VLK_ArgDef>({
        vlk::arg_call3("score", vlk::bind_last_string, &score),
        vlk::arg_call3("s", vlk::bind_last_string, &score),
        // A repeated "S" adds its entries: a plain list row would drop the earlier copy unfreed.
        vlk::arg_keyvalues_merge("S", &inner),
        vlk::arg_doubles_colon("w", &w),
        vlk::arg_doubles_colon("weight", &w),
        vlk::arg_doubles_colon("c", &c),
        vlk::arg_doubles_colon("center", &c),
        vlk::arg_doubles_colon("d", &d),
        vlk::arg_doubles_colon("undefined", &d),
        vlk::arg_ints_colon("abs", &abs),
        vlk::arg_string_append("key", &lists.keys),
        vlk::arg_call3("mat", ContPrior_set_file, &lists),
        vlk::arg_call3("vlk3", ContPrior_set_file, &lists),
        vlk::arg_call3("csml", ContPrior_set_file, &lists),
        vlk::arg_end(),
    });
  }

  void bind(const VLK_KeyValues* list) {
    const auto rows = table();
    const int bad = VLK_KeyValues_set_values_kv(list, rows.data());
    if (bad >= 0)
      vlk::fatal("ERROR: unknown argument specified: %s\n",
                 VLK_KeyValues_get_key(list, static_cast<size_t>(bad)));
  }
};

void pad_keys(ContPriorFiles* lists, size_t want) {
  if (lists->keys == nullptr) lists->keys = VLK_StrArray_new();
  if (lists->keys == nullptr) vlk::fatal("ERROR: ContPrior: Failed to allocate memory: keys\n");
  while (lists->keys->size < want)
    if (VLK_StrArray_add_copy(lists->keys, kDefaultKey) == nullptr)
      vlk::fatal("ERROR: ContPrior: Failed to allocate memory: keys\n");
}

void check_counts(const Options& o, size_t F) {
  if (F == 0) vlk::fatal("ERROR: ContPrior: No prior information file specified.\n");
  if (size_of(o.w) != F)
    vlk::fatal(
        "ERROR: ContPrior: # of 'weight' (w) parameters inconsistent with # of prior files.\n");
  if (size_of(o.c) != F)
    vlk::fatal(
        "ERROR: ContPrior: # of 'center' (c) parameters inconsistent with # of prior files.\n");
  if (size_of(o.d) != F)
    vlk::fatal("ERROR: ContPrior: # of 'undefined' (d) inconsistent with # of prior files.\n");
  // A NaN or an infinity among them would make every score of the children NaN.
  const std::pair<const VLK_DoubleArray*, const char*> given[] = {
      {o.w, "'weight' (w)"}, {o.c, "'center' (c)"}, {o.d, "'undefined' (d)"}};
  for (const auto& [values, option] : given)
    for (size_t k = 0; k < F; ++k)
      if (!std::isfinite(values->data[k]))
        vlk::fatal("ERROR: ContPrior: %s value of prior file %zu is not a finite number: %f\n",
                   option, k + 1, values->data[k]);
}

void print_files(const ContPriorFiles& lists, const int* abs_flags, int F) {
  std::fprintf(out(), "ContPrior: priors = %d\n", F);
  for (int k = 0; k < F; ++k) {
    const int type = lists.types->data[k];
    std::fprintf(out(), "ContPrior: Prior #%d --------\n", k + 1);
    std::fprintf(out(), "ContPrior:    File: %s\n", lists.files->data[k]);
    std::fprintf(out(), "ContPrior:    Type: %s", type_name(type));
    if (type == CONTPRIOR_VLK3 || type == CONTPRIOR_CSML)
      std::fprintf(out(), "ContPrior:    Score Key: %s\n", lists.keys->data[k]);
    std::fprintf(out(), "ContPrior:    Abs: %s\n", abs_flags[k] != 0 ? "Yes" : "No");
  }
  std::fflush(out());
}

}  // namespace

void ContPrior_set_file(const char* option, const char* value, void* lists) {
  auto* l = static_cast<ContPriorFiles*>(lists);
  int type = 0;
  if (strcasecmp(option, "mat") == 0)
    type = CONTPRIOR_MATRIX;
  else if (strcasecmp(option, "vlk3") == 0)
    type = CONTPRIOR_VLK3;
  else if (strcasecmp(option, "csml") == 0)
    type = CONTPRIOR_CSML;
  else
    vlk::fatal("ERROR: Unsupported prior type specified: %s", option);
  if (l->files == nullptr) l->files = VLK_StrArray_new();
  if (l->types == nullptr) l->types = VLK_IntArray_new();
  if (l->files == nullptr || l->types == nullptr ||
      VLK_StrArray_add_copy(l->files, value != nullptr ? value : "") == nullptr ||
      VLK_IntArray_add(l->types, type) == nullptr)
    vlk::fatal("ERROR: ContPrior: Failed to allocate memory: files\n");
  pad_keys(l, l->files->size - 1);
}

ContPriorBuff* ContPriorBuff_new() {
  auto* bf = static_cast<ContPriorBuff*>(std::calloc(1, sizeof(ContPriorBuff)));
  if (bf == nullptr) vlk::fatal("ERROR: ContPrior: Failed to allocate memory: ContPriorBuff\n");
  return bf;
}

ContPriorBuff* ContPrior_init(VLK_Data* data, VLK_ScoreArgs* args) {
  ContPriorBuff* bf = ContPriorBuff_new();
  bf->verbose = args->verbosity;
  if (bf->verbose >= 0) say("ContPrior: Initializing the continous prior score function.\n");

  Options o;
  o.bind(args->options);
  const size_t F = size_of(o.lists.files);
  check_counts(o, F);
  pad_keys(&o.lists, F);
  const int files = static_cast<int>(F);
  bf->files = files;

  bf->abs_flags = take<int>(F, "abs");
  std::fill_n(bf->abs_flags, F, 0);
  for (size_t i = 0; i < size_of(o.abs); ++i) {
    const int a = o.abs->data[i];
    if (a >= 1 && a <= files)
      bf->abs_flags[a - 1] = 1;
    else
      std::fprintf(out(), "ContPrior: WARNING: 'abs' specified for off-bound information.\n");
  }
  print_files(o.lists, bf->abs_flags, files);

  bf->weights = take<double>(mul(F, 2, "weights"), "weights");
  bf->centres = bf->weights + F;
  std::copy_n(o.w->data, F, bf->weights);
  std::copy_n(o.c->data, F, bf->centres);
  const int n = std::max(data->p, 0);
  const size_t N = count(n);
  bf->values = take<double**>(F, "values");
  for (size_t k = 0; k < F; ++k) bf->values[k] = new_matrix(N, o.d->data[k]);

  for (size_t k = 0; k < F; ++k) {
    const char* file = o.lists.files->data[k];
    switch (o.lists.types->data[k]) {
      case CONTPRIOR_MATRIX:
        ContPrior_read_matrix(data, file, bf->values[k]);
        break;
      case CONTPRIOR_VLK3:
        ContPrior_read_network(data, file, "VLK3", o.lists.keys->data[k], bf->values[k]);
        break;
      case CONTPRIOR_CSML:
        ContPrior_read_network(data, file, "CSML", o.lists.keys->data[k], bf->values[k]);
        break;
      default:
        vlk::fatal("FATAL ERROR: ContPrior: Unknown type identifier detected.\n");
    }
  }

  const size_t tables = ContPrior_prepare_pi(bf, n, kLogZero);
  // Flags, weights, centres and matrix pointers; the value matrices; the pi and delta row
  // pointers and base.
  const size_t memory =
      mul(28, F, "memory") +
      mul(F, mul(8, N, "memory") + mul(8, mul(N, N, "memory"), "memory"), "memory") + tables;
  const char* name = o.score ? o.score->c_str() : "";
  if (bf->verbose >= 0) {
    print_memory(memory);
    std::fprintf(out(), "ContPrior: Wrapped score function: %s\n", name);
    std::fprintf(out(), "ContPrior: Initializaing the wrapped score function...\n");
    std::fflush(out());
  }

  // The inner module gets its own options and what is left of the budget; a budget the tables
  // already exceed leaves it nothing (never the wrapped-around "unlimited").
  VLK_KeyValues* saved = args->options;
  args->options = o.inner;
  args->max_memory = args->max_memory > memory ? args->max_memory - memory : 0;
  bf->inner = VLK_Score_get(name);
  if (bf->inner == nullptr || bf->inner->init == nullptr)
    vlk::fatal("ERROR: ContPrior: Unknown score function: %s\n", name);
  VLK_Score_init(bf->inner, data, args);
  args->options = saved;

  if (bf->verbose >= 0) say("ContPrior: Initialization finished.\n");
  return bf;
}

size_t ContPrior_prepare_pi(ContPriorBuff* bf, int n, double log_zero) {
  const size_t N = count(n);
  bf->nodes = static_cast<int>(N);
  bf->delta = take<double*>(N, "delta");
  bf->pi = take<double*>(N, "pi");
  bf->base = take<double>(N, "base");
  std::fill_n(bf->base, N, 0.0);
  for (size_t i = 0; i < N; ++i) {
    bf->delta[i] = take<double>(mul(N, 2, "delta[]"), "delta[]");
    bf->pi[i] = bf->delta[i] + N;
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const double eta = eta_of(bf, i, j);
      // Finite options can still combine beyond the doubles (0 x (1e308 - -1e308)): a pair
      // without a finite prior would make every score of its child NaN.
      if (!std::isfinite(eta))
        vlk::fatal(
            "ERROR: ContPrior: the weighted prior values of the edge %d -> %d (node positions "
            "from 0) add up to %f, not a finite number: choose smaller weights, centres or "
            "undefined values\n",
            i, j, std::isnan(eta) ? std::fabs(eta) : eta);  // "nan", never "-nan"
      const double pi = 1.0 / (1.0 + std::exp(-eta));
      const double l1 = pi == 0.0 ? log_zero : std::log(pi);
      const double l0 = pi == 1.0 ? log_zero : std::log(1.0 - pi);
      bf->pi[i][j] = pi;
      bf->delta[i][j] = -2.0 * (l1 - l0);
      bf->base[j] += l0;
    }
  }
  for (size_t j = 0; j < N; ++j) bf->base[j] *= -2.0;
  return 24 * N;
}

void ContPrior_read_matrix(const VLK_Data* data, const char* file, double** x) {
  std::fprintf(out(), "ContPrior: Reading the matrix prior file: %s\n", file);
  std::fflush(out());
  const vlk::FilePtr fp(std::fopen(file, "r"));
  if (fp == nullptr) vlk::fatal("ContPrior: ERROR: Cannot open file: %s\n", file);

  vlk::LineBuffer line;
  if (!line.read(fp.get())) vlk::fatal("ContPrior: ERROR: Failed to read the header.\n");
  size_t number = 1;
  vlk::check_no_nul(line, number);
  const vlk::StrArrayPtr header(VLK_Str_split(line.data, '\t'));
  if (header == nullptr) vlk::fatal("ERROR: ContPrior: Failed to allocate memory: header\n");
  // An empty header line has no field at all, not even the first.
  const size_t columns = header->size > 0 ? header->size - 1 : 0;
  std::fprintf(out(), "ContPrior:   %zu columns without the first column.\n", columns);
  if (columns == 0) vlk::fatal("ERROR: ContPrior: Matrix file has no columns.\n");

  std::vector<int> node_of(columns, -1);
  int found = 0;
  for (size_t k = 0; k < columns; ++k) {
    const char* label = header->data[k + 1];
    node_of[k] = VLK_Data_find_name(data, label);
    if (node_of[k] < 0) {
      std::fprintf(out(), "WARNING: ContPrior: Column not found: %s\n", label);
      std::fflush(out());
    } else {
      ++found;
    }
  }
  std::fprintf(out(), "ContPrior:   Found %d columns in the input data set.\n", found);

  int rows = 0;
  while (line.read(fp.get())) {
    ++number;
    vlk::check_no_nul(line, number);
    const vlk::StrArrayPtr fields(VLK_Str_split(line.data, '\t'));
    if (fields == nullptr) vlk::fatal("ERROR: ContPrior: Failed to allocate memory: row\n");
    const char* name = fields->size > 0 ? fields->data[0] : "";
    const int r = VLK_Data_find_name(data, name);
    if (r < 0) {
      std::fprintf(out(), "ContPrior: WARNING: row not found: %s\n", name);
      std::fflush(out());
      continue;
    }
    ++rows;
    const size_t last = std::min(fields->size, columns + 1);
    for (size_t f = 1; f < last; ++f) {
      const int c = node_of[f - 1];
      // A NaN or infinite prior value would make every score of the child NaN.
      if (c >= 0) x[c][r] = vlk::finite_value(fields->data[f], static_cast<int>(number), f + 1);
    }
  }
  std::fprintf(out(), "ContPrior:   Found %d rows in the input dataset.\n", rows);
}

void ContPrior_read_network(const VLK_Data* data, const char* file, const char* format,
                            const char* key, double** x) {
  std::fprintf(out(), "ContPrior: Reading the network file: %s\n", file);
  std::fflush(out());
  const vlk::NetworkPtr net(IO_read_file(file, format, nullptr));
  int edges = 0;
  for (size_t k = 0; k < VLK_Network_num_edges(net.get()); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net.get(), static_cast<int>(k));
    const double value = VLK_Edge_get_property_double(e, key, kKeyMissing);
    if (value == kKeyMissing)
      vlk::fatal("ERROR: ContPrior: Specified score key \"%s\" not found in network file: %s\n",
                 key, file);
    const int p = VLK_Data_find_name(data, VLK_Edge_parent_name(e));
    const int c = VLK_Data_find_name(data, VLK_Edge_child_name(e));
    if (p < 0 || c < 0) continue;
    // A NaN or infinite prior value would make every score of the child NaN.
    if (!std::isfinite(value))
      vlk::fatal("ERROR: ContPrior: not a finite value of \"%s\" on the edge %s -> %s: %s\n", key,
                 VLK_Edge_parent_name(e), VLK_Edge_child_name(e), file);
    x[p][c] = value;
    ++edges;
  }
  std::fprintf(out(), "ContPrior: %d edges found.\n", edges);
}

double ContPrior_score(ContPriorBuff* bf, int child, int* parents, int q) {
  double s = bf->inner->score(bf->inner->state, child, parents, q) + bf->base[child];
  for (int k = 0; k < q; ++k) s += bf->delta[parents[k]][child];
  return s;
}

VLK_KeyValues* ContPrior_prop(ContPriorBuff* bf, int child, int* parents, int q, int k) {
  const int p = parents[k];
  VLK_KeyValues* kv = VLK_KeyValues_new();
  VLK_DoubleArray* z = VLK_DoubleArray_new();
  if (kv == nullptr || z == nullptr)
    vlk::fatal("ERROR: ContPrior: Failed to allocate memory: prop\n");
  for (int f = 0; f < bf->files; ++f) VLK_DoubleArray_add(z, bf->values[f][p][child]);
  VLK_KeyValues_put_double(kv, "ContPrior.eta", eta_of(bf, p, child));
  VLK_KeyValues_put_double(kv, "ContPrior.pi", bf->pi[p][child]);
  if (VLK_KeyValues_put_DoubleArray(kv, "ContPrior.z", z) == nullptr) VLK_DoubleArray_delete(z);
  if (bf->inner->prop != nullptr) {
    VLK_KeyValues* in = bf->inner->prop(bf->inner->state, child, parents, q, k);
    if (in != nullptr) {
      VLK_KeyValues_add_KeyValues(kv, in);
      VLK_KeyValues_delete(in);
    }
  }
  return kv;
}

void ContPrior_evaluate(ContPriorBuff* bf, VLK_Network* network) {
  say("ContPrior: Evaluating the estimated network...\n");
  // Pairs beyond the tables' nodes have no prior; those beyond the network's no edge.
  const int n = std::min(static_cast<int>(VLK_Network_num_nodes(network)), bf->nodes);
  int hits = 0, total = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (!(bf->pi[i][j] >= kConfident)) continue;
      ++total;
      if (VLK_Network_check_edge_index(network, i, j)) ++hits;
    }
  }
  const double rate = static_cast<double>(hits) / static_cast<double>(total);
  std::fprintf(out(), "ContPrior: Prior Estimation Rate: %f (%d/%d)\n", rate, hits, total);
  std::fprintf(out(), "X-PER:\t%f\n", rate);
  std::fflush(out());
}

void ContPrior_finalize(ContPriorBuff* bf) {
  if (bf == nullptr) return;
  if (bf->verbose >= 0) std::fprintf(out(), "ContPrior: Finalizing the ContPrior score.\n");
  if (bf->inner != nullptr) {
    if (bf->inner->finalize != nullptr) bf->inner->finalize(bf->inner->state);
    std::free(bf->inner);
  }
  if (bf->values != nullptr)
    for (int k = 0; k < bf->files; ++k) delete_matrix(bf->values[k]);
  std::free(bf->values);
  if (bf->delta != nullptr)
    for (int i = 0; i < bf->nodes; ++i) std::free(bf->delta[i]);
  std::free(bf->delta);
  std::free(bf->pi);
  std::free(bf->base);
  std::free(bf->weights);
  std::free(bf->abs_flags);
  std::free(bf);
}

void ContPrior_help(FILE* fp, const char* /*sub*/) {
  Options d;
  const auto table = d.table();
  const std::string none = "none";
  const vlk::OptionHelp help[] = {
      {"score s", "=name (string)", "The inner score module, to whose score the prior is added.",
       d.score.value_or(none)},
      {"S", nullptr, "The options of the inner score module; a second S adds its entries.", none},
      {"mat", "=file (string)",
       "A prior file: a TAB-separated matrix, a header line of parent names, then one row "
       "per child, its name and its values.",
       ""},
      {"vlk3", "=file (string)",
       "A prior file: a VLK3 network, the value of each edge under its key.", ""},
      {"csml", "=file (string)",
       "A prior file: a CSML network, the value of each edge under its key.", ""},
      {"key", nullptr,
       "The edge property holding the values of the network file given last before it.",
       kDefaultKey},
      {"w weight", nullptr, "The weight of each prior file, in file order (one per file).", ""},
      {"c center", nullptr, "The value subtracted from each file's values (one per file).", ""},
      {"d undefined", nullptr, "The value of a pair that a file does not give (one per file).", ""},
      {"abs", nullptr, "The prior files (numbered from 1) whose values count as absolute values.",
       none},
  };
  std::fprintf(fp, "\"ContPrior\" (network score function with prior edge knowledge):\n");
  vlk::print_option_help(fp, table.data(), help);
  std::fprintf(fp,
               "The prior probability of an edge is the logistic function of the sum over the\n"
               "files of w (x - c), x the file's value of the edge (|x| for the abs files).\n");
}
