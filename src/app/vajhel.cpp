#include "app/vajhel.h"

#include "app/help_text.h"
#include "ui/texts.h"

namespace app {

TForm2::TForm2(ui::Component* owner) : ui::ToolWindow(owner) {
    BeginLoading();
    CreateOwnWindow(L"PilkaHelpWindow", txt::kHelpCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                    WS_EX_DLGMODALFRAME, RECT{0, 0, 0, 0}, nullptr, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    scale_ = ui::Scale(ui::DpiOf(Handle()));
    memo1_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                                   ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                               0, 0, 0, 0, Handle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(memo1_, EM_SETLIMITTEXT, 0, 0);
    ::SetWindowTextW(memo1_, txt::kHelpText);
    ApplyScale();
    // The centre of the whole desktop, over every monitor.
    RECT r{};
    ::GetWindowRect(Handle(), &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN) + (::GetSystemMetrics(SM_CXVIRTUALSCREEN) - width) / 2;
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN) + (::GetSystemMetrics(SM_CYVIRTUALSCREEN) - height) / 2;
    ::SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EndLoading();
}

// Sizes the window for scale_ and gives the text box the font made for it; the box follows the client area.
void TForm2::ApplyScale() {
    ui::UniqueFont font = ui::ScaledFont(txt::kUiFont, kFontHeight, SHIFTJIS_CHARSET, scale_);
    ::SendMessageW(memo1_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    font_ = std::move(font);
    RECT frame{0, 0, scale_(kClientWidth), scale_(kClientHeight)};
    ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongPtrW(Handle(), GWL_STYLE)), FALSE,
                               static_cast<DWORD>(::GetWindowLongPtrW(Handle(), GWL_EXSTYLE)),
                               ui::DpiOf(Handle()));  // the frame as the system draws it
    ::SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TForm2::~TForm2() {
    if (Handle()) ::DestroyWindow(Handle());
}

void TForm2::Show() {
    ShowInFront(false);
}

LRESULT TForm2::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            if (memo1_) ::MoveWindow(memo1_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
            return 0;
        case WM_DPICHANGED: {
            const ui::Scale scale(ui::DpiOfMessage(wp));
            if (scale != scale_) {
                scale_ = scale;
                ApplyScale();
            }
            const auto* suggested = reinterpret_cast<const RECT*>(lp);
            ::SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            // A read-only box keeps the paper colour of a text: it holds the help, not a disabled field.
            if (reinterpret_cast<HWND>(lp) == memo1_) {
                HDC dc = reinterpret_cast<HDC>(wp);
                ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
                ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
            }
            break;
    }
    return ui::ToolWindow::OnMessage(msg, wp, lp);
}

TForm2& HelpWindow::Show() {
    if (!form_) form_ = std::make_unique<TForm2>(owner_);
    form_->Show();
    return *form_;
}

}  // namespace app
