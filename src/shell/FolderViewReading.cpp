// The folder tree's reads off the window's thread: a branch the user opens, and the refresh after the shown folder
// changed on disk. The worker reads folders and hands back plain data; the tree applies it on its own thread, only
// to the nodes the read was made for, and only when they still hold the children the read compared with.
#include <utility>

#include "shell/FileView.h"
#include "shell/FolderView.h"
#include "shell/SubFolders.h"

namespace shell {
namespace {

// Adds the time of its life to a total: the reading thread's time in one job.
class BusyTime {
public:
    // Shared with the job: a job left to end on its own after its tree has gone still has its total.
    explicit BusyTime(std::shared_ptr<std::atomic<std::int64_t>> total) noexcept : total_(std::move(total)) {
        ::QueryPerformanceCounter(&start_);
    }
    ~BusyTime() {
        LARGE_INTEGER end{};
        ::QueryPerformanceCounter(&end);
        *total_ += end.QuadPart - start_.QuadPart;
    }
    BusyTime(const BusyTime&) = delete;
    BusyTime& operator=(const BusyTime&) = delete;

private:
    std::shared_ptr<std::atomic<std::int64_t>> total_;
    LARGE_INTEGER start_{};
};

}  // namespace

// What a read of one node's sub-folders was made for, kept until its result is applied.
struct TFolderView::ReadRequest {
    NodeRef node;
    std::vector<NodeRef> children;  // the node's children when the read was asked for, in their order
    UniqueIdList absolute;
    std::vector<UniqueIdList> previous;  // copies of the children's items, to match the fresh listing with
    std::vector<bool> ask;               // which of them to ask again whether they have sub-folders
    std::uint64_t renamed = 0;           // the node's rename stamp when the read was asked for
    bool expand = false;                 // the user opened the node: it opens when its sub-folders are there
    bool refresh = false;                // part of a refresh
};

double TFolderView::WorkerBusyMs() const noexcept {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(workerBusy_->load()) / static_cast<double>(frequency.QuadPart);
}

TFolderView::NodeRef TFolderView::RefOf(HTREEITEM node) const {
    const auto found = stamps_.find(node);
    return found == stamps_.end() ? NodeRef{} : NodeRef{node, found->second};
}

bool TFolderView::Alive(const NodeRef& ref) const {
    if (!ref.node) return false;
    const auto found = stamps_.find(ref.node);
    return found != stamps_.end() && found->second == ref.stamp;
}

std::uint64_t TFolderView::RenameStamp(HTREEITEM node) const {
    const auto found = renameStamps_.find(node);
    return found == renameStamps_.end() ? 0 : found->second;
}

void TFolderView::ChildRenamed(HTREEITEM parent) {
    // A listing of the parent asked for before would take the renamed folder for one gone and one new.
    if (parent) renameStamps_[parent] = ++lastStamp_;
}

void TFolderView::ReadAgainIfMarked(HTREEITEM node) {
    if (!hwnd_ || !readAgain_.contains(node) || fillings_.contains(node) || opening_.contains(node) ||
        node == renamingIn_)
        return;
    readAgain_.erase(node);
    if (TreeView_GetChild(hwnd_, node) && ReadInBackground(node, false, true)) ++refreshing_;
}

bool TFolderView::ReadInBackground(HTREEITEM node, bool expand, bool refresh) {
    if (!hwnd_ || !node) return false;
    // A node whose listing is being applied, or one of whose children the shell is renaming, cannot be compared with
    // a listing now: it is read once that ends.
    if (fillings_.contains(node) || node == renamingIn_) {
        readAgain_.insert(node);
        return false;
    }
    if (expand && !refresh) {
        // One first listing of a node at a time: pressing its button again while it is read changes nothing.
        if (opening_.contains(node)) return false;
        opening_.insert(node);
    }
    auto request = std::make_shared<ReadRequest>();
    request->node = RefOf(node);
    request->expand = expand;
    request->refresh = refresh;
    request->absolute = NodeIdList(node);
    request->renamed = RenameStamp(node);
    // Asking whether a folder has sub-folders looks into its directory: only the folders in sight, or about to be
    // scrolled into it, are worth it. The others keep their buttons until a read finds them in sight.
    const RECT client = ui::ClientRect(hwnd_);
    const LONG page = client.bottom - client.top;
    for (HTREEITEM child : Children(node)) {
        request->children.push_back(RefOf(child));
        request->previous.push_back(CopyFirstItem(NodeData(child)));
        RECT row{};
        request->ask.push_back(TreeView_GetItemRect(hwnd_, child, &row, FALSE) && row.bottom >= client.top - page &&
                               row.top <= client.bottom + page);
    }
    if (!request->node.node || !request->absolute) {
        opening_.erase(node);
        return false;
    }
    std::vector<const ITEMIDLIST*> previous;
    for (const UniqueIdList& item : request->previous) previous.push_back(item.get());

    ++pendingReads_;
    const ComPtr<IShellFolder> desktop = DesktopForReading();
    const ui::Generation::Token token = readToken_;
    const ui::UiInbox::Sender sender = inbox_.MakeSender();
    // The request travels with the job and comes back with its result, so its lists are freed on this thread.
    stale_.erase(node);  // read now
    worker_.Run([this, request, previous, desktop, token, sender, total = workerBusy_]() mutable {
        const BusyTime busy(total);
        auto listing = std::make_shared<SubFolderListing>();
        try {
            *listing = ReadSubFolders(desktop.Get(), request->absolute.get(), previous, request->ask, nullptr,
                                      [&] { return token.Stale(); });
        } catch (...) {
            // A shell extension that throws, memory that runs out: a failed read all the same, which must come back
            // so that the node can be opened and the tree refreshed again.
            *listing = SubFolderListing{};
        }
        sender.Post([this, request = std::move(request), listing, token] {
            --pendingReads_;
            if (request->expand && !request->refresh) opening_.erase(request->node.node);
            try {
                if (!token.Stale()) ReadArrived(*request, *listing);
                if (Alive(request->node)) ReadAgainIfMarked(request->node.node);
            } catch (...) {
                if (request->refresh) RefreshReadDone();  // the refresh is not left waiting for this read
                throw;
            }
            if (request->refresh) RefreshReadDone();
        });
    });
    return true;
}

void TFolderView::ReadArrived(ReadRequest& request, SubFolderListing& listing) {
    if (!hwnd_ || !Alive(request.node)) return;
    const HTREEITEM node = request.node.node;
    std::vector<HTREEITEM> shown = Children(node);
    bool unchanged =
        node != renamingIn_ && request.renamed == RenameStamp(node) && shown.size() == request.children.size();
    for (size_t i = 0; unchanged && i < shown.size(); ++i)
        unchanged = shown[i] == request.children[i].node && Alive(request.children[i]);
    if (!unchanged) {
        // The node's children changed while it was read (a search listed it, a rename, another read): the
        // comparison no longer holds, so it is read again (once a rename under way ends).
        if (ReadInBackground(node, request.expand, request.refresh) && request.refresh) ++refreshing_;
        return;
    }
    // A folder that cannot be listed keeps its button, so that opening it later tries again.
    if (!listing.listed) return;
    auto filling = std::make_shared<Filling>(request.node, std::move(shown), std::move(listing));
    filling->expand = request.expand;
    filling->token = readToken_;
    fillings_[node] = filling;
    ++pendingReads_;
    ContinueFilling(filling);
}

void TFolderView::ContinueFilling(const std::shared_ptr<Filling>& filling) {
    if (filling->done) return;
    const auto current = fillings_.find(filling->node.node);
    const bool abandoned =
        filling->token.Stale() || !Alive(filling->node) || current == fillings_.end() || current->second != filling;
    if (!abandoned && !ApplySlice(*filling, kSliceMs)) {
        // The rest after the messages waiting: the window answers between two slices.
        inbox_.MakeSender().Post([this, filling] { ContinueFilling(filling); });
        return;
    }
    EndFilling(*filling);
    if (abandoned || !filling->expand) return;
    // Opening a big branch costs the control a while of its own: a step of its own too.
    ++pendingReads_;
    inbox_.MakeSender().Post([this, node = filling->node] {
        --pendingReads_;
        if (Alive(node)) ExpandNow(node.node);
    });
}

void TFolderView::FinishFilling(HTREEITEM node) {
    const auto found = fillings_.find(node);
    if (found == fillings_.end()) return;
    const std::shared_ptr<Filling> filling = found->second;
    if (!filling->token.Stale()) ApplySlice(*filling, 0);
    EndFilling(*filling);
}

bool TFolderView::ApplySlice(Filling& filling, double budgetMs) {
    try {
        return ApplySome(filling, budgetMs);
    } catch (...) {
        // Memory that ran out, say: the filling ends here, so that the node can be read and opened again.
        updating_ = false;
        EndFilling(filling);
        throw;
    }
}

void TFolderView::EndFilling(Filling& filling) {
    if (filling.done) return;
    filling.done = true;
    --pendingReads_;
    const auto current = fillings_.find(filling.node.node);
    if (current != fillings_.end() && current->second.get() == &filling) fillings_.erase(current);
    // A refresh that came while the listing was added may have seen changes that the listing has not.
    if (Alive(filling.node)) ReadAgainIfMarked(filling.node.node);
}

// ---- icons ----

void TFolderView::GiveIcons(TVITEMW& item) {
    const HTREEITEM node = item.hItem;
    if (const auto known = nodeIcons_.find(node); known != nodeIcons_.end()) {
        item.iImage = known->second.first;
        item.iSelectedImage = known->second.second;
        return;
    }
    if (Level(node) <= 0) {
        item.mask |= TVIF_DI_SETITEM;
        return;
    }
    if (!allIcons_) {
        // Asking the system costs milliseconds a folder, and may wait on its disc: the control draws the plain
        // folder now, and the folder's own icons follow from the worker.
        IconsLater(item);
        return;
    }
    TVITEMW both{};
    both.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    SetNodeIcons(node, both);
    nodeIcons_[node] = {both.iImage, both.iSelectedImage};
    iconsPending_.erase(node);
    item.iImage = both.iImage;
    item.iSelectedImage = both.iSelectedImage;
}

void TFolderView::IconsLater(TVITEMW& item) {
    if (plainIcons_.first < 0) {
        // The plain folder's icons by attributes alone: the system looks at no disc for them.
        SHFILEINFOW info{};
        const UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES;
        ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags);
        plainIcons_.first = info.iIcon;
        ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags | SHGFI_OPENICON);
        plainIcons_.second = info.iIcon;
    }
    item.iImage = plainIcons_.first;
    item.iSelectedImage = plainIcons_.second;
    const HTREEITEM node = item.hItem;
    if (!iconsPending_.insert(node).second) return;
    const bool first = iconsWanted_.empty();
    iconsWanted_.push_back({RefOf(node), NodeIdList(node), plainIcons_});
    // The nodes of one painting go to the worker together, once the painting is over.
    if (first) inbox_.MakeSender().Post([this] { ReadIcons(); });
}

