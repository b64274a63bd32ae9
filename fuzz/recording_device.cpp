// A device library for fuzzing: it answers every call at once, varies its
// answers (good lists and broken ones, reads that report too much, too little
// or nothing), checks every byte of every buffer the console promises, and
// aborts when the console breaks its side of the contract.
//
// It is the harness, not what is explored, so it is built without coverage
// instrumentation, and its checks are single library calls rather than loops
// over each byte: instrumented, a byte loop over the 4320-byte write buffer
// costs more than the console's whole handling of the line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "fuzz_support.h"
#include "vandrel.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRDTEST_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BRDTEST_FUZZ_ASAN 1
#endif
#ifdef BRDTEST_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

std::uint32_t CallCount = 0;
volatile std::size_t Checksum = 0;  // keeps the reads of the buffers alive

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Every one of the size bytes must belong to live memory: under
// AddressSanitizer, one query of the region; in the replay builds without it,
// the bytes are only scanned.
void RequireReadable(const void* bytes, std::size_t size) {
#ifdef BRDTEST_FUZZ_ASAN
  Require(__asan_region_is_poisoned(const_cast<void*>(bytes), size) == nullptr);
#else
  Checksum = Checksum + (std::memchr(bytes, 0xA5, size) != nullptr);
#endif
}

// What a read places: a table of i * 7 from an offset that moves with every
// call, so that a read is one copy.
constexpr auto ReadPattern = [] {
  std::array<unsigned char, ReadBufferSize + 256> pattern{};
  for (std::size_t index = 0; index < pattern.size(); ++index) {
    pattern[index] = static_cast<unsigned char>(index * 7);
  }
  return pattern;
}();

}  // namespace

void ResetRecordingDevice() { CallCount = 0; }

extern "C" {

std::int32_t BrdSetTestData(const char* text, std::int32_t* flags) {
  ++CallCount;
  Require(flags == nullptr || flags == &TestFlags);
  if (text != nullptr) {
    Checksum = Checksum + std::strlen(text);
  }
  return 0;
}

std::int32_t BrdInitDevice(const char* name, std::int32_t* deviceInfo) {
  ++CallCount;
  Require(name != nullptr && deviceInfo == &DeviceInfo);
  Checksum = Checksum + std::strlen(name);
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
  RequireReadable(buffer, CommandBufferSize);
  return 0;
}

std::int32_t BrdWriteData(std::int32_t, std::int32_t count, unsigned char* buffer) {
  ++CallCount;
  Require(buffer != nullptr && count <= WriteCountLimit);
  RequireReadable(buffer, WriteBufferSize);
  return 0;
}

std::int32_t BrdReadData(std::int32_t, std::int32_t count, unsigned char* buffer) {
  ++CallCount;
  Require(buffer != nullptr && count >= 1 && count <= ReadBufferSize);
  // The copy is checked by the sanitizer's memcpy, byte range and all.
  std::memcpy(buffer, ReadPattern.data() + CallCount % 256, static_cast<std::size_t>(count));
  // Within the contract and beyond it: all, one, nothing, a failure, too much.
  const std::int32_t results[] = {count, 1, 0, -5, count + 1000};
  return results[CallCount % 5];
}

}  // extern "C"
