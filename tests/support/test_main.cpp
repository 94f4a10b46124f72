// Entry point of every test executable: the process is set up as the program sets itself up.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "shell/ShView.h"
#include "ui/rich_edit.h"

int main(int argc, char** argv) {
    shell::ShellModule shellModule;  // OLE, the shell allocator and the desktop folder, as the program has them
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_USEREX_CLASSES |
                                             ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);
    ui::LoadRichEditLibrary();
    // Without a display Wine creates no top-level window and every window test would fail on its own; say it once.
    if (HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr)) {
        ::DestroyWindow(probe);
    } else {
        std::fprintf(stderr, "no top-level window can be created (error %lu): the tests need a display\n",
                     ::GetLastError());
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
