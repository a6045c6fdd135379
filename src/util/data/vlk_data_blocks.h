// The value blocks of a data set, shared by the files of the data layer: how one is made, how a
// data set lets go of its blocks, and the fatal out-of-memory check of its other members.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "VLK_Data.h"
#include "vlk_fatal.h"

namespace vlk::data {

// A count field of the record (an int) as a size; negative counts as 0.
inline size_t count_of(int v) { return static_cast<size_t>(std::max(v, 0)); }

// A block of `count` doubles with an address of its own even when empty, so X and a separate Y
// stay told apart; null when it cannot be had.
inline double* try_block(size_t count) {
  if (count > SIZE_MAX / sizeof(double)) return nullptr;
  return static_cast<double*>(std::malloc(std::max<size_t>(count, 1) * sizeof(double)));
}

// try_block, or the end of the process: a data set without its values has nothing to go on with.
inline double* new_block(size_t count) {
  double* block = try_block(count);
  if (block == nullptr) fatal("ERROR: VLK_Data: memory allocation failure (%zu values).\n", count);
  return block;
}

// Frees X and a separate Y and leaves both null.
inline void free_values(VLK_Data* d) {
  if (d->Y != d->X) std::free(d->Y);
  std::free(d->X);
  d->X = nullptr;
  d->Y = nullptr;
}

// p, or the end of the process when a member of a data set could not be allocated.
template <class T>
T* check_alloc(T* p) {
  if (p == nullptr) fatal("ERROR: VLK_Data: memory allocation failure.\n");
  return p;
}

}  // namespace vlk::data
