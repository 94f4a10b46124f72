#include "shell/ShView.h"

#include <algorithm>
#include <cstring>

namespace shell {
namespace {

// The module state: written only when the outermost ShellModule starts and ends, and by the tests' allocator seam.
IMalloc* shellMalloc = nullptr;
IShellFolder* desktopFolder = nullptr;
IShellFolder* replacementDesktop = nullptr;
int moduleDepth = 0;

USHORT ItemCount(const ITEMIDLIST* item) noexcept {
    USHORT cb;
    std::memcpy(&cb, item, sizeof cb);  // items are byte-packed: no alignment can be assumed
    return cb;
}

const ITEMIDLIST* Advance(const ITEMIDLIST* item, size_t bytes) noexcept {
    return reinterpret_cast<const ITEMIDLIST*>(reinterpret_cast<const BYTE*>(item) + bytes);
}

std::wstring WideFromShellAnsi(const char* text, size_t length) {
    if (length == 0) return {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out.data(), n);
    return out;
}

UniqueIdList ParseIn(IShellFolder* folder, const std::wstring& name) {
    std::wstring buffer = name;  // ParseDisplayName takes a writable string
    ITEMIDLIST* raw = nullptr;
    if (FAILED(folder->ParseDisplayName(nullptr, nullptr, buffer.data(), nullptr, &raw, nullptr))) return nullptr;
    return UniqueIdList(raw);
}

// The child of a folder by its parsing name, found by listing the folder: for folders deeper than some parsers go.
UniqueIdList FindByName(IShellFolder* folder, const std::wstring& name) {
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &items)) ||
        !items)
        return nullptr;
    // Where case counts, "Docs" and "docs" are two folders: the exact name wins, one differing only in case is
    // taken when there is none.
    UniqueIdList caseless;
    ITEMIDLIST* raw = nullptr;
    while (items->Next(1, &raw, nullptr) == S_OK) {
        UniqueIdList item(raw);
        const auto itemName = GetDisplayName(folder, item.get(), SHGDN_INFOLDER | SHGDN_FORPARSING);
        if (!itemName) continue;
        if (*itemName == name) return item;
        if (!caseless && ::CompareStringOrdinal(itemName->c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
            caseless = std::move(item);
    }
    return caseless;
}

// Some parsers take no more than a path buffer's length at once. A longer path is parsed from its longest ancestor
// that parses whole, then one name at a time in the folder above it.
UniqueIdList ParseStepwise(const std::wstring& path) {
    size_t split = path.find_last_of(L'\\', MAX_PATH - 2);
    UniqueIdList absolute;
    while (split != std::wstring::npos && split > 0) {
        absolute = ParseIn(desktopFolder, path.substr(0, split));
        if (absolute) break;
        split = path.find_last_of(L'\\', split - 1);
    }
    if (!absolute) return nullptr;
    while (split < path.size()) {
        const size_t next = std::min(path.find(L'\\', split + 1), path.size());
        const std::wstring name = path.substr(split + 1, next - split - 1);
        split = next;
        if (name.empty()) continue;
        const ComPtr<IShellFolder> folder = BindToFolder(absolute.get());
        if (!folder) return nullptr;
        UniqueIdList child = ParseIn(folder.Get(), name);
        if (!child) child = FindByName(folder.Get(), name);
        if (!child) return nullptr;
        absolute = ConcatIdListsAndFree(std::move(absolute), std::move(child));
        if (!absolute) return nullptr;
    }
    return absolute;
}

}  // namespace

IMalloc* ShellMalloc() noexcept {
    return shellMalloc;
}
IShellFolder* DesktopFolder() noexcept {
    return desktopFolder;
}

ShellModule::ShellModule() {
    ole_ = SUCCEEDED(::OleInitialize(nullptr));
    if (moduleDepth++ > 0) return;
    outermost_ = true;
    if (SUCCEEDED(::SHGetMalloc(&shellMalloc)) && shellMalloc) {
        if (FAILED(::SHGetDesktopFolder(&desktopFolder))) desktopFolder = nullptr;
    } else {
        shellMalloc = nullptr;
    }
}

ShellModule::~ShellModule() {
    if (outermost_) {
        if (shellMalloc) shellMalloc->Release();
        shellMalloc = nullptr;
        if (desktopFolder) desktopFolder->Release();
        desktopFolder = nullptr;
    }
    --moduleDepth;
    if (ole_) ::OleUninitialize();
}

ScopedShellMalloc::ScopedShellMalloc(IMalloc* replacement) noexcept : previous_(shellMalloc) {
    shellMalloc = replacement;
}
ScopedShellMalloc::~ScopedShellMalloc() {
    shellMalloc = previous_;
}

ScopedDesktopFolder::ScopedDesktopFolder(IShellFolder* replacement) noexcept
    : previous_(desktopFolder), previousReplacement_(replacementDesktop) {
    desktopFolder = replacement;
    replacementDesktop = replacement;
}
ScopedDesktopFolder::~ScopedDesktopFolder() {
    desktopFolder = previous_;
    replacementDesktop = previousReplacement_;
}

