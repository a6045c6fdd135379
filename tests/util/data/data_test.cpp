#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;

// p nodes x n samples with X[v][s] = 10 v + s, names g<v>, aliases a<v>.
DataPtr make_data(int p, int n) {
  DataPtr d(VLK_Data_new());
  d->p = p;
  d->n = n;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * p * n));
  for (int v = 0; v < p; ++v)
    for (int s = 0; s < n; ++s) d->X[v * n + s] = 10 * v + s;
  d->Y = d->X;
  for (int v = 0; v < p; ++v) {
    VLK_StrArray_add_copy(d->names, ("g" + std::to_string(v)).c_str());
    VLK_StrArray_add_copy(d->aliases, ("a" + std::to_string(v)).c_str());
  }
  return d;
}

// A separate second matrix with Y[v][s] = 100 + 10 v + s.
void split_y(VLK_Data* d) {
  d->Y = static_cast<double*>(std::malloc(sizeof(double) * d->p * d->n));
  for (int i = 0; i < d->p * d->n; ++i) d->Y[i] = 100 + d->X[i];
}

// Category labels "L<v>.<c>" for c < v + 1.
void add_labels(VLK_Data* d) {
  d->category = 1;
  d->labels = VLK_StrArray_new_ar(d->p);
  for (int v = 0; v < d->p; ++v)
    for (int c = 0; c <= v; ++c)
      VLK_StrArray_add_copy(&d->labels[v],
                            ("L" + std::to_string(v) + "." + std::to_string(c)).c_str());
}

std::vector<double> row(const double* block, int n, int v) {
  return std::vector<double>(block + v * n, block + (v + 1) * n);
}

std::vector<std::string> strs(const VLK_StrArray* a) {
  std::vector<std::string> out;
  for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i] ? a->data[i] : "<null>");
  return out;
}

std::vector<int> ints(const VLK_IntArray* a) {
  return std::vector<int>(a->data, a->data + a->size);
}

VLK_IntArray* int_list(std::initializer_list<int> v) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (int x : v) VLK_IntArray_add(a, x);
  return a;
}

class WarningLevel {
 public:
  explicit WarningLevel(int level) : saved_(VLK_get_warning_level()) {
    VLK_set_warning_level(level);
  }
  ~WarningLevel() { VLK_set_warning_level(saved_); }

 private:
  int saved_;
};

}  // namespace

TEST(Data, NewIsEmpty) {
  DataPtr d(VLK_Data_new());
  EXPECT_EQ(VLK_Data_nodes(d.get()), 0);
  EXPECT_EQ(VLK_Data_samples(d.get()), 0);
  EXPECT_EQ(d->X, nullptr);
  EXPECT_EQ(d->Y, nullptr);
  ASSERT_NE(d->names, nullptr);
  ASSERT_NE(d->aliases, nullptr);
  EXPECT_EQ(d->names->size, 0u);
  EXPECT_EQ(d->category, 0);
  EXPECT_EQ(d->labels, nullptr);
  EXPECT_EQ(d->sample_names, nullptr);
  EXPECT_EQ(d->meta, nullptr);
  EXPECT_EQ(d->attributes, nullptr);
  EXPECT_EQ(d->primary_ids, nullptr);
  EXPECT_EQ(d->secondary_ids, nullptr);
  EXPECT_EQ(VLK_Data_find_name(d.get(), "g0"), -1);
  VLK_Data_delete(nullptr);
}

// 3 nodes x 4 samples: a swapped index order reads another cell or leaves the block.
TEST(Data, AccessorsTakeTheirOwnIndexOrder) {
  DataPtr d = make_data(3, 4);
  split_y(d.get());
  EXPECT_EQ(VLK_Data_nodes(d.get()), 3);
  EXPECT_EQ(VLK_Data_samples(d.get()), 4);
  for (int v = 0; v < 3; ++v) {
    for (int s = 0; s < 4; ++s) {
      SCOPED_TRACE("node " + std::to_string(v) + " sample " + std::to_string(s));
      EXPECT_EQ(VLK_Data_get_value(d.get(), s, v), 10 * v + s);
      EXPECT_EQ(VLK_Data_value(d.get(), s, v), 10 * v + s);
      EXPECT_EQ(VLK_Data_value_X(d.get(), v, s), 10 * v + s);
      EXPECT_EQ(VLK_Data_get_value_Y(d.get(), s, v), 100 + 10 * v + s);
      EXPECT_EQ(VLK_Data_value_Y(d.get(), v, s), 100 + 10 * v + s);
    }
  }
}

