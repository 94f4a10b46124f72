// Work off the window's thread: jobs on a worker, results back through the window's message loop.
#include <windows.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "ui/background.h"
#include "ui/owned.h"

TEST(Background, JobsRunInOrderOffTheWindowsThreadAndTheirResultsComeBackOnIt) {
    ui::UiInbox inbox;
    ui::BackgroundWorker worker;
    const DWORD windowThread = ::GetCurrentThreadId();
    std::vector<int> arrived;
    std::vector<DWORD> ranOn;
    for (int i = 0; i < 5; ++i) {
        worker.Run([i, sender = inbox.MakeSender(), &ranOn, windowThread, &arrived] {
            const DWORD worker = ::GetCurrentThreadId();
            sender.Post([i, worker, windowThread, &ranOn, &arrived] {
                ranOn.push_back(worker);
                arrived.push_back(::GetCurrentThreadId() == windowThread ? i : -1);
            });
        });
    }
    ASSERT_TRUE(testing_support::PumpUntil([&] { return arrived.size() == 5; }, 5000));
    EXPECT_EQ(arrived, (std::vector<int>{0, 1, 2, 3, 4}));
    for (DWORD t : ranOn) EXPECT_NE(t, windowThread);
    EXPECT_FALSE(worker.Busy());
}

TEST(Background, NothingPostedRunsOnceTheInboxIsGone) {
    auto inbox = std::make_unique<ui::UiInbox>();
    const ui::UiInbox::Sender sender = inbox->MakeSender();
    int ran = 0;
    auto counted = std::make_shared<int>(0);
    EXPECT_TRUE(sender.Post([&ran, counted] { ++ran; }));
    inbox.reset();  // the pending post is freed unrun
    EXPECT_EQ(counted.use_count(), 1);
    EXPECT_FALSE(sender.Post([&ran] { ++ran; }));
    testing_support::PumpFor(100);
    EXPECT_EQ(ran, 0);
}

TEST(Background, AResultThatDestroysItsInboxStopsTheRest) {
    auto inbox = std::make_unique<ui::UiInbox>();
    const ui::UiInbox::Sender sender = inbox->MakeSender();
    int after = 0;
    sender.Post([&inbox] { inbox.reset(); });
    sender.Post([&after] { ++after; });
    testing_support::PumpFor(100);
    EXPECT_EQ(inbox, nullptr);
    EXPECT_EQ(after, 0);
}

TEST(Background, AStaleGenerationTellsItsJobToStop) {
    ui::Generation generation;
    const ui::Generation::Token first = generation.Start();
    EXPECT_FALSE(first.Stale());
    const ui::Generation::Token second = generation.Start();
    EXPECT_TRUE(first.Stale());
    EXPECT_FALSE(second.Stale());
    generation.CancelAll();
    EXPECT_TRUE(second.Stale());
    EXPECT_TRUE(ui::Generation::Token().Stale());
}

TEST(Background, AWorkerGoesAwayWhileAJobHangsAndDropsWhatWasQueued) {
    const ui::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto queuedRan = std::make_shared<std::atomic<bool>>(false);
    auto started = std::make_shared<std::atomic<bool>>(false);
    {
        ui::BackgroundWorker worker;
        HANDLE event = release.get();
        worker.Run([event, started] {
            *started = true;
            ::WaitForSingleObject(event, 30000);  // a drive that does not answer
        });
        worker.Run([queuedRan] { *queuedRan = true; });
        ASSERT_TRUE(testing_support::PumpUntil([&] { return started->load(); }, 5000));
        EXPECT_TRUE(worker.Busy());
    }  // returns after its bounded wait, leaving the hanging job behind
    ::SetEvent(release.get());
    testing_support::PumpFor(200);
    EXPECT_FALSE(queuedRan->load());
}

// Shell code run on a worker makes windows there; another program that sends them a message waits until the worker
// answers it, so the worker must serve them while it has nothing to do and while a job waits.
TEST(Background, AWorkersOwnWindowsAnswerWhileItIsIdleAndWhileAJobWaits) {
    ui::BackgroundWorker worker;
    auto window = std::make_shared<std::atomic<HWND>>(nullptr);
    worker.Run([window] {
        *window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    });
    ASSERT_TRUE(testing_support::PumpUntil([&] { return window->load() && !worker.Busy(); }, 5000));
    const auto answers = [&] {
        DWORD_PTR result = 0;
        return ::SendMessageTimeoutW(window->load(), WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
    };
    EXPECT_TRUE(answers()) << "idle";

    const ui::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto waiting = std::make_shared<std::atomic<bool>>(false);
    worker.Run([event = release.get(), waiting] {
        *waiting = true;
        ui::WaitPumping(event, 10000);
    });
    ASSERT_TRUE(testing_support::PumpUntil([&] { return waiting->load(); }, 5000));
    EXPECT_TRUE(answers()) << "while a job waits";
    ::SetEvent(release.get());
    worker.Run([window] { ::DestroyWindow(window->load()); });
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !worker.Busy(); }, 5000));
}

namespace {
// A message queue that is full for the first wake message (Windows' limit of 10,000; Wine has none).
std::atomic<int> refusedPosts{0};
BOOL WINAPI RefuseFirstPost(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (refusedPosts.fetch_add(1) == 0) return FALSE;
    return ::PostMessageW(window, msg, wp, lp);
}
}  // namespace

TEST(Background, AResultWhoseWakeCouldNotBePostedStillArrives) {
    refusedPosts = 0;
    ui::UiInbox inbox(nullptr, RefuseFirstPost);
    bool ran = false;
    EXPECT_TRUE(inbox.MakeSender().Post([&ran] { ran = true; }));
    EXPECT_EQ(refusedPosts.load(), 1);
    // Nothing else is ever posted: only the inbox itself can bring the result in.
    EXPECT_TRUE(testing_support::PumpUntil([&] { return ran; }, 3000));
    EXPECT_EQ(refusedPosts.load(), 1);
}

TEST(Background, AResultThatThrowsLeavesTheRestOfItsBatchToRunAndIsShown) {
    testing_support::ScriptedPrompter prompter;
    ui::UiInbox inbox;
    const ui::UiInbox::Sender sender = inbox.MakeSender();
    std::vector<int> ran;
    // One batch: all three are pending before the inbox's wake is taken.
    sender.Post([&ran] { ran.push_back(1); });
    sender.Post([] { throw std::runtime_error("a result that fails"); });
    sender.Post([&ran] { ran.push_back(3); });
    ASSERT_TRUE(testing_support::PumpUntil([&] { return ran.size() == 2; }, 3000));
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
    // The failure still reaches the user, in the standard error box.
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].flags & MB_ICONERROR, 0u);
}
