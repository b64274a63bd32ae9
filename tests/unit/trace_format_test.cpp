#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "call_trace.h"
#include "builtin_simulator.h"

namespace {

TEST(TraceFormat, QuotesTextsWithEscapes) {
  EXPECT_EQ(standin::QuoteText("SIM0"), "\"SIM0\"");
  EXPECT_EQ(standin::QuoteText(std::string("a\0b", 3)), "\"a\\0b\"");
  EXPECT_EQ(standin::QuoteText("\"\\\t\r\n"), "\"\\\"\\\\\\t\\r\\n\"");
  EXPECT_EQ(standin::QuoteText("\x01\x7F\xE9%s"), "\"\\x01\\x7f\\xe9%s\"");
}

TEST(TraceFormat, ShortensRunsOfFourOrMoreBytes) {
  const std::vector<unsigned char> pattern{1, 2, 1, 2, 0, 0, 0, 7, 7, 7, 7};
  EXPECT_EQ(standin::HexRuns(pattern.data(), pattern.size()), "[01 02 01 02 00 00 00 07 x4]");
  const std::vector<unsigned char> zeros(4320, 0);
  EXPECT_EQ(standin::HexRuns(zeros.data(), zeros.size()), "[00 x4320]");
  EXPECT_EQ(standin::HexRuns(zeros.data(), 0), "[]");
}

TEST(StandinConfiguration, ParsesDeviceNamesAndFaults) {
  EXPECT_EQ(standin::ParseDeviceNames(nullptr), (std::vector<std::string>{"SIM0", "SIM1"}));
  EXPECT_EQ(standin::ParseDeviceNames("A%sB,,C"), (std::vector<std::string>{"A%sB", "C"}));
  EXPECT_TRUE(standin::ParseDeviceNames("").empty());

  const standin::Faults faults =
      standin::ParseFaults("read-result=5000,init-result=-7,enum-unterminated,bogus");
  EXPECT_EQ(faults.ReadResult, 5000);
  EXPECT_EQ(faults.InitResult, -7);
  EXPECT_TRUE(faults.EnumUnterminated);
  EXPECT_FALSE(faults.EnumEmpty);
}

}  // namespace
