#include "shell/FolderReader.h"

#include <shlwapi.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "ui/owned.h"
#include "ui/text.h"

namespace shell {
namespace {

using UniqueFind = ui::Owned<HANDLE, ::FindClose>;
using Token = ui::Generation::Token;

constexpr SHCONTF kContents = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;
constexpr ULONG kRowAttributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_SHARE | SFGAO_LINK;
// New entries a directory listing may bring before the shell is better asked to list the whole folder: the shell
// parses a name one call at a time, and lists a folder in one.
constexpr size_t kFewNewEntries = 32;
constexpr ULONG kBatch = 256;

// What the directory listing says of one entry.
struct Listed {
    ULONGLONG size;
    FILETIME written;
    DWORD attributes;
    std::string nameKey;  // taken while the shell still lists the folder, when the read sorts by name
};
using Listing = std::unordered_map<std::wstring, Listed>;

// One pass over the folder on disk; nullopt when it cannot be listed or the read goes stale meanwhile.
std::optional<Listing> ListDirectory(std::wstring path, const Token& token, std::optional<NameOrder> keyed) {
    if (path.empty()) return std::nullopt;
    if (path.back() != L'\\') path += L'\\';
    path = ui::LongPathForm(path + L'*');
    WIN32_FIND_DATAW data;
    HANDLE raw = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (raw == INVALID_HANDLE_VALUE) return std::nullopt;
    const UniqueFind find(raw);
    Listing listed;
    size_t seen = 0;
    do {
        if ((++seen & 1023) == 0 && token.Stale()) return std::nullopt;
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
        const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        listed.emplace(name, Listed{size, data.ftLastWriteTime, data.dwFileAttributes,
                                    keyed ? NameKey(name, *keyed) : std::string()});
    } while (::FindNextFileW(find.get(), &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;  // broke off: part of a folder is not all of it
    return listed;
}

// Waits for work of another thread, dispatching this thread's messages meanwhile, as a thread with an apartment
// and windows of the shell's must.
template <class T>
void AwaitPumping(std::future<T>& future) {
    while (future.valid() && future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        ui::PumpPending();
    }
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

// The folder of an absolute list, bound from the given desktop; the desktop itself for the empty list and for a
// folder that cannot be bound, as the list shows it then.
ComPtr<IShellFolder> BindFrom(IShellFolder* desktop, const ITEMIDLIST* absolute) {
    if (!desktop || !absolute) return nullptr;
    ComPtr<IShellFolder> folder;
    if (CountItems(absolute) == 0 || FAILED(desktop->BindToObject(absolute, nullptr, IID_PPV_ARGS(&folder))) ||
        !folder) {
        return desktop;
    }
    return folder;
}

ComPtr<IShellFolder> ThreadDesktop(IShellFolder* given) {
    if (given) return given;
    ComPtr<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.GetAddressOf()))) return nullptr;
    return desktop;
}

bool Matches(const FileRow& row, const Listed& listed, ULONG attributes) noexcept {
    const ULONGLONG time = (static_cast<ULONGLONG>(listed.written.dwHighDateTime) << 32) | listed.written.dwLowDateTime;
    return row.hasFindData && row.size == listed.size && row.Time() == time &&
           row.fileAttributes == listed.attributes && row.attributes == attributes;
}

// What every entry of one kind shares, learnt from the first entry of that kind. Icons are asked for once a row is
// drawn: the shell may take a while over the first icon of a type.
struct Kind {
    std::shared_ptr<const FileType> type;
    bool ownIcon = false;
    CaptionForm caption = CaptionForm::Own;  // Own: each entry is asked for its name
};

// One entry as the enumeration gives it.
struct Entry {
    UniqueIdList item;
    std::wstring name;
    ULONG attributes;
};

class Reader {
public:
    Reader(const FolderRead& request, const Token& token) : request_(request), token_(token) {
        desktop_ = ThreadDesktop(request.desktop.Get());
        folder_ = BindFrom(desktop_.Get(), request.folderIdList.get());
        if (folder_) folder_->QueryInterface(IID_PPV_ARGS(&shellIcon_));
        for (const std::wstring& m : request.mask) mask_.push_back(UpperCase(m));
        nameOrder_ = request.order.names;
        path_ = request.path;
        if (!path_.empty() && path_.back() != L'\\') path_ += L'\\';
    }

