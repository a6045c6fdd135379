#include "vlk_test.h"

#include <omp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "velkcom.h"

namespace {
// Test programs start with the diagnostic stream and levels as the program sets them, so a
// library message outside a capture goes to standard error instead of a null stream.
const bool runtime_ready = (VLK_init(), true);
}  // namespace

namespace vlk_test {

Threads::Threads(int n) : saved_(omp_get_max_threads()) { omp_set_num_threads(n); }
Threads::~Threads() { omp_set_num_threads(saved_); }

CaptureErr::CaptureErr() : file_(std::tmpfile()), saved_(VELK_ERR) { VELK_ERR = file_; }

CaptureErr::~CaptureErr() {
  VELK_ERR = saved_;
  std::fclose(file_);
}

std::string CaptureErr::text() {
  std::fflush(file_);
  const long end = std::ftell(file_);
  std::string out(static_cast<size_t>(end), '\0');
  std::rewind(file_);
  if (end > 0 && std::fread(out.data(), 1, out.size(), file_) != out.size()) out.clear();
  std::fseek(file_, 0, SEEK_END);
  return out;
}

bool Ending::aborted() const { return !exited && signal == SIGABRT; }

Ending run_fatal(const std::function<void()>& fn) {
  char path[] = "/tmp/vlk_fatal_XXXXXX";
  char err_path[] = "/tmp/vlk_fatal_stderr_XXXXXX";
  const int fd = mkstemp(path);
  Ending end;
  if (fd < 0) return end;
  const int err_fd = mkstemp(err_path);
  if (err_fd < 0) {
    close(fd);
    unlink(path);
    return end;
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err_fd, STDERR_FILENO);
    VELK_ERR = fdopen(fd, "w");
    fn();
    std::fflush(VELK_ERR);
    _exit(0);
  }
  close(fd);
  close(err_fd);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  end.exited = WIFEXITED(wstatus);
  end.status = end.exited ? WEXITSTATUS(wstatus) : 0;
  end.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  end.err = read_file(path);
  end.stderr_text = read_file(err_path);
  unlink(path);
  unlink(err_path);
  return end;
}

std::string capture(const std::function<void(FILE*)>& fn) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* fp = open_memstream(&buf, &len);
  fn(fp);
  std::fclose(fp);
  std::string out(buf, len);
  std::free(buf);
  return out;
}

TempFile::TempFile(const std::string& content, const std::string& suffix) {
  std::string pattern = "/tmp/vlk_test_XXXXXX" + suffix;
  const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd >= 0) {
    if (!content.empty() && write(fd, content.data(), content.size()) < 0) path_.clear();
    close(fd);
  }
  path_ = pattern;
}

TempFile::~TempFile() { unlink(path_.c_str()); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

Shelled shell(const std::string& command, int limit) {
  const std::string line =
      "timeout " + std::to_string(limit) + " sh -c " + quoted(command) + " 2>&1";
  const auto start = std::chrono::steady_clock::now();
  Shelled e;
  FILE* p = popen(line.c_str(), "r");
  if (p == nullptr) return e;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) e.out.append(buf, n);
  const int w = pclose(p);
  e.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return e;
}

}  // namespace vlk_test

// Under the sanitizer build, the tests of failed growth ask for impossible sizes and expect a
// null result rather than a sanitizer report.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
