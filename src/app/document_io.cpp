#include "app/document_io.h"

#include <windows.h>

#include <algorithm>

#include "ui/error.h"
#include "ui/owned.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

// The whole file, opened so that others may read but not write it while we read.
std::string ReadWholeFile(const std::wstring& path) {
    ui::UniqueHandle file = ui::OwnFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) throw ui::Error(ui::Format1(txt::kCannotOpen, path));
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file.get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw ui::Error(ui::Format1(txt::kCannotOpen, path));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF)
        throw ui::Error(ui::Format1(txt::kCannotOpen, path));
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

// True when the existing file could not be replaced by us: read-only, or held open by another program.
bool CannotReplace(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return true;
    ui::UniqueHandle probe = ui::OwnFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe;
}

std::wstring TempNameBeside(const std::wstring& path) {
    std::wstring folder = ui::DirectoryOf(path);
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L':') folder += L'\\';
    return folder + L"~" + ui::FileNameOf(path) + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
           std::to_wstring(::GetTickCount64()) + L".tmp";
}

}  // namespace

void readDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress) {
    const std::string bytes = ReadWholeFile(path);
    if (!editor.StreamInRtf(bytes, progress)) {
        // Not rich text: the same bytes again, as plain text.
        if (!editor.StreamInText(ui::DecodePlainText(bytes), progress)) throw ui::Error(txt::kStreamReadFailed);
    }
    editor.SetTextLimit(kLoadedTextLimit);
}

void writeDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress) {
    const std::wstring cannotCreate = ui::Format1(txt::kCannotCreate, path);
    if (CannotReplace(path)) throw ui::Error(cannotCreate);

    const std::wstring temp = TempNameBeside(path);
    ui::UniqueHandle file = ui::OwnFileHandle(
        ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw ui::Error(cannotCreate);
    auto discard = [&] {
        file.reset();
        ::DeleteFileW(temp.c_str());
    };

    std::string rtf;
    if (!editor.StreamOutRtf(rtf, progress)) {
        discard();
        throw ui::Error(txt::kStreamWriteFailed);
    }
    size_t done = 0;
    while (done < rtf.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(rtf.size() - done, 1 << 24));
        if (!::WriteFile(file.get(), rtf.data() + done, want, &written, nullptr) || written == 0) {
            discard();
            throw ui::Error(txt::kStreamWriteFailed);
        }
        done += written;
    }
    if (!::FlushFileBuffers(file.get())) {
        discard();
        throw ui::Error(txt::kStreamWriteFailed);
    }
    file.reset();
    if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        throw ui::Error(cannotCreate);
    }
}

}  // namespace app
