#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace
