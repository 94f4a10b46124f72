#include "app/recovery.h"

#include <richedit.h>

#include "app/rtf_encoding.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

constexpr UINT kCheckMs = 250;          // how often the tabs are looked at while nothing waits
constexpr UINT kStepMs = 1;             // between the snapshots of a round: as soon as the window is idle
constexpr DWORD kSessionWaitMs = 5000;  // the system waits for us at the session's end, but not for ever
constexpr DWORD kExitWaitMs = 5000;

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

Recovery::Recovery(TForm1& form, std::wstring root)
    : form_(form),
      root_(std::move(root)),
      folder_(std::make_shared<recovery::InstanceFolder>(root_)),
      clock_(nullptr, kCheckMs, false) {
    clock_.OnTimer = [this] { Tick(); };
}

Recovery::~Recovery() {
    clock_.SetEnabled(false);
    for (ui::Subclass& hook : hooks_) hook.Detach();
    // Queued after every write, so that nothing is written into the folder once it has gone.
    if (keep_)
        worker_.Run([folder = folder_] { folder->Release(); });
    else
        worker_.Run([folder = folder_] { folder->RemoveAll(); });
    WaitForDisk(kExitWaitMs);
}

void Recovery::SetTiming(DWORD pauseMs, DWORD longestMs) {
    pauseMs_ = pauseMs;
    longestMs_ = longestMs;
}

