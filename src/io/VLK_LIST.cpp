#include "VLK_LIST.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "CSMLObject.h"
#include "VLK_ArgDef.h"
#include "VLK_IO.h"
#include "VLK_Str.h"
#include "VLK_StrMatrix.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_net_text.h"
#include "vlk_option_help.h"

namespace {

using vlk::or_empty;

// "\t<key>" per key.
void put_keys(FILE* fp, const std::vector<const char*>& keys) {
  for (const char* key : keys) std::fprintf(fp, "\t%s", key);
}

// "\t<value>" per key, nothing after the TAB where the record lacks the key.
void put_values(FILE* fp, const std::vector<const char*>& keys, const CSMLObject* obj) {
  for (const char* key : keys) {
    std::fputc('\t', fp);
    CSMLObject_fprint_property_value(obj, key, fp);
  }
}

// ---- NODELIST options ---------------------------------------------------------------------------

struct NodeListOptions {
  std::optional<std::string> filter_nodes;
  int betweenness = 0;
  int closeness = 0;
};

// The writer's options over *o; the help prints the same rows.
auto node_list_table(NodeListOptions* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_call3("filter_nodes", vlk::bind_last_string, &o->filter_nodes),
      vlk::arg_flag_on("betweenness", &o->betweenness),
      vlk::arg_flag_on("closeness", &o->closeness),
      vlk::arg_end(),
  });
}

NodeListOptions node_list_options(const VLK_KeyValues* list) {
  NodeListOptions o;
  const auto table = node_list_table(&o);
  if (const char* key = vlk::rejected_key(list, table.data()))
    vlk::fatal("ERROR: unknown argument: %s\n", key);
  return o;
}

// The names in the first fields of the filter file's lines; nothing when it cannot be read.
std::optional<std::unordered_set<std::string>> filter_names(const std::string& path) {
  const vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete> table(
      VLK_StrMatrix_read_file(path.c_str()));
  if (!table) {
    std::fprintf(VELK_ERR, "WARNING: failed to read: %s\n", path.c_str());
    return std::nullopt;
  }
  std::unordered_set<std::string> names;
  for (size_t i = 0; i < VLK_StrMatrix_lines(table.get()); ++i)
    if (const char* first = VLK_StrMatrix_get(table.get(), i, 0)) names.insert(first);
  return names;
}

// A centrality per node when asked for, after its progress line.
std::vector<double> centrality(const VLK_Network* net, bool wanted, const char* line,
                               void (*calc)(const VLK_Network*, double*)) {
  if (!wanted) return {};
  std::fprintf(VELK_ERR, "%s", line);
  std::vector<double> out(VLK_Network_num_nodes(net));
  calc(net, out.data());
  return out;
}

}  // namespace

int LIST_int_t_cmp(const void* a, const void* b) { return VLK_Network_int_t_cmp(a, b); }
int NODELIST_int_t_cmp(const void* a, const void* b) { return VLK_Network_int_t_cmp(a, b); }

// ---- LIST ---------------------------------------------------------------------------------------

int LIST_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Outputting in LIST format.\n");
  std::fflush(VELK_ERR);
  const size_t m = VLK_Network_num_edges(net);
  const std::vector<const char*> keys = vlk::io::edge_property_keys(net);
  std::fprintf(fp, "Pa\tCh\tPa2\tCh2");
  put_keys(fp, keys);
  std::fputc('\n', fp);
  for (size_t k = 0; k < m; ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    std::fprintf(fp, "%s\t%s\t%s\t%s", or_empty(e->parent->name), or_empty(e->child->name),
                 or_empty(e->parent->alias), or_empty(e->child->alias));
    put_values(fp, keys, e->drawing);
    std::fputc('\n', fp);
  }
  return vlk::io::stream_result(fp);
}

int LIST_write_file(const char* path, const VLK_Network* net, const VLK_KeyValues* options) {
  return vlk::io::write_path(path, net, options, LIST_write_fp,
                             "ERROR: LIST_write_file(): Cannot open file: %s\n");
}

// ---- NODELIST -----------------------------------------------------------------------------------

