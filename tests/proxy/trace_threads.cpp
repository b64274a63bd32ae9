// Calls from several threads at once (a user's own program may load the
// library too) must leave whole lines in the trace: each line reads back as
// one call, and every call has its line. Long write buffers make lines of
// several kilobytes, longer than the system writes in one piece for a pipe.
//
// Usage: trace_threads <trace file>; the library's other settings come from
// the environment (a proxy, for instance).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "trace_reader.h"
#include "vandrel.h"

namespace {

constexpr int Threads = 8;
constexpr int CallsPerThread = 500;

void CallMany(int thread) {
  std::vector<unsigned char> buffer(4320);
  for (int call = 0; call < CallsPerThread; ++call) {
    for (std::size_t index = 0; index < buffer.size(); ++index) {
      buffer[index] = static_cast<unsigned char>(index * 7 + call + thread);
    }
    BrdWriteData(thread, call, buffer.data());
    BrdHighVoltage(thread, call);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trace_threads <trace file>\n");
    return 2;
  }
  std::remove(argv[1]);
#if defined(_WIN32)
  _putenv_s("VANDREL_TRACE", argv[1]);
#else
  setenv("VANDREL_TRACE", argv[1], 1);
#endif
  std::vector<std::thread> threads;
  for (int thread = 0; thread < Threads; ++thread) {
    threads.emplace_back(CallMany, thread);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(file), {});
  vandrel::Recording recording;
  std::string error;
  if (!vandrel::ParseTrace(text, argv[1], recording, error)) {
    std::fprintf(stderr, "a trace line is not whole: %s\n", error.c_str());
    return 1;
  }
  const std::size_t expected = static_cast<std::size_t>(Threads) * CallsPerThread * 2;
  if (recording.Calls.size() != expected) {
    std::fprintf(stderr, "%zu calls traced, expected %zu\n", recording.Calls.size(), expected);
    return 1;
  }
  std::printf("%zu calls from %d threads, every line whole\n", expected, Threads);
  return 0;
}
