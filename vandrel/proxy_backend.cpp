// The proxy backend: the maker's library, loaded from the path that
// VANDREL_LIBRARY names, answers every call. Arguments and buffers go to it
// unchanged and its results come back unchanged; the trace shows both.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "backend.h"
#include "vandrel.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vandrel {
namespace {

struct MakerFunctions {
  decltype(&::BrdSetTestData) SetTestData = nullptr;
  decltype(&::BrdInitDevice) InitDevice = nullptr;
  decltype(&::BrdCloseDevice) CloseDevice = nullptr;
  decltype(&::BrdEnumDevice) EnumDevice = nullptr;
  decltype(&::BrdSetNoOfModules) SetNoOfModules = nullptr;
  decltype(&::BrdHighVoltage) HighVoltage = nullptr;
  decltype(&::BrdTestOutput) TestOutput = nullptr;
  decltype(&::BrdCommand) Command = nullptr;
  decltype(&::BrdWriteData) WriteData = nullptr;
  decltype(&::BrdReadData) ReadData = nullptr;
};

#if defined(_WIN32)
using LibraryHandle = HMODULE;

std::string SystemMessage(DWORD code) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                 text, sizeof text, nullptr);
  std::string message = text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : message;
}

LibraryHandle Load(const char* path, std::string& error) {
  const HMODULE library = LoadLibraryA(path);
  if (library == nullptr) error = SystemMessage(GetLastError());
  return library;
}

// The plain name, and on 32-bit Windows the stdcall decorations that
// compilers give it (Name@bytes, _Name@bytes).
void* Resolve(LibraryHandle library, const char* name, int argumentBytes) {
  if (FARPROC found = GetProcAddress(library, name)) return reinterpret_cast<void*>(found);
  if (sizeof(void*) == 4) {
    const std::string decorated = std::string(name) + "@" + std::to_string(argumentBytes);
    if (FARPROC found = GetProcAddress(library, decorated.c_str())) return reinterpret_cast<void*>(found);
    if (FARPROC found = GetProcAddress(library, ("_" + decorated).c_str())) return reinterpret_cast<void*>(found);
  }
  return nullptr;
}

HMODULE ThisModule() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&::BrdInitDevice), &self);
  return self;
}

bool IsThisLibrary(LibraryHandle library) { return library == ThisModule(); }

std::string ThisLibraryPath() {
  char path[MAX_PATH * 4] = "";
  const DWORD length = GetModuleFileNameA(ThisModule(), path, sizeof path);
  return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}
#else
using LibraryHandle = void*;

LibraryHandle Load(const char* path, std::string& error) {
  // The maker's library exports the same ten names as this one. Its own
  // calls between its functions must stay inside it, not come back here.
  // AddressSanitizer cannot work with RTLD_DEEPBIND, so sanitizer builds go
  // without it.
  int flags = RTLD_NOW | RTLD_LOCAL;
#if defined(RTLD_DEEPBIND) && !defined(__SANITIZE_ADDRESS__)
#if defined(__has_feature)
#if !__has_feature(address_sanitizer)
  flags |= RTLD_DEEPBIND;
#endif
#else
  flags |= RTLD_DEEPBIND;
#endif
#endif
  void* library = dlopen(path, flags);
  if (library == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "cannot be loaded";
  }
  return library;
}

void* Resolve(LibraryHandle library, const char* name, int) { return dlsym(library, name); }

bool IsThisLibrary(LibraryHandle library) {
  return dlsym(library, "BrdInitDevice") == reinterpret_cast<void*>(&::BrdInitDevice);
}

std::string ThisLibraryPath() {
  Dl_info info{};
  return dladdr(reinterpret_cast<void*>(&::BrdInitDevice), &info) != 0 && info.dli_fname != nullptr
             ? std::string(info.dli_fname)
             : std::string();
}
#endif

// True when both files hold the same bytes: a copy of this library under
// another name would load as a library of its own and forward to itself.
bool SameContents(const std::string& first, const std::string& second) {
  std::ifstream one(first, std::ios::binary);
  std::ifstream two(second, std::ios::binary);
  if (!one || !two) return false;
  char chunkOne[65536];
  char chunkTwo[65536];
  for (;;) {
    one.read(chunkOne, sizeof chunkOne);
    two.read(chunkTwo, sizeof chunkTwo);
    if (one.gcount() != two.gcount() ||
        std::memcmp(chunkOne, chunkTwo, static_cast<std::size_t>(one.gcount())) != 0) {
      return false;
    }
    if (one.gcount() == 0) return true;
  }
}

