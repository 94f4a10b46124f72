// The folder combo: its fixed rows, the path rows that come and go as the tree's folder changes, drawing, and the
// link to the tree both ways.
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/ComboView.h"
#include "shell/FolderView.h"
#include "shell/drpcomex_support.h"
#include "shell/shell_support.h"
#include "support/test_support.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace {

using shell::TComboView;
using shell::UniqueIdList;
using testing_support::OwnerWindow;

// A form of the test: a shown window with a panel of ours, which hands the combo its own messages.
struct ComboForm {
    OwnerWindow window{100, 100, 500, 400};
    ui::Component form;
    ui::Panel panel{&form, window.get(), RECT{0, 0, 480, 380}};
};

UniqueIdList Special(int csidl) {
    ITEMIDLIST* raw = nullptr;
    ::SHGetSpecialFolderLocation(nullptr, csidl, &raw);
    return shell::OwnIdList(raw);
}

bool Same(const ITEMIDLIST* a, const ITEMIDLIST* b) {
    return shell::CompareIds(shell::DesktopFolder(), a, b) == 0;
}

// The absolute lists of the folders in a folder, as the shell lists them.
std::vector<UniqueIdList> FoldersIn(const ITEMIDLIST* absolute) {
    std::vector<UniqueIdList> found;
    const auto folder = shell::BindToFolder(absolute);
    Microsoft::WRL::ComPtr<IEnumIDList> entries;
    if (!folder || folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &entries) != S_OK)
        return found;
    ITEMIDLIST* raw = nullptr;
    ULONG n = 0;
    while (entries->Next(1, &raw, &n) == S_OK) {
        const UniqueIdList item = shell::OwnIdList(raw);
        found.push_back(shell::ConcatIdLists(absolute, item.get()));
    }
    return found;
}

int RowOf(const TComboView& combo, const ITEMIDLIST* list) {
    for (int i = 0; i < combo.RowCount(); ++i)
        if (Same(combo.RowIdList(i), list)) return i;
    return -1;
}

int RowOfPath(const TComboView& combo, const std::wstring& path) {
    const UniqueIdList list = shell::PathToIdList(path);
    return RowOf(combo, list.get());
}

std::vector<std::wstring> RowPaths(const TComboView& combo) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < combo.RowCount(); ++i) paths.push_back(shell::PathOfIdList(combo.RowIdList(i)));
    return paths;
}

// A folder B inside a folder A at the top of drive C, removed at the end.
struct DeepFolder {
    std::wstring a = L"C:\\pilka_combo_" + std::to_wstring(::GetCurrentProcessId());
    std::wstring b = a + L"\\下の 폴더";
    DeepFolder() { std::filesystem::create_directories(std::filesystem::path(b)); }
    ~DeepFolder() {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(a), ec);
    }
};

void Browse(TComboView& combo, const std::wstring& path) {
    const UniqueIdList list = shell::PathToIdList(path);
    ASSERT_TRUE(list);
    combo.BrowseTo(list.get());
}

// Opens the list and clicks the row with the mouse, as a user picks it.
void PickWithTheMouse(TComboView& combo, int row) {
    ::SendMessageW(combo.Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetComboBoxInfo(combo.Handle(), &info));
    ::SendMessageW(info.hwndList, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
    RECT r{};
    ::SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(info.hwndList, &at);
    ::SetCursorPos(at.x, at.y);
    INPUT clicks[2]{};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, clicks, sizeof(INPUT));
    testing_support::PumpUntil([&] { return !::SendMessageW(combo.Handle(), CB_GETDROPPEDSTATE, 0, 0); }, 2000);
    testing_support::PumpFor(50);
}

// What the combo draws for a row on a bitmap of the test: the pixels of a rectangle of 200 by the row height at
// `left`, first filled with a colour the combo never uses.
class DrawnRow {
public:
    static constexpr COLORREF kUntouched = RGB(255, 0, 255);

