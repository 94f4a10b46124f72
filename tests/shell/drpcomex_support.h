// Helpers of the context menu, drag source and combo tests: a window to own menus and drags, shortcuts, the
// clipboard, and an answer for the shell's own dialogs.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "shell/ShView.h"
#include "shell/shell_support.h"
#include "support/test_support.h"
#include "ui/window.h"

namespace testing_support {

// A shown top-level window of the test that owns menus, dialogs and drags; it answers hit tests (a static control
// without SS_NOTIFY is transparent to the pointer).
class OwnerWindow {
public:
    explicit OwnerWindow(int left = 200, int top = 150, int width = 400, int height = 300) {
        hwnd_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE | WS_BORDER | SS_NOTIFY, left, top,
                                  width, height, nullptr, nullptr, nullptr, nullptr);
        ::SetForegroundWindow(hwnd_);
    }
    ~OwnerWindow() { ::DestroyWindow(hwnd_); }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_;
};

// Saves a shell link to the target at the path.
bool MakeShortcut(const std::wstring& at, const std::wstring& target);

// The files of a file drop, in order.
std::vector<std::wstring> FilesOfDrop(HDROP drop);
// The files the clipboard holds as a file drop (CF_HDROP), in order; empty when it holds none.
std::vector<std::wstring> ClipboardFiles();
void EmptyTheClipboard();

// The first visible window of this thread of the class whose caption is the one given (any caption when empty).
HWND FindThreadWindow(const wchar_t* className, const std::wstring& caption);

// While it lives, answers the shell's own dialog with the caption by pressing the button with the text.
class DialogAnswerer {
public:
    DialogAnswerer(std::wstring caption, std::wstring button);
    bool Answered() const { return answered_; }

private:
    std::wstring caption_, button_;
    bool answered_ = false;
    ui::Timer timer_;
};

// The identifier of the first item of the menu (or its submenus) whose text holds the fragment; 0 when none.
UINT MenuIdOf(HMENU menu, const std::wstring& fragment);
// The texts of a menu's items, in order.
std::vector<std::wstring> MenuTexts(HMENU menu);

// A drop target of the test's own: records the calls and the files of a drop.
class RecordingTarget final : public IDropTarget {
public:
    int enters = 0, leaves = 0, drops = 0;
    std::vector<std::wstring> dropped;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *object = static_cast<IDropTarget*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        ++enters;
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        ++leaves;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override;
};

using shell_testing::StubFolder;

}  // namespace testing_support
