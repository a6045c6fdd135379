// The one way the library and the program end the process on an unrecoverable error: print
// the line to VELK_ERR (and to standard error when VELK_ERR is a log file or a null stream, so
// the user sees why the run ended), then leave.
//
// How a run under MPI leaves depends on who else finds the error, its reach:
// - an error one process finds alone (a failed write on the root, a fault inside one nucleus)
//   must not leave the others waiting in their next collective call: the line, naming the
//   process when there are several, then MPI_Abort on the world communicator;
// - an error every process finds in the same way (the command line, the settings, the files
//   every process checks at start-up, the data's size after the broadcast) is printed once, by
//   process 0, and every process leaves together through MPI_Finalize with status 1, without
//   the abort's banner.
// Library code cannot know which it is: vlk::fatal takes the reach of the innermost
// EveryProcessAlike scope of the caller, one process outside any.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace vlk {

enum class End {
  exit1,  // exit status 1, leaving as the reach says while MPI runs
  abort,  // abort(): checks of the caller's contract that must leave a core behind
};

enum class Reach {
  one_process,    // found by this process alone: MPI_Abort
  every_process,  // found alike by every process: printed once, MPI_Finalize, status 1
};

// While one lives, an error is one that every process meets alike, at the same step. A
// process that meets an error the others learn of only from it (process 0 reading the data)
// names the step that tells them (`before_leaving`: a broadcast the others wait in); it runs
// before the process leaves. A process that meets an error the others do not, although the
// scope said they would, ends the run alone after a grace period instead of waiting forever.
class EveryProcessAlike {
 public:
  explicit EveryProcessAlike(void (*before_leaving)() = nullptr);
  ~EveryProcessAlike();
  EveryProcessAlike(const EveryProcessAlike&) = delete;
  EveryProcessAlike& operator=(const EveryProcessAlike&) = delete;

 private:
  EveryProcessAlike* outer_;
  void (*before_leaving_)();
  friend Reach current_reach();
  friend void run_before_leaving();
};

Reach current_reach();

// Work undone on every failing road: a hidden temporary file, say. Registered while it lives;
// run, innermost first, before the process leaves through any ending of this file.
class UndoOnFatal {
 public:
  UndoOnFatal(void (*undo)(void*), void* arg);
  ~UndoOnFatal();
  UndoOnFatal(const UndoOnFatal&) = delete;
  UndoOnFatal& operator=(const UndoOnFatal&) = delete;

 private:
  UndoOnFatal* outer_;
  void (*undo_)(void*);
  void* arg_;
  friend void run_undo();
};

[[noreturn]] void vdie(End how, Reach reach, const char* fmt, va_list ap);

// The usual ending, with the caller's reach.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The two reaches named: for code that knows who else meets its error.
[[noreturn]] void fatal_one_process(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void fatal_every_process(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Through abort(), for the few checks whose failure is a bug worth a core.
[[noreturn]] void fatal_abort(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same ending as fatal, for the messages that belong on the process's standard error
// stream alone (never in the log file nor on a stream a network was being written to).
[[noreturn]] void fatal_stderr(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints an error line as the endings above do (VELK_ERR, and standard error when VELK_ERR is
// not standard error) without ending the process: for a failure the process reports and then
// still has to leave in step with the others (MPI_Finalize), with a non-zero status.
void report(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// What the endings need of MPI, beside the other MPI calls; without MPI (not built, not yet
// started or already ended) they do nothing and report one process.
struct MpiPlace {
  bool running;
  int rank;
  int processes;
};
MpiPlace mpi_place();
void mpi_abort_if_running(int code);
// Every process of the run calls this right after MPI_Init: the endings of every process meet
// on a communicator of their own, which no other call of the run can match by mistake.
void mpi_endings_init();
// Waits for every process to leave together; true when they all came within the grace period
// (MPI is finalized then), false when some process did not come.
bool mpi_leave_together();

}  // namespace vlk
