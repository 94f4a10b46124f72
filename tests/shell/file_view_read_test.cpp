// The file list reads on a worker: a newer folder overtakes an older read, a refresh applies only the difference
// and keeps the user's place and a rename in progress, the name order is the folder's own, and a list or a main
// window closed while a read waits for a slow folder ends cleanly.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/kurvanta_.h"
#include "shell/FileView.h"
#include "shell/FolderReader.h"
#include "shell/file_view_support.h"
#include "shell/folder_view_support.h"
#include "ui/owned.h"
#include "ui/text.h"

namespace {

using namespace file_view_test;

std::vector<Row> AllRows(const shell::TFileView& list) {
    std::vector<Row> rows;
    for (int i = 0; i < Count(list); ++i) rows.push_back(ListRow(list, i));
    return rows;
}

// The rows a list of its own shows for the folder, read from scratch.
std::vector<Row> FreshRows(Host& host, const std::wstring& folder) {
    auto fresh = MakeList(host, 450);
    Show(*fresh, folder);
    DrawAll(*fresh);
    return AllRows(*fresh);
}

}  // namespace

TEST(FileViewReading, AQuickChangeOfFolderShowsOnlyTheLastFolder) {
    TempDir one, two;
    for (const wchar_t* name : {L"a1.txt", L"a2.txt", L"a3.txt"}) Touch(one / name);
    for (const wchar_t* name : {L"b1.txt", L"b2.txt"}) Touch(two / name);
    const shell::UniqueIdList first = shell::PathToIdList(one.Path().wstring());
    const shell::UniqueIdList second = shell::PathToIdList(two.Path().wstring());
    Host host;
    auto list = MakeList(host);
    auto neverFirst = [&] {
        std::vector<std::wstring> seen;
        for (int rounds = 0; rounds < 4000 && list->Reading(); ++rounds) {
            PumpFor(5);
            for (const std::wstring& caption : Column(*list, 0))
                if (caption[0] == L'a') seen.push_back(caption);
        }
        return seen;
    };

    // The first folder's rows are sent while the window does not look, and arrive after the second was asked for.
    list->BrowseTo(first.get());
    ::Sleep(1000);
    list->BrowseTo(second.get());
    EXPECT_TRUE(neverFirst().empty());
    EXPECT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"b1.txt", L"b2.txt"}));
    EXPECT_EQ(shell::PathOfIdList(list->FolderIdList()), two.Path().wstring());

    // A slow first folder: its listing is held until the second folder has been asked for.
    Show(*list, one.Path().wstring());
    Show(*list, two.Path().wstring());
    folder_test::WatchingDesktop desktop;
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    desktop.gate = gate.get();
    desktop.gated = {ShellPath(one.Path().wstring())};
    list->BrowseTo(first.get());
    ASSERT_TRUE(testing_support::PumpUntil([&] { return desktop.waiting == 1; }, 10000));
    list->BrowseTo(second.get());
    ::SetEvent(gate.get());
    EXPECT_TRUE(neverFirst().empty());
    EXPECT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"b1.txt", L"b2.txt"}));
}

