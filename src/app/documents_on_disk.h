// Open documents follow their files on disk. A tab knows its file as it last read or saved it (Slot::stamp); the
// current tab's file is looked at when the window becomes active, when the tab becomes current and every 2 s while
// the window is active, and compared with what the tab knows:
// - changed, tab unmodified: read again at once, with its caret and first visible line kept;
// - changed, tab modified: the user is asked once for that change whether to read it again, and the tab remembers
//   that its file is newer than what it holds, so that an overwrite save asks before it writes;
// - gone (its folder is there, the file is not): the tab keeps its text and counts as unsaved;
// - unreachable (no folder, no drive, a network error): left alone until it can be reached again.
//
// Threads: the looks run on a worker, so a drive that does not answer never stalls the window; what they find comes
// back through an inbox and is acted on only for the tab that is still current. Each tab has a generation: the
// program's own reads and saves take a new stamp and a new generation, so that a look under way while the tab was
// saved is dropped when it arrives and a save of ours is never taken for another program's change.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/file_stamp.h"
#include "app/kurvanta_.h"
#include "ui/background.h"
#include "ui/window.h"

namespace app {

enum class FileState { present, missing, unreachable };

struct FileLook {
    FileState state = FileState::unreachable;
    FileStamp stamp;  // known when present
};

// Looks at the file now, on the calling thread: present, with its stamp; missing when its folder is there and the
// file is not; unreachable when the folder or the drive is not there, or the file system cannot say (a network
// error, access refused).
FileLook LookAt(const std::wstring& path);
// The file's stamp now; not known when the file is not present.
FileStamp StampOf(const std::wstring& path);

// True when both stamps are of the file as it was: the same last-write time, to the 100 ns, and the same size, and
// the same file ID where both have one (a stamp restored from elsewhere has none).
bool SameFile(const FileStamp& a, const FileStamp& b) noexcept;

// What a look found, against what the tab knew.
enum class Finding {
    same,
    first,  // the tab knew nothing of its file: the look's stamp is what it holds
    changed,
    missing,
    unreachable,
};
struct Outcome {
    Finding finding = Finding::unreachable;
    FileStamp stamp;  // the file as the look found it, when present
};
Outcome Compare(const FileStamp& known, const FileLook& look) noexcept;

class DocumentsOnDisk {
public:
    // How often the current tab's file is looked at while the window is active.
    static constexpr UINT kLookMs = 2000;

    explicit DocumentsOnDisk(TForm1& form);
    DocumentsOnDisk(const DocumentsOnDisk&) = delete;
    DocumentsOnDisk& operator=(const DocumentsOnDisk&) = delete;

    // The tab holds its file as the stamp says (read into it, or just saved): what it knew of other programs' changes
    // goes, and a look under way no longer counts.
    void Took(int slot, const FileStamp& stamp);
    // The tab was emptied for another document, or closed: nothing to follow until it takes a file.
    void Forget(int slot);

    // The window became active (looked at now, and every kLookMs) or was left (no more looks).
    void Activated(bool active);
    // A tab became current: its file is looked at.
    void TabShown(int slot);
    void LookAtCurrent();

    // The tab's text changed (typing, a paste, an undo).
    void Edited(int slot) { TrackOf(slot).markedMissing = false; }

    // Before an overwrite save: false when another program changed the file since the tab read or saved it and the
    // user does not want it written over.
    bool MayOverwrite(int slot);

    // What status bar panel 2 shows for the tab: what happened to its file, or its file name.
    std::wstring StatusText(int slot) const;

    // How the worker looks at a file (tests hold a look back, or make it slow as a network drive).
    using Look = std::function<FileLook(const std::wstring& path)>;
    void SetLook(Look look) { look_ = std::move(look); }
    // True when no look has yet to come back.
    bool Settled() const noexcept { return pending_ == 0; }

private:
    struct Track {
        ui::Generation generation;   // a new one for each look, read and save: older looks are stale
        bool looking = false;        // a look of this tab is under way
        bool newer = false;          // another program changed the file since the tab read or saved it
        bool missing = false;        // the tab was told that its file is gone
        bool markedMissing = false;  // its modified mark is only that: nothing was typed since
        FileStamp asked;             // the change the user was asked about last, so that each is asked about once
        std::wstring notice;         // shown in panel 2 in place of the file name
        bool noticeLasts = false;    // kept while the file stays as the notice says; otherwise until the tab is left
    };

    void Arrived(int slot, const ui::Generation::Token& token, const Outcome& outcome, bool looked);
    void Changed(int slot, const ui::Generation::Token& token, const Outcome& outcome);
    void Gone(int slot);
    void Reload(int slot, const FileStamp& stamp);
    void Notify(int slot, const wchar_t* format, bool lasts);
    void ClearMissing(int slot);
    int Ask(const std::wstring& text, UINT flags);
    Track& TrackOf(int slot) { return tracks_[static_cast<size_t>(slot)]; }

    TForm1& form_;
    Look look_ = LookAt;
    std::array<Track, kSlotCount + 1> tracks_;  // index 0 unused, as in the slot table
    int pending_ = 0;                           // looks queued or running
    // The tab looked at last, for the worker: a look queued for a tab no longer shown is not made at all, so that
    // looks behind a slow one do not pile up.
    std::shared_ptr<std::atomic<int>> shown_ = std::make_shared<std::atomic<int>>(0);
    bool asking_ = false;  // a question of ours is up: nothing else is looked at or acted on
    ui::BackgroundWorker worker_;
    ui::UiInbox inbox_;  // destroyed before the worker: what a late look posts reaches no tab
    ui::Timer clock_;
};

}  // namespace app
