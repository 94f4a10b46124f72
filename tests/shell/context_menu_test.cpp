// The shell context menu: finding items by their accelerator's byte position, the Send To filling from a folder of
// the test, the item count notice, and commands that really run on files of drive C:.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/DRPCOMEX.h"
#include "shell/drpcomex_support.h"
#include "shell/shell_support.h"
#include "support/test_support.h"
#include "ui/owned.h"

namespace {

using shell::TContextMenuEx;
using shell_testing::CountingMalloc;
using testing_support::OwnerWindow;
using testing_support::ScriptedPrompter;
using testing_support::TempDir;

// The menu and the Send To folder through the component's seams: `choose` picks an identifier from the shown menu
// (0 dismisses it), and the Send To folder is one of the test's.
class ScriptedMenu : public TContextMenuEx {
public:
    std::function<UINT(HMENU)> choose;
    std::wstring sendToFolder;
    int shown = 0;
    POINT shownAt{};
    std::vector<std::wstring> shownTexts;

protected:
    UINT TrackMenu(HMENU menu, HWND, POINT screen) override {
        ++shown;
        shownAt = screen;
        shownTexts = testing_support::MenuTexts(menu);
        return choose ? choose(menu) : 0;
    }
    shell::UniqueIdList SendToLocation(HWND window) override {
        return sendToFolder.empty() ? TContextMenuEx::SendToLocation(window) : shell::PathToIdList(sendToFolder);
    }
};

void AddItem(HMENU menu, UINT id, const wchar_t* text, UINT type = MFT_STRING, UINT state = 0, HMENU sub = nullptr) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | (sub ? MIIM_SUBMENU : 0);
    info.fType = type;
    info.fState = state;
    info.wID = id;
    info.hSubMenu = sub;
    info.dwTypeData = const_cast<wchar_t*>(text);
    ::InsertMenuItemW(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &info);
}

// A menu as the shell makes one: open, then the Send To item with the shell's placeholder in its submenu.
ui::UniqueMenu MenuWithSendTo(const wchar_t* sendToText, bool placeholder = true) {
    ui::UniqueMenu menu(::CreatePopupMenu());
    HMENU sub = ::CreatePopupMenu();
    if (placeholder) AddItem(sub, 900, L"(なし)");
    AddItem(menu.get(), 1, L"開く(&O)");
    AddItem(menu.get(), 0, sendToText, MFT_STRING, 0, sub);
    return menu;
}

std::vector<std::wstring> SendToTexts(HMENU menu) {
    return testing_support::MenuTexts(::GetSubMenu(menu, 1));
}

// A Send To folder of shortcuts 送り先00.lnk, 送り先01.lnk, ... to one file.
void AddShortcuts(const TempDir& folder, int from, int to, const std::wstring& target) {
    for (int i = from; i < to; ++i) {
        wchar_t name[32];
        ::swprintf(name, 32, L"送り先%02d.lnk", i);
        ASSERT_TRUE(testing_support::MakeShortcut(folder / name, target));
    }
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const std::wstring kCountNotice = L"一度に選択できるファイルの数は1024までだよ^^;";

}  // namespace

TEST(FindMenuItem, CountsBytesOfTheCodePage932Text) {
    ui::UniqueMenu menu(::CreatePopupMenu());
    AddItem(menu.get(), 1, L"開く(&O)");
    AddItem(menu.get(), 2, L"送る(&N)");
    AddItem(menu.get(), 3, L"貼り付け(&P)");
    AddItem(menu.get(), 4, L"Send(&T)");
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&N)", 5), 2);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&P)", 9), 3);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&T)", 5), 4);
    // Characters are not bytes: "(&N)" is the third character of "送る(&N)".
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&N)", 3), -1);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&P)", 5), -1);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&X)", 5), -1);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"送る", 1), 2);
}

TEST(FindMenuItem, OnlyTheFirstOccurrenceCounts) {
    ui::UniqueMenu menu(::CreatePopupMenu());
    AddItem(menu.get(), 1, L"x(&N)送(&N)");  // "(&N)" first at byte 2, again at byte 8
    AddItem(menu.get(), 2, L"送る(&N)(&N)");
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&N)", 8), -1);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&N)", 5), 2);
}

TEST(FindMenuItem, GreyedDisabledAndSeparatorItemsNeverMatch) {
    ui::UniqueMenu menu(::CreatePopupMenu());
    AddItem(menu.get(), 1, L"貼り付け(&P)", MFT_STRING, MFS_GRAYED);
    AddItem(menu.get(), 2, L"貼り付け(&P)", MFT_SEPARATOR);
    ::AppendMenuW(menu.get(), MF_STRING | MF_DISABLED, 3, L"貼り付け(&P)");
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&P)", 9), -1);
    AddItem(menu.get(), 4, L"貼り付け(&P)");
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&P)", 9), 4);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(nullptr, L"(&P)", 9), -1);
}

