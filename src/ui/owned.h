// Owners for handles, GDI objects and memory that the platform hands out.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <type_traits>

namespace ui {

template <auto Close>
struct CloseWith {
    void operator()(auto h) const noexcept {
        const DWORD error = ::GetLastError();  // cleanup must not hide the failure being reported
        Close(h);
        ::SetLastError(error);
    }
};

template <class H, auto Close>
using Owned = std::unique_ptr<std::remove_pointer_t<H>, CloseWith<Close>>;

inline void DeleteGdiObject(HGDIOBJ h) noexcept {
    ::DeleteObject(h);
}
inline void CloseFileHandle(HANDLE h) noexcept {
    ::CloseHandle(h);
}

using UniqueFont = Owned<HFONT, DeleteGdiObject>;
using UniqueBitmap = Owned<HBITMAP, DeleteGdiObject>;
using UniqueBrush = Owned<HBRUSH, DeleteGdiObject>;
using UniquePen = Owned<HPEN, DeleteGdiObject>;
using UniqueMenu = Owned<HMENU, ::DestroyMenu>;
using UniqueAccel = Owned<HACCEL, ::DestroyAcceleratorTable>;
using UniqueHandle = Owned<HANDLE, CloseFileHandle>;  // nullptr, not INVALID_HANDLE_VALUE, means none
using UniqueModule = Owned<HMODULE, ::FreeLibrary>;
using UniqueDc = Owned<HDC, ::DeleteDC>;
using UniqueImageList = Owned<HIMAGELIST, ::ImageList_Destroy>;
using UniqueCoMem = Owned<void*, ::CoTaskMemFree>;

// CreateFileW reports failure as INVALID_HANDLE_VALUE; this owner holds nullptr instead.
inline UniqueHandle OwnFileHandle(HANDLE h) noexcept {
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// A DC taken with GetDC, given back to its window.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND hwnd_;
    HDC dc_;
};

// Selects a GDI object into a DC for the scope and puts the previous one back.
class SelectIn {
public:
    SelectIn(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~SelectIn() {
        if (old_) ::SelectObject(dc_, old_);
    }
    SelectIn(const SelectIn&) = delete;
    SelectIn& operator=(const SelectIn&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace ui
