#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "call_trace.h"
#include "device_definitions.h"
#include "trace_reader.h"

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

namespace {

TEST(TraceFormat, CutsBuffersAndSaysHowManyBytesWereLeftOut) {
  const std::vector<unsigned char> bytes{1, 2, 3, 3, 3, 3, 3, 9};
  EXPECT_EQ(vandrel::HexRuns(bytes.data(), bytes.size(), 6), "[01 02 03 x4 ... 2 more]");
  EXPECT_EQ(vandrel::HexRuns(bytes.data(), bytes.size(), 0), "[... 8 more]");
  EXPECT_EQ(vandrel::HexRuns(bytes.data(), bytes.size(), 8), "[01 02 03 x5 09]");
}

// What the trace writes, the reader reads back as the same bytes.
TEST(TraceReader, ReadsBackWhatTheTraceWrites) {
  const std::string text("\"\\\t\r\n\0\x01\x7F\xE9 ok", 12);
  std::string read;
  ASSERT_TRUE(vandrel::ParseQuotedText(vandrel::QuoteText(text), read));
  EXPECT_EQ(read, text);

  std::vector<unsigned char> bytes(4320, 0);
  bytes[0] = 0xAB;
  bytes[4319] = 7;
  std::vector<unsigned char> again;
  std::size_t leftOut = 0;
  ASSERT_TRUE(vandrel::ParseHexRuns(vandrel::HexRuns(bytes.data(), bytes.size()), again, leftOut));
  EXPECT_EQ(again, bytes);
  ASSERT_TRUE(vandrel::ParseHexRuns(vandrel::HexRuns(bytes.data(), bytes.size(), 3), again, leftOut));
  EXPECT_EQ(again, std::vector<unsigned char>({0xAB, 0, 0}));
  EXPECT_EQ(leftOut, 4317u);
}

TEST(TraceReader, RefusesTextsTheTraceNeverWrites) {
  std::vector<unsigned char> bytes;
  std::size_t leftOut = 0;
  for (const char* text : {"[", "[0]", "[0g]", "[x4]", "[01 x1]", "[01 x99999999]", "[01 ... 0 more]",
                           "[01 ... 3]", "01 02"}) {
    EXPECT_FALSE(vandrel::ParseHexRuns(text, bytes, leftOut)) << text;
  }
  std::string read;
  for (const char* text : {"\"", "\"a", "\"\\q\"", "\"\\x4\"", "\"a\"b\"", "\"\\\""}) {
    EXPECT_FALSE(vandrel::ParseQuotedText(text, read)) << text;
  }
}

TEST(TraceReader, NamesTheLineAndTheProblem) {
  struct Case {
    const char* Text;
    const char* Error;
  };
  const Case cases[] = {
      {"1 BrdSetTestData(text=null, flags=@1(1)) = 0\nBrdInitDevice() = 1\n",
       "t:2: a call line starts with its sequence number"},
      {"1 BrdOpen(name=\"\") = 1\n", "t:1: no function of the library is named here"},
      {"1 BrdInitDevice(name=\"a)\" = 1\n", "t:1: the arguments are not closed by ')'"},
      {"1 BrdCloseDevice(handle=1)\n", "t:1: the result is missing (' = <result>')"},
      {"1 BrdCloseDevice(handle=1) = 99999999999\n", "t:1: the result is not a 32-bit number"},
      {"1 BrdCloseDevice(handle=1) = 0 -> buffer=[00]\n",
       "t:1: 'buffer' is not written back by BrdCloseDevice"},
      {"1 BrdReadData(handle=1, count=2, buffer) = 2 -> buffer=[0]\n",
       "t:1: the buffer read is not [hex bytes]"},
      {"0.1 ... 1 BrdCloseDevice(handle=1)\n", "t:1: a timed line starts with the seconds since the first call"},
  };
  for (const Case& test : cases) {
    vandrel::Recording recording;
    std::string error;
    EXPECT_FALSE(vandrel::ParseTrace(test.Text, "t", recording, error)) << test.Text;
    EXPECT_EQ(error, test.Error);
    EXPECT_TRUE(recording.Calls.empty());
  }
}

}  // namespace
