#include "ui/dpi.h"

#include <commctrl.h>

namespace ui {

UINT DpiOf(HWND hwnd) {
    UINT dpi = hwnd ? ::GetDpiForWindow(hwnd) : 0;
    if (dpi == 0) dpi = ::GetDpiForSystem();
    return dpi ? dpi : kDesignDpi;
}

void MoveToSuggested(HWND hwnd, LPARAM lp) {
    const auto* r = reinterpret_cast<const RECT*>(lp);
    if (!r) return;
    ::SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

UniqueFont ScaledFont(const wchar_t* face, int designHeight, BYTE charset, const Scale& scale) {
    LOGFONTW lf{};
    lf.lfHeight = scale(designHeight);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = charset;
    wcsncpy_s(lf.lfFaceName, face, _TRUNCATE);
    return UniqueFont(::CreateFontIndirectW(&lf));
}

UniqueImageList ScaledImageStrip(HINSTANCE instance, const wchar_t* resource, int designSize, int count, COLORREF mask,
                                 const Scale& scale) {
    const int size = scale(designSize);
    UniqueImageList list(::ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count, 0));
    UniqueBitmap strip(static_cast<HBITMAP>(::LoadImageW(instance, resource, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!list || !strip) return list;
    BITMAP info{};
    ::GetObjectW(strip.get(), sizeof info, &info);
    const int pictures = info.bmHeight > 0 ? info.bmWidth / info.bmHeight : 0;
    UniqueDc source(::CreateCompatibleDC(nullptr));
    UniqueDc target(::CreateCompatibleDC(nullptr));
    WindowDc screen(nullptr);
    UniqueBitmap scaled(::CreateCompatibleBitmap(screen.get(), size * pictures, size));
    if (!source || !target || !scaled) return list;
    {
        SelectIn from(source.get(), strip.get());
        SelectIn to(target.get(), scaled.get());
        ::SetStretchBltMode(target.get(), COLORONCOLOR);
        ::StretchBlt(target.get(), 0, 0, size * pictures, size, source.get(), 0, 0, info.bmWidth, info.bmHeight,
                     SRCCOPY);
    }
    ::ImageList_AddMasked(list.get(), scaled.get(), mask);
    return list;
}

}  // namespace ui
