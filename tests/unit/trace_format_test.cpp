#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "call_trace.h"
#include "device_definitions.h"

namespace {

TEST(TraceFormat, QuotesTextsWithEscapes) {
  EXPECT_EQ(vandrel::QuoteText("SIM0"), "\"SIM0\"");
  EXPECT_EQ(vandrel::QuoteText(std::string("a\0b", 3)), "\"a\\0b\"");
  EXPECT_EQ(vandrel::QuoteText("\"\\\t\r\n"), "\"\\\"\\\\\\t\\r\\n\"");
  EXPECT_EQ(vandrel::QuoteText("\x01\x7F\xE9%s"), "\"\\x01\\x7f\\xe9%s\"");
}

TEST(TraceFormat, ShortensRunsOfFourOrMoreBytes) {
  const std::vector<unsigned char> pattern{1, 2, 1, 2, 0, 0, 0, 7, 7, 7, 7};
  EXPECT_EQ(vandrel::HexRuns(pattern.data(), pattern.size()), "[01 02 01 02 00 00 00 07 x4]");
  const std::vector<unsigned char> zeros(4320, 0);
  EXPECT_EQ(vandrel::HexRuns(zeros.data(), zeros.size()), "[00 x4320]");
  EXPECT_EQ(vandrel::HexRuns(zeros.data(), 0), "[]");
}

TEST(SimulatorConfiguration, ParsesDeviceNamesAndFaults) {
  EXPECT_EQ(vandrel::ParseDeviceNames(nullptr), (std::vector<std::string>{"SIM0", "SIM1"}));
  EXPECT_EQ(vandrel::ParseDeviceNames("A%sB,,C"), (std::vector<std::string>{"A%sB", "C"}));
  EXPECT_TRUE(vandrel::ParseDeviceNames("").empty());

  const vandrel::ShorthandFaults faults =
      vandrel::ParseShorthandFaults("read-result=5000,init-result=-7,enum-unterminated,bogus");
  EXPECT_EQ(faults.ReadResult, 5000);
  EXPECT_EQ(faults.InitResult, -7);
  EXPECT_TRUE(faults.EnumUnterminated);
  EXPECT_FALSE(faults.EnumEmpty);
}

}  // namespace
