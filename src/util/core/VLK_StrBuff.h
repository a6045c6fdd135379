// Growable string builder. Every byte from len to capacity - 1 is zero, so the text is
// NUL-terminated as soon as anything is allocated.
#pragma once

#include <cstddef>

struct VLK_StrBuff {
  char* data;       // null until the first growth
  size_t len;       // length of the text
  size_t capacity;  // bytes allocated
};

// Empty builder, nothing allocated; null when the record cannot be allocated.
VLK_StrBuff* VLK_StrBuff_new();
void VLK_StrBuff_delete(VLK_StrBuff* b);
// capacity += n, new bytes zeroed; null on allocation failure (builder unchanged).
VLK_StrBuff* VLK_StrBuff_expand(VLK_StrBuff* b, size_t n);
// Appends one character / a C string; the builder, or null on allocation failure (text kept).
VLK_StrBuff* VLK_StrBuff_add(VLK_StrBuff* b, char c);
VLK_StrBuff* VLK_StrBuff_add_str(VLK_StrBuff* b, const char* s);
size_t VLK_StrBuff_length(const VLK_StrBuff* b);
size_t VLK_StrBuff_len(const VLK_StrBuff* b);
// The text; a shared empty string while nothing is allocated (never write into that one).
char* VLK_StrBuff_str(const VLK_StrBuff* b);
// New heap copy of the text.
char* VLK_StrBuff_gen(const VLK_StrBuff* b);
// Empties the text, keeping the capacity.
void VLK_StrBuff_clear(VLK_StrBuff* b);
