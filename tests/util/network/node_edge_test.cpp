#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "VLK_DoubleArray.h"
#include "VLK_Edge.h"
#include "VLK_KeyValues.h"
#include "VLK_Node.h"
#include "vlk_test.h"

namespace {

using vlk::EdgePtr;
using vlk::NodePtr;

std::string fill_text(VLK_Node* n) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  VLK_Node_get_color_expr(n, buf);
  return buf;
}

std::string line_text(VLK_Node* n) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  VLK_Node_get_line_color_expr(n, buf);
  return buf;
}

std::string color_text(VLK_Edge* e) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  VLK_Edge_get_color_expr(e, buf);
  return buf;
}

std::string props(const VLK_Edge* e) {
  return vlk_test::capture([&](FILE* fp) { VLK_Edge_print_properties(e, fp); });
}

std::string node_props(const VLK_Node* n) {
  return vlk_test::capture(
      [&](FILE* fp) { CSMLObject_fprint_properties(VLK_Node_get_CSMLObject(n), fp); });
}

}  // namespace

TEST(Node, DefaultsAndLabels) {
  NodePtr n(VLK_Node_new("g1", "ABC"));
  EXPECT_STREQ(VLK_Node_name(n.get()), "g1");
  EXPECT_STREQ(VLK_Node_alias(n.get()), "ABC");
  EXPECT_EQ(VLK_Node_get_index(n.get()), -1);
  const CSMLObject* d = VLK_Node_get_CSMLObject(n.get());
  EXPECT_EQ(d->kind, 2);
  EXPECT_EQ(d->cso_type, 1);
  EXPECT_EQ(VLK_Node_get_line_width(n.get()), 2.0);
  EXPECT_EQ(d->width, 10.0);
  EXPECT_EQ(d->height, 10.0);
  EXPECT_EQ(d->depth, 0);
  EXPECT_EQ(d->visible, 1);
  EXPECT_EQ(fill_text(n.get()), "0 0 255 255");
  EXPECT_EQ(line_text(n.get()), "0 0 255 255");

  char name[] = "renamed";
  VLK_Node_set_name(n.get(), name);
  name[0] = 'X';  // a copy is kept
  VLK_Node_set_alias(n.get(), "");
  EXPECT_STREQ(VLK_Node_name(n.get()), "renamed");
  EXPECT_STREQ(VLK_Node_alias(n.get()), "");
  EXPECT_EQ(VLK_Node_set_index(n.get(), 4), n.get());
  EXPECT_EQ(VLK_Node_get_index(n.get()), 4);
}

TEST(Node, DrawingAccessors) {
  NodePtr n(VLK_Node_new("a", "a"));
  EXPECT_EQ(VLK_Node_set_position(n.get(), 1, 2), n.get());
  VLK_Node_move_position(n.get(), 0.5, -1);
  EXPECT_EQ(VLK_Node_get_position_x(n.get()), 1.5);
  EXPECT_EQ(VLK_Node_get_position_y(n.get()), 1.0);
  VLK_Node_set_color(n.get(), 300, -1, 7, 128);
  EXPECT_EQ(fill_text(n.get()), "255 0 7 128");
  EXPECT_EQ(line_text(n.get()), "255 0 7 128");
  const VLK_Color c{1, 2, 3, 4};
  VLK_Node_set_line_color(n.get(), &c);
  EXPECT_EQ(line_text(n.get()), "1 2 3 4");
  EXPECT_EQ(fill_text(n.get()), "255 0 7 128");
  VLK_Node_set_fill_color(n.get(), &c);
  EXPECT_EQ(fill_text(n.get()), "1 2 3 4");
  VLK_Node_set_line_width(n.get(), 0.5);
  EXPECT_EQ(VLK_Node_get_line_width(n.get()), 0.5);
  VLK_Node_set_depth(n.get(), 4000);
  EXPECT_EQ(VLK_Node_get_depth(n.get()), 1000);
}

