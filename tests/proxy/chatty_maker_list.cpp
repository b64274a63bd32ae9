// The device list of the chatty maker's library: one device, CHATTY, and a
// result no other library gives.
#include <cstring>

#include "vandrel.h"

extern "C" BRD_API int32_t BRD_CALL BrdEnumDevice(char* list, int32_t size) {
  static constexpr char List[] = "CHATTY\0";
  if (list == nullptr || size < static_cast<int32_t>(sizeof List)) return 0;
  std::memcpy(list, List, sizeof List);
  return 4242;
}
