#include "VLK_Str.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "vlk_fatal.h"

namespace {

constexpr bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

char* copy_n(std::string_view s) {
  char* out = static_cast<char*>(std::malloc(s.size() + 1));
  if (out == nullptr) return nullptr;
  if (!s.empty()) std::memcpy(out, s.data(), s.size());
  out[s.size()] = '\0';
  return out;
}

std::string_view trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b])) ++b;
  while (e > b && is_blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Builds a token list, releasing everything on the first failed allocation.
class Tokens {
 public:
  explicit Tokens(size_t capacity) : a_(VLK_StrArray_news(capacity)) {
    if (a_ != nullptr && capacity != 0 && a_->capacity < capacity) fail();
  }
  ~Tokens() { VLK_StrArray_delete_all(a_); }
  Tokens(const Tokens&) = delete;
  Tokens& operator=(const Tokens&) = delete;

  void add(std::string_view t) {
    if (a_ == nullptr) return;
    char* c = copy_n(t);
    if (c == nullptr || VLK_StrArray_add(a_, c) == nullptr) {
      std::free(c);
      fail();
    }
  }
  VLK_StrArray* release() { return std::exchange(a_, nullptr); }

 private:
  void fail() {
    VLK_StrArray_delete_all(a_);
    a_ = nullptr;
  }
  VLK_StrArray* a_;
};

// Calls f on every token of s between occurrences of c (count(c) + 1 of them).
template <class F>
void for_each_field(std::string_view s, char c, F f) {
  for (;;) {
    const size_t p = s.find(c);
    if (p == std::string_view::npos) {
      f(s);
      return;
    }
    f(s.substr(0, p));
    s.remove_prefix(p + 1);
  }
}

template <class Map>
VLK_StrArray* split_fields(const char* s, char c, Map map) {
  const std::string_view sv = s ? s : "";
  if (sv.empty()) return VLK_StrArray_new();
  Tokens out(static_cast<size_t>(std::count(sv.begin(), sv.end(), c)) + 1);
  for_each_field(sv, c, [&](std::string_view t) { out.add(map(t)); });
  return out.release();
}

// The UTF-8 byte-order mark that some editors put at the start of a text file.
constexpr std::array<int, 3> kBom = {0xEF, 0xBB, 0xBF};

bool starts_with_bom(const char* s, size_t n) {
  return n >= kBom.size() && std::equal(kBom.begin(), kBom.end(), s, [](int b, char c) {
           return static_cast<unsigned char>(c) == b;
         });
}

// Appends n bytes to the text of length len in *buf, growing it to exactly len + n + extra
// bytes when *cap is smaller.
bool append_exact(char** buf, size_t* cap, size_t len, const char* src, size_t n, size_t extra) {
  const size_t need = len + n + extra;
  if (*buf == nullptr || *cap < need) {
    char* grown = static_cast<char*>(std::realloc(*buf, need));
    if (grown == nullptr) return false;
    *buf = grown;
    *cap = need;
  }
  if (n) std::memcpy(*buf + len, src, n);
  return true;
}

}  // namespace

char* VLK_Str_copy(const char* s) { return s ? strdup(s) : nullptr; }

char* VLK_Str_substr(const char* s, size_t n) {
  if (s == nullptr) return nullptr;
  return copy_n(std::string_view(s, strnlen(s, n)));
}

VLK_StrArray* VLK_Str_split(const char* s, char c) {
  return split_fields(s, c, [](std::string_view t) { return t; });
}

VLK_StrArray* VLK_Str_split_trim(const char* s, char c) { return split_fields(s, c, trimmed); }

VLK_StrArray* VLK_Str_split2(const char* s, char c) {
  const std::string_view sv = s ? s : "";
  size_t n = 0;
  for_each_field(sv, c, [&](std::string_view t) { n += !t.empty(); });
  Tokens out(n);
  for_each_field(sv, c, [&](std::string_view t) {
    if (!t.empty()) out.add(t);
  });
  return out.release();
}

VLK_StrArray* VLK_Str_split_str(const char* s, const char* d) {
  std::string_view rest = s ? s : "";
  const std::string_view delim = d ? d : "";
  if (rest.empty()) return VLK_StrArray_new();
  Tokens out(1);
  if (!delim.empty()) {
    for (size_t p; (p = rest.find(delim)) != std::string_view::npos;) {
      out.add(rest.substr(0, p));
      rest.remove_prefix(p + delim.size());
    }
  }
  out.add(rest);
  return out.release();
}

int VLK_Str_num_tokens(const char* s, char c) {
  if (s == nullptr) return 0;
  const std::string_view sv = s;
  return static_cast<int>(std::count(sv.begin(), sv.end(), c)) + 1;
}

int vlk::readline(FILE* fp, char** buf, size_t* cap, size_t* len) {
  constexpr size_t kChunk = 1024;
  std::array<char, kChunk> chunk;
  size_t n = 0;     // characters in the chunk
  size_t done = 0;  // characters already moved to *buf
  bool any = false;
  *len = 0;
  int ch = getc(fp);
  if (ch == kBom[0] && std::ftell(fp) == 1) {
    // A byte-order mark at the very start of the stream is no part of the first line; the
    // bytes of one begun but not finished are.
    size_t matched = 1;
    while (matched < kBom.size() && (ch = getc(fp)) == kBom[matched]) ++matched;
    if (matched == kBom.size()) {
      ch = getc(fp);
    } else {
      for (size_t k = 0; k < matched; ++k) chunk[n++] = static_cast<char>(kBom[k]);
      any = true;
    }
  }
  for (; ch != EOF; ch = getc(fp)) {
    any = true;
    if (ch == '\n') break;
    if (ch == '\r') {
      const int next = getc(fp);
      if (next != '\n' && next != EOF) ungetc(next, fp);
      break;
    }
    if (n == kChunk - 1) {
      if (!append_exact(buf, cap, done, chunk.data(), n, 0)) return 1;
      done += n;
      n = 0;
    }
    chunk[n++] = static_cast<char>(ch);
  }
  // A read error ends the input the same way end of file does.
  if (!any) return 1;
  if (!append_exact(buf, cap, done, chunk.data(), n, 1)) return 1;
  *len = done + n;
  (*buf)[*len] = '\0';
  return 0;
}

