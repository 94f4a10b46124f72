// The version and help window: made on the first request, one window however often it is asked for, and its
// read-only text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/help_text.h"
#include "app/vajhel.h"
#include "ui/texts.h"

namespace {

int WindowsCaptioned(const wchar_t* caption) {
    struct Search {
        const wchar_t* caption;
        int count;
    } search{caption, 0};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            wchar_t text[128] = {};
            ::GetWindowTextW(hwnd, text, 128);
            if (std::wstring(text) == s->caption) ++s->count;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

std::wstring MemoText(HWND memo) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(memo)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(memo, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

TEST(HelpWindow, MadeOnFirstRequestAndShownAgainAsTheSameWindow) {
    app::HelpWindow help;
    EXPECT_EQ(help.Form(), nullptr);
    EXPECT_EQ(WindowsCaptioned(txt::kHelpCaption), 0);

    app::TForm2& first = help.Show();
    EXPECT_TRUE(first.IsVisible());
    ::SendMessageW(first.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(first.IsVisible());
    EXPECT_TRUE(::IsWindow(first.Handle()));

    app::TForm2& second = help.Show();
    help.Show();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(help.Form(), &first);
    EXPECT_TRUE(second.IsVisible());
    EXPECT_EQ(WindowsCaptioned(txt::kHelpCaption), 1);
}

TEST(HelpWindow, LayoutAndReadOnlyText) {
    app::TForm2 form;
    const RECT client = ui::ClientRect(form.Handle());
    EXPECT_EQ(client.right, 544);
    EXPECT_EQ(client.bottom, 561);
    const LONG_PTR style = ::GetWindowLongPtrW(form.Handle(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) << "a dialog border";
    RECT r{};
    ::GetWindowRect(form.Handle(), &r);
    EXPECT_NEAR((r.left + r.right) / 2,
                ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN) / 2, 1);

    HWND memo = form.Memo1();
    const LONG_PTR memoStyle = ::GetWindowLongPtrW(memo, GWL_STYLE);
    EXPECT_TRUE(memoStyle & ES_READONLY);
    EXPECT_TRUE(memoStyle & ES_MULTILINE);
    EXPECT_TRUE(memoStyle & WS_HSCROLL);
    EXPECT_TRUE(memoStyle & WS_VSCROLL);
    const RECT memoClient = ui::ClientRect(memo);
    EXPECT_GT(memoClient.right, 500) << "the box fills the window";

    LOGFONTW lf{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(memo, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_STREQ(lf.lfFaceName, txt::kUiFont);
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);

    const std::wstring text = MemoText(memo);
    EXPECT_EQ(text, txt::kHelpText);
    const std::wstring firstLine = text.substr(0, text.find(L"\r\n"));
    EXPECT_NE(firstLine.find(txt::kAppTitle), std::wstring::npos);
    EXPECT_NE(firstLine.find(L"Ver"), std::wstring::npos);

    // The sections, in this order.
    size_t at = 0;
    for (const wchar_t* heading :
         {L"【概要】", L"【配布形態】", L"【動作環境】", L"【インストール・アンインストール】", L"【はじめに】",
          L"【機能】", L"【制限】", L"【謝辞】", L"【連絡先】", L"【更新履歴】"}) {
        const size_t found = text.find(heading, at);
        ASSERT_NE(found, std::wstring::npos) << "missing or out of order";
        at = found;
    }
    for (const wchar_t* fact : {L"100", L"1000万", L"data.ini", L"レジストリ", L"Wine", L"フリーソフトウェア"})
        EXPECT_NE(text.find(fact), std::wstring::npos);

    // Undo takes back many steps, and the help says so.
    EXPECT_NE(text.find(L"　・元に戻す（新しい操作から順に、続けて100回まで戻せます）\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"　・元に戻せるのは新しい操作から100回までです。全置換は元に戻せません。\r\n"),
              std::wstring::npos);
    EXPECT_EQ(text.find(L"1操作だけ"), std::wstring::npos);

    // The folder panel as it now is: sorting, the shell's menu, renaming in place.
    for (const wchar_t* panel : {L"列の見出しをクリックするとその列で並べ替えます", L"シェルのメニュー", L"F2キーで",
                                 L"拡張子のないファイルは一覧から開きません"})
        EXPECT_NE(text.find(panel), std::wstring::npos);

    ::SendMessageW(memo, WM_CHAR, L'x', 0);
    EXPECT_EQ(MemoText(memo), text) << "read-only";
}
