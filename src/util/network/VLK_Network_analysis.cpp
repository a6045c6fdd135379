#include "VLK_Network_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "CSMLObject.h"
#include "VLK_Type.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

namespace {

size_t nodes_of(const VLK_Network* net) { return VLK_Network_num_nodes(net); }

std::span<const int> parents_of(const VLK_Network* net, int v) {
  const VLK_IntArray* list = VLK_Network_get_parent_indexes(net, v);
  return {list->data, list->size};
}

// The children of every node, ascending, made in one pass over the parent lists.
class ChildLists {
 public:
  explicit ChildLists(const VLK_Network* net) : start_(nodes_of(net) + 1, 0) {
    const size_t n = nodes_of(net);
    for (size_t j = 0; j < n; ++j)
      for (int p : parents_of(net, static_cast<int>(j))) ++start_[static_cast<size_t>(p) + 1];
    for (size_t i = 0; i < n; ++i) start_[i + 1] += start_[i];
    child_.resize(start_[n]);
    std::vector<size_t> fill(start_.begin(), start_.end() - 1);
    for (size_t j = 0; j < n; ++j)
      for (int p : parents_of(net, static_cast<int>(j)))
        child_[fill[static_cast<size_t>(p)]++] = static_cast<int>(j);
  }
  std::span<const int> of(int v) const {
    const auto i = static_cast<size_t>(v);
    return {child_.data() + start_[i], start_[i + 1] - start_[i]};
  }

