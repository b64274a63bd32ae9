// Entry point: hands the first argument to the library's test settings, then
// runs the command interpreter on standard input. Always exits with 0.
// "--help" or "--version" as the only argument prints the usage or the
// version instead, without any library call.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "brdtest_version.h"
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

namespace {

#ifdef _WIN32
#define BRDTEST_MANUAL "manual\\brdtest.1.html beside brdtest.exe"
#else
#define BRDTEST_MANUAL "man brdtest (the library's settings: man vandrel)"
#endif

const char UsageText[] =
    "Usage: brdtest [test-text] < script\n"
    "\n"
    "Runs one-letter commands, one per line, from standard input against the\n"
    "device library beside brdtest. The optional test-text goes to the\n"
    "library's test settings at start-up. brdtest prints only the device list,\n"
    "the script messages and failed captures, and exits with status 0.\n"
    "\n"
    "  brdtest --help      prints this text\n"
    "  brdtest --version   prints the version\n"
    "\n"
    "Manual: " BRDTEST_MANUAL "\n";

const char VersionText[] = "brdtest " BRDTEST_VERSION "\n";

// Returns the text to print when the only argument is exactly "--help" or
// "--version", and a null pointer otherwise: then every argument is the
// console's as before, the first one being the test text.
const char* InformationRequested(int argc, char** argv) {
  if (argc != 2) {
    return nullptr;
  }
  if (std::strcmp(argv[1], "--help") == 0) {
    return UsageText;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    return VersionText;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
  if (const char* information = InformationRequested(argc, argv)) {
    std::fputs(information, stdout);
    return 0;
  }
#ifdef SIGPIPE
  // A reader that goes away while "e" prints must not kill the console; the
  // failed write is ignored like every other output failure.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  BrdSetTestData(argc > 1 ? argv[1] : nullptr, &TestFlags);
  RunCommandStream(stdin);
  return 0;
}
