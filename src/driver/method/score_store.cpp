#include "method/score_store.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "VLK_BNRC.h"
#include "VLK_KeyValues.h"
#include "VLK_ScoreStore.h"
#include "vlk_fatal.h"

namespace vlk::store {

namespace {

bool is_directory(const char* path) {
  struct stat st;
  return path != nullptr && *path != '\0' && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string errno_text(const char* what, int err) { return std::string(what) + std::strerror(err); }

}  // namespace

Plan plan(std::uint64_t bytes, int node_processes, std::uint64_t budget) {
  const auto L = static_cast<std::uint64_t>(node_processes > 0 ? node_processes : 1);
  const std::uint64_t share = (bytes + L - 1) / L;
  return {bytes, share, share <= budget};
}

std::size_t set_slots_wanted(int genes) {
  // Four slots per ordered pair of genes: on the 500 genes of the example at -M 3 (200 nuclei
  // of 400 genes) they answer 93.8 % of the calls of sets, four times as many 94.1 %, a
  // sixteenth 82 %.
  const auto n = static_cast<std::uint64_t>(std::max(genes, 1));
  const std::uint64_t want = std::min<std::uint64_t>(4 * n * n, kSetSlots);
  return std::max<std::size_t>(std::bit_ceil(static_cast<std::size_t>(want)), kFewestSetSlots);
}

std::size_t set_slots_fitting(std::size_t wanted, std::uint64_t room) {
  std::size_t slots = wanted;
  while (slots >= kFewestSetSlots && slots * sizeof(VLK_ScoreSetSlot) > room) slots /= 2;
  return slots >= kFewestSetSlots ? slots : 0;
}

std::uint64_t block_bytes(int genes, std::size_t set_slots) {
  return kBlockHeaderBytes + VLK_ScoreStore_bytes(genes) + set_slots * sizeof(VLK_ScoreSetSlot);
}

bool is_bnrc(const Args* a) { return strcasecmp(a->score_name, "bnrc") == 0; }

VLK_BNRCPlan whole_table_plan(const Args* a, int level, std::uint64_t budget) {
  VLK_ScoreArgs sa = *a->score_args;
  sa.max_memory = budget;
  sa.max_parents = 1;
  VLK_KeyValues* options =
      sa.options != nullptr ? VLK_KeyValues_clone(sa.options) : VLK_KeyValues_new();
  if (options == nullptr || VLK_KeyValues_put_int(options, "level", level) == nullptr)
    vlk::fatal("ERROR: Memory allocation failure (1-to-1 score options)\n");
  sa.options = options;
  const VLK_BNRCPlan p = VLK_BNRC_plan(&sa, a->nodes, a->samples);
  VLK_KeyValues_delete(options);
  return p;
}

std::uint64_t score_tables_bytes(const Args* a) {
  if (!is_bnrc(a)) return 0;
  const bool whole_table = a->oto_interval >= 0;
  // A nucleus builds its state for the sets of two or more parents, and for single parents
  // until the whole-data table has stored every pair: that state's level, as the budget gives
  // it, is kept from the store.
  std::uint64_t nucleus = 0;
  if (a->algo_args->max_parents >= 2 || !whole_table) {
    VLK_ScoreArgs sa = *a->score_args;
    sa.max_memory = a->memory;
    sa.max_parents = a->algo_args->max_parents;
    nucleus = VLK_BNRC_plan(&sa, a->module_size, a->nucleus_data->n).bytes;
  }
  // The whole-data 1-to-1 table is computed once, beside the store it fills: it keeps the
  // memory of its lowest level, so that the run goes on, and the store comes before its higher
  // levels, which save seconds once where the store saves the score of every nucleus.
  const std::uint64_t whole = whole_table ? whole_table_plan(a, 1, a->memory).bytes : 0;
  return std::max(nucleus, whole);
}

std::string backing_directory() {
  const char* ompi = std::getenv("OMPI_MCA_osc_sm_backing_directory");
  if (is_directory(ompi)) return ompi;
  if (is_directory("/dev/shm")) return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return is_directory(tmp) ? tmp : "/tmp";
}

std::uint64_t free_bytes(const std::string& dir) {
  struct statvfs fs;
  if (statvfs(dir.c_str(), &fs) != 0) return 0;
  return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

Reserved reserve_file(const std::string& dir, std::uint64_t bytes) {
  Reserved r;
  std::string name = dir + "/velknnsr-store-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    r.why = errno_text("cannot create a file there: ", errno);
    return r;
  }
  r.path = name;
  // Every block is allocated now: tmpfs answers a shortage here, where a page touched later
  // would end the process with a bus error.
  const int err = posix_fallocate(fd, 0, static_cast<off_t>(bytes));
  void* base =
      err == 0 ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  if (base == MAP_FAILED) {
    r.why = err != 0 ? errno_text("", err) : errno_text("cannot map it: ", errno);
    r.short_of_space = err == ENOSPC;
    unlink(name.c_str());
    close(fd);
    return r;
  }
  r.fd = fd;
  r.base = base;
  return r;
}

Reserved map_file(const std::string& path, std::uint64_t bytes) {
  Reserved r;
  r.path = path;
  const int fd = open(path.c_str(), O_RDWR);
  struct stat st;
  if (fd < 0) {
    r.why = errno_text("cannot open it: ", errno);
    return r;
  }
  if (fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < bytes) {
    r.why = "it is shorter than the block";
    close(fd);
    return r;
  }
  void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    r.why = errno_text("cannot map it: ", errno);
    close(fd);
    return r;
  }
  r.fd = fd;
  r.base = base;
  return r;
}

}  // namespace vlk::store
