#include "CSMLObject.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "VLK_KeyValues.h"
#include "vlk_test.h"

namespace {

using vlk::CSMLObjectPtr;

std::string fill_text(const CSMLObject* obj) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  CSMLObject_get_fill_color_expr(obj, buf);
  return buf;
}

std::string line_text(const CSMLObject* obj) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  CSMLObject_get_line_color_expr(obj, buf);
  return buf;
}

std::string props(const CSMLObject* obj) {
  return vlk_test::capture([&](FILE* fp) { CSMLObject_fprint_properties(obj, fp); });
}

std::string csml(const CSMLObject* obj) {
  return vlk_test::capture([&](FILE* fp) { CSMLObject_put_CSML(obj, fp); });
}

}  // namespace

TEST(CSMLObjectFields, Defaults) {
  CSMLObjectPtr obj(CSMLObject_new());
  EXPECT_EQ(CSMLObject_get_type(obj.get()), 0);
  EXPECT_EQ(obj->properties, nullptr);
  EXPECT_EQ(CSMLObject_get_position_x(obj.get()), 0.0);
  EXPECT_EQ(CSMLObject_get_position_y(obj.get()), 0.0);
  EXPECT_EQ(CSMLObject_get_width(obj.get()), 100.0);
  EXPECT_EQ(CSMLObject_get_height(obj.get()), 30.0);
  EXPECT_EQ(obj->fill_color, nullptr);
  EXPECT_EQ(obj->line_color, nullptr);
  EXPECT_EQ(CSMLObject_get_line_width(obj.get()), 1.0);
  EXPECT_EQ(CSMLObject_get_depth(obj.get()), 0);
  EXPECT_EQ(CSMLObject_get_visible(obj.get()), 1);
  EXPECT_EQ(CSMLObject_get_CSO_type(obj.get()), 0);
  EXPECT_STREQ(CSMLObject_get_CSO_type_name(obj.get()), "cso30:c:-");
}

TEST(CSMLObjectFields, SettersAndDepthCap) {
  CSMLObjectPtr obj(CSMLObject_new());
  EXPECT_EQ(CSMLObject_set_type(obj.get(), 3), obj.get());
  EXPECT_EQ(CSMLObject_get_type(obj.get()), 3);
  CSMLObject_set_CSO_type(obj.get(), 1);
  EXPECT_STREQ(CSMLObject_get_CSO_type_name(obj.get()), "cso30:c:mRNA");
  CSMLObject_set_position(obj.get(), 1.5, -2.0);
  CSMLObject_move_position(obj.get(), 1.0, 1.0);
  EXPECT_EQ(CSMLObject_get_position_x(obj.get()), 2.5);
  EXPECT_EQ(CSMLObject_get_position_y(obj.get()), -1.0);
  CSMLObject_set_width(obj.get(), 7);
  CSMLObject_set_height(obj.get(), 9);
  EXPECT_EQ(CSMLObject_get_width(obj.get()), 7.0);
  EXPECT_EQ(CSMLObject_get_height(obj.get()), 9.0);
  CSMLObject_set_line_width(obj.get(), 2.5);
  EXPECT_EQ(CSMLObject_get_line_width(obj.get()), 2.5);
  CSMLObject_set_visible(obj.get(), 0);
  EXPECT_EQ(CSMLObject_get_visible(obj.get()), 0);
  const int depths[][2] = {{5000, 1000}, {1001, 1000}, {1000, 1000}, {-3, -3}, {0, 0}};
  for (const auto& d : depths) {
    EXPECT_EQ(CSMLObject_set_depth(obj.get(), d[0]), obj.get());
    EXPECT_EQ(CSMLObject_get_depth(obj.get()), d[1]) << d[0];
  }
}

TEST(CSMLObjectFields, SizeMoveKeepsTheCentre) {
  CSMLObjectPtr obj(CSMLObject_new());
  CSMLObject_set_width(obj.get(), 10);
  CSMLObject_set_height(obj.get(), 10);
  CSMLObject_set_position(obj.get(), 100, 100);
  CSMLObject_set_size_move(obj.get(), 20, 30);
  EXPECT_EQ(CSMLObject_get_position_x(obj.get()), 95.0);
  EXPECT_EQ(CSMLObject_get_position_y(obj.get()), 90.0);
  EXPECT_EQ(CSMLObject_get_width(obj.get()), 20.0);
  EXPECT_EQ(CSMLObject_get_height(obj.get()), 30.0);
}

