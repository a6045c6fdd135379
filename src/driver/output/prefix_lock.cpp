#include "output/prefix_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Whether fd is still the file at path: a run giving the prefix up removes the file, and a
// lock taken on the removed one would hold nothing.
bool still_at(int fd, const std::string& path) {
  struct stat held, now;
  return fstat(fd, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
         held.st_ino == now.st_ino;
}

}  // namespace

PrefixLock::~PrefixLock() { release(); }

PrefixLock::Taken PrefixLock::take(const std::string& prefix, std::string* why) {
  release();
  path_ = prefix + ".log";
  // A few tries: each one that fails this way lost a race with a run removing the file.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      *why = std::strerror(errno);
      return Taken::failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      close(fd);
      if (err == EWOULDBLOCK) return Taken::held;
      *why = std::strerror(err);
      return Taken::failed;
    }
    if (still_at(fd, path_)) {
      fd_ = fd;
      undo_.emplace(&PrefixLock::undo, this);
      return Taken::yes;
    }
    close(fd);
  }
  *why = "it is removed and made again all the time";
  return Taken::failed;
}

FILE* PrefixLock::log_stream() {
  if (fd_ < 0) {
    errno = EBADF;
    return nullptr;
  }
  if (ftruncate(fd_, 0) != 0) return nullptr;
  FILE* fp = fdopen(fd_, "w");
  if (fp == nullptr) return nullptr;
  // The stream holds the descriptor, and with it the lock; the file is the log and stays.
  fd_ = -1;
  undo_.reset();
  return fp;
}

void PrefixLock::undo(void* self) { static_cast<PrefixLock*>(self)->release(); }

void PrefixLock::release() {
  if (fd_ < 0) return;
  struct stat st;
  // Removed while still held, so that no other run can take the file in between.
  if (fstat(fd_, &st) == 0 && st.st_size == 0 && still_at(fd_, path_)) unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  undo_.reset();
}
