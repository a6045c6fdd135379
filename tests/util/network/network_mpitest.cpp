// Broadcast of an annotated network among 3 processes; root 1 so rank 0 is not special.
#include <gtest/gtest.h>
#include <mpi.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "VLK_DoubleArray.h"
#include "VLK_Network_mpi.h"
#include "mpi_test.h"
#include "vlk_test.h"

namespace {

using vlk_test::kRoot;
using vlk_test::rank;

std::string color(const VLK_Color* c) {
  if (c == nullptr) return "unset";
  return std::to_string(c->r) + " " + std::to_string(c->g) + " " + std::to_string(c->b) + " " +
         std::to_string(c->a);
}

std::string drawing(const CSMLObject* d) {
  char nums[256];
  std::snprintf(nums, sizeof nums, "%d %.17g %.17g %.17g %.17g %.17g %d %d %d", d->kind, d->x, d->y,
                d->width, d->height, d->line_width, d->depth, d->visible, d->cso_type);
  std::string out = std::string(nums) + " fill " + color(d->fill_color) + " line " +
                    color(d->line_color) + " props ";
  if (d->properties == nullptr) return out + "none";
  for (size_t i = 0; i < VLK_KeyObjects_size(d->properties); ++i)
    out += std::to_string(VLK_KeyObjects_get_type(d->properties, i)) + ",";
  return out + " " + vlk_test::capture([&](FILE* fp) { VLK_KeyObjects_fprint(d->properties, fp); });
}

// Everything a broadcast must carry, as text.
std::string dump(const VLK_Network* net) {
  std::string out;
  for (size_t i = 0; i < net->nodes->size; ++i) {
    const auto* n = static_cast<const VLK_Node*>(net->nodes->data[i]);
    out += "node " + std::to_string(n->index) + " " + (n->name ? n->name : "(null)") + "/" +
           (n->alias ? n->alias : "(null)") + " " + drawing(n->drawing) + "\n";
    const auto* ps = static_cast<const VLK_IntArray*>(net->parents->data[i]);
    out += "  parents";
    for (size_t k = 0; k < ps->size; ++k) out += " " + std::to_string(ps->data[k]);
    out += "\n";
  }
  for (size_t k = 0; k < net->edges->size; ++k) {
    const auto* e = static_cast<const VLK_Edge*>(net->edges->data[k]);
    out += "edge " + std::to_string(e->parent->index) + "->" + std::to_string(e->child->index) +
           " " + drawing(e->drawing) + "\n";
  }
  out += std::string("primary ") + (net->primary_score ? net->primary_score : "(null)") + "\n";
  out += "properties " +
         (net->properties
              ? vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(net->properties, fp); })
              : std::string("none")) +
         "\n";
  if (net->csml_objects != nullptr)
    for (size_t i = 0; i < net->csml_objects->size; ++i)
      out += "extra " + drawing(static_cast<const CSMLObject*>(net->csml_objects->data[i])) + "\n";
  return out;
}

