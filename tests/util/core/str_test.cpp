#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Str.h"
#include "VLK_StrBuff.h"
#include "vlk_owned.h"

namespace {

using Strings = std::vector<std::string>;

using StrArrayPtr = vlk::Owned<VLK_StrArray, VLK_StrArray_delete_all>;

struct Free {
  void operator()(void* p) const { std::free(p); }
};
using CharPtr = std::unique_ptr<char, Free>;

Strings tokens(VLK_StrArray* raw) {
  StrArrayPtr a(raw);
  EXPECT_NE(a, nullptr);
  Strings out;
  if (a)
    for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i]);
  return out;
}

// ---------------------------------------------------------------- copies

TEST(StrPrintable, ControlBytesWrittenOut) {
  using namespace std::string_literals;
  EXPECT_EQ(vlk::printable("plain text, \"quoted\" and \\"), "plain text, \"quoted\" and \\");
  EXPECT_EQ(vlk::printable("a\tb\nc\rd"), "a\\tb\\nc\\rd");
  EXPECT_EQ(vlk::printable("\x01\x1f\x7f"s), "\\x01\\x1f\\x7f");
  EXPECT_EQ(vlk::printable("nul\0byte"s), "nul\\x00byte");
  EXPECT_EQ(vlk::printable("\xC3\xA9"), "\xC3\xA9");  // UTF-8 stays as it is
  EXPECT_EQ(vlk::printable(""), "");
}

TEST(StrCopy, CopyAndSubstr) {
  EXPECT_EQ(VLK_Str_copy(nullptr), nullptr);
  const char* text = "abc";
  CharPtr c(VLK_Str_copy(text));
  EXPECT_STREQ(c.get(), "abc");
  EXPECT_NE(c.get(), text);

  struct Case {
    const char* s;
    size_t n;
    const char* want;
  };
  for (const Case& k : {Case{"abc", 2, "ab"}, Case{"abc", 0, ""}, Case{"ab", 5, "ab"},
                        Case{"", 3, ""}, Case{"abc", 3, "abc"}}) {
    CharPtr s(VLK_Str_substr(k.s, k.n));
    EXPECT_STREQ(s.get(), k.want) << k.s << " " << k.n;
  }
}

// ---------------------------------------------------------------- splitting

enum class Split { plain, drop_empty, trim };

TEST(StrSplit, AtChar) {
  struct Case {
    Split how;
    const char* s;
    Strings want;
  };
  const std::vector<Case> cases = {
      {Split::plain, "", {}},
      {Split::plain, "a", {"a"}},
      {Split::plain, ",", {"", ""}},
      {Split::plain, "a,,b", {"a", "", "b"}},
      {Split::plain, "a,", {"a", ""}},
      {Split::plain, ",a", {"", "a"}},
      {Split::plain, " a , b ", {" a ", " b "}},
      {Split::plain, "a\tb", {"a\tb"}},
      {Split::drop_empty, ",,a,,b,", {"a", "b"}},
      {Split::drop_empty, ",,,", {}},
      {Split::drop_empty, "", {}},
      {Split::drop_empty, "abc", {"abc"}},
      {Split::trim, " a \t, b\n,\r c ,  ", {"a", "b", "\r c", ""}},
      {Split::trim, ",", {"", ""}},
      {Split::trim, "", {}},
  };
  for (const Case& c : cases) {
    VLK_StrArray* a = c.how == Split::plain        ? VLK_Str_split(c.s, ',')
                      : c.how == Split::drop_empty ? VLK_Str_split2(c.s, ',')
                                                   : VLK_Str_split_trim(c.s, ',');
    EXPECT_EQ(tokens(a), c.want) << static_cast<int>(c.how) << " [" << c.s << "]";
  }
}

TEST(StrSplit, PlainSplitReservesOneSlotPerToken) {
  StrArrayPtr a(VLK_Str_split("a,b,,c", ','));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->size, 4u);
  EXPECT_EQ(a->capacity, 4u);
  EXPECT_EQ(VLK_Str_num_tokens("a,b,,c", ','), 4);
  EXPECT_EQ(VLK_Str_num_tokens("", ','), 1);
  EXPECT_EQ(VLK_Str_num_tokens(",", ','), 2);
}

