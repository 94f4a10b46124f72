// Screen scaling: sizes are designed in pixels at 96 dots per inch and shown at the DPI of the window's monitor.
#pragma once
#include <windows.h>

#include "ui/owned.h"

namespace ui {

inline constexpr UINT kDesignDpi = 96;

// Turns design pixels (at 96 DPI) into pixels at one DPI. Every window that follows the screen's scaling keeps
// one, made when the window is created and replaced when the window moves to a monitor with another DPI.
class Scale {
public:
    constexpr Scale() = default;
    explicit constexpr Scale(UINT dpi) : dpi_(dpi ? dpi : kDesignDpi) {}
    constexpr UINT Dpi() const noexcept { return dpi_; }
    // Rounded to the nearest pixel; negative sizes (font heights) scale as their magnitude does.
    int operator()(int designPixels) const noexcept {
        return ::MulDiv(designPixels, static_cast<int>(dpi_), static_cast<int>(kDesignDpi));
    }
    // A size already in pixels at another DPI (one stored from the window, or read back) made into this one's.
    int From(int pixels, const Scale& other) const noexcept {
        return ::MulDiv(pixels, static_cast<int>(dpi_), static_cast<int>(other.dpi_));
    }
    bool operator==(const Scale&) const = default;

private:
    UINT dpi_ = kDesignDpi;
};

// The DPI of the monitor the window is on, as the window sees it.
UINT DpiOf(HWND hwnd);

// The DPI a WM_DPICHANGED message brings.
inline UINT DpiOfMessage(WPARAM wp) noexcept {
    return LOWORD(wp);
}

// Moves a window to the rectangle that WM_DPICHANGED suggests, in screen pixels at the new DPI.
void MoveToSuggested(HWND hwnd, LPARAM lp);

// A font of a face and charset whose height is given in design pixels (negative: the height of the characters).
UniqueFont ScaledFont(const wchar_t* face, int designHeight, BYTE charset, const Scale& scale);

// A strip of square pictures of designSize pixels, from a bitmap resource, at the scale's size. The pictures are
// enlarged pixel by pixel (nearest neighbour), so the mask colour stays exact and edges stay sharp.
UniqueImageList ScaledImageStrip(HINSTANCE instance, const wchar_t* resource, int designSize, int count, COLORREF mask,
                                 const Scale& scale);

}  // namespace ui
