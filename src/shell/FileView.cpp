#include "shell/FileView.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "shell/DRPCOMEX.h"
#include "shell/FileRows.h"
#include "shell/FolderView.h"
#include "ui/prompt.h"
#include "ui/texts.h"

namespace shell {
namespace {

constexpr int kColumnCount = 5;
constexpr int kMarkedColumns = 4;
constexpr int kNewColumnWidth = 50;
constexpr int kNear = 4;  // pixels either way from the press that still count as no movement

const wchar_t* const kCaptions[kMarkedColumns] = {txt::kColumnName, txt::kColumnSize, txt::kColumnType,
                                                  txt::kColumnDate};
constexpr int kWidths[kMarkedColumns] = {120, 80, 70, 90};
constexpr int kFormats[kMarkedColumns] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_LEFT, LVCFMT_LEFT};

// The same folder by the shell's order, not by bytes: an item's list may carry its time, which a change inside
// the folder moves on.
bool SameFolder(const ITEMIDLIST* a, const ITEMIDLIST* b) noexcept {
    const UINT size = IdListSize(a);
    if (size == IdListSize(b) && std::memcmp(a, b, size) == 0) return true;
    return CountItems(a) == CountItems(b) && CompareIds(DesktopFolder(), a, b) == 0;
}

ULONG AttributesOf(IShellFolder* folder, const ITEMIDLIST* item, ULONG wanted) {
    if (!folder || !item) return 0;
    ULONG attributes = wanted;
    if (FAILED(folder->GetAttributesOf(1, &item, &attributes))) return 0;
    return attributes & wanted;
}

int SignOf(ULONGLONG a, ULONGLONG b) noexcept {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// An entry without find data has no time and sorts as the earliest.
ULONGLONG TimeOf(const FileRow& row) noexcept {
    if (!row.hasFindData) return 0;
    return (static_cast<ULONGLONG>(row.written.dwHighDateTime) << 32) | row.written.dwLowDateTime;
}

}  // namespace

FileListSortState& FileListSort() noexcept {
    static FileListSortState state;  // one for every list of the process, as the lists share one sort
    return state;
}

TFileView::TFileView(ui::Component* owner, HWND parent) : ui::Component(owner) {
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_ICON | LVS_SHAREIMAGELISTS |
                                  LVS_EDITLABELS | LVS_OWNERDATA,
                              0, 0, 200, 200, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    ::SendMessageW(hwnd_, CCM_SETUNICODEFORMAT, TRUE, 0);
    // The rows are ours and the control asks for what it draws (LVS_OWNERDATA): ten thousand of them then cost no
    // insertion and no deletion, which the control does one by one.
    ListView_SetCallbackMask(hwnd_, LVIS_OVERLAYMASK);
    ReflectFrom(hwnd_);
    AttachMouse();

    for (int c = 0; c < kColumnCount; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = c < kMarkedColumns ? kFormats[c] : LVCFMT_LEFT;
        column.cx = c < kMarkedColumns ? kWidths[c] : kNewColumnWidth;
        column.pszText = const_cast<wchar_t*>(L"");
        column.iSubItem = c;
        ::SendMessageW(hwnd_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    FileListSortState& sort = FileListSort();
    sort.LastSortColumn = 0;
    sort.LastSortDirection = 1;
    for (int c = 0; c < kMarkedColumns; ++c) sort.SortDirection[c] = 1;
    MarkColumn(0);

    ListView_SetImageList(hwnd_, GetSystemImageList(true), LVSIL_NORMAL);
    ListView_SetImageList(hwnd_, GetSystemImageList(false), LVSIL_SMALL);
}

TFileView::~TFileView() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        subclass_.Detach();
        StopReflecting(hwnd_);
        ::DestroyWindow(hwnd_);
    }
}

void TFileView::SetFolderView(TFolderView* tree) {
    tree_ = tree;
    if (tree_) FreeNotification(tree_);
}

void TFileView::SetContextMenu(TContextMenuEx* menu) {
    contextMenu_ = menu;
    if (contextMenu_) FreeNotification(contextMenu_);
}

void TFileView::SetDropSource(TDropSourceEx* source) {
    dropSource_ = source;
    if (dropSource_) FreeNotification(dropSource_);
}

void TFileView::Notification(ui::Component* component, ui::Operation operation) {
    if (operation == ui::Operation::Remove) {
        if (tree_ && component == static_cast<ui::Component*>(tree_)) tree_ = nullptr;
        if (contextMenu_ && component == static_cast<ui::Component*>(contextMenu_)) contextMenu_ = nullptr;
        if (dropSource_ && component == static_cast<ui::Component*>(dropSource_)) dropSource_ = nullptr;
    }
    ui::Component::Notification(component, operation);
}

void TFileView::Loaded() {
    if (folder_) FillItems();
}

void TFileView::SetMask(const std::vector<std::wstring>* extensions) {
    if (extensions) mask_ = *extensions;
}

void TFileView::SetMyPopupMenu(HMENU menu, HWND commandTarget) noexcept {
    popupMenu_ = menu;
    popupTarget_ = commandTarget;
}

void TFileView::SetStyleBit(DWORD bit, bool on) {
    if (!hwnd_) return;
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    const LONG_PTR wanted = on ? (style | bit) : (style & ~static_cast<LONG_PTR>(bit));
    if (wanted != style) ::SetWindowLongPtrW(hwnd_, GWL_STYLE, wanted);
}

void TFileView::SetMultiSelect(bool on) {
    SetStyleBit(LVS_SINGLESEL, !on);
}

void TFileView::SetHideSelection(bool on) {
    SetStyleBit(LVS_SHOWSELALWAYS, !on);
}

void TFileView::SetReadOnly(bool on) {
    readOnly_ = on;
    SetStyleBit(LVS_EDITLABELS, !on);
}

void TFileView::SetRowSelect(bool on) {
    if (hwnd_) ListView_SetExtendedListViewStyleEx(hwnd_, LVS_EX_FULLROWSELECT, on ? LVS_EX_FULLROWSELECT : 0);
}

void TFileView::SetViewStyle(ListViewStyle style) {
    static constexpr DWORD kStyles[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    if (!hwnd_) return;
    const LONG_PTR old = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    const LONG_PTR wanted = (old & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | kStyles[static_cast<int>(style)];
    if (wanted != old) ::SetWindowLongPtrW(hwnd_, GWL_STYLE, wanted);
}

ComPtr<IShellFolder> TFileView::BindFolder(const ITEMIDLIST* absolute) {
    ComPtr<IShellFolder> folder;
    if (IShellFolder* desktop = DesktopFolder()) {
        if (SUCCEEDED(desktop->BindToObject(absolute, nullptr, IID_PPV_ARGS(&folder))) && folder) return folder;
    }
    folder.Reset();
    if (FAILED(::SHGetDesktopFolder(folder.GetAddressOf()))) return nullptr;
    return folder;
}

void TFileView::BrowseTo(const ITEMIDLIST* absolute) {
    if (!absolute) return;
    UniqueIdList copy = ConcatIdLists(absolute, nullptr);
    if (!copy) return;
    const bool sameFolder = folderIdList_ && SameFolder(folderIdList_.get(), copy.get());
    ComPtr<IShellFolder> folder = BindFolder(copy.get());
    UniqueIdList previousList = std::exchange(folderIdList_, std::move(copy));
    ComPtr<IShellFolder> previousFolder = std::exchange(folder_, std::move(folder));
    if (!folder_ || Loading()) return;
    if (Fill(sameFolder)) return;
    // The rows still show the previous folder, so the list and interface describe it again.
    folderIdList_ = std::move(previousList);
    folder_ = std::move(previousFolder);
    SendTreeBack();
}

void TFileView::FillItems() {
    if (!Fill(true)) SendTreeBack();
}

void TFileView::SendTreeBack() {
    if (tree_) tree_->SetSelected(tree_->PreviousNode());
}

bool TFileView::Fill(bool keepPlace) {
    if (!folder_ || !hwnd_) return true;
    const ui::BusyCursor busy;
    auto rows = ReadFolderRows(folder_.Get(), folderIdList_.get(), hwnd_, mask_);
    if (!rows) return false;
    FileListSortState& sort = FileListSort();
    for (int c = 0; c < kMarkedColumns; ++c) sort.SortDirection[c] = sort.LastSortDirection;
    SortRows(*rows, sort.LastSortColumn);
    InsertRows(std::move(*rows), keepPlace);
    ClearMouse();
    MarkColumn(sort.LastSortColumn);
    return true;
}

void TFileView::InsertRows(std::vector<std::unique_ptr<FileRow>> rows, bool keepPlace) {
    std::unordered_set<std::wstring> selected;
    std::wstring focused, top;
    int horizontal = 0;
    if (keepPlace) {
        for (int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); i >= 0;
             i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED)) {
            if (const FileRow* row = RowAt(i)) selected.insert(row->name);
        }
        if (const FileRow* row = RowAt(ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED))) focused = row->name;
        if (const FileRow* row = RowAt(ListView_GetTopIndex(hwnd_))) top = row->name;
        horizontal = ::GetScrollPos(hwnd_, SB_HORZ);
    }

    ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    rows_ = std::move(rows);  // the previous rows, and their lists, go here
    ListView_SetItemCountEx(hwnd_, static_cast<int>(rows_.size()), LVSICF_NOSCROLL);
    int topIndex = -1;
    if (keepPlace && (!selected.empty() || !focused.empty() || !top.empty())) {
        for (size_t i = 0; i < rows_.size(); ++i) {
            const std::wstring& name = rows_[i]->name;
            const int index = static_cast<int>(i);
            if (selected.count(name)) ListView_SetItemState(hwnd_, index, LVIS_SELECTED, LVIS_SELECTED);
            if (!focused.empty() && name == focused) ListView_SetItemState(hwnd_, index, LVIS_FOCUSED, LVIS_FOCUSED);
            if (!top.empty() && name == top) topIndex = index;
        }
    }
    const bool report = (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    RECT first{};
    if (!keepPlace || topIndex < 0) {
        if (!rows_.empty()) ListView_EnsureVisible(hwnd_, 0, FALSE);  // another folder starts at its top
    } else if (report && ListView_GetItemRect(hwnd_, 0, &first, LVIR_BOUNDS) && first.bottom > first.top) {
        ListView_Scroll(hwnd_, 0, (topIndex - ListView_GetTopIndex(hwnd_)) * (first.bottom - first.top));
    } else {
        ListView_EnsureVisible(hwnd_, topIndex, FALSE);
    }
    if (keepPlace) ListView_Scroll(hwnd_, horizontal - ::GetScrollPos(hwnd_, SB_HORZ), 0);
    ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

int TFileView::CompareRows(FileRow& a, FileRow& b, int column) const {
    const FileListSortState& sort = FileListSort();
    switch (column) {
        case 0:
            return CompareByName(a, b) * sort.SortDirection[0];
        case 1:  // by value: what the zero-padded, equally grouped size texts amount to, without their length limit
            return SignOf(a.hasFindData ? a.size : 0, b.hasFindData ? b.size : 0) * sort.SortDirection[1];
        case 2:
            return CompareTexts(a.typeName, b.typeName) * sort.SortDirection[2];
        case 3:  // by the time itself: the text's two-digit year puts 1999 after 2024
            return SignOf(TimeOf(a), TimeOf(b)) * sort.SortDirection[3];
        default:  // the fifth column shows nothing to order by
            return 0;
    }
}

int TFileView::CompareByName(const FileRow& a, const FileRow& b) const {
    // The folder's own order; where it cannot compare two entries, their names decide, folders first, so that the
    // order stays one order whatever the folder answers.
    const HRESULT hr = folder_ ? folder_->CompareIDs(0, a.item.get(), b.item.get()) : E_FAIL;
    if (SUCCEEDED(hr)) return static_cast<short>(HRESULT_CODE(hr));
    if (a.IsFolder() != b.IsFolder()) return a.IsFolder() ? -1 : 1;
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.name.c_str(), -1, b.name.c_str(), -1) - CSTR_EQUAL;
}

void TFileView::SortRows(std::vector<std::unique_ptr<FileRow>>& rows, int column) const {
    if (column < 0 || column >= kMarkedColumns) return;
    std::stable_sort(rows.begin(), rows.end(),
                     [this, column](const auto& a, const auto& b) { return CompareRows(*a, *b, column) < 0; });
}

void TFileView::MarkColumn(int column) {
    if (!hwnd_) return;
    for (int c = 0; c < kMarkedColumns; ++c) {
        std::wstring caption = c == column ? std::wstring(txt::kSortMark) + kCaptions[c] : kCaptions[c];
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT;
        header.pszText = caption.data();
        ::SendMessageW(hwnd_, LVM_SETCOLUMNW, c, reinterpret_cast<LPARAM>(&header));
    }
}

void TFileView::ColClick(int column) {
    if (popupMenu_) {
        const UINT id = ::GetMenuItemID(popupMenu_, column);
        if (id != static_cast<UINT>(-1) && popupTarget_) ::SendMessageW(popupTarget_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        return;
    }
    // The fifth column shows nothing to sort by: a click on it keeps the order, the mark and the sort of later
    // fills as they were.
    if (column < 0 || column >= kMarkedColumns) return;
    FileListSortState& sort = FileListSort();
    sort.SortDirection[column] = -sort.SortDirection[column];
    MarkColumn(column);
    SortShownRows(column);
    sort.LastSortDirection = sort.SortDirection[column];
    sort.LastSortColumn = column;
}

FileRow* TFileView::RowAt(int item) const {
    if (item < 0 || static_cast<size_t>(item) >= rows_.size()) return nullptr;
    return rows_[static_cast<size_t>(item)].get();
}

void TFileView::SortShownRows(int column) {
    // The control keeps the selection by position, so it is moved with its rows.
    std::unordered_set<const FileRow*> selected;
    for (int i = SelectedIndex(); i >= 0; i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED)) selected.insert(RowAt(i));
    const FileRow* focused = RowAt(ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED));
    SortRows(rows_, column);
    ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (size_t i = 0; i < rows_.size(); ++i) {
        UINT state = selected.count(rows_[i].get()) ? LVIS_SELECTED : 0;
        if (rows_[i].get() == focused) state |= LVIS_FOCUSED;
        if (state) ListView_SetItemState(hwnd_, static_cast<int>(i), state, state);
    }
    ::InvalidateRect(hwnd_, nullptr, FALSE);
}

