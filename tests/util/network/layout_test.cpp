// Layouts and drawing setters: where nodes go, how large and how deep they are drawn, and what
// the setters touch.
#include <dSFMT.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_Network_layout.h"
#include "VLK_Object.h"
#include "graph_testing.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;
using Pairs = std::vector<std::pair<int, int>>;
using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

NetworkPtr make(int n, const Pairs& edges = {}) { return vlk_test::network_of(n, edges); }

VLK_Node* node(const VLK_Network* net, int i) { return VLK_Network_get_node(net, i); }
double x_of(const VLK_Network* net, int i) { return VLK_Node_get_position_x(node(net, i)); }
double y_of(const VLK_Network* net, int i) { return VLK_Node_get_position_y(node(net, i)); }
double size_of(const VLK_Network* net, int i) { return VLK_Node_get_size(node(net, i)); }
int depth_of(const VLK_Network* net, int i) { return VLK_Node_get_depth(node(net, i)); }

KeyValuesPtr options(const char* text) { return KeyValuesPtr(VLK_KeyValues_parse(text)); }

std::vector<int> edge_depths(const VLK_Network* net) {
  std::vector<int> out;
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k)
    out.push_back(VLK_Edge_get_depth(VLK_Network_get_edge(net, static_cast<int>(k))));
  return out;
}

TEST(LayoutCircle, FourNodesOneEdge) {
  NetworkPtr net = make(4, {{0, 1}});
  VLK_Network_layout_circle(net.get());
  const double expect[4][2] = {{500, 750}, {150, 400}, {500, 50}, {850, 400}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(x_of(net.get(), i), expect[i][0], 1e-4) << i;
    EXPECT_NEAR(y_of(net.get(), i), expect[i][1], 1e-4) << i;
  }
  // The ten-digit half pi sits 1.8e-9 below the true one, which moves node 0 off x = 500 by
  // 350 x 1.8e-9: visible in the sixth decimal that the writers print.
  EXPECT_NEAR(x_of(net.get(), 0) - 500.0, 6.27e-7, 1e-8);
  EXPECT_EQ(size_of(net.get(), 0), 40.0);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(size_of(net.get(), i), 10.0) << i;
}

TEST(LayoutCircle, SizesFollowChildrenAndAnEdgelessNetworkGetsTheBaseSize) {
  NetworkPtr loop = make(1, {{0, 0}});
  VLK_Network_layout_circle(loop.get());
  EXPECT_NEAR(x_of(loop.get(), 0), 500.0, 1e-4);
  EXPECT_NEAR(y_of(loop.get(), 0), 750.0, 1e-4);
  EXPECT_EQ(size_of(loop.get(), 0), 40.0);

  // Children 3, 2, 0: 30 x 2 / 3 + 10 = 30 exactly, truncation of 29.999... would give 29.
  NetworkPtr three = make(4, {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}});
  VLK_Network_layout_circle(three.get());
  EXPECT_EQ(size_of(three.get(), 0), 40.0);
  EXPECT_EQ(size_of(three.get(), 1), 30.0);
  EXPECT_EQ(size_of(three.get(), 2), 10.0);

  NetworkPtr none = make(3);
  VLK_Network_layout_circle(none.get());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(size_of(none.get(), i), 10.0) << i;
  NetworkPtr empty = make(0);
  VLK_Network_layout_circle(empty.get());
}

TEST(LayoutRandom, FollowsTheGeneratorDrawByDraw) {
  // 200 nodes take 400 draws, more than one fill of the generator's 382-double state.
  NetworkPtr net = make(200);
  const auto opts = options("seed=7,x1=700,x2=100,y1=5,y2=25");
  VLK_Network_layout_random(net.get(), nullptr, opts.get());
  alignas(16) dsfmt_t st;
  dsfmt_chk_init_gen_rand(&st, 7, DSFMT_MEXP);
  for (int i = 0; i < 200; ++i) {
    const double r1 = dsfmt_genrand_close1_open2(&st), r2 = dsfmt_genrand_close1_open2(&st);
    ASSERT_EQ(x_of(net.get(), i), 100.0 + 600.0 * (r1 - 1.0)) << i;
    ASSERT_EQ(y_of(net.get(), i), 5.0 + 20.0 * (r2 - 1.0)) << i;
  }
}

