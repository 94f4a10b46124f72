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
    shell::ComPtr<IShellFolder> OpenSendToFolder(HWND window) override {
        if (sendToStub) return sendToStub;
        if (sendToFolder.empty()) return TContextMenuEx::OpenSendToFolder(window);
        return shell::BindToFolder(shell::PathToIdList(sendToFolder).get());
    }

public:
    IShellFolder* sendToStub = nullptr;
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

// The menu of a shell that has Send To: copy, and Send To with the shell's placeholder. Records every command run.
class SendToShellMenu final : public IContextMenu {
public:
    std::vector<UINT_PTR> verbs;
    DWORD size = 0;
    HWND owner = nullptr;
    int show = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IContextMenu) {
            *object = static_cast<IContextMenu*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT, UINT first, UINT, UINT) override {
        AddItem(menu, first + 25, L"コピー(&C)");
        HMENU sub = ::CreatePopupMenu();
        AddItem(sub, first + 40, L"(なし)");
        AddItem(menu, first + 41, L"送る(&N)", MFT_STRING, 0, sub);
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 42);
    }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        verbs.push_back(reinterpret_cast<UINT_PTR>(info->lpVerb));
        size = info->cbSize;
        owner = info->hwnd;
        show = info->nShow;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return E_NOTIMPL; }
};

class SendToShellFolder final : public testing_support::StubFolder {
public:
    SendToShellMenu menu;
    shell::ComPtr<IDataObject> data;  // what the folder gives as its items' data object, if anything
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID riid, UINT*,
                                            void** out) override {
        if (riid == IID_IDataObject && data) return data.CopyTo(reinterpret_cast<IDataObject**>(out));
        return menu.QueryInterface(riid, out);
    }
};

// Hands out a fixed list of items, one at a time.
class ListEnumerator final : public IEnumIDList {
public:
    explicit ListEnumerator(std::vector<std::vector<BYTE>> items) : items_(std::move(items)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IEnumIDList) {
            *object = static_cast<IEnumIDList*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;  // our own COM object
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG, PITEMID_CHILD* out, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (next_ >= items_.size()) return S_FALSE;
        *out = reinterpret_cast<PITEMID_CHILD>(
            shell::ConcatIdLists(shell_testing::AsList(items_[next_++]), nullptr).release());
        if (fetched) *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumIDList**) override { return E_NOTIMPL; }

private:
    std::vector<std::vector<BYTE>> items_;
    size_t next_ = 0;
    ULONG refs_ = 1;
};

// A Send To folder of three entries, each with a drop target of its own; `entries` is what it lists now.
class SendToTargets final : public testing_support::StubFolder {
public:
    std::vector<std::vector<BYTE>> entries{shell_testing::MakeList({4}), shell_testing::MakeList({5}),
                                           shell_testing::MakeList({6})};
    testing_support::RecordingTarget targets[3];
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList** out) override {
        *out = new ListEnumerator(entries);  // the caller's reference is the first
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF, STRRET* out) override {
        const std::wstring name = L"送り先0" + std::to_wstring(Which(item));
        out->uType = STRRET_WSTR;
        out->pOleStr = static_cast<LPWSTR>(::CoTaskMemAlloc((name.size() + 1) * sizeof(wchar_t)));
        ::wcscpy(out->pOleStr, name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID riid, UINT*,
                                            void** out) override {
        *out = nullptr;
        if (riid != IID_IDropTarget || count != 1 || Which(items[0]) < 0) return E_NOINTERFACE;
        return targets[Which(items[0])].QueryInterface(riid, out);
    }

private:
    // The entry by its bytes (an item of size 4 + k is entry k).
    static int Which(const ITEMIDLIST* item) { return item ? item->mkid.cb - 4 : -1; }
};

void PutTextOnTheClipboard(const std::wstring& text) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    ::wcscpy(static_cast<wchar_t*>(::GlobalLock(memory)), text.c_str());
    ::GlobalUnlock(memory);
    ::SetClipboardData(CF_UNICODETEXT, memory);
    ::CloseClipboard();
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!::OpenClipboard(nullptr)) return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
}

// A shell menu with a "New" submenu that it fills only when the submenu opens, as the shell's own does.
class LazyShellMenu final : public IContextMenu3 {
public:
    std::vector<UINT_PTR> verbs;
    int filled = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IContextMenu || riid == IID_IContextMenu2 ||
            riid == IID_IContextMenu3) {
            *object = static_cast<IContextMenu3*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT, UINT first, UINT, UINT) override {
        first_ = first;
        submenu_ = ::CreatePopupMenu();
        AddItem(menu, 0, L"新規作成(&W)", MFT_STRING, 0, submenu_);
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 31);
    }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
        verbs.push_back(reinterpret_cast<UINT_PTR>(info->lpVerb));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT msg, WPARAM wp, LPARAM lp) override {
        return HandleMenuMsg2(msg, wp, lp, nullptr);
    }
    HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT msg, WPARAM wp, LPARAM, LRESULT* result) override {
        if (result) *result = 0;
        if (msg == WM_INITMENUPOPUP && reinterpret_cast<HMENU>(wp) == submenu_ && !filled++) {
            AddItem(submenu_, first_ + 30, L"テキスト文書(&T)");
        }
        return S_OK;
    }

private:
    UINT first_ = 0;
    HMENU submenu_ = nullptr;
};

class LazyShellFolder final : public testing_support::StubFolder {
public:
    LazyShellMenu menu;
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID riid, UINT*,
                                            void** out) override {
        return menu.QueryInterface(riid, out);
    }
};

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
    // Only an item's first occurrence counts.
    AddItem(menu.get(), 5, L"x(&R)送(&R)");
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&R)", 8), -1);
    EXPECT_EQ(TContextMenuEx::FindMenuItem(menu.get(), L"(&R)", 2), 5);
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
    EXPECT_TRUE(confirm.Answered());
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
}

