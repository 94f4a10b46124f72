// The built program started as a process of its own and checked from outside, as a user's tools see it.
#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/documents_on_disk.h"
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

// The editor on show in the main window, once there is one.
HWND WaitForEditor(HWND window) {
    HWND editor = nullptr;
    testing_support::WaitFor(
        [&] {
            ::EnumChildWindows(window, FindEditor, reinterpret_cast<LPARAM>(&editor));
            return editor != nullptr;
        },
        5000);
    return editor;
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

    HWND editor = WaitForEditor(window);
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

// Another program rewrites the open file while the user works in another window: nothing happens while the program
// is in the background, and coming back to it shows the file as it is now.
TEST(Program, ShowsAFileChangedElsewhereWhenTheUserComesBack) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    testing_support::TempDir dir;
    const std::wstring document = dir / L"synced.txt";
    testing_support::WriteBytes(document, "as opened");
    const testing_support::StartedProgram program(dir.Path().wstring(), L"\"" + document + L"\"");
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow(15000);
    ASSERT_NE(window, nullptr) << "no main window";
    HWND editor = WaitForEditor(window);
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(testing_support::WaitFor([&] { return WindowText(editor) == L"as opened"; }, 5000));

    HWND elsewhere = ::CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200,
                                       nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(elsewhere);
    ASSERT_EQ(::GetForegroundWindow(), elsewhere);
    testing_support::WriteBytes(document, "written by another program");
    testing_support::PumpFor(app::DocumentsOnDisk::kLookMs + 500);  // longer than between looks while it is active
    EXPECT_EQ(WindowText(editor), L"as opened");

    ::SetForegroundWindow(window);
    EXPECT_TRUE(testing_support::WaitFor([&] { return WindowText(editor) == L"written by another program"; }, 5000));
    EXPECT_EQ(::SendMessageW(editor, EM_GETMODIFY, 0, 0), 0) << "read again, not changed by the user";
    ::DestroyWindow(elsewhere);
}
