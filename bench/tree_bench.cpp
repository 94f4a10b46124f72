// The folder tree's selection of a folder eight levels below a drive root, from a fresh tree: every level on the
// way is listed for the first time, as when the program starts in a deep folder. And the tree while a shown folder
// keeps changing: how busy its refreshes keep its reading thread, and how long a branch opened meanwhile waits.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench_support.h"
#include "support/host_window.h"
#include "monitor/DirMontr.h"
#include "shell/FolderView.h"
#include "ui/window.h"

namespace {

using bench::Milliseconds;
using bench::Print;

struct Host : testing_support::HostWindow {
    Host() : HostWindow(400, 700) {}
};

// Eight levels below C:\, each beside a few sibling folders and files that the tree lists or skips on the way.
std::wstring MakeDeepFolder(const std::filesystem::path& top) {
    std::filesystem::path level = top;
    std::filesystem::create_directories(level);
    for (int depth = 2; depth <= 8; ++depth) {
        for (int sibling = 0; sibling < 6; ++sibling) {
            std::filesystem::create_directories(level / (L"sibling" + std::to_wstring(sibling)) / L"sub");
            const HANDLE file = ::CreateFileW((level / (L"file" + std::to_wstring(sibling) + L".txt")).c_str(),
                                              GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        }
        level /= L"level" + std::to_wstring(depth);
        std::filesystem::create_directories(level);
    }
    return level.wstring();
}

}  // namespace

void RunTreeBenchmarks() {
    const std::filesystem::path top = L"C:\\pilka_tree_bench_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring deep = MakeDeepFolder(top);
    double best = 1e9;
    bool selected = true;
    for (int round = 0; round < 5; ++round) {
        Host host;
        shell::TFolderView tree(nullptr, host.Handle());
        tree.SetBounds(0, 0, 380, 660);
        ui::PumpMessages();
        // Painted too: the icons of the nodes on screen are asked for when they are first drawn.
        best = std::min(best, Milliseconds([&] {
                            tree.SelectPath(deep);
                            ::UpdateWindow(tree.Handle());
                        }));
        selected = selected && ::lstrcmpiW(tree.GetSelectedPath().c_str(), deep.c_str()) == 0;
    }
    std::error_code ignored;
    std::filesystem::remove_all(top, ignored);
    if (!selected) std::printf("tree_select_deep: the folder was not selected\n");
    Print("tree_select_deep_ms", best, "ms");
}

namespace {

constexpr int kBranches = 40;  // 40 branches of 10 folders of 4: 2,040 folders held, their sub-folders listed
constexpr int kOpenBranches = 20;
constexpr int kSubs = 10;
constexpr int kLeaves = 4;
constexpr int kOpenings = 4;  // branches never opened, each opened once during the storm
constexpr int kOpeningChildren = 50;

std::wstring Numbered(const wchar_t* prefix, int i) {
    wchar_t name[32];
    swprintf(name, 32, L"%ls%02d", prefix, i);
    return name;
}

// The folders of the storm, made once and kept between runs.
std::filesystem::path StormTree() {
    const std::filesystem::path top = std::filesystem::temp_directory_path() / L"pilka_bench_tree_storm";
    std::error_code ec;
    const auto last = top / Numbered(L"late", kOpenings - 1) / Numbered(L"c", kOpeningChildren - 1);
    if (std::filesystem::exists(last, ec)) return top;
    for (int b = 0; b < kBranches; ++b)
        for (int s = 0; s < kSubs; ++s)
            for (int x = 0; x < kLeaves; ++x)
                std::filesystem::create_directories(top / Numbered(L"b", b) / Numbered(L"s", s) / Numbered(L"x", x),
                                                    ec);
    for (int i = 0; i < kOpenings; ++i)
        for (int c = 0; c < kOpeningChildren; ++c)
            std::filesystem::create_directories(top / Numbered(L"late", i) / Numbered(L"c", c), ec);
    std::filesystem::create_directories(top / L"shown", ec);
    return top;
}

HTREEITEM ChildNamed(shell::TFolderView& tree, HTREEITEM node, const std::wstring& name) {
    for (HTREEITEM child : tree.Children(node))
        if (tree.NodeText(child) == name) return child;
    return nullptr;
}

bool Expanded(shell::TFolderView& tree, HTREEITEM node) {
    return (TreeView_GetItemState(tree.Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

}  // namespace

// One file of the shown folder rewritten every 100 ms for 20 s, as a log that another program writes, with the
// tree holding some 2,000 folders, 20 branches open, and the panel's monitor (one look every 2 s) refreshing the
// tree: the share of the time the tree's reading thread is busy, and how long a branch that the user opens
// meanwhile takes until its sub-folders show (the longest of four).
void RunTreeStormBenchmarks() {
    const std::filesystem::path top = StormTree();
    const std::filesystem::path shown = top / L"shown";
    const std::filesystem::path log = shown / L"storm.log";
    std::ofstream(log) << "log";
    Host host;
    shell::TFolderView tree(nullptr, host.Handle());
    tree.SetBounds(0, 0, 380, 660);
    tree.SetIndent(19);
    tree.SelectPath(shown.wstring());
    const HTREEITEM shownNode = tree.Selected();
    const HTREEITEM topNode = tree.Parent(shownNode);
    // Every branch and every folder in it opened once, as a user who looked around; then the folders closed
    // again, and all but 20 of the branches.
    for (int b = 0; b < kBranches; ++b) {
        const HTREEITEM branch = ChildNamed(tree, topNode, Numbered(L"b", b));
        tree.Expand(branch);
        for (HTREEITEM sub : tree.Children(branch)) {
            tree.Expand(sub);
            tree.Collapse(sub);
        }
        if (b >= kOpenBranches) tree.Collapse(branch);
    }
    tree.SetSelected(shownNode);
    tree.ShowSelected();
    bench::PumpUntil([&] { return !tree.Reading(); }, 60000);
    bench::PumpUntil([] { return false; }, 500);

    monitor::TDirMonitor watch;
    watch.SetFilter(
        {monitor::dmfFileName, monitor::dmfDirName, monitor::dmfAttributes, monitor::dmfSize, monitor::dmfLastWrite});
    watch.SetIncludeSubDir(true);
    watch.SetInterval(2000);
    watch.SetDirectory(shown.wstring());
    watch.SetActive(true);
    // A branch the user opens as a refresh begins waits behind whatever the refresh gives the worker to do: the
    // second, fourth, sixth and eighth refresh each find a branch opened just after them.
    LARGE_INTEGER frequency{}, begin{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&begin);
    auto elapsedMs = [&] {
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    int refreshes = 0;
    int next = 0;
    HTREEITEM opening = nullptr;
    double openedAt = 0;
    watch.OnChange = [&](monitor::TDirMonitor*) {
        tree.Refresh();
        if (++refreshes % 2 != 0 || opening || next >= kOpenings) return;
        // The user scrolls to the branch and presses its button.
        opening = ChildNamed(tree, topNode, Numbered(L"late", next++));
        TreeView_EnsureVisible(tree.Handle(), opening);
        ::UpdateWindow(tree.Handle());
        const RECT label = tree.NodeLabelRect(opening);
        const LPARAM button = MAKELPARAM(label.left - 19 - 8, (label.top + label.bottom) / 2);
        openedAt = elapsedMs();
        ::SendMessageW(tree.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, button);
        ::SendMessageW(tree.Handle(), WM_LBUTTONUP, 0, button);
    };

    std::atomic<bool> over{false};
    const double busyBefore = tree.WorkerBusyMs();
    std::thread writer([&] {
        for (int tick = 0; tick < 200; ++tick) {
            std::ofstream(log, std::ios::trunc) << "line " << tick << "\n";
            ::Sleep(100);
        }
        over = true;
    });
    double longestOpening = 0;
    int opened = 0;
    bench::PumpUntil(
        [&] {
            if (opening && tree.Children(opening).size() >= static_cast<size_t>(kOpeningChildren) &&
                Expanded(tree, opening)) {
                longestOpening = std::max(longestOpening, elapsedMs() - openedAt);
                ++opened;
                opening = nullptr;
            }
            return over.load() && !opening;
        },
        60000);
    writer.join();
    const double wall = elapsedMs();
    const double busy = tree.WorkerBusyMs() - busyBefore;
    watch.SetActive(false);
    bench::PumpUntil([&] { return !tree.Reading(); }, 60000);
    if (opened < kOpenings) std::printf("panel_expand_during_storm: %d of %d branches opened\n", opened, kOpenings);
    std::printf("panel_storm_refreshes: %d\n", refreshes);
    Print("panel_worker_busy_storm_pct", 100.0 * busy / wall, "%", 1);
    Print("panel_expand_during_storm_ms", longestOpening, "ms", 0);
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
}
