// The ten exported functions of the VANDREL library: each traces its call
// and passes it to the chosen backend, whichever that is.
#include <atomic>
#include <mutex>
#include <string>

#include "backend.h"
#include "call_trace.h"
#include "vandrel.h"

using vandrel::Backend;
using vandrel::ChosenBackend;
using vandrel::Function;
using vandrel::TraceLine;
using vandrel::WriteBack;

namespace {

// The backend and whether calls are traced, decided at the first call, not
// at load: by then the console has made sure that a closed standard
// descriptor is not taken by the trace file. Each call then costs one test
// of Ready before it goes on, so that forwarding with the trace off stays
// within a few nanoseconds of a direct call.
std::atomic<bool> Ready{false};
Backend* TheBackend = nullptr;
bool TraceOn = false;

[[gnu::noinline]] void Prepare() {
  static std::once_flag once;
  std::call_once(once, [] {
    TheBackend = &ChosenBackend();
    TraceOn = vandrel::TracingEnabled();
    // What went wrong at the start heads the trace too, for whoever reads
    // it later without the console's standard error.
    for (const std::string& problem : vandrel::TakeStartProblems()) {
      if (TraceOn) vandrel::TraceNote("VANDREL: " + problem);
    }
    Ready.store(true, std::memory_order_release);
  });
}

inline Backend& Route() {
  if (!Ready.load(std::memory_order_acquire)) [[unlikely]] {
    Prepare();
  }
  return *TheBackend;
}

// The traced calls, apart from the exported functions so that those stay
// small on the untraced path.

[[gnu::noinline]] std::int32_t TracedSetTestData(Backend& backend, const char* text, std::int32_t* flags) {
  TraceLine line(Function::SetTestData);
  line.Arguments().Text("text", text).Word("flags", flags);
  line.Begin();
  const std::int32_t result = backend.SetTestData(text, flags);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedInitDevice(Backend& backend, const char* name, std::int32_t* deviceInfo) {
  WriteBack back;
  TraceLine line(Function::InitDevice);
  line.Arguments().Text("name", name).Word("info", deviceInfo);
  line.Begin();
  const std::int32_t result = backend.InitDevice(name, deviceInfo, back);
  line.Result(result);
  if (back.WroteInfo && deviceInfo != nullptr) line.WroteWord("info", deviceInfo);
  line.Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedCloseDevice(Backend& backend, std::int32_t handle) {
  TraceLine line(Function::CloseDevice);
  line.Arguments().Number("handle", handle);
  line.Begin();
  const std::int32_t result = backend.CloseDevice(handle);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedEnumDevice(Backend& backend, char* list, std::int32_t size) {
  WriteBack back;
  TraceLine line(Function::EnumDevice);
  line.Arguments().OutputBuffer("list", list).Number("size", size);
  line.Begin();
  const std::int32_t result = backend.EnumDevice(list, size, back);
  line.Result(result);
  if (back.Written > 0) line.WroteText("list", list, back.Written);
  line.Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedSetNoOfModules(Backend& backend, std::int32_t handle, std::int32_t modules) {
  TraceLine line(Function::SetNoOfModules);
  line.Arguments().Number("handle", handle).Number("modules", modules);
  line.Begin();
  const std::int32_t result = backend.SetNoOfModules(handle, modules);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedHighVoltage(Backend& backend, std::int32_t handle, std::int32_t value) {
  TraceLine line(Function::HighVoltage);
  line.Arguments().Number("handle", handle).Number("value", value);
  line.Begin();
  const std::int32_t result = backend.HighVoltage(handle, value);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedTestOutput(Backend& backend, std::int32_t handle, signed char code) {
  TraceLine line(Function::TestOutput);
  line.Arguments().Number("handle", handle).Number("code", code);
  line.Begin();
  const std::int32_t result = backend.TestOutput(handle, code);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedCommand(Backend& backend, std::int32_t handle, unsigned char* buffer) {
  TraceLine line(Function::Command);
  line.Arguments().Number("handle", handle).Bytes("buffer", buffer, vandrel::CommandBytes);
  line.Begin();
  const std::int32_t result = backend.Command(handle, buffer);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedWriteData(Backend& backend, std::int32_t handle, std::int32_t count,
                                    unsigned char* buffer) {
  TraceLine line(Function::WriteData);
  line.Arguments().Number("handle", handle)
      .Number("count", count)
      .Bytes("buffer", buffer, vandrel::WriteBufferBytes);
  line.Begin();
  const std::int32_t result = backend.WriteData(handle, count, buffer);
  line.Result(result).Emit();
  return result;
}

[[gnu::noinline]] std::int32_t TracedReadData(Backend& backend, std::int32_t handle, std::int32_t count,
                                   unsigned char* buffer) {
  WriteBack back;
  TraceLine line(Function::ReadData);
  line.Arguments().Number("handle", handle).Number("count", count).OutputBuffer("buffer", buffer);
  line.Begin();
  const std::int32_t result = backend.ReadData(handle, count, buffer, back);
  line.Result(result);
  if (back.Written > 0) line.WroteBytes("buffer", buffer, back.Written);
  line.Emit();
  return result;
}

}  // namespace

extern "C" {

BRD_API std::int32_t BRD_CALL BrdSetTestData(const char* text, std::int32_t* flags) {
  Backend& backend = Route();
  return TraceOn ? TracedSetTestData(backend, text, flags) : backend.SetTestData(text, flags);
}

BRD_API std::int32_t BRD_CALL BrdInitDevice(const char* name, std::int32_t* deviceInfo) {
  Backend& backend = Route();
  if (TraceOn) return TracedInitDevice(backend, name, deviceInfo);
  WriteBack back;
  return backend.InitDevice(name, deviceInfo, back);
}

BRD_API std::int32_t BRD_CALL BrdCloseDevice(std::int32_t handle) {
  Backend& backend = Route();
  return TraceOn ? TracedCloseDevice(backend, handle) : backend.CloseDevice(handle);
}

BRD_API std::int32_t BRD_CALL BrdEnumDevice(char* list, std::int32_t size) {
  Backend& backend = Route();
  if (TraceOn) return TracedEnumDevice(backend, list, size);
  WriteBack back;
  return backend.EnumDevice(list, size, back);
}

BRD_API std::int32_t BRD_CALL BrdSetNoOfModules(std::int32_t handle, std::int32_t modules) {
  Backend& backend = Route();
  return TraceOn ? TracedSetNoOfModules(backend, handle, modules)
                 : backend.SetNoOfModules(handle, modules);
}

BRD_API std::int32_t BRD_CALL BrdHighVoltage(std::int32_t handle, std::int32_t value) {
  Backend& backend = Route();
  return TraceOn ? TracedHighVoltage(backend, handle, value) : backend.HighVoltage(handle, value);
}

BRD_API std::int32_t BRD_CALL BrdTestOutput(std::int32_t handle, signed char code) {
  Backend& backend = Route();
  return TraceOn ? TracedTestOutput(backend, handle, code) : backend.TestOutput(handle, code);
}

BRD_API std::int32_t BRD_CALL BrdCommand(std::int32_t handle, unsigned char* buffer) {
  Backend& backend = Route();
  return TraceOn ? TracedCommand(backend, handle, buffer) : backend.Command(handle, buffer);
}

BRD_API std::int32_t BRD_CALL BrdWriteData(std::int32_t handle, std::int32_t count,
                                           unsigned char* buffer) {
  Backend& backend = Route();
  return TraceOn ? TracedWriteData(backend, handle, count, buffer)
                 : backend.WriteData(handle, count, buffer);
}

BRD_API std::int32_t BRD_CALL BrdReadData(std::int32_t handle, std::int32_t count,
                                          unsigned char* buffer) {
  Backend& backend = Route();
  if (TraceOn) return TracedReadData(backend, handle, count, buffer);
  WriteBack back;
  return backend.ReadData(handle, count, buffer, back);
}

}  // extern "C"
