#include "VLK_Data_mpi.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "VLK_Array_mpi.h"
#include "vlk_data_blocks.h"
#include "vlk_fatal.h"

namespace {

constexpr const char* kFn = "VLK_Data_MPI_Bcast";

// Stands in on the wire for a missing string, which the string transfer cannot carry.
char kMissing[] = "";

int rank_of(MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  return rank;
}

double* receive_block(size_t count) {
  double* block = vlk::data::try_block(count);
  if (block == nullptr) vlk::fatal("FATAL ERROR: %s(): cannot allocate %zu values\n", kFn, count);
  return block;
}

bool complete(const VLK_StrArray* a) {
  return a != nullptr && std::find(a->data, a->data + a->size, nullptr) == a->data + a->size;
}

// A borrowed view of a (which may be null) with kMissing for every missing string; released
// with VLK_StrArray_delete, which leaves the strings alone.
VLK_StrArray* stand_in(const VLK_StrArray* a) {
  const size_t n = a ? a->size : 0;
  VLK_StrArray* view = VLK_StrArray_news(n);
  if (view == nullptr) vlk::fatal("FATAL ERROR: %s(): cannot allocate %zu names\n", kFn, n);
  for (size_t i = 0; i < n; ++i) view->data[i] = a->data[i] ? a->data[i] : kMissing;
  view->size = n;
  return view;
}

// Names or aliases: the root sends its array; the others replace the empty one they start with.
void bcast_strings(VLK_StrArray** field, bool is_root, int root, MPI_Comm comm) {
  if (!is_root) {
    VLK_StrArray* start = *field;
    VLK_StrArray_MPI_Bcast(field, root, comm);
    VLK_StrArray_delete_all(start);
    return;
  }
  if (complete(*field)) {
    VLK_StrArray_MPI_Bcast(field, root, comm);
    return;
  }
  VLK_StrArray* view = stand_in(*field);
  VLK_StrArray_MPI_Bcast(&view, root, comm);
  VLK_StrArray_delete(view);
}

// The category labels, one array per node; the root sends p empty arrays when it has none.
void bcast_labels(VLK_Data* d, bool is_root, int root, MPI_Comm comm) {
  size_t p = static_cast<size_t>(std::max(d->p, 0));
  if (!is_root) {
    VLK_StrArray* block = nullptr;
    VLK_StrArray_ar_MPI_Bcast(&block, &p, root, comm);
    d->labels = block;
    return;
  }
  bool whole = d->labels != nullptr;
  for (size_t v = 0; whole && v < p; ++v) whole = complete(&d->labels[v]);
  if (whole) {
    VLK_StrArray_ar_MPI_Bcast(&d->labels, &p, root, comm);
    return;
  }
  VLK_StrArray* views = VLK_StrArray_new_ar(p);
  if (views == nullptr) vlk::fatal("FATAL ERROR: %s(): cannot allocate %zu labels\n", kFn, p);
  for (size_t v = 0; v < p; ++v) {
    VLK_StrArray* one = stand_in(d->labels ? &d->labels[v] : nullptr);
    std::free(views[v].data);
    views[v] = *one;  // the record takes over the view's storage
    std::free(one);
  }
  VLK_StrArray_ar_MPI_Bcast(&views, &p, root, comm);
  VLK_StrArray_delete_ar(views, p);
}

void bcast_ids(VLK_IntArray** ids, bool is_root, int root, MPI_Comm comm) {
  char present = is_root && *ids != nullptr ? 1 : 0;
  MPI_Bcast(&present, 1, MPI_CHAR, root, comm);
  if (present) VLK_IntArray_MPI_Bcast(ids, root, comm);
}

}  // namespace

namespace vlk {

// MPI counts are int: larger blocks go in several messages (one message, maybe empty, else).
void mpi_bcast_doubles(double* values, size_t count, int root, MPI_Comm comm) {
  do {
    const size_t chunk = std::min<size_t>(count, INT_MAX);
    MPI_Bcast(values, static_cast<int>(chunk), MPI_DOUBLE, root, comm);
    values += chunk;
    count -= chunk;
  } while (count > 0);
}

}  // namespace vlk

void VLK_Data_MPI_Bcast(VLK_Data** d, int root, MPI_Comm comm) {
  const bool is_root = rank_of(comm) == root;
  if (!is_root) {
    *d = VLK_Data_new();
    if (*d == nullptr) vlk::fatal("FATAL ERROR: %s(): cannot allocate a data set\n", kFn);
  }
  VLK_Data* x = *d;
  MPI_Bcast(&x->n, 1, MPI_INT, root, comm);
  MPI_Bcast(&x->p, 1, MPI_INT, root, comm);
  MPI_Bcast(&x->category, 1, MPI_INT, root, comm);

  const size_t cells = VLK_Data_cells(x->p, x->n);
  if (is_root && cells > 0 && x->X == nullptr)
    vlk::fatal("FATAL ERROR: %s(): the %d x %d data set has no values\n", kFn, x->p, x->n);
  if (!is_root) x->X = receive_block(cells);
  vlk::mpi_bcast_doubles(x->X, cells, root, comm);

  int separate = is_root && x->Y != x->X && x->Y != nullptr ? 1 : 0;
  MPI_Bcast(&separate, 1, MPI_INT, root, comm);
  if (!is_root) x->Y = separate ? receive_block(cells) : x->X;
  if (separate) vlk::mpi_bcast_doubles(x->Y, cells, root, comm);

  bcast_strings(&x->names, is_root, root, comm);
  bcast_strings(&x->aliases, is_root, root, comm);
  if (x->category == 1) bcast_labels(x, is_root, root, comm);
  bcast_ids(&x->primary_ids, is_root, root, comm);
  bcast_ids(&x->secondary_ids, is_root, root, comm);
}
