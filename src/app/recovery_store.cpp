#include "app/recovery_store.h"

#include <algorithm>
#include <cwchar>
#include <functional>

#include "app/kurvanta_.h"
#include "app/rtf_encoding.h"
#include "ui/text.h"

namespace app::recovery {
namespace {

constexpr char kIndexHeader[] = "pilka2 recovery 1";
constexpr wchar_t kIndexName[] = L"index.txt";
constexpr wchar_t kLockName[] = L"lock";

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') return folder + L"\\" + name;
    return folder + name;
}

// A field may hold anything a caption or a path can; only what would break the line or the fields is escaped.
std::string Escape(const std::wstring& field) {
    std::string out;
    for (const char c : ui::Utf8FromWide(field)) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\t':
                out += "%09";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::wstring> Unescape(std::string_view field) {
    std::string bytes;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            bytes += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return std::nullopt;
        const std::string_view code = field.substr(i + 1, 2);
        if (code == "25")
            bytes += '%';
        else if (code == "09")
            bytes += '\t';
        else if (code == "0D")
            bytes += '\r';
        else if (code == "0A")
            bytes += '\n';
        else
            return std::nullopt;
        i += 2;
    }
    return ui::WideFromUtf8(bytes);
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

std::optional<Entry> ParseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() != 5) return std::nullopt;
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
    return e;
}

// Calls visit with the name of every file (not folder) in the folder.
void ForEachFile(const std::wstring& folder, const std::function<void(const std::wstring&)>& visit) {
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(Join(folder, L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    for (const std::wstring& name : names) visit(name);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The lock of an instance's folder, opened so that nobody else can open it while we hold it. Fails while the
// instance that made it runs; once that process is gone, however it ended, the system has closed its handle.
ui::UniqueHandle TakeLock(const std::wstring& folder, DWORD disposition) {
    return ui::OwnFileHandle(::CreateFileW(Join(folder, kLockName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::wstring Entry::FileName() const {
    return L"tab" + ui::ToText(slot) + L".rtf";
}

std::string IndexText(const std::vector<Entry>& entries) {
    std::string text = std::string(kIndexHeader) + "\r\n";
    for (const Entry& e : entries) {
        text += std::to_string(e.slot) + "\t" + (e.hasFile ? "1" : "0") + "\t" + Escape(e.path) + "\t" +
                Escape(e.caption) + "\t" + Escape(e.time) + "\r\n";
    }
    return text;
}

std::vector<Entry> ParseIndex(std::string_view text) {
    std::vector<Entry> entries;
    std::vector<std::string_view> lines = Split(text, '\n');
    if (lines.empty()) return entries;
    std::string_view header = lines.front();
    if (!header.empty() && header.back() == '\r') header.remove_suffix(1);
    if (header != kIndexHeader) return entries;
    for (size_t i = 1; i < lines.size(); ++i) {
        // Only a line that was ended is whole: the last one of an index cut short is not taken.
        if (i + 1 == lines.size()) break;
        auto e = ParseLine(lines[i]);
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

bool WriteAtomically(const std::wstring& path, std::string_view bytes) {
    const std::wstring temp = path + L".tmp";
    ui::UniqueHandle file = ui::OwnFileHandle(
        ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        ok = ::WriteFile(file.get(), bytes.data() + done, want, &written, nullptr) && written > 0;
        done += written;
    }
    ok = ok && ::FlushFileBuffers(file.get());
    file.reset();
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

bool InstanceFolder::Ensure() {
    if (!path_.empty()) return lock_ != nullptr;
    if (!::CreateDirectoryW(root_.c_str(), nullptr) && !IsFolder(root_)) return false;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[48];
        swprintf(name, 48, L"%lx-%08lx%08lx", ::GetCurrentProcessId(), now.dwHighDateTime, now.dwLowDateTime + attempt);
        const std::wstring folder = Join(root_, name);
        if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return false;
        }
        // Another copy starting at this moment may have taken a folder without a lock for one that ended; it
        // removes that folder, and we go on to another name.
        lock_ = TakeLock(folder, CREATE_NEW);
        if (lock_) {
            path_ = folder;
            return true;
        }
    }
    return false;
}

bool InstanceFolder::Write(const std::wstring& file, std::string_view rtf, std::string_view index) {
    return Ensure() && WriteAtomically(Join(path_, file), rtf) && WriteAtomically(Join(path_, kIndexName), index);
}

bool InstanceFolder::WriteIndex(std::string_view index) {
    return Ensure() && WriteAtomically(Join(path_, kIndexName), index);
}

void InstanceFolder::Forget(const std::wstring& file, std::string_view index) {
    if (path_.empty()) return;
    WriteAtomically(Join(path_, kIndexName), index);
    ::DeleteFileW(Join(path_, file).c_str());
}

void InstanceFolder::RemoveAll() {
    // "recovery" goes when nothing else is left in it, also when this instance never needed a folder there: the
    // work given back or thrown away at start may have been the last.
    if (path_.empty()) {
        ::RemoveDirectoryW(root_.c_str());
        return;
    }
    ForEachFile(path_, [&](const std::wstring& name) {
        if (!SameName(name, kLockName)) ::DeleteFileW(Join(path_, name).c_str());
    });
    lock_.reset();
    ::DeleteFileW(Join(path_, kLockName).c_str());
    ::RemoveDirectoryW(path_.c_str());
    ::RemoveDirectoryW(root_.c_str());  // fails, as it should, while another instance keeps a folder there
    path_.clear();
}

std::vector<Orphan> ClaimOrphans(const std::wstring& root) {
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(Join(root, L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            folders.push_back(Join(root, name));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(folders.begin(), folders.end());

    std::vector<Orphan> orphans;
    for (const std::wstring& folder : folders) {
        Orphan orphan{folder, TakeLock(folder, OPEN_ALWAYS), {}};
        if (!orphan.lock) continue;  // its instance still runs
        const auto index = ReadAll(Join(folder, kIndexName));
        for (Entry& e : ParseIndex(index ? *index : std::string())) {
            auto rtf = ReadAll(Join(folder, e.FileName()));
            // A snapshot that is not one whole group was cut short: it would come back as part of the document.
            if (!rtf || !IsWholeRtf(*rtf)) continue;
            orphan.snapshots.push_back(Found{std::move(e), std::move(*rtf)});
        }
        if (orphan.snapshots.empty()) {
            Settle(orphan, {});
            continue;
        }
        std::sort(orphan.snapshots.begin(), orphan.snapshots.end(),
                  [](const Found& a, const Found& b) { return a.entry.slot < b.entry.slot; });
        orphans.push_back(std::move(orphan));
    }
    return orphans;
}

void Settle(Orphan& orphan, const std::vector<Entry>& kept) {
    ForEachFile(orphan.path, [&](const std::wstring& name) {
        if (SameName(name, kLockName)) return;
        if (!kept.empty() && SameName(name, kIndexName)) return;
        for (const Entry& e : kept)
            if (SameName(name, e.FileName())) return;
        ::DeleteFileW(Join(orphan.path, name).c_str());
    });
    if (kept.empty()) {
        orphan.lock.reset();
        ::DeleteFileW(Join(orphan.path, kLockName).c_str());
        ::RemoveDirectoryW(orphan.path.c_str());
    } else {
        WriteAtomically(Join(orphan.path, kIndexName), IndexText(kept));
        orphan.lock.reset();
    }
}

}  // namespace app::recovery
