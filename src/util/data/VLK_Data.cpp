#include "VLK_Data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_blocks.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"

namespace {

using vlk::StrArrayPtr;
using vlk::data::check_alloc;
using vlk::data::free_values;

// Copies of the rows list[0..k) of src (n values each) into a new block.
double* gather_rows(const double* src, size_t n, const int* list, size_t k) {
  double* block = vlk::data::new_block(k * n);
  for (size_t j = 0; j < k; ++j)
    std::copy_n(src + static_cast<size_t>(list[j]) * n, n, block + j * n);
  return block;
}

// Column j of the new p x m block is column cols[j] (0-based) of src.
double* gather_columns(const double* src, size_t p, size_t n, const std::vector<size_t>& cols) {
  const size_t m = cols.size();
  double* block = vlk::data::new_block(p * m);
  for (size_t v = 0; v < p; ++v) {
    const double* row = src + v * n;
    double* out = block + v * m;
    for (size_t j = 0; j < m; ++j) out[j] = row[cols[j]];
  }
  return block;
}

// Names or aliases of the listed nodes. A data set built without them keeps an empty array;
// a node past the end of a shorter array gets a null entry, which reads as "no name".
VLK_StrArray* gather_strings(const VLK_StrArray* src, const int* list, size_t k) {
  if (src == nullptr || src->size == 0) return check_alloc(VLK_StrArray_new());
  VLK_StrArray* out = check_alloc(VLK_StrArray_news(k));
  for (size_t j = 0; j < k; ++j) {
    const size_t v = static_cast<size_t>(list[j]);
    check_alloc(VLK_StrArray_add_copy(out, v < src->size ? src->data[v] : nullptr));
  }
  return out;
}

// Every listed node must be a row of d: a bad index would read outside the value block.
void check_node_list(const VLK_Data* d, const VLK_IntArray* list) {
  for (size_t j = 0; j < list->size; ++j)
    if (list->data[j] < 0 || list->data[j] >= d->p)
      vlk::fatal("ERROR: VLK_Data: invalid node index specified: %d\n", list->data[j]);
}

// The label block for the listed nodes, each a copy of its node's labels.
VLK_StrArray* gather_labels(const VLK_StrArray* labels, const int* list, size_t k) {
  VLK_StrArray* block = check_alloc(VLK_StrArray_new_ar(k));
  for (size_t j = 0; j < k; ++j) {
    const VLK_StrArray& from = labels[list[j]];
    for (size_t c = 0; c < from.size; ++c)
      check_alloc(VLK_StrArray_add_copy(&block[j], from.data[c]));
  }
  return block;
}

}  // namespace

VLK_Data* VLK_Data_new() {
  auto* d = check_alloc(static_cast<VLK_Data*>(std::calloc(1, sizeof(VLK_Data))));
  d->names = check_alloc(VLK_StrArray_new());
  d->aliases = check_alloc(VLK_StrArray_new());
  return d;
}

VLK_Data* VLK_Data_clone(const VLK_Data* d) {
  auto* c = check_alloc(static_cast<VLK_Data*>(std::calloc(1, sizeof(VLK_Data))));
  c->n = d->n;
  c->p = d->p;
  c->category = d->category;
  const size_t cells = VLK_Data_cells(d->p, d->n);
  if (d->X != nullptr) {
    c->X = vlk::data::new_block(cells);
    std::copy_n(d->X, cells, c->X);
  }
  if (d->Y == d->X) {
    c->Y = c->X;
  } else if (d->Y != nullptr) {
    c->Y = vlk::data::new_block(cells);
    std::copy_n(d->Y, cells, c->Y);
  }
  c->names = check_alloc(d->names ? VLK_StrArray_clone(d->names) : VLK_StrArray_new());
  c->aliases = check_alloc(d->aliases ? VLK_StrArray_clone(d->aliases) : VLK_StrArray_new());
  if (d->labels != nullptr)
    c->labels = check_alloc(VLK_StrArray_clone_ar(d->labels, static_cast<size_t>(d->p)));
  if (d->sample_names != nullptr)
    c->sample_names = check_alloc(VLK_StrArray_clone(d->sample_names));
  if (d->primary_ids != nullptr) c->primary_ids = check_alloc(VLK_IntArray_clone(d->primary_ids));
  if (d->secondary_ids != nullptr)
    c->secondary_ids = check_alloc(VLK_IntArray_clone(d->secondary_ids));
  return c;
}

