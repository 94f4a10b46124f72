// The folder tree off the window's thread: branches the user opens, the refresh after a change on disk, and walking
// the tree with the keys.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "shell/folder_view_fixture.h"
#include "ui/owned.h"

using namespace folder_test;

namespace {

TEST_F(FolderViewTest, WalkingWithTheKeysTakesUpOnlyTheFolderWhereTheSelectionRests) {
    RecordingView combo;
    tree->SetComboView(&combo);
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const std::vector<HTREEITEM> children = tree->Children(node);
    ASSERT_EQ(children.size(), 3u);
    changes.clear();
    combo.paths.clear();

    ::SetFocus(tree->Handle());
    for (int i = 0; i < 3; ++i) ::PostMessageW(tree->Handle(), WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !combo.paths.empty(); }, 5000));
    PumpFor(400);  // long enough for any other folder passed to be taken up too, were it to be
    EXPECT_EQ(tree->Selected(), children[2]);
    EXPECT_EQ(changes, std::vector<HTREEITEM>{children[2]});
    ASSERT_EQ(combo.paths.size(), 1u);
    EXPECT_TRUE(SamePath(combo.paths[0], tree->GetSelectedPath()));
    EXPECT_EQ(tree->CurrentNode(), children[2]);
    EXPECT_EQ(tree->PreviousNode(), node);

    // The mouse is taken up at once: by the time its click has been handled.
    const LPARAM at = LabelPoint(*tree, children[0]);
    ::PostMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(tree->Handle(), WM_LBUTTONUP, 0, at);
    ASSERT_TRUE(testing_support::PumpUntil(
        [&] {
            MSG pending{};
            return !::PeekMessageW(&pending, tree->Handle(), WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE);
        },
        5000));
    EXPECT_EQ(changes.back(), children[0]);
    EXPECT_EQ(combo.paths.size(), 2u);

    // A selection with the keys that goes before it rests is never taken up.
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_DOWN, 1);
    tree->RebuildTree(nullptr);
    PumpFor(400);
    EXPECT_EQ(changes.back(), tree->Root());
    tree->SetComboView(nullptr);
}

TEST_F(FolderViewTest, ABranchTheUserOpensIsReadOffTheWindowsThreadAndOpensOnceRead) {
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    ASSERT_TRUE(tree->Children(alpha).empty());
    const RECT label = tree->NodeLabelRect(alpha);
    ::SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON,
                   MAKELPARAM(label.left - 19 - 8, (label.top + label.bottom) / 2));
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(alpha), std::vector<std::wstring>{L"inner"});
    EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), alpha, TVIS_EXPANDED) & TVIS_EXPANDED);

    // Enter on a branch never opened does the same.
    const HTREEITEM inner = Child(alpha, L"inner");
    MakeDir(root + L"\\alpha\\inner\\below");
    tree->SetSelected(inner);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(inner), std::vector<std::wstring>{L"below"});
    EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), inner, TVIS_EXPANDED) & TVIS_EXPANDED);

    // The same after a rebuild, which makes the reads under way stale, not those that come after it.
    MakeDir(root + L"\\later");
    MakeDir(root + L"\\later\\sub");
    tree->RebuildTree(UniqueIdList(PathToIdList(root)).get());
    const HTREEITEM later = Child(tree->Selected(), L"later");
    ASSERT_NE(later, nullptr);
    ASSERT_TRUE(tree->Children(later).empty());
    tree->SetSelected(later);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(later), std::vector<std::wstring>{L"sub"});
}

TEST_F(FolderViewTest, AFolderIsDrawnAtOnceAndWithItsOwnIconsOnceTheWorkerHasThem) {
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    const UniqueIdList absolute = tree->NodeIdList(alpha);
    const auto own =
        std::make_pair(GetSysIconIndex(absolute.get(), SHGFI_SYSICONINDEX | SHGFI_SMALLICON),
                       GetSysIconIndex(absolute.get(), SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON));
    auto drawnWith = [&] {
        TVITEMW item{};
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        item.hItem = alpha;
        EXPECT_TRUE(TreeView_GetItem(tree->Handle(), &item));
        return std::make_pair(item.iImage, item.iSelectedImage);
    };
    ::RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const auto first = drawnWith();
    EXPECT_GE(first.first, 0) << "drawn at once, with the plain folder's icons";
    EXPECT_TRUE(testing_support::PumpUntil([&] { return drawnWith() == own; }, 5000))
        << first.first << " " << first.second << " against " << own.first << " " << own.second;
}

