// The monitor's properties and lifecycle: when a watch starts, restarts, fails and ends, and the shared timer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "monitor_support.h"
#include "ui/text.h"

using monitor::TDirMonitor;
using monitor::TFindTimer;
using namespace monitor_test;

namespace {

std::vector<TDirMonitor*> Active() {
    return TDirMonitor::ActiveMonitors();
}

std::wstring Upper(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(::towupper(c)); });
    return s;
}

// Puts the process's current directory back, also when a test ends early.
class CurrentDirectoryScope {
public:
    CurrentDirectoryScope() : saved_(std::filesystem::current_path()) {}
    ~CurrentDirectoryScope() {
        std::error_code ec;
        std::filesystem::current_path(saved_, ec);
    }
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;
    const std::filesystem::path& Saved() const { return saved_; }

private:
    std::filesystem::path saved_;
};

}  // namespace

using DirMonitor = MonitorTest;

TEST_F(DirMonitor, StartsIdleWithItsInitialValues) {
    TDirMonitor m;
    EXPECT_FALSE(m.Active());
    EXPECT_TRUE(m.Directory().empty());
    EXPECT_EQ(m.Filter(), monitor::kDefaultDirMonitorFilter);
    EXPECT_FALSE(m.IncludeSubDir());
    EXPECT_EQ(m.Interval(), 2000u);
    EXPECT_FALSE(m.OnChange);
    EXPECT_TRUE(Active().empty());
    EXPECT_FALSE(TimerEnabled());
}

TEST_F(DirMonitor, ReportsAChangeAtATickOfTheSharedTimer) {
    TFindTimer::Shared().SetInterval(50);
    TDirMonitor m;
    TDirMonitor* sender = nullptr;
    int count = 0;
    m.OnChange = [&](TDirMonitor* s) {
        sender = s;
        ++count;
    };
    m.SetDirectory(dir_.Path().wstring());
    m.SetActive(true);
    ASSERT_TRUE(m.Active());
    EXPECT_TRUE(TimerEnabled());

    Touch(dir_.Path() / L"new.txt");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return count > 0; }, kPatience));
    EXPECT_EQ(sender, &m);

    // Each change is reported again once the notification is re-armed.
    Touch(dir_.Path() / L"other.txt");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return count > 1; }, kPatience));
}

TEST_F(DirMonitor, WritersRestartTheWatchOnlyOnAChange) {
    // A restart stops the watch and starts it anew, which moves the monitor to the end of the active list.
    TDirMonitor a, b;
    for (TDirMonitor* m : {&a, &b}) {
        m->SetDirectory(dir_.Path().wstring());
        m->SetActive(true);
    }
    ASSERT_EQ(Active(), (std::vector<TDirMonitor*>{&a, &b}));

    a.SetActive(true);
    a.SetDirectory(dir_.Path().wstring());
    a.SetFilter(monitor::kDefaultDirMonitorFilter);
    a.SetIncludeSubDir(false);
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{&a, &b})) << "equal values must not restart";

    // The directory is compared as a string: the same folder in other letter case is a change.
    a.SetDirectory(Upper(dir_.Path().wstring()));
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.Directory(), Upper(dir_.Path().wstring()));
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{&b, &a}));

    b.SetIncludeSubDir(true);
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{&a, &b}));
    a.SetFilter({monitor::dmfFileName, monitor::dmfDirName});
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{&b, &a}));

    b.SetActive(false);
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{&a}));
    EXPECT_TRUE(TimerEnabled());
    a.SetActive(false);
    EXPECT_TRUE(Active().empty());
    EXPECT_FALSE(TimerEnabled());

    // Properties written while inactive start nothing.
    a.SetDirectory(L"");
    a.SetIncludeSubDir(false);
    EXPECT_TRUE(Active().empty());
}

TEST_F(DirMonitor, TheWatchedFolderInOtherLetterCaseStillReportsChanges) {
    int count = 0;
    auto m = CountingMonitor(dir_.Path(), count);
    m->SetDirectory(Upper(dir_.Path().wstring()));
    ASSERT_TRUE(m->Active());
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"a.txt");
    ASSERT_TRUE(probe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return count == 1; }));
}

