#include "output/output_network.h"

#include <strings.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "VLK_IO.h"
#include "VLK_Network.h"
#include "VLK_Network_layout.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_output_file.h"

namespace {

void flush() { std::fflush(VELK_ERR); }

using vlk::or_empty;

// Where the network goes, and whether that is where it belongs. A file receives the network
// whole or not at all (vlk::OutputFile): a failed write leaves the previous result in place.
struct Destination {
  FILE* fp = VELK_ERR;
  bool fallback = false;  // the file could not be opened: VELK_ERR stands in
  vlk::OutputFile file;
  std::string path;

  // Puts a file of its own in place; 1 when the network did not reach its file.
  int finish(int written) {
    if (fallback) return 1;
    if (fp == VELK_ERR) return written;
    // A writer that failed without a failed write has said why.
    if (written != 0 && !std::ferror(fp)) {
      file.abandon();
      vlk::report("ERROR: cannot write the final network to %s\n", path.c_str());
      return 1;
    }
    if (!file.commit()) {
      vlk::report("ERROR: cannot write the final network to %s: %s\n", path.c_str(),
                  file.error().c_str());
      return 1;
    }
    return 0;
  }
};

void open_destination(Destination* d, const char* prefix, const char* format, bool two_warnings) {
  if (prefix == nullptr) return;
  d->path = final_network_path(prefix, format);
  if (d->file.open(d->path)) {
    d->fp = d->file.stream();
    return;
  }
  vlk::report("ERROR: cannot write the final network to %s: %s\n", d->path.c_str(),
              d->file.error().c_str());
  d->fallback = true;
  if (two_warnings) {
    std::fprintf(VELK_ERR, "WARNING: Cannot open file: %s\n", d->path.c_str());
    std::fprintf(VELK_ERR, "WARNING: Writing the network to the standard error.\n");
  } else {
    std::fprintf(VELK_ERR, "WARNING: cannot open file: %s\n", d->path.c_str());
  }
  flush();
}

// A pair count carried as a float, as the int it counts (toward zero; 0 for what no count
// can be).
int count_of(float x) {
  if (!(std::fabs(x) < 2147483648.0f)) return 0;
  return static_cast<int>(x);
}

// The values of every edge of the graph must be there before any is read.
void check_shapes(const char* who, const VLK_Data* data, const VLK_PCGraph* graph,
                  const VLK_FloatArray* values, int stride) {
  const size_t genes = VLK_PCGraph_num_nodes(graph);
  if (genes != static_cast<size_t>(data->p))
    vlk::fatal("ERROR: %s(): the network has %zu nodes, the data set %d genes\n", who, genes,
               data->p);
  const size_t edges = VLK_PCGraph_num_edges(graph);
  if (values->size < edges * static_cast<size_t>(stride))
    vlk::fatal("ERROR: %s(): %zu edge values for %zu edges of %d values each\n", who, values->size,
               edges, stride);
}

// One node per gene in gene order, named as the data set names it.
vlk::NetworkPtr gene_nodes(const VLK_Data* data) {
  vlk::NetworkPtr net(VLK_Network_new());
  if (net == nullptr) vlk::fatal("ERROR: Memory allocation failure (the final network)\n");
  for (int i = 0; i < data->p; ++i) {
    VLK_Node* node = VLK_Node_new(VLK_Data_get_name(data, i), VLK_Data_get_alias(data, i));
    if (node == nullptr || VLK_Network_add_node(net.get(), node) == nullptr)
      vlk::fatal("ERROR: Memory allocation failure (the final network)\n");
  }
  return net;
}

// The annotated network of the graph: one node per gene in gene order, one edge per graph edge
// in edge order. Every edge gets its frequency (the first of its `stride` values) as
// "edgeScore" and "Freq"; three values carry the share of the kept direction ("Dir") second;
// with two or three, the last is the pair count ("Count"), and every node gets "Count", half the
// counts of its edges.
vlk::NetworkPtr build_network(const VLK_Data* data, const VLK_PCGraph* graph,
                              const VLK_FloatArray* values, int stride) {
  vlk::NetworkPtr net = gene_nodes(data);
  const bool counts = stride >= 2;
  std::vector<std::int64_t> sums(counts ? static_cast<size_t>(data->p) : 0, 0);
  const size_t edges = VLK_PCGraph_num_edges(graph);
  for (size_t k = 0; k < edges; ++k) {
    int pa = -1, ch = -1;
    VLK_PCGraph_get_edge_index(graph, k, &pa, &ch);
    VLK_Edge* edge = VLK_Network_add_edge_index(net.get(), pa, ch);
    if (edge == nullptr) vlk::fatal("ERROR: Memory allocation failure (the final network)\n");
    const float* x = values->data + k * static_cast<size_t>(stride);
    VLK_Edge_add_property_double(edge, "edgeScore", x[0]);
    VLK_Edge_add_property_double(edge, "Freq", x[0]);
    if (stride == 3) VLK_Edge_add_property_double(edge, "Dir", x[1]);
    if (counts) {
      const int count = count_of(x[stride - 1]);
      VLK_Edge_add_property_int(edge, "Count", count);
      sums[static_cast<size_t>(pa)] += count;
      sums[static_cast<size_t>(ch)] += count;
    }
  }
  for (size_t i = 0; i < sums.size(); ++i)
    VLK_Node_add_property_int(VLK_Network_get_node(net.get(), static_cast<int>(i)), "Count",
                              static_cast<int>(sums[i] / 2));
  VLK_Network_layout_circle(net.get());
  return net;
}

void check_writer(const char* format) {
  if (IO_get_writer(format) == nullptr)
    vlk::fatal("ERROR: unknown output format (-O): %s\n", format != nullptr ? format : "(null)");
}

int write_network(const char* who, int stride, const char* prefix, const char* format,
                  VLK_KeyValues* options, VLK_Data* data, VLK_PCGraph* graph,
                  VLK_FloatArray* values) {
  check_writer(format);
  check_shapes(who, data, graph, values, stride);
  const vlk::NetworkPtr net = build_network(data, graph, values, stride);
  Destination out;
  open_destination(&out, prefix, format, true);
  return out.finish(IO_output_network_fp(out.fp, net.get(), format, options));
}

}  // namespace

