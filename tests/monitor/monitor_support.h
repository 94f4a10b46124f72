// Helpers for the monitor tests: a change notification of the test's own, to know when the system has seen a
// change, and ticks of the shared timer driven by hand.
#pragma once
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "monitor/DirMontr.h"
#include "support/test_support.h"
#include "ui/owned.h"

namespace monitor_test {

// Long enough for any change to reach a notification on a loaded machine; only a failure waits this long.
inline constexpr DWORD kPatience = 10000;

// Watches a directory beside the monitors under test: once it is signalled, the system has delivered the change.
class Probe {
public:
    explicit Probe(const std::filesystem::path& dir, bool subtree = false,
                   DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                  FILE_NOTIFY_CHANGE_LAST_WRITE)
        : handle_(Open(dir, subtree, filter)) {}

    bool Valid() const { return static_cast<bool>(handle_); }
    // Waits for a change and re-arms for the next one.
    bool WaitForChange() {
        if (!handle_) return false;
        const bool seen = ::WaitForSingleObject(handle_.get(), kPatience) == WAIT_OBJECT_0;
        ::FindNextChangeNotification(handle_.get());
        return seen;
    }

private:
    using Handle = ui::Owned<HANDLE, ::FindCloseChangeNotification>;
    static Handle Open(const std::filesystem::path& dir, bool subtree, DWORD filter) {
        const HANDLE h = ::FindFirstChangeNotificationW(dir.c_str(), subtree, filter);
        return Handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
    }
    Handle handle_;
};

// Runs ticks of the shared timer by hand, without pumping messages (so no timer tick comes in between), until
// the condition holds or patience runs out.
template <class Pred>
bool TickUntil(Pred pred) {
    const ULONGLONG end = ::GetTickCount64() + kPatience;
    for (;;) {
        monitor::TFindTimer::Shared().CheckChanges();
        if (pred()) return true;
        if (::GetTickCount64() > end) return false;
        ::Sleep(10);
    }
}

inline void Touch(const std::filesystem::path& file) {
    testing_support::WriteBytes(file.wstring(), "change");
}

// A monitor that counts its events, watching the given directory.
inline std::unique_ptr<monitor::TDirMonitor> CountingMonitor(const std::filesystem::path& dir, int& count) {
    auto m = std::make_unique<monitor::TDirMonitor>();
    m->OnChange = [&count](monitor::TDirMonitor*) { ++count; };
    m->SetDirectory(dir.wstring());
    m->SetActive(true);
    return m;
}

inline bool TimerEnabled() {
    return monitor::TFindTimer::Shared().Enabled();
}

// Each test starts with the default interval and must leave no monitor watching and the timer stopped.
class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override { savedInterval_ = monitor::TFindTimer::Shared().Interval(); }
    void TearDown() override {
        monitor::TFindTimer::Shared().SetInterval(savedInterval_);
        EXPECT_TRUE(monitor::TDirMonitor::ActiveMonitors().empty());
        EXPECT_FALSE(TimerEnabled());
    }

    testing_support::TempDir dir_;

private:
    UINT savedInterval_ = 0;
};

}  // namespace monitor_test