TEST(Node, SizesAreTruncated) {
  NodePtr n(VLK_Node_new("a", "a"));
  const double cases[][2] = {{12.9, 12}, {-3.7, -3}, {0.2, 0}, {1e12, 1e12}};
  for (const auto& c : cases) {
    VLK_Node_set_size(n.get(), c[0]);
    EXPECT_EQ(VLK_Node_get_size(n.get()), c[1]) << c[0];
    EXPECT_EQ(VLK_Node_get_CSMLObject(n.get())->height, c[1]) << c[0];
  }
  NodePtr m(VLK_Node_new("b", "b"));  // 10 x 10 at (0, 0)
  VLK_Node_set_size_move(m.get(), 20.0);
  EXPECT_EQ(VLK_Node_get_position_x(m.get()), -5.0);
  EXPECT_EQ(VLK_Node_get_position_y(m.get()), -5.0);
  VLK_Node_set_size_move(m.get(), 20.5);  // the move uses the untruncated size
  EXPECT_EQ(VLK_Node_get_position_x(m.get()), -5.25);
  EXPECT_EQ(VLK_Node_get_size(m.get()), 20.0);
}

TEST(Node, SetPropertiesConsumesTheListCopyPropertiesCopies) {
  NodePtr n(VLK_Node_new("a", "a"));
  VLK_Node_add_property_int(n.get(), "old", 1);
  VLK_KeyValues* kv = VLK_KeyValues_parse("x=1");
  VLK_KeyValues_put_int(kv, "Count", 3);
  // The list is deleted by the call: the sanitizer build reports a leak if it is not, and a
  // double free if the node kept pointers into it.
  EXPECT_EQ(VLK_Node_set_properties(n.get(), kv), n.get());
  EXPECT_EQ(node_props(n.get()), "x=1, Count=3");
  const VLK_Object* box = VLK_Node_get_property(n.get(), "Count");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(VLK_Object_int_value(box, 0), 3);
  EXPECT_EQ(VLK_Node_get_property(n.get(), "old"), nullptr);
  VLK_Node_set_properties(n.get(), nullptr);
  EXPECT_EQ(node_props(n.get()), "");
  std::unique_ptr<VLK_KeyValues, vlk::FreeWith<VLK_KeyValues_delete>> owned(
      VLK_KeyValues_parse("y=2"));
  vlk::set_properties(n.get(), std::move(owned));
  EXPECT_EQ(owned, nullptr);
  EXPECT_EQ(node_props(n.get()), "y=2");

  NodePtr src(VLK_Node_new("s", "s"));
  VLK_Node_add_property_int(src.get(), "k", 5);
  VLK_Node_copy_properties(n.get(), src.get());
  VLK_Node_add_property_int(src.get(), "more", 6);
  EXPECT_EQ(node_props(n.get()), "k=5");
  EXPECT_NE(VLK_Node_get_property(n.get(), "k"), VLK_Node_get_property(src.get(), "k"));
}

TEST(Node, CloneIsFreeAndDeep) {
  NodePtr n(VLK_Node_new("g", "G"));
  VLK_Node_set_index(n.get(), 4);
  VLK_Node_set_position(n.get(), 3, 4);
  VLK_Node_add_property_int(n.get(), "Count", 2);
  NodePtr c(VLK_Node_clone(n.get()));
  EXPECT_EQ(VLK_Node_get_index(c.get()), -1);
  EXPECT_EQ(c->network, nullptr);
  EXPECT_STREQ(VLK_Node_name(c.get()), "g");
  EXPECT_STREQ(VLK_Node_alias(c.get()), "G");
  EXPECT_NE(VLK_Node_name(c.get()), VLK_Node_name(n.get()));
  EXPECT_EQ(VLK_Node_get_position_x(c.get()), 3.0);
  EXPECT_EQ(VLK_Node_get_position_y(c.get()), 4.0);
  n.reset();
  EXPECT_EQ(node_props(c.get()), "Count=2");
}