TEST(ContextMenu, ASendToChoiceDropsTheItemsOnTheEntryItShowedAndLeavesTheClipboardAlone) {
    TempDir dir;
    const std::wstring a = dir / L"a.txt", b = dir / L"b.txt";
    testing_support::WriteBytes(a, "x");
    testing_support::WriteBytes(b, "x");
    PutTextOnTheClipboard(L"the user's own");
    OwnerWindow owner;
    ScriptedPrompter prompter;
    ScriptedMenu component;
    SendToTargets sendTo;
    component.sendToStub = &sendTo;
    // The user picks the second entry; meanwhile the Send To folder changes, so that its second entry is another
    // one now: the items must still go to the entry that was shown.
    component.choose = [&sendTo](HMENU menu) {
        std::rotate(sendTo.entries.begin(), sendTo.entries.begin() + 1, sendTo.entries.end());
        return testing_support::MenuIdOf(menu, L"送り先01");
    };
    auto files = shell::PathsToItems(2, {a, b});
    ASSERT_TRUE(files);
    const std::vector<shell::UniqueIdList> each = shell::SplitSiblings(files->items.get(), 2);
    LPCITEMIDLIST raw[] = {each[0].get(), each[1].get()};
    SendToShellFolder folder;
    ASSERT_HRESULT_SUCCEEDED(files->folder->GetUIObjectOf(owner.get(), 2, raw, IID_IDataObject, nullptr,
                                                          reinterpret_cast<void**>(folder.data.GetAddressOf())));
    CountingMalloc malloc;

    EXPECT_TRUE(component.ShowForItems(owner.get(), &folder, files->items.get(), 2, POINT{}));
    EXPECT_EQ(sendTo.targets[1].drops, 1);
    EXPECT_EQ(sendTo.targets[1].dropped, (std::vector<std::wstring>{a, b}));
    EXPECT_EQ(sendTo.targets[0].enters + sendTo.targets[2].enters, 0);
    EXPECT_TRUE(folder.menu.verbs.empty()) << "no copy of the shell's ran";
    EXPECT_EQ(ClipboardText(), L"the user's own");
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(malloc.live.size(), 0u);
    EXPECT_EQ(malloc.doubleFrees, 0);

    // Items the folder cannot hand on go nowhere, and the clipboard still stays as it was.
    component.choose = [](HMENU menu) { return testing_support::MenuIdOf(menu, L"送り先00"); };
    sendTo.entries = {shell_testing::MakeList({4})};
    folder.data.Reset();
    EXPECT_FALSE(component.ShowForItems(owner.get(), &folder, files->items.get(), 2, POINT{}));
    EXPECT_EQ(sendTo.targets[0].drops, 0);
    EXPECT_EQ(ClipboardText(), L"the user's own");

    // The shell's own commands run as they are.
    component.choose = [](HMENU menu) { return testing_support::MenuIdOf(menu, L"コピー(&C)"); };
    EXPECT_TRUE(component.ShowForItems(owner.get(), &folder, files->items.get(), 1, POINT{}));
    EXPECT_EQ(folder.menu.verbs, std::vector<UINT_PTR>{25});
    testing_support::EmptyTheClipboard();
}

TEST(ContextMenu, TheEntriesOfAFullSendToFolderRunNothing) {
    TempDir sendTo, dir;
    AddShortcuts(sendTo, 0, 100, dir.Path().wstring());
    OwnerWindow owner;
    ScriptedMenu component;
    component.sendToFolder = sendTo.Path().wstring();
    component.choose = [](HMENU menu) { return testing_support::MenuIdOf(menu, L"送り先05"); };
    SendToShellFolder folder;
    const auto items = shell_testing::MakeList({6});
    EXPECT_FALSE(component.ShowForItems(owner.get(), &folder, shell_testing::AsList(items), 1, POINT{}));
    EXPECT_EQ(component.shown, 1);
    EXPECT_TRUE(folder.menu.verbs.empty());
}

TEST(ContextMenu, TheShellFillsItsSubmenusWhenTheyOpen) {
    OwnerWindow owner;
    TContextMenuEx component;
    LazyShellFolder folder;
    const auto items = shell_testing::MakeList({6});
    int step = 0;
    ui::Timer keys(nullptr, 30);  // the user opens "New" with the keyboard and takes its first entry
    keys.OnTimer = [&] {
        int shown = 0;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND hwnd, LPARAM count) -> BOOL {
                wchar_t cls[16]{};
                ::GetClassNameW(hwnd, cls, 16);
                if (::IsWindowVisible(hwnd) && ::lstrcmpW(cls, L"#32768") == 0) ++*reinterpret_cast<int*>(count);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&shown));
        if (shown == 1 && step == 0) {
            ++step;
            ::PostMessageW(owner.get(), WM_KEYDOWN, VK_DOWN, 0);
            ::PostMessageW(owner.get(), WM_KEYDOWN, VK_RIGHT, 0);
        } else if (shown == 2 && step == 1) {
            ++step;
            ::PostMessageW(owner.get(), WM_KEYDOWN, VK_RETURN, 0);
        } else if (shown > 0 && step > 40) {
            ::EndMenu();
        } else if (shown > 0) {
            ++step;
        }
    };
    EXPECT_TRUE(component.ShowForItems(owner.get(), &folder, shell_testing::AsList(items), 1, POINT{300, 300}));
    EXPECT_EQ(folder.menu.filled, 1);
    EXPECT_EQ(folder.menu.verbs, std::vector<UINT_PTR>{30});
}
