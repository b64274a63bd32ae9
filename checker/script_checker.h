// brdcheck's checks: what a script will silently not do, found by reading it
// with the console's own reader, tokenizer, decimal values and hex packing.
#ifndef BRDTEST_SCRIPT_CHECKER_H
#define BRDTEST_SCRIPT_CHECKER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Every check, in the order --help lists them. Keep CheckTable (script_checker.cpp)
// in step: one row per entry, in this order.
enum class Check {
  UnknownCommand,
  CommandWord,
  MissingToken,
  NoDigits,
  TrailingCharacters,
  HashNote,
  Saturated,
  Clamped,
  NoEffect,
  HexDigit,
  HexLength,
  HexSplit,
  Surplus,
  LongLine,
  Trimmed,
  ZeroByte,
  NoLineFeed,
  Unreachable,
  OpenError,
  NameRelative,
  QuotedName,
  NestingTooDeep,
  RunsItself,
  ByteOrderMark,
  Utf16,
  CrLineEnds,
  CtrlZ,
  NonAsciiName,
  DeviceName,
  ForbiddenCharacter,
  TrailingDot,
  BadDirective,
  Count
};

// A set of checks, one bit per Check.
using CheckSet = std::uint64_t;
static_assert(static_cast<int>(Check::Count) <= 64);
inline constexpr CheckSet Bit(Check check) { return CheckSet{1} << static_cast<int>(check); }

// The platforms whose traps are reported: both by default.
enum class PlatformScope { Both, Linux, Windows };

struct CheckInfo {
  const char* Name;     // as in findings, --disable and directives
  const char* Summary;  // one line for --help
  bool WindowsOnly;     // a trap of Windows only: off for --platform=linux
};

// True when the checker knows the tokens of the command that firstByte
// selects; it knows every command the dispatch table has, and no other.
bool KnowsCommand(char firstByte);

// True when the last component of a path (or any component given alone) is
// a Windows device name: CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any
// case and with any extension.
bool IsWindowsDeviceName(const std::string& component);

// The row of a check; Name is stable.
const CheckInfo& InfoOf(Check check);

// The check of that name, or Check::Count when there is none.
Check CheckNamed(const std::string& name);

struct Finding {
  int Line = 0;    // 1-based physical line
  int Column = 0;  // 1-based byte in that line
  Check Id = Check::Count;
  std::string Message;
};

// An "f" line that starts at least one pass, as the checker follows it.
struct ScriptCall {
  std::string Name;       // token 1, exactly as typed
  std::int32_t Passes = 1;
  int Line = 0;
  int Column = 0;
  CheckSet Disabled = 0;  // by directive for that line
};

// What checking one input found: its own findings and the scripts it runs.
struct FileReport {
  std::string Name;  // as findings show it
  bool Opened = false;
  bool ReadFailed = false;  // opened, but a read failed (a folder, say)
  std::vector<Finding> Findings;
  std::vector<ScriptCall> Calls;
};

// Reads stream line by line with the console's reader, to its very end (also
// past an "x", to say what is never read), and reports the findings of every
// enabled check that concerns the file itself. rawPath names the same file
// for a second, binary look on platforms whose reader stops at a byte 0x1A
// (empty for standard input). disabled holds the checks switched off for the
// whole run. Never runs a command and never opens another file than rawPath.
void CheckStream(std::FILE* stream, const std::string& rawPath, CheckSet disabled,
                 FileReport& report);

#endif
