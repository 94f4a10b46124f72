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

    // A press of a mouse button on a tool button, as the user does it.
    void Press(HWND bar, int id, UINT down, UINT up) {
        RECT r{};
        const auto index = ::SendMessageW(bar, TB_COMMANDTOINDEX, id, 0);
        ::SendMessageW(bar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ::SendMessageW(bar, down, 0, at);
        ::SendMessageW(bar, up, 0, at);
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
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"3個の文字列が見つかりました。");
    editor.Select(4, 7);
    CHARFORMAT2W f = editor.SelectionFormat();
    EXPECT_EQ(f.crTextColor, RGB(255, 0, 0));
    EXPECT_TRUE(f.dwEffects & CFE_BOLD);
    EXPECT_FALSE(editor.Modified());

    Press(form.ToolBar1(), app::kBtnKensak, WM_RBUTTONDOWN, WM_RBUTTONUP);
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
