// Windows of our own classes, native controls hooked by subclassing, panels and timers.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>

#include "ui/component.h"

namespace ui {

// A native control wrapped by a component of ours that handles its own notifications, as a list view frees what its
// deleted items held. Every window of ours hands such a control's WM_NOTIFY, WM_COMMAND, WM_DRAWITEM and
// WM_MEASUREITEM to it before anything else; the control returns a result to keep a message from the parent.
class ReflectingControl {
public:
    virtual std::optional<LRESULT> OnReflected(UINT msg, WPARAM wp, LPARAM lp) = 0;

protected:
    ~ReflectingControl() = default;
    // Registers the control's window; a component that lives shorter than its window unregisters it.
    void ReflectFrom(HWND control) noexcept;
    static void StopReflecting(HWND control) noexcept;
};

// The control's own handling of a message sent to its parent, if it registered; nullopt otherwise.
std::optional<LRESULT> ReflectToControl(HWND parent, UINT msg, WPARAM wp, LPARAM lp);

// A window of a class of ours: one static trampoline finds the object and forwards to OnMessage.
class Window : public Component {
public:
    ~Window() override;
    HWND Handle() const noexcept { return hwnd_; }

protected:
    explicit Window(Component* owner) : Component(owner) {}
    // Registers the class on first use and creates the window with this object behind it.
    HWND CreateOwnWindow(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, const RECT& r,
                         HWND parent, UINT_PTR id = 0, HBRUSH background = nullptr, UINT classStyle = 0);
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(hwnd_, msg, wp, lp); }

private:
    static LRESULT CALLBACK Trampoline(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;  // owned: destroyed with this object unless the parent destroyed it first
};

// A window that lives as long as the program beside the main window and is only hidden when closed: the tool
// dialogs and the help window.
class ToolWindow : public Window {
public:
    void Hide();
    bool IsVisible() const;
    // Brings a shown window to the front; the focus goes to FocusTarget unless it is already inside the window.
    void BringToFrontAndFocus();
    // Tab between controls, Enter for the default button, Alt+letter; the message loop offers each message here.
    bool HandleDialogMessage(MSG& msg);

protected:
    explicit ToolWindow(Component* owner) : Window(owner) {}
    // Shows the window in front of the others (above all of them when topmost) and focuses FocusTarget.
    void ShowInFront(bool topmost);
    virtual HWND FocusTarget() const { return Handle(); }
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

// Hooks a native control's messages; the handler returns a result to swallow a message, nullopt to pass it on. The
// last hook attached to a window sees its messages first.
//
// Hooks on a control chain through its user data, which controls leave to the program, in front of the control's
// own procedure. A window whose user data is taken (one of ours) is hooked through the system's subclass list
// instead, which under Wine costs two calls to the server a message: a tree or a list of thousands of rows, walked
// a message a row, would take seconds.
class Subclass {
public:
    using Handler = std::function<std::optional<LRESULT>(UINT msg, WPARAM wp, LPARAM lp)>;
    Subclass() = default;
    ~Subclass() { Detach(); }
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

    void Attach(HWND hwnd, Handler handler);
    void Detach() noexcept;
    // Passes a message on to the hooks attached before this one and the control itself.
    LRESULT CallOriginal(UINT msg, WPARAM wp, LPARAM lp) const;

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK ListedProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
    Handler handler_;
    bool listed_ = false;         // hooked through the system's list
    WNDPROC original_ = nullptr;  // the control's own procedure, beneath every chained hook
    Subclass* below_ = nullptr;   // the chained hook attached before this one
};

// A plain child container. It passes its children's notifications up to its parent, so that the form
// receives them wherever the control sits, and reports its resizing.
class Panel : public Window {
public:
    Panel(Component* owner, HWND parent, const RECT& r = {}, DWORD exStyle = 0);
    std::function<void()> OnResize;
    std::function<std::optional<LRESULT>(UINT, WPARAM, LPARAM)> OnOther;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

// A timer driven by the message loop, through a message-only window of its own.
class Timer : public Window {
public:
    explicit Timer(Component* owner, UINT interval = 1000, bool enabled = true);
    UINT Interval() const noexcept { return interval_; }
    void SetInterval(UINT ms);
    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool on);
    std::function<void()> OnTimer;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Update();
    UINT interval_;
    bool enabled_;
};

// The hourglass while work really runs, and the cursor that was there before afterwards.
class BusyCursor {
public:
    BusyCursor() noexcept : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~BusyCursor() { ::SetCursor(previous_ ? previous_ : ::LoadCursorW(nullptr, IDC_ARROW)); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    HCURSOR previous_;
};

// Moves a window to a rectangle given as left, top, width, height.
inline void Place(HWND hwnd, int left, int top, int width, int height) {
    ::MoveWindow(hwnd, left, top, width < 0 ? 0 : width, height < 0 ? 0 : height, TRUE);
}
RECT ClientRect(HWND hwnd);
int WidthOf(HWND hwnd);
int HeightOf(HWND hwnd);

// Pumps the pending messages of this thread; tests and long commands use it.
void PumpMessages();

}  // namespace ui
