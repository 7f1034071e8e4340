#include "editor/qt/window_builder.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <vector>

#include "editor/qt/list_box.h"
#include "editor/qt/text_convert.h"
#include "editor/qt/twips.h"

namespace editor_qt {
namespace {

using editor_core::Control;
using editor_core::ControlKind;

// A button whose caption wraps onto further lines, as the layout's two-line
// buttons need; text() stays the caption as designed.
class WrappingButton : public QPushButton {
  public:
    WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();  // frame and focus only; the caption is drawn below
        style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        style()->drawItemText(&painter, area, Qt::AlignCenter | Qt::TextWordWrap, palette(),
                              isEnabled(), text(), QPalette::ButtonText);
    }
};

QWidget* makeControl(const Control& control, QWidget* parent) {
    const QString caption = toQt(control.caption);
    switch (control.kind) {
        case ControlKind::Frame:
            return new QGroupBox(caption, parent);
        case ControlKind::Label: {
            auto* label = new QLabel(caption, parent);
            label->setTextFormat(Qt::PlainText);  // a caption is never markup
            if (control.wraps) {
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            }
            return label;
        }
        case ControlKind::TextBox:
            return new QLineEdit(parent);
        case ControlKind::ListBox:
            return new ListBox(parent);
        case ControlKind::Button:
            if (control.wraps)
                return new WrappingButton(caption, parent);
            return new QPushButton(caption, parent);
    }
    return nullptr;
}

bool takesFocus(ControlKind kind) {
    return kind != ControlKind::Frame && kind != ControlKind::Label;
}

}  // namespace

QString controlName(std::string_view name, int arrayIndex) {
    return arrayIndex < 0 ? toQt(name) : toQt(name) + "_" + QString::number(arrayIndex);
}

void buildWindow(QWidget& window, const editor_core::WindowLayout& layout) {
    window.setObjectName(toQt(layout.name));
    window.setWindowTitle(toQt(layout.caption));
    const double dpi = window.logicalDpiY();
    window.setFixedSize(twipsSize(layout.clientWidth, layout.clientHeight, dpi));
    std::vector<std::pair<int, QWidget*>> chain;
    for (const Control& control : layout.controls) {
        // Frames come before the controls they hold.
        QWidget* parent = control.container.empty()
                              ? &window
                              : window.findChild<QWidget*>(toQt(control.container));
        QWidget* widget = makeControl(control, parent);
        widget->setObjectName(controlName(control.name, control.arrayIndex));
        if (control.arrayIndex >= 0)
            widget->setProperty("index", control.arrayIndex);
        widget->setGeometry(
            twipsRect(control.left, control.top, control.width, control.height, dpi));
        if (!control.visible)
            widget->setVisible(false);
        else if (takesFocus(control.kind))
            chain.emplace_back(control.tabIndex, widget);
    }
    std::stable_sort(chain.begin(), chain.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1].second, chain[i].second);
    if (!chain.empty())
        chain.front().second->setFocus();
}

}  // namespace editor_qt
