// Shell item helpers: the panel names every folder and file by the shell's item identifier lists, never by path
// strings, so that virtual folders and names longer than a path buffer browse like any directory. Paths enter only
// at the edges (PathToIdList and friends) and leave as display names.
//
// Ownership: a list belongs to exactly one holder. Every operation that makes a list gives it in a UniqueIdList,
// which frees it with FreeIdList; a list passed in stays the caller's (only ConcatIdListsAndFree consumes its
// inputs). Interfaces come in ComPtr.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shell {

using Microsoft::WRL::ComPtr;

// The module-wide shell allocator and desktop folder; null outside a ShellModule or when they could not be had.
IMalloc* ShellMalloc() noexcept;
IShellFolder* DesktopFolder() noexcept;

// Takes OLE, the shell allocator and the desktop folder on this (the GUI) thread for its lifetime. Scopes nest:
// the outermost one owns the module state.
class ShellModule {
public:
    ShellModule();
    ~ShellModule();
    ShellModule(const ShellModule&) = delete;
    ShellModule& operator=(const ShellModule&) = delete;

private:
    bool ole_ = false;
    bool outermost_ = false;
};

// Replaces the shell allocator for a scope (tests count allocations through it) and puts the previous one back.
class ScopedShellMalloc {
public:
    explicit ScopedShellMalloc(IMalloc* replacement) noexcept;
    ~ScopedShellMalloc();
    ScopedShellMalloc(const ScopedShellMalloc&) = delete;
    ScopedShellMalloc& operator=(const ScopedShellMalloc&) = delete;

private:
    IMalloc* previous_;
};

// Replaces the desktop folder for a scope (tests watch or refuse the tree's binds and enumerations through it) and
// puts the previous one back. The replacement stays the caller's. Work on other threads binds from a desktop of
// its own, unless a replacement is in force (ReplacementDesktopFolder), which it then takes along.
class ScopedDesktopFolder {
public:
    explicit ScopedDesktopFolder(IShellFolder* replacement) noexcept;
    ~ScopedDesktopFolder();
    ScopedDesktopFolder(const ScopedDesktopFolder&) = delete;
    ScopedDesktopFolder& operator=(const ScopedDesktopFolder&) = delete;

private:
    IShellFolder* previous_;
    IShellFolder* previousReplacement_;
};

// The desktop folder a ScopedDesktopFolder put in force, or null; what work handed to another thread binds from.
IShellFolder* ReplacementDesktopFolder() noexcept;

void FreeIdList(const ITEMIDLIST* list) noexcept;

struct IdListFree {
    void operator()(ITEMIDLIST* list) const noexcept { FreeIdList(list); }
};
using UniqueIdList = std::unique_ptr<ITEMIDLIST, IdListFree>;

// Takes ownership of a list the shell handed out (enumeration, parsing, special folders, renames).
inline UniqueIdList OwnIdList(ITEMIDLIST* list) noexcept {
    return UniqueIdList(list);
}

// 0 for an absent list; else 2 plus the counts of all items (2 for the empty list).
UINT IdListSize(const ITEMIDLIST* list) noexcept;
// The second item of a present list; null when the list is empty or holds one item. Allocates nothing.
const ITEMIDLIST* NextItem(const ITEMIDLIST* list) noexcept;
// 0 for an absent or empty list.
int CountItems(const ITEMIDLIST* list) noexcept;
// A zero-filled block from the shell allocator; null when it refuses.
UniqueIdList AllocIdList(UINT size) noexcept;
// A new list of the first item alone; absent for an absent list, empty for the empty list.
UniqueIdList CopyFirstItem(const ITEMIDLIST* list) noexcept;
// A new list of the first's items followed by the second's; either may be absent (both absent: the empty list).
// A whole list is copied as ConcatIdLists(list, nullptr).
UniqueIdList ConcatIdLists(const ITEMIDLIST* first, const ITEMIDLIST* second) noexcept;
UniqueIdList ConcatIdListsAndFree(UniqueIdList first, UniqueIdList second) noexcept;
// The list without its last item; absent for an absent list and for a one-item list.
UniqueIdList ParentIdList(const ITEMIDLIST* list) noexcept;
// A new one-item list of the last item; absent for absent, empty for empty.
UniqueIdList LastItem(const ITEMIDLIST* list) noexcept;
// The folder's order of two items: negative, 0 or positive; -1 when the folder cannot compare them, so a failed
// comparison never counts as equality.
int CompareIds(IShellFolder* folder, const ITEMIDLIST* first, const ITEMIDLIST* second) noexcept;
// The shell's name of an item relative to the folder, in any of the three STRRET forms, without loss; the 8-bit
// forms are read in the shell's own code page. nullopt when the folder gives no name.
std::optional<std::wstring> GetDisplayName(IShellFolder* folder, const ITEMIDLIST* item, DWORD flags);
// The item's index in the system image list; SHGFI_PIDL is added to the flags.
int GetSysIconIndex(const ITEMIDLIST* absolute, UINT flags) noexcept;
// The shared system image list of small or large icons; never to be destroyed. Null when it cannot be had.
HIMAGELIST GetSystemImageList(bool large) noexcept;

// The desktop folder's parse of a path of any length; absent when it does not parse.
UniqueIdList PathToIdList(const std::wstring& path);
// The last item of the path's list; absent when the path does not parse.
UniqueIdList PathToChildItem(const std::wstring& path);
// The folder that holds the path's item; null when the path does not parse, names a child of the desktop, or an
// ancestor cannot be bound.
ComPtr<IShellFolder> PathToParentFolder(const std::wstring& path);

// N paths of one folder as that folder and a sibling item list of their last items, in path order.
struct SiblingItems {
    ComPtr<IShellFolder> folder;
    UniqueIdList items;
};
std::optional<SiblingItems> PathsToItems(int count, const std::vector<std::wstring>& paths);

// A view that shows the folder the tree selects (the file list, the folder combo): the tree hands it the folder's
// absolute list after every change of selection and keeps the list; the view copies what it keeps.
class LinkedFolderView {
public:
    virtual void BrowseTo(const ITEMIDLIST* absolute) = 0;

protected:
    ~LinkedFolderView() = default;
};

// The absolute list of a special folder (CSIDL_DESKTOP, CSIDL_DRIVES, CSIDL_SENDTO, ...); absent when it cannot be had.
UniqueIdList SpecialFolderIdList(HWND owner, int csidl);

// The folder of an absolute list: the desktop itself for the empty list. Null when it cannot be bound.
ComPtr<IShellFolder> BindToFolder(const ITEMIDLIST* absolute);
// Splits a sibling item list into its first `count` one-item lists; empty when the list runs out first.
std::vector<UniqueIdList> SplitSiblings(const ITEMIDLIST* items, int count);
// The file-system path of an absolute list; empty when the item has none.
std::wstring PathOfIdList(const ITEMIDLIST* absolute);

}  // namespace shell
