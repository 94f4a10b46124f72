// The folder panel of the main window: the folder tree and the file list, the folder history, the directory
// monitor that keeps them current, and opening files from the list.
#include <windowsx.h>

#include <algorithm>

#include "app/kurvanta_.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

constexpr int kHistoryLimit = 10;
constexpr int kHistoryDropWidth = 800;
constexpr UINT kMonitorInterval = 2000;
constexpr UINT kRebuildRetry = 500;

std::wstring ComboItem(HWND combo, int index) {
    const auto length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

void TForm1::CreateFolderPanel() {
    ::SendMessageW(cbFolRireki_, CB_SETMINVISIBLE, kHistoryLimit, 0);
    panelHints_.Create(Handle());
    panelHints_.Add(cbFolRireki_, txt::kHintFolderHistory);

    contextMenuEx1_ = std::make_unique<shell::TContextMenuEx>(this);
    contextMenuEx1_->Name = L"ContextMenuEx1";

    shellListView1_ = std::make_unique<shell::TFileView>(this, paneLeftDown_->Handle());
    shell::TFileView& list = *shellListView1_;
    list.Name = L"ShellListView1";
    list.SetFileExecute(false);
    list.SetContextMenu(contextMenuEx1_.get());
    list.SetMultiSelect(false);
    list.SetRowSelect(true);
    list.SetHideSelection(false);
    list.SetViewStyle(shell::ListViewStyle::Report);
    list.OnClick = [this] { ShellListView1Click(); };
    list.OnDblClick = [this] { ShellListView1DblClick(); };
    list.OnMouseDown = [this](int button, int x, int y) { ShellListView1MouseDown(button, x, y); };
    list.OnMouseMove = [this](int, int x, int y) { ShellListView1MouseMove(x, y); };
    list.OnMouseUp = [this](int button, int x, int y) { ShellListView1MouseUp(button, x, y); };

    shellTreeView1_ = std::make_unique<shell::TFolderView>(this, paneLeftUp_->Handle());
    shell::TFolderView& tree = *shellTreeView1_;
    tree.Name = L"ShellTreeView1";
    tree.SetFileView(&list);
    tree.SetContextMenu(contextMenuEx1_.get());
    tree.SetShowRoot(false);
    tree.SetRightClickSelect(true);
    tree.SetHideSelection(false);
    tree.SetIndent(scale_(kTreeIndent));
    tree.OnChange = [this](shell::TFolderView*, HTREEITEM) { ShellTreeView1Change(); };

    dirMonitor1_ = std::make_unique<monitor::TDirMonitor>(this);
    monitor::TDirMonitor& watch = *dirMonitor1_;
    watch.Name = L"DirMonitor1";
    watch.SetDirectory(L"c:\\");
    watch.SetFilter(
        {monitor::dmfFileName, monitor::dmfDirName, monitor::dmfAttributes, monitor::dmfSize, monitor::dmfLastWrite});
    watch.SetIncludeSubDir(true);
    watch.SetInterval(kMonitorInterval);
    watch.SetActive(true);
    watch.OnChange = [this](monitor::TDirMonitor*) { DirMonitor1Change(); };

    // A rebuild that had to wait for a rename in the panel to end.
    rebuildRetry_ = std::make_unique<ui::Timer>(this, kRebuildRetry, false);
    rebuildRetry_->OnTimer = [this] { allfolderClia(); };
}

void TForm1::LayoutFileList() {
    if (!shellListView1_) return;
    const RECT r = ui::ClientRect(paneLeftDown_->Handle());
    ui::Place(shellListView1_->Handle(), 0, 0, r.right, r.bottom);
}

void TForm1::SelectStartFolder(const std::wstring& folder) {
    startFolder_ = folder;
    shellTreeView1_->SelectNearestPath(folder);
}

void TForm1::FolderPanelFirstShow() {
    ListView_SetColumnWidth(shellListView1_->Handle(), 0, scale_(150));
    // A page to the right shows the deeper levels; the selected folder's label stays in view all the same.
    ::SendMessageW(shellTreeView1_->Handle(), WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), 0);
    shellTreeView1_->ShowSelected();
    LayoutPaneLeftUp();
}

std::wstring TForm1::SelectedFolderPath() const {
    if (!shellTreeView1_) return {};
    // The file-system path only: a virtual folder's parsing name ("::{...}") is no place to save to or to watch.
    return shell::PathOfIdList(shellTreeView1_->GetSelectedIdList().get());
}

