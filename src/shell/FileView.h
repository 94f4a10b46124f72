// The file list: the entries of one shell folder in a list view (name, size, type, date), sorted by the column whose
// header was clicked last. The folder tree hands it the folder to show; the list asks the tree to enter a sub-folder
// on a double-click, tells it of a folder renamed in place, and sends it back when a folder cannot be listed.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/FileRows.h"
#include "shell/FileSort.h"
#include "shell/FolderReader.h"
#include "shell/ShView.h"
#include "ui/background.h"
#include "ui/component.h"
#include "ui/window.h"

namespace shell {

class TFolderView;
class TContextMenuEx;
class TDropSourceEx;

// The sort of every file list in the process: one direction per column (+1 ascending, -1 descending; the fifth
// column's stays 0), and the column and direction of the last sort, which every fill sorts by again.
struct FileListSortState {
    int SortDirection[5] = {1, 1, 1, 1, 0};
    int LastSortDirection = 1;
    int LastSortColumn = 0;
};
FileListSortState& FileListSort() noexcept;

enum class ListViewStyle { Icon, SmallIcon, List, Report };

class TFileView : public ui::Component, public ui::ReflectingControl, public LinkedFolderView {
public:
    TFileView(ui::Component* owner, HWND parent);  // creates the native list view as a child of parent
    ~TFileView() override;

    HWND Handle() const noexcept { return hwnd_; }
    void SetBounds(int left, int top, int width, int height) { ui::Place(hwnd_, left, top, width, height); }

    // Shows the folder of an absolute list; the caller keeps the list. A null list does nothing. Another folder is
    // read on the list's worker thread; until its rows arrive the list is empty, and a newer folder overtakes it.
    void BrowseTo(const ITEMIDLIST* absolute) override;
    // Reads the folder shown again, on the worker, and applies only the difference: new rows appear, rows of
    // entries that went go, changed rows change in place; the selection, the focused row, the scroll position and
    // a rename in progress stay.
    void FillItems();
    // True until the rows show the folder's current contents in the current order, their own icons included
    // (tests and benchmarks wait for the end).
    bool Reading() const noexcept {
        return busy_ || refreshWanted_ || sortWanted_ || heldRefresh_ || sortHeld_ || !iconQueue_.empty();
    }

    void SetFolderView(TFolderView* tree);  // the back link; called by TFolderView::SetFileView only
    TFolderView* FolderView() const noexcept { return tree_; }
    void SetContextMenu(TContextMenuEx* menu);
    TContextMenuEx* ContextMenu() const noexcept { return contextMenu_; }
    void SetDropSource(TDropSourceEx* source);
    TDropSourceEx* DropSource() const noexcept { return dropSource_; }

    // The parsing name (a full path for file-system entries) of the selected row or of a given row; empty when
    // there is no folder, no such row or the row has no entry.
    std::wstring GetSelectedPath() const;
    std::wstring GetItemPath(int item) const;
    // Whether the selected row or a given row is a folder (or an item the shell browses like one), which a
    // double-click enters; false for no such row.
    bool SelectedIsFolder() const;
    bool IsFolder(int item) const;

    bool FileExecute() const noexcept { return fileExecute_; }
    void SetFileExecute(bool on) noexcept { fileExecute_ = on; }
    const std::vector<std::wstring>& Mask() const noexcept { return mask_; }
    void SetMask(const std::vector<std::wstring>* extensions);  // copied; shown from the next fill on
    // A header click then clicks the menu's item at the column's index (WM_COMMAND to the target) instead of
    // sorting. Neither is owned.
    void SetMyPopupMenu(HMENU menu, HWND commandTarget) noexcept;
    HMENU MyPopupMenu() const noexcept { return popupMenu_; }
    int MyColBan = 0;  // stored with the form; nothing depends on it

    void SetMultiSelect(bool on);
    void SetRowSelect(bool on);
    void SetHideSelection(bool on);
    void SetReadOnly(bool on);
    void SetViewStyle(ListViewStyle style);

    // The folder shown; null before the first BrowseTo.
    const ITEMIDLIST* FolderIdList() const noexcept { return folderIdList_.get(); }
    // Bound when first asked for after the folder changes.
    IShellFolder* ShellFolder() const;
    // The entry of a row (relative to the folder shown); null for no such row.
    const ITEMIDLIST* ItemIdList(int item) const;

    std::function<void()> OnClick, OnDblClick;
    // button: 1 left, 2 right, 3 middle; client coordinates. Raised before the list's own handling.
    std::function<void(int button, int x, int y)> OnMouseDown, OnMouseMove, OnMouseUp;
    // Forgets the press being tracked, so that it opens no menu and starts no drag: for an owner that answered it.
    void CancelMouseTracking() noexcept { ClearMouse(); }

