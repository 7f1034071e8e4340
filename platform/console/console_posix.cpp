#include "platform/console/console.h"

namespace platform::console {

// A terminal takes UTF-8 as the locale says; nothing to set.
void showUtf8Output() {}

}  // namespace platform::console
