// The file list: its rows against the shell's own per-entry answers, the shared sort, the mask, double-clicks with
// and without a tree, rename in place, the press tracking, and refills that keep the user's place.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windowsx.h>
#include <winioctl.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/DRPCOMEX.h"
#include "shell/FileView.h"
#include "shell/FolderView.h"
#include "shell/file_view_support.h"
#include "shell/folder_view_support.h"
#include "shell/shell_support.h"
#include "support/host_window.h"
#include "support/test_support.h"
#include "ui/owned.h"
#include "ui/text.h"
#include "ui/window.h"

namespace {

using namespace file_view_test;
using testing_support::ScriptedPrompter;

}  // namespace

TEST(FileView, RowsAreWhatTheShellSaysOfEachEntry) {
    MixedFolder folder;
    Host host;
    auto list = MakeList(host);
    Show(*list, folder.dir.Path().wstring());
    DrawAll(*list);

    const std::vector<Row> expected = ReferenceRows(folder.dir.Path().wstring());
    ASSERT_EQ(Count(*list), static_cast<int>(expected.size()));
    std::map<std::wstring, Row> shown;
    for (int i = 0; i < Count(*list); ++i) shown[Text(*list, i, 0)] = ListRow(*list, i);
    for (const Row& row : expected) {
        ASSERT_TRUE(shown.count(row.caption)) << row;
        EXPECT_EQ(shown[row.caption], row);
    }
    // The texts as the user reads them.
    EXPECT_EQ(shown[L"a.txt"].size, L"999");
    EXPECT_EQ(shown[L"b.TXT"].size, L"1,000");
    EXPECT_EQ(shown[L"zero.txt"].size, L"");
    EXPECT_EQ(shown[L"sub"].size, L"");
    EXPECT_EQ(shown[L"old.txt"].date, L"75/03/15 10:20");
    EXPECT_TRUE(shown.count(L"한국어.txt"));
    EXPECT_TRUE(shown.count(L"smile😀.txt"));
    EXPECT_TRUE(shown.count(L"隠しフォルダ"));
    EXPECT_TRUE(shown.count(L"hidden.txt"));
    if (folder.big) {
        EXPECT_EQ(shown[L"big.bin"].size, L"5,000,000,000");
    }
    const int shortcut = std::max(IndexOf(*list, L"short"), IndexOf(*list, L"short.lnk"));
    ASSERT_GE(shortcut, 0);
    EXPECT_EQ(ListRow(*list, shortcut).overlay, 1);
    EXPECT_EQ(list->GetItemPath(IndexOf(*list, L"한국어.txt")), folder.dir / L"한국어.txt");
    EXPECT_NE(shown[L"one.pilkaicon"].icon, shown[L"two.pilkaicon"].icon);  // each file's own
}

