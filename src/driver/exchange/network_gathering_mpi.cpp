// The collectives that turn the distributed edge statistics into one frequent-edge network:
// on every process (exchange_network) or on process 0 (send_network2/3/4/5).
#include <sys/time.h>

#include <cstring>

#include "VLK_PCGraph.h"
#include "VLK_Timer.h"
#include "VLK_Util.h"
#include "exchange/edge_tables.h"
#include "exchange/exchange_mpi.h"
#include "exchange/network_forms.h"
#include "exchange/network_gathering.h"
#include "velkcom.h"

namespace {

using namespace exchange;

constexpr int kRoot = 0;

template <class Form>
size_t collect(Args* a, const Form& form, FILE* trace) {
  return collect_network(Args_gene_layout(a), a->edge_counts, a->pair_counts, a->min_pair_count,
                         form, a->send_records, a->send_values, *a->exchange_work, trace);
}

// This process's two counts: ids of its stream, values.
void own_sizes(const Args* a, int sizes[2], const char* what) {
  sizes[0] = mpi_count(a->send_records->size, what);
  sizes[1] = mpi_count(a->send_values->size, what);
}

// From the gathered (ids, values) count pairs: per-process counts and displacements of both
// (ids in recv_counts/recv_displs, values in send_counts/send_displs) and their totals.
struct Totals {
  int ids = 0, values = 0;
};
Totals split_sizes(ExchangeWork& w, int P, const char* what) {
  for (int k = 0; k < P; ++k) {
    w.recv_counts[k] = w.sizes[2 * k];
    w.send_counts[k] = w.sizes[2 * k + 1];
  }
  Totals t;
  t.ids = prefix_sums(w.recv_counts.data(), w.recv_displs.data(), P, what);
  t.values = prefix_sums(w.send_counts.data(), w.send_displs.data(), P, what);
  return t;
}

void print_running_time(const char* label, const struct timeval& start) {
  struct timeval end;
  gettimeofday(&end, nullptr);
  std::fprintf(VELK_ERR, "%s", label);
  VLK_Util_print_timeval_span(VELK_ERR, &start, &end);
}

// send_network3/4/5: collect with the form, gather to process 0, rebuild there.
template <class Form>
void gather_at_root(Args* a, const Form& form, const char* name, const char* called) {
  struct timeval start;
  gettimeofday(&start, nullptr);
  std::fprintf(VELK_ERR, called, static_cast<double>(form.th), now_text());
  FILE* trace = a->debug ? VELK_ERR : nullptr;
  constexpr const char* what = "gathering edges to the root";
  collect(a, form, trace);
  int sizes[2];
  own_sizes(a, sizes, what);

  std::fprintf(VELK_ERR, "  gathering edges to the root at %s", now_text());
  std::fflush(VELK_ERR);
  ExchangeWork& w = *a->exchange_work;
  const int P = a->processes;
  timed(a,
        [&] { MPI_Gather(sizes, 2, MPI_INT, w.sizes.data(), 2, MPI_INT, kRoot, MPI_COMM_WORLD); });
  const bool root = a->rank == kRoot;
  unsigned short* ids = nullptr;
  float* values = nullptr;
  Totals total;
  if (root) {
    const double t0 = MPI_Wtime();
    total = split_sizes(w, P, what);
    ids = need(VLK_UShortArray_set_size(a->recv_records, total.ids), what)->data;
    values = need(VLK_FloatArray_set_size(a->gathered_values, total.values), what)->data;
    a->single_time += MPI_Wtime() - t0;
  }
  timed(a, [&] {
    MPI_Gatherv(a->send_records->data, sizes[0], MPI_UNSIGNED_SHORT, ids, w.recv_counts.data(),
                w.recv_displs.data(), MPI_UNSIGNED_SHORT, kRoot, MPI_COMM_WORLD);
  });
  timed(a, [&] {
    MPI_Gatherv(a->send_values->data, sizes[1], MPI_FLOAT, values, w.send_counts.data(),
                w.send_displs.data(), MPI_FLOAT, kRoot, MPI_COMM_WORLD);
  });
  std::fprintf(VELK_ERR, "  finished gathering edges at %s", now_text());

  if (root) {
    const double t0 = MPI_Wtime();
    std::fprintf(VELK_ERR, "  Constructing a whole network (total_num=%d)\n", total.ids);
    std::fflush(VELK_ERR);
    VLK_PCGraph* g = a->gathered_network;
    VLK_PCGraph_clear(g);
    const VLK_EdgeValues edge{values, a->gathered_values->size, Form::stride};
    add_stream_edges(
        ids, static_cast<size_t>(total.ids), g, [](const VLK_EdgeRecord&) {},
        [&](size_t k, int v, int pa, int ch) {
          if (trace) Form::print(trace, "ADDING: ", v, pa, ch, edge.of(k));
        });
    vlk::check(g->edges == edge.edges(), "stride values per edge");
    a->single_time += MPI_Wtime() - t0;
  }
  std::fprintf(VELK_ERR, "%s(): Finished at %s", name, now_text());
  char label[64];
  std::snprintf(label, sizeof label, "%s(): Running time: ", name);
  print_running_time(label, start);
}

}  // namespace

