// The one way the library ends the process on an unrecoverable error: print the line to
// VELK_ERR, then leave as the caller's contract says.
#pragma once

#include <cstdarg>

namespace vlk {

// While MPI runs, exit1 and mpi_abort both end every process (MPI_Abort on the world
// communicator with code 1): an error found by one process must not leave the others waiting in
// a collective call. Without MPI (or before MPI_Init, after MPI_Finalize) they exit with status 1.
enum class End {
  exit1,      // exit status 1
  abort,      // abort(): checks that must leave a core behind
  mpi_abort,  // the same as exit1; names the callers inside the MPI phases
};

[[noreturn]] void vdie(End how, const char* fmt, va_list ap);
[[noreturn]] void die(End how, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Shorthands for the three endings.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void fatal_abort(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void fatal_mpi(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Implemented beside the other MPI calls; a no-op when MPI is not running (or not built).
void mpi_abort_if_running(int code);

}  // namespace vlk
