#include "vlk_xml_text.h"

namespace vlk::xml {

namespace {

void put(FILE* fp, std::string_view s) { std::fwrite(s.data(), 1, s.size(), fp); }

}  // namespace

// The reference a character is written as: the markup characters, and the ones a parser
// would not give back as they are (the library's parser takes a backslash as an escape of the
// next character; other XML readers fold TABs and line ends into blanks).
const char* reference(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\\':
      return "&#92;";
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
    default:
      return nullptr;
  }
}

void put_attribute(FILE* fp, std::string_view s) {
  size_t from = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char* ref = reference(s[i]);
    if (ref == nullptr) continue;
    put(fp, s.substr(from, i - from));
    std::fputs(ref, fp);
    from = i + 1;
  }
  put(fp, s.substr(from));
}

void put_cdata(FILE* fp, std::string_view s) {
  constexpr std::string_view end = "]]>";
  std::fputs("<![CDATA[", fp);
  for (size_t at; (at = s.find(end)) != std::string_view::npos; s.remove_prefix(at + 2)) {
    // "]]" closes this section; the ">" opens the next one.
    put(fp, s.substr(0, at + 2));
    std::fputs("]]><![CDATA[", fp);
  }
  put(fp, s);
  std::fputs("]]>", fp);
}

}  // namespace vlk::xml
