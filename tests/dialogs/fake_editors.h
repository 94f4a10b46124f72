// The main window as the dialogs see it: one real rich edit control in a hidden host window, which can also be
// taken away to act as "no document open".
#pragma once
#include <windows.h>

#include <string>

#include "dialogs/editor_access.h"
#include "ui/rich_edit.h"

namespace dialog_tests {

class FakeEditors : public dialogs::EditorAccess {
public:
    FakeEditors() {
        host_ = ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
        editor_.Create(host_, 1, RECT{0, 0, 400, 300});
        editor_.SetFont(SHIFTJIS_CHARSET, L"Arial", 11);
    }
    ~FakeEditors() override { ::DestroyWindow(host_); }
    FakeEditors(const FakeEditors&) = delete;
    FakeEditors& operator=(const FakeEditors&) = delete;

    ui::RichEdit* CurrentEditor() override { return open ? &editor_ : nullptr; }
    dialogs::EditorFontDefaults& FontDefaults() override { return defaults_; }

    ui::RichEdit& Editor() { return editor_; }
    dialogs::EditorFontDefaults& Defaults() { return defaults_; }

    // Text with a clean modified flag, as a freshly opened document.
    void Load(const std::wstring& text) {
        editor_.SetText(text);
        editor_.Select(0, 0);
        editor_.SetModified(false);
    }

    // Face name and size in points of the characters from start to end.
    std::wstring FaceAt(long start, long end) {
        const CHARRANGE keep = editor_.Selection();
        editor_.Select(start, end);
        const CHARFORMAT2W f = editor_.SelectionFormat();
        editor_.Select(keep.cpMin, keep.cpMax);
        return (f.dwMask & CFM_FACE) ? std::wstring(f.szFaceName) : std::wstring(L"<mixed>");
    }
    int SizeAt(long start, long end) {
        const CHARRANGE keep = editor_.Selection();
        editor_.Select(start, end);
        const CHARFORMAT2W f = editor_.SelectionFormat();
        editor_.Select(keep.cpMin, keep.cpMax);
        return (f.dwMask & CFM_SIZE) ? static_cast<int>(f.yHeight / 20) : -1;
    }
    COLORREF ColorAt(long start, long end) {
        const CHARRANGE keep = editor_.Selection();
        editor_.Select(start, end);
        const CHARFORMAT2W f = editor_.SelectionFormat();
        editor_.Select(keep.cpMin, keep.cpMax);
        if (!(f.dwMask & CFM_COLOR)) return CLR_INVALID;
        return (f.dwEffects & CFE_AUTOCOLOR) ? ::GetSysColor(COLOR_WINDOWTEXT) : f.crTextColor;
    }

    bool open = true;

private:
    HWND host_ = nullptr;
    ui::RichEdit editor_;
    dialogs::EditorFontDefaults defaults_;
};

}  // namespace dialog_tests
