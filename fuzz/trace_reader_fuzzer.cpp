// Fuzz target: the trace reader, which the replay backend runs on recordings
// that may be damaged or edited by hand. Every input is read or refused with
// a message naming its line; what is read, written again as the trace writes
// it, must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "call_trace.h"
#include "trace_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vandrel::Recording recording;
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!vandrel::ParseTrace(text, "fuzz.trace", recording, error)) {
    if (error.rfind("fuzz.trace:", 0) != 0) std::abort();
    return 0;
  }
  for (const vandrel::RecordedCall& call : recording.Calls) {
    if (!call.Bytes) continue;
    // Bytes read back from a buffer write out to the same bytes again.
    const std::string written = vandrel::HexRuns(call.Bytes->data(), call.Bytes->size());
    std::vector<unsigned char> again;
    std::size_t leftOut = 0;
    if (!vandrel::ParseHexRuns(written, again, leftOut) || again != *call.Bytes || leftOut != 0) {
      std::abort();
    }
  }
  return 0;
}
