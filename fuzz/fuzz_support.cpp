#include "fuzz_support.h"

#include <cstdint>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console.h"

#include <sys/stat.h>
#include <unistd.h>

// The console opens files by the names in its input. While an input runs,
// opening is confined to plain names in the scratch folder, captures go to
// /dev/null so that the folder does not grow, and the number of opens per
// input is bounded so that "f a.txt 2000000000" ends in an open error rather
// than running for hours. The fuzz targets link with -Wl,--wrap=fopen.
extern "C" std::FILE* __real_fopen(const char* name, const char* mode);

namespace {

bool Guarding = false;
int OpensThisInput = 0;
constexpr int OpensPerInput = 200;

void WriteScript(const char* name, const char* text) {
  std::FILE* file = __real_fopen(name, "w");
  if (file == nullptr) {
    std::abort();
  }
  std::fputs(text, file);
  std::fclose(file);
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
  if (mode[0] == 'a') {
    return __real_fopen("/dev/null", mode);
  }
  return __real_fopen(name, mode);
}

void EnterScratchFolder() {
  std::string folder = "/tmp/brdtest-fuzz-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr || chdir(folder.c_str()) != 0) {
    std::abort();
  }
  WriteScript("a.txt", "i\nm 4\nr 8 1 cap.bin\nv 1B\n");
  WriteScript("b.txt", "f a.txt 2\nh 3\nx\nh 4\n");
  WriteScript("self.txt", "h 1\nf self.txt\n");
  WriteScript("list.txt", "e\nw 6 0102 3\n");
  WriteScript("partial.txt", "c\nh 1");
  mkdir("dir", 0700);
}

// Pauses return at once in the fuzz builds.
void SleepMilliseconds(std::uint32_t milliseconds) {
  if (milliseconds > 0x7FFFFFFFu) {
    std::abort();  // a negative pause must never reach the sleep
  }
}

void BeginGuardedInput() {
  OpensThisInput = 0;
  Guarding = true;
}

void EndGuardedInput() { Guarding = false; }
