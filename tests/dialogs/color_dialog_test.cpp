// The colour picking dialog: the picker's children and states, sampling the real screen under the pointer, the
// space key, the random pattern, and the button that colours the current editor's selection.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "dialogs/fake_editors.h"
#include "dialogs/myColor.h"
#include "support/test_support.h"
#include "ui/owned.h"
#include "ui/texts.h"

using dialog_tests::FakeEditors;
using dialogs::TForm4;
using dialogs::TMyColorPic;
using testing_support::PumpUntil;

namespace {

// A topmost window filled with one colour, for the picker to find under the pointer.
class ColourBlock {
public:
    explicit ColourBlock(COLORREF colour) : brush_(::CreateSolidBrush(colour)) {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        if (!::GetClassInfoW(instance, L"PilkaTestColourBlock", &wc)) {
            wc.lpfnWndProc = Proc;
            wc.hInstance = instance;
            wc.lpszClassName = L"PilkaTestColourBlock";
            ::RegisterClassW(&wc);
        }
        hwnd_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"PilkaTestColourBlock", L"", WS_POPUP | WS_VISIBLE,
                                  200, 200, 120, 80, nullptr, nullptr, instance, nullptr);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(brush_.get()));
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        ::UpdateWindow(hwnd_);
        testing_support::PumpFor(50);
    }
    ~ColourBlock() { ::DestroyWindow(hwnd_); }
    POINT Centre() const { return POINT{260, 240}; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_ERASEBKGND) {
            RECT r{};
            ::GetClientRect(hwnd, &r);
            ::FillRect(reinterpret_cast<HDC>(wp), &r,
                       reinterpret_cast<HBRUSH>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
            return 1;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    ui::UniqueBrush brush_;
    HWND hwnd_ = nullptr;
};

struct ColorDialog : ::testing::Test {
    ColorDialog() { form = std::make_unique<TForm4>(editors); }
    ~ColorDialog() override { form.reset(); }
    TMyColorPic& picker() { return form->MyColorPic1(); }

    // Picks the colour under the pointer at p by letting the sampling timer run.
    bool PickAt(POINT p, COLORREF expected) {
        ::SetCursorPos(p.x, p.y);
        if (!picker().Picking()) picker().TogglePicking();
        return PumpUntil([&] { return picker().PickedColor() == expected; }, 5000);
    }
    POINT OffsetIn(HWND parent, HWND child) {
        RECT r{};
        ::GetWindowRect(child, &r);
        POINT p{r.left, r.top};
        ::ScreenToClient(parent, &p);
        return p;
    }

    testing_support::ScriptedPrompter prompter;
    FakeEditors editors;
    std::unique_ptr<TForm4> form;
};

}  // namespace

