// The folder tree on a real tree view over a real folder tree on disk: lazy listing, selection by path and list,
// rebuilding, rename in place, the freeing of node lists, the mouse and the keyboard.
#include <windows.h>
#include <commctrl.h>
#include <commoncontrols.h>

#include <windowsx.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/FileView.h"
#include "shell/FolderView.h"
#include "shell/folder_view_fixture.h"
#include "shell/shell_support.h"
#include "support/test_support.h"

using namespace folder_test;

namespace {

TEST_F(FolderViewTest, StartsOnTheDesktopExpandedInTheShellsOrder) {
    const HTREEITEM top = tree->Root();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(tree->Selected(), top);
    EXPECT_EQ(IdListSize(tree->NodeData(top)), 2u);  // the desktop's empty list
    EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), top, TVIS_EXPANDED) & TVIS_EXPANDED);
    const std::vector<HTREEITEM> children = tree->Children(top);
    ASSERT_FALSE(children.empty());
    for (size_t i = 1; i < children.size(); ++i) {
        EXPECT_LE(CompareIds(DesktopFolder(), tree->NodeData(children[i - 1]), tree->NodeData(children[i])), 0);
    }
    const LONG_PTR style = ::GetWindowLongPtrW(tree->Handle(), GWL_STYLE);
    EXPECT_FALSE(style & TVS_LINESATROOT);
    EXPECT_TRUE(style & TVS_SHOWSELALWAYS);
    EXPECT_EQ(tree->Indent(), 19);
    EXPECT_EQ(TreeView_GetImageList(tree->Handle(), TVSIL_NORMAL), GetSystemImageList(false));
    EXPECT_TRUE(changes.empty());  // the owner's first selection is its own
}

TEST_F(FolderViewTest, ListsFoldersOnlyHiddenOnesToo) {
    const HTREEITEM node = Select(root);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root)));
    tree->Expand(node);
    std::vector<std::wstring> texts = Texts(node);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::wstring>{L".secret", L"alpha", L"empty"}));
}

TEST_F(FolderViewTest, OpensALevelOnceAndDropsTheButtonOfAnEmptyFolder) {
    WatchingDesktop desktop;
    const HTREEITEM node = Select(root);
    ASSERT_NE(node, nullptr);
    tree->Expand(node);
    const HTREEITEM empty = Child(node, L"empty");
    const HTREEITEM alpha = Child(node, L"alpha");
    ASSERT_TRUE(empty && alpha);
    EXPECT_TRUE(tree->NodeHasChildren(alpha));
    EXPECT_TRUE(tree->Children(alpha).empty());  // not listed before it is opened

    const int before = desktop.enumerations;
    tree->Expand(empty);
    EXPECT_EQ(desktop.enumerations, before + 1);
    EXPECT_FALSE(tree->NodeHasChildren(empty));
    MakeDir(root + L"\\empty\\late");
    tree->Expand(empty);
    EXPECT_TRUE(tree->Children(empty).empty());

    tree->Expand(alpha);
    EXPECT_EQ(Texts(alpha), std::vector<std::wstring>{L"inner"});
    tree->Collapse(alpha);
    MakeDir(root + L"\\alpha\\later");
    tree->Expand(alpha);
    EXPECT_EQ(Texts(alpha), std::vector<std::wstring>{L"inner"});
    EXPECT_EQ(desktop.enumerations, before + 2);
}

