// Screen scaling: the main window, the font dialog and the help window are laid out for the DPI of their monitor
// when they are made, and again when WM_DPICHANGED brings another; the colour dialog keeps its pixel sizes.
// This executable runs twice: in the tests' Wine prefix (96 DPI) and in a copy whose LogPixels is 192.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/application.h"
#include "app/folder_find_pane.h"
#include "support/test_support.h"

namespace {

// The DPI the run is meant to have, from the test's environment; 0 when it does not say.
UINT ExpectedDpi() {
    wchar_t value[16]{};
    return ::GetEnvironmentVariableW(L"PILKA_EXPECT_DPI", value, 16) ? static_cast<UINT>(_wtoi(value)) : 0;
}

UINT OtherDpi(UINT dpi) {
    return dpi == 96 ? 192 : 96;
}

int FontHeightOf(HFONT font) {
    LOGFONTW lf{};
    ::GetObjectW(font, sizeof lf, &lf);
    return lf.lfHeight;
}
int FontHeightOf(HWND control) {
    return FontHeightOf(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
}

SIZE WindowSize(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

POINT CentreOf(HWND bar, int id) {
    RECT r{};
    ::SendMessageW(bar, TB_GETITEMRECT, static_cast<WPARAM>(::SendMessageW(bar, TB_COMMANDTOINDEX, id, 0)),
                   reinterpret_cast<LPARAM>(&r));
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

SIZE ClientSize(HWND hwnd) {
    const RECT r = ui::ClientRect(hwnd);
    return SIZE{r.right, r.bottom};
}

// What the system sends when a window moves to a monitor with another DPI: the new DPI, and a rectangle at the
// same place with the size scaled.
RECT ChangeDpi(HWND hwnd, UINT from, UINT to) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    RECT suggested{r.left + 10, r.top + 10,
                   r.left + 10 + ::MulDiv(r.right - r.left, static_cast<int>(to), static_cast<int>(from)),
                   r.top + 10 + ::MulDiv(r.bottom - r.top, static_cast<int>(to), static_cast<int>(from))};
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    return suggested;
}

struct Scaling : ::testing::Test {
    testing_support::TempDir dir;
    testing_support::ScriptedPrompter prompter;
    app::Application application{app::TForm1Options{dir / L"data.ini", {}, false}};
    app::TForm1& form = application.Form1();
    const UINT dpi = ui::DpiOf(form.Handle());

    void SetUp() override { form.Show(SW_SHOWNOACTIVATE); }

    // Every part of the main window at the given DPI (sizes of the design are given at 96 DPI).
    void ExpectMainWindowAt(UINT at) {
        SCOPED_TRACE(at);
        const ui::Scale s(at);
        EXPECT_EQ(form.Scaling().Dpi(), at);
        for (HWND control : {form.StatusBar(), form.FindBox(), form.PageControl(), form.cbFolRireki(),
                             form.ShellTreeView1().Handle(), form.ShellListView1().Handle(), form.FindPane().List()})
            EXPECT_EQ(FontHeightOf(control), s(-12));
        EXPECT_EQ(form.ShellTreeView1().Indent(), s(19));
        for (HWND bar : {form.ToolBar1(), form.ToolBar2()}) {
            int cx = 0, cy = 0;
            ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(::SendMessageW(bar, TB_GETIMAGELIST, 0, 0)), &cx, &cy);
            EXPECT_EQ(cx, s(16));
            EXPECT_EQ(cy, s(16));
            const auto size = ::SendMessageW(bar, TB_GETBUTTONSIZE, 0, 0);
            EXPECT_EQ(LOWORD(size), s(23));
            EXPECT_EQ(HIWORD(size), s(22));
        }
        EXPECT_EQ(WindowSize(form.FindBox()).cx, s(120));
        int parts[3]{};
        ::SendMessageW(form.StatusBar(), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(parts));
        EXPECT_EQ(parts[0], s(100));
        EXPECT_EQ(parts[1], s(100) + s(300));
        const RECT tab = form.TabRect(0);
        EXPECT_EQ(tab.right - tab.left, s(100));
        EXPECT_EQ(WindowSize(form.Splitter1().Handle()).cx, s(6));
        EXPECT_EQ(WindowSize(form.Splitter2().Handle()).cy, s(6));
        EXPECT_EQ(form.Splitter1().MinSize, s(10));
        EXPECT_EQ(form.SplitterFind().MinSize, s(10));
        EXPECT_EQ(ListView_GetColumnWidth(form.FindPane().List(), 0), s(200));
        EXPECT_EQ(WindowSize(form.Panel1()).cy, s(20));
        // The editors' point sizes are drawn at the system's DPI; the zoom makes up the rest.
        for (int slot = 1; slot <= app::kSlotCount; ++slot) {
            if (!form.SlotAt(slot).editor) continue;
            int numerator = 0, denominator = 0;
            ::SendMessageW(form.SlotAt(slot).editor->Handle(), EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator),
                           reinterpret_cast<LPARAM>(&denominator));
            if (at == ::GetDpiForSystem()) {
                EXPECT_EQ(numerator, denominator) << "no zoom";
            } else {
                EXPECT_EQ(static_cast<UINT>(numerator) * ::GetDpiForSystem(), static_cast<UINT>(denominator) * at);
            }
        }
    }

    void ExpectFontDialogAt(UINT at) {
        SCOPED_TRACE(at);
        const ui::Scale s(at);
        dialogs::TForm3& f = application.Form3();
        EXPECT_EQ(ClientSize(f.Handle()).cx, s(320));
        EXPECT_EQ(ClientSize(f.Handle()).cy, s(29));
        EXPECT_EQ(FontHeightOf(f.Font()), s(-12));
        dialogs::TFontNameComboBox& names = f.FontNameComboBox1();
        EXPECT_EQ(names.FontHeight(), s(-12));
        EXPECT_EQ(names.ItemHeight(), s(19));
        EXPECT_EQ(names.Scaling().Dpi(), at) << "its icons";
        EXPECT_EQ(WindowSize(names.Handle()).cx, s(241));
        HWND sizes = f.ComboBox1().Handle();
        EXPECT_EQ(FontHeightOf(sizes), s(-12));
        EXPECT_EQ(::SendMessageW(sizes, CB_GETITEMHEIGHT, 0, 0), s(12));
        RECT r{};
        ::GetWindowRect(sizes, &r);
        POINT topLeft{r.left, r.top};
        ::ScreenToClient(f.Handle(), &topLeft);
        EXPECT_EQ(topLeft.x, s(248));
        EXPECT_EQ(r.right - r.left, s(65));
    }

    void ExpectHelpWindowAt(app::TForm2& help, UINT at) {
        SCOPED_TRACE(at);
        const ui::Scale s(at);
        EXPECT_EQ(ClientSize(help.Handle()).cx, s(544));
        EXPECT_EQ(ClientSize(help.Handle()).cy, s(561));
        EXPECT_EQ(FontHeightOf(help.Memo1()), s(-13));
        EXPECT_EQ(WindowSize(help.Memo1()).cx, s(544)) << "the text box fills the window";
        EXPECT_EQ(WindowSize(help.Memo1()).cy, s(561));
    }
};

}  // namespace

