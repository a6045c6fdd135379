#include "VLK_Network_layout.h"

#include <dSFMT.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_ArgDef.h"
#include "VLK_Network_analysis.h"
#include "vlk_fatal.h"

namespace {

constexpr int kMaxDepth = 1000;
constexpr double kBaseSize = 10.0;
constexpr double kSizeRange = 30.0;

VLK_Node* node_at(const VLK_Network* net, size_t i) {
  return static_cast<VLK_Node*>(net->nodes->data[i]);
}
VLK_Edge* edge_at(const VLK_Network* net, size_t k) {
  return static_cast<VLK_Edge*>(net->edges->data[k]);
}

int three_way(auto a, auto b) { return (a > b) - (a < b); }

// The size of a node whose key is `value` when `top` is the largest key: the range 10 .. 40,
// or the base size when there is no range to spread over.
double scaled_size(double value, double top) {
  return top > 0.0 ? (kSizeRange / top) * value + kBaseSize : kBaseSize;
}

int capped_depth(std::int64_t d) { return static_cast<int>(std::min<std::int64_t>(d, kMaxDepth)); }

// Edge j behind every node: depth n + 1 + j.
void edges_behind_nodes(VLK_Network* net) {
  const auto n = static_cast<std::int64_t>(net->nodes->size);
  for (size_t j = 0; j < net->edges->size; ++j)
    VLK_Edge_set_depth(edge_at(net, j), capped_depth(n + 1 + static_cast<std::int64_t>(j)));
}

// std::stable_sort with a qsort comparator: equal records keep their order.
template <class T>
void stable_sort_by(std::vector<T>& v, int (*cmp)(const void*, const void*)) {
  std::stable_sort(v.begin(), v.end(), [cmp](const T& a, const T& b) { return cmp(&a, &b) < 0; });
}

// Binds a layout's options; an entry the table does not take ends the process.
void bind_options(const VLK_KeyValues* options, const VLK_ArgDef* table, const char* function) {
  if (const char* key = vlk::rejected_key(options, table))
    vlk::fatal("ERROR: %s(): unknown argument specified: %s\n", function, key);
}

void order_bounds(double& lo, double& hi) {
  if (hi < lo) std::swap(lo, hi);
}

// The next double of [1, 2) from the generator's state, refilled when used up.
double close1_open2(dsfmt_t& state) {
  if (state.idx >= DSFMT_N64) {
    dsfmt_gen_rand_all(&state);
    state.idx = 0;
  }
  return (&state.status[0].d[0])[state.idx++];
}

template <class Fn>
void each_selected(size_t count, const VLK_IntArray* list, Fn&& fn) {
  if (list == nullptr) {
    for (size_t i = 0; i < count; ++i) fn(i);
    return;
  }
  for (size_t k = 0; k < list->size; ++k) {
    const int i = list->data[k];
    if (i >= 0 && static_cast<size_t>(i) < count) fn(static_cast<size_t>(i));
  }
}

template <class Fn>
void each_node(VLK_Network* net, const VLK_IntArray* list, Fn&& fn) {
  each_selected(net->nodes->size, list, [&](size_t i) { fn(node_at(net, i)); });
}

int box_depth(const VLK_Object* box, int id) {
  if (box == nullptr || box->type != id || box->value == nullptr) return INT_MAX;
  switch (id) {
    case VLK_TYPE_NODE:
      return static_cast<const VLK_Node*>(box->value)->drawing->depth;
    case VLK_TYPE_EDGE:
      return static_cast<const VLK_Edge*>(box->value)->drawing->depth;
    default:
      return static_cast<const CSMLObject*>(box->value)->depth;
  }
}

const VLK_Object* box_at(const void* p) { return *static_cast<const VLK_Object* const*>(p); }

}  // namespace

void VLK_Network_layout_circle(VLK_Network* net) {
  const size_t n = net->nodes->size;
  if (n == 0) return;
  const double step = 6.283185307 / static_cast<double>(n);
  int top = 0;
  for (size_t k = 0; k < n; ++k) {
    const double t = static_cast<double>(k) * step + 1.570796325;
    VLK_Node_set_position(node_at(net, k), 500.0 + 350.0 * std::cos(t),
                          400.0 + 350.0 * std::sin(t));
    top = std::max(top, VLK_Network_num_children(net, static_cast<int>(k)));
  }
  for (size_t k = 0; k < n; ++k)
    VLK_Node_set_size(node_at(net, k),
                      scaled_size(VLK_Network_num_children(net, static_cast<int>(k)), top));
}

