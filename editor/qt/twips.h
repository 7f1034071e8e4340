// Window layouts are given in twips (editor_core's layout tables); this is
// where they become Qt rectangles, scaled by the screen's logical dpi.
#pragma once

#include <QRect>
#include <QSize>

#include "editor/core/layout.h"

namespace editor_qt {

using editor_core::twipsToPixels;

inline QRect twipsRect(int left, int top, int width, int height, double logicalDpi) {
    return {twipsToPixels(left, logicalDpi), twipsToPixels(top, logicalDpi),
            twipsToPixels(width, logicalDpi), twipsToPixels(height, logicalDpi)};
}

inline QSize twipsSize(int width, int height, double logicalDpi) {
    return {twipsToPixels(width, logicalDpi), twipsToPixels(height, logicalDpi)};
}

}  // namespace editor_qt
