// The ten exported functions of the stand-in VANDREL library: each asks the
// simulator and, when tracing, appends one line to the call trace.
#include "call_trace.h"
#include "builtin_simulator.h"
#include "vandrel.h"

#include <cstdlib>

using standin::TraceLine;

namespace {

// Made when the library is loaded, so that a call costs no first-use check.
standin::Simulator TheSimulator(standin::ParseDeviceNames(std::getenv("VANDREL_DEVICES")),
                                standin::ParseFaults(std::getenv("VANDREL_FAULT")));

// The trace file is opened at the first call, not at load: by then the
// console has made sure that a closed standard descriptor is not taken.
bool Tracing() {
  static const bool tracing = standin::TracingEnabled();
  return tracing;
}

}  // namespace

extern "C" {

BRD_API std::int32_t BRD_CALL BrdSetTestData(const char* text, std::int32_t* flags) {
  const std::int32_t result = TheSimulator.SetTestData(text, flags);
  if (Tracing()) {
    TraceLine("BrdSetTestData").Text("text", text).Word("flags", flags).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdInitDevice(const char* name, std::int32_t* deviceInfo) {
  const std::int32_t infoOnEntry = deviceInfo == nullptr ? 0 : *deviceInfo;
  const standin::OpenResult opened = TheSimulator.Open(name);
  const bool writesInfo = opened.DeviceInfo.has_value() && deviceInfo != nullptr;
  if (writesInfo) {
    *deviceInfo = *opened.DeviceInfo;
  }
  if (Tracing()) {
    TraceLine line("BrdInitDevice");
    line.Text("name", name).Word("info", deviceInfo, infoOnEntry).Result(opened.Handle);
    if (writesInfo) {
      line.WroteWord("info", deviceInfo);
    }
    line.Emit();
  }
  return opened.Handle;
}

BRD_API std::int32_t BRD_CALL BrdCloseDevice(std::int32_t handle) {
  const std::int32_t result = TheSimulator.Close(handle);
  if (Tracing()) {
    TraceLine("BrdCloseDevice").Number("handle", handle).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdEnumDevice(char* list, std::int32_t size) {
  std::size_t written = 0;
  const std::int32_t result = TheSimulator.ListDevices(list, size, written);
  if (Tracing()) {
    TraceLine line("BrdEnumDevice");
    line.OutputBuffer("list", list).Number("size", size).Result(result);
    if (written > 0) {
      line.WroteText("list", list, written);
    }
    line.Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdSetNoOfModules(std::int32_t handle, std::int32_t modules) {
  const std::int32_t result = TheSimulator.SetModules(handle, modules);
  if (Tracing()) {
    TraceLine("BrdSetNoOfModules")
        .Number("handle", handle)
        .Number("modules", modules)
        .Result(result)
        .Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdHighVoltage(std::int32_t handle, std::int32_t value) {
  const std::int32_t result = TheSimulator.SetHighVoltage(handle, value);
  if (Tracing()) {
    TraceLine("BrdHighVoltage").Number("handle", handle).Number("value", value).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdTestOutput(std::int32_t handle, signed char code) {
  const std::int32_t result = TheSimulator.SetTestOutput(handle, code);
  if (Tracing()) {
    TraceLine("BrdTestOutput").Number("handle", handle).Number("code", code).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdCommand(std::int32_t handle, unsigned char* buffer) {
  const std::int32_t result = TheSimulator.Command(handle, buffer);
  if (Tracing()) {
    TraceLine("BrdCommand")
        .Number("handle", handle)
        .Bytes("buffer", buffer, standin::CommandBytes)
        .Result(result)
        .Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdWriteData(std::int32_t handle, std::int32_t count,
                                           unsigned char* buffer) {
  const std::int32_t result = TheSimulator.Write(handle, count, buffer);
  if (Tracing()) {
    TraceLine("BrdWriteData")
        .Number("handle", handle)
        .Number("count", count)
        .Bytes("buffer", buffer, standin::WriteCountLimit * standin::BytesPerWriteWord)
        .Result(result)
        .Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdReadData(std::int32_t handle, std::int32_t count,
                                          unsigned char* buffer) {
  std::size_t placed = 0;
  const std::int32_t result = TheSimulator.Read(handle, count, buffer, placed);
  if (Tracing()) {
    TraceLine line("BrdReadData");
    line.Number("handle", handle).Number("count", count).OutputBuffer("buffer", buffer);
    line.Result(result);
    if (placed > 0) {
      line.WroteBytes("buffer", buffer, placed);
    }
    line.Emit();
  }
  return result;
}

}  // extern "C"
