// Whole data sets and their columns: appending the new nodes of a second data set, the meta data
// and attributes a reader attaches, and the column IDs of time-series data (primary ID = time
// point, secondary ID = series, one per column, counted from 0 or from 1) with the reordering of
// columns by them and the counts derived from them. The broadcast of a data set is in
// VLK_Data_mpi.h.
#pragma once

#include "VLK_Data.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"

// Appends to d the nodes of e whose names d lacks (by name, first come first kept; nodes without
// a name are always new), with their aliases, their rows of both blocks and their category
// labels. Returns the number added, or -1 (with a warning, d unchanged) when the sample counts
// differ.
int VLK_Data_append(VLK_Data* d, const VLK_Data* e);

// Meta data and attributes; the lists are created on first use.
// Appends (key, copy of value).
void VLK_Data_add_meta_data(VLK_Data* d, const char* key, const char* value);
// Appends deep copies of all entries of list.
void VLK_Data_set_meta_data_kv(VLK_Data* d, const VLK_KeyValues* list);
// Appends (key, a clone of strings as type VLK_TYPE_STRARRAY).
void VLK_Data_add_attributes(VLK_Data* d, const char* key, const VLK_StrArray* strings);

// One value column while the columns are sorted by their IDs.
struct VLK_Data_sort_t {
  int column;                  // 0-based column
  const VLK_IntArray* first;   // the IDs compared first
  const VLK_IntArray* second;  // the IDs that break ties
};
// Three-way comparison of two VLK_Data_sort_t by (first ID, second ID).
int VLK_Data_sort_t_cmp(const void* a, const void* b);

// Reorder the value columns (X, a separate Y, both ID lists and the sample names) by
// (primary, secondary) or (secondary, primary) ascending; equal pairs keep their order. Without
// either ID list a warning is printed and nothing changes.
void VLK_Data_sort_by_primary(VLK_Data* d);
void VLK_Data_sort_by_secondary(VLK_Data* d);

// Counts per ID value of the primary (replicates per time point) or the secondary IDs (columns
// per series): entry i for ID i when the IDs hold a 0, else for ID i + 1; negative IDs end the
// process, and so does a time point without sample in the replicates. The block starts give, for
// columns grouped by series, the 1-based first column of every series after the first (the
// input of VLK_Data_dynamic). The unique secondary IDs come in order of first appearance. All
// four return a new array, or null when either ID list is missing.
VLK_IntArray* VLK_Data_get_replicates(const VLK_Data* d);
VLK_IntArray* VLK_Data_get_timepoints(const VLK_Data* d);
VLK_IntArray* VLK_Data_get_dynamic_points(const VLK_Data* d);
VLK_IntArray* VLK_Data_unique_secondaryID(const VLK_Data* d);

// Largest ID (-1 for an empty list); 1 without such IDs.
int VLK_Data_max_primaryID(const VLK_Data* d);
int VLK_Data_max_secondaryID(const VLK_Data* d);
// The number of series: the largest secondary ID.
int VLK_Data_max_replicates(const VLK_Data* d);
