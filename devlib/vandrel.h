/*
 * The ten functions of the device library VANDREL, as the console calls them.
 *
 * The library is the device maker's closed VANDREL.dll (libVANDREL.so here),
 * imported by name; any library that exports these ten functions with these
 * types can stand in its place without rebuilding the console.
 *
 * Types: handles, counts and results are 32-bit signed; texts are
 * zero-terminated 8-bit texts; the test-output character code is a signed
 * 8-bit char; buffers and the two words (test flags, device info) pass by
 * address.
 *
 * BRD_CALL is the library's calling convention. It defaults to the platform's
 * C convention; a maker's 32-bit DLL built with stdcall needs
 * -DBRD_CALL=__stdcall (CMake: -DVANDREL_CALLING_CONVENTION=__stdcall).
 */
#ifndef VANDREL_H
#define VANDREL_H

#include <stdint.h>

#ifndef BRD_CALL
#define BRD_CALL
#endif

#if defined(_WIN32)
#if defined(VANDREL_BUILDING_LIBRARY)
#define BRD_API __declspec(dllexport)
#else
#define BRD_API __declspec(dllimport)
#endif
#elif defined(VANDREL_BUILDING_LIBRARY)
#define BRD_API __attribute__((visibility("default")))
#else
#define BRD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Test settings: a text or null, the address of the test-flags word or null. */
BRD_API int32_t BRD_CALL BrdSetTestData(const char* text, int32_t* flags);

/* Opens a device by name (may be empty); may write one word through
 * deviceInfo. Returns the handle that the other functions take. */
BRD_API int32_t BRD_CALL BrdInitDevice(const char* name, int32_t* deviceInfo);

BRD_API int32_t BRD_CALL BrdCloseDevice(int32_t handle);

/* Writes the device list into list, within size bytes: zero-terminated texts
 * one after another, ended by an empty text. Nonzero when it wrote a list. */
BRD_API int32_t BRD_CALL BrdEnumDevice(char* list, int32_t size);

BRD_API int32_t BRD_CALL BrdSetNoOfModules(int32_t handle, int32_t modules);

BRD_API int32_t BRD_CALL BrdHighVoltage(int32_t handle, int32_t value);

BRD_API int32_t BRD_CALL BrdTestOutput(int32_t handle, signed char code);

/* buffer: 100 bytes, the command bytes followed by zeros. */
BRD_API int32_t BRD_CALL BrdCommand(int32_t handle, unsigned char* buffer);

/* count: at most 1440, no lower bound; buffer: 4320 bytes. */
BRD_API int32_t BRD_CALL BrdWriteData(int32_t handle, int32_t count, unsigned char* buffer);

/* count: 1 to 1600; buffer: 1600 bytes. Returns the number of bytes placed
 * at the buffer's start, never more than count; below 1 means none. */
BRD_API int32_t BRD_CALL BrdReadData(int32_t handle, int32_t count, unsigned char* buffer);

#ifdef __cplusplus
}
#endif

#endif
