// Preloaded into a run (LD_PRELOAD) to count heap allocations: every malloc,
// calloc, realloc and aligned allocation is counted and passed on to glibc.
// At exit the count is written to the file named by ALLOCATION_COUNT_FILE.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

unsigned long Allocations = 0;

struct Report {
  ~Report() {
    const char* path = std::getenv("ALLOCATION_COUNT_FILE");
    if (path != nullptr) {
      const unsigned long count = Allocations;  // the report's own fopen is not counted
      if (std::FILE* file = std::fopen(path, "w")) {
        std::fprintf(file, "%lu\n", count);
        std::fclose(file);
      }
    }
  }
} AtExit;

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  ++Allocations;
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
  ++Allocations;
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
  ++Allocations;
  return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
  ++Allocations;
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  ++Allocations;
  *result = __libc_memalign(alignment, size);
  return *result == nullptr ? 12 : 0;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  ++Allocations;
  return __libc_memalign(alignment, size);
}

}  // extern "C"
