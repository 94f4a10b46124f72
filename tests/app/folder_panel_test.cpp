// The folder panel of the main window: the start folder, the caption and history that follow the tree, opening
// files from the list, file drops and the monitor that rebuilds the panel.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "monitor/DirMontr.h"
#include "shell/ShView.h"
#include "ui/ini.h"
#include "ui/window.h"

namespace {

std::wstring WindowTitle(HWND hwnd) {
    wchar_t text[2048]{};
    ::GetWindowTextW(hwnd, text, 2048);
    return text;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// The captions of the list's rows, as the control gives them.
std::vector<std::wstring> RowCaptions(HWND list) {
    std::vector<std::wstring> rows;
    const int n = ListView_GetItemCount(list);
    for (int i = 0; i < n; ++i) {
        wchar_t text[1024]{};
        ListView_GetItemText(list, i, 0, text, 1024);
        rows.emplace_back(text);
    }
    return rows;
}

int RowOf(HWND list, const std::wstring& caption) {
    const auto rows = RowCaptions(list);
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == caption) return static_cast<int>(i);
    return -1;
}

// A drop of files from the shell, as the system hands it to a window.
HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const auto& p : paths) chars += p.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& p : paths) {
        std::copy(p.begin(), p.end(), out);
        out += p.size() + 1;
    }
    ::GlobalUnlock(memory);
    return memory;
}

