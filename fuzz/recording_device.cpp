// A device library for fuzzing: it answers every call at once, varies its
// answers (good lists and broken ones, reads that report too much, too little
// or nothing), touches every byte of every buffer the console promises, and
// aborts when the console breaks its side of the contract.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "fuzz_support.h"
#include "vandrel.h"

namespace {

std::uint32_t CallCount = 0;
volatile unsigned Checksum = 0;  // keeps the reads of the buffers alive

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void ReadAll(const unsigned char* bytes, std::size_t size) {
  unsigned sum = 0;
  for (std::size_t index = 0; index < size; ++index) {
    sum += bytes[index];
  }
  Checksum = Checksum + sum;
}

}  // namespace

void ResetRecordingDevice() { CallCount = 0; }

extern "C" {

std::int32_t BrdSetTestData(const char* text, std::int32_t* flags) {
  ++CallCount;
  Require(flags == nullptr || flags == &TestFlags);
  if (text != nullptr) {
    ReadAll(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
  }
  return 0;
}

std::int32_t BrdInitDevice(const char* name, std::int32_t* deviceInfo) {
  ++CallCount;
  Require(name != nullptr && deviceInfo == &DeviceInfo);
  ReadAll(reinterpret_cast<const unsigned char*>(name), std::strlen(name));
  *deviceInfo = static_cast<std::int32_t>(CallCount);
  // Any 32-bit value may come back as a handle.
  static constexpr std::int32_t Handles[] = {1, -1, 0, 2147483647, -2147483647 - 1, 7};
  return Handles[CallCount % 6];
}

std::int32_t BrdCloseDevice(std::int32_t) { return ++CallCount % 2 == 0 ? 0 : -1; }

std::int32_t BrdEnumDevice(char* list, std::int32_t size) {
  ++CallCount;
  Require(list != nullptr && size == DeviceListSize);
  switch (CallCount % 4) {
    case 0:
      std::memcpy(list, "DEV0\0DEV%s%n\0", 14);
      return 2;
    case 1:
      std::memset(list, 'Z', static_cast<std::size_t>(size));  // never terminated
      return 1;
    case 2:
      list[0] = '\0';
      return 1;
    default:
      return 0;
  }
}

std::int32_t BrdSetNoOfModules(std::int32_t, std::int32_t) { return static_cast<std::int32_t>(++CallCount); }
std::int32_t BrdHighVoltage(std::int32_t, std::int32_t) { return static_cast<std::int32_t>(++CallCount); }
std::int32_t BrdTestOutput(std::int32_t, signed char) { return static_cast<std::int32_t>(++CallCount); }

std::int32_t BrdCommand(std::int32_t, unsigned char* buffer) {
  ++CallCount;
  Require(buffer != nullptr);
  ReadAll(buffer, CommandBufferSize);
  return 0;
}

std::int32_t BrdWriteData(std::int32_t, std::int32_t count, unsigned char* buffer) {
  ++CallCount;
  Require(buffer != nullptr && count <= WriteCountLimit);
  ReadAll(buffer, WriteBufferSize);
  return 0;
}

std::int32_t BrdReadData(std::int32_t, std::int32_t count, unsigned char* buffer) {
  ++CallCount;
  Require(buffer != nullptr && count >= 1 && count <= ReadBufferSize);
  for (std::int32_t index = 0; index < count; ++index) {
    buffer[index] = static_cast<unsigned char>(index * 7 + CallCount);
  }
  // Within the contract and beyond it: all, one, nothing, a failure, too much.
  const std::int32_t results[] = {count, 1, 0, -5, count + 1000};
  return results[CallCount % 5];
}

}  // extern "C"
