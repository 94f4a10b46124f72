#include "shell/ComboView.h"

#include <commctrl.h>
#include <shellapi.h>

#include "shell/FolderView.h"
#include "ui/owned.h"

namespace shell {
namespace {

constexpr SHCONTF kFolderContents = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
constexpr int kIndentPerLevel = 10;  // pixels
constexpr int kTextGap = 3;          // pixels between the icon's square and the name

// Calls `each` with every sub-folder of a folder (hidden ones too) as an item of that folder.
template <class Each>
bool EnumerateFolders(IShellFolder* folder, HWND owner, Each each) {
    ComPtr<IEnumIDList> entries;
    if (!folder || folder->EnumObjects(owner, kFolderContents, &entries) != S_OK || !entries) return false;
    for (;;) {
        ITEMIDLIST* raw = nullptr;
        ULONG fetched = 0;
        if (entries->Next(1, &raw, &fetched) != S_OK || !raw) {
            FreeIdList(raw);
            return true;
        }
        const UniqueIdList item = OwnIdList(raw);
        each(item.get());
    }
}

using UniqueIcon = ui::Owned<HICON, ::DestroyIcon>;

}  // namespace

TComboView::TComboView(ui::Component* owner, HWND parent) : ui::Component(owner) {
    CreateWnd(parent);
    if (!Loading()) {
        FillFixedItems();
        Select(0);
    }
}

TComboView::~TComboView() {
    // The tree must not tell a combo that is gone.
    SetFolderView(nullptr);
    if (hwnd_ && ::IsWindow(hwnd_)) {
        StopReflecting(hwnd_);
        ::DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
}

void TComboView::CreateWnd(HWND parent) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED;
    hwnd_ = ::CreateWindowExW(0, WC_COMBOBOXW, L"", style, 0, 0, width_, 100, parent, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    ReflectFrom(hwnd_);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    UpdateHeights();
}

void TComboView::UpdateHeights() {
    if (!hwnd_) return;
    // The control asked for its rows' height while it was being made, before it could be answered here.
    ::SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight_);
    ::SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, itemHeight_);
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::MapWindowPoints(nullptr, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    SetBounds(r.left, r.top, width_);
}

void TComboView::SetBounds(int left, int top, int width) {
    width_ = width;
    if (!hwnd_) return;
    // A combo's window height is its field and its open list together.
    const int fieldHeight = static_cast<int>(::SendMessageW(hwnd_, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    ui::Place(hwnd_, left, top, width, fieldHeight + 8 + dropDownCount_ * itemHeight_);
}

void TComboView::SetDropDownCount(int rows) {
    if (rows == dropDownCount_ || rows < 1) return;
    dropDownCount_ = rows;
    UpdateHeights();
}

void TComboView::SetItemHeight(int pixels) {
    if (pixels == itemHeight_ || pixels < 1) return;
    itemHeight_ = pixels;
    UpdateHeights();
}

void TComboView::Loaded() {
    ui::Component::Loaded();
    FillFixedItems();
    Select(0);
}

void TComboView::SetFolderView(TFolderView* tree) {
    if (tree == folderView_) return;
    if (folderView_) folderView_->SetComboView(nullptr);
    folderView_ = tree;
    if (tree) {
        tree->SetComboView(this);
        FreeNotification(tree);
    }
}

void TComboView::Notification(ui::Component* component, ui::Operation operation) {
    if (operation == ui::Operation::Remove && folderView_ && component == static_cast<ui::Component*>(folderView_)) {
        folderView_ = nullptr;
    }
    ui::Component::Notification(component, operation);
}

// ---- rows ----

int TComboView::RowCount() const {
    return hwnd_ ? static_cast<int>(::SendMessageW(hwnd_, CB_GETCOUNT, 0, 0)) : 0;
}

int TComboView::SelectedRow() const {
    return hwnd_ ? static_cast<int>(::SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)) : -1;
}

TComboView::TComboData* TComboView::Row(int row) const {
    if (!hwnd_ || row < 0 || row >= RowCount()) return nullptr;
    const LRESULT data = ::SendMessageW(hwnd_, CB_GETITEMDATA, static_cast<WPARAM>(row), 0);
    return data == CB_ERR ? nullptr : reinterpret_cast<TComboData*>(data);
}

int TComboView::RowLevel(int row) const {
    const TComboData* data = Row(row);
    return data ? data->level : -1;
}

const ITEMIDLIST* TComboView::RowIdList(int row) const {
    const TComboData* data = Row(row);
    return data ? data->list.get() : nullptr;
}

std::wstring TComboView::RowName(int row) const {
    const TComboData* data = Row(row);
    if (!data) return {};
    // Named inside the folder that holds it; the desktop names what has no parent that can be bound.
    const UniqueIdList parent = ParentIdList(data->list.get());
    ComPtr<IShellFolder> folder = parent ? BindToFolder(parent.get()) : nullptr;
    if (!folder) folder = DesktopFolder();
    const UniqueIdList last = LastItem(data->list.get());
    return GetDisplayName(folder.Get(), last.get(), SHGDN_INFOLDER).value_or(std::wstring());
}

void TComboView::Select(int row) {
    if (hwnd_) ::SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

void TComboView::AddItem(int index, int level, const ITEMIDLIST* list) {
    auto record = std::make_unique<TComboData>(TComboData{ConcatIdLists(list, nullptr), level, index});
    if (!record->list || !hwnd_) return;
    const LRESULT at =
        ::SendMessageW(hwnd_, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(record.get()));
    if (at == CB_ERR || at == CB_ERRSPACE) return;
    (fixedPhase_ ? pathRows_ : fixedRows_).push_back(std::move(record));
}

void TComboView::ClearItems() {
    if (hwnd_) ::SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    pathRows_.clear();
    fixedRows_.clear();
}

int TComboView::InsertPath(const ITEMIDLIST* list) {
    int level = 1;
    int start = 1;
    int position = 1;
    UniqueIdList prefix;
    for (const ITEMIDLIST* cursor = CountItems(list) > 0 ? list : nullptr; cursor; cursor = NextItem(cursor)) {
        prefix = ConcatIdListsAndFree(std::move(prefix), CopyFirstItem(cursor));
        if (!prefix) break;
        bool found = false;
        const int rows = RowCount();
        for (int i = start; i < rows; ++i) {
            const TComboData* row = Row(i);
            if (!row || row->level != level) continue;
            const int order = CompareIds(DesktopFolder(), prefix.get(), row->list.get());
            if (order == 0) {
                position = i + 1;
                found = true;
                break;
            }
            if (order > 0) position = i + 1;
        }
        if (!found) {
            AddItem(position, level, prefix.get());
            ++position;
            start = position;
        }
        ++level;
    }
    return position - 1;
}

void TComboView::FillFixedItems() {
    fixedPhase_ = false;
    ClearItems();
    const UniqueIdList desktop = SpecialFolderIdList(hwnd_, CSIDL_DESKTOP);
    if (!desktop) return;
    AddItem(0, 0, desktop.get());
    EnumerateFolders(DesktopFolder(), hwnd_, [&](const ITEMIDLIST* item) {
        const UniqueIdList joined = ConcatIdLists(desktop.get(), item);
        if (joined) InsertPath(joined.get());
    });
    const UniqueIdList computer = SpecialFolderIdList(hwnd_, CSIDL_DRIVES);
    const ComPtr<IShellFolder> drives = computer ? BindToFolder(computer.get()) : nullptr;
    const bool listed = EnumerateFolders(drives.Get(), nullptr, [&](const ITEMIDLIST* item) {
        const UniqueIdList joined = ConcatIdLists(computer.get(), item);
        if (joined) InsertPath(joined.get());
    });
    // When the computer cannot be listed the flag stays clear, and later rows count as fixed.
    if (listed) fixedPhase_ = true;
}

void TComboView::BrowseTo(const ITEMIDLIST* absolute) {
    if (!absolute) return;
    // Newest first, so that every stored index still names its own row.
    while (!pathRows_.empty()) {
        if (hwnd_) ::SendMessageW(hwnd_, CB_DELETESTRING, static_cast<WPARAM>(pathRows_.back()->index), 0);
        pathRows_.pop_back();
    }
    const UniqueIdList desktop = SpecialFolderIdList(hwnd_, CSIDL_DESKTOP);
    const bool isDesktop =
        CountItems(absolute) == 0 || (desktop && CompareIds(DesktopFolder(), absolute, desktop.get()) == 0);
    Select(isDesktop ? 0 : InsertPath(absolute));
}

void TComboView::Change() {
    if (OnChange) OnChange();
    const int row = SelectedRow();
    if (!folderView_ || row < 0) return;
    const TComboData* data = Row(row);
    if (data) folderView_->SelectIdList(data->list.get());
}

// ---- messages from the parent ----

std::optional<LRESULT> TComboView::OnReflected(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lp) != hwnd_) return std::nullopt;
            switch (HIWORD(wp)) {
                case CBN_SELCHANGE:
                    if (OnClick) OnClick();
                    Change();
                    return 0;
                case CBN_DBLCLK:
                    if (OnDblClick) OnDblClick();
                    return 0;
                case CBN_DROPDOWN:
                    if (OnDropDown) OnDropDown();
                    return 0;
                default:
                    return std::nullopt;
            }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item->hwndItem != hwnd_) return std::nullopt;
            DrawItem(*item);
            return TRUE;
        }
        case WM_MEASUREITEM: {
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
            item->itemHeight = static_cast<UINT>(itemHeight_);
            return TRUE;
        }
        default:
            return std::nullopt;
    }
}

