// Open documents following their files: how long the window keeps the user waiting while a hundred tabs with files
// are gone through one after another and another program rewrites one of their files every 100 ms, so that the
// looks find changes and read tabs again; and the same while every look takes a second, as on a network drive that
// answers slowly.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/documents_on_disk.h"
#include "app/kurvanta_.h"
#include "bench_support.h"
#include "ui/prompt.h"

namespace {

constexpr int kTabs = 100;
constexpr DWORD kRunMs = 10000;
constexpr DWORD kStepMs = 250;     // the user shows the next tab this often
constexpr DWORD kRewriteMs = 100;  // another program rewrites one of the files this often
constexpr DWORD kSlowLookMs = 1000;

void Rewrite(const std::filesystem::path& path, int round) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string text;
    for (int line = 0; line < 40; ++line) text += "round " + std::to_string(round) + " of a log line\r\n";
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
}

struct Run {
    double stall = 0;      // the window's longest answer between the tab switches: what the looks and reads cost
    double tabSwitch = 0;  // the longest tab switch itself, which is the tab control's and the pages' work
    int reloads = 0;
};

// Shows the tabs one after another for the time, as the user clicks through them. The looks that a switch starts
// come back while the window waits for the next one, and so do the reads they call for.
Run GoThroughTabs(app::TForm1& form) {
    Run run;
    const ULONGLONG end = ::GetTickCount64() + kRunMs;
    for (int position = 0; ::GetTickCount64() < end; position = (position + 1) % kTabs) {
        run.tabSwitch =
            std::max(run.tabSwitch, bench::Milliseconds([&] {
                         ::SendMessageW(form.PageControl(), TCM_SETCURSEL, static_cast<WPARAM>(position), 0);
                         form.PageControl1Change();
                     }));
        bench::StallWatch watch(form.Handle());
        const ULONGLONG next = ::GetTickCount64() + kStepMs;
        bench::PumpUntil([&] { return ::GetTickCount64() >= next; }, kStepMs);
        run.stall = std::max(run.stall, watch.Stop());
        if (form.StatusText(2).ends_with(L"を読み込み直しました")) ++run.reloads;
    }
    return run;
}

}  // namespace

void RunDocumentCheckBenchmarks() {
    bench::SilentPrompter quiet;
    ui::ScopedPrompter scope(quiet);
    const auto dir =
        std::filesystem::temp_directory_path() / (L"pilka_bench_follow_" + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::create_directories(dir);
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < kTabs; ++i) {
        files.push_back(dir / (L"doc" + std::to_wstring(i) + L".txt"));
        Rewrite(files.back(), 0);
    }
    {
        app::TForm1 form(app::TForm1Options{(dir / L"data.ini").wstring(), {}, false});
        form.Show(SW_SHOWNORMAL);
        form.kizontab(1, files[0].wstring());  // in place of the untitled first tab
        for (int i = 1; i < kTabs; ++i) form.sinkitab(1, files[static_cast<size_t>(i)].wstring());
        ::SetForegroundWindow(form.Handle());
        // Every tab is drawn once first: a page's first drawing is the control's cost, whatever its file does.
        for (int position = 0; position < kTabs; ++position) {
            ::SendMessageW(form.PageControl(), TCM_SETCURSEL, static_cast<WPARAM>(position), 0);
            form.PageControl1Change();
            const ULONGLONG next = ::GetTickCount64() + 30;
            bench::PumpUntil([&] { return ::GetTickCount64() >= next; }, 30);
        }
        // Going through the tabs with no file changing: the looks find nothing.
        const Run quiet = GoThroughTabs(form);
        bench::Print("document_check_100tabs_quiet_stall_ms", quiet.stall, "ms", 1);

        std::atomic<bool> stop{false};
        std::atomic<int> rewrites{0};
        std::thread otherProgram([&] {
            for (int round = 1; !stop; ++round) {
                Rewrite(files[static_cast<size_t>((round * 37) % kTabs)], round);
                ++rewrites;
                ::Sleep(kRewriteMs);
            }
        });
        const Run changing = GoThroughTabs(form);
        stop = true;
        otherProgram.join();
        std::printf("# %d tabs, %d files rewritten, %d tabs read again as they were shown\n", kTabs, rewrites.load(),
                    changing.reloads);
        bench::Print("document_check_100tabs_stall_ms", changing.stall, "ms", 1);
        bench::Print("document_tab_switch_100tabs_ms", std::max(quiet.tabSwitch, changing.tabSwitch), "ms", 1);

        form.OnDisk().SetLook([](const std::wstring& path) {
            ::Sleep(kSlowLookMs);
            return app::LookAt(path);
        });
        bench::Print("document_check_slow_drive_stall_ms", GoThroughTabs(form).stall, "ms", 1);
        bench::PumpUntil([&] { return form.OnDisk().Settled(); }, 2 * kTabs * kSlowLookMs);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
