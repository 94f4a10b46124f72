// The files that keep unsaved work across a crash: a folder "recovery" beside data.ini, in it one folder per running
// instance with a lock file the instance holds open, its snapshots (one rich text file per tab) and an index that
// names them. Nothing here touches a window: these run on the recovery worker's thread.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/owned.h"

namespace app::recovery {

// One snapshot as the index records it.
struct Entry {
    int slot = 0;                   // the tab's slot in the instance that wrote it
    bool hasFile = false;           // false: the document was untitled
    std::wstring path;              // the document's own file; empty when untitled
    std::wstring caption;           // the tab's caption, "*" and all
    std::wstring time;              // when the snapshot was taken, UTC, as 2024-05-01T12:34:56Z
    std::wstring FileName() const;  // the snapshot's name in its folder
};

// The index as written: a header line, then one line per entry with its fields separated by tabs.
std::string IndexText(const std::vector<Entry>& entries);
// Entries of an index; lines that are not whole entries (an index cut short, edited by hand) are left out.
std::vector<Entry> ParseIndex(std::string_view text);
// The present time as the index writes it.
std::wstring UtcNow();

// Writes the file under a temporary name in its folder, flushes it and moves it into place, so that a write cut
// short never replaces a good file. False when any step failed; no temporary file is left behind.
bool WriteAtomically(const std::wstring& path, std::string_view bytes);
std::optional<std::string> ReadAll(const std::wstring& path);

// The folder of this running instance: made on first use and locked for as long as it is held.
class InstanceFolder {
public:
    explicit InstanceFolder(std::wstring root) : root_(std::move(root)) {}
    ~InstanceFolder() = default;
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;

    // Writes a snapshot and then the index; false when the folder cannot be made or written.
    bool Write(const std::wstring& file, std::string_view rtf, std::string_view index);
    // Writes the index alone (a caption or path changed, a snapshot went).
    bool WriteIndex(std::string_view index);
    // A snapshot goes: out of the index first, so that a crash in between leaves no entry without its file.
    void Forget(const std::wstring& file, std::string_view index);
    // A normal end: the snapshots, the index, the lock and the folder go; "recovery" too when nothing else is left.
    void RemoveAll();
    // The session ends: everything stays for the next start, which can take the lock once the process is gone.
    void Release() { lock_.reset(); }
    // Empty until the folder was made.
    const std::wstring& Path() const noexcept { return path_; }
    const std::wstring& Root() const noexcept { return root_; }

private:
    bool Ensure();
    std::wstring root_;
    std::wstring path_;
    ui::UniqueHandle lock_;
};

// A readable snapshot of an instance that has ended.
struct Found {
    Entry entry;
    std::string rtf;
};

// The folder of an instance that has ended, locked by us until it is settled, so that no other copy of the program
// offers the same documents meanwhile.
struct Orphan {
    std::wstring path;
    ui::UniqueHandle lock;
    std::vector<Found> snapshots;  // the readable ones, by slot
};

// The folders under root whose instance no longer runs (their lock can be taken), with their readable snapshots.
// Folders with nothing readable are removed at once. A running instance, this one included, holds its lock and is
// passed over.
std::vector<Orphan> ClaimOrphans(const std::wstring& root);

// Done with an orphan: the entries of `kept` stay, with their snapshots and an index of them, for a later start;
// every other file goes, and the folder itself when nothing is kept. The lock is let go.
void Settle(Orphan& orphan, const std::vector<Entry>& kept);

}  // namespace app::recovery
