// Entry point: hands the first argument to the library's test settings, then
// runs the command interpreter on standard input. Always exits with 0.
#include <csignal>
#include <cstdio>

#include "console.h"
#include "vandrel.h"

#if defined(__unix__) || defined(__APPLE__)
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A standard stream started closed leaves its descriptor free, and the next
// file opened (a capture file, the library's own files) would receive it:
// output meant for standard output would land in that file. /dev/null takes
// the place, so such output goes nowhere instead.
void ReserveStandardDescriptors() {
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
      open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
}

}  // namespace
#else
namespace {
void ReserveStandardDescriptors() {}
}  // namespace
#endif

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
#ifdef SIGPIPE
  // A reader that goes away while "e" prints must not kill the console; the
  // failed write is ignored like every other output failure.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  BrdSetTestData(argc > 1 ? argv[1] : nullptr, &TestFlags);
  RunCommandStream(stdin);
  return 0;
}