TEST(Data, NamesAliasesAndLookup) {
  DataPtr d = make_data(3, 2);
  std::free(d->names->data[2]);
  d->names->data[2] = strdup("g0");  // a repeated name
  EXPECT_STREQ(VLK_Data_get_name(d.get(), 1), "g1");
  EXPECT_STREQ(VLK_Data_get_alias(d.get(), 2), "a2");
  EXPECT_EQ(VLK_Data_get_name(d.get(), 3), nullptr);
  EXPECT_EQ(VLK_Data_get_alias(d.get(), 3), nullptr);
  EXPECT_EQ(VLK_Data_get_name(d.get(), -1), nullptr);
  EXPECT_EQ(VLK_Data_find_name(d.get(), "g0"), 0);  // the first of two
  EXPECT_EQ(VLK_Data_find_name(d.get(), "g1"), 1);
  EXPECT_EQ(VLK_Data_find_name(d.get(), "G1"), -1);  // exact comparison
  EXPECT_EQ(VLK_Data_find_name(d.get(), "g2"), -1);

  VLK_StrArray_delete_all(d->names);
  VLK_StrArray_delete_all(d->aliases);
  d->names = nullptr;
  d->aliases = nullptr;
  EXPECT_EQ(VLK_Data_get_name(d.get(), 0), nullptr);
  EXPECT_EQ(VLK_Data_get_alias(d.get(), 0), nullptr);
  EXPECT_EQ(VLK_Data_find_name(d.get(), "g1"), -1);
}

TEST(Data, CloneIsDeepAndSharesYOnlyWhenTheSourceDoes) {
  DataPtr d = make_data(3, 2);
  add_labels(d.get());
  d->sample_names = VLK_StrArray_new();
  VLK_StrArray_add_copy(d->sample_names, "s1");
  VLK_StrArray_add_copy(d->sample_names, "s2");
  d->primary_ids = int_list({1, 2});
  d->secondary_ids = int_list({1, 1});
  d->meta = VLK_KeyValues_parse("title=x");
  d->attributes = VLK_KeyValues_new();

  DataPtr c(VLK_Data_clone(d.get()));
  EXPECT_EQ(c->n, 2);
  EXPECT_EQ(c->p, 3);
  EXPECT_EQ(c->category, 1);
  EXPECT_NE(c->X, d->X);
  EXPECT_EQ(c->Y, c->X);
  EXPECT_EQ(row(c->X, 2, 2), row(d->X, 2, 2));
  EXPECT_NE(c->names, d->names);
  EXPECT_EQ(strs(c->names), strs(d->names));
  EXPECT_NE(c->names->data[0], d->names->data[0]);
  EXPECT_EQ(strs(c->aliases), strs(d->aliases));
  ASSERT_NE(c->labels, nullptr);
  EXPECT_EQ(strs(&c->labels[2]), (std::vector<std::string>{"L2.0", "L2.1", "L2.2"}));
  EXPECT_EQ(strs(c->sample_names), (std::vector<std::string>{"s1", "s2"}));
  EXPECT_EQ(ints(c->primary_ids), (std::vector<int>{1, 2}));
  EXPECT_EQ(ints(c->secondary_ids), (std::vector<int>{1, 1}));
  EXPECT_EQ(c->meta, nullptr);
  EXPECT_EQ(c->attributes, nullptr);

  // Releasing the copy leaves the source whole (the sanitizer build checks the reads).
  c.reset();
  EXPECT_EQ(VLK_Data_value_X(d.get(), 2, 1), 21);
  EXPECT_STREQ(VLK_Data_get_name(d.get(), 2), "g2");
  EXPECT_STREQ(d->labels[1].data[1], "L1.1");

  split_y(d.get());
  DataPtr c2(VLK_Data_clone(d.get()));
  EXPECT_NE(c2->Y, c2->X);
  EXPECT_NE(c2->Y, d->Y);
  EXPECT_EQ(row(c2->Y, 2, 1), (std::vector<double>{110, 111}));
}

