// The shell drag source: the drop source's answers, the count notice, every list and interface released once, and
// real drags of a file driven by mouse input onto a drop target window of the test.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/DRPCOMEX.h"
#include "shell/drpcomex_support.h"
#include "shell/shell_support.h"
#include "support/test_support.h"

namespace {

using Microsoft::WRL::ComPtr;
using shell::TDropSourceEx;
using shell_testing::CountingMalloc;
using testing_support::CentreOf;
using testing_support::OwnerWindow;
using testing_support::RecordingTarget;
using testing_support::ScriptedPrompter;
using testing_support::SendMouse;
using testing_support::TempDir;

// Keeps what the drag was given instead of running the system's drag loop, unless told to run it.
class RecordedDrag : public TDropSourceEx {
public:
    bool runSystemLoop = false;
    int drags = 0;
    DWORD allowed = 0;
    ComPtr<IDataObject> data;
    ComPtr<IDropSource> source;

protected:
    HRESULT RunDrag(IDataObject* d, IDropSource* s, DWORD a, DWORD* effect) override {
        ++drags;
        allowed = a;
        if (runSystemLoop) return TDropSourceEx::RunDrag(d, s, a, effect);
        data = d;
        source = s;
        return DRAGDROP_S_CANCEL;
    }
};

// A folder that lends nothing: the drag gets no data object from it.
class BarrenFolder final : public testing_support::StubFolder {
public:
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** out) override {
        ++asked;
        *out = nullptr;
        return E_FAIL;
    }
    int asked = 0;
};

// A file, its folder and item, a source window and a registered drop target window beside it.
struct DragScene {
    TempDir dir;
    std::wstring file = dir / L"運ぶ 한글.txt";
    std::optional<shell::SiblingItems> items;
    OwnerWindow source{100, 100, 200, 200};
    OwnerWindow targetWindow{500, 100, 200, 200};
    RecordingTarget target;
    RecordedDrag drag;

    DragScene() {
        testing_support::WriteBytes(file, "x");
        items = shell::PathsToItems(1, {file});
        ::RegisterDragDrop(targetWindow.get(), &target);
        drag.runSystemLoop = true;
    }
    ~DragScene() { ::RevokeDragDrop(targetWindow.get()); }

    // Presses the buttons over the source, starts the drag and lets `step` drive it, one step a tick, until it
    // says it is done; a drag that does not end is cancelled and reported.
    bool Run(DWORD downFlags, const std::function<bool(int tick)>& step) {
        SendMouse(MOUSEEVENTF_MOVE, CentreOf(source.get()));
        SendMouse(downFlags);
        testing_support::PumpFor(50);
        int tick = 0;
        bool finished = false, timedOut = false;
        ui::Timer driver(nullptr, 40);  // ticks through the drag loop
        driver.OnTimer = [&] {
            ++tick;
            if (tick > 100) {
                timedOut = true;
                ::PostMessageW(source.get(), WM_KEYDOWN, VK_ESCAPE, 0);
                SendMouse(MOUSEEVENTF_LEFTUP);
                SendMouse(MOUSEEVENTF_RIGHTUP);
            } else if (!finished) {
                finished = step(tick);
            }
        };
        drag.DragItems(source.get(), items->folder.Get(), items->items.get(), 1);
        return finished && !timedOut;
    }
};

const std::wstring kCountNotice = L"一度に選択できるファイルの数は1024までだよ^^;";

}  // namespace

TEST(DropSourceObject, EscapeCancelsAHeldLeftOrRightButtonGoesOnAndReleaseDrops) {
    const ComPtr<IDropSource> source = shell::TDropSourceObject::Create();
    const DWORD others[] = {0, MK_MBUTTON, MK_SHIFT, MK_CONTROL, MK_SHIFT | MK_CONTROL | MK_MBUTTON};
    for (DWORD other : others) {
        for (DWORD buttons : {0ul, DWORD{MK_LBUTTON}, DWORD{MK_RBUTTON}, DWORD{MK_LBUTTON | MK_RBUTTON}}) {
            const DWORD keys = buttons | other;
            SCOPED_TRACE(keys);
            EXPECT_EQ(source->QueryContinueDrag(TRUE, keys), static_cast<HRESULT>(0x00040101));
            EXPECT_EQ(source->QueryContinueDrag(FALSE, keys), buttons ? S_OK : static_cast<HRESULT>(0x00040100));
        }
    }
    for (DWORD effect : {DWORD{DROPEFFECT_NONE}, DWORD{DROPEFFECT_COPY}, DWORD{DROPEFFECT_MOVE | DROPEFFECT_SCROLL}})
        EXPECT_EQ(source->GiveFeedback(effect), static_cast<HRESULT>(0x00040102));
}

