// Writing the final frequency network: the gathered graph over all genes, with its values per
// edge, as an annotated network (nodes in gene order, names and aliases of the data set, laid
// out on the circle) through the format registry.
//
// The destination is the file <prefix>.<format in lower case>, or VELK_ERR without a prefix.
// The file is replaced only by a whole network: a failed write leaves the previous file as it
// was and prints an ERROR line naming the file and the reason. A file that cannot be opened
// is reported the same way, with warnings, and the network goes to VELK_ERR instead; the
// writers then answer 1 (the run's result did not reach its file). 0 when the network was
// written where it belongs.
#pragma once

#include <cstdio>
#include <string>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"
#include "settings/args.h"

// "<prefix>.<format in lower case>".
std::string final_network_path(const char* prefix, const char* format);

// Start-up, on every process: with the final network switched on (--on), a format without a
// writer in the registry and an output mode other than 0 and 1 end the process with status 1,
// before any work.
void check_output_settings(const Args* args);
// Start-up, on process 0 before the data are read: the final network's file can be made (its
// folder exists and takes a new file, the name is not a folder); otherwise the run ends with
// an ERROR line naming the file and the reason.
void check_output_file(const Args* args);
// After the data are read, on process 0: the writer of -O can write every gene's name as its
// reader reads it back; otherwise the run ends with the writer's ERROR line before any work
// instead of at its end.
void check_output_names(const Args* args);

// Two values per edge k at 2k (frequency) and 2k + 1 (pair count): the edge properties
// "edgeScore" and "Freq" (the frequency, double) and "Count" (the pair count, int); every node
// gets "Count", half the sum of the counts of its edges.
int output_network4(const char* prefix, const char* format, VLK_KeyValues* options, VLK_Data* data,
                    VLK_PCGraph* graph, VLK_FloatArray* values);
// Three values per edge k at 3k (undirected frequency), 3k + 1 (share of the kept direction)
// and 3k + 2 (pair count): "edgeScore", "Freq", "Dir" (the share, double) and "Count"; node
// counts as above.
int output_network5(const char* prefix, const char* format, VLK_KeyValues* options, VLK_Data* data,
                    VLK_PCGraph* graph, VLK_FloatArray* values);
// One value per edge (the frequency, "edgeScore" and "Freq"). VLK3 without writer options is
// written by output_VLK3.
int output_network(const char* prefix, const char* format, VLK_KeyValues* options, VLK_Data* data,
                   VLK_PCGraph* graph, VLK_FloatArray* values);
// The simple VLK3 text of the one-value form: the genes (name, alias) and one line per edge
// "parent<TAB>child<TAB>frequency" by gene index. 0, or 1 when fp reports a failed write.
int output_VLK3(VLK_Data* data, VLK_PCGraph* graph, VLK_FloatArray* values, FILE* fp);
