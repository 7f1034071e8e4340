#include "platform/console/console.h"

namespace platform::console {

// A terminal takes UTF-8 as the locale says; nothing to set.
void showUtf8Output() {}

// A terminal window outlives the program run in it, and a window the editor
// opens keeps the text itself.
bool consoleIsOwn() {
    return false;
}

}  // namespace platform::console