TEST_F(FolderViewTest, SelectsByPathAndLeavesABadPathAlone) {
    RecordingView combo;
    tree->SetComboView(&combo);
    const HTREEITEM alpha = Select(root + L"\\alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(tree->NodeText(alpha), L"alpha");
    EXPECT_EQ(changes, std::vector<HTREEITEM>{alpha});
    ASSERT_EQ(combo.paths.size(), 1u);
    EXPECT_TRUE(SamePath(combo.paths[0], ShellPath(root + L"\\alpha")));

    EXPECT_FALSE(tree->SelectPath(root + L"\\missing\\nowhere"));
    EXPECT_FALSE(tree->SelectPath(L"C:\\no such folder"));
    EXPECT_EQ(tree->Selected(), alpha);
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_EQ(combo.paths.size(), 1u);

    // The desktop's own list is the root, as the combo's first row names it.
    const UniqueIdList desktop = ConcatIdLists(nullptr, nullptr);
    tree->SelectIdList(desktop.get());
    EXPECT_EQ(tree->Selected(), tree->Root());
    EXPECT_EQ(changes.back(), tree->Root());
    EXPECT_EQ(combo.sizes.back(), 2u);
    tree->SetSelected(alpha);

    // No selection at all: the owner hears of it, the linked views keep what they show.
    const size_t told = combo.paths.size();
    tree->SetSelected(nullptr);
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_EQ(tree->GetSelectedPath(), L"");
    EXPECT_EQ(tree->GetSelectedIdList(), nullptr);
    EXPECT_EQ(changes.back(), nullptr);
    EXPECT_EQ(tree->PreviousNode(), alpha);
    EXPECT_EQ(combo.paths.size(), told);
    tree->SetSelected(tree->PreviousNode());
    EXPECT_EQ(tree->Selected(), alpha);
    tree->SetComboView(nullptr);
}

TEST_F(FolderViewTest, AFolderThatHasGoneGivesWayToItsNearestAncestor) {
    RecordingView combo;
    tree->SetComboView(&combo);
    MakeDir(root + L"\\alpha\\inner\\deep");
    const UniqueIdList deep = PathToIdList(root + L"\\alpha\\inner\\deep");
    ASSERT_NE(deep, nullptr);
    ASSERT_NE(Select(root + L"\\alpha\\inner\\deep"), nullptr);
    std::filesystem::remove_all(root + L"\\alpha\\inner");

    // A rebuild on it, the combo's row of it, its path kept from earlier: each lands on the folder above.
    tree->RebuildTree(deep.get());
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\alpha"))) << tree->GetSelectedPath();
    EXPECT_TRUE(SamePath(combo.paths.back(), ShellPath(root + L"\\alpha")));
    tree->SetSelected(tree->Root());
    tree->SelectIdList(deep.get());
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\alpha")));
    tree->SetSelected(tree->Root());
    EXPECT_FALSE(tree->SelectPath(root + L"\\alpha\\inner\\deep")) << "a path that does not parse";
    EXPECT_EQ(tree->Selected(), tree->Root());
    EXPECT_TRUE(tree->SelectNearestPath(root + L"\\alpha\\inner\\deep"));
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\alpha")));
    for (HTREEITEM change : changes) EXPECT_NE(change, nullptr) << "never no folder at all";

    EXPECT_FALSE(tree->SelectNearestPath(L"no such place"));
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\alpha")));
    tree->SetComboView(nullptr);
}

TEST_F(FolderViewTest, SelectsAFolderWhosePathIsLongerThanAPathBuffer) {
    std::wstring parent = root;
    while (parent.size() < 200) {
        parent += L"\\" + std::wstring(30, L'p');
        MakeDir(parent);
    }
    const std::wstring name = std::wstring(290 - parent.size(), L'x');
    const std::wstring path = parent + L"\\" + name;
    ASSERT_GT(path.size(), 280u);
    MakeDir(path);
    const HTREEITEM node = Select(path);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(tree->NodeText(node), name);
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), path)) << tree->GetSelectedPath();
    EXPECT_TRUE(SamePath(PathOfIdList(tree->GetSelectedIdList().get()), path));
}

TEST_F(FolderViewTest, NamesBeyondTheCodePageShowSelectAndRename) {
    const std::wstring korean = L"한국어 폴더 😀";
    MakeDir(root + L"\\" + korean);
    const HTREEITEM node = Select(root + L"\\" + korean);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(tree->NodeText(node), korean);
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root) + L"\\" + korean));

    HWND edit = TreeView_EditLabel(tree->Handle(), node);
    ASSERT_NE(edit, nullptr);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"새 이름 🎉")) ::SendMessageW(edit, WM_CHAR, c, 1);
    ::SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(tree->NodeText(node), L"새 이름 🎉");
    EXPECT_TRUE(std::filesystem::is_directory(root + L"\\새 이름 🎉"));
    EXPECT_FALSE(std::filesystem::exists(root + L"\\" + korean));
}

