// Reading a file into an editor and writing an editor's content to a file.
#pragma once
#include <string>

#include "ui/rich_edit.h"

namespace app {

// The text limit of an editor that holds a read file.
constexpr long kLoadedTextLimit = 0x7FFFFFF0;

// Reads the file into the editor, replacing its text: as rich text when the control accepts it, otherwise as
// plain text (byte-order mark, UTF-8, or code page 932). Throws ui::Error "ファイル %s は開けません" or
// "ストリームからの読み込みに失敗しました".
void readDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress = {});

// Writes the editor's whole content as rich text. The file is written to a temporary file in the same folder,
// flushed, and then put in place of the original in one step, so that a failure never destroys the original.
// Throws ui::Error "ファイル %s を作成できません" or "ストリームへの書き込みに失敗しました".
void writeDocument(ui::RichEdit& editor, const std::wstring& path, const ui::StreamProgress& progress = {});

}  // namespace app