TEST(FindMenuItem, AnItemWithALargeSubmenuIsNoSeparator) {
    // A submenu's item count shares the bits of the separator flag in the menu's packed state.
    ui::UniqueMenu menu(::CreatePopupMenu());
    HMENU sub = ::CreatePopupMenu();
    for (UINT i = 0; i < 12; ++i) ::AppendMenuW(sub, MF_STRING, 100 + i, L"先");
    AddItem(menu.get(), 0, L"送る(&N)", MFT_STRING, 0, sub);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&N)", 5), 1);
}

TEST(SendTo, EntriesOfTheFolderReplaceTheShellsPlaceholder) {
    TempDir sendTo, files;
    const std::wstring target = files / L"target.txt";
    testing_support::WriteBytes(target, "x");
    AddShortcuts(sendTo, 0, 3, target);
    ::CreateDirectoryW((sendTo / L"フォルダ").c_str(), nullptr);  // folders are no Send To targets
    testing_support::WriteBytes(sendTo / L"隠し.txt", "x");
    ::SetFileAttributesW((sendTo / L"隠し.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    OwnerWindow owner;
    ScriptedMenu component;
    component.sendToFolder = sendTo.Path().wstring();
    CountingMalloc malloc;

    const auto menu = MenuWithSendTo(L"送る(&N)");
    EXPECT_TRUE(component.FillSendToMenu(menu.get(), owner.get()));
    EXPECT_EQ(SendToTexts(menu.get()), (std::vector<std::wstring>{L"送り先00", L"送り先01", L"送り先02"}));
    const HMENU sub = ::GetSubMenu(menu.get(), 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(::GetMenuItemID(sub, i), 1525u + static_cast<UINT>(i));
    EXPECT_EQ(testing_support::MenuTexts(menu.get()), (std::vector<std::wstring>{L"開く(&O)", L"送る(&N)"}));
    EXPECT_EQ(malloc.live.size(), 0u);
    EXPECT_EQ(malloc.doubleFrees, 0);

    const auto older = MenuWithSendTo(L"送付(&T)");
    EXPECT_TRUE(component.FillSendToMenu(older.get(), owner.get()));
    EXPECT_EQ(SendToTexts(older.get()).size(), 3u);

    // Without a placeholder of the shell's nothing is removed: the first entry stays.
    const auto bare = MenuWithSendTo(L"送る(&N)", false);
    EXPECT_TRUE(component.FillSendToMenu(bare.get(), owner.get()));
    EXPECT_EQ(SendToTexts(bare.get()).size(), 3u);
}

TEST(SendTo, NinetyNineEntriesAreUsableAndAHundredTurnSendToOff) {
    TempDir sendTo, files;
    const std::wstring target = files / L"target.txt";
    testing_support::WriteBytes(target, "x");
    AddShortcuts(sendTo, 0, 99, target);
    OwnerWindow owner;
    ScriptedMenu component;
    component.sendToFolder = sendTo.Path().wstring();

    const auto ninetyNine = MenuWithSendTo(L"送る(&N)");
    EXPECT_TRUE(component.FillSendToMenu(ninetyNine.get(), owner.get()));
    ASSERT_EQ(SendToTexts(ninetyNine.get()).size(), 99u);
    EXPECT_EQ(SendToTexts(ninetyNine.get()).back(), L"送り先98");

    AddShortcuts(sendTo, 99, 100, target);
    const auto hundred = MenuWithSendTo(L"送る(&N)");
    EXPECT_FALSE(component.FillSendToMenu(hundred.get(), owner.get()));
    ASSERT_EQ(SendToTexts(hundred.get()).size(), 100u);
    EXPECT_EQ(::GetMenuItemID(::GetSubMenu(hundred.get(), 1), 99), 1624u);

    AddShortcuts(sendTo, 100, 101, target);
    const auto more = MenuWithSendTo(L"送る(&N)");
    EXPECT_FALSE(component.FillSendToMenu(more.get(), owner.get()));
    EXPECT_EQ(SendToTexts(more.get()).size(), 100u);
}

TEST(SendTo, AMenuWithoutTheSendToItemStaysAsTheShellMadeIt) {
    TempDir sendTo, files;
    AddShortcuts(sendTo, 0, 2, files / L"x");
    OwnerWindow owner;
    ScriptedMenu component;
    component.sendToFolder = sendTo.Path().wstring();
    const auto menu = MenuWithSendTo(L"SendTo(&N)");  // the accelerator at byte 7
    EXPECT_FALSE(component.FillSendToMenu(menu.get(), owner.get()));
    EXPECT_EQ(SendToTexts(menu.get()), (std::vector<std::wstring>{L"(なし)"}));
}

TEST(ContextMenu, CountsOutsideOneTo1024GiveTheNoticeAndNothingElse) {
    TempDir dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteBytes(file, "x");
    OwnerWindow owner;
    ScriptedPrompter prompter;
    ScriptedMenu component;
    auto items = shell::PathsToItems(1, {file});
    ASSERT_TRUE(items);
    CountingMalloc malloc;

    EXPECT_FALSE(component.ShowForItems(owner.get(), items->folder.Get(), items->items.get(), 0, POINT{}));
    EXPECT_FALSE(component.ShowForItems(owner.get(), items->folder.Get(), items->items.get(), 1025, POINT{}));
    EXPECT_FALSE(component.ShowForItems(owner.get(), nullptr, items->items.get(), 1, POINT{}));
    component.SetCMFileName({});
    EXPECT_FALSE(component.ShowForFileNames(owner.get(), 0, 0));
    component.SetCMFileName(std::vector<std::wstring>(1025, file));
    EXPECT_FALSE(component.ShowForFileNames(owner.get(), 0, 0));

    ASSERT_EQ(prompter.messages.size(), 5u);
    for (const auto& shown : prompter.messages) {
        EXPECT_EQ(shown.text, kCountNotice);
        EXPECT_EQ(shown.caption, L"ファイル選択でのお知らせ");
        EXPECT_EQ(shown.flags & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
        EXPECT_EQ(shown.flags & MB_TYPEMASK, static_cast<UINT>(MB_OK));
    }
    EXPECT_EQ(component.shown, 0);
    EXPECT_EQ(malloc.allocations, 0);
    EXPECT_TRUE(Exists(file));
}

TEST(ContextMenu, ShowsTheShellsMenuAtTheWindowsPointAndADismissedMenuRunsNothing) {
    TempDir dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteBytes(file, "x");
    testing_support::EmptyTheClipboard();
    OwnerWindow owner;
    ScriptedPrompter prompter;
    ScriptedMenu component;
    CountingMalloc malloc;

    EXPECT_FALSE(component.ShowForFile(owner.get(), file, 30, 40));
    EXPECT_EQ(component.shown, 1);
    POINT expected{30, 40};
    ::ClientToScreen(owner.get(), &expected);
    EXPECT_EQ(component.shownAt.x, expected.x);
    EXPECT_EQ(component.shownAt.y, expected.y);
    EXPECT_EQ(component.CMFileName(), std::vector<std::wstring>{file});
    EXPECT_NE(std::find(component.shownTexts.begin(), component.shownTexts.end(), L"削除(&D)"),
              component.shownTexts.end());
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(testing_support::ClipboardFiles().empty());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(malloc.live.size(), 0u);
    EXPECT_EQ(malloc.doubleFrees, 0);
    EXPECT_FALSE(component.ShowForFile(nullptr, file, 0, 0));
    EXPECT_EQ(component.shown, 1);
}

TEST(ContextMenu, ChosenDeleteRemovesTheFileOnDisk) {
    TempDir dir;
    const std::wstring file = dir / L"消す.txt";
    const std::wstring other = dir / L"残す.txt";
    testing_support::WriteBytes(file, "x");
    testing_support::WriteBytes(other, "x");
    OwnerWindow owner;
    ScriptedPrompter prompter;
    ScriptedMenu component;
    component.choose = [](HMENU menu) { return testing_support::MenuIdOf(menu, L"(&D)"); };
    testing_support::DialogAnswerer confirm(L"ファイルの削除の確認", L"はい(&Y)");
    CountingMalloc malloc;

    EXPECT_TRUE(component.ShowForFile(owner.get(), file, 5, 5));
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Exists(other));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(malloc.live.size(), 0u);
}

TEST(ContextMenu, ChosenCopyPutsTheFilesOnTheClipboard) {
    TempDir dir;
    const std::wstring a = dir / L"한글 😀.txt", b = dir / L"b.txt";
    testing_support::WriteBytes(a, "x");
    testing_support::WriteBytes(b, "x");
    testing_support::EmptyTheClipboard();
    OwnerWindow owner;
    ScriptedMenu component;
    component.choose = [](HMENU menu) { return testing_support::MenuIdOf(menu, L"コピー(&C)"); };
    component.SetCMFileName({a, b});
    EXPECT_TRUE(component.ShowForFileNames(owner.get(), 1, 1));
    EXPECT_EQ(testing_support::ClipboardFiles(), (std::vector<std::wstring>{a, b}));
    testing_support::EmptyTheClipboard();
}

TEST(ContextMenu, ACommandTheShellRefusesIsToldAndTheProgramGoesOn) {
    TempDir dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteBytes(file, "x");
    OwnerWindow owner;
    ScriptedPrompter prompter;
    ScriptedMenu component;
    component.choose = [](HMENU) { return 0x6000u; };  // no command of the shell's
    CountingMalloc malloc;
    EXPECT_FALSE(component.ShowForFile(owner.get(), file, 0, 0));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, L" InvokeCommand failed! ");
    EXPECT_EQ(prompter.messages[0].caption, L" TContextMenuEx component version 2.05");
    EXPECT_EQ(prompter.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(malloc.live.size(), 0u);
    EXPECT_TRUE(Exists(file));
}

TEST(ContextMenu, TheRealMenuOpensAtThePointAndEscapeClosesIt) {
    TempDir dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteBytes(file, "x");
    OwnerWindow owner;
    ScriptedPrompter prompter;
    TContextMenuEx component;
    RECT shown{};
    bool escaped = false, stuck = false;
    int ticksAfterEscape = 0;
    ui::Timer watch(nullptr, 30);  // its ticks reach us through the menu's own loop
    watch.OnTimer = [&] {
        const HWND popup = testing_support::FindThreadWindow(L"#32768", L"");
        if (escaped) {
            if (popup && ++ticksAfterEscape > 50) {
                stuck = true;
                ::EndMenu();
            }
            return;
        }
        if (!popup) return;
        ::GetWindowRect(popup, &shown);
        escaped = true;
        ::PostMessageW(owner.get(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_FALSE(component.ShowForFile(owner.get(), file, 30, 40));
    ASSERT_TRUE(escaped);
    EXPECT_FALSE(stuck);
    POINT expected{30, 40};
    ::ClientToScreen(owner.get(), &expected);
    EXPECT_EQ(shown.left, expected.x);
    EXPECT_EQ(shown.top, expected.y);
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST(InvokeItemCommand, RunsTheKindsCommandWhenTheItemAllowsIt) {
    TempDir dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteBytes(file, "x");
    testing_support::EmptyTheClipboard();
    OwnerWindow owner;
    ScriptedPrompter prompter;
    TContextMenuEx component;
    auto items = shell::PathsToItems(1, {file});
    ASSERT_TRUE(items);
    IShellFolder* folder = items->folder.Get();
    const ITEMIDLIST* item = items->items.get();

    EXPECT_FALSE(component.InvokeItemCommand(owner.get(), folder, static_cast<shell::CommandKind>(6), {}, item));
    EXPECT_FALSE(component.InvokeItemCommand(nullptr, folder, shell::CommandKind::Copy, {}, item));
    EXPECT_TRUE(testing_support::ClipboardFiles().empty());
    // A file's menu holds no paste command.
    EXPECT_FALSE(component.InvokeItemCommand(owner.get(), folder, shell::CommandKind::Paste, {}, item));
    EXPECT_TRUE(prompter.messages.empty());

    EXPECT_TRUE(component.InvokeItemCommand(owner.get(), folder, shell::CommandKind::Copy, {}, item));
    EXPECT_EQ(testing_support::ClipboardFiles(), std::vector<std::wstring>{file});
    testing_support::EmptyTheClipboard();

    testing_support::DialogAnswerer confirm(L"ファイルの削除の確認", L"はい(&Y)");
    EXPECT_TRUE(component.InvokeItemCommand(owner.get(), folder, shell::CommandKind::Delete, {}, item));
    EXPECT_TRUE(confirm.Answered());
    EXPECT_FALSE(Exists(file));
}

TEST(SendTo, AChosenEntryCopiesTheItemsThenPastesOntoTheEntry) {
    TempDir sendTo, dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteBytes(file, "x");
    AddShortcuts(sendTo, 0, 3, dir.Path().wstring());
    testing_support::EmptyTheClipboard();
    OwnerWindow owner;
    ScriptedPrompter prompter;
    ScriptedMenu component;
    component.sendToFolder = sendTo.Path().wstring();
    CountingMalloc malloc;
    auto items = shell::PathsToItems(1, {file});
    ASSERT_TRUE(items);
    ASSERT_TRUE(component.InvokeItemCommand(owner.get(), items->folder.Get(), shell::CommandKind::Copy, {},
                                            items->items.get()));
    // The shortcuts' menus offer no paste here, so the entry takes nothing and the copy stays on the clipboard.
    EXPECT_FALSE(component.SendToEntry(owner.get(), 1));
    EXPECT_FALSE(component.SendToEntry(owner.get(), 3));
    EXPECT_EQ(testing_support::ClipboardFiles(), std::vector<std::wstring>{file});
    EXPECT_TRUE(prompter.messages.empty());
    items.reset();
    EXPECT_EQ(malloc.live.size(), 0u);
    EXPECT_EQ(malloc.doubleFrees, 0);
    testing_support::EmptyTheClipboard();
}
