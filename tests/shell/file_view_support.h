// What the file list's tests share: a form that hands the list its notifications, the list as the main window sets it
// up, waiting for its reads, reading its rows and headers, clicks and renames with real messages, and the reference
// rows, made of the shell's own answers entry by entry.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windowsx.h>
#include <winioctl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/FileView.h"
#include "shell/folder_view_support.h"
#include "support/host_window.h"
#include "support/test_support.h"

namespace file_view_test {

using Microsoft::WRL::ComPtr;
using testing_support::PumpFor;
using testing_support::TempDir;

// A form: hands the list its own notifications and records the commands a popup menu item sends.
class Host : public testing_support::HostWindow {
public:
    std::vector<WORD> commands;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_COMMAND && lp == 0) commands.push_back(LOWORD(wp));
        return Default(msg, wp, lp);
    }
};

using folder_test::MoveByWayOfAnotherName;
// The real desktop behind a wrapper whose folders do what a test scripts: listings that fail part-way, bindings
// that throw, renames that pump first or rename the case as Windows does.
using ScriptedDesktop = folder_test::WatchingDesktop;

// The list as the main window sets it up.
inline std::unique_ptr<shell::TFileView> MakeList(Host& host, int left = 0) {
    auto list = std::make_unique<shell::TFileView>(nullptr, host.Handle());
    list->SetBounds(left, 0, 440, 640);
    list->SetViewStyle(shell::ListViewStyle::Report);
    list->SetFileExecute(false);
    list->SetMultiSelect(false);
    list->SetRowSelect(true);
    list->SetHideSelection(false);
    return list;
}

// Until the rows show the folder as it is, in the current order, with their own icons.
inline void Settle(const shell::TFileView& list) {
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !list.Reading(); }, 20000));
}

inline void Show(shell::TFileView& list, const std::wstring& path) {
    const shell::UniqueIdList folder = shell::PathToIdList(path);
    ASSERT_TRUE(folder) << path.size();
    list.BrowseTo(folder.get());
    Settle(list);
}

inline void Refill(shell::TFileView& list) {
    list.FillItems();
    Settle(list);
}

inline std::wstring Text(const shell::TFileView& list, int item, int column) {
    wchar_t text[1024]{};
    LVITEMW it{};
    it.iSubItem = column;
    it.pszText = text;
    it.cchTextMax = 1024;
    ::SendMessageW(list.Handle(), LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&it));
    return text;
}

inline int Count(const shell::TFileView& list) {
    return ListView_GetItemCount(list.Handle());
}

inline std::vector<std::wstring> Column(const shell::TFileView& list, int column) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < Count(list); ++i) texts.push_back(Text(list, i, column));
    return texts;
}

inline int IndexOf(const shell::TFileView& list, const std::wstring& caption) {
    const auto names = Column(list, 0);
    const auto at = std::find(names.begin(), names.end(), caption);
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

inline std::wstring HeaderText(const shell::TFileView& list, int column) {
    wchar_t text[64]{};
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT;
    c.pszText = text;
    c.cchTextMax = 64;
    ListView_GetColumn(list.Handle(), column, &c);
    return text;
}

inline std::vector<std::wstring> Headers(const shell::TFileView& list) {
    std::vector<std::wstring> h;
    for (int c = 0; c < 5; ++c) h.push_back(HeaderText(list, c));
    return h;
}

// A press and release on the header, as the user clicks it.
inline void ClickHeader(const shell::TFileView& list, int column) {
    HWND header = ListView_GetHeader(list.Handle());
    RECT r{};
    Header_GetItemRect(header, column, &r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(header, WM_LBUTTONUP, 0, at);
    Settle(list);
}

inline POINT RowPoint(const shell::TFileView& list, int item) {
    RECT r{};
    r.left = LVIR_LABEL;
    ::SendMessageW(list.Handle(), LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&r));
    return {r.left + 8, (r.top + r.bottom) / 2};
}

inline void Post(const shell::TFileView& list, UINT msg, WPARAM keys, POINT p) {
    ::PostMessageW(list.Handle(), msg, keys, MAKELPARAM(p.x, p.y));
    PumpFor(30);
}

inline void DoubleClickRow(const shell::TFileView& list, int item) {
    const POINT p = RowPoint(list, item);
    Post(list, WM_LBUTTONDOWN, MK_LBUTTON, p);
    Post(list, WM_LBUTTONUP, 0, p);
    Post(list, WM_LBUTTONDBLCLK, MK_LBUTTON, p);
    Post(list, WM_LBUTTONUP, 0, p);
}

inline void Touch(const std::wstring& path, size_t bytes = 1) {
    testing_support::WriteBytes(path, std::string(bytes, 'x'));
}

// ---- the reference: what the shell says of each entry, asked entry by entry ----

inline std::wstring GroupedSize(ULONGLONG size) {
    if (size == 0) return L"";
    std::wstring digits = std::to_wstring(size), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += L',';
        out += digits[i];
    }
    return out;
}