const ITEMIDLIST* TFileView::ItemIdList(int item) const {
    const FileRow* row = RowAt(item);
    return row ? row->item.get() : nullptr;
}

int TFileView::SelectedIndex() const {
    return hwnd_ ? ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED) : -1;
}

std::wstring TFileView::GetItemPath(int item) const {
    const FileRow* row = RowAt(item);
    if (!folder_ || !row || !row->item) return {};
    return GetDisplayName(folder_.Get(), row->item.get(), SHGDN_FORPARSING).value_or(L"");
}

std::wstring TFileView::GetSelectedPath() const {
    return GetItemPath(SelectedIndex());
}

bool TFileView::IsFolder(int item) const {
    const FileRow* row = RowAt(item);
    return row && row->IsFolder();
}

bool TFileView::SelectedIsFolder() const {
    return IsFolder(SelectedIndex());
}

void TFileView::GetDispInfo(NMLVDISPINFOW& info) {
    FileRow* row = RowAt(info.item.iItem);
    if (!row) return;
    if (info.item.mask & LVIF_STATE) {
        const int overlay = row->OverlayIndex();
        info.item.state &= ~LVIS_OVERLAYMASK;
        if (overlay >= 0) info.item.state |= INDEXTOOVERLAYMASK(overlay + 1);
    }
    if ((info.item.mask & LVIF_TEXT) && info.item.pszText && info.item.cchTextMax > 0) {
        static const std::wstring kNone;
        const std::wstring* text = &kNone;
        switch (info.item.iSubItem) {
            case 0:
                text = &row->caption;
                break;
            case 1:
                text = &row->SizeText();
                break;
            case 2:
                text = &row->typeName;
                break;
            case 3:
                text = &row->DateText();
                break;
        }
        const size_t n = std::min(text->size(), static_cast<size_t>(info.item.cchTextMax - 1));
        std::wmemcpy(info.item.pszText, text->c_str(), n);
        info.item.pszText[n] = L'\0';
    }
    if ((info.item.mask & LVIF_IMAGE) && info.item.iSubItem == 0) {
        if (row->icon < 0) {
            ComPtr<IShellIcon> shellIcon;
            if (folder_) folder_->QueryInterface(IID_PPV_ARGS(&shellIcon));
            row->icon = ItemIcon(shellIcon.Get(), folderIdList_.get(), row->item.get());
        }
        info.item.iImage = row->icon;
        info.item.mask |= LVIF_DI_SETITEM;
    }
}

