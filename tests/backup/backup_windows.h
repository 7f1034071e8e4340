// Finding the backup window among the top-level windows, and letting a closed
// one finish unloading.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <vector>

namespace backup_test {

inline std::vector<QWidget*> openBackupWindows() {
    std::vector<QWidget*> open;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "frmBackup" && widget->isVisible())
            open.push_back(widget);
    }
    return open;
}

inline void closeBackupWindows() {
    for (QWidget* window : openBackupWindows()) window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A closed window deletes itself later; this runs that deletion now.
inline void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace backup_test