inline std::wstring MinuteText(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &t);
    wchar_t text[32];
    swprintf(text, 32, L"%02u/%02u/%02u %02u:%02u", t.wYear % 100, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return text;
}

struct Row {
    std::wstring caption, size, type, date;
    int icon = -1, overlay = -1;
    bool operator==(const Row&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Row& r) {
    char text[1024];
    auto u8 = [](const std::wstring& w) {
        std::string s(w.size() * 4 + 1, '\0');
        s.resize(static_cast<size_t>(
            ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), static_cast<int>(s.size()), nullptr, nullptr)));
        return s;
    };
    snprintf(text, sizeof text, "[%s|%s|%s|%s|icon %d|overlay %d]", u8(r.caption).c_str(), u8(r.size).c_str(),
             u8(r.type).c_str(), u8(r.date).c_str(), r.icon, r.overlay);
    return out << text;
}

inline std::wstring NameOf(IShellFolder* folder, const ITEMIDLIST* item, DWORD flags) {
    STRRET name{};
    wchar_t* text = nullptr;
    if (FAILED(folder->GetDisplayNameOf(item, flags, &name)) || FAILED(::StrRetToStrW(&name, item, &text))) return {};
    std::wstring s = text;
    ::CoTaskMemFree(text);
    return s;
}

// Every entry's row from the plain shell calls, in the folder's enumeration order. Size and time come from the file
// itself: the shell's find data of an item holds a 32-bit size and a DOS time, and the test's big and old files are
// exactly what those cannot hold; for every other entry the two must agree.
inline std::vector<Row> ReferenceRows(const std::wstring& path, std::vector<shell::UniqueIdList>* items = nullptr,
                                      ComPtr<IShellFolder>* folderOut = nullptr) {
    std::vector<Row> rows;
    const shell::UniqueIdList absolute = shell::PathToIdList(path);
    ComPtr<IShellFolder> folder;
    EXPECT_TRUE(SUCCEEDED(shell::DesktopFolder()->BindToObject(absolute.get(), nullptr, IID_PPV_ARGS(&folder))));
    ComPtr<IShellIcon> shellIcon;
    folder->QueryInterface(IID_PPV_ARGS(&shellIcon));
    ComPtr<IEnumIDList> entries;
    EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &entries),
              S_OK);
    ITEMIDLIST* raw = nullptr;
    ULONG fetched = 0;
    while (entries && entries->Next(1, &raw, &fetched) == S_OK) {
        shell::UniqueIdList item = shell::OwnIdList(raw);
        const ITEMIDLIST* one = item.get();
        Row row;
        row.caption = NameOf(folder.Get(), one, SHGDN_INFOLDER);
        ULONG attributes = SFGAO_FOLDER | SFGAO_SHARE | SFGAO_LINK;
        folder->GetAttributesOf(1, &one, &attributes);
        row.overlay = (attributes & SFGAO_SHARE) ? 0 : (attributes & SFGAO_LINK) ? 1 : -1;
        ITEMIDLIST* full = ::ILCombine(absolute.get(), one);
        if (shellIcon) shellIcon->GetIconOf(one, GIL_FORSHELL, &row.icon);
        SHFILEINFOW info{};
        if (row.icon == -1) {
            ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(full), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_SYSICONINDEX);
            row.icon = info.iIcon;
        }
        info = {};
        ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(full), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_TYPENAME);
        row.type = info.szTypeName;
        ::CoTaskMemFree(full);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const std::wstring parsing = NameOf(folder.Get(), one, SHGDN_FORPARSING);
        EXPECT_TRUE(::GetFileAttributesExW(parsing.c_str(), GetFileExInfoStandard, &data));
        const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        row.size = GroupedSize(size);
        row.date = MinuteText(data.ftLastWriteTime);
        WIN32_FIND_DATAW found{};
        EXPECT_TRUE(SUCCEEDED(::SHGetDataFromIDListW(folder.Get(), one, SHGDFIL_FINDDATA, &found, sizeof found)));
        SYSTEMTIME t{};
        ::FileTimeToSystemTime(&data.ftLastWriteTime, &t);
        if (size < (1ull << 32) && t.wYear >= 1981) {
            EXPECT_EQ(GroupedSize(found.nFileSizeLow), row.size) << parsing.size();
            EXPECT_EQ(MinuteText(found.ftLastWriteTime), row.date) << parsing.size();
        }
        rows.push_back(row);
        if (items) items->push_back(std::move(item));
    }
    if (folderOut) *folderOut = folder;
    return rows;
}

