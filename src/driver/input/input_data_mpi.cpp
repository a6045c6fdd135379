#include <mpi.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "VLK_DataMatrix.h"
#include "VLK_Data_merge.h"
#include "VLK_Data_mpi.h"
#include "VLK_EDF.h"
#include "exchange/exchange_mpi.h"
#include "exchange/exchange_work.h"
#include "input/input_data.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

void flush() { std::fflush(VELK_ERR); }

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void refuse_resampling(const Args* a) {
  if (a->resampling == -1) return;
  if (a->rank == 0) {
    std::fprintf(VELK_ERR, "Random Sampling specified: samples = %d\n", a->resampling);
    flush();
  }
  vlk::fatal("ERROR: input_data(): NOT IMPLEMENTED YET.\n");
}

// The replicate counts of dynamic EDF data, with the samples sorted by time point first.
void collect_replicates(Args* a, VLK_Data* d) {
  if (!a->algo_args->dynamic || d->primary_ids == nullptr || d->secondary_ids == nullptr) return;
  std::fprintf(VELK_ERR, "Collecting the replicate numbers for time points.\n");
  VLK_Data_sort_by_primary(d);
  VLK_IntArray* counts = VLK_Data_get_replicates(d);
  if (counts == nullptr) vlk::fatal("ERROR: input_data(): no replicate counts\n");
  a->time_points = static_cast<int>(counts->size);
  a->replicates = VLK_IntArray_gen_array(counts);
  VLK_IntArray_delete(counts);
}

// Process 0: the data set of the input file, or null when the reader gave none.
VLK_Data* read_input(Args* a) {
  std::fprintf(VELK_ERR, "Reading the input data matrix.\n");
  flush();
  if (a->input_file == nullptr) vlk::fatal("ERROR: input file not specified.\n");
  std::fprintf(VELK_ERR, "  file: %s\n", a->input_file);
  FILE* fp = std::fopen(a->input_file, "r");
  if (fp == nullptr) vlk::fatal("ERROR: cannot open file: %s\n", a->input_file);
  input_check_file(a, fp);
  VLK_Data* d = nullptr;
  // A reader that refuses the file ends every process through the library's fatal path, naming
  // the file.
  if (strcasecmp(a->input_type, "edf") == 0) {
    d = vlk::read_edf(fp, a->input_args, a->input_file);
    if (d != nullptr) collect_replicates(a, d);
  } else {
    d = vlk::read_data_matrix(fp, a->input_args, a->input_file);
  }
  std::fclose(fp);
  if (d != nullptr) std::fprintf(VELK_ERR, "  nodes = %d, samples = %d\n", d->p, d->n);
  flush();
  return d;
}

// What the other processes wait for while process 0 reads: the sizes, here those of no data.
void tell_no_data() {
  int sizes[3] = {-1, -1, -1};
  MPI_Bcast(sizes, 3, MPI_INT, 0, MPI_COMM_WORLD);
}

void* allocate(size_t count, size_t size) {
  void* block = std::malloc(count > 0 ? count * size : 1);
  if (block == nullptr) vlk::fatal("ERROR: Failed to allocate memory for the input data.\n");
  return block;
}

}  // namespace

void input_data(Args* a) {
  const bool root = a->rank == 0;
  const auto t0 = std::chrono::steady_clock::now();
  const bool dynamic = a->algo_args->dynamic != 0;
  if (root) {
    {
      // A file the reader refuses is refused for every process: they learn it from the sizes.
      vlk::EveryProcessAlike refusal_tells_the_others(tell_no_data);
      a->whole_data = read_input(a);
    }
    refuse_resampling(a);
    std::fprintf(VELK_ERR, "Broadcasting the input data matrix ");
    if (a->whole_data != nullptr) {
      a->nodes = a->whole_data->p;
      a->samples = a->whole_data->n;
      a->whole_values = a->whole_data->X;
    } else {
      a->nodes = a->samples = -1;
    }
    a->single_time += seconds_since(t0);
  } else {
    refuse_resampling(a);
    std::fprintf(VELK_ERR, "Receving the input data matrix ");
  }
  std::fprintf(VELK_ERR, " at %s", exchange::now_text());

  int sizes[3] = {a->nodes, a->samples, a->time_points};
  exchange::timed(a, [&] { MPI_Bcast(sizes, 3, MPI_INT, 0, MPI_COMM_WORLD); });
  a->nodes = sizes[0];
  a->samples = sizes[1];
  a->time_points = sizes[2];
  // Every process has the sizes now and refuses what they cannot carry at the same point.
  input_check_sizes(a);

  const size_t cells = VLK_Data_cells(a->nodes, a->samples);
  if (root) {
    std::fprintf(VELK_ERR, "Sent the input matrix size.\n");
  } else {
    const auto t1 = std::chrono::steady_clock::now();
    std::fprintf(VELK_ERR, "Received the input matrix size: nodes = %d, samples = %d.\n", a->nodes,
                 a->samples);
    // With shared names the values arrive inside the data set.
    if (!a->share_names) a->whole_values = static_cast<double*>(allocate(cells, sizeof(double)));
    if (dynamic)
      a->replicates = static_cast<int*>(allocate(static_cast<size_t>(a->time_points), sizeof(int)));
    a->single_time += seconds_since(t1);
  }

  std::fprintf(VELK_ERR, "  at %s", exchange::now_text());
  if (!a->share_names) {
    std::fprintf(VELK_ERR, "Broadcasting input values.\n");
    flush();
    exchange::timed(a, [&] { vlk::mpi_bcast_doubles(a->whole_values, cells, 0, MPI_COMM_WORLD); });
  } else {
    std::fprintf(VELK_ERR, "Broadcasting dataset.\n");
    flush();
    exchange::timed(a, [&] { VLK_Data_MPI_Bcast(&a->whole_data, 0, MPI_COMM_WORLD); });
    if (!root) a->whole_values = a->whole_data->X;
  }
  if (dynamic)
    exchange::timed(a,
                    [&] { MPI_Bcast(a->replicates, a->time_points, MPI_INT, 0, MPI_COMM_WORLD); });
  std::fprintf(VELK_ERR, "  Done ");
  std::fprintf(VELK_ERR, "at %s", exchange::now_text());
  flush();
}