// The shown pop-up menu of this thread, if any.
HWND ShownMenu() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) -> BOOL {
            wchar_t cls[16]{};
            ::GetClassNameW(hwnd, cls, 16);
            if (::lstrcmpW(cls, L"#32768") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
            *reinterpret_cast<HWND*>(data) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Notes every menu that opens on this thread, where it stands, and closes it as the user's Escape would. Its ticks
// come through the menu's own loop.
class MenuWatch {
public:
    MenuWatch() : timer_(nullptr, 30) {
        timer_.OnTimer = [this] {
            const HWND menu = ShownMenu();
            if (!menu) return;
            if (menu != noted_) {  // every menu has a window of its own
                RECT shown{};
                ::GetWindowRect(menu, &shown);
                menus.push_back(shown);
                noted_ = menu;
            }
            ::EndMenu();
        };
    }
    std::vector<RECT> menus;

private:
    HWND noted_ = nullptr;
    ui::Timer timer_;
};

}  // namespace

class FolderPanelTest : public MainWindowTest {
protected:
    HWND List() { return form->ShellListView1().Handle(); }
    std::wstring Shown() { return form->ShellTreeView1().GetSelectedPath(); }
    std::wstring Folder(const std::wstring& name) {
        const std::wstring path = dir / name;
        std::filesystem::create_directories(path);
        return path;
    }
    // Opens the window on a file of the temporary folder, so that the panel shows that folder.
    void OpenIn(const std::wstring& folder) {
        testing_support::WriteBytes(folder + L"\\start.txt", "start");
        Open({folder + L"\\start.txt"});
        Settle();
    }
    // Lets the panel finish what it reads in the background, so that its rows show the folder it is on.
    void Settle() {
        EXPECT_TRUE(testing_support::PumpUntil(
            [&] { return !form->ShellListView1().Reading() && !form->ShellTreeView1().Reading(); }, 20000));
    }
};

TEST_F(FolderPanelTest, StartsInTheProgramsFolderAndShowsItEverywhere) {
    Open();
    Settle();
    const std::wstring folder = WithoutTrailingSlash(ui::ExeFolder());
    EXPECT_EQ(Shown(), folder);
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + folder);
    EXPECT_EQ(form->DirMonitor1().Directory(), folder);
    ASSERT_FALSE(form->FolderHistory().empty());
    EXPECT_EQ(form->FolderHistory().back(), folder);
    EXPECT_NE(RowOf(List(), L"pilka2.exe"), -1);
    EXPECT_EQ(form->HintOfControl(form->cbFolRireki()), L"参照したフォルダ履歴");
    // The list in report view, its first column widened at the first showing.
    EXPECT_EQ(::GetWindowLongPtrW(List(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(ListView_GetColumnWidth(List(), 0), 150);
    wchar_t header[32]{};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = header;
    column.cchTextMax = 32;
    ListView_GetColumn(List(), 0, &column);
    EXPECT_STREQ(header, L"*名前");
}

TEST_F(FolderPanelTest, StartsInTheFolderOfTheCommandLineFileAndSavesTheShownFolderAtClose) {
    const std::wstring folder = Folder(L"起動 フォルダ");
    OpenIn(folder);
    EXPECT_EQ(Shown(), folder);
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + folder);
    EXPECT_EQ(form->FolderHistory(), std::vector<std::wstring>{folder});
    EXPECT_NE(RowOf(List(), L"start.txt"), -1);
    form->FormClose();
    EXPECT_EQ(ui::IniFile(IniPath()).ReadString(L"Folder", L"Path", L""), folder);
}

TEST_F(FolderPanelTest, HistoryKeepsTheFirstVisitOfEachFolderAndTheLastTen) {
    OpenIn(Folder(L"start"));
    const std::wstring a = Folder(L"A"), b = Folder(L"B"), c = Folder(L"C");
    for (const auto& f : {a, b, a, c}) ASSERT_TRUE(form->ShellTreeView1().SelectPath(f));
    auto history = form->FolderHistory();
    ASSERT_GE(history.size(), 3u);
    EXPECT_EQ(std::vector<std::wstring>(history.end() - 3, history.end()), (std::vector<std::wstring>{a, b, c}));

    std::vector<std::wstring> eleven;
    for (int i = 0; i < 11; ++i) eleven.push_back(Folder(L"F" + std::to_wstring(i)));
    for (const auto& f : eleven) ASSERT_TRUE(form->ShellTreeView1().SelectPath(f));
    EXPECT_EQ(form->FolderHistory(), std::vector<std::wstring>(eleven.begin() + 1, eleven.end()));

    // The comparison is exact: the same folder in other letter case is another entry.
    form->combotuika(form->cbFolRireki(), L"C:\\Data");
    form->combotuika(form->cbFolRireki(), L"c:\\data");
    history = form->FolderHistory();
    EXPECT_EQ(std::vector<std::wstring>(history.end() - 2, history.end()),
              (std::vector<std::wstring>{L"C:\\Data", L"c:\\data"}));
}

TEST_F(FolderPanelTest, PickingAFolderInTheHistoryMovesTheTree) {
    const std::wstring start = Folder(L"start");
    OpenIn(start);
    const std::wstring other = Folder(L"other");
    ASSERT_TRUE(form->ShellTreeView1().SelectPath(other));
    HWND combo = form->cbFolRireki();
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(Shown(), start);
    EXPECT_EQ(form->FolderHistory(), (std::vector<std::wstring>{start, other}));
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(0, CBN_DROPDOWN), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(::SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), 800);
}

TEST_F(FolderPanelTest, ADoubleClickOpensAFileWithAnExtensionOnly) {
    const std::wstring folder = Folder(L"docs");
    testing_support::WriteBytes(folder + L"\\README", "read me");
    testing_support::WriteBytes(folder + L"\\notes.txt", "my notes");
    OpenIn(folder);
    ASSERT_EQ(form->TabCount(), 1);

    const int readme = RowOf(List(), L"README");
    ASSERT_NE(readme, -1);
    testing_support::ClickRow(List(), readme, true);
    EXPECT_EQ(form->TabCount(), 1);

    const int notes = RowOf(List(), L"notes.txt");
    ASSERT_NE(notes, -1);
    testing_support::ClickRow(List(), notes, true);
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(form->TabCaption(form->CurrentSlot()), L"notes");
    EXPECT_EQ(Text(form->CurrentSlot()), L"my notes");
}

TEST_F(FolderPanelTest, OneClickModeAsksBeforeReplacingAModifiedTab) {
    const std::wstring folder = Folder(L"docs");
    testing_support::WriteBytes(folder + L"\\notes.txt", "my notes");
    OpenIn(folder);
    form->SetButtonDown(app::kBtnOne2, true);
    Type(1, L"unsaved work");

    prompter.answers = {IDNO};
    testing_support::ClickRow(List(), RowOf(List(), L"notes.txt"), false);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.LastText().find(L"が未保存ですが閉じますか？"), std::wstring::npos);
    EXPECT_EQ(Text(1), L"unsaved work");
    EXPECT_EQ(form->TabCount(), 1);

    // Yes: the same tab takes the file.
    prompter.answers = {IDYES};
    testing_support::ClickRow(List(), RowOf(List(), L"start.txt"), false);
    testing_support::ClickRow(List(), RowOf(List(), L"notes.txt"), false);
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(Text(1), L"my notes");
}