TEST(FileViewReading, ARefreshAppliesTheDifferenceAndShowsWhatAFreshListingShows) {
    TempDir dir;
    for (int i = 10; i < 30; ++i) Touch(dir / (L"keep" + std::to_wstring(i) + L".txt"), static_cast<size_t>(i));
    for (const wchar_t* name : {L"gone.txt", L"old name.txt", L"changed.txt", L"becomes folder"}) Touch(dir / name);
    std::filesystem::create_directory(dir.Path() / L"sub");
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    DrawAll(*list);
    const ITEMIDLIST* kept = list->ItemIdList(IndexOf(*list, L"keep15.txt"));

    // Between two refreshes: made, gone, renamed, changed, and a file that became a folder of the same name.
    Touch(dir / L"made.txt", 7);
    ASSERT_TRUE(::DeleteFileW((dir / L"gone.txt").c_str()));
    ASSERT_TRUE(::MoveFileW((dir / L"old name.txt").c_str(), (dir / L"new name.txt").c_str()));
    Touch(dir / L"changed.txt", 5000);
    SetLocalTime(dir / L"changed.txt", SYSTEMTIME{2001, 2, 0, 3, 4, 5, 0, 0});
    ASSERT_TRUE(::DeleteFileW((dir / L"becomes folder").c_str()));
    std::filesystem::create_directory(dir.Path() / L"becomes folder");
    Refill(*list);
    DrawAll(*list);
    EXPECT_EQ(AllRows(*list), FreshRows(host, dir.Path().wstring()));
    EXPECT_EQ(Text(*list, IndexOf(*list, L"changed.txt"), 1), L"5,000");
    EXPECT_EQ(list->ItemIdList(IndexOf(*list, L"keep15.txt")), kept);  // an entry that did not change kept its row

    // More new entries at once than are looked up one by one, into a list sorted by size.
    ClickHeader(*list, 1);
    for (int i = 0; i < 60; ++i) Touch(dir / (L"many" + std::to_wstring(i) + L".log"), static_cast<size_t>(100 + i));
    Refill(*list);
    DrawAll(*list);
    std::vector<ULONGLONG> sizes;
    for (std::wstring size : Column(*list, 1)) {
        size.erase(std::remove(size.begin(), size.end(), L','), size.end());
        sizes.push_back(size.empty() ? 0 : std::stoull(size));
    }
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend()));
    std::vector<Row> shown = AllRows(*list), fresh = FreshRows(host, dir.Path().wstring());  // sorted by name
    auto byCaption = [](const Row& a, const Row& b) { return a.caption < b.caption; };
    std::sort(shown.begin(), shown.end(), byCaption);
    std::sort(fresh.begin(), fresh.end(), byCaption);
    EXPECT_EQ(shown, fresh);
}

TEST(FileViewReading, ARefreshDuringARenameInPlaceRenamesTheEntryTheEditBeganOn) {
    TempDir dir;
    for (wchar_t c = L'b'; c <= L'm'; ++c) Touch(dir / (std::wstring(1, c) + L".txt"));
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    auto startEdit = [&](const std::wstring& caption) {
        const int row = IndexOf(*list, caption);
        ListView_SetItemState(list->Handle(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ::SetFocus(list->Handle());
        ::SendMessageW(list->Handle(), WM_KEYDOWN, VK_F2, 0);
        PumpFor(20);
        return ListView_GetEditControl(list->Handle());
    };

    auto commit = [&](HWND edit, const wchar_t* text) {
        ::SetWindowTextW(edit, text);
        ::SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        Settle(*list);
    };

    // A new entry that sorts above the edited one: the rows wait for the edit, which stays, and the rename goes
    // to the entry the edit began on.
    HWND edit = startEdit(L"m.txt");
    ASSERT_NE(edit, nullptr);
    const std::vector<std::wstring> before = Column(*list, 0);
    Touch(dir / L"a0.txt");
    list->FillItems();
    PumpFor(1000);
    EXPECT_EQ(ListView_GetEditControl(list->Handle()), edit);
    EXPECT_EQ(Column(*list, 0), before);
    commit(edit, L"renamed.txt");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / L"renamed.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / L"m.txt"));
    for (const wchar_t* name : {L"a0.txt", L"l.txt", L"k.txt"})
        EXPECT_TRUE(std::filesystem::exists(dir.Path() / name)) << ui::Utf8FromWide(name);
    EXPECT_NE(IndexOf(*list, L"renamed.txt"), -1);
    EXPECT_NE(IndexOf(*list, L"a0.txt"), -1);
    EXPECT_EQ(IndexOf(*list, L"m.txt"), -1);

    // The edited entry goes while its label is edited: the edit renames nothing, and then the row goes.
    edit = startEdit(L"c.txt");
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(::DeleteFileW((dir / L"c.txt").c_str()));
    list->FillItems();
    PumpFor(1000);
    commit(edit, L"ghost.txt");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / L"ghost.txt"));
    EXPECT_EQ(IndexOf(*list, L"c.txt"), -1);
    for (const wchar_t* name : {L"b.txt", L"d.txt"})
        EXPECT_TRUE(std::filesystem::exists(dir.Path() / name)) << ui::Utf8FromWide(name);
}

