#include "app/documents_on_disk.h"

#include <algorithm>
#include <cstdint>

#include "app/document_io.h"
#include "app/recovery.h"
#include "ui/error.h"
#include "ui/owned.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

std::uint64_t Join(DWORD high, DWORD low) noexcept {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Set for the lifetime of the scope, whatever ends it.
class Raised {
public:
    explicit Raised(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~Raised() { flag_ = false; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;

private:
    bool& flag_;
};

// Where a character position is, as the user sees it: the line and the column in it.
struct Place {
    long line;
    long column;
};

Place PlaceOf(const ui::RichEdit& editor, long position) {
    const long line = editor.LineFromChar(position);
    return {line, position - editor.LineIndex(line)};
}

// The position nearest to the place in the editor's present text.
long PositionAt(const ui::RichEdit& editor, Place place) {
    const long line = std::clamp(place.line, 0L, editor.LineCount() - 1);
    return editor.LineIndex(line) + std::min(place.column, editor.LineLength(line));
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ui::LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

FileLook LookAt(const std::wstring& path) {
    const std::wstring target = ui::LongPathForm(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data)) {
        // Only a file missing from a folder that is there is gone; a folder or drive that is not there (a drive
        // taken away, a share not connected) may come back with the file in it.
        const bool gone = ::GetLastError() == ERROR_FILE_NOT_FOUND && IsFolder(ui::DirectoryOf(path));
        return {gone ? FileState::missing : FileState::unreachable, {}};
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {FileState::missing, {}};
    FileLook look{FileState::present, {}};
    FileStamp& stamp = look.stamp;
    stamp.known = true;
    stamp.lastWrite = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    stamp.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    // The file ID tells a file put in place of the old one (as editors save) even when its time and size are the
    // same. Opened for its attributes only and shared every way, so that no program is kept from its file; where
    // that fails, time and size are all there is.
    const ui::UniqueHandle file = ui::OwnFileHandle(
        ::CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file && ::GetFileInformationByHandle(file.get(), &info)) {
        stamp.lastWrite = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
        stamp.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
        stamp.fileId = Join(info.nFileIndexHigh, info.nFileIndexLow);
    }
    return look;
}

FileStamp StampOf(const std::wstring& path) {
    return LookAt(path).stamp;
}

bool SameFile(const FileStamp& a, const FileStamp& b) noexcept {
    if (a.fileId != 0 && b.fileId != 0 && a.fileId != b.fileId) return false;
    return a.lastWrite == b.lastWrite && a.size == b.size;
}

Outcome Compare(const FileStamp& known, const FileLook& look) noexcept {
    switch (look.state) {
        case FileState::missing:
            return {Finding::missing, {}};
        case FileState::unreachable:
            return {Finding::unreachable, {}};
        case FileState::present:
            break;
    }
    if (!known.known) return {Finding::first, look.stamp};
    return {SameFile(known, look.stamp) ? Finding::same : Finding::changed, look.stamp};
}

DocumentsOnDisk::DocumentsOnDisk(TForm1& form) : form_(form), clock_(nullptr, kLookMs, false) {
    clock_.OnTimer = [this] { LookAtCurrent(); };
}

void DocumentsOnDisk::Took(int slot, const FileStamp& stamp) {
    form_.SlotAt(slot).stamp = stamp;
    Track& t = TrackOf(slot);
    t.generation.CancelAll();
    t.looking = false;
    t.newer = false;
    t.missing = false;
    t.markedMissing = false;
    t.asked = {};
    t.notice.clear();
    t.noticeLasts = false;
}

void DocumentsOnDisk::Forget(int slot) {
    Took(slot, {});
}

void DocumentsOnDisk::Activated(bool active) {
    clock_.SetEnabled(active);
    if (active) LookAtCurrent();
}

void DocumentsOnDisk::TabShown(int slot) {
    // What the reading again said belongs to the tab it happened in, while it is shown.
    for (int n = 1; n <= kSlotCount; ++n) {
        Track& t = TrackOf(n);
        if (n != slot && !t.noticeLasts) t.notice.clear();
    }
    LookAtCurrent();
}

void DocumentsOnDisk::LookAtCurrent() {
    const int slot = form_.CurrentSlot();
    if (slot == 0 || asking_) return;
    const Slot& s = form_.SlotAt(slot);
    Track& t = TrackOf(slot);
    // An untitled tab has nothing on disk to follow; a tab already being looked at waits for that look.
    if (!s.occupied() || !s.editor || !s.hasFile || t.looking) return;
    t.looking = true;
    ++pending_;
    shown_->store(slot);
    worker_.Run([look = look_, path = s.fileName, known = s.stamp, token = t.generation.Start(), shown = shown_,
                 sender = inbox_.MakeSender(), slot, this] {
        const bool wanted = shown->load() == slot;
        FileLook found;  // unreachable, when the look itself fails
        try {
            if (wanted) found = look(path);
        } catch (...) {
        }
        const Outcome outcome = Compare(known, found);
        sender.Post([this, slot, token, outcome, wanted] { Arrived(slot, token, outcome, wanted); });
    });
}

void DocumentsOnDisk::Arrived(int slot, const ui::Generation::Token& token, const Outcome& outcome, bool looked) {
    --pending_;
    if (token.Stale()) return;  // the tab was read, saved or closed since: the look is not about what it holds
    Track& t = TrackOf(slot);
    t.looking = false;
    if (!looked) {
        // Passed over while another tab was shown; shown again meanwhile, it is looked at now.
        LookAtCurrent();
        return;
    }
    // Only the tab on show is acted on: another is looked at again when it becomes current.
    // A box of any other question up (the window is disabled under it) is no time for one more.
    if (asking_ || !::IsWindowEnabled(form_.Handle()) || slot != form_.CurrentSlot() || !form_.SlotAt(slot).editor)
        return;
    ui::RunCommand(form_.Handle(), [&] {
        switch (outcome.finding) {
            case Finding::unreachable:
                break;  // left as it is until the file can be reached again
            case Finding::missing:
                Gone(slot);
                break;
            case Finding::first:
                form_.SlotAt(slot).stamp = outcome.stamp;
                ClearMissing(slot);
                break;
            case Finding::same:
                ClearMissing(slot);
                break;
            case Finding::changed:
                ClearMissing(slot);
                Changed(slot, token, outcome);
                break;
        }
    });
}

void DocumentsOnDisk::Changed(int slot, const ui::Generation::Token& token, const Outcome& outcome) {
    Slot& s = form_.SlotAt(slot);
    Track& t = TrackOf(slot);
    if (!s.editor->Modified()) {
        Reload(slot, outcome.stamp);
        return;
    }
    if (t.asked.known && SameFile(t.asked, outcome.stamp)) return;  // asked about this change already
    t.newer = true;
    t.asked = outcome.stamp;
    const int answer = Ask(ui::Format1(txt::kFileChangedReload, s.fileName), MB_YESNO | MB_ICONQUESTION);
    // While the question was up the tab may have been saved or closed, or another shown.
    if (answer == IDYES && !token.Stale() && form_.CurrentSlot() == slot) Reload(slot, outcome.stamp);
}

void DocumentsOnDisk::Gone(int slot) {
    Track& t = TrackOf(slot);
    if (t.missing) return;
    t.missing = true;
    // The tab may now hold the only copy of the text: it counts as unsaved, so that closing the tab or the program
    // asks first, and recovery keeps it.
    ui::RichEdit& editor = *form_.SlotAt(slot).editor;
    t.markedMissing = !editor.Modified();
    editor.SetModified(true);
    form_.UnsavedWork().Changed(slot);
    Notify(slot, txt::kFileMissing, true);
}

void DocumentsOnDisk::ClearMissing(int slot) {
    Track& t = TrackOf(slot);
    if (!t.missing) return;
    t.missing = false;
    if (t.markedMissing) {
        // Gone for a moment only (a program that saves by deleting and writing anew): the tab holds what it read
        // or saved, as before, and follows the file from here as any unmodified tab does.
        t.markedMissing = false;
        form_.SlotAt(slot).editor->SetModified(false);
        form_.UnsavedWork().Replaced(slot);
    }
    t.notice.clear();
    t.noticeLasts = false;
}

// stamp: the file as the look found it. Should it change again before the read, the next look reads it once more.
void DocumentsOnDisk::Reload(int slot, const FileStamp& stamp) {
    Slot& s = form_.SlotAt(slot);
    ui::RichEdit& editor = *s.editor;
    const CHARRANGE selection = editor.Selection();
    const Place anchor = PlaceOf(editor, selection.cpMin), caret = PlaceOf(editor, selection.cpMax);
    const long firstLine = editor.FirstVisibleLine();
    {
        // Drawn once, when the text and the view are in place: the control under Wine takes several times as long
        // to take text in while it draws.
        const ui::BusyCursor busy;
        editor.BeginUpdate();
        try {
            readDocument(editor, s.fileName);
        } catch (const ui::Error&) {
            // Held open by the program writing it, most likely: the next look tries again.
            editor.EndUpdate();
            return;
        }
        editor.SelectWithoutScroll(PositionAt(editor, anchor), PositionAt(editor, caret));
        editor.ScrollToLine(firstLine);
        editor.EndUpdate();
    }
    editor.SetModified(false);
    form_.UnsavedWork().Replaced(slot);  // the tab holds its file again: nothing of the user's to keep
    Took(slot, stamp);
    Notify(slot, txt::kFileReloaded, false);
}

void DocumentsOnDisk::Notify(int slot, const wchar_t* format, bool lasts) {
    Track& t = TrackOf(slot);
    t.notice = ui::Format1(format, form_.SlotAt(slot).fileName);
    t.noticeLasts = lasts;
    form_.Timer1Timer();  // shown now, not at the next refresh
}

int DocumentsOnDisk::Ask(const std::wstring& text, UINT flags) {
    // While a question is up its message loop runs: looks that come back then are dropped, none is started.
    const Raised asking(asking_);
    return ui::Ask(form_.Handle(), text, flags);
}

bool DocumentsOnDisk::MayOverwrite(int slot) {
    const Slot& s = form_.SlotAt(slot);
    if (!s.hasFile) return true;
    // Looked at again now, on the window's thread as the write that follows: a change since the last look counts.
    const bool changed = TrackOf(slot).newer || Compare(s.stamp, LookAt(s.fileName)).finding == Finding::changed;
    if (!changed) return true;
    return Ask(ui::Format1(txt::kFileChangedOverwrite, s.fileName), MB_YESNO | MB_ICONWARNING) == IDYES;
}

std::wstring DocumentsOnDisk::StatusText(int slot) const {
    const Track& t = tracks_[static_cast<size_t>(slot)];
    return t.notice.empty() ? form_.SlotAt(slot).fileName : t.notice;
}

}  // namespace app