void VLK_Data_delete(VLK_Data* d) {
  if (d == nullptr) return;
  free_values(d);
  VLK_StrArray_delete_all(d->names);
  VLK_StrArray_delete_all(d->aliases);
  if (d->labels != nullptr) VLK_StrArray_delete_ar_all(d->labels, static_cast<size_t>(d->p));
  VLK_KeyValues_delete(d->meta);
  VLK_KeyValues_delete(d->attributes);
  VLK_IntArray_delete(d->primary_ids);
  VLK_IntArray_delete(d->secondary_ids);
  VLK_StrArray_delete_all(d->sample_names);
  std::free(d);
}

int VLK_Data_nodes(const VLK_Data* d) { return d->p; }
int VLK_Data_samples(const VLK_Data* d) { return d->n; }

namespace {
char* string_at(const VLK_StrArray* a, int i) {
  if (a == nullptr || i < 0 || static_cast<size_t>(i) >= a->size) return nullptr;
  return a->data[i];
}
}  // namespace

char* VLK_Data_get_name(const VLK_Data* d, int i) { return string_at(d->names, i); }
char* VLK_Data_get_alias(const VLK_Data* d, int i) { return string_at(d->aliases, i); }

int VLK_Data_find_name(const VLK_Data* d, const char* name) {
  if (d->names == nullptr || name == nullptr) return -1;
  const long i = vlk::find_if(
      d->names, [name](const char* s) { return s != nullptr && std::strcmp(s, name) == 0; });
  return static_cast<int>(i);
}

int VLK_Data_read_node_set_file(const VLK_Data* d, VLK_IntArray* list, const char* path,
                                int column) {
  vlk::FilePtr fp(path ? std::fopen(path, "r") : nullptr);
  if (fp == nullptr) {
    vlk::report("ERROR: cannot open file: %s\n", path ? path : "(null)");
    return -1;
  }
  // Nodes already listed, so a repeated name (in this file or an earlier one) is kept once.
  std::vector<char> listed(static_cast<size_t>(std::max(d->p, 0)), 0);
  for (size_t j = 0; j < list->size; ++j)
    if (list->data[j] >= 0 && list->data[j] < d->p) listed[list->data[j]] = 1;

  const size_t before = list->size;
  vlk::LineBuffer line;
  for (size_t lineno = 1; line.read(fp.get()); ++lineno) {
    vlk::check_no_nul(line, lineno);
    const StrArrayPtr fields(check_alloc(VLK_Str_split(line.data, '\t')));
    if (column < 0 || static_cast<size_t>(column) >= fields->size)
      vlk::fatal("ERROR: VLK_Data: node selection: index out of range :%d\n", column);
    const char* name = fields->data[column];
    const int v = VLK_Data_find_name(d, name);
    if (v < 0) {
      if (VLK_get_warning_level() >= 1) std::fprintf(VELK_ERR, "WARNING: not found: %s\n", name);
    } else if (listed[v]) {
      if (VLK_get_warning_level() >= 1)
        std::fprintf(VELK_ERR, "WARNING: duplication detected: %s\n", name);
    } else {
      listed[v] = 1;
      check_alloc(VLK_IntArray_add(list, v));
    }
  }
  return static_cast<int>(list->size - before);
}

VLK_IntArray* VLK_Data_select_nodes_files2(VLK_Data* d, const VLK_StrArray* files, int column) {
  VLK_IntArray* list = check_alloc(VLK_IntArray_new());
  for (size_t i = 0; i < files->size; ++i)
    VLK_Data_read_node_set_file(d, list, files->data[i], column);
  std::fprintf(VELK_ERR, "Select nodes: Total %d nodes.\n", static_cast<int>(list->size));
  VLK_Data_select_nodes_index(d, list);
  return list;
}

