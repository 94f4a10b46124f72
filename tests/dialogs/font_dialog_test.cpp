// The font settings dialog on a real rich edit control: what showing it reads, what the two boxes apply, the
// modified flag and the editor font defaults, the size errors, and the dialog with no document open.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "dialogs/fake_editors.h"
#include "dialogs/myfont.h"
#include "support/test_support.h"
#include "ui/texts.h"

using dialog_tests::FakeEditors;
using dialogs::TForm3;

namespace {

struct FontDialog : ::testing::Test {
    FontDialog() {
        editors.open = false;  // the program makes the dialog before any document exists
        form = std::make_unique<TForm3>(editors);
        editors.open = true;
        editors.Load(L"abc def ghi");
    }
    ~FontDialog() override { form.reset(); }

    dialogs::TFontNameComboBox& names() { return form->FontNameComboBox1(); }
    dialogs::ComboBox& sizes() { return form->ComboBox1(); }
    ui::RichEdit& editor() { return editors.Editor(); }

    // A listed name other than the given ones.
    std::wstring OtherName(const std::wstring& a, const std::wstring& b = L"") {
        for (const auto& e : names().Items())
            if (!dialogs::SameFontName(e.name, a) && !dialogs::SameFontName(e.name, b)) return e.name;
        ADD_FAILURE() << "too few fonts";
        return L"";
    }
    // The user picks an item of a box.
    void PickName(const std::wstring& name) {
        const auto& items = names().Items();
        const auto it = std::find_if(items.begin(), items.end(), [&](const auto& e) { return e.name == name; });
        ASSERT_NE(it, items.end()) << "not listed";
        ::SendMessageW(names().Handle(), CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
        ::SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(names().Id(), CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(names().Handle()));
    }
    void PickSize(int index) {
        ::SendMessageW(sizes().Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(sizes().Handle()), CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(sizes().Handle()));
    }
    // The user types a character at the end of the size box's text.
    void Type(wchar_t c) {
        HWND edit = sizes().EditHandle();
        const LRESULT length = ::GetWindowTextLengthW(edit);
        ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
        ::SendMessageW(edit, WM_CHAR, c, 1);
    }
    int Size(long start, long end) { return editors.SizeAt(start, end); }

    testing_support::ScriptedPrompter prompter;
    FakeEditors editors;
    std::unique_ptr<TForm3> form;
};

}  // namespace

TEST_F(FontDialog, FormLayoutAndBoxes) {
    HWND hwnd = form->Handle();
    wchar_t caption[64] = {};
    ::GetWindowTextW(hwnd, caption, 64);
    EXPECT_STREQ(caption, txt::kFontDialogCaption);
    const RECT client = ui::ClientRect(hwnd);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 29);
    const LONG_PTR ex = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_FALSE(form->IsVisible());

    EXPECT_EQ(names().ItemHeight(), 19);
    EXPECT_EQ(names().FontHeight(), -12);
    EXPECT_EQ(names().CollectFilters(),
              (dialogs::TFontNameFilters{dialogs::fnfDevice, dialogs::fnfVector, dialogs::fnfRaster,
                                         dialogs::fnfTrueType, dialogs::fnfJapanese, dialogs::fnfFixedPitch}));
    const bool uiFontListed = std::any_of(names().Items().begin(), names().Items().end(),
                                          [](const auto& e) { return dialogs::SameFontName(e.name, txt::kUiFont); });
    EXPECT_TRUE(dialogs::SameFontName(names().Value(), uiFontListed ? txt::kUiFont : names().Items().front().name));
    RECT r{};
    ::GetWindowRect(names().Handle(), &r);
    EXPECT_EQ(r.right - r.left, 241);

    ASSERT_EQ(sizes().Count(), 21);
    std::wstring all;
    for (int i = 0; i < sizes().Count(); ++i) all += sizes().Item(i) + L",";
    EXPECT_EQ(all, L"6,8,10,11,12,14,16,18,20,24,28,32,36,40,48,50,60,70,90,100, ,");
    ::GetWindowRect(sizes().Handle(), &r);
    POINT topLeft{r.left, r.top};
    ::ScreenToClient(hwnd, &topLeft);
    EXPECT_EQ(topLeft.x, 248);
    EXPECT_EQ(r.right - r.left, 65);
    // Item height 12: what the box reports and what its list draws with.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetComboBoxInfo(sizes().Handle(), &info));
    EXPECT_EQ(::SendMessageW(sizes().Handle(), CB_GETITEMHEIGHT, 0, 0), 12);
    EXPECT_EQ(::SendMessageW(info.hwndList, LB_GETITEMHEIGHT, 0, 0), 12);

    EXPECT_EQ(form->Hints().TextOf(names().Handle()), txt::kHintFontName);
    EXPECT_EQ(form->Hints().TextOf(sizes().Handle()), txt::kHintFontSize);
}