int vlk::readline_buff(FILE* fp, char** buf, size_t* cap, size_t* len) {
  // fgets stores a NUL byte of the input like any other and does not say how much it stored.
  // In a piece filled beforehand with bytes that are no NUL, the NUL it writes after the text
  // is the last one, which gives the length; reading straight into *buf would cost a fill of
  // the whole buffer per line.
  constexpr size_t kPiece = 1024;
  char piece[kPiece];
  size_t done = 0;  // characters of this line in *buf
  bool any = false;
  *len = 0;
  for (bool end = false; !end;) {
    std::memset(piece, '\n', kPiece);
    // Without a LF the line ends with the input (or a read error).
    if (std::fgets(piece, kPiece, fp) == nullptr) break;
    any = true;
    size_t n = static_cast<size_t>(static_cast<char*>(memrchr(piece, '\0', kPiece)) - piece);
    end = n > 0 && piece[n - 1] == '\n';
    if (done == 0 && starts_with_bom(piece, n) && std::ftell(fp) == static_cast<long>(n)) {
      std::memmove(piece, piece + kBom.size(), n - kBom.size());  // read from the stream's start
      n -= kBom.size();
      any = n > 0;  // a stream of the mark alone holds no line
    }
    if (end) --n;  // the LF is not stored
    if (!append_exact(buf, cap, done, piece, n, 1)) return 1;
    done += n;
  }
  if (!any) return 1;
  *len = done;
  (*buf)[done] = '\0';
  return 0;
}

int VLK_Str_readline(FILE* fp, char** buf, size_t* cap) {
  size_t len;
  return vlk::readline(fp, buf, cap, &len);
}

int VLK_Str_readline_buff(FILE* fp, char** buf, size_t* cap) {
  size_t len;
  return vlk::readline_buff(fp, buf, cap, &len);
}

char* VLK_Str_trim(char* s) {
  if (s == nullptr) return nullptr;
  const std::string_view t = trimmed(s);
  if (t.empty()) {
    *s = '\0';
    return s;
  }
  char* first = s + (t.data() - s);
  first[t.size()] = '\0';
  return first;
}

char* VLK_Str_trim_sp(char* s) {
  if (s == nullptr) return nullptr;
  char* b = s;
  while (*b == ' ') ++b;
  char* e = b + std::strlen(b);
  while (e > b && e[-1] == ' ') --e;
  *e = '\0';
  return b;
}

void VLK_Str_trim2(const char* s, size_t* start, size_t* end) {
  while (*start < *end && is_blank(s[*start])) ++*start;
  while (*end > *start && is_blank(s[*end - 1])) --*end;
}

int VLK_Str_is_num(int c) { return c >= '0' && c <= '9'; }

char* VLK_Str_lower(char* s) {
  if (s == nullptr) return nullptr;
  for (char* p = s; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return s;
}

void VLK_Str_lower2(const char* src, char* dst) {
  do {
    *dst++ = static_cast<char>(std::tolower(static_cast<unsigned char>(*src)));
  } while (*src++);
}

namespace {

// The number automaton: one row per state, one column per character class.
enum CharClass : unsigned char { kBlank, kSign, kDot, kDigit, kEnd, kOther, kClasses };
constexpr signed char kAccept = -1;
constexpr signed char kReject = -2;

constexpr signed char R = kReject, A = kAccept;
constexpr signed char kNumberTable[6][kClasses] = {
    //        blank sign dot digit NUL other
    /* 0 */ {0, 4, 5, 1, R, R},  // start
    /* 1 */ {R, R, 2, 1, A, R},  // integer part
    /* 2 */ {3, R, R, 2, A, R},  // fraction
    /* 3 */ {3, R, R, R, A, R},  // trailing blanks
    /* 4 */ {R, R, 5, 1, R, R},  // after '+' or '-'
    /* 5 */ {R, R, R, 2, R, R},  // after a leading '.'
};

constexpr CharClass char_class(char c) {
  if (is_blank(c)) return kBlank;
  if (c == '+' || c == '-') return kSign;
  if (c == '.') return kDot;
  if (is_digit(c)) return kDigit;
  if (c == '\0') return kEnd;
  return kOther;
}

constexpr int kTypeDouble = 4;
constexpr int kTypeString = 5;

}  // namespace

int VLK_Str_detect_string_double(const char* s) {
  if (s == nullptr) return 0;
  int state = 0;
  for (const char* p = s;; ++p) {
    if (state < 0 || state >= 6) vlk::fatal("FATAL ERROR: VLK_Str_detect_string_double()\n");
    state = kNumberTable[state][char_class(*p)];
    if (state == kAccept) return kTypeDouble;
    if (state == kReject) return kTypeString;
  }
}

std::string vlk::printable(std::string_view whole, size_t max) {
  const std::string_view text = whole.substr(0, max);
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 || u == 0x7f) {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  if (whole.size() > text.size()) out += "...";
  return out;
}

vlk::LineBuffer::LineBuffer(size_t first) {
  data = static_cast<char*>(std::malloc(first ? first : 1));
  if (data == nullptr) return;
  data[0] = '\0';
  cap = first ? first : 1;
}

vlk::LineBuffer::~LineBuffer() { std::free(data); }
