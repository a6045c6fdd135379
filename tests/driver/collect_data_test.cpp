#include "selection/collect_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VLK_RNG.h"
#include "VLK_StrArray.h"
#include "vlk_test.h"

namespace {

// Five genes of six samples, value 10 * gene + sample, and a nucleus of K = 3 with blocks of its
// own for X and Y.
class Collect : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int v = 0; v < 5; ++v)
      for (int s = 0; s < 6; ++s) values_.push_back(10.0 * v + s);
    a_ = Args_new_rank(0, 1);
    a_->nodes = 5;
    a_->samples = 6;
    a_->whole_values = values_.data();
    a_->module_size = 3;
    a_->nucleus_data->X = x_.data();
    a_->nucleus_data->Y = y_.data();
    a_->algo_args->rng = VLK_RNG_new();
  }
  void TearDown() override {
    VLK_Data* d = a_->nucleus_data;
    d->X = d->Y = nullptr;
    VLK_StrArray_set_size(d->names, 0);  // the names are the whole data set's
    VLK_RNG_delete(a_->algo_args->rng);
    Args_delete(a_);
  }
  std::vector<double> x(size_t from, size_t count) const {
    return std::vector<double>(x_.begin() + from, x_.begin() + from + count);
  }
  std::vector<double> y(size_t from, size_t count) const {
    return std::vector<double>(y_.begin() + from, y_.begin() + from + count);
  }

  std::vector<double> values_;
  std::vector<double> x_ = std::vector<double>(18, -1.0), y_ = std::vector<double>(18, -1.0);
  Args* a_ = nullptr;
};

}  // namespace

TEST_F(Collect, StaticDataCopiesTheRowsOfTheSelection) {
  const unsigned short sel[3] = {0, 3, 4};
  collect_data(a_, sel);
  EXPECT_EQ(x(0, 6), (std::vector<double>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(x(6, 6), (std::vector<double>{30, 31, 32, 33, 34, 35}));
  EXPECT_EQ(x(12, 6), (std::vector<double>{40, 41, 42, 43, 44, 45}));
  EXPECT_EQ(VLK_StrArray_size(a_->nucleus_data->names), 0u);  // names only when shared
}

// With one replicate per time point every series is the same: the pairs (t, t + 1) of each
// selected gene, X the earlier point and Y the later.
TEST_F(Collect, DynamicDataPairsTheSelectedGenes) {
  int reps[6] = {1, 1, 1, 1, 1, 1};
  a_->algo_args->dynamic = 1;
  a_->replicates = reps;
  a_->time_points = 6;
  const unsigned short sel[3] = {1, 2, 4};
  EXPECT_FATAL_EXIT(collect_data(a_, sel), "ERROR: Normal dynamic model not supported.\n");

  a_->bootstrap_blocks = 1;  // 1 series of 5 transitions
  x_.assign(15, -1.0);
  y_.assign(15, -1.0);
  a_->nucleus_data->X = x_.data();
  a_->nucleus_data->Y = y_.data();
  vlk_test::CaptureErr err;
  collect_data(a_, sel);
  EXPECT_EQ(err.text().rfind("Performing pseudo-bootstrap resampling.\n", 0), 0u);
  EXPECT_EQ(x(0, 5), (std::vector<double>{10, 11, 12, 13, 14}));
  EXPECT_EQ(y(0, 5), (std::vector<double>{11, 12, 13, 14, 15}));
  EXPECT_EQ(x(10, 5), (std::vector<double>{40, 41, 42, 43, 44}));
  EXPECT_EQ(y(10, 5), (std::vector<double>{41, 42, 43, 44, 45}));
  a_->replicates = nullptr;
}

TEST_F(Collect, SharedNamesPointAtTheWholeDataNames) {
  VLK_Data* whole = VLK_Data_new();
  for (const char* name : {"a", "b", "c", "d", "e"}) VLK_StrArray_add_copy(whole->names, name);
  a_->whole_data = whole;
  a_->share_names = 1;
  const unsigned short sel[3] = {4, 0, 2};
  vlk_test::CaptureErr err;
  collect_data(a_, sel);
  EXPECT_EQ(err.text(), "Collecting node names.\n");
  const VLK_StrArray* names = a_->nucleus_data->names;
  ASSERT_EQ(VLK_StrArray_size(names), 3u);
  EXPECT_EQ(VLK_StrArray_get(names, 0), VLK_StrArray_get(whole->names, 4));
  EXPECT_EQ(VLK_StrArray_get(names, 1), VLK_StrArray_get(whole->names, 0));
  EXPECT_EQ(VLK_StrArray_get(names, 2), VLK_StrArray_get(whole->names, 2));
  VLK_StrArray_set_size(a_->nucleus_data->names, 0);
  a_->whole_data = nullptr;
  VLK_Data_delete(whole);
}