void exchange_network(Args* a, double th) {
  struct timeval start;
  gettimeofday(&start, nullptr);
  std::fprintf(VELK_ERR, "exchange_network(th=%f) called at %s", th, now_text());
  std::fflush(VELK_ERR);
  std::fprintf(VELK_ERR, "Collecting significant edges.\n");
  std::fflush(VELK_ERR);
  constexpr const char* what = "exchange_network()";
  const size_t collected = collect(a, FreqWidened{th}, nullptr);
  std::fprintf(VELK_ERR, "  Collected %d edges at %s", static_cast<int>(collected), now_text());

  // Every process learns every process's two counts, then receives every stream.
  ExchangeWork& w = *a->exchange_work;
  const int P = a->processes;
  int sizes[2];
  own_sizes(a, sizes, what);
  timed(a, [&] { MPI_Allgather(sizes, 2, MPI_INT, w.sizes.data(), 2, MPI_INT, MPI_COMM_WORLD); });
  const Totals total = split_sizes(w, P, what);
  FILE* trace = a->debug ? VELK_ERR : nullptr;
  if (trace) {
    std::fprintf(trace, "buff:");
    for (int k = 0; k < P; ++k)
      std::fprintf(trace, " %hu-%hu", static_cast<unsigned short>(w.sizes[2 * k]),
                   static_cast<unsigned short>(w.sizes[2 * k + 1]));
    std::fprintf(trace, "\n");
  }
  std::fprintf(VELK_ERR, "Edge numbers received. total_num=%zu, total_edges=%zu\n",
               static_cast<size_t>(total.ids), static_cast<size_t>(total.values));
  std::fprintf(VELK_ERR, "  at %s", now_text());
  std::fflush(VELK_ERR);
  unsigned short* ids = need(VLK_UShortArray_set_size(a->recv_records, total.ids), what)->data;
  float* values = need(VLK_FloatArray_set_size(a->edge_values, total.values), what)->data;
  timed(a, [&] {
    MPI_Allgatherv(a->send_records->data, sizes[0], MPI_UNSIGNED_SHORT, ids, w.recv_counts.data(),
                   w.recv_displs.data(), MPI_UNSIGNED_SHORT, MPI_COMM_WORLD);
  });
  timed(a, [&] {
    MPI_Allgatherv(a->send_values->data, sizes[1], MPI_FLOAT, values, w.send_counts.data(),
                   w.send_displs.data(), MPI_FLOAT, MPI_COMM_WORLD);
  });

  std::fprintf(VELK_ERR, "Finished edge exchange at %s", now_text());
  std::fflush(VELK_ERR);
  std::fprintf(VELK_ERR, "Constructing a whole network.\n");
  std::fflush(VELK_ERR);
  VLK_PCGraph* g = a->whole_network;
  VLK_PCGraph_clear(g);
  add_stream_edges(
      ids, static_cast<size_t>(total.ids), g,
      [&](const VLK_EdgeRecord& rec) {
        if (trace)
          std::fprintf(trace, "v=%hu, num_pa=%hu, num_ch=%hu\n", rec.v, rec.num_pa, rec.num_ch);
      },
      [&](size_t, int, int pa, int ch) {
        if (trace)
          std::fprintf(trace, "  %hu -> %hu\n", static_cast<unsigned short>(pa),
                       static_cast<unsigned short>(ch));
      });
  vlk::check(g->edges == VLK_EdgeValues{values, a->edge_values->size, 1}.edges(),
             "one value per edge");
  if (trace) VLK_PCGraph_print_all_parents(g, trace);
  std::fprintf(VELK_ERR, "exchange_network() done at %s", now_text());
  print_running_time("exchange_network() Running time: ", start);
  std::fflush(VELK_ERR);
}

