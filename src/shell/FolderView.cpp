#include "shell/FolderView.h"

#include <algorithm>
#include <utility>

#include "shell/DRPCOMEX.h"
#include "shell/FileView.h"
#include "ui/text.h"

namespace shell {
namespace {

constexpr UINT kSmallIcon = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;  // 0x4001
constexpr UINT kSmallOpenIcon = kSmallIcon | SHGFI_OPENICON;       // 0x4003
constexpr int kIconGap = 3;                                        // pixels between a node's icon and its label

}  // namespace

TFolderView::RedrawPause::RedrawPause(TFolderView& tree) noexcept : tree_(tree) {
    if (tree_.redrawLocks_++ == 0 && tree_.hwnd_) ::SendMessageW(tree_.hwnd_, WM_SETREDRAW, FALSE, 0);
}

TFolderView::RedrawPause::~RedrawPause() {
    if (--tree_.redrawLocks_ == 0 && tree_.hwnd_) {
        ::SendMessageW(tree_.hwnd_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(tree_.hwnd_, nullptr, TRUE);
    }
}

TFolderView::TFolderView(ui::Component* owner, HWND parent)
    : ui::Component(owner), parent_(parent), readToken_(generation_.Start()) {
    CreateWnd();
    if (!Loading()) BuildRoot();
}

TFolderView::~TFolderView() {
    generation_.CancelAll();                                 // a read under way stops at its next item
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);  // frees every node's list on the way
    hwnd_ = nullptr;
}

void TFolderView::CreateWnd() {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES;
    if (showRoot_) style |= TVS_LINESATROOT;
    if (!hideSelection_) style |= TVS_SHOWSELALWAYS;
    if (!readOnly_) style |= TVS_EDITLABELS;
    destroying_ = false;
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"", style, bounds_.left, bounds_.top,
                              bounds_.right - bounds_.left, bounds_.bottom - bounds_.top, parent_, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    ::SendMessageW(hwnd_, TVM_SETUNICODEFORMAT, TRUE, 0);
    ReflectFrom(hwnd_);
    hook_.Attach(hwnd_, [this](UINT msg, WPARAM wp, LPARAM lp) { return OnTreeMessage(msg, wp, lp); });
    // The system list is shared by the whole process: the tree only borrows it.
    TreeView_SetImageList(hwnd_, GetSystemImageList(false), TVSIL_NORMAL);
    if (indent_ >= 0) TreeView_SetIndent(hwnd_, indent_);
}

void TFolderView::RecreateWindow() {
    const UniqueIdList selected = GetSelectedIdList();
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    currentNode_ = previousNode_ = nullptr;
    CreateWnd();
    if (!Loading()) RebuildTree(selected.get());
}

void TFolderView::SetBounds(int left, int top, int width, int height) {
    bounds_ = RECT{left, top, left + width, top + height};
    if (hwnd_) ui::Place(hwnd_, left, top, width, height);
}

void TFolderView::Loaded() {
    ui::Component::Loaded();
    if (contextMenu_) rightClickSelect_ = true;
    BuildRoot();
}

// ---- links ----

void TFolderView::SetFileView(TFileView* list) {
    if (list == fileView_) return;
    TFileView* old = fileView_;
    fileView_ = nullptr;
    if (old) old->SetFolderView(nullptr);
    fileView_ = list;
    if (list) {
        FreeNotification(list);
        list->SetFolderView(this);
    }
}

void TFolderView::SetContextMenu(TContextMenuEx* menu) {
    contextMenu_ = menu;
    if (menu) FreeNotification(menu);
    if (menu) rightClickSelect_ = true;
}

void TFolderView::SetDropSource(TDropSourceEx* source) {
    dropSource_ = source;
    if (source) FreeNotification(source);
    if (source) rightClickSelect_ = true;
}

void TFolderView::SetComboView(LinkedFolderView* combo) {
    comboView_ = combo;
    // Known as a component now, while it is whole: its removal is recognised by this address.
    comboComponent_ = dynamic_cast<ui::Component*>(combo);
    if (comboComponent_) FreeNotification(comboComponent_);
}

void TFolderView::Notification(ui::Component* component, ui::Operation operation) {
    if (operation == ui::Operation::Remove) {
        if (comboComponent_ && component == comboComponent_) {
            comboView_ = nullptr;
            comboComponent_ = nullptr;
        }
        if (fileView_ && component == static_cast<ui::Component*>(fileView_)) fileView_ = nullptr;
        if (contextMenu_ && component == static_cast<ui::Component*>(contextMenu_)) contextMenu_ = nullptr;
        if (dropSource_ && component == static_cast<ui::Component*>(dropSource_)) dropSource_ = nullptr;
    }
    ui::Component::Notification(component, operation);
}

// ---- nodes ----

HTREEITEM TFolderView::Root() const {
    return hwnd_ ? TreeView_GetRoot(hwnd_) : nullptr;
}

HTREEITEM TFolderView::Parent(HTREEITEM node) const {
    return hwnd_ && node ? TreeView_GetParent(hwnd_, node) : nullptr;
}

std::vector<HTREEITEM> TFolderView::Children(HTREEITEM node) const {
    std::vector<HTREEITEM> children;
    if (!hwnd_ || !node) return children;
    for (HTREEITEM c = TreeView_GetChild(hwnd_, node); c; c = TreeView_GetNextSibling(hwnd_, c)) children.push_back(c);
    return children;
}

int TFolderView::Level(HTREEITEM node) const {
    int level = -1;
    for (; node; node = Parent(node)) ++level;
    return level;
}

std::wstring TFolderView::NodeText(HTREEITEM node) const {
    if (!hwnd_ || !node) return {};
    // The control gives no length: grow the buffer until the text fits with room to spare.
    for (size_t size = 256;; size *= 4) {
        std::wstring text(size, L'\0');
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = node;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(size);
        if (!TreeView_GetItem(hwnd_, &item)) return {};
        const size_t length = std::wcslen(item.pszText);
        if (length + 1 < size || size >= 65536) return std::wstring(item.pszText, length);
    }
}

const ITEMIDLIST* TFolderView::NodeData(HTREEITEM node) const {
    if (!hwnd_ || !node) return nullptr;
    TVITEMW item{};
    item.mask = TVIF_PARAM;
    item.hItem = node;
    if (!TreeView_GetItem(hwnd_, &item)) return nullptr;
    return reinterpret_cast<const ITEMIDLIST*>(item.lParam);
}

bool TFolderView::NodeHasChildren(HTREEITEM node) const {
    if (!hwnd_ || !node) return false;
    TVITEMW item{};
    item.mask = TVIF_CHILDREN;
    item.hItem = node;
    return TreeView_GetItem(hwnd_, &item) && item.cChildren != 0;
}

int TFolderView::NodeOverlay(HTREEITEM node) const {
    if (!hwnd_ || !node) return 0;
    const UINT state = TreeView_GetItemState(hwnd_, node, TVIS_OVERLAYMASK);
    return static_cast<int>((state & TVIS_OVERLAYMASK) >> 8);
}

std::pair<int, int> TFolderView::NodeIcons(HTREEITEM node) {
    if (!hwnd_ || !node) return {-1, -1};
    TVITEMW item{};
    item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.hItem = node;
    // Some controls ask for the icons still to come through the notification, others give the mark back.
    allIcons_ = true;
    const bool got = TreeView_GetItem(hwnd_, &item);
    allIcons_ = false;
    if (!got) return {-1, -1};
    return {item.iImage, item.iSelectedImage};
}

UniqueIdList TFolderView::NodeIdList(HTREEITEM node) const {
    if (!node) return nullptr;
    UniqueIdList result = CopyFirstItem(NodeData(node));
    for (HTREEITEM parent = Parent(node); parent && result; parent = Parent(parent)) {
        result = ConcatIdLists(NodeData(parent), result.get());
    }
    return result;
}

RECT TFolderView::NodeLabelRect(HTREEITEM node) const {
    RECT r{};
    if (hwnd_ && node) TreeView_GetItemRect(hwnd_, node, &r, TRUE);
    return r;
}

void TFolderView::SetNodeText(HTREEITEM node, const std::wstring& text) {
    std::wstring buffer = text;
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = buffer.data();
    TreeView_SetItem(hwnd_, &item);
}

void TFolderView::SetNodeData(HTREEITEM node, UniqueIdList list) {
    const ITEMIDLIST* old = NodeData(node);
    TVITEMW item{};
    item.mask = TVIF_PARAM;
    item.hItem = node;
    item.lParam = reinterpret_cast<LPARAM>(list.get());
    if (!TreeView_SetItem(hwnd_, &item)) return;
    list.release();  // the node owns it now
    FreeIdList(old);
}

void TFolderView::SetHasChildren(HTREEITEM node, bool value) {
    TVITEMW item{};
    item.mask = TVIF_CHILDREN;
    item.hItem = node;
    item.cChildren = value ? 1 : 0;
    TreeView_SetItem(hwnd_, &item);
}

void TFolderView::SetNodeIcons(HTREEITEM node, TVITEMW& item) {
    if (Level(node) <= 0) return;
    const UniqueIdList absolute = NodeIdList(node);
    if (!absolute) return;
    if (item.mask & TVIF_IMAGE) item.iImage = GetSysIconIndex(absolute.get(), kSmallIcon);
    if (item.mask & TVIF_SELECTEDIMAGE) item.iSelectedImage = GetSysIconIndex(absolute.get(), kSmallOpenIcon);
}

ComPtr<IShellFolder> TFolderView::NodeFolder(HTREEITEM node) const {
    if (!node || !DesktopFolder()) return nullptr;
    if (node == Root()) return DesktopFolder();
    const UniqueIdList absolute = NodeIdList(node);
    if (!absolute) return nullptr;
    ComPtr<IShellFolder> folder;
    if (FAILED(DesktopFolder()->BindToObject(absolute.get(), nullptr, IID_PPV_ARGS(&folder)))) return nullptr;
    return folder;
}

ComPtr<IShellFolder> TFolderView::ContainingFolder(HTREEITEM node) const {
    const HTREEITEM parent = Parent(node);
    if (!parent) return nullptr;
    return NodeFolder(parent);
}

// ---- selection ----

HTREEITEM TFolderView::Selected() const {
    return hwnd_ ? TreeView_GetSelection(hwnd_) : nullptr;
}

void TFolderView::SetSelected(HTREEITEM node) {
    if (!hwnd_) return;
    const HTREEITEM before = Selected();
    if (node == before) return;
    TreeView_SelectItem(hwnd_, node);
    // Some controls clear a selection without a notification: the change is reported all the same.
    if (!node && before && currentNode_ == before) Change(nullptr, TVC_UNKNOWN);
}

bool TFolderView::SelectPath(const std::wstring& path) {
    const UniqueIdList list = PathToIdList(path);
    if (!list) return false;
    RedrawPause pause(*this);
    SetSelected(FindNearestNode(list.get()));
    ShowSelected();
    return true;
}

bool TFolderView::SelectNearestPath(const std::wstring& path) {
    // A folder kept from earlier may have gone since: the user is better served by where it was than by nothing.
    for (std::wstring candidate = path; !candidate.empty();) {
        if (SelectPath(candidate)) return true;
        std::wstring parent = ui::DirectoryOf(candidate);
        if (parent == candidate) break;
        candidate = std::move(parent);
    }
    return false;
}

std::wstring TFolderView::GetSelectedPath() const {
    const HTREEITEM selected = Selected();
    if (!selected) return {};
    const UniqueIdList absolute = NodeIdList(selected);
    if (!absolute) return {};
    // A file-system folder's whole path, however deep; the parsing name of a virtual one.
    std::wstring path = PathOfIdList(absolute.get());
    if (!path.empty()) return path;
    return GetDisplayName(DesktopFolder(), absolute.get(), SHGDN_FORPARSING).value_or(std::wstring());
}

UniqueIdList TFolderView::GetSelectedIdList() const {
    return NodeIdList(Selected());
}

void TFolderView::SelectIdList(const ITEMIDLIST* absolute) {
    if (!absolute) return;
    RedrawPause pause(*this);
    SetSelected(FindNearestNode(absolute));
    ShowSelected();
}

void TFolderView::SelectChild(const ITEMIDLIST* item) {
    RedrawPause pause(*this);
    if (const HTREEITEM child = FindChildNode(Selected(), item)) SetSelected(child);
}

bool TFolderView::Contains(HTREEITEM ancestor, HTREEITEM node) const {
    for (; node; node = Parent(node))
        if (node == ancestor) return true;
    return false;
}

void TFolderView::ShowSelected() {
    const HTREEITEM selected = Selected();
    if (!hwnd_ || !selected) return;
    TreeView_EnsureVisible(hwnd_, selected);
    // Across, the label and the icon before it; a label wider than the tree shows its beginning.
    int iconWidth = 0, iconHeight = 0;
    if (const HIMAGELIST images = TreeView_GetImageList(hwnd_, TVSIL_NORMAL))
        ImageList_GetIconSize(images, &iconWidth, &iconHeight);
    const RECT label = NodeLabelRect(selected);
    const RECT client = ui::ClientRect(hwnd_);
    const int left = label.left - iconWidth - kIconGap;
    int shift = 0;
    if (left < client.left)
        shift = left - client.left;
    else if (label.right > client.right)
        shift = std::min(label.right - client.right, left - client.left);
    if (shift == 0) return;
    const int position = std::max(0, ::GetScrollPos(hwnd_, SB_HORZ) + shift);
    ::SendMessageW(hwnd_, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), 0);
}