TEST(Edge, DefaultsEndsAndClone) {
  NodePtr a(VLK_Node_new("a", "A")), b(VLK_Node_new("b", "B"));
  EdgePtr e(VLK_Edge_new(a.get(), b.get()));
  EXPECT_EQ(VLK_Edge_get_CSMLObject(e.get())->kind, 3);
  EXPECT_EQ(VLK_Edge_get_line_width(e.get()), 1.0);
  EXPECT_EQ(color_text(e.get()), "0 0 0 255");
  EXPECT_EQ(VLK_Edge_get_parent(e.get()), a.get());
  EXPECT_EQ(VLK_Edge_parent(e.get()), a.get());
  EXPECT_EQ(VLK_Edge_get_child(e.get()), b.get());
  EXPECT_EQ(VLK_Edge_child(e.get()), b.get());
  EXPECT_STREQ(VLK_Edge_parent_name(e.get()), "a");
  EXPECT_STREQ(VLK_Edge_child_name(e.get()), "b");

  VLK_Edge_set_color(e.get(), 1, 2, 3, 999);
  EXPECT_EQ(color_text(e.get()), "1 2 3 255");
  EXPECT_EQ(VLK_Edge_get_CSMLObject(e.get())->fill_color, nullptr);
  VLK_Edge_set_line_width(e.get(), 3.5);
  EXPECT_EQ(VLK_Edge_get_line_width(e.get()), 3.5);
  VLK_Edge_set_depth(e.get(), 1200);
  EXPECT_EQ(VLK_Edge_get_depth(e.get()), 1000);
  VLK_Edge_add_property_double(e.get(), "Freq", 0.5);

  EdgePtr c(VLK_Edge_clone(e.get()));
  EXPECT_EQ(VLK_Edge_parent(c.get()), a.get());  // same nodes, own drawing record
  EXPECT_EQ(VLK_Edge_child(c.get()), b.get());
  EXPECT_NE(VLK_Edge_get_CSMLObject(c.get()), VLK_Edge_get_CSMLObject(e.get()));
  e.reset();
  EXPECT_EQ(color_text(c.get()), "1 2 3 255");
  EXPECT_EQ(props(c.get()), "Freq=0.500000");

  EXPECT_EQ(VLK_Edge_set(c.get(), b.get(), a.get()), c.get());
  EXPECT_EQ(VLK_Edge_parent(c.get()), b.get());
  VLK_Edge_set_parent(c.get(), a.get());
  VLK_Edge_set_child(c.get(), a.get());
  EXPECT_EQ(VLK_Edge_child(c.get()), a.get());
}

TEST(EdgeProps, TypedReadersByKindOfEntry) {
  EdgePtr e(VLK_Edge_new(nullptr, nullptr));
  EXPECT_EQ(VLK_Edge_get_property_value(e.get(), 0), nullptr);  // no list yet
  VLK_Edge_add_property_int(e.get(), "i", 4);
  VLK_Edge_add_property_string(e.get(), "s", "17");
  VLK_Edge_add_property_double(e.get(), "d", 0.25);
  VLK_DoubleArray* arr = VLK_DoubleArray_new();
  VLK_DoubleArray_add(arr, 1.0);
  VLK_Edge_add_property(e.get(), "arr", arr, VLK_TYPE_DOUBLEARRAY);
  struct Case {
    const char* key;
    double as_double;    // default 9999
    const char* as_str;  // null: no string
    int int_index;       // -1 for other types
    int type;
  };
  const Case cases[] = {
      {"i", 9999, nullptr, 4, VLK_TYPE_INT},
      {"s", 9999, "17", 17, VLK_TYPE_STRING},
      {"d", 0.25, nullptr, -1, VLK_TYPE_DOUBLE},
      {"arr", 9999, nullptr, -1, VLK_TYPE_DOUBLEARRAY},
  };
  for (int i = 0; i < 4; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.key);
    EXPECT_EQ(VLK_Edge_find_property_key(e.get(), c.key), i);
    EXPECT_EQ(VLK_Edge_find_property(e.get(), c.key), i);
    EXPECT_EQ(VLK_Edge_get_property_double(e.get(), c.key, 9999.0), c.as_double);
    if (c.as_str)
      EXPECT_STREQ(VLK_Edge_get_property_string(e.get(), c.key), c.as_str);
    else
      EXPECT_EQ(VLK_Edge_get_property_string(e.get(), c.key), nullptr);
    EXPECT_EQ(VLK_Edge_get_property_int_index(e.get(), i), c.int_index);
    EXPECT_EQ(VLK_Edge_get_property_type(e.get(), i), c.type);
    EXPECT_STREQ(VLK_Edge_get_property_key(e.get(), i), c.key);
    EXPECT_NE(VLK_Edge_get_property_with_type(e.get(), c.key, c.type), nullptr);
    EXPECT_EQ(VLK_Edge_get_property_with_type(e.get(), c.key, VLK_TYPE_FLOAT), nullptr);
  }
  EXPECT_EQ(VLK_Edge_get_property_value(e.get(), 3), arr);
  EXPECT_EQ(VLK_Edge_get_property_double(e.get(), "absent", 9999.0), 9999.0);
  EXPECT_EQ(VLK_Edge_get_property_string(e.get(), "absent"), nullptr);
  EXPECT_EQ(VLK_Edge_find_property_key(e.get(), "absent"), -1);
  EXPECT_EQ(VLK_Edge_get_property_with_type(e.get(), "absent", VLK_TYPE_INT), nullptr);
  EXPECT_EQ(VLK_Edge_get_property_size(e.get()), 4u);
}

