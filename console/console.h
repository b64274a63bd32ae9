// The console's shared declarations: the console state, the working storage of
// one interpreter invocation, the reader's helpers and the command handlers.
#ifndef BRDTEST_CONSOLE_H
#define BRDTEST_CONSOLE_H

#include <cstdint>
#include <cstdio>

// ---- Limits ----------------------------------------------------------------

// A read takes at most 999 bytes of text and the zero that ends them.
inline constexpr int LineReadSize = 1000;
// The trim writes two zeros behind the text; for a 999-byte text the second
// one is the 1001st byte.
inline constexpr int LineBufferSize = LineReadSize + 1;
// "e" lends the line buffer's first 1000 bytes to the library for the list.
inline constexpr int DeviceListSize = LineReadSize;

// Nine tokens at most; slot 9 holds the empty text after the ninth token.
inline constexpr int MaxTokens = 9;
inline constexpr int TokenSlots = MaxTokens + 1;

inline constexpr int CommandBufferSize = 100;
// Two hex digits per byte.
inline constexpr int CommandTextLimit = 2 * CommandBufferSize;

// 1440 x 3 = 4320: the largest count "w" passes, times three bytes.
inline constexpr int WriteCountLimit = 1440;
inline constexpr int WriteBufferSize = WriteCountLimit * 3;
inline constexpr int PatternTextLimit = 2 * WriteBufferSize;

inline constexpr int ReadBufferSize = 1600;

// Script levels below standard input. Each level holds about 7 KB of working
// storage and one open file, so 64 levels stay well inside a 1 MB stack.
inline constexpr int MaxScriptNesting = 64;

// ---- Console state ---------------------------------------------------------
// Shared by every invocation of the interpreter, nested scripts included.

extern std::int32_t CurrentHandle;  // -1 at start and after "c" alone
extern std::int32_t TestFlags;      // 1 at start; the library gets its address
extern std::int32_t DeviceInfo;     // written only by the library, never read

// Restores the start values; the entry point relies on the static
// initialisation, the fuzzer resets between inputs.
void ResetConsoleState();

// ---- Tokens and working storage --------------------------------------------

struct TokenList {
  int Count = 0;
  // Slot k < Count is token k; slot Count is the empty text; slots above
  // Count are stale and never read.
  const char* Slots[TokenSlots] = {};
};

// Everything one invocation of RunCommandStream owns. Nested invocations each
// have their own, so a script never disturbs the line or tokens of its caller.
struct Workspace {
  char Line[LineBufferSize];
  TokenList Tokens;
  unsigned char CommandBuffer[CommandBufferSize];
  unsigned char ReadBuffer[ReadBufferSize];
  unsigned char WriteBuffer[WriteBufferSize];
  int NestingLevel;  // 0 for standard input, 1 for a script it runs, ...
};

// A line has token k when its count is greater than k.
inline bool HasToken(const TokenList& tokens, int position) { return tokens.Count > position; }

// strtol base 10, saturated to the 32-bit signed range: leading white space,
// an optional sign, digits; no leading digits gives 0.
std::int32_t DecimalValue(const char* text);

// DecimalValue and how it came about, for tools that explain a line (the
// checker): Value is DecimalValue(text); HasDigits is false when the text has
// no leading digits (Value 0); Length counts the characters that make up the
// number (white space, sign and digits; 0 without digits), so text[Length]
// is the first character the value ignores; Saturated is true when the
// digits lie beyond the 32-bit signed range.
struct DecimalReading {
  std::int32_t Value = 0;
  int Length = 0;
  bool HasDigits = false;
  bool Saturated = false;
};
DecimalReading ReadDecimal(const char* text);

// The handle a command acts on: the token at position when the line has it,
// else CurrentHandle. Inline, since nearly every command line asks for it.
inline std::int32_t SelectHandle(const TokenList& tokens, int position) {
  return HasToken(tokens, position) ? DecimalValue(tokens.Slots[position]) : CurrentHandle;
}

