#include "shell/FileRows.h"

namespace shell {
namespace {

void AppendTwoDigits(std::wstring& out, unsigned value) {
    out += static_cast<wchar_t>(L'0' + value / 10 % 10);
    out += static_cast<wchar_t>(L'0' + value % 10);
}

}  // namespace

std::wstring_view FileRow::Caption() const noexcept {
    switch (captionForm) {
        case CaptionForm::Name:
            return name;
        case CaptionForm::NameWithoutExtension:
            return std::wstring_view(name).substr(0, name.size() - ExtensionOf(name).size());
        case CaptionForm::Own:
            break;
    }
    return caption;
}

int FileRow::Icon() const noexcept {
    if (ownIcon || !type) return icon;
    return type->icon;
}

bool FileRow::IsFolder() const noexcept {
    return (attributes & (SFGAO_FOLDER | SFGAO_FILESYSANCESTOR)) != 0;
}

bool FileRow::SortsAsFolder() const noexcept {
    // A directory on disk; an archive the shell browses as a folder still sorts among the files.
    if (hasFindData) return (fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return (attributes & SFGAO_FOLDER) != 0;
}

int FileRow::OverlayIndex() const noexcept {
    if (attributes & SFGAO_SHARE) return 0;
    if (attributes & SFGAO_LINK) return 1;
    return -1;
}

ULONGLONG FileRow::Time() const noexcept {
    if (!hasFindData) return 0;
    return (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

bool FileRow::SameEntry(const FileRow& other) const noexcept {
    return hasFindData == other.hasFindData && size == other.size && Time() == other.Time() &&
           fileAttributes == other.fileAttributes && attributes == other.attributes && name == other.name;
}

SharedRow CopyRow(const FileRow& row) {
    auto copy = std::make_shared<FileRow>();
    copy->name = row.name;
    copy->caption = row.caption;
    copy->type = row.type;
    copy->size = row.size;
    copy->written = row.written;
    copy->fileAttributes = row.fileAttributes;
    copy->attributes = row.attributes;
    copy->shellRank = row.shellRank;
    copy->icon = row.icon;
    copy->captionForm = row.captionForm;
    copy->hasFindData = row.hasFindData;
    copy->ownIcon = row.ownIcon;
    copy->iconAsked = row.iconAsked;
    return copy;
}

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
    wchar_t text[16]{};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 16) <= 1) return fallback;
    return text;
}

std::wstring FormatSize(ULONGLONG size, const std::wstring& separator) {
    if (size == 0) return {};
    const std::wstring digits = std::to_wstring(size);
    std::wstring out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return out;
}

std::wstring FormatDate(const FILETIME& utc, const std::wstring& dateSeparator, const std::wstring& timeSeparator) {
    // Through the calendar, not a DOS date: that has no years before 1980 or after 2107.
    FILETIME local;
    SYSTEMTIME t;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t)) return {};
    std::wstring out;
    AppendTwoDigits(out, t.wYear);
    out += dateSeparator;
    AppendTwoDigits(out, t.wMonth);
    out += dateSeparator;
    AppendTwoDigits(out, t.wDay);
    out += L' ';
    AppendTwoDigits(out, t.wHour);
    out += timeSeparator;
    AppendTwoDigits(out, t.wMinute);
    return out;
}

std::wstring ExtensionOf(const std::wstring& name) {
    const size_t slash = name.find_last_of(L"\\/");
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
    return name.substr(dot);
}

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

int ItemIcon(IShellIcon* shellIcon, const ITEMIDLIST* folderIdList, const ITEMIDLIST* item) {
    int index = -1;
    if (shellIcon) shellIcon->GetIconOf(item, GIL_FORSHELL, &index);  // a failure leaves -1 or is caught below
    if (index == -1) {
        const UniqueIdList absolute = ConcatIdLists(folderIdList, item);
        if (absolute) index = GetSysIconIndex(absolute.get(), SHGFI_SYSICONINDEX);
    }
    return index;
}

}  // namespace shell
