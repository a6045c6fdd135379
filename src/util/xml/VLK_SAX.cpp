#include "VLK_SAX.h"

#include <cctype>
#include <cstdlib>

#include "VLK_StrBuff.h"

namespace {

using StrBuffPtr = vlk::Owned<VLK_StrBuff, VLK_StrBuff_delete>;
using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

// The machine's states; the gaps in the numbering are states it never enters.
enum State : int {
  kText = 0,            // text, not delivered
  kOpen = 1,            // after '<'
  kInstruction = 2,     // <? ... >
  kBang = 5,            // after "<!"
  kDeclaration = 6,     // <!DOCTYPE ... > and other markup declarations
  kCommentOpen = 8,     // after "<!-"
  kComment = 9,         // inside <!-- ... -->
  kCommentDash = 10,    // comment after '-'
  kCommentDashes = 11,  // comment after "--"
  kName = 12,           // start-tag name
  kOpenBlanks = 13,     // blanks after '<'
  kInTag = 14,          // inside a start tag
  kKey = 15,            // attribute key
  kAfterKey = 16,       // blanks after a key
  kEquals = 17,         // after '='
  kAfterEquals = 18,    // blanks after '='
  kValue = 19,          // attribute value
  kEndOpen = 20,        // after "</"
  kEndBlanks = 21,      // blanks after "</"
  kEndName = 22,        // end-tag name
  kAfterEndName = 23,   // after the end-tag name
  kSlash = 25,          // after '/' in a start tag
  kEscape = 30,         // after '\' in a value
  kAfterValue = 31,     // after a value's closing quote
};

// Character classes of the current locale; c is a byte from fgetc.
bool letter(int c) { return std::isalpha(c) != 0; }
bool blank(int c) { return std::isspace(c) != 0; }
bool letter_or_digit(int c) { return std::isalnum(c) != 0; }

class Machine {
 public:
  Machine(const VLK_SAX* sax, void* data, vlk::xml::Position* at)
      : sax_(sax), data_(data), at_(at) {}

  int parse(FILE* fp) {
    if (!name_ || !key_ || !value_ || !attrs_) return -1;
    // One lock for the whole stream instead of one per character.
    flockfile(fp);
    int result = 0;
    for (int c; (c = getc_unlocked(fp)) != EOF;) {
      if (c == '\0') at_->nul = true;
      if (c == '\0' || !step(c)) {
        result = -1;
        break;
      }
      if (c == '\n') ++at_->line;
    }
    funlockfile(fp);
    return result;
  }

 private:
  void add(VLK_StrBuff* b, int c) { VLK_StrBuff_add(b, static_cast<char>(c)); }

  void call_start() {
    if (sax_->start != nullptr) sax_->start(data_, VLK_StrBuff_str(name_.get()), attrs_.get());
    VLK_KeyValues_clear(attrs_.get());
  }
  void call_end() {
    if (sax_->end != nullptr) sax_->end(data_, VLK_StrBuff_str(name_.get()));
    VLK_StrBuff_clear(name_.get());
  }
  void fire_start() {
    call_start();
    VLK_StrBuff_clear(name_.get());
  }
  // An empty-element tag: the end callback gets the element's name too.
  void fire_start_and_end() {
    call_start();
    call_end();
  }
  void keep_attribute() {
    VLK_KeyValues_add_string(attrs_.get(), VLK_StrBuff_str(key_.get()),
                             VLK_StrBuff_str(value_.get()));
    VLK_StrBuff_clear(key_.get());
    VLK_StrBuff_clear(value_.get());
  }
  void start_key(int c) {
    add(key_.get(), c);
    state_ = kKey;
  }
  // A letter begins the name of a start tag (next kName) or of an end tag (kEndName).
  void start_name(int c, State next) {
    if (!letter(c)) return;
    add(name_.get(), c);
    state_ = next;
  }

