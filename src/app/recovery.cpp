#include "app/recovery.h"

#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "app/rtf_encoding.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

constexpr UINT kCheckMs = 250;  // how often the tabs are looked at while nothing waits
constexpr UINT kStepMs = 1;     // between the snapshots of a round: as soon as the window is idle

// Messages that change an editor's formatting without the control reporting a change: the formatting commands and
// dialogs, and the control's own shortcuts (Ctrl+B and the like).
bool ChangesFormatting(UINT msg, WPARAM wp) {
    switch (msg) {
        case EM_SETCHARFORMAT:
        case EM_SETPARAFORMAT:
            return true;
        case WM_KEYDOWN:
            return wp != VK_CONTROL && ::GetKeyState(VK_CONTROL) < 0;
        default:
            return false;
    }
}

}  // namespace

struct Recovery::Waiting {
    std::mutex mutex;
    std::string rtf;  // the control's UTF-8 rich text
    std::string index;
    std::uint64_t changes = 0;
    std::uint64_t takenChanges = 0;  // what the worker took and wrote
    bool taken = false;
    bool cancelled = false;  // the document went before the worker took it
};

struct Recovery::RestoreRun {
    Orphans orphans;
    size_t orphan = 0;  // the next snapshot to give back
    size_t item = 0;
};

Recovery::Recovery(TForm1& form, std::wstring root)
    : form_(form),
      root_(std::move(root)),
      folder_(std::make_shared<recovery::InstanceFolder>(root_, recovery::CurrentUserSid())),
      clock_(nullptr, kCheckMs, false) {
    clock_.OnTimer = [this] { Tick(); };
}

Recovery::~Recovery() {
    closing_ = true;
    clock_.SetEnabled(false);
    for (ui::Subclass& hook : hooks_) hook.Detach();
    if (keep_) {
        // The session's end: what is queued still goes to disk, then the folder is let go for the next start.
        worker_.Run([folder = folder_] { folder->Release(); });
        WaitForDisk(timing_.exitWaitMs, false);
        return;
    }
    // A normal end: nothing of this instance is wanted any more. Writes still queued are dropped, a write under way
    // is not put in place, and the folder goes, on the worker or, when a write hangs there, from here.
    folder_->Close();
    worker_.DropQueued();
    auto removed = std::make_shared<std::atomic<bool>>(false);
    worker_.Run([folder = folder_, removed] {
        folder->RemoveAll();
        *removed = true;
    });
    WaitForDisk(timing_.exitWaitMs, false);
    if (!*removed) folder_->RemoveAll();
}

void Recovery::SetTiming(DWORD pauseMs, DWORD longestMs) {
    timing_.pauseMs = pauseMs;
    timing_.longestMs = longestMs;
}

void Recovery::Start() {
    if (started_) return;
    started_ = true;
    worker_.Run([root = root_, sender = inbox_.MakeSender(), this] {
        auto orphans = std::make_shared<std::vector<recovery::Orphan>>();
        try {
            *orphans = recovery::ClaimOrphans(root, recovery::CurrentUserSid());
        } catch (...) {
            orphans->clear();  // what was claimed is let go again, for a later start
        }
        // Once the window is gone the post is dropped, and with it our locks: the next start offers them again.
        sender.Post([this, orphans] { Offer(orphans); });
    });
}

void Recovery::WindowClosing() {
    closing_ = true;
}

void Recovery::Watch(int slot, HWND editor) {
    hooks_[static_cast<size_t>(slot)].Attach(editor, [this, slot](UINT msg, WPARAM wp, LPARAM) {
        if (ChangesFormatting(msg, wp)) Changed(slot);
        return std::optional<LRESULT>();
    });
}

void Recovery::Changed(int slot) {
    Track& t = tracks_[static_cast<size_t>(slot)];
    ++t.changes;
    t.last = ::GetTickCount64();
    if (t.first == 0) t.first = t.last;
    if (enabled_) clock_.SetEnabled(true);  // it sleeps while nothing waits for a snapshot
}