TEST(FileView, FoldersAndShortcutsTheShellNamesItselfShowTheShellsNameAndIcon) {
    TempDir dir;
    // Read-only folders (one the shell calls otherwise; Wine keeps no read-only mark on a folder, so they are system
    // folders too), folders of which one holds a desktop.ini, and shortcuts: each renamed one comes among others of
    // its kind, whichever the folder lists first.
    for (const wchar_t* name : {L"Apps", L"Data", L"Users", L"Work"}) {
        std::filesystem::create_directory(dir.Path() / name);
        ::SetFileAttributesW((dir / name).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    }
    for (const wchar_t* name : {L"plain1", L"plain2", L"Custom", L"plain3"})
        std::filesystem::create_directory(dir.Path() / name);
    Touch(dir.Path() / L"Custom" / L"desktop.ini");
    for (const wchar_t* name : {L"first.lnk", L"other.lnk", L"second.lnk", L"third.lnk"})
        WriteShortcut(dir / name, dir / L"plain1");
    folder_test::WatchingDesktop desktop;
    desktop.lendIcons = true;
    desktop.displayNames = {{L"Users", L"ユーザー"}, {L"Custom", L"カスタム"}, {L"second.lnk", L"別名"}};
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    DrawAll(*list);

    for (const wchar_t* caption : {L"ユーザー", L"カスタム", L"別名"}) {
        const int row = IndexOf(*list, caption);
        ASSERT_GE(row, 0) << ui::Utf8FromWide(caption);
        EXPECT_EQ(ListRow(*list, row).icon, 9) << ui::Utf8FromWide(caption);
    }
    for (const wchar_t* caption : {L"Apps", L"Work", L"plain2"}) {
        const int row = IndexOf(*list, caption);
        ASSERT_GE(row, 0) << ui::Utf8FromWide(caption);
        EXPECT_EQ(ListRow(*list, row).icon, 5) << ui::Utf8FromWide(caption);
    }
    EXPECT_EQ(IndexOf(*list, L"Users"), -1);
    EXPECT_EQ(IndexOf(*list, L"second.lnk"), -1);
    EXPECT_EQ(list->GetItemPath(IndexOf(*list, L"ユーザー")), dir / L"Users");
    for (const wchar_t* name : {L"Apps", L"Data", L"Users", L"Work"})
        ::SetFileAttributesW((dir / name).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileView, ColumnsAndSortingByEveryHeader) {
    MixedFolder folder;
    Host host;
    auto list = MakeList(host);
    EXPECT_EQ(Headers(*list),
              (std::vector<std::wstring>{L"*名前", L"サイズ(バイト)", L"ファイルの種類", L"更新日時", L""}));
    const int widths[] = {120, 80, 70, 90};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(ListView_GetColumnWidth(list->Handle(), c), widths[c]);
    LVCOLUMNW size{};
    size.mask = LVCF_FMT;
    ListView_GetColumn(list->Handle(), 1, &size);
    EXPECT_EQ(size.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);

    Show(*list, folder.dir.Path().wstring());
    // By name: the folder's own order (folders first), from the enumeration's.
    std::vector<shell::UniqueIdList> items;
    ComPtr<IShellFolder> shellFolder;
    const std::vector<Row> reference = ReferenceRows(folder.dir.Path().wstring(), &items, &shellFolder);
    std::vector<size_t> order(reference.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return static_cast<short>(HRESULT_CODE(shellFolder->CompareIDs(0, items[a].get(), items[b].get()))) < 0;
    });
    std::vector<std::wstring> byName;
    for (size_t i : order) byName.push_back(reference[i].caption);
    EXPECT_EQ(Column(*list, 0), byName);
    EXPECT_EQ(Text(*list, 0, 0), L"sub");

    ClickHeader(*list, 0);  // descending: all of it reversed
    std::reverse(byName.begin(), byName.end());
    EXPECT_EQ(Column(*list, 0), byName);
    EXPECT_EQ(HeaderText(*list, 0), L"*名前");

    auto sizes = [&] {
        std::vector<ULONGLONG> values;
        for (std::wstring s : Column(*list, 1)) {
            s.erase(std::remove(s.begin(), s.end(), L','), s.end());
            values.push_back(s.empty() ? 0 : std::stoull(s));
        }
        return values;
    };
    ClickHeader(*list, 1);  // its stored +1 negated: descending
    EXPECT_EQ(Headers(*list),
              (std::vector<std::wstring>{L"名前", L"*サイズ(バイト)", L"ファイルの種類", L"更新日時", L""}));
    auto values = sizes();
    EXPECT_TRUE(std::is_sorted(values.rbegin(), values.rend()));
    ClickHeader(*list, 1);
    values = sizes();
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(Text(*list, 0, 1), L"");                              // empty cells first
    EXPECT_LT(IndexOf(*list, L"a.txt"), IndexOf(*list, L"b.TXT"));  // 999 before 1,000

    auto ordered = [&](int column, int direction) {
        const auto texts = Column(*list, column);
        for (size_t i = 1; i < texts.size(); ++i) {
            const int r = ::CompareStringW(LOCALE_USER_DEFAULT, 0, texts[i - 1].c_str(), -1, texts[i].c_str(), -1);
            if ((r - CSTR_EQUAL) * direction > 0) return false;
        }
        return true;
    };
    ClickHeader(*list, 2);
    EXPECT_EQ(HeaderText(*list, 2), L"*ファイルの種類");
    EXPECT_TRUE(ordered(2, -1));
    auto times = [&] {
        std::vector<ULONGLONG> values;
        for (int i = 0; i < Count(*list); ++i) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ::GetFileAttributesExW(list->GetItemPath(i).c_str(), GetFileExInfoStandard, &data);
            // To the minute, as the column shows it.
            values.push_back(((static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                              data.ftLastWriteTime.dwLowDateTime) /
                             600'000'000ull);
        }
        return values;
    };
    ClickHeader(*list, 3);
    values = times();
    EXPECT_TRUE(std::is_sorted(values.rbegin(), values.rend()));
    ClickHeader(*list, 3);
    values = times();
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(Text(*list, 0, 0), L"old.txt");  // 1975, the oldest
}

TEST(FileView, DatesSortByTheirTimeAcrossCenturiesAndTheFifthColumnKeepsTheSort) {
    TempDir dir;
    const std::pair<const wchar_t*, WORD> files[] = {{L"a.txt", 2024}, {L"b.txt", 1999}, {L"c.txt", 2005},
                                                     {L"d.txt", 1985}, {L"e.txt", 2010}, {L"f.txt", 2100}};
    for (const auto& [name, year] : files) {
        Touch(dir / name);
        SetLocalTime(dir / name, SYSTEMTIME{year, 6, 0, 1, 12, 0, 0, 0});
    }
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    ClickHeader(*list, 3);  // descending
    EXPECT_EQ(Column(*list, 0),
              (std::vector<std::wstring>{L"f.txt", L"a.txt", L"e.txt", L"c.txt", L"b.txt", L"d.txt"}));
    EXPECT_EQ(Text(*list, 4, 3), L"99/06/01 12:00");
    ClickHeader(*list, 3);  // ascending
    const std::vector<std::wstring> ascending{L"d.txt", L"b.txt", L"c.txt", L"e.txt", L"a.txt", L"f.txt"};
    EXPECT_EQ(Column(*list, 0), ascending);

    const std::vector<std::wstring> marked{L"名前", L"サイズ(バイト)", L"ファイルの種類", L"*更新日時", L""};
    ClickHeader(*list, 4);
    EXPECT_EQ(Headers(*list), marked);
    EXPECT_EQ(Column(*list, 0), ascending);
    Refill(*list);
    EXPECT_EQ(Headers(*list), marked);
    EXPECT_EQ(Column(*list, 0), ascending);
}

TEST(FileView, NamesDecideWhereTheFolderCannotCompareItsEntries) {
    TempDir dir;
    for (const wchar_t* name : {L"c.txt", L"a.txt", L"B.txt", L"d.txt", L"e.txt"}) Touch(dir / name);
    std::filesystem::create_directory(dir.Path() / L"zdir");
    folder_test::WatchingDesktop desktop;
    desktop.failCompare = true;
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    std::vector<std::wstring> names{L"zdir", L"a.txt", L"B.txt", L"c.txt", L"d.txt", L"e.txt"};
    EXPECT_EQ(Column(*list, 0), names);
    ClickHeader(*list, 0);
    std::reverse(names.begin(), names.end());
    EXPECT_EQ(Column(*list, 0), names);
}

TEST(FileView, SortIsSharedByAllListsAndSurvivesChangesOfFolder) {
    TempDir one, two;
    Touch(one / L"x.txt", 5);
    Touch(one / L"y.txt", 50);
    std::filesystem::create_directory(one.Path() / L"z");
    Touch(two / L"p.txt", 1);
    Touch(two / L"q.txt", 2);
    Touch(two / L"r.txt", 3);
    SetLocalTime(one / L"x.txt", SYSTEMTIME{2001, 1, 0, 1, 0, 0, 0, 0});
    SetLocalTime(one / L"y.txt", SYSTEMTIME{2011, 1, 0, 1, 0, 0, 0, 0});
    SetLocalTime(two / L"p.txt", SYSTEMTIME{2005, 1, 0, 1, 0, 0, 0, 0});
    SetLocalTime(two / L"q.txt", SYSTEMTIME{2015, 1, 0, 1, 0, 0, 0, 0});
    SetLocalTime(two / L"r.txt", SYSTEMTIME{2010, 1, 0, 1, 0, 0, 0, 0});
    Host host;
    auto first = MakeList(host);
    auto second = MakeList(host, 450);
    Show(*first, one.Path().wstring());
    Show(*second, one.Path().wstring());

    ClickHeader(*first, 3);  // by date, descending
    EXPECT_EQ(shell::FileListSort().LastSortColumn, 3);
    EXPECT_EQ(shell::FileListSort().LastSortDirection, -1);
    Show(*first, two.Path().wstring());
    EXPECT_EQ(Column(*first, 0), (std::vector<std::wstring>{L"q.txt", L"r.txt", L"p.txt"}));
    EXPECT_EQ(HeaderText(*first, 3), L"*更新日時");
    Show(*second, two.Path().wstring());  // the other list sorts the same way, and says so
    EXPECT_EQ(Column(*second, 0), (std::vector<std::wstring>{L"q.txt", L"r.txt", L"p.txt"}));
    EXPECT_EQ(Headers(*second),
              (std::vector<std::wstring>{L"名前", L"サイズ(バイト)", L"ファイルの種類", L"*更新日時", L""}));

    ClickHeader(*second, 0);  // a first click on the name after the fill: ascending
    EXPECT_EQ(Column(*second, 0), (std::vector<std::wstring>{L"p.txt", L"q.txt", L"r.txt"}));
    Show(*first, one.Path().wstring());
    EXPECT_EQ(Column(*first, 0), (std::vector<std::wstring>{L"z", L"x.txt", L"y.txt"}));

    // The fifth column shows nothing to sort by: the order and its mark stay, also for the next fill.
    ClickHeader(*first, 4);
    EXPECT_EQ(Headers(*first),
              (std::vector<std::wstring>{L"*名前", L"サイズ(バイト)", L"ファイルの種類", L"更新日時", L""}));
    EXPECT_EQ(Column(*first, 0), (std::vector<std::wstring>{L"z", L"x.txt", L"y.txt"}));
    EXPECT_EQ(shell::FileListSort().SortDirection[4], 0);
    Show(*first, two.Path().wstring());
    EXPECT_EQ(Column(*first, 0), (std::vector<std::wstring>{L"p.txt", L"q.txt", L"r.txt"}));
    EXPECT_EQ(HeaderText(*first, 0), L"*名前");
    ClickHeader(*first, 1);
    EXPECT_EQ(HeaderText(*first, 1), L"*サイズ(バイト)");
    const auto sizes = Column(*first, 1);
    EXPECT_TRUE(sizes == (std::vector<std::wstring>{L"1", L"2", L"3"}) ||
                sizes == (std::vector<std::wstring>{L"3", L"2", L"1"}));
    ClickHeader(*first, 1);
    EXPECT_NE(Column(*first, 1), sizes);
}

TEST(FileView, PopupMenuTakesTheHeaderClick) {
    TempDir dir;
    Touch(dir / L"a.txt");
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    ui::UniqueMenu menu(::CreatePopupMenu());
    for (UINT id = 101; id <= 105; ++id) ::AppendMenuW(menu.get(), MF_STRING, id, L"item");
    list->SetMyPopupMenu(menu.get(), host.Handle());
    const auto before = Headers(*list);
    const shell::FileListSortState state = shell::FileListSort();
    ClickHeader(*list, 2);
    ClickHeader(*list, 4);
    EXPECT_EQ(host.commands, (std::vector<WORD>{103, 105}));
    EXPECT_EQ(Headers(*list), before);
    EXPECT_EQ(shell::FileListSort().LastSortColumn, state.LastSortColumn);
    EXPECT_EQ(shell::FileListSort().SortDirection[2], state.SortDirection[2]);
}

TEST(FileView, MaskShowsFoldersAndTheNamedExtensionsInAnyCase) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / L"folder");
    for (const wchar_t* name : {L"a.txt", L"b.TXT", L"c.Txt", L"d.rtf", L"noext", L"e.txt.bak"}) Touch(dir / name);
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    EXPECT_EQ(Count(*list), 7);
    const std::vector<std::wstring> mask{L".TXT"};
    list->SetMask(&mask);
    EXPECT_EQ(Count(*list), 7);  // from the next fill on
    Refill(*list);
    auto names = Column(*list, 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.txt", L"b.TXT", L"c.Txt", L"folder"}));
    list->SetMask(nullptr);  // ignored
    EXPECT_EQ(list->Mask(), mask);
}

