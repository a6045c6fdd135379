#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "VLK_ArgDef.h"
#include "VLK_IO.h"
#include "VLK_ListReaders.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_net_text.h"
#include "vlk_option_help.h"

namespace {

struct Options {
  int ch = 0;  // the names after the first are children
};

// The reader's options over *o; the help prints the same rows.
auto option_table(Options* o) {
  return std::to_array<VLK_ArgDef>({vlk::arg_onoff("ch", &o->ch), vlk::arg_end()});
}

}  // namespace

VLK_Network* PALIST_read_fp(FILE* fp, const VLK_KeyValues* options) {
  Options o;
  const auto table = option_table(&o);
  if (const char* key = vlk::rejected_key(options, table.data())) {
    std::fprintf(VELK_ERR, "EROR: PALIST_read_fp(): unknown argumnet specified: %s\n", key);
    return nullptr;
  }
  const int ch = o.ch;
  std::fprintf(VELK_ERR, "Reading a text network file (PALIST) ...\n");
  if (ch) std::fprintf(VELK_ERR, "  Child list mode specified.\n");

  vlk::NetworkPtr net(VLK_Network_new());
  vlk::LineBuffer buf;
  std::vector<char*> fields;
  for (size_t line = 1; buf.read(fp); ++line) {
    vlk::check_no_nul(buf, line);
    if (std::strcmp(buf.data, "-") == 0) break;
    // Comments, empty lines and lines without a head name carry no list.
    if (buf.data[0] == '#' || buf.data[0] == '\0' || buf.data[0] == '\t') continue;
    vlk::io::cut_fields(buf.data, fields);
    const int a = vlk::io::node_named(net.get(), fields[0])->index;
    for (size_t k = 1; k < fields.size(); ++k) {
      if (*fields[k] == '\0') continue;  // a TAB too many names no node
      const int b = vlk::io::node_named(net.get(), fields[k])->index;
      // An edge already read is not added again.
      if (ch)
        VLK_Network_add_edge_index(net.get(), a, b);
      else
        VLK_Network_add_edge_index(net.get(), b, a);
    }
  }
  std::fprintf(VELK_ERR, "In total %zu nodes and %zu edges added.\n",
               VLK_Network_num_nodes(net.get()), VLK_Network_num_edges(net.get()));
  return net.release();
}

VLK_Network* PALIST_read_file(const char* path, const VLK_KeyValues* options) {
  return vlk::io::read_path(path, options, PALIST_read_fp, "ERROR: Cannot open file: %s\n", true);
}

void PALIST_help(FILE* fp, const char* /*sub*/) {
  Options d;
  const auto table = option_table(&d);
  const vlk::OptionHelp help[] = {
      {"ch", nullptr,
       "The names after the first on a line are its children instead of its parents."},
  };
  std::fprintf(fp, "\"PALIST\" (network input module):\n");
  vlk::print_option_help(fp, table.data(), help);
}
