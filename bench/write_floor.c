/* The floor of a written-through trace: one write() per line of about the
 * length of a timed trace line, appended to a file, nothing else.
 *   write_floor <file> <lines> */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
  static const char line[] = "0.123456 0.000001 123456 BrdHighVoltage(handle=-1, value=1200) = -1\n";
  if (argc != 3) {
    fprintf(stderr, "usage: write_floor <file> <lines>\n");
    return 2;
  }
  const long lines = strtol(argv[2], NULL, 10);
  const int file = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_TRUNC | O_CLOEXEC, 0644);
  if (file < 0) {
    perror(argv[1]);
    return 1;
  }
  for (long index = 0; index < lines; ++index) {
    if (write(file, line, sizeof line - 1) != (ssize_t)(sizeof line - 1)) {
      perror(argv[1]);
      return 1;
    }
  }
  return close(file) == 0 ? 0 : 1;
}
