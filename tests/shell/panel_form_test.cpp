// A form of the tests that places the whole folder panel as a form of one's own would: the folder combo and the drag
// source beside the tree and the list, all driven by mouse input.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/ComboView.h"
#include "shell/DRPCOMEX.h"
#include "shell/FileView.h"
#include "shell/FolderView.h"
#include "shell/drpcomex_support.h"
#include "support/test_support.h"
#include "ui/window.h"

namespace {

using testing_support::CentreOf;
using testing_support::SendMouse;

// As the README shows it, with accessors for the tests.
class FolderPane : public ui::Component {
public:
    explicit FolderPane(HWND parent) : panel_(this, parent, RECT{0, 0, 400, 600}) {
        BeginLoading();  // rows, nodes and list are filled once, when loading ends
        combo_ = std::make_unique<shell::TComboView>(this, panel_.Handle());
        tree_ = std::make_unique<shell::TFolderView>(this, panel_.Handle());
        list_ = std::make_unique<shell::TFileView>(this, panel_.Handle());
        tree_->SetFileView(list_.get());
        tree_->SetContextMenu(&menu_);
        list_->SetContextMenu(&menu_);
        tree_->SetDropSource(&drag_);
        list_->SetDropSource(&drag_);
        combo_->SetFolderView(tree_.get());  // the tree now tells the combo every folder it selects
        EndLoading();
        combo_->SetBounds(0, 0, 400);
        tree_->SetBounds(0, 30, 400, 270);
        list_->SetBounds(0, 300, 400, 300);
    }
    shell::TComboView& Combo() { return *combo_; }
    shell::TFolderView& Tree() { return *tree_; }
    shell::TFileView& List() { return *list_; }

private:
    ui::Panel panel_;
    shell::TContextMenuEx menu_{this};
    shell::TDropSourceEx drag_{this};
    std::unique_ptr<shell::TComboView> combo_;
    std::unique_ptr<shell::TFolderView> tree_;
    std::unique_ptr<shell::TFileView> list_;
};

// Runs one step a tick (the ticks go on inside the drag's and the controls' own loops) and then pumps a little.
bool RunSteps(const std::vector<std::function<void()>>& steps) {
    size_t next = 0;
    ui::Timer ticks(nullptr, 60);
    ticks.OnTimer = [&] {
        if (next < steps.size()) steps[next++]();
    };
    const bool done = testing_support::PumpUntil([&] { return next == steps.size(); }, 10000);
    testing_support::PumpFor(200);
    return done;
}

// Presses at a point of a control, moves out of the control's slop and drops on the target window.
bool DragWithTheMouse(HWND control, POINT clientPoint, HWND targetWindow) {
    POINT press = clientPoint;
    ::ClientToScreen(control, &press);
    const POINT drop = CentreOf(targetWindow);
    return RunSteps({
        [&] { SendMouse(MOUSEEVENTF_MOVE, press); },
        [&] { SendMouse(MOUSEEVENTF_LEFTDOWN); },
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{press.x + 15, press.y + 15});
        },
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{press.x + 30, press.y + 30});
        },
        [&] { SendMouse(MOUSEEVENTF_MOVE, drop); },
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{drop.x + 5, drop.y});
        },
        [&] { SendMouse(MOUSEEVENTF_LEFTUP); },
    });
}

// The test's form beside a registered drop target window of the test.
struct PaneAndTarget {
    testing_support::TempDir dir;
    testing_support::OwnerWindow window{50, 50, 420, 620};
    testing_support::OwnerWindow targetWindow{600, 100, 200, 200};
    testing_support::RecordingTarget target;
    FolderPane pane{window.get()};
    PaneAndTarget() { ::RegisterDragDrop(targetWindow.get(), &target); }
    ~PaneAndTarget() { ::RevokeDragDrop(targetWindow.get()); }
};

}  // namespace

TEST(PanelForm, AFolderDraggedOutOfTheTreeArrivesAtTheDropTargetAndTheComboFollows) {
    PaneAndTarget f;
    const std::wstring folder = f.dir / L"運ぶ フォルダ";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(f.pane.Tree().SelectPath(folder));
    const int row = f.pane.Combo().SelectedRow();
    ASSERT_GT(row, 0);
    EXPECT_EQ(shell::PathOfIdList(f.pane.Combo().RowIdList(row)), folder);

    const RECT label = f.pane.Tree().NodeLabelRect(f.pane.Tree().Selected());
    EXPECT_TRUE(DragWithTheMouse(f.pane.Tree().Handle(),
                                 POINT{(label.left + label.right) / 2, (label.top + label.bottom) / 2},
                                 f.targetWindow.get()));
    EXPECT_EQ(f.target.drops, 1);
    EXPECT_EQ(f.target.dropped, std::vector<std::wstring>{folder});
}

TEST(PanelForm, AFileDraggedOutOfTheListArrivesAtTheDropTarget) {
    PaneAndTarget f;
    const std::wstring file = f.dir / L"運ぶ 한글 😀.txt";
    testing_support::WriteBytes(file, "x");
    ASSERT_TRUE(f.pane.Tree().SelectPath(f.dir.Path().wstring()));
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !f.pane.List().Reading(); }, 20000));
    const HWND list = f.pane.List().Handle();
    int item = -1;
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        if (f.pane.List().GetItemPath(i) == file) item = i;
    ASSERT_GE(item, 0);
    RECT label{};
    ListView_GetItemRect(list, item, &label, LVIR_LABEL);
    EXPECT_TRUE(DragWithTheMouse(list, POINT{label.left + 10, (label.top + label.bottom) / 2}, f.targetWindow.get()));
    EXPECT_EQ(f.target.drops, 1);
    EXPECT_EQ(f.target.dropped, std::vector<std::wstring>{file});
}
