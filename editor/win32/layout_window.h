// A fixed-size top-level window built from a layout table (editor/core/layout.h):
// its controls at their twips converted at the window's dpi, in the default
// GUI font, chained for the keyboard in tab-index order. The main window and
// the backup window derive from it and handle their controls' notifications.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/core/layout.h"
#include "editor/core/routes.h"

namespace editor_win32 {

// A window's or control's text, UTF-8.
std::string windowText(HWND window);
void setWindowText(HWND window, std::string_view text);

// The message loop's step for the keyboard of our windows: Tab and Shift+Tab
// move through the tab order, the arrow keys reach the lists, Enter and Escape
// reach the dialogs. True when the message was handled and must not be
// dispatched again.
bool handleDialogKeys(MSG& message);

class LayoutWindow {
  public:
    explicit LayoutWindow(const editor_core::WindowLayout& layout);
    virtual ~LayoutWindow();
    LayoutWindow(const LayoutWindow&) = delete;
    LayoutWindow& operator=(const LayoutWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    bool isOpen() const { return hwnd_ != nullptr; }
    // The control of that name (an array member by its index); nullptr if none.
    HWND control(std::string_view name, int arrayIndex = -1) const;
    // The dots per inch the window was laid out at.
    int dpi() const { return dpi_; }
    // Shows the window (restored if minimised), brings it to the front and
    // gives the focus to the control that had it, at first the first in tab order.
    void showAndActivate();

  protected:
    // Creates the window and its controls, hidden. Called by the derived
    // class's constructor once it can take notifications.
    void build();
    // A control's notification (BN_CLICKED, EN_CHANGE, ...).
    virtual void onCommand(const editor_core::Control& control, int code) = 0;
    // The event of the routing tables (routes.h) that a notification reports:
    // a button's BN_CLICKED, a text box's EN_CHANGE; nullopt for any other.
    static std::optional<editor_core::ControlEvent> routedEvent(const editor_core::Control& control,
                                                                int code);
    // The text colour of a label, or nullopt for the default colour.
    virtual std::optional<COLORREF> labelColour(HWND) const { return std::nullopt; }
    // The close box; the default destroys the window.
    virtual void onClose();

  private:
    struct Built {
        const editor_core::Control* control;
        HWND hwnd;
    };
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();

    const editor_core::WindowLayout& layout_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    HWND focus_ = nullptr;  // the control that gets the focus back on activation
    std::vector<Built> controls_;
};

}  // namespace editor_win32
