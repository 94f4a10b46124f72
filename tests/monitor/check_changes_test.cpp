// The shared timer's tick: one event per monitor for all changes since the last tick, found across chunks of
// handles, and handlers that stop, restart or destroy monitors while the tick runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "monitor_support.h"
#include "ui/error.h"

using monitor::TDirMonitor;
using monitor::TFindTimer;
using namespace monitor_test;

using CheckChanges = MonitorTest;

TEST_F(CheckChanges, ManyChangesBetweenTwoTicksGiveOneEventPerMonitor) {
    int a = 0, b = 0;
    auto first = CountingMonitor(dir_.Path(), a);
    auto second = CountingMonitor(dir_.Path(), b);
    Probe probe(dir_.Path());
    for (int i = 0; i < 30; ++i) Touch(dir_.Path() / (L"f" + std::to_wstring(i) + L".txt"));
    std::filesystem::remove(dir_.Path() / L"f3.txt");
    std::filesystem::rename(dir_.Path() / L"f4.txt", dir_.Path() / L"g4.txt");
    ASSERT_TRUE(probe.WaitForChange());

    ASSERT_TRUE(TickUntil([&] { return a > 0 && b > 0; }));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
}

TEST_F(CheckChanges, HandlersRunInTheOrderTheWatchesStarted) {
    std::vector<std::wstring> order;
    std::vector<std::unique_ptr<TDirMonitor>> monitors;
    for (const wchar_t* name : {L"c", L"a", L"b"}) {
        auto m = std::make_unique<TDirMonitor>();
        m->Name = name;
        m->OnChange = [&order](TDirMonitor* sender) { order.push_back(sender->Name); };
        m->SetDirectory(dir_.Path().wstring());
        m->SetActive(true);
        monitors.push_back(std::move(m));
    }
    monitors[0]->SetIncludeSubDir(true);  // restarted: now the latest
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::wstring>{L"a", L"b", L"c"}));
}

TEST_F(CheckChanges, SeventyMonitorsArePolledInChunks) {
    constexpr int kCount = 70;
    std::vector<int> counts(kCount, 0);
    std::vector<int> order;
    std::vector<std::unique_ptr<TDirMonitor>> monitors;
    for (int i = 0; i < kCount; ++i) {
        const auto sub = dir_.Path() / (L"d" + std::to_wstring(i));
        std::filesystem::create_directory(sub);
        auto m = std::make_unique<TDirMonitor>();
        m->OnChange = [&counts, &order, i](TDirMonitor*) {
            ++counts[static_cast<std::size_t>(i)];
            order.push_back(i);
        };
        m->SetDirectory(sub.wstring());
        m->SetActive(true);
        ASSERT_TRUE(m->Active()) << i;
        monitors.push_back(std::move(m));
    }
    ASSERT_EQ(TDirMonitor::ActiveMonitors().size(), static_cast<std::size_t>(kCount));

    // Only the 70th changes: its handle is the sixth of the second chunk.
    const auto last = dir_.Path() / L"d69";
    Probe probe(last);
    Touch(last / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return counts[69] == 1; }));
    EXPECT_EQ(order, std::vector<int>{69});

    // One in each chunk: the earlier comes first.
    order.clear();
    Probe probeFirst(dir_.Path() / L"d0");
    Touch(last / L"y.txt");
    Touch(dir_.Path() / L"d0" / L"y.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(probeFirst.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<int>{0, 69}));
}

TEST_F(CheckChanges, AHandlerMayDestroyItsOwnMonitorAndOthers) {
    std::vector<std::unique_ptr<TDirMonitor>> monitors(3);
    std::vector<int> counts(3, 0);
    for (int i = 0; i < 3; ++i)
        monitors[static_cast<std::size_t>(i)] = CountingMonitor(dir_.Path(), counts[static_cast<std::size_t>(i)]);
    std::wstring seen;
    // The captured text lives in the handler: it must still be there after the handler destroyed its monitor.
    monitors[0]->OnChange = [&, text = std::wstring(200, L'k')](TDirMonitor* sender) {
        EXPECT_EQ(sender, monitors[0].get());
        ++counts[0];
        monitors[2].reset();  // a later one that is signalled as well
        monitors[0].reset();  // and itself
        seen = text;
    };
    TDirMonitor* const survivor = monitors[1].get();

    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return counts[1] == 1; }));
    EXPECT_EQ(counts[0], 1);
    EXPECT_EQ(counts[2], 0);
    EXPECT_EQ(seen, std::wstring(200, L'k'));
    EXPECT_EQ(TDirMonitor::ActiveMonitors(), std::vector<TDirMonitor*>{survivor});
    EXPECT_TRUE(TimerEnabled());

    // The survivor goes on watching.
    Touch(dir_.Path() / L"y.txt");
    ASSERT_TRUE(probe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return counts[1] == 2; }));
}

TEST_F(CheckChanges, AHandlerMayDestroyEveryMonitor) {
    std::vector<std::unique_ptr<TDirMonitor>> monitors(4);
    std::vector<int> counts(4, 0);
    for (std::size_t i = 0; i < monitors.size(); ++i) monitors[i] = CountingMonitor(dir_.Path(), counts[i]);
    monitors[1]->OnChange = [&](TDirMonitor*) {
        ++counts[1];
        for (auto& m : monitors) m.reset();
    };
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return counts[1] == 1; }));
    EXPECT_EQ(counts, (std::vector<int>{1, 1, 0, 0}));
    EXPECT_TRUE(TDirMonitor::ActiveMonitors().empty());
    EXPECT_FALSE(TimerEnabled());
    TFindTimer::Shared().CheckChanges();  // an empty list: nothing to do
}

