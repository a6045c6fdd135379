#include "VLK_Data_merge.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "VLK_Type.h"
#include "velkcom.h"
#include "vlk_data_blocks.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"

namespace {

using vlk::data::check_alloc;
using vlk::data::count_of;
using vlk::data::new_block;

// d's p rows followed by the listed rows of src (both n values wide).
double* stack_rows(const double* rows, size_t p, const double* src, const std::vector<size_t>& list,
                   size_t n) {
  double* block = new_block((p + list.size()) * n);
  std::copy_n(rows, p * n, block);
  double* to = block + p * n;
  for (size_t j : list) to = std::copy_n(src + j * n, n, to);
  return block;
}

// Entries up to `size`, null where the array had none: names stay in step with the rows.
void pad_to(VLK_StrArray* a, size_t size) {
  while (a->size < size) check_alloc(VLK_StrArray_add(a, nullptr));
}

void copy_strings(VLK_StrArray* to, const VLK_StrArray* from) {
  for (size_t c = 0; c < from->size; ++c) check_alloc(VLK_StrArray_add_copy(to, from->data[c]));
}

// ---- column IDs ----

int id_cmp(int a, int b) { return (a > b) - (a < b); }

void sort_columns(VLK_Data* d, bool primary_first, const char* fn) {
  if (d->primary_ids == nullptr) {
    std::fprintf(VELK_ERR, "WARNING: primary key ID is not set.\n");
    return;
  }
  if (d->secondary_ids == nullptr) {
    std::fprintf(VELK_ERR, "WARNING: secondary key ID is not set.\n");
    return;
  }
  const size_t n = count_of(d->n), p = count_of(d->p);
  // Every column needs both IDs, or the sort would read past the lists.
  if (d->primary_ids->size != n || d->secondary_ids->size != n)
    vlk::fatal("ERROR: %s(): %zu primary and %zu secondary IDs for %zu value columns.\n", fn,
               d->primary_ids->size, d->secondary_ids->size, n);

  const VLK_IntArray* first = primary_first ? d->primary_ids : d->secondary_ids;
  const VLK_IntArray* second = primary_first ? d->secondary_ids : d->primary_ids;
  std::vector<VLK_Data_sort_t> order(n);
  for (size_t s = 0; s < n; ++s) order[s] = {static_cast<int>(s), first, second};
  // Stable, so columns with equal ID pairs keep their order on every platform.
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return VLK_Data_sort_t_cmp(&a, &b) < 0; });

  auto reorder = [&](const double* src) {
    double* block = new_block(p * n);
    for (size_t v = 0; v < p; ++v)
      for (size_t s = 0; s < n; ++s) block[v * n + s] = src[v * n + order[s].column];
    return block;
  };
  double* X = reorder(d->X);
  // A separate second block holds the same columns and must stay in step with X.
  double* Y = d->Y != d->X ? reorder(d->Y) : X;
  VLK_IntArray* primary = check_alloc(VLK_IntArray_news(n));
  VLK_IntArray* secondary = check_alloc(VLK_IntArray_news(n));
  for (const VLK_Data_sort_t& r : order) {
    check_alloc(VLK_IntArray_add(primary, d->primary_ids->data[r.column]));
    check_alloc(VLK_IntArray_add(secondary, d->secondary_ids->data[r.column]));
  }
  // Sample names describe the columns, so they move with them.
  if (d->sample_names != nullptr && d->sample_names->size == n) {
    VLK_StrArray* names = check_alloc(VLK_StrArray_news(n));
    for (const VLK_Data_sort_t& r : order)
      check_alloc(VLK_StrArray_add(names, d->sample_names->data[r.column]));
    VLK_StrArray_delete(d->sample_names);  // the strings now belong to the new array
    d->sample_names = names;
  }

  vlk::data::free_values(d);
  VLK_IntArray_delete(d->primary_ids);
  VLK_IntArray_delete(d->secondary_ids);
  d->X = X;
  d->Y = Y;
  d->primary_ids = primary;
  d->secondary_ids = secondary;
}

