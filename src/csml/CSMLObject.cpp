#include "CSMLObject.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "velkcom.h"

namespace {

constexpr int32_t kMaxDepth = 1000;

VLK_KeyObjects* list_of(CSMLObject* obj) {
  if (obj->properties == nullptr) obj->properties = VLK_KeyObjects_new();
  return obj->properties;
}

VLK_Color* own_color(VLK_Color*& slot) {
  if (slot == nullptr) slot = VLK_Color_new();
  return slot;
}

// The colour text, cut to the buffer: components copied from an unclamped colour can need more
// than the 16 bytes the callers provide.
void color_expr(const VLK_Color* c, const char* unset, char* buffer) {
  if (c == nullptr) {
    std::snprintf(buffer, CSMLObject_COLOR_EXPR_SIZE, "%s", unset);
    return;
  }
  std::snprintf(buffer, CSMLObject_COLOR_EXPR_SIZE, "%d %d %d %d", c->r, c->g, c->b, c->a);
}

}  // namespace

CSMLObject* CSMLObject_new() {
  auto* obj = static_cast<CSMLObject*>(std::malloc(sizeof(CSMLObject)));
  if (obj == nullptr) return nullptr;
  *obj = CSMLObject{
      CSMLObject_KIND_OTHER, nullptr, 0.0, 0.0, 100.0, 30.0, nullptr, nullptr, 1.0, 0, 1, 0};
  return obj;
}

void CSMLObject_delete(CSMLObject* obj) {
  if (obj == nullptr) return;
  VLK_KeyObjects_delete(obj->properties);
  VLK_Color_delete(obj->fill_color);
  VLK_Color_delete(obj->line_color);
  std::free(obj);
}

CSMLObject* CSMLObject_clone(const CSMLObject* obj) {
  if (obj == nullptr) return nullptr;
  auto* copy = static_cast<CSMLObject*>(std::malloc(sizeof(CSMLObject)));
  if (copy == nullptr) return nullptr;
  *copy = *obj;
  copy->properties = VLK_KeyObjects_clone(obj->properties);
  copy->fill_color = VLK_Color_clone(obj->fill_color);
  copy->line_color = VLK_Color_clone(obj->line_color);
  return copy;
}

void CSMLObject_check_validity(const CSMLObject* obj) {
  if (obj->properties != nullptr) {
    VLK_KeyObjects_check_validity(obj->properties);
    std::fprintf(VELK_ERR, "CSMLObject_check_validity(): Validated\n");
  } else {
    std::fprintf(VELK_ERR, "CSMLObject_check_validity(): NULL\n");
  }
}

// ---- plain fields ----------------------------------------------------------------------------

CSMLObject* CSMLObject_set_type(CSMLObject* obj, int kind) {
  obj->kind = kind;
  return obj;
}
int CSMLObject_get_type(const CSMLObject* obj) { return obj->kind; }

CSMLObject* CSMLObject_set_CSO_type(CSMLObject* obj, int id) {
  obj->cso_type = id;
  return obj;
}
int CSMLObject_get_CSO_type(const CSMLObject* obj) { return obj->cso_type; }
const char* CSMLObject_get_CSO_type_name(const CSMLObject* obj) {
  return CSOType_name(obj->cso_type);
}

void CSMLObject_set_position(CSMLObject* obj, double x, double y) {
  obj->x = x;
  obj->y = y;
}
void CSMLObject_move_position(CSMLObject* obj, double dx, double dy) {
  obj->x += dx;
  obj->y += dy;
}
double CSMLObject_get_position_x(const CSMLObject* obj) { return obj->x; }
double CSMLObject_get_position_y(const CSMLObject* obj) { return obj->y; }

void CSMLObject_set_width(CSMLObject* obj, int w) { obj->width = w; }
void CSMLObject_set_height(CSMLObject* obj, int h) { obj->height = h; }
double CSMLObject_get_width(const CSMLObject* obj) { return obj->width; }
double CSMLObject_get_height(const CSMLObject* obj) { return obj->height; }

void CSMLObject_set_size_move(CSMLObject* obj, double w, double h) {
  obj->x += 0.5 * (obj->width - w);
  obj->y += 0.5 * (obj->height - h);
  obj->width = w;
  obj->height = h;
}