TEST(LayoutRandom, DefaultsBoundsSeedsAndASubsetOfNodes) {
  NetworkPtr a = make(50), b = make(50), c = make(50);
  VLK_Network_layout_random(a.get(), nullptr, nullptr);
  VLK_Network_layout_random(b.get(), nullptr, nullptr);
  const auto seeded = options("seed=1");
  VLK_Network_layout_random(c.get(), nullptr, seeded.get());
  int differ = 0;
  for (int i = 0; i < 50; ++i) {
    EXPECT_GE(x_of(a.get(), i), 10.0);
    EXPECT_LT(x_of(a.get(), i), 640.0);
    EXPECT_GE(y_of(a.get(), i), 10.0);
    EXPECT_LT(y_of(a.get(), i), 480.0);
    EXPECT_EQ(x_of(a.get(), i), x_of(b.get(), i));
    EXPECT_EQ(y_of(a.get(), i), y_of(b.get(), i));
    differ += x_of(a.get(), i) != x_of(c.get(), i);
  }
  EXPECT_GT(differ, 45);

  // Only the listed nodes move, and they take the first draws in list order.
  NetworkPtr d = make(5);
  for (int i = 0; i < 5; ++i) VLK_Node_set_position(node(d.get(), i), -1, -1);
  VLK_Array* list = VLK_Array_new();
  VLK_Array_add(list, node(d.get(), 3));
  VLK_Array_add(list, node(d.get(), 1));
  VLK_Network_layout_random(d.get(), list, nullptr);
  VLK_Array_delete(list);
  EXPECT_EQ(x_of(d.get(), 3), x_of(a.get(), 0));
  EXPECT_EQ(y_of(d.get(), 1), y_of(a.get(), 1));
  for (int i : {0, 2, 4}) EXPECT_EQ(x_of(d.get(), i), -1.0) << i;
}

TEST(LayoutFit, ScalesEachAxisIntoTheBoxAndFlatAxesGoToTheLowBound) {
  NetworkPtr net = make(3);
  const double at[3][2] = {{0, 0}, {10, 20}, {5, 10}};
  for (int i = 0; i < 3; ++i) VLK_Node_set_position(node(net.get(), i), at[i][0], at[i][1]);
  VLK_Network_layout_fit(net.get(), nullptr);
  const double expect[3][2] = {{50, 50}, {900, 600}, {475, 325}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(x_of(net.get(), i), expect[i][0]) << i;
    EXPECT_DOUBLE_EQ(y_of(net.get(), i), expect[i][1]) << i;
  }

  // All nodes on one vertical line: x is the low bound plus the offset, y still spreads;
  // reversed bounds are exchanged.
  NetworkPtr line = make(2);
  VLK_Node_set_position(node(line.get(), 0), 3, 1);
  VLK_Node_set_position(node(line.get(), 1), 3, 5);
  const auto opts = options("x1=200,x2=100,y1=0,y2=8,x=1,y=2");
  VLK_Network_layout_fit(line.get(), opts.get());
  EXPECT_EQ(x_of(line.get(), 0), 101.0);
  EXPECT_EQ(x_of(line.get(), 1), 101.0);
  EXPECT_EQ(y_of(line.get(), 0), 2.0);
  EXPECT_EQ(y_of(line.get(), 1), 10.0);
}

TEST(LayoutOptions, AnOptionTheTableDoesNotTakeEndsTheProcess) {
  NetworkPtr net = make(2);
  const auto bad = options("x1=1,width=3");
  EXPECT_FATAL_EXIT(VLK_Network_layout_random(net.get(), nullptr, bad.get()),
                    "ERROR: VLK_Network_layout_random(): unknown argument specified: width\n");
  const auto seed = options("seed=1");
  EXPECT_FATAL_EXIT(VLK_Network_layout_fit(net.get(), seed.get()),
                    "ERROR: VLK_Network_layout_fit(): unknown argument specified: seed\n");
}

TEST(LayoutHub, DepthsByChildrenTiesInIndexOrderEdgesBehind) {
  // Children: node 2 has 3, nodes 0 and 4 have 1 each, nodes 1 and 3 none.
  NetworkPtr net = make(5, {{2, 0}, {2, 1}, {2, 3}, {0, 1}, {4, 3}});
  VLK_Network_layout_hub_size(net.get());
  const int depths[5] = {2, 4, 1, 5, 3};
  const double sizes[5] = {20, 10, 40, 10, 20};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(depth_of(net.get(), i), depths[i]) << i;
    EXPECT_EQ(size_of(net.get(), i), sizes[i]) << i;
  }
  EXPECT_EQ(edge_depths(net.get()), (std::vector<int>{6, 7, 8, 9, 10}));

  // 40 nodes, every ordered pair an edge: edge depths climb from 41 and stop at 1000.
  Pairs all;
  for (int p = 0; p < 40; ++p)
    for (int c = 0; c < 40; ++c)
      if (p != c) all.push_back({p, c});
  NetworkPtr dense = make(40, all);
  VLK_Network_layout_hub_size(dense.get());
  const std::vector<int> d = edge_depths(dense.get());
  EXPECT_EQ(d.front(), 41);
  EXPECT_EQ(d[958], 999);
  EXPECT_EQ(d[959], 1000);
  EXPECT_EQ(d.back(), 1000);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(depth_of(dense.get(), i), i + 1) << i;

  NetworkPtr flat = make(2);
  VLK_Network_layout_hub_size(flat.get());
  EXPECT_EQ(size_of(flat.get(), 0), 10.0);
}

