#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "VLK_IO.h"
#include "VLK_ListReaders.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

namespace {

// The index in a field of a line, below limit, or the end of the process.
int index_at(const char* field, size_t line, long limit) {
  int v = -1;
  switch (vlk::io::parse_index(field, limit, &v)) {
    case vlk::io::Index::ok:
      break;
    case vlk::io::Index::empty:
      vlk::fatal("ERROR: TXTS: Empty field found at line %zu.\n", line);
    case vlk::io::Index::invalid:
      vlk::fatal("ERROR: TXTS: Invalid index found at line %zu: %s\n", line, field);
    case vlk::io::Index::too_large:
      vlk::fatal("ERROR: TXTS: Too large index found at line %zu: %s\n", line, field);
  }
  return v;
}

// The lines of one file, numbered from 1 across its networks, cut at TABs. Lines holding a NUL
// byte end the process; empty lines name no child and are passed over.
class Lines {
 public:
  explicit Lines(FILE* fp) : fp_(fp) {}
  // False at the end of the file; `end` set at a line "-".
  bool next(bool* end) {
    *end = false;
    while (buf_.read(fp_)) {
      ++number_;
      vlk::check_no_nul(buf_, number_);
      if (std::strcmp(buf_.data, "-") == 0) {
        *end = true;
        return false;
      }
      if (buf_.data[0] == '\0') continue;
      vlk::io::cut_fields(buf_.data, fields_);
      return true;
    }
    return false;
  }
  const std::vector<char*>& fields() const { return fields_; }
  size_t number() const { return number_; }

 private:
  FILE* fp_;
  vlk::LineBuffer buf_;
  size_t number_ = 0;
  std::vector<char*> fields_;
};

}  // namespace

void TXTS_add_node(VLK_Network* net, int index) { vlk::io::add_numbered_nodes(net, index); }

VLK_Network* TXTS_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Reading TXTS network file...\n");
  vlk::NetworkPtr net(VLK_Network_new());
  Lines lines(fp);
  int edges = 0;
  bool end = false;
  while (lines.next(&end)) {
    const std::vector<char*>& f = lines.fields();
    const int c = index_at(f[0], lines.number(), vlk::io::kMaxIndexedNodes);
    if (f.size() == 1) TXTS_add_node(net.get(), c);
    for (size_t k = 1; k < f.size(); ++k) {
      const int p = index_at(f[k], lines.number(), vlk::io::kMaxIndexedNodes);
      TXTS_add_node(net.get(), std::max(c, p));
      VLK_Network_add_edge_index(net.get(), p, c);
      ++edges;
    }
  }
  std::fprintf(VELK_ERR, "  Read %d nodes, %d edges.\n",
               static_cast<int>(VLK_Network_num_nodes(net.get())), edges);
  return net.release();
}

int TXTS_count_edges(const VLK_StrArray* paths, double** counts, int n) {
  int networks = 0;
  for (size_t i = 0; i < VLK_StrArray_size(paths); ++i) {
    const char* path = VLK_StrArray_get(paths, i);
    std::fprintf(VELK_ERR, "Processing: %s\n", path);
    std::fflush(VELK_ERR);
    const vlk::FilePtr fp(std::fopen(path, "r"));
    if (fp == nullptr) continue;
    Lines lines(fp.get());
    // Networks up to each line "-"; the one after the last "-" counts too, even when empty.
    for (bool more = true; more;) {
      int nodes = 0, edges = 0;
      while (lines.next(&more)) {
        const std::vector<char*>& f = lines.fields();
        const int c = index_at(f[0], lines.number(), n);
        ++nodes;
        for (size_t k = 1; k < f.size(); ++k) {
          counts[index_at(f[k], lines.number(), n)][c] += 1.0;
          ++edges;
        }
      }
      std::fprintf(VELK_ERR, "  Read %d nodes, %d edges.\n", nodes, edges);
      ++networks;
    }
  }
  return networks;
}
