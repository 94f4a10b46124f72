// Find in the folder's files: the button and its pane, the exactness of the hits against the find button's marks
// in an opened tab, the order, what is passed over, cancelling, the way from a hit to its tab, and the window's
// answers while a search runs.
#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/finder.h"
#include "app/folder_find.h"
#include "app/folder_find_pane.h"
#include "app_fixture.h"
#include "support/stall_watch.h"
#include "ui/ini.h"

namespace {

using LineColumn = std::pair<long, long>;

std::string Sjis(const std::wstring& text) {
    return ui::Cp932FromWide(text);
}

std::string Utf16(const std::wstring& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// The hits the find button marked in an editor, as line and column: red bold runs, cut at the pattern's length.
std::vector<LineColumn> MarkedHits(ui::RichEdit& editor, long length) {
    std::vector<LineColumn> hits;
    const long n = editor.TextLength();
    long run = 0;
    for (long i = 0; i < n; ++i) {
        editor.SelectWithoutScroll(i, i + 1);
        const CHARFORMAT2W f = editor.SelectionFormat();
        if (!(f.dwEffects & CFE_BOLD) || (f.dwEffects & CFE_AUTOCOLOR) || f.crTextColor != RGB(255, 0, 0)) {
            run = 0;
            continue;
        }
        if (run++ % length == 0) {
            const long line = editor.LineFromChar(i);
            hits.emplace_back(line, i - editor.LineIndex(line));
        }
    }
    return hits;
}

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[1024]{};
    ListView_GetItemText(list, row, column, text, 1024);
    return text;
}

}  // namespace

class FolderFindTest : public MainWindowTest {
protected:
    app::FolderFindPane& Pane() { return form->FindPane(); }
    HWND List() { return Pane().List(); }

    std::wstring Folder(const std::wstring& name) {
        const std::wstring path = dir / name;
        std::filesystem::create_directories(path);
        return path;
    }
    // A file at a path relative to the temporary folder, its folders made as needed.
    std::wstring Put(const std::wstring& relative, const std::string& bytes) {
        const std::filesystem::path path = dir.Path() / relative;
        std::filesystem::create_directories(path.parent_path());
        testing_support::WriteBytes(path.wstring(), bytes);
        return path.wstring();
    }

    void PressButton(int id) {
        RECT r{};
        HWND bar = form->ToolBar1();
        ::SendMessageW(bar, TB_GETITEMRECT, ::SendMessageW(bar, TB_COMMANDTOINDEX, id, 0),
                       reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ::SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(bar, WM_LBUTTONUP, 0, at);
    }
    // The user's way: the folder selected in the tree, the text in the find box, a click on the button.
    void StartSearch(const std::wstring& folder, const std::wstring& text) {
        ASSERT_TRUE(form->ShellTreeView1().SelectPath(folder));
        form->SetFindText(text);
        PressButton(app::kBtnFolderFind);
    }
    bool Quiet() { return !form->FolderFinder().Running() && !form->FolderFinder().WorkerBusy(); }
    void Search(const std::wstring& folder, const std::wstring& text) {
        StartSearch(folder, text);
        ASSERT_TRUE(testing_support::PumpUntil([&] { return Quiet(); }, 60000));
        testing_support::PumpFor(20);
    }
    std::wstring Caption() {
        wchar_t text[512]{};
        ::GetWindowTextW(::GetDlgItem(Pane().Handle(), 1), text, 512);
        return text;
    }
    std::vector<std::wstring> FileColumn() {
        std::vector<std::wstring> files;
        for (int i = 0; i < ListView_GetItemCount(List()); ++i) files.push_back(ItemText(List(), i, 0));
        return files;
    }
    std::vector<LineColumn> ListedHits(const std::wstring& relative) {
        std::vector<LineColumn> hits;
        for (int i = 0; i < Pane().RowCount(); ++i) {
            if (Pane().RelativePath(i) != relative) continue;
            hits.emplace_back(Pane().Hit(i).line, Pane().Hit(i).column);
            EXPECT_EQ(ItemText(List(), i, 1), std::to_wstring(Pane().Hit(i).line + 1)) << relative;
        }
        return hits;
    }
    int RowOf(const std::wstring& relative) {
        for (int i = 0; i < Pane().RowCount(); ++i)
            if (Pane().RelativePath(i) == relative) return i;
        return -1;
    }
    void SelectRow(int row) {
        ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // A drag of the find pane's splitter by the mouse, dy pixels down.
    void DragSplitter(int dy) {
        HWND bar = form->SplitterFind().Handle();
        RECT r{};
        ::GetWindowRect(bar, &r);
        const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ::SetCursorPos(at.x, at.y);
        ::SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::SetCursorPos(at.x, at.y + dy);
        ::SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2, 2 + dy));
        ::SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(2, 2 + dy));
    }
    void Key(UINT key) {
        ::SendMessageW(List(), WM_KEYDOWN, key, 1);
        ::SendMessageW(List(), WM_KEYUP, key, 0xC0000001);
    }
};

