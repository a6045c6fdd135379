#include "vlk_net_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "CSMLObject.h"
#include "VLK_Str.h"
#include "VLK_Type.h"
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

const char* field_problem(std::string_view s, const FieldRules& rules) {
  if (s.empty()) return rules.may_be_empty ? nullptr : "is empty";
  for (const char c : s) {
    if (c == '\0' || std::strchr(rules.ends, c) == nullptr) continue;
    return c == '\t' ? "holds a TAB, which separates the fields" : "holds a line end";
  }
  if (rules.leading_trimmed && (s.front() == ' ' || s.front() == '\t'))
    return "starts with a blank, which the reader trims";
  if (rules.trailing_trimmed && s.back() == ' ') return "ends with a blank, which the reader trims";
  return nullptr;
}

std::string name_problem(const VLK_Network* net, const char* writer, const FieldRules& name,
                         const FieldRules* alias, bool edge_ends) {
  const size_t n = VLK_Network_num_nodes(net);
  std::vector<char> written(n, edge_ends ? 0 : 1);
  for (size_t k = 0; edge_ends && k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    written[static_cast<size_t>(e->parent->index)] = 1;
    written[static_cast<size_t>(e->child->index)] = 1;
  }
  const auto problem = [&](size_t i, const char* what, const char* text, const char* why) {
    return std::string("ERROR: ") + writer + ": cannot write node " + std::to_string(i) +
           " (counted from 0): its " + what + " \"" + printable(text) + "\" " + why +
           ", and would not read back\n";
  };
  for (size_t i = 0; i < n; ++i) {
    if (written[i] == 0) continue;
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    const char* label = vlk::or_empty(node->name);
    if (const char* why = field_problem(label, name)) return problem(i, "name", label, why);
    if (alias == nullptr) continue;
    label = vlk::or_empty(node->alias);
    if (const char* why = field_problem(label, *alias)) return problem(i, "alias", label, why);
  }
  return {};
}

void refuse(const std::string& problem) {
  if (!problem.empty()) vlk::fatal_stderr("%s", problem.c_str());
}

bool value_text(const void* value, int type, std::string* text) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buf, &size);
  if (out == nullptr) return false;
  VLK_Type_fprint_value(value, type, out);
  const bool ok = std::fclose(out) == 0;
  if (ok) text->assign(buf, size);
  std::free(buf);
  return ok;
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
