// An application event filter that quits the event loop once a window is
// first exposed, after that expose's paint and flush. tamsel installs it when
// TAMSEL_EXIT_WHEN_SHOWN is set, so that bench/tamsel_start.sh can time process
// start to window shown.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

namespace editor_qt {

class QuitWhenExposed final : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow*>(watched)->isExposed()) {
            // Queued, so that the paint this expose starts runs first.
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                      Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace editor_qt
