// A device library that does nothing: the ten functions return at once, so
// the benchmark measures the console alone.
#include "vandrel.h"

extern "C" {

BRD_API int32_t BRD_CALL BrdSetTestData(const char*, int32_t*) { return 0; }
BRD_API int32_t BRD_CALL BrdInitDevice(const char*, int32_t*) { return 1; }
BRD_API int32_t BRD_CALL BrdCloseDevice(int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdEnumDevice(char*, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdSetNoOfModules(int32_t, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdHighVoltage(int32_t, int32_t) { return 0; }
BRD_API int32_t BRD_CALL BrdTestOutput(int32_t, signed char) { return 0; }
BRD_API int32_t BRD_CALL BrdCommand(int32_t, unsigned char*) { return 0; }
BRD_API int32_t BRD_CALL BrdWriteData(int32_t, int32_t, unsigned char*) { return 0; }
BRD_API int32_t BRD_CALL BrdReadData(int32_t, int32_t count, unsigned char*) { return count; }

}