    FolderReadResult Run() {
        FolderReadResult result;
        result.nameOrderKnown = request_.nameOrderKnown;
        if (!folder_) return result;
        if (!Refresh(result) && !token_.Stale()) FullRead(result);
        if (!result.listed || token_.Stale()) return FolderReadResult{};
        if (!result.nameOrderKnown) {
            const std::optional<NameOrder> learnt = LearnNameOrder(folder_.Get(), result.rows, nameOrder_);
            if (learnt) {
                nameOrder_ = *learnt;
                result.nameOrderKnown = true;
            }
        }
        result.nameOrder = nameOrder_;
        result.order = request_.order;
        result.order.names = nameOrder_;
        if (result.order != request_.order || nameKeys_.size() != result.rows.size()) nameKeys_.clear();
        if (!result.sorted) SortRows(result.rows, result.order, std::move(nameKeys_));
        return result;
    }

private:
    // A folder read again, by one directory listing; false when the shell must list it (a folder that is not on
    // disk, many new entries, or new entries the shell may not list).
    bool Refresh(FolderReadResult& result) {
        if (request_.previous.empty() || path_.empty() || request_.listAll) return false;
        for (const SharedRow& row : request_.previous)
            if (!row->hasFindData) return false;
        std::optional<Listing> listing = ListDirectory(path_, token_, std::nullopt);
        if (!listing) return false;
        std::unordered_set<std::wstring_view> seen;
        std::vector<std::wstring> notShown;
        Rows rows, added;  // the rows that stay as they are, and the new and the changed ones
        rows.reserve(listing->size());
        for (const SharedRow& row : request_.previous) {
            const auto found = listing->find(row->name);
            if (found == listing->end()) continue;  // gone
            if (!Shown(row->name, row->attributes)) {
                notShown.push_back(found->first);
                seen.insert(found->first);
                continue;
            }
            if ((found->second.attributes ^ row->fileAttributes) & FILE_ATTRIBUTE_DIRECTORY)
                continue;  // another entry under the same name: new below
            seen.insert(found->first);
            if (Matches(*row, found->second, row->attributes)) {
                rows.push_back(row);
                continue;
            }
            UniqueIdList item = ConcatIdLists(row->item.get(), nullptr);
            if (!item) return false;
            const ITEMIDLIST* one = item.get();
            ULONG attributes = kRowAttributes;
            if (FAILED(folder_->GetAttributesOf(1, &one, &attributes))) attributes = row->attributes;
            added.push_back(MakeRow(std::move(item), row->name, attributes & kRowAttributes, &found->second));
        }
        const std::unordered_set<std::wstring> unlisted(request_.unlisted.begin(), request_.unlisted.end());
        std::vector<const Listing::value_type*> arrived;
        for (const auto& entry : *listing) {
            if (seen.count(entry.first)) continue;
            if (unlisted.count(entry.first)) {
                notShown.push_back(entry.first);
                continue;
            }
            // Hidden system files are listed by the shell only where the user asks for them.
            const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            if ((entry.second.attributes & hiddenSystem) == hiddenSystem) return false;
            arrived.push_back(&entry);
            if (arrived.size() > kFewNewEntries) return false;
        }
        for (const auto* entry : arrived) {
            std::wstring name = entry->first;
            ITEMIDLIST* raw = nullptr;
            if (FAILED(folder_->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &raw, nullptr)) || !raw)
                return false;
            UniqueIdList item = OwnIdList(raw);
            const ITEMIDLIST* one = item.get();
            ULONG attributes = kRowAttributes;
            if (FAILED(folder_->GetAttributesOf(1, &one, &attributes))) attributes = 0;
            attributes &= kRowAttributes;
            if (!Shown(entry->first, attributes)) {
                notShown.push_back(entry->first);
                continue;
            }
            added.push_back(MakeRow(std::move(item), entry->first, attributes, &entry->second));
        }
        if (request_.nameOrderKnown && request_.previousOrder == request_.order) {
            result.rows = MergeRows(std::move(rows), std::move(added), request_.order);
            result.sorted = true;
        } else {
            rows.insert(rows.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
            result.rows = std::move(rows);
        }
        result.unlisted = std::move(notShown);
        result.listed = true;
        return true;
    }