void TFileView::DblClick() {
    if (OnDblClick) OnDblClick();
    const FileRow* row = RowAt(SelectedIndex());
    if (!row || !row->item || !folder_) return;
    const ULONG attributes = AttributesOf(folder_.Get(), row->item.get(), SFGAO_FOLDER | SFGAO_FILESYSANCESTOR);
    if (tree_ && attributes) {
        // A copy: entering the folder refills this list, which frees the row's own list.
        const UniqueIdList child = CopyFirstItem(row->item.get());
        tree_->SelectChild(child.get());
        return;
    }
    if (!fileExecute_) return;
    const UniqueIdList absolute = ConcatIdLists(folderIdList_.get(), row->item.get());
    if (!absolute) return;
    if (ui::CurrentPrompter().Message(hwnd_, txt::kConfirmExecute, txt::kConfirmCaption, MB_YESNO | MB_ICONQUESTION) ==
        IDYES) {
        ExecuteItem(absolute.get());
    }
}

void TFileView::ExecuteItem(const ITEMIDLIST* absolute) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = hwnd_;
    info.lpParameters = L"";
    info.lpDirectory = L"";
    info.nShow = SW_SHOWNORMAL;
    info.lpIDList = const_cast<ITEMIDLIST*>(absolute);
    ::ShellExecuteExW(&info);  // its outcome is the shell's to report
}

