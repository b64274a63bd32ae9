// The pure helpers the checker relies on: the console's decimal reading, and
// the checker's command forms against the console's dispatch table.
#include <gtest/gtest.h>

#include "console.h"
#include "script_checker.h"

TEST(CommandForms, CoverExactlyTheDispatchTable) {
  for (int byte = 0; byte < 256; ++byte) {
    const auto letter = static_cast<char>(byte);
    EXPECT_EQ(KnowsCommand(letter), SelectsCommand(letter)) << "byte " << byte;
  }
}

TEST(CheckNames, RoundTrip) {
  for (int index = 0; index < static_cast<int>(Check::Count); ++index) {
    const auto check = static_cast<Check>(index);
    EXPECT_EQ(CheckNamed(InfoOf(check).Name), check);
  }
  EXPECT_EQ(CheckNamed("no-such-check"), Check::Count);
}

TEST(ReadDecimal, SaysWhereTheNumberEnds) {
  struct Case {
    const char* Text;
    std::int32_t Value;
    int Length;
    bool HasDigits;
    bool Saturated;
  };
  const Case cases[] = {
      {"42", 42, 2, true, false},
      {"1,500", 1, 1, true, false},
      {" -7x", -7, 3, true, false},
      {"dump.dat", 0, 0, false, false},
      {"-", 0, 0, false, false},
      {"2147483647", 2147483647, 10, true, false},
      {"2147483648", 2147483647, 10, true, true},
      {"-2147483648", -2147483647 - 1, 11, true, false},
      {"-99999999999999999999z", -2147483647 - 1, 21, true, true},
  };
  for (const Case& c : cases) {
    const DecimalReading reading = ReadDecimal(c.Text);
    EXPECT_EQ(reading.Value, c.Value) << c.Text;
    EXPECT_EQ(reading.Value, DecimalValue(c.Text)) << c.Text;
    EXPECT_EQ(reading.Length, c.Length) << c.Text;
    EXPECT_EQ(reading.HasDigits, c.HasDigits) << c.Text;
    EXPECT_EQ(reading.Saturated, c.Saturated) << c.Text;
  }
}
