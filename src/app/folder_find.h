// Find in the folder's files: every hit of a text in the files of a folder and its sub-folders, each file read as a
// tab reads it, so that what is searched is the text the tab would show. The reading and searching run on a worker;
// what they find reaches the window's thread in batches.
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <string>
#include <vector>

#include "dialogs/editor_access.h"
#include "ui/background.h"

namespace app {

struct FolderSearchRequest {
    std::wstring folder;   // a file-system folder
    std::wstring pattern;  // the search text, not empty
    // The tabs' editor font defaults: the worker's reader is set up as a tab's editor is.
    dialogs::EditorFontDefaults font;
};

struct FolderHit {
    std::size_t file = 0;  // index of the file among the search's files with hits, in the order they came
    long line = 0;         // from 0, as the status bar counts lines with word wrap off
    long column = 0;       // character positions from the start of the line
    long position = 0;     // the editor's character position of the hit
    std::wstring context;  // the line's text, the hit in the middle when the line is long
};

// What one delivery brings: the files whose first hits are in it (paths relative to the searched folder) and the
// hits, in the order of the files and within a file.
struct FolderSearchBatch {
    std::vector<std::wstring> files;
    std::vector<FolderHit> hits;
};

struct FolderSearchStatus {
    int filesDone = 0;
    int filesTotal = 0;  // 0 until the folders are walked
    int unopened = 0;    // files that could not be read and folders that could not be listed
    bool finished = false;
    bool limited = false;  // stopped at kMaxHits
};

// The rules of what is searched, for the worker and for the tests that check them.
namespace folder_find {
inline constexpr std::size_t kMaxHits = 100000;
inline constexpr unsigned long long kMaxFileSize = 64ull << 20;  // larger files are passed over
inline constexpr std::size_t kContextLength = 200;               // characters of a line shown around a hit
// Files and folders that are not searched: hidden, system, and reparse points (junctions, links: no loops); and
// files whose contents are not on this machine (a cloud folder's placeholders, offline files), which a read would
// fetch whole, one after the other, from the network.
inline constexpr DWORD kRecallOnOpen = 0x00040000;        // FILE_ATTRIBUTE_RECALL_ON_OPEN, not in every SDK
inline constexpr DWORD kRecallOnDataAccess = 0x00400000;  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
inline constexpr DWORD kSkippedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                            FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen |
                                            kRecallOnDataAccess;

// Not text: a NUL byte in the first 4 KB of a file without a UTF-16 byte-order mark.
bool LooksBinary(std::string_view bytes);
// A rich-text reader's refusal of a file named .rtf that holds control bytes (other than tab, line ends, form feed,
// escape and end-of-file) in its first 4 KB: a file that is neither rich text nor plain text.
bool RefusedRtfIsNotText(std::wstring_view name, std::string_view bytes);
// The line's text around a hit at `at` of `length` characters: the whole line when it is short, otherwise about
// kContextLength characters with the hit in the middle, "…" where the line was cut; control characters as blanks.
std::wstring ContextOf(std::wstring_view line, std::size_t at, std::size_t length);
// A text of the program with its "%s" and "%d" filled in from the arguments, in order.
std::wstring Filled(std::wstring_view format, std::initializer_list<std::wstring> args);
}  // namespace folder_find

// One search at a time: a new one, Cancel or the end of this object makes the running one stale at once, and
// nothing of a stale search is delivered.
class FolderSearch {
public:
    FolderSearch();
    ~FolderSearch();
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    void Start(FolderSearchRequest request);
    void Cancel();
    bool Running() const noexcept { return running_; }
    // True while the worker still has a job, also one cancelled and not yet ended (tests wait for a quiet worker).
    bool WorkerBusy() const { return worker_.Busy(); }

    // On the window's thread, in the order the worker found them.
    std::function<void(FolderSearchBatch& batch)> OnBatch;
    // Progress after every batch, and once more with `finished` set at the end.
    std::function<void(const FolderSearchStatus& status)> OnStatus;

private:
    friend class FolderSearchJob;
    void Arrive(FolderSearchBatch& batch, const FolderSearchStatus& status);

    ui::UiInbox inbox_;
    ui::Generation generation_;
    ui::BackgroundWorker worker_;  // goes first: its job ends before the inbox does
    bool running_ = false;
};

}  // namespace app