TEST(StrSplit, AtString) {
  struct Case {
    const char* s;
    const char* d;
    Strings want;
  };
  const std::vector<Case> cases = {
      {"a::b::", "::", {"a", "b", ""}},
      {"abc", "", {"abc"}},
      {"", "::", {}},
      {"", "", {}},
      {"a", "::", {"a"}},
      {"::a", "::", {"", "a"}},
      {":::", "::", {"", ":"}},  // matches never overlap, leftmost first
      {"aaaa", "aa", {"", "", ""}},
      {"gene__alias__x", "__", {"gene", "alias", "x"}},
      {"ab", "abc", {"ab"}},
  };
  for (const Case& c : cases) EXPECT_EQ(tokens(VLK_Str_split_str(c.s, c.d)), c.want) << c.s;
}

// ---------------------------------------------------------------- line readers

using Reader = int (*)(FILE*, char**, size_t*);

// A stream over the bytes, as the readers meet files (ungetc and fgets on a real file).
FILE* stream_of(const std::string& bytes) {
  FILE* fp = std::tmpfile();
  if (fp == nullptr) return nullptr;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), fp);
  std::rewind(fp);
  return fp;
}

struct Read {
  Strings lines;
  size_t cap = 0;
};

// All lines until the reader signals the end; the signal must repeat on a further call.
Read read_all(Reader reader, const std::string& bytes, size_t first_buffer = 0) {
  Read out;
  FILE* fp = stream_of(bytes);
  EXPECT_NE(fp, nullptr);
  if (fp == nullptr) return out;
  char* buf = first_buffer ? static_cast<char*>(std::calloc(first_buffer, 1)) : nullptr;
  size_t cap = first_buffer;
  size_t guard = 0;
  while (reader(fp, &buf, &cap) == 0 && ++guard < 100) {
    out.lines.emplace_back(buf);
    EXPECT_GT(cap, out.lines.back().size());
  }
  EXPECT_EQ(reader(fp, &buf, &cap), 1);
  out.cap = cap;
  std::free(buf);
  std::fclose(fp);
  return out;
}

std::string long_line(size_t n) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

TEST(StrReadline, LineEnds) {
  struct Case {
    std::string bytes;
    Strings readline;  // VLK_Str_readline: LF, CR and CR LF end lines
    Strings buff;      // VLK_Str_readline_buff: only LF, a CR stays in the line
  };
  const std::vector<Case> cases = {
      {"", {}, {}},
      {"\n", {""}, {""}},
      {"\n\n", {"", ""}, {"", ""}},
      {"a\r\nb\rc", {"a", "b", "c"}, {"a\r", "b\rc"}},
      {"a\nb\n", {"a", "b"}, {"a", "b"}},
      {"a\nb", {"a", "b"}, {"a", "b"}},
      {"x", {"x"}, {"x"}},
      {"\r", {""}, {"\r"}},
      {"\r\r\n", {"", ""}, {"\r\r"}},
      {"a\r\r", {"a", ""}, {"a\r\r"}},
      {"a\n\nb", {"a", "", "b"}, {"a", "", "b"}},
      {" a b\t\n", {" a b\t"}, {" a b\t"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_all(VLK_Str_readline, c.bytes).lines, c.readline) << "[" << c.bytes << "]";
    EXPECT_EQ(read_all(VLK_Str_readline_buff, c.bytes).lines, c.buff) << "[" << c.bytes << "]";
    EXPECT_EQ(read_all(VLK_Str_readline_buff, c.bytes, 128).lines, c.buff) << "[" << c.bytes << "]";
  }
}

TEST(StrReadline, LongLinesAroundTheChunkSizes) {
  for (size_t n : {126, 127, 128, 129, 1022, 1023, 1024, 1025, 2046, 2047, 2048, 5000}) {
    const std::string line = long_line(n);
    const Strings want = {line, "tail", line};
    for (const std::string& end : {std::string("\n"), std::string("\r\n")}) {
      for (const std::string& last : {end, std::string()}) {  // with and without a final end
        const std::string bytes = line + end + "tail" + end + line + last;
        const Read plain = read_all(VLK_Str_readline, bytes);
        EXPECT_EQ(plain.lines, want) << n;
        // The buffer fits the longest line exactly and is not shrunk by shorter ones.
        EXPECT_EQ(plain.cap, n + 1) << n;

        if (end == "\r\n") continue;  // the fgets reader keeps the CR; covered in LineEnds
        for (size_t first : {0, 128}) {
          const Read buff = read_all(VLK_Str_readline_buff, bytes, first);
          EXPECT_EQ(buff.lines, want) << n << " first buffer " << first;
          EXPECT_GE(buff.cap, n + 1);
          EXPECT_LE(buff.cap, std::max<size_t>(first, n + 2));
        }
      }
    }
  }
}

TEST(StrReadline, CrLfSplitAcrossTheChunkBoundary) {
  // The CR is the 1024th character: its LF must still be taken as part of the same line end.
  const std::string line = long_line(1023);
  EXPECT_EQ(read_all(VLK_Str_readline, line + "\r\nz").lines, (Strings{line, "z"}));
  EXPECT_EQ(read_all(VLK_Str_readline_buff, line + "\r\nz").lines, (Strings{line + "\r", "z"}));
}

// A NUL byte is part of its line: the line ends where the input says, and the length tells what
// the C string cannot. The fgets reader once glued the next line on behind such a byte.
TEST(StrReadline, NulBytesStayInsideTheirLine) {
  using namespace std::string_literals;
  const std::string longer = long_line(1500);
  struct Case {
    std::string bytes;
    Strings lines;  // as the bytes they held
  } cases[] = {
      {"a\0b\nc\n"s, {"a\0b"s, "c"}},
      {"\0\n\0"s, {"\0"s, "\0"s}},
      {"x\ny\0z"s, {"x", "y\0z"s}},
      {longer + "\0"s + longer + "\nend\n", {longer + "\0"s + longer, "end"}},
      {std::string(1023, 'q') + "\0\n"s, {std::string(1023, 'q') + "\0"s}},
  };
  using LenReader = int (*)(FILE*, char**, size_t*, size_t*);
  for (LenReader reader : {vlk::readline, vlk::readline_buff}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.lines.front().size());
      FILE* fp = stream_of(c.bytes);
      ASSERT_NE(fp, nullptr);
      vlk::LineBuffer buf;
      Strings got;
      while (reader(fp, &buf.data, &buf.cap, &buf.len) == 0) {
        got.emplace_back(buf.data, buf.len);
        EXPECT_EQ(buf.holds_nul(), got.back().find('\0') != std::string::npos);
        EXPECT_GT(buf.cap, buf.len);
      }
      EXPECT_EQ(got, c.lines);
      std::fclose(fp);
    }
  }
}

