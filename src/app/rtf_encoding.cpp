#include "app/rtf_encoding.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "ui/text.h"

namespace app {
namespace {

constexpr UINT kUnicodeOnly = 0;  // no code page: every character outside ASCII is written as \uN

UINT CodePageOfCharset(long charset) {
    if (charset == DEFAULT_CHARSET) return ui::kShiftJis;  // the document's \ansicpg932
    CHARSETINFO info{};
    if (charset < 0 || charset > 255 ||
        !::TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(charset)), &info, TCI_SRCCHARSET) ||
        info.ciACP == CP_SYMBOL)
        return kUnicodeOnly;
    return info.ciACP;
}

// What RTF parsing has to follow from group to group to know the code page of the text.
struct GroupState {
    UINT codePage = ui::kShiftJis;
    long fallbackCount = 1;  // \ucN: characters a reader skips after \uN
    bool fontTable = false;
};

class Rewriter {
public:
    explicit Rewriter(std::string_view in) : in_(in) {}

    std::string Run(size_t pos) {
        out_ = "{\\rtf1\\ansi\\ansicpg932\\uc1";
        out_.reserve(in_.size() + in_.size() / 2);
        groups_.push_back(GroupState{});
        pos_ = pos;
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == '{') {
                groups_.push_back(groups_.back());
                out_ += c;
                ++pos_;
            } else if (c == '}') {
                EndGroup();
                out_ += c;
                ++pos_;
            } else if (c == '\\') {
                Control();
            } else if (static_cast<unsigned char>(c) < 0x80) {
                const size_t start = pos_;
                while (pos_ < in_.size() && static_cast<unsigned char>(in_[pos_]) < 0x80 && in_[pos_] != '{' &&
                       in_[pos_] != '}' && in_[pos_] != '\\')
                    ++pos_;
                out_.append(in_, start, pos_ - start);
            } else {
                Character(DecodeUtf8());
            }
        }
        return std::move(out_);
    }

