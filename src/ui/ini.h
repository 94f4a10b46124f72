// An INI file in code page 932, read whole and written whole. Section and key names match without regard to case.
#pragma once
#include <string>
#include <vector>

namespace ui {

class IniFile {
public:
    // Reads the file; a missing or unreadable file reads as empty.
    explicit IniFile(std::wstring path);

    const std::wstring& Path() const noexcept { return path_; }

    // Decimal text, or hexadecimal after "0x"/"0X"; anything else (or no key) gives the default.
    int ReadInteger(const std::wstring& section, const std::wstring& key, int defaultValue) const;
    // At most 2047 characters are returned.
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) const;

    void WriteInteger(const std::wstring& section, const std::wstring& key, int value);
    void WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value);

    // Writes the file; throws ui::Error "%s に書き込めません" when it cannot be written.
    void Save() const;

private:
    struct Line {
        std::wstring text;     // the line as read, for lines we keep verbatim
        std::wstring section;  // section the line belongs to
        std::wstring key;      // empty for section headers, comments and blank lines
        std::wstring value;
    };
    const Line* Find(const std::wstring& section, const std::wstring& key) const;

    std::wstring path_;
    std::vector<Line> lines_;
};

}  // namespace ui
