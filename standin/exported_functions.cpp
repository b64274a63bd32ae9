// The ten exported functions of the stand-in VANDREL library: each asks the
// simulator and, when tracing, appends one line to the call trace.
#include "call_trace.h"
#include "simulated_devices.h"
#include "vandrel.h"

using standin::Simulator;
using standin::TraceLine;
using standin::TracingEnabled;

extern "C" {

BRD_API std::int32_t BRD_CALL BrdSetTestData(const char* text, std::int32_t* flags) {
  const std::int32_t result = Simulator::Instance().SetTestData(text, flags);
  if (TracingEnabled()) {
    TraceLine("BrdSetTestData").Text("text", text).Word("flags", flags).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdInitDevice(const char* name, std::int32_t* deviceInfo) {
  const std::int32_t infoOnEntry = deviceInfo == nullptr ? 0 : *deviceInfo;
  const standin::OpenResult opened = Simulator::Instance().Open(name);
  const bool writesInfo = opened.DeviceInfo.has_value() && deviceInfo != nullptr;
  if (writesInfo) {
    *deviceInfo = *opened.DeviceInfo;
  }
  if (TracingEnabled()) {
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
  const std::int32_t result = Simulator::Instance().Close(handle);
  if (TracingEnabled()) {
    TraceLine("BrdCloseDevice").Number("handle", handle).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdEnumDevice(char* list, std::int32_t size) {
  std::size_t written = 0;
  const std::int32_t result = Simulator::Instance().ListDevices(list, size, written);
  if (TracingEnabled()) {
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
  const std::int32_t result = Simulator::Instance().SetModules(handle, modules);
  if (TracingEnabled()) {
    TraceLine("BrdSetNoOfModules")
        .Number("handle", handle)
        .Number("modules", modules)
        .Result(result)
        .Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdHighVoltage(std::int32_t handle, std::int32_t value) {
  const std::int32_t result = Simulator::Instance().SetHighVoltage(handle, value);
  if (TracingEnabled()) {
    TraceLine("BrdHighVoltage").Number("handle", handle).Number("value", value).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdTestOutput(std::int32_t handle, signed char code) {
  const std::int32_t result = Simulator::Instance().SetTestOutput(handle, code);
  if (TracingEnabled()) {
    TraceLine("BrdTestOutput").Number("handle", handle).Number("code", code).Result(result).Emit();
  }
  return result;
}

BRD_API std::int32_t BRD_CALL BrdCommand(std::int32_t handle, unsigned char* buffer) {
  const std::int32_t result = Simulator::Instance().Command(handle, buffer);
  if (TracingEnabled()) {
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
  const std::int32_t result = Simulator::Instance().Write(handle, count, buffer);
  if (TracingEnabled()) {
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
  const std::int32_t result = Simulator::Instance().Read(handle, count, buffer, placed);
  if (TracingEnabled()) {
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