    DrawnRow(const ComboForm& f, const TComboView& combo, int row, UINT state, int left = 0)
        : height_(combo.ItemHeight()), width_(left + 200) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        pixels_ = static_cast<const DWORD*>(bits);
        dc_.reset(::CreateCompatibleDC(nullptr));
        const ui::SelectIn select(dc_.get(), bitmap_.get());
        const RECT all{0, 0, width_, height_};
        const ui::UniqueBrush fill(::CreateSolidBrush(kUntouched));
        ::FillRect(dc_.get(), &all, fill.get());
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_COMBOBOX;
        item.itemID = static_cast<UINT>(row);
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hwndItem = combo.Handle();
        item.hDC = dc_.get();
        item.rcItem = RECT{left, 0, width_, height_};
        ::SendMessageW(f.panel.Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
        ::GdiFlush();
    }
    COLORREF At(int x, int y) const {
        const DWORD p = pixels_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // True when every pixel of the columns [from, to) has the colour.
    bool AllOf(int from, int to, COLORREF colour) const {
        for (int x = from; x < to; ++x)
            for (int y = 0; y < height_; ++y)
                if (At(x, y) != colour) return false;
        return true;
    }

private:
    int height_, width_;
    ui::UniqueBitmap bitmap_;
    ui::UniqueDc dc_;
    const DWORD* pixels_ = nullptr;
};

}  // namespace

TEST(ComboView, AfterLoadingTheDesktopComesFirstThenItsFoldersWithTheDrivesUnderTheComputer) {
    ComboForm f;
    f.form.BeginLoading();
    TComboView combo(&f.form, f.panel.Handle());
    EXPECT_EQ(combo.RowCount(), 0);  // the rows wait for the end of loading
    f.form.EndLoading();

    ASSERT_GT(combo.RowCount(), 3);
    EXPECT_EQ(combo.SelectedRow(), 0);
    EXPECT_EQ(combo.RowLevel(0), 0);
    EXPECT_EQ(shell::CountItems(combo.RowIdList(0)), 0);
    EXPECT_EQ(combo.RowName(0), L"デスクトップ");

    const UniqueIdList desktop = Special(CSIDL_DESKTOP);
    const auto topFolders = FoldersIn(desktop.get());
    int levelOne = 0;
    for (int i = 1; i < combo.RowCount(); ++i) {
        EXPECT_TRUE(combo.RowLevel(i) == 1 || combo.RowLevel(i) == 2) << i;
        if (combo.RowLevel(i) == 1) ++levelOne;
    }
    EXPECT_EQ(levelOne, static_cast<int>(topFolders.size()));
    for (const auto& top : topFolders) EXPECT_GE(RowOf(combo, top.get()), 1);
    // Siblings stand in the shell's own order, the desktop's folders as the computer's drives.
    std::vector<const ITEMIDLIST*> previous(3, nullptr);  // the last row seen of each level
    for (int i = 1; i < combo.RowCount(); ++i) {
        const int level = combo.RowLevel(i);
        if (previous[level]) {
            EXPECT_LT(shell::CompareIds(shell::DesktopFolder(), previous[level], combo.RowIdList(i)), 0) << i;
        }
        previous[level] = combo.RowIdList(i);
        if (level == 1) previous[2] = nullptr;  // a new parent starts a new run of children
    }

    // The computer's row is followed by every drive, C: and Z: among them.
    const UniqueIdList computer = Special(CSIDL_DRIVES);
    const int computerRow = RowOf(combo, computer.get());
    ASSERT_GE(computerRow, 1);
    EXPECT_EQ(combo.RowLevel(computerRow), 1);
    const auto drives = FoldersIn(computer.get());
    for (size_t k = 0; k < drives.size(); ++k) {
        const int row = computerRow + 1 + static_cast<int>(k);
        EXPECT_EQ(combo.RowLevel(row), 2);
        EXPECT_GE(RowOf(combo, drives[k].get()), computerRow + 1);
    }
    const auto paths = RowPaths(combo);
    const auto c = std::find(paths.begin(), paths.end(), L"C:\\");
    ASSERT_NE(c, paths.end());
    EXPECT_GT(c - paths.begin(), computerRow);
    EXPECT_LE(c - paths.begin(), computerRow + static_cast<int>(drives.size()));
    EXPECT_NE(std::find(paths.begin(), paths.end(), L"Z:\\"), paths.end());
    for (int i = 0; i < combo.RowCount(); ++i)
        printf("%d L%d '%ls' %ls\n", i, combo.RowLevel(i), combo.RowName(i).c_str(), paths[i].c_str());
}