TEST_F(FolderPanelTest, ADropOfThreeFilesOpensTheFirstAndMovesTheTreeToItsFolder) {
    OpenIn(Folder(L"start"));
    const std::wstring target = Folder(L"dropped");
    std::vector<std::wstring> files;
    for (const wchar_t* name : {L"one.txt", L"two.txt", L"three.txt"}) {
        files.push_back(target + L"\\" + name);
        testing_support::WriteBytes(files.back(), "text");
    }
    ::SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(files)), 0);
    EXPECT_EQ(form->TabCount(), 2);
    EXPECT_EQ(form->TabCaption(form->CurrentSlot()), L"one");
    EXPECT_EQ(Shown(), target);
}

TEST_F(FolderPanelTest, AFileMadeByAnotherProgramShowsUpAndThePanelStaysOnItsFolder) {
    const std::wstring folder = Folder(L"watched");
    OpenIn(folder);
    const auto historyBefore = form->FolderHistory();
    std::wstring command = L"cmd.exe /c echo new> made_outside.txt";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                 folder.c_str(), &si, &pi));
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ASSERT_TRUE(std::filesystem::exists(folder + L"\\made_outside.txt"));

    EXPECT_TRUE(testing_support::PumpUntil([&] { return RowOf(List(), L"made_outside.txt") != -1; }, 8000));
    EXPECT_EQ(Shown(), folder);
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + folder);
    EXPECT_EQ(form->DirMonitor1().Directory(), folder);
    EXPECT_EQ(form->FolderHistory(), historyBefore);
}

TEST_F(FolderPanelTest, ARebuildKeepsTheSelectedRowTheScrollAndTheOpenBranches) {
    const std::wstring folder = Folder(L"busy");
    for (int i = 0; i < 120; ++i)
        testing_support::WriteBytes(folder + L"\\file" + std::to_wstring(1000 + i) + L".txt", "x");
    Folder(L"busy\\branch\\leaf");
    OpenIn(folder);
    shell::TFolderView& tree = form->ShellTreeView1();
    auto branchNode = [&] {
        for (HTREEITEM child : tree.Children(tree.Selected()))
            if (tree.NodeText(child) == L"branch") return child;
        return HTREEITEM{};
    };
    tree.Expand(tree.Selected());
    ASSERT_NE(branchNode(), nullptr);
    tree.Expand(branchNode());
    const int row = RowOf(List(), L"file1100.txt");
    ASSERT_NE(row, -1);
    ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(List(), row, FALSE);
    const int top = ListView_GetTopIndex(List());
    ASSERT_GT(top, 0);

    testing_support::WriteBytes(folder + L"\\zzz_new.txt", "new");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return RowOf(List(), L"zzz_new.txt") != -1; }, 8000));
    const int selected = ListView_GetNextItem(List(), -1, LVNI_SELECTED);
    ASSERT_NE(selected, -1);
    wchar_t caption[64]{};
    ListView_GetItemText(List(), selected, 0, caption, 64);
    EXPECT_STREQ(caption, L"file1100.txt");
    EXPECT_EQ(ListView_GetTopIndex(List()), top);
    ASSERT_NE(branchNode(), nullptr);
    EXPECT_TRUE(TreeView_GetItemState(tree.Handle(), branchNode(), TVIS_EXPANDED) & TVIS_EXPANDED);
}

TEST_F(FolderPanelTest, ARenameInTheListHoldsBackTheListsRefreshButNotTheTrees) {
    const std::wstring folder = Folder(L"renaming");
    testing_support::WriteBytes(folder + L"\\a.txt", "a");
    OpenIn(folder);
    shell::TFolderView& tree = form->ShellTreeView1();
    ::SetFocus(List());
    HWND edit = ListView_EditLabel(List(), RowOf(List(), L"a.txt"));
    ASSERT_NE(edit, nullptr);
    testing_support::WriteBytes(folder + L"\\new.txt", "new");
    Folder(L"made meanwhile");
    auto treeShowsIt = [&] {
        for (HTREEITEM child : tree.Children(tree.Parent(tree.Selected())))
            if (tree.NodeText(child) == L"made meanwhile") return true;
        return false;
    };
    EXPECT_TRUE(testing_support::PumpUntil(treeShowsIt, 8000)) << "the tree follows the disk meanwhile";
    testing_support::PumpFor(500);
    EXPECT_EQ(ListView_GetEditControl(List()), edit);
    EXPECT_EQ(RowOf(List(), L"new.txt"), -1);

    ::SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return RowOf(List(), L"new.txt") != -1; }, 3000));
    EXPECT_NE(RowOf(List(), L"a.txt"), -1);
}

