#include "shell/FileRows.h"

#include <algorithm>
#include <unordered_map>

#include "ui/owned.h"
#include "ui/text.h"

namespace shell {
namespace {

using UniqueFind = ui::Owned<HANDLE, ::FindClose>;

constexpr ULONG kRowAttributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_SHARE | SFGAO_LINK;

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
    wchar_t text[16]{};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 16) <= 1) return fallback;
    return text;
}

void AppendTwoDigits(std::wstring& out, unsigned value) {
    out += static_cast<wchar_t>(L'0' + value / 10 % 10);
    out += static_cast<wchar_t>(L'0' + value % 10);
}

// What the directory listing says of one entry.
struct Listed {
    ULONGLONG size;
    FILETIME written;
    DWORD attributes;
};

// One pass over the folder on disk; empty when it is no file-system folder or cannot be listed.
std::unordered_map<std::wstring, Listed> ListDirectory(std::wstring path) {
    std::unordered_map<std::wstring, Listed> listed;
    if (path.empty()) return listed;
    if (path.back() != L'\\') path += L'\\';
    path += L'*';
    if (path.size() >= MAX_PATH && path.rfind(L"\\\\?\\", 0) != 0) {
        path = path.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
    }
    WIN32_FIND_DATAW data;
    HANDLE raw = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (raw == INVALID_HANDLE_VALUE) return listed;
    const UniqueFind find(raw);
    do {
        const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        listed.emplace(data.cFileName, Listed{size, data.ftLastWriteTime, data.dwFileAttributes});
    } while (::FindNextFileW(find.get(), &data));
    return listed;
}

std::wstring RegistryText(const std::wstring& key) {
    wchar_t text[1024]{};
    DWORD bytes = sizeof text;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                       nullptr, text, &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return text;
}

