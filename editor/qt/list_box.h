// The editor's single-selection list box, a QListWidget that behaves for the
// keyboard as a list box should.
#pragma once

#include <QListWidget>

#include "editor/core/views.h"

namespace editor_qt {

class ListBox : public QListWidget {
  public:
    explicit ListBox(QWidget* parent = nullptr);

    // Appends an entry and scrolls it into view once the event loop runs.
    // Scrolling lays out every entry, so a load that scrolled after each of
    // thousands of entries would take quadratic time; the scroll is made
    // once, to whatever entry is last by then.
    void addEntry(const QString& text);
    // Selects `row` (-1: none) and shows it, in place of any scroll an add
    // still has pending.
    void selectRow(int row);

  protected:
    // Up or Down with no entry selected selects the first entry. Qt would
    // move on from the entry that taking focus made current (the first),
    // so that the first Down selected the second.
    void keyPressEvent(QKeyEvent* event) override;
    // Qt shows a list's focus only on its current entry; an empty list, or
    // one with no current entry, gets a focus frame around its area.
    void paintEvent(QPaintEvent* event) override;

  private:
    bool scrollPending_ = false;
};

// A ListBox as the core sees a list (UTF-8 entries, -1 for none).
class ListBoxControl final : public editor_core::ListControl {
  public:
    explicit ListBoxControl(ListBox* list) : list_(list) {}
    int count() const override;
    std::string entry(int index) const override;
    void add(const std::string& text) override;
    void remove(int index) override;
    void clear() override;
    int selected() const override;
    void select(int index) override;

  private:
    ListBox* list_;
};

}  // namespace editor_qt
