// The folder panel of the running program, seen and driven from outside: the caption names the folder of the
// command-line file, a file made there appears in the list, and a real double-click on it opens it in a new tab.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "support/program_process.h"
#include "support/test_support.h"
#include "ui/owned.h"
#include "ui/text.h"

namespace {

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024]{};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

HWND FindChild(HWND parent, const wchar_t* className, bool visibleOnly) {
    struct Search {
        const wchar_t* cls;
        bool visible;
        HWND found;
    } search{className, visibleOnly, nullptr};
    ::EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t cls[64]{};
            ::GetClassNameW(hwnd, cls, 64);
            if (::lstrcmpiW(cls, s->cls) != 0 || (s->visible && !::IsWindowVisible(hwnd))) return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

using testing_support::RemoteBuffer;
using testing_support::WaitFor;

int FindRow(HANDLE process, HWND list, const std::wstring& caption) {
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    RemoteBuffer remote(process, sizeof(LVITEMW) + 1024 * sizeof(wchar_t));
    for (int i = 0; i < count; ++i) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = reinterpret_cast<wchar_t*>(static_cast<BYTE*>(remote.Address()) + sizeof(LVITEMW));
        item.cchTextMax = 1024;
        remote.Write(&item, sizeof item);
        const auto length =
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.Address()));
        std::wstring text(static_cast<size_t>(length), L'\0');
        remote.Read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW));
        if (text == caption) return i;
    }
    return -1;
}

POINT RowCentreOnScreen(HANDLE process, HWND list, int row) {
    RemoteBuffer remote(process, sizeof(RECT));
    RECT r{LVIR_LABEL, 0, 0, 0};
    remote.Write(&r, sizeof r);
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(&r, sizeof r);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(list, &p);
    return p;
}

void DoubleClickAt(POINT p) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN) - 1, height = ::GetSystemMetrics(SM_CYSCREEN) - 1;
    INPUT inputs[5]{};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dx = p.x * 65535 / width;
    inputs[0].mi.dy = p.y * 65535 / height;
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    const DWORD flags[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 4; ++i) {
        inputs[i + 1].type = INPUT_MOUSE;
        inputs[i + 1].mi.dwFlags = flags[i];
    }
    ::SendInput(5, inputs, sizeof(INPUT));
}

}  // namespace

TEST(ProgramPanel, ShowsTheFolderPicksUpANewFileAndOpensItOnADoubleClick) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    testing_support::TempDir dir;
    const std::wstring folder = dir / L"書類";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring document = folder + L"\\start.txt";
    testing_support::WriteBytes(document, "start");

    const testing_support::StartedProgram program(dir.Path().wstring(), L"\"" + document + L"\"");
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow(15000);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return WindowText(window) == L"保存フォルダ=" + folder; }, 5000))
        << ui::Utf8FromWide(WindowText(window));

    HWND list = FindChild(window, WC_LISTVIEWW, false);
    ASSERT_NE(list, nullptr);
    testing_support::WriteBytes(folder + L"\\outside.txt", "made outside");
    int row = -1;
    ASSERT_TRUE(WaitFor([&] { return (row = FindRow(program.Process(), list, L"outside.txt")) >= 0; }, 10000))
        << "the new file never showed in the list";

    ::SetForegroundWindow(window);
    DoubleClickAt(RowCentreOnScreen(program.Process(), list, row));
    HWND tabs = FindChild(window, WC_TABCONTROLW, false);
    ASSERT_NE(tabs, nullptr);
    EXPECT_TRUE(WaitFor([&] { return ::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0) == 2; }, 5000));
    HWND editor = nullptr;
    EXPECT_TRUE(WaitFor(
        [&] {
            editor = FindChild(window, L"RICHEDIT50W", true);
            return editor && WindowText(editor) == L"made outside";
        },
        5000));

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(program.Process(), 20000), WAIT_OBJECT_0);
}
