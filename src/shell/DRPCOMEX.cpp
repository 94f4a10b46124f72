#include "shell/DRPCOMEX.h"

#include <optional>

#include "ui/owned.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"
#include "ui/window.h"

namespace shell {
namespace {

// The capability, display and contents attributes together, as the attribute query asks for them.
constexpr ULONG kItemAttributeQuery = 0x800F0177;
// The Send To item's text: "送る(&N)", or "(&T)" in older shells, with the accelerator at byte 5.
constexpr int kSendToAccelByte = 5;
// "貼り付け(&P)": the paste item's accelerator stands at byte 9.
constexpr int kPasteAccelByte = 9;

struct KindInfo {
    UINT verb;         // the identifier's offset from the first shell identifier
    ULONG capability;  // 0: checked through the menu instead
};
constexpr KindInfo kKinds[] = {
    {16, SFGAO_CANLINK}, {17, SFGAO_CANDELETE}, {19, SFGAO_HASPROPSHEET},
    {24, SFGAO_CANMOVE}, {25, SFGAO_CANCOPY},   {26, 0},
};

std::vector<const ITEMIDLIST*> RawLists(const std::vector<UniqueIdList>& lists) {
    std::vector<const ITEMIDLIST*> raw;
    raw.reserve(lists.size());
    for (const auto& list : lists) raw.push_back(list.get());
    return raw;
}

void ShowInvokeFailed(HWND owner) {
    ui::CurrentPrompter().Message(owner, txt::kInvokeFailed, txt::kInvokeFailedCaption,
                                  MB_OK | MB_ICONINFORMATION | MB_APPLMODAL);
}

// The shell's menu object for some items of a folder and the pop-up menu it filled.
struct ShellMenu {
    ComPtr<IContextMenu> menu;
    ui::UniqueMenu popup;
};

std::optional<ShellMenu> MakeShellMenu(HWND window, IShellFolder* folder, const std::vector<const ITEMIDLIST*>& items) {
    ShellMenu made;
    if (FAILED(folder->GetUIObjectOf(window, static_cast<UINT>(items.size()), const_cast<LPCITEMIDLIST*>(items.data()),
                                     IID_IContextMenu, nullptr, reinterpret_cast<void**>(made.menu.GetAddressOf()))) ||
        !made.menu) {
        return std::nullopt;
    }
    made.popup.reset(::CreatePopupMenu());
    if (!made.popup) return std::nullopt;
    if (FAILED(made.menu->QueryContextMenu(made.popup.get(), 0, TContextMenuEx::kFirstShellId,
                                           TContextMenuEx::kLastShellId, CMF_EXPLORE))) {
        return std::nullopt;
    }
    return made;
}

// Runs a shell command by its verb offset; a refusal is told to the user and the program goes on.
bool InvokeVerb(IContextMenu* menu, HWND window, UINT verb) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.hwnd = window;
    info.lpVerb = MAKEINTRESOURCEA(verb);
    info.nShow = SW_SHOWNORMAL;
    if (SUCCEEDED(menu->InvokeCommand(&info))) return true;
    ShowInvokeFailed(window);
    return false;
}

std::wstring MenuItemText(HMENU menu, int index) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(index), TRUE, &info) || info.cch == 0) return {};
    std::wstring text(info.cch + 1, L'\0');
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(index), TRUE, &info)) return {};
    text.resize(info.cch);
    return text;
}

// The next entry of a Send To enumeration; absent at its end or when it fails.
UniqueIdList NextEntry(IEnumIDList* entries) {
    ITEMIDLIST* raw = nullptr;
    ULONG fetched = 0;
    if (entries->Next(1, &raw, &fetched) != S_OK || !raw) {
        FreeIdList(raw);
        return nullptr;
    }
    return OwnIdList(raw);
}

