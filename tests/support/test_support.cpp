#include "support/test_support.h"

#include <fstream>
#include <random>

#include "ui/window.h"

namespace testing_support {

int ScriptedPrompter::Message(HWND, const std::wstring& text, const std::wstring& caption, UINT flags) {
    messages.push_back({text, caption, flags});
    if (whileShown) whileShown(messages.back());
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    return (flags & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

std::optional<std::wstring> ScriptedPrompter::SaveFile(HWND, const ui::SaveDialogOptions& options) {
    saveDialogs.push_back(options);
    if (savePaths.empty()) return std::nullopt;
    auto p = savePaths.front();
    savePaths.pop_front();
    return p;
}

bool RemoveFromOutside(const std::wstring& folder) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(folder.c_str()) : nullptr;
    if (!name) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        return !std::filesystem::exists(folder, ec);
    }
    std::wstring command = L"Z:\\bin\\rm -rf \"";
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
    std::wstring unixPath(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, name, -1, unixPath.data(), length);
    command += unixPath.c_str();
    command += L"\"";
    ::HeapFree(::GetProcessHeap(), 0, name);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    // A program of the system runs beside Wine's processes: its end cannot be waited for, only its work.
    std::error_code ec;
    for (int waited = 0; waited < 10000 && std::filesystem::exists(folder, ec); waited += 20) ::Sleep(20);
    return !std::filesystem::exists(folder, ec);
}

TempDir::TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            (L"pilka_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream f(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream f(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool NoScreen() {
    wchar_t value[8]{};
    return ::GetEnvironmentVariableW(L"PILKA_NO_SCREEN", value, 8) > 0 && value[0] == L'1';
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    do {
        ui::PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (::GetTickCount64() < end);
    ui::PumpMessages();
}

void SendMouse(DWORD flags, POINT at) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_MOVE) {
        // Absolute coordinates run from 0 to 65535 over the primary screen.
        input.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE;
        input.mi.dx =
            static_cast<LONG>((at.x * 65536LL + ::GetSystemMetrics(SM_CXSCREEN) - 1) / ::GetSystemMetrics(SM_CXSCREEN));
        input.mi.dy =
            static_cast<LONG>((at.y * 65536LL + ::GetSystemMetrics(SM_CYSCREEN) - 1) / ::GetSystemMetrics(SM_CYSCREEN));
    }
    ::SendInput(1, &input, sizeof input);
}

POINT CentreOf(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

bool RunSteps(const std::vector<std::function<void()>>& steps, UINT interval) {
    size_t next = 0;
    ui::Timer ticks(nullptr, interval);
    ticks.OnTimer = [&] {
        if (next < steps.size()) steps[next++]();
    };
    const bool done =
        PumpUntil([&] { return next == steps.size(); }, 10000 + interval * static_cast<UINT>(steps.size()));
    PumpFor(200);
    return done;
}

}  // namespace testing_support
