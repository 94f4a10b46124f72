// Find, clear and replace-all through a real rich edit control, with the messages answered by a script.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/finder.h"
#include "support/test_support.h"
#include "ui/rich_edit.h"
#include "ui/texts.h"

namespace {

constexpr UINT kInfo = MB_ICONINFORMATION | MB_OK;
constexpr UINT kQuestion = MB_ICONWARNING | MB_YESNO;

std::wstring Found(int n) {
    return std::to_wstring(n) + txt::kFoundCount;
}
std::wstring Replaced(int n) {
    return std::to_wstring(n) + txt::kReplacedCount;
}

std::function<std::wstring()> Fixed(const std::wstring& text) {
    return [text] { return text; };
}

class FinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent = ::CreateWindowExW(0, L"STATIC", L"find", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        ASSERT_NE(editor.Create(parent, 1, RECT{0, 0, 780, 560}), nullptr);
        editor.SetFont(SHIFTJIS_CHARSET, L"MS UI Gothic", 10);
    }
    void TearDown() override { ::DestroyWindow(parent); }

    // Loads text as a plain-text file is loaded: streamed in, line breaks as CR LF, not modified.
    void Load(const std::wstring& text) {
        ASSERT_TRUE(editor.StreamInText(text));
        editor.SetModified(false);
    }

    // One letter per character position: R for red and bold only, . for black and plain, ? for anything else.
    // A surrogate pair is looked at as a whole and gets two letters.
    std::wstring Marks() {
        const std::wstring text = editor.Text();
        editor.BeginUpdate();
        std::wstring marks;
        for (size_t i = 0; i < text.size();) {
            const size_t n = i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF ? 2 : 1;
            editor.SelectWithoutScroll(static_cast<long>(i), static_cast<long>(i + n));
            marks.append(n, Mark(editor.SelectionFormat()));
            i += n;
        }
        editor.EndUpdate();
        return marks;
    }

    static wchar_t Mark(const CHARFORMAT2W& f) {
        const DWORD all = CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
        if ((f.dwMask & all) != all || (f.dwEffects & CFE_AUTOCOLOR)) return L'?';
        const DWORD style = f.dwEffects & (CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT);
        if (f.crTextColor == RGB(255, 0, 0) && style == CFE_BOLD) return L'R';
        if (f.crTextColor == RGB(0, 0, 0) && style == 0) return L'.';
        return L'?';
    }

    // The marks expected when the given ranges are red and the rest black.
    static std::wstring Expect(size_t length, const std::vector<std::pair<long, long>>& red) {
        std::wstring marks(length, L'.');
        for (const auto& [from, to] : red) marks.replace(from, to - from, to - from, L'R');
        return marks;
    }

    void MakeAllBlack() {
        editor.SelectAll();
        editor.SetSelectionFormat(app::ClearedFormat());
        editor.Select(0, 0);
        editor.SetModified(false);
    }

    testing_support::ScriptedPrompter prompter;
    HWND parent = nullptr;  // owns the editor's window
    ui::RichEdit editor;
};

}  // namespace

TEST_F(FinderTest, MarksEveryCaseOfTheTextRedAndBoldAndReportsTheCount) {
    Load(L"Abc abc ABC");
    MakeAllBlack();
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"abc", true));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, Found(3));
    EXPECT_EQ(prompter.messages[0].caption, txt::kAppTitle);
    EXPECT_EQ(prompter.messages[0].flags, kInfo);
    EXPECT_FALSE(editor.Modified());
    // The last hit stays selected.
    EXPECT_EQ(editor.Selection().cpMin, 8);
    EXPECT_EQ(editor.Selection().cpMax, 11);
    EXPECT_EQ(Marks(), L"RRR.RRR.RRR");
}

TEST_F(FinderTest, HitsDoNotOverlapNorSplitCharacters) {
    Load(L"aaaa");
    MakeAllBlack();
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"aa", true));
    EXPECT_EQ(prompter.LastText(), Found(2));
    EXPECT_EQ(editor.Selection().cpMin, 2);
    EXPECT_EQ(Marks(), L"RRRR");

    // Halves of two neighbouring characters never make a hit: nothing marked, nothing shown.
    Load(L"アイ😀😀");
    MakeAllBlack();
    prompter.messages.clear();
    EXPECT_FALSE(app::faindtxt(parent, &editor, L"\xDE00\xD83D", true));
    EXPECT_FALSE(app::faindtxt(parent, &editor, L"A", true));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(Marks(), L"......");
}

