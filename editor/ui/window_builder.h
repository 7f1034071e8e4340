// Builds a window's controls from its twips table (editor/core/layout.h):
// frames, labels, text boxes, list boxes and buttons, each found afterwards by
// its objectName (a control array's members as "cmdHelp_0", ...), chained in
// tab order, with the focus on the first control that takes it.
#pragma once

#include <QWidget>

#include "editor/core/layout.h"

namespace editor_ui {

// Sets the caption and the fixed client size, then builds the controls.
void buildWindow(QWidget& window, const editor_core::WindowLayout& layout);

// The objectName of a control of the table.
QString controlName(const editor_core::Control& control);

}  // namespace editor_ui