void VLK_Network_layout_random(VLK_Network* net, const VLK_Array* nodes,
                               const VLK_KeyValues* options) {
  double x1 = 10.0, x2 = 640.0, y1 = 10.0, y2 = 480.0;
  unsigned seed = 0;
  const VLK_ArgDef table[] = {
      vlk::arg_double("x1", &x1), vlk::arg_double("x2", &x2),   vlk::arg_double("y1", &y1),
      vlk::arg_double("y2", &y2), vlk::arg_uint("seed", &seed), vlk::arg_end(),
  };
  bind_options(options, table, "VLK_Network_layout_random");
  order_bounds(x1, x2);
  order_bounds(y1, y2);

  alignas(16) dsfmt_t state;  // the library may be built for aligned SSE2 access
  dsfmt_chk_init_gen_rand(&state, seed, DSFMT_MEXP);
  const VLK_Array* list = nodes != nullptr ? nodes : net->nodes;
  for (size_t i = 0; i < list->size; ++i) {
    const double r1 = close1_open2(state);
    const double r2 = close1_open2(state);
    VLK_Node_set_position(static_cast<VLK_Node*>(list->data[i]), x1 + (x2 - x1) * (r1 - 1.0),
                          y1 + (y2 - y1) * (r2 - 1.0));
  }
}

void VLK_Network_layout_fit(VLK_Network* net, const VLK_KeyValues* options) {
  double x1 = 50.0, x2 = 900.0, y1 = 50.0, y2 = 600.0, dx = 0.0, dy = 0.0;
  const VLK_ArgDef table[] = {
      vlk::arg_double("x1", &x1),
      vlk::arg_double("x2", &x2),
      vlk::arg_double("y1", &y1),
      vlk::arg_double("y2", &y2),
      vlk::arg_double("x", &dx),
      vlk::arg_double("y", &dy),
      vlk::arg_end(),
  };
  bind_options(options, table, "VLK_Network_layout_fit");
  order_bounds(x1, x2);
  order_bounds(y1, y2);
  const size_t n = net->nodes->size;
  if (n == 0) return;

  double min_x = DBL_MAX, max_x = -DBL_MAX, min_y = DBL_MAX, max_y = -DBL_MAX;
  for (size_t i = 0; i < n; ++i) {
    const VLK_Node* v = node_at(net, i);
    min_x = std::min(min_x, VLK_Node_get_position_x(v));
    max_x = std::max(max_x, VLK_Node_get_position_x(v));
    min_y = std::min(min_y, VLK_Node_get_position_y(v));
    max_y = std::max(max_y, VLK_Node_get_position_y(v));
  }
  // An axis without extent has nothing to scale: its nodes go to the low bound.
  const double sx = max_x > min_x ? (x2 - x1) / (max_x - min_x) : 0.0;
  const double sy = max_y > min_y ? (y2 - y1) / (max_y - min_y) : 0.0;
  for (size_t i = 0; i < n; ++i) {
    VLK_Node* v = node_at(net, i);
    VLK_Node_set_position(v, dx + x1 + sx * (VLK_Node_get_position_x(v) - min_x),
                          dy + y1 + sy * (VLK_Node_get_position_y(v) - min_y));
  }
}

void VLK_Network_layout_hub_size(VLK_Network* net) {
  const std::vector<VLK_Network_int_t> records = vlk::hub_records(net);
  int top = 0;
  for (const VLK_Network_int_t& r : records) top = std::max(top, r.children);
  for (size_t r = 0; r < records.size(); ++r) {
    VLK_Node* v = node_at(net, static_cast<size_t>(records[r].index));
    VLK_Node_set_size(v, scaled_size(records[r].children, top));
    VLK_Node_set_depth(v, capped_depth(static_cast<std::int64_t>(r) + 1));
  }
  edges_behind_nodes(net);
}

