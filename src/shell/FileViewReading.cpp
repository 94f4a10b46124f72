// The file list's reading: folders are read, read again and sorted on the list's worker thread, and what comes
// back through the inbox replaces the rows on the window's thread. One job of a list runs at a time; a request that
// comes while one runs is remembered and runs next, and a newer folder makes every older job stale, so that
// nothing of it is ever shown.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "shell/FileView.h"
#include "shell/FolderView.h"

namespace shell {
namespace {

// The same folder by the shell's order, not by bytes: an item's list may carry its time, which a change inside
// the folder moves on.
bool SameFolder(const ITEMIDLIST* a, const ITEMIDLIST* b) noexcept {
    const UINT size = IdListSize(a);
    if (size == IdListSize(b) && std::memcmp(a, b, size) == 0) return true;
    return CountItems(a) == CountItems(b) && CompareIds(DesktopFolder(), a, b) == 0;
}

}  // namespace

SortOrder TFileView::CurrentOrder() const noexcept {
    const FileListSortState& sort = FileListSort();
    return SortOrder{sort.LastSortColumn, sort.LastSortDirection, nameOrder_};
}

void TFileView::BrowseTo(const ITEMIDLIST* absolute) {
    if (!absolute) return;
    UniqueIdList copy = ConcatIdLists(absolute, nullptr);
    if (!copy) return;
    const bool sameFolder = folderIdList_ && SameFolder(folderIdList_.get(), copy.get());
    folderIdList_.swap(copy);
    folderPath_ = PathOfIdList(folderIdList_.get());
    if (sameFolder) {
        if (!Loading()) FillItems();
        return;
    }
    // Bound when first asked for: binding a folder of many entries may wait on the disk.
    ComPtr<IShellFolder> folder;
    folder_.Swap(folder);
    // Another folder. What was shown waits aside, to be shown again should the new folder prove unlistable; the
    // part of a folder that was still arriving goes.
    if (listed_) {
        DropRows(std::move(previousRows_));
        previousRows_ = std::move(rows_);
        previousFolderIdList_ = std::move(copy);
        previousFolder_ = std::move(folder);
    } else {
        DropRows(std::move(rows_));
    }
    rows_.clear();
    ++rowsVersion_;
    generation_.CancelAll();
    busy_ = refreshWanted_ = sortWanted_ = listed_ = sortFailed_ = false;
    iconQueue_.clear();
    unlisted_.clear();
    heldRefresh_.reset();
    sortHeld_ = false;
    DropRows(std::move(heldSort_));
    heldSort_.clear();
    if (hwnd_) {
        if (ListView_GetEditControl(hwnd_)) ListView_CancelEditLabel(hwnd_);
        editingRow_.reset();
        ListView_SetItemCountEx(hwnd_, 0, 0);
    }
    if (Loading()) return;
    StartRead(ReadKind::NewFolder);
}

void TFileView::FillItems() {
    if (!folderIdList_ || !hwnd_) return;
    refreshWanted_ = true;
    NextJob();
}

void TFileView::NextJob() {
    if (busy_ || !hwnd_ || !folderIdList_) return;
    // While a label is edited the rows stay where they are: the control ends the edit when it scrolls, and the edit
    // box would stand over another row. Refreshes and sorts wait for the edit to end.
    const bool editing = editingRow_ != nullptr;
    if (refreshWanted_ && !editing) {
        StartRead(listed_ ? ReadKind::Refresh : ReadKind::NewFolder);
    } else if (!editing && (sortWanted_ || (listed_ && !sortFailed_ && CurrentOrder() != shownOrder_))) {
        StartSort();
    } else if (!iconQueue_.empty()) {
        StartIcons();
    }
}

void TFileView::EditEnded() {
    editingRow_.reset();
    if (sortHeld_) {
        sortHeld_ = false;
        Rows held = std::move(heldSort_);
        heldSort_.clear();
        if (heldBase_ == rowsVersion_) {
            ShowRows(std::move(held));
            shownOrder_ = heldOrder_;
        } else {
            sortWanted_ = true;  // the rename changed the rows: they are sorted again
        }
    }
    if (heldRefresh_) {
        const std::shared_ptr<FolderReadResult> held = std::move(heldRefresh_);
        heldRefresh_.reset();
        if (heldBase_ == rowsVersion_) {
            ShowRows(std::move(held->rows));
            ReadDone(*held);
            return;
        }
        refreshWanted_ = true;  // the rename changed the rows: the difference is taken again
    }
    // After the control has finished with the edit.
    if (inbox_) inbox_->MakeSender().Post([this] { NextJob(); });
}

void TFileView::StartRead(ReadKind kind) {
    // Every fill sorts by the last sort, and a click on another column starts from its direction.
    FileListSortState& sort = FileListSort();
    for (int c = 0; c < 4; ++c) sort.SortDirection[c] = sort.LastSortDirection;
    MarkColumn(sort.LastSortColumn);

    auto request = std::make_shared<FolderRead>();
    request->folderIdList = ConcatIdLists(folderIdList_.get(), nullptr);
    request->path = folderPath_;
    request->mask = mask_;
    request->desktop = ReplacementDesktopFolder();
    request->order = CurrentOrder();
    request->nameOrderKnown = nameOrderKnown_;
    if (kind == ReadKind::Refresh) {
        request->previous = rows_;
        request->previousOrder = shownOrder_;
        request->unlisted = unlisted_;
        request->listAll = maskChanged_;
    }
    maskChanged_ = false;
    refreshWanted_ = sortWanted_ = false;
    const ui::Generation::Token token = generation_.Start();
    const std::uint64_t base = rowsVersion_;
    const ui::UiInbox::Sender inbox = inbox_->MakeSender();
    // `this` is used only by what the job posts, which runs only while this list's inbox lives.
    worker_->Run([this, kind, request, token, base, inbox] {
        // A read that throws (no thread for the directory listing, no memory) reports back as a read that failed:
        // the list waits for every job it started.
        std::shared_ptr<FolderReadResult> result;
        try {
            result = std::make_shared<FolderReadResult>(ReadFolder(*request, token));
        } catch (...) {
            result.reset();
        }
        if (token.Stale()) return;
        if (!result || !result->listed) {
            inbox.Post([this, kind, token] {
                if (!token.Stale()) ReadFailed(kind);
            });
        } else if (kind == ReadKind::Refresh) {
            inbox.Post([this, token, result, base] {
                if (!token.Stale()) RefreshArrived(result, base);
            });
        } else {
            // All of it at once: the control takes any number of rows in one step, and parts posted together
            // would only be run together, each making the control count its rows again.
            inbox.Post([this, token, result] {
                if (!token.Stale()) RowsArrived(*result);
            });
        }
    });
    busy_ = true;  // once queued: a worker that cannot take the job leaves nothing to wait for
}

void TFileView::RowsArrived(FolderReadResult& result) {
    if (!hwnd_) return;
    DropRows(std::exchange(rows_, std::move(result.rows)));
    ++rowsVersion_;
    ListView_SetItemCountEx(hwnd_, static_cast<int>(rows_.size()), LVSICF_NOSCROLL);
    if (!rows_.empty()) ListView_EnsureVisible(hwnd_, 0, FALSE);  // another folder starts at its top
    ReadDone(result);
}

void TFileView::RefreshArrived(const std::shared_ptr<FolderReadResult>& result, std::uint64_t base) {
    busy_ = false;
    if (editingRow_) {
        heldRefresh_ = result;  // shown when the edit ends
        heldBase_ = base;
        NextJob();
        return;
    }
    if (base != rowsVersion_) {
        // The rows changed meanwhile (a rename in place): the difference is taken again from what is shown now.
        refreshWanted_ = true;
        NextJob();
        return;
    }
    // Most refreshes of a big folder find one file changed, or none here (a change below it): the control is
    // touched only when the rows differ.
    if (result->rows != rows_) ShowRows(std::move(result->rows));
    ReadDone(*result);
}

void TFileView::ReadDone(const FolderReadResult& result) {
    busy_ = false;
    listed_ = true;
    sortFailed_ = false;
    ClearMouse();  // a press on rows that have changed beneath it opens no menu
    shownOrder_ = result.order;
    nameOrder_ = result.nameOrder;
    nameOrderKnown_ = result.nameOrderKnown;
    unlisted_ = result.unlisted;
    DropRows(std::move(previousRows_));
    previousRows_.clear();
    previousFolder_.Reset();
    previousFolderIdList_.reset();
    NextJob();
}

void TFileView::ReadFailed(ReadKind kind) {
    busy_ = false;
    if (kind == ReadKind::Refresh) {
        // The folder shown could not be read again (a share that dropped, a listing that broke off): its rows
        // stay, and so does the panel; the next refresh tries again.
        NextJob();
        return;
    }
    if (previousFolderIdList_ && hwnd_) {
        // The rows shown before and the folder they belong to stay together.
        folderIdList_ = std::move(previousFolderIdList_);
        folderPath_ = PathOfIdList(folderIdList_.get());
        folder_ = std::move(previousFolder_);
        DropRows(std::exchange(rows_, std::move(previousRows_)));
        previousRows_.clear();
        ForgetAskedIcons(rows_);  // what was asked for them went with the other folder's jobs
        listed_ = true;
        ++rowsVersion_;
        ListView_SetItemCountEx(hwnd_, static_cast<int>(rows_.size()), 0);
        ::InvalidateRect(hwnd_, nullptr, TRUE);
    }
    SendTreeBack();
    NextJob();
}

void TFileView::StartSort() {
    sortWanted_ = false;
    const SortOrder order = CurrentOrder();
    if (!listed_ || order == shownOrder_) {
        NextJob();
        return;
    }
    auto rows = std::make_shared<Rows>(rows_);
    const ui::Generation::Token token = generation_.Start();
    const std::uint64_t base = rowsVersion_;
    const ui::UiInbox::Sender inbox = inbox_->MakeSender();
    worker_->Run([this, rows, order, token, base, inbox] {
        bool sorted = true;
        try {
            SortRows(*rows, order);
        } catch (...) {
            sorted = false;  // the rows stay in the order shown
        }
        if (token.Stale()) return;
        inbox.Post([this, rows, order, token, base, sorted] {
            if (token.Stale()) return;
            if (sorted) {
                SortArrived(std::move(*rows), order, base);
            } else {
                SortFailed();
            }
        });
    });
    busy_ = true;
}

void TFileView::SortFailed() {
    busy_ = false;
    // Not tried again by itself, which would only fail again: a click on a header or the next read sorts.
    sortFailed_ = true;
    NextJob();
}

void TFileView::SortArrived(Rows sorted, SortOrder order, std::uint64_t base) {
    busy_ = false;
    sortFailed_ = false;
    if (editingRow_) {
        // As a refresh is: the rows stay under the edit box, and move once the edit ends.
        heldSort_ = std::move(sorted);
        heldOrder_ = order;
        heldBase_ = base;
        sortHeld_ = true;
        NextJob();
        return;
    }
    if (base == rowsVersion_) {
        ShowRows(std::move(sorted));
        shownOrder_ = order;
    }
    NextJob();  // sorts again after another click, or rows that changed meanwhile
}

void TFileView::StartIcons() {
    auto rows = std::make_shared<Rows>(std::move(iconQueue_));
    iconQueue_.clear();
    const std::shared_ptr<ITEMIDLIST> folderIdList = ConcatIdLists(folderIdList_.get(), nullptr);
    const ComPtr<IShellFolder> desktop = ReplacementDesktopFolder();
    const ui::Generation::Token token = generation_.Start();
    const ui::UiInbox::Sender inbox = inbox_->MakeSender();
    worker_->Run([this, rows, folderIdList, desktop, token, inbox] {
        std::vector<int> icons;
        try {
            icons = ReadIcons(folderIdList.get(), desktop.Get(), *rows, token);
        } catch (...) {
            icons.clear();  // none of them: asked for again when drawn again
        }
        if (token.Stale()) return;
        inbox.Post([this, rows, icons, token] {
            if (!token.Stale()) IconsArrived(*rows, icons);
        });
    });
    busy_ = true;
}

void TFileView::IconsArrived(const Rows& rows, const std::vector<int>& icons) {
    busy_ = false;
    for (size_t i = 0; i < rows.size() && i < icons.size(); ++i) {
        FileRow& row = *rows[i];
        if (row.ownIcon || !row.type) {
            row.icon = icons[i];
        } else {
            row.type->icon = icons[i];  // every row of the kind shows it
        }
    }
    // Rows the job did not answer for (it failed, or could not bind the folder) are asked for when they are drawn
    // again; drawing them again now would only ask again at once.
    if (icons.size() < rows.size())
        ForgetAskedIcons(Rows(rows.begin() + static_cast<std::ptrdiff_t>(icons.size()), rows.end()));
    if (hwnd_ && !icons.empty()) ::InvalidateRect(hwnd_, nullptr, FALSE);
    NextJob();
}

void TFileView::ForgetAskedIcons(const Rows& rows) {
    for (const SharedRow& row : rows) {
        if (row->Icon() >= 0) continue;
        bool& asked = row->ownIcon || !row->type ? row->iconAsked : row->type->iconAsked;
        asked = false;
    }
}

void TFileView::ShowRows(Rows rows) {
    if (!hwnd_) return;
    // Most refreshes of a big folder change a row or two where it stands (a file rewritten): every entry keeps its
    // place, and so do the selection, the focus and the scroll, which the control keeps by position. Only the rows
    // that changed are drawn again; the control is not asked to lay out and draw all of it.
    if (rows.size() == rows_.size()) {
        std::vector<int> changed;
        size_t i = 0;
        for (; i < rows.size(); ++i) {
            if (rows[i] == rows_[i]) continue;
            if (rows[i]->name != rows_[i]->name) break;
            changed.push_back(static_cast<int>(i));
        }
        if (i == rows.size()) {
            DropRows(std::exchange(rows_, std::move(rows)));
            ++rowsVersion_;
            constexpr size_t kFewChanged = 64;
            if (changed.size() > kFewChanged) {
                ::InvalidateRect(hwnd_, nullptr, FALSE);
            } else {
                for (int at : changed) ListView_RedrawItems(hwnd_, at, at);
            }
            return;
        }
    }
    // The control keeps the selection, the focus and the scroll by position; they follow their entries by name.
    std::unordered_set<std::wstring> selected;
    std::vector<int> selectedAt;
    if (ListView_GetSelectedCount(hwnd_) > 0) {
        for (int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); i >= 0;
             i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED)) {
            selectedAt.push_back(i);
            if (const FileRow* row = RowAt(i)) selected.insert(row->name);
        }
    }
    const int focusedAt = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
    std::wstring focused, top;
    if (const FileRow* row = RowAt(focusedAt)) focused = row->name;
    if (const FileRow* row = RowAt(ListView_GetTopIndex(hwnd_))) top = row->name;
    const int horizontal = ::GetScrollPos(hwnd_, SB_HORZ);

    ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    for (int i : selectedAt) ListView_SetItemState(hwnd_, i, 0, LVIS_SELECTED);
    if (focusedAt >= 0) ListView_SetItemState(hwnd_, focusedAt, 0, LVIS_FOCUSED);
    Rows before = std::exchange(rows_, std::move(rows));
    ++rowsVersion_;
    // Counting the rows again costs the control a pass over all of them.
    if (ListView_GetItemCount(hwnd_) != static_cast<int>(rows_.size()))
        ListView_SetItemCountEx(hwnd_, static_cast<int>(rows_.size()), LVSICF_NOSCROLL);
    // The exact name first: a folder that tells case apart may hold "a.txt" and "A.txt", two entries. A name found
    // only in another case is the same entry with its case changed (renamed by the user or by another program).
    int topIndex = -1, focusedIndex = -1;
    if (!selected.empty() || !focused.empty() || !top.empty()) {
        size_t selectedFound = 0;
        for (size_t i = 0; i < rows_.size(); ++i) {
            const std::wstring& name = rows_[i]->name;
            const int index = static_cast<int>(i);
            if (!selected.empty() && selected.count(name)) {
                ListView_SetItemState(hwnd_, index, LVIS_SELECTED, LVIS_SELECTED);
                ++selectedFound;
            }
            if (!focused.empty() && name == focused) focusedIndex = index;
            if (!top.empty() && name == top) topIndex = index;
        }
        if (selectedFound < selected.size() || (!focused.empty() && focusedIndex < 0) ||
            (!top.empty() && topIndex < 0)) {
            std::unordered_set<std::wstring> names;  // in upper case: those no row carries as they were
            for (const std::wstring& name : selected) names.insert(UpperCase(name));
            for (size_t i = 0; i < rows_.size(); ++i)
                if (selected.count(rows_[i]->name)) names.erase(UpperCase(rows_[i]->name));
            const std::wstring focusedKey = focusedIndex < 0 ? UpperCase(focused) : std::wstring();
            const std::wstring topKey = topIndex < 0 ? UpperCase(top) : std::wstring();
            // A name that was there before as it is now belongs to another entry, not to one renamed in case.
            std::unordered_set<std::wstring_view> shownBefore;
            for (const SharedRow& row : before) shownBefore.insert(row->name);
            std::wstring key;  // one buffer for every row: a big folder's names are not copied one by one
            for (size_t i = 0; i < rows_.size(); ++i) {
                if (shownBefore.count(rows_[i]->name)) continue;
                key.assign(rows_[i]->name);
                if (!key.empty()) ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
                const int index = static_cast<int>(i);
                if (names.erase(key)) ListView_SetItemState(hwnd_, index, LVIS_SELECTED, LVIS_SELECTED);
                if (focusedIndex < 0 && !focusedKey.empty() && key == focusedKey) focusedIndex = index;
                if (topIndex < 0 && !topKey.empty() && key == topKey) topIndex = index;
            }
        }
        if (focusedIndex >= 0) ListView_SetItemState(hwnd_, focusedIndex, LVIS_FOCUSED, LVIS_FOCUSED);
    }
    DropRows(std::move(before));
    const bool report = (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    RECT first{};
    if (topIndex < 0) {
        // The top row went: the list stays where it is.
    } else if (report && ListView_GetItemRect(hwnd_, 0, &first, LVIR_BOUNDS) && first.bottom > first.top) {
        ListView_Scroll(hwnd_, 0, (topIndex - ListView_GetTopIndex(hwnd_)) * (first.bottom - first.top));
    } else {
        ListView_EnsureVisible(hwnd_, topIndex, FALSE);
    }
    ListView_Scroll(hwnd_, horizontal - ::GetScrollPos(hwnd_, SB_HORZ), 0);
    ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TFileView::DropRows(Rows rows) {
    if (rows.empty()) return;
    auto dropped = std::make_shared<Rows>(std::move(rows));
    worker_->Run([dropped] {});
}

}  // namespace shell
