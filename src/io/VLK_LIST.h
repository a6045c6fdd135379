// Two write-only table formats of a network, for reading after a run.
//
// LIST, one line per edge in insertion order (TAB-separated):
//   Pa  Ch  Pa2  Ch2  <key>...          header: every edge property key, first occurrence first
//   parent child parent-alias child-alias value...   (an empty field where the edge lacks a key)
//
// NODELIST, one line per node, most children first (equal counts in index order):
//   Name  Alias  Num Ch  Num Pa  Total deg  [Orig Rank]  [betweenness]  [closeness]  <key>...
// with the node property keys of the nodes' drawing records. Options: "filter_nodes" (a
// TAB-delimited file whose first fields name the nodes to write; the rank column then gives
// each node's place before filtering), "betweenness" and "closeness" (flags: add the
// centralities of VLK_Network_analysis.h). The degree distribution goes to VELK_ERR.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_Network_analysis.h"

// 0, or 1 when the stream could not take everything. The options are not used.
int LIST_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
// The writer's result; 1 with "ERROR: LIST_write_file(): Cannot open file: %s" when the path
// cannot be opened or the file cannot be closed.
int LIST_write_file(const char* path, const VLK_Network* net, const VLK_KeyValues* options);

// 0, or 1 when the stream could not take everything. An option it does not know ends the
// process with status 1; a filter file that cannot be read is warned about and not applied.
int NODELIST_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
int NODELIST_write_file(const char* path, const VLK_Network* net, const VLK_KeyValues* options);
// The writer's options with their defaults (the help registry's "NODELIST"); sub is not used.
void NODELIST_help(FILE* fp, const char* sub);

// The distribution of total degrees (children + parents) over the records, on VELK_ERR: the
// maximum, then per degree d from 0 the number of records of degree d divided by the sum of
// all degrees (twice the number of edges). Without edges every ratio is 0, without records
// the maximum is 0.
void NODELIST_dist(const VLK_Network_int_t* records, size_t n);

// Node records (index, children, parents): most children first, equal counts by index.
int NODELIST_int_t_cmp(const void* a, const void* b);
int LIST_int_t_cmp(const void* a, const void* b);
