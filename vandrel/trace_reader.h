// Reads a call trace back, as the replay backend needs it: one entry per
// call line, in the order of the file. Notes ('#') and the lines written
// before a call was answered ("..." in place of the duration) are skipped.
#ifndef VANDREL_TRACE_READER_H
#define VANDREL_TRACE_READER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "call_trace.h"

namespace vandrel {

struct RecordedCall {
  std::size_t Line = 0;     // in the file, from 1
  Function Called = Function::SetTestData;
  std::string Arguments;    // the text between the parentheses, as traced
  std::int32_t Result = 0;
  std::optional<std::int32_t> Info;           // -> info=@n(value)
  std::optional<std::string> List;            // -> list="..." (unquoted)
  std::optional<std::vector<unsigned char>> Bytes;  // -> buffer=[...]
  std::size_t BytesLeftOut = 0;               // "... n more" of a cut buffer
  std::optional<std::int64_t> DurationMicroseconds;  // traced with times

  // The call as the trace shows it, for messages.
  std::string Text() const;
};

struct Recording {
  std::vector<RecordedCall> Calls;
  // When buffers were cut (VANDREL_TRACE_BYTES), how many bytes were shown.
  std::optional<std::size_t> ShownBytes;
};

// Parses a trace. On failure returns false with error "<path>:<line>:
// <problem>".
bool ParseTrace(std::string_view text, const std::string& path, Recording& recording,
                std::string& error);

// Parses "[hex runs]" (as HexRuns writes it) into bytes; false when it is
// not such a text. leftOut receives the "... n more" count.
bool ParseHexRuns(std::string_view text, std::vector<unsigned char>& bytes, std::size_t& leftOut);

// Parses a quoted text (as QuoteText writes it) into its bytes.
bool ParseQuotedText(std::string_view text, std::string& bytes);

}  // namespace vandrel

#endif