TEST(ComboView, BrowsingAddsTheMissingAncestorsAfterTheDriveAndTheNextFolderRemovesThem) {
    ComboForm f;
    DeepFolder deep;
    TComboView combo(&f.form, f.panel.Handle());
    const auto fixed = RowPaths(combo);
    const int c = RowOfPath(combo, L"C:\\");
    const int z = RowOfPath(combo, L"Z:\\");
    ASSERT_GT(c, 0);
    ASSERT_GT(z, 0);

    Browse(combo, deep.b);
    ASSERT_EQ(combo.RowCount(), static_cast<int>(fixed.size()) + 2);
    EXPECT_EQ(shell::PathOfIdList(combo.RowIdList(c + 1)), deep.a);
    EXPECT_EQ(combo.RowLevel(c + 1), 3);
    EXPECT_EQ(shell::PathOfIdList(combo.RowIdList(c + 2)), deep.b);
    EXPECT_EQ(combo.RowLevel(c + 2), 4);
    EXPECT_EQ(combo.RowName(c + 2), L"下の 폴더");
    EXPECT_EQ(combo.SelectedRow(), c + 2);

    // Another drive's root is a fixed row: the path rows go and none come.
    Browse(combo, L"Z:\\");
    EXPECT_EQ(RowPaths(combo), fixed);
    EXPECT_EQ(combo.SelectedRow(), z);

    // An ancestor alone after its child: one path row.
    Browse(combo, deep.b);
    Browse(combo, deep.a);
    EXPECT_EQ(combo.RowCount(), static_cast<int>(fixed.size()) + 1);
    EXPECT_EQ(combo.SelectedRow(), c + 1);
}

TEST(ComboView, BrowsingToTheDesktopSelectsTheFirstRowAndKeepsOnlyTheFixedRows) {
    ComboForm f;
    DeepFolder deep;
    TComboView combo(&f.form, f.panel.Handle());
    const auto fixed = RowPaths(combo);
    Browse(combo, deep.b);
    const UniqueIdList desktop = Special(CSIDL_DESKTOP);
    combo.BrowseTo(desktop.get());
    EXPECT_EQ(combo.SelectedRow(), 0);
    EXPECT_EQ(RowPaths(combo), fixed);
    combo.BrowseTo(nullptr);  // an absent list is no folder
    EXPECT_EQ(combo.SelectedRow(), 0);
}

TEST(ComboView, EveryRowsListIsFreedOnce) {
    ComboForm f;
    DeepFolder deep;
    shell_testing::CountingMalloc malloc;
    {
        TComboView combo(&f.form, f.panel.Handle());
        Browse(combo, deep.b);
        Browse(combo, L"Z:\\");
        Browse(combo, deep.b);
        EXPECT_GT(malloc.live.size(), 0u);
    }
    EXPECT_TRUE(malloc.live.empty());
    EXPECT_EQ(malloc.doubleFrees, 0);
}

TEST(ComboView, TheTreesFolderComesToTheComboAndAPickedRowMovesTheTree) {
    ComboForm f;
    DeepFolder deep;
    shell::TFolderView tree(&f.form, f.panel.Handle());
    tree.SetBounds(0, 40, 300, 300);
    TComboView combo(&f.form, f.panel.Handle());
    combo.SetBounds(0, 0, 300);
    combo.SetFolderView(&tree);
    EXPECT_EQ(tree.ComboView(), static_cast<shell::LinkedFolderView*>(&combo));
    const int fixed = combo.RowCount();

    ASSERT_TRUE(tree.SelectPath(deep.b));
    const int c = RowOfPath(combo, L"C:\\");
    EXPECT_EQ(combo.SelectedRow(), c + 2);
    EXPECT_EQ(combo.RowCount(), fixed + 2);

    int changes = 0;
    combo.OnChange = [&] { ++changes; };
    PickWithTheMouse(combo, c);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tree.GetSelectedPath(), L"C:\\");
    EXPECT_EQ(combo.SelectedRow(), c);
    EXPECT_EQ(combo.RowCount(), fixed);

    // The desktop's row is the tree's root.
    PickWithTheMouse(combo, 0);
    EXPECT_EQ(tree.Selected(), tree.Root());
    EXPECT_EQ(combo.SelectedRow(), 0);
}

