#include "vlk_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

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

// A new temporary file beside `target`; -1 with errno set when the folder takes none.
int make_temp(const std::string& target, std::string* temp) {
  std::string name = folder_of(target) + "/.";
  const size_t slash = target.rfind('/');
  name += slash == std::string::npos ? target : target.substr(slash + 1);
  name += ".XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd >= 0) *temp = name;
  return fd;
}

}  // namespace

OutputFile::~OutputFile() { abandon(); }

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
  return true;
}

void OutputFile::abandon() {
  if (fp_ != nullptr) std::fclose(fp_);
  fp_ = nullptr;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
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

}  // namespace vlk
