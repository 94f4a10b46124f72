// Test doubles for the folder tree: a window that passes its children's notifications back as a form does, a desktop
// folder that watches the tree's enumerations and can refuse to list a folder or lend an icon interface, and a
// context menu and drag source that record what they were asked instead of showing a menu or starting a drag.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "shell/DRPCOMEX.h"
#include "shell/ShView.h"
#include "ui/window.h"
#include "support/host_window.h"

namespace folder_test {

using Microsoft::WRL::ComPtr;

struct Host : testing_support::HostWindow {
    Host() : HostWindow(500, 700) {}
};

// The reference counting of the test's COM objects.
template <class... Interfaces>
class TestUnknown : public Interfaces... {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;  // our own COM object: released, not deleted by hand elsewhere
        return left;
    }

protected:
    virtual ~TestUnknown() = default;

private:
    std::atomic<ULONG> refs_{1};
};

// Renames a file, its case alone too: Wine takes a new name that differs only in case for the old one and renames
// nothing, so the file goes by way of another name.
inline bool MoveByWayOfAnotherName(const std::wstring& from, const std::wstring& to) {
    const std::wstring aside = to + L".moving";
    return ::MoveFileW(from.c_str(), aside.c_str()) && ::MoveFileW(aside.c_str(), to.c_str());
}

// The real desktop seen through a wrapper: every folder bound from it is wrapped too.
class WatchingDesktop;

class WatchingFolder final : public TestUnknown<IShellFolder, IShellIcon> {
public:
    WatchingFolder(WatchingDesktop& owner, ComPtr<IShellFolder> inner, shell::UniqueIdList absolute);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override;
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override;
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override;
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override;
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override;
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override;
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**) override;
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override;
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override;
    HRESULT STDMETHODCALLTYPE GetIconOf(PCUITEMID_CHILD, UINT flags, int* index) override;

private:
    bool Refused() const;
    std::wstring Name() const;                                  // this folder's parsing name
    bool Named(const std::vector<std::wstring>& names) const;   // whether this folder's parsing name is one of them
    const std::wstring* OtherName(PCUITEMID_CHILD item) const;  // the name a test gave the child, if any
    WatchingDesktop& owner_;
    ComPtr<IShellFolder> inner_;
    shell::UniqueIdList absolute_;  // empty for the desktop itself
};

class WatchingDesktop {
public:
    WatchingDesktop();
    ~WatchingDesktop();
    IShellFolder* Folder() const noexcept { return desktop_.Get(); }

    std::atomic<int> enumerations{0};   // EnumObjects calls on any folder, from any thread
    std::vector<std::wstring> refused;  // parsing names of folders whose listing fails
    std::wstring sharedName;            // a child of this name reports SFGAO_SHARE
    bool lendIcons = false;             // folders offer IShellIcon with the icons 5 (normal) and 6 (open)
    bool failCompare = false;           // CompareIDs fails, as a folder that cannot compare its items
    bool numericCompare = false;        // CompareIDs orders names with digits as numbers ("a2" before "a10")
    // Listing a folder of one of these parsing names waits until the gate (a manual-reset event) is set, as a slow
    // disc or network place does; `waiting` counts the listings held there.
    std::vector<std::wstring> gated;
    HANDLE gate = nullptr;
    std::atomic<int> waiting = 0;
    // The same, but once the folder's items have all been listed, before its enumeration ends: a listing taken
    // and not yet handed back.
    std::vector<std::wstring> gatedAtEnd;
    // Listing a folder of one of these parsing names throws (a shell extension's failure, memory running out).
    std::vector<std::wstring> throwing;
    // Listing a folder of one of these parsing names fails part-way, after `failAfter` items, as a network place
    // or a phone that drops does.
    std::vector<std::wstring> failing;
    int failAfter = 1;
    // Binding any folder throws (a reading job out of memory).
    std::atomic<bool> bindThrows{false};
    // Runs inside SetNameOf before the rename, on the caller's thread (the shell's boxes, which pump messages).
    std::function<void()> duringRename;
    // SetNameOf moves the file itself, as Windows' shell renames a change of case (Wine's renames nothing).
    bool renameByMove = false;
    // Children shown under another name than their file name (by in-folder parsing name), as the shell names a
    // folder customised by its desktop.ini; with lendIcons, such a child has the icon 9.
    std::map<std::wstring, std::wstring> displayNames;
    // What was read, from any thread: the parsing names of the folders listed, and for each folder how many of its
    // items were asked whether they have sub-folders.
    std::mutex seenLock;
    std::vector<std::wstring> listed;
    std::map<std::wstring, int> askedAbout;

private:
    friend class WatchingFolder;
    IShellFolder* real_;
    ComPtr<IShellFolder> desktop_;
    shell::ScopedDesktopFolder scope_;
};

struct ShownItems {
    HWND window;
    std::wstring folder;  // the parsing name of the folder the items were given in
    std::wstring item;    // the item's name in that folder
    int count;
    POINT screen;
};

// The parsing name of a folder interface's own place, through its persist interface; empty when it has none.
std::wstring FolderPath(IShellFolder* folder);

class RecordingMenu : public shell::TContextMenuEx {
public:
    using shell::TContextMenuEx::TContextMenuEx;
    bool ShowForItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count, POINT screen) override;
    std::vector<ShownItems> shown;
};

class RecordingDrag : public shell::TDropSourceEx {
public:
    using shell::TDropSourceEx::TDropSourceEx;
    void DragItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count) override;
    std::vector<ShownItems> dragged;
};

}  // namespace folder_test
