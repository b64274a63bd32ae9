// The cost of the proxy backend's forwarding, with the trace off: the maker's
// library (here the null device library, whose functions only return) called
// directly, against the same library called through this library with
// VANDREL_LIBRARY naming it. Both are loaded with dlopen and called through
// pointers from dlsym, as a program that loads a library by path does.
//
// The backend is chosen at the first call from the environment, so the
// settings are made before this library is loaded.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "vandrel.h"

#ifndef VANDREL_LIBRARY_FILE
#error "VANDREL_LIBRARY_FILE names this build's libVANDREL.so"
#endif
#ifndef NULL_DEVICE_LIBRARY_FILE
#error "NULL_DEVICE_LIBRARY_FILE names the null device library"
#endif

namespace {

struct Functions {
  decltype(&::BrdHighVoltage) HighVoltage = nullptr;
  decltype(&::BrdCommand) Command = nullptr;
  decltype(&::BrdReadData) ReadData = nullptr;
};

template <typename Pointer>
void Resolve(void* library, const char* name, Pointer& function) {
  function = reinterpret_cast<Pointer>(dlsym(library, name));
  if (function == nullptr) {
    std::fprintf(stderr, "backend_benchmarks: %s: %s\n", name, dlerror());
    std::exit(1);
  }
}

Functions Load(const char* path) {
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "backend_benchmarks: %s\n", dlerror());
    std::exit(1);
  }
  Functions functions;
  Resolve(library, "BrdHighVoltage", functions.HighVoltage);
  Resolve(library, "BrdCommand", functions.Command);
  Resolve(library, "BrdReadData", functions.ReadData);
  return functions;
}

const Functions& Maker() {
  static const Functions functions = Load(NULL_DEVICE_LIBRARY_FILE);
  return functions;
}

const Functions& Proxy() {
  static const Functions functions = [] {
    for (const char* name : {"VANDREL_TRACE", "VANDREL_REPLAY", "VANDREL_DEFINITIONS",
                             "VANDREL_SUMMARY", "VANDREL_TRACE_TIME"}) {
      unsetenv(name);
    }
    setenv("VANDREL_LIBRARY", NULL_DEVICE_LIBRARY_FILE, 1);
    Functions loaded = Load(VANDREL_LIBRARY_FILE);
    loaded.HighVoltage(1, 0);  // the first call chooses the backend
    return loaded;
  }();
  return functions;
}

void HighVoltage(benchmark::State& state, const Functions& functions) {
  std::int32_t value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(functions.HighVoltage(1, ++value));
  }
}

void Command(benchmark::State& state, const Functions& functions) {
  unsigned char bytes[100] = {0x1B, 0x02};
  for (auto _ : state) {
    benchmark::DoNotOptimize(functions.Command(1, bytes));
  }
}

void ReadData(benchmark::State& state, const Functions& functions) {
  unsigned char buffer[1600];
  for (auto _ : state) {
    benchmark::DoNotOptimize(functions.ReadData(1, 64, buffer));
  }
}

void BM_MakerDirect_HighVoltage(benchmark::State& state) { HighVoltage(state, Maker()); }
void BM_Proxy_HighVoltage(benchmark::State& state) { HighVoltage(state, Proxy()); }
void BM_MakerDirect_Command(benchmark::State& state) { Command(state, Maker()); }
void BM_Proxy_Command(benchmark::State& state) { Command(state, Proxy()); }
void BM_MakerDirect_ReadData(benchmark::State& state) { ReadData(state, Maker()); }
void BM_Proxy_ReadData(benchmark::State& state) { ReadData(state, Proxy()); }

BENCHMARK(BM_MakerDirect_HighVoltage);
BENCHMARK(BM_Proxy_HighVoltage);
BENCHMARK(BM_MakerDirect_Command);
BENCHMARK(BM_Proxy_Command);
BENCHMARK(BM_MakerDirect_ReadData);
BENCHMARK(BM_Proxy_ReadData);

}  // namespace

BENCHMARK_MAIN();