TEST_F(FolderFindTest, TheButtonFollowsReplaceAndSearchesOnlyForATextInAFolderWithAPath) {
    Put(L"f\\a.txt", Sjis(L"日本語と日本語\r\n"));
    Put(L"f\\b.txt", Sjis(L"日本語"));
    Put(L"f\\c.txt", "nothing");
    Open();
    HWND bar = form->ToolBar1();
    EXPECT_EQ(::SendMessageW(bar, TB_COMMANDTOINDEX, app::kBtnFolderFind, 0),
              ::SendMessageW(bar, TB_COMMANDTOINDEX, app::kBtnTikan, 0) + 1);
    EXPECT_STREQ(app::ToolHint(app::kBtnFolderFind), L"フォルダ内を検索");
    EXPECT_FALSE(form->FindPaneVisible()) << "hidden until the first search";
    EXPECT_FALSE(::IsWindowVisible(form->SplitterFind().Handle()));

    StartSearch(dir / L"f", L"");
    EXPECT_FALSE(form->FolderFinder().Running());
    EXPECT_FALSE(form->FindPaneVisible());
    const shell::UniqueIdList computer = shell::SpecialFolderIdList(nullptr, CSIDL_DRIVES);
    ASSERT_NE(computer, nullptr);
    form->ShellTreeView1().SelectIdList(computer.get());
    form->SetFindText(L"日本語");
    PressButton(app::kBtnFolderFind);
    EXPECT_FALSE(form->FolderFinder().Running()) << "a folder without a path";
    EXPECT_FALSE(form->FindPaneVisible());

    Search(dir / L"f", L"日本語");
    ASSERT_TRUE(form->FindPaneVisible());
    EXPECT_EQ(Caption(), L"「日本語」 3 件 / 2 ファイル");
    EXPECT_EQ(FileColumn(), (std::vector<std::wstring>{L"a.txt", L"a.txt", L"b.txt"}));
    const wchar_t* headers[] = {L"ファイル", L"行", L"内容"};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[32]{};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 32;
        ListView_GetColumn(List(), i, &column);
        EXPECT_STREQ(text, headers[i]);
    }
    EXPECT_EQ(::GetWindowTextLengthW(Pane().CloseButton()), 1);
    // Under the tabs, a 6-pixel splitter between, 160 pixels high without a setting.
    RECT tabs{}, bar6{}, pane{};
    ::GetWindowRect(form->PageControl(), &tabs);
    ::GetWindowRect(form->SplitterFind().Handle(), &bar6);
    ::GetWindowRect(Pane().Handle(), &pane);
    EXPECT_EQ(bar6.top, tabs.bottom);
    EXPECT_EQ(bar6.bottom - bar6.top, 6);
    EXPECT_EQ(pane.top, bar6.bottom);
    EXPECT_EQ(pane.bottom - pane.top, 160);
    EXPECT_TRUE(::IsWindowVisible(form->SplitterFind().Handle()));

    // The close button hides the pane and its splitter; the next search shows them again.
    ::SendMessageW(Pane().CloseButton(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageW(Pane().CloseButton(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_FALSE(form->FindPaneVisible());
    EXPECT_FALSE(::IsWindowVisible(Pane().Handle()));
    EXPECT_FALSE(::IsWindowVisible(form->SplitterFind().Handle()));
    Search(dir / L"f", L"と");
    EXPECT_TRUE(form->FindPaneVisible());
    EXPECT_EQ(Caption(), L"「と」 1 件 / 1 ファイル");
}

TEST_F(FolderFindTest, EveryHitIsWhereTheFindButtonMarksItInTheOpenedTab) {
    const std::wstring text = L"日本語の ABC abc\r\nにほんご ﾆﾎﾝｺﾞ Ａｂｃ 日本語日本語\r\n\r\n末尾 abC 日本語";
    auto lines = [&](const std::wstring& end) {
        std::wstring s = text;
        for (size_t at = 0; (at = s.find(L"\r\n", at)) != std::wstring::npos; at += end.size()) s.replace(at, 2, end);
        return s;
    };
    const std::vector<std::pair<std::wstring, std::string>> corpus = {
        {L"sjis_crlf.txt", Sjis(lines(L"\r\n"))},
        {L"sjis_lf.txt", Sjis(lines(L"\n"))},
        {L"sjis_cr.txt", Sjis(lines(L"\r"))},
        {L"sjis_mixed.txt", Sjis(L"abc\r\n\n\rabc\n日本語\r\r\nABC")},
        {L"utf8_bom.txt", "\xEF\xBB\xBF" + ui::Utf8FromWide(text)},
        {L"utf8.txt", ui::Utf8FromWide(text)},
        {L"utf16le.txt", Utf16(text, false)},
        {L"utf16be.txt", Utf16(text, true)},
        {L"plain named.rtf", Sjis(text)},
        {L"hex.rtf",
         "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 Gothic;}}\\f0\\fs22 "
         "\\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'82\\'cc ABC abc\\par \\'82\\'a0{\\b \\'93\\'fa\\'96\\'7b}\\'8c\\'ea\\tab "
         "abc\\par}"},
        {L"unicode.rtf",
         "{\\rtf1\\ansi\\uc1 x\\u26085?\\u26412?\\u35486? abc\\line \\u26085?\\u26412?\\u35486?\\par "
         "\\u26085?\\u26412?\\u35486?abc\\par}"},
        {L"table.rtf",
         "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 X;}}\\f0 before abc\\par\\trowd\\cellx2000\\cellx4000 "
         "\\intbl \\'93\\'fa\\'96\\'7b\\'8c\\'ea\\cell ABC\\cell\\row after \\'93\\'fa\\'96\\'7b\\'8c\\'ea\\par}"},
        {L"hidden.rtf",
         "{\\rtf1\\ansi\\ansicpg932{\\*\\generator \\'93\\'fa\\'96\\'7b\\'8c\\'ea abc;}{\\fonttbl{\\f0\\fcharset128 "
         "X;}}{\\*\\userprops {\\*\\x abc}}\\f0 shown \\'93\\'fa\\'96\\'7b\\'8c\\'ea abc\\par}"},
        {L"no code page.rtf", "{\\rtf1\\ansi \\'93\\'fa abc \\'e9t\\'e9 ABC\\par}"},
        {L"field.rtf", "{\\rtf1\\ansi {\\field{\\*\\fldinst HYPERLINK \"http://x/abc\"}{\\fldrslt abc}} abc\\par}"},
    };
    for (const auto& [name, bytes] : corpus) Put(L"corpus\\" + name, bytes);
    Open();
    for (const std::wstring pattern : {L"日本語", L"abc"}) {
        SCOPED_TRACE(ui::Utf8FromWide(pattern));
        Search(dir / L"corpus", pattern);
        int withHits = 0;
        for (const auto& [name, bytes] : corpus) {
            SCOPED_TRACE(ui::Utf8FromWide(name));
            form->sinkitab(1, dir / (L"corpus\\" + name));
            ASSERT_EQ(form->SlotAt(form->CurrentSlot()).fileName, dir / (L"corpus\\" + name));
            ui::RichEdit& editor = *form->CurrentEditor();
            app::faindtxt(form->Handle(), &editor, pattern, true);
            const std::vector<LineColumn> marked = MarkedHits(editor, static_cast<long>(pattern.size()));
            EXPECT_EQ(ListedHits(name), marked);
            if (!marked.empty()) ++withHits;
            form->tbtnTabTojClick();
        }
        EXPECT_GE(withHits, 12) << "the corpus is about hits";
        EXPECT_EQ(Caption(), L"「" + pattern + L"」 " + std::to_wstring(Pane().RowCount()) + L" 件 / " +
                                 std::to_wstring(withHits) + L" ファイル");
    }
}

TEST_F(FolderFindTest, HitsComeInFolderOrderWithTheLineAndItsTextAroundTheHit) {
    Put(L"o\\b.txt", "hit");
    Put(L"o\\a.txt", "hit one\r\nnothing\r\n\thit two");
    Put(L"o\\file10.txt", "hit");
    Put(L"o\\file2.txt", "hit");
    Put(L"o\\sub2\\z.txt", "hit");
    Put(L"o\\sub\\deeper\\y.txt", "hit");
    Put(L"o\\sub\\x.txt", "hit");
    Put(L"o\\long.txt", std::string(1000, 'x') + "HIT" + std::string(1000, 'y'));
    Open();
    Search(dir / L"o", L"hit");
    EXPECT_EQ(FileColumn(),
              (std::vector<std::wstring>{L"a.txt", L"a.txt", L"b.txt", L"file2.txt", L"file10.txt", L"long.txt",
                                         L"sub\\x.txt", L"sub\\deeper\\y.txt", L"sub2\\z.txt"}));
    EXPECT_EQ(ItemText(List(), 0, 1), L"1");
    EXPECT_EQ(ItemText(List(), 0, 2), L"hit one");
    EXPECT_EQ(ItemText(List(), 1, 1), L"3");
    EXPECT_EQ(ItemText(List(), 1, 2), L" hit two") << "a tab shows as a blank";
    const std::wstring around = ItemText(List(), 5, 2);
    ASSERT_EQ(around.size(), 202u);
    EXPECT_EQ(around.front(), L'…');
    EXPECT_EQ(around.back(), L'…');
    EXPECT_EQ(around.find(L"HIT"), 100u) << "the hit in the middle";
    EXPECT_EQ(Pane().FullPath(6), dir / L"o\\sub\\x.txt");
}

TEST_F(FolderFindTest, PassesOverHiddenSystemLinkedBinaryAndLargeFilesAndCountsWhatItCannotOpen) {
    const std::wstring root = Folder(L"s");
    Put(L"s\\seen.txt", "needle");
    Put(L"s\\sub\\deep.txt", "needle");
    SetFileAttributesW(Put(L"s\\.hidden.txt", "needle").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::wstring system = Put(L"s\\system.txt", "needle");
    ASSERT_TRUE(::SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(::GetFileAttributesW(system.c_str()) & FILE_ATTRIBUTE_SYSTEM);
    Put(L"s\\.secret\\inside.txt", "needle");
    SetFileAttributesW((root + L"\\.secret").c_str(), FILE_ATTRIBUTE_HIDDEN);
    Put(L"s\\binary.dat", std::string("needle\0", 7) + "needle");
    Put(L"s\\utf16.txt", Utf16(L"needle", false));
    Put(L"s\\broken.rtf", "needle, neither rich text nor text \x01\x02\x03");
    Put(L"s\\plain.rtf", "needle, not rich text");
    // Larger than 64 MB, with text in its first kilobytes (the rest reads as zeros).
    const std::wstring large = Put(L"s\\large.txt", std::string(8192, ' ') + "needle");
    {
        const ui::UniqueHandle file = ui::OwnFileHandle(
            ::CreateFileW(large.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end{};
        end.QuadPart = (64ll << 20) + 1;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()));
    }
    // A link back to the searched folder: followed, it would never end.
    const bool linked = testing_support::LinkFolder(root + L"\\loop", root);
    struct Unlink {
        std::wstring link;
        ~Unlink() { testing_support::RemoveFromOutside(link); }
    } unlink{root + L"\\loop"};
    const std::wstring locked = Put(L"s\\locked.txt", "needle");
    const ui::UniqueHandle held =
        ui::OwnFileHandle(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    Open();
    Search(root, L"needle");
    EXPECT_EQ(FileColumn(), (std::vector<std::wstring>{L"plain.rtf", L"seen.txt", L"utf16.txt", L"sub\\deep.txt"}));
    EXPECT_EQ(Caption(), L"「needle」 4 件 / 4 ファイル（開けないファイル 1）");
    if (!linked) GTEST_SKIP() << "no link could be made here: the loop was not tried";
}

TEST_F(FolderFindTest, ANewSearchShowsOnlyItsOwnRowsAndEscCancelsAndHides) {
    constexpr int kFiles = 120;
    for (int i = 0; i < kFiles; ++i)
        Put(L"many\\doc" + std::to_wstring(i) + L".rtf",
            "{\\rtf1\\ansi\\ansicpg932 alpha here\\par {\\b beta} there\\par " + std::string(2000, 'z') + "\\par}");
    Open();
    StartSearch(dir / L"many", L"alpha");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Pane().RowCount() > 0; }, 30000));
    ASSERT_TRUE(form->FolderFinder().Running()) << "the first search must still run for the second to cancel it";
    StartSearch(dir / L"many", L"beta");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Quiet(); }, 60000));
    testing_support::PumpFor(100);
    ASSERT_EQ(Pane().RowCount(), kFiles);
    for (int i = 0; i < kFiles; ++i) ASSERT_EQ(ItemText(List(), i, 2), L"beta there") << i;
    EXPECT_EQ(Caption(), L"「beta」 120 件 / 120 ファイル");

    StartSearch(dir / L"many", L"alpha");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Pane().RowCount() > 0; }, 30000));
    ASSERT_TRUE(form->FolderFinder().Running());
    ::SetFocus(List());
    Key(VK_ESCAPE);
    EXPECT_FALSE(form->FindPaneVisible());
    EXPECT_FALSE(form->FolderFinder().Running());
    const int shown = Pane().RowCount();
    EXPECT_LT(shown, kFiles);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return Quiet(); }, 5000)) << "the worker stops at once";
    testing_support::PumpFor(200);
    EXPECT_EQ(Pane().RowCount(), shown) << "nothing of a cancelled search comes later";
    EXPECT_EQ(Caption(),
              L"「alpha」 " + std::to_wstring(shown) + L" 件 / " + std::to_wstring(shown) + L" ファイル（中止）");
    EXPECT_EQ(form->StatusText(2), L"無題") << "the progress gives way to the file name";
}

