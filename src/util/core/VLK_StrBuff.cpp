#include "VLK_StrBuff.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

namespace {

// Handed out while a builder has nothing allocated.
char empty_text[1] = "";

// No block may exceed the largest object size.
constexpr size_t kMaxBytes = static_cast<size_t>(std::numeric_limits<std::ptrdiff_t>::max());

// Grows the block to `capacity` bytes, zeroing the new ones; false (builder untouched) on failure.
bool grow_to(VLK_StrBuff* b, size_t capacity) {
  if (capacity <= b->capacity) return true;
  if (capacity > kMaxBytes) return false;
  char* data = static_cast<char*>(std::realloc(b->data, capacity));
  if (data == nullptr) return false;
  std::memset(data + b->capacity, 0, capacity - b->capacity);
  b->data = data;
  b->capacity = capacity;
  return true;
}

}  // namespace

VLK_StrBuff* VLK_StrBuff_new() {
  return static_cast<VLK_StrBuff*>(std::calloc(1, sizeof(VLK_StrBuff)));
}

void VLK_StrBuff_delete(VLK_StrBuff* b) {
  if (b == nullptr) return;
  std::free(b->data);
  std::free(b);
}

VLK_StrBuff* VLK_StrBuff_expand(VLK_StrBuff* b, size_t n) {
  if (n > kMaxBytes - b->capacity) return nullptr;
  return grow_to(b, b->capacity + n) ? b : nullptr;
}

VLK_StrBuff* VLK_StrBuff_add(VLK_StrBuff* b, char c) {
  if (b->capacity <= b->len + 1) {
    const size_t step = b->capacity ? b->capacity : 10;
    if (step > kMaxBytes - b->capacity) return nullptr;
    if (!grow_to(b, b->capacity + step)) return nullptr;
  }
  b->data[b->len++] = c;
  return b;
}

VLK_StrBuff* VLK_StrBuff_add_str(VLK_StrBuff* b, const char* s) {
  if (s == nullptr) return b;
  const size_t n = std::strlen(s);
  if (n > kMaxBytes - b->len - 1) return nullptr;
  const size_t need = b->len + n + 1;
  if (b->capacity < need) {
    // s may lie inside the builder's own text, which the growth can move.
    const bool inside = b->data != nullptr && std::less_equal<const char*>()(b->data, s) &&
                        std::less<const char*>()(s, b->data + b->capacity);
    const size_t offset = inside ? static_cast<size_t>(s - b->data) : 0;
    const size_t doubled = std::min(kMaxBytes, 2 * b->capacity);
    if (!grow_to(b, std::max(need, doubled))) return nullptr;
    if (inside) s = b->data + offset;
  }
  std::memmove(b->data + b->len, s, n);
  b->len += n;
  return b;
}

size_t VLK_StrBuff_length(const VLK_StrBuff* b) { return b->len; }
size_t VLK_StrBuff_len(const VLK_StrBuff* b) { return b->len; }

char* VLK_StrBuff_str(const VLK_StrBuff* b) { return b->capacity ? b->data : empty_text; }

char* VLK_StrBuff_gen(const VLK_StrBuff* b) { return strdup(VLK_StrBuff_str(b)); }

void VLK_StrBuff_clear(VLK_StrBuff* b) {
  if (b->len) std::memset(b->data, 0, b->len);
  b->len = 0;
}
