// The folder tree's listing of folders: building the root, listing a node's sub-folders, finding the node of a
// folder, and rebuilding.
#include "shell/FolderView.h"

#include "shell/SubFolders.h"

namespace shell {
namespace {

constexpr UINT kSmallIcon = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;  // 0x4001
constexpr UINT kSmallOpenIcon = kSmallIcon | SHGFI_OPENICON;       // 0x4003
// The shell's shared-folder overlay is overlay image 1 of the system image list (OverlayIndex 0 of a node).
constexpr UINT kShareOverlay = INDEXTOOVERLAYMASK(1);

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
    stamps_[root] = ++lastStamp_;

    SetSelected(root);
    FillChildren(root);
    ExpandNow(root);
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
    // tree comes back to, so a refresh of the shown folder keeps the list's place and the owner's history. Reads
    // under way name nodes that are about to go.
    readToken_ = generation_.Start();
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
        if (const HTREEITEM node = FindNodeByIdList(branch.get())) ExpandNow(node);
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

bool TFolderView::FillChildren(HTREEITEM node) {
    if (updating_ || !node || !NodeData(node)) return false;
    const UniqueIdList absolute = NodeIdList(node);
    const ui::BusyCursor hourglass;
    SubFolderListing listing = ReadSubFolders(DesktopFolder(), absolute.get(), {}, {}, hwnd_, {});
    if (!listing.listed) {
        // A drive without a disc: nothing is added and the node keeps its button, so opening it later tries again.
        SetSelected(currentNode_);
        return false;
    }
    ApplyListing(node, {}, listing);
    return true;
}

void TFolderView::ApplyListing(HTREEITEM node, const std::vector<HTREEITEM>& shown, SubFolderListing& listing) {
    Filling filling(RefOf(node), shown, std::move(listing));
    ApplySome(filling, 0);
}

TFolderView::Filling::Filling(NodeRef node, std::vector<HTREEITEM> shown, SubFolderListing listing)
    : node(node), shown(std::move(shown)), listing(std::move(listing)) {
    kept.assign(this->shown.size(), false);
    // New folders after the last one kept go to the end, which the control finds at once; a place after a given
    // node it has to look for, which costs a whole first listing of a big folder dearly.
    for (size_t i = 0; i < this->listing.folders.size(); ++i)
        if (this->listing.folders[i].previous >= 0) lastKept = i + 1;
}

bool TFolderView::ApplySome(Filling& filling, double budgetMs) {
    const HTREEITEM node = filling.node.node;
    if (!hwnd_ || !Alive(filling.node)) return true;
    LARGE_INTEGER frequency{}, start{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    size_t steps = 0;
    auto spent = [&] {
        // The clock is read now and then only: it costs more than a step.
        if (budgetMs <= 0 || ++steps % 16 != 0) return false;
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) >=
               budgetMs;
    };
    // A closed branch changes nothing on screen; redrawing that is turned back on measures the whole tree again,
    // which would cost every slice of a big listing more than the slice itself. Nor does a listing that adds and
    // removes nothing (most refreshes): the few nodes it changes are drawn again one by one.
    std::vector<SubFolder>& folders = filling.listing.folders;
    bool reshapes = folders.size() != filling.shown.size();
    for (size_t i = filling.next; !reshapes && i < folders.size(); ++i) reshapes = folders[i].previous < 0;
    const bool open = (TreeView_GetItemState(hwnd_, node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    std::optional<RedrawPause> pause;
    if (reshapes && (open || budgetMs <= 0)) pause.emplace(*this);
    updating_ = true;
    for (; filling.next < folders.size(); ++filling.next) {
        if (spent()) {
            updating_ = false;
            return false;
        }
        const size_t i = filling.next;
        SubFolder& folder = folders[i];
        if (folder.previous < 0 || static_cast<size_t>(folder.previous) >= filling.shown.size()) {
            const HTREEITEM added = InsertChild(node, i >= filling.lastKept ? TVI_LAST : filling.after, folder);
            if (added) filling.after = added;
            continue;
        }
        const HTREEITEM child = filling.shown[static_cast<size_t>(folder.previous)];
        filling.kept[static_cast<size_t>(folder.previous)] = true;
        filling.after = child;
        if (folder.item) {
            SetNodeData(child, UniqueIdList(folder.item.release()));
            if (NodeText(child) != folder.name) SetNodeText(child, folder.name);
        }
        if (!folder.asked) continue;  // unchanged and not asked about: as it was
        // A folder not listed yet shows a button as its folder now says; a listed one knows better itself.
        if (!TreeView_GetChild(hwnd_, child) && NodeHasChildren(child) != folder.hasSubFolders)
            SetHasChildren(child, folder.hasSubFolders);
        const UINT overlay = folder.shared ? kShareOverlay : 0;
        if ((TreeView_GetItemState(hwnd_, child, TVIS_OVERLAYMASK) & TVIS_OVERLAYMASK) != overlay)
            TreeView_SetItemState(hwnd_, child, overlay, TVIS_OVERLAYMASK);
    }
    // The folders that have gone, last: until then the places of the others are known by them.
    for (; filling.gone < filling.shown.size(); ++filling.gone) {
        if (spent()) {
            updating_ = false;
            return false;
        }
        if (!filling.kept[filling.gone]) TreeView_DeleteItem(hwnd_, filling.shown[filling.gone]);
    }
    updating_ = false;
    // Without a sub-folder the node loses its button.
    const bool hasChildren = TreeView_GetChild(hwnd_, node) != nullptr;
    if (NodeHasChildren(node) != hasChildren) SetHasChildren(node, hasChildren);
    return true;
}

HTREEITEM TFolderView::InsertChild(HTREEITEM parent, HTREEITEM after, SubFolder& folder) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    TVITEMW& node = insert.item;
    node.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_STATE;
    node.pszText = folder.name.data();
    node.lParam = reinterpret_cast<LPARAM>(folder.item.get());
    // Icons from the folder when it knows them; else asked of the system when the control first draws the node,
    // since the file-information call costs milliseconds and most nodes of a long level are never seen.
    const bool ownIcons = folder.icon >= 0 && folder.openIcon >= 0;
    node.iImage = ownIcons ? folder.icon : I_IMAGECALLBACK;
    node.iSelectedImage = ownIcons ? folder.openIcon : I_IMAGECALLBACK;
    node.cChildren = folder.hasSubFolders ? 1 : 0;
    node.stateMask = TVIS_OVERLAYMASK;
    node.state = folder.shared ? kShareOverlay : 0;
    const HTREEITEM added = TreeView_InsertItem(hwnd_, &insert);
    if (!added) return nullptr;
    folder.item.release();  // the node owns it now
    stamps_[added] = ++lastStamp_;
    return added;
}

HTREEITEM TFolderView::FindChildNode(HTREEITEM node, const ITEMIDLIST* item) {
    if (!node || !NodeData(node) || !item) return nullptr;
    FinishFilling(node);  // a search needs all of the node's sub-folders
    const ComPtr<IShellFolder> folder = NodeFolder(node);
    if (!folder) return nullptr;
    bool listedNow = false;
    if (NodeHasChildren(node) && !TreeView_GetChild(hwnd_, node)) {
        if (!FillChildren(node)) return nullptr;
        listedNow = true;
    }
    ExpandNow(node);
    if (const HTREEITEM child = ChildFor(node, folder.Get(), item)) return child;
    return listedNow ? nullptr : AddMissingChild(node, folder.Get(), item);
}

HTREEITEM TFolderView::ChildFor(HTREEITEM node, IShellFolder* folder, const ITEMIDLIST* item) const {
    // A folder may take names that differ only in case for one ("Docs" and "docs" side by side where case counts):
    // the child of exactly the item's name wins, one differing only in case is taken when there is none.
    HTREEITEM caseless = nullptr;
    std::optional<std::wstring> wanted;
    for (HTREEITEM child = TreeView_GetChild(hwnd_, node); child; child = TreeView_GetNextSibling(hwnd_, child)) {
        if (CompareIds(folder, NodeData(child), item) != 0) continue;
        if (!wanted) wanted = GetDisplayName(folder, item, SHGDN_INFOLDER | SHGDN_FORPARSING).value_or(std::wstring());
        if (GetDisplayName(folder, NodeData(child), SHGDN_INFOLDER | SHGDN_FORPARSING) == *wanted) return child;
        if (!caseless) caseless = child;
    }
    return caseless;
}

// A folder made after its parent was listed: the listing is brought up to date, so that a path naming it (a
// dropped file's folder, a folder of the history) still leads to it instead of to no selection at all.
HTREEITEM TFolderView::AddMissingChild(HTREEITEM node, IShellFolder* folder, const ITEMIDLIST* item) {
    if (updating_) return nullptr;
    const std::vector<HTREEITEM> shown = Children(node);
    std::vector<const ITEMIDLIST*> previous;
    for (HTREEITEM child : shown) previous.push_back(NodeData(child));
    const UniqueIdList absolute = NodeIdList(node);
    SubFolderListing listing = ReadSubFolders(DesktopFolder(), absolute.get(), previous, {}, hwnd_, {});
    if (!listing.listed) return nullptr;
    ApplyListing(node, shown, listing);
    ExpandNow(node);
    return ChildFor(node, folder, item);
}

HTREEITEM TFolderView::FindNodeByIdList(const ITEMIDLIST* list) {
    HTREEITEM node = Root();
    if (!node) return nullptr;
    ExpandNow(node);
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
    ExpandNow(node);
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
    ExpandNow(node);
}

void TFolderView::ExpandNow(HTREEITEM node) {
    if (!hwnd_ || !node) return;
    ++listNow_;
    TreeView_Expand(hwnd_, node, TVE_EXPAND);
    --listNow_;
    // The control may tell nothing of an expansion it made once before.
    ReadIfStale(node);
}

void TFolderView::Collapse(HTREEITEM node) {
    if (hwnd_ && node) TreeView_Expand(hwnd_, node, TVE_COLLAPSE);
}

bool TFolderView::CanExpand(HTREEITEM node) {
    if (!node) return true;
    if (const auto filling = fillings_.find(node); filling != fillings_.end()) {
        if (listNow_ > 0) return FinishFilling(node), true;
        filling->second->expand = true;  // opens once all its sub-folders are there
        return false;
    }
    if (TreeView_GetChild(hwnd_, node)) {
        if (stale_.contains(node)) {
            // Once the branch is open, with what the tree holds, what changed since follows; the folders then in
            // sight are the ones asked about.
            ++pendingReads_;
            inbox_.MakeSender().Post([this, ref = RefOf(node)] {
                --pendingReads_;
                if (Alive(ref)) ReadIfStale(ref.node);
            });
        }
        return true;
    }
    if (!NodeHasChildren(node)) return false;
    if (listNow_ > 0) {
        FillChildren(node);
        // A node that still has no child is not opened: its button stays when the folder could not be listed.
        return TreeView_GetChild(hwnd_, node) != nullptr;
    }
    // Opened by the user: the sub-folders are read off the window's thread, and the branch opens when they are
    // there, however many there are.
    ReadInBackground(node, true, false);
    return false;
}

}  // namespace shell
