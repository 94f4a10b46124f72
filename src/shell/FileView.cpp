#include "shell/FileView.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>
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

ULONG AttributesOf(IShellFolder* folder, const ITEMIDLIST* item, ULONG wanted) {
    if (!folder || !item) return 0;
    ULONG attributes = wanted;
    if (FAILED(folder->GetAttributesOf(1, &item, &attributes))) return 0;
    return attributes & wanted;
}

}  // namespace

FileListSortState& FileListSort() noexcept {
    static FileListSortState state;  // one for every list of the process, as the lists share one sort
    return state;
}

TFileView::TFileView(ui::Component* owner, HWND parent)
    : ui::Component(owner),
      thousands_(LocaleText(LOCALE_STHOUSAND, L",")),
      dateSeparator_(LocaleText(LOCALE_SDATE, L"/")),
      timeSeparator_(LocaleText(LOCALE_STIME, L":")),
      inbox_(std::make_unique<ui::UiInbox>()),
      worker_(std::make_unique<ui::BackgroundWorker>()) {
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
    generation_.CancelAll();  // a read under way stops at its next step; nothing it sends arrives
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
    if (folderIdList_) FillItems();
}

void TFileView::SetMask(const std::vector<std::wstring>* extensions) {
    if (!extensions) return;
    mask_ = *extensions;
    maskChanged_ = true;
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

IShellFolder* TFileView::ShellFolder() const {
    if (!folder_ && folderIdList_) folder_ = BindFolder(folderIdList_.get());
    return folder_.Get();
}

ComPtr<IShellFolder> TFileView::BindFolder(const ITEMIDLIST* absolute) const {
    ComPtr<IShellFolder> folder;
    if (IShellFolder* desktop = DesktopFolder()) {
        if (SUCCEEDED(desktop->BindToObject(absolute, nullptr, IID_PPV_ARGS(&folder))) && folder) return folder;
    }
    folder.Reset();
    if (FAILED(::SHGetDesktopFolder(folder.GetAddressOf()))) return nullptr;
    return folder;
}

void TFileView::SendTreeBack() {
    if (tree_) tree_->SetSelected(tree_->PreviousNode());
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
    sort.LastSortDirection = sort.SortDirection[column];
    sort.LastSortColumn = column;
    // The rows follow from the worker, which sorts them without holding the window.
    sortWanted_ = true;
    NextJob();
}

FileRow* TFileView::RowAt(int item) const {
    if (item < 0 || static_cast<size_t>(item) >= rows_.size()) return nullptr;
    return rows_[static_cast<size_t>(item)].get();
}

int TFileView::IndexOfRow(const FileRow* row) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].get() == row) return static_cast<int>(i);
    return -1;
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
    if (!folderIdList_ || !row || !row->item) return {};
    // An entry on disk is the folder's path and its name, which the shell would give after binding the folder.
    if (row->hasFindData && !folderPath_.empty())
        return folderPath_ + (folderPath_.back() == L'\\' ? L"" : L"\\") + row->name;
    return GetDisplayName(ShellFolder(), row->item.get(), SHGDN_FORPARSING).value_or(L"");
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
        std::wstring made;  // the size and date texts are made for the rows drawn only
        std::wstring_view text;
        switch (info.item.iSubItem) {
            case 0:
                text = row->Caption();
                break;
            case 1:
                if (row->hasFindData) made = FormatSize(row->size, thousands_);
                text = made;
                break;
            case 2:
                if (row->type) text = row->type->name;
                break;
            case 3:
                if (row->hasFindData) made = FormatDate(row->written, dateSeparator_, timeSeparator_);
                text = made;
                break;
        }
        const size_t n = std::min(text.size(), static_cast<size_t>(info.item.cchTextMax - 1));
        std::wmemcpy(info.item.pszText, text.data(), n);
        info.item.pszText[n] = L'\0';
    }
    if ((info.item.mask & LVIF_IMAGE) && info.item.iSubItem == 0) {
        const int icon = row->Icon();
        bool& asked = row->ownIcon || !row->type ? row->iconAsked : row->type->iconAsked;
        if (icon < 0 && !asked) {
            // Asked of the shell on the worker, which may have to open the file: the rows are drawn again then.
            asked = true;
            if (iconQueue_.empty() && inbox_) inbox_->MakeSender().Post([this] { NextJob(); });
            iconQueue_.push_back(rows_[static_cast<size_t>(info.item.iItem)]);
        }
        info.item.iImage = icon;
    }
}

