// The expression data of the run: read by process 0, handed to every process.
#pragma once

#include <cstdio>

#include "settings/args.h"

// Collective. Process 0 reads the input file (the EDF reader for the input type "edf" in any
// case, else the data matrix reader; for dynamic EDF data with both column ID rows also the
// replicate count of every time point, after sorting the samples by time point); then every
// process gets nodes, samples and the whole values (node-major), with shared names the whole
// data set itself, and for dynamic data the time points and replicate counts. Settings the
// data cannot carry are refused on every process together (input_check_sizes), and an error
// of the reader on process 0 ends every process. Adds to the single-part and communication
// times.
void input_data(Args* args);

// Refuses, with an "ERROR: " line and exit status 1, data no run can work on: none read (nodes
// < 0), no gene or no sample, more genes than 16-bit ids address, a module size above the gene
// count, fewer genes than processes, dynamic data without --Bnum or with fewer than two time
// points, and fewer samples in a nucleus than the score needs to weigh its parent limit q
// (2 x (q + 1) + 1; q is -M, or the larger m= of two-step hill climbing's second step).
// input_data calls it on every process as soon as the sizes have arrived.
void input_check_sizes(const Args* args);

// Process 0's look at the open input file (at its start, and left there) before a reader gets
// it. A directory is refused by name. With the input type "edf", a regular file whose first
// line (comments and blank lines aside) is a row of texts without any number is the header row
// of a delimited matrix, not EDF: it is refused with the --input-type and -I options that read
// it, instead of the reader's refusal of a value that is no number.
void input_check_file(const Args* args, FILE* fp);

// Releases what input_data made on this process: the whole data set, the whole values when
// they are a block of their own, the replicate counts.
void input_data_free(Args* args);

// An empty operation, kept for the form of the statistics dump: returns its argument.
void* input_nuc(void* p);
