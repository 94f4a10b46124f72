// Unsaved work that survives a crash, a kill or a power cut. Every tab whose document changed since its last
// snapshot is written, a while after typing pauses, to this instance's folder under "recovery" beside data.ini; the
// next start offers back what an instance left there when it did not end cleanly.
//
// Threads: the control's stream-out runs here, on the window's thread, one tab per timer tick so that the window
// never stalls for long; converting and writing go to a worker, which also looks for old work at start and hands it
// back through an inbox. The index of snapshots is kept here and each job carries its text, so the worker holds no
// state of the window's and the last index written is always the newest.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/kurvanta_.h"
#include "app/recovery_store.h"
#include "ui/background.h"
#include "ui/window.h"

namespace app {

class Recovery {
public:
    static constexpr DWORD kPauseMs = 2000;     // a snapshot follows this long after the changes stop
    static constexpr DWORD kLongestMs = 30000;  // and comes at least this often while they go on

    // root: the folder "recovery" beside data.ini.
    Recovery(TForm1& form, std::wstring root);
    // A normal end removes this instance's folder; after the session ended it stays for the next start.
    ~Recovery();
    Recovery(const Recovery&) = delete;
    Recovery& operator=(const Recovery&) = delete;

    // Looks for the work of instances that did not end cleanly; the offer comes through the message loop.
    void Start();

    // The tabs tell what happens to them: an editor made for a slot, a change of its text or formatting, another
    // document in it (opened, or just saved), the tab about to close.
    void Watch(int slot, HWND editor);
    void Changed(int slot);
    void Replaced(int slot);
    void Closing(int slot);

    // The system ends the session: every change goes to disk at once, and stays there for the next start.
    void QueryEndSession();
    void EndSession(bool ending);

    void SetTiming(DWORD pauseMs, DWORD longestMs);
    bool Enabled() const noexcept { return enabled_; }
    // True once the look for old work is answered and every change of a modified tab is on disk.
    bool Settled() const;

private:
    struct Track {
        std::uint64_t changes = 0;
        std::uint64_t written = 0;  // the changes the last snapshot holds
        ULONGLONG first = 0;        // the oldest change not in a snapshot
        ULONGLONG last = 0;
    };
    struct Copy {
        std::wstring file;
        std::string rtf;
    };
    using Orphans = std::shared_ptr<std::vector<recovery::Orphan>>;
    // A job on this instance's folder; false when the folder could not be written.
    using Job = std::function<bool(recovery::InstanceFolder& folder)>;

    void Queue(Job job);
    void Tick();
    bool Due(int slot, ULONGLONG now, bool atOnce) const;
    void Snap(int slot);
    void FollowCaptions();
    void Offer(const Orphans& orphans);
    void Restore(const Orphans& orphans);
    void Disable();
    void WaitForDisk(DWORD milliseconds) const;
    recovery::Entry EntryOf(int slot) const;
    std::string Index() const;

    TForm1& form_;
    const std::wstring root_;
    std::shared_ptr<recovery::InstanceFolder> folder_;  // touched by the worker's jobs only
    ui::BackgroundWorker worker_;
    ui::UiInbox inbox_;
    ui::Timer clock_;
    std::array<Track, kSlotCount + 1> tracks_{};
    std::array<ui::Subclass, kSlotCount + 1> hooks_;
    std::deque<int> round_;                   // tabs waiting for their snapshot, one per tick
    std::map<int, recovery::Entry> entries_;  // what the index lists, by slot
    int pending_ = 0;                         // jobs whose outcome has not come back yet
    DWORD pauseMs_ = kPauseMs;
    DWORD longestMs_ = kLongestMs;
    bool enabled_ = true;
    bool started_ = false;
    bool answered_ = false;  // the look for old work has come back and was dealt with
    bool keep_ = false;      // the session ended: the folder stays
};

}  // namespace app