    // The folder as the shell lists it, with the directory listing read beside it on a thread of its own.
    void FullRead(FolderReadResult& result) {
        std::future<std::optional<Listing>> listing;
        // The listing is done first; it takes the name keys of a sort by name meanwhile.
        std::optional<NameOrder> keyed;
        if (request_.order.column == 0) keyed = request_.order.names;
        if (!path_.empty()) listing = std::async(std::launch::async, ListDirectory, path_, token_, keyed);
        // However the read ends, this thread serves its windows while the listing beside it finishes.
        const struct Awaited {
            std::future<std::optional<Listing>>& future;
            ~Awaited() { AwaitPumping(future); }
        } awaited{listing};
        std::vector<Entry> entries;
        if (!Enumerate(entries)) return;
        AwaitPumping(listing);
        std::optional<Listing> listed = listing.valid() ? listing.get() : std::nullopt;
        if (token_.Stale()) return;
        std::unordered_map<std::wstring_view, const SharedRow*> previous;
        for (const SharedRow& row : request_.previous)
            if (row->hasFindData) previous.emplace(row->name, &row);
        Rows rows;
        rows.reserve(entries.size());
        size_t made = 0;
        for (Entry& entry : entries) {
            // A shell that answers slowly for each entry must not keep a read that nobody waits for.
            if ((++made & 255) == 0 && token_.Stale()) return;
            if (!Shown(entry.name, entry.attributes)) continue;  // counts as not listed, for the next refresh
            // Taken out of the listing as it is matched: what stays is what the shell did not list.
            std::optional<Listed> onDisk;
            if (listed) {
                auto found = listed->extract(entry.name);
                if (found) onDisk = found.mapped();
            }
            nameKeys_.push_back(onDisk ? std::move(onDisk->nameKey) : std::string());
            const auto before = onDisk ? previous.find(entry.name) : previous.end();
            if (before != previous.end() && Matches(**before->second, *onDisk, entry.attributes)) {
                rows.push_back(*before->second);  // unchanged: the row shown, with its place and icon
                continue;
            }
            rows.push_back(
                MakeRow(std::move(entry.item), std::move(entry.name), entry.attributes, onDisk ? &*onDisk : nullptr));
        }
        if (listed) {
            for (auto& [name, data] : *listed) result.unlisted.push_back(name);
        }
        RankShellItems(folder_.Get(), rows);
        result.rows = std::move(rows);
        result.listed = true;
    }