TEST_F(FolderPanelTest, ARightClickOnAFileShowsOneShellMenuWhereThePointerIs) {
    const std::wstring folder = Folder(L"menu");
    testing_support::WriteBytes(folder + L"\\notes.txt", "x");
    OpenIn(folder);
    const int row = RowOf(List(), L"notes.txt");
    ASSERT_NE(row, -1);
    const POINT at = testing_support::RowCentre(List(), row);
    MenuWatch watch;
    const std::vector<RECT>& menus = watch.menus;
    const LPARAM point = MAKELPARAM(at.x, at.y);
    ::PostMessageW(List(), WM_RBUTTONDOWN, MK_RBUTTON, point);
    ::PostMessageW(List(), WM_RBUTTONUP, 0, point);
    ::PostMessageW(List(), WM_MOUSEMOVE, 0, point);
    testing_support::PumpFor(1500);

    ASSERT_EQ(menus.size(), 1u) << "one menu for one click";
    POINT screen = at;
    ::ClientToScreen(List(), &screen);
    EXPECT_EQ(menus[0].left, screen.x);
    EXPECT_EQ(menus[0].top, screen.y);
    EXPECT_TRUE(std::filesystem::exists(folder + L"\\notes.txt"));
}

// ---- the panel on real folders: never on the wrong folder, never a stale list ----

TEST_F(FolderPanelTest, TheMainWindowsPanelSettings) {
    OpenIn(Folder(L"settings"));
    monitor::TDirMonitor& watch = form->DirMonitor1();
    EXPECT_TRUE(watch.Active());
    EXPECT_EQ(watch.Filter(),
              (monitor::TDirMonitorFilter{monitor::dmfFileName, monitor::dmfDirName, monitor::dmfAttributes,
                                          monitor::dmfSize, monitor::dmfLastWrite}));
    EXPECT_TRUE(watch.IncludeSubDir());
    EXPECT_EQ(watch.Interval(), 2000u);
    EXPECT_EQ(::SendMessageW(form->cbFolRireki(), CB_GETMINVISIBLE, 0, 0), 10);
    EXPECT_EQ(ui::WidthOf(form->cbFolRireki()), ui::WidthOf(form->ShellTreeView1().Handle()));
    // Still as wide as the tree after the panes are resized.
    form->Splitter1().SetPaneSize(form->PaneLeftWidth() + 40);
    EXPECT_EQ(ui::WidthOf(form->cbFolRireki()), ui::WidthOf(form->ShellTreeView1().Handle()));
}

TEST_F(FolderPanelTest, TheShownFolderDeletedFromOutsideGivesWayToItsParentEverywhere) {
    const std::wstring parent = Folder(L"parent");
    const std::wstring shown = Folder(L"parent\\shown");
    testing_support::WriteBytes(parent + L"\\beside.txt", "x");
    OpenIn(shown);
    ASSERT_EQ(Shown(), shown);
    ASSERT_NE(RowOf(List(), L"start.txt"), -1);

    ASSERT_TRUE(testing_support::RemoveFromOutside(shown));
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Shown() == parent; }, 10000)) << ui::Utf8FromWide(Shown());
    Settle();
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + parent);
    EXPECT_EQ(form->DirMonitor1().Directory(), parent);
    EXPECT_TRUE(form->DirMonitor1().Watching());
    EXPECT_EQ(form->FolderHistory(), (std::vector<std::wstring>{shown, parent}));
    EXPECT_NE(RowOf(List(), L"beside.txt"), -1);
    EXPECT_EQ(RowOf(List(), L"start.txt"), -1);
    EXPECT_EQ(RowOf(List(), L"shown"), -1);

    // The monitor watches where the panel went: the panel goes on following changes.
    testing_support::WriteBytes(parent + L"\\later.txt", "x");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return RowOf(List(), L"later.txt") != -1; }, 10000));
}