bool TFileView::EndLabelEdit(const NMLVDISPINFOW& info) {
    if (!info.item.pszText) return false;  // cancelled
    const int index = info.item.iItem;
    FileRow* row = RowAt(index);
    if (!row) return false;
    const std::wstring oldCaption = row->caption;
    const std::wstring text = info.item.pszText;
    row->caption = text;
    if (row->item && folder_) {
        ITEMIDLIST* renamed = nullptr;
        // The text is an in-folder name: the shell keeps the entry in its folder and adds back a hidden extension.
        const HRESULT hr = folder_->SetNameOf(hwnd_, row->item.get(), text.c_str(), SHGDN_INFOLDER, &renamed);
        UniqueIdList newItem = OwnIdList(renamed);
        if (SUCCEEDED(hr) && newItem) {
            const ULONG wanted = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
            // The old entry is gone from the disk, so the renamed one answers for it as well.
            const ULONG attributes = AttributesOf(folder_.Get(), row->item.get(), wanted) |
                                     AttributesOf(folder_.Get(), newItem.get(), wanted) |
                                     (row->attributes & SFGAO_FOLDER);
            if (attributes && tree_) tree_->RenameChild(row->item.get(), newItem.get());
            row->item = std::move(newItem);
            row->caption = GetDisplayName(folder_.Get(), row->item.get(), SHGDN_NORMAL).value_or(text);
            row->name = GetDisplayName(folder_.Get(), row->item.get(), SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(L"");
        } else if (FAILED(hr)) {
            row->caption = GetDisplayName(folder_.Get(), row->item.get(), SHGDN_NORMAL).value_or(oldCaption);
        }
    }
    ListView_RedrawItems(hwnd_, index, index);
    return false;  // the row's caption is ours, given through LVN_GETDISPINFO
}

std::optional<LRESULT> TFileView::OnReflected(UINT msg, WPARAM, LPARAM lp) {
    if (msg != WM_NOTIFY) return std::nullopt;
    const auto* header = reinterpret_cast<const NMHDR*>(lp);
    switch (header->code) {
        case LVN_DELETEALLITEMS:
            return TRUE;  // the rows are ours: no notification per row
        case LVN_ODFINDITEMW:
            return FindRow(*reinterpret_cast<const NMLVFINDITEMW*>(lp));
        case LVN_GETDISPINFOW:
            GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lp));
            return 0;
        case LVN_COLUMNCLICK:
            ColClick(reinterpret_cast<const NMLISTVIEW*>(lp)->iSubItem);
            return 0;
        case LVN_BEGINLABELEDITW: {
            const FileRow* row = RowAt(reinterpret_cast<const NMLVDISPINFOW*>(lp)->item.iItem);
            return (readOnly_ || !row) ? TRUE : FALSE;
        }
        case LVN_ENDLABELEDITW:
            return EndLabelEdit(*reinterpret_cast<const NMLVDISPINFOW*>(lp)) ? TRUE : FALSE;
        case NM_DBLCLK:
        case NM_RETURN:  // Enter opens as a double-click does
            DblClick();
            return 0;
        case NM_CLICK:
            if (OnClick) OnClick();
            return 0;
        case LVN_KEYDOWN:
            if (reinterpret_cast<const NMLVKEYDOWN*>(lp)->wVKey == VK_F2 && !readOnly_) {
                const int focused = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
                if (focused >= 0) ListView_EditLabel(hwnd_, focused);
            }
            return 0;
    }
    return std::nullopt;
}

