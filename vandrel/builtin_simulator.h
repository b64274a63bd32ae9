// The devices that the stand-in library simulates, and the faults it can be
// told to show so that the console's handling of a misbehaving library can be
// tested.
//
// Environment:
//   VANDREL_DEVICES  comma-separated device names (default "SIM0,SIM1");
//                    empty for no device at all.
//   VANDREL_FAULT    comma-separated faults:
//                      read-result=N      BrdReadData reports N bytes
//                      init-result=N      BrdInitDevice returns N
//                      enum-unterminated  BrdEnumDevice fills its whole buffer
//                                         with letters, no zero byte
//                      enum-empty         BrdEnumDevice returns 1 but writes
//                                         only the empty text
#ifndef STANDIN_SIMULATED_DEVICES_H
#define STANDIN_SIMULATED_DEVICES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// Results the stand-in returns.
inline constexpr std::int32_t ResultOk = 0;
inline constexpr std::int32_t ResultNoDevice = -1;

// Sizes of the console's buffers as the library's contract gives them.
inline constexpr std::size_t CommandBytes = 100;
inline constexpr std::int32_t WriteCountLimit = 1440;
// The write count is in words of three bytes (24-bit samples).
inline constexpr std::size_t BytesPerWriteWord = 3;
inline constexpr std::int32_t ReadCountLimit = 1600;
// Written data waits for reads in a FIFO of at most this many bytes.
inline constexpr std::size_t LoopbackCapacity = 1 << 20;

struct Faults {
  std::optional<std::int32_t> ReadResult;
  std::optional<std::int32_t> InitResult;
  bool EnumUnterminated = false;
  bool EnumEmpty = false;
};

struct DeviceState {
  std::string Name;
  std::int32_t Modules = 1;
  std::int32_t HighVoltage = 0;
  std::int32_t TestOutput = 0;
  std::array<unsigned char, CommandBytes> LastCommand{};
  std::deque<unsigned char> Loopback;
  unsigned char NextGenerated = 0;  // generated reads count up from here
};

struct OpenResult {
  std::int32_t Handle = ResultNoDevice;
  std::optional<std::int32_t> DeviceInfo;  // set when the library writes it
};

class Simulator {
 public:
  Simulator(std::vector<std::string> names, Faults faults);

  std::int32_t SetTestData(const char* text, const std::int32_t* flags);
  OpenResult Open(const char* name);
  std::int32_t Close(std::int32_t handle);
  // Returns the result and how many bytes of list it wrote.
  std::int32_t ListDevices(char* list, std::int32_t size, std::size_t& written);
  std::int32_t SetModules(std::int32_t handle, std::int32_t modules);
  std::int32_t SetHighVoltage(std::int32_t handle, std::int32_t value);
  std::int32_t SetTestOutput(std::int32_t handle, signed char code);
  std::int32_t Command(std::int32_t handle, const unsigned char* bytes);
  std::int32_t Write(std::int32_t handle, std::int32_t count, const unsigned char* bytes);
  // Returns the result and how many bytes of buffer it placed.
  std::int32_t Read(std::int32_t handle, std::int32_t count, unsigned char* buffer,
                    std::size_t& placed);

 private:
  DeviceState* Find(std::int32_t handle);
  // Stores one setting of the device behind handle.
  std::int32_t Store(std::int32_t handle, std::int32_t DeviceState::*setting, std::int32_t value);

  std::vector<DeviceState> devices_;
  // Handles count up from 1 and are never reused, so the device a handle
  // names is found by index: entry h - 1 holds its device's index, or
  // ClosedHandle.
  static constexpr std::size_t ClosedHandle = static_cast<std::size_t>(-1);
  std::vector<std::size_t> deviceOfHandle_;
  Faults faults_;
  std::string testText_;
  std::int32_t testFlags_ = 0;
};

// Parsers of the two environment variables, exposed for the unit tests.
std::vector<std::string> ParseDeviceNames(const char* text);
Faults ParseFaults(const char* text);

}  // namespace standin

#endif