// Node-set files over the nodes g0 .. g3.
struct NodeSetCase {
  const char* label;
  const char* content;
  int column;
  int level;
  std::vector<int> expected;
  std::string err;
};

TEST(Data, ReadNodeSetFile) {
  const std::vector<NodeSetCase> cases = {
      {"in file order", "g2\ng0\n", 0, 1, {2, 0}, ""},
      {"repeated name, level 1", "g1\ng1\n", 0, 1, {1}, "WARNING: duplication detected: g1\n"},
      {"repeated name, level 0", "g1\ng1\n", 0, 0, {1}, ""},
      {"absent name, level 1", "gx\ng3\n", 0, 1, {3}, "WARNING: not found: gx\n"},
      {"absent name, level 0", "gx\ng3\n", 0, 0, {3}, ""},
      {"last line without end", "g0\ng3", 0, 1, {0, 3}, ""},
      {"CR LF and CR endings", "g1\r\ng2\rg3\n", 0, 1, {1, 2, 3}, ""},
      {"second column, empty first field", "x\tg2\tz\n\tg0\n", 1, 1, {2, 0}, ""},
      {"empty field is a name", "g1\t\n", 1, 1, {}, "WARNING: not found: \n"},
      {"empty file", "", 0, 1, {}, ""},
  };
  DataPtr d = make_data(4, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    vlk_test::TempFile file(c.content);
    WarningLevel level(c.level);
    VLK_IntArray* list = VLK_IntArray_new();
    vlk_test::CaptureErr err;
    EXPECT_EQ(VLK_Data_read_node_set_file(d.get(), list, file.path().c_str(), c.column),
              static_cast<int>(c.expected.size()));
    EXPECT_EQ(ints(list), c.expected);
    EXPECT_EQ(err.text(), c.err);
    VLK_IntArray_delete(list);
  }
}

TEST(Data, ReadNodeSetFileAppendsToAListOnlyNewNodes) {
  DataPtr d = make_data(4, 1);
  vlk_test::TempFile file("g2\ng1\n");
  VLK_IntArray* list = int_list({2});
  WarningLevel level(1);
  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK_Data_read_node_set_file(d.get(), list, file.path().c_str(), 0), 1);
  EXPECT_EQ(ints(list), (std::vector<int>{2, 1}));
  EXPECT_EQ(err.text(), "WARNING: duplication detected: g2\n");

  EXPECT_EQ(VLK_Data_read_node_set_file(d.get(), list, "/nonexistent/nodes.txt", 0), -1);
  EXPECT_EQ(ints(list), (std::vector<int>{2, 1}));
  EXPECT_EQ(err.text(),
            "WARNING: duplication detected: g2\nERROR: cannot open file: /nonexistent/nodes.txt\n");
  VLK_IntArray_delete(list);
}

TEST(Data, NodeSetLineWithoutTheColumnOrWithANulByteEndsTheProcess) {
  DataPtr d = make_data(4, 1);
  vlk_test::TempFile blank("g0\n\ng1\n");
  vlk_test::TempFile short_line("g0\tx\tg1\ng2\tx\n");
  // The name would be cut at the NUL byte and looked up as "g1".
  vlk_test::TempFile nul(std::string("g0\ng1\0x\n", 8));
  VLK_IntArray* list = VLK_IntArray_new();
  EXPECT_FATAL_EXIT(VLK_Data_read_node_set_file(d.get(), list, blank.path().c_str(), 0),
                    "ERROR: VLK_Data: node selection: index out of range :0\n");
  EXPECT_FATAL_EXIT(VLK_Data_read_node_set_file(d.get(), list, short_line.path().c_str(), 2),
                    "ERROR: VLK_Data: node selection: index out of range :2\n");
  EXPECT_FATAL_EXIT(VLK_Data_read_node_set_file(d.get(), list, nul.path().c_str(), 0),
                    "ERROR: a NUL byte in line 2\n");
  VLK_IntArray_delete(list);
}

