// A directed edge parent -> child of an annotated network. The edge refers to its nodes (the
// network owns them) and owns its drawing record, whose property list holds the edge
// properties ("edgeScore", "Freq", "Count", ...). Keys may repeat; lookups take the first.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "CSMLObject.h"
#include "VLK_KeyValues.h"
#include "VLK_Node.h"
#include "VLK_Object.h"

struct VLK_Edge {
  VLK_Node* parent;     // not owned
  VLK_Node* child;      // not owned
  CSMLObject* drawing;  // owned
};

VLK_Edge* VLK_Edge_new(VLK_Node* parent, VLK_Node* child);
// Frees the drawing record and the edge, not the nodes.
void VLK_Edge_delete(VLK_Edge* edge);
// Same ends, cloned drawing record.
VLK_Edge* VLK_Edge_clone(const VLK_Edge* edge);
VLK_Node* VLK_Edge_get_parent(const VLK_Edge* edge);
VLK_Node* VLK_Edge_parent(const VLK_Edge* edge);
VLK_Node* VLK_Edge_get_child(const VLK_Edge* edge);
VLK_Node* VLK_Edge_child(const VLK_Edge* edge);
char* VLK_Edge_parent_name(const VLK_Edge* edge);
char* VLK_Edge_child_name(const VLK_Edge* edge);
VLK_Edge* VLK_Edge_set_parent(VLK_Edge* edge, VLK_Node* node);
VLK_Edge* VLK_Edge_set_child(VLK_Edge* edge, VLK_Node* node);
VLK_Edge* VLK_Edge_set(VLK_Edge* edge, VLK_Node* parent, VLK_Node* child);
CSMLObject* VLK_Edge_get_CSMLObject(const VLK_Edge* edge);

// Properties; the values and boxes handed in are taken over.
VLK_Edge* VLK_Edge_add_property(VLK_Edge* edge, const char* key, void* value, int id);
VLK_Edge* VLK_Edge_add_property_Object(VLK_Edge* edge, const char* key, VLK_Object* box);
void VLK_Edge_add_property_int(VLK_Edge* edge, const char* key, int v);
void VLK_Edge_add_property_double(VLK_Edge* edge, const char* key, double x);
void VLK_Edge_add_property_string(VLK_Edge* edge, const char* key, const char* s);
VLK_Edge* VLK_Edge_set_property_double(VLK_Edge* edge, const char* key, double x);
// Appends copies of kv's entries; kv stays the caller's.
VLK_Edge* VLK_Edge_add_properties(VLK_Edge* edge, const VLK_KeyValues* kv);
size_t VLK_Edge_get_property_size(const VLK_Edge* edge);
char* VLK_Edge_get_property_key(const VLK_Edge* edge, size_t i);
int VLK_Edge_get_property_type(const VLK_Edge* edge, size_t i);
// Raw value of entry i; null without properties.
void* VLK_Edge_get_property_value(const VLK_Edge* edge, size_t i);
// Raw value of the first entry with the key when it has type id, else null.
void* VLK_Edge_get_property_with_type(const VLK_Edge* edge, const char* key, int id);
// The first entry with the key when it is a double, else def.
double VLK_Edge_get_property_double(const VLK_Edge* edge, const char* key, double def);
// The first entry with the key when it is a string, else null.
char* VLK_Edge_get_property_string(const VLK_Edge* edge, const char* key);
// Entry i as an int: an int, a string through atoi, -1 for any other type.
int VLK_Edge_get_property_int_index(const VLK_Edge* edge, size_t i);
int VLK_Edge_find_property_key(const VLK_Edge* edge, const char* key);
long VLK_Edge_find_property(const VLK_Edge* edge, const char* key);
VLK_Edge* VLK_Edge_remove_property_at(VLK_Edge* edge, size_t i);
void VLK_Edge_clear_properties(VLK_Edge* edge);
void VLK_Edge_print_properties(const VLK_Edge* edge, FILE* fp);
int VLK_Edge_print_property_value(const VLK_Edge* edge, const char* key, FILE* fp);

// Drawing: the colour of an edge is its line colour.
VLK_Edge* VLK_Edge_set_color(VLK_Edge* edge, int r, int g, int b, int a);
VLK_Edge* VLK_Edge_get_color_expr(VLK_Edge* edge, char* buffer);
VLK_Edge* VLK_Edge_set_line_width(VLK_Edge* edge, double lw);
double VLK_Edge_get_line_width(const VLK_Edge* edge);
VLK_Edge* VLK_Edge_set_depth(VLK_Edge* edge, int d);
int VLK_Edge_get_depth(const VLK_Edge* edge);

namespace vlk {
// An edge not (yet) handed to a network.
using EdgePtr = std::unique_ptr<VLK_Edge, FreeWith<VLK_Edge_delete>>;
}  // namespace vlk