TEST_F(FolderViewTest, ARefreshKeepsBranchesSelectionAndScrollAndShowsWhatChangedAsAFreshListingWould) {
    for (int i = 0; i < 30; ++i) MakeDir(root + L"\\f" + std::to_wstring(10 + i));
    tree->SetBounds(0, 0, 160, 200);  // narrow and short: both scroll bars
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    tree->Expand(alpha);
    tree->SetSelected(alpha);
    const HTREEITEM kept = Child(node, L"f20");
    TreeView_SelectSetFirstVisible(tree->Handle(), kept);
    ::SendMessageW(tree->Handle(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40), 0);
    const HTREEITEM top = TreeView_GetFirstVisible(tree->Handle());
    const int across = ::GetScrollPos(tree->Handle(), SB_HORZ);
    ASSERT_GT(across, 0);

    // Between two refreshes: a folder deleted, one renamed, one made, and one made in a folder never opened.
    std::filesystem::remove_all(root + L"\\empty");
    ASSERT_TRUE(::MoveFileW((root + L"\\f30").c_str(), (root + L"\\g30").c_str()));
    MakeDir(root + L"\\made");
    MakeDir(root + L"\\alpha\\inner\\below");
    changes.clear();
    tree->Refresh();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));

    TFolderView fresh(nullptr, host.Handle());
    ASSERT_TRUE(fresh.SelectPath(root));
    const HTREEITEM freshRoot = fresh.Selected();
    fresh.Expand(freshRoot);
    HTREEITEM freshAlpha = nullptr;
    for (HTREEITEM c : fresh.Children(freshRoot))
        if (fresh.NodeText(c) == L"alpha") freshAlpha = c;
    ASSERT_NE(freshAlpha, nullptr);
    fresh.Expand(freshAlpha);
    auto describe = [](TFolderView& t, HTREEITEM n) {
        std::vector<std::wstring> seen;
        for (HTREEITEM c : t.Children(n)) seen.push_back(t.NodeText(c) + (t.NodeHasChildren(c) ? L" +" : L""));
        return seen;
    };
    EXPECT_EQ(describe(*tree, node), describe(fresh, freshRoot));
    EXPECT_EQ(describe(*tree, alpha), describe(fresh, freshAlpha));
    EXPECT_NE(Child(node, L"made"), nullptr);
    EXPECT_EQ(Child(node, L"empty"), nullptr);
    EXPECT_EQ(Child(node, L"f30"), nullptr);
    EXPECT_NE(Child(node, L"g30"), nullptr);

    // Only what changed was touched: the rest are the same nodes, where they were.
    EXPECT_EQ(tree->Selected(), alpha);
    EXPECT_TRUE(changes.empty()) << "the selection did not move";
    EXPECT_EQ(Child(node, L"f20"), kept);
    EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), alpha, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(TreeView_GetFirstVisible(tree->Handle()), top);
    EXPECT_EQ(::GetScrollPos(tree->Handle(), SB_HORZ), across);
}

// Presses a node's expand button, as the user opens a branch.
void PressButton(TFolderView& tree, HTREEITEM node) {
    const RECT label = tree.NodeLabelRect(node);
    ::SendMessageW(tree.Handle(), WM_LBUTTONDOWN, MK_LBUTTON,
                   MAKELPARAM(label.left - 19 - 8, (label.top + label.bottom) / 2));
}

TEST_F(FolderViewTest, AReadThatThrowsIsAFailedReadAndTheTreeStillOpensAndRefreshes) {
    WatchingDesktop desktop;
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    desktop.throwing = {ShellPath(root + L"\\alpha")};
    PressButton(*tree, alpha);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_TRUE(tree->Children(alpha).empty());
    EXPECT_TRUE(tree->NodeHasChildren(alpha)) << "opening it later tries again";
    desktop.throwing.clear();
    PressButton(*tree, alpha);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(alpha), std::vector<std::wstring>{L"inner"});

    // A refresh whose read throws ends all the same, and the next one reads again.
    desktop.throwing = {ShellPath(root)};
    MakeDir(root + L"\\made");
    tree->Refresh();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Child(node, L"made"), nullptr);
    desktop.throwing.clear();
    tree->Refresh();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_NE(Child(node, L"made"), nullptr);
}

TEST_F(FolderViewTest, AFolderThatFailsPartWayIsAFailedReadAndWhatIsShownStays) {
    WatchingDesktop desktop;
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const std::vector<HTREEITEM> shown = tree->Children(node);
    ASSERT_EQ(Texts(node), (std::vector<std::wstring>{L".secret", L"alpha", L"empty"}));
    const HTREEITEM empty = Child(node, L"empty");
    tree->SetSelected(empty);
    changes.clear();
    desktop.failing = {ShellPath(root)};
    MakeDir(root + L"\\made");
    tree->Refresh();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(tree->Children(node), shown);
    EXPECT_EQ(tree->Selected(), empty);
    EXPECT_TRUE(changes.empty());

    // A first listing that fails at once adds nothing and keeps the button.
    const HTREEITEM alpha = Child(node, L"alpha");
    desktop.failing = {ShellPath(root + L"\\alpha")};
    desktop.failAfter = 0;
    PressButton(*tree, alpha);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_TRUE(tree->Children(alpha).empty());
    EXPECT_TRUE(tree->NodeHasChildren(alpha));
}

