// The rows of the file list: one per folder entry, with what its four columns, its icon and its overlay show, and
// what it sorts by.
//
// Rows are made on the reading thread and handed to the window's thread whole. A row handed over is shared (the
// list shows it, a later read compares against it) and never changes again, save for its icon and its kind's, which
// only the window's thread writes and no reader reads: an entry that changes gets a new row.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shell/ShView.h"

namespace shell {

// What every entry of one kind shows alike: the shell's type name and, unless its entries have icons of their own,
// the icon, which the window's thread asks for once a row of the kind is drawn, and alone writes.
struct FileType {
    std::wstring name;
    mutable int icon = -1;
    mutable bool iconAsked = false;
};

// How a row's caption follows from its file name, so that most rows need no caption of their own.
enum class CaptionForm : unsigned char { Name, NameWithoutExtension, Own };

struct FileRow {
    UniqueIdList item;     // one item, relative to the folder shown
    std::wstring name;     // the in-folder parsing name (the file name of a file-system entry)
    std::wstring caption;  // the in-folder display name, when captionForm is Own
    std::shared_ptr<const FileType> type;
    ULONGLONG size = 0;
    FILETIME written{};        // UTC
    DWORD fileAttributes = 0;  // from the directory listing
    ULONG attributes = 0;      // SFGAO_FOLDER, SFGAO_FILESYSANCESTOR, SFGAO_SHARE and SFGAO_LINK of the entry
    int shellRank = 0;         // the folder's own order of the entries the directory listing does not know
    int icon = -1;             // its own icon's index in the system image list; -1 while unknown
    CaptionForm captionForm = CaptionForm::Own;
    bool hasFindData = false;
    bool ownIcon = false;    // the icon is the entry's own, not its kind's
    bool iconAsked = false;  // window's thread: the own icon has been asked for

    std::wstring_view Caption() const noexcept;
    // The icon shown: its own or its kind's; -1 while unknown (window's thread).
    int Icon() const noexcept;
    // What a double-click enters rather than opens: a folder, or an item the shell browses like one.
    bool IsFolder() const noexcept;
    // Whether the entry sorts among the folders, which the shell's name order puts first.
    bool SortsAsFolder() const noexcept;
    // The overlay image: 1 the shortcut arrow, 0 the shared hand (which wins), -1 none.
    int OverlayIndex() const noexcept;
    // 100-ns units since 1601; 0 (the earliest) without find data.
    ULONGLONG Time() const noexcept;
    // The same entry in the same state, as far as a listing can tell.
    bool SameEntry(const FileRow& other) const noexcept;
};

using SharedRow = std::shared_ptr<FileRow>;
using Rows = std::vector<SharedRow>;

// A new row like the given one, without its entry's list: for a row that changes.
SharedRow CopyRow(const FileRow& row);

// Digits grouped in threes by the given thousands separator; empty for 0.
std::wstring FormatSize(ULONGLONG size, const std::wstring& separator);
// "yy/mm/dd hh:nn" of a UTC time in local time with the given separators, for any year; empty when the time cannot
// be converted.
std::wstring FormatDate(const FILETIME& utc, const std::wstring& dateSeparator, const std::wstring& timeSeparator);
// The user's separators: thousands, date and time.
std::wstring LocaleText(LCTYPE type, const wchar_t* fallback);
// The extension of a name's last path component: from its last ".", the dot included; empty when there is none.
std::wstring ExtensionOf(const std::wstring& name);
std::wstring UpperCase(std::wstring text);

// The entry's own icon: asked of the folder's IShellIcon when it has one, else of the shell by absolute list.
int ItemIcon(IShellIcon* shellIcon, const ITEMIDLIST* folderIdList, const ITEMIDLIST* item);

}  // namespace shell
