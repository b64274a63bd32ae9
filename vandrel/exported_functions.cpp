// The ten exported functions of the VANDREL library: each traces its call
// and passes it to the chosen backend, whichever that is.
#include "backend.h"
#include "call_trace.h"
#include "vandrel.h"

using vandrel::Backend;
using vandrel::ChosenBackend;
using vandrel::Function;
using vandrel::TraceLine;
using vandrel::WriteBack;

namespace {

// Decided at the first call, not at load: by then the console has made sure
// that a closed standard descriptor is not taken by the trace file.
bool Tracing() {
  static const bool tracing = vandrel::TracingEnabled();
  return tracing;
}

}  // namespace

extern "C" {

BRD_API std::int32_t BRD_CALL BrdSetTestData(const char* text, std::int32_t* flags) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.SetTestData(text, flags);
  TraceLine line(Function::SetTestData);
  line.Text("text", text).Word("flags", flags).Begin();
  const std::int32_t result = backend.SetTestData(text, flags);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdInitDevice(const char* name, std::int32_t* deviceInfo) {
  Backend& backend = ChosenBackend();
  WriteBack back;
  if (!Tracing()) return backend.InitDevice(name, deviceInfo, back);
  TraceLine line(Function::InitDevice);
  line.Text("name", name).Word("info", deviceInfo).Begin();
  const std::int32_t result = backend.InitDevice(name, deviceInfo, back);
  line.Result(result);
  if (back.WroteInfo && deviceInfo != nullptr) line.WroteWord("info", deviceInfo);
  line.Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdCloseDevice(std::int32_t handle) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.CloseDevice(handle);
  TraceLine line(Function::CloseDevice);
  line.Number("handle", handle).Begin();
  const std::int32_t result = backend.CloseDevice(handle);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdEnumDevice(char* list, std::int32_t size) {
  Backend& backend = ChosenBackend();
  WriteBack back;
  if (!Tracing()) return backend.EnumDevice(list, size, back);
  TraceLine line(Function::EnumDevice);
  line.OutputBuffer("list", list).Number("size", size).Begin();
  const std::int32_t result = backend.EnumDevice(list, size, back);
  line.Result(result);
  if (back.Written > 0) line.WroteText("list", list, back.Written);
  line.Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdSetNoOfModules(std::int32_t handle, std::int32_t modules) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.SetNoOfModules(handle, modules);
  TraceLine line(Function::SetNoOfModules);
  line.Number("handle", handle).Number("modules", modules).Begin();
  const std::int32_t result = backend.SetNoOfModules(handle, modules);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdHighVoltage(std::int32_t handle, std::int32_t value) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.HighVoltage(handle, value);
  TraceLine line(Function::HighVoltage);
  line.Number("handle", handle).Number("value", value).Begin();
  const std::int32_t result = backend.HighVoltage(handle, value);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdTestOutput(std::int32_t handle, signed char code) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.TestOutput(handle, code);
  TraceLine line(Function::TestOutput);
  line.Number("handle", handle).Number("code", code).Begin();
  const std::int32_t result = backend.TestOutput(handle, code);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdCommand(std::int32_t handle, unsigned char* buffer) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.Command(handle, buffer);
  TraceLine line(Function::Command);
  line.Number("handle", handle).Bytes("buffer", buffer, vandrel::CommandBytes).Begin();
  const std::int32_t result = backend.Command(handle, buffer);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdWriteData(std::int32_t handle, std::int32_t count,
                                           unsigned char* buffer) {
  Backend& backend = ChosenBackend();
  if (!Tracing()) return backend.WriteData(handle, count, buffer);
  TraceLine line(Function::WriteData);
  line.Number("handle", handle)
      .Number("count", count)
      .Bytes("buffer", buffer, vandrel::WriteBufferBytes)
      .Begin();
  const std::int32_t result = backend.WriteData(handle, count, buffer);
  line.Result(result).Emit();
  return result;
}

BRD_API std::int32_t BRD_CALL BrdReadData(std::int32_t handle, std::int32_t count,
                                          unsigned char* buffer) {
  Backend& backend = ChosenBackend();
  WriteBack back;
  if (!Tracing()) return backend.ReadData(handle, count, buffer, back);
  TraceLine line(Function::ReadData);
  line.Number("handle", handle).Number("count", count).OutputBuffer("buffer", buffer).Begin();
  const std::int32_t result = backend.ReadData(handle, count, buffer, back);
  line.Result(result);
  if (back.Written > 0) line.WroteBytes("buffer", buffer, back.Written);
  line.Emit();
  return result;
}

}  // extern "C"
