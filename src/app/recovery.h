// Unsaved work that survives a crash, a kill or a power cut. Every tab whose document changed since its last
// snapshot is written, a while after typing pauses, to this instance's folder under "recovery" beside data.ini; the
// next start offers back what an instance of the same user left there when it did not end cleanly.
//
// Threads: the control's stream-out runs here, on the window's thread, one tab per timer tick so that the window
// never stalls for long; converting and writing go to a worker, which also looks for old work at start, reads each
// snapshot given back, and hands the outcome of every job back through an inbox. The index of snapshots is kept
// here and each job carries its text, so the worker holds no state of the window's and the last index written is
// always the newest. A tab's changes count as kept only once the worker has confirmed their write.
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
    struct Timing {
        DWORD pauseMs = 2000;     // a snapshot follows this long after the changes stop
        DWORD longestMs = 30000;  // and comes at least this often while they go on
        // After a failed write the next attempt waits this long, then the next delay, the last one for good.
        std::vector<DWORD> retryMs{2000, 10000, 30000};
        // From the system's question at the session's end; it waits five seconds before it lists us as holding
        // the end up, and the question of our own must come before that.
        DWORD sessionWaitMs = 4000;
        DWORD exitWaitMs = 5000;
    };
    // A tab whose stream-out takes long waits this many times as long before its next one, so that snapshots
    // take at most about a twentieth of the window's time.
    static constexpr ULONGLONG kCostFactor = 19;

    // root: the folder "recovery" beside data.ini.
    Recovery(TForm1& form, std::wstring root);
    // A normal end removes this instance's folder; after the session ended it stays for the next start.
    ~Recovery();
    Recovery(const Recovery&) = delete;
    Recovery& operator=(const Recovery&) = delete;

    // Looks for the work of instances that did not end cleanly; the offer comes through the message loop.
    void Start();
    // The window is being destroyed: an offer that has not been answered leaves the old work for the next start.
    void WindowClosing();

    // The tabs tell what happens to them: an editor made for a slot, a change of its text or formatting, another
    // document in it (opened, or just saved), the tab about to close.
    void Watch(int slot, HWND editor);
    void Changed(int slot);
    void Replaced(int slot);
    void Closing(int slot);

    // The system asks whether the session may end: every change goes to disk at once. True when every modified tab
    // is then safely kept.
    bool QueryEndSession();
    void EndSession(bool ending);

    void SetTiming(DWORD pauseMs, DWORD longestMs);
    void SetTiming(const Timing& timing) { timing_ = timing; }
    // False once the folder could not be made at all: nothing is kept for the rest of the session.
    bool Enabled() const noexcept { return enabled_; }
    // True while the latest write failed (its status-bar notice is shown).
    bool Failing() const noexcept { return failures_ > 0; }
    // True once the look for old work is answered and every change of a modified tab is on disk.
    bool Settled() const;
    // Milliseconds the window's thread has spent streaming snapshots out, and how many it took.
    ULONGLONG SnapshotMs() const noexcept { return snapshotMs_; }

private:
    struct Track {
        std::uint64_t changes = 0;
        std::uint64_t written = 0;  // the changes a confirmed snapshot holds
        ULONGLONG first = 0;        // the oldest change not in a snapshot
        ULONGLONG last = 0;
        ULONGLONG notBefore = 0;  // paced after a slow stream-out
        std::uint64_t epoch = 0;  // the document in the slot; a new one makes outcomes of the old one's writes moot
        bool kept = false;        // a confirmed snapshot of this document is on disk
        bool copying = false;     // a restored document's copy is being written
    };
    // The newest snapshot of a tab not yet taken by the worker; a newer one takes its place.
    struct Waiting;
    struct RestoreRun;
    using Orphans = std::shared_ptr<std::vector<recovery::Orphan>>;
    using Result = recovery::WriteResult;
    // A job on this instance's folder, and what the window does with its outcome.
    using Job = std::function<Result(recovery::InstanceFolder& folder)>;
    using Done = std::function<void(Result)>;

    void Queue(Job job, Done done = {});
    void Outcome(Result result);
    void Tick();
    bool Due(int slot, ULONGLONG now, bool atOnce) const;
    bool Kept(int slot) const;
    bool AllKept() const;
    void Snap(int slot);
    void FollowCaptions();
    void QueueIndex();
    void Offer(const Orphans& orphans);
    void ReleaseAll(const Orphans& orphans);
    void RestoreNext(const std::shared_ptr<RestoreRun>& run);
    void RestoreOne(const std::shared_ptr<RestoreRun>& run, size_t orphan, size_t item, std::optional<std::string> rtf);
    void SettleRun(const std::shared_ptr<RestoreRun>& run);
    void Disable();
    void WaitForDisk(DWORD milliseconds, bool takeOutcomes);
    recovery::Entry EntryOf(int slot) const;
    std::string Index() const;

    TForm1& form_;
    const std::wstring root_;
    std::shared_ptr<recovery::InstanceFolder> folder_;  // written by the worker's jobs only
    ui::BackgroundWorker worker_;
    ui::UiInbox inbox_;
    ui::Timer clock_;
    Timing timing_;
    std::array<Track, kSlotCount + 1> tracks_{};
    std::array<std::shared_ptr<Waiting>, kSlotCount + 1> waiting_{};
    std::array<ui::Subclass, kSlotCount + 1> hooks_;
    std::deque<int> round_;                   // tabs waiting for their snapshot, one per tick
    std::map<int, recovery::Entry> entries_;  // what the index lists, by slot
    int pending_ = 0;                         // jobs whose outcome has not come back yet
    int failures_ = 0;                        // writes failed in a row
    ULONGLONG retryAt_ = 0;                   // no write is tried before this after a failure
    bool indexStale_ = false;                 // the index on disk may be older than entries_
    ULONGLONG snapshotMs_ = 0;
    bool enabled_ = true;
    bool started_ = false;
    bool answered_ = false;  // the look for old work has come back and was dealt with, restores included
    bool closing_ = false;
    bool ending_ = false;  // the system asks whether the session may end
    bool keep_ = false;    // the session ended: the folder stays
};

}  // namespace app
