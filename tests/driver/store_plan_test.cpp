// The score store's plan before any process shares it: how many parent-set slots a run gets,
// what of the budget the score keeps from the store, and the reservation of the node's file.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "VLK_BNRC.h"
#include "VLK_ScoreStore.h"
#include "method/score_store.h"
#include "settings/args.h"

namespace {

namespace fs = std::filesystem;
using vlk::store::kFewestSetSlots;
using vlk::store::kSetSlots;

TEST(StorePlan, SetSlotsFollowTheGenesWithinTheirBounds) {
  struct Case {
    int genes;
    std::size_t slots;
  };
  for (const Case& c : {Case{1, kFewestSetSlots}, Case{32, kFewestSetSlots}, Case{40, 8192},
                        Case{500, std::size_t{1} << 20}, Case{1024, kSetSlots},
                        Case{12625, kSetSlots}, Case{65534, kSetSlots}})
    EXPECT_EQ(vlk::store::set_slots_wanted(c.genes), c.slots) << c.genes;

  const std::uint64_t slot = sizeof(VLK_ScoreSetSlot);
  const std::size_t wanted = std::size_t{1} << 20;
  EXPECT_EQ(vlk::store::set_slots_fitting(wanted, wanted * slot), wanted);
  EXPECT_EQ(vlk::store::set_slots_fitting(wanted, wanted * slot - 1), wanted / 2);
  EXPECT_EQ(vlk::store::set_slots_fitting(wanted, kFewestSetSlots * slot), kFewestSetSlots);
  EXPECT_EQ(vlk::store::set_slots_fitting(wanted, kFewestSetSlots * slot - 1), 0u);
  EXPECT_EQ(vlk::store::set_slots_fitting(wanted, 0), 0u);
}

// What the score keeps from the store: a nucleus's state where nuclei build one beside it,
// and the whole-data 1-to-1 table's state at its lowest level.
TEST(StorePlan, TheScoreKeepsWhatItNeedsBesideTheStore) {
  Args* a = Args_new_rank(0, 1);
  a->nodes = 300;
  a->samples = 50;
  a->module_size = 100;
  a->nucleus_data->n = 50;
  a->oto_interval = kNeverInterval;
  const auto plan = [&](int p, int n, int max_parents, int level) {
    VLK_ScoreArgs sa = *a->score_args;
    sa.max_memory = a->memory;
    sa.max_parents = max_parents;
    VLK_KeyValues* options = VLK_KeyValues_new();
    VLK_KeyValues_put_int(options, "level", level);
    sa.options = options;
    const std::uint64_t bytes = VLK_BNRC_plan(&sa, p, n).bytes;
    VLK_KeyValues_delete(options);
    return bytes;
  };
  const std::uint64_t whole_lowest = plan(300, 50, 1, 1);
  ASSERT_LT(whole_lowest, plan(300, 50, 1, 3));

  // One parent: every pair is stored by the whole-data table before the first nucleus.
  a->algo_args->max_parents = 1;
  EXPECT_EQ(vlk::store::score_tables_bytes(a), whole_lowest);
  // Three parents: the nucleus's state at its level as well; it is the larger here.
  a->algo_args->max_parents = 3;
  const std::uint64_t nucleus = plan(100, 50, 3, 3);
  EXPECT_EQ(vlk::store::score_tables_bytes(a), std::max(nucleus, whole_lowest));
  // No whole-data table: the nuclei store the pairs themselves, each with its state.
  a->oto_interval = -1;
  a->algo_args->max_parents = 1;
  EXPECT_EQ(vlk::store::score_tables_bytes(a), plan(100, 50, 1, 3));
  Args_delete(a);
}

// A folder of its own, removed afterwards.
struct Folder {
  std::string path;
  Folder() {
    char pattern[] = "/tmp/vlk_store_plan_XXXXXX";
    path = mkdtemp(pattern) != nullptr ? pattern : "";
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  bool empty() const { return fs::is_empty(path); }
};

TEST(StoreFile, ReservedWholeAndSharedByItsMappings) {
  Folder dir;
  const std::uint64_t bytes = vlk::store::block_bytes(50, kFewestSetSlots);
  vlk::store::Reserved own = vlk::store::reserve_file(dir.path, bytes);
  ASSERT_NE(own.base, nullptr) << own.why;
  EXPECT_EQ(fs::file_size(own.path), bytes);
  EXPECT_EQ(fs::path(own.path).parent_path(), fs::path(dir.path));
  // Every block is there already, not only the size.
  struct stat st;
  ASSERT_EQ(stat(own.path.c_str(), &st), 0);
  EXPECT_GE(static_cast<std::uint64_t>(st.st_blocks) * 512, bytes);

  vlk::store::Reserved other = vlk::store::map_file(own.path, bytes);
  ASSERT_NE(other.base, nullptr) << other.why;
  static_cast<unsigned char*>(own.base)[bytes - 1] = 7;
  EXPECT_EQ(static_cast<unsigned char*>(other.base)[bytes - 1], 7);

  // A file shorter than the block is not taken for it.
  EXPECT_EQ(vlk::store::map_file(own.path, bytes + 1).base, nullptr);
  for (vlk::store::Reserved* r : {&own, &other}) {
    munmap(r->base, bytes);
    close(r->fd);
  }
}

TEST(StoreFile, AFailedReservationSaysWhyAndLeavesNothing) {
  Folder dir;
  const vlk::store::Reserved missing = vlk::store::reserve_file(dir.path + "/none", 4096);
  EXPECT_EQ(missing.base, nullptr);
  EXPECT_EQ(missing.why, "cannot create a file there: No such file or directory");
  const vlk::store::Reserved gone = vlk::store::map_file(dir.path + "/gone", 4096);
  EXPECT_EQ(gone.base, nullptr);
  EXPECT_EQ(gone.why, "cannot open it: No such file or directory");
  EXPECT_TRUE(dir.empty());
}

TEST(StoreFile, TheDirectoryIsOpenMpisWhenItNamesOne) {
  Folder dir;
  const char* saved = std::getenv("OMPI_MCA_osc_sm_backing_directory");
  const std::string before = saved != nullptr ? saved : "";
  setenv("OMPI_MCA_osc_sm_backing_directory", dir.path.c_str(), 1);
  EXPECT_EQ(vlk::store::backing_directory(), dir.path);
  // A name that is no directory is passed over.
  setenv("OMPI_MCA_osc_sm_backing_directory", (dir.path + "/none").c_str(), 1);
  EXPECT_NE(vlk::store::backing_directory(), dir.path + "/none");
  if (saved != nullptr)
    setenv("OMPI_MCA_osc_sm_backing_directory", before.c_str(), 1);
  else
    unsetenv("OMPI_MCA_osc_sm_backing_directory");
}

}  // namespace
