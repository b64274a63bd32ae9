// The prefix of this copy's settings: VANDREL_ unless the build names another.
#include "settings.h"

#ifndef VANDREL_SETTING_PREFIX
#define VANDREL_SETTING_PREFIX "VANDREL_"
#endif

namespace vandrel {
const char SettingPrefix[] = VANDREL_SETTING_PREFIX;
}