TEST_F(DirMonitor, AnEmptyDirectoryIsNoWatchNotTheCurrentDirectory) {
    CurrentDirectoryScope cwd;
    std::filesystem::current_path(dir_.Path());
    int count = 0;
    auto m = CountingMonitor(L"", count);
    EXPECT_TRUE(m->Active());
    EXPECT_FALSE(m->Watching());
    EXPECT_TRUE(Active().empty());
    EXPECT_FALSE(TimerEnabled());

    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"ignored.txt");
    ASSERT_TRUE(probe.WaitForChange());
    TFindTimer::Shared().CheckChanges();
    EXPECT_EQ(count, 0) << "the process's current directory is not watched";

    // Emptied after a watch: the watch ends, the monitor stays active.
    m->SetDirectory(dir_.Path().wstring());
    EXPECT_TRUE(m->Watching());
    m->SetDirectory(L"");
    EXPECT_TRUE(m->Active());
    EXPECT_FALSE(m->Watching());
    EXPECT_TRUE(Active().empty());
}

TEST_F(DirMonitor, AFolderThatCannotBeWatchedLeavesTheMonitorIdleUntilTheNextOneThatCan) {
    int count = 0;
    auto m = CountingMonitor(dir_.Path(), count);
    ASSERT_TRUE(m->Watching());

    const auto missing = dir_.Path() / L"missing";
    Touch(dir_.Path() / L"file.txt");
    const std::wstring computer = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";  // a folder without a path
    for (const std::wstring& unwatchable : {missing.wstring(), (dir_.Path() / L"file.txt").wstring(), computer}) {
        m->SetDirectory(unwatchable);
        EXPECT_TRUE(m->Active()) << ui::Utf8FromWide(unwatchable);
        EXPECT_FALSE(m->Watching()) << ui::Utf8FromWide(unwatchable);
        EXPECT_TRUE(Active().empty());
        EXPECT_FALSE(TimerEnabled());
    }

    // The next folder that can be watched is watched, and reports its changes.
    m->SetDirectory(dir_.Path().wstring());
    EXPECT_TRUE(m->Watching());
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{m.get()}));
    EXPECT_TRUE(TimerEnabled());
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"a.txt");
    ASSERT_TRUE(probe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return count == 1; }));

    // The same for a filter that asks for nothing, and for its return.
    m->SetFilter({});
    EXPECT_TRUE(m->Active());
    EXPECT_FALSE(m->Watching());
    m->SetFilter({monitor::dmfChangeSecurity});
    EXPECT_TRUE(m->Watching()) << "the security flag alone is a valid filter";

    // Writing Active true again retries the same directory: it may have come since.
    m->SetDirectory(missing.wstring());
    EXPECT_FALSE(m->Watching());
    std::filesystem::create_directory(missing);
    m->SetActive(true);
    EXPECT_TRUE(m->Watching());

    // Inactive is no watch, whatever the directory.
    m->SetActive(false);
    EXPECT_FALSE(m->Watching());
    m->SetDirectory(dir_.Path().wstring());
    EXPECT_FALSE(m->Watching());
    EXPECT_TRUE(Active().empty());
}

TEST_F(DirMonitor, AFolderWhosePathIsLongerThanAPathBufferIsWatched) {
    std::wstring deep = dir_.Path().wstring();
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    int count = 0;
    auto m = CountingMonitor(deep, count);
    ASSERT_TRUE(m->Watching());
    const HANDLE made = ::CreateFileW((L"\\\\?\\" + deep + L"\\made.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    ::CloseHandle(made);
    EXPECT_TRUE(TickUntil([&] { return count == 1; }));
}

TEST_F(DirMonitor, NothingStartsWhileTheOwnerIsLoading) {
    ui::Component form;
    form.BeginLoading();
    TDirMonitor m(&form);
    TDirMonitor broken(&form);
    ASSERT_TRUE(m.Loading());
    m.SetActive(true);  // before the directory, as a form description may do
    m.SetDirectory(dir_.Path().wstring());
    m.SetIncludeSubDir(true);
    broken.SetActive(true);
    broken.SetDirectory((dir_.Path() / L"missing").wstring());
    EXPECT_TRUE(m.Active());
    EXPECT_TRUE(Active().empty());
    EXPECT_FALSE(TimerEnabled());

    form.EndLoading();
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{&m}));
    EXPECT_TRUE(m.Active());
    EXPECT_TRUE(broken.Active());
    EXPECT_FALSE(broken.Watching());
    EXPECT_TRUE(TimerEnabled());

    int count = 0;
    m.OnChange = [&](TDirMonitor*) { ++count; };
    Probe probe(dir_.Path());
    Touch(dir_.Path() / L"a.txt");
    ASSERT_TRUE(probe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return count == 1; }));
}

