#include "velkcom.h"

// Standard error from the start, so that a program using the library without VLK_init still
// gets its messages.
FILE* VELK_ERR = stderr;
int velk_warning_level = 0;
int velk_debug_level = 0;

void VLK_init() {
  VELK_ERR = stderr;
  velk_warning_level = 1;
  velk_debug_level = 0;
}

void VLK_set_warning_level(int level) { velk_warning_level = level; }

int VLK_get_warning_level() { return velk_warning_level; }

int VLK_set_debug_level(int level) {
  const int previous = velk_debug_level;
  velk_debug_level = level;
  return previous;
}

void VLK_print_flags(FILE* fp) {
  std::fputs("  Compile time flags:", fp);
#ifdef USE_MPI
  std::fputs(" USE_MPI", fp);
#endif
#ifdef _OPENMP
  std::fputs(" _OPENMP", fp);
#endif
#ifdef USE_BNRC_FIXED_DEGREE
  std::fputs(" USE_BNRC_FIXED_DEGREE", fp);
#endif
#ifdef USE_PLATFORM_RNG
  std::fputs(" USE_PLATFORM_RNG", fp);
#endif
  std::fputs("\n", fp);
}
