// Text written into XML by the network writers: names, aliases and property values may hold
// any character, and must neither break the markup nor change what a parser reads back.
#pragma once

#include <cstdio>
#include <string_view>

namespace vlk::xml {

// s as the value of an attribute in double quotes: & < > " as entity references, and a
// backslash, TAB, LF and CR as character references, so that any parser reads s back.
void put_attribute(FILE* fp, std::string_view s);

// A CDATA section holding s; a "]]>" inside s is split over two sections, so the text read
// back is s itself.
void put_cdata(FILE* fp, std::string_view s);

}  // namespace vlk::xml