void TFileView::DblClick() {
    if (OnDblClick) OnDblClick();
    const FileRow* row = RowAt(SelectedIndex());
    if (!row || !row->item || !folderIdList_) return;
    // The attributes the row was read with: asking the shell again would wait on the disk here.
    if (tree_ && row->IsFolder()) {
        // A copy: entering the folder empties this list, which frees the row's own list.
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
    Rename(info);
    EditEnded();
    return false;  // the row's caption is ours, given through LVN_GETDISPINFO
}

void TFileView::Rename(const NMLVDISPINFOW& info) {
    // The row the edit began on, wherever it stands now; nothing when it has gone.
    const SharedRow row = editingRow_;
    if (!info.item.pszText || !row || !row->item) return;  // cancelled
    // Held across the call: the shell may show boxes (the extension changes, the name is taken, access is refused)
    // and so dispatch messages, and a folder chosen meanwhile takes this one's place.
    const ComPtr<IShellFolder> folder = ShellFolder();
    if (!folder || IndexOfRow(row.get()) < 0) return;
    const std::wstring text = info.item.pszText;
    ITEMIDLIST* raw = nullptr;
    // The text is an in-folder name: the shell keeps the entry in its folder and adds back a hidden extension. The
    // tree holds its reads of the folder meanwhile: one applied before it hears of the new name would take the
    // renamed folder for one gone and one new.
    if (tree_) tree_->HoldReadsOfSelected(true);
    const HRESULT hr = folder->SetNameOf(hwnd_, row->item.get(), text.c_str(), SHGDN_INFOLDER, &raw);
    if (tree_) tree_->HoldReadsOfSelected(false);
    UniqueIdList newItem = OwnIdList(raw);
    if (FAILED(hr) || !newItem) return;  // the row, and so its old name, stays
    // Gone with the folder, when the list moved on meanwhile: the next read of the folder shows the new name.
    if (!hwnd_ || folder.Get() != folder_.Get() || IndexOfRow(row.get()) < 0) return;
    // The old entry is gone from the disk, so the renamed one answers for it as well. The tree may list the folder
    // here and now, with boxes of the shell's own.
    if (tree_ && (row->IsFolder() || AttributesOf(folder.Get(), newItem.get(), SFGAO_FOLDER | SFGAO_FILESYSANCESTOR)))
        tree_->RenameChild(row->item.get(), newItem.get());
    // The row as it stands now.
    const int index = IndexOfRow(row.get());
    if (index < 0 || !hwnd_ || folder.Get() != folder_.Get()) return;
    SharedRow renamed = CopyRow(*row);
    renamed->name = GetDisplayName(folder.Get(), newItem.get(), SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(L"");
    renamed->caption = GetDisplayName(folder.Get(), newItem.get(), SHGDN_NORMAL).value_or(text);
    renamed->captionForm = CaptionForm::Own;
    renamed->item = std::move(newItem);
    rows_[static_cast<size_t>(index)] = renamed;  // a new row: a read under way may hold the old one
    ++rowsVersion_;
    // Where the new name sorts: the rows stay in their order, which a later refresh merges new entries into.
    Rows placed = rows_;
    placed.erase(placed.begin() + index);
    const auto at = std::upper_bound(
        placed.begin(), placed.end(), renamed,
        [this](const SharedRow& a, const SharedRow& b) { return CompareRows(*a, *b, shownOrder_) < 0; });
    if (at - placed.begin() == index) {
        ListView_RedrawItems(hwnd_, index, index);
        return;
    }
    placed.insert(at, std::move(renamed));
    ShowRows(std::move(placed));  // the selection, the focus and the top row follow their names
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
            const int item = reinterpret_cast<const NMLVDISPINFOW*>(lp)->item.iItem;
            if (readOnly_ || !RowAt(item)) return TRUE;
            editingRow_ = rows_[static_cast<size_t>(item)];
            return FALSE;
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
        const std::wstring_view caption = rows_[static_cast<size_t>(i)]->Caption();
        if (caption.size() < typed.size()) continue;
        if (::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, caption.data(), static_cast<int>(typed.size()),
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
    if (isNear) {
        if (leftDown || rightDown || !rightButtonDown_ || !contextMenu_ || SelectedIndex() < 0) return;
        // Held across the modal menu, which may refill or re-point this list.
        const ComPtr<IShellFolder> folder = ShellFolder();
        if (!folder) return;
        int count = 0;
        const UniqueIdList items = GatherSelection(count);
        POINT screen{x, y};
        ::ClientToScreen(hwnd_, &screen);
        ClearMouse();  // before the menu's own loop, which may report more movements
        contextMenu_->ShowForItems(hwnd_, folder.Get(), items.get(), count, screen);
        return;
    }
    if (!leftDown && !rightDown) return;
    if (!dropSource_ || SelectedIndex() < 0) return;
    const ComPtr<IShellFolder> folder = ShellFolder();
    if (!folder) return;
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
