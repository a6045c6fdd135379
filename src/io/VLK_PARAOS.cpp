#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "VLK_ListReaders.h"
#include "VLK_Str.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

namespace {

// Every message of this reader goes to the process's standard error stream.
[[noreturn]] void broken(size_t line) {
  vlk::fatal_stderr("ERROR: Input file broken at line %zu.\n", line);
}

// The node count of the first line: "paraos", the version "1" and a positive count.
int node_count(char* first) {
  std::vector<char*> f;
  vlk::io::cut_fields(first, f);
  int n = 0;
  if (f.size() < 3 || std::strcmp(f[0], "paraos") != 0 ||
      vlk::io::parse_index(f[2], INT_MAX, &n) != vlk::io::Index::ok || n == 0)
    broken(1);
  if (std::strcmp(f[1], "1") != 0) vlk::fatal_stderr("ERROR: Format not supported.\n");
  return n;
}

}  // namespace

VLK_Network* VLK_PARAOS_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) {
  std::fprintf(stderr, "PARAOS: Reading a PARAOS network file...\n");
  vlk::LineBuffer buf;
  if (!buf.read(fp) || buf.holds_nul()) broken(1);
  const int n = node_count(buf.data);
  std::fprintf(stderr, "PARAOS: Number of nodes: %d\n", n);

  // The parents of every node line; their indexes are checked against the count as they come,
  // and the lines against it at the end, so a count larger than the file costs nothing.
  vlk::NetworkPtr net(VLK_Network_new());
  std::vector<std::vector<int>> parents;
  std::vector<char*> fields;
  for (size_t line = 2; buf.read(fp); ++line) {
    if (buf.holds_nul() || parents.size() == static_cast<size_t>(n)) broken(line);
    vlk::io::cut_fields(buf.data, fields);
    // A line beginning with a TAB names no node: no name-keyed format could write it.
    if (*fields[0] == '\0')
      vlk::fatal_stderr("ERROR: Input file broken at line %zu.\n  The node name is empty.\n", line);
    VLK_Network_add_node(net.get(), VLK_Node_new(fields[0], fields[0]));
    std::vector<int>& list = parents.emplace_back();
    for (size_t k = 1; k < fields.size(); ++k) {
      int p = -1;
      if (vlk::io::parse_index(fields[k], n, &p) != vlk::io::Index::ok) broken(line);
      list.push_back(p);
    }
  }
  if (parents.size() != static_cast<size_t>(n)) broken(parents.size() + 2);
  for (size_t i = 0; i < parents.size(); ++i)
    for (const int p : parents[i]) VLK_Network_add_edge_index(net.get(), p, static_cast<int>(i));
  return net.release();
}