 private:
  std::vector<size_t> start_;
  std::vector<int> child_;
};

// ---- betweenness -----------------------------------------------------------------------------

// Path counts above this are scaled down, a level at a time, by a power of two (exact).
const double kScaleAbove = std::ldexp(1.0, 512);

// Brandes' accumulation from the sources 0 .. sources - 1; for_children(v, f) calls f(w) for
// every child w of v in ascending order.
//
// The path count of a node w at distance d is kept as total[w], the sum of the counts of its
// predecessors as those stand at distance d - 1, and, once distance d is complete, as
// count[w] = total[w] / 2^e with one e for all of distance d (0 until the counts grow large).
// sigma[v] / sigma[w] for a predecessor v of w is then count[v] / total[w]: the quotient the
// accumulation needs, at any size of the true counts.
template <class ForChildren>
void brandes(const VLK_Network* net, double* out, size_t sources, ForChildren&& for_children) {
  const size_t n = nodes_of(net);
  std::fill(out, out + n, 0.0);
  std::vector<int> dist(n, -1);
  std::vector<double> total(n, 0.0), count(n, 0.0), delta(n, 0.0);
  std::vector<int> order(n);  // breadth-first order: the queue, and read backwards the stack
  for (size_t s = 0; s < sources; ++s) {
    dist[s] = 0;
    total[s] = count[s] = 1.0;
    order[0] = static_cast<int>(s);
    size_t head = 0, tail = 1, level_end = 1;
    while (head < tail) {
      if (head == level_end) {  // every node of the next distance is found, with its total
        const int top = *std::max_element(order.begin() + static_cast<long>(level_end),
                                          order.begin() + static_cast<long>(tail),
                                          [&](int a, int b) { return total[a] < total[b]; });
        const double largest = total[top];
        const int shift = largest > kScaleAbove ? std::ilogb(largest) : 0;
        for (size_t i = level_end; i < tail; ++i)
          count[order[i]] = std::ldexp(total[order[i]], -shift);
        level_end = tail;
      }
      const int v = order[head++];
      const int next = dist[v] + 1;
      for_children(v, [&](int w) {
        if (dist[w] < 0) {
          dist[w] = next;
          order[tail++] = w;
        }
        if (dist[w] == next) total[w] += count[v];
      });
    }
    for (size_t i = tail; i-- > 1;) {  // order[0] is the source: it has no predecessors
      const int w = order[i];
      const int before = dist[w] - 1;
      if (total[w] > 0.0)  // never 0 unless the counts of a distance spread beyond a double
        for (int v : parents_of(net, w))
          if (dist[v] == before) delta[v] += (count[v] / total[w]) * (1.0 + delta[w]);
      out[w] += delta[w];
    }
    for (size_t i = 0; i < tail; ++i) {
      const int v = order[i];
      dist[v] = -1;
      total[v] = count[v] = delta[v] = 0.0;
    }
  }
}

// ---- ranks -----------------------------------------------------------------------------------

template <class T>
int three_way(T a, T b) {
  return (a > b) - (a < b);
}

template <class Record>
bool before(const Record& a, const Record& b, int (*cmp)(const void*, const void*)) {
  return cmp(&a, &b) < 0;
}

// Competition ranks along records sorted by key: position r (from 1) whenever the key differs
// exactly from the previous record's, else the previous rank.
template <class Record, class Key, class Store>
void competition_ranks(const std::vector<Record>& sorted, Key key, Store store) {
  int rank = 0;
  for (size_t r = 0; r < sorted.size(); ++r) {
    if (r == 0 || !(key(sorted[r]) == key(sorted[r - 1]))) rank = static_cast<int>(r) + 1;
    store(sorted[r], rank);
  }
}

CSMLObject* drawing_of(VLK_Network* net, int i) { return VLK_Network_get_node(net, i)->drawing; }

// ---- paths -----------------------------------------------------------------------------------

// The search of both path collections: depth-first along parent links (and child links after
// them when `children` is given) from start, each node at most once per path, at most maxlen
// edges deep. record(target, from, via_child) is called for every path to keep: from[x] is
// the node before x on it (-1 for start), via_child[x] whether x was reached along a child
// link.
template <class Record>
void climb(const VLK_Network* net, const VLK_IntArray* children, int target, int start, int maxlen,
           int mode, Record&& record) {
  if (start == -1) return;
  const size_t n = nodes_of(net);
  vlk::check(start >= 0 && static_cast<size_t>(start) < n, "start is a node");
  std::vector<int> position(n, -1), from(n, -1);
  std::vector<char> via_child(n, 0);
  auto candidates = [&](int v) {
    const size_t c = children != nullptr ? children[v].size : 0;
    return VLK_Network_get_parent_indexes(net, v)->size + c;
  };
  int depth = 0;
  int v = start;
  while (v != -1) {
    const int pos = ++position[v];
    if (pos == 0 && v == target && (mode == 0 || depth == maxlen)) record(v, from, via_child);
    // Beyond target no path can end there again: target is on it.
    if (v == target || depth == maxlen || static_cast<size_t>(pos) >= candidates(v)) {
      position[v] = -1;
      --depth;
      v = from[v];
      continue;
    }
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(net, v);
    const bool child_link = static_cast<size_t>(pos) >= parents->size;
    const int w = child_link ? children[v].data[static_cast<size_t>(pos) - parents->size]
                             : parents->data[pos];
    if (position[w] == -1) {
      from[w] = v;
      via_child[w] = child_link;
      ++depth;
      v = w;
    }
  }
}

// ---- subnetworks -----------------------------------------------------------------------------

// A new network filled with clones of source nodes, each source node at most once.
class Clones {
 public:
  explicit Clones(const VLK_Network* src) : src_(src), at_(nodes_of(src), -1) {}
  VLK_Network* net() const { return out_.get(); }
  VLK_Network* release() { return out_.release(); }
  bool has(int i) const { return at(i) >= 0; }
  // The index of the clone of source node i, -1 while it has none.
  int at(int i) const { return at_[static_cast<size_t>(i)]; }
  // The clone of source node i, added when not yet present.
  int add(int i) {
    int& at = at_[static_cast<size_t>(i)];
    if (at < 0) {
      at = static_cast<int>(VLK_Network_num_nodes(out_.get()));
      VLK_Network_add_node(out_.get(), VLK_Node_clone(VLK_Network_get_node(src_, i)));
    }
    return at;
  }
  // A clone of the source edge pa -> ch (with its properties) between the clones of its ends.
  void copy_edge(int pa, int ch) {
    const VLK_Edge* e = VLK_Network_get_edge_index(src_, pa, ch);
    const int parent = add(pa);
    const int child = add(ch);
    vlk::EdgePtr copy(VLK_Edge_clone(e));
    VLK_Edge_set(copy.get(), VLK_Network_get_node(out_.get(), parent),
                 VLK_Network_get_node(out_.get(), child));
    vlk::add_edge(out_.get(), copy);  // a pair already present: the copy is deleted
  }

