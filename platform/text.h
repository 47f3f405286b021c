#pragma once
// Text functions: fields, numbers and characters.
//
// Text equality is byte-exact and case-sensitive everywhere in the platform: two texts are
// equal when they hold the same bytes. "B" is not "b", and a region name read from a file
// must match the program's own UTF-8 text byte for byte.

#include <string_view>

#include "platform/types.h"

namespace platform {

// Field n (counted from 1) of text split at every occurrence of separator; "" when the text
// has fewer fields, when n < 1, or when the separator is empty and n > 1.
String NthField(std::string_view text, std::string_view separator, Int32 n);

// Whether NthField(text, separator, n) equals `value`, without making the field's text:
// the test a reader of a long file makes on every line.
inline bool NthFieldEquals(std::string_view text, std::string_view separator, Int32 n, std::string_view value) {
  if (n == 1 && separator.size() == 1) {
    // Field 1 is the text up to the first separator: `value` is that field exactly when the
    // text begins with it, it holds no separator, and the separator or the end follows. A
    // plain loop, inline: the texts are short, and no library call is cheaper here.
    const char sep = separator[0];
    if (text.size() < value.size()) return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (text[i] != value[i] || value[i] == sep) return false;
    }
    return text.size() == value.size() || text[value.size()] == sep;
  }
  return NthField(text, separator, n) == value;
}

// The leading decimal number of a text, as a user reads it: optional blanks, an optional
// sign, digits with an optional fraction and exponent. "12abc" is 12, "-3.5" is -3.5,
// "" and "x" are 0. Never fails.
double Val(std::string_view text);

// The decimal text of an integer ("-460", "0").
String Str(Int32 value);

// The one-byte text of a code 0 to 255.
String ChrB(Int32 code);

// An address with every byte that an address cannot carry as it stands percent-encoded
// ("%XX", upper-case hex): bytes 0x80 and above (so that a text which is not valid UTF-8
// still makes an address), NUL and the other controls, DEL, the space, and " < > \ ^ ` { | }.
// Every other byte is left as it is, "%" included, so a well-formed address comes back
// unchanged and an escape already in it keeps its meaning.
String PercentEncodeURLBytes(std::string_view url);

// Byte-exact equality; 0 for equal texts, as a comparison would give.
inline bool TextEquals(std::string_view a, std::string_view b) { return a == b; }
inline int RuntimeStringCompare(std::string_view a, std::string_view b) {
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace platform
