#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_Data_merge.h"
#include "VLK_KeyValues.h"
#include "VLK_Type.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;

using Ints = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;

using Strs = std::vector<std::string>;

// Nodes with the given names (null for none), aliases "a" + name, values base + 10 v + s.
DataPtr make_data(const std::vector<const char*>& names, int n, double base = 0) {
  DataPtr d(VLK_Data_new());
  const int p = static_cast<int>(names.size());
  d->p = p;
  d->n = n;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * (p * n + 1)));
  for (int v = 0; v < p; ++v)
    for (int s = 0; s < n; ++s) d->X[v * n + s] = base + 10 * v + s;
  d->Y = d->X;
  for (const char* name : names) {
    VLK_StrArray_add_copy(d->names, name);
    VLK_StrArray_add_copy(d->aliases, name ? (std::string("a") + name).c_str() : nullptr);
  }
  return d;
}

// A separate second block holding -X.
void split_y(VLK_Data* d) {
  d->Y = static_cast<double*>(std::malloc(sizeof(double) * (d->p * d->n + 1)));
  for (int i = 0; i < d->p * d->n; ++i) d->Y[i] = -d->X[i];
}

// Labels "<tag><c>" for c < v + 1 at node v.
void add_labels(VLK_Data* d, const std::string& tag) {
  d->category = 1;
  d->labels = VLK_StrArray_new_ar(d->p);
  for (int v = 0; v < d->p; ++v)
    for (int c = 0; c <= v; ++c)
      VLK_StrArray_add_copy(&d->labels[v], (tag + std::to_string(c)).c_str());
}

std::vector<double> row(const double* block, int n, int v) {
  return std::vector<double>(block + v * n, block + (v + 1) * n);
}

Strs strs(const VLK_StrArray* a) {
  Strs out;
  for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i] ? a->data[i] : "<null>");
  return out;
}

std::vector<int> ints(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

VLK_IntArray* int_list(const std::vector<int>& v) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (int x : v) VLK_IntArray_add(a, x);
  return a;
}

}  // namespace

// ---- appending ----

