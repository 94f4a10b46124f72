#include "ui/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>

namespace ui {
namespace {

std::wstring Decode(UINT codePage, std::string_view bytes, DWORD flags = 0) {
    if (bytes.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string Encode(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

size_t LastSeparator(std::wstring_view path) {
    return path.find_last_of(L"\\/:");
}

}  // namespace

std::wstring WideFromCp932(std::string_view bytes) {
    return Decode(kShiftJis, bytes);
}
std::string Cp932FromWide(std::wstring_view text) {
    return Encode(kShiftJis, text);
}
std::wstring WideFromUtf8(std::string_view bytes) {
    return Decode(CP_UTF8, bytes);
}
std::string Utf8FromWide(std::wstring_view text) {
    return Encode(CP_UTF8, text);
}

bool IsMultiByteUtf8(std::string_view bytes) {
    bool multi = false;
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = 0;
        unsigned min = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + len > n) return false;
        unsigned cp = c & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        multi = true;
        i += len;
    }
    return multi;
}

namespace {

// UTF-16 in either byte order. A dangling last byte stands for one U+FFFD, as the platform's own conversions show
// invalid input, so that the user sees that something was there.
std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring out((bytes.size() + 1) / 2, L'\uFFFD');
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(bytes[i]);
        const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
        out[i / 2] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : first | (second << 8));
    }
    return out;
}

}  // namespace

std::wstring DecodePlainText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return WideFromUtf8(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2), false);
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return DecodeUtf16(bytes.substr(2), true);
    if (IsMultiByteUtf8(bytes)) return WideFromUtf8(bytes);
    return WideFromCp932(bytes);
}

std::wstring Trim(std::wstring_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] <= L' ') ++b;
    while (e > b && s[e - 1] <= L' ') --e;
    return std::wstring(s.substr(b, e - b));
}

std::wstring FileNameOf(std::wstring_view path) {
    const size_t sep = LastSeparator(path);
    return std::wstring(sep == std::wstring_view::npos ? path : path.substr(sep + 1));
}

std::wstring NameWithoutExtension(std::wstring_view path) {
    std::wstring name = FileNameOf(path);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return name;
}

std::wstring DirectoryOf(std::wstring_view path) {
    const size_t sep = path.find_last_of(L"\\:");
    if (sep == std::wstring_view::npos) return {};
    // Keep the separator of a drive root ("C:\" or "C:") so that the result still names the root.
    if (sep <= 2 && sep + 1 <= path.size() && (sep == 1 || (sep == 2 && path[1] == L':')))
        return std::wstring(path.substr(0, sep + 1));
    return std::wstring(path.substr(0, sep));
}

bool HasExtension(std::wstring_view path) {
    const size_t sep = path.find_last_of(L"\\:");
    const size_t dot = path.rfind(L'.');
    return dot != std::wstring_view::npos && (sep == std::wstring_view::npos || dot > sep);
}

std::wstring LongPathForm(std::wstring_view path) {
    static constexpr std::wstring_view kPrefix = L"\\\\?\\";
    const std::wstring given(path);
    if (path.starts_with(kPrefix) || path.starts_with(L"\\\\.\\")) return given;
    std::wstring full(::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr), L'\0');
    if (full.empty()) return given;
    const DWORD n = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(std::min<size_t>(n, full.size() - 1));
    if (full.empty() || full.size() < MAX_PATH) return given;
    if (full.starts_with(L"\\\\")) return std::wstring(kPrefix) + L"UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return std::wstring(kPrefix) + full;
    return given;
}

std::wstring ExeFolder() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    const size_t sep = buf.find_last_of(L"\\/");
    return sep == std::wstring::npos ? std::wstring() : buf.substr(0, sep + 1);
}

std::wstring ToText(long long value) {
    return std::to_wstring(value);
}

std::optional<int> ParseInt(std::wstring_view text, bool allowHex) {
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::string narrow;
    for (wchar_t c : text) {
        if (c > 0x7F) return std::nullopt;
        narrow.push_back(static_cast<char>(c));
    }
    long long value = 0;
    const char* first = narrow.data();
    const char* last = narrow.data() + narrow.size();
    int base = 10;
    bool negative = false;
    if (allowHex && narrow.size() > 2 && narrow[0] == '0' && (narrow[1] == 'x' || narrow[1] == 'X')) {
        base = 16;
        first += 2;
    } else if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    if (first == last || !std::isxdigit(static_cast<unsigned char>(*first))) return std::nullopt;
    const auto [end, ec] = std::from_chars(first, last, value, base);
    if (ec != std::errc() || end != last) return std::nullopt;
    if (negative) value = -value;
    if (value < INT_MIN || value > (base == 16 ? static_cast<long long>(UINT_MAX) : INT_MAX)) return std::nullopt;
    // Hex text covers the full 32 bits, as "0xFFFFFFFF" for -1.
    return base == 16 ? static_cast<int>(static_cast<unsigned>(value)) : static_cast<int>(value);
}

std::wstring Format1(std::wstring_view format, std::wstring_view arg) {
    std::wstring out(format);
    const size_t at = out.find(L"%s");
    if (at != std::wstring::npos) out.replace(at, 2, arg);
    return out;
}

int Cp932Width(std::wstring_view text) {
    const auto bytes = [](const wchar_t* s, int n, BOOL* lost) {
        return ::WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, s, n, nullptr, 0, nullptr, lost);
    };
    if (text.empty()) return 0;
    BOOL lost = FALSE;
    const int whole = bytes(text.data(), static_cast<int>(text.size()), &lost);
    if (whole > 0 && !lost) return whole;
    // Some character has no place in the code page: each is measured on its own.
    int width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            width += 2;
            ++i;
            continue;
        }
        BOOL missing = FALSE;
        const int n = bytes(&c, 1, &missing);
        width += (n > 0 && !missing) ? n : 2;
    }
    return width;
}

}  // namespace ui