 private:
  const VLK_Network* src_;
  vlk::NetworkPtr out_{VLK_Network_new()};
  std::vector<int> at_;
};

std::span<const int> entries(const VLK_IntArray* list) { return {list->data, list->size}; }

}  // namespace

// ---- comparators -----------------------------------------------------------------------------

int VLK_Network_int_t_cmp(const void* a, const void* b) {
  const auto* x = static_cast<const VLK_Network_int_t*>(a);
  const auto* y = static_cast<const VLK_Network_int_t*>(b);
  if (x->children != y->children) return x->children > y->children ? -1 : 1;
  return three_way(x->index, y->index);
}

int VLK_Network_double_t_cmp(const void* a, const void* b) {
  const auto* x = static_cast<const VLK_Network_double_t*>(a);
  const auto* y = static_cast<const VLK_Network_double_t*>(b);
  const bool x_none = std::isnan(x->value), y_none = std::isnan(y->value);
  if (x_none != y_none) return x_none ? 1 : -1;
  if (!x_none && x->value != y->value) return x->value > y->value ? -1 : 1;
  return three_way(x->index, y->index);
}

std::vector<VLK_Network_int_t> vlk::hub_records(const VLK_Network* net) {
  const size_t n = nodes_of(net);
  std::vector<VLK_Network_int_t> r(n);
  for (size_t i = 0; i < n; ++i) {
    const int v = static_cast<int>(i);
    r[i] = {v, VLK_Network_num_children(net, v), VLK_Network_num_parents(net, v)};
  }
  std::sort(r.begin(), r.end(),
            [](const auto& a, const auto& b) { return before(a, b, VLK_Network_int_t_cmp); });
  return r;
}

// ---- centralities ----------------------------------------------------------------------------

void vlk::betweenness(const VLK_Network* net, double* out, ChildSearch how, long sources) {
  const size_t n = nodes_of(net);
  const size_t count = sources < 0 ? n : std::min(n, static_cast<size_t>(sources));
  if (how == ChildSearch::lists) {
    const ChildLists children(net);
    brandes(net, out, count, [&](int v, auto&& f) {
      for (int w : children.of(v)) f(w);
    });
    return;
  }
  brandes(net, out, count, [&](int v, auto&& f) {
    for (size_t j = 0; j < n; ++j) {
      const std::span<const int> ps = parents_of(net, static_cast<int>(j));
      if (std::find(ps.begin(), ps.end(), v) != ps.end()) f(static_cast<int>(j));
    }
  });
}

void VLK_Network_calc_betweenness(const VLK_Network* net, double* out) {
  vlk::betweenness(net, out, vlk::ChildSearch::lists);
}

void VLK_Network_gen_prop_betweenness(VLK_Network* net) {
  const size_t n = nodes_of(net);
  std::vector<double> b(n);
  VLK_Network_calc_betweenness(net, b.data());
  std::vector<VLK_Network_double_t> r(n);
  for (size_t i = 0; i < n; ++i) {
    const int v = static_cast<int>(i);
    CSMLObject_set_property_double(drawing_of(net, v), "betweenness", b[i]);
    r[i] = {v, b[i]};
  }
  std::sort(r.begin(), r.end(),
            [](const auto& x, const auto& y) { return before(x, y, VLK_Network_double_t_cmp); });
  competition_ranks(
      r, [](const VLK_Network_double_t& x) { return x.value; },
      [&](const VLK_Network_double_t& x, int rank) {
        CSMLObject_set_property_int(drawing_of(net, x.index), "betweenness.rank", rank);
      });
}

