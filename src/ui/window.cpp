#include "ui/window.h"

#include <utility>

#include "ui/error.h"

namespace ui {
namespace {

constexpr wchar_t kReflectProp[] = L"ui.ReflectingControl";
constexpr wchar_t kUnhookedProp[] = L"ui.UnhookedProcedure";

HWND SourceOf(HWND parent, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_NOTIFY:
            return reinterpret_cast<const NMHDR*>(lp)->hwndFrom;
        case WM_COMMAND:
            return reinterpret_cast<HWND>(lp);
        case WM_DRAWITEM:
            return reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hwndItem;
        case WM_MEASUREITEM:
            return wp ? ::GetDlgItem(parent, static_cast<int>(wp)) : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace

void ReflectingControl::ReflectFrom(HWND control) noexcept {
    ::SetPropW(control, kReflectProp, static_cast<HANDLE>(this));
}

void ReflectingControl::StopReflecting(HWND control) noexcept {
    if (control && ::IsWindow(control)) ::RemovePropW(control, kReflectProp);
}

std::optional<LRESULT> ReflectToControl(HWND parent, UINT msg, WPARAM wp, LPARAM lp) {
    HWND source = SourceOf(parent, msg, wp, lp);
    if (!source) return std::nullopt;
    auto* control = static_cast<ReflectingControl*>(::GetPropW(source, kReflectProp));
    if (!control) return std::nullopt;
    return control->OnReflected(msg, wp, lp);
}

Window::~Window() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

HWND Window::CreateOwnWindow(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, const RECT& r,
                             HWND parent, UINT_PTR id, HBRUSH background, UINT classStyle) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    if (!::GetClassInfoExW(instance, className, &wc)) {
        wc = {};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = Trampoline;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = background;
        wc.lpszClassName = className;
        wc.hIcon = ::LoadIconW(instance, L"MAINICON");
        ::RegisterClassExW(&wc);
    }
    return ::CreateWindowExW(exStyle, className, title, style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                             parent, reinterpret_cast<HMENU>(id), instance, this);
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return Default(msg, wp, lp);
}

LRESULT CALLBACK Window::Trampoline(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    // The message boundary: an exception that no command caught must not unwind through the system's frames and
    // end the program with every unsaved document.
    try {
        if (msg == WM_NOTIFY || msg == WM_COMMAND || msg == WM_DRAWITEM || msg == WM_MEASUREITEM) {
            if (auto result = ReflectToControl(hwnd, msg, wp, lp)) return *result;
        }
        return self->OnMessage(msg, wp, lp);
    } catch (...) {
        ShowCurrentException(hwnd);
        return 0;
    }
}

void ToolWindow::Hide() {
    ::ShowWindow(Handle(), SW_HIDE);
}

bool ToolWindow::IsVisible() const {
    return Handle() && ::IsWindowVisible(Handle());
}

void ToolWindow::BringToFrontAndFocus() {
    if (!IsVisible()) return;
    const bool topmost = (::GetWindowLongPtrW(Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    ::SetWindowPos(Handle(), topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(Handle());
    HWND focus = ::GetFocus();
    if (!focus || (focus != Handle() && !::IsChild(Handle(), focus))) ::SetFocus(FocusTarget());
}

bool ToolWindow::HandleDialogMessage(MSG& msg) {
    if (!IsVisible() || (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd))) return false;
    return ::IsDialogMessageW(Handle(), &msg) != FALSE;
}

void ToolWindow::ShowInFront(bool topmost) {
    ::SetWindowPos(Handle(), topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    ::SetForegroundWindow(Handle());
    ::SetFocus(FocusTarget());
}

LRESULT ToolWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        Hide();  // only hidden: the next request shows the same window again
        return 0;
    }
    return Default(msg, wp, lp);
}

void Subclass::Attach(HWND hwnd, Handler handler) {
    Detach();
    hwnd_ = hwnd;
    handler_ = std::move(handler);
    const auto proc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    auto* top = reinterpret_cast<Subclass*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (proc == Proc && top) {
        below_ = top;
        original_ = top->original_;
    } else if (!top && !::GetPropW(hwnd, kUnhookedProp)) {
        original_ =
            reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    } else {
        // Keyed by this object, so that two hooks on one window stay apart.
        listed_ = true;
        ::SetWindowSubclass(hwnd, ListedProc, reinterpret_cast<UINT_PTR>(this), reinterpret_cast<DWORD_PTR>(this));
        return;
    }
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void Subclass::Detach() noexcept {
    const HWND hwnd = std::exchange(hwnd_, nullptr);
    Subclass* const below = std::exchange(below_, nullptr);
    if (!hwnd || !::IsWindow(hwnd)) return;
    if (std::exchange(listed_, false)) {
        ::RemoveWindowSubclass(hwnd, ListedProc, reinterpret_cast<UINT_PTR>(this));
        return;
    }
    auto* top = reinterpret_cast<Subclass*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (top != this) {
        for (Subclass* above = top; above; above = above->below_) {
            if (above->below_ != this) continue;
            above->below_ = below;
            break;
        }
        return;
    }
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(below));
    if (below) return;
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == Proc) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    } else {
        // Another procedure was put in front of ours meanwhile and calls it still: ours only passes messages on.
        ::SetPropW(hwnd, kUnhookedProp, reinterpret_cast<HANDLE>(original_));
    }
}

LRESULT Subclass::CallOriginal(UINT msg, WPARAM wp, LPARAM lp) const {
    if (listed_) return ::DefSubclassProc(hwnd_, msg, wp, lp);
    return below_ ? below_->Handle(hwnd_, msg, wp, lp) : ::CallWindowProcW(original_, hwnd_, msg, wp, lp);
}

LRESULT Subclass::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // A handler may detach its own hook: the message still goes on where it would have gone.
    const bool listed = listed_;
    Subclass* const below = below_;
    const WNDPROC original = original_;
    try {
        if (handler_) {
            if (auto r = handler_(msg, wp, lp)) return *r;
        }
    } catch (...) {
        ShowCurrentException(hwnd);
        return 0;
    }
    if (listed) return ::DefSubclassProc(hwnd, msg, wp, lp);
    return below ? below->Handle(hwnd, msg, wp, lp) : ::CallWindowProcW(original, hwnd, msg, wp, lp);
}

