// The rows of the file list: one per folder entry, with what its four columns, its icon and its overlay show.
//
// The list is refilled after every change in the folder it shows, so reading a folder is the panel's hot path. The
// shell answers per entry slowly (a type name or an icon by item list costs milliseconds), so a file-system folder
// is read in one directory listing (names, sizes, times, attributes), and what is the same for every entry of one
// kind (folder or file, and the extension) is asked of the shell once, for the first entry of that kind: the type
// name, the icon, and whether the in-folder name hides the extension. Entries whose icon is their own (programs,
// icons, shortcuts, ...) get it when their row is first drawn. Entries the listing does not know (virtual items)
// are read entry by entry, as the shell describes them.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/ShView.h"

namespace shell {

// What a row shows. The list owns its rows; a row owns its entry's list.
struct FileRow {
    UniqueIdList item;     // one item, relative to the folder shown
    std::wstring name;     // the in-folder parsing name (the file name of a file-system entry)
    std::wstring caption;  // the in-folder display name
    std::wstring typeName;
    bool hasFindData = false;
    ULONGLONG size = 0;
    FILETIME written{};    // UTC
    ULONG attributes = 0;  // SFGAO_FOLDER, SFGAO_FILESYSANCESTOR, SFGAO_SHARE and SFGAO_LINK of the entry
    int icon = -1;         // index in the system image list; -1 until the row is first drawn

    // What a double-click enters rather than opens: a folder, or an item the shell browses like one.
    bool IsFolder() const noexcept;
    // The overlay image: 1 the shortcut arrow, 0 the shared hand (which wins), -1 none.
    int OverlayIndex() const noexcept;
    // "#,##" of the size (empty for 0 and without find data) and "yy/mm/dd hh:nn" of the time, made on first use.
    const std::wstring& SizeText();
    const std::wstring& DateText();

private:
    bool textsMade_ = false;
    std::wstring sizeText_, dateText_;
    void MakeTexts();
};

// Digits grouped in threes by the user's thousands separator; empty for 0.
std::wstring FormatSize(ULONGLONG size);
// "yy/mm/dd hh:nn" of a UTC time in local time with the user's date and time separators, for any year; empty when
// the time cannot be converted.
std::wstring FormatDate(const FILETIME& utc);
// The extension of a name's last path component: from its last ".", the dot included; empty when there is none.
std::wstring ExtensionOf(const std::wstring& name);
std::wstring UpperCase(std::wstring text);
// The user's case-sensitive order of two texts: negative, 0 or positive.
int CompareTexts(const std::wstring& a, const std::wstring& b) noexcept;

// The entry's own icon: asked of the folder's IShellIcon when it has one, else of the shell by absolute list.
int ItemIcon(IShellIcon* shellIcon, const ITEMIDLIST* folderIdList, const ITEMIDLIST* item);

// Reads every entry of the folder (folders, files, hidden ones) that passes the mask (empty: all; else folders and
// files whose upper-case extension is one of the mask's). nullopt when the folder cannot be enumerated.
std::optional<std::vector<std::unique_ptr<FileRow>>> ReadFolderRows(IShellFolder* folder,
                                                                    const ITEMIDLIST* folderIdList, HWND owner,
                                                                    const std::vector<std::wstring>& mask);

}  // namespace shell