TEST(EdgeProps, DuplicateKeysFirstMatch) {
  EdgePtr e(VLK_Edge_new(nullptr, nullptr));
  VLK_Edge_add_property_double(e.get(), "Freq", 0.1);
  VLK_Edge_add_property_double(e.get(), "Freq", 0.2);
  EXPECT_EQ(VLK_Edge_get_property_size(e.get()), 2u);
  EXPECT_EQ(VLK_Edge_get_property_double(e.get(), "Freq", 0), 0.1);
  EXPECT_EQ(VLK_Edge_set_property_double(e.get(), "Freq", 0.3), e.get());
  EXPECT_EQ(props(e.get()), "Freq=0.300000, Freq=0.200000");
  VLK_Edge_set_property_double(e.get(), "edgeScore", -2);
  EXPECT_EQ(VLK_Edge_get_property_size(e.get()), 3u);
  EXPECT_EQ(VLK_Edge_remove_property_at(e.get(), 0), e.get());
  EXPECT_EQ(VLK_Edge_get_property_double(e.get(), "Freq", 0), 0.2);
  VLK_Edge_remove_property_at(e.get(), 5);  // beyond the count: ignored
  EXPECT_EQ(VLK_Edge_get_property_size(e.get()), 2u);
}

TEST(EdgeProps, AddPropertiesCopiesObjectsAreTakenPrintAndClear) {
  EdgePtr e(VLK_Edge_new(nullptr, nullptr));
  VLK_KeyValues* kv = VLK_KeyValues_parse("Dir=+");
  VLK_KeyValues_put_double(kv, "Freq", 0.5);
  EXPECT_EQ(VLK_Edge_add_properties(e.get(), kv), e.get());
  VLK_KeyValues_set_double(kv, "Freq", 9.0);  // still the caller's, and independent
  VLK_KeyValues_delete(kv);
  EXPECT_EQ(VLK_Edge_add_property_Object(e.get(), "Count", VLK_Object_new_int(3)), e.get());
  EXPECT_EQ(props(e.get()), "Dir=+, Freq=0.500000, Count=3");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) {
              EXPECT_EQ(VLK_Edge_print_property_value(e.get(), "Count", fp), 1);
              EXPECT_EQ(VLK_Edge_print_property_value(e.get(), "none", fp), 0);
            }),
            "3");
  VLK_Edge_clear_properties(e.get());
  EXPECT_EQ(VLK_Edge_get_property_size(e.get()), 0u);
  EXPECT_EQ(props(e.get()), "");
}
