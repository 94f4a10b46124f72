// The built program started as a process of its own and checked from outside, as a user's tools see it.
#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/program_process.h"
#include "support/test_support.h"
#include "ui/owned.h"
#include "ui/ini.h"
#include "ui/text.h"

namespace {

BOOL CALLBACK FindEditor(HWND hwnd, LPARAM data) {
    wchar_t cls[64]{};
    ::GetClassNameW(hwnd, cls, 64);
    if (::lstrcmpiW(cls, L"RICHEDIT50W") == 0 && ::IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(data) = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024]{};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

}  // namespace

TEST(Program, OpensTheCommandLineFileAndWritesItsSettingsAtClose) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    testing_support::TempDir dir;
    const std::wstring document = dir / L"メモ 帳.txt";
    testing_support::WriteBytes(document, "\x82\xa0\x82\xa2\x82\xa4 first line\r\nsecond");  // あいう in Shift-JIS

    // Unquoted: the blank splits the path in two arguments, which the program joins again.
    const testing_support::StartedProgram program(dir.Path().wstring(), document);
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow(15000);
    ASSERT_NE(window, nullptr) << "no main window";
    // The panel shows the folder of the command-line file, and the caption names it.
    EXPECT_EQ(WindowText(window), L"保存フォルダ=" + dir.Path().wstring());

    HWND editor = nullptr;
    for (int i = 0; i < 100 && !editor; ++i) {
        ::EnumChildWindows(window, FindEditor, reinterpret_cast<LPARAM>(&editor));
        if (!editor) ::Sleep(50);
    }
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(WindowText(editor), L"あいう first line\r\nsecond");

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(program.Process(), 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(program.Process(), &code);
    EXPECT_EQ(code, 0u);

    const ui::IniFile ini(dir / L"data.ini");
    EXPECT_EQ(ini.ReadInteger(L"form", L"left", -1), 50);
    EXPECT_EQ(ini.ReadInteger(L"form", L"top", -1), 50);
    EXPECT_EQ(ini.ReadInteger(L"form", L"width", -1), 850);
    EXPECT_EQ(ini.ReadInteger(L"form", L"height", -1), 550);
    EXPECT_EQ(ini.ReadInteger(L"panel", L"paneLeft", -1), 180);
    EXPECT_EQ(ini.ReadInteger(L"panel", L"paneLeftUp", -1), 200);
    EXPECT_EQ(ini.ReadString(L"Font", L"Name", L""), L"BIZ UDPゴシック");
    EXPECT_EQ(ini.ReadInteger(L"Font", L"Size", -1), 11);
    EXPECT_EQ(ini.ReadString(L"Folder", L"Path", L"absent"), dir.Path().wstring());
}