TEST(CSMLObjectColor, UnsetTextsByKind) {
  struct Case {
    int kind;
    const char* fill;
    const char* line;
  };
  for (const Case& c : {Case{0, "0 0 0 0", "0 0 0 255"}, Case{2, "0 0 255 255", "0 0 255 255"},
                        Case{3, "0 0 0 0", "0 0 0 255"}}) {
    CSMLObjectPtr obj(CSMLObject_new());
    CSMLObject_set_type(obj.get(), c.kind);
    EXPECT_EQ(fill_text(obj.get()), c.fill) << c.kind;
    EXPECT_EQ(line_text(obj.get()), c.line) << c.kind;
  }
}

TEST(CSMLObjectColor, SettersCopyOrClamp) {
  CSMLObjectPtr obj(CSMLObject_new());
  VLK_Color* mine = VLK_Color_new_RGB(1, 2, 3, 4);
  CSMLObject_set_fill_color(obj.get(), mine);
  VLK_Color_set_RGB(mine, 9, 9, 9, 9);  // the record holds its own copy
  EXPECT_EQ(fill_text(obj.get()), "1 2 3 4");
  EXPECT_NE(obj->fill_color, mine);
  CSMLObject_set_line_color(obj.get(), mine);
  EXPECT_EQ(line_text(obj.get()), "9 9 9 9");
  VLK_Color_delete(mine);
  const VLK_Color* own = obj->line_color;
  CSMLObject_set_line_color_RGB(obj.get(), -5, 300, 255, 256);
  EXPECT_EQ(obj->line_color, own);  // created once, then overwritten
  EXPECT_EQ(line_text(obj.get()), "0 255 255 255");
  CSMLObject_set_fill_color_RGB(obj.get(), 255, 0, 128, -1);
  EXPECT_EQ(fill_text(obj.get()), "255 0 128 0");
}

TEST(CSMLObjectColor, TextOfAnUnclampedCopyStaysInTheBuffer) {
  CSMLObjectPtr obj(CSMLObject_new());
  const VLK_Color wide{INT_MIN, -1000, 99999, 1};
  CSMLObject_set_fill_color(obj.get(), &wide);
  CSMLObject_set_line_color(obj.get(), &wide);
  char buf[CSMLObject_COLOR_EXPR_SIZE + 16];
  for (auto get : {CSMLObject_get_fill_color_expr, CSMLObject_get_line_color_expr}) {
    std::memset(buf, 'x', sizeof buf);
    get(obj.get(), buf);
    EXPECT_EQ(std::strlen(buf), CSMLObject_COLOR_EXPR_SIZE - 1);
    EXPECT_EQ(std::string(buf), std::string("-2147483648 -10"));
    EXPECT_EQ(buf[CSMLObject_COLOR_EXPR_SIZE], 'x');
  }
}

TEST(CSMLObjectProps, WithoutAListEveryReadIsEmpty) {
  CSMLObjectPtr obj(CSMLObject_new());
  EXPECT_EQ(CSMLObject_num_properties(obj.get()), 0u);
  EXPECT_EQ(CSMLObject_find_property(obj.get(), "k"), -1);
  EXPECT_EQ(CSMLObject_get_property(obj.get(), "k"), nullptr);
  EXPECT_EQ(CSMLObject_get_property_key(obj.get(), 0), nullptr);
  EXPECT_EQ(CSMLObject_get_property_value(obj.get(), 0), nullptr);
  EXPECT_EQ(CSMLObject_get_property_int(obj.get(), "k", 17), 17);
  EXPECT_EQ(CSMLObject_get_property_int_at(obj.get(), 0, 17), 17);
  EXPECT_EQ(props(obj.get()), "");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) {
              EXPECT_EQ(CSMLObject_fprint_property_value(obj.get(), "k", fp), 0);
            }),
            "");
  CSMLObject_remove_property_at(obj.get(), 0);
  CSMLObject_clear_properties(obj.get());
  EXPECT_EQ(obj->properties, nullptr);  // reads and removals create nothing
}

