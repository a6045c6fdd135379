// The collectives that turn the edge statistics into a network of frequent edges: the walk
// network rebuilt on every process (exchange_network) and the forms gathered at process 0 for
// the evaluation and the final output (send_network2/3/4/5). The rules of each form are in
// network_forms.h, the wire formats in edge_records.h.
//
// Every function here is collective over MPI_COMM_WORLD unless it says otherwise: every
// process calls it at the same point with the same threshold. A buffer that cannot be had, or
// a transfer larger than an MPI count can say, ends every process through MPI_Abort with a
// message.
#pragma once

#include "settings/args.h"

// The frequent-edge network: every pair w < v whose pair count reaches -c (compared as floats)
// contributes the directions its frequency keeps at threshold th (network_forms.h has the
// rules of each form). Edge index k of a rebuilt graph owns values k * stride .. + stride - 1.

// Rebuilds the walk network (whole_network) and its frequencies (edge_values, one per edge)
// on every process. The frequency is a float quotient compared with the double th.
void exchange_network(Args* args, double th);
// Gather the network at process 0 into gathered_network and gathered_values; the walk network
// and its values are left as they are on every process. Thresholds are compared in single
// precision. Values per edge: send_network3 the frequency; send_network4 the frequency and the
// pair count; send_network5 one edge per pair in the majority direction (v -> w on a tie) with
// the undirected frequency (f + b) / pc, the share of the kept direction and the pair count
// (a pair never seen as an edge is skipped, also at th <= 0). send_network4 runs in section 4
// of the run's section timer.
void send_network3(Args* args, float th);
void send_network4(Args* args, float th);
void send_network5(Args* args, float th);
// send_network3's network, sent to process 0 by point-to-point messages instead of a gather.
void send_network2(Args* args, float th);
// Collects this process's kept edges (f / pc >= th in double precision) as (parent, child)
// pairs in the send id array, reports their number and ends the process with abort: an
// unfinished form kept for its collection rule. Not collective.
[[noreturn]] void send_network(Args* args, float th);
