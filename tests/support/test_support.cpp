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

namespace {

// The path as the system beneath Wine names it; empty when the program does not run under Wine.
std::wstring UnixPathOf(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
    std::wstring unixPath(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, name, -1, unixPath.data(), length);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return unixPath.c_str();
}

// Starts a program of the system beneath Wine; its end cannot be waited for, only its work.
bool StartUnixCommand(std::wstring command) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

}  // namespace

bool RemoveFromOutside(const std::wstring& folder) {
    const std::wstring unixPath = UnixPathOf(folder);
    if (unixPath.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        return !std::filesystem::exists(folder, ec);
    }
    if (!StartUnixCommand(L"Z:\\bin\\rm -rf \"" + unixPath + L"\"")) return false;
    std::error_code ec;
    for (int waited = 0; waited < 10000 && std::filesystem::exists(folder, ec); waited += 20) ::Sleep(20);
    return !std::filesystem::exists(folder, ec);
}

namespace {

bool ExactlyThere(const std::wstring& folder) {
    const size_t slash = folder.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder.substr(0, slash) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool there = false;
    do {
        there = folder.compare(slash + 1, std::wstring::npos, found.cFileName) == 0 &&
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (!there && ::FindNextFileW(search, &found));
    ::FindClose(search);
    return there;
}

}  // namespace

bool MakeDirFromOutside(const std::wstring& folder) {
    const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
    const std::wstring unixParent = UnixPathOf(parent);
    if (unixParent.empty()) return ::CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
    const std::wstring name = folder.substr(parent.size() + 1);
    if (!StartUnixCommand(L"Z:\\bin\\mkdir \"" + unixParent + L"/" + name + L"\"")) return false;
    for (int waited = 0; waited < 10000; waited += 20) {
        if (ExactlyThere(folder)) return true;
        ::Sleep(20);
    }
    return false;
}

bool LinkFolder(const std::wstring& link, const std::wstring& target) {
    // Wine accepts the call but makes no link; the system beneath it makes one that Wine shows as a reparse point.
    if (::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const std::wstring unixTarget = UnixPathOf(target);
    const std::wstring unixFolder = UnixPathOf(link.substr(0, link.find_last_of(L'\\')));
    if (unixTarget.empty() || unixFolder.empty()) return false;
    const std::wstring name = link.substr(link.find_last_of(L'\\') + 1);
    if (!StartUnixCommand(L"Z:\\bin\\ln -s \"" + unixTarget + L"\" \"" + unixFolder + L"/" + name + L"\""))
        return false;
    for (int waited = 0; waited < 10000; waited += 20) {
        const DWORD attributes = ::GetFileAttributesW(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        ::Sleep(20);
    }
    return false;
}

TempDir::TempDir(const std::filesystem::path& under) {
    std::random_device rd;
    path_ = (under.empty() ? std::filesystem::temp_directory_path() : under) /
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
