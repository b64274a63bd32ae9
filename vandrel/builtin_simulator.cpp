#include "builtin_simulator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

namespace standin {
namespace {

std::vector<std::string> SplitList(const char* text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    if (!item.empty()) {
      items.push_back(item);
    }
  }
  return items;
}

std::optional<std::int32_t> ValueAfter(const std::string& item, const std::string& prefix) {
  if (item.rfind(prefix, 0) != 0) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(std::strtoll(item.c_str() + prefix.size(), nullptr, 10));
}

}  // namespace

std::vector<std::string> ParseDeviceNames(const char* text) {
  return SplitList(text == nullptr ? "SIM0,SIM1" : text);
}

Faults ParseFaults(const char* text) {
  Faults faults;
  for (const std::string& item : SplitList(text == nullptr ? "" : text)) {
    if (auto value = ValueAfter(item, "read-result=")) {
      faults.ReadResult = value;
    } else if (auto result = ValueAfter(item, "init-result=")) {
      faults.InitResult = result;
    } else if (item == "enum-unterminated") {
      faults.EnumUnterminated = true;
    } else if (item == "enum-empty") {
      faults.EnumEmpty = true;
    }
  }
  return faults;
}

Simulator::Simulator(std::vector<std::string> names, Faults faults) : faults_(faults) {
  for (std::string& name : names) {
    DeviceState device;
    device.Name = std::move(name);
    devices_.push_back(std::move(device));
  }
}

DeviceState* Simulator::Find(std::int32_t handle) {
  if (handle < 1 || static_cast<std::size_t>(handle) > deviceOfHandle_.size()) {
    return nullptr;
  }
  const std::size_t device = deviceOfHandle_[static_cast<std::size_t>(handle) - 1];
  return device == ClosedHandle ? nullptr : &devices_[device];
}

std::int32_t Simulator::SetTestData(const char* text, const std::int32_t* flags) {
  if (text != nullptr) {
    testText_ = text;
  }
  if (flags != nullptr) {
    testFlags_ = *flags;
  }
  return ResultOk;
}

OpenResult Simulator::Open(const char* name) {
  OpenResult result;
  const bool first = name == nullptr || *name == '\0';
  const auto device = std::find_if(devices_.begin(), devices_.end(), [&](const DeviceState& d) {
    return first || d.Name == name;
  });
  if (device != devices_.end()) {
    const auto index = static_cast<std::size_t>(device - devices_.begin());
    deviceOfHandle_.push_back(index);
    result.Handle = static_cast<std::int32_t>(deviceOfHandle_.size());
    // Firmware 1.0 in the high half, the device's index in the low half.
    result.DeviceInfo = static_cast<std::int32_t>(0x00010000 + index);
  }
  if (faults_.InitResult) {
    result.Handle = *faults_.InitResult;
  }
  return result;
}

std::int32_t Simulator::Close(std::int32_t handle) {
  if (Find(handle) == nullptr) {
    return ResultNoDevice;
  }
  deviceOfHandle_[static_cast<std::size_t>(handle) - 1] = ClosedHandle;
  return ResultOk;
}

std::int32_t Simulator::ListDevices(char* list, std::int32_t size, std::size_t& written) {
  written = 0;
  if (list == nullptr || size < 1) {
    return 0;
  }
  const auto capacity = static_cast<std::size_t>(size);
  if (faults_.EnumUnterminated) {
    for (std::size_t index = 0; index < capacity; ++index) {
      list[index] = static_cast<char>('A' + index % 26);
    }
    written = capacity;
    return 1;
  }
  std::int32_t listed = 0;
  if (!faults_.EnumEmpty) {
    for (const DeviceState& device : devices_) {
      // Each name needs its zero, and the list its closing empty text.
      if (written + device.Name.size() + 2 > capacity) {
        break;
      }
      std::memcpy(list + written, device.Name.c_str(), device.Name.size() + 1);
      written += device.Name.size() + 1;
      ++listed;
    }
  }
  list[written++] = '\0';
  return faults_.EnumEmpty ? 1 : listed;
}

std::int32_t Simulator::Store(std::int32_t handle, std::int32_t DeviceState::*setting,
                              std::int32_t value) {
  DeviceState* device = Find(handle);
  if (device == nullptr) {
    return ResultNoDevice;
  }
  device->*setting = value;
  return ResultOk;
}

std::int32_t Simulator::SetModules(std::int32_t handle, std::int32_t modules) {
  return Store(handle, &DeviceState::Modules, modules);
}

std::int32_t Simulator::SetHighVoltage(std::int32_t handle, std::int32_t value) {
  return Store(handle, &DeviceState::HighVoltage, value);
}

std::int32_t Simulator::SetTestOutput(std::int32_t handle, signed char code) {
  return Store(handle, &DeviceState::TestOutput, code);
}

std::int32_t Simulator::Command(std::int32_t handle, const unsigned char* bytes) {
  DeviceState* device = Find(handle);
  if (device == nullptr || bytes == nullptr) {
    return ResultNoDevice;
  }
  std::copy_n(bytes, CommandBytes, device->LastCommand.begin());
  return ResultOk;
}

std::int32_t Simulator::Write(std::int32_t handle, std::int32_t count,
                              const unsigned char* bytes) {
  DeviceState* device = Find(handle);
  if (device == nullptr || bytes == nullptr) {
    return ResultNoDevice;
  }
  const std::int32_t words = std::clamp(count, 0, WriteCountLimit);
  const std::size_t size = static_cast<std::size_t>(words) * BytesPerWriteWord;
  const std::size_t room = LoopbackCapacity - device->Loopback.size();
  device->Loopback.insert(device->Loopback.end(), bytes, bytes + std::min(size, room));
  return ResultOk;
}

std::int32_t Simulator::Read(std::int32_t handle, std::int32_t count, unsigned char* buffer,
                             std::size_t& placed) {
  placed = 0;
  DeviceState* device = Find(handle);
  if (device == nullptr || buffer == nullptr) {
    return ResultNoDevice;
  }
  const auto wanted = static_cast<std::size_t>(std::clamp(count, 0, ReadCountLimit));
  if (!device->Loopback.empty()) {
    // Loopback: what was written comes back first, in order.
    placed = std::min(wanted, device->Loopback.size());
    std::copy_n(device->Loopback.begin(), placed, buffer);
    device->Loopback.erase(device->Loopback.begin(),
                           device->Loopback.begin() + static_cast<std::ptrdiff_t>(placed));
  } else {
    // Nothing written: a counting ramp, so that captures have content.
    static const std::array<unsigned char, 256 + ReadCountLimit> Ramp = [] {
      std::array<unsigned char, 256 + ReadCountLimit> ramp{};
      for (std::size_t index = 0; index < ramp.size(); ++index) {
        ramp[index] = static_cast<unsigned char>(index);
      }
      return ramp;
    }();
    std::memcpy(buffer, Ramp.data() + device->NextGenerated, wanted);
    placed = wanted;
    device->NextGenerated = static_cast<unsigned char>(device->NextGenerated + wanted);
  }
  return faults_.ReadResult.value_or(static_cast<std::int32_t>(placed));
}

}  // namespace standin
