#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/text.h"
#include "platform/types.h"

namespace platform {
namespace {

TEST(NthField, FieldsCountFromOneAndMissingOnesAreEmpty) {
  struct Case {
    const char* text;
    const char* sep;
    Int32 n;
    const char* want;
  } cases[] = {
      {"東京,TBS,954", ",", 1, "東京"},
      {"東京,TBS,954", ",", 2, "TBS"},
      {"東京,TBS,954", ",", 3, "954"},
      {"東京,TBS,954", ",", 4, ""},
      {"東京,TBS,954", ",", 0, ""},
      {"東京,TBS,954", ",", -1, ""},
      {"a,,c", ",", 2, ""},
      {"a,,c", ",", 3, "c"},
      {",", ",", 1, ""},
      {",", ",", 2, ""},
      {",", ",", 3, ""},
      {"", ",", 1, ""},
      {"windowTop=120", "=", 2, "120"},
      {"a=b=c", "=", 2, "b"},
      {"abc", ",", 1, "abc"},
      {"abc", "", 1, "abc"},
      {"abc", "", 2, ""},
      {"a::b::c", "::", 2, "b"},  // a separator of several bytes
      {"a::b:c", "::", 2, "b:c"},
      {"一、二、三", "、", 3, "三"},  // a multi-byte UTF-8 separator
  };
  for (const Case& c : cases)
    EXPECT_EQ(NthField(c.text, c.sep, c.n), c.want) << '"' << c.text << "\" sep \"" << c.sep << "\" n " << c.n;
}

TEST(Val, TakesTheLeadingDecimalNumberOnly) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    double want;
  } cases[] = {
      {"954", 954}, {"80.0", 80.0}, {"12abc", 12}, {"-3.5", -3.5}, {"+2", 2}, {" 7", 7},
      {"\t 7", 7}, {"", 0}, {"x", 0}, {".5", 0.5}, {"5.", 5}, {".", 0}, {"-", 0}, {"+", 0},
      {"- 3", 0}, {"1e3", 1000}, {"1E3", 1000}, {"2.5e-1", 0.25}, {"1e", 1}, {"1e+", 1},
      {"1ex", 1}, {"3e2.5", 300}, {"inf", 0}, {"-inf", 0}, {"nan", 0}, {"NaN", 0},
      {"infinity", 0}, {"0x10", 0}, {"0X1p3", 0}, {"007", 7}, {"\n5", 0}, {"1,5", 1},
      {"76.13333333", 76.13333333}, {"1e999", inf}, {"-1e999", -inf}, {"1e-999", 0},
      {"0.0000e999999999999", 0}, {"123456789012345678901234567890", 1.2345678901234568e29},
      {"1e99999999999999999999", inf},
  };
  for (const Case& c : cases) EXPECT_EQ(Val(c.text), c.want) << '"' << c.text << '"';
  // A text that is not terminated where the view ends is read only up to its end.
  std::string_view cut = std::string_view("12345").substr(0, 2);
  EXPECT_EQ(Val(cut), 12);
}

TEST(Str, GivesDecimalText) {
  EXPECT_EQ(Str(0), "0");
  EXPECT_EQ(Str(-460), "-460");
  EXPECT_EQ(Str(326), "326");
  EXPECT_EQ(Str(std::numeric_limits<Int32>::min()), "-2147483648");
  EXPECT_EQ(Str(std::numeric_limits<Int32>::max()), "2147483647");
}

TEST(ChrB, GivesOneByteForCodesOfAByte) {
  EXPECT_EQ(ChrB(29), "\x1d");
  EXPECT_EQ(ChrB(28), "\x1c");
  EXPECT_EQ(ChrB(32), " ");
  EXPECT_EQ(ChrB(0), std::string(1, '\0'));
  EXPECT_EQ(ChrB(255), "\xff");
  EXPECT_EQ(ChrB(256), "");
  EXPECT_EQ(ChrB(-1), "");
  EXPECT_EQ(RuntimeStringCompare(ChrB(98), "b"), 0);
  EXPECT_NE(RuntimeStringCompare("B", "b"), 0);
}

TEST(ToInt32, TruncatesSaturatesAndMapsNaNToZero) {
  const Int32 max = std::numeric_limits<Int32>::max(), min = std::numeric_limits<Int32>::min();
  struct Case {
    double d;
    Int32 want;
  } cases[] = {
      {110.0, 110}, {110.9, 110}, {-110.9, -110}, {-0.5, 0}, {2147483647.0, max},
      {2147483648.0, max}, {1e300, max}, {std::numeric_limits<double>::infinity(), max},
      {-2147483648.0, min}, {-2147483649.0, min}, {-1e300, min},
      {-std::numeric_limits<double>::infinity(), min}, {std::nan(""), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ToInt32(c.d), c.want) << c.d;
}

TEST(WrapArithmetic, WrapsModuloTwoToThe32) {
  const Int32 max = std::numeric_limits<Int32>::max(), min = std::numeric_limits<Int32>::min();
  EXPECT_EQ(WrapAdd(max, 1), min);
  EXPECT_EQ(WrapAdd(326, -220), 106);
  EXPECT_EQ(WrapSub(min, 1), max);
  EXPECT_EQ(WrapSub(105, 111), -6);
  EXPECT_EQ(WrapMul(5, 326), 1630);
  EXPECT_EQ(WrapMul(5, 429496730), -2147483646);  // 2147483650 wraps
  EXPECT_EQ(WrapMul(min, -1), min);
}

TEST(PercentEncodeURLBytes, EncodesOnlyWhatAnAddressCannotCarry) {
  using namespace std::string_literals;
  const std::string prefix = "http://127.0.0.1:8642/player/player.html#";
  struct Case {
    std::string code;
    std::string want;
  } cases[] = {
      {"TBS", "TBS"},
      // Everything an address may hold stays byte for byte, escapes and a second "#" too.
      {"a-b_c.d~e!$&'()*+,;=:@/?#[]", "a-b_c.d~e!$&'()*+,;=:@/?#[]"},
      {"A%41%zz%", "A%41%zz%"},
      {"東京", "%E6%9D%B1%E4%BA%AC"},
      {"\xff\xfe" "A\x80", "%FF%FEA%80"},  // not UTF-8
      {"A\0B"s, "A%00B"},                   // a NUL no longer cuts the address short
      {"\t\n\r\x1f\x7f", "%09%0A%0D%1F%7F"},
      {" \"<>\\^`{|}", "%20%22%3C%3E%5C%5E%60%7B%7C%7D"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PercentEncodeURLBytes(prefix + c.code), prefix + c.want) << c.code;
}

}  // namespace
}  // namespace platform
