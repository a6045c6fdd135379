// The format registry: every network file format is reached by its name through IO_list.
// Callers name a format ("VLK3", "PALIST", the value of -O) and the registry finds the row and
// calls the operation; it knows nothing of any format's contents. Names are compared without
// regard to case and the first matching row wins; a format is never guessed from a file name or
// its content. The expression-data readers are not formats of this registry.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "VLK_Graph.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"

// A new network read from the stream, owned by the caller; null when the input is broken.
using IO_read_fp_fn = VLK_Network* (*)(FILE* fp, const VLK_KeyValues* options);
using IO_read_file_fn = VLK_Network* (*)(const char* path, const VLK_KeyValues* options);
// 0 when written; non-zero when the stream or the file reported an error.
using IO_write_fp_fn = int (*)(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
using IO_write_file_fn = int (*)(const char* path, const VLK_Network* net,
                                 const VLK_KeyValues* options);
using IO_write_graph_fp_fn = int (*)(FILE* fp, const VLK_Graph* g, const VLK_KeyValues* options);

// One row; an operation the format lacks is null.
struct VLK_IOFormat {
  const char* name;
  IO_read_fp_fn read_fp;
  IO_read_file_fn read_file;
  IO_write_fp_fn write_fp;
  IO_write_file_fn write_file;
  IO_write_graph_fp_fn write_graph_fp;
};

// 13 formats in a fixed order, then a row whose name is null. Rows of formats not built yet
// hold null operations, so the registry answers for them as for a name it does not know.
inline constexpr size_t IO_LIST_FORMATS = 13;
extern const VLK_IOFormat IO_list[IO_LIST_FORMATS + 1];

// A new network read with the format's stream reader from path (null: standard input, which is
// not closed). A name without a stream reader and a path that cannot be opened end the process
// with status 1 after one line on VELK_ERR; a broken input (the reader gives null, the path is
// a directory, or the read fails half-way) after "ERROR: IO: Input file broken." and a second
// line naming the file and why: a directory, an empty file, or the first line the reader refused.
VLK_Network* IO_read_file(const char* path, const char* name, const VLK_KeyValues* options);
// The stream reader's result, null included; a name without one ends the process.
VLK_Network* IO_read_fp(FILE* fp, const char* name, const VLK_KeyValues* options);
// IO_read_file, then the network as a parent-list graph over its node indexes.
VLK_Graph* IO_read_graph_file(const char* path, const char* name, const VLK_KeyValues* options);

// Write with the format's stream writer and return its result, or non-zero when the stream is
// in error afterwards. A name without a writer ends the process with status 1 after a line on
// the process's standard error stream, as does (for the file form) a path that cannot be
// opened; the name is looked up first, so an unknown name leaves no file behind. The file form
// also reports a failed close.
int IO_output_network_fp(FILE* fp, const VLK_Network* net, const char* name,
                         const VLK_KeyValues* options);
int IO_output_network_file(const char* path, const VLK_Network* net, const char* name,
                           const VLK_KeyValues* options);

// The operation of the first row of that name; null without such a row.
IO_read_fp_fn IO_get_reader(const char* name);
IO_read_file_fn IO_get_file_reader(const char* name);
IO_write_fp_fn IO_get_writer(const char* name);
IO_write_file_fn IO_get_file_writer(const char* name);
IO_write_graph_fp_fn IO_get_graph_writer(const char* name);

// Mode 0: 1 when a row of that name has a stream reader, else 0. Every other mode answers 0.
int IO_check(const char* name, int mode);

namespace vlk::io {

// The shape of every format's path variants: open, call the stream operation, close. When the
// path cannot be opened, `open_failure` (a format with one %s, the path) goes to VELK_ERR and
// the reader gives null and the writer 1, or the process ends with status 1 when `fatal` is
// set. The writer's result becomes non-zero when the stream ends in error or cannot be closed.
VLK_Network* read_path(const char* path, const VLK_KeyValues* options, IO_read_fp_fn read,
                       const char* open_failure, bool fatal = false);
int write_path(const char* path, const VLK_Network* net, const VLK_KeyValues* options,
               IO_write_fp_fn write, const char* open_failure, bool fatal = false);
// What a stream writer returns after writing: 0, or 1 when the stream could not take it all.
int stream_result(FILE* fp);

// Why the writer of the format would make a file from which its own reader reads the network
// back as something else: the ERROR line it then ends with, on the process's standard error
// stream, before it writes anything. Empty when it writes the network, and for the formats
// without a reader. TXT and VLK2 find nodes by name, so their files also need every name once,
// which their writers leave to the caller.
std::string write_problem(const VLK_Network* net, const char* format,
                          const VLK_KeyValues* options = nullptr);

}  // namespace vlk::io
