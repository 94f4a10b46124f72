// Reading a file into an editor and writing an editor's content to a file.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "ui/rich_edit.h"

namespace app {

// The text limit of an editor that holds a read file.
constexpr long kLoadedTextLimit = 0x7FFFFFF0;

// How a document's bytes are taken in, the one rule for a tab's editor and for the folder search: as rich text when
// the control's own reader accepts them (the control then holds the document), otherwise as plain text decoded by
// byte-order mark, UTF-8 or code page 932, which is handed back for the caller to stream in or to search.
struct DecodedDocument {
    bool richText = false;
    std::wstring plainText;  // when not rich text
};
DecodedDocument DecodeDocument(ui::RichEdit& control, std::string_view bytes, const ui::StreamProgress& progress = {});

// Plain text as the control holds it once streamed in: every line end (CR LF, LF or CR) one CR, its paragraph
// break; positions in it are the control's character positions.
std::wstring ParagraphText(std::wstring_view plainText);

// Reads the file into the editor, replacing its text: as rich text when the control accepts it, otherwise as
// plain text (byte-order mark, UTF-8, or code page 932). The editor's text limit is raised before the read, so that
// no file is cut. Throws ui::Error "ファイル %s は開けません" (also for a file too large to hold in memory) or
// "ストリームからの読み込みに失敗しました".
void readDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress = {});

// Writes the editor's whole content as rich text. The file is written to a temporary file in the same folder,
// flushed, and then put in place of the original in one step, so that a failure never destroys the original; the
// saved file keeps the original's attributes and creation time. Paths of any length work.
// Throws ui::Error "ファイル %s を作成できません" or "ストリームへの書き込みに失敗しました".
void writeDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress = {});

// Reads a whole file into memory, nullopt when it cannot be opened; the path is already in its long form.
using FileReader = std::optional<std::string> (*)(const std::wstring& path);

// Puts another reader in place for the lifetime of this object: tests make a read fail as it fails on a file too
// large for memory.
class ScopedFileReader {
public:
    explicit ScopedFileReader(FileReader replacement) noexcept;
    ~ScopedFileReader();
    ScopedFileReader(const ScopedFileReader&) = delete;
    ScopedFileReader& operator=(const ScopedFileReader&) = delete;

private:
    FileReader previous_;
};

}  // namespace app