void VLK_Data_select_nodes_files(VLK_Data* d, const VLK_StrArray* files, int column) {
  VLK_IntArray_delete(VLK_Data_select_nodes_files2(d, files, column));
}

VLK_Data* VLK_Data_select_nodes_index(VLK_Data* d, const VLK_IntArray* list) {
  check_node_list(d, list);
  const size_t k = list->size;
  const size_t n = vlk::data::count_of(d->n);
  double* X = gather_rows(d->X, n, list->data, k);
  // A separate second matrix (time-lagged pairs) keeps its rows in step with X.
  double* Y = d->Y != d->X ? gather_rows(d->Y, n, list->data, k) : X;
  VLK_StrArray* names = gather_strings(d->names, list->data, k);
  VLK_StrArray* aliases = gather_strings(d->aliases, list->data, k);
  // The label block holds one array per row, so it follows the rows as well.
  VLK_StrArray* labels = d->labels ? gather_labels(d->labels, list->data, k) : nullptr;

  free_values(d);
  VLK_StrArray_delete_all(d->names);
  VLK_StrArray_delete_all(d->aliases);
  if (d->labels != nullptr) VLK_StrArray_delete_ar_all(d->labels, static_cast<size_t>(d->p));
  d->X = X;
  d->Y = Y;
  d->names = names;
  d->aliases = aliases;
  d->labels = labels;
  d->p = static_cast<int>(k);
  return d;
}

VLK_Data* VLK_Data_select_nodes_index_new(const VLK_Data* d, const VLK_IntArray* list) {
  check_node_list(d, list);
  const size_t k = list->size;
  const size_t n = vlk::data::count_of(d->n);
  auto* c = check_alloc(static_cast<VLK_Data*>(std::calloc(1, sizeof(VLK_Data))));
  c->n = d->n;
  c->p = static_cast<int>(k);
  c->X = gather_rows(d->X, n, list->data, k);
  c->Y = d->Y != d->X ? gather_rows(d->Y, n, list->data, k) : c->X;
  c->names = gather_strings(d->names, list->data, k);
  c->aliases = gather_strings(d->aliases, list->data, k);
  return c;
}

VLK_Data* VLK_Data_select_samples(VLK_Data* d, const VLK_IntArray* list) {
  if (list->size == 0) return d;
  std::vector<size_t> cols(list->size);
  for (size_t j = 0; j < list->size; ++j) {
    const int s = list->data[j];
    // Numbers past the last column would read outside the rows: refused like those below 1.
    if (s < 1 || s > d->n) vlk::fatal("ERROR: VLK_Data: invalid sample index specified: %d", s);
    cols[j] = static_cast<size_t>(s - 1);
  }
  const size_t p = static_cast<size_t>(std::max(d->p, 0));
  const size_t n = vlk::data::count_of(d->n);
  double* X = gather_columns(d->X, p, n, cols);
  double* Y = d->Y != d->X ? gather_columns(d->Y, p, n, cols) : X;

  // Per-column extras that describe every column follow their columns.
  if (d->sample_names != nullptr && d->sample_names->size == n) {
    VLK_StrArray* names = check_alloc(VLK_StrArray_news(cols.size()));
    for (size_t c : cols) check_alloc(VLK_StrArray_add_copy(names, d->sample_names->data[c]));
    VLK_StrArray_delete_all(d->sample_names);
    d->sample_names = names;
  }
  for (VLK_IntArray** ids : {&d->primary_ids, &d->secondary_ids}) {
    if (*ids == nullptr || (*ids)->size != n) continue;
    VLK_IntArray* picked = check_alloc(VLK_IntArray_news(cols.size()));
    for (size_t c : cols) check_alloc(VLK_IntArray_add(picked, (*ids)->data[c]));
    VLK_IntArray_delete(*ids);
    *ids = picked;
  }

  free_values(d);
  d->X = X;
  d->Y = Y;
  d->n = static_cast<int>(cols.size());
  return d;
}