// Asks for every row as the control does when it draws them all, and waits for the icons that are asked of the
// shell entry by entry.
inline void DrawAll(const shell::TFileView& list) {
    for (int i = 0; i < Count(list); ++i) {
        LVITEMW it{};
        it.mask = LVIF_IMAGE;
        it.iItem = i;
        ListView_GetItem(list.Handle(), &it);
    }
    Settle(list);
}

inline Row ListRow(const shell::TFileView& list, int i) {
    Row row{Text(list, i, 0), Text(list, i, 1), Text(list, i, 2), Text(list, i, 3)};
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = i;
    ListView_GetItem(list.Handle(), &it);
    row.icon = it.iImage;
    row.overlay = static_cast<int>((ListView_GetItemState(list.Handle(), i, LVIS_OVERLAYMASK) >> 8)) - 1;
    return row;
}

inline void WriteIconFile(const std::wstring& path, unsigned colour = 0xFF2060C0u) {
    std::string bytes;
    auto put16 = [&](unsigned v) { bytes += char(v & 0xFF), bytes += char(v >> 8 & 0xFF); };
    auto put32 = [&](unsigned v) { put16(v & 0xFFFF), put16(v >> 16); };
    const unsigned image = 40 + 16 * 16 * 4 + 16 * 4;
    put16(0), put16(1), put16(1);                                              // an icon file of one image
    bytes += char(16), bytes += char(16), bytes += char(0), bytes += char(0);  // 16 x 16, no palette
    put16(1), put16(32), put32(image), put32(22);                              // planes, bits, size, offset
    put32(40), put32(16), put32(32), put16(1), put16(32), put32(0), put32(0);  // the bitmap header
    put32(0), put32(0), put32(0), put32(0);                                    // (twice the height: and-mask)
    for (int i = 0; i < 16 * 16; ++i) put32(i % 3 ? colour : 0xFFE0A020u);     // pixels
    bytes += std::string(16 * 4, '\0');                                        // and-mask
    testing_support::WriteBytes(path, bytes);
}

inline void WriteShortcut(const std::wstring& path, const std::wstring& target) {
    ComPtr<IShellLinkW> link;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))));
    link->SetPath(target.c_str());
    ComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(link.As(&file)));
    ASSERT_TRUE(SUCCEEDED(file->Save(path.c_str(), TRUE)));
}

