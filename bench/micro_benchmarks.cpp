// Microbenchmarks of the console's inner pieces: hex packing, the
// write-buffer fill (against a plain memcpy of the whole buffer) and the
// tokenizer.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "console.h"

namespace {

std::string HexText(std::size_t length) {
  std::string text;
  for (std::size_t index = 0; index < length; ++index) {
    text += "0123456789abcdef"[index % 16];
  }
  return text;
}

void BM_PackHexDigits(benchmark::State& state) {
  const std::string text = HexText(static_cast<std::size_t>(state.range(0)));
  unsigned char destination[WriteBufferSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(PackHexDigits(text.c_str(), PatternTextLimit, destination));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PackHexDigits)->Arg(200)->Arg(8640);

// The whole "w" buffer preparation: clear, pack the pattern, repeat it.
void BM_FillWriteBuffer(benchmark::State& state) {
  const std::string pattern = HexText(static_cast<std::size_t>(state.range(0)) * 2);
  unsigned char buffer[WriteBufferSize];
  for (auto _ : state) {
    std::memset(buffer, 0, sizeof buffer);
    const int length = PackHexDigits(pattern.c_str(), PatternTextLimit, buffer);
    RepeatPattern(buffer, WriteBufferSize, length, WriteBufferSize);
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * WriteBufferSize);
}
BENCHMARK(BM_FillWriteBuffer)->Arg(1)->Arg(3)->Arg(7);

// The yardstick for the fill: the same memory traffic done plainly, a clear
// and one memcpy of the whole buffer.
void BM_ClearAndCopyWriteBuffer(benchmark::State& state) {
  unsigned char source[WriteBufferSize] = {1};
  unsigned char buffer[WriteBufferSize];
  benchmark::DoNotOptimize(source);
  for (auto _ : state) {
    std::memset(buffer, 0, sizeof buffer);
    benchmark::DoNotOptimize(buffer);
    std::memcpy(buffer, source, sizeof buffer);
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * WriteBufferSize);
}
BENCHMARK(BM_ClearAndCopyWriteBuffer);

void BM_SplitCommandLine(benchmark::State& state) {
  static constexpr char Line[] = "w 1440 0102030405 3 1 x y z q\n";
  char buffer[LineBufferSize];
  TokenList tokens;
  for (auto _ : state) {
    std::memcpy(buffer, Line, sizeof Line);
    TrimCommandLine(buffer, sizeof Line - 1);
    SplitCommandLine(buffer, tokens);
    benchmark::DoNotOptimize(tokens.Count);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SplitCommandLine);

}  // namespace
