#include "vlk_net_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "CSMLObject.h"
#include "vlk_fatal.h"

namespace vlk::io {

void cut_fields(char* line, std::vector<char*>& fields, char sep) {
  fields.clear();
  fields.push_back(line);
  for (char* p = line; (p = std::strchr(p, sep)) != nullptr;) {
    *p++ = '\0';
    fields.push_back(p);
  }
}

Index parse_index(std::string_view field, long limit, int* out) {
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  if (field.empty()) return Index::empty;
  long v = 0;
  bool large = false;
  for (const char c : field) {
    if (c < '0' || c > '9') return Index::invalid;
    // Past the limit only the digits are still checked; the value cannot overflow.
    if (!large) v = v * 10 + (c - '0');
    large = large || v >= limit;
  }
  if (large) return Index::too_large;
  *out = static_cast<int>(v);
  return Index::ok;
}

void add_numbered_nodes(VLK_Network* net, int index) {
  std::string name;
  for (size_t n = VLK_Network_num_nodes(net); static_cast<long>(n) <= index; ++n) {
    // Built in place rather than "G" + ..., which GCC 12 at -O3 warns about wrongly (-Wrestrict).
    name.assign(1, 'G').append(std::to_string(n + 1));
    VLK_Network_add_node(net, VLK_Node_new(name.c_str(), name.c_str()));
  }
}

VLK_Node* node_named(VLK_Network* net, const char* name) {
  if (VLK_Node* node = VLK_Network_find_node(net, name)) return node;
  VLK_Node* node = VLK_Node_new(name, name);
  if (node == nullptr || VLK_Network_add_node(net, node) == nullptr)
    vlk::fatal("ERROR: cannot allocate a node: %s\n", name);
  return node;
}

std::string printable(std::string_view s, size_t max) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < max; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7f) {
      constexpr char kHex[] = "0123456789abcdef";
      ((out += "\\x") += kHex[c >> 4]) += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (s.size() > max) out += "...";
  return out;
}

namespace {

// Every key not seen before, over the drawing records 0 .. count - 1 in order.
template <class Drawing>
std::vector<const char*> first_keys(size_t count, Drawing drawing) {
  std::vector<const char*> keys;
  std::unordered_set<std::string_view> seen;
  for (size_t k = 0; k < count; ++k) {
    const CSMLObject* obj = drawing(static_cast<int>(k));
    for (size_t i = 0; i < CSMLObject_num_properties(obj); ++i) {
      const char* key = CSMLObject_get_property_key(obj, i);
      if (seen.insert(key).second) keys.push_back(key);
    }
  }
  return keys;
}

}  // namespace

std::vector<const char*> edge_property_keys(const VLK_Network* net) {
  return first_keys(VLK_Network_num_edges(net),
                    [net](int k) { return VLK_Network_get_edge(net, k)->drawing; });
}

std::vector<const char*> node_property_keys(const VLK_Network* net) {
  return first_keys(VLK_Network_num_nodes(net),
                    [net](int i) { return VLK_Network_get_node(net, i)->drawing; });
}

}  // namespace vlk::io
