// The form in which the editor's rich text is written to a file.
#pragma once
#include <string>
#include <string_view>

namespace app {

// Turns the control's UTF-8 rich text ("{\urtf…") into rich text in code page 932, the form every RTF reader takes.
// A character is written as \'hh bytes of the code page in force where it stands: that of the current font's
// charset, and in the font table that of the font being defined, 932 where nothing else is said. Only a character
// that code page lacks becomes \uN, followed by "?" for readers that do not know \u. Other input is returned as it
// is.
std::string PlainRtfFromUtf8Rtf(std::string_view in);

// True when the rich text is one whole group: it starts with "{" and closes that group at its end (a NUL and line
// ends may follow). Wine's control stops writing at the first picture and still reports success; such output must
// never be written over a document.
bool IsWholeRtf(std::string_view rtf);

}  // namespace app