std::optional<LRESULT> TFileView::OnListMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            // The control selects the row under the pointer first, so handlers see the clicked row as selected.
            const LRESULT result = subclass_.CallOriginal(msg, wp, lp);
            const int button = msg == WM_LBUTTONDOWN ? 1 : (msg == WM_RBUTTONDOWN ? 2 : 3);
            if (OnMouseDown) OnMouseDown(button, x, y);
            MouseDown(button, x, y);
            return result;
        }
        case WM_MOUSEMOVE: {
            const LRESULT result = subclass_.CallOriginal(msg, wp, lp);
            const int button = (wp & MK_LBUTTON) ? 1 : (wp & MK_RBUTTON) ? 2 : (wp & MK_MBUTTON) ? 3 : 0;
            if (OnMouseMove) OnMouseMove(button, x, y);
            MouseMove(wp, x, y);
            return result;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            const LRESULT result = subclass_.CallOriginal(msg, wp, lp);
            const int button = msg == WM_LBUTTONUP ? 1 : (msg == WM_RBUTTONUP ? 2 : 3);
            if (OnMouseUp) OnMouseUp(button, x, y);
            MouseUp(button);
            return result;
        }
        case WM_DESTROY:
            // The parent may be going first; the rows go with the control whoever destroys it.
            rows_.clear();
            StopReflecting(hwnd_);
            hwnd_ = nullptr;
            return std::nullopt;
    }
    return std::nullopt;
}

