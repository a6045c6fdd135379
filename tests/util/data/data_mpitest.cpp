// Broadcast of a data set to 3 processes; root 1 so rank 0 is not special.
#include <gtest/gtest.h>
#include <mpi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Array_mpi.h"
#include "VLK_Data.h"
#include "VLK_Data_merge.h"
#include "VLK_Data_mpi.h"
#include "VLK_KeyValues.h"
#include "mpi_test.h"
#include "vlk_owned.h"

namespace {

using vlk_test::is_root;
using vlk_test::kRoot;
using vlk_test::rank;

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;

using Strs = std::vector<std::string>;

Strs strs(const VLK_StrArray* a) {
  Strs out;
  for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i] ? a->data[i] : "<null>");
  return out;
}

std::vector<int> ints(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

std::vector<double> values(const double* block, const VLK_Data* d) {
  return std::vector<double>(block, block + VLK_Data_cells(d->p, d->n));
}

VLK_IntArray* int_list(const std::vector<int>& v) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (int x : v) VLK_IntArray_add(a, x);
  return a;
}

// p nodes x n samples of values 0.25 + 10 v + s (+ base), names g<v>, aliases a<v>.
DataPtr make_data(int p, int n, double base = 0, const char* prefix = "g") {
  DataPtr d(VLK_Data_new());
  d->p = p;
  d->n = n;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * (p * n + 1)));
  for (int v = 0; v < p; ++v)
    for (int s = 0; s < n; ++s) d->X[v * n + s] = base + 0.25 + 10 * v + s;
  d->Y = d->X;
  for (int v = 0; v < p; ++v) {
    VLK_StrArray_add_copy(d->names, (prefix + std::to_string(v)).c_str());
    VLK_StrArray_add_copy(d->aliases, ("a" + std::string(prefix) + std::to_string(v)).c_str());
  }
  return d;
}

void add_labels(VLK_Data* d) {
  d->category = 1;
  d->labels = VLK_StrArray_new_ar(d->p);
  for (int v = 0; v < d->p; ++v)
    for (int c = 0; c <= v; ++c)
      VLK_StrArray_add_copy(&d->labels[v], ("L" + std::to_string(v) + std::to_string(c)).c_str());
}

// What travels, as the receiving ranks should hold it: missing strings arrive as "".
struct Expected {
  int n = 0, p = 0, category = 0;
  std::vector<double> X, Y;  // Y empty: shared with X
  Strs names, aliases;
  std::vector<Strs> labels;  // empty with no label block
  bool has_labels = false;
  std::vector<int> primary, secondary;
  bool has_primary = false, has_secondary = false;
};

Strs wire(const VLK_StrArray* a) {
  Strs out;
  for (size_t i = 0; a && i < a->size; ++i) out.emplace_back(a->data[i] ? a->data[i] : "");
  return out;
}

// The root's data set as every rank should receive it (computed on the root, sent as a
// reference through plain broadcasts).
Expected expected_from(const VLK_Data* d) {
  Expected e;
  e.n = d->n;
  e.p = d->p;
  e.category = d->category;
  e.X = values(d->X, d);
  if (d->Y != d->X) e.Y = values(d->Y, d);
  e.names = wire(d->names);
  e.aliases = wire(d->aliases);
  if (d->category == 1) {
    e.has_labels = true;
    for (int v = 0; v < d->p; ++v) e.labels.push_back(wire(d->labels ? &d->labels[v] : nullptr));
  }
  e.has_primary = d->primary_ids != nullptr;
  e.has_secondary = d->secondary_ids != nullptr;
  if (e.has_primary) e.primary = ints(d->primary_ids);
  if (e.has_secondary) e.secondary = ints(d->secondary_ids);
  return e;
}

void expect_received(const VLK_Data* d, const Expected& e) {
  EXPECT_EQ(d->n, e.n);
  EXPECT_EQ(d->p, e.p);
  EXPECT_EQ(d->category, e.category);
  EXPECT_EQ(values(d->X, d), e.X);
  if (e.Y.empty()) {
    EXPECT_EQ(d->Y, d->X);
  } else {
    ASSERT_NE(d->Y, d->X);
    EXPECT_EQ(values(d->Y, d), e.Y);
  }
  ASSERT_NE(d->names, nullptr);
  ASSERT_NE(d->aliases, nullptr);
  EXPECT_EQ(strs(d->names), e.names);
  EXPECT_EQ(strs(d->aliases), e.aliases);
  if (e.has_labels) {
    ASSERT_NE(d->labels, nullptr);
    for (int v = 0; v < d->p; ++v) EXPECT_EQ(strs(&d->labels[v]), e.labels[v]) << v;
  } else {
    EXPECT_EQ(d->labels, nullptr);
  }
  ASSERT_EQ(d->primary_ids != nullptr, e.has_primary);
  ASSERT_EQ(d->secondary_ids != nullptr, e.has_secondary);
  if (e.has_primary) {
    EXPECT_EQ(ints(d->primary_ids), e.primary);
  }
  if (e.has_secondary) {
    EXPECT_EQ(ints(d->secondary_ids), e.secondary);
  }
  // Not sent.
  EXPECT_EQ(d->sample_names, nullptr);
  EXPECT_EQ(d->meta, nullptr);
  EXPECT_EQ(d->attributes, nullptr);
}

