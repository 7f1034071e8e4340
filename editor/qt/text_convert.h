// Text crosses between the widgets (QString) and the file layers (std::string,
// std::filesystem::path) as UTF-8.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace editor_ui {

inline std::string toStd(const QString& text) {
    return text.toStdString();
}

inline QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(toStd(path));
}

}  // namespace editor_ui