TEST(DropSource, CountsOutsideOneTo1024GiveTheNoticeAndNoDrag) {
    TempDir dir;
    testing_support::WriteBytes(dir / L"a.txt", "x");
    auto items = shell::PathsToItems(1, {dir / L"a.txt"});
    ASSERT_TRUE(items);
    OwnerWindow owner;
    ScriptedPrompter prompter;
    CountingMalloc malloc;
    RecordedDrag drag;
    drag.DragItems(owner.get(), items->folder.Get(), items->items.get(), 0);
    drag.DragItems(owner.get(), items->folder.Get(), items->items.get(), 1025);
    ASSERT_EQ(prompter.messages.size(), 2u);
    for (const auto& shown : prompter.messages) {
        EXPECT_EQ(shown.text, kCountNotice);
        EXPECT_EQ(shown.caption, L"ファイル選択でのお知らせ");
        EXPECT_EQ(shown.flags & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
    }
    // Missing parts end the drag silently.
    drag.DragItems(nullptr, items->folder.Get(), items->items.get(), 1);
    drag.DragItems(owner.get(), nullptr, items->items.get(), 1);
    drag.DragItems(owner.get(), items->folder.Get(), nullptr, 1);
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(drag.drags, 0);
    EXPECT_EQ(malloc.allocations, 0);
}

TEST(DropSource, EveryListAndInterfaceOfADragIsReleasedOnce) {
    TempDir dir;
    std::vector<std::wstring> paths;
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) {
        paths.push_back(dir / name);
        testing_support::WriteBytes(paths.back(), "x");
    }
    auto items = shell::PathsToItems(3, paths);
    ASSERT_TRUE(items);
    OwnerWindow owner;
    ScriptedPrompter prompter;
    CountingMalloc malloc;
    RecordedDrag drag;

    drag.DragItems(owner.get(), items->folder.Get(), items->items.get(), 3);
    ASSERT_EQ(drag.drags, 1);
    EXPECT_EQ(drag.allowed, static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK));
    EXPECT_EQ(malloc.allocations, 3);
    EXPECT_EQ(malloc.live.size(), 0u);
    // The drag kept no reference of its own to either interface.
    EXPECT_EQ(drag.data.Reset(), 0u);
    EXPECT_EQ(drag.source.Reset(), 0u);

    // Fewer items than the count: no drag, and the copies made so far are freed.
    drag.DragItems(owner.get(), items->folder.Get(), items->items.get(), 4);
    BarrenFolder barren;
    drag.DragItems(owner.get(), &barren, items->items.get(), 2);
    EXPECT_EQ(barren.asked, 1);
    EXPECT_EQ(drag.drags, 1);
    EXPECT_EQ(malloc.live.size(), 0u);
    EXPECT_EQ(malloc.doubleFrees, 0);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST(DropSource, ADragWithTheLeftButtonDropsTheFileOnTheTarget) {
    DragScene scene;
    ASSERT_TRUE(scene.items);
    const bool finished = scene.Run(MOUSEEVENTF_LEFTDOWN, [&](int tick) {
        if (tick == 1) SendMouse(MOUSEEVENTF_MOVE, CentreOf(scene.targetWindow.get()));
        if (tick == 4) SendMouse(MOUSEEVENTF_LEFTUP);
        return tick >= 4;
    });
    EXPECT_TRUE(finished);
    EXPECT_EQ(scene.target.drops, 1);
    EXPECT_EQ(scene.target.dropped, std::vector<std::wstring>{scene.file});
}

TEST(DropSource, ADragHeldWithBothButtonsDropsOnlyWhenBothAreUp) {
    DragScene scene;
    ASSERT_TRUE(scene.items);
    int dropsWithRightStillDown = -1;
    const bool finished = scene.Run(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_RIGHTDOWN, [&](int tick) {
        if (tick == 1) SendMouse(MOUSEEVENTF_MOVE, CentreOf(scene.targetWindow.get()));
        if (tick == 3) SendMouse(MOUSEEVENTF_LEFTUP);
        if (tick == 6) dropsWithRightStillDown = scene.target.drops;
        if (tick == 7) SendMouse(MOUSEEVENTF_RIGHTUP);
        return tick >= 7;
    });
    EXPECT_TRUE(finished);
    EXPECT_EQ(dropsWithRightStillDown, 0);
    EXPECT_EQ(scene.target.drops, 1);
    EXPECT_EQ(scene.target.dropped, std::vector<std::wstring>{scene.file});
}

TEST(DropSource, EscapeDuringTheDragDropsNothing) {
    DragScene scene;
    ASSERT_TRUE(scene.items);
    const bool finished = scene.Run(MOUSEEVENTF_LEFTDOWN, [&](int tick) {
        if (tick == 1) SendMouse(MOUSEEVENTF_MOVE, CentreOf(scene.targetWindow.get()));
        if (tick == 4) ::PostMessageW(scene.source.get(), WM_KEYDOWN, VK_ESCAPE, 0);
        return tick >= 4;
    });
    SendMouse(MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(finished);
    EXPECT_EQ(scene.target.enters, 1);
    EXPECT_EQ(scene.target.leaves, 1);
    EXPECT_EQ(scene.target.drops, 0);
    EXPECT_TRUE(::GetFileAttributesW(scene.file.c_str()) != INVALID_FILE_ATTRIBUTES);
}
