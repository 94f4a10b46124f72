// Find and replace-all: every occurrence of a search text in a document editor at once.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/rich_edit.h"

namespace app {

// Start positions, ascending, of the occurrences of pattern in text, counted in the text's own UTF-16 units
// (the editor's character positions when text is ui::RichEdit::Text()). Letter case is ignored as the user's
// default locale compares strings; hits never overlap and never start or end inside a surrogate pair.
// Empty for an empty pattern.
std::vector<long> findPositions(std::wstring_view text, std::wstring_view pattern);

// findPositions of one pattern in many texts, one after another (a folder's files): what the search learns of the
// pattern and of the characters it meets is kept from text to text. Not for use from two threads at once.
class PatternFinder {
public:
    explicit PatternFinder(std::wstring_view pattern);
    ~PatternFinder();
    PatternFinder(const PatternFinder&) = delete;
    PatternFinder& operator=(const PatternFinder&) = delete;
    // The same positions as findPositions(text, pattern).
    std::vector<long> In(std::wstring_view text);

private:
    class Search;
    std::unique_ptr<Search> search_;  // none for an empty pattern
};

// The formats find gives its hits: marked is red and bold only; cleared is black with no style.
CHARFORMAT2W MarkedFormat();
CHARFORMAT2W ClearedFormat();

// Marks (mark true) or clears every hit of pattern in editor, leaving the editor's modified mark as it was.
// Marking shows the count. False, silently, when editor is nullptr, the pattern is empty or nothing is found.
bool faindtxt(HWND owner, ui::RichEdit* editor, const std::wstring& pattern, bool mark);

// Replaces every hit of pattern, last to first, with the replacement text (asked for again for each hit, not
// kept for undo, black and plain), sets the modified mark and shows the count. False when nothing was replaced.
bool tikantxt(HWND owner, ui::RichEdit* editor, const std::wstring& pattern,
              const std::function<std::wstring()>& replacement);

// Mouse buttons as the main window reports a press on the find button.
inline constexpr int kButtonLeft = 1;
inline constexpr int kButtonRight = 2;
inline constexpr int kButtonMiddle = 3;

// The find button's press: the left button marks, the right button clears, the middle button does nothing.
void KensakPress(HWND owner, ui::RichEdit* editor, int button, const std::wstring& findText);

// The replace button: marks and counts, asks for confirmation, then replaces every hit.
void TikanClick(HWND owner, ui::RichEdit* editor, const std::function<std::wstring()>& findText,
                const std::function<std::wstring()>& replaceText);

}  // namespace app