TEST(FileViewReading, ASortThatArrivesDuringARenameInPlaceWaitsForTheEdit) {
    TempDir dir;
    for (wchar_t c = L'b'; c <= L'm'; ++c) Touch(dir / (std::wstring(1, c) + L".txt"));
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    std::vector<std::wstring> names = Column(*list, 0);

    // The header is clicked and F2 pressed before the sort comes back from the worker.
    HWND header = ListView_GetHeader(list->Handle());
    RECT r{};
    Header_GetItemRect(header, 0, &r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(header, WM_LBUTTONUP, 0, at);
    const int edited = IndexOf(*list, L"c.txt");
    ListView_SetItemState(list->Handle(), edited, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(list->Handle());
    ::SendMessageW(list->Handle(), WM_KEYDOWN, VK_F2, 0);
    const HWND edit = ListView_GetEditControl(list->Handle());
    ASSERT_NE(edit, nullptr);
    PumpFor(1000);
    EXPECT_EQ(ListView_GetEditControl(list->Handle()), edit);
    EXPECT_EQ(Column(*list, 0), names);

    ::SetWindowTextW(edit, L"renamed.txt");
    ::SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    Settle(*list);
    names[static_cast<size_t>(edited)] = L"renamed.txt";
    std::sort(names.rbegin(), names.rend());
    EXPECT_EQ(Column(*list, 0), names);
}

TEST(FileViewReading, EntriesOutsideTheDirectoryListingSortByWhatTheShellSaysOfThem) {
    TempDir dir;
    for (const wchar_t* name : {L"a.txt", L"z.txt"}) Touch(dir / name);
    std::filesystem::create_directory(dir.Path() / L"m");
    // Read as a folder without a file-system path: each entry's find data comes from the shell.
    shell::FolderRead request;
    request.folderIdList = shell::PathToIdList(dir.Path().wstring());
    ui::Generation generation;
    const shell::FolderReadResult result = shell::ReadFolder(request, generation.Start());
    ASSERT_TRUE(result.listed);
    std::vector<std::wstring> names;
    for (const shell::SharedRow& row : result.rows) names.push_back(row->name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"m", L"a.txt", L"z.txt"}));
}

TEST(FileViewReading, TheNameOrderIsTheFoldersOwn) {
    TempDir dir;
    for (const wchar_t* name : {L"a10.txt", L"a2.txt", L"a1.txt", L"B3.txt", L"a20.txt"}) Touch(dir / name);
    std::filesystem::create_directory(dir.Path() / L"z");
    Host host;
    {
        // A shell that reads digits as numbers.
        folder_test::WatchingDesktop desktop;
        desktop.numericCompare = true;
        auto list = MakeList(host);
        Show(*list, dir.Path().wstring());
        EXPECT_EQ(Column(*list, 0),
                  (std::vector<std::wstring>{L"z", L"a1.txt", L"a2.txt", L"a10.txt", L"a20.txt", L"B3.txt"}));
        Touch(dir / L"a3.txt");
        Refill(*list);
        EXPECT_EQ(Column(*list, 0), (std::vector<std::wstring>{L"z", L"a1.txt", L"a2.txt", L"a3.txt", L"a10.txt",
                                                               L"a20.txt", L"B3.txt"}));
    }
    // This system's shell, as it compares.
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    const std::vector<std::wstring> shown = Column(*list, 0);
    ASSERT_EQ(shown.size(), 7u);
    const shell::UniqueIdList absolute = shell::PathToIdList(dir.Path().wstring());
    ComPtr<IShellFolder> folder;
    ASSERT_TRUE(SUCCEEDED(shell::DesktopFolder()->BindToObject(absolute.get(), nullptr, IID_PPV_ARGS(&folder))));
    for (size_t i = 1; i < shown.size(); ++i) {
        const shell::UniqueIdList a = shell::PathToChildItem(dir / shown[i - 1]);
        const shell::UniqueIdList b = shell::PathToChildItem(dir / shown[i]);
        EXPECT_LT(static_cast<short>(HRESULT_CODE(folder->CompareIDs(0, a.get(), b.get()))), 0)
            << ui::Utf8FromWide(shown[i - 1]) << " " << ui::Utf8FromWide(shown[i]);
    }
}

