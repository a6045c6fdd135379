#include "search/skeleton.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "VLK_AdjGraph.h"
#include "VLK_IO.h"
#include "VLK_Network_convert.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;
using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

enum class Skeleton { parents, parents_targets, chlist, unknown };

Skeleton skeleton_kind(const char* type) {
  if (type == nullptr) return Skeleton::unknown;
  if (strcasecmp(type, "parents") == 0) return Skeleton::parents;
  if (strcasecmp(type, "parents_targets") == 0) return Skeleton::parents_targets;
  if (strcasecmp(type, "CHLIST") == 0) return Skeleton::chlist;
  return Skeleton::unknown;
}

const char* target_file(const VLK_KeyValues* options) {
  return options != nullptr ? VLK_KeyValues_get_string(options, "target") : nullptr;
}

// The options that name the two files, for the messages about them.
constexpr const char* kSkeletonOption = "--skeleton";
constexpr const char* kTargetOption = "target= of --skeleton-args";
constexpr const char* kFirstOption = "first= of -A";

[[noreturn]] void unknown_type(const char* type) {
  vlk::fatal("ERROR: Unknown skeleton file type: %s\n", type != nullptr ? type : "(null)");
}

[[noreturn]] void no_target() { vlk::fatal("ERROR: Specify 'target=' for --skel-args.\n"); }

// The file a skeleton option names, open for reading; a file that cannot be opened, or a
// directory, ends the run with a line naming the option.
vlk::FilePtr open_skeleton_file(const char* option, const char* file) {
  errno = 0;
  vlk::FilePtr fp(std::fopen(file, "r"));
  if (fp == nullptr)
    vlk::fatal("ERROR: %s: cannot open %s: %s\n", option, vlk::printable(file).c_str(),
               std::strerror(errno));
  struct stat st {};
  if (fstat(fileno(fp.get()), &st) == 0 && S_ISDIR(st.st_mode))
    vlk::fatal("ERROR: %s: %s is a directory, not a file\n", option, vlk::printable(file).c_str());
  return fp;
}

// The warning level 0 for the lifetime of the object.
class QuietWarnings {
 public:
  QuietWarnings() : saved_(VLK_get_warning_level()) { VLK_set_warning_level(0); }
  ~QuietWarnings() { VLK_set_warning_level(saved_); }
  QuietWarnings(const QuietWarnings&) = delete;
  QuietWarnings& operator=(const QuietWarnings&) = delete;

 private:
  int saved_;
};

// The nucleus nodes named in a node-set file, in file order. Silent: a nucleus lacks most of
// the genes a file names as a matter of course, and the start-up check has warned of the names
// that are no gene at all.
IntArrayPtr read_nodes(const VLK_Data* data, const char* option, const char* file) {
  open_skeleton_file(option, file);
  IntArrayPtr list(VLK_IntArray_new());
  const QuietWarnings quiet;
  if (VLK_Data_read_node_set_file(data, list.get(), file, 0) < 0)
    vlk::fatal("ERROR: %s: cannot read %s\n", option, vlk::printable(file).c_str());
  return list;
}

int data_nodes(const VLK_Data* data) { return std::max(data->p, 0); }

// Skeleton files name nodes: without the data set's names nothing would be found, and the
// searches would run unrestricted.
bool carries_names(const VLK_Data* data) {
  return data->p <= 0 ||
         (data->names != nullptr && data->names->size >= static_cast<size_t>(data->p));
}

// A skeleton that cannot be made must not turn into no restriction at all.
VLK_AdjGraph* made(VLK_AdjGraph* g) {
  if (g == nullptr) vlk::fatal("ERROR: read_skeleton(): cannot allocate the skeleton.\n");
  return g;
}

// Every listed parent p may be a parent of child i.
void allow_listed(VLK_AdjGraph* g, const VLK_IntArray* parents, int i) {
  for (size_t k = 0; k < parents->size; ++k) VLK_AdjGraph_add_edge(g, parents->data[k], i);
}

void allow_all(VLK_AdjGraph* g, int n, int i) {
  for (int j = 0; j < n; ++j) VLK_AdjGraph_add_edge(g, j, i);
}

