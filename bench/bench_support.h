// What every benchmark needs: message boxes answered at once, a clock, and the "name: value unit" line.
#pragma once
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "support/stall_watch.h"
#include "ui/prompt.h"
#include "ui/window.h"

namespace bench {

// Answers every message box at once, as the user who presses Enter; the save dialog is cancelled.
class SilentPrompter final : public ui::Prompter {
public:
    int Message(HWND, const std::wstring&, const std::wstring&, UINT flags) override {
        return (flags & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
    std::optional<std::wstring> SaveFile(HWND, const ui::SaveDialogOptions&) override { return std::nullopt; }
};

inline double Seconds(const std::function<void()>& work) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    work();
    ::QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Milliseconds(const std::function<void()>& work) {
    return 1000.0 * Seconds(work);
}

inline void Print(const char* name, double value, const char* unit, int decimals = 2) {
    std::printf("%s: %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}

// Runs the window's message loop until the condition holds or the time runs out; false on time out.
template <class Pred>
bool PumpUntil(Pred done, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (!done()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)),
                                    QS_ALLINPUT);
        ui::PumpMessages();
    }
    return true;
}

// A folder of `count` small files of five types (one without an extension) under the temporary folder, made once
// and kept between runs: file_000000.txt, file_000001.rtf, ... Sizes run from empty to a few KB.
inline std::filesystem::path FolderOfFiles(const std::wstring& name, int count) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
    static const wchar_t* const kTypes[] = {L".txt", L".rtf", L".csv", L".log", L""};
    auto fileName = [](int i) {
        wchar_t text[32];
        swprintf(text, 32, L"file_%06d%ls", i, kTypes[i % 5]);
        return std::wstring(text);
    };
    std::error_code ec;
    if (std::filesystem::exists(folder / fileName(count - 1), ec)) return folder;
    std::filesystem::create_directories(folder, ec);
    for (int i = 0; i < count; ++i) {
        const std::filesystem::path file = folder / fileName(i);
        if (std::filesystem::exists(file, ec)) continue;
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        const std::string bytes(static_cast<size_t>(i % 7) * 300, 'x');
        DWORD written = 0;
        if (!bytes.empty()) ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(h);
    }
    return folder;
}

// The stall watch is shared with the tests.
using testing_support::StallWatch;

}  // namespace bench
