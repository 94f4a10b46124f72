// Helpers of the context menu, drag source and combo tests: an allocator that counts the shell lists, a window to
// own menus and drags, shortcuts, the clipboard, and an answer for the shell's own dialogs.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "shell/ShView.h"
#include "ui/window.h"

namespace testing_support {

// The shell allocator of a test: counts the blocks it gives out and keeps freed ones until its end, so that a second
// free of a block is seen and never reaches the heap. Blocks of the real allocator (lists the shell made) are
// passed on to it.
class CountingMalloc final : public IMalloc {
public:
    CountingMalloc() : scope_(this) {}
    ~CountingMalloc() {
        for (void* p : freed_) ::CoTaskMemFree(p);
        for (void* p : live_) ::CoTaskMemFree(p);
    }
    CountingMalloc(const CountingMalloc&) = delete;
    CountingMalloc& operator=(const CountingMalloc&) = delete;

    int allocations = 0;
    int doubleFrees = 0;
    size_t Live() const { return live_.size(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IMalloc) {
            *object = static_cast<IMalloc*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    void* STDMETHODCALLTYPE Alloc(SIZE_T size) override {
        void* p = ::CoTaskMemAlloc(size);
        if (p) {
            ++allocations;
            live_.insert(p);
        }
        return p;
    }
    void* STDMETHODCALLTYPE Realloc(void* p, SIZE_T size) override {
        if (!p) return Alloc(size);
        live_.erase(p);
        void* q = ::CoTaskMemRealloc(p, size);
        if (q) live_.insert(q);
        return q;
    }
    void STDMETHODCALLTYPE Free(void* p) override {
        if (!p) return;
        if (live_.erase(p)) {
            freed_.insert(p);
        } else if (freed_.count(p)) {
            ++doubleFrees;
        } else {
            ::CoTaskMemFree(p);
        }
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return static_cast<SIZE_T>(-1); }
    int STDMETHODCALLTYPE DidAlloc(void* p) override { return live_.count(p) ? 1 : 0; }
    void STDMETHODCALLTYPE HeapMinimize() override {}

private:
    std::set<void*> live_;
    std::set<void*> freed_;
    shell::ScopedShellMalloc scope_;
};

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

}  // namespace testing_support
