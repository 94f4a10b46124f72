#include "app/recovery_store.h"

#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <charconv>
#include <cwchar>
#include <cstdio>
#include <functional>
#include <utility>

#include "app/kurvanta_.h"
#include "app/rtf_encoding.h"
#include "ui/text.h"

namespace app::recovery {
namespace {

constexpr char kIndexHeader[] = "pilka2 recovery 2";
constexpr char kIndexHeaderV1[] = "pilka2 recovery 1";  // no file stamps
constexpr wchar_t kIndexName[] = L"index.txt";
constexpr wchar_t kLockName[] = L"lock";
constexpr wchar_t kTempSuffix[] = L".tmp";

std::atomic<ChunkWriter> currentWriter{nullptr};  // the seams: replaced only by the scoped stand-ins of tests
std::atomic<Recycler> currentRecycler{MoveToRecycleBin};

bool SystemWrite(HANDLE file, const char* data, DWORD size, DWORD* written) {
    return ::WriteFile(file, data, size, written, nullptr) != FALSE;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') return folder + L"\\" + name;
    return folder + name;
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A field may hold anything a caption or a path can. What would break the line or the fields is escaped as %hh,
// and a UTF-16 unit that UTF-8 cannot carry (a surrogate without its pair, which NTFS names may hold) as %uhhhh.
std::string Escape(const std::wstring& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const wchar_t c = field[i];
        if (IsHighSurrogate(c) && i + 1 < field.size() && IsLowSurrogate(field[i + 1])) {
            out += ui::Utf8FromWide(field.substr(i, 2));
            ++i;
            continue;
        }
        char code[8];
        if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            std::snprintf(code, sizeof code, "%%u%04X", static_cast<unsigned>(c));
            out += code;
        } else if (c == L'%' || c == L'\t' || c == L'\r' || c == L'\n') {
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned>(c));
            out += code;
        } else {
            out += ui::Utf8FromWide(std::wstring_view(&field[i], 1));
        }
    }
    return out;
}