int TFileView::FindRow(const NMLVFINDITEMW& find) const {
    // Typing selects the next row whose caption starts with the typed text, in any case.
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || rows_.empty()) return -1;
    const std::wstring typed = find.lvfi.psz;
    const int n = static_cast<int>(rows_.size());
    const int start = find.iStart < 0 || find.iStart >= n ? 0 : find.iStart;
    for (int k = 0; k < n; ++k) {
        const int i = (start + k) % n;
        const std::wstring& caption = rows_[static_cast<size_t>(i)]->caption;
        if (caption.size() < typed.size()) continue;
        if (::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, caption.c_str(), static_cast<int>(typed.size()),
                             typed.c_str(), static_cast<int>(typed.size())) == CSTR_EQUAL) {
            return i;
        }
    }
    return -1;
}

void TFileView::AttachMouse() {
    subclass_.Attach(hwnd_, [this](UINT msg, WPARAM wp, LPARAM lp) { return OnListMessage(msg, wp, lp); });
}

void TFileView::MouseDown(int button, int x, int y) {
    downX_ = x;
    downY_ = y;
    mouseArmed_ = true;
    rightButtonDown_ = button == 2;
}

void TFileView::MouseUp(int) {
    // A release that reaches us ends the press, whatever it was: the control keeps the release of a right click it
    // took for a click to itself, so a release seen here followed a press that moved away and is no click.
    ClearMouse();
}

void TFileView::ClearMouse() noexcept {
    downX_ = downY_ = 0;
    mouseArmed_ = false;
    rightButtonDown_ = false;
}

void TFileView::MouseMove(WPARAM keys, int x, int y) {
    if (!mouseArmed_ || !hwnd_) return;
    const bool leftDown = (keys & MK_LBUTTON) || (::GetAsyncKeyState(VK_LBUTTON) & 0x8000);
    const bool rightDown = (keys & MK_RBUTTON) || (::GetAsyncKeyState(VK_RBUTTON) & 0x8000);
    const bool isNear = std::abs(downX_ - x) <= kNear && std::abs(downY_ - y) <= kNear;
    // Held across the modal menu or drag, which may refill or re-point this list.
    const ComPtr<IShellFolder> folder = folder_;
    if (isNear) {
        if (leftDown || rightDown || !rightButtonDown_ || !contextMenu_ || !folder || SelectedIndex() < 0) return;
        int count = 0;
        const UniqueIdList items = GatherSelection(count);
        POINT screen{x, y};
        ::ClientToScreen(hwnd_, &screen);
        ClearMouse();  // before the menu's own loop, which may report more movements
        contextMenu_->ShowForItems(hwnd_, folder.Get(), items.get(), count, screen);
        return;
    }
    if (!leftDown && !rightDown) return;
    if (!dropSource_ || !folder || SelectedIndex() < 0) return;
    int count = 0;
    const UniqueIdList items = GatherSelection(count);
    ClearMouse();
    dropSource_->DragItems(hwnd_, folder.Get(), items.get(), count);
}

UniqueIdList TFileView::GatherSelection(int& count) const {
    UniqueIdList gathered;
    count = 0;
    for (int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED)) {
        const FileRow* row = RowAt(i);
        if (!row || !row->item) continue;
        // Each item goes in front, so the sibling list ends up in reverse display order.
        gathered = ConcatIdListsAndFree(CopyFirstItem(row->item.get()), std::move(gathered));
        ++count;
    }
    return gathered;
}

}  // namespace shell