LRESULT CALLBACK Subclass::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* top = reinterpret_cast<Subclass*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!top) {
        const auto original = reinterpret_cast<WNDPROC>(::GetPropW(hwnd, kUnhookedProp));
        if (msg == WM_NCDESTROY) ::RemovePropW(hwnd, kUnhookedProp);
        return original ? ::CallWindowProcW(original, hwnd, msg, wp, lp) : ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        // The hooks see the window no more; the control frees itself with its own procedure back in place.
        const WNDPROC original = top->original_;
        for (Subclass* hook = top; hook; hook = std::exchange(hook->below_, nullptr)) hook->hwnd_ = nullptr;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return ::CallWindowProcW(original, hwnd, msg, wp, lp);
    }
    return top->Handle(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Subclass::ListedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<Subclass*>(data);
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, ListedProc, id);
        self->hwnd_ = nullptr;
        self->listed_ = false;
        return ::DefSubclassProc(hwnd, msg, wp, lp);
    }
    return self->Handle(hwnd, msg, wp, lp);
}

Panel::Panel(Component* owner, HWND parent, const RECT& r, DWORD exStyle) : Window(owner) {
    CreateOwnWindow(L"PilkaPanel", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, exStyle, r, parent,
                    0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

LRESULT Panel::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (OnOther) {
        if (auto r = OnOther(msg, wp, lp)) return *r;
    }
    switch (msg) {
        case WM_SIZE:
            if (OnResize) OnResize();
            return 0;
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CONTEXTMENU:  // passed on as it is: the form needs the window that was clicked, not this one
            if (HWND parent = ::GetParent(Handle())) return ::SendMessageW(parent, msg, wp, lp);
            break;
    }
    return Default(msg, wp, lp);
}

Timer::Timer(Component* owner, UINT interval, bool enabled) : Window(owner), interval_(interval), enabled_(enabled) {
    CreateOwnWindow(L"PilkaTimer", L"", 0, 0, RECT{}, HWND_MESSAGE);
    Update();
}

void Timer::SetInterval(UINT ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Update();
}

void Timer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Update();
}

void Timer::Update() {
    if (!Handle()) return;
    ::KillTimer(Handle(), 1);
    if (enabled_ && interval_ > 0) ::SetTimer(Handle(), 1, interval_, nullptr);
}

LRESULT Timer::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == 1) {
        if (enabled_ && OnTimer) OnTimer();
        return 0;
    }
    return Default(msg, wp, lp);
}

RECT ClientRect(HWND hwnd) {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    return r;
}

int WidthOf(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r.right - r.left;
}

int HeightOf(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r.bottom - r.top;
}

void PumpMessages() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

}  // namespace ui
