// The program's windows tied together: tool buttons reach the dialogs and the find commands.
#include <windows.h>

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "app/application.h"
#include "support/test_support.h"
#include "ui/texts.h"

namespace {

struct ApplicationTest : ::testing::Test {
    testing_support::TempDir dir;
    testing_support::ScriptedPrompter prompter;
    app::Application application{app::TForm1Options{dir / L"data.ini", {}, false}};
    app::TForm1& form = application.Form1();

    void SetUp() override { form.Show(SW_SHOWNOACTIVATE); }

    void Click(int id) { ::SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    // The centre of a tool button, in the tool bar's client coordinates.
    static POINT CentreOf(HWND bar, int id) {
        RECT r{};
        const auto index = ::SendMessageW(bar, TB_COMMANDTOINDEX, id, 0);
        ::SendMessageW(bar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    // A press of a mouse button on a tool button, as the user does it.
    void Press(HWND bar, int id, UINT down, UINT up) {
        const POINT p = CentreOf(bar, id);
        const LPARAM at = MAKELPARAM(p.x, p.y);
        ::SendMessageW(bar, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : 0, at);
        ::SendMessageW(bar, up, 0, at);
    }

    // A click of the left button through the system's input queue, which delivers it to the window that has
    // captured the mouse, or else to the window under the pointer.
    static void ClickOnScreen(HWND bar, int id) {
        POINT p = CentreOf(bar, id);
        ::ClientToScreen(bar, &p);
        ::SetCursorPos(p.x, p.y);
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_MOUSE;
        input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ::SendInput(2, input, sizeof(INPUT));
    }
};

}  // namespace

TEST_F(ApplicationTest, FontColourAndHelpButtonsShowOneWindowEach) {
    EXPECT_FALSE(application.Form3().IsVisible());
    Click(app::kBtnFont);
    EXPECT_TRUE(application.Form3().IsVisible());
    Click(app::kBtnFont);
    EXPECT_TRUE(application.Form3().IsVisible());
    Click(app::kBtnColor);
    EXPECT_TRUE(application.Form4().IsVisible());
    EXPECT_EQ(application.Help().Form(), nullptr);
    Click(app::kBtnHelp2);
    app::TForm2* help = application.Help().Form();
    ASSERT_NE(help, nullptr);
    Click(app::kBtnHelp2);
    EXPECT_EQ(application.Help().Form(), help);
    EXPECT_TRUE(help->IsVisible());
    application.Form3().Hide();
    application.Form4().Hide();
    help->Hide();
}

TEST_F(ApplicationTest, FindButtonMarksOnLeftPressAndClearsOnRightPress) {
    ui::RichEdit& editor = *form.CurrentEditor();
    editor.SetText(L"Abc abc ABC");
    editor.SetModified(false);
    form.SetFindText(L"abc");
    Press(form.ToolBar1(), app::kBtnKensak, WM_LBUTTONDOWN, WM_LBUTTONUP);
    ui::PumpMessages();  // the find runs once the press has been handled
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"3個の文字列が見つかりました。");
    editor.Select(4, 7);
    CHARFORMAT2W f = editor.SelectionFormat();
    EXPECT_EQ(f.crTextColor, RGB(255, 0, 0));
    EXPECT_TRUE(f.dwEffects & CFE_BOLD);
    EXPECT_FALSE(editor.Modified());

    Press(form.ToolBar1(), app::kBtnKensak, WM_RBUTTONDOWN, WM_RBUTTONUP);
    ui::PumpMessages();
    EXPECT_EQ(prompter.messages.size(), 1u);  // clearing says nothing
    editor.Select(4, 7);
    f = editor.SelectionFormat();
    EXPECT_EQ(f.crTextColor, RGB(0, 0, 0));
    EXPECT_FALSE(f.dwEffects & CFE_BOLD);
}

TEST_F(ApplicationTest, ReplaceButtonConfirmsThenReplacesEverything) {
    ui::RichEdit& editor = *form.CurrentEditor();
    editor.SetText(L"abc abc");
    form.SetFindText(L"abc");
    form.SetTikanText(L"x");
    prompter.answers = {IDOK, IDYES, IDOK};
    Click(app::kBtnTikan);
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[1].text, L"『abc』を\r\n『x』に\r\n全置換します。ではいいですか？");
    EXPECT_EQ(prompter.messages[2].text, L"2個の文字列を置換しました。");
    EXPECT_EQ(editor.Text(), L"x x");
    EXPECT_TRUE(editor.Modified());
}

TEST_F(ApplicationTest, EachCommandLeavesTheModifiedMarkAsItsTableSays) {
    ui::RichEdit& editor = *form.CurrentEditor();
    struct Step {
        const char* name;
        std::function<void()> run;
        bool modifies;
    };
    const std::vector<Step> steps = {
        {"bold", [&] { form.tbtnBoldClick(); }, true},
        {"italic", [&] { form.tbtnItalicClick(); }, true},
        {"underline", [&] { form.tbtnUnderClick(); }, true},
        {"strike-out", [&] { form.tbtnStrikeClick(); }, true},
        {"colour", [&] { application.Form4().BitBtn1Click(); }, true},
        {"copy", [&] { form.tbtnCopyClick(); }, false},
        {"cut", [&] { form.tbtnCutClick(); }, true},
        {"paste", [&] { form.tbtnPasteClick(); }, true},
        {"delete", [&] { form.popSakjoClick(); }, true},
        {"undo", [&] { form.tbtnUndoClick(); }, true},
        {"word wrap", [&] { form.tbtnWRapOnOffClick(); }, false},
        {"select all", [&] { form.tbtnAllSelectClick(); }, false},
    };
    for (const Step& step : steps) {
        editor.SelectAll();
        editor.ReplaceSelection(L"some text to work on", true);
        editor.Select(0, 4);
        form.tbtnCopyClick();  // something on the clipboard for the paste
        editor.Select(5, 9);
        editor.SetModified(false);
        step.run();
        EXPECT_EQ(editor.Modified(), step.modifies) << step.name;
    }
}

TEST_F(ApplicationTest, UndoTakesBackAHundredStepsNewestFirstButNoReplaceAll) {
    ui::RichEdit& editor = *form.CurrentEditor();
    const auto typeAtEnd = [&](const std::wstring& text) {
        const long end = editor.TextLength();
        editor.Select(end, end);
        editor.ReplaceSelection(text, true);
    };
    for (const wchar_t* word : {L"one ", L"two ", L"three "}) typeAtEnd(word);
    Press(form.ToolBar2(), app::kBtnUndo, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(editor.Text(), L"one two ");
    ::SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(app::kCmdPopModos, 0), 0);  // 元に戻す(&U) of the menu
    EXPECT_EQ(editor.Text(), L"one ");
    Press(form.ToolBar2(), app::kBtnUndo, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(editor.Text(), L"");

    for (int i = 0; i <= 100; ++i) typeAtEnd(L"x");
    for (int i = 0; i < 101; ++i) Press(form.ToolBar2(), app::kBtnUndo, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(editor.Text(), L"x") << "a hundred steps come back, the oldest one stays";

    editor.SetText(L"");
    typeAtEnd(L"abc abc");
    form.SetFindText(L"abc");
    form.SetTikanText(L"x");
    prompter.answers = {IDOK, IDYES, IDOK};
    Press(form.ToolBar1(), app::kBtnTikan, WM_LBUTTONDOWN, WM_LBUTTONUP);
    ASSERT_EQ(editor.Text(), L"x x");
    Press(form.ToolBar2(), app::kBtnUndo, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(editor.Text(), L"x x") << "replace-all cannot be undone";
}

TEST_F(ApplicationTest, AfterAFindTheButtonIsReleasedAndTheNextClickWorks) {
    ui::RichEdit& editor = *form.CurrentEditor();
    editor.SetText(L"abc abc");
    form.SetFindText(L"abc");
    HWND bar = form.ToolBar1();
    const POINT p = CentreOf(bar, app::kBtnKensak);
    const LPARAM at = MAKELPARAM(p.x, p.y);
    // The user lets go of the button while the count is shown, and the box's loop hands the release on.
    prompter.whileShown = [&](const auto&) { ::SendMessageW(bar, WM_LBUTTONUP, 0, at); };
    ::SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ui::PumpMessages();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"2個の文字列が見つかりました。");
    EXPECT_FALSE(::SendMessageW(bar, TB_ISBUTTONPRESSED, app::kBtnKensak, 0)) << "the find button is released";
    EXPECT_NE(::GetCapture(), bar) << "the tool bar no longer holds the mouse";

    ClickOnScreen(form.ToolBar2(), app::kBtnFont);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return application.Form3().IsVisible(); }, 3000))
        << "the next click, on the font button, is not lost";
    application.Form3().Hide();
}
