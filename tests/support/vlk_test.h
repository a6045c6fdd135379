// Helpers shared by the tests: capturing VELK_ERR and checking the fatal paths.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace vlk_test {

// Points VELK_ERR at a temporary file for the lifetime of the object.
class CaptureErr {
 public:
  CaptureErr();
  ~CaptureErr();
  CaptureErr(const CaptureErr&) = delete;
  CaptureErr& operator=(const CaptureErr&) = delete;
  std::string text();  // everything written so far

 private:
  FILE* file_;
  FILE* saved_;
};

// How a child process ended, and what it wrote to VELK_ERR and to its standard error stream.
struct Ending {
  bool exited = false;  // normal exit (status below), else killed by `signal`
  int status = 0;
  int signal = 0;
  std::string err;
  std::string stderr_text;
  bool exit1() const { return exited && status == 1; }
  bool aborted() const;
};

// OpenMP's default team size set to n for the lifetime of the object.
class Threads {
 public:
  explicit Threads(int n);
  ~Threads();
  Threads(const Threads&) = delete;
  Threads& operator=(const Threads&) = delete;

 private:
  int saved_;
};

// Runs fn in a forked child with VELK_ERR pointed at a file and standard error at another;
// the child exits 0 if fn returns.
Ending run_fatal(const std::function<void()>& fn);

// Reads a whole stream written through a callback (open_memstream).
std::string capture(const std::function<void(FILE*)>& fn);

// A temporary file holding `content`; removed on destruction.
class TempFile {
 public:
  explicit TempFile(const std::string& content, const std::string& suffix = "");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);

// How many times `part` stands in `text` (overlapping ones counted).
size_t count(const std::string& text, const std::string& part);

// A word for sh: in single quotes, quotes inside it escaped.
std::string quoted(const std::string& s);

// How a shell command ended.
struct Shelled {
  int status = -1;  // its exit status; -1 when it did not exit (killed)
  std::string out;  // its standard output and error together
  double seconds = 0;
};
// Runs a command under sh, at most `limit` seconds.
Shelled shell(const std::string& command, int limit = 100);

}  // namespace vlk_test

// "this call prints exactly this text to VELK_ERR and exits with status 1"
#define EXPECT_FATAL_EXIT(stmt, text)                                           \
  do {                                                                          \
    const auto vlk_end_ = vlk_test::run_fatal([&] { stmt; });                   \
    EXPECT_TRUE(vlk_end_.exit1()) << "status " << vlk_end_.status << " signal " \
                                  << vlk_end_.signal;                           \
    EXPECT_EQ(vlk_end_.err, text);                                              \
  } while (0)

// "this call prints exactly this text to VELK_ERR and aborts"
#define EXPECT_FATAL_ABORT(stmt, text)                               \
  do {                                                               \
    const auto vlk_end_ = vlk_test::run_fatal([&] { stmt; });        \
    EXPECT_TRUE(vlk_end_.aborted()) << "status " << vlk_end_.status; \
    EXPECT_EQ(vlk_end_.err, text);                                   \
  } while (0)