TEST(LayoutPropNodeSize, SizesAndDepthsByAValue) {
  NetworkPtr net = make(5, {{0, 1}});
  VLK_Node_add_property_int(node(net.get(), 0), "w", 2);
  CSMLObject_add_property_double(VLK_Node_get_CSMLObject(node(net.get(), 1)), "w", 3.2);
  CSMLObject_add_property_double(VLK_Node_get_CSMLObject(node(net.get(), 3)), "w", 3.7);
  CSMLObject_add_property_double(VLK_Node_get_CSMLObject(node(net.get(), 4)), "w", -1.0);
  VLK_Network_layout_prop_node_size(net.get(), "w");
  // Order 3.7, 3.2, 2, -1, then node 2 without the value.
  const int depths[5] = {3, 2, 5, 1, 4};
  const double sizes[5] = {26, 35, 10, 40, 1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(depth_of(net.get(), i), depths[i]) << i;
    EXPECT_EQ(size_of(net.get(), i), sizes[i]) << i;
  }
  EXPECT_EQ(edge_depths(net.get()), std::vector<int>{6});

  // No value above 0: every node has the base size.
  NetworkPtr low = make(2);
  VLK_Node_add_property_int(node(low.get(), 0), "w", 0);
  VLK_Node_add_property_int(node(low.get(), 1), "w", -4);
  VLK_Network_layout_prop_node_size(low.get(), "w");
  EXPECT_EQ(size_of(low.get(), 0), 10.0);
  EXPECT_EQ(size_of(low.get(), 1), 10.0);

  NetworkPtr text = make(1);
  CSMLObject_add_property_string(VLK_Node_get_CSMLObject(node(text.get(), 0)), "w", "big");
  EXPECT_FATAL_EXIT(VLK_Network_layout_prop_node_size(text.get(), "w"),
                    "FATAL ERROR: VLK_Network_layout_prop_node_size(): Unsupported type: string\n");
}

TEST(MoveFront, ChosenRecordsTakeTheFrontInDepthOrder) {
  NetworkPtr net = make(3, {{0, 1}, {1, 2}});
  CSMLObject* extra = CSMLObject_new();
  VLK_Network_add_CSMLObject(net.get(), extra);
  const int start[6] = {7, 5, 3, 999, 20, 4};  // nodes, edges, extra object
  for (int i = 0; i < 6; ++i)
    CSMLObject_set_depth(VLK_Network_get_total_CSMLObject(net.get(), i), start[i]);
  VLK_ObjArray* chosen = VLK_ObjArray_new();
  VLK_Node* other = VLK_Node_new("boxed", "boxed");  // not a drawing record: sorts last
  VLK_ObjArray_add(chosen, VLK_Object_new_value(VLK_Node_get_CSMLObject(node(net.get(), 0)),
                                                VLK_TYPE_CSMLOBJECT));
  VLK_ObjArray_add(chosen, VLK_Object_new_value(other, VLK_TYPE_NODE));
  VLK_ObjArray_add(chosen, VLK_Object_new_value(VLK_Node_get_CSMLObject(node(net.get(), 2)),
                                                VLK_TYPE_CSMLOBJECT));
  VLK_Network_move_front(net.get(), chosen);
  // Chosen depths 7 and 3 become 2 and 1; everything else moves back by the three chosen.
  const int expect[6] = {2, 8, 1, 1000, 23, 7};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), i)->depth, expect[i]) << i;
  EXPECT_EQ(chosen->data[2]->type, VLK_TYPE_NODE);
  // The boxes borrow the drawing records and the node: take the values out before freeing.
  for (size_t i = 0; i < chosen->size; ++i) VLK_Object_delete_ref(chosen->data[i]);
  VLK_ObjArray_delete(chosen);
  VLK_Node_delete(other);
}