void TFolderView::HoldReadsOfSelected(bool hold) {
    if (hold) {
        renamingIn_ = Selected();
        return;
    }
    const HTREEITEM node = std::exchange(renamingIn_, nullptr);
    if (node) ReadAgainIfMarked(node);
}

void TFolderView::RenameChild(const ITEMIDLIST* oldItem, const ITEMIDLIST* newItem) {
    const HTREEITEM selected = Selected();
    const HTREEITEM child = FindChildNode(selected, oldItem);  // which finishes the folder's listing under way
    if (!child || !newItem) return;
    ChildRenamed(selected);
    // The new item is relative to the selected folder, so that folder names it; the desktop only as a fallback.
    std::optional<std::wstring> name = GetDisplayName(NodeFolder(selected).Get(), newItem, SHGDN_NORMAL);
    if (!name) name = GetDisplayName(DesktopFolder(), newItem, SHGDN_NORMAL);
    SetNodeText(child, name.value_or(std::wstring()));
    SetNodeData(child, CopyFirstItem(newItem));
    TellComboSelection();
}

void TFolderView::TellComboSelection() {
    if (!comboView_) return;
    const UniqueIdList absolute = NodeIdList(Selected());
    if (absolute) comboView_->BrowseTo(absolute.get());
}

void TFolderView::Change(HTREEITEM node, UINT action) {
    if (destroying_) return;
    if (action == TVC_BYKEYBOARD && !quiet_ && hwnd_) {
        // Walking the tree with the keys: a folder is taken up once the selection rests on it, not every folder
        // passed on the way (each would be listed, watched and kept in the history).
        keyNode_ = node;
        ::SetTimer(hwnd_, kKeyRestTimer, kKeyRestMs, nullptr);
        return;
    }
    if (keyNode_ && hwnd_) ::KillTimer(hwnd_, kKeyRestTimer);
    keyNode_ = nullptr;
    Act(node);
}