TEST_F(FolderPanelTest, AHistoryEntryOrADroppedFileWhoseFolderHasGoneLeadsToTheNearestFolderStillThere) {
    const std::wstring top = Folder(L"top");
    const std::wstring gone = Folder(L"top\\gone");
    OpenIn(gone);
    const std::wstring other = Folder(L"other");
    ASSERT_TRUE(form->ShellTreeView1().SelectPath(other));
    std::filesystem::remove_all(gone);

    HWND combo = form->cbFolRireki();
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);  // the folder that has gone
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(Shown(), top);
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + top);
    EXPECT_EQ(form->FolderHistory(), (std::vector<std::wstring>{gone, other, top}));
    EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 2) << "the history shows where the tree went";

    ASSERT_TRUE(form->ShellTreeView1().SelectPath(other));
    prompter.answers = {IDOK};
    ::SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({gone + L"\\lost.txt"})), 0);
    EXPECT_EQ(Shown(), top);
    EXPECT_EQ(form->DirMonitor1().Directory(), top);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + gone + L"\\lost.txt は開けません.");
}

TEST_F(FolderPanelTest, AFolderWithoutAPathLeavesTheCaptionHistoryAndSettingsEmptyAndTheMonitorIdle) {
    const std::wstring folder = Folder(L"real");
    OpenIn(folder);
    const auto history = form->FolderHistory();
    const shell::UniqueIdList computer = shell::SpecialFolderIdList(nullptr, CSIDL_DRIVES);
    ASSERT_NE(computer, nullptr);
    form->ShellTreeView1().SelectIdList(computer.get());
    ASSERT_NE(form->ShellTreeView1().Selected(), form->ShellTreeView1().Root());
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=");
    EXPECT_EQ(form->FolderHistory(), history);
    EXPECT_EQ(form->DirMonitor1().Directory(), L"");
    EXPECT_FALSE(form->DirMonitor1().Watching());
    EXPECT_TRUE(form->DirMonitor1().Active());
    form->FormClose();
    EXPECT_EQ(ui::IniFile(IniPath()).ReadString(L"Folder", L"Path", L"?"), L"");

    // The next folder with a path is watched again.
    ASSERT_TRUE(form->ShellTreeView1().SelectPath(folder));
    Settle();
    EXPECT_TRUE(form->DirMonitor1().Watching());
    testing_support::WriteBytes(folder + L"\\seen.txt", "x");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return RowOf(List(), L"seen.txt") != -1; }, 10000));
}

TEST_F(FolderPanelTest, RenamingTheShownFolderOrAnAncestorInTheTreeMovesEverythingAlong) {
    const std::wstring top = Folder(L"old top");
    OpenIn(Folder(L"old top\\old name"));
    shell::TFolderView& tree = form->ShellTreeView1();
    const HTREEITEM shown = tree.Selected();
    ::SetFocus(tree.Handle());
    ::SendMessageW(tree.Handle(), WM_KEYDOWN, VK_F2, 1);
    HWND edit = TreeView_GetEditControl(tree.Handle());
    ASSERT_NE(edit, nullptr);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"new name")) ::SendMessageW(edit, WM_CHAR, c, 1);
    ::SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    Settle();
    const std::wstring renamed = top + L"\\new name";
    ASSERT_TRUE(std::filesystem::is_directory(renamed));
    EXPECT_EQ(Shown(), renamed);
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + renamed);
    EXPECT_EQ(form->DirMonitor1().Directory(), renamed);
    EXPECT_EQ(form->FolderHistory().back(), renamed);
    EXPECT_EQ(shell::PathOfIdList(form->ShellListView1().FolderIdList()), renamed);

    // An ancestor of it, renamed in its own label.
    HWND ancestorEdit = TreeView_EditLabel(tree.Handle(), tree.Parent(shown));
    ASSERT_NE(ancestorEdit, nullptr);
    ::SendMessageW(ancestorEdit, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"new top")) ::SendMessageW(ancestorEdit, WM_CHAR, c, 1);
    ::SendMessageW(ancestorEdit, WM_KEYDOWN, VK_RETURN, 1);
    Settle();
    const std::wstring moved = dir / L"new top\\new name";
    ASSERT_TRUE(std::filesystem::is_directory(moved));
    EXPECT_EQ(tree.Selected(), shown);
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + moved);
    EXPECT_EQ(form->DirMonitor1().Directory(), moved);
    EXPECT_EQ(shell::PathOfIdList(form->ShellListView1().FolderIdList()), moved);

    // The list goes on working in the folder's new place: a double-click opens its file.
    const int row = RowOf(List(), L"start.txt");
    ASSERT_NE(row, -1);
    testing_support::ClickRow(List(), row, true);
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(Text(form->CurrentSlot()), L"start");
}