// Broadcasts the root's `d` and checks every rank: the receivers against the root's content, the
// root against a copy taken before. Non-root ranks start from a stale data set that must not be
// released (the sanitizer build catches a double free).
void broadcast_and_check(DataPtr d) {
  DataPtr stale = make_data(2, 2, 50, "stale");
  Expected want;
  DataPtr before;
  if (is_root()) {
    want = expected_from(d.get());
    before.reset(VLK_Data_clone(d.get()));
  }
  VLK_Data* x = is_root() ? d.release() : stale.get();
  VLK_Data_MPI_Bcast(&x, kRoot, MPI_COMM_WORLD);
  DataPtr got(x);
  if (is_root()) {
    // The root keeps its record and its content, the parts that are not sent included.
    const Expected now = expected_from(got.get());
    EXPECT_EQ(now.X, want.X);
    EXPECT_EQ(now.Y, want.Y);
    if (got->names != nullptr) {
      EXPECT_EQ(strs(got->names), strs(before->names));
    }
    EXPECT_EQ(strs(got->aliases), strs(before->aliases));
    for (int v = 0; got->labels && v < got->p; ++v)
      EXPECT_EQ(strs(&got->labels[v]), strs(&before->labels[v]));
    EXPECT_EQ(got->sample_names != nullptr, before->sample_names != nullptr);
    EXPECT_EQ(now.primary, want.primary);
    EXPECT_EQ(now.secondary, want.secondary);
  } else {
    ASSERT_NE(got.get(), stale.get());
  }
  // Share the root's reference.
  int header[9] = {want.n,
                   want.p,
                   want.category,
                   static_cast<int>(want.X.size()),
                   static_cast<int>(want.Y.size()),
                   want.has_labels,
                   want.has_primary,
                   want.has_secondary,
                   static_cast<int>(want.labels.size())};
  MPI_Bcast(header, 9, MPI_INT, kRoot, MPI_COMM_WORLD);
  want.n = header[0];
  want.p = header[1];
  want.category = header[2];
  want.X.resize(header[3]);
  want.Y.resize(header[4]);
  want.has_labels = header[5];
  want.has_primary = header[6];
  want.has_secondary = header[7];
  want.labels.resize(header[8]);
  MPI_Bcast(want.X.data(), header[3], MPI_DOUBLE, kRoot, MPI_COMM_WORLD);
  MPI_Bcast(want.Y.data(), header[4], MPI_DOUBLE, kRoot, MPI_COMM_WORLD);
  auto share_strs = [](Strs* s) {
    VLK_StrArray* a = VLK_StrArray_new();
    for (const auto& t : *s) VLK_StrArray_add_copy(a, t.c_str());
    VLK_StrArray* start = a;
    VLK_StrArray_MPI_Bcast(&a, kRoot, MPI_COMM_WORLD);
    *s = strs(a);
    if (a != start) VLK_StrArray_delete_all(start);
    VLK_StrArray_delete_all(a);
  };
  share_strs(&want.names);
  share_strs(&want.aliases);
  for (Strs& l : want.labels) share_strs(&l);
  auto share_ints = [](std::vector<int>* v) {
    VLK_IntArray* a = int_list(*v);
    VLK_IntArray_MPI_Bcast_copy(a, kRoot, MPI_COMM_WORLD);
    *v = ints(a);
    VLK_IntArray_delete(a);
  };
  share_ints(&want.primary);
  share_ints(&want.secondary);
  if (!is_root()) expect_received(got.get(), want);
}

}  // namespace