void Recovery::Queue(Job job, Done done) {
    ++pending_;
    worker_.Run([folder = folder_, job = std::move(job), done = std::move(done), sender = inbox_.MakeSender(), this] {
        Result result = Result::kFailed;
        try {
            result = job(*folder);
        } catch (...) {
            result = Result::kFailed;  // out of memory, a system error: a failed write, tried again
        }
        sender.Post([this, result, done] {
            --pending_;
            if (done) done(result);
        });
    });
}

void Recovery::Outcome(Result result) {
    if (result == Result::kOk) {
        if (failures_ > 0) {
            failures_ = 0;
            retryAt_ = 0;
            form_.ShowStatusNotice(L"");
        }
        return;
    }
    if (result == Result::kNoFolder) {
        Disable();
        return;
    }
    ++failures_;
    const std::vector<DWORD>& delays = timing_.retryMs;
    const DWORD delay =
        delays.empty() ? 0 : delays[std::min<size_t>(static_cast<size_t>(failures_) - 1, delays.size() - 1)];
    retryAt_ = ::GetTickCount64() + delay;
    indexStale_ = true;
    form_.ShowStatusNotice(txt::kRecoveryOff);
    if (enabled_) clock_.SetEnabled(true);
}

void Recovery::Replaced(int slot) {
    Track& t = tracks_[static_cast<size_t>(slot)];
    const std::uint64_t epoch = t.epoch + 1;
    t = Track{};
    t.epoch = epoch;
    if (std::shared_ptr<Waiting>& box = waiting_[static_cast<size_t>(slot)]) {
        const std::lock_guard lock(box->mutex);
        box->cancelled = true;
        box->rtf = std::string();
        box = nullptr;
    }
    const auto it = entries_.find(slot);
    if (it == entries_.end()) return;
    const std::wstring file = it->second.FileName();
    entries_.erase(it);
    std::string index = Index();
    Queue([file, index](recovery::InstanceFolder& folder) { return folder.Forget(file, index); },
          [this, index](Result r) {
              Outcome(r);
              if (r == Result::kOk && index == Index()) indexStale_ = false;
          });
}

void Recovery::Closing(int slot) {
    Replaced(slot);
    hooks_[static_cast<size_t>(slot)].Detach();
}

bool Recovery::Due(int slot, ULONGLONG now, bool atOnce) const {
    const Slot& s = form_.SlotAt(slot);
    const Track& t = tracks_[static_cast<size_t>(slot)];
    // Only what the window itself counts as unsaved: a document whose changes were saved, or that was never
    // changed by the user (the find marks), needs nothing back.
    if (!s.occupied() || !s.editor || !s.editor->Modified() || t.copying) return false;
    if (t.kept && t.changes == t.written) return false;
    if (waiting_[static_cast<size_t>(slot)] && waiting_[static_cast<size_t>(slot)]->changes == t.changes) return false;
    if (atOnce) return true;
    if (now < retryAt_ || now < t.notBefore) return false;
    return now - t.last >= timing_.pauseMs || now - t.first >= timing_.longestMs;
}

bool Recovery::Kept(int slot) const {
    const Slot& s = form_.SlotAt(slot);
    if (!s.occupied() || !s.editor || !s.editor->Modified()) return true;
    const Track& t = tracks_[static_cast<size_t>(slot)];
    return enabled_ && t.kept && !t.copying && t.changes == t.written;
}

bool Recovery::AllKept() const {
    for (int slot = 1; slot <= kSlotCount; ++slot)
        if (!Kept(slot)) return false;
    return !indexStale_ || entries_.empty();
}