IShellFolder* ReplacementDesktopFolder() noexcept {
    return replacementDesktop;
}

void FreeIdList(const ITEMIDLIST* list) noexcept {
    if (list && shellMalloc) shellMalloc->Free(const_cast<ITEMIDLIST*>(list));
}

UINT IdListSize(const ITEMIDLIST* list) noexcept {
    if (!list) return 0;
    UINT size = 2;
    for (USHORT cb = ItemCount(list); cb != 0; cb = ItemCount(list)) {
        size += cb;
        list = Advance(list, cb);
    }
    return size;
}

const ITEMIDLIST* NextItem(const ITEMIDLIST* list) noexcept {
    const USHORT cb = ItemCount(list);
    if (cb == 0) return nullptr;
    const ITEMIDLIST* next = Advance(list, cb);
    return ItemCount(next) == 0 ? nullptr : next;
}

int CountItems(const ITEMIDLIST* list) noexcept {
    if (!list) return 0;
    int n = 0;
    for (USHORT cb = ItemCount(list); cb != 0; cb = ItemCount(list)) {
        ++n;
        list = Advance(list, cb);
    }
    return n;
}

UniqueIdList AllocIdList(UINT size) noexcept {
    if (!shellMalloc) return nullptr;
    void* block = shellMalloc->Alloc(size);
    if (!block) return nullptr;
    std::memset(block, 0, size);
    return UniqueIdList(static_cast<ITEMIDLIST*>(block));
}

UniqueIdList CopyFirstItem(const ITEMIDLIST* list) noexcept {
    if (!list) return nullptr;
    const USHORT cb = ItemCount(list);
    UniqueIdList copy = AllocIdList(cb + 2u);
    if (copy) std::memcpy(copy.get(), list, cb);  // the zero fill is the terminator
    return copy;
}

UniqueIdList ConcatIdLists(const ITEMIDLIST* first, const ITEMIDLIST* second) noexcept {
    const UINT firstBytes = first ? IdListSize(first) - 2 : 0;
    const UINT secondBytes = second ? IdListSize(second) : 0;
    UniqueIdList joined = AllocIdList(firstBytes + secondBytes + 2);
    if (!joined) return nullptr;
    auto* out = reinterpret_cast<BYTE*>(joined.get());
    if (firstBytes) std::memcpy(out, first, firstBytes);
    if (secondBytes) std::memcpy(out + firstBytes, second, secondBytes);
    return joined;  // the zero fill ends it
}

UniqueIdList ConcatIdListsAndFree(UniqueIdList first, UniqueIdList second) noexcept {
    return ConcatIdLists(first.get(), second.get());
}

UniqueIdList ParentIdList(const ITEMIDLIST* list) noexcept {
    const int n = CountItems(list);
    if (n < 2) return nullptr;  // one item has no parent list here; absent or empty gives nothing either
    size_t bytes = 0;
    const ITEMIDLIST* item = list;
    for (int i = 0; i < n - 1; ++i) {
        bytes += ItemCount(item);
        item = Advance(item, ItemCount(item));
    }
    UniqueIdList parent = AllocIdList(static_cast<UINT>(bytes + 2));
    if (parent) std::memcpy(parent.get(), list, bytes);
    return parent;
}

UniqueIdList LastItem(const ITEMIDLIST* list) noexcept {
    if (!list) return nullptr;
    const ITEMIDLIST* last = list;
    for (const ITEMIDLIST* next = NextItem(last); next; next = NextItem(last)) last = next;
    return ConcatIdLists(nullptr, last);
}

int CompareIds(IShellFolder* folder, const ITEMIDLIST* first, const ITEMIDLIST* second) noexcept {
    if (!folder) return -1;
    const HRESULT hr = folder->CompareIDs(0, first, second);
    if (FAILED(hr)) return -1;
    return static_cast<short>(HRESULT_CODE(hr));
}

std::optional<std::wstring> GetDisplayName(IShellFolder* folder, const ITEMIDLIST* item, DWORD flags) {
    if (!folder) return std::nullopt;
    STRRET name{};
    if (FAILED(folder->GetDisplayNameOf(item, flags, &name))) return std::nullopt;
    switch (name.uType) {
        case STRRET_WSTR: {
            std::wstring text = name.pOleStr ? name.pOleStr : L"";
            ::CoTaskMemFree(name.pOleStr);
            return text;
        }
        case STRRET_OFFSET: {
            const char* text = reinterpret_cast<const char*>(item) + name.uOffset;
            return WideFromShellAnsi(text, std::strlen(text));
        }
        case STRRET_CSTR:
            return WideFromShellAnsi(name.cStr, strnlen(name.cStr, MAX_PATH));
        default:
            return std::nullopt;
    }
}

int GetSysIconIndex(const ITEMIDLIST* absolute, UINT flags) noexcept {
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &info, sizeof info, flags | SHGFI_PIDL);
    return info.iIcon;
}

