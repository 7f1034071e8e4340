// Which handler of the core each control's event runs, one table per window.
// Both front ends loop over these tables to connect their controls, so that
// the routing is written once.
#pragma once

#include <span>
#include <string_view>

namespace editor_core {

class FrmMain;
class FrmBackup;

enum class ControlEvent {
    Click,   // a button was clicked (BN_CLICKED)
    Change,  // the user changed a text box's text (EN_CHANGE)
};

template <typename Core>
struct Route {
    std::string_view control;  // its name in the layout table (layout.h)
    int arrayIndex;            // the member of a control array, else -1
    ControlEvent event;
    void (*handler)(Core& core, int arrayIndex);
};

std::span<const Route<FrmMain>> mainRoutes();
std::span<const Route<FrmBackup>> backupRoutes();

// Runs the handler routed for a control's event; false when there is none.
template <typename Core>
bool runRoute(std::span<const Route<Core>> routes, Core& core, std::string_view control,
              int arrayIndex, ControlEvent event) {
    for (const Route<Core>& route : routes) {
        if (route.control == control && route.arrayIndex == arrayIndex && route.event == event) {
            route.handler(core, arrayIndex);
            return true;
        }
    }
    return false;
}

}  // namespace editor_core