namespace {

class RecordingList : public shell::TFileView {
public:
    using shell::TFileView::TFileView;
    std::vector<std::wstring> executed;

protected:
    void ExecuteItem(const ITEMIDLIST* absolute) override { executed.push_back(shell::PathOfIdList(absolute)); }
};

}  // namespace

TEST(FileView, DoubleClickWithoutTreeAsksBeforeRunning) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / L"sub");
    Touch(dir / L"a.txt");
    Host host;
    RecordingList list(nullptr, host.Handle());
    list.SetViewStyle(shell::ListViewStyle::Report);
    list.SetBounds(0, 0, 400, 400);
    int dblClicks = 0;
    list.OnDblClick = [&] { ++dblClicks; };
    Show(list, dir.Path().wstring());
    ScriptedPrompter prompter;
    prompter.answers = {IDNO, IDYES};
    EXPECT_TRUE(list.FileExecute());  // the component's default
    DoubleClickRow(list, IndexOf(list, L"sub"));
    DoubleClickRow(list, IndexOf(list, L"sub"));
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0].text, L"ファイルを実行しようとしてますが、いいですか？");
    EXPECT_EQ(prompter.messages[0].caption, L"確認");
    EXPECT_EQ(prompter.messages[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(list.executed, (std::vector<std::wstring>{dir / L"sub"}));
    EXPECT_EQ(dblClicks, 2);
    EXPECT_EQ(list.GetSelectedPath(), dir / L"sub");

    list.SetFileExecute(false);
    DoubleClickRow(list, IndexOf(list, L"a.txt"));
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(list.executed.size(), 1u);
    EXPECT_EQ(dblClicks, 3);
    // Enter on the selected row does what a double-click does.
    ::SendMessageW(list.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    PumpFor(20);
    EXPECT_EQ(dblClicks, 4);
    // Typing a name's first letter selects that row.
    ::SendMessageW(list.Handle(), WM_CHAR, L'A', 0);
    EXPECT_EQ(list.GetSelectedPath(), dir / L"a.txt");
}

TEST(FileView, AFolderGivenWhileTheFormLoadsIsListedOnceLoadingEnds) {
    TempDir dir;
    Touch(dir / L"a.txt");
    Host host;
    host.BeginLoading();
    shell::TFileView list(&host, host.Handle());
    Show(list, dir.Path().wstring());
    EXPECT_EQ(Count(list), 0);
    host.EndLoading();
    Settle(list);
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"a.txt"}));
}