// The same network on every rank: repeated names, a self loop, a removed node, properties of
// every kind that travels, colours and extra objects.
VLK_Network* build_full() {
  VLK_Network* net = VLK_Network_new();
  const char* names[] = {"g1", "g2", "g1", "gone", "g5"};
  for (const char* s : names) VLK_Network_add_node(net, VLK_Node_new(s, s));
  VLK_Network_add_node(net, VLK_Node_new("noalias", nullptr));
  const int pairs[][2] = {{0, 1}, {2, 1}, {1, 1}, {4, 0}, {3, 4}, {0, 4}, {5, 2}, {4, 5}};
  for (const auto& p : pairs) VLK_Network_add_edge_index(net, p[0], p[1]);
  VLK_Network_remove_node_index(net, 3);
  VLK_Node* n0 = VLK_Network_get_node(net, 0);
  VLK_Node_set_position(n0, 1.25, -3.5);
  VLK_Node_set_color(n0, 10, 20, 30, 40);
  VLK_Node_set_size(n0, 17);
  VLK_Node_add_property_int(n0, "Count", 12);
  VLK_Node_set_depth(VLK_Network_get_node(net, 1), -7);
  VLK_Edge* e = VLK_Network_get_edge(net, 0);
  VLK_Edge_add_property_double(e, "edgeScore", -1.0 / 3.0);
  VLK_Edge_add_property_double(e, "Freq", 0.5);
  VLK_Edge_add_property_int(e, "Count", 7);
  VLK_Edge_add_property_string(e, "Dir", "+");
  VLK_Edge_add_property_string(e, "Empty", "");
  VLK_Edge_add_property_Object(e, "null", nullptr);
  VLK_DoubleArray* arr = VLK_DoubleArray_new();
  VLK_DoubleArray_add(arr, 1.5);
  VLK_DoubleArray_add(arr, -2.0);
  VLK_Edge_add_property(e, "arr", arr, VLK_TYPE_DOUBLEARRAY);
  VLK_Edge_add_property(e, "sub", VLK_KeyValues_parse("p=q,flag"), VLK_TYPE_KEYVALUES);
  VLK_Edge_set_color(VLK_Network_get_edge(net, 1), 255, 0, 0, 255);
  VLK_Edge_set_line_width(VLK_Network_get_edge(net, 1), 4.5);
  VLK_Network_set_primary_score(net, "edgeScore");
  VLK_Network_add_property_int(net, "n", 3);
  VLK_KeyValues* kv = VLK_KeyValues_parse("flag,mode=fast");
  VLK_KeyValues_put_double(kv, "th", 0.125);
  VLK_Network_add_properties_KeyValues(net, kv);
  VLK_KeyValues_delete(kv);
  CSMLObject* text = CSMLObject_new();
  CSMLObject_add_property_string(text, "text", "caption");
  CSMLObject_set_fill_color_RGB(text, 1, 2, 3, 4);
  VLK_Network_add_CSMLObject(net, text);
  VLK_Network_add_CSMLObject(net, CSMLObject_new());
  return net;
}

VLK_Network* build_large() {
  VLK_Network* net = VLK_Network_new();
  constexpr int n = 2000;
  for (int i = 0; i < n; ++i) {
    const std::string name = "gene" + std::to_string(i);
    VLK_Network_add_node(net, VLK_Node_new(name.c_str(), name.c_str()));
  }
  for (int k = 0; k < 20000; ++k) {
    VLK_Edge* e = VLK_Network_add_edge_index(net, (k * 7919) % n, (k * 104729 + 13) % n);
    VLK_Edge_set_property_double(e, "Freq", k * 0.001);
  }
  return net;
}

void expect_broadcast(const std::function<VLK_Network*()>& build) {
  VLK_Network* want = build();
  VLK_Network* net = rank() == kRoot ? build() : VLK_Network_new();
  VLK_Network* before = net;
  VLK_Network_MPI_Bcast(&net, kRoot, MPI_COMM_WORLD);
  if (rank() == kRoot) {
    EXPECT_EQ(net, before);
  } else {
    EXPECT_NE(net, before);
    VLK_Network_delete(before);
  }
  EXPECT_EQ(dump(net), dump(want));
  EXPECT_EQ(VLK_Network_compare_structure(net, want), 1);
  // The lookups of the received network work.
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    EXPECT_EQ(VLK_Network_get_edge_index(net, e->parent->index, e->child->index), e);
  }
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const char* name = VLK_Network_node_name(net, static_cast<int>(i));
    if (name == nullptr) continue;
    EXPECT_EQ(VLK_Network_find_node_index(net, name), VLK_Network_find_node_index(want, name));
  }
  VLK_Network_delete(net);
  VLK_Network_delete(want);
}

}  // namespace

TEST(NetworkBcast, EmptyNetwork) {
  expect_broadcast([] { return VLK_Network_new(); });
}

TEST(NetworkBcast, EverythingArrives) { expect_broadcast(build_full); }

TEST(NetworkBcast, SharedKeyValueMarksStayShared) {
  VLK_Network* net = rank() == kRoot ? build_full() : nullptr;
  VLK_Network_MPI_Bcast(&net, kRoot, MPI_COMM_WORLD);
  ASSERT_NE(net->properties, nullptr);
  EXPECT_EQ(VLK_KeyValues_get(net->properties, "flag"), VLK_KeyValues_DEFAULT_VALUE);
  EXPECT_EQ(VLK_Network_get_property_double(net, "th", 0), 0.125);
  VLK_Network_delete(net);
}

TEST(NetworkBcast, LargeNetwork) { expect_broadcast(build_large); }
