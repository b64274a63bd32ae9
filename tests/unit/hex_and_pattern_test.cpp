#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct PackCase {
  std::string Text;
  int Limit;
  Bytes Packed;
};

const PackCase PackCases[] = {
    {"1", 200, {0x01}},
    {"12", 200, {0x12}},
    {"123", 200, {0x01, 0x23}},
    {"1g", 200, {0x10}},
    {"g1", 200, {0x01}},
    {"abc", 200, {0x0A, 0xBC}},
    {"ABCDEF", 200, {0xAB, 0xCD, 0xEF}},
    {"0x7F", 200, {0x00, 0x7F}},
    {"-5", 200, {0x05}},
    {"\xE9\xFF", 200, {0x00}},
    {"zz", 200, {0x00}},
    {"12345", 4, {0x12, 0x34}},  // cut to the limit before the parity is taken
    {"123", 2, {0x12}},
};

TEST(PackHexDigits, AlignsDigitsToTheEndOfTheText) {
  for (const PackCase& c : PackCases) {
    std::array<unsigned char, 8> destination;
    destination.fill(0xEE);
    const int produced = PackHexDigits(c.Text.c_str(), c.Limit, destination.data());
    EXPECT_EQ(Bytes(destination.begin(), destination.begin() + produced), c.Packed)
        << "text: \"" << c.Text << "\"";
    EXPECT_EQ(destination[static_cast<std::size_t>(produced)], 0xEE)
        << "wrote past its result for \"" << c.Text << "\"";
  }
}

TEST(PackHexDigits, UsesOnlyTheFirst200CharactersForACommand) {
  const std::string text = std::string(200, 'a') + "5";
  std::array<unsigned char, CommandBufferSize + 1> destination{};
  destination[CommandBufferSize] = 0xEE;
  EXPECT_EQ(PackHexDigits(text.c_str(), CommandTextLimit, destination.data()), 100);
  EXPECT_EQ(destination[0], 0xAA);
  EXPECT_EQ(destination[99], 0xAA);
  EXPECT_EQ(destination[CommandBufferSize], 0xEE);

  const std::string odd(199, '7');
  EXPECT_EQ(PackHexDigits(odd.c_str(), CommandTextLimit, destination.data()), 100);
  EXPECT_EQ(destination[0], 0x07);
  EXPECT_EQ(destination[1], 0x77);
}

// The plain meaning of a repeat: min(m, size / P) whole copies.
Bytes RepeatedByReference(const Bytes& pattern, std::int64_t repeatCount, int size) {
  Bytes buffer(static_cast<std::size_t>(size), 0);
  const std::int64_t copies =
      repeatCount <= 1 ? 1 : std::min<std::int64_t>(repeatCount, size / std::ssize(pattern));
  for (std::int64_t copy = 0; copy < copies; ++copy) {
    std::copy(pattern.begin(), pattern.end(), buffer.begin() + copy * std::ssize(pattern));
  }
  return buffer;
}

struct RepeatCase {
  Bytes Pattern;
  std::int32_t RepeatCount;
};

const RepeatCase RepeatCases[] = {
    {{0x01, 0x02}, 3},
    {{0xA5}, 4321},
    {{0xAB, 0xCD, 0xEF}, 1441},
    {{1, 2, 3, 4, 5, 6, 7}, 1000},  // 617 copies, the last byte stays 0
    {{0xAB}, 1},
    {{0xAB}, 0},
    {{0xAB}, -5},
    {{1, 2, 3, 4, 5, 6, 7}, std::numeric_limits<std::int32_t>::max()},
    {Bytes(4320, 0x5A), 2},
    {Bytes(2161, 0x11), 2},
};

TEST(RepeatPattern, FillsWholeCopiesWithinTheBuffer) {
  for (const RepeatCase& c : RepeatCases) {
    Bytes buffer(WriteBufferSize + 16, 0);
    std::copy(c.Pattern.begin(), c.Pattern.end(), buffer.begin());
    RepeatPattern(buffer.data(), WriteBufferSize, static_cast<int>(c.Pattern.size()),
                  c.RepeatCount);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + WriteBufferSize),
              RepeatedByReference(c.Pattern, c.RepeatCount, WriteBufferSize))
        << c.Pattern.size() << "-byte pattern, repeat " << c.RepeatCount;
    EXPECT_EQ(Bytes(buffer.begin() + WriteBufferSize, buffer.end()), Bytes(16, 0))
        << "wrote past the buffer";
  }
}

}  // namespace
