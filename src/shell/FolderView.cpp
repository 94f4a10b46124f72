#include "shell/FolderView.h"

#include "shell/DRPCOMEX.h"
#include "shell/FileView.h"

namespace shell {
namespace {

constexpr UINT kSmallIcon = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;  // 0x4001
constexpr UINT kSmallOpenIcon = kSmallIcon | SHGFI_OPENICON;       // 0x4003
constexpr SHCONTF kFolderContents = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;
// The shell's shared-folder overlay is overlay image 1 of the system image list (OverlayIndex 0 of a node).
constexpr UINT kShareOverlay = INDEXTOOVERLAYMASK(1);

int CALLBACK CompareNodes(LPARAM first, LPARAM second, LPARAM folder) {
    return CompareIds(reinterpret_cast<IShellFolder*>(folder), reinterpret_cast<const ITEMIDLIST*>(first),
                      reinterpret_cast<const ITEMIDLIST*>(second));
}

// The hourglass for the scope of an enumeration, then the cursor that was there before.

}  // namespace

// Redrawing of the nodes stays off until the outermost pause ends, so a fill inside a search paints once.
class TFolderView::RedrawPause {
public:
    explicit RedrawPause(TFolderView& tree) noexcept : tree_(tree) {
        if (tree_.redrawLocks_++ == 0 && tree_.hwnd_) ::SendMessageW(tree_.hwnd_, WM_SETREDRAW, FALSE, 0);
    }
    ~RedrawPause() {
        if (--tree_.redrawLocks_ == 0 && tree_.hwnd_) {
            ::SendMessageW(tree_.hwnd_, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(tree_.hwnd_, nullptr, TRUE);
        }
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    TFolderView& tree_;
};

TFolderView::TFolderView(ui::Component* owner, HWND parent) : ui::Component(owner), parent_(parent) {
    CreateWnd();
    if (!Loading()) BuildRoot();
}

TFolderView::~TFolderView() {
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
    if (item.iImage == I_IMAGECALLBACK || item.iSelectedImage == I_IMAGECALLBACK) {
        SetNodeIcons(node, item);
        TreeView_SetItem(hwnd_, &item);
    }
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

// ---- building and filling ----

bool TFolderView::ClearAndAddRoot() {
    if (updating_ || !hwnd_) return false;
    UniqueIdList desktop = SpecialFolderIdList(hwnd_, CSIDL_DESKTOP);
    if (!desktop) return false;
    const std::optional<std::wstring> name = GetDisplayName(DesktopFolder(), desktop.get(), SHGDN_INFOLDER);
    if (!name) return false;

    updating_ = true;
    TreeView_DeleteAllItems(hwnd_);
    updating_ = false;

    std::wstring text = *name;
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    insert.item.pszText = text.data();
    insert.item.lParam = reinterpret_cast<LPARAM>(desktop.get());
    insert.item.iImage = GetSysIconIndex(desktop.get(), kSmallIcon);
    insert.item.iSelectedImage = GetSysIconIndex(desktop.get(), kSmallOpenIcon);
    insert.item.cChildren = 1;
    const HTREEITEM root = TreeView_InsertItem(hwnd_, &insert);
    if (!root) return false;
    desktop.release();  // the root owns it

    SetSelected(root);
    FillChildren(root, DesktopFolder());
    TreeView_Expand(hwnd_, root, TVE_EXPAND);
    return true;
}

// The open nodes the user can see, parents before their children; the root is always open and not among them.
std::vector<UniqueIdList> TFolderView::OpenedBranches() const {
    std::vector<UniqueIdList> opened;
    const HTREEITEM root = Root();
    for (HTREEITEM node = root; node; node = TreeView_GetNextVisible(hwnd_, node)) {
        if (node == root || !(TreeView_GetItemState(hwnd_, node, TVIS_EXPANDED) & TVIS_EXPANDED)) continue;
        if (!TreeView_GetChild(hwnd_, node)) continue;
        if (UniqueIdList list = NodeIdList(node)) opened.push_back(std::move(list));
    }
    return opened;
}

void TFolderView::BuildRoot() {
    RedrawPause pause(*this);
    // The desktop is reported once, at the end, and not to OnChange: the owner's first selection is its own.
    quiet_ = true;
    const bool built = ClearAndAddRoot();
    quiet_ = false;
    if (built) NotifyLinkedViews(Selected());
}

void TFolderView::RebuildTree(const ITEMIDLIST* target) {
    if (updating_ || !hwnd_) return;
    RedrawPause pause(*this);
    // The passage through the desktop is not reported: the owner and the linked views hear only of the folder the
    // tree comes back to, so a refresh of the shown folder keeps the list's place and the owner's history.
    quiet_ = true;
    const std::vector<UniqueIdList> opened = OpenedBranches();
    const bool built = ClearAndAddRoot();
    if (!built) {
        quiet_ = false;
        return;
    }
    // The branches the user had opened are opened again where they still exist.
    for (const UniqueIdList& branch : opened)
        if (const HTREEITEM node = FindNodeByIdList(branch.get())) TreeView_Expand(hwnd_, node, TVE_EXPAND);
    const UniqueIdList desktop = SpecialFolderIdList(hwnd_, CSIDL_DESKTOP);
    const bool desktopItself = !target || (desktop && CompareIds(DesktopFolder(), target, desktop.get()) == 0);
    const HTREEITEM node = desktopItself ? Root() : FindNodeByIdList(target);
    quiet_ = false;
    ResetPress();
    if (node == Selected()) {
        if (OnChange) OnChange(this, node);
        NotifyLinkedViews(node);
    } else {
        SetSelected(node);
    }
}

bool TFolderView::FillChildren(HTREEITEM node, IShellFolder* known) {
    if (updating_ || !node || !NodeData(node)) return false;
    ComPtr<IShellFolder> folder = known ? ComPtr<IShellFolder>(known) : NodeFolder(node);
    ComPtr<IEnumIDList> items;
    if (!folder || folder->EnumObjects(hwnd_, kFolderContents, &items) != S_OK || !items) {
        // A drive without a disc: nothing is added and the node keeps its button, so opening it later tries again.
        SetSelected(currentNode_);
        return false;
    }

    const ui::BusyCursor hourglass;
    RedrawPause pause(*this);
    updating_ = true;
    ComPtr<IShellIcon> icons;
    folder.As(&icons);
    int added = 0;
    for (;;) {
        ITEMIDLIST* raw = nullptr;
        ULONG fetched = 0;
        if (items->Next(1, &raw, &fetched) != S_OK || fetched != 1 || !raw) {
            if (raw) FreeIdList(raw);
            break;
        }
        if (AddChild(node, folder.Get(), icons.Get(), OwnIdList(raw))) ++added;
    }
    if (added > 0) {
        TVSORTCB sort{};
        sort.hParent = node;
        sort.lpfnCompare = CompareNodes;
        sort.lParam = reinterpret_cast<LPARAM>(folder.Get());
        TreeView_SortChildrenCB(hwnd_, &sort, FALSE);
    } else {
        SetHasChildren(node, false);
    }
    updating_ = false;
    return true;
}

HTREEITEM TFolderView::AddChild(HTREEITEM parent, IShellFolder* folder, IShellIcon* icons, UniqueIdList item) {
    std::wstring text = GetDisplayName(folder, item.get(), SHGDN_INFOLDER).value_or(std::wstring());
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    TVITEMW& node = insert.item;
    node.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_STATE;
    node.pszText = text.data();
    node.lParam = reinterpret_cast<LPARAM>(item.get());

    // Icons from the folder when it knows them; else asked of the system when the control first draws the node,
    // since the file-information call costs milliseconds and most nodes of a long level are never seen.
    node.iImage = node.iSelectedImage = I_IMAGECALLBACK;
    if (icons) {
        int open = -1;
        int normal = -1;
        const ITEMIDLIST* one = item.get();
        if (SUCCEEDED(icons->GetIconOf(one, GIL_OPENICON, &open)) &&
            SUCCEEDED(icons->GetIconOf(one, GIL_FORSHELL, &normal)) && open >= 0 && normal >= 0) {
            node.iImage = normal;
            node.iSelectedImage = open;
        }
    }

    const ITEMIDLIST* asked[] = {item.get()};
    SFGAOF attributes = SFGAO_HASSUBFOLDER | SFGAO_SHARE;
    // An item the folder cannot describe keeps its button: opening it finds out.
    if (FAILED(folder->GetAttributesOf(1, asked, &attributes))) attributes = SFGAO_HASSUBFOLDER;
    node.cChildren = (attributes & SFGAO_HASSUBFOLDER) ? 1 : 0;
    node.stateMask = TVIS_OVERLAYMASK;
    node.state = (attributes & SFGAO_SHARE) ? kShareOverlay : 0;

    const HTREEITEM added = TreeView_InsertItem(hwnd_, &insert);
    if (added) item.release();  // the node owns it now
    return added;
}

HTREEITEM TFolderView::FindChildNode(HTREEITEM node, const ITEMIDLIST* item) {
    if (!node || !NodeData(node) || !item) return nullptr;
    const ComPtr<IShellFolder> folder = NodeFolder(node);
    if (!folder) return nullptr;
    bool listedNow = false;
    if (NodeHasChildren(node) && !TreeView_GetChild(hwnd_, node)) {
        if (!FillChildren(node, folder.Get())) return nullptr;
        listedNow = true;
    }
    TreeView_Expand(hwnd_, node, TVE_EXPAND);
    for (HTREEITEM child = TreeView_GetChild(hwnd_, node); child; child = TreeView_GetNextSibling(hwnd_, child)) {
        if (CompareIds(folder.Get(), NodeData(child), item) == 0) return child;
    }
    return listedNow ? nullptr : AddMissingChild(node, folder.Get(), item);
}

// A folder made after its parent was listed: the listing gains that one folder, so that a path naming it (a dropped
// file's folder, a folder of the history) still leads to it instead of to no selection at all.
HTREEITEM TFolderView::AddMissingChild(HTREEITEM node, IShellFolder* folder, const ITEMIDLIST* item) {
    if (updating_) return nullptr;
    ComPtr<IEnumIDList> items;
    if (folder->EnumObjects(hwnd_, kFolderContents, &items) != S_OK || !items) return nullptr;
    for (;;) {
        ITEMIDLIST* raw = nullptr;
        ULONG fetched = 0;
        if (items->Next(1, &raw, &fetched) != S_OK || fetched != 1 || !raw) {
            if (raw) FreeIdList(raw);
            return nullptr;
        }
        UniqueIdList found = OwnIdList(raw);
        if (CompareIds(folder, found.get(), item) != 0) continue;
        ComPtr<IShellIcon> icons;
        folder->QueryInterface(IID_PPV_ARGS(&icons));
        const HTREEITEM child = AddChild(node, folder, icons.Get(), std::move(found));
        if (!child) return nullptr;
        SetHasChildren(node, true);
        TVSORTCB sort{};
        sort.hParent = node;
        sort.lpfnCompare = CompareNodes;
        sort.lParam = reinterpret_cast<LPARAM>(folder);
        TreeView_SortChildrenCB(hwnd_, &sort, FALSE);
        TreeView_Expand(hwnd_, node, TVE_EXPAND);
        return child;
    }
}

HTREEITEM TFolderView::FindNodeByIdList(const ITEMIDLIST* list) {
    HTREEITEM node = Root();
    if (!node) return nullptr;
    TreeView_Expand(hwnd_, node, TVE_EXPAND);
    for (const ITEMIDLIST* position = list; position && node; position = NextItem(position)) {
        const UniqueIdList item = CopyFirstItem(position);
        node = FindChildNode(node, item.get());
    }
    return node;
}

void TFolderView::Expand(HTREEITEM node) {
    if (hwnd_ && node) TreeView_Expand(hwnd_, node, TVE_EXPAND);
}

void TFolderView::Collapse(HTREEITEM node) {
    if (hwnd_ && node) TreeView_Expand(hwnd_, node, TVE_COLLAPSE);
}

bool TFolderView::CanExpand(HTREEITEM node) {
    if (!node) return true;
    if (NodeHasChildren(node) && !TreeView_GetChild(hwnd_, node)) FillChildren(node, nullptr);
    // A node that still has no child is not opened: its button stays when the folder could not be listed.
    return TreeView_GetChild(hwnd_, node) != nullptr;
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
    if (!node && before && currentNode_ == before) Change(nullptr);
}

bool TFolderView::SelectPath(const std::wstring& path) {
    const UniqueIdList list = PathToIdList(path);
    if (!list) return false;
    RedrawPause pause(*this);
    SetSelected(FindNodeByIdList(list.get()));
    return true;
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
    RedrawPause pause(*this);
    SetSelected(FindNodeByIdList(absolute));
}

void TFolderView::SelectChild(const ITEMIDLIST* item) {
    RedrawPause pause(*this);
    SetSelected(FindChildNode(Selected(), item));
}

void TFolderView::RenameChild(const ITEMIDLIST* oldItem, const ITEMIDLIST* newItem) {
    const HTREEITEM selected = Selected();
    const HTREEITEM child = FindChildNode(selected, oldItem);
    if (!child || !newItem) return;
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

void TFolderView::Change(HTREEITEM node) {
    if (destroying_) return;
    if (!quiet_ && OnChange) OnChange(this, node);
    // The handler moved the selection on (a folder it opened could not be listed): that change has been reported.
    if (Selected() != node) return;
    previousNode_ = currentNode_;
    currentNode_ = node;
    NotifyLinkedViews(node);
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
    SetNodeText(node, typed);
    const ITEMIDLIST* own = NodeData(node);
    if (!own) return;
    const ComPtr<IShellFolder> folder = ContainingFolder(node);
    if (!folder) {
        SetNodeText(node, GetDisplayName(DesktopFolder(), own, SHGDN_NORMAL).value_or(std::wstring()));
        return;
    }
    ITEMIDLIST* raw = nullptr;
    // The typed text is a name inside the containing folder.
    const HRESULT hr = folder->SetNameOf(hwnd_, own, typed.c_str(), SHGDN_INFOLDER, &raw);
    UniqueIdList renamed = OwnIdList(raw);
    if (SUCCEEDED(hr) && renamed) {
        const std::wstring name = GetDisplayName(folder.Get(), renamed.get(), SHGDN_NORMAL).value_or(typed);
        SetNodeData(node, std::move(renamed));
        SetNodeText(node, name);
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
