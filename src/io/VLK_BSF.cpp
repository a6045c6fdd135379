#include "VLK_BSF.h"

#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "VLK_IO.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

constexpr char BSF_v2l[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 128> BSF_l2v = [] {
  std::array<int, 128> v{};
  v.fill(-1);
  for (int d = 0; d < 64; ++d) v[static_cast<unsigned char>(BSF_v2l[d])] = d;
  return v;
}();

namespace {

enum class Decoded { ok, invalid, too_large };

// The value of a numeral, below limit.
Decoded decode(std::string_view s, long limit, int* out) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) >= BSF_l2v.size() ||
        BSF_l2v[static_cast<unsigned char>(c)] < 0)
      return Decoded::invalid;
  long v = 0;
  for (const char c : s) {
    v = v * 64 + BSF_l2v[static_cast<unsigned char>(c)];
    if (v >= limit) return Decoded::too_large;
  }
  *out = static_cast<int>(v);
  return Decoded::ok;
}

// The parent indexes of one node, as numerals separated by TABs, and the line end.
void write_parents(FILE* fp, const VLK_IntArray* parents) {
  char numeral[7];
  for (size_t k = 0; k < parents->size; ++k) {
    BSF_encode(numeral, parents->data[k]);
    if (k > 0) std::fputc('\t', fp);
    std::fputs(numeral, fp);
  }
  std::fputc('\n', fp);
}

// A parent field of a line (numbered from 1), or the end of the process with the decoder's
// message and the line's number.
int parent_at(const char* field, size_t line) {
  int p = -1;
  if (*field == '\0')
    vlk::fatal("ERROR: BSF: Empty field found when decoding.\n  at line %zu.\n", line);
  switch (decode(field, vlk::io::kMaxIndexedNodes, &p)) {
    case Decoded::ok:
      break;
    case Decoded::invalid:
      vlk::fatal("ERROR: BSF: Invalid character found when decoding: %s\n  at line %zu.\n", field,
                 line);
    case Decoded::too_large:
      vlk::fatal("ERROR: BSF: Too large value found when decoding: %s\n  at line %zu.\n", field,
                 line);
  }
  return p;
}

}  // namespace

void BSF_encode(char* buffer, int value) {
  if (value < 0) vlk::fatal("ERROR: BSF: Invalid value found when encoding: %d\n", value);
  char digits[7];
  int n = 0;
  do {
    digits[n++] = BSF_v2l[value % 64];
    value /= 64;
  } while (value > 0);
  for (int i = 0; i < n; ++i) buffer[i] = digits[n - 1 - i];
  buffer[n] = '\0';
}

int BSF_decode(const char* text) {
  int v = 0;
  switch (decode(text, 1L + INT_MAX, &v)) {
    case Decoded::ok:
      break;
    case Decoded::invalid:
      vlk::fatal("ERROR: BSF: Invalid character found when decoding: %s\n", text);
    case Decoded::too_large:
      vlk::fatal("ERROR: BSF: Too large value found when decoding: %s\n", text);
  }
  return v;
}

int BSF_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Writing a network in BSF format...\n");
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i)
    write_parents(fp, VLK_Network_get_parent_indexes(net, static_cast<int>(i)));
  return vlk::io::stream_result(fp);
}

int BSF_write_graph_fp(FILE* fp, const VLK_Graph* g, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Writing a graph in BSF format...\n");
  for (size_t i = 0; i < VLK_Graph_num_nodes(g); ++i)
    write_parents(fp, VLK_Graph_parents(g, static_cast<int>(i)));
  return vlk::io::stream_result(fp);
}

VLK_Network* BSF_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) {
  vlk::NetworkPtr net(VLK_Network_new());
  std::fprintf(VELK_ERR, "Reading a BSF network file...\n");
  vlk::LineBuffer buf;
  std::vector<char*> fields;
  for (size_t line = 1; buf.read(fp); ++line) {
    vlk::check_no_nul(buf, line);
    if (std::strcmp(buf.data, "-") == 0) break;
    const int child = static_cast<int>(line - 1);
    if (child >= vlk::io::kMaxIndexedNodes)
      vlk::fatal("ERROR: BSF: Too many lines.\n  at line %zu.\n", line);
    BSF_add_nodes(net.get(), child);
    if (buf.data[0] == '\0') continue;  // a node without parents
    vlk::io::cut_fields(buf.data, fields);
    for (const char* field : fields) {
      const int p = parent_at(field, line);
      BSF_add_nodes(net.get(), p);
      VLK_Network_add_edge_index(net.get(), p, child);
    }
  }
  return net.release();
}

VLK_Network* BSF_read_file(const char* path, const VLK_KeyValues* options) {
  return vlk::io::read_path(path, options, BSF_read_fp, "BSF_read_file(): cannot open file: %s\n");
}

void BSF_add_nodes(VLK_Network* net, int index) { vlk::io::add_numbered_nodes(net, index); }
