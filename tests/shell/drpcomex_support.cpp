#include "shell/drpcomex_support.h"

#include <shellapi.h>

namespace testing_support {

bool MakeShortcut(const std::wstring& at, const std::wstring& target) {
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)))) return false;
    Microsoft::WRL::ComPtr<IPersistFile> file;
    return SUCCEEDED(link->SetPath(target.c_str())) && SUCCEEDED(link.As(&file)) &&
           SUCCEEDED(file->Save(at.c_str(), TRUE));
}

std::vector<std::wstring> FilesOfDrop(HDROP drop) {
    std::vector<std::wstring> files;
    const UINT n = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        std::wstring name(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(::DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        files.push_back(name);
    }
    return files;
}

std::vector<std::wstring> ClipboardFiles() {
    std::vector<std::wstring> files;
    if (!::OpenClipboard(nullptr)) return files;
    if (auto drop = static_cast<HDROP>(::GetClipboardData(CF_HDROP))) files = FilesOfDrop(drop);
    ::CloseClipboard();
    return files;
}

void EmptyTheClipboard() {
    ::OleSetClipboard(nullptr);
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
}

HWND FindThreadWindow(const wchar_t* className, const std::wstring& caption) {
    struct Search {
        const wchar_t* cls;
        const std::wstring* caption;
        HWND found;
    } search{className, &caption, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t cls[64]{}, text[256]{};
            ::GetClassNameW(hwnd, cls, 64);
            ::GetWindowTextW(hwnd, text, 256);
            if (!::IsWindowVisible(hwnd) || ::lstrcmpW(cls, s->cls) != 0) return TRUE;
            if (!s->caption->empty() && *s->caption != text) return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogAnswerer::DialogAnswerer(std::wstring caption, std::wstring button)
    : caption_(std::move(caption)), button_(std::move(button)), timer_(nullptr, 30) {
    // The timer's messages are dispatched by the dialog's own modal loop.
    timer_.OnTimer = [this] {
        const HWND dialog = FindThreadWindow(L"#32770", caption_);
        if (!dialog) return;
        const HWND pressed = ::FindWindowExW(dialog, nullptr, L"Button", button_.c_str());
        if (!pressed) return;
        answered_ = true;
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(pressed), BN_CLICKED),
                       reinterpret_cast<LPARAM>(pressed));
    };
}

UINT MenuIdOf(HMENU menu, const std::wstring& fragment) {
    const int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        wchar_t text[256]{};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            if (const UINT id = MenuIdOf(sub, fragment)) return id;
        } else if (std::wstring(text).find(fragment) != std::wstring::npos) {
            return ::GetMenuItemID(menu, i);
        }
    }
    return 0;
}

std::vector<std::wstring> MenuTexts(HMENU menu) {
    std::vector<std::wstring> texts;
    const int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        wchar_t text[256]{};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        texts.push_back(text);
    }
    return texts;
}

HRESULT STDMETHODCALLTYPE RecordingTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    ++drops;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
        dropped = FilesOfDrop(static_cast<HDROP>(medium.hGlobal));
        ::ReleaseStgMedium(&medium);
    }
    *effect &= DROPEFFECT_COPY;
    return S_OK;
}

}  // namespace testing_support