TEST(StrReadline, ReadErrorEndsTheInput) {
  // Reading a directory fails with an error that is not end of file.
  for (Reader reader : {VLK_Str_readline, VLK_Str_readline_buff}) {
    FILE* fp = std::fopen("/", "r");
    ASSERT_NE(fp, nullptr);
    char* buf = nullptr;
    size_t cap = 0;
    EXPECT_EQ(reader(fp, &buf, &cap), 1);
    EXPECT_TRUE(std::ferror(fp));
    EXPECT_EQ(reader(fp, &buf, &cap), 1);
    std::free(buf);
    std::fclose(fp);
  }
}

// A UTF-8 byte-order mark at the very start of a stream is no part of the first line; anywhere
// else, or begun and not finished, its bytes are text like any other.
TEST(StrReadline, ByteOrderMarkAtTheStartOnly) {
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    std::string bytes;
    Strings readline, buff;
  };
  const std::vector<Case> cases = {
      {bom + "a\tb\nc\n", {"a\tb", "c"}, {"a\tb", "c"}},
      {bom + "x", {"x"}, {"x"}},
      {bom + "\n", {""}, {""}},
      {bom + "\r\nz", {"", "z"}, {"\r", "z"}},
      {bom, {}, {}},
      {bom + bom + "a\n", {bom + "a"}, {bom + "a"}},
      {"a\n" + bom + "b\n", {"a", bom + "b"}, {"a", bom + "b"}},
      {"\xEF\xBB" + std::string("a\n"),
       {"\xEF\xBB"
        "a"},
       {"\xEF\xBB"
        "a"}},
      {"\xEF\xBB\n", {"\xEF\xBB"}, {"\xEF\xBB"}},
      {"\xEF", {"\xEF"}, {"\xEF"}},
      {bom + long_line(2000) + "\n", {long_line(2000)}, {long_line(2000)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    EXPECT_EQ(read_all(VLK_Str_readline, c.bytes).lines, c.readline);
    EXPECT_EQ(read_all(VLK_Str_readline_buff, c.bytes).lines, c.buff);
    EXPECT_EQ(read_all(VLK_Str_readline_buff, c.bytes, 128).lines, c.buff);
  }
  // A stream read from the middle on does not start there.
  FILE* fp = stream_of("ab\n" + bom + "c\n");
  ASSERT_NE(fp, nullptr);
  std::fseek(fp, 3, SEEK_SET);
  vlk::LineBuffer buf;
  ASSERT_TRUE(buf.read(fp));
  EXPECT_EQ(std::string(buf.data), bom + "c");
  std::fclose(fp);
}

// ---------------------------------------------------------------- trimming and case

TEST(StrTrim, InPlace) {
  struct Case {
    const char* s;
    const char* trim;
    const char* trim_sp;
  };
  for (const Case& c : {Case{"  a b\t\n", "a b", "a b\t\n"}, Case{"   ", "", ""}, Case{"", "", ""},
                        Case{"\t\n \t", "", "\t\n \t"}, Case{"\ra\r", "\ra\r", "\ra\r"},
                        Case{" \ta \t ", "a", "\ta \t"}, Case{"abc", "abc", "abc"}}) {
    std::string a = c.s, b = c.s;
    char* t = VLK_Str_trim(a.data());
    EXPECT_STREQ(t, c.trim) << "[" << c.s << "]";
    EXPECT_TRUE(t >= a.data() && t <= a.data() + a.size());  // a view into the same text
    EXPECT_STREQ(VLK_Str_trim_sp(b.data()), c.trim_sp) << "[" << c.s << "]";
  }
}

TEST(StrTrim, Range) {
  struct Case {
    const char* s;
    size_t start, end, want_start, want_end;
  };
  for (const Case& c :
       {Case{"  ab  ", 0, 6, 2, 4}, Case{"   ", 0, 3, 3, 3}, Case{" a b ", 1, 3, 1, 2},
        Case{"x  y", 1, 3, 3, 3}, Case{"ab", 1, 1, 1, 1}, Case{"\na\t", 0, 3, 1, 2}}) {
    size_t start = c.start, end = c.end;
    VLK_Str_trim2(c.s, &start, &end);
    EXPECT_EQ(start, c.want_start) << c.s;
    EXPECT_EQ(end, c.want_end) << c.s;
  }
}

TEST(StrCase, LowerAndDigits) {
  std::string s = "MiXeD 12_Z";
  EXPECT_EQ(VLK_Str_lower(s.data()), s.data());
  EXPECT_EQ(s, "mixed 12_z");
  char dst[16];
  std::memset(dst, 'x', sizeof dst);
  VLK_Str_lower2("VLK3", dst);
  EXPECT_STREQ(dst, "vlk3");
  EXPECT_EQ(dst[5], 'x');  // nothing written past the NUL

  for (int c = -1; c < 256; ++c) EXPECT_EQ(VLK_Str_is_num(c), c >= '0' && c <= '9') << c;
}

// ---------------------------------------------------------------- number detection

TEST(StrDetectDouble, Examples) {
  for (const char* s :
       {"12", "-3.5", "+.5", ".5", "1.", "2.5  ", "  7", "\t\n-0.25\t", "1. ", ".5 ", "007"})
    EXPECT_EQ(VLK_Str_detect_string_double(s), 4) << "[" << s << "]";
  for (const char* s : {"12 ", "1e5", "1.2.3", "", ".", "+", "abc", "-", "+-1", " ", "1,5", "1.5x",
                        "1\r", "--1", ". 5", "+ 1"})
    EXPECT_EQ(VLK_Str_detect_string_double(s), 5) << "[" << s << "]";
  EXPECT_EQ(VLK_Str_detect_string_double(nullptr), 0);
}

// The accepted language read off the automaton, as a grammar: optional leading blanks, an
// optional sign, then digits alone, or digits and a '.' with optional digits, or a '.' with
// digits; only the forms with a '.' may end in blanks.
bool reads_as_number(const std::string& s) {
  size_t i = 0;
  const auto skip = [&](auto pred) {
    const size_t from = i;
    while (i < s.size() && pred(s[i])) ++i;
    return i - from;
  };
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  skip(blank);
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const size_t whole = skip(digit);
  if (i < s.size() && s[i] == '.') {
    ++i;
    const size_t fraction = skip(digit);
    if (whole == 0 && fraction == 0) return false;
    skip(blank);
  } else if (whole == 0) {
    return false;
  }
  return i == s.size();
}

TEST(StrDetectDouble, AllShortStringsAgreeWithTheGrammar) {
  const std::string alphabet = " \t\n+-.1e";
  std::vector<std::string> level = {""};
  size_t checked = 0, numbers = 0;
  for (int len = 0; len <= 5; ++len) {
    std::vector<std::string> next;
    for (const std::string& s : level) {
      const bool want = reads_as_number(s);
      numbers += want;
      ++checked;
      ASSERT_EQ(VLK_Str_detect_string_double(s.c_str()), want ? 4 : 5) << "[" << s << "]";
      for (char c : alphabet) next.push_back(s + c);
    }
    level = std::move(next);
  }
  // Both outcomes occur often enough that the comparison means something.
  EXPECT_GT(numbers, 100u);
  EXPECT_GT(checked - numbers, 100u);
}

// ---------------------------------------------------------------- string builder

using StrBuffPtr = vlk::Owned<VLK_StrBuff, VLK_StrBuff_delete>;

// Every byte from len to the end of the block is zero.
bool tail_is_zero(const VLK_StrBuff* b) {
  for (size_t i = b->len; i < b->capacity; ++i)
    if (b->data[i] != '\0') return false;
  return true;
}

TEST(StrBuff, NewBuilderAllocatesNothing) {
  StrBuffPtr b(VLK_StrBuff_new());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->data, nullptr);
  EXPECT_EQ(b->len, 0u);
  EXPECT_EQ(b->capacity, 0u);
  EXPECT_STREQ(VLK_StrBuff_str(b.get()), "");
  CharPtr g(VLK_StrBuff_gen(b.get()));
  EXPECT_STREQ(g.get(), "");
}