TEST_F(FolderViewTest, RenamesInPlaceThroughTheShell) {
    RecordingView combo;
    tree->SetComboView(&combo);
    const HTREEITEM alpha = Select(root + L"\\alpha");
    ASSERT_NE(alpha, nullptr);
    const size_t told = combo.paths.size();

    EditLabel(*tree, alpha, L"beta", VK_RETURN);  // accepted
    EXPECT_EQ(tree->NodeText(alpha), L"beta");
    EXPECT_TRUE(std::filesystem::is_directory(root + L"\\beta\\inner"));
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\beta")));
    ASSERT_EQ(combo.paths.size(), told + 1);
    EXPECT_TRUE(SamePath(combo.paths.back(), ShellPath(root + L"\\beta")));
    tree->Expand(alpha);  // the node goes on working under its new name
    EXPECT_EQ(Texts(alpha), std::vector<std::wstring>{L"inner"});

    EditLabel(*tree, alpha, L"empty", VK_RETURN);  // refused: a sibling has the name
    EXPECT_EQ(tree->NodeText(alpha), L"beta");
    EXPECT_TRUE(std::filesystem::is_directory(root + L"\\beta"));

    EditLabel(*tree, alpha, L"gamma", VK_ESCAPE);  // cancelled
    EXPECT_EQ(tree->NodeText(alpha), L"beta");
    EXPECT_FALSE(std::filesystem::exists(root + L"\\gamma"));
    EXPECT_EQ(combo.paths.size(), told + 1);

    EXPECT_EQ(TreeView_EditLabel(tree->Handle(), tree->Root()), nullptr);
    tree->SetComboView(nullptr);
}

TEST_F(FolderViewTest, RenameChildAndSelectChildFollowTheList) {
    RecordingView combo;
    tree->SetComboView(&combo);
    const HTREEITEM node = Select(root);
    ASSERT_NE(node, nullptr);
    tree->Expand(node);
    const UniqueIdList oldItem = PathToChildItem(root + L"\\alpha");
    ASSERT_TRUE(::MoveFileW((root + L"\\alpha").c_str(), (root + L"\\renamed").c_str()));
    const UniqueIdList newItem = PathToChildItem(root + L"\\renamed");
    const size_t told = combo.paths.size();
    tree->RenameChild(oldItem.get(), newItem.get());
    EXPECT_EQ(Texts(node), (std::vector<std::wstring>{L".secret", L"renamed", L"empty"}));  // in its place
    EXPECT_EQ(combo.paths.size(), told + 1);  // the combo hears of the selected folder again

    tree->SelectChild(newItem.get());
    ASSERT_NE(tree->Selected(), node);
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\renamed")));
    EXPECT_EQ(tree->PreviousNode(), node);
    tree->Expand(tree->Selected());
    EXPECT_EQ(Texts(tree->Selected()), std::vector<std::wstring>{L"inner"});
    tree->SetComboView(nullptr);
}

TEST_F(FolderViewTest, FoldersWhoseNamesDifferOnlyInCaseAreTwoAndTheExactNameWins) {
    MakeDir(root + L"\\Docs");
    MakeDir(root + L"\\Docs\\upper");
    if (!testing_support::MakeDirFromOutside(root + L"\\docs")) GTEST_SKIP() << "case does not count here";
    ASSERT_TRUE(testing_support::MakeDirFromOutside(root + L"\\docs\\lower"));

    // A path of the lower-case one, as the command line, the history or a drop gives it.
    ASSERT_TRUE(tree->SelectPath(root + L"\\docs\\lower"));
    const HTREEITEM lower = tree->Selected();
    EXPECT_EQ(tree->NodeText(lower), L"lower");
    const HTREEITEM docs = tree->Parent(lower);
    EXPECT_EQ(tree->NodeText(docs), L"docs");
    const HTREEITEM node = tree->Parent(docs);
    const HTREEITEM upper = Select(root + L"\\Docs");
    EXPECT_EQ(tree->NodeText(upper), L"Docs");
    EXPECT_NE(upper, docs);
    tree->Expand(upper);
    EXPECT_EQ(Texts(upper), std::vector<std::wstring>{L"upper"});

    // A refresh keeps both nodes, and the selection in one of them.
    tree->SetSelected(lower);
    changes.clear();
    tree->Refresh();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Child(node, L"Docs"), upper);
    EXPECT_EQ(Child(node, L"docs"), docs);
    EXPECT_EQ(tree->Selected(), lower);
    EXPECT_TRUE(changes.empty());
}

