// What the tests of the network formats share: reading a text through a stream reader with an
// option string, with what it wrote to VELK_ERR and to the standard error stream; the fatal
// paths with both streams; a network as plain lists of labels and edges; a drawing record's
// typed properties as plain (key, type name, value text) entries, for comparing what a reader
// gave with what was written.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "CSMLObject.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_Object.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace net_test {

using ReadFp = VLK_Network* (*)(FILE*, const VLK_KeyValues*);
using Strings = std::vector<std::string>;
using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;
using Props = std::vector<std::tuple<std::string, std::string, std::string>>;

inline Props props(const CSMLObject* obj) {
  Props out;
  for (size_t i = 0; i < CSMLObject_num_properties(obj); ++i) {
    const VLK_Object* box = CSMLObject_get_property_value(obj, i);
    out.emplace_back(CSMLObject_get_property_key(obj, i), VLK_Object_type_name(box),
                     vlk_test::capture([&](FILE* fp) { VLK_Object_fprint(box, fp); }));
  }
  return out;
}

// Points the process's standard error stream (the FILE*, not the descriptor) at a temporary
// file for the lifetime of the object.
class CaptureStderr {
 public:
  CaptureStderr() : file_(std::tmpfile()), saved_(stderr) { stderr = file_; }
  ~CaptureStderr() {
    stderr = saved_;
    std::fclose(file_);
  }
  CaptureStderr(const CaptureStderr&) = delete;
  CaptureStderr& operator=(const CaptureStderr&) = delete;
  std::string text() {
    std::fflush(file_);
    std::string out;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) out += static_cast<char>(c);
    return out;
  }

 private:
  FILE* file_;
  FILE* saved_;
};

// Nodes as "name/alias" in index order, edges as "parent>child" names in edge order.
struct Seen {
  Strings nodes, edges;
  bool operator==(const Seen&) const = default;
};

inline Seen seen(const VLK_Network* net) {
  Seen s;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const VLK_Node* n = VLK_Network_get_node(net, static_cast<int>(i));
    s.nodes.push_back(std::string(n->name) + "/" + n->alias);
  }
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    s.edges.push_back(std::string(e->parent->name) + ">" + e->child->name);
  }
  return s;
}

inline void PrintTo(const Seen& s, std::ostream* os) {
  *os << "nodes {";
  for (const std::string& n : s.nodes) *os << " " << n;
  *os << " } edges {";
  for (const std::string& e : s.edges) *os << " " << e;
  *os << " }";
}

struct Read {
  vlk::NetworkPtr net;
  std::string err;          // what the reader wrote to VELK_ERR
  std::string stderr_text;  // and to the standard error stream
};

// Reads text as a file with the options given as an argument string (null: no options).
inline Read read_text(ReadFp reader, const std::string& text, const char* options = nullptr) {
  vlk_test::TempFile file(text);
  vlk_test::CaptureErr err;
  CaptureStderr on_stderr;
  VLK_KeyValues* list = options ? VLK_KeyValues_parse(options) : nullptr;
  FILE* fp = std::fopen(file.path().c_str(), "r");
  Read r;
  r.net.reset(reader(fp, list));
  std::fclose(fp);
  VLK_KeyValues_delete(list);
  r.err = err.text();
  r.stderr_text = on_stderr.text();
  return r;
}

// How a call that ends the process ended, with what it wrote to both streams.
struct Stop {
  vlk_test::Ending end;
  std::string stderr_text;
};

inline Stop stop_of(const std::function<void()>& call) {
  Stop s;
  s.end = vlk_test::run_fatal(call);
  s.stderr_text = s.end.stderr_text;
  return s;
}

// The reader, given text, ends the process with status 1 after writing exactly these texts.
inline Stop stop_reading(ReadFp reader, const std::string& text) {
  vlk_test::TempFile file(text);
  return stop_of([&] {
    FILE* fp = std::fopen(file.path().c_str(), "r");
    VLK_Network_delete(reader(fp, nullptr));
    std::fclose(fp);
  });
}

// Unique names "n<i>", aliases "alias <i>" (empty for every fifth node), random edges with
// self loops among them, and a few nodes left without any edge.
inline vlk::NetworkPtr random_network(unsigned seed, int nodes, int edges) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (int i = 0; i < nodes; ++i) {
    const std::string name = "n" + std::to_string(i);
    const std::string alias = i % 5 == 3 ? "" : "alias " + std::to_string(i);
    VLK_Network_add_node(net.get(), VLK_Node_new(name.c_str(), alias.c_str()));
  }
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> node(0, nodes - 4);  // the last three stay isolated
  while (VLK_Network_num_edges(net.get()) < static_cast<size_t>(edges))
    VLK_Network_add_edge_index(net.get(), node(gen), node(gen));
  return net;
}

// Each node's name with the names of its parents in list order; nodes without any edge are
// left out when `linked_only`.
inline std::map<std::string, Strings> parent_lists(const VLK_Network* net, bool linked_only) {
  std::map<std::string, Strings> out;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const int v = static_cast<int>(i);
    if (linked_only && VLK_Network_node_degree(net, v) == 0) continue;
    Strings& parents = out[VLK_Network_node_name(net, v)];
    const VLK_IntArray* list = VLK_Network_get_parent_indexes(net, v);
    for (size_t k = 0; k < list->size; ++k)
      parents.emplace_back(VLK_Network_node_name(net, list->data[k]));
  }
  return out;
}

}  // namespace net_test
