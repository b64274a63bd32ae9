// Entry point: hands the first argument to the library's test settings, then
// runs the command interpreter on standard input. Always exits with 0.
#include <csignal>
#include <cstdio>

#include "console.h"
#include "vandrel.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader that goes away while "e" prints must not kill the console; the
  // failed write is ignored like every other output failure.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  BrdSetTestData(argc > 1 ? argv[1] : nullptr, &TestFlags);
  RunCommandStream(stdin);
  return 0;
}
