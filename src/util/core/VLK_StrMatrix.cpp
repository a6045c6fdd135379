#include "VLK_StrMatrix.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "VLK_Str.h"
#include "vlk_owned.h"

namespace {

using MatrixPtr = vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete>;

bool equals(const char* field, const char* s) { return field && std::strcmp(field, s) == 0; }

}  // namespace

VLK_StrMatrix* VLK_StrMatrix_new() { return vlk::make<VLK_StrMatrix>(); }

void VLK_StrMatrix_delete(VLK_StrMatrix* m) {
  if (m == nullptr) return;
  for (size_t i = 0; i < m->size; ++i) VLK_StrArray_delete_all(m->data[i]);
  vlk::destroy(m);
}

VLK_StrMatrix* vlk::read_delim_fp(FILE* fp, char c, size_t* nul_line) {
  if (nul_line != nullptr) *nul_line = 0;
  if (fp == nullptr) return nullptr;
  MatrixPtr m(VLK_StrMatrix_new());
  if (!m) return nullptr;
  vlk::LineBuffer buf;
  while (buf.read(fp)) {
    if (nul_line != nullptr && buf.holds_nul()) {
      *nul_line = m->size + 1;
      return nullptr;
    }
    VLK_StrArray* line = VLK_Str_split(buf.data, c);
    if (line == nullptr) return nullptr;
    if (VLK_StrMatrix_add_line(m.get(), line) == nullptr) {
      VLK_StrArray_delete_all(line);
      return nullptr;
    }
  }
  return m.release();
}

VLK_StrMatrix* VLK_StrMatrix_read_delim_fp(FILE* fp, char c) {
  return vlk::read_delim_fp(fp, c, nullptr);
}

VLK_StrMatrix* VLK_StrMatrix_read_fp(FILE* fp) { return VLK_StrMatrix_read_delim_fp(fp, '\t'); }

VLK_StrMatrix* VLK_StrMatrix_read_file(const char* path) {
  FILE* fp = std::fopen(path, "r");
  if (fp == nullptr) return nullptr;
  VLK_StrMatrix* m = VLK_StrMatrix_read_fp(fp);
  std::fclose(fp);
  return m;
}

void VLK_StrMatrix_write_fp(FILE* fp, const VLK_StrMatrix* m) {
  for (size_t i = 0; i < m->size; ++i) {
    const VLK_StrArray* line = m->data[i];
    for (size_t j = 0; j < line->size; ++j) {
      if (j) std::fputc('\t', fp);
      std::fprintf(fp, "%s", line->data[j] ? line->data[j] : "");
    }
    std::fprintf(fp, "\n");
  }
}

size_t VLK_StrMatrix_lines(const VLK_StrMatrix* m) { return m->size; }
size_t VLK_StrMatrix_rows(const VLK_StrMatrix* m) { return m->size; }

size_t VLK_StrMatrix_cols(const VLK_StrMatrix* m, size_t i) {
  return i < m->size ? m->data[i]->size : 0;
}

VLK_StrArray* VLK_StrMatrix_get_line(const VLK_StrMatrix* m, size_t i) {
  return i < m->size ? m->data[i] : nullptr;
}

char* VLK_StrMatrix_get(const VLK_StrMatrix* m, size_t i, size_t j) {
  const VLK_StrArray* line = VLK_StrMatrix_get_line(m, i);
  return line && j < line->size ? line->data[j] : nullptr;
}

VLK_StrMatrix* VLK_StrMatrix_add_line(VLK_StrMatrix* m, VLK_StrArray* line) {
  return vlk::append(m, line);
}

VLK_StrArray* VLK_StrMatrix_get_column(const VLK_StrMatrix* m, size_t j) {
  VLK_StrArray* col = VLK_StrArray_news(m->size);
  if (col == nullptr) return nullptr;
  for (size_t i = 0; i < m->size; ++i) {
    const VLK_StrArray* line = m->data[i];
    if (VLK_StrArray_add_copy(col, j < line->size ? line->data[j] : "") == nullptr) {
      VLK_StrArray_delete_all(col);
      return nullptr;
    }
  }
  return col;
}

long VLK_StrMatrix_find_line(const VLK_StrMatrix* m, const char* s) {
  if (s == nullptr) return -1;
  return vlk::find_if(m, [s](const VLK_StrArray* line) { return VLK_StrArray_find(line, s) >= 0; });
}

long VLK_StrMatrix_find_line_col(const VLK_StrMatrix* m, const char* s, size_t j) {
  if (s == nullptr) return -1;
  return vlk::find_if(
      m, [s, j](const VLK_StrArray* line) { return j < line->size && equals(line->data[j], s); });
}
