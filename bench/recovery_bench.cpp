// Snapshots of unsaved work: how long the window keeps the user waiting while a hundred modified tabs of 100 KB
// each are written for recovery, against the same window with nothing to write, and what the session's end and a
// normal end cost with that many snapshots.
#include <windows.h>
#include <psapi.h>

#include <filesystem>
#include <string>

#include "app/kurvanta_.h"
#include "app/recovery.h"
#include "bench_support.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/window.h"

namespace {

using bench::Milliseconds;
using bench::Print;

constexpr int kTabs = 100;
constexpr int kDocumentBytes = 100 * 1024;  // in code page 932, as the document would be saved as plain text

// Prose of Latin and Japanese words in lines, this long in code page 932.
std::wstring Document(int length = kDocumentBytes) {
    const std::wstring words[] = {L"今日は", L"天気が", L"良いので",  L"公園まで", L"散歩しました。", L"editor ",
                                  L"text ",  L"保存",   L"recovery ", L"データ",   L"Windows ",       L"、"};
    std::wstring text;
    int bytes = 0;
    for (size_t i = 0; bytes < length; ++i) {
        const std::wstring& w = i % 13 == 12 ? std::wstring(L"\r") : words[(i * 7) % std::size(words)];
        text += w;
        bytes += ui::Cp932Width(w);
    }
    return text;
}

// Runs the window's message loop until the condition holds, as the program's own loop would.
template <class Pred>
void PumpUntil(Pred done) {
    while (!done()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        ui::PumpMessages();
    }
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    PumpUntil([&] { return ::GetTickCount64() >= end; });
}

size_t SnapshotFiles(const std::filesystem::path& root) {
    size_t files = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root, ec))
        if (e.path().extension() == L".rtf") ++files;
    return files;
}

// One big document: how long its snapshot holds the window, and what share of a minute of typing in it goes to
// snapshots (typing in bursts with pauses, so that every pause asks for one).
void RunBigDocumentBenchmarks(const std::filesystem::path& dir) {
    app::TForm1 form(app::TForm1Options{(dir / L"data-big.ini").wstring(), {}, false});
    form.Show(SW_SHOWNOACTIVATE);
    app::Recovery& recovery = form.UnsavedWork();
    PumpUntil([&] { return recovery.Settled(); });
    ui::RichEdit& editor = *form.SlotAt(1).editor;
    editor.ReplaceSelection(Document(1024 * 1024), false);
    editor.Select(100, 200000);
    CHARFORMAT2W bold = ui::MakeCharFormat(CFM_BOLD);
    bold.dwEffects = CFE_BOLD;
    editor.SetSelectionFormat(bold);
    editor.Select(0, 0);
    {
        bench::StallWatch watch(form.Handle());
        PumpUntil([&] { return recovery.Settled(); });
        Print("recovery_snapshot_1mb_stall_ms", watch.Stop(), "ms", 1);
    }
    Print("recovery_snapshot_1mb_streamout_ms", static_cast<double>(recovery.SnapshotMs()), "ms", 0);

    const ULONGLONG spentBefore = recovery.SnapshotMs();
    const double typing = Milliseconds([&] {
        const ULONGLONG end = ::GetTickCount64() + 60000;
        while (::GetTickCount64() < end) {
            for (int i = 0; i < 10; ++i) {
                ::PostMessageW(editor.Handle(), WM_CHAR, L'a' + i, 1);
                PumpFor(150);
            }
            PumpFor(2500);  // the writer thinks: a snapshot is due
        }
    });
    Print("recovery_snapshot_share_pct", 100.0 * static_cast<double>(recovery.SnapshotMs() - spentBefore) / typing, "%",
          2);
}

}  // namespace

void RunRecoveryBenchmarks() {
    bench::SilentPrompter quiet;
    ui::ScopedPrompter scope(quiet);
    const auto dir =
        std::filesystem::temp_directory_path() / (L"pilka_bench_recovery_" + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::create_directories(dir);
    const auto root = dir / L"recovery";
    {
        app::TForm1 form(app::TForm1Options{(dir / L"data.ini").wstring(), {}, false});
        form.Show(SW_SHOWNOACTIVATE);
        app::Recovery& recovery = form.UnsavedWork();
        PumpUntil([&] { return recovery.Settled(); });

        // Set-up: the text goes in as one replacement, as a paste would, so that the control reports the change
        // and marks the tab modified; a streamed file would cost seconds a tab under Wine.
        const std::wstring text = Document();
        const double setup = bench::Seconds([&] {
            for (int i = 1; i < kTabs; ++i) form.tbtnHakusiClick();
            for (int slot = 1; slot <= kTabs; ++slot) {
                ui::RichEdit& editor = *form.SlotAt(slot).editor;
                editor.ReplaceSelection(text, false);
                editor.Select(100, 2000);
                CHARFORMAT2W bold = ui::MakeCharFormat(CFM_BOLD);
                bold.dwEffects = CFE_BOLD;
                editor.SetSelectionFormat(bold);
            }
        });
        std::printf("# %d tabs of %zu characters (%d bytes in code page 932)\n", kTabs, text.size(), kDocumentBytes);
        Print("recovery_setup_100tabs_s", setup, "s", 1);

        // The snapshots, a pause after the last change: the window's longest answer while they are taken.
        double stall = 0;
        {
            bench::StallWatch watch(form.Handle());
            const double total = Milliseconds([&] { PumpUntil([&] { return recovery.Settled(); }); });
            stall = watch.Stop();
            std::printf("# all written %.0f ms after the last change, the %u ms pause included\n", total,
                        static_cast<unsigned>(app::Recovery::Timing{}.pauseMs));
        }
        Print("recovery_snapshot_100tabs_stall_ms", stall, "ms", 1);
        Print("recovery_snapshot_files", static_cast<double>(SnapshotFiles(root)), "files", 0);
        {
            bench::StallWatch watch(form.Handle());
            PumpFor(3000);
            Print("recovery_idle_100tabs_stall_ms", watch.Stop(), "ms", 1);
        }

        // The session's end writes every changed tab at once, and waits for the disk: the system waits for that.
        for (int slot = 1; slot <= kTabs; ++slot) form.SlotAt(slot).editor->ReplaceSelection(L"x", false);
        Print("recovery_session_end_100tabs_ms",
              Milliseconds([&] { ::SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF); }), "ms", 0);
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
        Print("recovery_100tabs_peak_mb", static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0), "MB",
              0);
    }
    // The window's end removed the snapshots with their folder.
    Print("recovery_files_left_at_exit", static_cast<double>(SnapshotFiles(root)), "files", 0);
    RunBigDocumentBenchmarks(dir);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
