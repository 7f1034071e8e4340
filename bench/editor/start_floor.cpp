// The floor for tamsel's start: a Qt Widgets program that shows one empty
// QWidget and quits once it is shown, the same way tamsel does under
// TAMSEL_EXIT_WHEN_SHOWN. bench/tamsel_start.sh times both in one run.
#include <QApplication>
#include <QWidget>

#include "editor/qt/quit_when_exposed.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    editor_qt::QuitWhenExposed quitWhenShown;
    app.installEventFilter(&quitWhenShown);
    QWidget window;
    window.show();
    return QApplication::exec();
}
