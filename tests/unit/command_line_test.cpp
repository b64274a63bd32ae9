#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"

namespace {

// Fills a line buffer the way the reader does: the read text, then a zero,
// then stale bytes from an earlier, longer line.
struct LineFixture {
  char Line[LineBufferSize];

  explicit LineFixture(const std::string& text) {
    std::memset(Line, 'Z', sizeof Line);  // stale bytes a split must never reach
    std::memcpy(Line, text.c_str(), text.size() + 1);
  }

  std::vector<std::string> Split() {
    TrimCommandLine(Line, static_cast<int>(std::strlen(Line)));
    TokenList tokens;
    SplitCommandLine(Line, tokens);
    std::vector<std::string> words(tokens.Slots, tokens.Slots + tokens.Count);
    EXPECT_STREQ(tokens.Slots[tokens.Count], "") << "slot Count must hold the empty text";
    return words;
  }
};

struct SplitCase {
  std::string Text;
  std::vector<std::string> Tokens;
};

const SplitCase SplitCases[] = {
    {"", {}},
    {" \t \t", {}},
    {"\n", {}},
    {"c 3  \t\r\n", {"c", "3"}},
    {"  x", {"x"}},
    {"w 6 0102 3", {"w", "6", "0102", "3"}},
    {"a\rb c\vd", {"a\rb", "c\vd"}},
    {"i name\xE9\n", {"i", "name"}},
    {"i caf\xC3\xA9", {"i", "caf"}},  // every byte of a trailing UTF-8 character
    {"d \x7F", {"d", "\x7F"}},
    {"1 2 3 4 5 6 7 8 9 10 11 12", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}},
    {"1 2 3 4 5 6 7 8 9", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}},
    {"\x01\x02 a", {"\x01\x02", "a"}},
};

TEST(SplitCommandLine, SplitsAtSpacesAndTabsOnly) {
  for (const SplitCase& c : SplitCases) {
    LineFixture fixture(c.Text);
    EXPECT_EQ(fixture.Split(), c.Tokens) << "line: \"" << c.Text << "\"";
  }
}

TEST(SplitCommandLine, LongestLineKeepsBothZerosInsideTheBuffer) {
  LineFixture fixture(std::string(LineReadSize - 1, 'c'));
  EXPECT_EQ(TrimCommandLine(fixture.Line, static_cast<int>(std::strlen(fixture.Line))), LineReadSize - 1);
  EXPECT_EQ(fixture.Line[LineBufferSize - 2], '\0');
  EXPECT_EQ(fixture.Line[LineBufferSize - 1], '\0');
}

TEST(TrimCommandLine, RemovesControlsSpacesAndHighBytesButNotDelete) {
  LineFixture trimmed("ab\x7F \t\r\n\x80\xFF");
  EXPECT_EQ(TrimCommandLine(trimmed.Line, static_cast<int>(std::strlen(trimmed.Line))), 3);
  EXPECT_STREQ(trimmed.Line, "ab\x7F");
  LineFixture blank(" \x01\x1F\xA0");
  EXPECT_EQ(TrimCommandLine(blank.Line, static_cast<int>(std::strlen(blank.Line))), 0);
}

}  // namespace