void VLK_Network_layout_prop_node_size(VLK_Network* net, const char* key) {
  const size_t n = net->nodes->size;
  std::vector<VLK_Network_double_t> records(n);
  std::vector<char> has(n, 0);
  double top = 0.0;
  for (size_t i = 0; i < n; ++i) {
    double value = -DBL_MAX;
    if (const VLK_Object* box = VLK_Node_get_property(node_at(net, i), key)) {
      if (box->type == VLK_TYPE_INT) {
        value = *static_cast<const int*>(box->value);
      } else if (box->type == VLK_TYPE_DOUBLE) {
        value = *static_cast<const double*>(box->value);
      } else {
        vlk::fatal("FATAL ERROR: VLK_Network_layout_prop_node_size(): Unsupported type: %s\n",
                   VLK_Object_type_name(box));
      }
      has[i] = 1;
      top = std::max(top, value);
    }
    records[i] = {static_cast<int>(i), value};
  }
  stable_sort_by(records, VLK_Network_double_t_cmp);
  for (size_t r = 0; r < n; ++r) {
    const auto i = static_cast<size_t>(records[r].index);
    VLK_Node* v = node_at(net, i);
    VLK_Node_set_size(v, has[i] ? scaled_size(records[r].value, top) : kBaseSize);
    VLK_Node_set_depth(v, capped_depth(static_cast<std::int64_t>(r) + 1));
  }
  edges_behind_nodes(net);
}

void VLK_Network_move_front(VLK_Network* net, VLK_ObjArray* objects) {
  const size_t k = objects != nullptr ? objects->size : 0;
  if (k > 1)
    std::stable_sort(objects->data, objects->data + k, [](VLK_Object* a, VLK_Object* b) {
      return VLK_Network_move_front_cmp(&a, &b) < 0;
    });
  const size_t total = VLK_Network_total_CSMLObjects(net);
  for (size_t i = 0; i < total; ++i) {
    CSMLObject* d = VLK_Network_get_total_CSMLObject(net, static_cast<int>(i));
    CSMLObject_set_depth(
        d, capped_depth(static_cast<std::int64_t>(d->depth) + static_cast<std::int64_t>(k)));
  }
  for (size_t i = 0; i < k; ++i) {
    const VLK_Object* box = objects->data[i];
    if (box != nullptr && box->type == VLK_TYPE_CSMLOBJECT && box->value != nullptr)
      CSMLObject_set_depth(static_cast<CSMLObject*>(box->value),
                           capped_depth(static_cast<std::int64_t>(i) + 1));
  }
}

VLK_Network* VLK_Network_set_node_color(VLK_Network* net, const VLK_IntArray* nodes, int r, int g,
                                        int b, int a) {
  each_node(net, nodes, [&](VLK_Node* v) { VLK_Node_set_color(v, r, g, b, a); });
  return net;
}

VLK_Network* VLK_Network_set_node_color_by_names(VLK_Network* net, const VLK_StrArray* names, int r,
                                                 int g, int b, int a) {
  if (names == nullptr) return VLK_Network_set_node_color(net, nullptr, r, g, b, a);
  for (size_t k = 0; k < names->size; ++k)
    if (VLK_Node* v = VLK_Network_find_node(net, names->data[k])) VLK_Node_set_color(v, r, g, b, a);
  return net;
}

VLK_Network* VLK_Network_set_node_size(VLK_Network* net, const VLK_IntArray* nodes, int size) {
  each_node(net, nodes, [&](VLK_Node* v) { VLK_Node_set_size_move(v, size); });
  return net;
}

VLK_Network* VLK_Network_set_node_line_width(VLK_Network* net, const VLK_IntArray* nodes,
                                             double width) {
  each_node(net, nodes, [&](VLK_Node* v) { VLK_Node_set_line_width(v, width); });
  return net;
}

VLK_Network* VLK_Network_set_edge_color(VLK_Network* net, const VLK_IntArray* edges, int r, int g,
                                        int b, int a) {
  each_selected(net->edges->size, edges,
                [&](size_t k) { VLK_Edge_set_color(edge_at(net, k), r, g, b, a); });
  return net;
}

VLK_Network* VLK_Network_set_visible(VLK_Network* net, const VLK_IntArray* objects, int visible) {
  each_selected(VLK_Network_total_CSMLObjects(net), objects, [&](size_t i) {
    CSMLObject_set_visible(VLK_Network_get_total_CSMLObject(net, static_cast<int>(i)), visible);
  });
  return net;
}

int VLK_Network_move_front_cmp(const void* a, const void* b) {
  return three_way(box_depth(box_at(a), VLK_TYPE_CSMLOBJECT),
                   box_depth(box_at(b), VLK_TYPE_CSMLOBJECT));
}

int VLK_Network_move_front_cmp_old(const void* a, const void* b) {
  auto depth = [](const VLK_Object* box) {
    return box != nullptr && box->type == VLK_TYPE_EDGE ? box_depth(box, VLK_TYPE_EDGE)
                                                        : box_depth(box, VLK_TYPE_NODE);
  };
  return three_way(depth(box_at(a)), depth(box_at(b)));
}
