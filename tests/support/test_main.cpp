// Entry point of every test executable: the process is set up as the program sets itself up.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "ui/owned.h"
#include "ui/rich_edit.h"

int main(int argc, char** argv) {
    ui::OleScope ole;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES |
                                             ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);
    ui::LoadRichEditLibrary();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