// The shell's data object of items of a folder, as a drag or a drop hands them on; null when the folder has none.
ComPtr<IDataObject> DataObjectOf(HWND window, IShellFolder* folder, const std::vector<const ITEMIDLIST*>& items) {
    ComPtr<IDataObject> data;
    if (FAILED(folder->GetUIObjectOf(window, static_cast<UINT>(items.size()), const_cast<LPCITEMIDLIST*>(items.data()),
                                     IID_IDataObject, nullptr, reinterpret_cast<void**>(data.GetAddressOf())))) {
        return nullptr;
    }
    return data;
}

// While the menu is open, hands the shell the messages of its lazily filled and owner-drawn submenus ("Open with",
// "New"), which go to the menu's owner window. The Send To submenu filled here is not the shell's any more.
class ShellSubmenus {
public:
    ShellSubmenus(HWND window, IContextMenu* menu, HMENU ownSubmenu) : ownSubmenu_(ownSubmenu) {
        if (FAILED(menu->QueryInterface(IID_PPV_ARGS(&menu3_)))) menu3_.Reset();
        if (!menu3_ && FAILED(menu->QueryInterface(IID_PPV_ARGS(&menu2_)))) menu2_.Reset();
        if (!menu2_ && !menu3_) return;
        hook_.Attach(window, [this](UINT msg, WPARAM wp, LPARAM lp) { return Forward(msg, wp, lp); });
    }

private:
    std::optional<LRESULT> Forward(UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
            case WM_INITMENUPOPUP:
                if (reinterpret_cast<HMENU>(wp) == ownSubmenu_) return std::nullopt;
                break;
            case WM_DRAWITEM:
            case WM_MEASUREITEM:
                if (wp != 0) return std::nullopt;  // a control's, not a menu's
                break;
            case WM_MENUCHAR:
                break;
            default:
                return std::nullopt;
        }
        LRESULT result = 0;
        if (menu3_ && SUCCEEDED(menu3_->HandleMenuMsg2(msg, wp, lp, &result))) return result;
        if (menu2_ && msg != WM_MENUCHAR && SUCCEEDED(menu2_->HandleMenuMsg(msg, wp, lp))) {
            return msg == WM_INITMENUPOPUP ? 0 : TRUE;
        }
        return std::nullopt;
    }

    HMENU ownSubmenu_;
    ComPtr<IContextMenu3> menu3_;
    ComPtr<IContextMenu2> menu2_;
    ui::Subclass hook_;
};

}  // namespace

void ShowItemCountNotice(HWND owner) {
    const std::wstring text = txt::kItemCountBefore + ui::ToText(kMaxSelectedItems) + txt::kItemCountAfter;
    ui::CurrentPrompter().Message(owner, text, txt::kItemCountCaption, MB_OK | MB_ICONEXCLAMATION | MB_APPLMODAL);
}

// ---- TContextMenuEx

int TContextMenuEx::FindMenuItem(HMENU menu, const std::wstring& text, int position) {
    if (!menu || text.empty()) return -1;
    const std::string wanted = ui::Cp932FromWide(text);
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        // The state is read from the item's own fields: GetMenuState mixes a submenu's item count into its answer.
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        if ((info.fType & MFT_SEPARATOR) || (info.fState & (MF_GRAYED | MF_DISABLED))) continue;
        const size_t at = ui::Cp932FromWide(MenuItemText(menu, i)).find(wanted);
        if (at != std::string::npos && static_cast<long long>(at) + 1 == position) return i + 1;
    }
    return -1;
}

UINT TContextMenuEx::TrackMenu(HMENU menu, HWND window, POINT screen) {
    return static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, window, nullptr));
}

ComPtr<IShellFolder> TContextMenuEx::OpenSendToFolder(HWND window) {
    const UniqueIdList location = SpecialFolderIdList(window, CSIDL_SENDTO);
    return location ? BindToFolder(location.get()) : nullptr;
}

bool TContextMenuEx::FillSendToMenu(HMENU menu, HWND window) {
    return FillSendTo(menu, window).ready;
}

