// The folder panel in the main window: the refresh after a change in a large shown folder, and what the program
// costs while it shows that folder and nothing changes.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/kurvanta_.h"
#include "bench_support.h"
#include "ui/prompt.h"
#include "ui/window.h"

namespace {

using bench::Milliseconds;
using bench::Print;

constexpr int kFiles = 10000;

// A folder of ten thousand small files of a few types, made once per run.
std::filesystem::path LargeFolder() {
    const auto folder = std::filesystem::temp_directory_path() / L"pilka_bench_panel_10k";
    if (std::filesystem::exists(folder / L"file_09999.txt")) return folder;
    std::filesystem::create_directories(folder);
    const wchar_t* types[] = {L".txt", L".rtf", L".log", L".csv", L".dat"};
    for (int i = 0; i < kFiles; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"file_%05d%ls", i, types[i % 5]);
        std::ofstream(folder / name, std::ios::binary) << "x";
    }
    return folder;
}

bool ListShows(HWND list, const std::wstring& caption) {
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = caption.c_str();
    if (ListView_FindItem(list, -1, &find) >= 0) return true;
    const int n = ListView_GetItemCount(list);
    for (int i = n - 1; i >= 0; --i) {
        wchar_t text[64]{};
        ListView_GetItemText(list, i, 0, text, 64);
        if (caption == text) return true;
    }
    return false;
}

void RefreshBenchmark(const std::filesystem::path& folder) {
    bench::SilentPrompter prompter;
    ui::ScopedPrompter scope(prompter);
    const auto ini = std::filesystem::temp_directory_path() / L"pilka_bench_panel.ini";
    app::TForm1 form(app::TForm1Options{ini.wstring(), {(folder / L"file_00000.txt").wstring()}, false});
    form.Show(SW_SHOWNOACTIVATE);
    bench::PumpUntil([&] { return !form.ShellListView1().Reading(); }, 60000);
    HWND list = form.ShellListView1().Handle();
    std::vector<double> times;
    for (int round = 0; round < 3; ++round) {
        const auto added = folder / (L"added_" + std::to_wstring(round) + L".txt");
        std::ofstream(added) << "new";
        // What the monitor's change event runs, up to the refilled list on screen.
        times.push_back(Milliseconds([&] {
            form.allfolderClia();
            // The list reads the folder again on its worker.
            bench::PumpUntil([&] { return !form.ShellListView1().Reading(); }, 60000);
            ::UpdateWindow(form.Handle());
            ::RedrawWindow(list, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        }));
        if (!ListShows(list, added.filename().wstring())) std::printf("panel: the new file did not show\n");
        std::filesystem::remove(added);
    }
    std::sort(times.begin(), times.end());
    Print("panel_refresh_10k_ms", times[1], "ms", 0);
    ::DestroyWindow(form.Handle());
    std::filesystem::remove(ini);
}

ULONGLONG ProcessCpuTicks() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return ticks(kernel) + ticks(user);
}

// The main window showing the large folder with nothing changing, its message loop running for ten seconds: what
// the status-bar refresh, the monitor's polling and painting cost. (Under Wine another process's times read as
// zero, so the window runs here, with the program's own code.)
void IdleBenchmark(const std::filesystem::path& folder) {
    bench::SilentPrompter prompter;
    ui::ScopedPrompter scope(prompter);
    const auto ini = std::filesystem::temp_directory_path() / L"pilka_bench_idle.ini";
    app::TForm1 form(app::TForm1Options{ini.wstring(), {(folder / L"file_00000.txt").wstring()}, false});
    form.Show(SW_SHOWNOACTIVATE);
    auto pumpFor = [](ULONGLONG milliseconds) {
        const ULONGLONG end = ::GetTickCount64() + milliseconds;
        for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
            ui::PumpMessages();
        }
    };
    pumpFor(3000);  // the first fill and paint are done
    const ULONGLONG before = ProcessCpuTicks();
    const ULONGLONG start = ::GetTickCount64();
    pumpFor(10000);
    const double used = static_cast<double>(ProcessCpuTicks() - before) / 10000.0;  // 100 ns units to ms
    const double elapsed = static_cast<double>(::GetTickCount64() - start);
    Print("panel_idle_cpu_pct", 100.0 * used / elapsed, "%", 2);
    ::DestroyWindow(form.Handle());
    std::filesystem::remove(ini);
}

}  // namespace

void RunPanelBenchmarks() {
    const auto folder = LargeFolder();
    RefreshBenchmark(folder);
    IdleBenchmark(folder);
}