void TFolderView::KeyRested() {
    ::KillTimer(hwnd_, kKeyRestTimer);
    const HTREEITEM node = std::exchange(keyNode_, nullptr);
    if (node && node == Selected()) Act(node);
}

void TFolderView::Act(HTREEITEM node) {
    if (!quiet_ && OnChange) OnChange(this, node);
    // The handler moved the selection on (a folder it opened could not be listed): that change has been reported.
    if (Selected() != node) return;
    previousNode_ = currentNode_;
    currentNode_ = node;
    NotifyLinkedViews(node);
}

void TFolderView::Announce(HTREEITEM node) {
    if (OnChange) OnChange(this, node);
    if (Selected() == node) NotifyLinkedViews(node);
}

void TFolderView::NotifyLinkedViews(HTREEITEM node) {
    if (!node || updating_ || quiet_) return;
    const UniqueIdList absolute = NodeIdList(node);
    if (!absolute) return;
    if (fileView_) fileView_->BrowseTo(absolute.get());
    if (comboView_) comboView_->BrowseTo(absolute.get());
    if (imagePanel_) imagePanel_->BrowseTo(absolute.get());
}

// ---- rename in place ----

bool TFolderView::CanEdit(HTREEITEM node) const {
    return !readOnly_ && node && node != Root();
}

