// Fuzz target: the console's interpreter on arbitrary bytes as its input
// stream, against the recording device library, with small scripts and
// capture files in memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "console.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  std::FILE* input = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (input == nullptr) {
    return 0;
  }
  ResetConsoleState();
  ResetRecordingDevice();
  BeginGuardedInput();
  RunCommandStream(input);
  EndGuardedInput();
  std::fclose(input);
  return 0;
}
