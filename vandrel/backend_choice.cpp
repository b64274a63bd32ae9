// Which backend answers: chosen once, at the first call, from the settings.
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "backend.h"
#include "settings.h"

namespace vandrel {
namespace {

bool IsSet(const char* value) { return value != nullptr && *value != '\0'; }

std::mutex ProblemsLock;
std::vector<std::string> Problems;

// The switches take 1 (on) or 0 (off); anything else is a mistake worth a
// word, not a silent "off".
void CheckSwitch(const char* name) {
  const char* value = Setting(name);
  if (IsSet(value) && std::string(value) != "0" && std::string(value) != "1") {
    ReportStartProblem(SettingName(name) + " is '" + value + "', which is neither 1 (on) nor 0 (off); taken as off");
  }
}

// Settings of backends that were not chosen are ignored; the user hears so.
void ReportIgnored(const char* chosen, std::initializer_list<const char*> others) {
  for (const char* other : others) {
    if (IsSet(Setting(other))) {
      ReportStartProblem(SettingName(other) + " is ignored: " + SettingName(chosen) + " is set");
    }
  }
}

std::unique_ptr<Backend> MakeChosenBackend() {
  for (const char* name : {"TRACE_TIME", "SUMMARY", "REPLAY_DELAYS"}) {
    CheckSwitch(name);
  }
  if (const char* recording = Setting("REPLAY"); IsSet(recording)) {
    ReportIgnored("REPLAY", {"LIBRARY", "DEFINITIONS", "DEVICES", "FAULT"});
    return MakeReplay(recording);
  }
  if (const char* library = Setting("LIBRARY"); IsSet(library)) {
    ReportIgnored("LIBRARY", {"DEFINITIONS", "DEVICES", "FAULT"});
    return MakeProxy(library);
  }
  if (IsSet(Setting("DEFINITIONS"))) {
    ReportIgnored("DEFINITIONS", {"DEVICES"});
  }
  return MakeSimulator();
}

}  // namespace

void ReportStartProblem(const std::string& text) {
  std::fprintf(stderr, "VANDREL: %s\n", text.c_str());
  std::lock_guard lock(ProblemsLock);
  Problems.push_back(text);
}

std::vector<std::string> TakeStartProblems() {
  std::lock_guard lock(ProblemsLock);
  return std::exchange(Problems, {});
}

Backend& ChosenBackend() {
  // At the first call rather than at load: a maker's library must not be
  // loaded while the loader is still loading this one (Windows forbids it).
  static const std::unique_ptr<Backend> backend = MakeChosenBackend();
  return *backend;
}

}  // namespace vandrel