    std::optional<LRESULT> OnReflected(UINT msg, WPARAM wp, LPARAM lp) override;

protected:
    void Loaded() override;
    void Notification(ui::Component* component, ui::Operation operation) override;
    // The folder of an absolute list; the desktop when it cannot be bound (the desktop's own list is empty).
    virtual ComPtr<IShellFolder> BindFolder(const ITEMIDLIST* absolute) const;
    // Runs an entry with the shell's default verb.
    virtual void ExecuteItem(const ITEMIDLIST* absolute);

private:
    enum class ReadKind { NewFolder, Refresh };
    // A job on the worker; results come back through the inbox. One job of this list runs at a time.
    void StartRead(ReadKind kind);
    void StartSort();
    void StartIcons();
    void NextJob();
    void RowsArrived(FolderReadResult& result);  // a new folder's rows
    void RefreshArrived(const std::shared_ptr<FolderReadResult>& result, std::uint64_t base);
    void EditEnded();  // shows a refresh held while the label was edited, and goes on with what waits
    void ReadDone(const FolderReadResult& result);
    void ReadFailed(ReadKind kind);
    void SortArrived(Rows sorted, SortOrder order, std::uint64_t base);
    void SortFailed();
    void IconsArrived(const Rows& rows, const std::vector<int>& icons);
    static void ForgetAskedIcons(const Rows& rows);  // rows still without icons are asked for when drawn again
    void ShowRows(Rows rows);  // the rows of a folder read again, or sorted again, in place of the shown ones
    void DropRows(Rows rows);  // freed on the worker: a big folder's rows take a while
    SortOrder CurrentOrder() const noexcept;

    void MarkColumn(int column);
    void ColClick(int column);
    void DblClick();
    bool EndLabelEdit(const NMLVDISPINFOW& info);
    void Rename(const NMLVDISPINFOW& info);
    void GetDispInfo(NMLVDISPINFOW& info);
    FileRow* RowAt(int item) const;
    int IndexOfRow(const FileRow* row) const;
    int SelectedIndex() const;
    int FindRow(const NMLVFINDITEMW& find) const;
    void SendTreeBack();

    void AttachMouse();
    std::optional<LRESULT> OnListMessage(UINT msg, WPARAM wp, LPARAM lp);
    void MouseDown(int button, int x, int y);
    void MouseMove(WPARAM keys, int x, int y);
    void MouseUp(int button);
    void ClearMouse() noexcept;
    UniqueIdList GatherSelection(int& count) const;
    void SetStyleBit(DWORD bit, bool on);

    HWND hwnd_ = nullptr;  // owned: destroyed with this object unless the parent destroyed it first
    ui::Subclass subclass_;
    TFolderView* tree_ = nullptr;
    TContextMenuEx* contextMenu_ = nullptr;
    TDropSourceEx* dropSource_ = nullptr;
    Rows rows_;                            // what row i of the control shows; owned by the window's thread
    mutable ComPtr<IShellFolder> folder_;  // see ShellFolder()
    UniqueIdList folderIdList_;
    std::wstring folderPath_;  // its file-system path; empty for a folder without one
    std::vector<std::wstring> mask_;
    bool fileExecute_ = true;
    bool readOnly_ = false;
    HMENU popupMenu_ = nullptr;
    HWND popupTarget_ = nullptr;
    std::wstring thousands_, dateSeparator_, timeSeparator_;  // the user's, for the size and date texts

    int downX_ = 0, downY_ = 0;
    bool mouseArmed_ = false;
    bool rightButtonDown_ = false;

    // Reading. `rowsVersion_` counts every change of rows_, so that a result computed from older rows is known.
    bool busy_ = false;           // a job of this list has not reported back
    bool refreshWanted_ = false;  // the folder is to be read again once the running job is done
    bool sortWanted_ = false;     // the rows are to be sorted again once the running job is done
    bool listed_ = false;         // the folder shown has been read once
    bool maskChanged_ = false;    // the next read lists every entry again
    bool sortFailed_ = false;     // the last sort failed: the rows stay in their order until a sort is asked for
    std::uint64_t rowsVersion_ = 0;
    SortOrder shownOrder_;  // the order rows_ are in
    NameOrder nameOrder_ = NameOrder::Text;
    bool nameOrderKnown_ = false;
    std::vector<std::wstring> unlisted_;
    Rows iconQueue_;        // rows drawn whose icons (their own or their kind's) are still to be asked for
    SharedRow editingRow_;  // the row whose label is being edited
    std::shared_ptr<FolderReadResult> heldRefresh_;  // a refresh that arrived while a label was edited
    Rows heldSort_;                                  // ... or a sort (one job runs at a time: never both)
    SortOrder heldOrder_;
    bool sortHeld_ = false;
    std::uint64_t heldBase_ = 0;  // the rows' version the held result was made from
    // The folder and rows shown before another folder's read began: shown again when that folder cannot be listed.
    UniqueIdList previousFolderIdList_;
    ComPtr<IShellFolder> previousFolder_;
    Rows previousRows_;
    ui::Generation generation_;
    std::unique_ptr<ui::UiInbox> inbox_;
    std::unique_ptr<ui::BackgroundWorker> worker_;
};

}  // namespace shell
