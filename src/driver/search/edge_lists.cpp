#include "search/edge_lists.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "VLK_Util_jobs.h"
#include "velkcom.h"

namespace {

// The edges of a list, with each node's incident edges; edges are undirected and a loop is
// incident once.
struct EdgeList {
  const VLK_IntArray* pairs;
  int m;
  explicit EdgeList(const VLK_IntArray* e) : pairs(e), m(static_cast<int>(e->size / 2)) {}
  int a(int e) const { return pairs->data[2 * static_cast<size_t>(e)]; }
  int b(int e) const { return pairs->data[2 * static_cast<size_t>(e) + 1]; }
  int other(int e, int x) const { return a(e) == x ? b(e) : a(e); }
  // Each node's edges in the given order of edge numbers.
  std::unordered_map<int, std::vector<int>> incidence(const std::vector<int>& order) const {
    std::unordered_map<int, std::vector<int>> out;
    for (int e : order) {
      out[a(e)].push_back(e);
      if (b(e) != a(e)) out[b(e)].push_back(e);
    }
    return out;
  }
  // The edge numbers in a random order of random().
  std::vector<int> random_order() const {
    std::vector<int> order(static_cast<size_t>(m));
    VLK_Util_random_perm(order.data(), m);
    return order;
  }
};

// A node set in out[0 .. count-1] with a membership test.
class Members {
 public:
  Members(int* out, int count) : out_(out), count_(count), in_(out, out + count) {}
  int count() const { return count_; }
  int at(int i) const { return out_[i]; }
  void add(int v) {
    if (in_.insert(v).second) out_[count_++] = v;
  }

 private:
  int* out_;
  int count_;
  std::unordered_set<int> in_;
};

}  // namespace

long find_int_ar(const int* a, size_t n, int x) {
  const int* it = std::find(a, a + n, x);
  return it != a + n ? static_cast<long>(it - a) : -1;
}

VLK_Array* collect_connected(const VLK_IntArray* edges) {
  VLK_Array* out = VLK_Array_new();
  const EdgeList list(edges);
  std::vector<int> in_order(static_cast<size_t>(list.m));
  for (int e = 0; e < list.m; ++e) in_order[static_cast<size_t>(e)] = e;
  const auto incident = list.incidence(in_order);
  // The nodes in order of first appearance, and whether a component holds each yet.
  std::vector<int> nodes;
  std::unordered_map<int, size_t> position;
  for (int e = 0; e < list.m; ++e)
    for (int v : {list.a(e), list.b(e)})
      if (position.try_emplace(v, nodes.size()).second) nodes.push_back(v);
  std::vector<char> taken(nodes.size(), 0);
  for (size_t start = 0; start < nodes.size(); ++start) {
    if (taken[start] != 0) continue;
    VLK_IntArray* members = VLK_IntArray_new();
    VLK_IntArray* component_edges = VLK_IntArray_new();
    VLK_Array_add(out, members);
    VLK_Array_add(out, component_edges);
    VLK_IntArray_add(members, nodes[start]);
    taken[start] = 1;
    for (size_t next = 0; next < members->size; ++next) {
      for (int e : incident.at(members->data[next])) {
        VLK_IntArray_add(component_edges, list.a(e));
        VLK_IntArray_add(component_edges, list.b(e));
        for (int v : {list.a(e), list.b(e)}) {
          char& t = taken[position.at(v)];
          if (t == 0) {
            t = 1;
            VLK_IntArray_add(members, v);
          }
        }
      }
    }
  }
  return out;
}

void show_components(const VLK_Array* components) {
  const size_t count = components->size / 2;
  std::fprintf(VELK_ERR, " Components = %lu\n", static_cast<unsigned long>(count));
  for (size_t c = 0; c < count; ++c) {
    const auto* members = static_cast<const VLK_IntArray*>(components->data[2 * c]);
    const auto* pairs = static_cast<const VLK_IntArray*>(components->data[2 * c + 1]);
    std::fprintf(VELK_ERR, "\n --- Component %d ---\n", static_cast<int>(c));
    std::fprintf(VELK_ERR, "  Nodes:");
    for (size_t k = 0; k < members->size; ++k) std::fprintf(VELK_ERR, " %d", members->data[k]);
    std::fprintf(VELK_ERR, "\n  Edges:");
    for (size_t k = 0; k + 1 < pairs->size; k += 2)
      std::fprintf(VELK_ERR, "  %d->%d", pairs->data[k], pairs->data[k + 1]);
    std::fprintf(VELK_ERR, "\n");
  }
  std::fflush(VELK_ERR);
}

int connected_subgraph(const VLK_IntArray* edges, int start, int size, int* out) {
  const EdgeList list(edges);
  const auto incident = list.incidence(list.random_order());
  std::vector<char> used(static_cast<size_t>(list.m), 0);
  out[0] = start;
  Members set(out, 1);
  for (int i = 0; i < set.count(); ++i) {
    const int x = set.at(i);
    const auto it = incident.find(x);
    if (it == incident.end()) continue;
    for (int e : it->second) {
      if (used[static_cast<size_t>(e)] != 0) continue;
      used[static_cast<size_t>(e)] = 1;
      set.add(list.other(e, x));
      if (set.count() == size) return size;
    }
  }
  return set.count();
}

int connected_subgraph2(const VLK_IntArray* edges, int size, int* out, int count) {
  const EdgeList list(edges);
  const auto incident = list.incidence(list.random_order());
  std::vector<char> used(static_cast<size_t>(list.m), 0);
  std::unordered_map<int, size_t> next;  // per member, the first of its edges not yet looked at
  Members set(out, count);
  for (;;) {
    const int before = set.count();
    for (int i = 0; i < set.count(); ++i) {
      const int x = set.at(i);
      const auto it = incident.find(x);
      if (it == incident.end()) continue;
      const std::vector<int>& own = it->second;
      size_t& k = next[x];
      while (k < own.size() && used[static_cast<size_t>(own[k])] != 0) ++k;
      if (k == own.size()) continue;
      const int e = own[k];
      used[static_cast<size_t>(e)] = 1;
      set.add(list.other(e, x));
      if (set.count() == size) return size;
    }
    if (set.count() == before) return set.count();
  }
}