TEST_F(FolderViewTest, ARenameMakesAReadOfItsFolderAskedForBeforeItStale) {
    WatchingDesktop desktop;
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    desktop.gate = gate.get();
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    tree->Expand(alpha);
    tree->SetSelected(alpha);
    // Held only from here on: the tree's own listing of the folder above, here and now, would wait at the gate.
    desktop.gated = {ShellPath(root)};
    // The folder's listing is taken once the rename is done, for a read asked for before it.
    auto renamedDuringRead = [&](const std::function<void()>& rename) {
        ::ResetEvent(gate.get());
        tree->Refresh();
        ASSERT_TRUE(testing_support::PumpUntil([&] { return desktop.waiting > 0; }, 10000));
        rename();
        ::SetEvent(gate.get());
        ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    };
    auto expanded = [&](HTREEITEM n) {
        return (TreeView_GetItemState(tree->Handle(), n, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    };

    renamedDuringRead([&] { EditLabel(*tree, alpha, L"beta", VK_RETURN); });
    EXPECT_EQ(Child(node, L"beta"), alpha) << "the same node, not one made again";
    EXPECT_EQ(Child(node, L"alpha"), nullptr);
    EXPECT_EQ(tree->Selected(), alpha);
    EXPECT_TRUE(expanded(alpha));

    // The same for a rename the list made.
    tree->SetSelected(node);
    renamedDuringRead([&] {
        const UniqueIdList oldItem = PathToChildItem(root + L"\\beta");
        ASSERT_TRUE(::MoveFileW((root + L"\\beta").c_str(), (root + L"\\gamma").c_str()));
        const UniqueIdList newItem = PathToChildItem(root + L"\\gamma");
        tree->RenameChild(oldItem.get(), newItem.get());
    });
    EXPECT_EQ(Child(node, L"gamma"), alpha);
    EXPECT_EQ(Child(node, L"beta"), nullptr);
    EXPECT_TRUE(expanded(alpha));
}

TEST_F(FolderViewTest, ARefreshDuringABranchsFirstReadReadsItAgainOnceItsListingIsIn) {
    WatchingDesktop desktop;
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    desktop.gate = gate.get();
    desktop.gatedAtEnd = {ShellPath(root + L"\\alpha")};
    const HTREEITEM node = Select(root);
    tree->Expand(node);

    // The listing of alpha is taken, and a folder is made before it is handed back.
    const HTREEITEM alpha = Child(node, L"alpha");
    PressButton(*tree, alpha);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return desktop.waiting > 0; }, 10000));
    MakeDir(root + L"\\alpha\\late");
    tree->Refresh();
    ::SetEvent(gate.get());
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(alpha), (std::vector<std::wstring>{L"inner", L"late"}));
}

TEST_F(FolderViewTest, ARefreshReadsTheOpenBranchesAndAsksAboutSubFoldersOnlyOfFoldersInSight) {
    MakeDir(root + L"\\many");
    for (int i = 0; i < 150; ++i) MakeDir(root + L"\\many\\m" + std::to_wstring(100 + i));
    MakeDir(root + L"\\alpha\\inner\\below");
    WatchingDesktop desktop;
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    // A branch opened to two levels and closed again, and one open whose folders reach far out of sight.
    const HTREEITEM alpha = Child(node, L"alpha");
    tree->Expand(alpha);
    const HTREEITEM inner = Child(alpha, L"inner");
    tree->Expand(inner);
    tree->Collapse(inner);
    tree->Collapse(alpha);
    tree->Expand(Child(node, L"many"));
    TreeView_SelectSetFirstVisible(tree->Handle(), node);
    MakeDir(root + L"\\alpha\\late");
    MakeDir(root + L"\\alpha\\inner\\later");
    MakeDir(root + L"\\made");
    {
        const std::lock_guard lock(desktop.seenLock);
        desktop.listed.clear();
        desktop.askedAbout.clear();
    }
    tree->Refresh();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    {
        const std::lock_guard lock(desktop.seenLock);
        auto listed = [&](const std::wstring& path) {
            return std::count(desktop.listed.begin(), desktop.listed.end(), ShellPath(path)) > 0;
        };
        EXPECT_TRUE(listed(root));
        EXPECT_TRUE(listed(root + L"\\many"));
        EXPECT_FALSE(listed(root + L"\\alpha")) << "a closed branch is read when it is opened";
        EXPECT_FALSE(listed(root + L"\\alpha\\inner"));
        EXPECT_EQ(desktop.askedAbout[ShellPath(root)], 5) << "every folder in sight";
        EXPECT_LT(desktop.askedAbout[ShellPath(root + L"\\many")], 150) << "not those far out of sight";
    }
    EXPECT_NE(Child(node, L"made"), nullptr);

    // Opened, the closed branch shows what changed meanwhile, and so does the closed one below it (opened with
    // Enter, which the control opens without a notice once a branch has been open).
    auto open = [&](HTREEITEM branch, WPARAM key) {
        tree->SetSelected(branch);
        ::SendMessageW(tree->Handle(), WM_KEYDOWN, key, 1);
        EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), branch, TVIS_EXPANDED) & TVIS_EXPANDED);
    };
    open(alpha, VK_RIGHT);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(alpha), (std::vector<std::wstring>{L"inner", L"late"}));
    EXPECT_EQ(Child(alpha, L"inner"), inner);
    open(inner, VK_RETURN);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(inner), (std::vector<std::wstring>{L"below", L"later"}));
}

}  // namespace
