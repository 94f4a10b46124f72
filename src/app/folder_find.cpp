#include "app/folder_find.h"

#include <shlwapi.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "app/document_io.h"
#include "app/finder.h"
#include "ui/owned.h"
#include "ui/rich_edit.h"
#include "ui/text.h"

namespace app {

namespace folder_find {

namespace {
constexpr std::size_t kSniffLength = 4096;

bool HasUtf16Mark(std::string_view bytes) {
    return bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF");
}
}  // namespace

bool LooksBinary(std::string_view bytes) {
    if (HasUtf16Mark(bytes)) return false;
    const std::string_view head = bytes.substr(0, std::min(bytes.size(), kSniffLength));
    return head.find('\0') != std::string_view::npos;
}

bool RefusedRtfIsNotText(std::wstring_view name, std::string_view bytes) {
    const std::wstring file = ui::FileNameOf(name);
    if (file.size() < 4 || ::CompareStringOrdinal(file.c_str() + file.size() - 4, 4, L".rtf", 4, TRUE) != CSTR_EQUAL)
        return false;
    if (HasUtf16Mark(bytes)) return false;
    const std::string_view head = bytes.substr(0, std::min(bytes.size(), kSniffLength));
    return std::any_of(head.begin(), head.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A && b != 0x1B;
    });
}

std::wstring ContextOf(std::wstring_view line, std::size_t at, std::size_t length) {
    std::size_t start = 0;
    std::size_t end = line.size();
    if (line.size() > kContextLength) {
        const std::size_t middle = at + length / 2;
        start = middle > kContextLength / 2 ? middle - kContextLength / 2 : 0;
        start = std::min(start, line.size() - kContextLength);
        end = start + kContextLength;
        // Never half a surrogate pair at either end.
        if (start > 0 && IS_LOW_SURROGATE(line[start])) ++start;
        if (end < line.size() && IS_LOW_SURROGATE(line[end])) ++end;
    }
    std::wstring text;
    text.reserve(end - start + 2);
    if (start > 0) text += L'…';
    for (std::size_t i = start; i < end; ++i) text += line[i] < L' ' ? L' ' : line[i];
    if (end < line.size()) text += L'…';
    return text;
}

std::wstring Filled(std::wstring_view format, std::initializer_list<std::wstring> args) {
    std::wstring out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size() && (format[i + 1] == L's' || format[i + 1] == L'd') &&
            arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

}  // namespace folder_find

namespace {

using namespace folder_find;

// Milliseconds between deliveries while the search runs: the progress often, the hits less often, since every
// new row count makes the list draw its scroll bar at once. The first hits go at once.
constexpr ULONGLONG kStatusInterval = 100;
constexpr ULONGLONG kHitsInterval = 250;
constexpr ULONGLONG kPumpInterval = 10;

// Thrown from inside a read when the search has gone stale: it ends the read, then the job.
struct Cancelled {};

struct FileToSearch {
    std::wstring relative;
};

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    return folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

bool NameBefore(const std::wstring& a, const std::wstring& b) {
    return ::StrCmpLogicalW(a.c_str(), b.c_str()) < 0;
}

enum class ReadResult { kRead, kCannotOpen, kTooLarge };

// The whole file, opened so that other programs may go on reading, writing or deleting it meanwhile.
ReadResult ReadAll(const std::wstring& path, std::string& bytes) {
    ui::UniqueHandle file = ui::OwnFileHandle(::CreateFileW(
        ui::LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return ReadResult::kCannotOpen;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return ReadResult::kCannotOpen;
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxFileSize) return ReadResult::kTooLarge;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            return ReadResult::kCannotOpen;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return ReadResult::kRead;
}

// The control a tab's editor is, of the worker's own: made on the worker's thread, with no parent to show it in.
class Reader {
public:
    explicit Reader(const dialogs::EditorFontDefaults& font) : font_(font) {
        control_.Create(HWND_MESSAGE, 0, RECT{});
        control_.SetTextLimit(kLoadedTextLimit);
    }
    ~Reader() {
        if (control_.Handle()) ::DestroyWindow(control_.Handle());
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool Ready() const { return control_.Handle() != nullptr; }
    ui::RichEdit& Control() { return control_; }

    // Takes the bytes in as a new tab's editor does (its font defaults, then the document); the text, in the
    // control's character positions, or nullopt when rich text was refused and the file is not text either.
    std::optional<std::wstring> Decode(const std::wstring& name, std::string_view bytes,
                                       const ui::StreamProgress& progress) {
        control_.SetFont(font_.charset, font_.name, font_.size);
        control_.SetText(L"");
        DecodedDocument document = DecodeDocument(control_, bytes, progress);
        rich_ = document.richText;
        if (rich_) return control_.Text();
        if (RefusedRtfIsNotText(name, bytes)) return std::nullopt;
        return ParagraphText(document.plainText);
    }
    bool Rich() const noexcept { return rich_; }

private:
    dialogs::EditorFontDefaults font_;
    ui::RichEdit control_;
    bool rich_ = false;
};

// Where the hits of one text stand: lines as the status bar counts them with word wrap off. For rich text the
// control itself says (a line break inside a paragraph starts a line too); plain text has one line a paragraph.
class Lines {
public:
    Lines(std::wstring_view text, ui::RichEdit* rich) : text_(text), rich_(rich) {}

    // The line of a position; positions are asked for in ascending order.
    void MoveTo(long position) {
        if (position >= start_ && position < next_) return;
        if (rich_) {
            line_ = rich_->LineFromChar(position);
            start_ = rich_->LineIndex(line_);
            const long next = rich_->LineIndex(line_ + 1);
            next_ = next < 0 ? static_cast<long>(text_.size()) + 1 : next;
        } else {
            for (; scanned_ < position; ++scanned_) {
                if (text_[static_cast<std::size_t>(scanned_)] == L'\r') {
                    ++line_;
                    start_ = scanned_ + 1;
                }
            }
            const std::size_t end = text_.find(L'\r', static_cast<std::size_t>(position));
            next_ = end == std::wstring_view::npos ? static_cast<long>(text_.size()) + 1 : static_cast<long>(end) + 1;
        }
    }
    long Line() const noexcept { return line_; }
    long Start() const noexcept { return start_; }
    // The line's text without its break.
    std::wstring_view Text() const {
        const auto from = static_cast<std::size_t>(std::clamp<long>(start_, 0, static_cast<long>(text_.size())));
        auto to =
            static_cast<std::size_t>(std::clamp<long>(next_, static_cast<long>(from), static_cast<long>(text_.size())));
        while (to > from && (text_[to - 1] == L'\r' || text_[to - 1] == L'\n')) --to;
        return text_.substr(from, to - from);
    }

private:
    std::wstring_view text_;
    ui::RichEdit* rich_;
    long line_ = 0;
    long start_ = 0;
    long next_ = -1;    // where the next line starts; before it the line is known
    long scanned_ = 0;  // plain text: the line breaks before this were counted
};

}  // namespace

// The search as it runs on the worker. It holds only copies of what it was given, the generation's token and the
// inbox's sender; the search object is reached only through what it posts, which runs only while the inbox lives.
class FolderSearchJob {
public:
    FolderSearchJob(FolderSearchRequest request, ui::Generation::Token token, ui::UiInbox::Sender sender,
                    FolderSearch* search)
        : request_(std::move(request)), token_(std::move(token)), sender_(std::move(sender)), search_(search) {}

    void Run() {
        try {
            std::vector<FileToSearch> files = Walk();
            status_.filesTotal = static_cast<int>(files.size());
            Deliver();
            Reader reader(request_.font);
            PatternFinder finder(request_.pattern);
            for (const FileToSearch& file : files) {
                CheckStale();
                Serve();
                if (reader.Ready()) Search(reader, finder, file);
                ++status_.filesDone;
                if (status_.limited) break;
                DeliverWhenDue();
            }
            status_.finished = true;
            Deliver();
        } catch (const Cancelled&) {
            // A newer search, or none: nothing more of this one is shown.
        }
    }

private:
    void CheckStale() const {
        if (token_.Stale()) throw Cancelled{};
    }

    // The worker's windows, the reader's among them, are served between files and folders; a look at the queue
    // costs a call to the system, too much to make after every small file.
    void Serve() {
        const ULONGLONG now = ::GetTickCount64();
        if (now - served_ < kPumpInterval) return;
        ui::PumpPending();
        served_ = now;
    }

    // Every file to search, in folder order: a folder's files by name, then its sub-folders by name, each with
    // everything below it.
    std::vector<FileToSearch> Walk() {
        std::vector<FileToSearch> files;
        std::vector<std::wstring> pending{std::wstring()};  // folders still to list, relative; the next at the back
        while (!pending.empty()) {
            CheckStale();
            Serve();
            const std::wstring relative = std::move(pending.back());
            pending.pop_back();
            std::vector<std::wstring> names, folders;
            if (!List(Joined(request_.folder, relative), names, folders)) ++status_.unopened;
            std::sort(names.begin(), names.end(), NameBefore);
            std::sort(folders.begin(), folders.end(), NameBefore);
            for (const std::wstring& name : names) files.push_back({Joined(relative, name)});
            for (auto it = folders.rbegin(); it != folders.rend(); ++it) pending.push_back(Joined(relative, *it));
        }
        return files;
    }

    // The files and sub-folders of a folder that are searched; false when it could not be listed to its end (what
    // was listed before the failure is kept).
    static bool List(const std::wstring& folder, std::vector<std::wstring>& names, std::vector<std::wstring>& folders) {
        WIN32_FIND_DATAW data{};
        HANDLE find = ::FindFirstFileExW(ui::LongPathForm(Joined(folder, L"*")).c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L".." || (data.dwFileAttributes & kSkippedAttributes)) continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                folders.push_back(name);
            } else {
                const unsigned long long size =
                    (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                if (size <= kMaxFileSize) names.push_back(name);
            }
        } while (::FindNextFileW(find, &data));
        const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
        ::FindClose(find);
        return complete;
    }

    void Search(Reader& reader, PatternFinder& finder, const FileToSearch& file) {
        std::string bytes;
        const ReadResult read = ReadAll(Joined(request_.folder, file.relative), bytes);
        if (read == ReadResult::kCannotOpen) ++status_.unopened;
        if (read != ReadResult::kRead || LooksBinary(bytes)) return;
        // A long read is stopped as soon as the search goes stale; meanwhile the worker's windows are served.
        const ui::StreamProgress progress = [this](int) {
            ui::PumpPending();
            CheckStale();
        };
        const std::optional<std::wstring> text = reader.Decode(file.relative, bytes, progress);
        if (!text) return;
        const std::vector<long> positions = finder.In(*text);
        if (positions.empty()) return;
        if (hits_ == kMaxHits) {
            status_.limited = true;
            return;
        }
        const std::size_t fileIndex = filesWithHits_++;
        batch_.files.push_back(file.relative);
        Lines lines(*text, reader.Rich() ? &reader.Control() : nullptr);
        const auto length = static_cast<long>(request_.pattern.size());
        for (const long position : positions) {
            if (hits_ == kMaxHits) {
                status_.limited = true;
                break;
            }
            lines.MoveTo(position);
            const long column = position - lines.Start();
            batch_.hits.push_back(
                FolderHit{fileIndex, lines.Line(), column, position,
                          ContextOf(lines.Text(), static_cast<std::size_t>(column), static_cast<std::size_t>(length))});
            ++hits_;
        }
        if (!delivered_) Deliver();
    }

    void DeliverWhenDue() {
        const ULONGLONG now = ::GetTickCount64();
        if (now - lastHits_ >= kHitsInterval || (batch_.hits.empty() && now - lastStatus_ >= kStatusInterval))
            Deliver();
    }

    // Posts the hits found since the last delivery, with the progress; a delivery without hits is the progress only.
    void Deliver() {
        lastStatus_ = ::GetTickCount64();
        if (!batch_.hits.empty()) {
            delivered_ = true;
            lastHits_ = lastStatus_;
        }
        FolderSearch* search = search_;
        const ui::Generation::Token token = token_;
        sender_.Post([search, token, batch = std::exchange(batch_, {}), status = status_]() mutable {
            if (!token.Stale()) search->Arrive(batch, status);
        });
    }

    FolderSearchRequest request_;
    ui::Generation::Token token_;
    ui::UiInbox::Sender sender_;
    FolderSearch* search_;  // touched only by what is posted, on the window's thread
    FolderSearchBatch batch_;
    FolderSearchStatus status_;
    std::size_t filesWithHits_ = 0;
    std::size_t hits_ = 0;
    bool delivered_ = false;  // the first hits have gone
    ULONGLONG lastStatus_ = 0;
    ULONGLONG lastHits_ = 0;
    ULONGLONG served_ = 0;
};

FolderSearch::FolderSearch() = default;

FolderSearch::~FolderSearch() {
    // Stale before the worker waits for its job: the job ends at its next look.
    generation_.CancelAll();
}

void FolderSearch::Start(FolderSearchRequest request) {
    Cancel();
    running_ = true;
    worker_.Run([job = std::make_shared<FolderSearchJob>(std::move(request), generation_.Start(), inbox_.MakeSender(),
                                                         this)] { job->Run(); });
}

void FolderSearch::Cancel() {
    generation_.CancelAll();
    worker_.DropQueued();
    running_ = false;
}

void FolderSearch::Arrive(FolderSearchBatch& batch, const FolderSearchStatus& status) {
    if (status.finished) running_ = false;
    if ((!batch.hits.empty() || !batch.files.empty()) && OnBatch) OnBatch(batch);
    if (OnStatus) OnStatus(status);
}

}  // namespace app