CSMLObject* CSMLObject_set_line_width(CSMLObject* obj, double lw) {
  obj->line_width = lw;
  return obj;
}
double CSMLObject_get_line_width(const CSMLObject* obj) { return obj->line_width; }

CSMLObject* CSMLObject_set_depth(CSMLObject* obj, int d) {
  obj->depth = std::min(d, kMaxDepth);
  return obj;
}
int CSMLObject_get_depth(const CSMLObject* obj) { return obj->depth; }

void CSMLObject_set_visible(CSMLObject* obj, int v) { obj->visible = v; }
int CSMLObject_get_visible(const CSMLObject* obj) { return obj->visible; }

// ---- colours ---------------------------------------------------------------------------------

void CSMLObject_set_fill_color(CSMLObject* obj, const VLK_Color* c) {
  VLK_Color_set(own_color(obj->fill_color), c);
}

void CSMLObject_set_line_color(CSMLObject* obj, const VLK_Color* c) {
  VLK_Color_set(own_color(obj->line_color), c);
}

void CSMLObject_set_fill_color_RGB(CSMLObject* obj, int r, int g, int b, int a) {
  VLK_Color_set_RGB(own_color(obj->fill_color), r, g, b, a);
}

void CSMLObject_set_line_color_RGB(CSMLObject* obj, int r, int g, int b, int a) {
  VLK_Color_set_RGB(own_color(obj->line_color), r, g, b, a);
}

void CSMLObject_get_fill_color_expr(const CSMLObject* obj, char* buffer) {
  const bool node = obj->kind == CSMLObject_KIND_NODE;
  color_expr(obj->fill_color, node ? "0 0 255 255" : "0 0 0 0", buffer);
}

void CSMLObject_get_line_color_expr(const CSMLObject* obj, char* buffer) {
  const bool node = obj->kind == CSMLObject_KIND_NODE;
  color_expr(obj->line_color, node ? "0 0 255 255" : "0 0 0 255", buffer);
}

// ---- properties ------------------------------------------------------------------------------

size_t CSMLObject_num_properties(const CSMLObject* obj) {
  return obj->properties ? VLK_KeyObjects_size(obj->properties) : 0;
}

long CSMLObject_find_property(const CSMLObject* obj, const char* key) {
  return obj->properties ? VLK_KeyObjects_find(obj->properties, key) : -1;
}

VLK_Object* CSMLObject_get_property(const CSMLObject* obj, const char* key) {
  return obj->properties ? VLK_KeyObjects_get(obj->properties, key) : nullptr;
}

char* CSMLObject_get_property_key(const CSMLObject* obj, size_t i) {
  return obj->properties ? VLK_KeyObjects_get_key(obj->properties, i) : nullptr;
}

VLK_Object* CSMLObject_get_property_value(const CSMLObject* obj, size_t i) {
  return obj->properties ? VLK_KeyObjects_get_value(obj->properties, i) : nullptr;
}

int CSMLObject_get_property_type(const CSMLObject* obj, size_t i) {
  return obj->properties ? VLK_KeyObjects_get_type(obj->properties, i) : VLK_TYPE_NULL;
}

int CSMLObject_get_property_int(const CSMLObject* obj, const char* key, int def) {
  return obj->properties ? VLK_KeyObjects_get_int(obj->properties, key, def) : def;
}

int CSMLObject_get_property_int_at(const CSMLObject* obj, size_t i, int def) {
  return obj->properties ? VLK_KeyObjects_get_int_at(obj->properties, i, def) : def;
}

void CSMLObject_add_property(CSMLObject* obj, const char* key, VLK_Object* box) {
  VLK_KeyObjects_add(list_of(obj), key, box);
}

void CSMLObject_add_property_int(CSMLObject* obj, const char* key, int v) {
  VLK_KeyObjects_add_int(list_of(obj), key, v);
}

void CSMLObject_add_property_double(CSMLObject* obj, const char* key, double x) {
  VLK_KeyObjects_add_double(list_of(obj), key, x);
}

void CSMLObject_add_property_string(CSMLObject* obj, const char* key, const char* s) {
  VLK_KeyObjects_add_string(list_of(obj), key, s);
}

CSMLObject* CSMLObject_set_property_int(CSMLObject* obj, const char* key, int v) {
  VLK_KeyObjects_set_int(list_of(obj), key, v);
  return obj;
}