  // One character; false on a syntax error.
  bool step(int c) {
    switch (state_) {
      case kText:
        if (c == '<') state_ = kOpen;
        break;
      case kOpen:
        if (c == '?') {
          state_ = kInstruction;
        } else if (c == '!') {
          state_ = kBang;
        } else if (c == '/') {
          state_ = kEndOpen;
        } else if (blank(c)) {
          state_ = kOpenBlanks;
        } else {
          start_name(c, kName);
        }
        break;
      case kInstruction:
      case kDeclaration:
        if (c == '>') state_ = kText;
        break;
      case kBang:
        state_ = c == '-' ? kCommentOpen : kDeclaration;
        break;
      case kCommentOpen:
        if (c == '-') state_ = kComment;
        break;
      case kComment:
        if (c == '-') state_ = kCommentDash;
        break;
      case kCommentDash:
        state_ = c == '-' ? kCommentDashes : kComment;
        break;
      case kCommentDashes:
        state_ = c == '>' ? kText : kComment;
        break;
      case kName:
        if (c == '>') {
          fire_start();
          state_ = kText;
        } else if (blank(c)) {
          state_ = kInTag;
        } else if (letter(c) || c == ':') {
          add(name_.get(), c);
        } else if (c == '/') {
          state_ = kSlash;
        } else {
          return false;
        }
        break;
      case kOpenBlanks:
        start_name(c, kName);
        break;
      case kAfterValue:
        if (blank(c)) {
          state_ = kInTag;
          break;
        }
        [[fallthrough]];  // otherwise as inside the tag
      case kInTag:
        if (c == '>') {
          fire_start();
          state_ = kText;
        } else if (c == '/') {
          state_ = kSlash;
        } else if (letter(c)) {
          start_key(c);
        }
        break;
      case kKey:
        if (blank(c)) {
          state_ = kAfterKey;
        } else if (c == '=') {
          state_ = kEquals;
        } else if (c == '>') {
          // A key without value is dropped; the tag stays open until the next '>'.
          VLK_StrBuff_clear(key_.get());
          state_ = kInTag;
        } else if (c == '<') {
          return false;
        } else if (letter_or_digit(c)) {
          add(key_.get(), c);
        }
        break;
      case kAfterKey:
        if (c == '=') {
          state_ = kEquals;
        } else if (letter(c)) {
          VLK_StrBuff_clear(key_.get());
          start_key(c);
        }
        break;
      case kEquals:
        if (blank(c)) {
          state_ = kAfterEquals;
        } else if (c == '"') {
          state_ = kValue;
        } else {
          return false;
        }
        break;
      case kAfterEquals:
        if (c == '"') state_ = kValue;
        break;
      case kValue:
        if (c == '\\') {
          state_ = kEscape;
        } else if (c == '"') {
          keep_attribute();
          state_ = kAfterValue;
        } else {
          add(value_.get(), c);
        }
        break;
      case kEscape:
        add(value_.get(), c);
        state_ = kValue;
        break;
      case kEndOpen:
        if (blank(c))
          state_ = kEndBlanks;
        else
          start_name(c, kEndName);
        break;
      case kEndBlanks:
        start_name(c, kEndName);
        break;
      case kEndName:
        if (c == '>') {
          call_end();
          state_ = kText;
        } else if (letter(c) || c == ':') {
          add(name_.get(), c);
        } else if (blank(c)) {
          state_ = kAfterEndName;
        }
        break;
      case kAfterEndName:
        if (c == '>') {
          call_end();
          state_ = kText;
        }
        break;
      case kSlash:
        if (c != '>') return false;
        fire_start_and_end();
        state_ = kText;
        break;
    }
    return true;
  }

  const VLK_SAX* sax_;
  void* data_;
  vlk::xml::Position* at_;
  StrBuffPtr name_{VLK_StrBuff_new()};
  StrBuffPtr key_{VLK_StrBuff_new()};
  StrBuffPtr value_{VLK_StrBuff_new()};
  KeyValuesPtr attrs_{VLK_KeyValues_new()};
  int state_ = kText;
};

}  // namespace

VLK_SAX* VLK_SAX_new() { return static_cast<VLK_SAX*>(std::calloc(1, sizeof(VLK_SAX))); }

void VLK_SAX_delete(VLK_SAX* sax) { std::free(sax); }

void VLK_SAX_set_start(VLK_SAX* sax, VLK_SAX_start_fn start) { sax->start = start; }

void VLK_SAX_set_end(VLK_SAX* sax, VLK_SAX_end_fn end) { sax->end = end; }

int VLK_SAX_parse(VLK_SAX* sax, FILE* fp, void* data) {
  vlk::xml::Position at;
  return vlk::xml::parse(sax, fp, data, &at);
}

int vlk::xml::parse(VLK_SAX* sax, FILE* fp, void* data, Position* at) {
  return Machine(sax, data, at).parse(fp);
}

const char* VLK_SAX_get_attr_value(const VLK_KeyValues* attrs, const char* name) {
  return static_cast<const char*>(VLK_KeyValues_get(attrs, name));
}
