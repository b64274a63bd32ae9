// Replays every file of the corpus folders given on the command line through
// the fuzz target, for builds without libFuzzer: the ordinary test run checks
// that no input in the corpus crashes, trips a sanitizer or a check.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

int main(int argc, char** argv) {
  // Captured standard output is of no interest here; "e" writes to it.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    return 2;
  }
  std::vector<std::filesystem::path> inputs;
  for (int index = 1; index < argc; ++index) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[index])) {
      inputs.push_back(std::filesystem::absolute(entry.path()));
    }
  }
  if (LLVMFuzzerInitialize != nullptr) {
    LLVMFuzzerInitialize(&argc, &argv);
  }
  for (const auto& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
