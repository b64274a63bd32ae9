// Fuzz target: PackHexDigits and the write-buffer fill, checked against a
// plain reference. Input: one byte choosing the limit, four bytes of repeat
// count, then the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console.h"

namespace {

int HexValue(char character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return 0;
}

// Digits aligned to the end: an odd text reads as if it began with one more 0.
std::vector<unsigned char> PackedByReference(std::string text, int limit) {
  text = text.substr(0, std::min<std::size_t>(text.size(), static_cast<std::size_t>(limit)));
  if (text.size() % 2 == 1) {
    text.insert(text.begin(), '0');
  }
  std::vector<unsigned char> bytes;
  for (std::size_t index = 0; index < text.size(); index += 2) {
    bytes.push_back(static_cast<unsigned char>(HexValue(text[index]) * 16 + HexValue(text[index + 1])));
  }
  return bytes;
}

std::vector<unsigned char> FilledByReference(const std::vector<unsigned char>& pattern,
                                             std::int32_t repeatCount) {
  std::vector<unsigned char> buffer(WriteBufferSize, 0);
  const std::int64_t size = static_cast<std::int64_t>(pattern.size());
  const std::int64_t copies = repeatCount <= 1 ? 1 : std::min<std::int64_t>(repeatCount, WriteBufferSize / size);
  for (std::int64_t copy = 0; copy < copies; ++copy) {
    std::copy(pattern.begin(), pattern.end(), buffer.begin() + copy * size);
  }
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) {
    return 0;
  }
  static constexpr int Limits[] = {CommandTextLimit, PatternTextLimit, 1, 2, 3, 7};
  const int limit = Limits[data[0] % 6];
  std::int32_t repeatCount;
  std::memcpy(&repeatCount, data + 1, sizeof repeatCount);
  // The text stops at the first zero byte, as a token does.
  std::string text(reinterpret_cast<const char*>(data + 5), size - 5);
  text = text.c_str();
  if (text.empty()) {
    return 0;
  }

  // Exactly as many bytes as the limit allows, so any overrun is caught.
  const auto capacity = static_cast<std::size_t>((limit + 1) / 2);
  auto destination = std::make_unique<unsigned char[]>(capacity);
  const int produced = PackHexDigits(text.c_str(), limit, destination.get());
  const std::vector<unsigned char> packed(destination.get(), destination.get() + produced);
  if (packed != PackedByReference(text, limit)) {
    __builtin_trap();
  }

  if (limit == PatternTextLimit) {
    auto buffer = std::make_unique<unsigned char[]>(WriteBufferSize);
    std::memset(buffer.get(), 0, WriteBufferSize);
    PackHexDigits(text.c_str(), limit, buffer.get());
    RepeatPattern(buffer.get(), WriteBufferSize, produced, repeatCount);
    if (std::vector<unsigned char>(buffer.get(), buffer.get() + WriteBufferSize) !=
        FilledByReference(packed, repeatCount)) {
      __builtin_trap();
    }
  }
  return 0;
}
