#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vlk_fatal.h"
#include "vlk_output_file.h"
#include "vlk_test.h"

namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() {
    char name[] = "/tmp/vlk_output_file_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~Folder() { fs::remove_all(path_); }
  std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }
  size_t entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(path_), {}));
  }

 private:
  std::string path_;
};

void put(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

bool write_whole(const std::string& path, const std::string& text, std::string* why) {
  vlk::OutputFile out;
  if (!out.open(path)) return *why = out.error(), false;
  std::fputs(text.c_str(), out.stream());
  if (!out.commit()) return *why = out.error(), false;
  return true;
}

// The content replaces the target only at the commit; a link keeps pointing where it did, and
// the replaced file keeps its mode.
TEST(OutputFile, ReplacesTheTargetWholeAtTheCommit) {
  Folder dir;
  const std::string file = dir / "result.txt", link = dir / "link.txt";
  put(file, "old\n");
  chmod(file.c_str(), 0640);
  fs::create_symlink(file, link);

  vlk::OutputFile out;
  ASSERT_TRUE(out.open(link)) << out.error();
  std::fputs("new\n", out.stream());
  EXPECT_EQ(vlk_test::read_file(file), "old\n");  // not yet
  ASSERT_TRUE(out.commit()) << out.error();
  EXPECT_EQ(vlk_test::read_file(file), "new\n");
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.entries(), 2u);

  // Abandoned (or destroyed before the commit): the target stays, no temporary file remains.
  {
    vlk::OutputFile dropped;
    ASSERT_TRUE(dropped.open(file));
    std::fputs("lost\n", dropped.stream());
  }
  EXPECT_EQ(vlk_test::read_file(file), "new\n");
  EXPECT_EQ(dir.entries(), 2u);
}

TEST(OutputFile, RefusalsSayWhy) {
  Folder dir;
  fs::create_directory(dir / "sub");
  std::string why;
  EXPECT_FALSE(write_whole(dir / "sub", "x", &why));
  EXPECT_EQ(why, "it is a directory");
  EXPECT_FALSE(write_whole(dir / "none/file", "x", &why));
  EXPECT_EQ(why, "cannot create a file in " + (dir / "none") + ": No such file or directory");
  EXPECT_FALSE(write_whole("/dev/full", "x", &why));
  EXPECT_EQ(why, "cannot write it: No space left on device");
  EXPECT_TRUE(write_whole("/dev/null", "x", &why)) << why;

  EXPECT_FALSE(vlk::output_file_possible(dir / "sub", &why));
  EXPECT_FALSE(vlk::output_file_possible(dir / "none/file", &why));
  EXPECT_TRUE(vlk::output_file_possible(dir / "new.txt", &why)) << why;
  // A pipe is written in place; asking about it must not wait for a reader.
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_TRUE(vlk::output_file_possible(dir / "pipe", &why)) << why;
  EXPECT_EQ(dir.entries(), 2u);  // sub and pipe: the probes leave nothing
}

// A process that ends through the fatal path while the content is half-written (a writer
// refusing what it was given, say) leaves the previous target and no temporary file; a
// committed file and one abandoned before are not touched by it.
TEST(OutputFile, AFatalEndRemovesTheTemporaryFile) {
  Folder dir;
  const std::string file = dir / "result.txt";
  put(file, "old\n");
  const vlk_test::Ending end = vlk_test::run_fatal([&] {
    std::string why;
    if (!write_whole(dir / "other.txt", "kept\n", &why)) return;
    vlk::OutputFile out;
    if (!out.open(file)) return;
    std::fputs("half\n", out.stream());
    std::fflush(out.stream());
    vlk::fatal("ERROR: the writer refused it\n");
  });
  EXPECT_TRUE(end.exit1()) << end.status;
  EXPECT_EQ(end.err, "ERROR: the writer refused it\n");
  EXPECT_EQ(vlk_test::read_file(file), "old\n");
  EXPECT_EQ(vlk_test::read_file(dir / "other.txt"), "kept\n");
  EXPECT_EQ(dir.entries(), 2u);
}

// What a killed process leaves beside a target, or beside the file a link points to, goes;
// other hidden files and the temporaries of other targets stay.
TEST(OutputFile, StaleTemporariesAreRemoved) {
  Folder dir;
  fs::create_directory(dir / "real");
  put(dir / "real/result.txt", "old\n");
  fs::create_symlink(dir / "real/result.txt", dir / "link.txt");
  const std::vector<std::string> stale = {
      dir / ".result.txt.a1B2c3", dir / "real/.result.txt.ZZ9zz9", dir / ".link.txt.000000"};
  const std::vector<std::string> kept = {dir / ".result.txt.abc", dir / ".result.txt.abcdefg",
                                         dir / ".other.txt.a1B2c3", dir / ".result.txt.a-b_c.",
                                         dir / "result.txt.a1B2c3"};
  for (const auto& f : stale) put(f, "x");
  for (const auto& f : kept) put(f, "x");

  std::vector<std::string> removed = vlk::remove_stale_temporaries(dir / "result.txt");
  EXPECT_EQ(removed, std::vector<std::string>{dir / ".result.txt.a1B2c3"});
  removed = vlk::remove_stale_temporaries(dir / "link.txt");
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed,
            (std::vector<std::string>{dir / ".link.txt.000000", dir / "real/.result.txt.ZZ9zz9"}));
  for (const auto& f : stale) EXPECT_FALSE(fs::exists(f)) << f;
  for (const auto& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
  EXPECT_TRUE(vlk::remove_stale_temporaries(dir / "none/result.txt").empty());
}

}  // namespace
