// The files that keep unsaved work across a crash: a folder "recovery" beside data.ini, in it one folder per running
// instance, named with its user's identity, holding a lock file the instance keeps open, its snapshots (one rich
// text file per tab) and an index that names them. Nothing here touches a window: these run on the recovery
// worker's thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/file_stamp.h"
#include "ui/owned.h"

namespace app::recovery {

// One snapshot as the index records it.
struct Entry {
    int slot = 0;                   // the tab's slot in the instance that wrote it
    bool hasFile = false;           // false: the document was untitled
    std::wstring path;              // the document's own file; empty when untitled
    std::wstring caption;           // the tab's caption, "*" and all
    std::wstring time;              // when the snapshot was taken, UTC, as 2024-05-01T12:34:56Z
    FileStamp stamp;                // the file as the tab last read or saved it (no file ID is kept)
    std::wstring FileName() const;  // the snapshot's name in its folder
};

// The index as written: a header line, then one line per entry with its fields separated by tabs. Every UTF-16 unit
// of a field comes back as it was, a lone surrogate included.
std::string IndexText(const std::vector<Entry>& entries);
// Entries of an index; lines that are not whole entries (an index cut short, edited by hand) are left out. Nullopt
// when the text is no index this version reads (another version's, or not an index at all).
std::optional<std::vector<Entry>> ParseIndex(std::string_view text);
// The present time as the index writes it.
std::wstring UtcNow();

// The account running the program, as a SID string ("S-1-5-21-…"); empty where the system gives none.
std::wstring CurrentUserSid();

// Writes go through this, so that a test can stand in for a disk that fails part-way or a file held by another
// program (a sync client, a virus scanner). As WriteFile: false on failure.
using ChunkWriter = bool (*)(HANDLE file, const char* data, DWORD size, DWORD* written);
class ScopedChunkWriter {
public:
    explicit ScopedChunkWriter(ChunkWriter replacement) noexcept;
    ~ScopedChunkWriter();
    ScopedChunkWriter(const ScopedChunkWriter&) = delete;
    ScopedChunkWriter& operator=(const ScopedChunkWriter&) = delete;

private:
    ChunkWriter previous_;
};

// What the user discards goes to the Recycle Bin (where the volume has none the system deletes it). True when the
// files are gone from where they were. Tests stand in for it where the system has no bin for their folder.
using Recycler = bool (*)(const std::vector<std::wstring>& paths);
bool MoveToRecycleBin(const std::vector<std::wstring>& paths);
class ScopedRecycler {
public:
    explicit ScopedRecycler(Recycler replacement) noexcept;
    ~ScopedRecycler();
    ScopedRecycler(const ScopedRecycler&) = delete;
    ScopedRecycler& operator=(const ScopedRecycler&) = delete;

private:
    Recycler previous_;
};

// Writes the file under a temporary name in its folder, flushes it and moves it into place, so that a write cut
// short never replaces a good file. False when any step failed; no temporary file is left behind. A stop that is
// set keeps the file from being put in place.
bool WriteAtomically(const std::wstring& path, std::string_view bytes, const std::atomic<bool>* stop = nullptr);
std::optional<std::string> ReadAll(const std::wstring& path);

enum class WriteResult {
    kOk,
    kFailed,    // this write failed; a later one may work (a file held by another program, a full disk)
    kNoFolder,  // the folder cannot be made at all: nothing will ever be kept
};

// The folder of this running instance: made on first use and locked for as long as it is held.
class InstanceFolder {
public:
    InstanceFolder(std::wstring root, std::wstring user) : root_(std::move(root)), user_(std::move(user)) {}
    ~InstanceFolder() = default;
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;

    // Writes a snapshot and then the index.
    WriteResult Write(const std::wstring& file, std::string_view rtf, std::string_view index);
    // Writes the index alone (a caption or path changed, a snapshot went).
    WriteResult WriteIndex(std::string_view index);
    // A snapshot goes: out of the index first, so that a crash in between leaves no entry without its file.
    WriteResult Forget(const std::wstring& file, std::string_view index);
    // A normal end: the snapshots, the index, the lock and the folder go; "recovery" too when nothing else is left.
    // Safe from any thread once Close was called and the worker no longer runs a write.
    void RemoveAll();
    // The session ends: everything stays for the next start, which can take the lock once the process is gone.
    void Release();
    // From any thread: no write is put in place after this (the program is ending).
    void Close() noexcept { closed_ = true; }
    // Empty until the folder was made.
    std::wstring Path() const;
    const std::wstring& Root() const noexcept { return root_; }

private:
    WriteResult Ensure();
    bool Put(const std::wstring& name, std::string_view bytes);
    const std::wstring root_;
    const std::wstring user_;
    mutable std::mutex mutex_;  // path_ and lock_, read by the window's thread at the end
    std::wstring path_;
    ui::UniqueHandle lock_;
    std::atomic<bool> closed_{false};
};

// A snapshot an ended instance left that can be offered: its entry and the file that holds it (tab<n>.rtf, or a
// complete tab<n>.rtf.tmp where a power cut on a file system without an atomic replace left no .rtf).
struct Offered {
    Entry entry;
    std::wstring file;
};

// The folder of an instance that has ended, locked by us until it is settled, so that no other copy of the program
// offers the same documents meanwhile.
struct Orphan {
    std::wstring path;
    ui::UniqueHandle lock;
    std::vector<Entry> entries;    // what its index lists now
    std::vector<Offered> offered;  // the snapshots that look whole, by slot; read only when restored
};

// The folders of this user under root whose instance no longer runs (their lock can be taken), with what they can
// offer; only the indexes are read, and each snapshot's end. A folder with nothing in it but its lock and an index
// of nothing is removed; what cannot be read (an index held by another program or of another version, a snapshot
// cut short) is left where it is and not offered. Running instances, this one included, hold their locks.
std::vector<Orphan> ClaimOrphans(const std::wstring& root, const std::wstring& user);
// The whole snapshot, nullopt when it cannot be read or was cut short.
std::optional<std::string> ReadSnapshot(const Orphan& orphan, const Offered& offered);
// A snapshot given back and kept elsewhere now: it leaves the orphan's index, then its file goes.
void Consume(Orphan& orphan, const Offered& offered);
// A snapshot the control would not take: it leaves the index and is never offered again; its file stays.
void SetAside(Orphan& orphan, const Offered& offered);
// Answered No: the offered snapshots go to the Recycle Bin, the whole folder when nothing else is in it; what was
// not offered stays. Then settled.
void Discard(Orphan& orphan);
// Done: the orphan keeps what its index still lists; a folder with nothing else in it goes. The lock is let go.
void Settle(Orphan& orphan);

}  // namespace app::recovery