enum class CommandOutcome { Continue, EndStream };

using CommandHandler = CommandOutcome (*)(const TokenList& tokens, Workspace& work);

// ---- Reader ----------------------------------------------------------------

// Runs the stream's command lines until end of input, a read error or "x".
// Leaves the stream open. Always returns 0. nestingLevel is 0 for standard
// input and one more for each script level.
int RunCommandStream(std::FILE* stream, int nestingLevel = 0);

// Reads one line into line (LineReadSize bytes): up to and including a line
// feed, or 999 bytes, whichever comes first. Returns the length of its text
// (up to the first zero byte), or -1 when the stream has ended. A read that
// meets end of input ends the stream, and what it took is not run; so does a
// read that fails for any other reason, for which fgets returns null and the
// line is left as it was, so that no line is ever acted on twice. A read that
// stopped at a line feed cannot have met end of input, so only the others
// need the test.
int ReadCommandLine(std::FILE* stream, char* line);

// True when a line whose token 0 begins with firstByte runs a command, as the
// dispatch table has it; false for every byte that selects nothing.
bool SelectsCommand(char firstByte);

// Splits a trimmed line (text, zero, zero) in place at spaces and tabs into at
// most nine tokens; slot Count receives the empty text.
void SplitCommandLine(char* line, TokenList& tokens);

// Removes trailing bytes that are at most 0x20 as signed chars (controls,
// space, and 0x80-0xFF) from the text of the given length, then writes two
// zeros behind it. Returns the remaining length. line must have room for
// length + 2 bytes.
int TrimCommandLine(char* line, int length);

// ---- Commands --------------------------------------------------------------
// Each takes the tokens of its line and the invocation's working storage.

CommandOutcome CloseDevice(const TokenList& tokens, Workspace& work);      // c
CommandOutcome TestOutput(const TokenList& tokens, Workspace& work);       // d
CommandOutcome ListDevices(const TokenList& tokens, Workspace& work);      // e
CommandOutcome RunScript(const TokenList& tokens, Workspace& work);        // f
CommandOutcome SetHighVoltage(const TokenList& tokens, Workspace& work);   // h
CommandOutcome OpenDevice(const TokenList& tokens, Workspace& work);       // i
CommandOutcome SetTestText(const TokenList& tokens, Workspace& work);      // l
CommandOutcome SetModules(const TokenList& tokens, Workspace& work);       // m
CommandOutcome Pause(const TokenList& tokens, Workspace& work);            // p
CommandOutcome ReadData(const TokenList& tokens, Workspace& work);         // r
CommandOutcome SetTestFlags(const TokenList& tokens, Workspace& work);     // t
CommandOutcome SendCommandBytes(const TokenList& tokens, Workspace& work); // v
CommandOutcome WriteData(const TokenList& tokens, Workspace& work);        // w
CommandOutcome EndInvocation(const TokenList& tokens, Workspace& work);    // x

// ---- Data transfer helpers -------------------------------------------------

// Packs hex text into bytes, digits aligned to the end of the text: an odd
// number of characters gives a leading byte from the first character alone.
// Uses at most limit characters; any non-hex character counts as 0. Writes
// at most (limit + 1) / 2 bytes to destination; returns how many it wrote.
int PackHexDigits(const char* text, int limit, unsigned char* destination);

// Repeats the first patternLength bytes of buffer end to end so that the
// pattern stands min(repeatCount, bufferSize / patternLength) times; a repeat
// count of 1 or less leaves the pattern standing once. Bytes behind the last
// copy are left as they are.
void RepeatPattern(unsigned char* buffer, int bufferSize, int patternLength,
                   std::int32_t repeatCount);

// ---- Platform --------------------------------------------------------------

// Blocks the thread for the given milliseconds. Replaceable: the fuzz build
// links a version that returns at once.
void SleepMilliseconds(std::uint32_t milliseconds);

#endif