template <typename Pointer>
bool ResolveInto(LibraryHandle library, const char* name, int argumentBytes, Pointer& function,
                 std::string& missing) {
  function = reinterpret_cast<Pointer>(Resolve(library, name, argumentBytes));
  if (function == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
  return function != nullptr;
}

class Proxy final : public Backend {
 public:
  explicit Proxy(MakerFunctions maker) : maker_(maker) {}

  std::int32_t SetTestData(const char* text, std::int32_t* flags) override {
    return maker_.SetTestData(text, flags);
  }
  std::int32_t InitDevice(const char* name, std::int32_t* info, WriteBack& back) override {
    // The trace shows the word when the maker's library changed it.
    const std::int32_t before = info != nullptr ? *info : 0;
    const std::int32_t result = maker_.InitDevice(name, info);
    back.WroteInfo = info != nullptr && *info != before;
    return result;
  }
  std::int32_t CloseDevice(std::int32_t handle) override { return maker_.CloseDevice(handle); }
  std::int32_t EnumDevice(char* list, std::int32_t size, WriteBack& back) override {
    const std::int32_t result = maker_.EnumDevice(list, size);
    if (result != 0 && list != nullptr && size > 0) back.Written = ListLength(list, static_cast<std::size_t>(size));
    return result;
  }
  std::int32_t SetNoOfModules(std::int32_t handle, std::int32_t modules) override {
    return maker_.SetNoOfModules(handle, modules);
  }
  std::int32_t HighVoltage(std::int32_t handle, std::int32_t value) override {
    return maker_.HighVoltage(handle, value);
  }
  std::int32_t TestOutput(std::int32_t handle, signed char code) override {
    return maker_.TestOutput(handle, code);
  }
  std::int32_t Command(std::int32_t handle, unsigned char* buffer) override {
    return maker_.Command(handle, buffer);
  }
  std::int32_t WriteData(std::int32_t handle, std::int32_t count, unsigned char* buffer) override {
    return maker_.WriteData(handle, count, buffer);
  }
  std::int32_t ReadData(std::int32_t handle, std::int32_t count, unsigned char* buffer,
                        WriteBack& back) override {
    const std::int32_t result = maker_.ReadData(handle, count, buffer);
    // The bytes the maker's library says it placed, never more than asked
    // for: the buffer holds no more.
    if (result > 0 && count > 0) {
      back.Written = static_cast<std::size_t>(std::min(std::min(result, count), ReadCountLimit));
    }
    return result;
  }

 private:
  // The list's texts and the empty text that ends it, within size.
  static std::size_t ListLength(const char* list, std::size_t size) {
    for (std::size_t index = 0; index < size; ++index) {
      if (list[index] == '\0' && (index == 0 || list[index - 1] == '\0')) return index + 1;
    }
    return size;
  }

  MakerFunctions maker_;
};

// What stands in when the maker's library cannot be used: every call fails.
class Unavailable final : public Backend {
 public:
  std::int32_t SetTestData(const char*, std::int32_t*) override { return ResultNoDevice; }
  std::int32_t InitDevice(const char*, std::int32_t*, WriteBack&) override { return ResultNoDevice; }
  std::int32_t CloseDevice(std::int32_t) override { return ResultNoDevice; }
  std::int32_t EnumDevice(char* list, std::int32_t size, WriteBack& back) override {
    return FailWithEmptyList(list, size, back);
  }
  std::int32_t SetNoOfModules(std::int32_t, std::int32_t) override { return ResultNoDevice; }
  std::int32_t HighVoltage(std::int32_t, std::int32_t) override { return ResultNoDevice; }
  std::int32_t TestOutput(std::int32_t, signed char) override { return ResultNoDevice; }
  std::int32_t Command(std::int32_t, unsigned char*) override { return ResultNoDevice; }
  std::int32_t WriteData(std::int32_t, std::int32_t, unsigned char*) override { return ResultNoDevice; }
  std::int32_t ReadData(std::int32_t, std::int32_t, unsigned char*, WriteBack&) override {
    return ResultNoDevice;
  }
};

std::unique_ptr<Backend> Refuse(const char* path, const std::string& reason) {
  ReportStartProblem("cannot use the maker's library '" + std::string(path) + "': " + reason +
                     "; every call fails");
  return std::make_unique<Unavailable>();
}

}  // namespace

std::unique_ptr<Backend> MakeProxy(const char* path) {
  if (SameContents(path, ThisLibraryPath())) {
    return Refuse(path, "it is this library, or a copy of it, which would call itself for ever");
  }
  std::string error;
  const LibraryHandle library = Load(path, error);
  if (library == nullptr) return Refuse(path, error);
  if (IsThisLibrary(library)) {
    return Refuse(path, "it is this library, or a copy of it, which would call itself for ever");
  }
  MakerFunctions maker;
  std::string missing;
  ResolveInto(library, "BrdSetTestData", 8, maker.SetTestData, missing);
  ResolveInto(library, "BrdInitDevice", 8, maker.InitDevice, missing);
  ResolveInto(library, "BrdCloseDevice", 4, maker.CloseDevice, missing);
  ResolveInto(library, "BrdEnumDevice", 8, maker.EnumDevice, missing);
  ResolveInto(library, "BrdSetNoOfModules", 8, maker.SetNoOfModules, missing);
  ResolveInto(library, "BrdHighVoltage", 8, maker.HighVoltage, missing);
  ResolveInto(library, "BrdTestOutput", 4, maker.TestOutput, missing);
  ResolveInto(library, "BrdCommand", 8, maker.Command, missing);
  ResolveInto(library, "BrdWriteData", 12, maker.WriteData, missing);
  ResolveInto(library, "BrdReadData", 12, maker.ReadData, missing);
  if (!missing.empty()) return Refuse(path, "it does not export " + missing);
  return std::make_unique<Proxy>(maker);
}

}  // namespace vandrel
