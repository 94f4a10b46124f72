// The small native controls of the dialogs, one class each: labels, push buttons, buttons with a glyph, coloured
// panels, an editable combo box and the hover hints.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "ui/owned.h"
#include "ui/window.h"

namespace dialogs {

// Creates a child window of a native class at left, top, width, height with the given font.
HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, int left, int top, int width,
                 int height, HWND parent, UINT id, HFONT font, DWORD exStyle = 0);

std::wstring WindowText(HWND hwnd);

// The font of a window as a logical font record; the default GUI font when it has none.
LOGFONTW LogFontOf(HFONT font);

// Centres a top-level window on the primary screen.
void CentreOnScreen(HWND hwnd);
// Window size of a top-level window whose client area is to be width by height.
SIZE WindowSizeForClient(HWND hwnd, int width, int height);

// A static text. Lines break only where the text has CR LF; with autoWidth the label widens to its longest line.
class Label {
public:
    void Create(HWND parent, int left, int top, int width, int height, const std::wstring& text, HFONT font,
                bool autoWidth = false);
    HWND Handle() const noexcept { return hwnd_; }
    std::wstring Text() const { return WindowText(hwnd_); }

private:
    HWND hwnd_ = nullptr;  // destroyed with its parent
};

// A push button; its parent hands the button's WM_COMMAND to HandleCommand.
class Button {
public:
    virtual ~Button() = default;
    void Create(HWND parent, UINT id, int left, int top, int width, int height, const std::wstring& caption,
                HFONT font);
    HWND Handle() const noexcept { return hwnd_; }
    UINT Id() const noexcept { return id_; }
    std::wstring Caption() const { return WindowText(hwnd_); }
    // True when the message was this button's; a click runs OnClick.
    bool HandleCommand(WPARAM wp, LPARAM lp);
    std::function<void()> OnClick;

protected:
    HWND hwnd_ = nullptr;  // destroyed with its parent
    UINT id_ = 0;
};

// A push button that draws a 16-pixel glyph beside its caption. The glyph resource is a 32 by 16 bitmap holding
// the normal and the disabled picture; its bottom-left pixel gives the transparent colour. The parent hands the
// button's WM_DRAWITEM to HandleDrawItem.
class BitButton : public Button {
public:
    void Create(HWND parent, UINT id, int left, int top, int width, int height, const std::wstring& caption, HFONT font,
                const wchar_t* glyphResource, bool isDefault = false);
    bool HandleDrawItem(const DRAWITEMSTRUCT& item);
    bool IsDefault() const noexcept { return isDefault_; }
    int GlyphCount() const;

private:
    ui::UniqueImageList glyphs_;
    bool isDefault_ = false;
};

// A panel with a single border, filled with a colour, its caption centred.
class ColorPanel : public ui::Window {
public:
    ColorPanel(ui::Component* owner, HWND parent, int left, int top, int width, int height, const std::wstring& text,
               HFONT font);
    COLORREF Color() const noexcept { return color_; }
    void SetColor(COLORREF color);
    const std::wstring& Text() const noexcept { return text_; }
    void SetText(const std::wstring& text);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint(HDC dc);
    COLORREF color_;
    std::wstring text_;
    HFONT font_;  // the parent's, not owned
};

// A drop-down combo box whose text can also be typed. OnChange runs when the user picks an item or types;
// setting the text or the selected item from the program raises nothing.
class ComboBox {
public:
    // height is the closed box's; the window reaches listHeight further down for the list.
    void Create(HWND parent, UINT id, int left, int top, int width, int height, HFONT font, int listHeight);
    HWND Handle() const noexcept { return hwnd_; }
    HWND EditHandle() const;
    void Place(int left, int top, int width, int height, int listHeight);
    // The height of the list's items. A font change measures them afresh, so it is set after the font.
    int ItemHeight() const;
    void SetItemHeight(int height);
    void AddItem(const std::wstring& text);
    int Count() const;
    std::wstring Item(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    std::wstring Text() const { return WindowText(hwnd_); }
    void SetText(const std::wstring& text);
    bool HandleCommand(WPARAM wp, LPARAM lp);
    std::function<void()> OnChange;

private:
    HWND hwnd_ = nullptr;  // destroyed with its parent
    bool quiet_ = false;   // the program is changing the text
};

// Hints shown while the pointer rests on a control.
class HintWindow {
public:
    void Create(HWND owner);
    void Add(HWND control, const std::wstring& text);
    // The hint of a control, empty when it has none.
    std::wstring TextOf(HWND control) const;
    HWND Handle() const noexcept { return hwnd_; }

private:
    HWND hwnd_ = nullptr;  // owned by the owner window and destroyed with it
};

}  // namespace dialogs
