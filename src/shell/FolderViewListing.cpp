// The folder tree's listing of folders: building the root, listing a node's sub-folders, finding the node of a
// folder, and rebuilding.
#include "shell/FolderView.h"

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

}  // namespace

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
    const UniqueIdList firstShown = NodeIdList(TreeView_GetFirstVisible(hwnd_));
    const int across = ::GetScrollPos(hwnd_, SB_HORZ);
    const bool built = ClearAndAddRoot();
    if (!built) {
        quiet_ = false;
        return;
    }
    // The branches the user had opened are opened again where they still exist.
    for (const UniqueIdList& branch : opened)
        if (const HTREEITEM node = FindNodeByIdList(branch.get())) TreeView_Expand(hwnd_, node, TVE_EXPAND);
    // A folder that has gone since gives way to its nearest ancestor that is still there.
    const HTREEITEM node = FindNearestNode(target);
    quiet_ = false;
    ResetPress();
    if (node == Selected())
        Announce(node);
    else
        SetSelected(node);
    // The view stays where it was, unless that hides the selected folder.
    if (firstShown)
        if (const HTREEITEM top = FindNearestNode(firstShown.get())) TreeView_SelectSetFirstVisible(hwnd_, top);
    ::SendMessageW(hwnd_, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, across), 0);
    ShowSelected();
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

HTREEITEM TFolderView::FindNearestNode(const ITEMIDLIST* absolute) {
    // Down the list as far as the tree finds it: the desktop's own (empty) list and an absent one end at the root.
    HTREEITEM node = Root();
    if (!node) return nullptr;
    TreeView_Expand(hwnd_, node, TVE_EXPAND);
    for (const ITEMIDLIST* position = CountItems(absolute) > 0 ? absolute : nullptr; position;
         position = NextItem(position)) {
        const UniqueIdList item = CopyFirstItem(position);
        const HTREEITEM child = FindChildNode(node, item.get());
        if (!child) break;
        node = child;
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

}  // namespace shell