TEST(Comparators, ThreeWayEvenAtTheEndsOfTheRange) {
  VLK_Network_int_t lo{0, INT_MIN, 0}, hi{1, INT_MAX, 0};
  EXPECT_EQ(VLK_Network_int_t_cmp(&lo, &hi), 1);
  EXPECT_EQ(VLK_Network_int_t_cmp(&hi, &lo), -1);
  EXPECT_EQ(VLK_Network_int_t_cmp(&hi, &hi), 0);
  VLK_Network_double_t none{0, -DBL_MAX}, big{1, DBL_MAX}, nan{2, NAN}, close{3, DBL_MAX};
  EXPECT_EQ(VLK_Network_double_t_cmp(&none, &big), 1);
  EXPECT_EQ(VLK_Network_double_t_cmp(&big, &none), -1);
  // Equal values in node order.
  EXPECT_EQ(VLK_Network_double_t_cmp(&big, &close), -1);
  EXPECT_EQ(VLK_Network_double_t_cmp(&close, &big), 1);
  EXPECT_EQ(VLK_Network_double_t_cmp(&big, &big), 0);
  EXPECT_EQ(VLK_Network_double_t_cmp(&nan, &none), 1);
  EXPECT_EQ(VLK_Network_double_t_cmp(&none, &nan), -1);

  CSMLObject* front = CSMLObject_new();
  CSMLObject_set_depth(front, INT_MIN);
  VLK_Object* a = VLK_Object_new_value(front, VLK_TYPE_CSMLOBJECT);
  VLK_Object* b = VLK_Object_new_int(5);
  EXPECT_EQ(VLK_Network_move_front_cmp(&a, &b), -1);
  EXPECT_EQ(VLK_Network_move_front_cmp(&b, &a), 1);
  VLK_Edge* e = VLK_Edge_new(nullptr, nullptr);
  VLK_Edge_set_depth(e, -3);
  VLK_Object* boxed_edge = VLK_Object_new_value(e, VLK_TYPE_EDGE);
  EXPECT_EQ(VLK_Network_move_front_cmp_old(&boxed_edge, &b), -1);
  EXPECT_EQ(VLK_Network_move_front_cmp_old(&b, &b), 0);
  VLK_Object_delete_ref(a);
  VLK_Object_delete_ref(boxed_edge);
  VLK_Object_delete(b);
  CSMLObject_delete(front);
  VLK_Edge_delete(e);
}

TEST(Setters, EachTouchesOnlyItsSelection) {
  NetworkPtr net = make(4, {{0, 1}, {1, 2}});
  VLK_IntArray* pick = VLK_IntArray_new();
  VLK_IntArray_add(pick, 2);
  VLK_IntArray_add(pick, 9);  // no such node: skipped
  char text[CSMLObject_COLOR_EXPR_SIZE];

  VLK_Network_set_node_color(net.get(), pick, 300, -5, 7, 255);
  VLK_Node_get_color_expr(node(net.get(), 2), text);
  EXPECT_STREQ(text, "255 0 7 255");
  VLK_Node_get_line_color_expr(node(net.get(), 2), text);
  EXPECT_STREQ(text, "255 0 7 255");
  EXPECT_EQ(VLK_Node_get_CSMLObject(node(net.get(), 1))->fill_color, nullptr);

  VLK_StrArray* names = VLK_StrArray_new();
  VLK_StrArray_add_copy(names, "nobody");
  VLK_StrArray_add_copy(names, "g3");
  VLK_Network_set_node_color_by_names(net.get(), names, 1, 2, 3, 4);
  VLK_Node_get_color_expr(node(net.get(), 3), text);
  EXPECT_STREQ(text, "1 2 3 4");
  EXPECT_EQ(VLK_Node_get_CSMLObject(node(net.get(), 0))->fill_color, nullptr);
  VLK_StrArray_delete_all(names);

  // Resized about the centre: from 10 at (100, 50) to 30 moves by -10 each way.
  VLK_Node_set_position(node(net.get(), 2), 100, 50);
  VLK_Network_set_node_size(net.get(), pick, 30);
  EXPECT_EQ(size_of(net.get(), 2), 30.0);
  EXPECT_EQ(x_of(net.get(), 2), 90.0);
  EXPECT_EQ(y_of(net.get(), 2), 40.0);
  EXPECT_EQ(size_of(net.get(), 1), 10.0);

  VLK_Network_set_node_line_width(net.get(), nullptr, 4.5);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(VLK_Node_get_line_width(node(net.get(), i)), 4.5);

  VLK_IntArray* second = VLK_IntArray_new();
  VLK_IntArray_add(second, 1);
  VLK_Network_set_edge_color(net.get(), second, 9, 8, 7, 6);
  VLK_Edge_get_color_expr(VLK_Network_get_edge(net.get(), 1), text);
  EXPECT_STREQ(text, "9 8 7 6");
  EXPECT_EQ(VLK_Edge_get_CSMLObject(VLK_Network_get_edge(net.get(), 0))->line_color, nullptr);

  // Unified index 5 is the second edge (4 nodes, then edges).
  VLK_IntArray_add(second, 5);
  VLK_Network_set_visible(net.get(), second, 0);
  EXPECT_EQ(VLK_Node_get_CSMLObject(node(net.get(), 1))->visible, 0);
  EXPECT_EQ(VLK_Edge_get_CSMLObject(VLK_Network_get_edge(net.get(), 1))->visible, 0);
  EXPECT_NE(VLK_Edge_get_CSMLObject(VLK_Network_get_edge(net.get(), 0))->visible, 0);
  VLK_IntArray_delete(second);
  VLK_IntArray_delete(pick);
}

}  // namespace
