// A file written whole or not at all: the content goes to a temporary file beside the target,
// which replaces the target only once every write and the close have succeeded, so a failed
// run leaves the previous file as it was. A target that is not a regular file (a device, a
// pipe) cannot be replaced that way and is written in place, every write still checked.
//
// The temporary file goes on every road that does not commit it: abandoned, destroyed, or the
// process ending through vlk::fatal while it is open. Only a process killed outright leaves it;
// remove_stale_temporaries clears such leftovers.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "vlk_fatal.h"

namespace vlk {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // abandons what was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the stream for the new content of `path`; false with the reason in error().
  bool open(const std::string& path);
  FILE* stream() const { return fp_; }
  // Checks the stream, closes it and puts the content in place; false with the reason in
  // error(), the temporary file removed and the target untouched.
  bool commit();
  // Removes the temporary file without touching the target.
  void abandon();
  const std::string& error() const { return error_; }
  const std::string& target() const { return target_; }

 private:
  bool fail(const std::string& what, int err);
  static void remove_temp(void* self);

  FILE* fp_ = nullptr;
  std::string target_;  // the file that receives the content (a link's destination)
  std::string temp_;    // empty when writing in place
  std::string error_;
  std::optional<UndoOnFatal> undo_;  // while temp_ exists
};

// Whether `path` could receive an OutputFile: its folder exists and takes a new file, and the
// path is not a folder. False with the reason in *why. Nothing is left behind.
bool output_file_possible(const std::string& path, std::string* why);

// Removes the temporary files that an OutputFile for `path` leaves beside it (or beside the
// file a link at `path` points to) when its process is killed before the commit. Only for a
// caller that knows no other process writes `path` now. The names removed, in no fixed order.
std::vector<std::string> remove_stale_temporaries(const std::string& path);

}  // namespace vlk
