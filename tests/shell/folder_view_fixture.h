// The fixture of the folder tree's tests: a real tree in a window of ours over a folder tree of its own on disk, and
// what its tests share to drive it and to read it back.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <windowsx.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "shell/FolderView.h"
#include "shell/folder_view_support.h"
#include "support/test_support.h"

namespace folder_test {

using namespace shell;
using testing_support::PumpFor;
using testing_support::TempDir;

inline void MakeDir(const std::wstring& path) {
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr)) << ::GetLastError();
}

inline bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// The parsing name of a folder as the shell gives it (the temporary folder may come with another spelling).
inline std::wstring ShellPath(const std::wstring& path) {
    const UniqueIdList list = PathToIdList(path);
    return GetDisplayName(DesktopFolder(), list.get(), SHGDN_FORPARSING).value_or(L"?");
}

// A view linked to the tree that records what it was told.
class RecordingView : public LinkedFolderView {
public:
    void BrowseTo(const ITEMIDLIST* absolute) override {
        paths.push_back(GetDisplayName(DesktopFolder(), absolute, SHGDN_FORPARSING).value_or(L"?"));
        sizes.push_back(IdListSize(absolute));
    }
    std::vector<std::wstring> paths;
    std::vector<UINT> sizes;
};

class FolderViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir.Path().wstring();
        MakeDir(root + L"\\alpha");
        MakeDir(root + L"\\alpha\\inner");
        MakeDir(root + L"\\empty");
        MakeDir(root + L"\\.secret");
        ::SetFileAttributesW((root + L"\\.secret").c_str(), FILE_ATTRIBUTE_HIDDEN);
        testing_support::WriteBytes(root + L"\\file.txt", "x");
        tree = std::make_unique<TFolderView>(nullptr, host.Handle());
        tree->SetBounds(0, 0, 480, 660);
        tree->SetIndent(19);
        tree->SetHideSelection(false);
        tree->SetRightClickSelect(true);
        tree->OnChange = [this](TFolderView*, HTREEITEM node) { changes.push_back(node); };
    }
    void TearDown() override { tree.reset(); }

    HTREEITEM Child(HTREEITEM node, const std::wstring& text) {
        for (HTREEITEM c : tree->Children(node)) {
            if (tree->NodeText(c) == text) return c;
        }
        return nullptr;
    }
    std::vector<std::wstring> Texts(HTREEITEM node) {
        std::vector<std::wstring> texts;
        for (HTREEITEM c : tree->Children(node)) texts.push_back(tree->NodeText(c));
        return texts;
    }
    HTREEITEM Select(const std::wstring& path) {
        EXPECT_TRUE(tree->SelectPath(path)) << path;
        return tree->Selected();
    }

    TempDir dir;
    std::wstring root;
    Host host;
    std::unique_ptr<TFolderView> tree;
    std::vector<HTREEITEM> changes;
};

// Types into the label editor of a node and ends the edit with the key.
inline void EditLabel(TFolderView& tree, HTREEITEM node, const std::wstring& text, WPARAM key) {
    HWND edit = TreeView_EditLabel(tree.Handle(), node);
    ASSERT_NE(edit, nullptr);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : text) ::SendMessageW(edit, WM_CHAR, c, 1);
    ::SendMessageW(edit, WM_KEYDOWN, key, 1);
    EXPECT_EQ(TreeView_GetEditControl(tree.Handle()), nullptr);
}

// Client point in the middle of a node's label.
inline LPARAM LabelPoint(TFolderView& tree, HTREEITEM node, int dx = 0, int dy = 0) {
    TreeView_EnsureVisible(tree.Handle(), node);
    const RECT r = tree.NodeLabelRect(node);
    return MAKELPARAM((r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2 + dy);
}

// The pointer itself goes there too: capturing the mouse makes the system report where the pointer really is.
inline void PointerTo(TFolderView& tree, HTREEITEM node) {
    const LPARAM at = LabelPoint(tree, node);
    POINT p{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    ::ClientToScreen(tree.Handle(), &p);
    ::SetCursorPos(p.x, p.y);
    PumpFor(100);
}

// The mouse as its driver reports it, at a point of the screen.
inline void MouseInput(POINT screen, DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = screen.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = screen.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof input);
}

}  // namespace folder_test
