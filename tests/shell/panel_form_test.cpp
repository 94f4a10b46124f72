// A form of the tests that places the whole folder panel as a form of one's own would: the folder combo and the drag
// source beside the tree, all driven by mouse input.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/ComboView.h"
#include "shell/DRPCOMEX.h"
#include "shell/FolderView.h"
#include "shell/drpcomex_support.h"
#include "support/test_support.h"
#include "ui/window.h"

namespace {

using testing_support::CentreOf;
using testing_support::SendMouse;

class FolderPane : public ui::Component {
public:
    explicit FolderPane(HWND parent) : panel_(this, parent, RECT{0, 0, 400, 600}) {
        BeginLoading();
        combo_ = std::make_unique<shell::TComboView>(this, panel_.Handle());
        tree_ = std::make_unique<shell::TFolderView>(this, panel_.Handle());
        tree_->SetContextMenu(&menu_);
        tree_->SetDropSource(&drag_);
        combo_->SetFolderView(tree_.get());
        EndLoading();
        combo_->SetBounds(0, 0, 400);
        tree_->SetBounds(0, 30, 400, 570);
    }
    shell::TComboView& Combo() { return *combo_; }
    shell::TFolderView& Tree() { return *tree_; }

private:
    ui::Panel panel_;
    shell::TContextMenuEx menu_{this};
    shell::TDropSourceEx drag_{this};
    std::unique_ptr<shell::TComboView> combo_;
    std::unique_ptr<shell::TFolderView> tree_;
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

}  // namespace

TEST(PanelForm, AFolderDraggedOutOfTheTreeArrivesAtTheDropTargetAndTheComboFollows) {
    testing_support::TempDir dir;
    const std::wstring folder = dir / L"運ぶ フォルダ";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    testing_support::OwnerWindow window(50, 50, 420, 620);
    testing_support::OwnerWindow targetWindow(600, 100, 200, 200);
    testing_support::RecordingTarget target;
    ASSERT_EQ(::RegisterDragDrop(targetWindow.get(), &target), S_OK);
    FolderPane pane(window.get());

    ASSERT_TRUE(pane.Tree().SelectPath(folder));
    const int row = pane.Combo().SelectedRow();
    ASSERT_GT(row, 0);
    EXPECT_EQ(shell::PathOfIdList(pane.Combo().RowIdList(row)), folder);

    const RECT label = pane.Tree().NodeLabelRect(pane.Tree().Selected());
    POINT press{(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    ::ClientToScreen(pane.Tree().Handle(), &press);
    const bool ran = RunSteps({
        [&] { SendMouse(MOUSEEVENTF_MOVE, press); },
        [&] { SendMouse(MOUSEEVENTF_LEFTDOWN); },
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{press.x + 15, press.y + 15});
        },
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{press.x + 30, press.y + 30});
        },
        [&] { SendMouse(MOUSEEVENTF_MOVE, CentreOf(targetWindow.get())); },
        [&] {
            SendMouse(MOUSEEVENTF_MOVE, POINT{CentreOf(targetWindow.get()).x + 5, CentreOf(targetWindow.get()).y});
        },
        [&] { SendMouse(MOUSEEVENTF_LEFTUP); },
    });
    ::RevokeDragDrop(targetWindow.get());
    EXPECT_TRUE(ran);
    EXPECT_EQ(target.drops, 1);
    EXPECT_EQ(target.dropped, std::vector<std::wstring>{folder});
}