TEST(CSMLObjectProps, AddSetRemoveAndPrint) {
  CSMLObjectPtr obj(CSMLObject_new());
  CSMLObject_add_property_int(obj.get(), "Count", 3);
  ASSERT_NE(obj->properties, nullptr);
  CSMLObject_add_property_double(obj.get(), "Freq", 0.5);
  CSMLObject_add_property_string(obj.get(), "Dir", "+");
  CSMLObject_add_property(obj.get(), "Count", VLK_Object_new_int(8));
  EXPECT_EQ(CSMLObject_num_properties(obj.get()), 4u);
  EXPECT_EQ(CSMLObject_find_property(obj.get(), "Dir"), 2);
  EXPECT_EQ(CSMLObject_get_property_int(obj.get(), "Count", 0), 3);
  EXPECT_EQ(CSMLObject_get_property_int_at(obj.get(), 3, 0), 8);
  EXPECT_EQ(CSMLObject_get_property_type(obj.get(), 1), VLK_TYPE_DOUBLE);
  EXPECT_STREQ(CSMLObject_get_property_key(obj.get(), 1), "Freq");
  EXPECT_EQ(CSMLObject_set_property_int(obj.get(), "Count", 4), obj.get());
  CSMLObject_set_property_double(obj.get(), "Freq", 0.75);
  CSMLObject_set_property_double(obj.get(), "Score", -1.0);
  EXPECT_EQ(props(obj.get()), "Count=4, Freq=0.750000, Dir=+, Count=8, Score=-1.000000");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) {
              EXPECT_EQ(CSMLObject_fprint_property_value(obj.get(), "Dir", fp), 1);
            }),
            "+");
  CSMLObject_remove_property_at(obj.get(), 0);
  EXPECT_EQ(CSMLObject_get_property_int(obj.get(), "Count", 0), 8);
  CSMLObject_clear_properties(obj.get());
  EXPECT_NE(obj->properties, nullptr);  // the emptied list stays
  EXPECT_EQ(CSMLObject_num_properties(obj.get()), 0u);
}

TEST(CSMLObjectProps, SetPropertiesTakesTheListOver) {
  CSMLObjectPtr obj(CSMLObject_new());
  CSMLObject_add_property_int(obj.get(), "old", 1);
  VLK_KeyObjects* list = VLK_KeyObjects_new();
  VLK_KeyObjects_add_int(list, "new", 2);
  CSMLObject_set_properties(obj.get(), list);  // the old list is freed (a leak otherwise)
  EXPECT_EQ(obj->properties, list);
  CSMLObject_set_properties(obj.get(), list);  // its own list again: kept, not freed
  EXPECT_EQ(props(obj.get()), "new=2");
  CSMLObject_set_properties(obj.get(), nullptr);
  EXPECT_EQ(CSMLObject_num_properties(obj.get()), 0u);
}

TEST(CSMLObjectProps, AppendKeyValuesAndCopyProperties) {
  CSMLObjectPtr src(CSMLObject_new());
  VLK_KeyValues* kv = VLK_KeyValues_parse("a=x");
  VLK_KeyValues_put_int(kv, "n", 2);
  CSMLObject_append_properties_KeyValues(src.get(), kv);
  VLK_KeyValues_delete(kv);
  EXPECT_EQ(props(src.get()), "a=x, n=2");

  CSMLObjectPtr dst(CSMLObject_new());
  CSMLObject_add_property_int(dst.get(), "gone", 1);
  CSMLObject_copy_properties(dst.get(), src.get());
  EXPECT_EQ(props(dst.get()), "a=x, n=2");
  EXPECT_NE(CSMLObject_get_property(dst.get(), "a"), CSMLObject_get_property(src.get(), "a"));
  CSMLObject_copy_properties(dst.get(), dst.get());  // onto itself: nothing lost
  EXPECT_EQ(props(dst.get()), "a=x, n=2");

  // A source without a list empties a list that exists and creates none.
  CSMLObjectPtr bare(CSMLObject_new());
  CSMLObject_copy_properties(dst.get(), bare.get());
  ASSERT_NE(dst->properties, nullptr);
  EXPECT_EQ(CSMLObject_num_properties(dst.get()), 0u);
  CSMLObjectPtr other(CSMLObject_new());
  CSMLObject_copy_properties(other.get(), bare.get());
  EXPECT_EQ(other->properties, nullptr);
}

TEST(CSMLObjectLife, CloneIsDeep) {
  EXPECT_EQ(CSMLObject_clone(nullptr), nullptr);
  CSMLObjectPtr obj(CSMLObject_new());
  CSMLObject_set_type(obj.get(), 2);
  CSMLObject_set_position(obj.get(), 3, 4);
  CSMLObject_set_depth(obj.get(), 12);
  CSMLObject_set_fill_color_RGB(obj.get(), 1, 2, 3, 4);
  CSMLObject_add_property_string(obj.get(), "k", "v");
  CSMLObjectPtr copy(CSMLObject_clone(obj.get()));
  EXPECT_EQ(copy->kind, 2);
  EXPECT_EQ(copy->x, 3.0);
  EXPECT_EQ(copy->depth, 12);
  EXPECT_NE(copy->fill_color, obj->fill_color);
  EXPECT_EQ(copy->line_color, nullptr);  // unset stays unset
  EXPECT_NE(copy->properties, obj->properties);
  CSMLObject_set_fill_color_RGB(obj.get(), 9, 9, 9, 9);
  CSMLObject_clear_properties(obj.get());
  obj.reset();
  EXPECT_EQ(fill_text(copy.get()), "1 2 3 4");
  EXPECT_EQ(props(copy.get()), "k=v");
}

