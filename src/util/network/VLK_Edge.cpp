#include "VLK_Edge.h"

#include <cstdlib>

namespace {

const VLK_Object* first_box(const VLK_Edge* edge, const char* key) {
  return CSMLObject_get_property(edge->drawing, key);
}

}  // namespace

VLK_Edge* VLK_Edge_new(VLK_Node* parent, VLK_Node* child) {
  auto* edge = static_cast<VLK_Edge*>(std::malloc(sizeof(VLK_Edge)));
  if (edge == nullptr) return nullptr;
  CSMLObject* d = CSMLObject_new();
  if (d != nullptr) {
    CSMLObject_set_type(d, CSMLObject_KIND_EDGE);
    CSMLObject_set_line_width(d, 1.0);
  }
  *edge = VLK_Edge{parent, child, d};
  return edge;
}

void VLK_Edge_delete(VLK_Edge* edge) {
  if (edge == nullptr) return;
  CSMLObject_delete(edge->drawing);
  std::free(edge);
}

VLK_Edge* VLK_Edge_clone(const VLK_Edge* edge) {
  auto* copy = static_cast<VLK_Edge*>(std::malloc(sizeof(VLK_Edge)));
  if (copy == nullptr) return nullptr;
  *copy = VLK_Edge{edge->parent, edge->child, CSMLObject_clone(edge->drawing)};
  return copy;
}

VLK_Node* VLK_Edge_get_parent(const VLK_Edge* edge) { return edge->parent; }
VLK_Node* VLK_Edge_parent(const VLK_Edge* edge) { return edge->parent; }
VLK_Node* VLK_Edge_get_child(const VLK_Edge* edge) { return edge->child; }
VLK_Node* VLK_Edge_child(const VLK_Edge* edge) { return edge->child; }
char* VLK_Edge_parent_name(const VLK_Edge* edge) { return edge->parent->name; }
char* VLK_Edge_child_name(const VLK_Edge* edge) { return edge->child->name; }

VLK_Edge* VLK_Edge_set_parent(VLK_Edge* edge, VLK_Node* node) {
  edge->parent = node;
  return edge;
}
VLK_Edge* VLK_Edge_set_child(VLK_Edge* edge, VLK_Node* node) {
  edge->child = node;
  return edge;
}
VLK_Edge* VLK_Edge_set(VLK_Edge* edge, VLK_Node* parent, VLK_Node* child) {
  edge->parent = parent;
  edge->child = child;
  return edge;
}
CSMLObject* VLK_Edge_get_CSMLObject(const VLK_Edge* edge) { return edge->drawing; }

// ---- properties ------------------------------------------------------------------------------

VLK_Edge* VLK_Edge_add_property(VLK_Edge* edge, const char* key, void* value, int id) {
  CSMLObject_add_property(edge->drawing, key, VLK_Object_new_value(value, id));
  return edge;
}

VLK_Edge* VLK_Edge_add_property_Object(VLK_Edge* edge, const char* key, VLK_Object* box) {
  CSMLObject_add_property(edge->drawing, key, box);
  return edge;
}

void VLK_Edge_add_property_int(VLK_Edge* edge, const char* key, int v) {
  CSMLObject_add_property_int(edge->drawing, key, v);
}

void VLK_Edge_add_property_double(VLK_Edge* edge, const char* key, double x) {
  CSMLObject_add_property_double(edge->drawing, key, x);
}

void VLK_Edge_add_property_string(VLK_Edge* edge, const char* key, const char* s) {
  CSMLObject_add_property_string(edge->drawing, key, s);
}

VLK_Edge* VLK_Edge_set_property_double(VLK_Edge* edge, const char* key, double x) {
  CSMLObject_set_property_double(edge->drawing, key, x);
  return edge;
}

VLK_Edge* VLK_Edge_add_properties(VLK_Edge* edge, const VLK_KeyValues* kv) {
  CSMLObject_append_properties_KeyValues(edge->drawing, kv);
  return edge;
}

size_t VLK_Edge_get_property_size(const VLK_Edge* edge) {
  return CSMLObject_num_properties(edge->drawing);
}

char* VLK_Edge_get_property_key(const VLK_Edge* edge, size_t i) {
  return CSMLObject_get_property_key(edge->drawing, i);
}

int VLK_Edge_get_property_type(const VLK_Edge* edge, size_t i) {
  return CSMLObject_get_property_type(edge->drawing, i);
}

void* VLK_Edge_get_property_value(const VLK_Edge* edge, size_t i) {
  const VLK_Object* box = CSMLObject_get_property_value(edge->drawing, i);
  return box != nullptr ? box->value : nullptr;
}

void* VLK_Edge_get_property_with_type(const VLK_Edge* edge, const char* key, int id) {
  return VLK_Object_get(first_box(edge, key), id);
}

double VLK_Edge_get_property_double(const VLK_Edge* edge, const char* key, double def) {
  const auto* v =
      static_cast<const double*>(VLK_Edge_get_property_with_type(edge, key, VLK_TYPE_DOUBLE));
  return v != nullptr ? *v : def;
}

char* VLK_Edge_get_property_string(const VLK_Edge* edge, const char* key) {
  return static_cast<char*>(VLK_Edge_get_property_with_type(edge, key, VLK_TYPE_STRING));
}

int VLK_Edge_get_property_int_index(const VLK_Edge* edge, size_t i) {
  return VLK_Object_int_value(CSMLObject_get_property_value(edge->drawing, i), -1);
}

int VLK_Edge_find_property_key(const VLK_Edge* edge, const char* key) {
  return static_cast<int>(CSMLObject_find_property(edge->drawing, key));
}

long VLK_Edge_find_property(const VLK_Edge* edge, const char* key) {
  return CSMLObject_find_property(edge->drawing, key);
}

VLK_Edge* VLK_Edge_remove_property_at(VLK_Edge* edge, size_t i) {
  CSMLObject_remove_property_at(edge->drawing, i);
  return edge;
}

void VLK_Edge_clear_properties(VLK_Edge* edge) { CSMLObject_clear_properties(edge->drawing); }

void VLK_Edge_print_properties(const VLK_Edge* edge, FILE* fp) {
  CSMLObject_fprint_properties(edge->drawing, fp);
}

int VLK_Edge_print_property_value(const VLK_Edge* edge, const char* key, FILE* fp) {
  return CSMLObject_fprint_property_value(edge->drawing, key, fp);
}

// ---- drawing ---------------------------------------------------------------------------------

VLK_Edge* VLK_Edge_set_color(VLK_Edge* edge, int r, int g, int b, int a) {
  CSMLObject_set_line_color_RGB(edge->drawing, r, g, b, a);
  return edge;
}

VLK_Edge* VLK_Edge_get_color_expr(VLK_Edge* edge, char* buffer) {
  CSMLObject_get_line_color_expr(edge->drawing, buffer);
  return edge;
}

VLK_Edge* VLK_Edge_set_line_width(VLK_Edge* edge, double lw) {
  CSMLObject_set_line_width(edge->drawing, lw);
  return edge;
}
double VLK_Edge_get_line_width(const VLK_Edge* edge) { return edge->drawing->line_width; }

VLK_Edge* VLK_Edge_set_depth(VLK_Edge* edge, int d) {
  CSMLObject_set_depth(edge->drawing, d);
  return edge;
}
int VLK_Edge_get_depth(const VLK_Edge* edge) { return edge->drawing->depth; }