void VLK_Network_calc_closeness(const VLK_Network* net, double* out) {
  // Breadth-first from every node: the distances a shortest-path matrix would hold, without
  // its n x n memory and n^3 time. The sum runs over j ascending, as along a matrix row.
  const size_t n = nodes_of(net);
  const ChildLists children(net);
  std::vector<int> dist(n, -1), queue(n);
  for (size_t i = 0; i < n; ++i) {
    dist[i] = 0;
    queue[0] = static_cast<int>(i);
    size_t head = 0, tail = 1;
    while (head < tail) {
      const int v = queue[head++];
      for (int w : children.of(v))
        if (dist[w] < 0) {
          dist[w] = dist[v] + 1;
          queue[tail++] = w;
        }
    }
    double sum = 0.0;
    for (size_t j = 0; j < n; ++j)
      if (j != i && dist[j] > 0) sum += 1.0 / dist[j];
    out[i] = (1.0 / static_cast<double>(n)) * sum;
    for (size_t k = 0; k < tail; ++k) dist[queue[k]] = -1;
  }
}

// ---- hubs ------------------------------------------------------------------------------------

void VLK_Network_get_hub_list(const VLK_Network* net, int* out) {
  const std::vector<VLK_Network_int_t> r = vlk::hub_records(net);
  std::transform(r.begin(), r.end(), out, [](const VLK_Network_int_t& x) { return x.index; });
}

void VLK_Network_gen_prop_hub_rank(VLK_Network* net) {
  competition_ranks(
      vlk::hub_records(net), [](const VLK_Network_int_t& x) { return x.children; },
      [&](const VLK_Network_int_t& x, int rank) {
        CSMLObject* d = drawing_of(net, x.index);
        CSMLObject_set_property_int(d, "hubness", x.children);
        CSMLObject_set_property_int(d, "hubness.rank", rank);
      });
}

VLK_Network* VLK_Network_gen_prop_hubness(VLK_Network* net) {
  VLK_Network_gen_prop_hub_rank(net);
  return net;
}

// ---- components ------------------------------------------------------------------------------

VLK_Array* VLK_Network_connected_components(const VLK_Network* net) {
  const size_t n = nodes_of(net);
  const ChildLists children(net);
  std::vector<char> marked(n, 0);
  VLK_Array* out = VLK_Array_new();
  for (size_t first = 0; first < n; ++first) {
    if (marked[first]) continue;
    VLK_IntArray* list = VLK_IntArray_new();
    VLK_IntArray_add(list, static_cast<int>(first));
    marked[first] = 1;
    auto reach = [&](int w) {
      if (marked[w]) return;
      marked[w] = 1;
      VLK_IntArray_add(list, w);
    };
    for (size_t k = 0; k < list->size; ++k) {
      const int v = list->data[k];
      for (int p : parents_of(net, v)) reach(p);
      for (int c : children.of(v)) reach(c);
    }
    VLK_Array_add(out, list);
  }
  return out;
}

// ---- edge filter -----------------------------------------------------------------------------

VLK_Network* VLK_Network_filter(VLK_Network* net, const char* key, int id, int op,
                                const void* value) {
  for (size_t k = 0; k < VLK_Network_num_edges(net);) {
    const CSMLObject* d = VLK_Network_get_edge(net, static_cast<int>(k))->drawing;
    const long at = CSMLObject_find_property(d, key);
    bool keep = false;
    if (at >= 0) {
      const VLK_Object* box = CSMLObject_get_property_value(d, static_cast<size_t>(at));
      keep = box->type == id && VLK_Type_compare_op(id, op, box->value, value) == 1;
    }
    if (keep)
      ++k;
    else
      VLK_Network_remove_edge_index(net, static_cast<int>(k));
  }
  return net;
}