HIMAGELIST GetSystemImageList(bool large) noexcept {
    if (!shellMalloc) return nullptr;
    const UniqueIdList desktop = SpecialFolderIdList(nullptr, CSIDL_DESKTOP);
    if (!desktop) return nullptr;
    SHFILEINFOW info{};
    const UINT flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | (large ? SHGFI_LARGEICON : SHGFI_SMALLICON);
    return reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(desktop.get()), 0, &info, sizeof info, flags));
}

UniqueIdList PathToIdList(const std::wstring& path) {
    if (!desktopFolder) return nullptr;
    if (UniqueIdList whole = ParseIn(desktopFolder, path)) return whole;
    return path.size() >= MAX_PATH ? ParseStepwise(path) : nullptr;
}

UniqueIdList PathToChildItem(const std::wstring& path) {
    const UniqueIdList absolute = PathToIdList(path);
    if (!absolute) return nullptr;
    return LastItem(absolute.get());
}

ComPtr<IShellFolder> PathToParentFolder(const std::wstring& path) {
    const UniqueIdList absolute = PathToIdList(path);
    const int n = CountItems(absolute.get());
    if (n < 2) return nullptr;
    ComPtr<IShellFolder> current = desktopFolder;
    const ITEMIDLIST* cursor = absolute.get();
    for (int i = 0; i < n - 1; ++i) {
        const UniqueIdList item = CopyFirstItem(cursor);
        ComPtr<IShellFolder> next;
        if (!item || FAILED(current->BindToObject(item.get(), nullptr, IID_PPV_ARGS(&next))) || !next) return nullptr;
        current = std::move(next);
        cursor = NextItem(cursor);
    }
    return current;
}

std::optional<SiblingItems> PathsToItems(int count, const std::vector<std::wstring>& paths) {
    if (count <= 0 || paths.size() < static_cast<size_t>(count)) return std::nullopt;
    SiblingItems result;
    result.folder = PathToParentFolder(paths[0]);
    if (!result.folder) return std::nullopt;
    for (int i = 0; i < count; ++i) {
        UniqueIdList child = PathToChildItem(paths[static_cast<size_t>(i)]);
        if (!child) return std::nullopt;
        result.items = ConcatIdListsAndFree(std::move(result.items), std::move(child));
        if (!result.items) return std::nullopt;
    }
    return result;
}

UniqueIdList SpecialFolderIdList(HWND owner, int csidl) {
    ITEMIDLIST* raw = nullptr;
    const HRESULT hr = ::SHGetSpecialFolderLocation(owner, csidl, &raw);
    UniqueIdList list = OwnIdList(raw);
    return SUCCEEDED(hr) ? std::move(list) : nullptr;
}

ComPtr<IShellFolder> BindToFolder(const ITEMIDLIST* absolute) {
    if (!desktopFolder || !absolute) return nullptr;
    if (CountItems(absolute) == 0) return desktopFolder;
    ComPtr<IShellFolder> folder;
    if (FAILED(desktopFolder->BindToObject(absolute, nullptr, IID_PPV_ARGS(&folder)))) return nullptr;
    return folder;
}

std::vector<UniqueIdList> SplitSiblings(const ITEMIDLIST* items, int count) {
    std::vector<UniqueIdList> split;
    const ITEMIDLIST* cursor = items;
    for (int i = 0; i < count; ++i) {
        if (!cursor) return {};
        UniqueIdList item = CopyFirstItem(cursor);
        if (!item) return {};
        split.push_back(std::move(item));
        cursor = NextItem(cursor);
    }
    return split;
}

std::wstring PathOfIdList(const ITEMIDLIST* absolute) {
    if (!absolute) return {};
    // The longest ancestor that the system turns into a path, then the parsing names of the items below it: some
    // implementations give no path past a path buffer's length.
    const int n = CountItems(absolute);
    for (int kept = n; kept > 0; --kept) {
        UniqueIdList ancestor = ConcatIdLists(absolute, nullptr);
        if (!ancestor) return {};
        for (int i = n; i > kept; --i) ancestor = ParentIdList(ancestor.get());
        std::wstring path(32768, L'\0');
        if (!::SHGetPathFromIDListEx(ancestor.get(), path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT))
            continue;
        path.resize(std::wcslen(path.c_str()));
        if (path.size() >= MAX_PATH - 1) continue;  // may have been cut at a path buffer's length
        const ITEMIDLIST* below = absolute;
        for (int i = 0; i < kept; ++i) below = below ? NextItem(below) : nullptr;
        UniqueIdList folderList = std::move(ancestor);
        while (below) {
            const ComPtr<IShellFolder> folder = BindToFolder(folderList.get());
            const UniqueIdList item = CopyFirstItem(below);
            const auto name =
                folder ? GetDisplayName(folder.Get(), item.get(), SHGDN_INFOLDER | SHGDN_FORPARSING) : std::nullopt;
            if (!name) return {};
            if (path.empty() || path.back() != L'\\') path += L'\\';
            path += *name;
            folderList = ConcatIdLists(folderList.get(), item.get());
            below = NextItem(below);
        }
        return path;
    }
    return {};
}

}  // namespace shell
