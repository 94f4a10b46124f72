// The file list on the shared folder of 100,000 files: the list alone (all rows shown, memory), and the main window
// entering that folder by a real double-click, then living with it while one of its files is rewritten and another
// is made, with a thread timing how long the window takes to answer.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "app/kurvanta_.h"
#include "bench_support.h"
#include "shell/FileView.h"
#include "support/host_window.h"
#include "ui/prompt.h"
#include "ui/window.h"

namespace {

using bench::Milliseconds;
using bench::Print;
using bench::PumpUntil;

constexpr int kFiles = 100000;
constexpr wchar_t kFolderName[] = L"pilka_bench_100k";

double WorkingSetMb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

int RowOf(HWND list, const std::wstring& caption) {
    const int n = ListView_GetItemCount(list);
    for (int i = 0; i < n; ++i) {
        wchar_t text[MAX_PATH]{};
        ListView_GetItemText(list, i, 0, text, MAX_PATH);
        if (caption == text) return i;
    }
    return -1;
}

bool Shown(const shell::TFileView& list, int rows) {
    return !list.Reading() && ListView_GetItemCount(list.Handle()) == rows;
}

// The list alone: all 100,000 rows shown, and what they cost in memory.
void ListAlone(const std::filesystem::path& folder) {
    const shell::UniqueIdList big = shell::PathToIdList(folder.wstring());
    const shell::UniqueIdList parent = shell::PathToIdList(folder.parent_path().wstring());
    if (!big || !parent) {
        std::printf("list100k: the folder does not parse\n");
        return;
    }
    testing_support::HostWindow host(900, 720);
    shell::TFileView list(nullptr, host.Handle());
    list.SetViewStyle(shell::ListViewStyle::Report);
    list.SetBounds(0, 0, 880, 680);
    list.BrowseTo(parent.get());
    PumpUntil([&] { return !list.Reading(); }, 60000);
    PumpFor(200);
    const double before = WorkingSetMb();
    bench::StallWatch watch(host.Handle());
    bool done = false;
    const double fill = Milliseconds([&] {
        list.BrowseTo(big.get());
        done = PumpUntil([&] { return Shown(list, kFiles); }, 120000);
        ::UpdateWindow(list.Handle());
    });
    const double stall = watch.Stop();
    PumpFor(500);
    const double grown = WorkingSetMb() - before;
    if (!done) std::printf("list100k: %d rows shown\n", ListView_GetItemCount(list.Handle()));
    Print("list_fill_100k_ms", fill, "ms", 0);
    Print("list_fill_100k_stall_ms", stall, "ms", 0);
    Print("list_100k_mb", grown, "MB", 1);

    // A sort by size and back by name, as header clicks ask for them, and a refresh after a file was made.
    ListView_SetItemState(list.Handle(), 5000, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    bench::StallWatch sorting(host.Handle());
    const double sort = Milliseconds([&] {
        for (int column : {1, 0}) {
            HWND header = ListView_GetHeader(list.Handle());
            RECT r{};
            Header_GetItemRect(header, column, &r);
            const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
            ::SendMessageW(header, WM_LBUTTONUP, 0, at);
            PumpUntil([&] { return !list.Reading(); }, 60000);
        }
        ::UpdateWindow(list.Handle());
    });
    Print("list_sort_100k_ms", sort / 2, "ms", 0);
    Print("list_sort_100k_stall_ms", sorting.Stop(), "ms", 0);
    const std::filesystem::path made = folder / L"made_by_the_list_bench.txt";
    const HANDLE file = ::CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    bench::StallWatch refreshing(host.Handle());
    const double refresh = Milliseconds([&] {
        list.FillItems();
        PumpUntil([&] { return !list.Reading(); }, 60000);
        ::UpdateWindow(list.Handle());
    });
    if (ListView_GetItemCount(list.Handle()) != kFiles + 1) std::printf("list100k: the made file did not show\n");
    Print("list_refresh_100k_ms", refresh, "ms", 0);
    Print("list_refresh_100k_stall_ms", refreshing.Stop(), "ms", 0);
    std::error_code ignored;
    std::filesystem::remove(made, ignored);
}

// The main window on the folder that holds the big one: a real double-click on it in the list enters it.
void MainWindowEnters(const std::filesystem::path& folder) {
    bench::SilentPrompter prompter;
    ui::ScopedPrompter scope(prompter);
    const std::filesystem::path start = folder.parent_path() / L"pilka_bench_list_start.txt";
    const std::filesystem::path ini = folder.parent_path() / L"pilka_bench_list.ini";
    {
        const HANDLE file = ::CreateFileW(start.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    }
    app::TForm1 form(app::TForm1Options{ini.wstring(), {start.wstring()}, false});
    form.Show(SW_SHOW);
    ::SetForegroundWindow(form.Handle());
    shell::TFileView& list = form.ShellListView1();
    PumpUntil([&] { return !list.Reading() && RowOf(list.Handle(), kFolderName) >= 0; }, 60000);
    PumpFor(300);
    const int row = RowOf(list.Handle(), kFolderName);
    if (row < 0) {
        std::printf("panel_stall_list_100k_ms: the folder is not in the list\n");
        return;
    }
    ListView_EnsureVisible(list.Handle(), row, FALSE);
    ::UpdateWindow(list.Handle());
    RECT label{};
    ListView_GetItemRect(list.Handle(), row, &label, LVIR_LABEL);
    POINT at{label.left + 10, (label.top + label.bottom) / 2};
    ::ClientToScreen(list.Handle(), &at);

    // Entering it.
    bench::StallWatch watch(form.Handle());
    INPUT inputs[5]{};
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dx = static_cast<LONG>((at.x * 65536LL + width - 1) / width);
    inputs[0].mi.dy = static_cast<LONG>((at.y * 65536LL + height - 1) / height);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    const DWORD clicks[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 4; ++i) {
        inputs[i + 1].type = INPUT_MOUSE;
        inputs[i + 1].mi.dwFlags = clicks[i];
    }
    bool entered = false;
    const double enter = Milliseconds([&] {
        ::SendInput(5, inputs, sizeof(INPUT));
        entered = PumpUntil([&] { return Shown(list, kFiles); }, 120000);
        ::UpdateWindow(form.Handle());
    });
    PumpFor(300);
    const double enterStall = watch.Stop();
    if (!entered) std::printf("panel_stall_list_100k_ms: %d rows shown\n", ListView_GetItemCount(list.Handle()));
    Print("panel_stall_list_100k_ms", enterStall, "ms", 0);
    Print("panel_enter_100k_ms", enter, "ms", 0);

    // One file rewritten every 100 ms for ten seconds: the monitor's events refresh the list meanwhile.
    bench::StallWatch busy(form.Handle());
    std::atomic<bool> stop{false};
    const std::filesystem::path rewritten = folder / L"file_000000.txt";
    std::thread writer([&] {
        for (int i = 0; !stop && i < 100; ++i) {
            const HANDLE file = ::CreateFileW(rewritten.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                const std::string bytes = "rewrite " + std::to_string(i);
                DWORD written = 0;
                ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
                ::CloseHandle(file);
            }
            ::Sleep(100);
        }
    });
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    const HANDLE thread = ::GetCurrentThread();
    ::GetThreadTimes(thread, &created, &exited, &kernelBefore, &userBefore);
    const double span = Milliseconds([&] { PumpFor(10000); });
    ::GetThreadTimes(thread, &created, &exited, &kernelAfter, &userAfter);
    stop = true;
    writer.join();
    auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const double used =
        static_cast<double>(ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore)) / 10000.0;
    Print("panel_stall_rewrite_100k_ms", busy.Stop(), "ms", 0);
    Print("panel_busy_rewrite_100k_pct", 100.0 * used / span, "%", 1);
    PumpUntil([&] { return !list.Reading(); }, 30000);

    // A file made in the folder: how long until the list shows it.
    const std::filesystem::path made = folder / L"made_by_the_bench.txt";
    const HANDLE file = ::CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    bool appeared = false;
    const double shows = Milliseconds(
        [&] { appeared = PumpUntil([&] { return ListView_GetItemCount(list.Handle()) == kFiles + 1; }, 30000); });
    if (!appeared) std::printf("panel_new_file_100k_ms: the file never showed\n");
    Print("panel_new_file_100k_ms", shows, "ms", 0);
    std::error_code ignored;
    std::filesystem::remove(made, ignored);
    ::DestroyWindow(form.Handle());
    std::filesystem::remove(start, ignored);
    std::filesystem::remove(ini, ignored);
}

}  // namespace

void RunListBigBenchmarks() {
    const std::filesystem::path folder = bench::FolderOfFiles(kFolderName, kFiles);
    ListAlone(folder);
    MainWindowEnters(folder);
}