// The ID the counts of ids start from: 0 when one of them is 0 (time points 0, 1, ...), else 1.
int first_id(const VLK_IntArray* ids) {
  return std::find(ids->data, ids->data + ids->size, 0) != ids->data + ids->size ? 0 : 1;
}

// counts[i] = number of IDs equal to i + first_id; a negative ID names no entry.
std::vector<int> count_ids(const VLK_IntArray* ids, const char* fn, const char* which) {
  const int base = first_id(ids);
  std::vector<int> counts;
  for (size_t s = 0; s < ids->size; ++s) {
    const int id = ids->data[s];
    if (id < 0)
      vlk::fatal("ERROR: %s(): %s ID contains %d at the %zu-th value column.\n", fn, which, id,
                 s + 1);
    const auto slot = static_cast<size_t>(id - base);
    if (slot >= counts.size()) counts.resize(slot + 1, 0);
    ++counts[slot];
  }
  return counts;
}

VLK_IntArray* to_array(const std::vector<int>& v) {
  VLK_IntArray* a = check_alloc(VLK_IntArray_news(v.size()));
  check_alloc(VLK_IntArray_add_ar(a, v.data(), v.size()));
  return a;
}

bool has_ids(const VLK_Data* d) { return d->primary_ids != nullptr && d->secondary_ids != nullptr; }

int max_id(const VLK_IntArray* ids) {
  if (ids == nullptr) return 1;
  if (ids->size == 0) return -1;
  return *std::max_element(ids->data, ids->data + ids->size);
}

}  // namespace

int VLK_Data_append(VLK_Data* d, const VLK_Data* e) {
  if (d->n != e->n) {
    std::fprintf(VELK_ERR, "WARNING: VLK_Data_append(): Num. of samples not consisitent.\n");
    std::fprintf(VELK_ERR, "           %d vs %d.\n", d->n, e->n);
    return -1;
  }
  const size_t p = count_of(d->p), n = count_of(d->n);
  if (d->names == nullptr) d->names = check_alloc(VLK_StrArray_new());
  if (d->aliases == nullptr) d->aliases = check_alloc(VLK_StrArray_new());

  std::vector<size_t> added;
  for (int j = 0; j < e->p; ++j) {
    const char* name = VLK_Data_get_name(e, j);
    // The names appended so far count too, so a name repeated within e is added once.
    if (VLK_Data_find_name(d, name) >= 0) continue;
    if (added.empty()) {
      pad_to(d->names, p);
      pad_to(d->aliases, p);
    }
    added.push_back(static_cast<size_t>(j));
    check_alloc(VLK_StrArray_add_copy(d->names, name));
    check_alloc(VLK_StrArray_add_copy(d->aliases, VLK_Data_get_alias(e, j)));
  }
  if (added.empty()) return 0;
  const size_t total = p + added.size();
  if (total > static_cast<size_t>(INT_MAX))
    vlk::fatal("ERROR: VLK_Data_append(): %zu nodes do not fit a data set.\n", total);

  double* X = stack_rows(d->X, p, e->X, added, n);
  double* Y = X;
  if (d->Y != d->X) Y = stack_rows(d->Y, p, e->Y ? e->Y : e->X, added, n);
  // Every row has its label array (the record frees one per node), the new ones included.
  VLK_StrArray* labels = nullptr;
  if (d->labels != nullptr) {
    labels = check_alloc(VLK_StrArray_new_ar(total));
    for (size_t v = 0; v < p; ++v) copy_strings(&labels[v], &d->labels[v]);
    if (e->labels != nullptr)
      for (size_t i = 0; i < added.size(); ++i) copy_strings(&labels[p + i], &e->labels[added[i]]);
    VLK_StrArray_delete_ar_all(d->labels, p);
  }

  vlk::data::free_values(d);
  d->X = X;
  d->Y = Y;
  d->labels = labels;
  d->p = static_cast<int>(total);
  return static_cast<int>(added.size());
}

