// A node of an annotated network: a gene with a name, an alias, its drawing attributes and
// its position in the network. Everything visual and every property lives in the drawing
// record; the operations here forward to it with the node defaults.
#pragma once

#include <cstdint>
#include <memory>

#include "CSMLObject.h"
#include "VLK_Color.h"
#include "VLK_KeyValues.h"
#include "VLK_Object.h"

struct VLK_Network;

struct VLK_Node {
  char* name;           // own copy; the key of name lookups (not unique)
  char* alias;          // own copy
  CSMLObject* drawing;  // owned
  int32_t index;        // position in the network, -1 while free
  // The network holding the node (null while free), told of renames so that its name lookup
  // stays in step. Set and cleared by the network only.
  VLK_Network* network;
};

VLK_Node* VLK_Node_new(const char* name, const char* alias);
void VLK_Node_delete(VLK_Node* node);
// Copies of the labels and of the drawing record; index -1, in no network.
VLK_Node* VLK_Node_clone(const VLK_Node* node);
char* VLK_Node_name(const VLK_Node* node);
char* VLK_Node_alias(const VLK_Node* node);
void VLK_Node_set_name(VLK_Node* node, const char* name);
void VLK_Node_set_alias(VLK_Node* node, const char* alias);
VLK_Node* VLK_Node_set_index(VLK_Node* node, int i);
int VLK_Node_get_index(const VLK_Node* node);
CSMLObject* VLK_Node_get_CSMLObject(const VLK_Node* node);

VLK_Node* VLK_Node_set_position(VLK_Node* node, double x, double y);
void VLK_Node_move_position(VLK_Node* node, double dx, double dy);
double VLK_Node_get_position_x(const VLK_Node* node);
double VLK_Node_get_position_y(const VLK_Node* node);
VLK_Node* VLK_Node_set_fill_color(VLK_Node* node, const VLK_Color* c);
VLK_Node* VLK_Node_set_line_color(VLK_Node* node, const VLK_Color* c);
// Fill and line colour alike, components clamped to 0..255.
VLK_Node* VLK_Node_set_color(VLK_Node* node, int r, int g, int b, int a);
// Colour texts into a buffer of CSMLObject_COLOR_EXPR_SIZE bytes.
VLK_Node* VLK_Node_get_color_expr(VLK_Node* node, char* buffer);
VLK_Node* VLK_Node_get_line_color_expr(VLK_Node* node, char* buffer);
// Width and height both s truncated toward zero.
VLK_Node* VLK_Node_set_size(VLK_Node* node, double s);
// The same about the centre of the box (the move uses the untruncated s).
void VLK_Node_set_size_move(VLK_Node* node, double s);
double VLK_Node_get_size(const VLK_Node* node);
VLK_Node* VLK_Node_set_line_width(VLK_Node* node, double lw);
double VLK_Node_get_line_width(const VLK_Node* node);
VLK_Node* VLK_Node_set_depth(VLK_Node* node, int d);
int VLK_Node_get_depth(const VLK_Node* node);

VLK_Object* VLK_Node_get_property(const VLK_Node* node, const char* key);
VLK_Node* VLK_Node_add_property_int(VLK_Node* node, const char* key, int v);
// Replaces all properties by copies of kv's entries and deletes kv: the list is consumed.
VLK_Node* VLK_Node_set_properties(VLK_Node* node, VLK_KeyValues* kv);
// Replaces the properties by clones of other's; other keeps its own.
VLK_Node* VLK_Node_copy_properties(VLK_Node* node, const VLK_Node* other);

namespace vlk {
// A node not (yet) handed to a network.
using NodePtr = std::unique_ptr<VLK_Node, FreeWith<VLK_Node_delete>>;
// VLK_Node_set_properties with the hand-over spelled out: the list is moved in and consumed.
inline VLK_Node* set_properties(
    VLK_Node* node, std::unique_ptr<VLK_KeyValues, FreeWith<VLK_KeyValues_delete>>&& kv) {
  return VLK_Node_set_properties(node, kv.release());
}
}  // namespace vlk
