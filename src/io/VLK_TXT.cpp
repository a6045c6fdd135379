#include "VLK_TXT.h"

#include <strings.h>

#include <array>
#include <cstdio>
#include <vector>

#include "VLK_ArgDef.h"
#include "VLK_IO.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_net_text.h"
#include "vlk_option_help.h"

namespace {

using vlk::or_empty;

struct ReadOptions {
  int ppi = 0;
  int selfloop = 1;
  int w = 0;
  int ch = 0;
};

struct WriteOptions {
  int header = 0;
  int prop = 0;
  int alias = 0;
};

// The options of each direction over *o; the help prints the same rows.
auto read_table(ReadOptions* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_onoff("ppi", &o->ppi),
      vlk::arg_onoff("PPI", &o->ppi),
      vlk::arg_onoff("selfloop", &o->selfloop),
      vlk::arg_onoff("w", &o->w),
      vlk::arg_onoff("ch", &o->ch),
      vlk::arg_end(),
  });
}

auto write_table(WriteOptions* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_onoff("header", &o->header),
      vlk::arg_onoff("H", &o->header),
      vlk::arg_onoff("prop", &o->prop),
      vlk::arg_onoff("P", &o->prop),
      vlk::arg_onoff("alias", &o->alias),
      vlk::arg_onoff("A", &o->alias),
      vlk::arg_end(),
  });
}

// One line's parent and child, the two edges of a ppi line, and the checks between them.
class Reader {
 public:
  explicit Reader(const ReadOptions& o) : o_(o) {}

  void line(VLK_Network* net, const char* first, const char* second) {
    VLK_Node* a = VLK_Network_find_node(net, first);
    VLK_Node* b = VLK_Network_find_node(net, second);
    const bool both_known = a != nullptr && b != nullptr;
    if (a == nullptr) a = vlk::io::node_named(net, first);
    if (b == nullptr) b = vlk::io::node_named(net, second);
    VLK_Node* parent = o_.ch ? b : a;
    VLK_Node* child = o_.ch ? a : b;
    if (both_known) {
      if (VLK_Network_find_edge(net, parent, child) != nullptr) {
        if (o_.w)
          std::fprintf(VELK_ERR, "WARNING: already exists: %s %s %s\n", a->name,
                       o_.ch ? "<-" : " ->", b->name);
        return;
      }
      if (o_.ppi && VLK_Network_find_edge(net, child, parent) != nullptr) {
        if (o_.w)
          std::fprintf(VELK_ERR, "WARNING: The reverse edge already exists. %s %s %s\n", b->name,
                       o_.ch ? "<-" : "->", a->name);
        return;
      }
    }
    if (!o_.selfloop && a == b) {
      if (o_.w)
        std::fprintf(VELK_ERR, "WRNING: Self loop detected & ignored: %s (%s)\n", a->name,
                     or_empty(a->alias));
      return;
    }
    VLK_Network_add_edge_index(net, parent->index, child->index);
    if (o_.ppi) VLK_Network_add_edge_index(net, child->index, parent->index);
  }

 private:
  const ReadOptions& o_;
};

}  // namespace

VLK_Network* TXT_read_fp(FILE* fp, const VLK_KeyValues* options) {
  ReadOptions o;
  const auto table = read_table(&o);
  if (const char* key = vlk::rejected_key(options, table.data())) {
    std::fprintf(VELK_ERR, "EROR: TXT_read_fp(): unknown argumnet specified: %s\n", key);
    return nullptr;
  }
  std::fprintf(VELK_ERR, "Reading a text network file...\n");
  if (o.ppi) std::fprintf(VELK_ERR, "  PPI specified.\n");
  if (o.ch) std::fprintf(VELK_ERR, "  Children list specified.\n");

  vlk::NetworkPtr net(VLK_Network_new());
  Reader reader(o);
  vlk::LineBuffer buf;
  std::vector<char*> fields;
  for (size_t line = 1; buf.read(fp); ++line) {
    vlk::check_no_nul(buf, line);
    vlk::io::cut_fields(buf.data, fields);
    // An empty field names no node (a trailing TAB after a single name, say).
    if (fields.size() < 2 || *fields[0] == '\0' || *fields[1] == '\0') continue;
    reader.line(net.get(), fields[0], fields[1]);
  }
  std::fprintf(stderr, "In total %zu nodes and %zu edges added.\n",
               VLK_Network_num_nodes(net.get()), VLK_Network_num_edges(net.get()));
  return net.release();
}

