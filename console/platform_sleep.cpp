// The one place that knows how the platform pauses a thread.
#include "console.h"

#ifdef _WIN32
#include <windows.h>

void SleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

#else
#include <chrono>
#include <thread>

// sleep_for measures against the steady clock, so a change of the wall clock
// neither shortens nor stretches the pause.
void SleepMilliseconds(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
#endif
