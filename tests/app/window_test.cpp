// The main window's start, settings, tabs, panes and close.
#include <windows.h>

#include "app_fixture.h"
#include "ui/ini.h"
#include "ui/texts.h"

namespace {

RECT WindowRect(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r;
}

}  // namespace

TEST_F(MainWindowTest, FirstStartWithoutSettings) {
    Open();
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 850);
    EXPECT_EQ(r.bottom - r.top, 550);
    EXPECT_EQ(form->PaneLeftWidth(), 180);
    EXPECT_EQ(form->PaneLeftUpHeight(), 200);
    EXPECT_EQ(form->FontDefaults().name, L"BIZ UDPゴシック");
    EXPECT_EQ(form->FontDefaults().size, 11);
    EXPECT_EQ(form->FontDefaults().charset, SHIFTJIS_CHARSET);
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(form->CurrentSlot(), 1);
    EXPECT_EQ(form->TabCaption(1), L"無題");
    EXPECT_EQ(form->StatusText(2), L"無題");
    EXPECT_TRUE(form->TimerEnabled());
    EXPECT_EQ(form->StartFolder(), ui::ExeFolder());
    EXPECT_FALSE(form->ButtonDown(app::kBtnOne2));
    EXPECT_TRUE(::GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED);
    wchar_t title[64]{};
    ::GetWindowTextW(form->Handle(), title, 64);
    EXPECT_STREQ(title, L"ピルカ２");
    // The editor as every new one is set up.
    ui::RichEdit& e = Editor(1);
    EXPECT_EQ(e.TextLimit(), 11000000);
    EXPECT_EQ(e.FontName(), L"BIZ UDPゴシック");
    EXPECT_EQ(e.FontSize(), 11);
    EXPECT_FALSE(e.WordWrap());
    EXPECT_FALSE(e.Modified());
    EXPECT_TRUE(::GetWindowLongPtrW(e.Handle(), GWL_STYLE) & ES_DISABLENOSCROLL);
}

TEST_F(MainWindowTest, SettingsAreReadWithTheirRulesAndBadValuesFallBack) {
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    ui::IniFile ini(IniPath());
    ini.WriteInteger(L"form", L"left", 1200);  // 1200 + 850 is past a 1920-pixel screen
    ini.WriteInteger(L"form", L"width", 850);
    ini.WriteInteger(L"form", L"height", 400);
    ini.WriteInteger(L"form", L"top", screenHeight - 400);  // exactly at the bottom: kept
    ini.WriteString(L"panel", L"paneLeft", L"0x10");
    ini.WriteString(L"panel", L"paneLeftUp", L"abc");
    ini.WriteString(L"Font", L"Name", std::wstring(3000, L'あ'));
    ini.WriteString(L"Font", L"Size", L"0x");
    ini.Save();
    Open();
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.left, ::GetSystemMetrics(SM_CXVIRTUALSCREEN) >= 2050 ? 1200 : 50);
    EXPECT_EQ(r.top, screenHeight - 400);
    EXPECT_EQ(form->PaneLeftWidth(), 16);
    EXPECT_EQ(form->PaneLeftUpHeight(), 200);
    EXPECT_EQ(form->FontDefaults().name, std::wstring(2047, L'あ'));
    EXPECT_EQ(form->FontDefaults().size, 11);
}

TEST_F(MainWindowTest, NegativePositionsAreTakenAsRead) {
    ui::IniFile ini(IniPath());
    ini.WriteInteger(L"form", L"left", -100);
    ini.WriteInteger(L"form", L"top", -20);
    ini.Save();
    Open();
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.left, -100);
    EXPECT_EQ(r.top, -20);
}

