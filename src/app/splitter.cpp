#include "app/splitter.h"

#include <windowsx.h>

namespace app {

Splitter::Splitter(ui::Component* owner, HWND parent, Orientation orientation)
    : ui::Window(owner), orientation_(orientation) {
    CreateOwnWindow(orientation == Orientation::Vertical ? L"PilkaSplitterV" : L"PilkaSplitterH", L"",
                    WS_CHILD | WS_VISIBLE, 0, RECT{}, parent, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

int Splitter::Position() const {
    RECT r{};
    ::GetWindowRect(Handle(), &r);
    POINT p{r.left, r.top};
    ::ScreenToClient(::GetParent(Handle()), &p);
    return orientation_ == Orientation::Vertical ? p.x : p.y;
}

void Splitter::DragBy(int delta) {
    if (!SetPaneSize) return;
    int size = startSize_ + (PaneAfter ? -delta : delta);
    // Dragged past the minimum, the pane snaps shut, as a splitter does.
    if (size < MinSize) size = 0;
    SetPaneSize(size);
}

LRESULT Splitter::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, orientation_ == Orientation::Vertical ? IDC_SIZEWE : IDC_SIZENS));
            return TRUE;
        case WM_LBUTTONDOWN:
            dragging_ = true;
            ::GetCursorPos(&start_);
            startSize_ = GetPaneSize ? GetPaneSize() : 0;
            ::SetCapture(Handle());
            return 0;
        case WM_MOUSEMOVE:
            if (dragging_) {
                POINT p{};
                ::GetCursorPos(&p);
                DragBy(orientation_ == Orientation::Vertical ? p.x - start_.x : p.y - start_.y);
            }
            return 0;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (dragging_) {
                dragging_ = false;
                if (msg == WM_LBUTTONUP) ::ReleaseCapture();
                if (OnMoved) OnMoved();
            }
            return 0;
    }
    return Default(msg, wp, lp);
}

}  // namespace app