int NODELIST_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options) {
  const NodeListOptions o = node_list_options(options);
  std::fprintf(VELK_ERR, "Outputting in NODELIST format.\n");
  std::fflush(VELK_ERR);
  std::optional<std::unordered_set<std::string>> keep;
  if (o.filter_nodes) {
    std::fprintf(VELK_ERR, "  Filtering by nodes specified: %s\n", o.filter_nodes->c_str());
    keep = filter_names(*o.filter_nodes);
  }
  const std::vector<double> betweenness =
      centrality(net, o.betweenness, "  Calculating betweenness.\n", VLK_Network_calc_betweenness);
  const std::vector<double> closeness =
      centrality(net, o.closeness, "  Calculating closeness.\n", VLK_Network_calc_closeness);

  // Most children first, equal counts in index order.
  const std::vector<VLK_Network_int_t> records = vlk::hub_records(net);
  const size_t n = records.size();

  const std::vector<const char*> keys = vlk::io::node_property_keys(net);
  std::fprintf(fp, "Name\tAlias\tNum Ch\tNum Pa\tTotal deg");
  if (keep) std::fprintf(fp, "\tOrig Rank");
  if (o.betweenness) std::fprintf(fp, "\tbetweenness");
  if (o.closeness) std::fprintf(fp, "\tcloseness");
  put_keys(fp, keys);
  std::fputc('\n', fp);

  size_t written = 0;
  for (size_t rank = 1; rank <= n; ++rank) {
    const VLK_Network_int_t& r = records[rank - 1];
    const VLK_Node* node = VLK_Network_get_node(net, r.index);
    if (keep && (node->name == nullptr || !keep->contains(node->name))) continue;
    std::fprintf(fp, "%s\t%s\t%d\t%d\t%d", or_empty(node->name), or_empty(node->alias), r.children,
                 r.parents, r.children + r.parents);
    if (keep) std::fprintf(fp, "\t%zu", rank);
    if (o.betweenness) std::fprintf(fp, "\t%f", betweenness[static_cast<size_t>(r.index)]);
    if (o.closeness) std::fprintf(fp, "\t%f", closeness[static_cast<size_t>(r.index)]);
    put_values(fp, keys, node->drawing);
    std::fputc('\n', fp);
    ++written;
  }
  std::fprintf(VELK_ERR, "  %zu nodes remain.\n", written);
  NODELIST_dist(records.data(), n);
  return vlk::io::stream_result(fp);
}

int NODELIST_write_file(const char* path, const VLK_Network* net, const VLK_KeyValues* options) {
  return vlk::io::write_path(path, net, options, NODELIST_write_fp,
                             "ERROR: NODELIST_write_file(): Cannot open file: %s\n");
}

void NODELIST_dist(const VLK_Network_int_t* records, size_t n) {
  int max = 0;
  int64_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const int d = records[i].children + records[i].parents;
    max = std::max(max, d);
    sum += d;
  }
  std::vector<size_t> count(static_cast<size_t>(max) + 1, 0);
  for (size_t i = 0; i < n; ++i) {
    const int d = records[i].children + records[i].parents;
    if (d >= 0) ++count[static_cast<size_t>(d)];  // no network gives a negative count
  }
  std::fprintf(VELK_ERR, "===NODE DEGREE DISTRIBUTION===\n");
  std::fprintf(VELK_ERR, "Max Degree = %d\n", max);
  // Without edges every degree is 0 and so is every ratio (not 0 / 0).
  for (int d = 0; d <= max; ++d)
    std::fprintf(VELK_ERR, "%d\t%f\n", d,
                 sum > 0
                     ? static_cast<double>(count[static_cast<size_t>(d)]) / static_cast<double>(sum)
                     : 0.0);
}

void NODELIST_help(FILE* fp, const char* /*sub*/) {
  NodeListOptions d;
  const auto table = node_list_table(&d);
  const vlk::OptionHelp help[] = {
      {"filter_nodes", "=file (string)",
       "A TAB-delimited file whose first fields name the nodes to write; a column then "
       "gives each node's rank before the filtering.",
       d.filter_nodes.value_or("none")},
      {"betweenness", nullptr, "Add a column of each node's betweenness centrality."},
      {"closeness", nullptr, "Add a column of each node's closeness centrality."},
  };
  std::fprintf(fp, "\"NODELIST\" (node table output module):\n");
  vlk::print_option_help(fp, table.data(), help);
}
