#include "dialogs/controls.h"

#include <algorithm>
#include <vector>

#include "ui/dpi.h"

namespace dialogs {

HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, int left, int top, int width,
                 int height, HWND parent, UINT id, HFONT font, DWORD exStyle) {
    HWND hwnd = ::CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width,
                                  height, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd && font) ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

std::wstring WindowText(HWND hwnd) {
    if (!hwnd) return {};
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = ::GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(0, n)));
    return text;
}

LOGFONTW LogFontOf(HFONT font) {
    LOGFONTW lf{};
    if (!font || ::GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    return lf;
}

SIZE WindowSizeForClient(HWND hwnd, int width, int height) {
    RECT r{0, 0, width, height};
    // The frame as the system draws it, at the window's DPI.
    ::AdjustWindowRectExForDpi(&r, static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE)), ui::DpiOf(hwnd));
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void CentreOnScreen(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    ::SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Label::Create(HWND parent, int left, int top, int width, int height, const std::wstring& text, HFONT font,
                   bool autoWidth) {
    if (autoWidth) {
        ui::WindowDc screen(nullptr);
        ui::SelectIn fontIn(screen.get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
        RECT extent{0, 0, 0, 0};
        ::DrawTextW(screen.get(), text.c_str(), -1, &extent, DT_CALCRECT | DT_NOPREFIX);
        width = std::max(width, static_cast<int>(extent.right - extent.left));
    }
    hwnd_ = CreateChild(L"STATIC", text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, left, top, width, height, parent, 0, font);
}

void Button::Create(HWND parent, UINT id, int left, int top, int width, int height, const std::wstring& caption,
                    HFONT font) {
    id_ = id;
    hwnd_ = CreateChild(L"BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, left, top, width, height, parent, id, font);
}

bool Button::HandleCommand(WPARAM wp, LPARAM lp) {
    if (!hwnd_ || reinterpret_cast<HWND>(lp) != hwnd_) return false;
    if (HIWORD(wp) == BN_CLICKED && OnClick) OnClick();
    return true;
}

void BitButton::Create(HWND parent, UINT id, int left, int top, int width, int height, const std::wstring& caption,
                       HFONT font, const wchar_t* glyphResource, bool isDefault) {
    id_ = id;
    isDefault_ = isDefault;
    hwnd_ = CreateChild(L"BUTTON", caption, WS_TABSTOP | BS_OWNERDRAW, left, top, width, height, parent, id, font);
    ui::UniqueBitmap bitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), glyphResource));
    if (!bitmap) return;
    BITMAP info{};
    ::GetObjectW(bitmap.get(), sizeof info, &info);
    COLORREF transparent = RGB(0, 0, 0);
    {
        ui::UniqueDc dc(::CreateCompatibleDC(nullptr));
        ui::SelectIn in(dc.get(), bitmap.get());
        transparent = ::GetPixel(dc.get(), 0, info.bmHeight - 1);
    }
    glyphs_.reset(::ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 0));
    if (glyphs_) ::ImageList_AddMasked(glyphs_.get(), bitmap.get(), transparent);
}

int BitButton::GlyphCount() const {
    return glyphs_ ? ::ImageList_GetImageCount(glyphs_.get()) : 0;
}

bool BitButton::HandleDrawItem(const DRAWITEMSTRUCT& item) {
    if (!hwnd_ || item.hwndItem != hwnd_) return false;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;

    if (isDefault_ || focused) {
        // The heavier frame tells which button Enter presses.
        ::FrameRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::InflateRect(&r, -1, -1);
    }
    ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));

    const std::wstring caption = WindowText(hwnd_);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    ui::SelectIn fontIn(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
    RECT textSize{0, 0, 0, 0};
    if (!caption.empty()) ::DrawTextW(dc, caption.c_str(), -1, &textSize, DT_SINGLELINE | DT_CALCRECT);
    const int glyphWidth = glyphs_ ? 16 : 0;
    const int gap = glyphWidth > 0 && !caption.empty() ? 4 : 0;
    const int contentWidth = glyphWidth + gap + (textSize.right - textSize.left);
    const int shift = pressed ? 1 : 0;
    int x = r.left + (r.right - r.left - contentWidth) / 2 + shift;
    if (glyphs_) {
        const int y = r.top + (r.bottom - r.top - 16) / 2 + shift;
        const int index = disabled && GlyphCount() > 1 ? 1 : 0;
        ::ImageList_Draw(glyphs_.get(), index, dc, x, y, ILD_TRANSPARENT);
        x += glyphWidth + gap;
    }
    if (!caption.empty()) {
        RECT textRect{x, r.top + shift, r.right, r.bottom + shift};
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        const UINT hidePrefix = (item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
        ::DrawTextW(dc, caption.c_str(), -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT | hidePrefix);
    }
    if (focused) {
        RECT focus = item.rcItem;
        ::InflateRect(&focus, -4, -4);
        ::DrawFocusRect(dc, &focus);
    }
    return true;
}

ColorPanel::ColorPanel(ui::Component* owner, HWND parent, int left, int top, int width, int height,
                       const std::wstring& text, HFONT font)
    : ui::Window(owner), color_(::GetSysColor(COLOR_BTNFACE)), text_(text), font_(font) {
    CreateOwnWindow(L"PilkaColorPanel", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER, 0,
                    RECT{left, top, left + width, top + height}, parent);
}

void ColorPanel::SetColor(COLORREF color) {
    if (color == color_) return;
    color_ = color;
    if (Handle()) ::InvalidateRect(Handle(), nullptr, TRUE);
}

void ColorPanel::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    if (Handle()) {
        ::SetWindowTextW(Handle(), text_.c_str());
        ::InvalidateRect(Handle(), nullptr, TRUE);
    }
}