std::optional<unsigned> Hex(std::string_view digits) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<std::wstring> Unescape(std::string_view field) {
    std::wstring out;
    size_t start = 0;  // the plain UTF-8 since the last escape
    const auto flush = [&](size_t end) { out += ui::WideFromUtf8(field.substr(start, end - start)); };
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') continue;
        flush(i);
        if (i + 1 < field.size() && field[i + 1] == 'u') {
            const auto unit = i + 6 <= field.size() ? Hex(field.substr(i + 2, 4)) : std::nullopt;
            if (!unit) return std::nullopt;
            out += static_cast<wchar_t>(*unit);
            i += 5;
        } else {
            const auto byte = i + 3 <= field.size() ? Hex(field.substr(i + 1, 2)) : std::nullopt;
            if (!byte || (*byte != '%' && *byte != '\t' && *byte != '\r' && *byte != '\n')) return std::nullopt;
            out += static_cast<wchar_t>(*byte);
            i += 2;
        }
        start = i + 1;
    }
    flush(field.size());
    return out;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::optional<std::uint64_t> Number(std::string_view digits) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<Entry> ParseLine(std::string_view line, bool stamped) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() != (stamped ? 7u : 5u)) return std::nullopt;
    const auto slot = ui::ParseInt(ui::WideFromUtf8(fields[0]));
    if (!slot || *slot < 1 || *slot > kSlotCount) return std::nullopt;
    if (fields[1] != "0" && fields[1] != "1") return std::nullopt;
    Entry e;
    e.slot = *slot;
    e.hasFile = fields[1] == "1";
    auto path = Unescape(fields[2]);
    auto caption = Unescape(fields[3]);
    auto time = Unescape(fields[4]);
    if (!path || !caption || !time || e.hasFile == path->empty()) return std::nullopt;
    e.path = std::move(*path);
    e.caption = std::move(*caption);
    e.time = std::move(*time);
    if (stamped && !fields[5].empty()) {
        const auto size = Number(fields[5]);
        const auto written = Number(fields[6]);
        if (!size || !written) return std::nullopt;
        e.stamp.known = true;
        e.stamp.size = *size;
        e.stamp.lastWrite = *written;
    }
    return e;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(Join(folder, L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    std::vector<std::wstring> names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The lock of an instance's folder, opened so that nobody else can open it while we hold it. Fails while the
// instance that made it runs; once that process is gone, however it ended, the system has closed its handle.
ui::UniqueHandle TakeLock(const std::wstring& folder, DWORD disposition) {
    return ui::OwnFileHandle(::CreateFileW(Join(folder, kLockName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The folder's own bookkeeping, as opposed to work kept in it.
bool IsBookkeeping(const std::wstring& name) {
    return SameName(name, kLockName) || SameName(name, kIndexName) ||
           SameName(name, std::wstring(kIndexName) + kTempSuffix);
}

bool HoldsWork(const std::wstring& folder) {
    const std::vector<std::wstring> names = FilesIn(folder);
    return std::any_of(names.begin(), names.end(), [](const std::wstring& n) { return !IsBookkeeping(n); });
}

// A folder with nothing of value in it goes, its lock last.
void RemoveFolder(Orphan& orphan) {
    for (const std::wstring& name : FilesIn(orphan.path))
        if (!SameName(name, kLockName)) ::DeleteFileW(Join(orphan.path, name).c_str());
    orphan.lock.reset();
    ::DeleteFileW(Join(orphan.path, kLockName).c_str());
    ::RemoveDirectoryW(orphan.path.c_str());
}

// Whether a snapshot looks whole without reading it all: it starts a group and closes one at its end. A write cut
// short ends in the middle of the text; the whole check comes when the snapshot is read to be given back.
bool LooksWhole(const std::wstring& path) {
    const ui::UniqueHandle file = ui::OwnFileHandle(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 2) return false;
    char first = 0;
    DWORD read = 0;
    if (!::ReadFile(file.get(), &first, 1, &read, nullptr) || read != 1 || first != '{') return false;
    char tail[64];
    const LONGLONG from = std::max<LONGLONG>(1, size.QuadPart - static_cast<LONGLONG>(sizeof tail));
    LARGE_INTEGER at{};
    at.QuadPart = from;
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.get(), tail, static_cast<DWORD>(size.QuadPart - from), &read, nullptr))
        return false;
    std::string_view end(tail, read);
    while (!end.empty() && (end.back() == '\0' || end.back() == '\r' || end.back() == '\n' || end.back() == ' '))
        end.remove_suffix(1);
    return !end.empty() && end.back() == '}';
}

bool WriteIndexOf(const Orphan& orphan) {
    return WriteAtomically(Join(orphan.path, kIndexName), IndexText(orphan.entries));
}

void Unlist(Orphan& orphan, int slot) {
    std::erase_if(orphan.entries, [&](const Entry& e) { return e.slot == slot; });
}

// Folder names end with their user's SID; those of a system that gives none have no such ending.
bool BelongsTo(const std::wstring& name, const std::wstring& user) {
    if (user.empty()) return name.find(L"-S-") == std::wstring::npos;
    const std::wstring ending = L"-" + user;
    return name.size() > ending.size() && SameName(name.substr(name.size() - ending.size()), ending);
}

}  // namespace

std::wstring Entry::FileName() const {
    return L"tab" + ui::ToText(slot) + L".rtf";
}

std::string IndexText(const std::vector<Entry>& entries) {
    std::string text = std::string(kIndexHeader) + "\r\n";
    for (const Entry& e : entries) {
        text += std::to_string(e.slot) + "\t" + (e.hasFile ? "1" : "0") + "\t" + Escape(e.path) + "\t" +
                Escape(e.caption) + "\t" + Escape(e.time) + "\t";
        if (e.hasFile && e.stamp.known)
            text += std::to_string(e.stamp.size) + "\t" + std::to_string(e.stamp.lastWrite);
        else
            text += "\t";
        text += "\r\n";
    }
    return text;
}

std::optional<std::vector<Entry>> ParseIndex(std::string_view text) {
    std::vector<std::string_view> lines = Split(text, '\n');
    std::string_view header = lines.front();
    if (!header.empty() && header.back() == '\r') header.remove_suffix(1);
    const bool stamped = header == kIndexHeader;
    if (!stamped && header != kIndexHeaderV1) return std::nullopt;
    std::vector<Entry> entries;
    for (size_t i = 1; i < lines.size(); ++i) {
        // Only a line that was ended is whole: the last one of an index cut short is not taken.
        if (i + 1 == lines.size()) break;
        auto e = ParseLine(lines[i], stamped);
        if (!e) continue;
        const bool seen =
            std::any_of(entries.begin(), entries.end(), [&](const Entry& x) { return x.slot == e->slot; });
        if (!seen) entries.push_back(std::move(*e));
    }
    return entries;
}

std::wstring UtcNow() {
    SYSTEMTIME t{};
    ::GetSystemTime(&t);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::wstring CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const ui::UniqueHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

ScopedChunkWriter::ScopedChunkWriter(ChunkWriter replacement) noexcept : previous_(currentWriter.load()) {
    currentWriter = replacement;
}
ScopedChunkWriter::~ScopedChunkWriter() {
    currentWriter = previous_;
}

bool MoveToRecycleBin(const std::vector<std::wstring>& paths) {
    std::wstring from;
    for (const std::wstring& p : paths) from += p + L'\0';
    if (from.empty()) return true;
    from += L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    // No box of the system's: the user has answered already, and the bin keeps it undoable.
    op.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
    if (::SHFileOperationW(&op) != 0 || op.fAnyOperationsAborted) return false;
    return std::none_of(paths.begin(), paths.end(), [](const std::wstring& p) { return Exists(p); });
}

ScopedRecycler::ScopedRecycler(Recycler replacement) noexcept : previous_(currentRecycler.load()) {
    currentRecycler = replacement;
}
ScopedRecycler::~ScopedRecycler() {
    currentRecycler = previous_;
}

bool WriteAtomically(const std::wstring& path, std::string_view bytes, const std::atomic<bool>* stop) {
    const std::wstring temp = path + kTempSuffix;
    ui::UniqueHandle file = ui::OwnFileHandle(
        ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const ChunkWriter write = currentWriter.load() ? currentWriter.load() : SystemWrite;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        ok = write(file.get(), bytes.data() + done, want, &written) && written > 0;
        done += written;
    }
    ok = ok && ::FlushFileBuffers(file.get());
    file.reset();
    ok = ok && !(stop && stop->load());
    ok = ok && ::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) ::DeleteFileW(temp.c_str());
    return ok;
}

std::optional<std::string> ReadAll(const std::wstring& path) {
    ui::UniqueHandle file = ui::OwnFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

// ---- this instance's folder ----

WriteResult InstanceFolder::Ensure() {
    if (!path_.empty()) return lock_ ? WriteResult::kOk : WriteResult::kNoFolder;
    if (!::CreateDirectoryW(root_.c_str(), nullptr) && !IsFolder(root_)) return WriteResult::kNoFolder;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const std::wstring owner = user_.empty() ? std::wstring() : L"-" + user_;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[48];
        swprintf(name, 48, L"%lx-%08lx%08lx", ::GetCurrentProcessId(), now.dwHighDateTime, now.dwLowDateTime + attempt);
        const std::wstring folder = Join(root_, name + owner);
        if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return WriteResult::kNoFolder;
        }
        // Another copy starting at this moment may have taken a folder without a lock for one that ended; it
        // removes that folder, and we go on to another name.
        ui::UniqueHandle lock = TakeLock(folder, CREATE_NEW);
        if (lock) {
            const std::lock_guard guard(mutex_);
            lock_ = std::move(lock);
            path_ = folder;
            return WriteResult::kOk;
        }
    }
    return WriteResult::kNoFolder;
}

bool InstanceFolder::Put(const std::wstring& name, std::string_view bytes) {
    return !closed_ && WriteAtomically(Join(path_, name), bytes, &closed_);
}

WriteResult InstanceFolder::Write(const std::wstring& file, std::string_view rtf, std::string_view index) {
    const WriteResult made = Ensure();
    if (made != WriteResult::kOk) return made;
    return Put(file, rtf) && Put(kIndexName, index) ? WriteResult::kOk : WriteResult::kFailed;
}

WriteResult InstanceFolder::WriteIndex(std::string_view index) {
    const WriteResult made = Ensure();
    if (made != WriteResult::kOk) return made;
    return Put(kIndexName, index) ? WriteResult::kOk : WriteResult::kFailed;
}

WriteResult InstanceFolder::Forget(const std::wstring& file, std::string_view index) {
    if (path_.empty()) return WriteResult::kOk;
    if (!Put(kIndexName, index)) return WriteResult::kFailed;
    ::DeleteFileW(Join(path_, file).c_str());
    return WriteResult::kOk;
}

std::wstring InstanceFolder::Path() const {
    const std::lock_guard guard(mutex_);
    return path_;
}

void InstanceFolder::RemoveAll() {
    std::wstring path;
    ui::UniqueHandle lock;
    {
        const std::lock_guard guard(mutex_);
        path = std::exchange(path_, std::wstring());
        lock = std::move(lock_);
    }
    // "recovery" goes when nothing else is left in it, also when this instance never needed a folder there: the
    // work given back or thrown away at start may have been the last.
    if (!path.empty()) {
        for (const std::wstring& name : FilesIn(path))
            if (!SameName(name, kLockName)) ::DeleteFileW(Join(path, name).c_str());
        lock.reset();
        ::DeleteFileW(Join(path, kLockName).c_str());
        ::RemoveDirectoryW(path.c_str());
    }
    ::RemoveDirectoryW(root_.c_str());  // fails, as it should, while another instance keeps a folder there
}

void InstanceFolder::Release() {
    const std::lock_guard guard(mutex_);
    lock_.reset();
}

// ---- what ended instances left ----

std::vector<Orphan> ClaimOrphans(const std::wstring& root, const std::wstring& user) {
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(Join(root, L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
            // Another account's work is not ours to offer, nor to touch. A folder with nothing in it at all is
            // nobody's (a start that ended before it locked it).
            if (BelongsTo(name, user) || FilesIn(Join(root, name)).empty()) folders.push_back(Join(root, name));
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(folders.begin(), folders.end());

    std::vector<Orphan> orphans;
    for (const std::wstring& folder : folders) {
        try {
            Orphan orphan{folder, TakeLock(folder, OPEN_ALWAYS), {}, {}};
            if (!orphan.lock) continue;  // its instance still runs
            // The index, or where a power cut left it only under its temporary name, that one.
            std::wstring indexPath = Join(folder, kIndexName);
            if (!Exists(indexPath) && Exists(indexPath + kTempSuffix)) indexPath += kTempSuffix;
            std::optional<std::vector<Entry>> entries = std::vector<Entry>();
            if (Exists(indexPath)) {
                const auto text = ReadAll(indexPath);
                // Held by another program, or written by another version: left as it is, for a later start.
                entries = text ? ParseIndex(*text) : std::nullopt;
                if (!entries) continue;
            }
            orphan.entries = std::move(*entries);
            for (const Entry& e : orphan.entries) {
                const std::wstring file = e.FileName();
                if (Exists(Join(folder, file))) {
                    if (LooksWhole(Join(folder, file))) orphan.offered.push_back(Offered{e, file});
                } else if (LooksWhole(Join(folder, file + kTempSuffix))) {
                    orphan.offered.push_back(Offered{e, file + kTempSuffix});
                }
            }
            if (orphan.offered.empty()) {
                if (!HoldsWork(folder)) RemoveFolder(orphan);
                continue;
            }
            std::sort(orphan.offered.begin(), orphan.offered.end(),
                      [](const Offered& a, const Offered& b) { return a.entry.slot < b.entry.slot; });
            orphans.push_back(std::move(orphan));
        } catch (const std::exception&) {
            // This folder could not be looked at (memory): the others still can, and it stays for a later start.
        }
    }
    return orphans;
}

std::optional<std::string> ReadSnapshot(const Orphan& orphan, const Offered& offered) {
    auto rtf = ReadAll(Join(orphan.path, offered.file));
    // A snapshot that is not one whole group was cut short: it would come back as part of the document.
    if (!rtf || !IsWholeRtf(*rtf)) return std::nullopt;
    return rtf;
}

void Consume(Orphan& orphan, const Offered& offered) {
    Unlist(orphan, offered.entry.slot);
    if (!WriteIndexOf(orphan)) return;  // still listed there: offered once more rather than lost
    const std::wstring file = Join(orphan.path, offered.entry.FileName());
    ::DeleteFileW(file.c_str());
    ::DeleteFileW((file + kTempSuffix).c_str());
}

void SetAside(Orphan& orphan, const Offered& offered) {
    Unlist(orphan, offered.entry.slot);
    WriteIndexOf(orphan);
}

void Discard(Orphan& orphan) {
    std::vector<std::wstring> offered;
    for (const Offered& o : orphan.offered) offered.push_back(o.file);
    const std::vector<std::wstring> names = FilesIn(orphan.path);
    const bool onlyOffered = std::all_of(names.begin(), names.end(), [&](const std::wstring& n) {
        return IsBookkeeping(n) ||
               std::any_of(offered.begin(), offered.end(), [&](const std::wstring& o) { return SameName(n, o); });
    });
    const Recycler recycle = currentRecycler.load();
    if (onlyOffered) {
        // One item in the bin, the index with the snapshots; the lock goes first, so that it can be moved.
        orphan.lock.reset();
        ::DeleteFileW(Join(orphan.path, kLockName).c_str());
        if (recycle({orphan.path})) return;
        orphan.lock = TakeLock(orphan.path, OPEN_ALWAYS);  // not moved: everything stays for a later start
        Settle(orphan);
        return;
    }
    std::vector<std::wstring> paths;
    for (const std::wstring& file : offered) paths.push_back(Join(orphan.path, file));
    recycle(paths);
    // What went leaves the index; what is still there stays listed.
    for (const Offered& o : orphan.offered)
        if (!Exists(Join(orphan.path, o.file))) Unlist(orphan, o.entry.slot);
    Settle(orphan);
}

void Settle(Orphan& orphan) {
    if (!HoldsWork(orphan.path)) {
        RemoveFolder(orphan);
        return;
    }
    WriteIndexOf(orphan);
    orphan.lock.reset();
}

}  // namespace app::recovery