TEST_F(Scaling, RunsAtTheDpiItWasStartedFor) {
    const UINT expected = ExpectedDpi();
    if (expected == 0) GTEST_SKIP() << "the run does not say which DPI it is for";
    EXPECT_EQ(dpi, expected) << "the prefix's LogPixels";
}

TEST_F(Scaling, MainWindowIsMadeForItsMonitorAndFollowsAChange) {
    const ui::Scale s(dpi);
    ExpectMainWindowAt(dpi);
    // Without data.ini: the design's size, at the screen's scaling.
    EXPECT_EQ(WindowSize(form.Handle()).cx, s(850));
    EXPECT_EQ(WindowSize(form.Handle()).cy, std::min(s(550), ::GetSystemMetrics(SM_CYMAXTRACK)));
    EXPECT_EQ(form.PaneLeftWidth(), s(180));
    EXPECT_EQ(form.PaneLeftUpHeight(), s(200));
    EXPECT_EQ(form.FindPaneHeight(), s(160));

    const UINT other = OtherDpi(dpi);
    ::MoveWindow(form.Handle(), 20, 20, s(700), s(450), TRUE);  // fits the test's screen at either DPI
    const RECT suggested = ChangeDpi(form.Handle(), dpi, other);
    ExpectMainWindowAt(other);
    RECT now{};
    ::GetWindowRect(form.Handle(), &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested)) << "the window takes the suggested place and size";
    EXPECT_EQ(form.PaneLeftWidth(), ui::Scale(other)(180));
    EXPECT_EQ(form.PaneLeftUpHeight(), ui::Scale(other)(200));
    EXPECT_EQ(form.FindPaneHeight(), ui::Scale(other)(160));
    // A tab made after the change (新規白紙作成) is zoomed as well.
    const POINT p = CentreOf(form.ToolBar1(), app::kBtnHakusi);
    ::SendMessageW(form.ToolBar1(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    ::SendMessageW(form.ToolBar1(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    ASSERT_EQ(form.TabCount(), 2);
    ExpectMainWindowAt(other);

    ChangeDpi(form.Handle(), other, dpi);
    ExpectMainWindowAt(dpi);
    EXPECT_EQ(form.PaneLeftWidth(), s(180));
}

TEST_F(Scaling, StatusBarShowsTheSizeInPointsAtAnyScaling) {
    ui::RichEdit& editor = *form.CurrentEditor();
    editor.SetText(L"eleven point text");
    editor.SelectAll();
    CHARFORMAT2W f = ui::MakeCharFormat(CFM_SIZE | CFM_FACE);
    f.yHeight = 11 * 20;
    wcscpy_s(f.szFaceName, L"Arial");
    editor.SetSelectionFormat(f);
    form.Timer1Timer();
    EXPECT_EQ(form.StatusText(1), L"Arial、サイズ=11");
    ChangeDpi(form.Handle(), dpi, OtherDpi(dpi));
    form.Timer1Timer();
    EXPECT_EQ(form.StatusText(1), L"Arial、サイズ=11");
}

TEST_F(Scaling, AFloatingToolBarIsRefittedToItsButtons) {
    HWND bar = form.ToolBar2();
    form.FloatToolBar(bar, POINT{400, 300});
    ASSERT_TRUE(form.ToolBarFloating(bar));
    SIZE before{};
    ::SendMessageW(bar, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&before));
    const UINT other = OtherDpi(dpi);
    ChangeDpi(form.Handle(), dpi, other);
    SIZE after{};
    ::SendMessageW(bar, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&after));
    EXPECT_EQ(after.cy, ::MulDiv(before.cy, static_cast<int>(other), static_cast<int>(dpi)));
    const SIZE window = ClientSize(form.FloatingWindowOf(bar));
    EXPECT_GE(window.cx, after.cx);
    EXPECT_GE(window.cy, after.cy);
    EXPECT_LE(window.cy, after.cy + ui::Scale(other)(4)) << "no more than the margins";
    ::SendMessageW(form.FloatingWindowOf(bar), WM_CLOSE, 0, 0);
}

TEST_F(Scaling, FontDialogIsMadeForItsMonitorAndFollowsAChange) {
    dialogs::TForm3& f = application.Form3();
    ExpectFontDialogAt(dpi);
    const UINT other = OtherDpi(dpi);
    ChangeDpi(f.Handle(), dpi, other);
    ExpectFontDialogAt(other);
    ChangeDpi(f.Handle(), other, dpi);
    ExpectFontDialogAt(dpi);
}

TEST_F(Scaling, HelpWindowIsMadeForItsMonitorAndFollowsAChange) {
    app::TForm2& help = application.Help().Show();
    ExpectHelpWindowAt(help, dpi);
    const UINT other = OtherDpi(dpi);
    ChangeDpi(help.Handle(), dpi, other);
    ExpectHelpWindowAt(help, other);
    ChangeDpi(help.Handle(), other, dpi);
    ExpectHelpWindowAt(help, dpi);
    help.Hide();
}

TEST_F(Scaling, ColourDialogKeepsItsPixelSizes) {
    dialogs::TForm4& f = application.Form4();
    EXPECT_EQ(ClientSize(f.Handle()).cx, 335);
    EXPECT_EQ(ClientSize(f.Handle()).cy, 206);
    EXPECT_EQ(WindowSize(f.BitBtn1().Handle()).cx, 241);
    EXPECT_EQ(FontHeightOf(f.BitBtn1().Handle()), -12);
}