TEST_F(DirMonitor, IntervalIsSharedByEveryMonitor) {
    TDirMonitor a, b;
    a.SetInterval(120);
    EXPECT_EQ(b.Interval(), 120u);
    EXPECT_EQ(TFindTimer::Shared().Interval(), 120u);
    b.SetInterval(75);
    EXPECT_EQ(a.Interval(), 75u);
    TDirMonitor c;  // a later monitor sees the same interval
    EXPECT_EQ(c.Interval(), 75u);
}

TEST_F(DirMonitor, DestroyingTheLastActiveMonitorStopsTheTimer) {
    auto a = std::make_unique<TDirMonitor>();
    auto b = std::make_unique<TDirMonitor>();
    EXPECT_FALSE(TimerEnabled());
    for (auto* m : {a.get(), b.get()}) {
        m->SetDirectory(dir_.Path().wstring());
        m->SetActive(true);
    }
    EXPECT_TRUE(TimerEnabled());
    a.reset();
    EXPECT_EQ(Active(), (std::vector<TDirMonitor*>{b.get()}));
    EXPECT_TRUE(TimerEnabled());
    b.reset();
    EXPECT_TRUE(Active().empty());
    EXPECT_FALSE(TimerEnabled());

    // Destroying a monitor that never watched leaves a running timer alone.
    int count = 0;
    auto watching = CountingMonitor(dir_.Path(), count);
    { TDirMonitor idle; }
    EXPECT_TRUE(TimerEnabled());
}

TEST_F(DirMonitor, SubdirectoriesAreWatchedOnlyWhenIncluded) {
    int flat = 0, deep = 0;
    auto flatMonitor = CountingMonitor(dir_.Path(), flat);
    auto deepMonitor = CountingMonitor(dir_.Path(), deep);
    for (auto* m : {flatMonitor.get(), deepMonitor.get()}) m->SetFilter({monitor::dmfFileName});
    deepMonitor->SetIncludeSubDir(true);
    ASSERT_TRUE(flatMonitor->Active() && deepMonitor->Active());

    const auto sub = dir_.Path() / L"sub";
    std::filesystem::create_directory(sub);  // a directory name: neither filter asks for it
    Probe probe(sub, false, FILE_NOTIFY_CHANGE_FILE_NAME);
    Touch(sub / L"inner.txt");
    ASSERT_TRUE(probe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return deep == 1; }));
    TFindTimer::Shared().CheckChanges();
    EXPECT_EQ(flat, 0);
}

TEST_F(DirMonitor, OnlyTheKindsOfChangeInTheFilterAreReported) {
    int files = 0, dirs = 0;
    auto fileMonitor = CountingMonitor(dir_.Path(), files);
    auto dirMonitor = CountingMonitor(dir_.Path(), dirs);
    fileMonitor->SetFilter({monitor::dmfFileName});
    dirMonitor->SetFilter({monitor::dmfDirName});

    Probe fileProbe(dir_.Path(), false, FILE_NOTIFY_CHANGE_FILE_NAME);
    Touch(dir_.Path() / L"a.txt");
    ASSERT_TRUE(fileProbe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return files == 1; }));
    EXPECT_EQ(dirs, 0);

    Probe dirProbe(dir_.Path(), false, FILE_NOTIFY_CHANGE_DIR_NAME);
    std::filesystem::create_directory(dir_.Path() / L"d");
    ASSERT_TRUE(dirProbe.WaitForChange());
    EXPECT_TRUE(TickUntil([&] { return dirs == 1; }));
    EXPECT_EQ(files, 1);
}
