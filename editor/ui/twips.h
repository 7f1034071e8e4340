// Window layouts are given in twips: 1/1440 inch, 15 twips to a pixel at 96 dpi.
// The one place where twips become pixels, scaled by the screen's logical dpi.
#pragma once

#include <QRect>
#include <QSize>
#include <cmath>

namespace editor_ui {

inline constexpr double kTwipsPerInch = 1440.0;

inline int twipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / kTwipsPerInch));
}

inline QRect twipsRect(int left, int top, int width, int height, double logicalDpi) {
    return {twipsToPixels(left, logicalDpi), twipsToPixels(top, logicalDpi),
            twipsToPixels(width, logicalDpi), twipsToPixels(height, logicalDpi)};
}

inline QSize twipsSize(int width, int height, double logicalDpi) {
    return {twipsToPixels(width, logicalDpi), twipsToPixels(height, logicalDpi)};
}

}  // namespace editor_ui