TEST_F(FolderViewTest, RebuildsOnTheDesktopOnNothingAndOnADeepFolder) {
    RecordingView combo;
    tree->SetComboView(&combo);
    const UniqueIdList deep = PathToIdList(root + L"\\alpha\\inner");
    ASSERT_NE(deep, nullptr);

    tree->RebuildTree(deep.get());
    ASSERT_EQ(changes.size(), 1u);  // only where it comes back to, not the desktop on the way
    EXPECT_EQ(changes[0], tree->Selected());
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\alpha\\inner")));
    ASSERT_EQ(combo.paths.size(), 1u);
    EXPECT_TRUE(SamePath(combo.paths[0], ShellPath(root + L"\\alpha\\inner")));

    const UniqueIdList desktop = ConcatIdLists(nullptr, nullptr);
    tree->RebuildTree(desktop.get());
    EXPECT_EQ(tree->Selected(), tree->Root());
    EXPECT_EQ(changes.size(), 2u);
    ASSERT_EQ(combo.sizes.size(), 2u);
    EXPECT_EQ(combo.sizes[1], 2u);  // the desktop's empty list

    tree->RebuildTree(nullptr);
    EXPECT_EQ(tree->Selected(), tree->Root());
    EXPECT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes.back(), tree->Root());
    EXPECT_EQ(tree->CurrentNode(), tree->Root());
    tree->SetComboView(nullptr);
}

TEST_F(FolderViewTest, EveryDeletedNodesListIsFreedOnceBeforeOnDeleting) {
    shell_testing::CountingMalloc counter;
    auto own = std::make_unique<TFolderView>(nullptr, host.Handle());
    own->SelectPath(root + L"\\alpha\\inner");
    std::map<HTREEITEM, const void*> lists;
    std::vector<int> freesAtDeleting;
    size_t phaseStart = 0;
    auto freesSince = [&](const void* p) {
        return static_cast<int>(
            std::count(counter.freed.begin() + static_cast<long>(phaseStart), counter.freed.end(), p));
    };
    auto collect = [&] {
        lists.clear();
        std::vector<HTREEITEM> pending{own->Root()};
        while (!pending.empty()) {
            const HTREEITEM n = pending.back();
            pending.pop_back();
            lists[n] = own->NodeData(n);
            for (HTREEITEM c : own->Children(n)) pending.push_back(c);
        }
        phaseStart = counter.freed.size();
        freesAtDeleting.clear();
    };
    own->OnDeleting = [&](TFolderView*, HTREEITEM node) {
        freesAtDeleting.push_back(lists.count(node) ? freesSince(lists[node]) : -1);
    };

    collect();
    ASSERT_GT(lists.size(), 5u);
    const UniqueIdList again = own->GetSelectedIdList();
    own->RebuildTree(again.get());
    EXPECT_EQ(freesAtDeleting, std::vector<int>(lists.size(), 1));  // the new nodes may reuse the addresses

    collect();
    own.reset();
    EXPECT_EQ(freesAtDeleting, std::vector<int>(lists.size(), 1));
    for (const auto& [node, list] : lists) EXPECT_EQ(freesSince(list), 1);
    EXPECT_FALSE(counter.AnyFreedTwice());
}

