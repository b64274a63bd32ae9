// The library's call trace: one line per call, written through to the file
// that VANDREL_TRACE names ("-" for standard error), whichever backend
// answers the calls.
//
//   <seq> <Function>(<name>=<value>, ...) = <result>[ -> <name>=<value>, ...]
//
// Arguments are shown as the library received them; what it wrote back
// through a pointer follows the arrow. With VANDREL_TRACE_TIME=1 each line
// starts with the seconds since the first call and the call's duration, and
// a call still running after a tenth of a second gets a line with "..." in
// place of the duration, so that a call that never returns shows. Lines
// that start with '#' are notes (replay differences, the summary), not
// calls.
#ifndef VANDREL_CALL_TRACE_H
#define VANDREL_CALL_TRACE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vandrel {

enum class Function : int {
  SetTestData,
  InitDevice,
  CloseDevice,
  EnumDevice,
  SetNoOfModules,
  HighVoltage,
  TestOutput,
  Command,
  WriteData,
  ReadData,
};
inline constexpr int FunctionCount = 10;

// "BrdSetTestData" ... "BrdReadData".
const char* FunctionName(Function function);
// The function of that name; false when there is none.
bool FunctionByName(std::string_view name, Function& function);

// True when VANDREL_TRACE names a destination that could be opened. The
// trace is opened at the first call that asks.
bool TracingEnabled();

// A call's arguments as the trace shows them ("handle=1, count=4, buffer"),
// appended to a text. The trace writes them, and the replay compares calls
// by them, so both build them here.
class CallArguments {
 public:
  // shownBytes: how many bytes of a buffer are shown, as HexRuns takes it.
  CallArguments(std::string& text, std::size_t shownBytes) : text_(text), shownBytes_(shownBytes) {}

  CallArguments& Number(std::string_view name, std::int64_t value);
  // A zero-terminated text, quoted with escapes; null when text is null.
  CallArguments& Text(std::string_view name, const char* text);
  // A word passed by address: @<address number>(<value>); null when null.
  // Addresses are numbered in the order they are first seen in the process.
  CallArguments& Word(std::string_view name, const std::int32_t* word);
  // A buffer the library reads: [hex], long runs of one byte shortened.
  CallArguments& Bytes(std::string_view name, const unsigned char* bytes, std::size_t size);
  // A buffer the library only writes: its name, or null.
  CallArguments& OutputBuffer(std::string_view name, const void* buffer);

  // The text they are appended to.
  const std::string& Str() const { return text_; }

 private:
  void Begin(std::string_view name);

  std::string& text_;
  std::size_t shownBytes_;
  bool first_ = true;
};

// One call's line. Made before the call is answered; its arguments are
// added through Arguments(), Begin() then marks the call as running when
// times are traced, and Emit() writes the line.
class TraceLine {
 public:
  explicit TraceLine(Function function);

  CallArguments& Arguments() { return arguments_; }

  // Ends the arguments; with times traced, the call is watched until Emit().
  void Begin();

  TraceLine& Result(std::int32_t result);

  // What the library wrote back, shown after the result.
  TraceLine& WroteWord(std::string_view name, const std::int32_t* word);
  TraceLine& WroteBytes(std::string_view name, const unsigned char* bytes, std::size_t size);
  TraceLine& WroteText(std::string_view name, const char* bytes, std::size_t size);

  // Writes the line to the trace, and counts the call for the summary.
  void Emit();

 private:
  void BeginWriteBack(std::string_view name);

  Function function_;
  std::uint64_t sequence_;
  std::chrono::steady_clock::time_point start_;
  std::string line_;
  CallArguments arguments_;  // appends to line_
  std::int32_t result_ = 0;
  int slot_ = -1;  // among the running calls, when times are traced
  bool firstWriteBack_ = true;
};


// Writes "# <text>" as a line of its own.
void TraceNote(std::string_view text);

// Formatting helpers, exposed for the unit tests and the trace reader.
std::string QuoteText(std::string_view text);
// [hex] with runs of four or more equal bytes as "<byte> x<count>"; when
// shownLimit is below size, only the first shownLimit bytes are shown and
// "... <n> more" says how many were left out.
std::string HexRuns(const unsigned char* bytes, std::size_t size,
                    std::size_t shownLimit = static_cast<std::size_t>(-1));

}  // namespace vandrel

#endif
