#include "app/document_io.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string_view>

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

// True when some character of the text has no exact form in code page 932, where the control's RTF writer
// could put a look-alike in its place (a best-fit letter) instead of the character itself.
bool NeedsUnicodeEscapes(const std::wstring& text) {
    if (text.empty()) return false;
    BOOL usedDefault = FALSE;
    ::WideCharToMultiByte(ui::kShiftJis, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                          nullptr, &usedDefault);
    return usedDefault != FALSE;
}

// RTF written with UTF-8 text ("{\urtf") turned into plain RTF: every non-ASCII character becomes a \uN escape
// (with "?" for readers that do not know it), which every RTF reader takes back without loss.
std::string PlainRtfFromUtf8Rtf(const std::string& in) {
    static constexpr char kUtf8Head[] = "{\\urtf";
    if (in.rfind(kUtf8Head, 0) != 0) return in;
    size_t pos = sizeof kUtf8Head - 1;
    while (pos < in.size() && std::isdigit(static_cast<unsigned char>(in[pos]))) ++pos;
    std::string out = "{\\rtf1\\ansi\\ansicpg932\\uc1";
    out.reserve(in.size() + in.size() / 4);
    while (pos < in.size()) {
        const auto c = static_cast<unsigned char>(in[pos]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++pos;
            continue;
        }
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        len = std::min(len, in.size() - pos);
        const std::wstring units = ui::WideFromUtf8(std::string_view(in).substr(pos, len));
        for (wchar_t u : units) {
            out += "\\u";
            out += std::to_string(static_cast<short>(u));
            out += '?';
        }
        pos += len;
    }
    return out;
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
    const bool unicode = NeedsUnicodeEscapes(editor.Text());
    if (!editor.StreamOutRtf(rtf, progress, unicode ? CP_UTF8 : 0)) {
        discard();
        throw ui::Error(txt::kStreamWriteFailed);
    }
    if (unicode) rtf = PlainRtfFromUtf8Rtf(rtf);
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