void TFolderView::ReadIcons() {
    auto wanted = std::make_shared<std::vector<WantedIcons>>(std::move(iconsWanted_));
    iconsWanted_.clear();
    if (wanted->empty()) return;
    const ui::Generation::Token token = readToken_;
    const ui::UiInbox::Sender sender = inbox_.MakeSender();
    iconWorker_.Run([this, wanted, token, sender]() mutable {
        auto icons = std::make_shared<std::vector<std::pair<int, int>>>();
        try {
            for (const WantedIcons& one : *wanted) {
                if (token.Stale()) break;
                const ITEMIDLIST* absolute = one.absolute.get();
                icons->emplace_back(GetSysIconIndex(absolute, SHGFI_SYSICONINDEX | SHGFI_SMALLICON),
                                    GetSysIconIndex(absolute, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON));
            }
        } catch (...) {
            // The icons read so far come back; the others are asked for again when their nodes are next drawn.
        }
        sender.Post([this, wanted = std::move(wanted), icons] {
            for (size_t i = icons->size(); i < wanted->size(); ++i) iconsPending_.erase((*wanted)[i].node.node);
            // The plain folder's open icon is known only from a real folder: by attributes alone some systems give
            // the closed one.
            if (!plainOpenKnown_) {
                for (const auto& pair : *icons) {
                    if (pair.first != plainIcons_.first) continue;
                    plainIcons_.second = pair.second;
                    plainOpenKnown_ = true;
                    break;
                }
            }
            for (size_t i = 0; i < icons->size(); ++i) {
                const NodeRef& node = (*wanted)[i].node;
                if (!Alive(node) || iconsPending_.erase(node.node) == 0) continue;
                nodeIcons_[node.node] = (*icons)[i];
                // Most folders are plain ones: they are drawn right already.
                RECT row{};
                if ((*icons)[i] != (*wanted)[i].given && TreeView_GetItemRect(hwnd_, node.node, &row, FALSE))
                    ::InvalidateRect(hwnd_, &row, FALSE);
            }
        });
    });
}

