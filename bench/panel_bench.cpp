// The folder panel in the main window: the refresh after a change in a large shown folder, how long the window
// stalls while a big branch opens and while a huge shown folder keeps changing, and what the program costs while it
// shows a large folder and nothing changes.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
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
    return ListView_FindItem(list, -1, &find) >= 0;
}

double Now() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The main window shown on a file of the folder, as when the program starts with it, with the panel's first
// reads done.
class PanelWindow {
public:
    PanelWindow(const std::filesystem::path& file, const wchar_t* iniName)
        : ini_(std::filesystem::temp_directory_path() / iniName),
          scope_(prompter_),
          form_(app::TForm1Options{ini_.wstring(), {file.wstring()}, false}) {
        form_.Show(SW_SHOWNOACTIVATE);
        Settle();
    }
    ~PanelWindow() {
        ::DestroyWindow(form_.Handle());
        std::error_code ignored;
        std::filesystem::remove(ini_, ignored);
    }
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    app::TForm1& Form() { return form_; }
    HWND List() { return form_.ShellListView1().Handle(); }
    bool Busy() { return form_.ShellListView1().Reading() || form_.ShellTreeView1().Reading(); }
    void Settle() {
        bench::PumpUntil([&] { return !Busy(); }, 120000);
        bench::PumpUntil([] { return false; }, 100);
    }

private:
    std::filesystem::path ini_;
    bench::SilentPrompter prompter_;
    ui::ScopedPrompter scope_;
    app::TForm1 form_;
};

// A file made in the shown folder, up to its row on screen: what the monitor's change event starts.
void RefreshBenchmark(const std::filesystem::path& folder) {
    PanelWindow panel(folder / L"file_00000.txt", L"pilka_bench_panel.ini");
    std::vector<double> times;
    for (int round = 0; round < 3; ++round) {
        const auto added = folder / (L"added_" + std::to_wstring(round) + L".txt");
        std::ofstream(added) << "new";
        const double start = Now();
        panel.Form().DirMonitor1Change();
        const bool shown = bench::PumpUntil([&] { return ListShows(panel.List(), added.filename().wstring()); }, 30000);
        ::RedrawWindow(panel.List(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        times.push_back(Now() - start);
        if (!shown) std::printf("panel: the new file did not show\n");
        std::filesystem::remove(added);
        panel.Settle();
    }
    std::sort(times.begin(), times.end());
    Print("panel_refresh_10k_ms", times[1], "ms", 0);
}

// A folder of five thousand sub-folders, made once and kept.
std::filesystem::path FolderOfFolders() {
    const auto folder = std::filesystem::temp_directory_path() / L"pilka_bench_5k_folders";
    std::error_code ec;
    if (std::filesystem::exists(folder / L"folder_04999", ec)) return folder;
    for (int i = 0; i < 5000; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"folder_%05d", i);
        std::filesystem::create_directories(folder / name, ec);
    }
    std::ofstream(folder / L"start.txt") << "start";
    return folder;
}

// The user opens the shown folder's branch in the tree (the key → on it): how long the window keeps the user
// waiting until its five thousand sub-folders are there.
void ExpandBenchmark() {
    const auto folder = FolderOfFolders();
    PanelWindow panel(folder / L"start.txt", L"pilka_bench_expand.ini");
    shell::TFolderView& tree = panel.Form().ShellTreeView1();
    const HTREEITEM node = tree.Selected();
    {
        // The window's answers while it does nothing at all: what the machine alone costs, to set the others by.
        bench::StallWatch idle(panel.Form().Handle());
        bench::PumpUntil([] { return false; }, 3000);
        Print("panel_stall_idle_ms", idle.Stop(), "ms", 0);
    }
    bench::StallWatch watch(panel.Form().Handle());
    ::SetFocus(tree.Handle());
    ::PostMessageW(tree.Handle(), WM_KEYDOWN, VK_RIGHT, 1);
    // The children are counted only once the tree is done: walking five thousand nodes holds the window too.
    const bool listed = bench::PumpUntil([&] { return !panel.Busy() && tree.Children(node).size() >= 5000; }, 60000);
    bench::PumpUntil([] { return false; }, 200);  // the first paint of the open branch
    const double stall = watch.Stop();
    if (!listed) std::printf("panel_stall_expand_5k: the sub-folders did not all show\n");
    Print("panel_stall_expand_5k_ms", stall, "ms", 0);

    // Side by side, in a window of its own: the same branch listed here and now on the window's thread, as a search
    // through the tree lists a folder it passes.
    PanelWindow again(folder / L"start.txt", L"pilka_bench_expand_now.ini");
    shell::TFolderView& other = again.Form().ShellTreeView1();
    bench::StallWatch now(again.Form().Handle());
    other.Expand(other.Selected());
    bench::PumpUntil([] { return false; }, 200);
    Print("panel_stall_expand_5k_listed_at_once_ms", now.Stop(), "ms", 0);
}

// One file of a shown folder of 100,000 files rewritten every 100 ms for 10 s, as a log that another program
// writes; halfway a new file is made. The longest stall of the window meanwhile, and how long the new file took
// to show in the list.
void StormBenchmark() {
    const auto folder = bench::FolderOfFiles(L"pilka_bench_100k", 100000);
    const auto log = folder / L"storm_log.txt";
    const auto made = folder / L"storm_made.txt";
    std::error_code ec;
    std::filesystem::remove(made, ec);
    std::ofstream(log) << "log";
    PanelWindow panel(folder / L"file_000000.txt", L"pilka_bench_storm.ini");
    HWND list = panel.List();

    std::atomic<double> madeAt{0.0};
    std::atomic<bool> over{false};
    bench::StallWatch watch(panel.Form().Handle());
    std::thread writer([&] {
        for (int tick = 0; tick < 100; ++tick) {
            std::ofstream(log, std::ios::app) << "line " << tick << "\n";
            if (tick == 50) {
                std::ofstream(made) << "made";
                madeAt = Now();
            }
            ::Sleep(100);
        }
        over = true;
    });
    double shownAt = 0.0;
    bench::PumpUntil(
        [&] {
            if (shownAt == 0.0 && madeAt > 0.0 && ListShows(list, L"storm_made.txt")) shownAt = Now();
            return over.load();
        },
        60000);
    writer.join();
    const double stall = watch.Stop();
    if (shownAt == 0.0 && bench::PumpUntil([&] { return ListShows(list, L"storm_made.txt"); }, 30000)) shownAt = Now();
    Print("panel_stall_storm_100k_ms", stall, "ms", 0);
    if (shownAt > 0.0)
        Print("storm_visible_ms", shownAt - madeAt, "ms", 0);
    else
        std::printf("storm_visible_ms: the new file did not show\n");
    std::filesystem::remove(made, ec);
    std::filesystem::remove(log, ec);
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
    ExpandBenchmark();
    StormBenchmark();
    IdleBenchmark(folder);
}