private:
    GroupState& State() { return groups_.back(); }

    UINT FontCodePage(long font) const {
        const auto it = fontPages_.find(font);
        return it == fontPages_.end() ? ui::kShiftJis : it->second;
    }

    void EndGroup() {
        const bool leavingFontTable = State().fontTable;
        if (groups_.size() > 1) groups_.pop_back();
        // Text after the font table is in the default font until a \f says otherwise.
        if (leavingFontTable && !State().fontTable) State().codePage = FontCodePage(defaultFont_);
    }

    // A control word or symbol, copied as it is; the few that decide the code page are followed.
    void Control() {
        const size_t start = pos_++;
        if (pos_ >= in_.size()) {
            out_ += '\\';
            return;
        }
        const auto first = static_cast<unsigned char>(in_[pos_]);
        if (!std::isalpha(first)) {
            // \'hh stays as it is; any other symbol is one character. A backslash before a non-ASCII character is
            // copied alone and the character encoded as any other.
            if (first >= 0x80) {
                out_ += '\\';
                return;
            }
            pos_ = std::min(in_.size(), pos_ + (first == '\'' ? 3 : 1));
            out_.append(in_, start, pos_ - start);
            return;
        }
        while (pos_ < in_.size() && std::isalpha(static_cast<unsigned char>(in_[pos_]))) ++pos_;
        const std::string_view word = in_.substr(start + 1, pos_ - start - 1);
        long param = 0;
        bool hasParam = false;
        if (pos_ < in_.size() && (in_[pos_] == '-' || std::isdigit(static_cast<unsigned char>(in_[pos_])))) {
            const auto [end, ec] = std::from_chars(in_.data() + pos_, in_.data() + in_.size(), param);
            hasParam = ec == std::errc();
            while (pos_ < in_.size() && (in_[pos_] == '-' || std::isdigit(static_cast<unsigned char>(in_[pos_]))))
                ++pos_;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        out_.append(in_, start, pos_ - start);
        Follow(word, hasParam ? param : 0);
    }

    void Follow(std::string_view word, long param) {
        GroupState& s = State();
        if (word == "fonttbl") {
            s.fontTable = true;
        } else if (word == "f") {
            if (s.fontTable) {
                definingFont_ = param;
                fontPages_[param] = s.codePage = ui::kShiftJis;
            } else {
                s.codePage = FontCodePage(param);
            }
        } else if (s.fontTable && (word == "fcharset" || word == "cpg")) {
            fontPages_[definingFont_] = s.codePage =
                word == "cpg" ? static_cast<UINT>(param) : CodePageOfCharset(param);
        } else if (word == "deff") {
            defaultFont_ = param;
        } else if (word == "plain") {
            s.codePage = FontCodePage(defaultFont_);
        } else if (word == "uc") {
            s.fallbackCount = std::clamp(param, 0L, 255L);
        } else if (word == "bin" && param > 0) {
            const size_t n = std::min(in_.size() - pos_, static_cast<size_t>(param));
            out_.append(in_, pos_, n);
            pos_ += n;
        }
    }

    // The next character of the UTF-8 text as UTF-16 units; a broken sequence stands for one U+FFFD.
    std::wstring DecodeUtf8() {
        const auto lead = static_cast<unsigned char>(in_[pos_]);
        const size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        unsigned cp = len == 1 ? 0xFFFD : lead & (0x7F >> len);
        size_t k = 1;
        for (; k < len && pos_ + k < in_.size(); ++k) {
            const auto c = static_cast<unsigned char>(in_[pos_ + k]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (k != len || cp > 0x10FFFF) cp = 0xFFFD;
        pos_ += k;
        if (cp < 0x10000) return std::wstring(1, static_cast<wchar_t>(cp));
        cp -= 0x10000;
        return {static_cast<wchar_t>(0xD800 + (cp >> 10)), static_cast<wchar_t>(0xDC00 + (cp & 0x3FF))};
    }

    // The character's bytes in the code page, or nothing when the code page lacks it: a look-alike (best fit) or
    // the default character would change the text.
    const std::string& BytesIn(UINT codePage, const std::wstring& units) {
        const uint64_t key = (static_cast<uint64_t>(codePage) << 40) | (static_cast<uint64_t>(units[0]) << 16) |
                             (units.size() > 1 ? units[1] : 0);
        const auto [it, added] = bytes_.try_emplace(key);
        if (!added || codePage == kUnicodeOnly) return it->second;
        char buffer[16];
        BOOL usedDefault = FALSE;
        const int n = ::WideCharToMultiByte(codePage, 0, units.data(), static_cast<int>(units.size()), buffer,
                                            sizeof buffer, nullptr, &usedDefault);
        if (n <= 0 || usedDefault) return it->second;
        wchar_t back[4];
        const int m = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, buffer, n, back, 4);
        if (m == static_cast<int>(units.size()) && std::wstring_view(back, m) == units) it->second.assign(buffer, n);
        return it->second;
    }

    void Character(const std::wstring& units) {
        const GroupState& s = State();
        const std::string& bytes = BytesIn(s.codePage, units);
        if (!bytes.empty()) {
            static constexpr char kHex[] = "0123456789abcdef";
            for (const char b : bytes) {
                const auto v = static_cast<unsigned char>(b);
                out_ += "\\'";
                out_ += kHex[v >> 4];
                out_ += kHex[v & 0xF];
            }
            return;
        }
        char number[16];
        for (const wchar_t unit : units) {
            const auto [end, ec] = std::to_chars(number, number + sizeof number, static_cast<short>(unit));
            (void)ec;
            out_ += "\\u";
            out_.append(number, end);
            out_.append(static_cast<size_t>(s.fallbackCount), '?');
        }
    }

    std::string_view in_;
    size_t pos_ = 0;
    std::string out_;
    std::vector<GroupState> groups_;
    std::map<long, UINT> fontPages_;
    long defaultFont_ = 0;
    long definingFont_ = 0;
    std::unordered_map<uint64_t, std::string> bytes_;
};

}  // namespace

std::string PlainRtfFromUtf8Rtf(std::string_view in) {
    static constexpr std::string_view kUtf8Head = "{\\urtf";
    if (!in.starts_with(kUtf8Head)) return std::string(in);
    size_t pos = kUtf8Head.size();
    while (pos < in.size() && std::isdigit(static_cast<unsigned char>(in[pos]))) ++pos;
    return Rewriter(in).Run(pos);
}

bool IsWholeRtf(std::string_view rtf) {
    if (!rtf.starts_with('{')) return false;
    long depth = 0;
    size_t i = 0;
    while (i < rtf.size() && (i == 0 || depth > 0)) {
        const char c = rtf[i++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            --depth;
        } else if (c == '\\' && i < rtf.size()) {
            if (!std::isalpha(static_cast<unsigned char>(rtf[i]))) {
                ++i;  // \{, \}, \\ and the like are text
                continue;
            }
            const size_t word = i;
            while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i]))) ++i;
            const bool bin = rtf.substr(word, i - word) == "bin";
            long param = 0;
            const auto [end, ec] = std::from_chars(rtf.data() + i, rtf.data() + rtf.size(), param);
            if (ec == std::errc()) i = static_cast<size_t>(end - rtf.data());
            if (i < rtf.size() && rtf[i] == ' ') ++i;
            if (bin && param > 0) i += std::min(rtf.size() - i, static_cast<size_t>(param));  // raw bytes, never braces
        }
    }
    return depth == 0 && rtf.find_first_not_of(std::string_view("\0\r\n", 3), i) == std::string_view::npos;
}

}  // namespace app