TEST_F(FolderFindTest, ADoubleClickOrEnterOpensTheFileOrItsTabAndSelectsTheHitUntouched) {
    const std::wstring a = Put(L"r\\a.txt", Sjis(L"一行目\r\n二行目に目印がある\r\n"));
    const std::wstring b = Put(L"r\\b.rtf", "{\\rtf1\\ansi\\ansicpg932 first\\par second \\'96\\'da\\'88\\'f3\\par}");
    Open();
    Search(dir / L"r", L"目印");
    ASSERT_EQ(Pane().RowCount(), 2);
    EXPECT_EQ(FileColumn(), (std::vector<std::wstring>{L"a.txt", L"b.rtf"}));

    testing_support::ClickRow(List(), 0, true);
    ASSERT_EQ(form->TabCount(), 2);
    const int slotA = form->CurrentSlot();
    EXPECT_EQ(form->SlotAt(slotA).fileName, a);
    ui::RichEdit& editorA = Editor(slotA);
    EXPECT_EQ(editorA.Selection().cpMin, Pane().Hit(0).position);
    EXPECT_EQ(editorA.Selection().cpMax, Pane().Hit(0).position + 2);
    EXPECT_EQ(editorA.TextRange(editorA.Selection().cpMin, editorA.Selection().cpMax), L"目印");
    EXPECT_FALSE(editorA.Modified());
    EXPECT_NE(editorA.SelectionFormat().crTextColor, RGB(255, 0, 0)) << "no red marks";
    EXPECT_EQ(::GetFocus(), editorA.Handle());
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(0), L"2 : 13") << "the caret after the hit";

    // Enter on the second row, with its file open already under another spelling of its path: that tab is shown.
    std::wstring upper = b;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    form->sinkitab(1, upper);
    const int slotB = form->CurrentSlot();
    form->tbtnHakusiClick();
    ASSERT_EQ(form->TabCount(), 4);
    SelectRow(1);
    Key(VK_RETURN);
    EXPECT_EQ(form->TabCount(), 4);
    EXPECT_EQ(form->CurrentSlot(), slotB);
    EXPECT_EQ(form->ActiveTabSlot(), slotB);
    EXPECT_EQ(Editor(slotB).TextRange(Editor(slotB).Selection().cpMin, Editor(slotB).Selection().cpMax), L"目印");

    // The first row again: its tab comes to the front, with its edits; nothing is opened or changed.
    Type(slotA, L"二行目に目印がある");
    testing_support::ClickRow(List(), 0, true);
    EXPECT_EQ(form->TabCount(), 4);
    EXPECT_EQ(form->CurrentSlot(), slotA);
    EXPECT_TRUE(Editor(slotA).Modified());
    EXPECT_EQ(form->StatusText(2), L"該当箇所が見つかりません") << "the edit moved the hit";
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(2), L"該当箇所が見つかりません") << "the refresh leaves the message";
}

