// The output prefix of a run (-o) names its result and its logs, so it belongs to one running
// job at a time: process 0 holds an advisory lock (flock) on the file PREFIX.log for the whole
// run. Under --log 0 that file is process 0's log, and the lock lasts as long as the log's
// stream; under the other log modes it is made for the lock (when missing) and removed again
// when the prefix is given up, or when the process ends through the fatal path. The lock goes
// with the process that holds it, so a killed job never blocks the next one; the empty file
// it may leave goes when the next run on the prefix gives it up.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "vlk_fatal.h"

class PrefixLock {
 public:
  PrefixLock() = default;
  ~PrefixLock();  // release()
  PrefixLock(const PrefixLock&) = delete;
  PrefixLock& operator=(const PrefixLock&) = delete;

  enum class Taken { yes, held, failed };
  // Takes the lock of `prefix`, making PREFIX.log when it is missing. held: another process
  // holds it; failed: the file cannot be made or opened, the reason in *why. Nothing of the file
  // changes when the lock is not taken.
  Taken take(const std::string& prefix, std::string* why);
  // The locked file, emptied, as a stream for the log: the lock then lasts until that stream is
  // closed, and the file stays. Null with errno set when it cannot be had.
  FILE* log_stream();
  // Gives the prefix up (a no-op after log_stream): the file goes when it is empty, a lock's file
  // and no log.
  void release();
  const std::string& path() const { return path_; }

 private:
  static void undo(void* self);

  int fd_ = -1;
  std::string path_;
  std::optional<vlk::UndoOnFatal> undo_;  // while fd_ is held
};
