// The folder tree: the shell namespace from the desktop down, folders only, each level listed when it is first
// opened. Its selection is the panel's current folder, handed to the linked views (the file list, the folder combo,
// an image panel) as an absolute item identifier list after every change.
//
// The native tree view is wrapped directly: its notifications come back to this component through
// ui::ReflectingControl, its mouse messages through a subclass. Every node owns the one-item list its parent's folder
// gave for it (the root: the desktop's empty list); absolute lists are built on demand and freed at once.
//
// What the user opens, and every refresh, is read on a worker thread and applied on the window's thread by
// difference, in slices, so that the window never waits on a folder; a search for a folder (a path, the list's
// double-click) lists what it passes here and now. A selection made with the keys is taken up once it rests.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shell/ShView.h"
#include "shell/SubFolders.h"
#include "ui/background.h"
#include "ui/component.h"
#include "ui/window.h"

namespace shell {

class TFileView;
class TContextMenuEx;
class TDropSourceEx;

class TFolderView : public ui::Component, public ui::ReflectingControl {
public:
    // Creates the native tree view as a child of parent (200 by 200 pixels). Unless the owner is loading, the root
    // is built at once; otherwise when loading ends.
    TFolderView(ui::Component* owner, HWND parent);
    ~TFolderView() override;

    HWND Handle() const noexcept { return hwnd_; }
    void SetBounds(int left, int top, int width, int height);

    // Links; they own nothing and are cleared when the linked component goes away.
    TFileView* FileView() const noexcept { return fileView_; }
    void SetFileView(TFileView* list);  // also sets the list's back link; null first clears the old list's one
    TContextMenuEx* ContextMenu() const noexcept { return contextMenu_; }
    void SetContextMenu(TContextMenuEx* menu);  // a menu also turns RightClickSelect on
    TDropSourceEx* DropSource() const noexcept { return dropSource_; }
    void SetDropSource(TDropSourceEx* source);  // a drag source also turns RightClickSelect on
    LinkedFolderView* ComboView() const noexcept { return comboView_; }
    void SetComboView(LinkedFolderView* combo);  // set and cleared only by TComboView::SetFolderView
    // An optional further view told the selected folder like the others; a plain field, never cleared here.
    LinkedFolderView* ImagePanel() const noexcept { return imagePanel_; }
    void SetImagePanel(LinkedFolderView* panel) noexcept { imagePanel_ = panel; }

    // Selects the folder of a path of any length, or the nearest of its ancestors that the tree finds when the folder
    // itself is not to be found; false (nothing changes) when the path does not parse.
    bool SelectPath(const std::wstring& path);
    // The same for a path kept from earlier (the history, a dropped file, the command line): when it no longer parses,
    // the nearest of its ancestors that does is selected. False when no part of it parses.
    bool SelectNearestPath(const std::wstring& path);
    // The selected folder's parsing name (its file-system path when it has one); empty when nothing is selected.
    std::wstring GetSelectedPath() const;
    // A new absolute list of the selected folder; absent when nothing is selected.
    UniqueIdList GetSelectedIdList() const;
    // Reads again, off the window's thread, the shown folder, its ancestors and the open branches, and changes only
    // what changed: open branches, selection and scroll stay as they are. Only folders in sight (or new, or changed)
    // are asked whether they have sub-folders. A closed branch whose sub-folders the tree holds is read when it is
    // next opened. The linked list is then refreshed once; when the shown folder has gone, the tree moves to its
    // nearest ancestor that is still there, and everyone follows.
    void Refresh();
    // True while a read of the tree's folders is under way (tests and benchmarks wait for the end).
    bool Reading() const noexcept { return pendingReads_ > 0; }
    // The time the tree's reading thread has spent in its jobs so far, in milliseconds: how busy it is kept.
    double WorkerBusyMs() const noexcept;
    // Clears and rebuilds the tree from the desktop and selects the folder of target again (the root for the desktop
    // or an absent list; its nearest ancestor when it has gone), keeping the open branches and the scroll position.
    // The list stays the caller's.
    void RebuildTree(const ITEMIDLIST* target);
    // Selects the folder of an absolute list: the root for the desktop's own list, the nearest ancestor that the tree
    // finds for a folder that has gone.
    void SelectIdList(const ITEMIDLIST* absolute);
    // Moves the selection into the selected folder's child of that one-item list; a child that is not to be found
    // leaves the selection where it is.
    void SelectChild(const ITEMIDLIST* item);
    // The file list gave the selected folder's child oldItem the new name newItem (both one-item lists, the
    // caller's).
    void RenameChild(const ITEMIDLIST* oldItem, const ITEMIDLIST* newItem);
    // The file list renames a child of the selected folder through the shell (which may show boxes meanwhile):
    // reads of that folder wait until it is done.
    void HoldReadsOfSelected(bool hold);

