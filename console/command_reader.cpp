// The interpreter over one input stream: reading, trimming and splitting
// command lines, the dispatch table, the decimal value of a token, and "x".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "console.h"

namespace {

// Slot Count of every TokenList points here, outside any line buffer, so a
// command that reads the slot after the last token finds a valid empty text.
const char EmptyText[1] = "";

// The command letters run from 'c' to 'x'. Keep the table in step with the
// handlers declared in console.h.
constexpr char FirstCommandLetter = 'c';
constexpr char LastCommandLetter = 'x';

constexpr CommandHandler DispatchTable[] = {
    CloseDevice,       // c
    TestOutput,        // d
    ListDevices,       // e
    RunScript,         // f
    nullptr,           // g
    SetHighVoltage,    // h
    OpenDevice,        // i
    nullptr,           // j
    nullptr,           // k
    SetTestText,       // l
    SetModules,        // m
    nullptr,           // n
    nullptr,           // o
    Pause,             // p
    nullptr,           // q
    ReadData,          // r
    nullptr,           // s
    SetTestFlags,      // t
    nullptr,           // u
    SendCommandBytes,  // v
    WriteData,         // w
    EndInvocation,     // x
};
static_assert(std::size(DispatchTable) == LastCommandLetter - FirstCommandLetter + 1);
static_assert(std::size(DispatchTable) == 22);

bool IsSeparator(char byte) { return byte == ' ' || byte == '\t'; }

// The white space that strtol skips in the "C" locale.
bool IsLeadingSpace(char byte) { return byte == ' ' || (byte >= '\t' && byte <= '\r'); }

CommandOutcome Dispatch(Workspace& work) {
  // The letter is taken as a signed byte: 0x80 to 0xFF select nothing.
  const auto letter = static_cast<signed char>(work.Tokens.Slots[0][0]);
  if (letter < FirstCommandLetter || letter > LastCommandLetter) {
    return CommandOutcome::Continue;
  }
  const CommandHandler handler = DispatchTable[letter - FirstCommandLetter];
  return handler == nullptr ? CommandOutcome::Continue : handler(work.Tokens, work);
}

}  // namespace

DecimalReading ReadDecimal(const char* text) {
  constexpr std::int64_t LargestMagnitude = 2147483647;
  constexpr std::int64_t SmallestMagnitude = 2147483648;  // of -2147483648
  const char* const start = text;
  while (IsLeadingSpace(*text)) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') {
    ++text;
  }
  const std::int64_t limit = negative ? SmallestMagnitude : LargestMagnitude;
  const char* const digits = text;
  std::int64_t magnitude = 0;
  bool saturated = false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (!saturated) {
      magnitude = magnitude * 10 + (*text - '0');
      // further digits cannot bring it back into range
      saturated = magnitude > limit;
      if (saturated) {
        magnitude = limit;
      }
    }
  }
  DecimalReading reading;
  reading.Value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  reading.HasDigits = text != digits;
  reading.Saturated = saturated;
  reading.Length = reading.HasDigits ? static_cast<int>(text - start) : 0;
  return reading;
}

std::int32_t DecimalValue(const char* text) { return ReadDecimal(text).Value; }

int ReadCommandLine(std::FILE* stream, char* line) {
  if (std::fgets(line, LineReadSize, stream) == nullptr) {
    return -1;
  }
  const auto length = static_cast<int>(std::strlen(line));
  const bool endsAtLineFeed = length > 0 && line[length - 1] == '\n';
  return !endsAtLineFeed && std::feof(stream) ? -1 : length;
}

bool SelectsCommand(char firstByte) {
  const auto letter = static_cast<signed char>(firstByte);
  return letter >= FirstCommandLetter && letter <= LastCommandLetter &&
         DispatchTable[letter - FirstCommandLetter] != nullptr;
}

int TrimCommandLine(char* line, int length) {
  while (length > 0 && static_cast<signed char>(line[length - 1]) <= 0x20) {
    --length;
  }
  // The second zero stops the split behind the last token (see below).
  line[length] = '\0';
  line[length + 1] = '\0';
  return length;
}

void SplitCommandLine(char* line, TokenList& tokens) {
  tokens.Count = 0;
  char* place = line;
  while (*place != '\0' && tokens.Count < MaxTokens) {
    while (IsSeparator(*place)) {
      ++place;
    }
    if (*place == '\0') {
      break;
    }
    tokens.Slots[tokens.Count++] = place;
    while (*place != '\0' && !IsSeparator(*place)) {
      ++place;
    }
    // Ends the token over its separator, or over the text's own zero; then
    // steps past it. Behind the last token that lands on the trim's second
    // zero, so the loop never runs into an earlier line's leftovers.
    *place++ = '\0';
  }
  tokens.Slots[tokens.Count] = EmptyText;
}

CommandOutcome EndInvocation(const TokenList&, Workspace&) { return CommandOutcome::EndStream; }

int RunCommandStream(std::FILE* stream, int nestingLevel) {
  // Zeroed once per invocation so that nothing in it is ever undefined, even
  // for a library that leaves "e"'s list unterminated.
  Workspace work{};
  work.NestingLevel = nestingLevel;
  for (int length; (length = ReadCommandLine(stream, work.Line)) >= 0;) {
    TrimCommandLine(work.Line, length);
    SplitCommandLine(work.Line, work.Tokens);
    if (work.Tokens.Count > 0 && Dispatch(work) == CommandOutcome::EndStream) {
      break;
    }
  }
  return 0;
}