TEST_F(FolderFindTest, AHitGoneFromTheFileSinceTheSearchStillOpensTheTabAndSaysSo) {
    const std::wstring a = Put(L"g\\a.txt", "first line\r\nthe word\r\n");
    Open();
    Search(dir / L"g", L"word");
    ASSERT_EQ(Pane().RowCount(), 1);
    testing_support::WriteBytes(a, "first line\r\nno more\r\n");
    testing_support::ClickRow(List(), 0, true);
    ASSERT_EQ(form->TabCount(), 2);
    EXPECT_EQ(form->SlotAt(form->CurrentSlot()).fileName, a);
    EXPECT_EQ(form->CurrentEditor()->SelLength(), 0);
    EXPECT_EQ(form->StatusText(2), L"該当箇所が見つかりません");
    EXPECT_FALSE(form->CurrentEditor()->Modified());
}

TEST_F(FolderFindTest, TheWindowAnswersWhileItSearches) {
    for (int i = 0; i < 150; ++i)
        Put(L"w\\doc" + std::to_wstring(i) + (i % 3 ? L".txt" : L".rtf"),
            i % 3 ? Sjis(std::wstring(3000, L'あ') + L"標的") : "{\\rtf1\\ansi x\\par target\\par}");
    Put(L"w1\\one.txt", Sjis(L"標的"));
    Open();
    // The pane is shown once before the watch starts: its first showing is the window's, not the search's.
    Search(dir / L"w1", L"標的");
    testing_support::StallWatch watch(form->Handle());
    Search(dir / L"w", L"標的");
    const double longest = watch.Stop();
    EXPECT_EQ(Pane().RowCount(), 100);
    EXPECT_LT(longest, 1000.0) << "a generous bound: the benchmark measures the real figure";
}