void VLK_Data_add_meta_data(VLK_Data* d, const char* key, const char* value) {
  if (d->meta == nullptr) d->meta = check_alloc(VLK_KeyValues_new());
  check_alloc(VLK_KeyValues_add_string(d->meta, key, value));
}

void VLK_Data_set_meta_data_kv(VLK_Data* d, const VLK_KeyValues* list) {
  if (d->meta == nullptr) d->meta = check_alloc(VLK_KeyValues_new());
  if (list != nullptr) VLK_KeyValues_add_KeyValues(d->meta, list);
}

void VLK_Data_add_attributes(VLK_Data* d, const char* key, const VLK_StrArray* strings) {
  if (d->attributes == nullptr) d->attributes = check_alloc(VLK_KeyValues_new());
  vlk::StrArrayPtr copy(check_alloc(strings ? VLK_StrArray_clone(strings) : VLK_StrArray_new()));
  check_alloc(VLK_KeyValues_add(d->attributes, key, VLK_TYPE_STRARRAY, copy.get()));
  copy.release();  // the list owns it now
}

int VLK_Data_sort_t_cmp(const void* a, const void* b) {
  const auto* x = static_cast<const VLK_Data_sort_t*>(a);
  const auto* y = static_cast<const VLK_Data_sort_t*>(b);
  const int c = id_cmp(x->first->data[x->column], y->first->data[y->column]);
  return c != 0 ? c : id_cmp(x->second->data[x->column], y->second->data[y->column]);
}

void VLK_Data_sort_by_primary(VLK_Data* d) { sort_columns(d, true, "VLK_Data_sort_by_primary"); }

void VLK_Data_sort_by_secondary(VLK_Data* d) {
  sort_columns(d, false, "VLK_Data_sort_by_secondary");
}

VLK_IntArray* VLK_Data_get_replicates(const VLK_Data* d) {
  if (!has_ids(d)) return nullptr;
  const std::vector<int> counts = count_ids(d->primary_ids, "VLK_Data_get_replicates", "Primary");
  // The pseudo bootstrap divides by every count: a time point without columns is refused here,
  // when the data are read, rather than deep inside a run.
  const int base = first_id(d->primary_ids);
  for (size_t t = 0; t < counts.size(); ++t)
    if (counts[t] == 0)
      vlk::fatal("ERROR: VLK_Data_get_replicates(): time point %zu has no sample.\n",
                 t + static_cast<size_t>(base));
  return to_array(counts);
}

VLK_IntArray* VLK_Data_get_timepoints(const VLK_Data* d) {
  if (!has_ids(d)) return nullptr;
  return to_array(count_ids(d->secondary_ids, "VLK_Data_get_timepoints", "Secondary"));
}

VLK_IntArray* VLK_Data_get_dynamic_points(const VLK_Data* d) {
  if (!has_ids(d)) return nullptr;
  std::vector<int> c = count_ids(d->secondary_ids, "VLK_Data_get_dynamic_points", "Secondary");
  if (!c.empty()) c.pop_back();  // the last series starts no further block
  int start = 1;
  for (int& v : c) v = start += v;
  return to_array(c);
}

VLK_IntArray* VLK_Data_unique_secondaryID(const VLK_Data* d) {
  if (!has_ids(d)) return nullptr;
  std::vector<int> seen;
  const VLK_IntArray* ids = d->secondary_ids;
  for (size_t s = 0; s < ids->size; ++s)
    if (std::find(seen.begin(), seen.end(), ids->data[s]) == seen.end())
      seen.push_back(ids->data[s]);
  return to_array(seen);
}

int VLK_Data_max_primaryID(const VLK_Data* d) { return max_id(d->primary_ids); }
int VLK_Data_max_secondaryID(const VLK_Data* d) { return max_id(d->secondary_ids); }
int VLK_Data_max_replicates(const VLK_Data* d) { return VLK_Data_max_secondaryID(d); }
