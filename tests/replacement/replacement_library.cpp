// A device library built apart from the stand-in, exporting the same ten
// functions. Loaded in the stand-in's place, it shows that the console binds
// the library by name at start, not at build time.
#include <cstring>

#include "vandrel.h"

extern "C" {

BRD_API int32_t BRD_CALL BrdSetTestData(const char*, int32_t*) { return 0; }
BRD_API int32_t BRD_CALL BrdInitDevice(const char*, int32_t*) { return 42; }
BRD_API int32_t BRD_CALL BrdCloseDevice(int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdEnumDevice(char* list, int32_t size) {
  static constexpr char List[] = "REPLACEMENT\0";  // the text, its zero, the empty text
  if (list == nullptr || size < static_cast<int32_t>(sizeof List)) {
    return 0;
  }
  std::memcpy(list, List, sizeof List);
  return 1;
}
BRD_API int32_t BRD_CALL BrdSetNoOfModules(int32_t, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdHighVoltage(int32_t, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdTestOutput(int32_t, signed char) { return 0; }
BRD_API int32_t BRD_CALL BrdCommand(int32_t, unsigned char*) { return 0; }
BRD_API int32_t BRD_CALL BrdWriteData(int32_t, int32_t, unsigned char*) { return 0; }
BRD_API int32_t BRD_CALL BrdReadData(int32_t, int32_t, unsigned char*) { return 0; }

}