TContextMenuEx::SendToFill TContextMenuEx::FillSendTo(HMENU menu, HWND window) {
    int item = FindMenuItem(menu, txt::kSendToAccel, kSendToAccelByte);
    if (item < 0) item = FindMenuItem(menu, txt::kSendToAccelOld, kSendToAccelByte);
    if (item < 0) return {};
    const HMENU submenu = ::GetSubMenu(menu, item - 1);
    if (!submenu) return {};
    SendToFill fill;
    fill.folder = OpenSendToFolder(window);
    if (!fill.folder) return {};

    // Only the shell's own placeholder goes: a submenu the shell left empty keeps every entry appended here.
    const bool hadPlaceholder = ::GetMenuItemCount(submenu) > 0;
    ComPtr<IEnumIDList> entries;  // files and links only: no sub-folders, no hidden entries
    if (fill.folder->EnumObjects(window, SHCONTF_NONFOLDERS, &entries) == S_OK && entries) {
        while (static_cast<int>(fill.entries.size()) < kMaxSendToEntries) {
            UniqueIdList entry = NextEntry(entries.Get());
            if (!entry) {
                fill.ready = true;
                break;
            }
            const std::wstring name = GetDisplayName(fill.folder.Get(), entry.get(), SHGDN_NORMAL).value_or(L"");
            ::AppendMenuW(submenu, MF_STRING, kFirstSendToId + static_cast<UINT>(fill.entries.size()), name.c_str());
            fill.entries.push_back(std::move(entry));
        }
    }
    if (hadPlaceholder) ::DeleteMenu(submenu, 0, MF_BYPOSITION);
    fill.submenu = submenu;
    return fill;
}

bool TContextMenuEx::SendToEntry(HWND window, IDataObject* items, IShellFolder* sendTo, const ITEMIDLIST* entry) {
    if (!items || !sendTo || !entry) return false;
    ComPtr<IDropTarget> target;
    LPCITEMIDLIST one[] = {entry};
    if (FAILED(sendTo->GetUIObjectOf(window, 1, one, IID_IDropTarget, nullptr,
                                     reinterpret_cast<void**>(target.GetAddressOf()))) ||
        !target) {
        return false;
    }
    // A drop with the left button and no keys, offering what Send To offers: a copy, or a link where the target
    // makes shortcuts. Never a move: the items stay where they are.
    constexpr DWORD kOffered = DROPEFFECT_COPY | DROPEFFECT_LINK;
    const POINTL nowhere{0, 0};
    DWORD effect = kOffered;
    if (FAILED(target->DragEnter(items, MK_LBUTTON, nowhere, &effect)) || (effect & kOffered) == 0) {
        target->DragLeave();
        return false;
    }
    effect &= kOffered;
    return SUCCEEDED(target->Drop(items, MK_LBUTTON, nowhere, &effect)) && effect != DROPEFFECT_NONE;
}

bool TContextMenuEx::InvokeItemCommand(HWND window, IShellFolder* folder, CommandKind kind, POINT,
                                       const ITEMIDLIST* item) {
    const int k = static_cast<int>(kind);
    if (!window || !folder || !item || k < 0 || k > static_cast<int>(CommandKind::Paste)) return false;
    const std::vector<const ITEMIDLIST*> one{item};
    ULONG attributes = kItemAttributeQuery;
    if (folder->GetAttributesOf(1, const_cast<LPCITEMIDLIST*>(one.data()), &attributes) != S_OK) return false;
    const KindInfo& info = kKinds[k];
    if (info.capability && !(attributes & info.capability)) return false;
    auto menu = MakeShellMenu(window, folder, one);
    if (!menu) return false;
    if (kind == CommandKind::Paste && FindMenuItem(menu->popup.get(), txt::kPasteAccel, kPasteAccelByte) < 0) {
        return false;
    }
    return InvokeVerb(menu->menu.Get(), window, info.verb);
}

