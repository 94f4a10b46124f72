#include "shell/SubFolders.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "ui/text.h"

namespace shell {
namespace {

constexpr SHCONTF kFolderContents = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;

bool SameBytes(const ITEMIDLIST* a, const ITEMIDLIST* b) noexcept {
    const UINT size = IdListSize(a);
    return size == IdListSize(b) && std::memcmp(a, b, size) == 0;
}

// A name to match items of one folder by: its parsing name in the folder, in capitals, as file names are matched.
std::wstring MatchKey(IShellFolder* folder, const ITEMIDLIST* item) {
    std::wstring key = GetDisplayName(folder, item, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(std::wstring());
    if (!key.empty()) ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

void ReadAttributes(IShellFolder* folder, const ITEMIDLIST* item, SubFolder& sub) {
    SFGAOF attributes = SFGAO_HASSUBFOLDER | SFGAO_SHARE;
    // An item the folder cannot describe keeps its button: opening it finds out.
    if (FAILED(folder->GetAttributesOf(1, &item, &attributes))) attributes = SFGAO_HASSUBFOLDER;
    sub.hasSubFolders = (attributes & SFGAO_HASSUBFOLDER) != 0;
    sub.shared = (attributes & SFGAO_SHARE) != 0;
}

void Describe(IShellFolder* folder, IShellIcon* icons, SubFolder& sub) {
    const ITEMIDLIST* item = sub.item.get();
    sub.name = GetDisplayName(folder, item, SHGDN_INFOLDER).value_or(std::wstring());
    ReadAttributes(folder, item, sub);
    int open = -1;
    int normal = -1;
    if (icons && SUCCEEDED(icons->GetIconOf(item, GIL_OPENICON, &open)) &&
        SUCCEEDED(icons->GetIconOf(item, GIL_FORSHELL, &normal)) && open >= 0 && normal >= 0) {
        sub.icon = normal;
        sub.openIcon = open;
    }
}

}  // namespace

ComPtr<IShellFolder> DesktopForReading() {
    IShellFolder* module = DesktopFolder();
    ComPtr<IShellFolder> own;
    if (FAILED(::SHGetDesktopFolder(&own))) own.Reset();
    // The system's desktop is one object for the process: any other in the module's place is a test's.
    if (!module || module == own.Get()) return nullptr;
    return module;
}

SubFolderListing ReadSubFolders(IShellFolder* desktop, const ITEMIDLIST* absolute,
                                const std::vector<const ITEMIDLIST*>& previous, HWND owner,
                                const std::function<bool()>& stop) {
    SubFolderListing result;
    ComPtr<IShellFolder> root = desktop;
    if (!root && FAILED(::SHGetDesktopFolder(&root))) return result;
    if (!root || !absolute) return result;
    ComPtr<IShellFolder> folder;
    if (CountItems(absolute) == 0) {
        folder = root;
    } else if (FAILED(root->BindToObject(absolute, nullptr, IID_PPV_ARGS(&folder))) || !folder) {
        return result;
    }
    ComPtr<IEnumIDList> items;
    if (folder->EnumObjects(owner, kFolderContents, &items) != S_OK || !items) return result;

    std::vector<TaskIdList> fresh;
    for (;;) {
        ITEMIDLIST* raw = nullptr;
        ULONG fetched = 0;
        if (items->Next(1, &raw, &fetched) != S_OK || fetched != 1 || !raw) {
            ::CoTaskMemFree(raw);
            break;
        }
        fresh.emplace_back(raw);
        if (stop && stop()) return {};
    }
    // The folder's own order (a file-system folder's is by name), as a fresh listing shows it.
    IShellFolder* const order = folder.Get();
    std::stable_sort(fresh.begin(), fresh.end(), [order](const TaskIdList& a, const TaskIdList& b) {
        return CompareIds(order, a.get(), b.get()) < 0;
    });

    std::unordered_map<std::wstring, int> before;
    for (size_t i = 0; i < previous.size(); ++i) before.emplace(MatchKey(order, previous[i]), static_cast<int>(i));
    ComPtr<IShellIcon> icons;
    folder.As(&icons);
    result.folders.reserve(fresh.size());
    for (TaskIdList& item : fresh) {
        if (stop && stop()) return {};
        SubFolder sub;
        if (!before.empty()) {
            const auto match = before.find(MatchKey(order, item.get()));
            if (match != before.end()) {
                sub.previous = match->second;
                before.erase(match);  // one folder for one node
            }
        }
        if (sub.previous < 0 || !SameBytes(previous[static_cast<size_t>(sub.previous)], item.get())) {
            sub.item = std::move(item);
            Describe(order, icons.Get(), sub);
        } else {
            // The same item may have gained or lost sub-folders all the same: its time may be too coarse to tell.
            ReadAttributes(order, item.get(), sub);
        }
        result.folders.push_back(std::move(sub));
    }
    result.listed = true;
    return result;
}

bool FolderStillThere(const std::wstring& path) {
    if (path.empty()) return true;
    const DWORD attributes = ::GetFileAttributesW(ui::LongPathForm(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Only a folder known to be missing has gone: one that is refused or on a drive not ready may come back.
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace shell