TEST(StrBuff, CharGrowthFromTen) {
  StrBuffPtr b(VLK_StrBuff_new());
  std::string want;
  // capacity after the k-th character: room for the text and its NUL with one byte spare
  for (size_t k = 1; k <= 90; ++k) {
    const char c = static_cast<char>('a' + k % 26);
    ASSERT_EQ(VLK_StrBuff_add(b.get(), c), b.get());
    want += c;
    const size_t cap = k < 10 ? 10 : k < 20 ? 20 : k < 40 ? 40 : k < 80 ? 80 : 160;
    EXPECT_EQ(b->capacity, cap) << k;
    EXPECT_TRUE(tail_is_zero(b.get())) << k;
  }
  EXPECT_EQ(VLK_StrBuff_str(b.get()), want);
  EXPECT_EQ(VLK_StrBuff_len(b.get()), want.size());
  EXPECT_EQ(VLK_StrBuff_length(b.get()), want.size());
}

TEST(StrBuff, StringGrowthTakesTheLargerOfNeedAndDouble) {
  StrBuffPtr b(VLK_StrBuff_new());
  struct Step {
    const char* add;  // null: one character 'x' through VLK_StrBuff_add
    size_t cap;
  };
  const Step steps[] = {{"ab", 3},     {nullptr, 6}, {"", 6},
                        {"cd", 6},     {"e", 12},    {"0123456789abcdef", 24},
                        {nullptr, 24}, {nullptr, 48}};
  std::string want;
  for (const Step& s : steps) {
    if (s.add) {
      ASSERT_EQ(VLK_StrBuff_add_str(b.get(), s.add), b.get());
      want += s.add;
    } else {
      ASSERT_EQ(VLK_StrBuff_add(b.get(), 'x'), b.get());
      want += 'x';
    }
    EXPECT_EQ(b->capacity, s.cap) << want;
    EXPECT_EQ(VLK_StrBuff_str(b.get()), want);
    EXPECT_TRUE(tail_is_zero(b.get())) << want;
  }
}