bool TContextMenuEx::ShowForItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count, POINT screen) {
    if (!window || !folder || !items || count < 1 || count > kMaxSelectedItems) {
        ShowItemCountNotice(window);
        return false;
    }
    if (!ShellMalloc() || !DesktopFolder()) return false;
    const std::vector<UniqueIdList> lists = SplitSiblings(items, count);
    if (lists.empty()) return false;
    auto menu = MakeShellMenu(window, folder, RawLists(lists));
    if (!menu) return false;

    const SendToFill sendTo = FillSendTo(menu->popup.get(), window);
    UINT chosen = 0;
    {
        const ShellSubmenus submenus(window, menu->menu.Get(), sendTo.submenu);
        chosen = TrackMenu(menu->popup.get(), window, screen);
    }
    if (chosen == 0) return false;

    const size_t entry = chosen - kFirstSendToId;
    if (chosen >= kFirstSendToId && entry < sendTo.entries.size()) {
        if (!sendTo.ready) return false;  // a full Send To folder turns Send To off: its entries do nothing
        const ComPtr<IDataObject> data = DataObjectOf(window, folder, RawLists(lists));
        return SendToEntry(window, data.Get(), sendTo.folder.Get(), sendTo.entries[entry].get());
    }
    return InvokeVerb(menu->menu.Get(), window, chosen - kFirstShellId);
}

bool TContextMenuEx::ShowForFileNames(HWND window, int x, int y) {
    if (!window || !ShellMalloc()) return false;
    const int n = static_cast<int>(fileNames_.size());
    if (n < 1 || n > kMaxSelectedItems) {
        ShowItemCountNotice(window);
        return false;
    }
    auto siblings = PathsToItems(n, fileNames_);
    if (!siblings) return false;
    POINT screen{x, y};
    ::ClientToScreen(window, &screen);
    return ShowForItems(window, siblings->folder.Get(), siblings->items.get(), n, screen);
}

bool TContextMenuEx::ShowForFile(HWND window, const std::wstring& path, int x, int y) {
    if (!window) return false;
    SetCMFileName({path});
    return ShowForFileNames(window, x, y);
}

// ---- TDropSourceObject

ComPtr<IDropSource> TDropSourceObject::Create() {
    return ComPtr<IDropSource>(new TDropSourceObject);  // the owner's reference is the first
}

HRESULT STDMETHODCALLTYPE TDropSourceObject::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDropSource) {
        *object = static_cast<IDropSource*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TDropSourceObject::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE TDropSourceObject::Release() {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE TDropSourceObject::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
    if (escapePressed) return DRAGDROP_S_CANCEL;
    if (keyState & (MK_LBUTTON | MK_RBUTTON)) return S_OK;
    return DRAGDROP_S_DROP;
}

HRESULT STDMETHODCALLTYPE TDropSourceObject::GiveFeedback(DWORD) {
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

// ---- TDropSourceEx

HRESULT TDropSourceEx::RunDrag(IDataObject* data, IDropSource* source, DWORD allowed, DWORD* effect) {
    return ::DoDragDrop(data, source, allowed, effect);
}

void TDropSourceEx::DragItems(HWND window, IShellFolder* folder, const ITEMIDLIST* items, int count) {
    if (!window || !folder || !items || !ShellMalloc()) return;
    if (count < 1 || count > kMaxSelectedItems) {
        ShowItemCountNotice(window);
        return;
    }
    const std::vector<UniqueIdList> lists = SplitSiblings(items, count);
    if (lists.empty()) return;
    const ComPtr<IDataObject> data = DataObjectOf(window, folder, RawLists(lists));
    if (!data) return;
    const ComPtr<IDropSource> source = TDropSourceObject::Create();
    DWORD effect = DROPEFFECT_NONE;
    RunDrag(data.Get(), source.Get(), DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
}

}  // namespace shell