TEST(Data, SelectNodesInPlaceKeepsRowsNamesLabelsAndYTogether) {
  DataPtr d = make_data(3, 4);
  add_labels(d.get());
  VLK_IntArray* list = int_list({2, 0});
  EXPECT_EQ(VLK_Data_select_nodes_index(d.get(), list), d.get());
  EXPECT_EQ(d->p, 2);
  EXPECT_EQ(d->n, 4);
  EXPECT_EQ(d->Y, d->X);
  EXPECT_EQ(row(d->X, 4, 0), (std::vector<double>{20, 21, 22, 23}));
  EXPECT_EQ(row(d->X, 4, 1), (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(strs(d->names), (std::vector<std::string>{"g2", "g0"}));
  EXPECT_EQ(strs(d->aliases), (std::vector<std::string>{"a2", "a0"}));
  EXPECT_EQ(strs(&d->labels[0]), (std::vector<std::string>{"L2.0", "L2.1", "L2.2"}));
  EXPECT_EQ(strs(&d->labels[1]), (std::vector<std::string>{"L0.0"}));
  VLK_IntArray_delete(list);

  // A time-lagged data set keeps its second matrix in step; a node may be listed twice.
  DataPtr e = make_data(3, 2);
  split_y(e.get());
  add_labels(e.get());
  list = int_list({1, 1, 2, 0});
  VLK_Data_select_nodes_index(e.get(), list);
  EXPECT_EQ(e->p, 4);
  ASSERT_NE(e->Y, e->X);
  EXPECT_EQ(row(e->X, 2, 1), (std::vector<double>{10, 11}));
  EXPECT_EQ(row(e->Y, 2, 2), (std::vector<double>{120, 121}));
  EXPECT_EQ(row(e->Y, 2, 3), (std::vector<double>{100, 101}));
  EXPECT_EQ(strs(&e->labels[3]), (std::vector<std::string>{"L0.0"}));
  VLK_IntArray_delete(list);

  list = int_list({0, 4});
  EXPECT_FATAL_EXIT(VLK_Data_select_nodes_index(e.get(), list),
                    "ERROR: VLK_Data: invalid node index specified: 4\n");
  VLK_IntArray_delete(list);
}

TEST(Data, SelectNodesIntoANewDataSet) {
  DataPtr d = make_data(3, 2);
  add_labels(d.get());
  VLK_IntArray* list = int_list({2, 0});
  DataPtr c(VLK_Data_select_nodes_index_new(d.get(), list));
  EXPECT_EQ(c->p, 2);
  EXPECT_EQ(c->n, 2);
  EXPECT_EQ(c->Y, c->X);
  EXPECT_EQ(row(c->X, 2, 0), (std::vector<double>{20, 21}));
  EXPECT_EQ(strs(c->names), (std::vector<std::string>{"g2", "g0"}));
  EXPECT_EQ(strs(c->aliases), (std::vector<std::string>{"a2", "a0"}));
  EXPECT_EQ(c->labels, nullptr);
  EXPECT_EQ(c->category, 0);
  EXPECT_EQ(d->p, 3);  // the source is untouched
  EXPECT_EQ(strs(d->names), (std::vector<std::string>{"g0", "g1", "g2"}));

  split_y(d.get());
  DataPtr c2(VLK_Data_select_nodes_index_new(d.get(), list));
  ASSERT_NE(c2->Y, c2->X);
  EXPECT_EQ(row(c2->Y, 2, 1), (std::vector<double>{100, 101}));
  d.reset();  // the new set owns its blocks
  EXPECT_EQ(row(c2->X, 2, 0), (std::vector<double>{20, 21}));
  VLK_IntArray_delete(list);
}

TEST(Data, SelectSamplesInPlace) {
  DataPtr d = make_data(2, 3);
  split_y(d.get());
  d->sample_names = VLK_StrArray_new();
  for (const char* s : {"s1", "s2", "s3"}) VLK_StrArray_add_copy(d->sample_names, s);
  d->primary_ids = int_list({1, 2, 3});
  d->secondary_ids = int_list({1, 1, 2});

  VLK_IntArray* empty = VLK_IntArray_new();
  VLK_Data_select_samples(d.get(), empty);
  EXPECT_EQ(d->n, 3);
  EXPECT_EQ(row(d->X, 3, 1), (std::vector<double>{10, 11, 12}));
  VLK_IntArray_delete(empty);

  VLK_IntArray* list = int_list({3, 1});
  EXPECT_EQ(VLK_Data_select_samples(d.get(), list), d.get());
  EXPECT_EQ(d->n, 2);
  EXPECT_EQ(d->p, 2);
  EXPECT_EQ(row(d->X, 2, 0), (std::vector<double>{2, 0}));
  EXPECT_EQ(row(d->X, 2, 1), (std::vector<double>{12, 10}));
  ASSERT_NE(d->Y, d->X);
  EXPECT_EQ(row(d->Y, 2, 1), (std::vector<double>{112, 110}));
  EXPECT_EQ(strs(d->sample_names), (std::vector<std::string>{"s3", "s1"}));
  EXPECT_EQ(ints(d->primary_ids), (std::vector<int>{3, 1}));
  EXPECT_EQ(ints(d->secondary_ids), (std::vector<int>{2, 1}));
  VLK_IntArray_delete(list);

  DataPtr e = make_data(2, 3);
  list = int_list({2, 2, 1, 3});  // repeats allowed, shared Y stays shared
  VLK_Data_select_samples(e.get(), list);
  EXPECT_EQ(e->n, 4);
  EXPECT_EQ(e->Y, e->X);
  EXPECT_EQ(row(e->X, 4, 1), (std::vector<double>{11, 11, 10, 12}));
  VLK_IntArray_delete(list);

  for (int bad : {0, -2, 5}) {
    SCOPED_TRACE(bad);
    list = int_list({1, bad});
    EXPECT_FATAL_EXIT(VLK_Data_select_samples(e.get(), list),
                      "ERROR: VLK_Data: invalid sample index specified: " + std::to_string(bad));
    VLK_IntArray_delete(list);
  }
}

TEST(Data, SelectNodesFromFiles) {
  vlk_test::TempFile first("g3\ng1\n");
  vlk_test::TempFile second("g1\ng0\n");
  VLK_StrArray* files = VLK_StrArray_new();
  VLK_StrArray_add_copy(files, first.path().c_str());
  VLK_StrArray_add_copy(files, "/nonexistent/set.txt");
  VLK_StrArray_add_copy(files, second.path().c_str());
  WarningLevel level(1);

  DataPtr d = make_data(4, 2);
  {
    vlk_test::CaptureErr err;
    VLK_Data_select_nodes_files(d.get(), files, 0);
    EXPECT_EQ(err.text(),
              "ERROR: cannot open file: /nonexistent/set.txt\n"
              "WARNING: duplication detected: g1\n"
              "Select nodes: Total 3 nodes.\n");
  }
  EXPECT_EQ(strs(d->names), (std::vector<std::string>{"g3", "g1", "g0"}));
  EXPECT_EQ(row(d->X, 2, 0), (std::vector<double>{30, 31}));

  DataPtr e = make_data(4, 2);
  vlk_test::CaptureErr err;
  VLK_IntArray* list = VLK_Data_select_nodes_files2(e.get(), files, 0);
  EXPECT_EQ(ints(list), (std::vector<int>{3, 1, 0}));
  EXPECT_EQ(strs(e->names), (std::vector<std::string>{"g3", "g1", "g0"}));
  VLK_IntArray_delete(list);
  VLK_StrArray_delete_all(files);
}
