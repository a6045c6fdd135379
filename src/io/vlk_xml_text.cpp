#include "vlk_xml_text.h"

namespace vlk::xml {

namespace {

void put(FILE* fp, std::string_view s) { std::fwrite(s.data(), 1, s.size(), fp); }

}  // namespace

void put_attribute(FILE* fp, std::string_view s) {
  size_t from = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char* entity = nullptr;
    switch (s[i]) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      default:
        continue;
    }
    put(fp, s.substr(from, i - from));
    std::fputs(entity, fp);
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