    // The node the owner and the linked views were last told of, and the one before it; a selection made with the
    // keys becomes current once it rests.
    HTREEITEM CurrentNode() const noexcept { return currentNode_; }
    HTREEITEM PreviousNode() const noexcept { return previousNode_; }
    HTREEITEM Selected() const;
    void SetSelected(HTREEITEM node);  // null clears the selection

    // Nodes. The root is the desktop; a node's list is its own one-item list (the root's the empty list).
    HTREEITEM Root() const;
    HTREEITEM Parent(HTREEITEM node) const;
    std::vector<HTREEITEM> Children(HTREEITEM node) const;
    int Level(HTREEITEM node) const;  // 0 for the root
    std::wstring NodeText(HTREEITEM node) const;
    const ITEMIDLIST* NodeData(HTREEITEM node) const;
    bool NodeHasChildren(HTREEITEM node) const;  // the expand button
    UniqueIdList NodeIdList(HTREEITEM node) const;
    // The node's normal and open icons in the system image list, fetched now if the control has not asked yet.
    std::pair<int, int> NodeIcons(HTREEITEM node);
    int NodeOverlay(HTREEITEM node) const;  // the overlay image number, 0 for none
    // Expands a node, listing it first when it has never been listed (here and now: a node the user opens is read
    // off the window's thread instead).
    void Expand(HTREEITEM node);
    void Collapse(HTREEITEM node);
    RECT NodeLabelRect(HTREEITEM node) const;  // client coordinates of the label

    // Properties.
    bool ShowRoot() const noexcept { return showRoot_; }
    void SetShowRoot(bool value);
    bool RightClickSelect() const noexcept { return rightClickSelect_; }
    void SetRightClickSelect(bool value) noexcept { rightClickSelect_ = value; }
    bool HideSelection() const noexcept { return hideSelection_; }
    void SetHideSelection(bool value);
    int Indent() const;
    void SetIndent(int value);
    bool ReadOnly() const noexcept { return readOnly_; }
    void SetReadOnly(bool value);
    // Brings the selected folder's label into view, scrolling as little as it takes.
    void ShowSelected();
    // Destroys and re-creates the control's window (as a change of border needs), keeping the selected folder.
    void RecreateWindow();