void Recovery::Tick() {
    if (!enabled_) return;
    const ULONGLONG now = ::GetTickCount64();
    if (round_.empty()) {
        for (int slot = 1; slot <= kSlotCount; ++slot)
            if (Due(slot, now, false)) round_.push_back(slot);
        if (now >= retryAt_) {
            FollowCaptions();
            if (indexStale_ && pending_ == 0) QueueIndex();
        }
    }
    if (!round_.empty()) {
        const int slot = round_.front();
        round_.pop_front();
        if (Due(slot, now, true)) Snap(slot);
    }
    clock_.SetInterval(round_.empty() ? kCheckMs : kStepMs);
    bool waiting = !round_.empty() || indexStale_;
    for (int slot = 1; slot <= kSlotCount && !waiting; ++slot) waiting = Due(slot, now, true);
    clock_.SetEnabled(waiting);
}

void Recovery::Snap(int slot) {
    Slot& s = form_.SlotAt(slot);
    Track& t = tracks_[static_cast<size_t>(slot)];
    const ULONGLONG start = ::GetTickCount64();
    std::string rtf;
    const bool streamed = s.editor->StreamOutRtf(rtf, {}, CP_UTF8) && IsWholeRtf(rtf);
    const ULONGLONG end = ::GetTickCount64();
    snapshotMs_ += end - start;
    // A big document costs the window a while each time: it is kept less often.
    t.notBefore = end + (end - start) * kCostFactor;
    if (!streamed) {
        // The control failed, or stopped early (Wine's stops at a picture): the last whole snapshot stays, and
        // this one is tried again after a while.
        const DWORD wait = timing_.retryMs.empty() ? timing_.pauseMs : timing_.retryMs.front();
        t.notBefore = std::max<ULONGLONG>(t.notBefore, end + wait);
        return;
    }
    t.first = 0;
    entries_[slot] = EntryOf(slot);
    std::shared_ptr<Waiting>& box = waiting_[static_cast<size_t>(slot)];
    if (box) {
        // A snapshot of this tab still waits for the worker: this newer one takes its place.
        const std::lock_guard lock(box->mutex);
        if (!box->taken) {
            box->rtf = std::move(rtf);
            box->index = Index();
            box->changes = t.changes;
            return;
        }
    }
    box = std::make_shared<Waiting>();
    box->rtf = std::move(rtf);
    box->index = Index();
    box->changes = t.changes;
    Queue(
        [box, file = entries_[slot].FileName()](recovery::InstanceFolder& folder) {
            std::string utf8;
            std::string index;
            {
                const std::lock_guard lock(box->mutex);
                if (box->cancelled) return Result::kOk;
                box->taken = true;
                box->takenChanges = box->changes;
                utf8 = std::move(box->rtf);
                index = std::move(box->index);
            }
            const std::string plain = PlainRtfFromUtf8Rtf(utf8);
            std::string().swap(utf8);  // the control's form goes before the file is written
            if (!IsWholeRtf(plain)) return Result::kFailed;
            return folder.Write(file, plain, index);
        },
        [this, slot, box, epoch = t.epoch](Result r) {
            Track& now = tracks_[static_cast<size_t>(slot)];
            if (box->cancelled || now.epoch != epoch) return;
            if (waiting_[static_cast<size_t>(slot)] == box) waiting_[static_cast<size_t>(slot)] = nullptr;
            Outcome(r);
            if (r != Result::kOk) return;
            now.written = std::max(now.written, box->takenChanges);
            now.kept = true;
        });
}

// The index names each document as its tab does now, a caption that gained its "*" included.
void Recovery::FollowCaptions() {
    bool changed = false;
    for (auto& [slot, e] : entries_) {
        const recovery::Entry now = EntryOf(slot);
        if (now.hasFile == e.hasFile && now.path == e.path && now.caption == e.caption &&
            now.stamp.known == e.stamp.known && now.stamp.size == e.stamp.size &&
            now.stamp.lastWrite == e.stamp.lastWrite)
            continue;
        e.hasFile = now.hasFile;
        e.path = now.path;
        e.caption = now.caption;
        e.stamp = now.stamp;
        changed = true;
    }
    if (changed) QueueIndex();
}

void Recovery::QueueIndex() {
    std::string index = Index();
    Queue([index](recovery::InstanceFolder& folder) { return folder.WriteIndex(index); },
          [this, index](Result r) {
              Outcome(r);
              if (r == Result::kOk && index == Index()) indexStale_ = false;
          });
}

