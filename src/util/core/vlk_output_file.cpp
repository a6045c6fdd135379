#include "vlk_output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace vlk {

namespace {

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the content really goes: a symbolic link keeps pointing where it did.
std::string resolved(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  return path;
}

// The mode a new file would get from fopen, or the mode of the file being replaced.
mode_t mode_for(const struct stat* existing) {
  if (existing != nullptr) return existing->st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

std::string leaf_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary files of `target` are "." + its name + "." + six letters or digits.
constexpr size_t kTempSuffix = 6;

std::string temp_stem(const std::string& target) { return "." + leaf_of(target) + "."; }

bool is_temp_of(std::string_view name, const std::string& stem) {
  if (name.size() != stem.size() + kTempSuffix || !name.starts_with(stem)) return false;
  const std::string_view suffix = name.substr(stem.size());
  return std::all_of(suffix.begin(), suffix.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

// A new temporary file beside `target`; -1 with errno set when the folder takes none.
int make_temp(const std::string& target, std::string* temp) {
  std::string name = folder_of(target) + "/" + temp_stem(target) + std::string(kTempSuffix, 'X');
  const int fd = mkstemp(name.data());
  if (fd >= 0) *temp = name;
  return fd;
}

}  // namespace

OutputFile::~OutputFile() { abandon(); }

// The process is ending before a commit: nothing of the content may stay behind.
void OutputFile::remove_temp(void* self) {
  const auto* out = static_cast<const OutputFile*>(self);
  if (!out->temp_.empty()) unlink(out->temp_.c_str());
}

bool OutputFile::fail(const std::string& what, int err) {
  error_ = err != 0 ? what + ": " + std::strerror(err) : what;
  abandon();
  return false;
}

bool OutputFile::open(const std::string& path) {
  abandon();
  error_.clear();
  struct stat st;
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return fail("it is a directory", 0);
  target_ = exists ? resolved(path) : path;
  if (exists && !S_ISREG(st.st_mode)) {
    fp_ = std::fopen(target_.c_str(), "w");
    if (fp_ == nullptr) return fail("cannot open it", errno);
    return true;
  }
  const int fd = make_temp(target_, &temp_);
  if (fd < 0) return fail("cannot create a file in " + folder_of(target_), errno);
  undo_.emplace(&OutputFile::remove_temp, this);
  if (fchmod(fd, mode_for(exists ? &st : nullptr)) != 0 || (fp_ = fdopen(fd, "w")) == nullptr) {
    const int err = errno;
    close(fd);
    return fail("cannot create a file in " + folder_of(target_), err);
  }
  return true;
}

bool OutputFile::commit() {
  if (fp_ == nullptr) return fail("nothing was opened", EBADF);
  // A write already failed: its errno is the reason, if nothing has replaced it since.
  if (std::ferror(fp_)) return fail("cannot write it", errno != 0 ? errno : EIO);
  errno = 0;
  const bool flushed = std::fflush(fp_) == 0 && !std::ferror(fp_);
  int err = errno != 0 ? errno : EIO;
  // The data must be on the disk before the rename makes it the result.
  const bool synced = flushed && (temp_.empty() || fsync(fileno(fp_)) == 0);
  if (flushed && !synced) err = errno;
  const int closed = std::fclose(fp_);
  if (flushed && synced && closed != 0) err = errno;
  fp_ = nullptr;
  if (!flushed || !synced || closed != 0) return fail("cannot write it", err);
  if (!temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0)
    return fail("cannot put it in place", errno);
  temp_.clear();
  undo_.reset();
  return true;
}

void OutputFile::abandon() {
  if (fp_ != nullptr) std::fclose(fp_);
  fp_ = nullptr;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  undo_.reset();
}

bool output_file_possible(const std::string& path, std::string* why) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
    // A device or a pipe is written in place; opening a pipe here would wait for its reader.
    if (access(path.c_str(), W_OK) == 0) return true;
    *why = std::string("cannot write to it: ") + std::strerror(errno);
    return false;
  }
  OutputFile probe;
  if (!probe.open(path)) {
    *why = probe.error();
    return false;
  }
  return true;  // the probe's temporary file goes with it
}

std::vector<std::string> remove_stale_temporaries(const std::string& path) {
  std::vector<std::string> targets = {path};
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) targets.push_back(resolved(path));
  std::vector<std::string> removed;
  for (const std::string& target : targets) {
    const std::string folder = folder_of(target), stem = temp_stem(target);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) continue;
    while (const dirent* entry = readdir(dir)) {
      if (!is_temp_of(entry->d_name, stem)) continue;
      const std::string name = folder + "/" + entry->d_name;
      if (lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(name.c_str()) == 0)
        removed.push_back(name);
    }
    closedir(dir);
  }
  return removed;
}

}  // namespace vlk