TEST(Settings, IntegersAreDecimalOrHexAndAnythingElseIsTheDefault) {
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir / L"x.ini",
                                "[s]\r\na=12\r\nb=-5\r\nc=0x1F\r\nd=0X\r\ne=99999999999\r\nf= 7 \r\ng=1e3\r\n"
                                "h=\r\ni=0xFFFFFFFF\r\nj=+3\r\n[t]\r\nname=\x93\xfa\x96\x7b\r\n");
    const ui::IniFile ini(dir / L"x.ini");
    EXPECT_EQ(ini.ReadInteger(L"s", L"a", 0), 12);
    EXPECT_EQ(ini.ReadInteger(L"S", L"A", 0), 12);  // names match without regard to case
    EXPECT_EQ(ini.ReadInteger(L"s", L"b", 0), -5);
    EXPECT_EQ(ini.ReadInteger(L"s", L"c", 0), 31);
    EXPECT_EQ(ini.ReadInteger(L"s", L"d", 9), 9);
    EXPECT_EQ(ini.ReadInteger(L"s", L"e", 9), 9);
    EXPECT_EQ(ini.ReadInteger(L"s", L"f", 0), 7);
    EXPECT_EQ(ini.ReadInteger(L"s", L"g", 9), 9);
    EXPECT_EQ(ini.ReadInteger(L"s", L"h", 9), 9);
    EXPECT_EQ(ini.ReadInteger(L"s", L"i", 9), -1);
    EXPECT_EQ(ini.ReadInteger(L"s", L"j", 0), 3);
    EXPECT_EQ(ini.ReadInteger(L"missing", L"a", 4), 4);
    EXPECT_EQ(ini.ReadString(L"t", L"name", L""), L"日本");
}

TEST_F(MainWindowTest, ArgumentsAreJoinedIntoOnePath) {
    const std::wstring path = File(L"My Documents a.txt", "joined");
    const std::wstring first = path.substr(0, path.find(L' '));
    Open({first, L"Documents", L"a.txt "});
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(form->SlotAt(1).fileName, path);
    EXPECT_EQ(Text(1), L"joined");
    EXPECT_EQ(form->StartFolder(), dir.Path().wstring());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(MainWindowTest, MissingCommandLineFileLeavesAnUntitledTab) {
    Open({dir / L"nothing here.txt"});
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"ファイル " + (dir / L"nothing here.txt") + L" は開けません.");
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(form->TabCaption(1), L"無題");
    EXPECT_FALSE(form->SlotAt(1).hasFile);
}

TEST_F(MainWindowTest, TabsTakeTheLowestFreeSlotAndStopAtAHundred) {
    Open();
    form->tbtnHakusiClick();
    form->tbtnHakusiClick();
    ASSERT_EQ(form->TabCount(), 3);
    // Close the second tab (slot 2).
    form->PageControl1MouseDown(2, form->TabRect(1).left + 2, form->TabRect(1).top + 2);
    EXPECT_EQ(form->CurrentSlot(), 2);
    form->N2Click();
    EXPECT_EQ(form->TabCount(), 2);
    EXPECT_EQ(form->CurrentSlot(), 3);  // the tab to the right of the closed one
    form->tbtnHakusiClick();
    EXPECT_EQ(form->CurrentSlot(), 2);
    EXPECT_EQ(form->SlotAt(2).pageName, L"TabSheet2");
    EXPECT_EQ(form->SlotAtTab(2), 2);  // shown at the right end

    for (int i = 0; i < 120; ++i) form->tbtnHakusiClick();
    EXPECT_EQ(form->TabCount(), 100);
    form->sinkitab(1, File(L"x.txt", "x"));
    form->kizontab(1, dir / L"x.txt");
    EXPECT_EQ(form->TabCount(), 100);
    EXPECT_TRUE(prompter.messages.empty());

    // Closing the last tab shows the first.
    form->PageControl1MouseDown(2, form->TabRect(99).left + 2, form->TabRect(99).top + 2);
    form->tbtnTabTojClick();
    EXPECT_EQ(form->CurrentSlot(), form->SlotAtTab(0));
}