    bool Enumerate(std::vector<Entry>& entries) {
        ComPtr<IEnumIDList> items;
        // No owner window: a shell question about a disc or a network place would belong to this thread, whose
        // window's thread must not wait for it.
        if (FAILED(folder_->EnumObjects(nullptr, kContents, &items))) return false;
        if (!items) return true;  // success without an enumerator: an empty folder
        for (;;) {
            if (token_.Stale()) return false;
            ITEMIDLIST* batch[kBatch]{};
            ULONG fetched = 0;
            const HRESULT hr = items->Next(kBatch, batch, &fetched);
            fetched = std::min(fetched, kBatch);
            for (ULONG i = 0; i < fetched; ++i) {
                Entry entry{OwnIdList(batch[i]), {}, 0};
                const ITEMIDLIST* one = entry.item.get();
                ULONG attributes = kRowAttributes;
                if (FAILED(folder_->GetAttributesOf(1, &one, &attributes))) attributes = 0;
                entry.attributes = attributes & kRowAttributes;
                entry.name = GetDisplayName(folder_.Get(), one, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(L"");
                entries.push_back(std::move(entry));
            }
            // A listing that breaks off (a share that drops, a phone unplugged) is no listing: what it did not
            // give is unknown, not gone. S_FALSE, or nothing more, is its end.
            if (FAILED(hr)) return false;
            if (hr != S_OK || fetched == 0) return true;
        }
    }

    // The mask: every folder, and the files whose extension is one of the mask's (all of them for no mask).
    bool Shown(const std::wstring& name, ULONG attributes) const {
        if (mask_.empty() || (attributes & SFGAO_FOLDER)) return true;
        const std::wstring extension = UpperCase(ExtensionOf(name));
        return !extension.empty() && std::find(mask_.begin(), mask_.end(), extension) != mask_.end();
    }

    // Entries whose name and icon the shell may take from elsewhere than their file name: a folder customised by a
    // desktop.ini (which the shell honours in read-only and system folders), and shortcuts, which show their own
    // names and icons. Learning these from another entry of their kind would show the wrong ones.
    bool NamedByTheShell(const std::wstring& name, const std::wstring& extension, bool isFolder,
                         DWORD fileAttributes) const {
        if (isFolder) {
            if (fileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) return true;
            const std::wstring ini = ui::LongPathForm(path_ + name + L"\\desktop.ini");
            return !path_.empty() && ::GetFileAttributesW(ini.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        auto is = [&](const wchar_t* shortcut) {
            return ::CompareStringOrdinal(extension.c_str(), static_cast<int>(extension.size()), shortcut, -1, TRUE) ==
                   CSTR_EQUAL;
        };
        return is(L".lnk") || is(L".url");
    }

    SharedRow MakeRow(UniqueIdList item, std::wstring name, ULONG attributes, const Listed* listed) {
        auto row = std::make_shared<FileRow>();
        row->name = std::move(name);
        row->attributes = attributes;
        if (listed) {
            row->hasFindData = true;
            row->size = listed->size;
            row->written = listed->written;
            row->fileAttributes = listed->attributes;
        }
        const ITEMIDLIST* one = item.get();
        const bool isFolder = (attributes & SFGAO_FOLDER) != 0;
        // The extension keeps its case: a shell may name an unregistered type after it as written ("TXT file"
        // beside "txt file").
        std::wstring key = ExtensionOf(row->name);
        if (!listed || NamedByTheShell(row->name, key, isFolder, listed->attributes)) {
            AskEach(*row, one, true);
        } else {
            key.insert(key.begin(), isFolder ? L'D' : L'F');
            const auto known = kinds_.find(key);
            if (known == kinds_.end()) {
                AskEach(*row, one, !isFolder && FilesHaveOwnIcons(UpperCase(key.substr(1))));
                kinds_.emplace(key, Kind{row->type, row->ownIcon, row->captionForm});
            } else {
                const Kind& kind = known->second;
                row->type = kind.type;
                row->ownIcon = kind.ownIcon;
                row->captionForm = kind.caption;
                if (kind.caption == CaptionForm::Own) SetCaption(*row, one);
            }
        }
        row->item = std::move(item);
        return row;
    }

    // The row as the shell describes the entry, call by call.
    void AskEach(FileRow& row, const ITEMIDLIST* item, bool ownIcon) {
        SetCaption(row, item);
        row.ownIcon = ownIcon;
        if (!row.hasFindData) {
            WIN32_FIND_DATAW data{};
            if (SUCCEEDED(::SHGetDataFromIDListW(folder_.Get(), item, SHGDFIL_FINDDATA, &data, sizeof data))) {
                row.hasFindData = true;
                row.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                row.written = data.ftLastWriteTime;
                row.fileAttributes = data.dwFileAttributes;  // a folder sorts among the folders
            }
        }
        // One per kind, not per name: two kinds of one type name may show different icons. A folder that has
        // icons of its own to lend tells the kind's icon at once; otherwise it is asked for once it is drawn.
        int icon = -1;
        if (!ownIcon && shellIcon_) shellIcon_->GetIconOf(item, GIL_FORSHELL, &icon);
        row.type = std::make_shared<const FileType>(FileType{TypeName(item), icon, false});
    }

    // The shell's type name of an entry: the folder's own type column where it has one, since the file information
    // call binds the folder again for every entry it is asked about, and binding a folder of many entries is slow.
    std::wstring TypeName(const ITEMIDLIST* item) {
        if (typeColumn_ == kUnknownColumn) typeColumn_ = TypeColumn(folder_.Get());
        if (typeColumn_ >= 0) {
            SHELLDETAILS details{};
            wchar_t text[MAX_PATH]{};
            if (SUCCEEDED(folder2_->GetDetailsOf(item, static_cast<UINT>(typeColumn_), &details)) &&
                SUCCEEDED(::StrRetToBufW(&details.str, item, text, MAX_PATH))) {
                return text;
            }
        }
        const UniqueIdList absolute = ConcatIdLists(request_.folderIdList.get(), item);
        SHFILEINFOW info{};
        if (absolute) {
            ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute.get()), 0, &info, sizeof info,
                             SHGFI_PIDL | SHGFI_TYPENAME);
        }
        return info.szTypeName;
    }

    // The folder's column that shows the type, found by what it shows; -1 for none.
    int TypeColumn(IShellFolder* folder) {
        static constexpr GUID kStorage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
        constexpr DWORD kStorageType = 4;  // the type's text
        if (!folder || FAILED(folder->QueryInterface(IID_PPV_ARGS(&folder2_)))) return -1;
        for (UINT column = 0; column < 16; ++column) {
            SHCOLUMNID id{};
            if (FAILED(folder2_->MapColumnToSCID(column, &id))) break;
            if (id.fmtid == kStorage && id.pid == kStorageType) return static_cast<int>(column);
        }
        return -1;
    }

    void SetCaption(FileRow& row, const ITEMIDLIST* item) const {
        std::wstring caption = GetDisplayName(folder_.Get(), item, SHGDN_INFOLDER).value_or(L"");
        const size_t stem = row.name.size() - ExtensionOf(row.name).size();
        if (caption == row.name) {
            row.captionForm = CaptionForm::Name;
        } else if (stem < row.name.size() && caption == std::wstring_view(row.name).substr(0, stem)) {
            row.captionForm = CaptionForm::NameWithoutExtension;
        } else {
            row.captionForm = CaptionForm::Own;
            row.caption = std::move(caption);
        }
    }

    static constexpr int kUnknownColumn = -2;

    const FolderRead& request_;
    const Token& token_;
    ComPtr<IShellFolder> desktop_;
    ComPtr<IShellFolder> folder_;
    ComPtr<IShellFolder2> folder2_;
    ComPtr<IShellIcon> shellIcon_;
    int typeColumn_ = kUnknownColumn;
    std::vector<std::string> nameKeys_;  // of the rows of a full read, in their order; empty where unknown
    std::wstring path_;                  // with a final "\"; empty for a folder that is not on disk
    std::vector<std::wstring> mask_;
    NameOrder nameOrder_ = NameOrder::Text;
    std::unordered_map<std::wstring, Kind> kinds_;
};

}  // namespace

FolderReadResult ReadFolder(const FolderRead& request, const ui::Generation::Token& token) {
    return Reader(request, token).Run();
}

std::vector<int> ReadIcons(const ITEMIDLIST* folderIdList, IShellFolder* desktop, const Rows& rows,
                           const ui::Generation::Token& token) {
    ComPtr<IShellFolder> folder;
    ComPtr<IShellIcon> shellIcon;
    std::vector<int> icons;
    icons.reserve(rows.size());
    for (const SharedRow& row : rows) {
        if (token.Stale()) return {};
        if (!row->ownIcon && row->hasFindData) {
            // A kind's icon follows from the kind alone; asked for by the entry, the shell binds the folder again,
            // which for a folder of many entries is slow.
            SHFILEINFOW info{};
            const DWORD attributes =
                row->fileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
            ::SHGetFileInfoW(row->name.c_str(), attributes, &info, sizeof info,
                             SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX);
            icons.push_back(info.iIcon);
            continue;
        }
        if (!folder) {
            const ComPtr<IShellFolder> own = ThreadDesktop(desktop);
            folder = BindFrom(own.Get(), folderIdList);
            if (!folder) return {};
            folder->QueryInterface(IID_PPV_ARGS(&shellIcon));
        }
        icons.push_back(ItemIcon(shellIcon.Get(), folderIdList, row->item.get()));
    }
    return icons;
}

}  // namespace shell