void TForm1::ShellTreeView1Change() {
    const std::wstring path = SelectedFolderPath();
    ::SetWindowTextW(Handle(), (std::wstring(txt::kFolderCaption) + path).c_str());
    dirMonitor1_->SetDirectory(path);
    combotuika(cbFolRireki_, path);
}

void TForm1::combotuika(HWND combo, const std::wstring& path) {
    // Only folders that can be chosen again: no empty entry, no virtual folder's parsing name.
    if (path.empty() || path.starts_with(L"::{")) return;
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (ComboItem(combo, i) == path) return;  // exact: a folder visited again keeps its place
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    if (count + 1 > kHistoryLimit) ::SendMessageW(combo, CB_DELETESTRING, 0, 0);
}

std::vector<std::wstring> TForm1::FolderHistory() const {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(::SendMessageW(cbFolRireki_, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) items.push_back(ComboItem(cbFolRireki_, i));
    return items;
}

void TForm1::cbFolRirekiDropDown() {
    ::SendMessageW(cbFolRireki_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(scale_(kHistoryDropWidth)), 0);
}

void TForm1::cbFolRirekiChange() {
    const auto index = ::SendMessageW(cbFolRireki_, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    // A folder that has gone since gives way to its nearest ancestor that is still there; the history then shows
    // where the tree went.
    shellTreeView1_->SelectNearestPath(ComboItem(cbFolRireki_, static_cast<int>(index)));
    const std::vector<std::wstring> history = FolderHistory();
    const auto shown = std::find(history.begin(), history.end(), SelectedFolderPath());
    if (shown != history.end()) ::SendMessageW(cbFolRireki_, CB_SETCURSEL, shown - history.begin(), 0);
}

// Only the tree's own label edit holds the refresh back: the list keeps its rows still while a name is edited in
// it and applies what changed once the edit ends.
bool TForm1::PanelRenaming() const {
    return TreeView_GetEditControl(shellTreeView1_->Handle()) != nullptr;
}

void TForm1::DirMonitor1Change() {
    allfolderClia();
}

void TForm1::allfolderClia() {
    // A folder being renamed in the tree stays until the rename ends; the refresh follows then.
    if (PanelRenaming()) {
        rebuildRetry_->SetEnabled(true);
        return;
    }
    rebuildRetry_->SetEnabled(false);
    // Only what changed is read again, off the window's thread: the tree keeps its open branches, selection and
    // scroll, the list its place; a shown folder that has gone gives way to its nearest ancestor.
    shellTreeView1_->Refresh();
}

// A folder is never a document, whatever its name ("v1.2", ".git"): the list enters it on a double-click.
void TForm1::ShellListView1Click() {
    if (!ButtonDown(kBtnOne2) || shellListView1_->SelectedIsFolder()) return;
    const std::wstring path = shellListView1_->GetSelectedPath();
    if (ui::HasExtension(path)) kizontab(1, path);
}

void TForm1::ShellListView1DblClick() {
    if (ButtonDown(kBtnOne2) || shellListView1_->SelectedIsFolder()) return;
    const std::wstring path = shellListView1_->GetSelectedPath();
    if (ui::HasExtension(path)) sinkitab(1, path);
}

void TForm1::ShellListView1MouseDown(int button, int x, int y) {
    if (button != 2) return;
    rightPressed_ = true;
    rightPress_ = {x, y};
}

void TForm1::ShellListView1MouseUp(int, int x, int y) {
    // Any release ends the press: a right press released here moved off its place and is no click.
    rightPressed_ = false;
    rightPress_ = {x, y};
}

void TForm1::ShellListView1MouseMove(int x, int y) {
    if (!rightPressed_ || x != rightPress_.x || y != rightPress_.y) return;
    rightPressed_ = false;
    const std::wstring path = shellListView1_->GetSelectedPath();
    if (path.empty()) return;
    // Where the pointer is, in the main window's client area: the list's real place, not an estimate.
    POINT at{x, y};
    ::MapWindowPoints(shellListView1_->Handle(), Handle(), &at, 1);
    // One menu per click: the list does not open its own for the same press.
    shellListView1_->CancelMouseTracking();
    contextMenuEx1_->ShowForFile(Handle(), path, at.x, at.y);
}

}  // namespace app