TEST_F(ColorDialog, FormAndChildren) {
    HWND hwnd = form->Handle();
    wchar_t caption[64] = {};
    ::GetWindowTextW(hwnd, caption, 64);
    EXPECT_STREQ(caption, txt::kColorDialogCaption);
    const RECT client = ui::ClientRect(hwnd);
    EXPECT_EQ(client.right, 335);
    EXPECT_EQ(client.bottom, 206);
    EXPECT_TRUE(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(form->IsVisible());

    const POINT pickerAt = OffsetIn(hwnd, picker().Handle());
    EXPECT_EQ(pickerAt.x, 8);
    EXPECT_EQ(pickerAt.y, 8);
    EXPECT_EQ(ui::WidthOf(picker().Handle()), 320);
    EXPECT_EQ(ui::HeightOf(picker().Handle()), 165);
    EXPECT_EQ(form->BitBtn1().Caption(), txt::kApplyColor);
    EXPECT_EQ(form->BitBtn1().GlyphCount(), 2);
    EXPECT_EQ(OffsetIn(hwnd, form->BitBtn1().Handle()).y, 176);
    EXPECT_EQ(::SendMessageW(hwnd, DM_GETDEFID, 0, 0), MAKELRESULT(form->BitBtn1().Id(), DC_HASDEFID));

    HWND p = picker().Handle();
    EXPECT_EQ(picker().PickingButton().Caption(), L"色取得");
    EXPECT_EQ(OffsetIn(p, picker().PickingButton().Handle()).x, 8);
    EXPECT_EQ(OffsetIn(p, picker().PickingButton().Handle()).y, 72);
    EXPECT_EQ(picker().PatternButton().Caption(), L"");
    EXPECT_EQ(picker().PatternButton().GlyphCount(), 2);
    EXPECT_EQ(OffsetIn(p, picker().PatternButton().Handle()).x, 160);
    EXPECT_EQ(picker().DecideButton().Caption(), L"OK");
    EXPECT_EQ(picker().DecideButton().GlyphCount(), 2);
    EXPECT_EQ(OffsetIn(p, picker().DecideButton().Handle()).y, 104);
    EXPECT_EQ(picker().PickedPanel().Text(), L"取得色");
    EXPECT_EQ(picker().DecidedPanel().Text(), L"決定色");
    EXPECT_EQ(OffsetIn(p, picker().StatusPanel().Handle()).y, 135);
    EXPECT_EQ(ui::WidthOf(picker().StatusPanel().Handle()), 305);
    EXPECT_EQ(picker().ArrowLabel().Text(), L"->");
    EXPECT_EQ(picker().InstructionLabel().Text(), txt::kPickInstructions);
    EXPECT_EQ(picker().Hints().TextOf(picker().PatternButton().Handle()), L"カラーパターン変更");
    EXPECT_EQ(picker().Hints().TextOf(picker().DecideButton().Handle()), L"色を決定する");
    EXPECT_EQ(picker().SamplingTimer().Interval(), 100u);
}

TEST_F(ColorDialog, StartsWhiteAndNotPicking) {
    EXPECT_EQ(picker().keteiIro(), RGB(255, 255, 255));
    EXPECT_EQ(picker().PickedColor(), RGB(255, 255, 255));
    EXPECT_EQ(picker().PickedPanel().Color(), RGB(255, 255, 255));
    EXPECT_EQ(picker().DecidedPanel().Color(), RGB(255, 255, 255));
    EXPECT_FALSE(picker().Picking());
    EXPECT_FALSE(picker().SamplingTimer().Enabled());
    EXPECT_EQ(picker().StatusPanel().Text(), L"");
}

TEST_F(ColorDialog, PickingButtonTogglesTimerAndStatus) {
    ::SendMessageW(picker().PickingButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(picker().Picking());
    EXPECT_TRUE(picker().SamplingTimer().Enabled());
    EXPECT_EQ(picker().StatusPanel().Color(), RGB(255, 255, 0));
    EXPECT_EQ(picker().StatusPanel().Text(), L"色取得中：止める時は[スペースキー]を押してください。");
    ::SendMessageW(picker().PickingButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_FALSE(picker().Picking());
    EXPECT_FALSE(picker().SamplingTimer().Enabled());
    EXPECT_EQ(picker().StatusPanel().Color(), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(picker().StatusPanel().Text(), L"");
}

TEST_F(ColorDialog, SamplesTheScreenPixelUnderThePointerAnywhere) {
    if (testing_support::NoScreen()) GTEST_SKIP() << "no screen to sample";
    const COLORREF colour = RGB(12, 200, 77);
    ColourBlock block(colour);
    ASSERT_TRUE(PickAt(block.Centre(), colour));
    EXPECT_EQ(picker().PickedPanel().Color(), colour);
    EXPECT_EQ(picker().keteiIro(), RGB(255, 255, 255)) << "not decided yet";

    ::SendMessageW(picker().DecideButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(picker().keteiIro(), colour);
    EXPECT_EQ(picker().DecidedPanel().Color(), colour);
}

TEST_F(ColorDialog, NoSamplingWhilePickingIsOff) {
    const COLORREF colour = RGB(90, 10, 160);
    ColourBlock block(colour);
    ::SetCursorPos(block.Centre().x, block.Centre().y);
    picker().SamplePixel();
    EXPECT_EQ(picker().PickedColor(), RGB(255, 255, 255));
}

TEST_F(ColorDialog, PointerOverAPatternSquareThenSpaceKeepsThatSquaresColour) {
    if (testing_support::NoScreen()) GTEST_SKIP() << "no screen to sample";
    form->Show();
    ASSERT_TRUE(form->IsVisible());
    ::UpdateWindow(form->Handle());
    ::RedrawWindow(picker().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    testing_support::PumpFor(50);
    const COLORREF square = picker().PatternColor(3, 5);
    ASSERT_TRUE(PickAt(picker().PatternCellCentreOnScreen(3, 5), square));

    HWND button = picker().PickingButton().Handle();
    ::SetFocus(button);
    ::SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_FALSE(picker().Picking()) << "space stops picking";
    ::SendMessageW(button, WM_CHAR, L' ', 0x00390001);
    ::SendMessageW(button, WM_KEYUP, VK_SPACE, 0xC0390001);
    testing_support::PumpFor(30);
    EXPECT_FALSE(picker().Picking()) << "the button was not pressed by the same key";
    EXPECT_EQ(picker().PickedColor(), square);

    ::SendMessageW(picker().DecideButton().Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(picker().DecidedPanel().Color(), square);
    form->Hide();
}

TEST_F(ColorDialog, SpaceOnTheFocusedPickingButtonStartsAndStopsPicking) {
    form->Show();
    HWND button = picker().PickingButton().Handle();
    ::SetFocus(button);
    ::SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::SendMessageW(button, WM_KEYUP, VK_SPACE, 0xC0390001);
    testing_support::PumpFor(30);
    EXPECT_TRUE(picker().Picking()) << "with picking off the space key presses the button";

    ::SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x40390001);  // held: the key repeats
    ::SendMessageW(button, WM_KEYUP, VK_SPACE, 0xC0390001);
    testing_support::PumpFor(30);
    EXPECT_FALSE(picker().Picking());
    EXPECT_EQ(::SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0) << "the button was left alone";
    form->Hide();
}

TEST_F(ColorDialog, SpaceOnThePatternButtonWhilePickingOnlyStopsPicking) {
    form->Show();
    picker().TogglePicking();
    const COLORREF before = picker().PatternColor(0, 0);
    const COLORREF before2 = picker().PatternColor(11, 11);
    HWND button = picker().PatternButton().Handle();
    ::SetFocus(button);
    ::SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::SendMessageW(button, WM_KEYUP, VK_SPACE, 0xC0390001);
    testing_support::PumpFor(30);
    EXPECT_FALSE(picker().Picking());
    EXPECT_EQ(picker().PatternColor(0, 0), before);
    EXPECT_EQ(picker().PatternColor(11, 11), before2);
    form->Hide();
}

TEST_F(ColorDialog, PatternNeverReachesWhiteAndChangesOnTheButton) {
    std::set<COLORREF> seen;
    for (int round = 0; round < 50; ++round) {
        if (round > 0) ::SendMessageW(picker().PatternButton().Handle(), BM_CLICK, 0, 0);
        for (int row = 0; row < TMyColorPic::kPatternColumns; ++row) {
            for (int column = 0; column < TMyColorPic::kPatternColumns; ++column) {
                const COLORREF c = picker().PatternColor(column, row);
                ASSERT_LT(GetRValue(c), 255);
                ASSERT_LT(GetGValue(c), 255);
                ASSERT_LT(GetBValue(c), 255);
                seen.insert(c);
            }
        }
    }
    EXPECT_GT(seen.size(), 1000u) << "a new pattern on every click";
    EXPECT_EQ(picker().PatternColor(12, 0), CLR_INVALID);
}

TEST_F(ColorDialog, PickerKeepsItsSizeAtTheNextPaint) {
    form->Show();
    picker().SetBounds(8, 8, 100, 40);
    EXPECT_EQ(ui::WidthOf(picker().Handle()), 100);
    ::RedrawWindow(picker().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(ui::WidthOf(picker().Handle()), 320);
    EXPECT_EQ(ui::HeightOf(picker().Handle()), 165);
    form->Hide();
}

TEST_F(ColorDialog, ClosingWhilePickingOnlyHidesAndPickingGoesOn) {
    if (testing_support::NoScreen()) GTEST_SKIP() << "no screen to sample";
    form->Show();
    picker().TogglePicking();
    ::SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(form->IsVisible());
    EXPECT_TRUE(::IsWindow(form->Handle()));
    EXPECT_TRUE(picker().Picking());
    EXPECT_TRUE(picker().SamplingTimer().Enabled());

    const COLORREF colour = RGB(33, 66, 99);
    ColourBlock block(colour);
    ::SetCursorPos(block.Centre().x, block.Centre().y);
    EXPECT_TRUE(PumpUntil([&] { return picker().PickedColor() == colour; }, 5000));

    form->Show();
    EXPECT_TRUE(picker().Picking());
    picker().TogglePicking();
    form->Hide();
}

TEST_F(ColorDialog, ApplyColoursOnlyTheSelectionWhiteBeforeAnythingIsDecided) {
    if (testing_support::NoScreen()) GTEST_SKIP() << "no screen to sample";
    editors.Load(L"abcdef");
    editors.Editor().Select(0, 3);
    ::SendMessageW(form->BitBtn1().Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(editors.ColorAt(0, 3), RGB(255, 255, 255));
    EXPECT_NE(editors.ColorAt(3, 6), RGB(255, 255, 255));
    EXPECT_EQ(editors.Editor().Selection().cpMin, 0);
    EXPECT_EQ(editors.Editor().Selection().cpMax, 3);

    const COLORREF colour = RGB(200, 30, 40);
    {
        ColourBlock block(colour);
        ::SetCursorPos(block.Centre().x, block.Centre().y);
        picker().TogglePicking();
        picker().SamplePixel();
        picker().TogglePicking();
    }
    ASSERT_EQ(picker().PickedColor(), colour);
    picker().DecideColor();
    editors.Editor().Select(2, 5);
    form->BitBtn1Click();
    EXPECT_EQ(editors.ColorAt(0, 2), RGB(255, 255, 255));
    EXPECT_EQ(editors.ColorAt(2, 5), colour);
    EXPECT_NE(editors.ColorAt(5, 6), colour);
}

TEST_F(ColorDialog, ApplyWithAnEmptySelectionLeavesTheTextAlone) {
    editors.Load(L"abcdef");
    const COLORREF before = editors.ColorAt(0, 6);
    editors.Editor().Select(3, 3);
    form->BitBtn1Click();
    EXPECT_EQ(editors.ColorAt(0, 6), before);
    EXPECT_EQ(editors.Editor().SelLength(), 0);
}

TEST_F(ColorDialog, ApplyWithNoDocumentDoesNothing) {
    editors.Load(L"abcdef");
    editors.Editor().Select(0, 6);
    const COLORREF before = editors.ColorAt(0, 6);
    editors.open = false;
    form->BitBtn1Click();
    editors.open = true;
    EXPECT_EQ(editors.ColorAt(0, 6), before);
    EXPECT_TRUE(prompter.messages.empty());
}