LRESULT ColorPanel::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(Handle(), &ps);
            Paint(dc);
            ::EndPaint(Handle(), &ps);
            return 0;
        }
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_);
    }
    return Default(msg, wp, lp);
}

void ColorPanel::Paint(HDC dc) {
    RECT r = ui::ClientRect(Handle());
    ui::UniqueBrush brush(::CreateSolidBrush(color_));
    ::FillRect(dc, &r, brush.get());
    if (text_.empty()) return;
    // The caption stays readable on a dark colour.
    const int luminance = (GetRValue(color_) * 299 + GetGValue(color_) * 587 + GetBValue(color_) * 114) / 1000;
    ::SetTextColor(dc, luminance < 100 ? RGB(255, 255, 255) : RGB(0, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    ui::SelectIn fontIn(dc, font_ ? static_cast<HGDIOBJ>(font_) : ::GetStockObject(DEFAULT_GUI_FONT));
    ::DrawTextW(dc, text_.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
}

void ComboBox::Create(HWND parent, UINT id, int left, int top, int width, int height, HFONT font, int listHeight) {
    // The window height of a drop-down combo box includes its list.
    hwnd_ = CreateChild(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, left, top, width,
                        height + listHeight, parent, id, font);
}

void ComboBox::Place(int left, int top, int width, int height, int listHeight) {
    ::MoveWindow(hwnd_, left, top, width, height + listHeight, TRUE);
}

int ComboBox::ItemHeight() const {
    return static_cast<int>(::SendMessageW(hwnd_, CB_GETITEMHEIGHT, 0, 0));
}

void ComboBox::SetItemHeight(int height) {
    ::SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, height);
    if (ItemHeight() == height) return;
    // Some implementations take the item height from the combo box only when it draws its own items; the list
    // box inside takes it from everyone.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (::GetComboBoxInfo(hwnd_, &info) && info.hwndList)
        ::SendMessageW(info.hwndList, LB_SETITEMHEIGHT, 0, MAKELPARAM(height, 0));
}

HWND ComboBox::EditHandle() const {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!hwnd_ || !::GetComboBoxInfo(hwnd_, &info)) return nullptr;
    return info.hwndItem;
}

void ComboBox::AddItem(const std::wstring& text) {
    ::SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int ComboBox::Count() const {
    return static_cast<int>(::SendMessageW(hwnd_, CB_GETCOUNT, 0, 0));
}

std::wstring ComboBox::Item(int index) const {
    const LRESULT length = ::SendMessageW(hwnd_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(hwnd_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
}

int ComboBox::ItemIndex() const {
    return static_cast<int>(::SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
}

void ComboBox::SetItemIndex(int index) {
    quiet_ = true;
    ::SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    quiet_ = false;
}

void ComboBox::SetText(const std::wstring& text) {
    quiet_ = true;
    ::SetWindowTextW(hwnd_, text.c_str());
    quiet_ = false;
}

bool ComboBox::HandleCommand(WPARAM wp, LPARAM lp) {
    if (!hwnd_ || reinterpret_cast<HWND>(lp) != hwnd_) return false;
    switch (HIWORD(wp)) {
        case CBN_SELCHANGE: {
            // The edit part still shows the old text while this notification runs: the picked item is the text.
            const int index = ItemIndex();
            if (index >= 0) SetText(Item(index));
            if (OnChange) OnChange();
            break;
        }
        case CBN_EDITCHANGE:
            if (!quiet_ && OnChange) OnChange();
            break;
    }
    return true;
}

void HintWindow::Create(HWND owner) {
    hwnd_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
}

void HintWindow::Add(HWND control, const std::wstring& text) {
    if (!hwnd_ || !control) return;
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = ::GetParent(control);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

std::wstring HintWindow::TextOf(HWND control) const {
    if (!hwnd_ || !control) return {};
    std::vector<wchar_t> buffer(1024, L'\0');
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = ::GetParent(control);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = buffer.data();
    ::SendMessageW(hwnd_, TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&info));
    return std::wstring(buffer.data());
}

}  // namespace dialogs
