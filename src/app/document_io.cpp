#include "app/document_io.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <string_view>

#include "app/rtf_encoding.h"
#include "ui/error.h"
#include "ui/owned.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

// The whole file, opened so that others may read but not write it while we read.
std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    ui::UniqueHandle file = ui::OwnFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file.get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &read, nullptr)) throw ui::Error(txt::kStreamReadFailed);
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

FileReader currentReader = ReadWholeFile;  // the seam: replaced only by ScopedFileReader

// True when the existing file could not be replaced by us: read-only, or held open by another program.
bool CannotReplace(const std::wstring& path, DWORD attributes) {
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return true;
    ui::UniqueHandle probe = ui::OwnFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe;
}

// A new file with a short name of its own in the target's folder: a name built from the target's would be longer
// than the target's own and could pass a length limit that the target does not.
struct TempFile {
    std::wstring path;
    ui::UniqueHandle handle;
};

TempFile CreateTempBeside(const std::wstring& target, DWORD attributes) {
    std::wstring folder = ui::DirectoryOf(target);
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L':') folder += L'\\';
    const ULONGLONG tick = ::GetTickCount64();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[48];
        swprintf(name, 48, L"~pk%lx%llx.tmp", ::GetCurrentProcessId(), tick + attempt);
        TempFile temp{ui::LongPathForm(folder + name), nullptr};
        temp.handle = ui::OwnFileHandle(
            ::CreateFileW(temp.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
        if (temp.handle) return temp;
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

void WriteAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        if (!::WriteFile(file, bytes.data() + done, want, &written, nullptr) || written == 0)
            throw ui::Error(txt::kStreamWriteFailed);
        done += written;
    }
    if (!::FlushFileBuffers(file)) throw ui::Error(txt::kStreamWriteFailed);
}

// Puts the written file in place of the target. ReplaceFileW keeps what belongs to the original (attributes,
// creation time, security, alternate streams) where the platform supports it; a plain move is the fallback.
bool PutInPlace(const std::wstring& temp, const std::wstring& target, bool replacing) {
    if (replacing && ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return true;
    return ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace

ScopedFileReader::ScopedFileReader(FileReader replacement) noexcept : previous_(currentReader) {
    currentReader = replacement;
}
ScopedFileReader::~ScopedFileReader() {
    currentReader = previous_;
}

DecodedDocument DecodeDocument(ui::RichEdit& control, std::string_view bytes, const ui::StreamProgress& progress) {
    if (control.StreamInRtf(bytes, progress)) return {true, {}};
    // Not rich text: the same bytes again, as plain text.
    return {false, ui::DecodePlainText(bytes)};
}

std::wstring ParagraphText(std::wstring_view plainText) {
    std::wstring text(plainText.size(), L'\0');
    size_t pos = 0;
    size_t n = 0;
    // The pieces the control's stream-in is given, one after another: the same line ends, the same pairs.
    while (pos < plainText.size()) {
        const size_t piece = ui::NextTextPiece(plainText, pos, text.data() + n, text.size() - n);
        if (piece == 0) break;
        n += piece;
    }
    text.resize(n);
    return text;
}

void readDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress) {
    const long previousLimit = editor.TextLimit();
    // The limit exists to take files in, not to cut them: a limit raised only after the read would have cut a long
    // file, and an overwrite save would then write the cut text over the whole file.
    editor.SetTextLimit(kLoadedTextLimit);
    const std::wstring cannotOpen = ui::Format1(txt::kCannotOpen, path);
    try {
        const std::optional<std::string> bytes = currentReader(ui::LongPathForm(path));
        if (!bytes) throw ui::Error(cannotOpen);
        const DecodedDocument document = DecodeDocument(editor, *bytes, progress);
        if (!document.richText && !editor.StreamInText(document.plainText, progress))
            throw ui::Error(txt::kStreamReadFailed);
    } catch (const std::bad_alloc&) {
        editor.SetTextLimit(previousLimit);
        throw ui::Error(cannotOpen);  // too large to hold in memory
    } catch (...) {
        editor.SetTextLimit(previousLimit);
        throw;
    }
}

void writeDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress) {
    const std::wstring cannotCreate = ui::Format1(txt::kCannotCreate, path);
    const std::wstring target = ui::LongPathForm(path);
    WIN32_FILE_ATTRIBUTE_DATA original{};
    const bool replacing = ::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &original) != FALSE;
    if (replacing && CannotReplace(target, original.dwFileAttributes)) throw ui::Error(cannotCreate);

    // The new file starts with the original's attributes and creation time, also where only the move works.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    const DWORD attributes =
        replacing && (original.dwFileAttributes & kKept) ? original.dwFileAttributes & kKept : FILE_ATTRIBUTE_NORMAL;
    TempFile temp = CreateTempBeside(target, attributes);
    if (!temp.handle) throw ui::Error(cannotCreate);
    try {
        std::string rtf;
        // A writer that stops early still reports success (Wine's control stops at the first picture).
        if (!editor.StreamOutRtf(rtf, progress, CP_UTF8) || !IsWholeRtf(rtf)) throw ui::Error(txt::kStreamWriteFailed);
        WriteAll(temp.handle.get(), PlainRtfFromUtf8Rtf(rtf));
        if (replacing) ::SetFileTime(temp.handle.get(), &original.ftCreationTime, nullptr, nullptr);
        temp.handle.reset();
        if (!PutInPlace(temp.path, target, replacing)) throw ui::Error(cannotCreate);
    } catch (...) {
        temp.handle.reset();
        ::DeleteFileW(temp.path.c_str());
        throw;
    }
}

}  // namespace app
