#include "call_trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace standin {
namespace {

// Runs of at least this many equal bytes are written as "<byte> x<count>".
constexpr std::size_t ShortestShortenedRun = 4;

std::FILE* OpenTraceDestination() {
  const char* destination = std::getenv("VANDREL_TRACE");
  if (destination == nullptr || *destination == '\0') {
    return nullptr;
  }
  if (std::strcmp(destination, "-") == 0) {
    return stderr;
  }
  std::FILE* file = std::fopen(destination, "ab");
  if (file == nullptr) {
    std::fprintf(stderr, "VANDREL: cannot open trace file '%s'\n", destination);
    return nullptr;
  }
  // Lines are flushed at exit; a large buffer keeps tracing cheap.
  std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
  return file;
}

std::FILE* TraceDestination() {
  static std::FILE* const destination = OpenTraceDestination();
  return destination;
}

std::uint64_t NextSequenceNumber() {
  static std::uint64_t sequence = 0;
  return ++sequence;
}

// Addresses are numbered in the order in which the trace first sees them, so
// that a reader sees the same variable passed again without raw pointers.
std::size_t AddressNumber(const void* address) {
  static std::unordered_map<const void*, std::size_t> numbers;
  return numbers.try_emplace(address, numbers.size() + 1).first->second;
}

void AppendHexByte(std::string& out, unsigned char byte) {
  static constexpr char Digits[] = "0123456789abcdef";
  out += Digits[byte >> 4];
  out += Digits[byte & 0x0F];
}

void AppendWord(std::string& out, const std::int32_t* word, std::int32_t value) {
  if (word == nullptr) {
    out += "null";
    return;
  }
  out += '@';
  out += std::to_string(AddressNumber(word));
  out += '(';
  out += std::to_string(value);
  out += ')';
}

}  // namespace

bool TracingEnabled() { return TraceDestination() != nullptr; }

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    switch (byte) {
      case '\\': quoted += "\\\\"; break;
      case '"': quoted += "\\\""; break;
      case '\t': quoted += "\\t"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\0': quoted += "\\0"; break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          quoted += character;
        } else {
          quoted += "\\x";
          AppendHexByte(quoted, byte);
        }
    }
  }
  quoted += '"';
  return quoted;
}

std::string HexRuns(const unsigned char* bytes, std::size_t size) {
  std::string out = "[";
  for (std::size_t index = 0; index < size;) {
    std::size_t run = 1;
    while (index + run < size && bytes[index + run] == bytes[index]) {
      ++run;
    }
    const std::size_t shown = run >= ShortestShortenedRun ? 1 : run;
    for (std::size_t repeat = 0; repeat < shown; ++repeat) {
      if (out.size() > 1) {
        out += ' ';
      }
      AppendHexByte(out, bytes[index]);
    }
    if (run >= ShortestShortenedRun) {
      out += " x";
      out += std::to_string(run);
    }
    index += run;
  }
  out += ']';
  return out;
}

TraceLine::TraceLine(std::string_view function) {
  line_.reserve(128);
  line_ += std::to_string(NextSequenceNumber());
  line_ += ' ';
  line_ += function;
  line_ += '(';
}

void TraceLine::BeginArgument(std::string_view name) {
  if (!firstArgument_) {
    line_ += ", ";
  }
  firstArgument_ = false;
  line_ += name;
}

void TraceLine::BeginWriteBack(std::string_view name) {
  line_ += firstWriteBack_ ? " -> " : ", ";
  firstWriteBack_ = false;
  line_ += name;
  line_ += '=';
}

TraceLine& TraceLine::Number(std::string_view name, std::int64_t value) {
  BeginArgument(name);
  line_ += '=';
  line_ += std::to_string(value);
  return *this;
}

TraceLine& TraceLine::Text(std::string_view name, const char* text) {
  BeginArgument(name);
  line_ += '=';
  line_ += text == nullptr ? std::string("null") : QuoteText(text);
  return *this;
}

TraceLine& TraceLine::Word(std::string_view name, const std::int32_t* word) {
  return Word(name, word, word == nullptr ? 0 : *word);
}

TraceLine& TraceLine::Word(std::string_view name, const std::int32_t* word,
                           std::int32_t valueOnEntry) {
  BeginArgument(name);
  line_ += '=';
  AppendWord(line_, word, valueOnEntry);
  return *this;
}

TraceLine& TraceLine::Bytes(std::string_view name, const unsigned char* bytes, std::size_t size) {
  BeginArgument(name);
  line_ += '=';
  line_ += bytes == nullptr ? std::string("null") : HexRuns(bytes, size);
  return *this;
}

TraceLine& TraceLine::OutputBuffer(std::string_view name, const void* buffer) {
  BeginArgument(name);
  if (buffer == nullptr) {
    line_ += "=null";
  }
  return *this;
}

TraceLine& TraceLine::Result(std::int32_t result) {
  line_ += ") = ";
  line_ += std::to_string(result);
  return *this;
}

TraceLine& TraceLine::WroteWord(std::string_view name, const std::int32_t* word) {
  BeginWriteBack(name);
  AppendWord(line_, word, *word);
  return *this;
}

TraceLine& TraceLine::WroteBytes(std::string_view name, const unsigned char* bytes,
                                 std::size_t size) {
  BeginWriteBack(name);
  line_ += HexRuns(bytes, size);
  return *this;
}

TraceLine& TraceLine::WroteText(std::string_view name, const char* bytes, std::size_t size) {
  BeginWriteBack(name);
  line_ += QuoteText(std::string_view(bytes, size));
  return *this;
}

void TraceLine::Emit() {
  line_ += '\n';
  std::fwrite(line_.data(), 1, line_.size(), TraceDestination());
}

}  // namespace standin
