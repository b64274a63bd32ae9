// The simulator backend: devices and faults as the built-in definitions or a
// definition file (VANDREL_DEFINITIONS) describe them.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backend.h"
#include "device_definitions.h"
#include "settings.h"

namespace vandrel {
namespace {

// Written data and queued replies wait for reads in a FIFO of at most this
// many bytes.
constexpr std::size_t QueueCapacity = 1 << 20;

struct DeviceState {
  DeviceDefinition Definition;
  std::int32_t Index = 0;
  std::int32_t Modules = 1;
  std::int32_t HighVoltage = 0;
  std::int32_t TestOutput = 0;
  std::array<unsigned char, CommandBytes> LastCommand{};
  std::deque<unsigned char> Queue;
  unsigned char NextRampByte = 0;
  std::uint64_t RandomState = 0;
  std::size_t FilePosition = 0;
  std::uint64_t Calls = 0;
  bool Gone = false;
};

const std::array<unsigned char, 256 + ReadCountLimit>& RampBytes() {
  static const std::array<unsigned char, 256 + ReadCountLimit> ramp = [] {
    std::array<unsigned char, 256 + ReadCountLimit> bytes{};
    for (std::size_t index = 0; index < bytes.size(); ++index) {
      bytes[index] = static_cast<unsigned char>(index);
    }
    return bytes;
  }();
  return ramp;
}

// splitmix64: small, fast and the same on every platform, so that a seed
// gives the same bytes everywhere.
std::uint64_t NextRandom(std::uint64_t& state) {
  std::uint64_t value = (state += 0x9E3779B97F4A7C15ull);
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

// What the faults of a definition do to one call.
struct FaultEffect {
  std::optional<std::int32_t> Result;
  std::optional<std::int32_t> ShortRead;
  std::uint32_t DelayMilliseconds = 0;
};

class Simulator final : public Backend {
 public:
  explicit Simulator(Definitions definitions) : shorthand_(definitions.Shorthand), faults_(std::move(definitions.Faults)) {
    for (DeviceDefinition& definition : definitions.Devices) {
      DeviceState device;
      device.Index = static_cast<std::int32_t>(devices_.size());
      device.RandomState = definition.Seed;
      device.Definition = std::move(definition);
      devices_.push_back(std::move(device));
    }
  }

  std::int32_t SetTestData(const char* text, std::int32_t* flags) override {
    Call call(*this, Function::SetTestData);
    if (call.Failed()) return call.Finish(0);
    if (text != nullptr) testText_ = text;
    if (flags != nullptr) testFlags_ = *flags;
    return call.Finish(ResultOk);
  }

  std::int32_t InitDevice(const char* name, std::int32_t* info, WriteBack& back) override {
    Call call(*this, Function::InitDevice);
    if (call.Failed()) return call.Finish(0);
    const bool first = name == nullptr || *name == '\0';
    std::int32_t handle = ResultNoDevice;
    for (DeviceState& device : devices_) {
      if (!device.Gone && (first || device.Definition.Name == name)) {
        if (!call.Reached(device)) {
          continue;  // gone with this very call
        }
        deviceOfHandle_.push_back(static_cast<std::size_t>(device.Index));
        handle = static_cast<std::int32_t>(deviceOfHandle_.size());
        // Firmware 1.0 in the high half, the device's index in the low half.
        const std::int32_t word = device.Definition.Info.value_or(0x00010000 + device.Index);
        if (info != nullptr) {
          *info = word;
          back.WroteInfo = true;
        }
        break;
      }
    }
    return call.Finish(shorthand_.InitResult.value_or(handle));
  }

  std::int32_t CloseDevice(std::int32_t handle) override {
    Call call(*this, Function::CloseDevice);
    if (call.Failed()) return call.Finish(0);
    DeviceState* device = call.Find(handle);
    if (device == nullptr) return call.Finish(ResultNoDevice);
    deviceOfHandle_[static_cast<std::size_t>(handle) - 1] = ClosedHandle;
    return call.Finish(ResultOk);
  }

  std::int32_t EnumDevice(char* list, std::int32_t size, WriteBack& back) override {
    Call call(*this, Function::EnumDevice);
    if (call.Failed()) return call.Finish(0);
    if (list == nullptr || size < 1) return call.Finish(0);
    const auto capacity = static_cast<std::size_t>(size);
    std::size_t& written = back.Written;
    if (shorthand_.EnumUnterminated) {
      for (std::size_t index = 0; index < capacity; ++index) {
        list[index] = static_cast<char>('A' + index % 26);
      }
      written = capacity;
      return call.Finish(1);
    }
    std::int32_t listed = 0;
    if (!shorthand_.EnumEmpty) {
      for (const DeviceState& device : devices_) {
        const std::string& name = device.Definition.Name;
        // Each name needs its zero, and the list its closing empty text.
        if (device.Gone || written + name.size() + 2 > capacity) {
          continue;
        }
        std::memcpy(list + written, name.c_str(), name.size() + 1);
        written += name.size() + 1;
        ++listed;
      }
    }
    list[written++] = '\0';
    return call.Finish(shorthand_.EnumEmpty ? 1 : listed);
  }

  std::int32_t SetNoOfModules(std::int32_t handle, std::int32_t modules) override {
    return Store(Function::SetNoOfModules, handle, &DeviceState::Modules, modules,
                 &DeviceDefinition::Modules);
  }

  std::int32_t HighVoltage(std::int32_t handle, std::int32_t value) override {
    return Store(Function::HighVoltage, handle, &DeviceState::HighVoltage, value,
                 &DeviceDefinition::HighVoltage);
  }

  std::int32_t TestOutput(std::int32_t handle, signed char code) override {
    return Store(Function::TestOutput, handle, &DeviceState::TestOutput, code, nullptr);
  }

  std::int32_t Command(std::int32_t handle, unsigned char* bytes) override {
    Call call(*this, Function::Command);
    if (call.Failed()) return call.Finish(0);
    DeviceState* device = call.Find(handle);
    if (device == nullptr || bytes == nullptr) return call.Finish(ResultNoDevice);
    std::copy_n(bytes, CommandBytes, device->LastCommand.begin());
    for (const CommandReply& reply : device->Definition.Replies) {
      if (reply.Prefix.size() <= CommandBytes &&
          std::equal(reply.Prefix.begin(), reply.Prefix.end(), bytes)) {
        Enqueue(*device, reply.Queue.data(), reply.Queue.size());
        return call.Finish(reply.Result);
      }
    }
    return call.Finish(ResultOk);
  }

  std::int32_t WriteData(std::int32_t handle, std::int32_t count, unsigned char* bytes) override {
    Call call(*this, Function::WriteData);
    if (call.Failed()) return call.Finish(0);
    DeviceState* device = call.Find(handle);
    if (device == nullptr || bytes == nullptr) return call.Finish(ResultNoDevice);
    if (device->Definition.Reads == ReadSource::Loopback) {
      const std::int32_t words = std::clamp(count, 0, WriteCountLimit);
      Enqueue(*device, bytes, static_cast<std::size_t>(words) * BytesPerWriteWord);
    }
    return call.Finish(ResultOk);
  }

  std::int32_t ReadData(std::int32_t handle, std::int32_t count, unsigned char* buffer,
                        WriteBack& back) override {
    Call call(*this, Function::ReadData);
    if (call.Failed()) return call.Finish(0);
    DeviceState* device = call.Find(handle);
    if (device == nullptr || buffer == nullptr) return call.Finish(ResultNoDevice);
    std::int32_t limit = std::clamp(count, 0, ReadCountLimit);
    if (call.Effect().ShortRead) {
      limit = std::min(limit, *call.Effect().ShortRead);
    }
    back.Written = Produce(*device, static_cast<std::size_t>(limit), buffer);
    return call.Finish(shorthand_.ReadResult.value_or(static_cast<std::int32_t>(back.Written)));
  }

 private:
  static constexpr std::size_t ClosedHandle = static_cast<std::size_t>(-1);

  // One call from start to result: counts it for the faults, holds the lock,
  // and waits the delays that apply once the lock is let go.
  class Call {
   public:
    Call(Simulator& simulator, Function function)
        : simulator_(simulator), function_(function), lock_(simulator.mutex_) {
      const std::uint64_t number = ++simulator.calls_[static_cast<std::size_t>(function)];
      for (const FaultDefinition& fault : simulator.faults_) {
        if (fault.Target == function && (!fault.Call || *fault.Call == number)) {
          effect_.DelayMilliseconds += fault.DelayMilliseconds;
          if (fault.Result) effect_.Result = fault.Result;
          if (fault.ShortRead) effect_.ShortRead = fault.ShortRead;
        }
      }
    }

    bool Failed() const { return effect_.Result.has_value(); }
    const FaultEffect& Effect() const { return effect_; }

    // The device behind handle, counting the call against it; null when the
    // handle names no open device or its device has gone.
    DeviceState* Find(std::int32_t handle) {
      auto& handles = simulator_.deviceOfHandle_;
      if (handle < 1 || static_cast<std::size_t>(handle) > handles.size()) return nullptr;
      const std::size_t index = handles[static_cast<std::size_t>(handle) - 1];
      if (index == ClosedHandle) return nullptr;
      DeviceState& device = simulator_.devices_[index];
      return Reached(device) ? &device : nullptr;
    }

    bool Reached(DeviceState& device) {
      if (device.Gone) return false;
      const DeviceDefinition& definition = device.Definition;
      if (definition.DisappearAfterCalls && device.Calls >= *definition.DisappearAfterCalls) {
        device.Gone = true;
        return false;
      }
      ++device.Calls;
      effect_.DelayMilliseconds += definition.DelayMilliseconds +
                                   definition.FunctionDelayMilliseconds[static_cast<std::size_t>(function_)];
      return true;
    }

    // The result, or the fault's; the delays are waited after the lock is
    // let go, so that other threads' calls go on meanwhile.
    std::int32_t Finish(std::int32_t result) {
      lock_.unlock();
      if (effect_.DelayMilliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(effect_.DelayMilliseconds));
      }
      return effect_.Result.value_or(result);
    }

   private:
    Simulator& simulator_;
    Function function_;
    std::unique_lock<std::mutex> lock_;
    FaultEffect effect_;
  };

  std::int32_t Store(Function function, std::int32_t handle, std::int32_t DeviceState::*setting,
                     std::int32_t value, std::optional<ValueLimits> DeviceDefinition::*limits) {
    Call call(*this, function);
    if (call.Failed()) return call.Finish(0);
    DeviceState* device = call.Find(handle);
    if (device == nullptr) return call.Finish(ResultNoDevice);
    if (limits != nullptr) {
      if (const auto& range = device->Definition.*limits; range && (value < range->Min || value > range->Max)) {
        return call.Finish(ResultOutOfRange);
      }
    }
    device->*setting = value;
    return call.Finish(ResultOk);
  }

  static void Enqueue(DeviceState& device, const unsigned char* bytes, std::size_t size) {
    const std::size_t room = QueueCapacity - device.Queue.size();
    device.Queue.insert(device.Queue.end(), bytes, bytes + std::min(size, room));
  }

  // Queued bytes first, then the device's read source.
  static std::size_t Produce(DeviceState& device, std::size_t wanted, unsigned char* buffer) {
    if (!device.Queue.empty()) {
      const std::size_t placed = std::min(wanted, device.Queue.size());
      std::copy_n(device.Queue.begin(), placed, buffer);
      device.Queue.erase(device.Queue.begin(), device.Queue.begin() + static_cast<std::ptrdiff_t>(placed));
      return placed;
    }
    switch (device.Definition.Reads) {
      case ReadSource::Loopback:
      case ReadSource::Ramp:
        std::memcpy(buffer, RampBytes().data() + device.NextRampByte, wanted);
        device.NextRampByte = static_cast<unsigned char>(device.NextRampByte + wanted);
        break;
      case ReadSource::Random:
        for (std::size_t index = 0; index < wanted; ++index) {
          buffer[index] = static_cast<unsigned char>(NextRandom(device.RandomState) >> 56);
        }
        break;
      case ReadSource::File: {
        const std::vector<unsigned char>& file = device.Definition.FileBytes;
        for (std::size_t index = 0; index < wanted; ++index) {
          buffer[index] = file[device.FilePosition];
          device.FilePosition = (device.FilePosition + 1) % file.size();
        }
        break;
      }
    }
    return wanted;
  }

  std::mutex mutex_;
  std::vector<DeviceState> devices_;
  // Handles count up from 1 and are never reused, so the device a handle
  // names is found by index: entry h - 1 holds its device's index, or
  // ClosedHandle.
  std::vector<std::size_t> deviceOfHandle_;
  ShorthandFaults shorthand_;
  std::vector<FaultDefinition> faults_;
  std::array<std::uint64_t, FunctionCount> calls_{};
  std::string testText_;
  std::int32_t testFlags_ = 0;
};

}  // namespace

std::unique_ptr<Backend> MakeSimulator() {
  Definitions definitions;
  if (const char* path = Setting("DEFINITIONS"); path != nullptr && *path != '\0') {
    std::string error;
    if (!LoadDefinitions(path, definitions, error)) {
      ReportStartProblem(error + "; the simulator has no devices");
    }
  } else {
    definitions = BuiltinDefinitions(Setting("DEVICES"));
  }
  definitions.Shorthand = ParseShorthandFaults(Setting("FAULT"));
  return std::make_unique<Simulator>(std::move(definitions));
}

std::unique_ptr<Backend> MakeSimulatorWithoutDevices() {
  return std::make_unique<Simulator>(Definitions{});
}

}  // namespace vandrel