TEST_F(FolderPanelTest, ADroppedFolderMovesTheTreeThereAndOpensNoTab) {
    OpenIn(Folder(L"start"));
    const std::wstring target = Folder(L"dropped folder.v1.2");
    ::SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({target})), 0);
    EXPECT_EQ(Shown(), target);
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(FolderPanelTest, TheShownFolderIsInViewAtStartAfterAHistoryChoiceAndADrop) {
    // A sibling with a long name makes the tree wide, so that a page to the right carries the label of the shown
    // folder out of the tree's view on the left.
    Folder(std::wstring(120, L'w'));
    const std::wstring folder = Folder(L"shown");
    OpenIn(folder);
    shell::TFolderView& tree = form->ShellTreeView1();
    auto labelInView = [&] {
        const RECT label = tree.NodeLabelRect(tree.Selected());
        const RECT client = ui::ClientRect(tree.Handle());
        return label.left >= client.left && label.left < client.right && label.top >= client.top &&
               label.bottom <= client.bottom;
    };
    EXPECT_TRUE(labelInView()) << "at start";
    EXPECT_GT(::GetScrollPos(tree.Handle(), SB_HORZ), 0) << "the page to the right is kept where it can be";

    const std::wstring other = Folder(L"other");
    ASSERT_TRUE(tree.SelectPath(other));
    HWND combo = form->cbFolRireki();
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    ASSERT_EQ(Shown(), folder);
    EXPECT_TRUE(labelInView()) << "after a history choice";

    ASSERT_TRUE(tree.SelectPath(other));
    ::SendMessageW(tree.Handle(), WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), 0);
    testing_support::WriteBytes(folder + L"\\dropped.txt", "x");
    ::SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder + L"\\dropped.txt"})), 0);
    ASSERT_EQ(Shown(), folder);
    EXPECT_TRUE(labelInView()) << "after a drop";
}

// ---- the panel live on big and busy folders ----

TEST_F(FolderPanelTest, WalkingTheTreeWithTheKeysListsOnlyTheFolderWhereItRests) {
    const std::wstring folder = Folder(L"walk");
    for (const wchar_t* name : {L"walk\\a", L"walk\\b", L"walk\\c"}) Folder(name);
    testing_support::WriteBytes(folder + L"\\c\\in_c.txt", "c");
    OpenIn(folder);
    shell::TFolderView& tree = form->ShellTreeView1();
    tree.Expand(tree.Selected());
    const auto history = form->FolderHistory();

    ::SetFocus(tree.Handle());
    for (int i = 0; i < 3; ++i) ::PostMessageW(tree.Handle(), WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return form->FolderHistory().size() > history.size(); }, 5000));
    Settle();
    testing_support::PumpFor(400);  // long enough for a folder passed on the way to be taken up, were it to be
    EXPECT_EQ(Shown(), folder + L"\\c");
    auto expected = history;
    expected.push_back(folder + L"\\c");
    EXPECT_EQ(form->FolderHistory(), expected) << "a and b were only passed";
    EXPECT_EQ(WindowTitle(form->Handle()), L"保存フォルダ=" + folder + L"\\c");
    EXPECT_EQ(form->DirMonitor1().Directory(), folder + L"\\c");
    EXPECT_NE(RowOf(List(), L"in_c.txt"), -1);
}

TEST_F(FolderPanelTest, AMonitorRefreshKeepsTheTreesPlaceAndTheShownFolderInView) {
    // Enough folders beside the shown one that its row lies well down a tree of a few rows.
    for (int i = 0; i < 40; ++i) Folder(L"sibling" + std::to_wstring(10 + i));
    const std::wstring folder = Folder(L"sibling60");
    OpenIn(folder);
    shell::TFolderView& tree = form->ShellTreeView1();
    const HTREEITEM shown = tree.Selected();
    const HTREEITEM top = TreeView_GetFirstVisible(tree.Handle());
    const int across = ::GetScrollPos(tree.Handle(), SB_HORZ);
    const RECT before = tree.NodeLabelRect(shown);
    const RECT client = ui::ClientRect(tree.Handle());
    ASSERT_GE(before.top, client.top);
    ASSERT_LE(before.bottom, client.bottom);

    Folder(L"sibling05");  // a folder above it, in the listing of its parent
    testing_support::WriteBytes(folder + L"\\made.txt", "x");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return RowOf(List(), L"made.txt") != -1; }, 10000));
    Settle();
    EXPECT_EQ(tree.Selected(), shown);
    EXPECT_EQ(TreeView_GetFirstVisible(tree.Handle()), top);
    EXPECT_EQ(::GetScrollPos(tree.Handle(), SB_HORZ), across);
    const RECT after = tree.NodeLabelRect(shown);
    EXPECT_GE(after.top, client.top);
    EXPECT_LE(after.bottom, client.bottom);
}

