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

// Waits for another process: true once the condition holds, false when the time runs out.
template <class Pred>
bool WaitFor(Pred pred, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        if (pred()) return true;
        ::Sleep(50);
    }
    return pred();
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

// Memory in another process, for the messages of its controls that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size)
        : process_(process), address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBuffer() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    void* Address() const { return address_; }
    void Write(const void* data, size_t size, size_t offset = 0) const {
        ::WriteProcessMemory(process_, static_cast<BYTE*>(address_) + offset, data, size, nullptr);
    }
    void Read(void* data, size_t size, size_t offset = 0) const {
        ::ReadProcessMemory(process_, static_cast<BYTE*>(address_) + offset, data, size, nullptr);
    }

private:
    HANDLE process_;
    void* address_;
};

// The program started from a copy of its own in a folder (so that data.ini is written there), with a command line
// of arguments after the program's name; a second copy running beside the first needs another name. Whatever fails,
// the program does not outlive this object.
class StartedProgram {
public:
    StartedProgram(const std::wstring& folder, const std::wstring& arguments,
                   const std::wstring& exeName = L"pilka2.exe") {
        const std::wstring exe = ProgramPath();
        const std::wstring copy = folder + L"\\" + exeName;
        if (exe.empty() || !::CopyFileW(exe.c_str(), copy.c_str(), FALSE)) return;
        std::wstring commandLine = L"\"" + copy + L"\" " + arguments;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                              &si, &pi))
            return;
        ::CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        id_ = pi.dwProcessId;
    }
    ~StartedProgram() {
        if (!process_) return;
        if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_, 99);
        ::CloseHandle(process_);
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool Started() const noexcept { return process_ != nullptr; }
    HANDLE Process() const noexcept { return process_; }
    DWORD Id() const noexcept { return id_; }
    // The shown main window, waited for up to the given time; null when none came.
    HWND WaitForMainWindow(DWORD milliseconds) const {
        const ULONGLONG end = ::GetTickCount64() + milliseconds;
        for (;;) {
            if (HWND window = ShownMainWindowOf(id_)) return window;
            if (!process_ || ::GetTickCount64() > end) return nullptr;
            ::Sleep(20);
        }
    }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace testing_support