TEST(StrBuff, ExpandClearAndSelfAppend) {
  StrBuffPtr b(VLK_StrBuff_new());
  ASSERT_EQ(VLK_StrBuff_expand(b.get(), 5), b.get());
  EXPECT_EQ(b->capacity, 5u);
  EXPECT_TRUE(tail_is_zero(b.get()));
  EXPECT_EQ(VLK_StrBuff_str(b.get()), b->data);
  EXPECT_STREQ(VLK_StrBuff_str(b.get()), "");

  VLK_StrBuff_add_str(b.get(), "abcd");
  EXPECT_EQ(b->capacity, 5u);
  // Appending the builder's own text, which the growth moves.
  ASSERT_EQ(VLK_StrBuff_add_str(b.get(), VLK_StrBuff_str(b.get())), b.get());
  EXPECT_STREQ(VLK_StrBuff_str(b.get()), "abcdabcd");
  ASSERT_EQ(VLK_StrBuff_add_str(b.get(), VLK_StrBuff_str(b.get()) + 6), b.get());
  EXPECT_STREQ(VLK_StrBuff_str(b.get()), "abcdabcdcd");

  const size_t cap = b->capacity;
  VLK_StrBuff_clear(b.get());
  EXPECT_EQ(b->len, 0u);
  EXPECT_EQ(b->capacity, cap);
  EXPECT_TRUE(tail_is_zero(b.get()));
  VLK_StrBuff_add_str(b.get(), "z");
  CharPtr g(VLK_StrBuff_gen(b.get()));
  EXPECT_STREQ(g.get(), "z");
  EXPECT_NE(g.get(), b->data);
  EXPECT_EQ(VLK_StrBuff_expand(b.get(), 3), b.get());
  EXPECT_EQ(b->capacity, cap + 3);
  EXPECT_TRUE(tail_is_zero(b.get()));
}

}  // namespace
