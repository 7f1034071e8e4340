// A Win32 list box (single selection, unsorted) as the core sees a list.
#pragma once

#include <windows.h>

#include "editor/core/views.h"

namespace editor_win32 {

class ListBoxControl final : public editor_core::ListControl {
  public:
    explicit ListBoxControl(HWND list) : list_(list) {}
    int count() const override;
    std::string entry(int index) const override;
    void add(const std::string& text) override;
    void remove(int index) override;
    void clear() override;
    int selected() const override;
    void select(int index) override;

  private:
    HWND list_;
};

}  // namespace editor_win32