// A nucleus without a listed node keeps the skeleton: its nodes may take no parent from the
// list, so none at all, rather than any.
GraphI* parents_skeleton(const VLK_Data* data, const char* file) {
  const IntArrayPtr parents = read_nodes(data, kSkeletonOption, file);
  std::fprintf(VELK_ERR, "  %d nodes found in the input dataset.\n",
               static_cast<int>(parents->size));
  const int n = data_nodes(data);
  VLK_AdjGraph* g = made(VLK_AdjGraph_news(static_cast<size_t>(n)));
  for (int i = 0; i < n; ++i) allow_listed(g, parents.get(), i);
  return VLK_AdjGraph_to_GraphI(g);
}

GraphI* parents_targets_skeleton(const VLK_Data* data, const char* file,
                                 const VLK_KeyValues* options) {
  const IntArrayPtr parents = read_nodes(data, kSkeletonOption, file);
  std::fprintf(VELK_ERR, "  %d nodes found in the input dataset as parents.\n",
               static_cast<int>(parents->size));
  const char* targets_file = target_file(options);
  if (targets_file == nullptr) no_target();
  const IntArrayPtr targets = read_nodes(data, kTargetOption, targets_file);
  std::fprintf(VELK_ERR, "  %d nodes found in the input dataset as targets.\n",
               static_cast<int>(targets->size));
  const char* inv = options != nullptr ? VLK_KeyValues_get_string(options, "inv") : nullptr;
  const bool inverse = options != nullptr && VLK_KeyValues_find_key(options, "inv") >= 0 &&
                       (inv == nullptr || strcasecmp(inv, "off") != 0);
  const int n = data_nodes(data);
  std::vector<char> is_target(static_cast<size_t>(n), 0);
  for (size_t k = 0; k < targets->size; ++k) is_target[static_cast<size_t>(targets->data[k])] = 1;
  VLK_AdjGraph* g = made(VLK_AdjGraph_news(static_cast<size_t>(n)));
  for (int i = 0; i < n; ++i) {
    if ((is_target[static_cast<size_t>(i)] != 0) != inverse)
      allow_listed(g, parents.get(), i);
    else
      allow_all(g, n, i);
  }
  return VLK_AdjGraph_to_GraphI(g);
}

GraphI* chlist_from_file(const VLK_Data* data, const char* file) {
  const IntArrayPtr heads = read_nodes(data, kSkeletonOption, file);
  KeyValuesPtr options(VLK_KeyValues_new());
  VLK_KeyValues_add_string(options.get(), "ch", "T");
  vlk::NetworkPtr lists;
  {
    // The lists name genes the nucleus lacks as a matter of course: no warnings for them.
    const QuietWarnings quiet;
    lists.reset(IO_read_file(file, "PALIST", options.get()));
  }
  return vlk::chlist_skeleton(data, lists.get(), heads.get());
}

// The genes of the whole data set by name (the first of a repeated name, as the readers find it).
using GeneIndex = std::unordered_map<std::string_view, int>;

GeneIndex gene_index(const VLK_Data* data) {
  GeneIndex index;
  for (int v = 0; v < data_nodes(data); ++v)
    if (const char* name = VLK_StrArray_get(data->names, static_cast<size_t>(v)); name != nullptr)
      index.emplace(name, v);
  return index;
}

// One skeleton file checked against the whole data set: read as the nuclei will read it (a
// node-set file by its first field; children lists by all fields, without comments and up to a
// line "-", each list headed by its first), it must name some node, and the nodes that decide
// (the names of a node set, the heads of the lists) must include a gene. Every name that is no
// gene is warned about once, here rather than in every nucleus.
void check_file(const GeneIndex& genes, const char* option, const char* file, bool lists) {
  const vlk::FilePtr fp = open_skeleton_file(option, file);
  std::unordered_set<std::string> warned;
  std::unordered_set<int> found;
  size_t named = 0;
  vlk::LineBuffer line;
  for (size_t lineno = 1; line.read(fp.get()); ++lineno) {
    if (line.holds_nul())
      vlk::fatal("ERROR: %s: line %zu of %s holds a NUL byte\n", option, lineno,
                 vlk::printable(file).c_str());
    std::string_view rest(line.data);
    if (lists && rest == "-") break;
    if (lists && rest.starts_with('#')) continue;
    // A node set names a node in the first field of a line; children lists in every field.
    for (size_t field = 0;; ++field) {
      const size_t tab = rest.find('\t');
      const std::string_view name = rest.substr(0, tab);
      const auto gene = genes.find(name);
      if (!name.empty() && field == 0) {
        ++named;
        if (gene != genes.end()) found.insert(gene->second);
      }
      if (!name.empty() && gene == genes.end() && warned.emplace(name).second)
        std::fprintf(VELK_ERR, "WARNING: %s: %s line %zu: not a gene of the data set: %s\n", option,
                     vlk::printable(file).c_str(), lineno, vlk::printable(name).c_str());
      if (!lists || tab == std::string_view::npos) break;
      rest.remove_prefix(tab + 1);
    }
  }
  if (std::ferror(fp.get()))
    vlk::fatal("ERROR: %s: cannot read %s: %s\n", option, vlk::printable(file).c_str(),
               std::strerror(errno));
  const char* what = lists ? "list" : "name";
  if (named == 0)
    vlk::fatal("ERROR: %s: %s is empty: no %s in it\n", option, vlk::printable(file).c_str(), what);
  if (found.empty())
    vlk::fatal("ERROR: %s: no %s in %s is %s gene of the data set (%zu read)\n", option, what,
               vlk::printable(file).c_str(), lists ? "headed by a" : "a", named);
  std::fprintf(VELK_ERR, "  %s: %zu genes of the data set in %s.\n", option, found.size(),
               vlk::printable(file).c_str());
}

}  // namespace