// ---- refresh ----

void TFolderView::Refresh() {
    if (!hwnd_ || updating_) return;
    if (refreshing_ > 0) {
        refreshAgain_ = true;  // once the refresh under way ends
        return;
    }
    // The shown folder first: the list can be read again as soon as the folder is known to be there.
    const HTREEITEM shown = currentNode_ ? currentNode_ : Selected();
    std::vector<NodeRef> chain;
    std::vector<std::wstring> paths;
    for (HTREEITEM node = shown; node; node = Parent(node)) {
        chain.push_back(RefOf(node));
        paths.push_back(PathOfIdList(NodeIdList(node).get()));
    }
    ++refreshing_;
    ++pendingReads_;
    const ui::Generation::Token token = readToken_;
    const ui::UiInbox::Sender sender = inbox_.MakeSender();
    worker_.Run([this, chain, paths, token, sender, total = workerBusy_] {
        const BusyTime busy(total);
        size_t there = 0;
        try {
            while (there < paths.size() && !FolderStillThere(paths[there])) ++there;
        } catch (...) {
            there = paths.size();  // nothing is known: the tree stays where it is, and the refresh ends all the same
        }
        sender.Post([this, chain, there, token] {
            --pendingReads_;
            if (!token.Stale() && there < chain.size()) ShownChecked(chain, there);
            RefreshReadDone();
        });
    });
    // A node whose first listing is being read may miss what changed since that listing was taken: it is read
    // again once its listing is in.
    readAgain_.insert(opening_.begin(), opening_.end());
    // Then the shown folder's ancestors and the open branches, parents first; each result changes only what changed.
    // The closed branches wait until they are opened: a busy folder would otherwise keep the worker reading folders
    // nobody looks at, and a branch the user opens would wait behind them.
    std::unordered_set<HTREEITEM> open;
    for (const NodeRef& ref : chain) open.insert(ref.node);
    for (HTREEITEM node : OpenHeldNodes(Root(), open))
        if (ReadInBackground(node, false, true)) ++refreshing_;
}