TEST_F(FolderFindTest, ThePanesHeightIsKeptInDataIniAndItsSplitterKeepsTheMinimum) {
    testing_support::WriteBytes(IniPath(), "[panel]\r\npaneFind=210\r\n");
    Put(L"h\\a.txt", "x");
    Open();
    EXPECT_EQ(form->FindPaneHeight(), 210);
    Search(dir / L"h", L"x");
    EXPECT_EQ(ui::HeightOf(Pane().Handle()), 210);
    // Dragged down, the pane below gets smaller; dragged shut, it keeps the minimum; dragged up, it grows.
    DragSplitter(30);
    EXPECT_EQ(form->FindPaneHeight(), 180);
    EXPECT_EQ(ui::HeightOf(Pane().Handle()), 180);
    DragSplitter(400);
    EXPECT_EQ(form->FindPaneHeight(), 10);
    EXPECT_EQ(ui::HeightOf(Pane().Handle()), 10);
    DragSplitter(-90);
    EXPECT_EQ(form->FindPaneHeight(), 100);
    form->FormClose();
    EXPECT_EQ(ui::IniFile(IniPath()).ReadInteger(L"panel", L"paneFind", 0), 100);
}

TEST_F(FolderFindTest, StopsAtAHundredThousandHits) {
    std::string many;
    for (int i = 0; i < 100005; ++i) many += "a\r\n";
    Put(L"l\\1.txt", many);
    Put(L"l\\2.txt", "a");
    Open();
    Search(dir / L"l", L"a");
    EXPECT_EQ(Pane().RowCount(), 100000);
    EXPECT_EQ(ListView_GetItemCount(List()), 100000);
    EXPECT_EQ(ItemText(List(), 99999, 1), L"100000");
    EXPECT_EQ(Caption(), L"「a」 100000 件 / 1 ファイル（上限）");
}