bool Recovery::QueryEndSession() {
    // The system's patience runs from its question: the snapshots taken here count against it.
    const ULONGLONG asked = ::GetTickCount64();
    ending_ = true;
    if (enabled_) {
        round_.clear();
        const ULONGLONG now = ::GetTickCount64();
        for (int slot = 1; slot <= kSlotCount; ++slot)
            if (Due(slot, now, true)) Snap(slot);
        FollowCaptions();
        if (indexStale_) QueueIndex();
        const ULONGLONG spent = ::GetTickCount64() - asked;
        WaitForDisk(spent >= timing_.sessionWaitMs ? 0 : static_cast<DWORD>(timing_.sessionWaitMs - spent), true);
    }
    ending_ = false;
    return AllKept();
}

void Recovery::EndSession(bool ending) {
    if (!ending) return;
    QueryEndSession();
    keep_ = true;
}

void Recovery::Offer(const Orphans& orphans) {
    // Only an explicit No ever throws old work away. An offer that comes after the window began to go (the user
    // closed it while the look for old work ran), or during the session's end, leaves it for the next start.
    if (closing_ || ending_ || keep_ || !::IsWindow(form_.Handle())) {
        ReleaseAll(orphans);
        answered_ = true;
        return;
    }
    size_t count = 0;
    for (const recovery::Orphan& o : *orphans) count += o.offered.size();
    if (count == 0) {
        ReleaseAll(orphans);
        answered_ = true;
        return;
    }
    const std::wstring question = ui::Format1(txt::kRecoveryOffer, ui::ToText(static_cast<long long>(count)));
    int answer = ui::Ask(form_.Handle(), question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1);
    if (closing_ || ending_ || keep_ || !::IsWindow(form_.Handle())) answer = 0;  // the window went while the box stood
    if (answer == IDYES) {
        RestoreNext(std::make_shared<RestoreRun>(RestoreRun{orphans}));
        return;
    }
    if (answer == IDNO) {
        Queue([orphans](recovery::InstanceFolder&) {
            for (recovery::Orphan& o : *orphans) recovery::Discard(o);
            return Result::kOk;
        });
    } else {
        ReleaseAll(orphans);  // the box failed: nobody answered
    }
    answered_ = true;
}

void Recovery::ReleaseAll(const Orphans& orphans) {
    for (recovery::Orphan& o : *orphans) o.lock.reset();
}

// The work is given back one document at a time: the worker reads a snapshot, the window opens it in a tab, and
// the worker writes its copy into this instance's folder before the old folder lets go of it, so that a crash on
// the way never leaves a document in no index, and rarely in two.
void Recovery::RestoreNext(const std::shared_ptr<RestoreRun>& run) {
    const std::vector<recovery::Orphan>& orphans = *run->orphans;
    while (run->orphan < orphans.size() && run->item >= orphans[run->orphan].offered.size()) {
        ++run->orphan;
        run->item = 0;
    }
    // What does not fit beside the open tabs waits for the next start.
    if (run->orphan >= orphans.size() || closing_ || ending_ || keep_ || form_.TabCount() >= kSlotCount) {
        SettleRun(run);
        return;
    }
    const size_t orphan = run->orphan;
    const size_t item = run->item++;
    ++pending_;
    worker_.Run([run, orphan, item, sender = inbox_.MakeSender(), this] {
        std::optional<std::string> rtf;
        try {
            rtf = recovery::ReadSnapshot((*run->orphans)[orphan], (*run->orphans)[orphan].offered[item]);
        } catch (...) {
            rtf.reset();
        }
        sender.Post([this, run, orphan, item, rtf = std::move(rtf)]() mutable {
            --pending_;
            RestoreOne(run, orphan, item, std::move(rtf));
        });
    });
}

