// Which backend answers: chosen once, at the first call, from the settings.
#include "backend.h"
#include "settings.h"

namespace vandrel {
namespace {

bool IsSet(const char* value) { return value != nullptr && *value != '\0'; }

std::unique_ptr<Backend> MakeChosenBackend() {
  if (const char* recording = Setting("REPLAY"); IsSet(recording)) {
    return MakeReplay(recording);
  }
  if (const char* library = Setting("LIBRARY"); IsSet(library)) {
    return MakeProxy(library);
  }
  return MakeSimulator();
}

}  // namespace

Backend& ChosenBackend() {
  // At the first call rather than at load: a maker's library must not be
  // loaded while the loader is still loading this one (Windows forbids it).
  static const std::unique_ptr<Backend> backend = MakeChosenBackend();
  return *backend;
}

}  // namespace vandrel
