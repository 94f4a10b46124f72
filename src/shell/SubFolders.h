// The folder tree's reading of a folder's sub-folders, on any thread: the folder is bound afresh from its absolute
// list, its sub-folders (hidden ones too) are listed in the folder's own order, and they are matched with a listing
// read before, so that the tree changes only what changed. What is read is plain data and item lists from the
// shell's task allocator, which the window's thread then takes over.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/ShView.h"

namespace shell {

struct TaskMemFree {
    void operator()(ITEMIDLIST* list) const noexcept { ::CoTaskMemFree(list); }
};
// An item list as the shell hands it out, freed by the task allocator itself: a reading thread owns it without the
// module's allocator, which belongs to the window's thread.
using TaskIdList = std::unique_ptr<ITEMIDLIST, TaskMemFree>;

// One sub-folder as it was read.
struct SubFolder {
    int previous = -1;          // its place in the listing it was matched with; -1 for a folder that is new since
    TaskIdList item;            // its item now; null when the previous one is still the same, byte for byte
    std::wstring name;          // its name in the folder; read only with an item
    bool hasSubFolders = true;  // read for every folder that is new, changed or asked about
    bool asked = true;          // false: an unchanged folder not asked about, whose button stays as it is
    bool shared = false;
    int icon = -1;  // normal and open icon from the folder's icon interface; -1 when it has none
    int openIcon = -1;
};

struct SubFolderListing {
    bool listed = false;             // false: the folder could not be bound or listed (a drive without a disc)
    std::vector<SubFolder> folders;  // in the folder's own order
};

// The desktop a reading thread binds from: a test's replacement while one is in force (the tests' doubles answer
// on any thread); null otherwise, and the reader takes the desktop of its own thread.
ComPtr<IShellFolder> DesktopForReading();

// Lists the sub-folders of the folder of an absolute list and matches them with `previous` (that folder's
// children as shown so far, one-item lists). New and changed folders are described in full; an unchanged one is
// asked again whether it has sub-folders (a look into its directory each) only where `ask` says so, by its place in
// `previous` (empty: all are asked). `desktop` may be null (the desktop of the calling thread); `owner` owns any
// window the shell shows. An unlisted result when `stop` says so between two items.
SubFolderListing ReadSubFolders(IShellFolder* desktop, const ITEMIDLIST* absolute,
                                const std::vector<const ITEMIDLIST*>& previous, const std::vector<bool>& ask,
                                HWND owner, const std::function<bool()>& stop);

// Whether the folder of a file-system path is still there; a folder without a path (a virtual one) counts as there.
bool FolderStillThere(const std::wstring& path);

}  // namespace shell
