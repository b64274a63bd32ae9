// Data transfer commands: v w r, and the hex packing and pattern repetition
// that build their buffers. Only "r" writes anything: a failed capture is
// reported on standard error.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "vandrel.h"

namespace {

// Digit values of all 256 bytes: 0-9, A-F and a-f are digits; any other byte
// counts as 0 and still takes up its nibble.
constexpr std::array<unsigned char, 256> HexDigitValues = [] {
  std::array<unsigned char, 256> values{};
  for (int digit = 0; digit < 10; ++digit) {
    values['0' + digit] = static_cast<unsigned char>(digit);
  }
  for (int digit = 0; digit < 6; ++digit) {
    values['A' + digit] = static_cast<unsigned char>(10 + digit);
    values['a' + digit] = static_cast<unsigned char>(10 + digit);
  }
  return values;
}();

int BoundedLength(const char* text, int limit) {
  int length = 0;
  while (length < limit && text[length] != '\0') {
    ++length;
  }
  return length;
}

// The count "r" reads: 1 to 1600 as given, 1600 for anything else.
std::int32_t ReadCount(const TokenList& tokens) {
  if (!HasToken(tokens, 1)) {
    return ReadBufferSize;
  }
  const std::int32_t count = DecimalValue(tokens.Slots[1]);
  return count >= 1 && count <= ReadBufferSize ? count : ReadBufferSize;
}

// Appends one block to the capture file. Returns false when the file cannot
// be opened, the block is not written whole, or the close fails (the data
// still in the stream's buffer could not be written); whatever part was
// written stays in the file.
bool AppendCapture(const char* fileName, const unsigned char* bytes, std::int32_t length) {
  std::FILE* capture = std::fopen(fileName, "a");
  if (capture == nullptr) {
    return false;
  }
  const bool written = std::fwrite(bytes, static_cast<std::size_t>(length), 1, capture) == 1;
  const bool closed = std::fclose(capture) == 0;
  return written && closed;
}

}  // namespace

int PackHexDigits(const char* text, int limit, unsigned char* destination) {
  const int length = BoundedLength(text, limit);
  destination[0] = 0;
  int produced = 0;
  for (int index = 0; index < length; ++index) {
    const unsigned char digit = HexDigitValues[static_cast<unsigned char>(text[index])];
    // The parity of the characters still to go decides the nibble, so the
    // digits line up at the end of the text.
    const bool highNibble = (length - index) % 2 == 0;
    if (highNibble) {
      destination[produced] = static_cast<unsigned char>(digit << 4);
    } else {
      destination[produced++] |= digit;
    }
  }
  return produced;
}

void RepeatPattern(unsigned char* buffer, int bufferSize, int patternLength,
                   std::int32_t repeatCount) {
  if (repeatCount <= 1 || patternLength <= 0) {
    return;
  }
  // Compared before any product is formed, so no repeat count can overflow.
  const int copies = std::min<std::int32_t>(repeatCount, bufferSize / patternLength);
  const int total = copies * patternLength;
  // Doubling: every copy round copies all that stands so far, which is a
  // whole number of patterns, so the fill costs a handful of memcpy calls.
  for (int filled = patternLength; filled < total;) {
    const int chunk = std::min(filled, total - filled);
    std::memcpy(buffer + filled, buffer, static_cast<std::size_t>(chunk));
    filled += chunk;
  }
}

// v hex [handle]: the command buffer holds the packed bytes, then zeros.
CommandOutcome SendCommandBytes(const TokenList& tokens, Workspace& work) {
  std::memset(work.CommandBuffer, 0, sizeof work.CommandBuffer);
  if (HasToken(tokens, 1)) {
    PackHexDigits(tokens.Slots[1], CommandTextLimit, work.CommandBuffer);
    BrdCommand(SelectHandle(tokens, 2), work.CommandBuffer);
  }
  return CommandOutcome::Continue;
}

// w count [pattern [repeat [handle]]]: the count is capped at 1440 but has no
// lower bound; the whole 4320-byte buffer goes to the library.
CommandOutcome WriteData(const TokenList& tokens, Workspace& work) {
  std::memset(work.WriteBuffer, 0, sizeof work.WriteBuffer);
  if (!HasToken(tokens, 1)) {
    return CommandOutcome::Continue;
  }
  const std::int32_t count = std::min<std::int32_t>(DecimalValue(tokens.Slots[1]), WriteCountLimit);
  if (HasToken(tokens, 2)) {
    const int patternLength = PackHexDigits(tokens.Slots[2], PatternTextLimit, work.WriteBuffer);
    if (HasToken(tokens, 3)) {
      RepeatPattern(work.WriteBuffer, WriteBufferSize, patternLength, DecimalValue(tokens.Slots[3]));
    }
  }
  BrdWriteData(SelectHandle(tokens, 4), count, work.WriteBuffer);
  return CommandOutcome::Continue;
}

// r [count [handle [file]]]: appends what was read to the capture file. A
// library that reports more than the count still gets only count bytes
// captured: nothing from behind what was asked for. The device has already
// handed the bytes over, so a capture that fails is reported on standard
// error (the name as typed) rather than lost without a word.
CommandOutcome ReadData(const TokenList& tokens, Workspace& work) {
  const std::int32_t count = ReadCount(tokens);
  const std::int32_t placed = BrdReadData(SelectHandle(tokens, 2), count, work.ReadBuffer);
  if (HasToken(tokens, 3) && placed > 0 &&
      !AppendCapture(tokens.Slots[3], work.ReadBuffer, std::min(placed, count))) {
    std::fprintf(stderr, "capture error on '%s'\n", tokens.Slots[3]);
  }
  return CommandOutcome::Continue;
}
