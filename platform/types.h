#pragma once
// Basic value types shared by the platform and the program.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace platform {

using Int32 = std::int32_t;

// Texts are UTF-8 byte strings. They are compared byte for byte (see text.h).
using String = std::string;

struct Color {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(Color, Color) = default;
};

constexpr Color RGB(std::uint32_t rgb) {
  return Color{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
               static_cast<std::uint8_t>(rgb)};
}

// 32-bit signed arithmetic that wraps around on overflow, as the hardware does, without
// the undefined behaviour of signed overflow in C++: the sum is taken modulo 2^32.
constexpr Int32 WrapAdd(Int32 a, Int32 b) {
  return static_cast<Int32>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr Int32 WrapSub(Int32 a, Int32 b) {
  return static_cast<Int32>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
constexpr Int32 WrapMul(Int32 a, Int32 b) {
  return static_cast<Int32>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// Double to Int32: truncates toward zero, saturates at the Int32 limits, and maps NaN to 0,
// so that no input gives undefined behaviour.
constexpr Int32 ToInt32(double d) {
  if (d != d) return 0;  // NaN
  if (d >= 2147483647.0) return std::numeric_limits<Int32>::max();
  if (d <= -2147483648.0) return std::numeric_limits<Int32>::min();
  return static_cast<Int32>(d);
}

}  // namespace platform
