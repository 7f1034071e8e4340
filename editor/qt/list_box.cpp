#include "editor/qt/list_box.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <utility>

#include "editor/qt/text_convert.h"

namespace editor_qt {

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
}

void ListBox::addEntry(const QString& text) {
    addItem(text);
    if (scrollPending_)
        return;
    scrollPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!std::exchange(scrollPending_, false) || count() == 0)
                return;
            scrollToItem(item(count() - 1));
        },
        Qt::QueuedConnection);
}

void ListBox::selectRow(int row) {
    scrollPending_ = false;
    setCurrentRow(row);
    if (row < 0)
        clearSelection();
}

void ListBox::keyPressEvent(QKeyEvent* event) {
    const bool upOrDown = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
    if (upOrDown && event->modifiers() == Qt::NoModifier && count() > 0 &&
        selectedItems().isEmpty()) {
        setCurrentRow(0);
        scrollToItem(item(0));
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void ListBox::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (!hasFocus() || (currentItem() != nullptr && count() > 0))
        return;
    QPainter painter(viewport());
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    option.backgroundColor = palette().color(QPalette::Base);
    // Fusion draws a focus frame only after focus moved by keyboard; a list
    // clicked into shows it as well.
    option.state |= QStyle::State_KeyboardFocusChange;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

int ListBoxControl::count() const {
    return list_->count();
}

std::string ListBoxControl::entry(int index) const {
    return toStd(list_->item(index)->text());
}

void ListBoxControl::add(const std::string& text) {
    list_->addEntry(toQt(text));
}

void ListBoxControl::remove(int index) {
    delete list_->takeItem(index);
    list_->setCurrentRow(-1);
    list_->clearSelection();
}

void ListBoxControl::clear() {
    list_->clear();
}

int ListBoxControl::selected() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->row(selected.front());
}

void ListBoxControl::select(int index) {
    list_->selectRow(index);
}

}  // namespace editor_qt
