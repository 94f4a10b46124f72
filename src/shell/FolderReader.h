// Reading a folder for the file list, on the list's worker thread: the entries (names, sizes, times, attributes),
// what the shell says of each kind of entry (type name, icon, how it names it) or, where an entry may differ from
// its kind, of the entry itself, and the rows' sort keys; the rows come back sorted.
//
// A folder read again comes back as the rows shown with only the difference applied: rows of entries that have not
// changed are the very rows shown, so their keys, icons and places carry over; new and changed entries get new rows,
// and rows of entries that have gone are left out. A file-system folder read again is compared with one directory
// listing, and the shell is asked only about the entries that are new, as long as they are few.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "shell/FileRows.h"
#include "shell/FileSort.h"
#include "ui/background.h"

namespace shell {

struct FolderRead {
    UniqueIdList folderIdList;       // the folder, absolute
    std::wstring path;               // its file-system path; empty for a folder without one
    std::vector<std::wstring> mask;  // the extensions shown; empty: everything
    ComPtr<IShellFolder> desktop;    // the desktop to bind the folder from; null: the reading thread's own
    SortOrder order;                 // with the name order believed so far
    bool nameOrderKnown = false;     // the folder's name order has been learnt: no need to ask again
    Rows previous;                   // the rows shown, when the folder is read again; empty for a first read
    SortOrder previousOrder;         // the order they are in
    // Names the directory listing had and the list did not show last time (the shell did not list them, or the
    // mask left them out), and whether the shell must list the folder anyway (the mask changed).
    std::vector<std::wstring> unlisted;
    bool listAll = false;
};

struct FolderReadResult {
    bool listed = false;  // false: the folder cannot be listed (or the read was overtaken by a newer one)
    Rows rows;            // in `order`, the order asked for
    SortOrder order;
    bool sorted = false;  // the rows are in order already
    NameOrder nameOrder = NameOrder::Text;
    bool nameOrderKnown = false;
    std::vector<std::wstring> unlisted;
};

// Runs on the calling thread, which must have a COM apartment of its own. Gives up, unlisted, once the token is
// stale.
FolderReadResult ReadFolder(const FolderRead& request, const ui::Generation::Token& token);

// The icons of rows whose icons are their own, in the rows' order; -1 where the shell gives none. Empty when the
// folder cannot be had or the token goes stale.
std::vector<int> ReadIcons(const ITEMIDLIST* folderIdList, IShellFolder* desktop, const Rows& rows,
                           const ui::Generation::Token& token);

}  // namespace shell
