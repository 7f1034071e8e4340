#include "editor/win32/list_box.h"

#include <algorithm>

#include "editor/win32/wide.h"

namespace editor_win32 {

int ListBoxControl::count() const {
    return static_cast<int>(SendMessageW(list_, LB_GETCOUNT, 0, 0));
}

std::string ListBoxControl::entry(int index) const {
    const LRESULT length = SendMessageW(list_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list_, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return narrow(text);
}

void ListBoxControl::add(const std::string& text) {
    // Without LBS_SORT, LB_ADDSTRING appends.
    const std::wstring wide = widen(text);
    const LRESULT index =
        SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    if (index < 0)
        return;
    // Scrolls only as far as needed for the new last entry to show.
    RECT area{};
    GetClientRect(list_, &area);
    const LRESULT itemHeight = SendMessageW(list_, LB_GETITEMHEIGHT, 0, 0);
    if (itemHeight <= 0)
        return;
    const LRESULT visible = std::max<LRESULT>(1, (area.bottom - area.top) / itemHeight);
    const LRESULT top = SendMessageW(list_, LB_GETTOPINDEX, 0, 0);
    if (index >= top + visible)
        SendMessageW(list_, LB_SETTOPINDEX, static_cast<WPARAM>(index - visible + 1), 0);
}

void ListBoxControl::remove(int index) {
    SendMessageW(list_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void ListBoxControl::clear() {
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}

int ListBoxControl::selected() const {
    const LRESULT row = SendMessageW(list_, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : static_cast<int>(row);
}

void ListBoxControl::select(int index) {
    // LB_SETCURSEL scrolls the entry into view; -1 clears the selection.
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

}  // namespace editor_win32
