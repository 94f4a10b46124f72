// Text helpers: code page 932 at the edges, UTF-8 and UTF-16 detection for plain text, small string tools.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace ui {

constexpr UINT kShiftJis = 932;

std::wstring WideFromCp932(std::string_view bytes);
std::string Cp932FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view bytes);
std::string Utf8FromWide(std::wstring_view text);

// Decodes a plain-text file: by its byte-order mark (UTF-8, UTF-16 LE/BE; an odd last byte of UTF-16 becomes
// U+FFFD); as UTF-8 when it is valid UTF-8 with at least one multi-byte sequence; otherwise as code page 932.
std::wstring DecodePlainText(std::string_view bytes);

// True when the bytes are well-formed UTF-8 holding at least one multi-byte sequence.
bool IsMultiByteUtf8(std::string_view bytes);

// Blanks and control characters removed from both ends.
std::wstring Trim(std::wstring_view s);

// The name part of a path: everything after the last '\', '/' or ':'.
std::wstring FileNameOf(std::wstring_view path);
// The name without its last extension (a.b.txt -> a.b); a leading dot alone is not an extension.
std::wstring NameWithoutExtension(std::wstring_view path);
// Everything before the last '\' or ':' (with the separator for a drive root such as C:\).
std::wstring DirectoryOf(std::wstring_view path);
// True when there is a '.' after the last '\' or ':'.
bool HasExtension(std::wstring_view path);
// The path as the file functions take it at any length: a full path of MAX_PATH characters or more gets the
// "\\?\" prefix ("\\?\UNC\" for a share), which lifts the limit; other paths are returned as they are.
std::wstring LongPathForm(std::wstring_view path);

// The folder of the running executable, with a trailing backslash.
std::wstring ExeFolder();

// Decimal text of an integer.
std::wstring ToText(long long value);

// Parses a whole number: optional sign and decimal digits; with allowHex also "0x"/"0X" and hex digits.
// nullopt for anything else, or for a value outside the int range.
std::optional<int> ParseInt(std::wstring_view text, bool allowHex = false);

// Replaces the first "%s" in a format with the argument.
std::wstring Format1(std::wstring_view format, std::wstring_view arg);

// The width of a text in code page 932 bytes: one for a single-byte character, two for a double-byte one, and two
// for a character the code page lacks (a surrogate pair is one such character).
int Cp932Width(std::wstring_view text);

}  // namespace ui