TEST(FileView, DoubleClickOnAFolderMovesTheLinkedTreeIntoIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / L"inner");
    Touch(dir.Path() / L"inner" / L"deep.txt");
    Touch(dir / L"a.txt");
    Host host;
    shell::TFolderView tree(nullptr, host.Handle());
    tree.SetBounds(450, 0, 400, 600);
    auto list = MakeList(host);
    tree.SetFileView(list.get());
    EXPECT_EQ(list->FolderView(), &tree);
    ASSERT_TRUE(tree.SelectPath(dir.Path().wstring()));
    Settle(*list);
    ASSERT_EQ(Count(*list), 2);
    DoubleClickRow(*list, IndexOf(*list, L"inner"));
    Settle(*list);
    EXPECT_EQ(tree.GetSelectedPath(), dir / L"inner");
    EXPECT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"deep.txt"}));
    EXPECT_EQ(shell::PathOfIdList(list->FolderIdList()), dir / L"inner");
}

TEST(FileView, AFolderThatCannotBeListedSendsTheTreeBack) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / L"open");
    std::filesystem::create_directory(dir.Path() / L"locked");
    Touch(dir.Path() / L"open" / L"o.txt");
    Host host;
    shell::TFolderView tree(nullptr, host.Handle());
    RecordingList list(nullptr, host.Handle());
    folder_test::WatchingDesktop desktop;  // a folder without access refuses to list itself
    desktop.refused = {ShellPath(dir / L"locked")};
    tree.SetFileView(&list);
    ASSERT_TRUE(tree.SelectPath(dir / L"open"));
    Settle(list);
    ASSERT_TRUE(tree.SelectPath(dir / L"locked"));
    Settle(list);
    EXPECT_EQ(tree.GetSelectedPath(), dir / L"open");
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"o.txt"}));
    EXPECT_EQ(shell::PathOfIdList(list.FolderIdList()), dir / L"open");

    // Without a tree the rows and the folder they belong to stay together.
    tree.SetFileView(nullptr);
    EXPECT_EQ(list.FolderView(), nullptr);
    Show(list, dir / L"locked");
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"o.txt"}));
    EXPECT_EQ(shell::PathOfIdList(list.FolderIdList()), dir / L"open");
    EXPECT_EQ(list.GetItemPath(0), dir.Path() / L"open" / L"o.txt");
}

