// Reading speed of the two expression readers on a 20,000 genes x 1,000 samples matrix (about
// 150 MB of text), against a bare loop that splits the same file into fields and converts them
// with strtod. Each case reports MB/s (10^6 bytes of file per second).
//
// The matrix is written once per run into the temporary directory: one row per gene, its name
// and then 1,000 values with three decimals, TAB-separated. The data matrix reader reads it with
// one label column; the EDF file is the same text after a "$Version" line.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_DataMatrix.h"
#include "VLK_EDF.h"
#include "file_bench.h"
#include "velkcom.h"

namespace {

constexpr int kGenes = 20000;
constexpr int kSamples = 1000;

struct Files {
  std::string matrix, edf;
  size_t matrix_bytes = 0, edf_bytes = 0;

  Files() {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = "vlk_readers_bench_" + std::to_string(getpid());
    matrix = (dir / (stem + ".txt")).string();
    edf = (dir / (stem + ".edf")).string();
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> value(-500.0, 1500.0);
    std::string rows;
    rows.reserve(static_cast<size_t>(kGenes) * kSamples * 9);
    char field[64];
    for (int g = 0; g < kGenes; ++g) {
      rows += "gene_" + std::to_string(g);
      for (int s = 0; s < kSamples; ++s) {
        const int n = std::snprintf(field, sizeof field, "\t%.3f", value(gen));
        rows.append(field, static_cast<size_t>(n));
      }
      rows += '\n';
    }
    matrix_bytes = write(matrix, "", rows);
    edf_bytes = write(edf, "$Version\t1.0\n", rows);
  }
  ~Files() {
    std::remove(matrix.c_str());
    std::remove(edf.c_str());
  }

  static size_t write(const std::string& path, const char* head, const std::string& body) {
    FILE* fp = std::fopen(path.c_str(), "w");
    if (fp == nullptr) std::abort();
    std::fputs(head, fp);
    std::fwrite(body.data(), 1, body.size(), fp);
    std::fclose(fp);
    return std::strlen(head) + body.size();
  }
};

const Files& files() {
  static const Files f;
  return f;
}

void report(benchmark::State& state, size_t bytes) {
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) * 1e-6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The baseline: lines by getline, fields cut at TAB, every value field through strtod.
void BM_BareSplitStrtod(benchmark::State& state) {
  const Files& f = files();
  std::vector<double> values;
  for (auto _ : state) {
    values.clear();
    values.reserve(static_cast<size_t>(kGenes) * kSamples);
    FILE* fp = std::fopen(f.matrix.c_str(), "r");
    char* line = nullptr;
    size_t cap = 0;
    ssize_t len;
    while ((len = getline(&line, &cap, fp)) > 0) {
      char* end = line + len;
      if (end[-1] == '\n') *--end = '\0';
      char* p = static_cast<char*>(std::memchr(line, '\t', static_cast<size_t>(end - line)));
      while (p != nullptr) {
        char* field = p + 1;
        p = static_cast<char*>(std::memchr(field, '\t', static_cast<size_t>(end - field)));
        if (p != nullptr) *p = '\0';
        values.push_back(std::strtod(field, nullptr));
      }
    }
    std::free(line);
    std::fclose(fp);
    benchmark::DoNotOptimize(values.data());
  }
  report(state, f.matrix_bytes);
}

void BM_DataMatrixRead(benchmark::State& state) {
  const Files& f = files();
  for (auto _ : state) {
    VLK_Data* d = VLK_DataMatrix_read_file_sa(f.matrix.c_str(), "l=1");
    if (d == nullptr || d->p != kGenes || d->n != kSamples) state.SkipWithError("bad read");
    benchmark::DoNotOptimize(d);
    VLK_Data_delete(d);
  }
  report(state, f.matrix_bytes);
}

void BM_EDFRead(benchmark::State& state) {
  const Files& f = files();
  for (auto _ : state) {
    VLK_Data* d = VLK_EDF_read_file(f.edf.c_str(), nullptr);
    if (d == nullptr || d->p != kGenes || d->n != kSamples) state.SkipWithError("bad read");
    benchmark::DoNotOptimize(d);
    VLK_Data_delete(d);
  }
  report(state, f.edf_bytes);
}

BENCHMARK(BM_BareSplitStrtod)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DataMatrixRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EDFRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return file_bench::run(argc, argv, [] { files(); });
}