void send_network3(Args* a, float th) {
  gather_at_root(a, FreqSingle{th}, "send_network3", "send_network3(th=%f) called at %s");
}

void send_network4(Args* a, float th) {
  VLK_MultiTimer_start(a->timer, 4);
  gather_at_root(a, FreqCount{th}, "send_network4", "send_network4 (th=%f) called at %s");
  VLK_MultiTimer_stop(a->timer);
}

void send_network5(Args* a, float th) {
  gather_at_root(a, Majority{th}, "send_network5", "send_network5 (th=%f) called at %s");
}

void send_network2(Args* a, float th) {
  std::fprintf(VELK_ERR, "send_network2(th=%f) at %s", static_cast<double>(th), now_text());
  std::fflush(VELK_ERR);
  constexpr const char* what = "send_network2()";
  FILE* trace = a->debug ? VELK_ERR : nullptr;
  const FreqSingle form{th};
  const size_t collected = collect(a, form, nullptr);
  std::fprintf(VELK_ERR, "  Collected %hu edges at %s", static_cast<unsigned short>(collected),
               now_text());
  std::fflush(VELK_ERR);
  if (trace) {
    std::fprintf(trace, "values: ");
    for (size_t i = 0; i < a->send_records->size; ++i)
      std::fprintf(trace, " %d", a->send_records->data[i]);
    std::fprintf(trace, "\n");
    std::fprintf(trace, "probs: ");
    for (size_t i = 0; i < a->send_values->size; ++i)
      std::fprintf(trace, " %f", static_cast<double>(a->send_values->data[i]));
    std::fprintf(trace, "\n");
  }
  int sizes[2];
  own_sizes(a, sizes, what);
  if (a->rank != kRoot) {
    timed(a, [&] { MPI_Send(sizes, 2, MPI_INT, kRoot, 0, MPI_COMM_WORLD); });
    timed(a, [&] {
      MPI_Send(a->send_records->data, sizes[0], MPI_UNSIGNED_SHORT, kRoot, 1, MPI_COMM_WORLD);
    });
    timed(a,
          [&] { MPI_Send(a->send_values->data, sizes[1], MPI_FLOAT, kRoot, 2, MPI_COMM_WORLD); });
  } else {
    ExchangeWork& w = *a->exchange_work;
    const int P = a->processes;
    w.sizes[0] = sizes[0];
    w.sizes[1] = sizes[1];
    for (int k = 1; k < P; ++k)
      timed(a, [&] {
        MPI_Recv(&w.sizes[2 * k], 2, MPI_INT, k, 0, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      });
    std::fprintf(VELK_ERR, "send_network2(): Building a VLK_PCGraph ... at %s", now_text());
    const Totals total = split_sizes(w, P, what);
    float* values = need(VLK_FloatArray_set_size(a->gathered_values, total.values), what)->data;
    VLK_PCGraph* g = a->gathered_network;
    VLK_PCGraph_clear(g);
    // Process 0's own stream first, then each other process's as it arrives.
    for (int k = 0; k < P; ++k) {
      const int count = w.recv_counts[k];
      float* part = values + w.send_displs[k];
      const unsigned short* ids = a->send_records->data;
      if (k == 0) {
        if (sizes[1]) std::memcpy(part, a->send_values->data, sizes[1] * sizeof(float));
      } else {
        ids = need(VLK_UShortArray_set_size(a->recv_records, count), what)->data;
        timed(a, [&] {
          MPI_Recv(a->recv_records->data, count, MPI_UNSIGNED_SHORT, k, 1, MPI_COMM_WORLD,
                   MPI_STATUS_IGNORE);
        });
        timed(a, [&] {
          MPI_Recv(part, w.send_counts[k], MPI_FLOAT, k, 2, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        });
      }
      add_stream_edges(
          ids, static_cast<size_t>(count), g, [](const VLK_EdgeRecord&) {},
          [&](size_t e, int v, int pa, int ch) {
            if (trace) FreqSingle::print(trace, "ADDING: ", v, pa, ch, part + e);
          });
    }
    vlk::check(g->edges == a->gathered_values->size, "one value per edge");
  }
  std::fprintf(VELK_ERR, "send_network2(): Finished at %s", now_text());
  std::fflush(VELK_ERR);
}