GraphI* read_skeleton(VLK_Data* data, const char* file, const char* type, VLK_KeyValues* options) {
  std::fprintf(VELK_ERR, "Reading the skeleton file: %s\n", file);
  if (!carries_names(data))
    vlk::fatal("ERROR: read_skeleton(): the data set carries no node names.\n");
  switch (skeleton_kind(type)) {
    case Skeleton::parents:
      return parents_skeleton(data, file);
    case Skeleton::parents_targets:
      return parents_targets_skeleton(data, file, options);
    case Skeleton::chlist:
      return chlist_from_file(data, file);
    case Skeleton::unknown:
      break;
  }
  unknown_type(type);
}

void check_skeleton_args(const char* type, const VLK_KeyValues* options) {
  const Skeleton kind = skeleton_kind(type);
  if (kind == Skeleton::unknown) unknown_type(type);
  if (kind == Skeleton::parents_targets && target_file(options) == nullptr) no_target();
}

void check_skeleton_files(const VLK_Data* data, const char* file, const char* type,
                          const VLK_KeyValues* options) {
  if (file == nullptr) return;
  check_skeleton_args(type, options);
  std::fprintf(VELK_ERR, "Checking the skeleton file: %s\n", vlk::printable(file).c_str());
  if (!carries_names(data))
    vlk::fatal("ERROR: %s: the data set carries no gene names to match %s against\n",
               kSkeletonOption, vlk::printable(file).c_str());
  const GeneIndex genes = gene_index(data);
  const Skeleton kind = skeleton_kind(type);
  check_file(genes, kSkeletonOption, file, kind == Skeleton::chlist);
  if (kind == Skeleton::parents_targets)
    check_file(genes, kTargetOption, target_file(options), false);
}

void check_first_set_file(const VLK_Data* data, const char* algo_name,
                          const VLK_KeyValues* algo_options) {
  if (algo_name == nullptr || strcasecmp(algo_name, "tshc") != 0) return;
  // Without one parse_args has refused the run.
  const char* file =
      algo_options != nullptr ? VLK_KeyValues_get_string(algo_options, "first") : nullptr;
  if (file == nullptr) return;
  std::fprintf(VELK_ERR, "Checking the first set file: %s\n", vlk::printable(file).c_str());
  if (!carries_names(data))
    vlk::fatal("ERROR: %s: the data set carries no gene names to match %s against\n", kFirstOption,
               vlk::printable(file).c_str());
  check_file(gene_index(data), kFirstOption, file, false);
}

GraphI* vlk::chlist_skeleton(const VLK_Data* data, const VLK_Network* lists,
                             const VLK_IntArray* heads) {
  const int n = data_nodes(data);
  VLK_AdjGraph* g = made(VLK_Network_AdjGraph_dataset(lists, data));
  std::vector<char> heads_list(static_cast<size_t>(n), 0);
  for (size_t k = 0; k < heads->size; ++k) heads_list[static_cast<size_t>(heads->data[k])] = 1;
  for (int i = 0; i < n; ++i) {
    if (heads_list[static_cast<size_t>(i)] != 0) continue;
    for (int j = 0; j < n; ++j)
      if (j != i) VLK_AdjGraph_add_edge(g, i, j);
  }
  return VLK_AdjGraph_to_GraphI(g);
}
