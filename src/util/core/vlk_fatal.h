// The one way the library and the program end the process on an unrecoverable error: print
// the line to VELK_ERR (and to standard error when VELK_ERR is a log file or a null stream, so
// the user sees why the run ended), then leave.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace vlk {

// While MPI runs, every ending but `abort` ends every process (MPI_Abort on the world
// communicator with code 1): an error found by one process must not leave the others waiting
// in a collective call. Without MPI (or before MPI_Init, after MPI_Finalize) they exit with
// status 1.
enum class End {
  exit1,  // exit status 1, or MPI_Abort while MPI runs
  abort,  // abort(): checks of the caller's contract that must leave a core behind
};

[[noreturn]] void vdie(End how, const char* fmt, va_list ap);
[[noreturn]] void die(End how, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The usual ending: exit status 1, every process while MPI runs.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same through abort(), for the few checks whose failure is a bug worth a core.
[[noreturn]] void fatal_abort(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same ending as fatal, for the messages that belong on the process's standard error
// stream alone (never in the log file nor on a stream a network was being written to).
[[noreturn]] void fatal_stderr(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints an error line as the endings above do (VELK_ERR, and standard error when VELK_ERR is
// not standard error) without ending the process: for a failure the process reports and then
// still has to leave in step with the others (MPI_Finalize), with a non-zero status.
void report(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Implemented beside the other MPI calls; a no-op when MPI is not running (or not built).
void mpi_abort_if_running(int code);

}  // namespace vlk