TEST_F(CheckChanges, AHandlerMayStopOrRestartMonitors) {
    testing_support::TempDir elsewhere;
    int a = 0, b = 0, c = 0;
    auto first = CountingMonitor(dir_.Path(), a);
    auto second = CountingMonitor(dir_.Path(), b);
    auto third = CountingMonitor(dir_.Path(), c);
    first->OnChange = [&](TDirMonitor* self) {
        ++a;
        second->SetActive(false);                        // signalled, but stopped before its turn
        self->SetDirectory(elsewhere.Path().wstring());  // its own watch moves
    };
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return c == 1; }));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_FALSE(second->Active());
    EXPECT_EQ(TDirMonitor::ActiveMonitors(), (std::vector<TDirMonitor*>{third.get(), first.get()}));

    Probe probeElsewhere(elsewhere.Path());
    Touch(elsewhere.Path() / L"y.txt");
    ASSERT_TRUE(probeElsewhere.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return a == 2; }));

    second->SetActive(true);  // stopped by another's handler, it can start again
    EXPECT_TRUE(second->Active());
}

TEST_F(CheckChanges, AHandlerThatChangesItsOwnFolderDoesNotHoldTheTick) {
    int count = 0;
    auto m = CountingMonitor(dir_.Path(), count);
    Probe handlerProbe(dir_.Path());
    m->OnChange = [&](TDirMonitor*) {
        ++count;
        if (count > 5) return;  // keeps a faulty tick from running forever
        // A change of its own, made sure to have reached the system before the handler returns.
        Touch(dir_.Path() / (L"log" + std::to_wstring(count) + L".txt"));
        handlerProbe.WaitForChange();
    };
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    handlerProbe.WaitForChange();  // the same change; the probe is re-armed for the handler's own

    ASSERT_TRUE(TickUntil([&] { return count > 0; }));
    EXPECT_EQ(count, 1) << "one event per tick";
    // The handler's change was not lost: it comes at the next tick.
    TFindTimer::Shared().CheckChanges();
    EXPECT_EQ(count, 2);
}

TEST_F(CheckChanges, AMonitorWithoutHandlerIsReArmed) {
    int count = 0;
    auto silent = CountingMonitor(dir_.Path(), count);
    silent->OnChange = nullptr;
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    TFindTimer::Shared().CheckChanges();  // nobody hears of this change, but it is consumed

    silent->OnChange = [&](TDirMonitor*) { ++count; };
    TFindTimer::Shared().CheckChanges();
    EXPECT_EQ(count, 0) << "an old change must not come out later";
    Touch(dir_.Path() / L"y.txt");
    ASSERT_TRUE(probe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return count == 1; }));
}

TEST_F(CheckChanges, ATickDuringAHandlerWaitsForTheRunningOne) {
    int a = 0, b = 0, bSeenInsideA = -1;
    auto first = CountingMonitor(dir_.Path(), a);
    auto second = CountingMonitor(dir_.Path(), b);
    first->OnChange = [&](TDirMonitor*) {
        ++a;
        TFindTimer::Shared().CheckChanges();  // as a modal box inside a handler would let the timer tick
        bSeenInsideA = b;
    };
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    ASSERT_TRUE(TickUntil([&] { return a == 1 && b == 1; }));
    EXPECT_EQ(bSeenInsideA, 0);
}

TEST_F(CheckChanges, AHandlersErrorEndsTheTickAndIsShownByTheTimer) {
    testing_support::ScriptedPrompter prompter;
    int a = 0, b = 0;
    auto failing = CountingMonitor(dir_.Path(), a);
    auto other = CountingMonitor(dir_.Path(), b);
    failing->OnChange = [&](TDirMonitor*) {
        ++a;
        throw ui::Error(L"監視できません");
    };
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"x.txt");
    ASSERT_TRUE(probe.WaitForChange());
    for (int i = 0; i < 1000 && a == 0; ++i) {
        try {
            TFindTimer::Shared().CheckChanges();
        } catch (const ui::Error& e) {
            EXPECT_EQ(e.Message(), L"監視できません");
        }
        if (a == 0) ::Sleep(10);
    }
    ASSERT_EQ(a, 1);
    EXPECT_EQ(b, 0) << "the tick ended with the error";
    EXPECT_TRUE(TickUntil([&] { return b == 1; })) << "the rest comes at the next tick";
    EXPECT_EQ(a, 1);

    // Through the timer the error reaches the standard error box, and later ticks go on.
    TFindTimer::Shared().SetInterval(50);
    Touch(dir_.Path() / L"y.txt");
    ASSERT_TRUE(testing_support::PumpUntil([&] { return prompter.messages.size() >= 1 && b >= 2; }, kPatience));
    EXPECT_EQ(prompter.messages[0].text, ui::ErrorBoxText(L"監視できません"));
    EXPECT_EQ(prompter.messages[0].flags & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
    Touch(dir_.Path() / L"z.txt");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return a >= 3; }, kPatience));
}
