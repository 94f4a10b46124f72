// The folder tree's selection of a folder eight levels below a drive root, from a fresh tree: every level on the
// way is listed for the first time, as when the program starts in a deep folder.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "support/host_window.h"
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