void TFolderView::Edit(const NMTVDISPINFOW& info) {
    const HTREEITEM node = info.item.hItem;
    if (!node || !info.item.pszText) return;  // cancelled
    const std::wstring typed = info.item.pszText;
    // A listing of the containing folder still being added would give the node its old name back: it goes first,
    // and it may find that the folder has gone.
    const HTREEITEM parent = Parent(node);
    const NodeRef ref = RefOf(node);
    FinishFilling(parent);
    if (!Alive(ref)) return;
    SetNodeText(node, typed);
    const ITEMIDLIST* own = NodeData(node);
    if (!own) return;
    const ComPtr<IShellFolder> folder = ContainingFolder(node);
    if (!folder) {
        SetNodeText(node, GetDisplayName(DesktopFolder(), own, SHGDN_NORMAL).value_or(std::wstring()));
        return;
    }
    ITEMIDLIST* raw = nullptr;
    // The typed text is a name inside the containing folder. The shell may show boxes meanwhile, and results of
    // reads arrive: the containing folder's wait until the name is settled.
    renamingIn_ = parent;
    const HRESULT hr = folder->SetNameOf(hwnd_, own, typed.c_str(), SHGDN_INFOLDER, &raw);
    renamingIn_ = nullptr;
    UniqueIdList renamed = OwnIdList(raw);
    const bool done = SUCCEEDED(hr) && renamed;
    if (done) ChildRenamed(parent);
    ReadAgainIfMarked(parent);
    if (!Alive(ref)) return;  // a rebuild while the shell asked
    if (done) {
        const std::wstring name = GetDisplayName(folder.Get(), renamed.get(), SHGDN_NORMAL).value_or(typed);
        SetNodeData(node, std::move(renamed));
        SetNodeText(node, name);
        // The shown folder's path changed with its own name or an ancestor's: everyone who shows or watches it
        // follows at once, or they would go on naming a folder that is not there any more.
        if (currentNode_ && Contains(node, currentNode_) && currentNode_ == Selected())
            Announce(currentNode_);
        else
            TellComboSelection();
    } else {
        SetNodeText(node, GetDisplayName(folder.Get(), own, SHGDN_NORMAL).value_or(std::wstring()));
    }
}