std::string final_network_path(const char* prefix, const char* format) {
  std::string lower(format, std::strlen(format));
  VLK_Str_lower2(format, lower.data());
  return std::string(prefix) + "." + lower;
}

void check_output_settings(const Args* a) {
  if (!a->write_output) return;
  check_writer(a->output_format);
  if (a->output_mode != 0 && a->output_mode != 1)
    vlk::fatal("ERROR: Unknown output mode: %d\n", a->output_mode);
}

void check_output_names(const Args* a) {
  if (!a->write_output || a->rank != 0 || a->whole_data == nullptr) return;
  const vlk::NetworkPtr genes = gene_nodes(a->whole_data);
  const std::string problem = vlk::io::write_problem(genes.get(), a->output_format, a->output_args);
  if (!problem.empty()) vlk::fatal("%s", problem.c_str());
}

void check_output_file(const Args* a) {
  if (!a->write_output || a->output_prefix == nullptr || a->rank != 0) return;
  const std::string path = final_network_path(a->output_prefix, a->output_format);
  std::string why;
  if (!vlk::output_file_possible(path, &why))
    vlk::fatal("ERROR: cannot write the final network to %s: %s\n", path.c_str(), why.c_str());
}

int output_network4(const char* prefix, const char* format, VLK_KeyValues* options, VLK_Data* data,
                    VLK_PCGraph* graph, VLK_FloatArray* values) {
  return write_network("output_network4", 2, prefix, format, options, data, graph, values);
}

int output_network5(const char* prefix, const char* format, VLK_KeyValues* options, VLK_Data* data,
                    VLK_PCGraph* graph, VLK_FloatArray* values) {
  std::fprintf(VELK_ERR, "output_network5() called.\n");
  flush();
  return write_network("output_network5", 3, prefix, format, options, data, graph, values);
}

int output_network(const char* prefix, const char* format, VLK_KeyValues* options, VLK_Data* data,
                   VLK_PCGraph* graph, VLK_FloatArray* values) {
  const bool simple = format != nullptr && strcasecmp(format, "vlk3") == 0 && options == nullptr;
  if (!simple) check_writer(format);
  check_shapes("output_network", data, graph, values, 1);
  Destination out;
  open_destination(&out, prefix, format, false);
  if (simple) return out.finish(output_VLK3(data, graph, values, out.fp));
  const vlk::NetworkPtr net = build_network(data, graph, values, 1);
  return out.finish(IO_output_network_fp(out.fp, net.get(), format, options));
}

int output_VLK3(VLK_Data* data, VLK_PCGraph* graph, VLK_FloatArray* values, FILE* fp) {
  std::fprintf(VELK_ERR, "output_VLK3() called.\n");
  flush();
  check_shapes("output_VLK3", data, graph, values, 1);
  std::fprintf(fp, "Velk VLK3 FORMAT\n");
  std::fprintf(fp, "[Information]\n");
  std::fprintf(fp, "Edge Attr\tFreq:double\n");
  std::fprintf(fp, "\n");
  std::fprintf(fp, "[Nodes]\n");
  for (int i = 0; i < data->p; ++i)
    std::fprintf(fp, "%s\t%s\n", or_empty(VLK_Data_get_name(data, i)),
                 or_empty(VLK_Data_get_alias(data, i)));
  std::fprintf(fp, "\n");
  std::fprintf(fp, "[Edges]\n");
  const size_t edges = VLK_PCGraph_num_edges(graph);
  for (size_t k = 0; k < edges; ++k) {
    int pa = -1, ch = -1;
    VLK_PCGraph_get_edge_index(graph, k, &pa, &ch);
    std::fprintf(fp, "%d\t%d\t%f\n", pa, ch, static_cast<double>(values->data[k]));
  }
  return vlk::io::stream_result(fp);
}
