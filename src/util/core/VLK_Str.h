// Text utilities: copies, splitting, trimming, line reading of any length and telling a
// number from a word. Every function returning a new string returns it malloc'ed; token
// lists are VLK_StrArray records of new strings, owned by the caller.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "VLK_StrArray.h"

// Heap copy of s; null for null.
char* VLK_Str_copy(const char* s);
// The first n characters of s (fewer when s is shorter).
char* VLK_Str_substr(const char* s, size_t n);

// Tokens between occurrences of c; empty tokens kept, so always count(c) + 1 tokens
// (none for the empty string).
VLK_StrArray* VLK_Str_split(const char* s, char c);
// Only the non-empty runs of characters other than c.
VLK_StrArray* VLK_Str_split2(const char* s, char c);
// As VLK_Str_split, each token trimmed of blank, tab and newline.
VLK_StrArray* VLK_Str_split_trim(const char* s, char c);
// Tokens between non-overlapping occurrences of d (left to right); empty d gives a copy of s.
VLK_StrArray* VLK_Str_split_str(const char* s, const char* d);
// Occurrences of c plus 1.
int VLK_Str_num_tokens(const char* s, char c);

// One line into the caller's buffer (start with null and 0, free after the last call).
// Lines end at LF, CR or CR LF (not stored). 0 with a line, 1 at the end of the input.
int VLK_Str_readline(FILE* fp, char** buf, size_t* cap);
// The same through fgets: only LF ends a line, a CR before it stays part of the line.
int VLK_Str_readline_buff(FILE* fp, char** buf, size_t* cap);

// In place: NUL after the last non-blank (blank, tab, newline); returns the first non-blank.
char* VLK_Str_trim(char* s);
// The same for the blank character only.
char* VLK_Str_trim_sp(char* s);
// Narrows [*start, *end) of s past blanks, tabs and newlines at both ends.
void VLK_Str_trim2(const char* s, size_t* start, size_t* end);

// 1 for a decimal digit, else 0.
int VLK_Str_is_num(int c);
// Lower-cases s in place and returns it.
char* VLK_Str_lower(char* s);
// Writes the lower-cased src, NUL included, into dst.
void VLK_Str_lower2(const char* src, char* dst);

// Type id 4 ("double") when s reads as a decimal number, 5 ("string") otherwise, 0 for null.
int VLK_Str_detect_string_double(const char* s);

namespace vlk {

// A text that may be missing, as printed: "" for none.
inline const char* or_empty(const char* s) { return s != nullptr ? s : ""; }

// A text for one message line: TAB, LF and CR written as \t, \n and \r, every other control
// byte as \xHH; at most `max` bytes of it, then "..." when it was longer.
std::string printable(std::string_view text, size_t max = std::string_view::npos);

// The two line readers above, also giving the number of bytes the line held (*len, its end not
// counted). A line holding a NUL byte reads as a shorter C string; only *len tells.
int readline(FILE* fp, char** buf, size_t* cap, size_t* len);
int readline_buff(FILE* fp, char** buf, size_t* cap, size_t* len);

// The caller's buffer of the line readers, reused across the lines of one read and freed at
// scope exit. With `first`, that many bytes are allocated up front (data stays null when that
// fails).
struct LineBuffer {
  char* data = nullptr;
  size_t cap = 0;
  size_t len = 0;  // bytes of the last line read, NUL bytes included
  LineBuffer() = default;
  explicit LineBuffer(size_t first);
  ~LineBuffer();
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  // VLK_Str_readline into this buffer: true with a line.
  bool read(FILE* fp) { return readline(fp, &data, &cap, &len) == 0 && data != nullptr; }
  // VLK_Str_readline_buff into this buffer: true with a line.
  bool read_lf(FILE* fp) { return readline_buff(fp, &data, &cap, &len) == 0 && data != nullptr; }
  // The last line held a NUL byte, so data stops short of its end.
  bool holds_nul() const { return std::strlen(data) != len; }
};

}  // namespace vlk