TEST_F(FolderPanelTest, AFolderWithADotInItsNameIsEnteredOrSelectedButNeverOpenedAsADocument) {
    const std::wstring folder = Folder(L"dotted");
    Folder(L"dotted\\v1.2");
    Folder(L"dotted\\.git");
    OpenIn(folder);
    ASSERT_NE(RowOf(List(), L"v1.2"), -1);

    // One-click mode with unsaved work: a click on the folder selects it and leaves the tab alone.
    form->SetButtonDown(app::kBtnOne2, true);
    Type(1, L"unsaved work");
    testing_support::ClickRow(List(), RowOf(List(), L"v1.2"), false);
    EXPECT_TRUE(prompter.messages.empty()) << ui::Utf8FromWide(prompter.LastText());
    EXPECT_EQ(Text(1), L"unsaved work");
    EXPECT_EQ(form->ShellListView1().GetSelectedPath(), folder + L"\\v1.2");

    // Double-click mode: the folder is entered, and no tab opens for it.
    form->SetButtonDown(app::kBtnOne2, false);
    testing_support::ClickRow(List(), RowOf(List(), L".git"), true);
    Settle();
    EXPECT_TRUE(prompter.messages.empty()) << ui::Utf8FromWide(prompter.LastText());
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(Shown(), folder + L"\\.git");
}

TEST_F(FolderPanelTest, ARightPressThatMovedAwayOpensNoMenuWhenThePointerComesBack) {
    const std::wstring folder = Folder(L"pressed");
    testing_support::WriteBytes(folder + L"\\notes.txt", "x");
    OpenIn(folder);
    const int row = RowOf(List(), L"notes.txt");
    ASSERT_NE(row, -1);
    POINT at = testing_support::RowCentre(List(), row);
    ::ClientToScreen(List(), &at);
    ::SetForegroundWindow(form->Handle());
    using testing_support::SendMouse;
    MenuWatch watch;

    // A right click with the mouse: one menu, where the pointer is.
    ASSERT_TRUE(testing_support::RunSteps({
        [&] { SendMouse(MOUSEEVENTF_MOVE, at); },
        [&] { SendMouse(MOUSEEVENTF_RIGHTDOWN); },
        [&] { SendMouse(MOUSEEVENTF_RIGHTUP); },
        [] {},
        [] {},
    }));
    ASSERT_EQ(watch.menus.size(), 1u);
    EXPECT_EQ(watch.menus[0].left, at.x);
    EXPECT_EQ(watch.menus[0].top, at.y);

    // Pressed, moved ten pixels, released, and brought back over the place of the press: no menu.
    std::vector<std::function<void()>> steps{
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{at.x, at.y + 1});
        },  // the pointer over the list again
        [&] { SendMouse(MOUSEEVENTF_MOVE, at); },
        [&] { SendMouse(MOUSEEVENTF_RIGHTDOWN); },
    };
    for (int dx = 2; dx <= 10; dx += 2)
        steps.push_back([&, dx] { SendMouse(MOUSEEVENTF_MOVE, POINT{at.x + dx, at.y}); });
    steps.push_back([&] { SendMouse(MOUSEEVENTF_RIGHTUP); });
    for (int dx = 8; dx >= 0; dx -= 2)
        steps.push_back([&, dx] { SendMouse(MOUSEEVENTF_MOVE, POINT{at.x + dx, at.y}); });
    steps.push_back([&] { SendMouse(MOUSEEVENTF_MOVE, POINT{at.x, at.y + 1}); });
    ASSERT_TRUE(testing_support::RunSteps(steps));
    EXPECT_EQ(watch.menus.size(), 1u) << "a menu nobody asked for";
    EXPECT_TRUE(std::filesystem::exists(folder + L"\\notes.txt"));
}
