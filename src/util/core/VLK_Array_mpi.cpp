#include "VLK_Array_mpi.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vlk_fatal.h"

namespace {

// MPI takes element counts as int; a larger array cannot travel in one message.
int message_count(size_t n, const char* fn) {
  if (n > static_cast<size_t>(INT_MAX))
    vlk::fatal("FATAL ERROR: %s(): %zu elements do not fit in one message\n", fn, n);
  return static_cast<int>(n);
}

void need(bool ok, const char* fn, size_t n) {
  if (!ok) vlk::fatal("FATAL ERROR: %s(): cannot allocate %zu elements\n", fn, n);
}

unsigned long bcast_count(size_t n, int root, MPI_Comm comm) {
  unsigned long v = n;
  MPI_Bcast(&v, 1, MPI_UNSIGNED_LONG, root, comm);
  return v;
}

int rank_of(MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  return rank;
}

// A null slot travels as an empty string: the packed form has no way to say "missing".
const char* text_of(const char* s) { return s ? s : ""; }

// Bytes of the strings of a, each with its NUL, as they are packed.
size_t packed_bytes(const VLK_StrArray* a) {
  size_t bytes = 0;
  for (size_t i = 0; i < a->size; ++i) bytes += std::strlen(text_of(a->data[i])) + 1;
  return bytes;
}

void pack(const VLK_StrArray* a, char* buf) {
  for (size_t i = 0; i < a->size; ++i) {
    const char* text = text_of(a->data[i]);
    const size_t len = std::strlen(text) + 1;
    std::memcpy(buf, text, len);
    buf += len;
  }
}

// Appends the n strings packed in buf of `bytes` bytes; a malformed buffer ends the run.
void unpack(VLK_StrArray* a, const char* buf, size_t bytes, size_t n, const char* fn) {
  size_t pos = 0;
  for (size_t i = 0; i < n; ++i) {
    const void* nul = pos < bytes ? std::memchr(buf + pos, '\0', bytes - pos) : nullptr;
    if (nul == nullptr)
      vlk::fatal("FATAL ERROR: %s(): %zu strings announced, buffer holds fewer\n", fn, n);
    need(VLK_StrArray_add_copy(a, buf + pos) != nullptr, fn, n);
    pos = static_cast<size_t>(static_cast<const char*>(nul) - buf) + 1;
  }
}

// Count, byte total and packed buffer of one string array, the root's content sent to all.
void bcast_strings(VLK_StrArray* a, bool is_root, std::vector<char>& buf, int root, MPI_Comm comm,
                   const char* fn) {
  const size_t n = bcast_count(is_root ? a->size : 0, root, comm);
  const size_t bytes = bcast_count(is_root ? packed_bytes(a) : 0, root, comm);
  const int count = message_count(bytes, fn);
  if (!is_root) need(vlk::reserve_exact(a, n), fn, n);
  if (buf.size() < bytes) buf.resize(bytes);
  if (is_root) pack(a, buf.data());
  MPI_Bcast(buf.data(), count, MPI_CHAR, root, comm);
  if (!is_root) unpack(a, buf.data(), bytes, n, fn);
}

}  // namespace

void VLK_IntArray_MPI_Bcast(VLK_IntArray** a, int root, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_IntArray_MPI_Bcast";
  const bool is_root = rank_of(comm) == root;
  const size_t n = bcast_count(is_root ? (*a)->size : 0, root, comm);
  const int count = message_count(n, fn);
  if (!is_root) {
    *a = VLK_IntArray_news(n);
    need(*a != nullptr && (*a)->capacity >= n, fn, n);
  }
  (*a)->size = n;
  MPI_Bcast((*a)->data, count, MPI_INT, root, comm);
}

void VLK_IntArray_MPI_Bcast_ar(VLK_IntArray** block, size_t* n, int root, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_IntArray_MPI_Bcast_ar";
  const bool is_root = rank_of(comm) == root;
  *n = bcast_count(*n, root, comm);
  if (!is_root) {
    *block = VLK_IntArray_new_ar(*n, 0);
    need(*block != nullptr, fn, *n);
  }
  for (size_t i = 0; i < *n; ++i) {
    VLK_IntArray* a = &(*block)[i];
    const size_t size = bcast_count(a->size, root, comm);
    const int count = message_count(size, fn);
    if (!is_root) {
      VLK_IntArray_init(a, size);
      need(a->capacity >= size, fn, size);
      a->size = size;
    }
    MPI_Bcast(a->data, count, MPI_INT, root, comm);
  }
}

void VLK_IntArray_MPI_Bcast_copy(VLK_IntArray* a, int root, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_IntArray_MPI_Bcast_copy";
  const size_t n = bcast_count(a->size, root, comm);
  const int count = message_count(n, fn);
  need(VLK_IntArray_reserve(a, n) != nullptr, fn, n);
  MPI_Bcast(a->data, count, MPI_INT, root, comm);
  a->size = n;
}

void VLK_IntArray_MPI_Send(const VLK_IntArray* a, int dest, MPI_Comm comm) {
  unsigned long n = a->size;
  const int count = message_count(n, "VLK_IntArray_MPI_Send");
  MPI_Send(&n, 1, MPI_UNSIGNED_LONG, dest, 0, comm);
  MPI_Send(a->data, count, MPI_INT, dest, 1, comm);
}

void VLK_IntArray_MPI_Recv(VLK_IntArray* a, int source, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_IntArray_MPI_Recv";
  unsigned long n = 0;
  MPI_Recv(&n, 1, MPI_UNSIGNED_LONG, source, 0, comm, MPI_STATUS_IGNORE);
  const int count = message_count(n, fn);
  need(VLK_IntArray_reserve(a, n) != nullptr, fn, n);
  MPI_Recv(a->data, count, MPI_INT, source, 1, comm, MPI_STATUS_IGNORE);
  a->size = n;
}

void VLK_IntArray_MPI_Recv_add(VLK_IntArray* a, int source, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_IntArray_MPI_Recv_add";
  unsigned long k = 0;
  MPI_Recv(&k, 1, MPI_UNSIGNED_LONG, source, 0, comm, MPI_STATUS_IGNORE);
  const int count = message_count(k, fn);
  if (a->capacity - a->size < k) need(VLK_IntArray_expand(a, k) != nullptr, fn, k);
  MPI_Recv(a->data + a->size, count, MPI_INT, source, 1, comm, MPI_STATUS_IGNORE);
  a->size += k;
}

void VLK_StrArray_MPI_Bcast(VLK_StrArray** a, int root, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_StrArray_MPI_Bcast";
  const bool is_root = rank_of(comm) == root;
  if (!is_root) {
    *a = VLK_StrArray_new();
    need(*a != nullptr, fn, 1);
  }
  std::vector<char> buf;
  bcast_strings(*a, is_root, buf, root, comm, fn);
}

void VLK_StrArray_ar_MPI_Bcast(VLK_StrArray** block, size_t* n, int root, MPI_Comm comm) {
  static constexpr const char* fn = "VLK_StrArray_ar_MPI_Bcast";
  const bool is_root = rank_of(comm) == root;
  *n = bcast_count(*n, root, comm);
  if (!is_root) {
    *block = VLK_StrArray_new_ar(*n);
    need(*block != nullptr, fn, *n);
  }
  std::vector<char> buf;  // one packing buffer for all records, grown only when needed
  for (size_t i = 0; i < *n; ++i) bcast_strings(&(*block)[i], is_root, buf, root, comm, fn);
}