// ---- paths -----------------------------------------------------------------------------------

VLK_Array* VLK_Network_collect_paths_index(const VLK_Network* net, int target, int start,
                                           int maxlen, int mode) {
  VLK_Array* out = VLK_Array_new();
  climb(net, nullptr, target, start, maxlen, mode,
        [&](int v, const std::vector<int>& from, const std::vector<char>&) {
          VLK_IntArray* path = VLK_IntArray_new();
          for (int x = v; x != -1; x = from[x]) VLK_IntArray_add(path, x);
          VLK_Array_add(out, path);
        });
  return out;
}

VLK_IntArray* VLK_Network_collect_udpaths_index(const VLK_Network* net,
                                                const VLK_IntArray* children, int target, int start,
                                                int maxlen, int mode, int directed) {
  VLK_IntArray* out = VLK_IntArray_new();
  climb(net, directed ? nullptr : children, target, start, maxlen, mode,
        [&](int v, const std::vector<int>& from, const std::vector<char>& via_child) {
          for (int x = v; from[x] != -1; x = from[x]) {
            VLK_IntArray_add(out, via_child[x] ? from[x] : x);
            VLK_IntArray_add(out, via_child[x] ? x : from[x]);
          }
        });
  return out;
}

// ---- subnetworks -----------------------------------------------------------------------------

VLK_Network* VLK_Network_subnetwork_index(const VLK_Network* net, const VLK_IntArray* list) {
  Clones sub(net);
  for (int i : entries(list)) sub.add(i);
  for (int ch : entries(list))
    for (int pa : parents_of(net, ch))
      if (sub.has(pa)) sub.copy_edge(pa, ch);
  return sub.release();
}

VLK_Network* VLK_Network_subnetwork_index_dist(const VLK_Network* net, const VLK_IntArray* list,
                                               int dist) {
  Clones sub(net);
  for (int i : entries(list)) sub.add(i);
  for (int a : entries(list))
    for (int b : entries(list)) {
      const vlk::IntArraysPtr paths(VLK_Network_collect_paths_index(net, b, a, dist, 0));
      for (size_t k = 0; k < paths->size; ++k) {
        const auto* path = static_cast<const VLK_IntArray*>(paths->data[k]);
        for (int x : entries(path)) sub.add(x);
        for (size_t e = 0; e + 1 < path->size; ++e)
          VLK_Network_add_edge_index(sub.net(), sub.at(path->data[e]), sub.at(path->data[e + 1]));
      }
    }
  return sub.release();
}

VLK_Network* VLK_Network_subnetwork_index_collect(const VLK_Network* net, const VLK_IntArray* list,
                                                  int dist) {
  if (dist < 0)
    vlk::fatal(
        "ERROR: VLK_Network_subnetwork_index_collect(): Invalid distance specified (dist = %d)\n",
        dist);
  Clones sub(net);
  if (dist == 0) return sub.release();
  const ChildLists children(net);
  std::vector<char> expanded(nodes_of(net), 0);
  std::vector<int> frontier(list->data, list->data + list->size), next;
  for (int level = 0; level < dist; ++level) {
    next.clear();
    for (int v : frontier) {
      if (expanded[v]) continue;
      sub.add(v);
      for (int p : parents_of(net, v))
        if (!expanded[p]) {
          next.push_back(p);
          sub.copy_edge(p, v);
        }
      for (int c : children.of(v))
        if (!expanded[c]) {
          next.push_back(c);
          sub.copy_edge(v, c);
        }
      expanded[v] = 1;  // after its own lists, so that a self loop is copied too
    }
    frontier.swap(next);
  }
  return sub.release();
}

void vlk::delete_int_arrays(VLK_Array* lists) {
  if (lists == nullptr) return;
  for (size_t i = 0; i < lists->size; ++i)
    VLK_IntArray_delete(static_cast<VLK_IntArray*>(lists->data[i]));
  VLK_Array_delete(lists);
}