int TXT_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options) {
  WriteOptions o;
  const auto table = write_table(&o);
  if (const char* key = vlk::rejected_key(options, table.data())) {
    std::fprintf(VELK_ERR, "EROR: TXT_write_fp(): unknown argumnet specified: %s\n", key);
    return 1;
  }
  vlk::io::refuse(vlk::io::txt_write_problem(net, options));
  const std::vector<const char*> keys =
      o.prop ? vlk::io::edge_property_keys(net) : std::vector<const char*>();
  const size_t m = VLK_Network_num_edges(net);
  std::fprintf(stderr, "Outputting in TXT format.\n");
  std::fprintf(stderr, "  %zu nodes, %zu edges.\n", VLK_Network_num_nodes(net), m);

  if (o.header) {
    std::fputs(o.alias ? "Parent\tParent\tChild\tChild" : "Parent\tChild", fp);
    for (const char* key : keys) std::fprintf(fp, "\t%s", key);
    std::fputc('\n', fp);
  }
  for (size_t k = 0; k < m; ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    if (o.alias)
      std::fprintf(fp, "%s\t%s\t%s\t%s", or_empty(e->parent->name), or_empty(e->parent->alias),
                   or_empty(e->child->name), or_empty(e->child->alias));
    else
      std::fprintf(fp, "%s\t%s", or_empty(e->parent->name), or_empty(e->child->name));
    for (const char* key : keys) {
      std::fputc('\t', fp);
      VLK_Edge_print_property_value(e, key, fp);
    }
    std::fputc('\n', fp);
  }
  return vlk::io::stream_result(fp);
}

std::string vlk::io::txt_write_problem(const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  // Lines end at CR too, and only the nodes at the ends of edges are written.
  return name_problem(net, "TXT", {.ends = "\t\n\r"}, nullptr, true);
}

void TXT_help(FILE* fp, const char* sub) {
  const bool output = sub == nullptr || strcasecmp(sub, "output") == 0;
  const bool input = sub == nullptr || strcasecmp(sub, "input") == 0;
  std::fprintf(fp, "\"TXT\" (network input/output module):\n");
  if (output) {
    WriteOptions d;
    const auto table = write_table(&d);
    const vlk::OptionHelp help[] = {
        {"alias A", nullptr, "Output alias names."},
        {"header H", nullptr, "Output the header line."},
        {"prop P", nullptr, "Output edge properties."},
    };
    std::fprintf(fp, "<\"output\" options>\n");
    vlk::print_option_help(fp, table.data(), help);
  }
  if (input) {
    if (output) std::fputc('\n', fp);
    ReadOptions d;
    const auto table = read_table(&d);
    const vlk::OptionHelp help[] = {
        {"ppi PPI", nullptr, "Regard the network as an undirected graph."},
        {"selfloop", nullptr, "Allow self loops."},
        {"w", nullptr, "Warn of the lines skipped."},
        {"ch", nullptr, "The first field of a line is the child, the second the parent."},
    };
    std::fprintf(fp, "<\"input\" options>\n");
    vlk::print_option_help(fp, table.data(), help);
  }
  if (!output && !input) std::fprintf(fp, "Unknown sub category specified: %s\n", sub);
  std::fprintf(fp, "(TXT module sub categories: \"input\" \"output\")\n");
}
