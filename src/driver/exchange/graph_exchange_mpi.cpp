// exchange_graph: the record and selection transfers around the parts in graph_exchange.cpp.
#include <sys/time.h>

#include <cstring>

#include "VLK_Util.h"
#include "exchange/edge_tables.h"
#include "exchange/exchange_mpi.h"
#include "exchange/exchange_work.h"
#include "exchange/graph_exchange.h"
#include "velkcom.h"

namespace {

void trace_ints(FILE* trace, const char* label, const int* v, int n) {
  std::fprintf(trace, "%s", label);
  for (int k = 0; k < n; ++k) std::fprintf(trace, " %d", v[k]);
  std::fprintf(trace, "\n");
}

}  // namespace

void exchange_graph(Args* args, VLK_Graph** graphs, const unsigned short* sel, int N) {
  using namespace exchange;
  struct timeval start, end;
  gettimeofday(&start, nullptr);
  std::fprintf(VELK_ERR, "exchange_graph(N=%d) called at %s", N, now_text());
  std::fflush(VELK_ERR);

  const int P = args->processes;
  const int K = args->module_size;
  const GeneLayout layout = Args_gene_layout(args);
  ExchangeWork& w = *args->exchange_work;
  FILE* trace = args->debug ? VELK_ERR : nullptr;
  int* send_counts = w.send_counts.data();
  int* send_displs = w.send_displs.data();
  int* recv_counts = w.recv_counts.data();
  int* recv_displs = w.recv_displs.data();
  if (args->exchange_lists == nullptr)
    args->exchange_lists =
        need(VLK_IntArray_new_ar(static_cast<size_t>(K), 1), "exchange_graph(): child lists");
  resize(w.entries, static_cast<size_t>(K), "exchange_graph(): gene entries");

  // The edge records of this process's nuclei, one stream per owner.
  for (int o = 0; o < P; ++o) VLK_UShortArray_clear(&args->node_lists[o]);
  build_edge_records(graphs, VLK_SelectedNodes{sel, N, K}, P, args->exchange_lists,
                     w.entries.data(), args->node_lists, trace);
  for (int o = 0; o < P; ++o)
    send_counts[o] = mpi_count(args->node_lists[o].size, "exchange_graph(): record stream");
  if (trace) {
    std::fprintf(trace, "counts:");
    for (int o = 0; o < P; ++o) std::fprintf(trace, " %d:%d", o, send_counts[o]);
    std::fprintf(trace, "\n");
  }
  const int send_total = prefix_sums(send_counts, send_displs, P, "exchange_graph(): send buffer");
  std::fprintf(VELK_ERR, "Total send_buff size = %d\n", send_total);
  VLK_UShortArray* send = need(VLK_UShortArray_set_size(args->send_records, send_total),
                               "exchange_graph(): send buffer");
  for (int o = 0; o < P; ++o) {
    const VLK_UShortArray& stream = args->node_lists[o];
    if (stream.size) std::memcpy(send->data + send_displs[o], stream.data, stream.size * 2);
    if (trace) {
      std::fprintf(trace, "Proc %d (%d):", o, send_counts[o]);
      for (size_t i = 0; i < stream.size; ++i) std::fprintf(trace, " %d", stream.data[i]);
      std::fprintf(trace, "\n");
    }
  }

  timed(args,
        [&] { MPI_Alltoall(send_counts, 1, MPI_INT, recv_counts, 1, MPI_INT, MPI_COMM_WORLD); });
  const int recv_total =
      prefix_sums(recv_counts, recv_displs, P, "exchange_graph(): receive buffer");
  if (trace) {
    trace_ints(trace, "recv_counts:", recv_counts, P);
    trace_ints(trace, "recv_displs:", recv_displs, P);
    std::fprintf(trace, "recv_buff size = %d\n", recv_total);
  }
  VLK_UShortArray* recv = need(VLK_UShortArray_set_size(args->recv_records, recv_total),
                               "exchange_graph(): receive buffer");
  timed(args, [&] {
    MPI_Alltoallv(send->data, send_counts, send_displs, MPI_UNSIGNED_SHORT, recv->data, recv_counts,
                  recv_displs, MPI_UNSIGNED_SHORT, MPI_COMM_WORLD);
  });
  accumulate_edge_records(recv->data, recv_counts, recv_displs, P, layout, args->edge_counts,
                          trace);

  // Every process gets every selection and counts the pairs of its own genes.
  std::fprintf(VELK_ERR, "Exchangin the selected nodes.\n");
  std::fprintf(VELK_ERR, "  Calling MPI_Alltoallv().\n");
  std::fflush(VELK_ERR);
  const size_t rows = static_cast<size_t>(N) * static_cast<size_t>(K);
  const int row_count = mpi_count(rows, "exchange_graph(): selections");
  const int all_rows =
      mpi_count(rows * static_cast<size_t>(P), "exchange_graph(): received selections");
  for (int k = 0; k < P; ++k) {
    send_counts[k] = recv_counts[k] = row_count;
    send_displs[k] = 0;
    recv_displs[k] = k * row_count;  // below all_rows, which fits an int
  }
  recv = need(VLK_UShortArray_set_size(args->recv_records, all_rows),
              "exchange_graph(): received selections");
  timed(args, [&] {
    MPI_Alltoallv(sel, send_counts, send_displs, MPI_UNSIGNED_SHORT, recv->data, recv_counts,
                  recv_displs, MPI_UNSIGNED_SHORT, MPI_COMM_WORLD);
  });
  std::fflush(VELK_ERR);
  count_pairs(VLK_SelectedNodes{recv->data, P * N, K}, N, layout, args->pair_counts, w, trace);

  gettimeofday(&end, nullptr);
  std::fprintf(VELK_ERR, "exchange_graph() done at %s", now_text());
  std::fprintf(VELK_ERR, "exchange_graph() Running time: ");
  VLK_Util_print_timeval_span(VELK_ERR, &start, &end);
  std::fflush(VELK_ERR);
}