TEST(FileView, AListingThatFailsPartWayShowsNothingOfItAndAFailedRefreshKeepsThePanel) {
    TempDir dir;
    const std::wstring open = dir / L"open", share = dir / L"share";
    std::filesystem::create_directory(open);
    std::filesystem::create_directory(share);
    for (int i = 10; i < 60; ++i) Touch(open + L"\\o" + std::to_wstring(i) + L".txt");
    WriteIconFile(open + L"\\zz.ico");  // below the rows drawn
    for (const wchar_t* name : {L"s1.txt", L"s2.txt", L"s3.txt"}) Touch(share + L"\\" + name);
    ScriptedDesktop desktop;
    desktop.failAfter = 1;
    Host host;
    shell::TFolderView tree(nullptr, host.Handle());
    auto list = MakeList(host);
    tree.SetFileView(list.get());
    ASSERT_TRUE(tree.SelectPath(open));
    Settle(*list);
    const std::vector<std::wstring> opened = Column(*list, 0);

    // A folder chosen anew whose listing fails after its first entry: the panel goes back to the folder before,
    // whose rows asked for their icons meanwhile still get them.
    const int icon = IndexOf(*list, L"zz.ico");
    EXPECT_EQ(ListRow(*list, icon).icon, -1);
    desktop.failing = {ShellPath(share)};
    ASSERT_TRUE(tree.SelectPath(share));
    Settle(*list);
    EXPECT_EQ(tree.GetSelectedPath(), open);
    EXPECT_EQ(Column(*list, 0), opened);
    ListRow(*list, icon);
    Settle(*list);
    EXPECT_GE(ListRow(*list, icon).icon, 0);

    // The folder shown fails during a refresh (more new entries than the directory listing looks up, so the shell
    // lists it): the rows, the folder and the tree stay, and the next refresh reads it again.
    desktop.failing.clear();
    ASSERT_TRUE(tree.SelectPath(share));
    Settle(*list);
    ASSERT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"s1.txt", L"s2.txt", L"s3.txt"}));
    desktop.failing = {ShellPath(share)};
    for (int i = 0; i < 40; ++i) Touch(share + L"\\t" + std::to_wstring(i) + L".txt");
    Refill(*list);
    EXPECT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"s1.txt", L"s2.txt", L"s3.txt"}));
    EXPECT_EQ(tree.GetSelectedPath(), share);
    EXPECT_EQ(shell::PathOfIdList(list->FolderIdList()), share);
    desktop.failAfter = 0;  // and at its first entry
    Refill(*list);
    EXPECT_EQ(Count(*list), 3);
    EXPECT_EQ(tree.GetSelectedPath(), share);
    desktop.failing.clear();
    Refill(*list);
    EXPECT_EQ(Count(*list), 43);
}

