// The directory change monitor: a non-visual component that watches one directory (optionally its whole
// subtree) through the system's change notifications. Nobody waits on them: one timer shared by every monitor of
// the program polls all notifications with a zero time-out at each tick and raises OnChange of each monitor whose
// notification is signalled, so that all changes between two ticks come out as one event per monitor.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "ui/component.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace monitor {

// The kinds of change a monitor can ask for, in the order of their bits in TDirMonitorFilter.
enum TDirMonitorFilterItem : std::uint8_t {
    dmfFileName,  // a file is created, deleted or renamed
    dmfDirName,   // a directory is created, deleted or renamed
    dmfAttributes,
    dmfSize,
    dmfLastWrite,
    dmfChangeSecurity,
};

// A set of TDirMonitorFilterItem in one byte: bit i stands for member i.
class TDirMonitorFilter {
public:
    constexpr TDirMonitorFilter() noexcept = default;
    constexpr TDirMonitorFilter(std::initializer_list<TDirMonitorFilterItem> items) noexcept {
        for (auto item : items) Include(item);
    }
    // Bits above the last member are dropped: they name no kind of change.
    static constexpr TDirMonitorFilter FromBits(std::uint8_t bits) noexcept {
        TDirMonitorFilter f;
        f.bits_ = bits & kAllBits;
        return f;
    }

    constexpr std::uint8_t Bits() const noexcept { return bits_; }
    constexpr bool Empty() const noexcept { return bits_ == 0; }
    constexpr bool Contains(TDirMonitorFilterItem item) const noexcept { return (bits_ & Bit(item)) != 0; }
    constexpr TDirMonitorFilter& Include(TDirMonitorFilterItem item) noexcept {
        bits_ = static_cast<std::uint8_t>(bits_ | Bit(item));
        return *this;
    }
    constexpr TDirMonitorFilter& Exclude(TDirMonitorFilterItem item) noexcept {
        bits_ = static_cast<std::uint8_t>(bits_ & ~Bit(item));
        return *this;
    }
    friend constexpr bool operator==(TDirMonitorFilter, TDirMonitorFilter) noexcept = default;

private:
    static constexpr std::uint8_t kAllBits = 0x3F;
    static constexpr std::uint8_t Bit(TDirMonitorFilterItem item) noexcept {
        return static_cast<std::uint8_t>(1u << item);
    }
    std::uint8_t bits_ = 0;
};

// What a new monitor watches: every kind of change but directory names.
inline constexpr TDirMonitorFilter kDefaultDirMonitorFilter{dmfFileName, dmfAttributes, dmfSize, dmfLastWrite};

// The FILE_NOTIFY_CHANGE_* flags the system is asked for: bits 0 to 4 are the system's own, the security bit
// moves up to 0x100.
DWORD NotifyFilterOf(TDirMonitorFilter filter) noexcept;

// Index of the first signalled handle, polling in chunks of MAXIMUM_WAIT_OBJECTS (the most one wait call takes)
// with a zero time-out; -1 when none is signalled. A chunk whose wait fails counts as a chunk without a signal.
int FirstSignalled(std::span<const HANDLE> handles) noexcept;

class TDirMonitor;

// The timer behind all monitors: each tick polls the notifications of the active monitors.
class TFindTimer : public ui::Timer {
public:
    explicit TFindTimer(ui::Component* owner);

    // One tick: raises OnChange of every active monitor whose notification is signalled, earliest started first,
    // each at most once. Handlers may start, stop or destroy any monitor, their own included. A handler's ui::Error
    // ends the tick and propagates; what is left signalled is reported at the next tick.
    void CheckChanges();

    // The timer every monitor shares, made on first use.
    static TFindTimer& Shared();

private:
    // Fills the candidates (the active monitors not yet reported in this tick, in list order) and their handles;
    // returns the position of the first signalled one, or -1.
    static int FindSignalled(std::vector<TDirMonitor*>& candidates, std::vector<HANDLE>& handles);
};

class TDirMonitor : public ui::Component {
public:
    explicit TDirMonitor(ui::Component* owner = nullptr);
    ~TDirMonitor() override;

    // True while the monitor should watch; it stays as written. A directory that cannot be watched (a folder
    // without a file-system path, a drive without a disc, a refused or missing directory, an empty Filter) leaves
    // the monitor idle only until it is given one that can: the next watchable Directory is watched. Writing true
    // again retries the same directory.
    bool Active() const noexcept { return active_; }
    void SetActive(bool active);
    // True while a watch is open (the monitor is active and its directory could be watched).
    bool Watching() const noexcept { return static_cast<bool>(change_); }

    // Compared as an exact string: the same path in other letter case restarts the watch. Empty means no directory,
    // and no watch. Paths of any length are watched.
    const std::wstring& Directory() const noexcept { return directory_; }
    void SetDirectory(const std::wstring& directory);

    TDirMonitorFilter Filter() const noexcept { return filter_; }
    void SetFilter(TDirMonitorFilter filter);

    bool IncludeSubDir() const noexcept { return includeSubDir_; }
    void SetIncludeSubDir(bool include);

    // The polling interval in milliseconds. It belongs to the shared timer, so it is the same for every monitor.
    UINT Interval() const;
    void SetInterval(UINT milliseconds);

    // Raised on the GUI thread at the tick after a change, with this monitor as sender.
    std::function<void(TDirMonitor* sender)> OnChange;

    // The monitors holding an open notification, in the order in which their watches started.
    static const std::vector<TDirMonitor*>& ActiveMonitors();

protected:
    void Loaded() override;

private:
    friend class TFindTimer;
    using UniqueChangeHandle = ui::Owned<HANDLE, ::FindCloseChangeNotification>;  // nullptr means none

    void RestartWatch();
    UniqueChangeHandle OpenWatch() const;
    void StopWatch() noexcept;
    void EndFailedWatch() noexcept;

    bool active_ = false;
    UniqueChangeHandle change_;
    TDirMonitorFilter filter_ = kDefaultDirMonitorFilter;
    std::wstring directory_;
    bool includeSubDir_ = false;
    std::uint64_t reportedInTick_ = 0;  // the tick that last raised OnChange; one event per monitor per tick
};

}  // namespace monitor
