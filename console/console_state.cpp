// The console state: the only data that commands share with each other, with
// the entry point and across nested scripts.
#include "console.h"

std::int32_t CurrentHandle = -1;
std::int32_t TestFlags = 1;
std::int32_t DeviceInfo = 0;

void ResetConsoleState() {
  CurrentHandle = -1;
  TestFlags = 1;
  DeviceInfo = 0;
}