TEST_F(MainWindowTest, ClosingAModifiedTabAsksAndNoKeepsIt) {
    Open();
    form->tbtnTabTojClick();  // unmodified: closes without a question
    EXPECT_EQ(form->TabCount(), 0);
    EXPECT_EQ(form->CurrentSlot(), 0);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(form->TimerEnabled());

    form->tbtnHakusiClick();
    Type(1, L"draft");
    prompter.answers.push_back(IDNO);
    form->tbtnTabTojClick();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"無題\r\nが未保存ですが閉じますか？");
    EXPECT_EQ(prompter.messages[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(form->TabCount(), 1);
    EXPECT_EQ(Text(1), L"draft");
    EXPECT_TRUE(Editor(1).Modified());
    prompter.answers.push_back(IDYES);
    form->tbtnTabTojClick();
    EXPECT_EQ(form->TabCount(), 0);
}

TEST_F(MainWindowTest, CommandsWithNoTabDoNothing) {
    Open();
    form->tbtnTabTojClick();
    ASSERT_EQ(form->CurrentSlot(), 0);
    form->tbtnBoldClick();
    form->tbtnWRapOnOffClick();
    form->tbtnUndoClick();
    form->tbtnCutClick();
    form->tbtnCopyClick();
    form->tbtnPasteClick();
    form->tbtnAllSelectClick();
    form->popKiritClick();
    form->popSakjoClick();
    form->tbtnUwagakiClick();
    form->tbtnNamaeHozonClick();
    form->tbtnTabTojClick();
    form->PageControl1Change();
    form->Timer1Timer();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(prompter.saveDialogs.empty());
    EXPECT_EQ(form->CurrentEditor(), nullptr);
}

TEST_F(MainWindowTest, ReturningToAModifiedTabMarksItsCaption) {
    Open();
    const std::wstring path = File(L"doc.txt", "text");
    form->sinkitab(1, path);
    Type(2, L"changed");
    form->PageControl1MouseDown(2, form->TabRect(0).left + 2, form->TabRect(0).top + 2);
    EXPECT_EQ(form->CurrentSlot(), 1);
    EXPECT_EQ(form->TabCaption(2), L"doc");
    form->PageControl1MouseDown(2, form->TabRect(1).left + 2, form->TabRect(1).top + 2);
    EXPECT_EQ(form->TabCaption(2), L"*doc");
    form->PageControl1Change();
    EXPECT_EQ(form->TabCaption(2), L"*doc");  // never twice
    form->tbtnUwagakiClick();
    EXPECT_EQ(prompter.LastText(), L"*doc\r\nを上書き保存しました。");
    EXPECT_EQ(form->TabCaption(2), L"*doc");  // an overwrite save keeps it
    EXPECT_FALSE(Editor(2).Modified());
}

TEST_F(MainWindowTest, DraggingTheActiveTabMovesItAndKeepsItsSlot) {
    Open();
    form->tbtnHakusiClick();
    form->tbtnHakusiClick();
    ASSERT_EQ(form->CurrentSlot(), 3);
    const RECT first = form->TabRect(0);
    form->PageControl1DragDrop(first.left + 2, first.top + 2);
    EXPECT_EQ(form->SlotAtTab(0), 3);
    EXPECT_EQ(form->SlotAtTab(1), 1);
    EXPECT_EQ(form->SlotAtTab(2), 2);
    EXPECT_EQ(form->CurrentSlot(), 3);
    EXPECT_EQ(form->ActiveTabSlot(), 3);
    // On itself, or outside every tab: nothing changes.
    form->PageControl1DragDrop(first.left + 2, first.top + 2);
    form->PageControl1DragDrop(5000, 5000);
    EXPECT_EQ(form->SlotAtTab(0), 3);
    EXPECT_EQ(form->SlotAtTab(1), 1);
}

TEST_F(MainWindowTest, WordWrapFollowsTheEditorAndKeepsTheModifiedMark) {
    Open();
    form->tbtnWRapOnOffClick();
    EXPECT_TRUE(Editor(1).WordWrap());
    EXPECT_TRUE(form->ButtonDown(app::kBtnWrap));
    EXPECT_FALSE(Editor(1).Modified());
    form->tbtnHakusiClick();
    EXPECT_FALSE(form->ButtonDown(app::kBtnWrap));
    Editor(2).SetModified(true);
    form->tbtnWRapOnOffClick();
    EXPECT_TRUE(Editor(2).Modified());
    form->tbtnWRapOnOffClick();
    form->PageControl1MouseDown(2, form->TabRect(0).left + 2, form->TabRect(0).top + 2);
    EXPECT_TRUE(form->ButtonDown(app::kBtnWrap));
    EXPECT_EQ(form->TabCaption(1), L"無題");  // wrapping is no modification
}

TEST_F(MainWindowTest, StyleTogglesWorkOnTheWholeSelection) {
    Open();
    ui::RichEdit& e = Editor(1);
    e.SetText(L"abcdef");
    e.Select(0, 3);
    form->tbtnBoldClick();
    e.Select(0, 6);  // partly bold: what the control reports decides
    const bool wasBold = e.SelectionFormat().dwEffects & CFE_BOLD;
    form->tbtnBoldClick();
    e.Select(4, 5);
    EXPECT_EQ(static_cast<bool>(e.SelectionFormat().dwEffects & CFE_BOLD), !wasBold);
    e.Select(1, 2);
    EXPECT_EQ(static_cast<bool>(e.SelectionFormat().dwEffects & CFE_BOLD), !wasBold);
    for (auto [toggle, effect] :
         {std::pair{&app::TForm1::tbtnItalicClick, CFE_ITALIC}, std::pair{&app::TForm1::tbtnUnderClick, CFE_UNDERLINE},
          std::pair{&app::TForm1::tbtnStrikeClick, CFE_STRIKEOUT}}) {
        e.Select(0, 6);
        (form.get()->*toggle)();
        EXPECT_TRUE(e.SelectionFormat().dwEffects & effect);
        (form.get()->*toggle)();
        EXPECT_FALSE(e.SelectionFormat().dwEffects & effect);
    }
    EXPECT_TRUE(e.Modified());
}

TEST_F(MainWindowTest, PopupCutAndDeleteLeaveNoSelection) {
    Open();
    ui::RichEdit& e = Editor(1);
    e.SetText(L"hello world");
    e.Select(0, 6);
    form->popSakjoClick();
    EXPECT_EQ(e.Text(), L"world");
    EXPECT_EQ(e.SelLength(), 0);
    e.Select(0, 2);
    form->popKiritClick();
    EXPECT_EQ(e.Text(), L"rld");
    EXPECT_EQ(e.SelLength(), 0);
    form->tbtnPasteClick();
    EXPECT_EQ(e.Text(), L"world");
    form->tbtnAllSelectClick();
    EXPECT_GE(e.SelLength(), 5);
}

TEST_F(MainWindowTest, StatusBarShowsCaretFontAndFile) {
    Open();
    ui::RichEdit& e = Editor(1);
    e.SetText(L"first line\rsecond line here");
    e.Select(15, 15);
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(0), L"2 : 5");
    EXPECT_EQ(form->StatusText(1), L"BIZ UDPゴシック、サイズ=11");
    EXPECT_EQ(form->StatusText(2), L"無題");
    // A selection in 12-point text shows its own font.
    e.Select(0, 5);
    CHARFORMAT2W f = ui::MakeCharFormat(CFM_SIZE | CFM_FACE);
    f.yHeight = 12 * 20;
    wcscpy_s(f.szFaceName, L"Arial");
    e.SetSelectionFormat(f);
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(1), L"Arial、サイズ=12");
    // Without a selection: the font recorded at set-up, not the editor's present one.
    e.SetFont(SHIFTJIS_CHARSET, L"Other", 30);
    e.Select(2, 2);
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(1), L"BIZ UDPゴシック、サイズ=11");
    EXPECT_EQ(form->StatusText(0), L"1 : 3");
}