TEST(FileView, ARenameRenamesOnlyARowStillShownWhenTheShellReturns) {
    TempDir one, two;
    for (const wchar_t* name : {L"a.txt", L"b.txt"}) Touch(one / name);
    for (const wchar_t* name : {L"p.txt", L"q.txt", L"r.txt"}) Touch(two / name);
    ScriptedDesktop desktop;
    Host host;
    auto list = MakeList(host);
    Show(*list, one.Path().wstring());
    // While the shell's box is up the list moves to another folder (the tree is clicked, the folder goes).
    desktop.duringRename = [&] { Show(*list, two.Path().wstring()); };
    RenameRow(*list, IndexOf(*list, L"b.txt"), L"c.txt");
    desktop.duringRename = nullptr;
    EXPECT_TRUE(std::filesystem::exists(one.Path() / L"c.txt"));
    Settle(*list);
    EXPECT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"p.txt", L"q.txt", L"r.txt"}));
    EXPECT_EQ(shell::PathOfIdList(list->FolderIdList()), two.Path().wstring());
}

TEST(FileView, ARenamedRowTakesItsPlaceAndARenameOfTheCaseKeepsTheUsersPlace) {
    TempDir dir;
    for (int i = 0; i < 200; ++i) Touch(dir / (L"f" + std::to_wstring(1000 + i) + L".txt"));
    ScriptedDesktop desktop;
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());

    // Renamed to sort last, then a new entry merged among the rows: every row in its place.
    RenameRow(*list, IndexOf(*list, L"f1000.txt"), L"g.txt");
    EXPECT_EQ(IndexOf(*list, L"g.txt"), 199);
    EXPECT_EQ(list->GetSelectedPath(), dir / L"g.txt");
    Touch(dir / L"f1100a.txt");
    Refill(*list);
    std::vector<std::wstring> names = Column(*list, 0);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << ui::Utf8FromWide(names[0]);
    EXPECT_EQ(IndexOf(*list, L"f1100a.txt"), 100);

    // Only the case, renamed in the list (as Windows' shell renames it) and by another program: the selection, the
    // focused row and the top row stay, through the refreshes that follow.
    desktop.renameByMove = true;
    RECT first{};
    ListView_GetItemRect(list->Handle(), 0, &first, LVIR_BOUNDS);
    ListView_Scroll(list->Handle(), 0, (110 - ListView_GetTopIndex(list->Handle())) * (first.bottom - first.top));
    const int topIndex = ListView_GetTopIndex(list->Handle());
    ASSERT_EQ(topIndex, 110);
    auto placeKept = [&](const wchar_t* selected, const wchar_t* top) {
        const int at = IndexOf(*list, selected);
        ASSERT_GE(at, 0) << ui::Utf8FromWide(selected);
        EXPECT_EQ(ListView_GetNextItem(list->Handle(), -1, LVNI_SELECTED), at) << ui::Utf8FromWide(selected);
        EXPECT_EQ(ListView_GetNextItem(list->Handle(), -1, LVNI_FOCUSED), at) << ui::Utf8FromWide(selected);
        EXPECT_EQ(ListView_GetTopIndex(list->Handle()), topIndex) << ui::Utf8FromWide(selected);
        EXPECT_EQ(Text(*list, topIndex, 0), top) << ui::Utf8FromWide(selected);
    };
    const std::wstring top = Text(*list, topIndex, 0);
    RenameRow(*list, IndexOf(*list, L"f1120.txt"), L"F1120.txt");
    placeKept(L"F1120.txt", top.c_str());
    Refill(*list);
    placeKept(L"F1120.txt", top.c_str());
    const std::wstring upperTop = L"F" + top.substr(1);
    ASSERT_TRUE(MoveByWayOfAnotherName(dir / L"F1120.txt", dir / L"f1120.TXT"));  // by another program
    ASSERT_TRUE(MoveByWayOfAnotherName(dir / top, dir / upperTop));
    Refill(*list);
    placeKept(L"f1120.TXT", upperTop.c_str());

    // Where case counts, "Docs" and "docs" are two entries: the selected one gone, the other is not taken for it.
    if (!testing_support::MakeDirFromOutside(dir / L"Docs") || !testing_support::MakeDirFromOutside(dir / L"docs"))
        GTEST_SKIP() << "case does not count here";
    Refill(*list);
    const int lower = IndexOf(*list, L"docs");
    ASSERT_GE(lower, 0);
    ListView_SetItemState(list->Handle(), -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list->Handle(), lower, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_TRUE(::RemoveDirectoryW((dir / L"docs").c_str()));
    Refill(*list);
    ASSERT_GE(IndexOf(*list, L"Docs"), 0);
    ASSERT_LT(IndexOf(*list, L"docs"), 0);
    EXPECT_EQ(ListView_GetNextItem(list->Handle(), -1, LVNI_SELECTED), -1);
}