TEST_F(FolderViewTest, AFolderThatCannotBeListedSendsTheTreeBack) {
    WatchingDesktop desktop;
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    const HTREEITEM empty = Child(node, L"empty");
    tree->SetSelected(empty);
    desktop.refused = {ShellPath(root + L"\\alpha")};
    changes.clear();

    // Opened by its button: nothing is added, the button stays, the selection is where it was.
    const RECT label = tree->NodeLabelRect(alpha);
    TVHITTESTINFO hit{};
    hit.pt = POINT{label.left - 19 - 8, (label.top + label.bottom) / 2};
    ASSERT_EQ(TreeView_HitTest(tree->Handle(), &hit), alpha);
    ASSERT_TRUE(hit.flags & TVHT_ONITEMBUTTON);
    ::SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_TRUE(tree->Children(alpha).empty());
    EXPECT_TRUE(tree->NodeHasChildren(alpha));
    EXPECT_FALSE(TreeView_GetItemState(tree->Handle(), alpha, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(tree->Selected(), empty);
    EXPECT_EQ(tree->CurrentNode(), empty);

    // Opened as it is selected, by an owner that opens what the user selects: the tree goes back to where it was
    // and the linked views never hear of the folder.
    RecordingView combo;
    tree->SetComboView(&combo);
    tree->OnChange = [&](TFolderView*, HTREEITEM n) {
        changes.push_back(n);
        if (n == alpha) tree->Expand(alpha);
    };
    tree->SetSelected(alpha);
    EXPECT_EQ(tree->Selected(), empty);
    EXPECT_EQ(tree->CurrentNode(), empty);
    EXPECT_EQ(changes, (std::vector<HTREEITEM>{alpha, empty}));
    ASSERT_EQ(combo.paths.size(), 1u);
    EXPECT_TRUE(SamePath(combo.paths[0], ShellPath(root + L"\\empty")));
    tree->SetComboView(nullptr);

    desktop.refused.clear();  // the disc is in again
    tree->Expand(alpha);
    EXPECT_EQ(Texts(alpha), std::vector<std::wstring>{L"inner"});
}

TEST_F(FolderViewTest, IconsComeFromTheFolderOrTheSystemAndSharesAreMarked) {
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    const UniqueIdList absolute = tree->NodeIdList(alpha);
    EXPECT_EQ(tree->NodeIcons(alpha),
              std::make_pair(GetSysIconIndex(absolute.get(), SHGFI_SYSICONINDEX | SHGFI_SMALLICON),
                             GetSysIconIndex(absolute.get(), SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON)));
    EXPECT_EQ(tree->NodeOverlay(alpha), 0);

    WatchingDesktop desktop;
    desktop.lendIcons = true;
    desktop.sharedName = L"empty";
    const HTREEITEM inner = Select(root + L"\\alpha\\inner");
    ASSERT_NE(inner, nullptr);
    tree->RebuildTree(UniqueIdList(PathToIdList(root)).get());
    const HTREEITEM again = tree->Selected();
    tree->Expand(again);
    EXPECT_EQ(tree->NodeIcons(Child(again, L"alpha")), std::make_pair(5, 6));
    EXPECT_EQ(tree->NodeOverlay(Child(again, L"empty")), 1);
    EXPECT_EQ(tree->NodeOverlay(Child(again, L"alpha")), 0);
}

TEST_F(FolderViewTest, ARightClickSelectsAndItsFirstMoveOpensTheMenu) {
    folder_test::RecordingMenu menu;
    tree->SetRightClickSelect(false);
    tree->SetContextMenu(&menu);
    EXPECT_TRUE(tree->RightClickSelect());
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    changes.clear();

    HWND h = tree->Handle();
    PointerTo(*tree, alpha);
    const LPARAM at = LabelPoint(*tree, alpha);  // the pointer stays there while the tree scrolls to the selection
    const LPARAM closeBy = MAKELPARAM(GET_X_LPARAM(at) + 2, GET_Y_LPARAM(at) + 1);
    ::PostMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, at);
    ::PostMessageW(h, WM_RBUTTONUP, 0, at);
    PumpFor(50);
    EXPECT_EQ(tree->Selected(), alpha);
    EXPECT_TRUE(menu.shown.empty());
    ::PostMessageW(h, WM_MOUSEMOVE, 0, closeBy);
    PumpFor(50);
    ASSERT_EQ(menu.shown.size(), 1u);
    EXPECT_EQ(menu.shown[0].window, h);
    EXPECT_EQ(menu.shown[0].count, 1);
    EXPECT_EQ(menu.shown[0].item, L"alpha");
    EXPECT_TRUE(SamePath(menu.shown[0].folder, ShellPath(root)));
    POINT expected{GET_X_LPARAM(closeBy), GET_Y_LPARAM(closeBy)};
    ::ClientToScreen(h, &expected);
    EXPECT_EQ(menu.shown[0].screen.x, expected.x);
    EXPECT_EQ(menu.shown[0].screen.y, expected.y);

    ::PostMessageW(h, WM_MOUSEMOVE, 0, at);  // the press is over
    PumpFor(30);
    EXPECT_EQ(menu.shown.size(), 1u);

    // The root has no menu; a left click opens none.
    tree->SetSelected(tree->Root());
    PointerTo(*tree, tree->Root());
    const LPARAM top = LabelPoint(*tree, tree->Root());
    ::PostMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, top);
    ::PostMessageW(h, WM_RBUTTONUP, 0, top);
    PumpFor(50);
    EXPECT_EQ(tree->Selected(), tree->Root());
    ::PostMessageW(h, WM_MOUSEMOVE, 0, top);
    PumpFor(30);
    EXPECT_EQ(menu.shown.size(), 1u);
    PointerTo(*tree, alpha);
    const LPARAM left = LabelPoint(*tree, alpha);
    ::PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, left);
    ::PostMessageW(h, WM_LBUTTONUP, 0, left);
    ::PostMessageW(h, WM_MOUSEMOVE, 0, left);
    PumpFor(50);
    EXPECT_EQ(tree->Selected(), alpha);
    EXPECT_EQ(menu.shown.size(), 1u);
    tree->SetContextMenu(nullptr);
}

