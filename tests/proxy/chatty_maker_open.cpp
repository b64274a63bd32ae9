// A maker's library whose functions call each other by their exported
// names: BrdInitDevice looks its device up with BrdEnumDevice (in the other
// file, so that the call goes through the dynamic linker). In front of it,
// the proxy must leave those inner calls inside it: the trace shows only the
// console's calls, and the open succeeds only when the inner call reached
// this library's own BrdEnumDevice.
#include <cstring>

#include "vandrel.h"

extern "C" {

BRD_API int32_t BRD_CALL BrdInitDevice(const char* name, int32_t* info) {
  char list[64] = {};
  if (BrdEnumDevice(list, sizeof list) != 4242) {
    return -99;  // the inner call went elsewhere
  }
  if (info != nullptr) *info = 7;
  return name != nullptr && std::strcmp(name, list) == 0 ? 5 : -1;
}

BRD_API int32_t BRD_CALL BrdSetTestData(const char*, int32_t*) { return 0; }
BRD_API int32_t BRD_CALL BrdCloseDevice(int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdSetNoOfModules(int32_t, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdHighVoltage(int32_t, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdTestOutput(int32_t, signed char) { return 0; }
BRD_API int32_t BRD_CALL BrdCommand(int32_t, unsigned char*) { return 0; }
BRD_API int32_t BRD_CALL BrdWriteData(int32_t, int32_t, unsigned char*) { return 0; }
BRD_API int32_t BRD_CALL BrdReadData(int32_t, int32_t, unsigned char*) { return 0; }

}
