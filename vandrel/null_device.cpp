// A device library that does nothing: the ten functions return at once, so
// that the benchmarks measure the console alone. Built apart from the
// stand-in, it also shows that any library with the ten functions can take
// the stand-in's place: its device list names it.
#include <cstring>

#include "vandrel.h"

extern "C" {

BRD_API int32_t BRD_CALL BrdSetTestData(const char*, int32_t*) { return 0; }
BRD_API int32_t BRD_CALL BrdInitDevice(const char*, int32_t*) { return 1; }
BRD_API int32_t BRD_CALL BrdCloseDevice(int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdEnumDevice(char* list, int32_t size) {
  static constexpr char List[] = "NULL-DEVICE\0";  // the name, its zero, the empty text
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
BRD_API int32_t BRD_CALL BrdReadData(int32_t, int32_t count, unsigned char*) { return count; }

}
