#include "platform/text.h"

#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>

namespace platform {

String NthField(std::string_view text, std::string_view separator, Int32 n) {
  if (n < 1) return {};
  if (separator.empty()) return n == 1 ? String(text) : String();
  if (separator.size() == 1) {
    // The common case ("," and "="), looked for with memchr alone.
    const char* at = text.data();
    const char* const end = at + text.size();
    const auto next = [&, sep = separator[0]]() -> const char* {
      if (at == end) return nullptr;
      return static_cast<const char*>(std::memchr(at, sep, static_cast<std::size_t>(end - at)));
    };
    for (Int32 field = 1; field < n; ++field) {
      const char* found = next();
      if (!found) return {};
      at = found + 1;
    }
    const char* found = next();
    return String(at, found ? found : end);
  }
  std::size_t start = 0;
  for (Int32 field = 1; field < n; ++field) {
    std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) return {};
    start = at + separator.size();
  }
  std::size_t end = text.find(separator, start);
  return String(text.substr(start, end == std::string_view::npos ? std::string_view::npos
                                                                  : end - start));
}

String PercentEncodeURLBytes(std::string_view url) {
  static constexpr std::string_view kUnsafe = " \"<>\\^`{|}";
  static constexpr char kHex[] = "0123456789ABCDEF";
  String out;
  out.reserve(url.size());
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || kUnsafe.find(c) != std::string_view::npos) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double Val(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // Only plain decimal notation is accepted: the scan below decides where the number ends,
  // so that words such as "inf" or "nan" and hexadecimal "0x.." never reach the converter.
  const std::size_t begin = i;
  std::size_t intDigits = 0, fracDigits = 0, leadingZeros = 0, fracZeros = 0;
  bool seenNonZero = false;
  while (i < n && IsDigit(text[i])) {
    if (!seenNonZero && text[i] == '0') ++leadingZeros;
    else seenNonZero = true;
    ++intDigits, ++i;
  }
  if (i < n && text[i] == '.') {
    std::size_t j = i + 1;
    while (j < n && IsDigit(text[j])) {
      if (!seenNonZero && text[j] == '0') ++fracZeros;
      else seenNonZero = true;
      ++fracDigits, ++j;
    }
    if (intDigits + fracDigits > 0) i = j;
  }
  if (intDigits + fracDigits == 0) return 0.0;

  long exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool expNegative = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
    if (j < n && IsDigit(text[j])) {
      while (j < n && IsDigit(text[j])) {
        if (exponent < 1'000'000) exponent = exponent * 10 + (text[j] - '0');
        ++j;
      }
      if (expNegative) exponent = -exponent;
      i = j;
    }
  }

  const std::string_view number = text.substr(begin, i - begin);
  double value = 0.0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                   std::chars_format::general);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone when it cannot be represented: decide between
    // overflow and underflow from the decimal magnitude of the first significant digit.
    long magnitude = intDigits > leadingZeros
                         ? static_cast<long>(intDigits - leadingZeros) - 1 + exponent
                         : exponent - static_cast<long>(fracZeros) - 1;
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

String Str(Int32 value) { return std::to_string(value); }

String ChrB(Int32 code) {
  if (code < 0 || code > 255) return {};
  return String(1, static_cast<char>(static_cast<unsigned char>(code)));
}

}  // namespace platform
