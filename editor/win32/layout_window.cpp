#include "editor/win32/layout_window.h"

#include <algorithm>

#include "editor/win32/resource.h"
#include "editor/win32/wide.h"

namespace editor_win32 {
namespace {

using editor_core::Control;
using editor_core::ControlKind;
using editor_core::twipsToPixels;

constexpr wchar_t kClassName[] = L"TamselWindow";
// A fixed single border: a caption, the system menu and minimise; no sizing
// frame and no maximise button.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Control IDs count from here in table order, clear of IDOK and IDCANCEL,
// which the dialog keys send for Enter and Escape.
constexpr int kFirstControlId = 1000;

void registerClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kClassName, &existing))
        return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAMSEL), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TAMSEL),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
}

// GetDpiForWindow where Windows has it (10 and later), else the screen's.
int windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window))
            return static_cast<int>(dpi);
    }
    HDC screen = GetDC(window);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(window, screen);
    return dpi > 0 ? dpi : 96;
}

// The default GUI font, scaled from its 96-dpi size to the window's dpi.
HFONT guiFont(int dpi) {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = MulDiv(font.lfHeight, dpi, 96);
    return CreateFontIndirectW(&font);
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass controlClass(const Control& control) {
    switch (control.kind) {
        case ControlKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Label:
            return {L"STATIC",
                    static_cast<DWORD>(SS_NOPREFIX | (control.wraps ? SS_LEFT : SS_LEFTNOWORDWRAP)),
                    0};
        case ControlKind::TextBox:
            return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::ListBox:
            return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE};
        case ControlKind::Button:
            return {
                L"BUTTON",
                static_cast<DWORD>(BS_PUSHBUTTON | WS_TABSTOP | (control.wraps ? BS_MULTILINE : 0)),
                0};
    }
    return {L"STATIC", 0, 0};
}

bool takesFocus(const Control& control) {
    return control.visible && control.kind != ControlKind::Frame &&
           control.kind != ControlKind::Label;
}

}  // namespace

std::string windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return narrow(text);
}

void setWindowText(HWND window, std::string_view text) {
    SetWindowTextW(window, widen(text).c_str());
}

bool handleDialogKeys(MSG& message) {
    if (!message.hwnd)
        return false;
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    return root && IsDialogMessageW(root, &message);
}

LayoutWindow::LayoutWindow(const editor_core::WindowLayout& layout) : layout_(layout) {}

LayoutWindow::~LayoutWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (font_)
        DeleteObject(font_);
}

void LayoutWindow::build() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance, &windowProc);
    hwnd_ = CreateWindowExW(0, kClassName, widen(layout_.caption).c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                            nullptr, instance, nullptr);
    if (!hwnd_)
        return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dpi_ = windowDpi(hwnd_);
    RECT frame{0, 0, twipsToPixels(layout_.clientWidth, dpi_),
               twipsToPixels(layout_.clientHeight, dpi_)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    font_ = guiFont(dpi_);
    createControls();
}

void LayoutWindow::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    int id = kFirstControlId;
    for (const Control& control : layout_.controls) {
        // A frame's controls are children of the window too (a group box
        // passes on no notifications), placed from the frame's corner.
        int left = twipsToPixels(control.left, dpi_);
        int top = twipsToPixels(control.top, dpi_);
        if (!control.container.empty()) {
            for (const Built& frame : controls_) {
                if (frame.control->name == control.container) {
                    left += twipsToPixels(frame.control->left, dpi_);
                    top += twipsToPixels(frame.control->top, dpi_);
                }
            }
        }
        const ControlClass kind = controlClass(control);
        HWND created = CreateWindowExW(
            kind.exStyle, kind.name, widen(control.caption).c_str(),
            WS_CHILD | kind.style | (control.visible ? WS_VISIBLE : 0), left, top,
            twipsToPixels(control.width, dpi_), twipsToPixels(control.height, dpi_), hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
        SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        controls_.push_back({&control, created});
    }
    // Tab and Shift+Tab follow the z-order: put it in tab-index order.
    std::vector<Built> byTab = controls_;
    std::stable_sort(byTab.begin(), byTab.end(), [](const Built& a, const Built& b) {
        return a.control->tabIndex < b.control->tabIndex;
    });
    HWND previous = HWND_TOP;
    for (const Built& each : byTab) {
        SetWindowPos(each.hwnd, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = each.hwnd;
        if (!focus_ && takesFocus(*each.control))
            focus_ = each.hwnd;
    }
}

HWND LayoutWindow::control(std::string_view name, int arrayIndex) const {
    for (const Built& each : controls_) {
        if (each.control->name == name && each.control->arrayIndex == arrayIndex)
            return each.hwnd;
    }
    return nullptr;
}

void LayoutWindow::showAndActivate() {
    if (!hwnd_)
        return;
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
    if (focus_)
        SetFocus(focus_);
}

void LayoutWindow::onClose() {
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK LayoutWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LayoutWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        self->controls_.clear();
        self->focus_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

std::optional<editor_core::ControlEvent> LayoutWindow::routedEvent(
    const editor_core::Control& control, int code) {
    if (control.kind == editor_core::ControlKind::Button && code == BN_CLICKED)
        return editor_core::ControlEvent::Click;
    if (control.kind == editor_core::ControlKind::TextBox && code == EN_CHANGE)
        return editor_core::ControlEvent::Change;
    return std::nullopt;
}

LRESULT LayoutWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int index = LOWORD(wParam) - kFirstControlId;
            if (lParam && index >= 0 && index < static_cast<int>(controls_.size()))
                onCommand(*controls_[static_cast<std::size_t>(index)].control, HIWORD(wParam));
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            const std::optional<COLORREF> colour = labelColour(reinterpret_cast<HWND>(lParam));
            if (!colour)
                break;
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, *colour);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_ACTIVATE:
            // As a dialog does: the focus leaves with the window and comes back with it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focused = GetFocus();
                if (focused && IsChild(hwnd_, focused))
                    focus_ = focused;
            } else if (focus_) {
                SetFocus(focus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            onClose();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace editor_win32