TEST_F(MainWindowTest, StatusBarColumnCountsCodePage932Bytes) {
    Open();
    ui::RichEdit& e = Editor(1);
    const auto statusAt = [&](const std::wstring& text, long caret) {
        e.SetText(text);
        e.Select(caret, caret);
        form->Timer1Timer();
        return form->StatusText(0);
    };
    EXPECT_EQ(statusAt(L"日本語abc", 6), L"1 : 10");
    EXPECT_EQ(statusAt(L"ｱｲｳ", 3), L"1 : 4") << "half-width katakana is one byte";
    EXPECT_EQ(statusAt(L"a한\xD83D\xDE00"
                       L"b",
                       5),
              L"1 : 7")
        << "characters outside the code page count two";
    EXPECT_EQ(statusAt(L"日本語\r漢字x", 6), L"2 : 5") << "counted from the caret's line";
    // A selection: the column of its end.
    e.SetText(L"ab\r日本語");
    e.Select(1, 5);
    form->Timer1Timer();
    EXPECT_EQ(form->StatusText(0), L"2 : 5");
}

TEST_F(MainWindowTest, TransparencyPaneAndSplitters) {
    Open();
    BYTE alpha = 0;
    DWORD flags = 0;
    form->SetButtonDown(app::kBtnTomei, true);
    form->tbtnTomeiClick();
    EXPECT_EQ(form->Alpha(), 125);
    ASSERT_TRUE(::GetLayeredWindowAttributes(form->Handle(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 125);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
    form->SetButtonDown(app::kBtnTomei, false);
    form->tbtnTomeiClick();
    ASSERT_TRUE(::GetLayeredWindowAttributes(form->Handle(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 255);

    EXPECT_TRUE(form->PaneLeftVisible());
    form->tbtnPaneHyojClick();
    EXPECT_FALSE(form->PaneLeftVisible());
    form->tbtnPaneHyojClick();
    EXPECT_TRUE(form->PaneLeftVisible());

    // Dragged past the minimum, a pane snaps shut and comes back at the minimum, where it can be grabbed.
    form->Splitter1().DragBy(-175);
    form->Splitter1Moved();
    EXPECT_EQ(form->PaneLeftWidth(), 10);
    form->Splitter2().DragBy(-500);
    form->Splitter2Moved();
    EXPECT_EQ(form->PaneLeftUpHeight(), 10);
}

TEST_F(MainWindowTest, CloseAsksOnceAndWritesTheSettings) {
    Open();
    form->tbtnHakusiClick();
    Type(2, L"unsaved");
    prompter.answers.push_back(IDNO);
    ::SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"未保存テキストがありますが\r\n保存せずに終了しますか？");
    EXPECT_TRUE(::IsWindow(form->Handle()));
    EXPECT_EQ(::GetFileAttributesW(IniPath().c_str()), INVALID_FILE_ATTRIBUTES);

    form->FontDefaults().size = 14;
    ::MoveWindow(form->Handle(), 60, 70, 800, 500, FALSE);
    prompter.answers.push_back(IDYES);
    const HWND hwnd = form->Handle();
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_FALSE(::IsWindow(hwnd));
    const ui::IniFile ini(IniPath());
    EXPECT_EQ(ini.ReadInteger(L"form", L"left", 0), 60);
    EXPECT_EQ(ini.ReadInteger(L"form", L"top", 0), 70);
    EXPECT_EQ(ini.ReadInteger(L"form", L"width", 0), 800);
    EXPECT_EQ(ini.ReadInteger(L"form", L"height", 0), 500);
    EXPECT_EQ(ini.ReadInteger(L"panel", L"paneLeft", 0), 180);
    EXPECT_EQ(ini.ReadInteger(L"panel", L"paneLeftUp", 0), 200);
    EXPECT_EQ(ini.ReadString(L"Font", L"Name", L""), L"BIZ UDPゴシック");
    EXPECT_EQ(ini.ReadInteger(L"Font", L"Size", 0), 14);
    EXPECT_EQ(ini.ReadString(L"Folder", L"Path", L"absent"), L"");
    const std::string bytes = testing_support::ReadBytes(IniPath());
    EXPECT_NE(bytes.find("Name=BIZ UDP\x83\x53\x83\x56\x83\x62\x83\x4e"), std::string::npos);  // code page 932
}

TEST(MainWindowClose, UnwritableSettingsAreReportedAndTheWindowStillCloses) {
    testing_support::TempDir dir;
    testing_support::ScriptedPrompter prompter;
    const std::wstring ini = dir / L"no_folder\\data.ini";
    app::TForm1 form(app::TForm1Options{ini, {}, false});
    form.Show(SW_SHOWNOACTIVATE);
    const HWND hwnd = form.Handle();
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), ini + L" に書き込めません.");
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(MainWindowTest, RightClicksReachTheWindowWithTheControlThatWasClicked) {
    Open();
    std::vector<HWND> sources;
    ui::Subclass hook;  // stands in for the pop-up menus, which would wait for the user
    hook.Attach(form->Handle(), [&](UINT msg, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_CONTEXTMENU) return std::nullopt;
        sources.push_back(reinterpret_cast<HWND>(wp));
        return 0;
    });
    const HWND editor = Editor(1).Handle();
    ::SendMessageW(editor, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(editor, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    const RECT tab = form->TabRect(0);
    ::SendMessageW(form->PageControl(), WM_RBUTTONUP, 0, MAKELPARAM(tab.left + 2, tab.top + 2));
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0], editor);
    EXPECT_EQ(sources[1], form->PageControl());
}

TEST_F(MainWindowTest, TheMouseDragsTheActiveTabOntoAnother) {
    Open();
    form->tbtnHakusiClick();
    form->tbtnHakusiClick();
    const HWND tabs = form->PageControl();
    const RECT from = form->TabRect(2), to = form->TabRect(0);
    const LPARAM start = MAKELPARAM(from.left + 5, from.top + 5);
    ::SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, start);
    ::SendMessageW(tabs, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.left + 1, from.top + 5));  // within the threshold
    ::SendMessageW(tabs, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.left + 5, to.top + 5));
    ::SendMessageW(tabs, WM_LBUTTONUP, 0, MAKELPARAM(to.left + 5, to.top + 5));
    EXPECT_EQ(form->SlotAtTab(0), 3);
    EXPECT_EQ(form->ActiveTabSlot(), 3);
    // A click without a move is no drag.
    const RECT second = form->TabRect(1);
    ::SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(second.left + 5, second.top + 5));
    ::SendMessageW(tabs, WM_LBUTTONUP, 0, MAKELPARAM(second.left + 5, second.top + 5));
    EXPECT_EQ(form->SlotAtTab(0), 3);
    EXPECT_EQ(form->SlotAtTab(1), 1);
}

