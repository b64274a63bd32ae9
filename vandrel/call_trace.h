// The stand-in library's call trace: one line per call, appended to the file
// that VANDREL_TRACE names ("-" for standard error).
//
//   <seq> <Function>(<name>=<value>, ...) = <result>[ -> <name>=<value>, ...]
//
// Arguments are shown as the library received them; what it wrote back
// through a pointer follows the arrow.
#ifndef STANDIN_CALL_TRACE_H
#define STANDIN_CALL_TRACE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

// True when VANDREL_TRACE names a destination that could be opened.
bool TracingEnabled();

class TraceLine {
 public:
  explicit TraceLine(std::string_view function);

  TraceLine& Number(std::string_view name, std::int64_t value);
  // A zero-terminated text, quoted with escapes; null when text is null.
  TraceLine& Text(std::string_view name, const char* text);
  // A word passed by address: @<address number>(<value>); null when null.
  TraceLine& Word(std::string_view name, const std::int32_t* word);
  // The same, with the value the word held before the library changed it.
  TraceLine& Word(std::string_view name, const std::int32_t* word, std::int32_t valueOnEntry);
  // A buffer the library reads: [hex], long runs of one byte shortened.
  TraceLine& Bytes(std::string_view name, const unsigned char* bytes, std::size_t size);
  // A buffer the library only writes: its name, or null.
  TraceLine& OutputBuffer(std::string_view name, const void* buffer);

  TraceLine& Result(std::int32_t result);

  // What the library wrote back, shown after the result.
  TraceLine& WroteWord(std::string_view name, const std::int32_t* word);
  TraceLine& WroteBytes(std::string_view name, const unsigned char* bytes, std::size_t size);
  TraceLine& WroteText(std::string_view name, const char* bytes, std::size_t size);

  // Appends the line to the trace.
  void Emit();

 private:
  void BeginArgument(std::string_view name);
  void BeginWriteBack(std::string_view name);

  std::string line_;
  bool firstArgument_ = true;
  bool firstWriteBack_ = true;
};

// Formatting helpers, exposed for the unit tests.
std::string QuoteText(std::string_view text);
std::string HexRuns(const unsigned char* bytes, std::size_t size);

}  // namespace standin

#endif
