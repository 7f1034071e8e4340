// Builds a window's controls from its twips table (editor/core/layout.h):
// frames, labels, text boxes, list boxes and buttons, each found afterwards by
// its objectName (a control array's members as "cmdHelp_0", ...), chained in
// tab order, with the focus on the first control that takes it.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <span>
#include <string_view>

#include "editor/core/layout.h"
#include "editor/core/routes.h"

namespace editor_qt {

// Sets the caption and the fixed client size, then builds the controls.
void buildWindow(QWidget& window, const editor_core::WindowLayout& layout);

// The objectName of a control of the table: its name, and for a member of a
// control array "_" and the member's index.
QString controlName(std::string_view name, int arrayIndex);

// Connects each routed control of a built window to its handler in `core`:
// a button's click, a text box's change (a text set with its signals blocked
// reports none).
template <typename Core>
void connectRoutes(QWidget& window, std::span<const editor_core::Route<Core>> routes,
                   Core& core) {
    for (const editor_core::Route<Core>& route : routes) {
        const QString name = controlName(route.control, route.arrayIndex);
        // The tables are static: each route outlives the window.
        auto run = [&core, &route] { route.handler(core, route.arrayIndex); };
        if (route.event == editor_core::ControlEvent::Click)
            QObject::connect(window.findChild<QPushButton*>(name), &QPushButton::clicked, &window,
                             run);
        else
            QObject::connect(window.findChild<QLineEdit*>(name), &QLineEdit::textChanged,
                             &window, run);
    }
}

}  // namespace editor_qt
