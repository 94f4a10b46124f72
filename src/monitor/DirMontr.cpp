#include "monitor/DirMontr.h"

#include <algorithm>

#include "ui/error.h"
#include "ui/text.h"

namespace monitor {
namespace {

// State shared by every monitor of the program. It is made on first use rather than at static initialisation,
// like the shared timer beside it: the timer is a message-only window, which has to be created on the GUI thread
// once the program runs, not before main.
struct ModuleState {
    std::vector<TDirMonitor*> active;  // monitors holding an open notification, in the order their watches started
    std::uint64_t tick = 0;            // serial number of the running (or last) tick
    bool checking = false;             // a tick is running its handlers
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

constexpr UINT kDefaultInterval = 2000;

void UpdateTimer() {
    TFindTimer::Shared().SetEnabled(!State().active.empty());
}

}  // namespace

DWORD NotifyFilterOf(TDirMonitorFilter filter) noexcept {
    const DWORD bits = filter.Bits();
    DWORD flags = bits & 0x1F;
    if (filter.Contains(dmfChangeSecurity)) flags |= FILE_NOTIFY_CHANGE_SECURITY;
    return flags;
}

int FirstSignalled(std::span<const HANDLE> handles) noexcept {
    for (std::size_t start = 0; start < handles.size(); start += MAXIMUM_WAIT_OBJECTS) {
        const auto count = static_cast<DWORD>(std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - start));
        const DWORD result = ::WaitForMultipleObjects(count, handles.data() + start, FALSE, 0);
        // A time-out or a failed wait names no handle of this chunk; abandoned mutexes are no changes either.
        if (result - WAIT_OBJECT_0 < count) return static_cast<int>(start + (result - WAIT_OBJECT_0));
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------------------------

TFindTimer::TFindTimer(ui::Component* owner) : ui::Timer(owner, kDefaultInterval, false) {
    // A handler's error ends the tick and is shown like any other command's; it must not unwind through the
    // system's window procedure.
    OnTimer = [this] { ui::RunCommand(::GetActiveWindow(), [this] { CheckChanges(); }); };
}

TFindTimer& TFindTimer::Shared() {
    // No owner: the timer outlives every window, and the program has no main window yet when a monitor's
    // form is loaded.
    static TFindTimer timer(nullptr);
    return timer;
}

void TFindTimer::CheckChanges() {
    ModuleState& state = State();
    // A handler that shows a modal box pumps messages, and with them further ticks; those wait for this one.
    if (state.active.empty() || state.checking) return;
    state.checking = true;
    struct EndOfTick {
        ModuleState& state;
        ~EndOfTick() { state.checking = false; }
    } endOfTick{state};
    ++state.tick;

    std::vector<TDirMonitor*> candidates;
    std::vector<HANDLE> handles;
    for (;;) {
        // Both lists are read afresh each time round: the last handler may have started, stopped or destroyed
        // any monitor, so nothing from an earlier round is trusted.
        const int found = FindSignalled(candidates, handles);
        if (found < 0 || static_cast<std::size_t>(found) >= handles.size()) break;
        TDirMonitor* const monitor = candidates[static_cast<std::size_t>(found)];
        // Once per tick: a handler that changes its own directory would otherwise keep the GUI thread here
        // forever. A change it makes stays signalled for the next tick.
        monitor->reportedInTick_ = state.tick;
        // Re-armed before the handler runs, which may close the handle; a change during the handler then
        // signals it anew instead of being lost.
        if (!::FindNextChangeNotification(handles[static_cast<std::size_t>(found)])) monitor->EndFailedWatch();
        // A copy, since the handler may destroy its monitor and with it OnChange. The monitor is not touched
        // again after the call: it may be gone.
        const auto handler = monitor->OnChange;
        if (handler) handler(monitor);
    }
}

int TFindTimer::FindSignalled(std::vector<TDirMonitor*>& candidates, std::vector<HANDLE>& handles) {
    const ModuleState& state = State();
    candidates.clear();
    handles.clear();
    for (TDirMonitor* m : state.active) {
        if (m->reportedInTick_ == state.tick || !m->change_) continue;
        candidates.push_back(m);
        handles.push_back(m->change_.get());
    }
    return FirstSignalled(handles);
}

// ---------------------------------------------------------------------------------------------------------------

TDirMonitor::TDirMonitor(ui::Component* owner) : ui::Component(owner) {}

TDirMonitor::~TDirMonitor() {
    active_ = false;
    const bool watching = static_cast<bool>(change_);
    StopWatch();
    if (watching) UpdateTimer();
}

void TDirMonitor::SetActive(bool active) {
    // True again while idle retries the watch: a disc may have been put in since.
    if (active == active_ && !(active && !change_)) return;
    active_ = active;
    RestartWatch();
}

void TDirMonitor::SetDirectory(const std::wstring& directory) {
    if (directory == directory_) return;
    directory_ = directory;
    RestartWatch();
}

void TDirMonitor::SetFilter(TDirMonitorFilter filter) {
    if (filter == filter_) return;
    filter_ = filter;
    RestartWatch();
}

void TDirMonitor::SetIncludeSubDir(bool include) {
    if (include == includeSubDir_) return;
    includeSubDir_ = include;
    RestartWatch();
}

UINT TDirMonitor::Interval() const {
    return TFindTimer::Shared().Interval();
}

void TDirMonitor::SetInterval(UINT milliseconds) {
    TFindTimer::Shared().SetInterval(milliseconds);
}

const std::vector<TDirMonitor*>& TDirMonitor::ActiveMonitors() {
    return State().active;
}

void TDirMonitor::Loaded() {
    RestartWatch();
}

void TDirMonitor::RestartWatch() {
    // A form description may set Active before Directory: the watch starts once, when loading ends.
    if (Loading()) return;
    StopWatch();
    if (active_) {
        // A directory that cannot be watched leaves the monitor idle but still active: the next directory written
        // starts a watch of its own.
        change_ = OpenWatch();
        if (change_) State().active.push_back(this);
    }
    UpdateTimer();
}

TDirMonitor::UniqueChangeHandle TDirMonitor::OpenWatch() const {
    // With no kind of change asked for there is nothing to watch; some systems would accept the empty filter.
    // No directory is no watch: the process's current directory is nothing the user chose to see.
    if (filter_.Empty() || directory_.empty()) return nullptr;
    // The long form lifts the path-buffer limit of the system call.
    const std::wstring path = ui::LongPathForm(directory_);
    const HANDLE h = ::FindFirstChangeNotificationW(path.c_str(), includeSubDir_, NotifyFilterOf(filter_));
    return UniqueChangeHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

void TDirMonitor::StopWatch() noexcept {
    auto& active = State().active;
    active.erase(std::remove(active.begin(), active.end(), this), active.end());
    change_.reset();
}

void TDirMonitor::EndFailedWatch() noexcept {
    // The notification cannot be re-armed (its directory went away, say): it would stay signalled and report the
    // same change at every tick. The watch ends as one that could not start; the monitor stays active, so the next
    // directory it is given is watched.
    StopWatch();
    UpdateTimer();
}

}  // namespace monitor