TEST_F(FontDialog, ShowingSelectsTheEditorSizeOrTen) {
    const struct {
        int points;
        const wchar_t* shown;
    } cases[] = {{9, L"10"}, {60, L"60"}, {100, L"100"}, {11, L"11"}, {80, L"10"}, {6, L"6"}};
    for (const auto& c : cases) {
        editor().SetFont(SHIFTJIS_CHARSET, names().Value(), c.points);
        editors.Load(L"abc");
        const auto defaults = editors.Defaults();
        form->FormShow();
        EXPECT_EQ(sizes().Text(), c.shown) << c.points;
        EXPECT_EQ(sizes().Item(sizes().ItemIndex()), c.shown) << c.points;
        EXPECT_TRUE(prompter.messages.empty()) << "selecting the entry raises no change";
        EXPECT_EQ(editors.Defaults().size, defaults.size);
    }
}

TEST_F(FontDialog, ShowingSelectsTheEditorFontAndGivesItToTheWholeTextWhenTheBoxMoves) {
    const std::wstring name = OtherName(names().Value());
    editor().SetFont(SHIFTJIS_CHARSET, name, 12);
    form->FormShow();
    EXPECT_EQ(names().Value(), name);
    EXPECT_EQ(editor().Selection().cpMin, 0);
    EXPECT_GE(editor().SelLength(), editor().TextLength()) << "nothing was selected: all of it is now";
    EXPECT_EQ(editors.FaceAt(0, 11), name);
    EXPECT_FALSE(editor().Modified());
}

TEST_F(FontDialog, ShowingWithAFontThatIsNotInstalledSelectsTheFirstListedFont) {
    const std::wstring first = names().Items().front().name;
    PickName(OtherName(first));
    editors.Load(L"abc def ghi");
    editor().SetFont(SHIFTJIS_CHARSET, L"No Such Font Anywhere", 12);
    form->FormShow();
    EXPECT_EQ(names().Value(), first);
    EXPECT_EQ(editor().FontName(), first);
    EXPECT_EQ(editors.FaceAt(0, 11), first);
}

TEST_F(FontDialog, ShowingAgainWithTheSameFontChangesNothingInTheDocument) {
    const std::wstring name = OtherName(names().Value());
    editor().SetFont(SHIFTJIS_CHARSET, name, 12);
    form->Show();
    ASSERT_TRUE(form->IsVisible());
    const std::wstring word = OtherName(name);
    editor().Select(4, 7);
    CHARFORMAT2W f = ui::MakeCharFormat(CFM_FACE);
    std::copy_n(word.c_str(), word.size() + 1, f.szFaceName);
    editor().SetSelectionFormat(f);
    editor().Select(0, 0);
    editor().SetModified(false);

    form->Hide();
    form->Show();
    EXPECT_EQ(editors.FaceAt(4, 7), word);
    EXPECT_EQ(editors.FaceAt(0, 3), name);
    EXPECT_EQ(editor().SelLength(), 0);
    EXPECT_FALSE(editor().Modified());
}

TEST_F(FontDialog, NameGoesToTheSelectedWordAndTheEditorFontButNotTheModifiedFlagOrDefaults) {
    for (const bool modified : {false, true}) {
        const std::wstring before = OtherName(names().Value());
        editor().SetFont(SHIFTJIS_CHARSET, before, 12);
        editors.Load(L"abc def ghi");
        editor().SelectAll();
        CHARFORMAT2W f = ui::MakeCharFormat(CFM_FACE);
        std::copy_n(before.c_str(), before.size() + 1, f.szFaceName);
        editor().SetSelectionFormat(f);
        editor().Select(4, 7);
        editor().SetModified(modified);
        const auto defaults = editors.Defaults();

        const std::wstring chosen = OtherName(before, names().Value());
        PickName(chosen);
        EXPECT_EQ(editors.FaceAt(4, 7), chosen);
        EXPECT_EQ(editors.FaceAt(0, 3), before);
        EXPECT_EQ(editors.FaceAt(8, 11), before);
        EXPECT_EQ(editor().FontName(), chosen);
        EXPECT_EQ(editor().Selection().cpMin, 4);
        EXPECT_EQ(editor().Selection().cpMax, 7);
        EXPECT_EQ(editor().Modified(), modified);
        EXPECT_EQ(editors.Defaults().name, defaults.name) << "only a size change reaches the defaults";
    }
}