TEST(DataBcast, EmptyDataSet) {
  broadcast_and_check(DataPtr(VLK_Data_new()));
  // The bare receive side: nothing to hold but empty names.
  DataPtr stale = make_data(1, 1, 0, "old");
  VLK_Data* x = is_root() ? VLK_Data_new() : stale.get();
  VLK_Data_MPI_Bcast(&x, kRoot, MPI_COMM_WORLD);
  EXPECT_EQ(x->n, 0);
  EXPECT_EQ(x->p, 0);
  EXPECT_EQ(x->Y, x->X);
  EXPECT_EQ(x->names->size, 0u);
  EXPECT_EQ(x->labels, nullptr);
  EXPECT_EQ(x->primary_ids, nullptr);
  VLK_Data_delete(x);
}

TEST(DataBcast, EverythingPresentWithASeparateSecondBlock) {
  DataPtr d;
  if (is_root()) {
    d = make_data(3, 4);
    d->Y = static_cast<double*>(std::malloc(sizeof(double) * 12));
    for (int i = 0; i < 12; ++i) d->Y[i] = -1.5 * i;
    std::free(d->aliases->data[1]);
    d->aliases->data[1] = nullptr;  // a node without alias
    add_labels(d.get());
    std::free(d->labels[2].data[1]);
    d->labels[2].data[1] = nullptr;  // a label without text
    d->sample_names = VLK_StrArray_new();
    for (const char* s : {"s1", "s2", "s3", "s4"}) VLK_StrArray_add_copy(d->sample_names, s);
    d->meta = VLK_KeyValues_parse("title=t");
    d->attributes = VLK_KeyValues_new();
    VLK_KeyValues_add_string(d->attributes, "k", "v");
    d->primary_ids = int_list({1, 2, 1, 2});
    d->secondary_ids = int_list({1, 1, 2, 2});
  }
  broadcast_and_check(std::move(d));
}

TEST(DataBcast, PartsAbsent) {
  // No name array, categories without a label block, only secondary IDs.
  DataPtr d;
  if (is_root()) {
    d = make_data(2, 3);
    VLK_StrArray_delete_all(d->names);
    d->names = nullptr;
    d->category = 1;
    d->secondary_ids = int_list({2, 2, 1});
  }
  broadcast_and_check(std::move(d));

  // Only primary IDs, no categories, and an empty ID list.
  DataPtr e;
  if (is_root()) {
    e = make_data(1, 0);
    e->primary_ids = VLK_IntArray_new();
  }
  broadcast_and_check(std::move(e));
}

TEST(DataBcast, MergedDataSetWithCategories) {
  DataPtr d;
  if (is_root()) {
    d = make_data(2, 3);
    add_labels(d.get());
    DataPtr e = make_data(3, 3, 1000, "h");
    add_labels(e.get());
    ASSERT_EQ(VLK_Data_append(d.get(), e.get()), 3);
  }
  broadcast_and_check(std::move(d));
}

// The wire form of a data set without IDs and categories, received by hand: three ints, the
// values, the flag, the names and the aliases, and two one-byte flags; nothing more.
TEST(DataBcast, ExactSequenceOfTransfers) {
  constexpr int p = 2, n = 3;
  if (is_root()) {
    DataPtr d = make_data(p, n);
    VLK_Data* x = d.get();
    VLK_Data_MPI_Bcast(&x, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(x, d.get());
  } else {
    int sizes[3] = {-1, -1, -1};
    for (int& v : sizes) MPI_Bcast(&v, 1, MPI_INT, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(sizes[0], n);
    EXPECT_EQ(sizes[1], p);
    EXPECT_EQ(sizes[2], 0);
    std::vector<double> x(p * n);
    MPI_Bcast(x.data(), p * n, MPI_DOUBLE, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(x[5], 0.25 + 10 + 2);
    int separate = -1;
    MPI_Bcast(&separate, 1, MPI_INT, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(separate, 0);
    VLK_StrArray* names = nullptr;
    VLK_StrArray* aliases = nullptr;
    VLK_StrArray_MPI_Bcast(&names, kRoot, MPI_COMM_WORLD);
    VLK_StrArray_MPI_Bcast(&aliases, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(strs(names), (Strs{"g0", "g1"}));
    EXPECT_EQ(strs(aliases), (Strs{"ag0", "ag1"}));
    VLK_StrArray_delete_all(names);
    VLK_StrArray_delete_all(aliases);
    char flags[2] = {9, 9};
    for (char& f : flags) MPI_Bcast(&f, 1, MPI_CHAR, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(flags[0], 0);
    EXPECT_EQ(flags[1], 0);
  }
  // A further transfer would be taken for this one.
  int sentinel = is_root() ? 0x5EED : 0;
  MPI_Bcast(&sentinel, 1, MPI_INT, kRoot, MPI_COMM_WORLD);
  EXPECT_EQ(sentinel, 0x5EED);
}
