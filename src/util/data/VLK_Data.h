// The expression data set: a matrix of values with one row per node (gene, variable) and one
// column per sample, node names and aliases, and the extras the readers attach.
//
// Sizes: n samples (columns), p nodes (rows). Values are node-major, so the row of one node is
// contiguous: node v, sample s at X[v * n + s]. Mind the two index orders of the accessors:
// VLK_Data_get_value / VLK_Data_value / VLK_Data_get_value_Y take the sample first,
// VLK_Data_value_X / VLK_Data_value_Y the node first.
#pragma once

#include <cstddef>

#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"

struct VLK_Data {
  int n;                        // samples (matrix columns)
  int p;                        // nodes (matrix rows)
  double* X;                    // p * n values, node-major (malloc'ed)
  double* Y;                    // same shape; the same pointer as X unless a time-lag
                                // conversion made them differ (earlier point in X, later in Y)
  VLK_StrArray* names;          // node names in row order (owned)
  VLK_StrArray* aliases;        // node aliases in row order (owned)
  int category;                 // 1 when the values are category numbers 0 .. k-1
  VLK_StrArray* labels;         // block of p arrays: label c of node v names value c; or null
  VLK_StrArray* sample_names;   // one per column, or null
  VLK_KeyValues* meta;          // meta data, created on first use, or null
  VLK_KeyValues* attributes;    // one StrArray (type id 11) per attribute row, or null
  VLK_IntArray* primary_ids;    // one per column, from 0 or 1 (time point), or null
  VLK_IntArray* secondary_ids;  // one per column, from 0 or 1 (series / replicate), or null
};

// Number of values of a p x n block, formed in 64 bits.
inline size_t VLK_Data_cells(int p, int n) {
  return static_cast<size_t>(p > 0 ? p : 0) * static_cast<size_t>(n > 0 ? n : 0);
}

// Empty: sizes 0, no value blocks, empty name and alias arrays, every optional field null.
VLK_Data* VLK_Data_new();
// Deep copy of sizes, category flag, X (and Y: shared again when shared in d, else copied),
// names, aliases, labels, sample names and both ID lists; meta data and attributes are not
// copied.
VLK_Data* VLK_Data_clone(const VLK_Data* d);
// Frees Y when it differs from X, X, and everything the record owns; null is ignored.
void VLK_Data_delete(VLK_Data* d);

int VLK_Data_nodes(const VLK_Data* d);
int VLK_Data_samples(const VLK_Data* d);
// Name or alias of node i; null when the array is missing or i is out of its range.
char* VLK_Data_get_name(const VLK_Data* d, int i);
char* VLK_Data_get_alias(const VLK_Data* d, int i);

// Sample first: value of node v at sample s.
inline double VLK_Data_get_value(const VLK_Data* d, int s, int v) {
  return d->X[static_cast<size_t>(v) * static_cast<size_t>(d->n) + static_cast<size_t>(s)];
}
inline double VLK_Data_value(const VLK_Data* d, int s, int v) {
  return VLK_Data_get_value(d, s, v);
}
// Node first: value of node v at sample s.
inline double VLK_Data_value_X(const VLK_Data* d, int v, int s) {
  return d->X[static_cast<size_t>(v) * static_cast<size_t>(d->n) + static_cast<size_t>(s)];
}
// The same for the second matrix: sample first, then node first.
inline double VLK_Data_get_value_Y(const VLK_Data* d, int s, int v) {
  return d->Y[static_cast<size_t>(v) * static_cast<size_t>(d->n) + static_cast<size_t>(s)];
}
inline double VLK_Data_value_Y(const VLK_Data* d, int v, int s) {
  return VLK_Data_get_value_Y(d, s, v);
}

// Index of the first node whose name equals name (strcmp), or -1.
int VLK_Data_find_name(const VLK_Data* d, const char* name);

// Appends to list the nodes named in a node-set file: one name per line in the 0-based TAB
// column `column`. Names the data set lacks and nodes already in list are skipped (with a
// warning at warning level 1 or more). A line without that column ends the process. Returns
// the number of indexes appended, or -1 when the file cannot be opened (list unchanged).
int VLK_Data_read_node_set_file(const VLK_Data* d, VLK_IntArray* list, const char* path,
                                int column);
// Reads every file into one list, reports its size and keeps only those nodes.
void VLK_Data_select_nodes_files(VLK_Data* d, const VLK_StrArray* files, int column);
// The same, returning the list (the caller owns it).
VLK_IntArray* VLK_Data_select_nodes_files2(VLK_Data* d, const VLK_StrArray* files, int column);

// Keeps only the listed nodes (0-based), in list order, in place. Y, when separate, and the
// category labels follow the rows. Returns d.
VLK_Data* VLK_Data_select_nodes_index(VLK_Data* d, const VLK_IntArray* list);
// New data set with only the listed nodes: rows of X (and of a separate Y), names, aliases.
VLK_Data* VLK_Data_select_nodes_index_new(const VLK_Data* d, const VLK_IntArray* list);
// Keeps only the listed samples (1-based), in list order, in place; an empty list changes
// nothing. Y, when separate, sample names and column IDs follow the columns. Returns d.
VLK_Data* VLK_Data_select_samples(VLK_Data* d, const VLK_IntArray* list);
