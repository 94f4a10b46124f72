// The built program seen from outside: where it is, and its main window once it is shown. Used by the process
// test and the start-up benchmark.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace testing_support {

// The program's path: PILKA_EXE, as a Unix path under Wine's Z: drive or as a Windows path; empty when unset.
inline std::wstring ProgramPath() {
    wchar_t buf[4096]{};
    if (!::GetEnvironmentVariableW(L"PILKA_EXE", buf, 4096)) return {};
    std::wstring path = buf;
    if (!path.empty() && path[0] == L'/') {
        std::replace(path.begin(), path.end(), L'/', L'\\');
        path = L"Z:" + path;
    }
    return path;
}

// The visible main window of the given process, or null while there is none.
inline HWND ShownMainWindowOf(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search{process, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            wchar_t cls[64]{};
            ::GetClassNameW(hwnd, cls, 64);
            if (pid != s->process || ::lstrcmpW(cls, L"TForm1") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace testing_support