TEST(FileView, RenameInPlace) {
    TempDir dir;
    Touch(dir / L"a.txt");
    Touch(dir / L"b.txt");
    std::filesystem::create_directory(dir.Path() / L"folder");
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());

    RenameRow(*list, IndexOf(*list, L"a.txt"), L"이름😀.txt");
    EXPECT_GE(IndexOf(*list, L"이름😀.txt"), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / L"이름😀.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / L"a.txt"));
    EXPECT_EQ(list->GetItemPath(IndexOf(*list, L"이름😀.txt")), dir / L"이름😀.txt");

    RenameRow(*list, IndexOf(*list, L"b.txt"), L"이름😀.txt");  // taken: refused, the old name comes back
    EXPECT_GE(IndexOf(*list, L"b.txt"), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / L"b.txt"));

    RenameRow(*list, IndexOf(*list, L"b.txt"), L"other.txt", VK_ESCAPE);  // cancelled
    EXPECT_GE(IndexOf(*list, L"b.txt"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / L"other.txt"));

    list->SetReadOnly(true);
    ::SendMessageW(list->Handle(), WM_KEYDOWN, VK_F2, 0);
    EXPECT_EQ(ListView_GetEditControl(list->Handle()), nullptr);
}

TEST(FileView, RenamingAFolderRenamesItInTheTree) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / L"before");
    Host host;
    shell::TFolderView tree(nullptr, host.Handle());
    auto list = MakeList(host);
    tree.SetFileView(list.get());
    ASSERT_TRUE(tree.SelectPath(dir.Path().wstring()));
    tree.Expand(tree.Selected());
    Settle(*list);
    RenameRow(*list, IndexOf(*list, L"before"), L"after");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / L"after"));
    std::vector<std::wstring> children;
    for (HTREEITEM node : tree.Children(tree.Selected())) children.push_back(tree.NodeText(node));
    EXPECT_EQ(children, (std::vector<std::wstring>{L"after"}));
}

namespace {

struct MenuCall {
    int count;
    std::vector<std::wstring> names;
    POINT screen;
};

class RecordingMenu : public shell::TContextMenuEx {
public:
    std::vector<MenuCall> calls;
    bool ShowForItems(HWND, IShellFolder* folder, const ITEMIDLIST* items, int count, POINT screen) override {
        MenuCall call{count, {}, screen};
        for (const auto& item : shell::SplitSiblings(items, count))
            call.names.push_back(NameOf(folder, item.get(), SHGDN_INFOLDER));
        calls.push_back(call);
        return true;
    }
};

class RecordingDrag : public shell::TDropSourceEx {
public:
    std::vector<MenuCall> calls;
    void DragItems(HWND, IShellFolder* folder, const ITEMIDLIST* items, int count) override {
        MenuCall call{count, {}, {}};
        for (const auto& item : shell::SplitSiblings(items, count))
            call.names.push_back(NameOf(folder, item.get(), SHGDN_INFOLDER));
        calls.push_back(call);
    }
};

}  // namespace

TEST(FileView, RightClickRaisesTheMenuAndADragStartsBeyondFourPixels) {
    TempDir dir;
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) Touch(dir / name);
    Host host;
    auto list = MakeList(host);
    RecordingMenu menu;
    RecordingDrag drag;
    list->SetContextMenu(&menu);
    Show(*list, dir.Path().wstring());
    std::vector<std::wstring> events;
    list->OnMouseDown = [&](int b, int, int) { events.push_back(L"down" + std::to_wstring(b)); };
    list->OnMouseUp = [&](int b, int, int) { events.push_back(L"up" + std::to_wstring(b)); };

    // Both at once: the control may wait for the release inside its handling of the press.
    const POINT b = RowPoint(*list, 1);
    ::PostMessageW(list->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(b.x, b.y));
    Post(*list, WM_RBUTTONUP, 0, b);
    EXPECT_TRUE(menu.calls.empty());
    Post(*list, WM_MOUSEMOVE, 0, POINT{b.x + 4, b.y - 4});  // still near the press
    ASSERT_EQ(menu.calls.size(), 1u);
    EXPECT_EQ(menu.calls[0].count, 1);
    EXPECT_EQ(menu.calls[0].names, (std::vector<std::wstring>{L"b.txt"}));
    POINT screen = b;
    ::ClientToScreen(list->Handle(), &screen);
    EXPECT_EQ(menu.calls[0].screen.x, screen.x + 4);
    Post(*list, WM_MOUSEMOVE, 0, b);  // shown once: the press is spent
    EXPECT_EQ(menu.calls.size(), 1u);
    EXPECT_EQ(events.front(), L"down2");

    // A left press then a movement of five pixels with the button held: a drag, once a drop source is linked.
    const POINT c = RowPoint(*list, 2);
    Post(*list, WM_LBUTTONDOWN, MK_LBUTTON, c);
    Post(*list, WM_MOUSEMOVE, MK_LBUTTON, POINT{c.x + 5, c.y});
    EXPECT_TRUE(drag.calls.empty());
    list->SetDropSource(&drag);
    Post(*list, WM_MOUSEMOVE, MK_LBUTTON, POINT{c.x + 5, c.y});
    ASSERT_EQ(drag.calls.size(), 1u);
    EXPECT_EQ(drag.calls[0].names, (std::vector<std::wstring>{L"c.txt"}));
    Post(*list, WM_LBUTTONUP, 0, POINT{c.x + 5, c.y});
    EXPECT_EQ(menu.calls.size(), 1u);

    // The links go with the components.
    {
        RecordingMenu gone;
        list->SetContextMenu(&gone);
    }
    EXPECT_EQ(list->ContextMenu(), nullptr);
}