// ---- deletion ----

void TFolderView::DeletionHandler(HTREEITEM node, LPARAM data) {
    FreeIdList(reinterpret_cast<const ITEMIDLIST*>(data));
    // A deleted node must never be selected again through these.
    if (node == currentNode_) currentNode_ = nullptr;
    if (node == previousNode_) previousNode_ = nullptr;
    if (node == rightClickNode_) rightClickNode_ = nullptr;
    if (node == keyNode_) keyNode_ = nullptr;
    stamps_.erase(node);
    renameStamps_.erase(node);
    if (node == renamingIn_) renamingIn_ = nullptr;
    readAgain_.erase(node);
    stale_.erase(node);
    opening_.erase(node);
    fillings_.erase(node);  // its filling ends when it next comes round
    iconsPending_.erase(node);
    nodeIcons_.erase(node);
    if (OnDeleting) OnDeleting(this, node);
}

void TFolderView::ReleaseAllNodes() {
    // The parent may no longer pass notifications on while its children go, so the nodes are released here.
    std::vector<HTREEITEM> pending;
    if (HTREEITEM root = Root()) {
        for (HTREEITEM n = root; n; n = TreeView_GetNextSibling(hwnd_, n)) pending.push_back(n);
    }
    while (!pending.empty()) {
        const HTREEITEM node = pending.back();
        pending.pop_back();
        for (HTREEITEM c = TreeView_GetChild(hwnd_, node); c; c = TreeView_GetNextSibling(hwnd_, c)) {
            pending.push_back(c);
        }
        TVITEMW item{};
        item.mask = TVIF_PARAM;
        item.hItem = node;
        if (!TreeView_GetItem(hwnd_, &item)) continue;
        const LPARAM data = item.lParam;
        item.lParam = 0;
        TreeView_SetItem(hwnd_, &item);
        DeletionHandler(node, data);
    }
    destroying_ = true;
}

// ---- properties ----

void TFolderView::SetStyleBit(DWORD bit, bool on) {
    if (!hwnd_) return;
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    const LONG_PTR wanted = on ? (style | bit) : (style & ~static_cast<LONG_PTR>(bit));
    if (wanted == style) return;
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, wanted);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TFolderView::SetShowRoot(bool value) {
    if (value == showRoot_) return;
    showRoot_ = value;
    SetStyleBit(TVS_LINESATROOT, value);
}

void TFolderView::SetHideSelection(bool value) {
    if (value == hideSelection_) return;
    hideSelection_ = value;
    SetStyleBit(TVS_SHOWSELALWAYS, !value);
}

void TFolderView::SetReadOnly(bool value) {
    if (value == readOnly_) return;
    readOnly_ = value;
    SetStyleBit(TVS_EDITLABELS, !value);
}

int TFolderView::Indent() const {
    return hwnd_ ? static_cast<int>(TreeView_GetIndent(hwnd_)) : indent_;
}

void TFolderView::SetIndent(int value) {
    if (value == indent_) return;
    indent_ = value;
    if (hwnd_) TreeView_SetIndent(hwnd_, value);
}

}  // namespace shell
