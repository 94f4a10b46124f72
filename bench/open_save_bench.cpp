// Opening and saving through the main window against the control's own stream work on the same bytes, the
// program's start-up time, and the memory a hundred tabs take.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "app/document_io.h"
#include "app/kurvanta_.h"
#include "bench_support.h"
#include "support/program_process.h"
#include "ui/prompt.h"
#include "ui/rich_edit.h"
#include "ui/text.h"
#include "ui/window.h"

namespace {

using bench::Milliseconds;
using bench::Print;

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// About a megabyte of Shift-JIS prose with Latin words and line breaks.
std::string ShiftJisMegabyte() {
    const std::wstring words[] = {L"今日は", L"天気が",     L"良いので", L"公園まで", L"散歩しました。", L"editor ",
                                  L"text ",  L"ファイルを", L"保存する", L"データ",   L"Windows ",       L"、"};
    std::mt19937 rng(7);
    std::wstring text;
    while (text.size() < 560 * 1024) {
        for (int i = 0; i < 12; ++i) text += words[rng() % std::size(words)];
        text += L"\r\n";
    }
    return ui::Cp932FromWide(text);
}

// A bare editor set up as the main window sets up its editors.
struct BareEditor {
    ui::Panel parent{nullptr, HWND_MESSAGE};
    ui::RichEdit editor;
    BareEditor() {
        editor.Create(parent.Handle(), 1, RECT{0, 0, 600, 400});
        editor.SetTextLimit(11000000);
        editor.SetFont(SHIFTJIS_CHARSET, L"BIZ UDPゴシック", 11);
        editor.SetText(L"");
    }
};

// Best of a few alternating rounds of each side, so that neither side gets the warmer caches.
double BestRatio(int rounds, const std::function<double()>& ours, const std::function<double()>& bare) {
    double bestOurs = 1e300, bestBare = 1e300;
    for (int i = 0; i < rounds; ++i) {
        bestOurs = std::min(bestOurs, ours());
        bestBare = std::min(bestBare, bare());
    }
    std::printf("# best of %d: %.1f ms against %.1f ms\n", rounds, bestOurs, bestBare);
    return bestOurs / bestBare;
}

std::filesystem::path ProgramCopy(const std::filesystem::path& dir) {
    const std::wstring path = testing_support::ProgramPath();
    if (path.empty()) return {};
    const auto copy = dir / L"pilka2.exe";
    std::error_code ec;
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing, ec);
    return ec ? std::filesystem::path() : copy;
}

// From the process's creation to its main window shown with its first tab.
double StartupMilliseconds(const std::filesystem::path& program) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          program.parent_path().c_str(), &si, &pi))
        return -1;
    HWND window = nullptr;
    for (int i = 0; i < 20000 && !window; ++i) {
        window = testing_support::ShownMainWindowOf(pi.dwProcessId);
        if (!window) ::Sleep(1);
    }
    ::QueryPerformanceCounter(&now);
    if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return window
               ? 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart)
               : -1;
}

}  // namespace

void RunOpenSaveBenchmarks() {
    bench::SilentPrompter quiet;
    ui::ScopedPrompter scope(quiet);
    const auto dir =
        std::filesystem::temp_directory_path() / (L"pilka_bench_" + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::create_directories(dir);

    {
        // Memory with a hundred untitled tabs, before anything else has grown the process.
        app::TForm1 form(app::TForm1Options{(dir / L"data.ini").wstring(), {}, false});
        form.Show(SW_HIDE);
        for (int i = 1; i < 100; ++i) form.tbtnHakusiClick();
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
        Print("tabs100_peak_mb", static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0), "MB", 1);
    }

    app::TForm1 form(app::TForm1Options{(dir / L"data.ini").wstring(), {}, false});
    form.Show(SW_HIDE);
    form.tbtnTabTojClick();

    const auto textPath = dir / L"text_1mb.txt";
    const std::string sjis = ShiftJisMegabyte();
    WriteFile(textPath, sjis);

    auto openInTab = [&](const std::filesystem::path& path) {
        const double ms = Milliseconds([&] { form.sinkitab(1, path.wstring()); });
        form.tbtnTabTojClick();
        return ms;
    };

    Print("open_text_1mb_ratio",
          BestRatio(
              5, [&] { return openInTab(textPath); },
              [&] {
                  BareEditor bare;
                  return Milliseconds([&] {
                      const std::string bytes = ReadFile(textPath);
                      bare.editor.StreamInText(ui::WideFromCp932(bytes));
                  });
              }),
          "x");

    // A megabyte of rich text: the same prose with bold, colour and size changes, as the control writes it.
    std::string rtf;
    {
        BareEditor source;
        source.editor.StreamInText(ui::WideFromCp932(sjis.substr(0, sjis.size() * 33 / 100)));
        const long length = source.editor.TextLength();
        for (long at = 0; at + 40 < length; at += 97) {
            source.editor.Select(at, at + 20);
            CHARFORMAT2W f = ui::MakeCharFormat(CFM_BOLD | CFM_COLOR | CFM_SIZE);
            f.dwEffects = (at / 97) % 2 ? CFE_BOLD : 0;
            f.crTextColor = RGB((at * 7) % 256, 40, 90);
            f.yHeight = 200 + ((at / 97) % 5) * 40;
            source.editor.SetSelectionFormat(f);
        }
        source.editor.StreamOutRtf(rtf);
    }
    const auto rtfPath = dir / L"rich_1mb.rtf";
    WriteFile(rtfPath, rtf);
    std::printf("# rich text file: %.2f MB\n", static_cast<double>(rtf.size()) / (1024.0 * 1024.0));

    Print("open_rtf_1mb_ratio",
          BestRatio(
              5, [&] { return openInTab(rtfPath); },
              [&] {
                  BareEditor bare;
                  return Milliseconds([&] {
                      const std::string bytes = ReadFile(rtfPath);
                      bare.editor.StreamInRtf(bytes);
                  });
              }),
          "x");

    // Saving the rich text document: the overwrite save against the control streaming it out into a file.
    form.sinkitab(1, rtfPath.wstring());
    const auto barePath = dir / L"bare.rtf";
    Print("save_rtf_1mb_ratio",
          BestRatio(
              5, [&] { return Milliseconds([&] { form.tbtnUwagakiClick(); }); },
              [&] {
                  ui::RichEdit& editor = *form.CurrentEditor();
                  return Milliseconds([&] {
                      std::string out;
                      editor.StreamOutRtf(out);
                      WriteFile(barePath, out);
                  });
              }),
          "x");

    const auto program = ProgramCopy(dir);
    if (!program.empty()) {
        double best = 1e300;
        for (int i = 0; i < 3; ++i) {
            const double ms = StartupMilliseconds(program);
            if (ms >= 0) best = std::min(best, ms);
        }
        if (best < 1e300) Print("startup_ms", best, "ms", 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
