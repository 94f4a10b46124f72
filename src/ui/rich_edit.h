// The rich edit control (msftedit), wrapped with typed methods. Nobody else messages an editor.
#pragma once
#include <windows.h>
#include <richedit.h>

#include <functional>
#include <string>
#include <string_view>

namespace ui {

// Loads msftedit.dll once for the module; false when the control is not available.
bool LoadRichEditLibrary();

// Called with a percentage while a long stream runs; at most every 100 ms.
using StreamProgress = std::function<void(int percent)>;

class RichEdit {
public:
    // Undo takes back this many steps, newest first.
    static constexpr int kUndoSteps = 100;

    RichEdit() = default;
    RichEdit(const RichEdit&) = delete;
    RichEdit& operator=(const RichEdit&) = delete;

    // Creates the control as a child of parent: multi-line, rich text, both scroll bars always shown.
    HWND Create(HWND parent, UINT_PTR id, const RECT& r);
    HWND Handle() const noexcept { return hwnd_; }  // destroyed with its parent window

    void SetTextLimit(long limit);
    long TextLimit() const;

    // The control's own font: what new text takes (the default character format follows it).
    void SetFont(BYTE charset, const std::wstring& name, int points);
    void SetFontName(const std::wstring& name);
    void SetFontSize(int points);
    const std::wstring& FontName() const noexcept { return fontName_; }
    int FontSize() const noexcept { return fontSize_; }
    BYTE FontCharset() const noexcept { return fontCharset_; }
    // Sets the default character format's charset, name and size without changing the control font.
    void SetDefaultFormat(BYTE charset, const std::wstring& name, int points);

    bool Modified() const;
    void SetModified(bool modified);

    bool WordWrap() const noexcept { return wordWrap_; }
    void SetWordWrap(bool on);

    CHARRANGE Selection() const;
    long SelStart() const { return Selection().cpMin; }
    long SelLength() const;
    void Select(long start, long end);
    void SelectAll();
    // As Select, but the view stays where it is: for many selections in a row, scrolled once at the end.
    void SelectWithoutScroll(long start, long end);
    void ScrollCaret();

    // Character format of the selection (for an empty selection: of the next typed text).
    CHARFORMAT2W SelectionFormat() const;
    void SetSelectionFormat(const CHARFORMAT2W& format);

    // The whole text, a paragraph break as one CR, in the control's own character positions.
    std::wstring Text() const;
    // The text from start up to end, in the control's character positions.
    std::wstring TextRange(long start, long end) const;
    long TextLength() const;
    void SetText(const std::wstring& text);
    void ReplaceSelection(const std::wstring& text, bool canUndo);

    long LineFromChar(long position) const;
    long LineIndex(long line) const;
    long LineCount() const;
    // The characters of the line, its paragraph break not counted.
    long LineLength(long line) const;
    // The line at the top of the view, and scrolling so that the given line is there (or as near as the text allows).
    long FirstVisibleLine() const;
    void ScrollToLine(long line);

    // Redrawing suspended until the matching EndUpdate; nests.
    void BeginUpdate();
    void EndUpdate();

    void Undo();
    void Cut();
    void Copy();
    void Paste();
    void ClearSelection();

    // Stream in replacing the content. False when the control reported an error. Plain text goes in through
    // NextTextPiece, so its line ends become paragraph breaks one for one.
    bool StreamInRtf(std::string_view bytes, const StreamProgress& progress = {});
    bool StreamInText(std::wstring_view text, const StreamProgress& progress = {});
    // The whole content as RTF; false when the control reported an error. A code page other than 0 asks the
    // control to write its text in that code page (CP_UTF8: UTF-8 RTF).
    bool StreamOutRtf(std::string& out, const StreamProgress& progress = {}, UINT codePage = 0) const;

private:
    HWND hwnd_ = nullptr;
    std::wstring fontName_;
    int fontSize_ = 0;
    BYTE fontCharset_ = DEFAULT_CHARSET;
    bool wordWrap_ = false;
    int updates_ = 0;
};

// Fills out with the next piece of plain text for the control's stream-in, at most capacity units, and moves pos past
// what it took; returns the number of units written. Every line end (CR LF, LF or CR) becomes one CR, the control's
// paragraph break, and a piece never ends between the halves of a surrogate pair: the control takes a CR at the end
// of one piece and an LF at the start of the next for two paragraphs, so where it cuts its reads must not matter.
size_t NextTextPiece(std::wstring_view text, size_t& pos, wchar_t* out, size_t capacity);

// A character format for SetSelectionFormat with only the given mask.
CHARFORMAT2W MakeCharFormat(DWORD mask);

}  // namespace ui
