// Find in the folder's files on a folder of a thousand documents: the whole search, its first hit and the window's
// longest stall meanwhile, against reading and decoding the same files one after another on one thread with the
// same readers and no search.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/document_io.h"
#include "app/folder_find.h"
#include "app/folder_find_pane.h"
#include "app/kurvanta_.h"
#include "bench_support.h"
#include "ui/prompt.h"
#include "ui/rich_edit.h"
#include "ui/text.h"

namespace {

using bench::Milliseconds;
using bench::Print;

constexpr size_t kFileBytes = 10 * 1024;
const wchar_t kNeedle[] = L"検索語";

// Japanese prose of about `bytes` bytes in code page 932, lines ending CR LF, with the needle twice.
std::wstring Prose(size_t bytes, int seed) {
    const std::wstring words[] = {L"今日は",         L"天気が",   L"良いので",   L"公園まで",
                                  L"散歩しました。", L"editor ",  L"ファイルを", L"保存する",
                                  L"データ",         L"Windows ", L"、",         L"文章が続きます"};
    std::wstring text;
    int lines = 0;
    unsigned next = static_cast<unsigned>(seed) * 2654435761u;
    while (ui::Cp932Width(text) + 2 * lines < static_cast<int>(bytes)) {
        for (int i = 0; i < 10; ++i) {
            next = next * 1103515245u + 12345u;
            text += words[(next >> 16) % std::size(words)];
        }
        text += L"\r\n";
        ++lines;
    }
    for (const size_t at : {text.size() / 3, 2 * text.size() / 3}) text.insert(text.find(L'\r', at) + 2, kNeedle);
    return text;
}

// The same prose as rich text of about `bytes` bytes: every Japanese character a \'hh pair, lines as \par.
std::string RichProse(size_t bytes, int seed) {
    std::string rtf = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 MS Gothic;}}\\f0\\fs22 ";
    const std::string plain = ui::Cp932FromWide(Prose(bytes / 4, seed));
    static const char hex[] = "0123456789abcdef";
    for (const char c : plain) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r') continue;
        if (b == '\n') {
            rtf += "\\par\r\n";
        } else if (b >= 0x80) {
            rtf += "\\'";
            rtf += hex[b >> 4];
            rtf += hex[b & 15];
        } else {
            rtf += c;
        }
    }
    return rtf + "}";
}

// 600 code page 932 texts and 300 rich text files of 10 KB and 100 UTF-8 texts, two hits each: made once, kept.
std::filesystem::path ThousandFiles() {
    const auto folder = std::filesystem::temp_directory_path() / L"pilka_bench_folder_find";
    std::error_code ec;
    if (std::filesystem::exists(folder / L"utf8_099.txt", ec)) return folder;
    std::filesystem::create_directories(folder, ec);
    auto write = [&](const std::wstring& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    wchar_t name[32];
    for (int i = 0; i < 600; ++i) {
        swprintf(name, 32, L"sjis_%03d.txt", i);
        write(name, ui::Cp932FromWide(Prose(kFileBytes, i)));
    }
    for (int i = 0; i < 300; ++i) {
        swprintf(name, 32, L"rich_%03d.rtf", i);
        write(name, RichProse(kFileBytes, 1000 + i));
    }
    for (int i = 0; i < 100; ++i) {
        swprintf(name, 32, L"utf8_%03d.txt", i);
        write(name, ui::Utf8FromWide(Prose(kFileBytes, 2000 + i)));
    }
    return folder;
}

// Every file read and decoded as a tab's editor takes it in, one after another on this thread.
double ReadAndDecodeAll(const std::filesystem::path& folder, const dialogs::EditorFontDefaults& font) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    size_t characters = 0;
    const double ms = Milliseconds([&] {
        ui::RichEdit reader;
        reader.Create(HWND_MESSAGE, 0, RECT{});
        reader.SetTextLimit(app::kLoadedTextLimit);
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            reader.SetFont(font.charset, font.name, font.size);
            reader.SetText(L"");
            const app::DecodedDocument document = app::DecodeDocument(reader, bytes);
            characters += document.richText ? reader.Text().size() : app::ParagraphText(document.plainText).size();
        }
        ::DestroyWindow(reader.Handle());
    });
    if (characters == 0) std::printf("folder_find: nothing was decoded\n");
    return ms;
}

double Now() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

void RunFolderFindBenchmarks() {
    const std::filesystem::path folder = ThousandFiles();
    const std::filesystem::path ini = std::filesystem::temp_directory_path() / L"pilka_bench_folder_find.ini";
    bench::SilentPrompter prompter;
    ui::ScopedPrompter scope(prompter);
    app::TForm1 form(app::TForm1Options{ini.wstring(), {}, false});
    form.Show(SW_SHOWNOACTIVATE);
    bench::PumpUntil([] { return false; }, 300);
    if (!form.ShellTreeView1().SelectPath(folder.wstring()))
        std::printf("folder_find: the folder is not in the tree\n");
    form.SetFindText(kNeedle);

    {
        bench::StallWatch idle(form.Handle());
        bench::PumpUntil([] { return false; }, 3000);
        Print("folder_find_idle_stall_ms", idle.Stop(), "ms", 0);
    }
    // One search by the button, up to its end; the time to its first row and to its end.
    int rows = 0;
    auto search = [&](double& first) {
        const double start = Now();
        first = 0;
        ::SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(app::kBtnFolderFind, BN_CLICKED), 0);
        bench::PumpUntil(
            [&] {
                if (first == 0 && form.FindPane().RowCount() > 0) first = Now() - start;
                return !form.FolderFinder().Running();
            },
            600000);
        const double total = Now() - start;
        rows = form.FindPane().RowCount();
        bench::PumpUntil([&] { return !form.FolderFinder().WorkerBusy(); }, 10000);
        return total;
    };
    std::vector<double> totals, firsts;
    for (int round = 0; round < 3; ++round) {
        double first = 0;
        totals.push_back(search(first));
        firsts.push_back(first);
    }
    if (rows != 2000) std::printf("folder_find: %d hits listed, 2000 expected\n", rows);
    // The window's answers meanwhile, in a search of its own: the watch's messages cost the machine too.
    double ignored = 0;
    bench::StallWatch watch(form.Handle());
    search(ignored);
    const double stall = watch.Stop();
    std::vector<double> bare;
    for (int round = 0; round < 3; ++round) bare.push_back(ReadAndDecodeAll(folder, form.FontDefaults()));
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    Print("folder_find_1000_files_ms", median(totals), "ms", 0);
    Print("folder_find_read_decode_1000_files_ms", median(bare), "ms", 0);
    Print("folder_find_ratio", median(totals) / median(bare), "x");
    Print("folder_find_first_hit_ms", median(firsts), "ms", 0);
    Print("folder_find_stall_ms", stall, "ms", 0);
    ::DestroyWindow(form.Handle());
    std::error_code ec;
    std::filesystem::remove(ini, ec);
}
