// The floor: what merely reading a command line costs. It reads each line
// with the standard library, trims it, splits it into tokens and dispatches
// on the first byte, doing no command. Same buffer sizes as the console.
#include <cstdio>
#include <cstring>

namespace {

unsigned long Dispatched[256];

bool IsSeparator(char byte) { return byte == ' ' || byte == '\t'; }

int Split(char* line, const char** tokens) {
  int count = 0;
  char* place = line;
  while (*place != '\0' && count < 9) {
    while (IsSeparator(*place)) ++place;
    if (*place == '\0') break;
    tokens[count++] = place;
    while (*place != '\0' && !IsSeparator(*place)) ++place;
    *place++ = '\0';
  }
  return count;
}

}  // namespace

int main() {
  char line[1001];
  const char* tokens[10];
  while (std::fgets(line, 1000, stdin) != nullptr && !std::feof(stdin)) {
    auto length = std::strlen(line);
    while (length > 0 && static_cast<signed char>(line[length - 1]) <= 0x20) --length;
    line[length] = '\0';
    line[length + 1] = '\0';
    if (Split(line, tokens) > 0) {
      ++Dispatched[static_cast<unsigned char>(tokens[0][0])];
    }
  }
  return Dispatched[0] == 12345 ? 1 : 0;  // keeps the work observable
}