void CSMLObject_set_property_double(CSMLObject* obj, const char* key, double x) {
  VLK_KeyObjects_set_double(list_of(obj), key, x);
}

void CSMLObject_set_properties(CSMLObject* obj, VLK_KeyObjects* list) {
  if (list == obj->properties) return;  // already ours: deleting it first would lose it
  VLK_KeyObjects_delete(obj->properties);
  obj->properties = list;
}

void CSMLObject_append_properties_KeyValues(CSMLObject* obj, const VLK_KeyValues* kv) {
  VLK_KeyObjects_append_KeyValues(list_of(obj), kv);
}

void CSMLObject_copy_properties(CSMLObject* dst, const CSMLObject* src) {
  if (dst == src) return;  // emptying first would leave nothing to copy
  if (dst->properties != nullptr) VLK_KeyObjects_clear(dst->properties);
  if (src->properties != nullptr) VLK_KeyObjects_append_KeyObjects(list_of(dst), src->properties);
}

void CSMLObject_remove_property_at(CSMLObject* obj, size_t i) {
  if (obj->properties != nullptr) VLK_KeyObjects_remove_at(obj->properties, i);
}

void CSMLObject_clear_properties(CSMLObject* obj) {
  if (obj->properties != nullptr) VLK_KeyObjects_clear(obj->properties);
}

void CSMLObject_fprint_properties(const CSMLObject* obj, FILE* fp) {
  if (obj->properties != nullptr) VLK_KeyObjects_fprint(obj->properties, fp);
}

int CSMLObject_fprint_property_value(const CSMLObject* obj, const char* key, FILE* fp) {
  const VLK_Object* box = CSMLObject_get_property(obj, key);
  if (box == nullptr) return 0;
  VLK_Object_fprint(box, fp);
  return 1;
}

// ---- CSML text area --------------------------------------------------------------------------

void CSMLObject_put_CSML(const CSMLObject* obj, FILE* fp) {
  const char* text = "";
  if (obj->properties != nullptr) {
    const VLK_Object* box = VLK_KeyObjects_get_const(obj->properties, "text");
    if (box != nullptr && box->type == VLK_TYPE_STRING && box->value != nullptr)
      text = static_cast<const char*>(box->value);
    else
      std::fprintf(VELK_ERR, "NULL!\n");
  }
  std::fprintf(fp, "<csml:viewProperty>\n");
  std::fprintf(fp,
               "<csml:position position=\"rotation:0.0\" positionID=\"default\" x=\"%f\" "
               "y=\"%f\"/>\n",
               obj->x, obj->y);
  std::fprintf(fp, "<csml:shape depth=\"0\" shapeID=\"default\" visible=\"true\">\n");
  std::fprintf(fp, "<csml:toolSpecificGraphics>\n");
  std::fprintf(fp, "<fig:figure xmlns:fig=\"%s\">\n", VLK_CSML_NS_CIGRAPHICS);
  std::fprintf(fp, "<fig:textArea arcRatio=\"5\" depth=\"0\"");
  if (const VLK_Color* c = obj->fill_color)
    std::fprintf(fp, " fillColor=\"%d %d %d %d\"", c->r, c->g, c->b, c->a);
  else
    std::fprintf(fp, " fillColor=\"%s\"", "0 0 0 0");
  std::fprintf(fp,
               " fontName=\"Lucida Grande\" fontSize=\"16\" fontStyle=\"plain\" "
               "outlineColor=\"0 0 255 255\" outlineDash=\"\" outlineWidth=\"2.0\" ");
  std::fprintf(fp, "size=\"%f %f\" ", obj->width, obj->height);
  std::fprintf(fp, "spacing=\"0.0\" textColor=\"0 0 0 255\" visible=\"true\">%s</fig:textArea>\n",
               text);
  std::fprintf(fp,
               "</fig:figure>\n</csml:toolSpecificGraphics>\n</csml:shape>\n"
               "</csml:viewProperty>\n<csml:animationProperty/>\n<csml:biologicalProperty/>\n"
               "<csml:comments/>\n");
}

const char* CSOType_name(int id) { return id == 1 ? "cso30:c:mRNA" : "cso30:c:-"; }