void Recovery::Start() {
    if (started_) return;
    started_ = true;
    worker_.Run([root = root_, sender = inbox_.MakeSender(), this] {
        auto orphans = std::make_shared<std::vector<recovery::Orphan>>(recovery::ClaimOrphans(root));
        // Once the window is gone the post is dropped, and with it our locks: the next start offers them again.
        sender.Post([this, orphans] { Offer(orphans); });
    });
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

void Recovery::Queue(Job job) {
    ++pending_;
    worker_.Run([folder = folder_, job = std::move(job), sender = inbox_.MakeSender(), this] {
        const bool ok = job(*folder);
        sender.Post([this, ok] {
            --pending_;
            if (!ok) Disable();
        });
    });
}

void Recovery::Replaced(int slot) {
    tracks_[static_cast<size_t>(slot)] = Track{};
    const auto it = entries_.find(slot);
    if (it == entries_.end()) return;
    const std::wstring file = it->second.FileName();
    entries_.erase(it);
    Queue([file, index = Index()](recovery::InstanceFolder& folder) {
        folder.Forget(file, index);
        return true;  // a snapshot that cannot be removed is only offered once more
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
    if (!s.occupied() || !s.editor || t.changes == t.written || !s.editor->Modified()) return false;
    return atOnce || now - t.last >= pauseMs_ || now - t.first >= longestMs_;
}

void Recovery::Tick() {
    if (!enabled_) return;
    const ULONGLONG now = ::GetTickCount64();
    if (round_.empty()) {
        for (int slot = 1; slot <= kSlotCount; ++slot)
            if (Due(slot, now, false)) round_.push_back(slot);
        FollowCaptions();
    }
    if (!round_.empty()) {
        const int slot = round_.front();
        round_.pop_front();
        if (Due(slot, now, true)) Snap(slot);
    }
    clock_.SetInterval(round_.empty() ? kCheckMs : kStepMs);
    bool waiting = !round_.empty();
    for (int slot = 1; slot <= kSlotCount && !waiting; ++slot) waiting = Due(slot, now, true);
    clock_.SetEnabled(waiting);
}

void Recovery::Snap(int slot) {
    Slot& s = form_.SlotAt(slot);
    Track& t = tracks_[static_cast<size_t>(slot)];
    t.written = t.changes;
    t.first = 0;
    std::string rtf;
    if (!s.editor->StreamOutRtf(rtf, {}, CP_UTF8)) return;  // tried again at the next change
    recovery::Entry& e = entries_[slot] = EntryOf(slot);
    Queue([file = e.FileName(), rtf = std::move(rtf), index = Index()](recovery::InstanceFolder& folder) {
        const std::string plain = PlainRtfFromUtf8Rtf(rtf);
        // A writer that stopped early (Wine's stops at a picture) leaves the last whole snapshot in place.
        return !IsWholeRtf(plain) || folder.Write(file, plain, index);
    });
}

// The index names each document as its tab does now, a caption that gained its "*" included.
void Recovery::FollowCaptions() {
    bool changed = false;
    for (auto& [slot, e] : entries_) {
        const recovery::Entry now = EntryOf(slot);
        if (now.hasFile == e.hasFile && now.path == e.path && now.caption == e.caption) continue;
        e.hasFile = now.hasFile;
        e.path = now.path;
        e.caption = now.caption;
        changed = true;
    }
    if (!changed) return;
    Queue([index = Index()](recovery::InstanceFolder& folder) { return folder.WriteIndex(index); });
}

void Recovery::QueryEndSession() {
    if (!enabled_) return;
    round_.clear();
    const ULONGLONG now = ::GetTickCount64();
    for (int slot = 1; slot <= kSlotCount; ++slot)
        if (Due(slot, now, true)) Snap(slot);
    FollowCaptions();
    WaitForDisk(kSessionWaitMs);
}

void Recovery::EndSession(bool ending) {
    if (!ending) return;
    QueryEndSession();
    keep_ = true;
}

void Recovery::Offer(const Orphans& orphans) {
    size_t count = 0;
    for (const recovery::Orphan& o : *orphans) count += o.snapshots.size();
    if (count > 0) {
        const std::wstring question = ui::Format1(txt::kRecoveryOffer, ui::ToText(static_cast<long long>(count)));
        if (ui::Ask(form_.Handle(), question, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            Restore(orphans);
        } else {
            Queue([orphans](recovery::InstanceFolder&) {
                for (recovery::Orphan& o : *orphans) recovery::Settle(o, {});
                return true;
            });
        }
    }
    answered_ = true;
}

void Recovery::Restore(const Orphans& orphans) {
    std::vector<Copy> copies;
    auto kept = std::make_shared<std::vector<std::vector<recovery::Entry>>>();
    for (recovery::Orphan& o : *orphans) {
        kept->emplace_back();
        for (recovery::Found& found : o.snapshots) {
            const recovery::Entry& old = found.entry;
            // What does not fit beside the open tabs waits for the next start.
            if (form_.TabCount() >= kSlotCount) {
                kept->back().push_back(old);
                continue;
            }
            const int slot = form_.OpenRecovered(found.rtf, old.hasFile, old.path, old.caption);
            if (slot == 0) continue;  // the control could not read it: nothing to give back
            Track& t = tracks_[static_cast<size_t>(slot)];
            t = Track{};
            recovery::Entry e = EntryOf(slot);
            e.time = old.time;  // the work is as old as it was
            copies.push_back(Copy{e.FileName(), std::move(found.rtf)});
            entries_[slot] = std::move(e);
        }
    }
    // The restored work moves into this instance's folder, where it is kept as any tab's; the old folder lets go of
    // it only once the copies are on disk.
    Queue([orphans, kept, copies = std::move(copies), index = Index()](recovery::InstanceFolder& folder) {
        bool ok = true;
        for (const Copy& c : copies) ok = ok && folder.Write(c.file, c.rtf, index);
        for (size_t i = 0; i < orphans->size(); ++i) {
            if (ok)
                recovery::Settle((*orphans)[i], (*kept)[i]);
            else
                (*orphans)[i].lock.reset();
        }
        return ok;
    });
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
    return true;
}

void Recovery::WaitForDisk(DWORD milliseconds) const {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (worker_.Busy() && ::GetTickCount64() < end) ::Sleep(2);
}

recovery::Entry Recovery::EntryOf(int slot) const {
    const Slot& s = form_.SlotAt(slot);
    recovery::Entry e;
    e.slot = slot;
    e.hasFile = s.hasFile;
    e.path = s.hasFile ? s.fileName : std::wstring();
    e.caption = s.caption;
    e.time = recovery::UtcNow();
    return e;
}

std::string Recovery::Index() const {
    std::vector<recovery::Entry> entries;
    for (const auto& [slot, e] : entries_) entries.push_back(e);
    return recovery::IndexText(entries);
}

}  // namespace app