TEST(CSMLObjectLife, CheckValidityMessages) {
  CSMLObjectPtr obj(CSMLObject_new());
  {
    vlk_test::CaptureErr err;
    CSMLObject_check_validity(obj.get());
    EXPECT_EQ(err.text(), "CSMLObject_check_validity(): NULL\n");
  }
  CSMLObject_add_property_int(obj.get(), "k", 1);
  vlk_test::CaptureErr err;
  CSMLObject_check_validity(obj.get());
  EXPECT_EQ(err.text(), "[0] key=k\n[0] type=1\nCSMLObject_check_validity(): Validated\n");
}

TEST(CSMLObjectCSML, TextArea) {
  CSMLObjectPtr obj(CSMLObject_new());
  CSMLObject_set_position(obj.get(), 12.5, 7);
  CSMLObject_set_fill_color_RGB(obj.get(), 10, 20, 30, 40);
  CSMLObject_set_depth(obj.get(), 5);  // depth, visibility and line attributes are not written
  CSMLObject_set_visible(obj.get(), 0);
  CSMLObject_add_property_string(obj.get(), "text", "Hello <b>");
  vlk_test::CaptureErr err;
  const std::string want =
      "<csml:viewProperty>\n"
      "<csml:position position=\"rotation:0.0\" positionID=\"default\" x=\"12.500000\" "
      "y=\"7.000000\"/>\n"
      "<csml:shape depth=\"0\" shapeID=\"default\" visible=\"true\">\n"
      "<csml:toolSpecificGraphics>\n"
      "<fig:figure xmlns:fig=\"" +
      std::string(VLK_CSML_NS_CIGRAPHICS) +
      "\">\n"
      "<fig:textArea arcRatio=\"5\" depth=\"0\" fillColor=\"10 20 30 40\" fontName=\"Lucida "
      "Grande\" fontSize=\"16\" fontStyle=\"plain\" outlineColor=\"0 0 255 255\" "
      "outlineDash=\"\" outlineWidth=\"2.0\" size=\"100.000000 30.000000\" spacing=\"0.0\" "
      "textColor=\"0 0 0 255\" visible=\"true\">Hello <b></fig:textArea>\n"
      "</fig:figure>\n</csml:toolSpecificGraphics>\n</csml:shape>\n</csml:viewProperty>\n"
      "<csml:animationProperty/>\n<csml:biologicalProperty/>\n<csml:comments/>\n";
  EXPECT_EQ(csml(obj.get()), want);
  EXPECT_EQ(err.text(), "");
}

TEST(CSMLObjectCSML, MissingOrNonStringTextGivesAnEmptyArea) {
  struct Case {
    const char* name;
    void (*setup)(CSMLObject*);
    const char* err;
  };
  const Case cases[] = {
      {"no list", [](CSMLObject*) {}, ""},
      {"empty list",
       [](CSMLObject* o) {
         CSMLObject_add_property_int(o, "k", 1);
         CSMLObject_clear_properties(o);
       },
       "NULL!\n"},
      {"int text", [](CSMLObject* o) { CSMLObject_add_property_int(o, "text", 5); }, "NULL!\n"},
      {"other key", [](CSMLObject* o) { CSMLObject_add_property_string(o, "txt", "x"); },
       "NULL!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSMLObjectPtr obj(CSMLObject_new());
    c.setup(obj.get());
    vlk_test::CaptureErr err;
    const std::string out = csml(obj.get());
    EXPECT_NE(out.find(" fillColor=\"0 0 0 0\" "), std::string::npos);
    EXPECT_NE(out.find("visible=\"true\"></fig:textArea>\n"), std::string::npos);
    EXPECT_EQ(err.text(), c.err);
  }
}

TEST(CSOType, Names) {
  EXPECT_STREQ(CSOType_name(1), "cso30:c:mRNA");
  for (int id : {0, 2, -1, 1000}) EXPECT_STREQ(CSOType_name(id), "cso30:c:-") << id;
}