    // Raised first on a selection change, before the linked views hear of it; node is null when the selection
    // becomes none.
    std::function<void(TFolderView* sender, HTREEITEM node)> OnChange;
    // Raised for every node that is deleted, after its list has been freed.
    std::function<void(TFolderView* sender, HTREEITEM node)> OnDeleting;
    // The mouse as the control receives it (button: 1 left, 2 right, 3 middle; client coordinates), before the
    // tree's own handling.
    std::function<void(int button, int x, int y)> OnMouseDown, OnMouseUp;
    std::function<void(int x, int y)> OnMouseMove;

protected:
    void Loaded() override;
    void Notification(ui::Component* component, ui::Operation operation) override;
    std::optional<LRESULT> OnReflected(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // Redrawing of the nodes stays off until the outermost pause ends, so a fill inside a search paints once.
    class RedrawPause {
    public:
        explicit RedrawPause(TFolderView& tree) noexcept;
        ~RedrawPause();
        RedrawPause(const RedrawPause&) = delete;
        RedrawPause& operator=(const RedrawPause&) = delete;

    private:
        TFolderView& tree_;
    };

    void CreateWnd();
    std::optional<LRESULT> OnTreeMessage(UINT msg, WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnNotify(NMHDR* header);

    // A node as a read remembers it: the handle, and the stamp that tells it from a later node of the same handle.
    struct NodeRef {
        HTREEITEM node = nullptr;
        std::uint64_t stamp = 0;
    };
    struct ReadRequest;
    // A listing being applied to a node a slice at a time, so that a big folder never holds the window up.
    struct Filling {
        Filling(NodeRef node, std::vector<HTREEITEM> shown, SubFolderListing listing);
        NodeRef node;
        std::vector<HTREEITEM> shown;  // the node's children the listing was matched with
        std::vector<bool> kept;
        SubFolderListing listing;
        size_t next = 0;      // the next folder of the listing
        size_t gone = 0;      // the next of `shown` to remove when it was not kept
        size_t lastKept = 0;  // folders from here on go to the end
        HTREEITEM after = TVI_FIRST;
        bool expand = false;  // the node opens once it is complete
        bool done = false;
        ui::Generation::Token token;
    };

    void BuildRoot();
    std::vector<UniqueIdList> OpenedBranches() const;
    bool ClearAndAddRoot();
    // Lists the node's sub-folders here and now; false when the folder could not be had or listed.
    bool FillChildren(HTREEITEM node);
    // Brings a node's children in line with a listing of its folder, matched with `shown` (its children so far).
    void ApplyListing(HTREEITEM node, const std::vector<HTREEITEM>& shown, SubFolderListing& listing);
    // As much of a filling as `budgetMs` allows (all of it for 0); true once it is complete.
    bool ApplySome(Filling& filling, double budgetMs);
    bool ApplySlice(Filling& filling, double budgetMs);  // the same; one that throws ends the filling first
    void ContinueFilling(const std::shared_ptr<Filling>& filling);
    void FinishFilling(HTREEITEM node);  // here and now
    void EndFilling(Filling& filling);
    HTREEITEM InsertChild(HTREEITEM parent, HTREEITEM after, SubFolder& folder);
    void ExpandNow(HTREEITEM node);  // lists the node here and now when it needs it
    bool ReadInBackground(HTREEITEM node, bool expand, bool refresh);
    void ReadArrived(ReadRequest& request, SubFolderListing& listing);
    void ShownChecked(const std::vector<NodeRef>& chain, size_t there);
    void RefreshReadDone();
    NodeRef RefOf(HTREEITEM node) const;
    std::uint64_t RenameStamp(HTREEITEM node) const;
    void ChildRenamed(HTREEITEM parent);     // makes the reads of the parent asked for so far stale
    void ReadAgainIfMarked(HTREEITEM node);  // a refresh's read left for later, once nothing holds it up
    // The held nodes at and below `top` that the user sees open (`top` and the nodes of `open` count as open),
    // parents first; a closed branch on the way is marked to be read when it is next opened.
    std::vector<HTREEITEM> OpenHeldNodes(HTREEITEM top, const std::unordered_set<HTREEITEM>& open);
    void ReadIfStale(HTREEITEM node);  // a branch a refresh passed over, now opened
    bool Alive(const NodeRef& ref) const;
    void SetNodeIcons(HTREEITEM node, TVITEMW& item);
    void GiveIcons(TVITEMW& item);   // what the control asks for each time it draws a node
    void IconsLater(TVITEMW& item);  // the plain folder's icons now, the node's own from the worker
    void ReadIcons();
    ComPtr<IShellFolder> NodeFolder(HTREEITEM node) const;
    ComPtr<IShellFolder> ContainingFolder(HTREEITEM node) const;
    HTREEITEM FindChildNode(HTREEITEM node, const ITEMIDLIST* item);
    HTREEITEM ChildFor(HTREEITEM node, IShellFolder* folder, const ITEMIDLIST* item) const;  // among those listed
    HTREEITEM AddMissingChild(HTREEITEM node, IShellFolder* folder, const ITEMIDLIST* item);
    HTREEITEM FindNodeByIdList(const ITEMIDLIST* list);
    HTREEITEM FindNearestNode(const ITEMIDLIST* absolute);
    bool Contains(HTREEITEM ancestor, HTREEITEM node) const;  // node is the ancestor or lies below it
    void SetHasChildren(HTREEITEM node, bool value);
    void SetNodeText(HTREEITEM node, const std::wstring& text);
    void SetNodeData(HTREEITEM node, UniqueIdList list);
    void TellComboSelection();

    bool CanExpand(HTREEITEM node);
    void Change(HTREEITEM node, UINT action);
    void Act(HTREEITEM node);  // the selection is taken up: the owner and the linked views hear of it
    void KeyRested();
    void NotifyLinkedViews(HTREEITEM node);
    void Announce(HTREEITEM node);  // the owner and the linked views hear of the node again
    bool CanEdit(HTREEITEM node) const;
    void Edit(const NMTVDISPINFOW& info);
    void DeletionHandler(HTREEITEM node, LPARAM data);
    void ReleaseAllNodes();

    void WMRButtonDown(WPARAM wp, LPARAM lp);
    void MouseDown(int button, int x, int y);
    void MouseMove(WPARAM keys, int x, int y);
    void MouseUp(int button, int x, int y);
    void ResetPress() noexcept;
    void ShowMenuForSelected(POINT screen);
    void DragSelected();
    void SetStyleBit(DWORD bit, bool on);

    HWND parent_;
    HWND hwnd_ = nullptr;  // destroyed with this component, or earlier with its parent
    ui::Subclass hook_;
    int redrawLocks_ = 0;

    // Press tracking: a button went down on the tree and neither a menu nor a drag came of it yet.
    bool pressed_ = false;
    bool rightPressed_ = false;
    int pressX_ = 0;
    int pressY_ = 0;
    bool nativeDrag_ = false;             // the control's own tracking of the press saw a drag begin
    bool strayed_ = false;                // the pointer went further than a click allows since the press
    HTREEITEM rightClickNode_ = nullptr;  // the node under the last right press, for the right-click selection

    LinkedFolderView* comboView_ = nullptr;
    ui::Component* comboComponent_ = nullptr;  // the same combo as a component, to know it when it goes
    // True while the tree clears its nodes or fills a node: no node is filled and the linked views hear nothing.
    bool updating_ = false;
    // True while a rebuild moves through the desktop to the folder it keeps: only the final selection is reported.
    bool quiet_ = false;
    bool destroying_ = false;
    bool allIcons_ = false;  // both icons are wanted now, not only what drawing needs
    TFileView* fileView_ = nullptr;
    TContextMenuEx* contextMenu_ = nullptr;
    TDropSourceEx* dropSource_ = nullptr;
    HTREEITEM currentNode_ = nullptr;
    HTREEITEM previousNode_ = nullptr;
    LinkedFolderView* imagePanel_ = nullptr;
    HTREEITEM keyNode_ = nullptr;                      // chosen with the keys, taken up once the keys rest
    static constexpr UINT_PTR kKeyRestTimer = 0x7EE5;  // an id the control does not use for its own timers
    static constexpr UINT kKeyRestMs = 300;
    static constexpr double kSliceMs = 15;  // the longest a slice of a listing holds the window

    // Reads off the window's thread. Every node gets a stamp when it is added; a read names its nodes by handle and
    // stamp, and its result is applied only to nodes that are still the same.
    std::unordered_map<HTREEITEM, std::uint64_t> stamps_;
    std::uint64_t lastStamp_ = 0;
    std::unordered_set<HTREEITEM> opening_;  // nodes the user opened whose first listing is being read
    // Nodes one of whose children was renamed, with a stamp of the last rename: a read asked for before it is stale.
    std::unordered_map<HTREEITEM, std::uint64_t> renameStamps_;
    HTREEITEM renamingIn_ = nullptr;  // the node one of whose children the shell is renaming now
    // Nodes a refresh could not read then (their listing was being added, their first read or a rename was under
    // way): they are read once that ends.
    std::unordered_set<HTREEITEM> readAgain_;
    // Closed branches whose sub-folders the tree holds and that a refresh passed over: read when next opened.
    std::unordered_set<HTREEITEM> stale_;
    std::unordered_map<HTREEITEM, std::shared_ptr<Filling>> fillings_;
    std::unordered_set<HTREEITEM> iconsPending_;  // drawn with the plain folder's icons until their own come
    // Folders' icons are given to the control each time it draws them, never set in it: setting a node's icons
    // costs the control milliseconds (it measures the node again), answering costs nothing.
    std::unordered_map<HTREEITEM, std::pair<int, int>> nodeIcons_;
    struct WantedIcons {
        NodeRef node;
        UniqueIdList absolute;
        std::pair<int, int> given;  // what the node is drawn with meanwhile
    };
    std::vector<WantedIcons> iconsWanted_;
    std::pair<int, int> plainIcons_{-1, -1};
    bool plainOpenKnown_ = false;
    int listNow_ = 0;  // inside an expansion of our own, which lists at once
    int pendingReads_ = 0;
    int refreshing_ = 0;  // reads of the refresh under way
    bool refreshAgain_ = false;
    ui::Generation generation_;
    ui::Generation::Token readToken_;  // stale once the nodes it names are gone for good (a rebuild, the end)
    ui::UiInbox inbox_;
    // Performance-counter ticks the reading thread spent in jobs; shared with them.
    std::shared_ptr<std::atomic<std::int64_t>> workerBusy_ = std::make_shared<std::atomic<std::int64_t>>(0);
    // Both go before the inbox: a read still running posts to a live inbox.
    ui::BackgroundWorker worker_;
    ui::BackgroundWorker iconWorker_;  // icons on a thread of their own, so that they never hold a read up

    bool showRoot_ = false;
    bool rightClickSelect_ = false;
    bool hideSelection_ = true;
    bool readOnly_ = false;
    int indent_ = -1;  // the control's own until set
    RECT bounds_{0, 0, 200, 200};
};

}  // namespace shell
