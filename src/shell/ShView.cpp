#include "shell/ShView.h"

#include <cstring>

namespace shell {
namespace {

// The module state: written only when the outermost ShellModule starts and ends, and by the tests' allocator seam.
IMalloc* shellMalloc = nullptr;
IShellFolder* desktopFolder = nullptr;
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

ScopedDesktopFolder::ScopedDesktopFolder(IShellFolder* replacement) noexcept : previous_(desktopFolder) {
    desktopFolder = replacement;
}
ScopedDesktopFolder::~ScopedDesktopFolder() {
    desktopFolder = previous_;
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
    ITEMIDLIST* raw = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &raw)) || !raw) return nullptr;
    const UniqueIdList desktop = OwnIdList(raw);
    SHFILEINFOW info{};
    const UINT flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | (large ? SHGFI_LARGEICON : SHGFI_SMALLICON);
    return reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(desktop.get()), 0, &info, sizeof info, flags));
}

UniqueIdList PathToIdList(const std::wstring& path) {
    if (!desktopFolder) return nullptr;
    std::wstring buffer = path;  // ParseDisplayName takes a writable string
    ITEMIDLIST* raw = nullptr;
    if (FAILED(desktopFolder->ParseDisplayName(nullptr, nullptr, buffer.data(), nullptr, &raw, nullptr))) {
        return nullptr;
    }
    return OwnIdList(raw);
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
    std::wstring path(32768, L'\0');  // the longest path the system knows, so no deep folder is cut
    if (!::SHGetPathFromIDListEx(absolute, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) return {};
    path.resize(std::wcslen(path.c_str()));
    return path;
}

}  // namespace shell
