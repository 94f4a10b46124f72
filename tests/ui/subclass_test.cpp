// Hooks on a native control's messages.
#include <windows.h>

#include <gtest/gtest.h>

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
