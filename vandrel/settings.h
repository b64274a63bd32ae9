// The library's settings come from environment variables. Their names share
// one prefix, VANDREL_ unless the build sets another, so that a second copy
// of the library (the stand-in that plays the maker's library in the proxy
// tests) can be steered apart from the first.
#ifndef VANDREL_SETTINGS_H
#define VANDREL_SETTINGS_H

#include <cstdlib>
#include <optional>
#include <string>

namespace vandrel {

// "VANDREL_", or the prefix of a copy built to be steered apart; defined by
// setting_prefix.cpp, which each copy of the library compiles for itself.
extern const char SettingPrefix[];

// The value of the variable PREFIX + name, or null when it is not set.
inline const char* Setting(const char* name) {
  return std::getenv((std::string(SettingPrefix) + name).c_str());
}

// The full name of a setting, for messages.
inline std::string SettingName(const char* name) {
  return std::string(SettingPrefix) + name;
}

// True when the variable is set to 1.
inline bool SettingIsOne(const char* name) {
  const char* value = Setting(name);
  return value != nullptr && std::string(value) == "1";
}

}  // namespace vandrel

#endif