void TComboView::DrawItem(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    const ui::SelectIn useFont(dc, font);
    const TComboData* row = static_cast<int>(item.itemID) >= 0 ? Row(static_cast<int>(item.itemID)) : nullptr;
    if (!row) {
        ::FillRect(dc, &rect, ::GetSysColorBrush(COLOR_WINDOW));
        return;
    }
    const bool field = (item.itemState & ODS_COMBOBOXEDIT) != 0;
    // Rows of a closed list are not shown anywhere.
    if (!field && !::SendMessageW(hwnd_, CB_GETDROPPEDSTATE, 0, 0)) return;

    const int x = field ? rect.left + 1 : rect.left + row->level * kIndentPerLevel;
    UINT flags = SHGFI_ICON | SHGFI_SMALLICON | SHGFI_PIDL;
    int back = COLOR_WINDOW, fore = COLOR_WINDOWTEXT;
    if (item.itemState & ODS_SELECTED) {
        flags |= SHGFI_OPENICON;
        if (!field) {
            back = COLOR_HIGHLIGHT;
            fore = COLOR_HIGHLIGHTTEXT;
            flags |= SHGFI_SELECTED;
        }
    }
    // The whole row is painted, so no highlight of an earlier drawing stays beside the name.
    ::FillRect(dc, &rect, ::GetSysColorBrush(back));
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(row->list.get()), 0, &info, sizeof info, flags);
    const UniqueIcon icon(info.hIcon);
    const std::wstring name = RowName(static_cast<int>(item.itemID));
    ::SetBkMode(dc, OPAQUE);
    ::SetBkColor(dc, ::GetSysColor(back));
    ::SetTextColor(dc, ::GetSysColor(fore));
    ::TextOutW(dc, x + itemHeight_ + kTextGap, rect.top, name.c_str(), static_cast<int>(name.size()));
    if (icon.get()) ::DrawIconEx(dc, x, rect.top, icon.get(), itemHeight_, itemHeight_, 0, nullptr, DI_NORMAL);
}

}  // namespace shell
