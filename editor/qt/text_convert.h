// Text crosses between the widgets (QString) and the core (std::string) as
// UTF-8.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace editor_qt {

inline std::string toStd(const QString& text) {
    return text.toStdString();
}

inline QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace editor_qt