TEST(FileViewReading, AListClosedWhileItsReadWaitsForASlowFolderEndsCleanly) {
    TempDir dir;
    for (const wchar_t* name : {L"a.txt", L"b.txt"}) Touch(dir / name);
    folder_test::WatchingDesktop desktop;
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    desktop.gate = gate.get();
    desktop.gated = {ShellPath(dir.Path().wstring())};
    {
        Host host;
        auto list = MakeList(host);
        const shell::UniqueIdList folder = shell::PathToIdList(dir.Path().wstring());
        list->BrowseTo(folder.get());
        ASSERT_TRUE(testing_support::PumpUntil([&] { return desktop.waiting == 1; }, 10000));
        EXPECT_TRUE(list->Reading());
        // The folder answers while the list goes: the read stops at its next step and sends nothing that runs.
        std::thread slow([&] {
            ::Sleep(300);
            ::SetEvent(gate.get());
        });
        list.reset();
        slow.join();
    }
    PumpFor(300);
    EXPECT_EQ(desktop.waiting, 0);
}

TEST(FileViewReading, AMainWindowClosedWhileItsListWaitsForASlowFolderEndsCleanly) {
    TempDir dir;
    const std::wstring slow = dir / L"slow";
    std::filesystem::create_directory(slow);
    for (const wchar_t* name : {L"a.txt", L"b.txt"}) Touch(slow + L"\\" + name);
    Touch(dir / L"start.txt");
    testing_support::ScriptedPrompter prompter;
    folder_test::WatchingDesktop desktop;
    const ui::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    desktop.gate = gate.get();
    desktop.gated = {ShellPath(slow)};
    {
        app::TForm1 form(app::TForm1Options{dir / L"data.ini", {dir / L"start.txt"}, false});
        form.Show(SW_SHOWNOACTIVATE);
        Settle(form.ShellListView1());
        ASSERT_TRUE(form.ShellTreeView1().SelectPath(slow));
        ASSERT_TRUE(testing_support::PumpUntil([&] { return desktop.waiting == 1; }, 10000));
        std::thread answer([&] {
            ::Sleep(300);
            ::SetEvent(gate.get());
        });
        form.FormClose();
        ::DestroyWindow(form.Handle());
        answer.join();
    }
    PumpFor(300);
    EXPECT_EQ(desktop.waiting, 0);
}

TEST(FileViewReading, AJobThatThrowsEndsAsAFailedReadAndTheListGoesOn) {
    TempDir dir;
    for (int i = 10; i < 70; ++i) Touch(dir / (L"f" + std::to_wstring(i) + L".txt"));
    WriteIconFile(dir / L"zz.ico");  // below the rows drawn: its own icon is asked for only when it is drawn
    ScriptedDesktop desktop;
    Host host;
    auto list = MakeList(host);
    Show(*list, dir.Path().wstring());
    const std::vector<std::wstring> shown = Column(*list, 0);
    auto quiet = [&] { return testing_support::PumpUntil([&] { return !list->Reading(); }, 3000); };

    // A refresh whose read throws: the rows stay, and the next refresh reads the folder.
    desktop.bindThrows = true;
    Touch(dir / L"f00.txt");
    list->FillItems();
    EXPECT_TRUE(quiet());
    EXPECT_EQ(Column(*list, 0), shown);
    desktop.bindThrows = false;
    Refill(*list);
    EXPECT_EQ(IndexOf(*list, L"f00.txt"), 0);

    // The icons' job throws: the row is asked for again when it is drawn again.
    const int icon = IndexOf(*list, L"zz.ico");
    ASSERT_GT(icon, ListView_GetTopIndex(list->Handle()) + ListView_GetCountPerPage(list->Handle()));
    desktop.bindThrows = true;
    EXPECT_EQ(ListRow(*list, icon).icon, -1);
    EXPECT_TRUE(quiet());
    desktop.bindThrows = false;
    ListRow(*list, icon);
    Settle(*list);
    EXPECT_GE(ListRow(*list, icon).icon, 0);
}
