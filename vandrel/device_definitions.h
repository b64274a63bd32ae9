// What the simulator simulates: its devices and the faults it shows. The
// built-in definitions are two devices, SIM0 and SIM1 (or the names that
// VANDREL_DEVICES gives); a definition file (TOML, named by
// VANDREL_DEFINITIONS) describes any others. VANDREL_FAULT adds faults to
// either as a shorthand:
//   read-result=N      BrdReadData reports N bytes
//   init-result=N      BrdInitDevice returns N
//   enum-unterminated  BrdEnumDevice fills its whole buffer with letters
//   enum-empty         BrdEnumDevice returns 1 but writes only the empty text
#ifndef VANDREL_DEVICE_DEFINITIONS_H
#define VANDREL_DEVICE_DEFINITIONS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "call_trace.h"

namespace vandrel {

// How a read is answered when nothing waits in the device's queue.
enum class ReadSource {
  Loopback,  // written data is queued for reads; a counting ramp otherwise
  Ramp,      // a counting ramp; written data is dropped
  Random,    // seeded pseudo-random bytes
  File,      // the bytes of a file, over and over
};

struct ValueLimits {
  std::int32_t Min = INT32_MIN;
  std::int32_t Max = INT32_MAX;
};

// A command whose bytes begin with Prefix queues Queue for the next reads
// and returns Result.
struct CommandReply {
  std::vector<unsigned char> Prefix;
  std::vector<unsigned char> Queue;
  std::int32_t Result = 0;
};

struct DeviceDefinition {
  std::string Name;
  std::optional<std::int32_t> Info;  // written back at open; 0x10000 + index when unset
  std::optional<ValueLimits> Modules;
  std::optional<ValueLimits> HighVoltage;
  std::uint32_t DelayMilliseconds = 0;  // on every call that reaches the device
  std::array<std::uint32_t, FunctionCount> FunctionDelayMilliseconds{};
  std::vector<CommandReply> Replies;
  ReadSource Reads = ReadSource::Loopback;
  std::uint64_t Seed = 1;
  std::vector<unsigned char> FileBytes;
  std::optional<std::uint64_t> DisappearAfterCalls;
};

// A fault of one function: on its Nth call (every call when Call is unset)
// it waits DelayMilliseconds more, fails with Result, and reads place at
// most ShortRead bytes.
struct FaultDefinition {
  Function Target = Function::ReadData;
  std::optional<std::uint64_t> Call;
  std::optional<std::int32_t> Result;
  std::uint32_t DelayMilliseconds = 0;
  std::optional<std::int32_t> ShortRead;
};

// The VANDREL_FAULT shorthand.
struct ShorthandFaults {
  std::optional<std::int32_t> ReadResult;
  std::optional<std::int32_t> InitResult;
  bool EnumUnterminated = false;
  bool EnumEmpty = false;
};

struct Definitions {
  std::vector<DeviceDefinition> Devices;
  std::vector<FaultDefinition> Faults;
  ShorthandFaults Shorthand;
};

std::vector<std::string> ParseDeviceNames(const char* text);
ShorthandFaults ParseShorthandFaults(const char* text);

// SIM0 and SIM1, or the devices that names lists.
Definitions BuiltinDefinitions(const char* names);

// Parses a definition file's text. On failure returns false and sets error
// to "<path>:<line>: <problem>". Files named in it are read relative to the
// folder of path.
bool ParseDefinitions(std::string_view text, const std::string& path, Definitions& definitions,
                      std::string& error);
// Reads and parses the file; a file that cannot be read is an error too.
bool LoadDefinitions(const std::string& path, Definitions& definitions, std::string& error);

}  // namespace vandrel

#endif
