// Fuzz target: the simulator's definition-file parser on arbitrary text. It
// must answer every input with definitions or one error naming a line, and
// nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device_definitions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vandrel::Definitions definitions;
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool parsed = vandrel::ParseDefinitions(text, "fuzz.toml", definitions, error);
  // A failure says where; a success leaves no error behind.
  if (parsed ? !error.empty() : error.rfind("fuzz.toml:", 0) != 0) std::abort();
  return 0;
}
