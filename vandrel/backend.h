// A backend answers the ten calls. The exported functions trace each call
// and pass it to the one backend chosen at the first call:
//   VANDREL_REPLAY       a recorded trace answers          (replay_backend.cpp)
//   VANDREL_LIBRARY      the maker's library answers       (proxy_backend.cpp)
//   VANDREL_DEFINITIONS  the simulator of a definition file (simulator.cpp)
//   none of them         the built-in simulator             (simulator.cpp)
// A backend that cannot start says why on standard error once and is
// replaced by one that cannot harm: a simulator without devices, or, for a
// maker's library that cannot be used, one that fails every call.
#ifndef VANDREL_BACKEND_H
#define VANDREL_BACKEND_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

inline constexpr std::int32_t ResultOk = 0;
inline constexpr std::int32_t ResultNoDevice = -1;
inline constexpr std::int32_t ResultOutOfRange = -2;

// Sizes of the console's buffers as the library's contract gives them.
inline constexpr std::size_t CommandBytes = 100;
inline constexpr std::int32_t WriteCountLimit = 1440;
// The simulator counts the write count in words of three bytes.
inline constexpr std::size_t BytesPerWriteWord = 3;
inline constexpr std::size_t WriteBufferBytes = WriteCountLimit * BytesPerWriteWord;
inline constexpr std::int32_t ReadCountLimit = 1600;

// What a backend reports beside a result, so that the trace can show what
// the library wrote back.
struct WriteBack {
  bool WroteInfo = false;     // BrdInitDevice wrote the info word
  std::size_t Written = 0;    // bytes of BrdEnumDevice's list or of a read
};

// A BrdEnumDevice that fails still leaves an empty list behind, so that a
// console that takes any nonzero result for a list prints nothing.
inline std::int32_t FailWithEmptyList(char* list, std::int32_t size, WriteBack& back) {
  if (list != nullptr && size > 0) {
    list[0] = '\0';
    back.Written = 1;
  }
  return ResultNoDevice;
}

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::int32_t SetTestData(const char* text, std::int32_t* flags) = 0;
  virtual std::int32_t InitDevice(const char* name, std::int32_t* info, WriteBack& back) = 0;
  virtual std::int32_t CloseDevice(std::int32_t handle) = 0;
  virtual std::int32_t EnumDevice(char* list, std::int32_t size, WriteBack& back) = 0;
  virtual std::int32_t SetNoOfModules(std::int32_t handle, std::int32_t modules) = 0;
  virtual std::int32_t HighVoltage(std::int32_t handle, std::int32_t value) = 0;
  virtual std::int32_t TestOutput(std::int32_t handle, signed char code) = 0;
  virtual std::int32_t Command(std::int32_t handle, unsigned char* buffer) = 0;
  virtual std::int32_t WriteData(std::int32_t handle, std::int32_t count, unsigned char* buffer) = 0;
  virtual std::int32_t ReadData(std::int32_t handle, std::int32_t count, unsigned char* buffer,
                                WriteBack& back) = 0;
};

// The backend of this process, made at the first call from the settings.
Backend& ChosenBackend();

// A problem met while choosing or starting the backend: written at once to
// standard error as "VANDREL: <text>", and kept so that the trace can begin
// with it too (TakeStartProblems).
void ReportStartProblem(const std::string& text);
std::vector<std::string> TakeStartProblems();

// The backends, for the chooser.
std::unique_ptr<Backend> MakeSimulator();  // built-in, or VANDREL_DEFINITIONS
std::unique_ptr<Backend> MakeSimulatorWithoutDevices();
std::unique_ptr<Backend> MakeProxy(const char* libraryPath);
std::unique_ptr<Backend> MakeReplay(const char* tracePath);

}  // namespace vandrel

#endif
