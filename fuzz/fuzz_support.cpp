#include "fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"

#include <sys/types.h>

// The console opens files by the names in its input. While an input runs,
// every open is answered from memory, so an input costs no file system calls
// and the process never changes its working directory (corpus folders given
// as relative paths stay valid, for -merge=1 as for fuzzing):
//   - the scripts below open for reading, from their text in memory;
//   - "dir" opens for reading like a folder on Linux, and every read fails;
//   - any other plain name opens for appending into a sink that keeps
//     nothing, except "full", whose writes fail like those of a full disk;
//   - names with a '/', a leading '.' or nothing at all, other names for
//     reading, and every open past OpensPerInput fail, so that
//     "f a.txt 2000000000" ends in an open error rather than running for hours.
// The fuzz targets link with -Wl,--wrap=fopen; outside an input, fopen is the
// real one.
extern "C" std::FILE* __real_fopen(const char* name, const char* mode);

namespace {

struct Script {
  const char* Name;
  const char* Text;
};

// Small scripts for "f": nesting, passes, "x" inside a script, a script that
// runs itself, captures and the device list inside scripts, and a last line
// without a line feed.
constexpr Script Scripts[] = {
    {"a.txt", "i\nm 4\nr 8 1 cap.bin\nv 1B\n"},
    {"b.txt", "f a.txt 2\nh 3\nx\nh 4\n"},
    {"self.txt", "h 1\nf self.txt\n"},
    {"list.txt", "e\nw 6 0102 3\n"},
    {"partial.txt", "c\nh 1"},
    {"full.txt", "r 4 1 full\nr 4 1 dir\nh 5\n"},
};

bool Guarding = false;
int OpensThisInput = 0;
constexpr int OpensPerInput = 200;

ssize_t ReadFails(void*, char*, std::size_t) { return -1; }
ssize_t WriteNothing(void*, const char*, std::size_t) { return 0; }
ssize_t WriteAll(void*, const char*, std::size_t size) { return static_cast<ssize_t>(size); }

std::FILE* OpenForReading(const char* name) {
  if (std::strcmp(name, "dir") == 0) {
    return fopencookie(nullptr, "r", cookie_io_functions_t{ReadFails, nullptr, nullptr, nullptr});
  }
  for (const Script& script : Scripts) {
    if (std::strcmp(name, script.Name) == 0) {
      return fmemopen(const_cast<char*>(script.Text), std::strlen(script.Text), "r");
    }
  }
  return nullptr;
}

std::FILE* OpenForAppending(const char* name) {
  if (std::strcmp(name, "dir") == 0) {
    return nullptr;  // a folder does not open for writing
  }
  const cookie_io_functions_t sink{nullptr, std::strcmp(name, "full") == 0 ? WriteNothing : WriteAll,
                                   nullptr, nullptr};
  return fopencookie(nullptr, "a", sink);
}

}  // namespace

extern "C" std::FILE* __wrap_fopen(const char* name, const char* mode) {
  if (!Guarding) {
    return __real_fopen(name, mode);
  }
  if (std::strchr(name, '/') != nullptr || name[0] == '.' || name[0] == '\0' ||
      ++OpensThisInput > OpensPerInput) {
    return nullptr;
  }
  return mode[0] == 'a' ? OpenForAppending(name) : OpenForReading(name);
}

// Pauses return at once in the fuzz builds.
void SleepMilliseconds(std::uint32_t milliseconds) {
  if (milliseconds > 0x7FFFFFFFu) {
    std::abort();  // a negative pause must never reach the sleep
  }
}

namespace {

// While an input runs, the console's standard output and error go to a sink
// in memory: the device list is flushed after every "e", and each script or
// capture message is a write of its own, which would otherwise cost a system
// call apiece.
std::FILE* OutputSink() {
  static std::FILE* const sink =
      fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, WriteAll, nullptr, nullptr});
  return sink;
}

std::FILE* SavedStandardOutput = nullptr;
std::FILE* SavedStandardError = nullptr;

}  // namespace

void BeginGuardedInput() {
  OpensThisInput = 0;
  Guarding = true;
  std::FILE* const sink = OutputSink();
  if (sink != nullptr) {
    SavedStandardOutput = stdout;
    SavedStandardError = stderr;
    stdout = sink;
    stderr = sink;
  }
}

void EndGuardedInput() {
  Guarding = false;
  if (SavedStandardOutput != nullptr) {
    stdout = SavedStandardOutput;
    stderr = SavedStandardError;
    SavedStandardOutput = nullptr;
  }
}
