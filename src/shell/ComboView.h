// The folder combo: a drop-down list that shows where the tree's folder lies in the shell namespace, as an address
// box does. It holds fixed rows (the desktop, its sub-folders, the computer's drives) and one chain of path rows (the
// shown folder and those of its ancestors that are no fixed row), each drawn with its small icon and indented by its
// depth. Picking a row makes the linked tree select that folder; the tree tells the combo every new selection.
//
// Every row owns a record with the row's absolute list; the combo's items only point at the records.
#pragma once
#include <windows.h>

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

class TComboView : public ui::Component, public ui::ReflectingControl, public LinkedFolderView {
public:
    // Creates the native combo as a child of parent, 200 pixels wide. Unless the owner is loading, the fixed rows
    // are filled at once; otherwise when loading ends.
    TComboView(ui::Component* owner, HWND parent);
    ~TComboView() override;

    HWND Handle() const noexcept { return hwnd_; }
    // The combo's height follows its rows; the open list shows DropDownCount rows.
    void SetBounds(int left, int top, int width);
    int DropDownCount() const noexcept { return dropDownCount_; }
    void SetDropDownCount(int rows);
    int ItemHeight() const noexcept { return itemHeight_; }
    void SetItemHeight(int pixels);

    // The tree the combo follows and steers; a link that owns nothing, cleared when the tree goes away.
    TFolderView* FolderView() const noexcept { return folderView_; }
    void SetFolderView(TFolderView* tree);

    // Shows the folder of an absolute list (the caller's): the path rows of the last folder go, the new folder's
    // ancestors and itself come where they are missing, and its row is selected.
    void BrowseTo(const ITEMIDLIST* absolute) override;

    // Rows, as drawn.
    int RowCount() const;
    int SelectedRow() const;  // -1 when none
    int RowLevel(int row) const;
    const ITEMIDLIST* RowIdList(int row) const;
    std::wstring RowName(int row) const;

    std::function<void()> OnChange, OnClick, OnDblClick, OnDropDown;

protected:
    void Loaded() override;
    void Notification(ui::Component* component, ui::Operation operation) override;
    std::optional<LRESULT> OnReflected(UINT msg, WPARAM wp, LPARAM lp) override;
    // The user picked a row: OnChange, then the tree selects the row's folder.
    virtual void Change();

private:
    struct TComboData {
        UniqueIdList list;  // absolute
        int level;          // 0 the desktop, 1 its children, ...
        int index;          // the row's place when it was inserted
    };

    void CreateWnd(HWND parent);
    void FillFixedItems();
    void ClearItems();
    void AddItem(int index, int level, const ITEMIDLIST* list);
    int InsertPath(const ITEMIDLIST* list);
    TComboData* Row(int row) const;
    void Select(int row);
    void UpdateHeights();
    void DrawItem(const DRAWITEMSTRUCT& item);

    HWND hwnd_ = nullptr;  // destroyed with this object unless the parent destroyed it first
    int width_ = 200;
    int dropDownCount_ = 8;
    int itemHeight_ = 16;
    bool fixedPhase_ = false;  // false while the fixed rows are added
    std::vector<std::unique_ptr<TComboData>> fixedRows_;
    std::vector<std::unique_ptr<TComboData>> pathRows_;  // in the order of adding
    TFolderView* folderView_ = nullptr;
};

}  // namespace shell
