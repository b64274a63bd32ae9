#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "console.h"

namespace {

struct DecimalCase {
  const char* Text;
  std::int32_t Value;
};

constexpr std::int32_t Largest = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Smallest = std::numeric_limits<std::int32_t>::min();

// strtol with base 10, saturated to 32 bits, on every platform.
constexpr DecimalCase DecimalCases[] = {
    {"", 0},
    {"0", 0},
    {"250", 250},
    {"-3", -3},
    {"+17", 17},
    {"007", 7},
    {"12abc", 12},
    {"abc", 0},
    {"-", 0},
    {"+-5", 0},
    {"--5", 0},
    {"0x1F", 0},
    {" \t\v\f\r\n42", 42},
    {"4 2", 4},
    {"2147483647", Largest},
    {"2147483648", Largest},
    {"-2147483648", Smallest},
    {"-2147483649", Smallest},
    {"99999999999999999999999999", Largest},
    {"-99999999999999999999999999", Smallest},
    {"4294967297", Largest},  // must not wrap to 1
    {"\xE9" "5", 0},
};

TEST(DecimalValue, MatchesSaturatedStrtol) {
  for (const DecimalCase& c : DecimalCases) {
    EXPECT_EQ(DecimalValue(c.Text), c.Value) << "text: \"" << c.Text << "\"";
  }
}

}  // namespace
