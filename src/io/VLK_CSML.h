// CSML 3.0, the project format of the pathway drawing tools users open the network in: every
// node an entity ("e1", "e2", ... in node order) and every edge either a directed-relation fact
// ("f1", ...) or a process ("p1", ...) with an input and an output connector, with the drawing
// attributes and the typed properties of both.
//
// Options of VLK_CSML_write_fp (a key/value list; a rejected entry only warns):
//   probe (string)            node string property written as "probeID" instead of the name
//   alias (string)            TAB-delimited alias conversion table for the entity names
//   alias_keycol (int, 0)     table field compared with the node alias
//   alias_newcol (int, 1)     table field written as the entity name
//   edge (string, "fact")     "fact" or "process": how edges are written
//   show_name (on/off, on)    off adds a hidden name label to every entity
//   show_property (on/off, on)  off adds a hidden property label to every entity
//   place_holder (on/off, off)  adds two place-holder facts around the drawing
//
// Names, aliases, keys and string values are written with '&', '<', '>' and '"' as entity
// references and backslashes, TABs and line ends as character references, which the reader
// decodes, so any text survives a write and a read.
//
// The reader rebuilds nodes from the entities (name from the "probeID" property, alias from
// the entity name, position, fill colour, size, typed properties) and edges from the facts
// and processes (line colour, typed properties of facts); the network's primary score is
// "edgeScore". A property type other than string, integer or real ends the process, as do an
// entity without a name (no probeID and no id, or empty ones), a NUL byte and a number that is
// not wholly one of its kind (a position, a size, a colour component 0 .. 255 of at most four,
// an Integer or Real property value; reals finite), with the line; a document that is not well
// formed otherwise gives what was read before the error, with a warning. An edge whose ends do
// not both name an entity read before is dropped with a warning. The writer refuses what the
// reader would not give back (see csml_write_problem).
#pragma once

#include <cstdio>
#include <string>

#include "CSMLObject.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_StrMatrix.h"

// Namespaces of the project element: XLink and CSML version 3 (the drawing elements use
// VLK_CSML_NS_CIGRAPHICS).
inline constexpr const char* VLK_CSML_NS_XLINK = "http://www.w3.org/1999/xlink";
inline constexpr const char* VLK_CSML_NS_CSML = "http://www.csml.org/csml/version3";

// ---- reading ---------------------------------------------------------------------------------

// A new network, never null; the options are not used.
VLK_Network* VLK_CSML_read_fp(FILE* fp, const VLK_KeyValues* options);
// Ends the process with "ERROR: Cannot open file: %s" when the path cannot be opened.
VLK_Network* VLK_CSML_read_file(const char* path, const VLK_KeyValues* options);
// Type id of a property's "type" attribute: absent or "string" 5, "integer" 1, "real" 4, in
// any case; any other text ends the process.
int VLK_CSML_get_CSML_type(const char* type);
// The parser callbacks; data is the reader's context.
void VLK_CSML_start_cb(void* data, const char* name, const VLK_KeyValues* attrs);
void VLK_CSML_end_cb(void* data, const char* name);

// ---- writing ---------------------------------------------------------------------------------

// 0 when written, 1 when the stream could not take it all. An edge mode other than "fact" and
// "process" ends the process before anything is written.
int VLK_CSML_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
// The writer's options with their defaults (the help registry's "CSML"); sub is not used.
void VLK_CSML_help(FILE* fp, const char* sub);

namespace vlk::io {
// The writer's refusal (see write_problem): a node whose probeID text (its name, or with
// "probe" that property) is empty, or that has a property "probeID" of its own, which the
// reader would take for its name; a number the reader would refuse: a node position or size
// that is not finite, a colour component outside 0 .. 255, a double property (of a node, or in
// fact mode of an edge) that is not finite. Everything else is escaped and reads back.
std::string csml_write_problem(const VLK_Network* net, const VLK_KeyValues* options);
}  // namespace vlk::io

// One csml:property per property, typed "Integer", "Real" or "String" (none for a double
// array); another type ends the process.
void VLK_CSML_put_properties(FILE* fp, const CSMLObject* obj);
// Edge k as the fact "f<k+1>"; label_flag 0 adds a hidden name label to each.
void VLK_CSML_put_edges_as_facts(FILE* fp, const VLK_Network* net, int label_flag);
// The process set: edge k as the process "p<k+1>" with connectors "c<2k+1>" and "c<2k+2>".
void VLK_CSML_put_edges_as_processes(FILE* fp, const VLK_Network* net);
// The facts "fpf1" at (0, 0) and "fpf2" beyond the largest node position.
void VLK_CSML_put_place_holder(FILE* fp, const VLK_Network* net);
// The extra drawing objects as text-area facts, numbered after the edge facts.
void VLK_CSML_put_CSMLObjects(FILE* fp, const VLK_Network* net);
// Field newcol of the last table line whose field keycol is text; text itself without such a
// line. Lines shorter than the key column are passed over; the scan stops at a matching line
// without the new column.
std::string VLK_CSML_str_conv(const char* text, const VLK_StrMatrix* table, int keycol, int newcol);