void Recovery::RestoreOne(const std::shared_ptr<RestoreRun>& run, size_t orphan, size_t item,
                          std::optional<std::string> rtf) {
    if (closing_ || ending_ || keep_ || form_.TabCount() >= kSlotCount) {
        SettleRun(run);
        return;
    }
    // Cut short after all: it stays where it is, listed, and is not given back.
    if (!rtf) {
        RestoreNext(run);
        return;
    }
    const recovery::Entry old = (*run->orphans)[orphan].offered[item].entry;
    const int slot = form_.OpenRecovered(*rtf, old.hasFile, old.path, old.caption, old.stamp);
    if (slot == 0) {
        // The control would not take it: it is never offered again, and its file stays where it is.
        Queue([run, orphan, item](recovery::InstanceFolder&) {
            recovery::SetAside((*run->orphans)[orphan], (*run->orphans)[orphan].offered[item]);
            return Result::kOk;
        });
        RestoreNext(run);
        return;
    }
    Track& t = tracks_[static_cast<size_t>(slot)];
    t.copying = true;
    const std::uint64_t changes = t.changes;  // the stream-in's own change notices: the copy holds them
    recovery::Entry e = EntryOf(slot);
    e.time = old.time;  // the work is as old as it was
    const std::wstring file = e.FileName();
    entries_[slot] = std::move(e);
    std::string index = Index();
    Queue(
        [run, orphan, item, file, rtf = std::move(*rtf), index](recovery::InstanceFolder& folder) {
            const Result r = folder.Write(file, rtf, index);
            if (r == Result::kOk) recovery::Consume((*run->orphans)[orphan], (*run->orphans)[orphan].offered[item]);
            return r;
        },
        [this, slot, changes, epoch = t.epoch](Result r) {
            Outcome(r);
            Track& now = tracks_[static_cast<size_t>(slot)];
            if (now.epoch != epoch) return;
            now.copying = false;
            if (r == Result::kOk) now.written = std::max(now.written, changes);
            now.kept = r == Result::kOk;  // otherwise the tab is kept as any other, after the back-off
            if (!now.kept) clock_.SetEnabled(enabled_);
        });
    RestoreNext(run);
}

void Recovery::SettleRun(const std::shared_ptr<RestoreRun>& run) {
    Queue([run](recovery::InstanceFolder&) {
        for (recovery::Orphan& o : *run->orphans) recovery::Settle(o);
        return Result::kOk;
    });
    answered_ = true;
}

void Recovery::Disable() {
    if (!enabled_) return;
    enabled_ = false;
    round_.clear();
    clock_.SetEnabled(false);
    form_.ShowStatusNotice(txt::kRecoveryOff);
}

bool Recovery::Settled() const {
    if ((started_ && !answered_) || pending_ > 0 || !round_.empty()) return false;
    if (!enabled_) return true;
    for (int slot = 1; slot <= kSlotCount; ++slot)
        if (Due(slot, 0, true)) return false;
    return !indexStale_;
}

// The outcomes of what the worker did meanwhile are taken in at once; only those: nothing else of the window runs
// while the session's end or the window's end waits.
void Recovery::WaitForDisk(DWORD milliseconds, bool takeOutcomes) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (worker_.Busy() && ::GetTickCount64() < end) ::Sleep(2);
    if (!takeOutcomes) return;
    try {
        inbox_.Drain();
    } catch (...) {
        // An outcome that could not be taken in leaves its tab counted as not kept: the session's end then asks.
    }
}

recovery::Entry Recovery::EntryOf(int slot) const {
    const Slot& s = form_.SlotAt(slot);
    recovery::Entry e;
    e.slot = slot;
    e.hasFile = s.hasFile;
    e.path = s.hasFile ? s.fileName : std::wstring();
    e.caption = s.caption;
    e.time = recovery::UtcNow();
    if (s.hasFile) {
        e.stamp = s.stamp;
        e.stamp.fileId = 0;  // the index keeps time and size only
    }
    return e;
}

std::string Recovery::Index() const {
    std::vector<recovery::Entry> entries;
    for (const auto& [slot, e] : entries_) entries.push_back(e);
    return recovery::IndexText(entries);
}

}  // namespace app