TEST_F(FontDialog, SizeWithNothingSelectedSizesTheWholeTextAndUpdatesTheDefaults) {
    const std::wstring name = OtherName(names().Value());
    editor().SetFont(SHIFTJIS_CHARSET, name, 11);
    editors.Load(L"abc def ghi");
    PickSize(5);  // "14"
    EXPECT_EQ(Size(0, 11), 14);
    EXPECT_EQ(editor().Selection().cpMin, 0);
    EXPECT_GE(editor().SelLength(), editor().TextLength());
    EXPECT_EQ(editor().FontSize(), 14);
    EXPECT_FALSE(editor().Modified());
    EXPECT_EQ(editors.Defaults().size, 14);
    EXPECT_EQ(editors.Defaults().name, name);
    EXPECT_EQ(editors.Defaults().charset, SHIFTJIS_CHARSET);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(FontDialog, NameThenSizeStoresBothInTheDefaults) {
    const std::wstring original = editors.Defaults().name;
    const std::wstring chosen = OtherName(names().Value(), original);
    PickName(chosen);
    EXPECT_EQ(editors.Defaults().name, original);
    PickSize(9);  // "24"
    EXPECT_EQ(editors.Defaults().name, chosen);
    EXPECT_EQ(editors.Defaults().size, 24);
}

TEST_F(FontDialog, BlankEntryReportsTheConversionErrorAndChangesNothing) {
    editor().SetFont(SHIFTJIS_CHARSET, names().Value(), 11);
    editors.Load(L"abc def ghi");
    editor().SelectAll();
    CHARFORMAT2W f = ui::MakeCharFormat(CFM_SIZE);
    f.yHeight = 11 * 20;
    editor().SetSelectionFormat(f);
    editor().Select(0, 0);
    editor().SetModified(false);
    const auto defaults = editors.Defaults();

    PickSize(20);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, L"' ' は整数ではありません.");
    EXPECT_EQ(prompter.messages[0].caption, txt::kAppTitle);
    EXPECT_EQ(prompter.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(Size(0, 11), 11);
    EXPECT_EQ(editor().FontSize(), 11);
    EXPECT_FALSE(editor().Modified());
    EXPECT_EQ(editors.Defaults().size, defaults.size);
    EXPECT_EQ(editors.Defaults().name, defaults.name);
    EXPECT_EQ(editor().Selection().cpMin, 0);
    EXPECT_GE(editor().SelLength(), editor().TextLength()) << "the widened selection stays";
}

TEST_F(FontDialog, TypingOneThenTwoAppliesOneThenTwelve) {
    sizes().SetText(L"");
    Type(L'1');
    EXPECT_EQ(Size(0, 11), 1);
    EXPECT_EQ(editors.Defaults().size, 1);
    Type(L'2');
    EXPECT_EQ(sizes().Text(), L"12");
    EXPECT_EQ(Size(0, 11), 12);
    EXPECT_EQ(editor().FontSize(), 12);
    EXPECT_EQ(editors.Defaults().size, 12);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(FontDialog, SizesTheControlCannotShowAreRefusedWithAMessage) {
    sizes().SetText(L"163");
    Type(L'8');
    EXPECT_EQ(Size(0, 11), 1638) << "the largest size the control takes";
    Type(L'0');
    EXPECT_EQ(Size(0, 11), 1638);
    EXPECT_EQ(editor().FontSize(), 1638);
    EXPECT_EQ(editors.Defaults().size, 1638);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].text.find(L"16380"), std::wstring::npos);

    sizes().SetText(L"");
    Type(L'0');
    Type(L'-');
    sizes().SetText(L"-");
    Type(L'3');
    EXPECT_EQ(Size(0, 11), 1638);
    EXPECT_EQ(editors.Defaults().size, 1638);
    EXPECT_EQ(prompter.messages.size(), 4u) << "0, '0-' and -3";
    EXPECT_NE(prompter.messages[3].text.find(L"'-3'"), std::wstring::npos);
}

TEST_F(FontDialog, WithNoDocumentNothingIsTouched) {
    editors.open = false;
    const std::wstring shownName = names().Value();
    sizes().SetItemIndex(4);
    editor().SetFont(SHIFTJIS_CHARSET, OtherName(shownName), 60);
    form->FormShow();
    EXPECT_EQ(names().Value(), shownName);
    EXPECT_EQ(sizes().Text(), L"12");

    PickName(OtherName(shownName));
    PickSize(20);
    Type(L'x');
    EXPECT_TRUE(prompter.messages.empty()) << "no document: no conversion and no error";
    EXPECT_EQ(editor().FontSize(), 60);
    EXPECT_EQ(editors.Defaults().size, dialogs::EditorFontDefaults{}.size);

    form->Show();
    EXPECT_TRUE(form->IsVisible());
    form->Hide();
}

TEST_F(FontDialog, ShowCentresAndClosingOnlyHides) {
    editor().SetFont(SHIFTJIS_CHARSET, names().Value(), 16);
    form->Show();
    ASSERT_TRUE(form->IsVisible());
    EXPECT_EQ(sizes().Text(), L"16") << "showing runs FormShow";
    RECT r{};
    ::GetWindowRect(form->Handle(), &r);
    EXPECT_NEAR((r.left + r.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    editor().SetFont(SHIFTJIS_CHARSET, names().Value(), 20);
    form->Show();
    EXPECT_EQ(sizes().Text(), L"16") << "already shown: only brought to the front";
    HWND focus = ::GetFocus();
    EXPECT_TRUE(focus == form->Handle() || ::IsChild(form->Handle(), focus));

    ::SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(form->IsVisible());
    EXPECT_TRUE(::IsWindow(form->Handle()));
    form->Show();
    EXPECT_EQ(sizes().Text(), L"20");
    form->Hide();
}
