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

// The names to match items of one folder by: the parsing name in the folder as it is, and in capitals, as file
// names are matched where case does not count. Where it counts ("Docs" and "docs" side by side) the exact name wins.
struct MatchKeys {
    std::wstring exact;
    std::wstring folded;
};

MatchKeys MatchKeysOf(IShellFolder* folder, const ITEMIDLIST* item) {
    MatchKeys keys;
    keys.exact = GetDisplayName(folder, item, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(std::wstring());
    keys.folded = keys.exact;
    if (!keys.folded.empty()) ::CharUpperBuffW(keys.folded.data(), static_cast<DWORD>(keys.folded.size()));
    return keys;
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
                                const std::vector<const ITEMIDLIST*>& previous, const std::vector<bool>& ask,
                                HWND owner, const std::function<bool()>& stop) {
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
        const HRESULT hr = items->Next(1, &raw, &fetched);
        // A folder that fails part-way (a share that drops, a phone unplugged) has not been listed: what was read
        // is not the whole of it, and taken for the whole it would make the rest look gone.
        if (FAILED(hr)) {
            ::CoTaskMemFree(raw);
            return {};
        }
        if (fetched == 1 && raw) fresh.emplace_back(raw);
        if (hr != S_OK || fetched != 1 || !raw) break;  // S_FALSE: fewer than asked, the end
        if (stop && stop()) return {};
    }
    // The folder's own order (a file-system folder's is by name), as a fresh listing shows it.
    IShellFolder* const order = folder.Get();
    std::stable_sort(fresh.begin(), fresh.end(), [order](const TaskIdList& a, const TaskIdList& b) {
        return CompareIds(order, a.get(), b.get()) < 0;
    });

    // Each fresh folder takes the node of its exact name; one that has none, a node whose name differs only in case
    // and that no folder took by its exact name (a folder renamed in case alone).
    std::vector<int> matched(fresh.size(), -1);
    if (!previous.empty()) {
        std::unordered_map<std::wstring, int> exact;
        std::unordered_multimap<std::wstring, int> folded;
        for (size_t i = 0; i < previous.size(); ++i) {
            MatchKeys keys = MatchKeysOf(order, previous[i]);
            exact.emplace(std::move(keys.exact), static_cast<int>(i));
            folded.emplace(std::move(keys.folded), static_cast<int>(i));
        }
        std::vector<bool> taken(previous.size(), false);
        std::vector<std::wstring> foldedFresh(fresh.size());
        for (size_t f = 0; f < fresh.size(); ++f) {
            if (stop && stop()) return {};
            MatchKeys keys = MatchKeysOf(order, fresh[f].get());
            foldedFresh[f] = std::move(keys.folded);
            const auto match = exact.find(keys.exact);
            if (match == exact.end() || taken[static_cast<size_t>(match->second)]) continue;
            matched[f] = match->second;
            taken[static_cast<size_t>(match->second)] = true;  // one folder for one node
        }
        for (size_t f = 0; f < fresh.size(); ++f) {
            if (matched[f] >= 0) continue;
            const auto [first, last] = folded.equal_range(foldedFresh[f]);
            for (auto it = first; it != last; ++it) {
                if (taken[static_cast<size_t>(it->second)]) continue;
                matched[f] = it->second;
                taken[static_cast<size_t>(it->second)] = true;
                break;
            }
        }
    }
    ComPtr<IShellIcon> icons;
    folder.As(&icons);
    result.folders.reserve(fresh.size());
    for (size_t f = 0; f < fresh.size(); ++f) {
        if (stop && stop()) return {};
        TaskIdList& item = fresh[f];
        SubFolder sub;
        sub.previous = matched[f];
        if (sub.previous < 0 || !SameBytes(previous[static_cast<size_t>(sub.previous)], item.get())) {
            sub.item = std::move(item);
            Describe(order, icons.Get(), sub);
        } else if (ask.empty() || (static_cast<size_t>(sub.previous) < ask.size() && ask[sub.previous])) {
            // The same item may have gained or lost sub-folders all the same: its time may be too coarse to tell.
            ReadAttributes(order, item.get(), sub);
        } else {
            sub.asked = false;  // out of sight: not worth a look into its directory now
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