TEST_F(FinderTest, ClearingMakesHitsBlackAndPlainWhateverTheyWereBefore) {
    Load(L"abc xyz abc");
    MakeAllBlack();
    editor.Select(0, 3);
    CHARFORMAT2W italic = ui::MakeCharFormat(CFM_ITALIC | CFM_UNDERLINE | CFM_COLOR);
    italic.dwEffects = CFE_ITALIC | CFE_UNDERLINE;
    italic.crTextColor = RGB(0, 0, 255);
    editor.SetSelectionFormat(italic);
    editor.SetModified(true);

    EXPECT_TRUE(app::faindtxt(parent, &editor, L"ABC", true));
    EXPECT_EQ(Marks(), L"RRR.....RRR");
    EXPECT_TRUE(editor.Modified());

    prompter.messages.clear();
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"abc", false));
    EXPECT_TRUE(prompter.messages.empty());  // clearing shows nothing
    EXPECT_EQ(editor.Selection().cpMin, 8);
    EXPECT_TRUE(editor.Modified());
    EXPECT_EQ(Marks(), L"...........");  // the italic, underline and blue do not come back
}

TEST_F(FinderTest, LeftPressMarksRightPressClearsMiddlePressDoesNothing) {
    Load(L"find me, Find me");
    MakeAllBlack();
    app::KensakPress(parent, &editor, app::kButtonMiddle, L"find");
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(Marks(), L"................");

    app::KensakPress(parent, &editor, app::kButtonLeft, L"find");
    EXPECT_EQ(prompter.LastText(), Found(2));
    EXPECT_EQ(Marks(), L"RRRR.....RRRR...");

    app::KensakPress(parent, &editor, app::kButtonMiddle, L"find");
    EXPECT_EQ(Marks(), L"RRRR.....RRRR...");

    app::KensakPress(parent, &editor, app::kButtonRight, L"find");
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(Marks(), L"................");
    EXPECT_FALSE(editor.Modified());
}

TEST_F(FinderTest, ReplaceAllConfirmsOnThreeLinesThenReplacesBlackAndPlain) {
    Load(L"abc abc");
    MakeAllBlack();
    app::TikanClick(parent, &editor, Fixed(L"abc"), Fixed(L"x"));
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[0].text, Found(2));
    EXPECT_EQ(prompter.messages[1].text, L"『abc』を\r\n『x』に\r\n全置換します。ではいいですか？");
    EXPECT_EQ(prompter.messages[1].flags, kQuestion);
    EXPECT_EQ(prompter.messages[1].caption, txt::kAppTitle);
    EXPECT_EQ(prompter.messages[2].text, Replaced(2));
    EXPECT_EQ(prompter.messages[2].flags, kInfo);
    EXPECT_EQ(editor.Text(), L"x x");
    EXPECT_EQ(Marks(), L"...");  // the hits were red when replaced; the new text is not
    EXPECT_TRUE(editor.Modified());
}

TEST_F(FinderTest, ReplacementTakesTheClearedFormatWhateverSurroundsIt) {
    Load(L"[abc][ABC]");
    MakeAllBlack();
    editor.SelectAll();
    editor.SetSelectionFormat(app::MarkedFormat());
    EXPECT_TRUE(app::tikantxt(parent, &editor, L"abc", Fixed(L"xy")));
    EXPECT_EQ(editor.Text(), L"[xy][xy]");
    EXPECT_EQ(Marks(), L"R..RR..R");
}

TEST_F(FinderTest, EmptyReplacementDeletesEveryHit) {
    Load(L"abc-ABC-abc");
    app::TikanClick(parent, &editor, Fixed(L"abc"), Fixed(L""));
    EXPECT_EQ(editor.Text(), L"--");
    EXPECT_EQ(prompter.messages[1].text, L"『abc』を\r\n『』に\r\n全置換します。ではいいですか？");
    EXPECT_EQ(prompter.LastText(), Replaced(3));
    EXPECT_TRUE(editor.Modified());
}

TEST_F(FinderTest, AnsweringNoLeavesEveryHitMarked) {
    Load(L"abc abc");
    MakeAllBlack();
    prompter.answers = {IDOK, IDNO};
    app::TikanClick(parent, &editor, Fixed(L"abc"), Fixed(L"x"));
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(editor.Text(), L"abc abc");
    EXPECT_EQ(Marks(), L"RRR.RRR");
    EXPECT_FALSE(editor.Modified());
}

TEST_F(FinderTest, ReplacementIsReadAgainForEachHitFromTheLastToTheFirst) {
    Load(L"a.a.a");
    int calls = 0;
    EXPECT_TRUE(app::tikantxt(parent, &editor, L"A", [&] { return std::to_wstring(++calls); }));
    EXPECT_EQ(editor.Text(), L"3.2.1");
    EXPECT_EQ(calls, 3);
}

TEST_F(FinderTest, HitsOnSeveralLinesSelectExactlyTheHit) {
    // Loaded with CR LF: the editor keeps one position per line break, and the hits count in its positions.
    Load(L"一行目のabcです\r\nＡＢＣとAbc、abc\r\n\r\n三行目ABC");
    MakeAllBlack();
    const std::wstring text = editor.Text();
    ASSERT_EQ(text, L"一行目のabcです\rＡＢＣとAbc、abc\r\r三行目ABC");
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"abc", true));
    EXPECT_EQ(prompter.LastText(), Found(4));
    EXPECT_EQ(Marks(), Expect(text.size(), {{4, 7}, {14, 17}, {18, 21}, {26, 29}}));
    EXPECT_FALSE(editor.Modified());

    EXPECT_TRUE(app::tikantxt(parent, &editor, L"abc", Fixed(L"置換")));
    EXPECT_EQ(editor.Text(), L"一行目の置換です\rＡＢＣと置換、置換\r\r三行目置換");
    EXPECT_EQ(prompter.LastText(), Replaced(4));
}