TEST_F(MainWindowTest, AToolBarFloatsInItsOwnWindowAndDocksWhenThatCloses) {
    Open();
    const HWND bar = form->ToolBar1();
    form->FloatToolBar(bar, POINT{400, 400});
    ASSERT_TRUE(form->ToolBarFloating(bar));
    const HWND floating = form->FloatingWindowOf(bar);
    EXPECT_NE(floating, ::GetParent(form->ToolBar2()));
    EXPECT_EQ(::SendMessageW(::GetParent(form->ToolBar2()), RB_GETBANDCOUNT, 0, 0), 1);
    EXPECT_TRUE(::GetWindowLongPtrW(floating, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    // Its buttons still work: a click on the new-document button opens a tab.
    RECT r{};
    ::SendMessageW(bar, TB_GETITEMRECT, ::SendMessageW(bar, TB_COMMANDTOINDEX, app::kBtnHakusi, 0),
                   reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(bar, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(form->TabCount(), 2);

    ::SendMessageW(floating, WM_CLOSE, 0, 0);
    testing_support::PumpFor(20);
    EXPECT_FALSE(form->ToolBarFloating(bar));
    EXPECT_FALSE(::IsWindow(floating));
    EXPECT_TRUE(::IsWindow(bar));
    EXPECT_EQ(::GetParent(bar), ::GetParent(form->ToolBar2()));
    EXPECT_EQ(::SendMessageW(::GetParent(bar), RB_GETBANDCOUNT, 0, 0), 2);
    form->SetFindText(L"still here");
    EXPECT_EQ(form->FindText(), L"still here");
}