TEST_F(FolderViewTest, ARightClickSelectsTheNodeClickedAndNotAnotherRouteToTheSameFolder) {
    // A folder on the desktop is in the tree twice: under the desktop itself and under the computer's drive.
    wchar_t desktopDir[MAX_PATH]{};
    ASSERT_TRUE(
        SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0, desktopDir)));
    const std::wstring name = L"pilka_twice_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring onDesktop = std::wstring(desktopDir) + L"\\" + name;
    MakeDir(onDesktop);
    struct Removed {
        std::wstring path;
        ~Removed() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } removed{onDesktop};
    tree->RebuildTree(nullptr);
    const HTREEITEM viaDesktop = Child(tree->Root(), name);
    ASSERT_NE(viaDesktop, nullptr);
    changes.clear();

    PointerTo(*tree, viaDesktop);
    const LPARAM at = LabelPoint(*tree, viaDesktop);
    ::PostMessageW(tree->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    ::PostMessageW(tree->Handle(), WM_RBUTTONUP, 0, at);
    PumpFor(50);
    EXPECT_EQ(tree->Selected(), viaDesktop);
    EXPECT_EQ(tree->Parent(tree->Selected()), tree->Root());
    EXPECT_EQ(changes, std::vector<HTREEITEM>{viaDesktop}) << "one selection, no second branch";
}