TEST(FileView, APressDraggedAwayIsSpentByItsRelease) {
    TempDir dir;
    for (const wchar_t* name : {L"a.txt", L"b.txt"}) Touch(dir / name);
    Host host;
    auto list = MakeList(host);
    RecordingMenu menu;
    list->SetContextMenu(&menu);
    Show(*list, dir.Path().wstring());
    const POINT b = RowPoint(*list, 1);

    // Pressed, dragged ten pixels with the button held (the control takes it for a drag and passes the release
    // on), released, and brought back to the press: no menu.
    ::PostMessageW(list->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(b.x, b.y));
    Post(*list, WM_MOUSEMOVE, MK_RBUTTON, POINT{b.x + 10, b.y});
    Post(*list, WM_RBUTTONUP, 0, POINT{b.x + 10, b.y});
    Post(*list, WM_MOUSEMOVE, 0, POINT{b.x + 2, b.y});
    Post(*list, WM_MOUSEMOVE, 0, b);
    EXPECT_TRUE(menu.calls.empty());

    // The click itself still opens its menu.
    ::PostMessageW(list->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(b.x, b.y));
    Post(*list, WM_RBUTTONUP, 0, b);
    Post(*list, WM_MOUSEMOVE, 0, b);
    ASSERT_EQ(menu.calls.size(), 1u);
    EXPECT_EQ(menu.calls[0].names, (std::vector<std::wstring>{L"b.txt"}));
}

TEST(FileView, RefillKeepsTheSelectedRowAndTheTopRow) {
    TempDir dir;
    for (int i = 0; i < 200; ++i) Touch(dir / (L"f" + std::to_wstring(1000 + i) + L".txt"));
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    const int selected = IndexOf(*list, L"f1120.txt");
    ListView_SetItemState(list->Handle(), selected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list->Handle(), 150, FALSE);
    const std::wstring top = Text(*list, ListView_GetTopIndex(list->Handle()), 0);
    ASSERT_NE(top, Text(*list, 0, 0));
    Touch(dir / L"f0000.txt");  // a new first row moves every other one down
    Show(*list, dir.Path().wstring());
    EXPECT_EQ(Count(*list), 201);
    EXPECT_EQ(Text(*list, ListView_GetTopIndex(list->Handle()), 0), top);
    EXPECT_EQ(list->GetSelectedPath(), dir / L"f1120.txt");
    Touch(dir / L"f1130.txt", 5000);  // rewritten: its row changes where it stands
    Refill(*list);
    EXPECT_EQ(Text(*list, IndexOf(*list, L"f1130.txt"), 1), L"5,000");
    EXPECT_EQ(Text(*list, ListView_GetTopIndex(list->Handle()), 0), top);
    EXPECT_EQ(list->GetSelectedPath(), dir / L"f1120.txt");
    ASSERT_TRUE(::DeleteFileW((dir / L"f1120.txt").c_str()));
    Refill(*list);
    EXPECT_EQ(list->GetSelectedPath(), L"");
}

TEST(FileView, TheDesktopListsItsEntries) {
    Host host;
    auto list = MakeList(host);
    const shell::UniqueIdList desktop = shell::AllocIdList(2);
    list->BrowseTo(desktop.get());
    Settle(*list);
    EXPECT_GT(Count(*list), 0);
    EXPECT_EQ(shell::CountItems(list->FolderIdList()), 0);
    list->BrowseTo(nullptr);  // nothing
    Settle(*list);
    EXPECT_GT(Count(*list), 0);
}
