// Find and replace-all against the bare work they cannot avoid: a plain exact-match scan for the search, the bare
// loop of selection, format and replace messages for marking and replacing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/finder.h"
#include "bench_support.h"
#include "ui/prompt.h"
#include "ui/rich_edit.h"
#include "ui/window.h"

namespace {

using bench::Print;
using bench::Seconds;
using bench::SilentPrompter;

// Japanese prose with Latin words, katakana with prolonged-sound marks, punctuation and line breaks, and the
// needle put in every so often so that there are about the wanted number of hits.
std::wstring MixedText(size_t units, const std::wstring& needle, size_t hits) {
    const std::wstring words[] = {L"今日は",   L"天気が",   L"良いので", L"公園まで", L"散歩しました", L"。",
                                  L"、",       L"コーヒー", L"データ",   L"サーバー", L"を",           L"確認する",
                                  L"editor ",  L"Windows ", L"text ",    L"Search ",  L"and ",         L"replace ",
                                  L"日本語の", L"文章",     L"が",       L"続きます", L"\r",           L"ファイル",
                                  L"保存",     L"abc ",     L"ABC ",     L"目印ab ",  L"印abc ",       L"です"};
    std::mt19937 rng(12345);
    std::wstring text;
    text.reserve(units + 64);
    const size_t every = units / hits;
    size_t nextNeedle = every / 2;
    while (text.size() < units) {
        if (text.size() >= nextNeedle) {
            text += needle;
            nextNeedle += every;
        } else {
            text += words[rng() % std::size(words)];
        }
    }
    text.resize(units);
    return text;
}

size_t PlainScan(std::wstring_view text, std::wstring_view pattern) {
    size_t count = 0;
    for (size_t at = text.find(pattern); at != std::wstring_view::npos; at = text.find(pattern, at + pattern.size()))
        ++count;
    return count;
}

void ScanBenchmark() {
    const std::wstring needle = L"目印abc";
    const std::wstring text = MixedText(10u * 1024 * 1024 / sizeof(wchar_t), needle, 2000);
    double bestFind = 1e9, bestPlain = 1e9;
    size_t hits = 0, plainHits = 0;
    for (int round = 0; round < 5; ++round) {
        bestPlain = std::min(bestPlain, Seconds([&] { plainHits = PlainScan(text, needle); }));
        bestFind = std::min(bestFind, Seconds([&] { hits = app::findPositions(text, needle).size(); }));
    }
    Print("find_scan_10mb_hits", static_cast<double>(hits), "hits", 0);
    Print("find_plain_10mb_hits", static_cast<double>(plainHits), "hits", 0);
    Print("find_scan_10mb_ms", bestFind * 1000, "ms");
    Print("find_plain_10mb_ms", bestPlain * 1000, "ms");
    Print("find_scan_10mb_ratio", bestFind / bestPlain, "x");
}

// A document with the given number of hits of "abc", each on a line of Japanese text.
std::wstring Document(int hits) {
    std::wstring text;
    for (int i = 0; i < hits; ++i) text += L"これは" + std::to_wstring(i) + L"行目の文章で abc を含みます。\r\n";
    return text;
}

// A fresh editor holding the document, on a parent window of its own.
class Bench {
public:
    explicit Bench(const std::wstring& text) {
        parent_ = ::CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        editor_.Create(parent_, 1, RECT{0, 0, 780, 560});
        editor_.SetFont(SHIFTJIS_CHARSET, L"MS UI Gothic", 10);
        editor_.StreamInText(text);
        editor_.SetModified(false);
        ui::PumpMessages();
    }
    ~Bench() { ::DestroyWindow(parent_); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    HWND Parent() const { return parent_; }
    ui::RichEdit& Editor() { return editor_; }
    std::vector<long> Hits(const std::wstring& pattern) const {
        std::vector<long> hits;
        const std::wstring text = editor_.Text();
        for (size_t at = text.find(pattern); at != std::wstring::npos; at = text.find(pattern, at + pattern.size()))
            hits.push_back(static_cast<long>(at));
        return hits;
    }

private:
    HWND parent_ = nullptr;  // owns the editor's window
    ui::RichEdit editor_;
};

void BareMark(HWND editor, const std::vector<long>& hits, long length) {
    CHARFORMAT2W format = app::MarkedFormat();
    ::SendMessageW(editor, WM_SETREDRAW, FALSE, 0);
    for (long at : hits) {
        CHARRANGE r{at, at + length};
        ::SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        ::SendMessageW(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    ::SendMessageW(editor, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(editor, nullptr, TRUE);
}

void BareReplace(HWND editor, const std::vector<long>& hits, long length, const std::wstring& replacement) {
    CHARFORMAT2W format = app::ClearedFormat();
    ::SendMessageW(editor, WM_SETREDRAW, FALSE, 0);
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
        CHARRANGE r{*it, *it + length};
        ::SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        ::SendMessageW(editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        ::SendMessageW(editor, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(replacement.c_str()));
    }
    ::SendMessageW(editor, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(editor, nullptr, TRUE);
}

// The command against the bare loop, each on a fresh copy of the document, in alternating order; the best of
// three rounds on each side. The bare loop is handed the hit positions found beforehand, outside its time.
double Ratio(const std::wstring& document, const std::wstring& pattern, const std::function<void(Bench&)>& command,
             const std::function<void(HWND, const std::vector<long>&)>& bare) {
    double bestCommand = 1e9, bestBare = 1e9;
    for (int round = 0; round < 3; ++round) {
        for (int side = 0; side < 2; ++side) {
            Bench bench(document);
            if ((side == 0) == (round % 2 == 0)) {
                bestCommand = std::min(bestCommand, Seconds([&] { command(bench); }));
            } else {
                const std::vector<long> hits = bench.Hits(pattern);
                bestBare = std::min(bestBare, Seconds([&] { bare(bench.Editor().Handle(), hits); }));
            }
            ui::PumpMessages();
        }
    }
    return bestCommand / bestBare;
}

void EditorBenchmarks() {
    SilentPrompter prompter;
    ui::ScopedPrompter scope(prompter);
    const std::wstring pattern = L"abc";
    const std::wstring replacement = L"置換後";
    const std::wstring document = Document(2000);
    const long length = static_cast<long>(pattern.size());

    Print("mark_2000_ratio",
          Ratio(
              document, pattern, [&](Bench& b) { app::faindtxt(b.Parent(), &b.Editor(), pattern, true); },
              [&](HWND editor, const std::vector<long>& hits) { BareMark(editor, hits, length); }),
          "x");
    Print("replace_2000_ratio",
          Ratio(
              document, pattern,
              [&](Bench& b) { app::tikantxt(b.Parent(), &b.Editor(), pattern, [&] { return replacement; }); },
              [&](HWND editor, const std::vector<long>& hits) { BareReplace(editor, hits, length, replacement); }),
          "x");
}

}  // namespace

void RunFindBenchmarks() {
    ScanBenchmark();
    EditorBenchmarks();
}
