// The text functions that every file value goes through: NthField, Val, Str, ToInt32 and
// the text reader's line splitting, checked for their laws on any bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/types.h"

namespace {

using platform::Int32;

// NthField: field n is what stands between the (n-1)th and the nth separator, found from
// the left without overlap; there is nothing past the last field or before the first.
void CheckFields(std::string_view text, std::string_view sep) {
  if (sep.empty()) {
    FUZZ_CHECK(platform::NthField(text, sep, 1) == text);
    FUZZ_CHECK(platform::NthField(text, sep, 2).empty());
    return;
  }
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t at = text.find(sep); at != std::string_view::npos;
       at = text.find(sep, start)) {
    fields.push_back(text.substr(start, at - start));
    start = at + sep.size();
  }
  fields.push_back(text.substr(start));
  const auto count = static_cast<Int32>(fields.size());
  // Each call walks from the start, so a text of many fields is sampled at both ends.
  for (Int32 n = 1; n <= count; ++n) {
    if (count > 64 && n > 32 && n < count - 31) n = count - 31;
    FUZZ_CHECK(platform::NthField(text, sep, n) == fields[static_cast<std::size_t>(n - 1)]);
  }
  FUZZ_CHECK(platform::NthField(text, sep, count + 1).empty());
  FUZZ_CHECK(platform::NthField(text, sep, 0).empty());
  FUZZ_CHECK(platform::NthField(text, sep, -1).empty());
  FUZZ_CHECK(platform::NthField(text, sep, std::numeric_limits<Int32>::max()).empty());
  FUZZ_CHECK(platform::NthField(text, sep, std::numeric_limits<Int32>::min()).empty());
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Val: never NaN, 0 for a text that does not begin (after blanks or tabs) with a number, and a number that the
// text begins with is not changed by what follows a non-number character.
void CheckVal(std::string_view text) {
  const double v = platform::Val(text);
  FUZZ_CHECK(!std::isnan(v));
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::size_t j = i;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
  const bool startsNumber = j < text.size() && (IsDigit(text[j]) ||
                            (text[j] == '.' && j + 1 < text.size() && IsDigit(text[j + 1])));
  if (!startsNumber) FUZZ_CHECK(v == 0.0);
  if (!text.empty() && IsDigit(text[0])) {
    // A leading minus sign negates the number.
    FUZZ_CHECK(platform::Val("-" + std::string(text)) == -v);
    // A digit run followed by a letter that cannot continue a number ends there.
    std::size_t end = 0;
    while (end < text.size() && IsDigit(text[end])) ++end;
    const std::string digits(text.substr(0, end));
    FUZZ_CHECK(platform::Val(digits + "x" + std::string(text.substr(end))) ==
               platform::Val(digits));
  }
}

// Str and Val: an integer's decimal text reads back as the same integer.
void CheckStr(Int32 n) {
  const std::string s = platform::Str(n);
  FUZZ_CHECK(s == std::to_string(n));
  FUZZ_CHECK(platform::Val(s) == static_cast<double>(n));
  FUZZ_CHECK(platform::ToInt32(platform::Val(s)) == n);
}

// ToInt32: toward zero within the range, saturating outside it, 0 for NaN.
void CheckToInt32(double d) {
  const Int32 r = platform::ToInt32(d);
  if (std::isnan(d)) {
    FUZZ_CHECK(r == 0);
  } else if (d >= 2147483647.0) {
    FUZZ_CHECK(r == std::numeric_limits<Int32>::max());
  } else if (d <= -2147483648.0) {
    FUZZ_CHECK(r == std::numeric_limits<Int32>::min());
  } else {
    FUZZ_CHECK(static_cast<double>(r) == std::trunc(d));
  }
}

// The text reader: a line is what stands between two line feeds, less a carriage return
// before its line feed or at the very end; a line feed at the very end makes no further
// line, and a byte-order mark opening the text is not part of it.
void CheckLines(const std::string_view all) {
  const auto lines = fuzzsupport::LinesOf(all);
  std::string_view text = all;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::size_t pos = 0, k = 0;
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    const bool ended = lf != std::string_view::npos;
    std::string_view segment = text.substr(pos, (ended ? lf : text.size()) - pos);
    FUZZ_CHECK(k < lines.size());
    // A CR before the line feed, or at the very end of the text, ends the line too.
    if (!segment.empty() && segment.back() == '\r') segment.remove_suffix(1);
    FUZZ_CHECK(lines[k] == segment);
    ++k;
    pos = ended ? lf + 1 : text.size();
  }
  FUZZ_CHECK(k == lines.size());
  platform::TextInputStream reader{std::string(all)};
  for (std::size_t n = 0; n < lines.size(); ++n) reader.ReadLine();
  FUZZ_CHECK(reader.AtEOF());
  FUZZ_CHECK(reader.ReadLine().empty());  // past the end: the empty text
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);

  // The first byte picks a separator length (0 to 3) taken from the bytes that follow.
  const std::size_t sepLen = size ? std::min<std::size_t>(data[0] % 4, size - 1) : 0;
  const std::string_view sep = size ? all.substr(1, sepLen) : std::string_view();
  const std::string_view text = size ? all.substr(1 + sepLen) : all;
  CheckFields(text, sep);
  CheckFields(text, ",");
  CheckFields(text, "=");

  CheckVal(text);
  CheckLines(all);

  if (size >= sizeof(double)) {
    double d;
    std::memcpy(&d, data + size - sizeof(double), sizeof d);
    CheckToInt32(d);
    CheckToInt32(platform::Val(text));
    std::int32_t n;
    std::memcpy(&n, data + size - sizeof n, sizeof n);
    CheckStr(n);
  }
  CheckStr(std::numeric_limits<Int32>::min());
  CheckStr(std::numeric_limits<Int32>::max());
  return 0;
}