std::vector<HTREEITEM> TFolderView::OpenHeldNodes(HTREEITEM top, const std::unordered_set<HTREEITEM>& open) {
    std::vector<HTREEITEM> pending{top};
    std::vector<HTREEITEM> listed;
    while (!pending.empty()) {
        const HTREEITEM node = pending.back();
        pending.pop_back();
        if (!node || !TreeView_GetChild(hwnd_, node)) continue;
        if (node != top && !open.contains(node) &&
            !(TreeView_GetItemState(hwnd_, node, TVIS_EXPANDED) & TVIS_EXPANDED)) {
            // What lies below it is marked in turn when it is opened.
            stale_.insert(node);
            continue;
        }
        listed.push_back(node);
        const std::vector<HTREEITEM> children = Children(node);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return listed;
}

void TFolderView::ReadIfStale(HTREEITEM node) {
    if (!hwnd_ || !stale_.contains(node)) return;
    // The branch shows what the tree holds at once, and what changed since follows from the worker, for it and for
    // the open branches below it that come into sight with it.
    for (HTREEITEM held : OpenHeldNodes(node, {}))
        ReadInBackground(held, false, false);  // one that must wait is read once it can be
}

void TFolderView::ShownChecked(const std::vector<NodeRef>& chain, size_t there) {
    // Another folder was chosen meanwhile: it was read when it was chosen.
    if (chain.empty() || !Alive(chain[0]) || currentNode_ != chain[0].node) return;
    if (there == 0) {
        if (fileView_) fileView_->FillItems();
        return;
    }
    // The shown folder has gone: its nearest ancestor that is still there takes its place everywhere.
    if (!Alive(chain[there])) return;
    RedrawPause pause(*this);
    SetSelected(chain[there].node);
    ShowSelected();
}

void TFolderView::RefreshReadDone() {
    if (refreshing_ > 0 && --refreshing_ > 0) return;
    if (!refreshAgain_) return;
    refreshAgain_ = false;
    Refresh();
}

}  // namespace shell
