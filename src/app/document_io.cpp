#include "app/document_io.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <charconv>
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

// The control's own RTF writer puts a look-alike (a best-fit letter) in place of a character that code page 932
// lacks, so the document is written as UTF-8 RTF ("{\\urtf") and turned into plain RTF here: every non-ASCII
// character becomes a \\uN escape (with "?" for readers that do not know it), which every RTF reader takes back
// without loss. RTF that does not start that way is kept as it is.
std::string PlainRtfFromUtf8Rtf(const std::string& in) {
    static constexpr char kUtf8Head[] = "{\\urtf";
    if (in.rfind(kUtf8Head, 0) != 0) return in;
    size_t pos = sizeof kUtf8Head - 1;
    while (pos < in.size() && std::isdigit(static_cast<unsigned char>(in[pos]))) ++pos;
    std::string out = "{\\rtf1\\ansi\\ansicpg932\\uc1";
    out.reserve(in.size() + in.size() / 2);
    char number[16];
    auto escape = [&](unsigned unit) {
        const auto [end, ec] = std::to_chars(number, number + sizeof number, static_cast<short>(unit));
        (void)ec;
        out += "\\u";
        out.append(number, end);
        out += '?';
    };
    const size_t n = in.size();
    while (pos < n) {
        size_t stop = pos;
        while (stop < n && static_cast<unsigned char>(in[stop]) < 0x80) ++stop;
        out.append(in, pos, stop - pos);
        pos = stop;
        if (pos >= n) break;
        const auto lead = static_cast<unsigned char>(in[pos]);
        const size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        unsigned cp = len == 1 ? 0xFFFD : lead & (0x7F >> len);
        size_t k = 1;
        for (; k < len && pos + k < n; ++k) {
            const auto c = static_cast<unsigned char>(in[pos + k]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (k != len) cp = 0xFFFD;  // a broken sequence stands for one replacement character
        pos += k;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            escape(0xD800 + (cp >> 10));
            escape(0xDC00 + (cp & 0x3FF));
        } else {
            escape(cp);
        }
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
    if (!editor.StreamOutRtf(rtf, progress, CP_UTF8)) {
        discard();
        throw ui::Error(txt::kStreamWriteFailed);
    }
    rtf = PlainRtfFromUtf8Rtf(rtf);
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
