// Small helpers of the main program: the time-stamped progress line, an int comparator and
// the send counts of a job list grouped by owner.
#pragma once

// "<label> at <ctime text>" on VELK_ERR, flushed.
void put_current_time(const char* label);
// Ascending order of ints for qsort.
int int_cmp(const int* a, const int* b);
// counts[p]: jobs[0 .. njobs-1] owned by process p in the job split (q, r); offsets: their
// exclusive prefix sums (send counts and displacements of the list grouped by owner).
void calc_proc_assign(const int* jobs, int njobs, int nprocs, int* counts, int* offsets, int q,
                      int r);