TEST_F(FinderTest, HitsAfterCharactersOutsideTheBasicPlane) {
    Load(L"😀abc\U00020000x\r\n🍣ABC😀");
    MakeAllBlack();
    const std::wstring text = editor.Text();
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"abc", true));
    EXPECT_EQ(Marks(), Expect(text.size(), {{2, 5}, {11, 14}}));
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"😀", true));
    EXPECT_EQ(prompter.LastText(), Found(2));
    EXPECT_EQ(Marks(), Expect(text.size(), {{0, 5}, {11, 16}}));

    EXPECT_TRUE(app::tikantxt(parent, &editor, L"abc", Fixed(L"い")));
    EXPECT_EQ(editor.Text(), L"😀い\U00020000x\r🍣い😀");
}

TEST_F(FinderTest, ThousandsOfHitsAreAllCountedMarkedAndReplaced) {
    std::wstring text;
    for (int i = 0; i < 2500; ++i) text += i % 50 == 49 ? L"Ab 本\r\n" : L"ab 本";
    Load(text);
    MakeAllBlack();
    const std::wstring loaded = editor.Text();
    EXPECT_TRUE(app::faindtxt(parent, &editor, L"ab", true));
    EXPECT_EQ(prompter.LastText(), Found(2500));
    const std::wstring marks = Marks();
    EXPECT_EQ(std::count(marks.begin(), marks.end(), L'R'), 5000);
    for (size_t i = 0; i < loaded.size(); ++i)
        ASSERT_EQ(marks[i], loaded[i] == L'a' || loaded[i] == L'b' || loaded[i] == L'A' ? L'R' : L'.') << i;
    EXPECT_FALSE(editor.Modified());

    EXPECT_TRUE(app::tikantxt(parent, &editor, L"ab", Fixed(L"xyz")));
    EXPECT_EQ(prompter.LastText(), Replaced(2500));
    std::wstring expected;
    for (int i = 0; i < 2500; ++i) expected += i % 50 == 49 ? L"xyz 本\r" : L"xyz 本";
    EXPECT_EQ(editor.Text(), expected);
}

TEST_F(FinderTest, WithoutAnEditorNothingHappens) {
    EXPECT_FALSE(app::faindtxt(parent, nullptr, L"abc", true));
    EXPECT_FALSE(app::faindtxt(parent, nullptr, L"abc", false));
    EXPECT_FALSE(app::tikantxt(parent, nullptr, L"abc", Fixed(L"x")));
    app::KensakPress(parent, nullptr, app::kButtonLeft, L"abc");
    app::TikanClick(parent, nullptr, Fixed(L"abc"), Fixed(L"x"));
    app::TikanClick(parent, nullptr, Fixed(L""), Fixed(L"x"));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(FinderTest, EmptySearchTextFindsSilentlyAndReplaceAsksForOne) {
    Load(L"abc");
    MakeAllBlack();
    EXPECT_FALSE(app::faindtxt(parent, &editor, L"", true));
    app::KensakPress(parent, &editor, app::kButtonLeft, L"");
    EXPECT_TRUE(prompter.messages.empty());

    app::TikanClick(parent, &editor, Fixed(L""), Fixed(L"x"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, txt::kEnterSearchText);
    EXPECT_EQ(prompter.messages[0].flags, kInfo);
    EXPECT_EQ(editor.Text(), L"abc");
    EXPECT_EQ(Marks(), L"...");
    EXPECT_FALSE(editor.Modified());
}

TEST_F(FinderTest, NoHitShowsNothing) {
    Load(L"abc");
    EXPECT_FALSE(app::faindtxt(parent, &editor, L"abd", true));
    EXPECT_FALSE(app::tikantxt(parent, &editor, L"abd", Fixed(L"x")));
    app::TikanClick(parent, &editor, Fixed(L"abd"), Fixed(L"x"));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(editor.Text(), L"abc");
    EXPECT_FALSE(editor.Modified());
}

TEST_F(FinderTest, ReplaceThatFindsNothingTheSecondTimeReportsFailure) {
    Load(L"abc abc");
    int asked = 0;
    // The search text as read at each step: present for the marking, gone by the replacing.
    app::TikanClick(
        parent, &editor, [&] { return ++asked == 1 ? std::wstring(L"abc") : std::wstring(L"zzz"); }, Fixed(L"x"));
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[2].text, txt::kReplaceFailed);
    EXPECT_EQ(prompter.messages[2].flags, kInfo);
    EXPECT_EQ(editor.Text(), L"abc abc");
}