TEST(ComboView, RemovingTheLinkedTreeClearsTheLinkAndAPickThenMovesNothing) {
    ComboForm f;
    auto tree = std::make_unique<shell::TFolderView>(&f.form, f.panel.Handle());
    TComboView combo(&f.form, f.panel.Handle());
    combo.SetBounds(0, 0, 300);
    combo.SetFolderView(tree.get());
    tree.reset();
    EXPECT_EQ(combo.FolderView(), nullptr);
    int changes = 0;
    combo.OnChange = [&] { ++changes; };
    PickWithTheMouse(combo, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo.SelectedRow(), 1);

    // The other way round: a combo that goes unlinks itself from the tree.
    shell::TFolderView other(&f.form, f.panel.Handle());
    {
        TComboView shortLived(&f.form, f.panel.Handle());
        shortLived.SetFolderView(&other);
        EXPECT_NE(other.ComboView(), nullptr);
    }
    EXPECT_EQ(other.ComboView(), nullptr);
    EXPECT_TRUE(other.SelectPath(L"C:\\"));
    // Unlinking by hand clears both links.
    combo.SetFolderView(&other);
    combo.SetFolderView(nullptr);
    EXPECT_EQ(other.ComboView(), nullptr);
    EXPECT_EQ(combo.FolderView(), nullptr);
}

TEST(ComboView, ListRowsAreIndentedByDepthWithTheirIconAndTheClosedFieldIsNot) {
    ComboForm f;
    TComboView combo(&f.form, f.panel.Handle());
    combo.SetBounds(0, 0, 300);
    const int c = RowOfPath(combo, L"C:\\");
    ASSERT_EQ(combo.RowLevel(c), 2);
    const COLORREF window = ::GetSysColor(COLOR_WINDOW), highlight = ::GetSysColor(COLOR_HIGHLIGHT);

    // A row of the closed list is nowhere to be seen: nothing is drawn.
    EXPECT_TRUE(DrawnRow(f, combo, c, 0).AllOf(0, 200, DrawnRow::kUntouched));

    ::SendMessageW(combo.Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    const DrawnRow plain(f, combo, c, 0);
    EXPECT_TRUE(plain.AllOf(0, 20, window));    // two levels of ten pixels
    EXPECT_FALSE(plain.AllOf(20, 36, window));  // the icon
    EXPECT_TRUE(plain.AllOf(190, 200, window));

    const DrawnRow selected(f, combo, c, ODS_SELECTED | ODS_FOCUS);
    EXPECT_TRUE(selected.AllOf(0, 20, highlight));
    EXPECT_FALSE(selected.AllOf(20, 36, highlight));
    EXPECT_TRUE(selected.AllOf(190, 200, highlight));
    ::SendMessageW(combo.Handle(), CB_SHOWDROPDOWN, FALSE, 0);

    // The field: the icon one pixel in from its left edge, no highlight.
    const DrawnRow field(f, combo, c, ODS_COMBOBOXEDIT | ODS_SELECTED | ODS_FOCUS, 3);
    EXPECT_TRUE(field.AllOf(3, 4, window));
    EXPECT_FALSE(field.AllOf(4, 20, window));
    EXPECT_TRUE(field.AllOf(190, 200, window));
    // The name is written after the icon in both.
    EXPECT_FALSE(plain.AllOf(39, 120, window));
    EXPECT_FALSE(field.AllOf(23, 120, window));
}
