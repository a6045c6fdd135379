// The wire formats of the exchanges. Gene ids are unsigned 16-bit; 65535 means "no gene".
//
// VLK_EdgeRecord stream (sent as MPI_UNSIGNED_SHORT from a VLK_UShortArray): records back to
// back, each [v, num_pa, num_ch, num_pa parent ids, num_ch child ids]. A parent id u stands
// for the edge u -> v, a child id u for v -> u; every id is below v, so each record goes to
// the owner of v, which keeps all pairs of v with smaller genes. A record carries at least
// one id.
//
// VLK_EdgeValues (sent as MPI_FLOAT from a VLK_FloatArray): `stride` floats per id of a record
// stream, parents then children, record by record (headers carry no values). After a rebuild,
// edge index k of the graph owns values k * stride .. k * stride + stride - 1.
//
// VLK_SelectedNodes: the genes of a batch of nuclei, N rows of K ids, each row ascending; a
// dummy job's row starts with 65535.
//
// The types below are views over those arrays; the writer appends records to a stream and the
// reader walks one.
#pragma once

#include <cstddef>

#include "VLK_UShortArray.h"

inline constexpr unsigned short kNoGene = 65535;

// One record of a stream, pointing into it.
struct VLK_EdgeRecord {
  unsigned short v;
  unsigned short num_pa;
  unsigned short num_ch;
  const unsigned short* parents;   // num_pa ids, each standing for u -> v
  const unsigned short* children;  // num_ch ids, each standing for v -> u
  size_t size() const { return 3u + num_pa + num_ch; }
};

// Walks the records of ids[0 .. count-1] in order.
class EdgeRecordReader {
 public:
  EdgeRecordReader(const unsigned short* ids, size_t count) : pos_(ids), end_(ids + count) {}
  // Fills `rec` with the next record; false at the end of the stream.
  bool next(VLK_EdgeRecord* rec);

 private:
  const unsigned short* pos_;
  const unsigned short* end_;
};

// Appends one record to a stream: begin(v), then the parent ids, then children(), then the
// child ids, then end(). end() writes the header, or takes the record back when it has no id.
// A stream that cannot grow ends every process with a message (`what` names the stream).
class EdgeRecordWriter {
 public:
  EdgeRecordWriter(VLK_UShortArray* stream, const char* what) : s_(stream), what_(what) {}
  void begin(unsigned short v);
  void add(unsigned short id);
  void children();
  // The number of ids of the record, 0 when it was taken back.
  size_t end();
  unsigned short num_pa() const { return static_cast<unsigned short>(num_pa_); }
  unsigned short num_ch() const { return static_cast<unsigned short>(num_ch_); }

 private:
  VLK_UShortArray* s_;
  const char* what_;
  size_t start_ = 0;
  size_t num_pa_ = 0;
  size_t num_ch_ = 0;
  bool in_children_ = false;
};

// `stride` values per edge; edge k's values start at k * stride.
struct VLK_EdgeValues {
  const float* data;
  size_t size;
  int stride;
  size_t edges() const { return size / static_cast<size_t>(stride); }
  const float* of(size_t k) const { return data + k * static_cast<size_t>(stride); }
};

struct VLK_SelectedNodes {
  const unsigned short* ids;
  int rows;  // N
  int K;
  const unsigned short* row(int j) const {
    return ids + static_cast<size_t>(j) * static_cast<size_t>(K);
  }
  bool dummy(int j) const { return row(j)[0] == kNoGene; }
  size_t count() const { return static_cast<size_t>(rows) * static_cast<size_t>(K); }
};
