// The file list on a folder of 10,000 files against the bare work it cannot avoid: listing the folder's names and
// putting them into a plain list view. Every figure is the best of a few rounds, with the rows painted on screen.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "support/host_window.h"
#include "shell/FileView.h"
#include "ui/window.h"

namespace {

using bench::Milliseconds;
using bench::Print;

constexpr int kFiles = 10000;
constexpr int kRounds = 3;

struct Host : testing_support::HostWindow {
    Host() : HostWindow(900, 720) {}
};

// Made once and kept between runs: 10,000 files of a few types (and none), of sizes from empty to a few KB.
std::filesystem::path TenThousandFiles() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"pilka_list_bench_10k";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    static const wchar_t* const kTypes[] = {L".txt", L".rtf", L".csv", L".log", L""};
    for (int i = 0; i < kFiles; ++i) {
        const std::filesystem::path file = folder / (L"file" + std::to_wstring(i) + kTypes[i % 5]);
        if (std::filesystem::exists(file, ec)) continue;
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const std::string bytes(static_cast<size_t>(i % 7) * 300, 'x');
        DWORD written = 0;
        if (!bytes.empty()) ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(h);
    }
    return folder;
}

// The bare work: one directory listing, the names into a plain list view, and the paint.
void BareFill(HWND plain, const std::filesystem::path& folder) {
    ::SendMessageW(plain, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(plain);
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    int n = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (data.cFileName[0] == L'.' && (data.cFileName[1] == 0 || data.cFileName[1] == L'.')) continue;
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = n++;
            item.pszText = data.cFileName;
            ListView_InsertItem(plain, &item);
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::SendMessageW(plain, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(plain, nullptr, TRUE);
    ::UpdateWindow(plain);
}

void Touch(const std::filesystem::path& file) {
    const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
}

// Until the rows show the folder as it is, painted.
void Settle(const shell::TFileView& list) {
    bench::PumpUntil([&] { return !list.Reading(); }, 60000);
    ::UpdateWindow(list.Handle());
}

void ClickHeader(HWND list, int column) {
    HWND header = ListView_GetHeader(list);
    RECT r{};
    Header_GetItemRect(header, column, &r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(header, WM_LBUTTONUP, 0, at);
}

}  // namespace

void RunListBenchmarks() {
    const std::filesystem::path folder = TenThousandFiles();
    const std::filesystem::path empty = std::filesystem::temp_directory_path() / L"pilka_list_bench_empty";
    std::error_code ec;
    std::filesystem::create_directories(empty, ec);
    const shell::UniqueIdList folderList = shell::PathToIdList(folder.wstring());
    const shell::UniqueIdList emptyList = shell::PathToIdList(empty.wstring());
    if (!folderList || !emptyList) {
        std::printf("list: the benchmark folder does not parse\n");
        return;
    }

    Host host;
    shell::TFileView list(nullptr, host.Handle());
    list.SetViewStyle(shell::ListViewStyle::Report);
    list.SetRowSelect(true);
    list.SetBounds(0, 0, 880, 680);
    HWND plain = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 880,
                                   680, host.Handle(), nullptr, nullptr, nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 200;
    column.pszText = const_cast<wchar_t*>(L"name");
    ListView_InsertColumn(plain, 0, &column);
    ui::PumpMessages();

    double fill = 1e9, bare = 1e9, refill = 1e9, refreshStall = 1e9, sortType = 1e9, sortSize = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        ::ShowWindow(plain, SW_HIDE);
        ::ShowWindow(list.Handle(), SW_SHOW);
        list.BrowseTo(emptyList.get());
        ui::PumpMessages();
        fill = std::min(fill, Milliseconds([&] {
                            list.BrowseTo(folderList.get());
                            Settle(list);
                        }));
        // A refresh as the monitor asks for it, with a file made and one gone since the fill.
        Touch(folder / L"refresh_made.txt");
        std::filesystem::remove(folder / L"file1.rtf", ec);
        {
            bench::StallWatch watch(host.Handle());
            refill = std::min(refill, Milliseconds([&] {
                                  list.FillItems();
                                  Settle(list);
                              }));
            refreshStall = std::min(refreshStall, watch.Stop());
        }
        std::filesystem::remove(folder / L"refresh_made.txt", ec);
        Touch(folder / L"file1.rtf");
        sortType = std::min(sortType, Milliseconds([&] {
                                ClickHeader(list.Handle(), 2);
                                Settle(list);
                            }));
        sortSize = std::min(sortSize, Milliseconds([&] {
                                ClickHeader(list.Handle(), 1);
                                Settle(list);
                            }));
        ClickHeader(list.Handle(), 0);  // back to the name for the next round's fill
        Settle(list);

        ::ShowWindow(list.Handle(), SW_HIDE);
        ::ShowWindow(plain, SW_SHOW);
        bare = std::min(bare, Milliseconds([&] { BareFill(plain, folder); }));
        ListView_DeleteAllItems(plain);
        ui::PumpMessages();
    }
    if (ListView_GetItemCount(list.Handle()) != kFiles) {
        std::printf("list: %d rows instead of %d\n", ListView_GetItemCount(list.Handle()), kFiles);
    }
    Print("list_fill_10k_ms", fill, "ms");
    Print("list_bare_10k_ms", bare, "ms");
    Print("list_fill_10k_ratio", fill / bare, "x");
    Print("list_refill_10k_ms", refill, "ms");
    Print("list_refresh_10k_stall_ms", refreshStall, "ms");
    Print("list_sort_10k_ms", sortType + sortSize, "ms");
    Print("list_sort_10k_type_ms", sortType, "ms");
    Print("list_sort_10k_size_ms", sortSize, "ms");
}