bool RegistryKeyExists(const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

// Whether the files of this extension show icons of their own rather than one icon for the type: the shell takes
// such icons from the file itself (a default icon of "%1") or from an icon handler. Programs, icons and shortcuts
// are named as well, since a shell may decide those without the registry.
bool FilesHaveOwnIcons(const std::wstring& upperExtension) {
    static constexpr const wchar_t* kOwn[] = {L".EXE", L".ICO", L".LNK", L".CUR", L".ANI", L".DLL", L".SCR",
                                              L".CPL", L".ICL", L".URL", L".PIF", L".MSC", L".CAB", L".MSI"};
    if (upperExtension.empty()) return false;
    if (std::find(std::begin(kOwn), std::end(kOwn), upperExtension) != std::end(kOwn)) return true;
    if (RegistryKeyExists(upperExtension + L"\\shellex\\IconHandler")) return true;
    const std::wstring cls = RegistryText(upperExtension);
    if (cls.empty()) return false;
    return RegistryText(cls + L"\\DefaultIcon").find(L"%1") != std::wstring::npos ||
           RegistryKeyExists(cls + L"\\shellex\\IconHandler");
}

// What every entry of one kind shares, learnt from the first entry of that kind.
struct Kind {
    enum class Caption { Name, NameWithoutExtension, AskEach };
    std::wstring typeName;
    int icon = -1;  // -1: each entry's icon is its own
    Caption caption = Caption::AskEach;
};

class FolderReader {
public:
    FolderReader(IShellFolder* folder, const ITEMIDLIST* folderIdList, const std::vector<std::wstring>& mask)
        : folder_(folder), folderIdList_(folderIdList) {
        folder_->QueryInterface(IID_PPV_ARGS(&shellIcon_));
        if (folderIdList_) path_ = PathOfIdList(folderIdList_);
        if (!path_.empty() && path_.back() != L'\\') path_ += L'\\';
        listed_ = ListDirectory(path_);
        for (const std::wstring& m : mask) mask_.push_back(UpperCase(m));
    }

    void Add(UniqueIdList item, std::vector<std::unique_ptr<FileRow>>& rows) {
        const ITEMIDLIST* one = item.get();
        ULONG attributes = kRowAttributes;
        if (FAILED(folder_->GetAttributesOf(1, &one, &attributes))) attributes = 0;
        attributes &= kRowAttributes;
        std::wstring name = GetDisplayName(folder_, one, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(L"");
        const bool isFolder = (attributes & SFGAO_FOLDER) != 0;
        const std::wstring extension = ExtensionOf(name);
        if (!mask_.empty() && !isFolder &&
            (extension.empty() || std::find(mask_.begin(), mask_.end(), UpperCase(extension)) == mask_.end())) {
            return;  // the item's list goes with `item`
        }
        std::unique_ptr<FileRow> row;
        const auto found = listed_.find(name);
        if (found == listed_.end()) {
            row = EntryRow(one, true);
        } else if (NamedByTheShell(name, isFolder, found->second)) {
            row = EntryRow(one, false);  // its icon is its own too, asked for when the row is drawn
            row->hasFindData = true;
            row->size = found->second.size;
            row->written = found->second.written;
        } else {
            row = KnownRow(one, name, isFolder, extension);
            row->hasFindData = true;
            row->size = found->second.size;
            row->written = found->second.written;
        }
        row->item = std::move(item);
        row->name = std::move(name);
        row->attributes = attributes;
        rows.push_back(std::move(row));
    }

private:
    // Entries whose name and icon the shell may take from elsewhere than their file name: a folder customised by a
    // desktop.ini (which the shell honours in read-only and system folders), and shortcuts, which show their own
    // names and icons. Learning these from another entry of their kind would show the wrong ones.
    bool NamedByTheShell(const std::wstring& name, bool isFolder, const Listed& listed) const {
        if (isFolder) {
            if (listed.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) return true;
            const std::wstring ini = ui::LongPathForm(path_ + name + L"\\desktop.ini");
            return !path_.empty() && ::GetFileAttributesW(ini.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        const std::wstring extension = UpperCase(ExtensionOf(name));
        return extension == L".LNK" || extension == L".URL";
    }

    // The row as the shell describes the entry, call by call.
    std::unique_ptr<FileRow> EntryRow(const ITEMIDLIST* item, bool withIcon) {
        auto row = std::make_unique<FileRow>();
        row->caption = GetDisplayName(folder_, item, SHGDN_INFOLDER).value_or(L"");
        if (withIcon) row->icon = ItemIcon(shellIcon_.Get(), folderIdList_, item);
        WIN32_FIND_DATAW data{};
        if (SUCCEEDED(::SHGetDataFromIDListW(folder_, item, SHGDFIL_FINDDATA, &data, sizeof data))) {
            row->hasFindData = true;
            row->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            row->written = data.ftLastWriteTime;
        }
        const UniqueIdList absolute = ConcatIdLists(folderIdList_, item);
        SHFILEINFOW info{};
        if (absolute) {
            ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute.get()), 0, &info, sizeof info,
                             SHGFI_PIDL | SHGFI_TYPENAME);
        }
        row->typeName = info.szTypeName;
        return row;
    }

    // A row of an entry the listing knows: the shell is asked only for the first entry of each kind.
    std::unique_ptr<FileRow> KnownRow(const ITEMIDLIST* item, const std::wstring& name, bool isFolder,
                                      const std::wstring& extension) {
        // The extension keeps its case: a shell may name an unregistered type after it as written ("TXT file"
        // beside "txt file").
        const std::wstring key = (isFolder ? L"D" : L"F") + extension;
        auto known = kinds_.find(key);
        if (known == kinds_.end()) {
            const bool ownIcon = !isFolder && FilesHaveOwnIcons(UpperCase(extension));
            std::unique_ptr<FileRow> row = EntryRow(item, !ownIcon);
            Kind kind;
            kind.typeName = row->typeName;
            kind.icon = ownIcon ? -1 : row->icon;
            const size_t stem = name.size() - ExtensionOf(name).size();
            if (row->caption == name) {
                kind.caption = Kind::Caption::Name;
            } else if (stem < name.size() && row->caption == name.substr(0, stem)) {
                kind.caption = Kind::Caption::NameWithoutExtension;
            }
            kinds_.emplace(key, std::move(kind));
            return row;
        }
        const Kind& kind = known->second;
        auto row = std::make_unique<FileRow>();
        switch (kind.caption) {
            case Kind::Caption::Name:
                row->caption = name;
                break;
            case Kind::Caption::NameWithoutExtension:
                row->caption = name.substr(0, name.size() - ExtensionOf(name).size());
                break;
            case Kind::Caption::AskEach:
                row->caption = GetDisplayName(folder_, item, SHGDN_INFOLDER).value_or(L"");
                break;
        }
        row->typeName = kind.typeName;
        row->icon = kind.icon;
        return row;
    }

    IShellFolder* folder_;
    const ITEMIDLIST* folderIdList_;
    ComPtr<IShellIcon> shellIcon_;
    std::wstring path_;  // the folder's path with a final "\\"; empty for a folder without one
    std::unordered_map<std::wstring, Listed> listed_;
    std::unordered_map<std::wstring, Kind> kinds_;
    std::vector<std::wstring> mask_;
};

}  // namespace

bool FileRow::IsFolder() const noexcept {
    return (attributes & (SFGAO_FOLDER | SFGAO_FILESYSANCESTOR)) != 0;
}

int FileRow::OverlayIndex() const noexcept {
    if (attributes & SFGAO_SHARE) return 0;
    if (attributes & SFGAO_LINK) return 1;
    return -1;
}

const std::wstring& FileRow::SizeText() {
    MakeTexts();
    return sizeText_;
}

const std::wstring& FileRow::DateText() {
    MakeTexts();
    return dateText_;
}

void FileRow::MakeTexts() {
    if (textsMade_) return;
    textsMade_ = true;
    if (!hasFindData) return;
    sizeText_ = FormatSize(size);
    dateText_ = FormatDate(written);
}

std::wstring FormatSize(ULONGLONG size) {
    if (size == 0) return {};
    const std::wstring separator = LocaleText(LOCALE_STHOUSAND, L",");
    const std::wstring digits = std::to_wstring(size);
    std::wstring out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return out;
}

std::wstring FormatDate(const FILETIME& utc) {
    // Through the calendar, not a DOS date: that has no years before 1980 or after 2107.
    FILETIME local;
    SYSTEMTIME t;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t)) return {};
    const std::wstring date = LocaleText(LOCALE_SDATE, L"/");
    const std::wstring time = LocaleText(LOCALE_STIME, L":");
    std::wstring out;
    AppendTwoDigits(out, t.wYear);
    out += date;
    AppendTwoDigits(out, t.wMonth);
    out += date;
    AppendTwoDigits(out, t.wDay);
    out += L' ';
    AppendTwoDigits(out, t.wHour);
    out += time;
    AppendTwoDigits(out, t.wMinute);
    return out;
}

