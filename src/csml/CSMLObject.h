// Drawing attributes of one node, edge or extra object of a network: position, size, colours,
// depth, visibility, CSO type and the typed properties. The record owns its property list and
// both colours; they are created by the first operation that stores into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "VLK_Color.h"
#include "VLK_KeyObjects.h"
#include "VLK_KeyValues.h"
#include "VLK_Object.h"

// Kinds of drawing record.
enum : int32_t {
  CSMLObject_KIND_OTHER = 0,
  CSMLObject_KIND_NODE = 2,
  CSMLObject_KIND_EDGE = 3,
};

// Buffer size of the colour texts: "255 255 255 255" and the terminator.
inline constexpr size_t CSMLObject_COLOR_EXPR_SIZE = 16;
// Namespace of the tool-specific drawing elements (fig:) of the CSML output.
inline constexpr const char* VLK_CSML_NS_CIGRAPHICS =
    "http://www.csml.org/csml/version3/cigraphics";

struct CSMLObject {
  int32_t kind;                // 2 node, 3 edge, 0 any other object
  VLK_KeyObjects* properties;  // null until the first property
  double x;                    // left edge
  double y;                    // top edge
  double width;
  double height;
  VLK_Color* fill_color;  // null until set
  VLK_Color* line_color;  // null until set
  double line_width;
  int32_t depth;  // smaller is nearer the front; never above 1000
  int32_t visible;
  int32_t cso_type;  // element type of the CSML output
};

CSMLObject* CSMLObject_new();
void CSMLObject_delete(CSMLObject* obj);
CSMLObject* CSMLObject_clone(const CSMLObject* obj);
void CSMLObject_check_validity(const CSMLObject* obj);

CSMLObject* CSMLObject_set_type(CSMLObject* obj, int kind);
int CSMLObject_get_type(const CSMLObject* obj);
CSMLObject* CSMLObject_set_CSO_type(CSMLObject* obj, int id);
int CSMLObject_get_CSO_type(const CSMLObject* obj);
const char* CSMLObject_get_CSO_type_name(const CSMLObject* obj);
void CSMLObject_set_position(CSMLObject* obj, double x, double y);
void CSMLObject_move_position(CSMLObject* obj, double dx, double dy);
double CSMLObject_get_position_x(const CSMLObject* obj);
double CSMLObject_get_position_y(const CSMLObject* obj);
void CSMLObject_set_width(CSMLObject* obj, int w);
void CSMLObject_set_height(CSMLObject* obj, int h);
double CSMLObject_get_width(const CSMLObject* obj);
double CSMLObject_get_height(const CSMLObject* obj);
// Resizes about the centre of the box.
void CSMLObject_set_size_move(CSMLObject* obj, double w, double h);
CSMLObject* CSMLObject_set_line_width(CSMLObject* obj, double lw);
double CSMLObject_get_line_width(const CSMLObject* obj);
// Depths above 1000 are stored as 1000.
CSMLObject* CSMLObject_set_depth(CSMLObject* obj, int d);
int CSMLObject_get_depth(const CSMLObject* obj);
void CSMLObject_set_visible(CSMLObject* obj, int v);
int CSMLObject_get_visible(const CSMLObject* obj);

// The caller keeps its colour; its four components are copied.
void CSMLObject_set_fill_color(CSMLObject* obj, const VLK_Color* c);
void CSMLObject_set_line_color(CSMLObject* obj, const VLK_Color* c);
// Each component clamped to 0..255.
void CSMLObject_set_fill_color_RGB(CSMLObject* obj, int r, int g, int b, int a);
void CSMLObject_set_line_color_RGB(CSMLObject* obj, int r, int g, int b, int a);
// "%d %d %d %d" into buffer (CSMLObject_COLOR_EXPR_SIZE bytes; a longer text is cut there), or
// the default text of the kind when the colour is unset.
void CSMLObject_get_fill_color_expr(const CSMLObject* obj, char* buffer);
void CSMLObject_get_line_color_expr(const CSMLObject* obj, char* buffer);

// Properties. Reads answer as for an empty list when there is none; adds create the list.
size_t CSMLObject_num_properties(const CSMLObject* obj);
long CSMLObject_find_property(const CSMLObject* obj, const char* key);
VLK_Object* CSMLObject_get_property(const CSMLObject* obj, const char* key);
char* CSMLObject_get_property_key(const CSMLObject* obj, size_t i);
VLK_Object* CSMLObject_get_property_value(const CSMLObject* obj, size_t i);
int CSMLObject_get_property_type(const CSMLObject* obj, size_t i);
int CSMLObject_get_property_int(const CSMLObject* obj, const char* key, int def);
int CSMLObject_get_property_int_at(const CSMLObject* obj, size_t i, int def);
// The box is taken over.
void CSMLObject_add_property(CSMLObject* obj, const char* key, VLK_Object* box);
void CSMLObject_add_property_int(CSMLObject* obj, const char* key, int v);
void CSMLObject_add_property_double(CSMLObject* obj, const char* key, double x);
void CSMLObject_add_property_string(CSMLObject* obj, const char* key, const char* s);
CSMLObject* CSMLObject_set_property_int(CSMLObject* obj, const char* key, int v);
void CSMLObject_set_property_double(CSMLObject* obj, const char* key, double x);
// Deletes the current list and takes the caller's list in its place.
void CSMLObject_set_properties(CSMLObject* obj, VLK_KeyObjects* list);
void CSMLObject_append_properties_KeyValues(CSMLObject* obj, const VLK_KeyValues* kv);
// dst's properties become clones of src's.
void CSMLObject_copy_properties(CSMLObject* dst, const CSMLObject* src);
void CSMLObject_remove_property_at(CSMLObject* obj, size_t i);
void CSMLObject_clear_properties(CSMLObject* obj);
void CSMLObject_fprint_properties(const CSMLObject* obj, FILE* fp);
// 1 after printing the value of the first entry with the key, 0 (nothing printed) without one.
int CSMLObject_fprint_property_value(const CSMLObject* obj, const char* key, FILE* fp);

// The view part of an extra object as a CSML text area (its "text" property).
void CSMLObject_put_CSML(const CSMLObject* obj, FILE* fp);

// "cso30:c:mRNA" for 1, "cso30:c:-" otherwise.
const char* CSOType_name(int id);

namespace vlk {
using CSMLObjectPtr = std::unique_ptr<CSMLObject, FreeWith<CSMLObject_delete>>;
}  // namespace vlk
