#include "ui/ini.h"

#include <windows.h>

#include "ui/error.h"
#include "ui/owned.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace ui {
namespace {

constexpr size_t kStringLimit = 2047;

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::string ReadAll(const std::wstring& path) {
    UniqueHandle file = OwnFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 16 * 1024 * 1024) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return {};
    bytes.resize(read);
    return bytes;
}

}  // namespace

IniFile::IniFile(std::wstring path) : path_(std::move(path)) {
    const std::wstring text = WideFromCp932(ReadAll(path_));
    std::wstring section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos) end = text.size();
        std::wstring raw = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size() && text[pos] == L'\r') ++pos;
        if (pos < text.size() && text[pos] == L'\n') ++pos;

        const std::wstring trimmed = Trim(raw);
        Line line{raw, section, {}, {}};
        if (!trimmed.empty() && trimmed.front() == L'[') {
            const size_t close = trimmed.find(L']');
            section = Trim(trimmed.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            line.section = section;
        } else if (!trimmed.empty() && trimmed.front() != L';') {
            const size_t eq = trimmed.find(L'=');
            if (eq != std::wstring::npos && eq > 0) {
                line.key = Trim(trimmed.substr(0, eq));
                line.value = Trim(trimmed.substr(eq + 1));
                // A value in matching quotes is read without them, as the system's INI reader does.
                if (line.value.size() >= 2 && (line.value.front() == L'"' || line.value.front() == L'\'') &&
                    line.value.back() == line.value.front())
                    line.value = line.value.substr(1, line.value.size() - 2);
            }
        }
        lines_.push_back(std::move(line));
    }
}

const IniFile::Line* IniFile::Find(const std::wstring& section, const std::wstring& key) const {
    for (const Line& l : lines_)
        if (!l.key.empty() && SameName(l.section, section) && SameName(l.key, key)) return &l;
    return nullptr;
}

int IniFile::ReadInteger(const std::wstring& section, const std::wstring& key, int defaultValue) const {
    const Line* l = Find(section, key);
    if (!l) return defaultValue;
    return ParseInt(l->value, true).value_or(defaultValue);
}

std::wstring IniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                 const std::wstring& defaultValue) const {
    const Line* l = Find(section, key);
    std::wstring value = l ? l->value : defaultValue;
    if (value.size() > kStringLimit) value.resize(kStringLimit);
    return value;
}

void IniFile::WriteInteger(const std::wstring& section, const std::wstring& key, int value) {
    WriteString(section, key, ToText(value));
}

void IniFile::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    std::wstring clean = value;
    for (auto& c : clean)
        if (c == L'\r' || c == L'\n') c = L' ';
    for (Line& l : lines_) {
        if (!l.key.empty() && SameName(l.section, section) && SameName(l.key, key)) {
            l.value = clean;
            l.text = l.key + L"=" + clean;
            return;
        }
    }
    // A new key goes at the end of its section, or into a new section at the end of the file.
    size_t insertAt = lines_.size();
    bool found = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (SameName(lines_[i].section, section)) {
            const std::wstring t = Trim(lines_[i].text);
            if (!found && !t.empty() && t.front() == L'[') found = true;
            if (found && !t.empty()) insertAt = i + 1;
        }
    }
    if (!found) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back({L"", section, {}, {}});
        lines_.push_back({L"[" + section + L"]", section, {}, {}});
        insertAt = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  Line{key + L"=" + clean, section, key, clean});
}

void IniFile::Save() const {
    std::wstring text;
    for (const Line& l : lines_) {
        text += l.text;
        text += L"\r\n";
    }
    const std::string bytes = Cp932FromWide(text);
    UniqueHandle file = OwnFileHandle(
        ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw Error(Format1(txt::kIniWriteFailed, path_));
}

}  // namespace ui