TEST_F(FolderViewTest, ARightPressDraggedAwayOpensNoMenuLaterWhileARightClickStillDoes) {
    if (testing_support::NoScreen()) GTEST_SKIP() << "no pointer without a screen";
    folder_test::RecordingMenu menu;
    tree->SetContextMenu(&menu);
    tree->SetBounds(0, 40, 480, 60);  // short, so that any row can be its top one; the host lies above it
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    TreeView_SelectSetFirstVisible(tree->Handle(), alpha);
    PumpFor(50);
    const RECT label = tree->NodeLabelRect(alpha);
    ASSERT_LT(label.top, 14);
    POINT press{(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    ::ClientToScreen(tree->Handle(), &press);
    const POINT away{press.x, press.y - 14};  // above the tree
    const POINT back{press.x + 1, press.y};

    // Each step comes from a timer, whose ticks also reach the control's own loop that tracks the press.
    auto play = [&](std::vector<std::pair<POINT, DWORD>> steps) {
        size_t next = 0;
        ui::Timer timer(nullptr, 60);
        timer.OnTimer = [&] {
            if (next < steps.size()) MouseInput(steps[next].first, steps[next].second);
            ++next;
        };
        EXPECT_TRUE(testing_support::PumpUntil([&] { return next > steps.size() + 2; }, 5000));
    };
    MouseInput(press, 0);
    PumpFor(50);
    // Pressed, moved ten pixels and more off the tree, released there, and back where it was pressed.
    play({{press, MOUSEEVENTF_RIGHTDOWN}, {away, 0}, {away, MOUSEEVENTF_RIGHTUP}, {press, 0}, {back, 0}});
    EXPECT_TRUE(menu.shown.empty()) << "the press was over with its release";
    EXPECT_EQ(tree->Selected(), alpha);

    // A right click that stays where it was pressed opens the menu at its first move, once; also when it follows
    // the last press closely enough to count as its second click.
    play({{press, MOUSEEVENTF_RIGHTDOWN}, {press, MOUSEEVENTF_RIGHTUP}, {back, 0}, {press, 0}});
    ASSERT_EQ(menu.shown.size(), 1u);
    EXPECT_EQ(menu.shown[0].item, L"alpha");
    tree->SetContextMenu(nullptr);
}

TEST_F(FolderViewTest, ARenameInPlaceFreesTheNodesOldListOnce) {
    const HTREEITEM alpha = Select(root + L"\\alpha");
    ASSERT_NE(alpha, nullptr);
    shell_testing::CountingMalloc counter;
    const void* before = tree->NodeData(alpha);
    EditLabel(*tree, alpha, L"renamed", VK_RETURN);
    ASSERT_TRUE(std::filesystem::is_directory(root + L"\\renamed"));
    const void* after = tree->NodeData(alpha);
    EXPECT_NE(after, before);
    EXPECT_EQ(counter.FreesOf(before), 1);
    // Counted from here on: a block freed while renaming may come back at the new list's address.
    const auto since = static_cast<long>(counter.freed.size());
    tree.reset();
    EXPECT_EQ(std::count(counter.freed.begin() + since, counter.freed.end(), after), 1);
    EXPECT_FALSE(counter.AnyFreedTwice());
}

TEST_F(FolderViewTest, APressDraggedFurtherThanFourPixelsDragsTheSelectedFolder) {
    const HTREEITEM node = Select(root);
    tree->Expand(node);
    const HTREEITEM alpha = Child(node, L"alpha");
    tree->SetSelected(alpha);
    HWND h = tree->Handle();
    auto drag = [&] {
        PointerTo(*tree, alpha);
        ::PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, LabelPoint(*tree, alpha));
        ::PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, LabelPoint(*tree, alpha, 10, 0));
        ::PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, LabelPoint(*tree, alpha, 12, 0));
        ::PostMessageW(h, WM_LBUTTONUP, 0, LabelPoint(*tree, alpha, 12, 0));
        PumpFor(50);
    };
    drag();  // no drag source: nothing
    folder_test::RecordingDrag source;
    tree->SetDropSource(&source);
    drag();
    ASSERT_EQ(source.dragged.size(), 1u);
    EXPECT_EQ(source.dragged[0].window, h);
    EXPECT_EQ(source.dragged[0].count, 1);
    EXPECT_EQ(source.dragged[0].item, L"alpha");
    EXPECT_TRUE(SamePath(source.dragged[0].folder, ShellPath(root)));
    tree->SetDropSource(nullptr);
}