TEST(DataAppend, AddsNodesWithNewNamesWithTheirRowsAliasesAndLabels) {
  DataPtr d = make_data({"g0", "g1", "g2"}, 2);
  add_labels(d.get(), "d");
  DataPtr e = make_data({"g1", "h0", nullptr, "h0", "h1", nullptr}, 2, 1000);
  add_labels(e.get(), "e");
  std::string err;
  int added;
  {
    vlk_test::CaptureErr cap;
    added = VLK_Data_append(d.get(), e.get());
    err = cap.text();
  }
  EXPECT_EQ(err, "");
  // g1 exists and h0 comes once; nodes without a name are always new.
  EXPECT_EQ(added, 4);
  ASSERT_EQ(d->p, 7);
  EXPECT_EQ(strs(d->names), (Strs{"g0", "g1", "g2", "h0", "<null>", "h1", "<null>"}));
  EXPECT_EQ(strs(d->aliases), (Strs{"ag0", "ag1", "ag2", "ah0", "<null>", "ah1", "<null>"}));
  EXPECT_EQ(d->Y, d->X);
  const std::vector<int> from = {1, 2, 4, 5};  // e's rows, in order
  for (int v = 0; v < 3; ++v)
    EXPECT_EQ(row(d->X, 2, v), (std::vector<double>{10. * v, 10. * v + 1}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(row(d->X, 2, 3 + i), row(e->X, 2, from[i])) << i;
  // Every node, the appended ones too, has its labels: delete and clone walk all of them.
  ASSERT_NE(d->labels, nullptr);
  EXPECT_EQ(strs(&d->labels[2]), (Strs{"d0", "d1", "d2"}));
  EXPECT_EQ(strs(&d->labels[3]), (Strs{"e0", "e1"}));
  EXPECT_EQ(strs(&d->labels[6]), (Strs{"e0", "e1", "e2", "e3", "e4", "e5"}));
  e.reset();  // the copies are d's own
  DataPtr c(VLK_Data_clone(d.get()));
  EXPECT_EQ(strs(&c->labels[5]), (Strs{"e0", "e1", "e2", "e3", "e4"}));

  // Labels of a source without them: empty arrays.
  DataPtr plain = make_data({"z"}, 2);
  EXPECT_EQ(VLK_Data_append(d.get(), plain.get()), 1);
  EXPECT_EQ(d->labels[7].size, 0u);
}

TEST(DataAppend, SeparateSecondBlockGainsTheNewRows) {
  DataPtr d = make_data({"g0", "g1"}, 3);
  split_y(d.get());
  DataPtr e = make_data({"x", "g0", "y"}, 3, 500);
  split_y(e.get());
  EXPECT_EQ(VLK_Data_append(d.get(), e.get()), 2);
  ASSERT_NE(d->Y, d->X);
  EXPECT_EQ(row(d->Y, 3, 1), (std::vector<double>{-10, -11, -12}));
  EXPECT_EQ(row(d->Y, 3, 2), row(e->Y, 3, 0));
  EXPECT_EQ(row(d->Y, 3, 3), row(e->Y, 3, 2));
  EXPECT_EQ(row(d->X, 3, 3), row(e->X, 3, 2));

  // A source with one block gives its values to both.
  DataPtr f = make_data({"w"}, 3, 900);
  EXPECT_EQ(VLK_Data_append(d.get(), f.get()), 1);
  EXPECT_EQ(row(d->Y, 3, 4), row(f->X, 3, 0));
}

TEST(DataAppend, NothingNewOrDifferentSampleCounts) {
  DataPtr d = make_data({"g0", "g1"}, 3);
  const double* x = d->X;
  DataPtr same = make_data({"g1", "g0", "g1"}, 3, 50);
  EXPECT_EQ(VLK_Data_append(d.get(), same.get()), 0);
  EXPECT_EQ(d->p, 2);
  EXPECT_EQ(d->names->size, 2u);
  EXPECT_EQ(row(d->X, 3, 1), (std::vector<double>{10, 11, 12}));

  DataPtr other = make_data({"new"}, 4);
  std::string err;
  {
    vlk_test::CaptureErr cap;
    EXPECT_EQ(VLK_Data_append(d.get(), other.get()), -1);
    err = cap.text();
  }
  EXPECT_EQ(err,
            "WARNING: VLK_Data_append(): Num. of samples not consisitent.\n           3 vs 4.\n");
  EXPECT_EQ(d->p, 2);
  EXPECT_EQ(d->X, x);
}

TEST(DataAppend, NamesStayInStepWhenTheTargetHasNone) {
  DataPtr d = make_data({"a", "b"}, 2);
  VLK_StrArray_clear_all(d->names);
  VLK_StrArray_clear_all(d->aliases);
  DataPtr e = make_data({"a"}, 2, 70);
  EXPECT_EQ(VLK_Data_append(d.get(), e.get()), 1);
  EXPECT_EQ(d->p, 3);
  EXPECT_EQ(strs(d->names), (Strs{"<null>", "<null>", "a"}));
  EXPECT_STREQ(VLK_Data_get_name(d.get(), 2), "a");
  EXPECT_STREQ(VLK_Data_get_alias(d.get(), 2), "aa");
}

// ---- meta data and attributes ----

TEST(DataMeta, ListsAreCreatedOnFirstUseAndHoldCopies) {
  DataPtr d = make_data({"g"}, 1);
  std::string value = "time course";
  VLK_Data_add_meta_data(d.get(), "title", value.c_str());
  value[0] = 'X';
  ASSERT_NE(d->meta, nullptr);
  EXPECT_STREQ(VLK_KeyValues_get_string(d->meta, "title"), "time course");

  VLK_KeyValues* list = VLK_KeyValues_parse("a=1,b=x");
  VLK_Data_set_meta_data_kv(d.get(), list);
  VLK_KeyValues_delete(list);
  ASSERT_EQ(VLK_KeyValues_size(d->meta), 3u);
  EXPECT_STREQ(VLK_KeyValues_get_key(d->meta, 1), "a");
  EXPECT_STREQ(VLK_KeyValues_get_string(d->meta, "b"), "x");

  DataPtr fresh = make_data({"g"}, 1);
  VLK_KeyValues* two = VLK_KeyValues_parse("k=v");
  VLK_Data_set_meta_data_kv(fresh.get(), two);
  VLK_KeyValues_delete(two);
  EXPECT_STREQ(VLK_KeyValues_get_string(fresh->meta, "k"), "v");

  VLK_StrArray* types = VLK_StrArray_new();
  VLK_StrArray_add_copy(types, "ctrl");
  VLK_StrArray_add_copy(types, "case");
  VLK_Data_add_attributes(d.get(), "TypeID", types);
  VLK_StrArray_delete_all(types);
  ASSERT_NE(d->attributes, nullptr);
  ASSERT_EQ(VLK_KeyValues_size(d->attributes), 1u);
  EXPECT_EQ(VLK_KeyValues_get_type(d->attributes, 0), VLK_TYPE_STRARRAY);
  EXPECT_EQ(VLK_TYPE_STRARRAY, 11);
  EXPECT_EQ(strs(static_cast<VLK_StrArray*>(VLK_KeyValues_get_value(d->attributes, 0))),
            (Strs{"ctrl", "case"}));
}

// ---- column IDs ----

TEST(DataSort, ByPrimaryThenSecondaryKeepsEverythingPerColumnTogether) {
  DataPtr d = make_data({"g0", "g1"}, 4);
  split_y(d.get());
  d->primary_ids = int_list({2, 1, 2, 1});
  d->secondary_ids = int_list({1, 1, 2, 2});
  d->sample_names = VLK_StrArray_new();
  for (const char* s : {"c1", "c2", "c3", "c4"}) VLK_StrArray_add_copy(d->sample_names, s);
  VLK_Data_sort_by_primary(d.get());
  // Columns 2, 4, 1, 3 (1-based).
  EXPECT_EQ(row(d->X, 4, 1), (std::vector<double>{11, 13, 10, 12}));
  ASSERT_NE(d->Y, d->X);
  EXPECT_EQ(row(d->Y, 4, 1), (std::vector<double>{-11, -13, -10, -12}));
  EXPECT_EQ(ints(d->primary_ids), (std::vector<int>{1, 1, 2, 2}));
  EXPECT_EQ(ints(d->secondary_ids), (std::vector<int>{1, 2, 1, 2}));
  EXPECT_EQ(strs(d->sample_names), (Strs{"c2", "c4", "c1", "c3"}));

  VLK_Data_sort_by_secondary(d.get());
  // Back to series order: (1,1) (2,1) (1,2) (2,2) are the old columns 2, 1, 4, 3.
  EXPECT_EQ(row(d->X, 4, 0), (std::vector<double>{1, 0, 3, 2}));
  EXPECT_EQ(row(d->Y, 4, 0), (std::vector<double>{-1, -0, -3, -2}));
  EXPECT_EQ(ints(d->primary_ids), (std::vector<int>{1, 2, 1, 2}));
  EXPECT_EQ(ints(d->secondary_ids), (std::vector<int>{1, 1, 2, 2}));
  EXPECT_EQ(strs(d->sample_names), (Strs{"c2", "c1", "c4", "c3"}));

  // One block stays one block.
  DataPtr one = make_data({"g"}, 3);
  one->primary_ids = int_list({3, 1, 2});
  one->secondary_ids = int_list({1, 1, 1});
  VLK_Data_sort_by_primary(one.get());
  EXPECT_EQ(one->Y, one->X);
  EXPECT_EQ(row(one->X, 3, 0), (std::vector<double>{1, 2, 0}));
}

TEST(DataSort, ComparatorIsThreeWayOverTheWholeIntRange) {
  VLK_IntArray* a = int_list({INT_MIN, INT_MAX, 5, 5});
  VLK_IntArray* b = int_list({0, 0, INT_MAX, INT_MIN});
  const VLK_Data_sort_t lo{0, a, b}, hi{1, a, b}, x{2, a, b}, y{3, a, b};
  EXPECT_LT(VLK_Data_sort_t_cmp(&lo, &hi), 0);
  EXPECT_GT(VLK_Data_sort_t_cmp(&hi, &lo), 0);
  EXPECT_GT(VLK_Data_sort_t_cmp(&x, &y), 0);  // tie on the first, the second decides
  EXPECT_LT(VLK_Data_sort_t_cmp(&y, &x), 0);
  EXPECT_EQ(VLK_Data_sort_t_cmp(&x, &x), 0);
  VLK_IntArray_delete(a);
  VLK_IntArray_delete(b);
}

TEST(DataSort, MissingOrShortIdListsChangeNothing) {
  DataPtr d = make_data({"g"}, 2);
  const double* x = d->X;
  std::string err;
  {
    vlk_test::CaptureErr cap;
    VLK_Data_sort_by_primary(d.get());
    d->primary_ids = int_list({2, 1});
    VLK_Data_sort_by_secondary(d.get());
    err = cap.text();
  }
  EXPECT_EQ(err, "WARNING: primary key ID is not set.\nWARNING: secondary key ID is not set.\n");
  EXPECT_EQ(d->X, x);
  EXPECT_EQ(ints(d->primary_ids), (std::vector<int>{2, 1}));

  d->secondary_ids = int_list({1});  // one column without its ID
  const auto end = vlk_test::run_fatal([&] { VLK_Data_sort_by_primary(d.get()); });
  EXPECT_TRUE(end.exit1());
  EXPECT_EQ(
      end.err,
      "ERROR: VLK_Data_sort_by_primary(): 2 primary and 1 secondary IDs for 2 value columns.\n");
}

TEST(DataIds, CountsPerTimePointAndSeries) {
  struct Case {
    std::vector<int> primary, secondary;
    std::vector<int> replicates, timepoints, points, unique;
    int max_primary, max_secondary;
  };
  const std::vector<Case> cases = {
      {{2, 1, 2, 1}, {1, 1, 2, 2}, {2, 2}, {2, 2}, {3}, {1, 2}, 2, 2},
      {{1, 2, 3, 1, 2, 3}, {1, 1, 1, 2, 2, 2}, {2, 2, 2}, {3, 3}, {4}, {1, 2}, 3, 2},
      {{1, 1, 1, 1, 1}, {3, 1, 3, 2, 1}, {5}, {2, 1, 2}, {3, 4}, {3, 1, 2}, 1, 3},
      {{}, {}, {}, {}, {}, {}, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.primary.size() << " columns, max " << c.max_primary);
    DataPtr d = make_data({"g"}, static_cast<int>(c.primary.size()));
    d->primary_ids = int_list(c.primary);
    d->secondary_ids = int_list(c.secondary);
    const Ints rep(VLK_Data_get_replicates(d.get()));
    const Ints tp(VLK_Data_get_timepoints(d.get()));
    const Ints pts(VLK_Data_get_dynamic_points(d.get()));
    const Ints uni(VLK_Data_unique_secondaryID(d.get()));
    EXPECT_EQ(ints(rep.get()), c.replicates);
    EXPECT_EQ(ints(tp.get()), c.timepoints);
    EXPECT_EQ(ints(pts.get()), c.points);
    EXPECT_EQ(ints(uni.get()), c.unique);
    EXPECT_EQ(VLK_Data_max_primaryID(d.get()), c.max_primary);
    EXPECT_EQ(VLK_Data_max_secondaryID(d.get()), c.max_secondary);
    EXPECT_EQ(VLK_Data_max_replicates(d.get()), c.max_secondary);
  }
}

TEST(DataIds, MissingListsAndNegativeIds) {
  DataPtr d = make_data({"g"}, 3);
  d->primary_ids = int_list({1, 2, 3});
  // Either list missing: no counts; the max of a missing list is 1.
  EXPECT_EQ(VLK_Data_get_replicates(d.get()), nullptr);
  EXPECT_EQ(VLK_Data_get_timepoints(d.get()), nullptr);
  EXPECT_EQ(VLK_Data_get_dynamic_points(d.get()), nullptr);
  EXPECT_EQ(VLK_Data_unique_secondaryID(d.get()), nullptr);
  EXPECT_EQ(VLK_Data_max_primaryID(d.get()), 3);
  EXPECT_EQ(VLK_Data_max_secondaryID(d.get()), 1);
  EXPECT_EQ(VLK_Data_max_replicates(d.get()), 1);

  d->secondary_ids = int_list({1, 0, 1});
  VLK_IntArray_set(d->primary_ids, 0, -2);
  EXPECT_FATAL_EXIT(VLK_Data_get_replicates(d.get()),
                    "ERROR: VLK_Data_get_replicates(): Primary ID contains -2 at the 1-th value "
                    "column.\n");
  VLK_IntArray_set(d->secondary_ids, 1, -1);
  EXPECT_FATAL_EXIT(VLK_Data_get_timepoints(d.get()),
                    "ERROR: VLK_Data_get_timepoints(): Secondary ID contains -1 at the 2-th value "
                    "column.\n");
  EXPECT_FATAL_EXIT(VLK_Data_get_dynamic_points(d.get()),
                    "ERROR: VLK_Data_get_dynamic_points(): Secondary ID contains -1 at the 2-th "
                    "value column.\n");
  const Ints uni(VLK_Data_unique_secondaryID(d.get()));
  EXPECT_EQ(ints(uni.get()), (std::vector<int>{1, -1}));
}

// Time points and series count from 1, or from 0 when an ID is 0: entry i of the counts is
// then ID i. A time point between the first and the last without a column is refused, since
// the pseudo bootstrap divides by every count.
TEST(DataIds, CountsFromZeroOrOne) {
  struct Case {
    const char* what;
    std::vector<int> primary, secondary;
    std::vector<int> replicates, timepoints, dynamic_points;
    const char* error;  // of the replicates; null: counted
  };
  const Case cases[] = {
      {"from 1", {1, 1, 2, 2}, {1, 2, 1, 2}, {2, 2}, {2, 2}, {3}, nullptr},
      {"from 0", {0, 0, 1, 1}, {0, 1, 0, 1}, {2, 2}, {2, 2}, {3}, nullptr},
      {"from 0, unsorted", {1, 0, 2, 0}, {0, 0, 0, 0}, {2, 1, 1}, {4}, {}, nullptr},
      {"from 1, first time point empty",
       {3, 3, 2, 2},
       {1, 1, 1, 1},
       {},
       {4},
       {},
       "ERROR: VLK_Data_get_replicates(): time point 1 has no sample.\n"},
      {"from 0, a time point empty",
       {0, 2, 2, 0},
       {1, 1, 1, 1},
       {},
       {4},
       {},
       "ERROR: VLK_Data_get_replicates(): time point 1 has no sample.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DataPtr d = make_data({"g"}, static_cast<int>(c.primary.size()));
    d->primary_ids = int_list(c.primary);
    d->secondary_ids = int_list(c.secondary);
    if (c.error != nullptr) {
      EXPECT_FATAL_EXIT(VLK_Data_get_replicates(d.get()), c.error);
    } else {
      const Ints reps(VLK_Data_get_replicates(d.get()));
      EXPECT_EQ(ints(reps.get()), c.replicates);
    }
    const Ints tps(VLK_Data_get_timepoints(d.get()));
    EXPECT_EQ(ints(tps.get()), c.timepoints);
    const Ints dps(VLK_Data_get_dynamic_points(d.get()));
    EXPECT_EQ(ints(dps.get()), c.dynamic_points);
  }
  // Sorting by time point puts the columns of ID 0 first.
  DataPtr d = make_data({"g"}, 4);
  for (int s = 0; s < 4; ++s) d->X[s] = s;
  d->primary_ids = int_list({1, 0, 1, 0});
  d->secondary_ids = int_list({0, 1, 1, 0});
  VLK_Data_sort_by_primary(d.get());
  EXPECT_EQ(std::vector<double>(d->X, d->X + 4), (std::vector<double>{3, 1, 0, 2}));
  EXPECT_EQ(ints(d->primary_ids), (std::vector<int>{0, 0, 1, 1}));
  EXPECT_EQ(ints(d->secondary_ids), (std::vector<int>{0, 1, 0, 1}));
}
