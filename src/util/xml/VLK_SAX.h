// A small event-driven XML reader: a state machine fed one character at a time that calls a
// start callback for every start tag (with its attributes) and an end callback for every end
// tag. It knows as much XML as the CSML reader needs: elements, attributes with double-quoted
// values, comments, processing instructions, markup declarations and empty-element tags.
//
// What it does not do: check that tags match, decode character or entity references, deliver
// text content, or know namespaces beyond accepting ':' in element names. Element names hold
// letters and ':' only; attribute keys keep only their letters and digits ("xmlns:fig" is
// stored as "xmlnsfig"). A backslash in a value makes the next character part of it, so a
// backslash written by another tool never reaches a callback.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "VLK_KeyValues.h"
#include "vlk_owned.h"

// The name and the attributes (string values, document order, duplicates kept) belong to the
// parser and are cleared when the callback returns: a callback copies what it keeps.
using VLK_SAX_start_fn = void (*)(void* data, const char* name, const VLK_KeyValues* attrs);
using VLK_SAX_end_fn = void (*)(void* data, const char* name);

struct VLK_SAX {
  void* reserved;          // always null
  VLK_SAX_start_fn start;  // null: no callback
  VLK_SAX_end_fn end;      // null: no callback
};

// Both callbacks null; null when memory runs out.
VLK_SAX* VLK_SAX_new();
void VLK_SAX_delete(VLK_SAX* sax);
void VLK_SAX_set_start(VLK_SAX* sax, VLK_SAX_start_fn start);
void VLK_SAX_set_end(VLK_SAX* sax, VLK_SAX_end_fn end);
// Reads the stream to its end: 0 there (a tag cut off by the end fires nothing), -1 at the
// first syntax error; the callbacks made before it stand. data goes to every callback. A NUL
// byte, which no XML document holds, is a syntax error wherever it stands: read on, it would
// cut a name or a value short.
int VLK_SAX_parse(VLK_SAX* sax, FILE* fp, void* data);
// The value of the first attribute whose key is exactly name, or null.
const char* VLK_SAX_get_attr_value(const VLK_KeyValues* attrs, const char* name);

namespace vlk::xml {

// Where a parse stands, for the messages of its callers: the line (from 1) of the character
// being read, which during a callback is the line of the tag's closing '>', and whether the
// parse stopped at a NUL byte.
struct Position {
  size_t line = 1;
  bool nul = false;
};

// VLK_SAX_parse, keeping `at` up to date as it reads.
int parse(VLK_SAX* sax, FILE* fp, void* data, Position* at);

}  // namespace vlk::xml

namespace vlk {
using SAXPtr = std::unique_ptr<VLK_SAX, FreeWith<VLK_SAX_delete>>;
}  // namespace vlk