std::wstring ExtensionOf(const std::wstring& name) {
    const size_t slash = name.find_last_of(L"\\/");
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
    return name.substr(dot);
}

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

int CompareTexts(const std::wstring& a, const std::wstring& b) noexcept {
    const int r = ::CompareStringW(LOCALE_USER_DEFAULT, 0, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                   static_cast<int>(b.size()));
    return r == 0 ? 0 : r - CSTR_EQUAL;
}

int ItemIcon(IShellIcon* shellIcon, const ITEMIDLIST* folderIdList, const ITEMIDLIST* item) {
    int index = -1;
    if (shellIcon) shellIcon->GetIconOf(item, GIL_FORSHELL, &index);  // a failure leaves -1 or is caught below
    if (index == -1) {
        const UniqueIdList absolute = ConcatIdLists(folderIdList, item);
        if (absolute) index = GetSysIconIndex(absolute.get(), SHGFI_SYSICONINDEX);
    }
    return index;
}

std::optional<std::vector<std::unique_ptr<FileRow>>> ReadFolderRows(IShellFolder* folder,
                                                                    const ITEMIDLIST* folderIdList, HWND owner,
                                                                    const std::vector<std::wstring>& mask) {
    if (!folder) return std::nullopt;
    ComPtr<IEnumIDList> entries;
    if (FAILED(folder->EnumObjects(owner, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &entries))) {
        return std::nullopt;
    }
    std::vector<std::unique_ptr<FileRow>> rows;
    if (!entries) return rows;  // success without an enumerator: an empty folder
    FolderReader reader(folder, folderIdList, mask);
    for (;;) {
        ITEMIDLIST* batch[64]{};
        ULONG fetched = 0;
        const HRESULT hr = entries->Next(64, batch, &fetched);
        fetched = std::min<ULONG>(fetched, 64);
        for (ULONG i = 0; i < fetched; ++i) reader.Add(OwnIdList(batch[i]), rows);
        if (hr != S_OK || fetched == 0) break;
    }
    return rows;
}

}  // namespace shell