inline void SetLocalTime(const std::wstring& path, SYSTEMTIME local) {
    FILETIME localTime, utc;
    ::SystemTimeToFileTime(&local, &localTime);
    ::LocalFileTimeToFileTime(&localTime, &utc);
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::SetFileTime(file, nullptr, nullptr, &utc);
    ::CloseHandle(file);
}

// A type whose files show icons of their own, taken from each file, as programs' do.
class OwnIconType {
public:
    OwnIconType() {
        ::RegSetKeyValueW(HKEY_CLASSES_ROOT, L".pilkaicon", nullptr, REG_SZ, L"PilkaTestIcon", 28);
        ::RegSetKeyValueW(HKEY_CLASSES_ROOT, L"PilkaTestIcon\\DefaultIcon", nullptr, REG_SZ, L"%1", 6);
    }
    ~OwnIconType() {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".pilkaicon");
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"PilkaTestIcon");
    }
};

// Folders, hidden entries, several extensions, files without one, a shortcut, a program and an icon (whose icons
// are their own), names the code page cannot hold, an empty file, a time before 1980 and, where the disk allows a
// sparse one, a file over 4 GB.
struct MixedFolder {
    OwnIconType ownIcons;
    TempDir dir;
    bool big = false;
    MixedFolder() {
        WriteIconFile(dir / L"one.pilkaicon", 0xFF00FF00u);
        WriteIconFile(dir / L"two.pilkaicon", 0xFFFF0000u);
        std::filesystem::create_directory(dir.Path() / L"sub");
        std::filesystem::create_directory(dir.Path() / L"隠しフォルダ");
        ::SetFileAttributesW((dir / L"隠しフォルダ").c_str(), FILE_ATTRIBUTE_HIDDEN);
        Touch(dir / L"a.txt", 999);
        Touch(dir / L"b.TXT", 1000);
        Touch(dir / L"c.rtf", 12345);
        Touch(dir / L"d.csv", 7);
        Touch(dir / L"noext", 3);
        Touch(dir / L"README", 30);
        Touch(dir / L"zero.txt", 0);
        Touch(dir / L"한국어.txt", 5);
        Touch(dir / L"smile😀.txt", 6);
        Touch(dir / L"hidden.txt", 8);
        ::SetFileAttributesW((dir / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
        Touch(dir / L"old.txt", 9);
        SetLocalTime(dir / L"old.txt", SYSTEMTIME{1975, 3, 0, 15, 10, 20, 0, 0});
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        ::CopyFileW(self, (dir / L"prog.exe").c_str(), FALSE);
        WriteIconFile(dir / L"picture.ico");
        WriteShortcut(dir / L"short.lnk", dir / L"prog.exe");
        HANDLE file = ::CreateFileW((dir / L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD bytes = 0;
        LARGE_INTEGER end{};
        end.QuadPart = 5'000'000'000LL;
        big = ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &bytes, nullptr) &&
              ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
        ::CloseHandle(file);
        if (!big) ::DeleteFileW((dir / L"big.bin").c_str());
    }
};

// The parsing name of a folder as the shell spells it.
inline std::wstring ShellPath(const std::wstring& path) {
    const shell::UniqueIdList list = shell::PathToIdList(path);
    return shell::GetDisplayName(shell::DesktopFolder(), list.get(), SHGDN_FORPARSING).value_or(L"?");
}

// Starts the edit with F2 as the user does, types the text and ends it with Enter (or Escape).
inline void RenameRow(shell::TFileView& list, int item, const std::wstring& text, UINT key = VK_RETURN) {
    ListView_SetItemState(list.Handle(), item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(list.Handle());
    ::SendMessageW(list.Handle(), WM_KEYDOWN, VK_F2, 0);
    PumpFor(20);
    HWND edit = ListView_GetEditControl(list.Handle());
    ASSERT_NE(edit, nullptr);
    ::SetWindowTextW(edit, text.c_str());
    ::SendMessageW(edit, WM_KEYDOWN, key, 0);
    PumpFor(20);
    EXPECT_EQ(ListView_GetEditControl(list.Handle()), nullptr);
}

}  // namespace file_view_test
