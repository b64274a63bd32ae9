// Device commands: c d e h i l m p t. Each makes at most one call (to the
// device library, or the sleep for "p"); only "e" prints, and only to
// standard output.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "console.h"
#include "vandrel.h"

namespace {

// Prints each text of the device list on a line of its own, one output call
// per entry. Reads nothing beyond the size lent to the library: a text that
// is not ended within it is printed up to the last byte, and the list ends.
void PrintDeviceList(const char* list, int size) {
  int position = 0;
  while (position < size && list[position] != '\0') {
    const char* entry = list + position;
    const void* end = std::memchr(entry, '\0', static_cast<std::size_t>(size - position));
    const int length = end == nullptr ? size - position
                                      : static_cast<int>(static_cast<const char*>(end) - entry);
    std::printf("%.*s\n", length, entry);
    position += length + 1;
  }
}

}  // namespace

// c [handle]: without a handle closes CurrentHandle and forgets it; with one,
// closes that device and leaves CurrentHandle alone, even when they match.
CommandOutcome CloseDevice(const TokenList& tokens, Workspace&) {
  BrdCloseDevice(SelectHandle(tokens, 1));
  if (!HasToken(tokens, 1)) {
    CurrentHandle = -1;
  }
  return CommandOutcome::Continue;
}

// d [character [handle]]: the first byte of token 1 as a signed char; the
// empty slot behind the command word gives code 0.
CommandOutcome TestOutput(const TokenList& tokens, Workspace&) {
  const auto code = static_cast<signed char>(tokens.Slots[1][0]);
  BrdTestOutput(SelectHandle(tokens, 2), code);
  return CommandOutcome::Continue;
}

// e: the library writes the list into the line buffer; the line and its
// tokens are not used afterwards. Standard output is flushed at once: a
// program reading the list through a pipe must not wait for the console to
// end, and a console stopped later must not take the list with it.
CommandOutcome ListDevices(const TokenList&, Workspace& work) {
  if (BrdEnumDevice(work.Line, DeviceListSize) != 0) {
    PrintDeviceList(work.Line, DeviceListSize);
  }
  std::fflush(stdout);
  return CommandOutcome::Continue;
}

// h [value [handle]]: value 1 when token 1 is missing.
CommandOutcome SetHighVoltage(const TokenList& tokens, Workspace&) {
  const std::int32_t value = HasToken(tokens, 1) ? DecimalValue(tokens.Slots[1]) : 1;
  BrdHighVoltage(SelectHandle(tokens, 2), value);
  return CommandOutcome::Continue;
}

// i [name]: the result becomes CurrentHandle unchecked; an earlier device is
// not closed.
CommandOutcome OpenDevice(const TokenList& tokens, Workspace&) {
  CurrentHandle = BrdInitDevice(tokens.Slots[1], &DeviceInfo);
  return CommandOutcome::Continue;
}

// l text: one word of test text; nothing without it.
CommandOutcome SetTestText(const TokenList& tokens, Workspace&) {
  if (HasToken(tokens, 1)) {
    BrdSetTestData(tokens.Slots[1], nullptr);
  }
  return CommandOutcome::Continue;
}

// m [modules [handle]]: 0 modules when token 1 is missing; the call is made.
CommandOutcome SetModules(const TokenList& tokens, Workspace&) {
  BrdSetNoOfModules(SelectHandle(tokens, 2), DecimalValue(tokens.Slots[1]));
  return CommandOutcome::Continue;
}

// p milliseconds: nothing without token 1. A negative value is no pause at
// all: as an unsigned count it would be a pause of weeks, or an endless one
// where the platform reads 0xFFFFFFFF as "forever".
CommandOutcome Pause(const TokenList& tokens, Workspace&) {
  if (HasToken(tokens, 1)) {
    const std::int32_t milliseconds = DecimalValue(tokens.Slots[1]);
    if (milliseconds >= 0) {
      SleepMilliseconds(static_cast<std::uint32_t>(milliseconds));
    }
  }
  return CommandOutcome::Continue;
}

// t [flags]: stores the flags (65535 when token 1 is missing) before handing
// the library their address.
CommandOutcome SetTestFlags(const TokenList& tokens, Workspace&) {
  TestFlags = HasToken(tokens, 1) ? DecimalValue(tokens.Slots[1]) : 65535;
  BrdSetTestData(nullptr, &TestFlags);
  return CommandOutcome::Continue;
}
