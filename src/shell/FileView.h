// The file list: the entries of one shell folder in a list view (name, size, type, date), sorted by the column whose
// header was clicked last. The folder tree hands it the folder to show; the list asks the tree to enter a sub-folder
// on a double-click, tells it of a folder renamed in place, and sends it back when a folder cannot be listed.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/ShView.h"
#include "ui/component.h"
#include "ui/window.h"

namespace shell {

class TFolderView;
class TContextMenuEx;
class TDropSourceEx;
struct FileRow;

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

    // Shows the folder of an absolute list; the caller keeps the list. A null list does nothing.
    void BrowseTo(const ITEMIDLIST* absolute) override;
    // Lists the folder shown again, keeping the selected rows and the top row where their entries still are.
    void FillItems();
    // True while a read of the shown folder has not yet reached the rows (tests and benchmarks wait for the end).
    bool Reading() const noexcept { return false; }

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
    IShellFolder* ShellFolder() const noexcept { return folder_.Get(); }
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
    virtual ComPtr<IShellFolder> BindFolder(const ITEMIDLIST* absolute);
    // Runs an entry with the shell's default verb.
    virtual void ExecuteItem(const ITEMIDLIST* absolute);

private:
    bool Fill(bool keepPlace);
    void InsertRows(std::vector<std::unique_ptr<FileRow>> rows, bool keepPlace);
    void SortRows(std::vector<std::unique_ptr<FileRow>>& rows, int column) const;
    int CompareRows(FileRow& a, FileRow& b, int column) const;
    int CompareByName(const FileRow& a, const FileRow& b) const;
    void MarkColumn(int column);
    void ColClick(int column);
    void DblClick();
    bool EndLabelEdit(const NMLVDISPINFOW& info);
    void GetDispInfo(NMLVDISPINFOW& info);
    FileRow* RowAt(int item) const;
    int SelectedIndex() const;
    void SortShownRows(int column);
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
    std::vector<std::unique_ptr<FileRow>> rows_;  // what row i of the control shows
    ComPtr<IShellFolder> folder_;
    UniqueIdList folderIdList_;
    std::vector<std::wstring> mask_;
    bool fileExecute_ = true;
    bool readOnly_ = false;
    HMENU popupMenu_ = nullptr;
    HWND popupTarget_ = nullptr;

    int downX_ = 0, downY_ = 0;
    bool mouseArmed_ = false;
    bool rightButtonDown_ = false;
};

}  // namespace shell
