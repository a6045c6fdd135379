#include "VLK_Node.h"

#include <cmath>
#include <cstdlib>

#include "VLK_Network.h"
#include "VLK_Str.h"

namespace {

CSMLObject* node_drawing() {
  CSMLObject* d = CSMLObject_new();
  if (d == nullptr) return nullptr;
  CSMLObject_set_type(d, CSMLObject_KIND_NODE);
  CSMLObject_set_CSO_type(d, 1);
  CSMLObject_set_line_width(d, 2.0);
  d->width = 10.0;
  d->height = 10.0;
  return d;
}

}  // namespace

VLK_Node* VLK_Node_new(const char* name, const char* alias) {
  auto* node = static_cast<VLK_Node*>(std::malloc(sizeof(VLK_Node)));
  if (node == nullptr) return nullptr;
  *node = VLK_Node{VLK_Str_copy(name), VLK_Str_copy(alias), node_drawing(), -1, nullptr};
  return node;
}

void VLK_Node_delete(VLK_Node* node) {
  if (node == nullptr) return;
  std::free(node->name);
  std::free(node->alias);
  CSMLObject_delete(node->drawing);
  std::free(node);
}

VLK_Node* VLK_Node_clone(const VLK_Node* node) {
  auto* copy = static_cast<VLK_Node*>(std::malloc(sizeof(VLK_Node)));
  if (copy == nullptr) return nullptr;
  *copy = VLK_Node{VLK_Str_copy(node->name), VLK_Str_copy(node->alias),
                   CSMLObject_clone(node->drawing), -1, nullptr};
  return copy;
}

char* VLK_Node_name(const VLK_Node* node) { return node->name; }
char* VLK_Node_alias(const VLK_Node* node) { return node->alias; }

void VLK_Node_set_name(VLK_Node* node, const char* name) {
  char* old = node->name;
  node->name = VLK_Str_copy(name);
  if (node->network != nullptr) vlk::network_node_renamed(node->network, node, old);
  std::free(old);
}

void VLK_Node_set_alias(VLK_Node* node, const char* alias) {
  char* copy = VLK_Str_copy(alias);
  std::free(node->alias);
  node->alias = copy;
}

VLK_Node* VLK_Node_set_index(VLK_Node* node, int i) {
  node->index = i;
  return node;
}
int VLK_Node_get_index(const VLK_Node* node) { return node->index; }
CSMLObject* VLK_Node_get_CSMLObject(const VLK_Node* node) { return node->drawing; }

// ---- drawing ---------------------------------------------------------------------------------

VLK_Node* VLK_Node_set_position(VLK_Node* node, double x, double y) {
  CSMLObject_set_position(node->drawing, x, y);
  return node;
}
void VLK_Node_move_position(VLK_Node* node, double dx, double dy) {
  CSMLObject_move_position(node->drawing, dx, dy);
}
double VLK_Node_get_position_x(const VLK_Node* node) { return node->drawing->x; }
double VLK_Node_get_position_y(const VLK_Node* node) { return node->drawing->y; }

VLK_Node* VLK_Node_set_fill_color(VLK_Node* node, const VLK_Color* c) {
  CSMLObject_set_fill_color(node->drawing, c);
  return node;
}
VLK_Node* VLK_Node_set_line_color(VLK_Node* node, const VLK_Color* c) {
  CSMLObject_set_line_color(node->drawing, c);
  return node;
}
VLK_Node* VLK_Node_set_color(VLK_Node* node, int r, int g, int b, int a) {
  CSMLObject_set_fill_color_RGB(node->drawing, r, g, b, a);
  CSMLObject_set_line_color_RGB(node->drawing, r, g, b, a);
  return node;
}
VLK_Node* VLK_Node_get_color_expr(VLK_Node* node, char* buffer) {
  CSMLObject_get_fill_color_expr(node->drawing, buffer);
  return node;
}
VLK_Node* VLK_Node_get_line_color_expr(VLK_Node* node, char* buffer) {
  CSMLObject_get_line_color_expr(node->drawing, buffer);
  return node;
}

// Sizes are whole numbers; std::trunc keeps sizes beyond the int range defined.
VLK_Node* VLK_Node_set_size(VLK_Node* node, double s) {
  node->drawing->width = std::trunc(s);
  node->drawing->height = std::trunc(s);
  return node;
}
void VLK_Node_set_size_move(VLK_Node* node, double s) {
  CSMLObject* d = node->drawing;
  d->x += 0.5 * (d->width - s);
  d->y += 0.5 * (d->height - s);
  VLK_Node_set_size(node, s);
}
double VLK_Node_get_size(const VLK_Node* node) { return node->drawing->width; }

VLK_Node* VLK_Node_set_line_width(VLK_Node* node, double lw) {
  CSMLObject_set_line_width(node->drawing, lw);
  return node;
}
double VLK_Node_get_line_width(const VLK_Node* node) { return node->drawing->line_width; }
VLK_Node* VLK_Node_set_depth(VLK_Node* node, int d) {
  CSMLObject_set_depth(node->drawing, d);
  return node;
}
int VLK_Node_get_depth(const VLK_Node* node) { return node->drawing->depth; }

// ---- properties ------------------------------------------------------------------------------

VLK_Object* VLK_Node_get_property(const VLK_Node* node, const char* key) {
  return CSMLObject_get_property(node->drawing, key);
}

VLK_Node* VLK_Node_add_property_int(VLK_Node* node, const char* key, int v) {
  CSMLObject_add_property_int(node->drawing, key, v);
  return node;
}

VLK_Node* VLK_Node_set_properties(VLK_Node* node, VLK_KeyValues* kv) {
  CSMLObject_set_properties(node->drawing, VLK_KeyObjects_new_KeyValues(kv));
  VLK_KeyValues_delete(kv);
  return node;
}

VLK_Node* VLK_Node_copy_properties(VLK_Node* node, const VLK_Node* other) {
  CSMLObject_copy_properties(node->drawing, other->drawing);
  return node;
}
