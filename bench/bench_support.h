// What every benchmark needs: message boxes answered at once, a clock, and the "name: value unit" line.
#pragma once
#include <windows.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "ui/prompt.h"

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

}  // namespace bench