TEST_F(FolderViewTest, ATreeMadeWhileItsOwnerLoadsIsBuiltWhenLoadingEnds) {
    ui::Component form;
    form.BeginLoading();
    TFolderView loading(&form, host.Handle());
    folder_test::RecordingMenu menu(&form);
    RecordingView combo;
    loading.SetContextMenu(&menu);
    loading.SetRightClickSelect(false);
    loading.SetComboView(&combo);
    int changed = 0;
    loading.OnChange = [&](TFolderView*, HTREEITEM) { ++changed; };
    EXPECT_EQ(loading.Root(), nullptr);
    form.EndLoading();
    ASSERT_NE(loading.Root(), nullptr);
    EXPECT_EQ(loading.Selected(), loading.Root());
    EXPECT_TRUE(loading.RightClickSelect());
    EXPECT_EQ(combo.sizes, std::vector<UINT>{2u});  // told the desktop once
    EXPECT_EQ(changed, 0);
    loading.SetComboView(nullptr);
}

TEST_F(FolderViewTest, TheLinkedFileListShowsTheSelectedFolderAndLinksBack) {
    auto list = std::make_unique<TFileView>(nullptr, host.Handle());
    tree->SetFileView(list.get());
    EXPECT_EQ(list->FolderView(), tree.get());
    Select(root + L"\\alpha");
    ASSERT_NE(list->FolderIdList(), nullptr);
    EXPECT_TRUE(SamePath(PathOfIdList(list->FolderIdList()), ShellPath(root + L"\\alpha")));
    tree->SetFileView(nullptr);
    EXPECT_EQ(list->FolderView(), nullptr);
    tree->SetFileView(list.get());
    list.reset();
    EXPECT_EQ(tree->FileView(), nullptr);
    Select(root);  // nothing left to tell
}

TEST_F(FolderViewTest, LinksAreClearedWhenTheLinkedComponentGoes) {
    ui::Component form;
    auto menu = std::make_unique<folder_test::RecordingMenu>(&form);
    auto source = std::make_unique<folder_test::RecordingDrag>(&form);
    struct Combo : ui::Component, RecordingView {
        using ui::Component::Component;
    };
    auto combo = std::make_unique<Combo>(&form);
    tree->SetContextMenu(menu.get());
    tree->SetDropSource(source.get());
    tree->SetComboView(combo.get());
    menu.reset();
    source.reset();
    combo.reset();
    EXPECT_EQ(tree->ContextMenu(), nullptr);
    EXPECT_EQ(tree->DropSource(), nullptr);
    EXPECT_EQ(tree->ComboView(), nullptr);
    Select(root);  // nothing left to tell
}

TEST_F(FolderViewTest, KeysRenameAndOpenAndANewWindowGetsTheImagesAgain) {
    const HTREEITEM node = Select(root);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_RETURN, 1);  // its folders are read first, off this thread
    ASSERT_TRUE(testing_support::PumpUntil([&] { return !tree->Reading(); }, 10000));
    EXPECT_EQ(Texts(node).size(), 3u);
    EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_RETURN, 1);  // Enter opens and closes in turn
    EXPECT_FALSE(TreeView_GetItemState(tree->Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_TRUE(TreeView_GetItemState(tree->Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_EQ(tree->Selected(), tree->Children(node)[0]);
    ::SendMessageW(tree->Handle(), WM_KEYDOWN, VK_F2, 1);
    HWND edit = TreeView_GetEditControl(tree->Handle());
    ASSERT_NE(edit, nullptr);
    ::SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);

    folder_test::RecordingMenu menu;
    tree->SetContextMenu(&menu);
    tree->SetSelected(Child(node, L"alpha"));
    ::SendMessageW(tree->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree->Handle()), -1);  // Shift+F10
    ASSERT_EQ(menu.shown.size(), 1u);
    EXPECT_EQ(menu.shown[0].item, L"alpha");
    tree->SetContextMenu(nullptr);

    tree->RecreateWindow();
    EXPECT_EQ(TreeView_GetImageList(tree->Handle(), TVSIL_NORMAL), GetSystemImageList(false));
    EXPECT_EQ(tree->Indent(), 19);
    EXPECT_TRUE(SamePath(tree->GetSelectedPath(), ShellPath(root + L"\\alpha")));
}
}  // namespace
