// Hooks on a native control's messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/host_window.h"
#include "ui/window.h"

TEST(Subclass, TwoHooksOnOneWindowBothHearItsMessagesAndLeaveOneByOne) {
    const HWND hwnd = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hwnd);
    int first = 0, second = 0;
    ui::Subclass own, passing;
    own.Attach(hwnd, [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_USER + 7) ++first;
        return std::nullopt;
    });
    passing.Attach(hwnd, [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_USER + 7) ++second;
        return std::nullopt;
    });
    ::SendMessageW(hwnd, WM_USER + 7, 0, 0);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    passing.Detach();
    ::SendMessageW(hwnd, WM_USER + 7, 0, 0);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
    ::DestroyWindow(hwnd);
}

TEST(Subclass, TheLastHookHearsFirstPassesOnThroughTheOthersAndTheControlIsWholeAgainOnceTheyLeave) {
    const HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(edit);
    const LONG_PTR ownProcedure = ::GetWindowLongPtrW(edit, GWLP_WNDPROC);
    std::string heard;
    ui::Subclass lower, upper;
    lower.Attach(edit, [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_SETTEXT) heard += "lower ";
        if (msg == WM_USER + 1) return 11;
        return std::nullopt;
    });
    upper.Attach(edit, [&](UINT msg, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
        if (msg == WM_SETTEXT) {
            heard += "upper ";
            const LRESULT done = upper.CallOriginal(msg, wp, lp);  // the lower hook and the control, now
            heard += "after ";
            return done;
        }
        if (msg == WM_USER + 2) return 22;  // swallowed: the lower hook never hears it
        return std::nullopt;
    });
    ::SetWindowTextW(edit, L"one");
    EXPECT_EQ(heard, "upper lower after ");
    EXPECT_EQ(::SendMessageW(edit, WM_USER + 1, 0, 0), 11);
    EXPECT_EQ(::SendMessageW(edit, WM_USER + 2, 0, 0), 22);
    wchar_t text[16]{};
    ::GetWindowTextW(edit, text, 16);
    EXPECT_STREQ(text, L"one");

    // The lower one leaves first: the upper one still passes on to the control.
    lower.Detach();
    heard.clear();
    ::SetWindowTextW(edit, L"two");
    EXPECT_EQ(heard, "upper after ");
    ::GetWindowTextW(edit, text, 16);
    EXPECT_STREQ(text, L"two");
    upper.Detach();
    EXPECT_EQ(::GetWindowLongPtrW(edit, GWLP_WNDPROC), ownProcedure);
    EXPECT_EQ(::GetWindowLongPtrW(edit, GWLP_USERDATA), 0);

    // A hook that leaves while it handles a message lets the message through; hooks that outlive their window
    // leave quietly.
    ui::Subclass leaving, outliving;
    outliving.Attach(edit, [](UINT, WPARAM, LPARAM) { return std::optional<LRESULT>{}; });
    leaving.Attach(edit, [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_SETTEXT) leaving.Detach();
        return std::nullopt;
    });
    ::SetWindowTextW(edit, L"three");
    ::GetWindowTextW(edit, text, 16);
    EXPECT_STREQ(text, L"three");
    ::DestroyWindow(edit);
    outliving.Detach();
}

TEST(Subclass, HooksAWindowOfOursWhoseUserDataIsTaken) {
    testing_support::HostWindow host(100, 100);
    int heard = 0;
    {
        ui::Subclass hook;
        hook.Attach(host.Handle(), [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_USER + 3) ++heard;
            return std::nullopt;
        });
        ::SendMessageW(host.Handle(), WM_USER + 3, 0, 0);
    }
    ::SendMessageW(host.Handle(), WM_USER + 3, 0, 0);
    EXPECT_EQ(heard, 1);
    RECT r{};
    EXPECT_TRUE(::GetClientRect(host.Handle(), &r));
    ::SetWindowTextW(host.Handle(), L"still ours");
    wchar_t text[16]{};
    ::GetWindowTextW(host.Handle(), text, 16);
    EXPECT_STREQ(text, L"still ours");
}
