#include "ui/rich_edit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>

namespace ui {
namespace {

struct StreamState {
    std::string_view bytes;  // rich text going in
    std::wstring_view text;  // plain text going in
    size_t pos = 0;          // in bytes or text
    std::string* out = nullptr;
    size_t expected = 0;  // for the percentage of a stream out
    const StreamProgress* progress = nullptr;
    ULONGLONG lastReport = ::GetTickCount64();
    // An exception must not cross the control's frames: it is kept here and thrown again after the stream.
    std::exception_ptr failure;

    void Report() {
        if (!progress || !*progress) return;
        const ULONGLONG now = ::GetTickCount64();
        if (now - lastReport < 100) return;
        lastReport = now;
        const size_t size = out ? expected : text.empty() ? bytes.size() : text.size();
        const int percent = size == 0 ? 100 : static_cast<int>(std::min<size_t>(100, pos * 100 / size));
        (*progress)(percent);
    }
};

// Runs one step of a stream callback; an exception ends the stream with an error instead of crossing the control.
template <class Step>
DWORD Guarded(StreamState& s, LONG* pcb, Step step) {
    try {
        *pcb = step();
        s.Report();
        return 0;
    } catch (...) {
        s.failure = std::current_exception();
        *pcb = 0;
        return 1;
    }
}

DWORD CALLBACK ReadBytesCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb) {
    auto& s = *reinterpret_cast<StreamState*>(cookie);
    return Guarded(s, pcb, [&] {
        const size_t n = std::min(static_cast<size_t>(std::max(cb, 0L)), s.bytes.size() - s.pos);
        std::copy_n(s.bytes.data() + s.pos, n, reinterpret_cast<char*>(buffer));
        s.pos += n;
        return static_cast<LONG>(n);
    });
}

DWORD CALLBACK ReadTextCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb) {
    auto& s = *reinterpret_cast<StreamState*>(cookie);
    return Guarded(s, pcb, [&] {
        const size_t capacity = static_cast<size_t>(std::max(cb, 0L)) / sizeof(wchar_t);
        size_t n = 0;
        if (reinterpret_cast<uintptr_t>(buffer) % alignof(wchar_t) == 0) {
            n = NextTextPiece(s.text, s.pos, reinterpret_cast<wchar_t*>(buffer), capacity);
        } else {
            std::wstring piece(capacity, L'\0');
            n = NextTextPiece(s.text, s.pos, piece.data(), capacity);
            std::memcpy(buffer, piece.data(), n * sizeof(wchar_t));
        }
        return static_cast<LONG>(n * sizeof(wchar_t));
    });
}

DWORD CALLBACK WriteCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb) {
    auto& s = *reinterpret_cast<StreamState*>(cookie);
    return Guarded(s, pcb, [&] {
        s.out->append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(std::max(cb, 0L)));
        s.pos += static_cast<size_t>(std::max(cb, 0L));
        return cb;
    });
}

// Sends the stream message and reports how it went: an exception from a callback is thrown again here.
bool Stream(HWND hwnd, UINT msg, WPARAM format, StreamState& s, EDITSTREAMCALLBACK callback) {
    EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&s), 0, callback};
    ::SendMessageW(hwnd, msg, format, reinterpret_cast<LPARAM>(&es));
    if (s.failure) std::rethrow_exception(s.failure);
    return es.dwError == 0;
}

void CopyFace(CHARFORMAT2W& f, const std::wstring& name) {
    const size_t n = std::min(name.size(), static_cast<size_t>(LF_FACESIZE - 1));
    std::copy_n(name.c_str(), n, f.szFaceName);
    f.szFaceName[n] = L'\0';
}

}  // namespace

bool LoadRichEditLibrary() {
    static HMODULE module = ::LoadLibraryW(L"msftedit.dll");  // kept for the life of the module
    return module != nullptr;
}

CHARFORMAT2W MakeCharFormat(DWORD mask) {
    CHARFORMAT2W f{};
    f.cbSize = sizeof f;
    f.dwMask = mask;
    return f;
}

HWND RichEdit::Create(HWND parent, UINT_PTR id, const RECT& r) {
    LoadRichEditLibrary();
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                        ES_AUTOHSCROLL | ES_NOHIDESEL | ES_WANTRETURN | ES_DISABLENOSCROLL;
    hwnd_ =
        ::CreateWindowExW(WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"", style, r.left, r.top, r.right - r.left,
                          r.bottom - r.top, parent, reinterpret_cast<HMENU>(id), ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd_) {
        ::SendMessageW(hwnd_, EM_SETTEXTMODE, TM_RICHTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
        // The help promises this many undo steps; it is the platform's default, set so that it holds everywhere.
        ::SendMessageW(hwnd_, EM_SETUNDOLIMIT, kUndoSteps, 0);
        ::SendMessageW(hwnd_, EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE);
        SetWordWrap(false);
    }
    return hwnd_;
}

void RichEdit::SetTextLimit(long limit) {
    ::SendMessageW(hwnd_, EM_EXLIMITTEXT, 0, limit);
}
long RichEdit::TextLimit() const {
    return static_cast<long>(::SendMessageW(hwnd_, EM_GETLIMITTEXT, 0, 0));
}

void RichEdit::SetFont(BYTE charset, const std::wstring& name, int points) {
    fontCharset_ = charset;
    fontName_ = name;
    fontSize_ = points;
    SetDefaultFormat(charset, name, points);
}

void RichEdit::SetFontName(const std::wstring& name) {
    SetFont(fontCharset_, name, fontSize_);
}
void RichEdit::SetFontSize(int points) {
    SetFont(fontCharset_, fontName_, points);
}

void RichEdit::SetDefaultFormat(BYTE charset, const std::wstring& name, int points) {
    CHARFORMAT2W f = MakeCharFormat(CFM_CHARSET | CFM_FACE | CFM_SIZE);
    f.bCharSet = charset;
    CopyFace(f, name);
    f.yHeight = points * 20;
    ::SendMessageW(hwnd_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&f));
}

bool RichEdit::Modified() const {
    return ::SendMessageW(hwnd_, EM_GETMODIFY, 0, 0) != 0;
}
void RichEdit::SetModified(bool modified) {
    ::SendMessageW(hwnd_, EM_SETMODIFY, modified ? TRUE : FALSE, 0);
}

void RichEdit::SetWordWrap(bool on) {
    wordWrap_ = on;
    ::SendMessageW(hwnd_, EM_SETTARGETDEVICE, 0, on ? 0 : 1);
}

CHARRANGE RichEdit::Selection() const {
    CHARRANGE r{};
    ::SendMessageW(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

long RichEdit::SelLength() const {
    const CHARRANGE r = Selection();
    return r.cpMax - r.cpMin;
}

void RichEdit::Select(long start, long end) {
    CHARRANGE r{start, end};
    ::SendMessageW(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
    ::SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

void RichEdit::SelectAll() {
    Select(0, -1);
}

void RichEdit::SelectWithoutScroll(long start, long end) {
    CHARRANGE r{start, end};
    ::SendMessageW(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

void RichEdit::ScrollCaret() {
    ::SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

CHARFORMAT2W RichEdit::SelectionFormat() const {
    CHARFORMAT2W f = MakeCharFormat(0);
    ::SendMessageW(hwnd_, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    return f;
}

void RichEdit::SetSelectionFormat(const CHARFORMAT2W& format) {
    ::SendMessageW(hwnd_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

long RichEdit::TextLength() const {
    GETTEXTLENGTHEX g{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<long>(::SendMessageW(hwnd_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&g), 0));
}

std::wstring RichEdit::Text() const {
    const long length = TextLength();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX g{};
    g.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    g.flags = GT_DEFAULT;
    g.codepage = 1200;
    const LRESULT n =
        ::SendMessageW(hwnd_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&g), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(0, std::min<LRESULT>(n, length))));
    return text;
}

void RichEdit::SetText(const std::wstring& text) {
    SETTEXTEX s{ST_DEFAULT, 1200};
    ::SendMessageW(hwnd_, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(text.c_str()));
}

void RichEdit::ReplaceSelection(const std::wstring& text, bool canUndo) {
    ::SendMessageW(hwnd_, EM_REPLACESEL, canUndo ? TRUE : FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

long RichEdit::LineFromChar(long position) const {
    return static_cast<long>(::SendMessageW(hwnd_, EM_EXLINEFROMCHAR, 0, position));
}

long RichEdit::LineIndex(long line) const {
    return static_cast<long>(::SendMessageW(hwnd_, EM_LINEINDEX, line, 0));
}

long RichEdit::LineCount() const {
    return static_cast<long>(::SendMessageW(hwnd_, EM_GETLINECOUNT, 0, 0));
}

long RichEdit::LineLength(long line) const {
    return static_cast<long>(::SendMessageW(hwnd_, EM_LINELENGTH, static_cast<WPARAM>(LineIndex(line)), 0));
}

long RichEdit::FirstVisibleLine() const {
    return static_cast<long>(::SendMessageW(hwnd_, EM_GETFIRSTVISIBLELINE, 0, 0));
}

void RichEdit::ScrollToLine(long line) {
    ::SendMessageW(hwnd_, EM_LINESCROLL, 0, line - FirstVisibleLine());
}

std::wstring RichEdit::TextRange(long start, long end) const {
    if (end <= start) return {};
    std::wstring text(static_cast<size_t>(end - start) + 1, L'\0');
    TEXTRANGEW range{{start, end}, text.data()};
    const LRESULT n = ::SendMessageW(hwnd_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, end - start)));
    return text;
}

void RichEdit::BeginUpdate() {
    if (updates_++ == 0) ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void RichEdit::EndUpdate() {
    if (updates_ > 0 && --updates_ == 0) {
        ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

void RichEdit::Undo() {
    ::SendMessageW(hwnd_, EM_UNDO, 0, 0);
}
void RichEdit::Cut() {
    ::SendMessageW(hwnd_, WM_CUT, 0, 0);
}
void RichEdit::Copy() {
    ::SendMessageW(hwnd_, WM_COPY, 0, 0);
}
void RichEdit::Paste() {
    ::SendMessageW(hwnd_, WM_PASTE, 0, 0);
}
void RichEdit::ClearSelection() {
    ::SendMessageW(hwnd_, WM_CLEAR, 0, 0);
}

bool RichEdit::StreamInRtf(std::string_view bytes, const StreamProgress& progress) {
    StreamState s;
    s.bytes = bytes;
    s.progress = &progress;
    return Stream(hwnd_, EM_STREAMIN, SF_RTF, s, ReadBytesCallback);
}

bool RichEdit::StreamInText(std::wstring_view text, const StreamProgress& progress) {
    StreamState s;
    s.text = text;
    s.progress = &progress;
    return Stream(hwnd_, EM_STREAMIN, SF_TEXT | SF_UNICODE, s, ReadTextCallback);
}

bool RichEdit::StreamOutRtf(std::string& out, const StreamProgress& progress, UINT codePage) const {
    out.clear();
    StreamState s;
    s.out = &out;
    s.expected = static_cast<size_t>(TextLength()) * 2 + 1;
    s.progress = &progress;
    const WPARAM format = codePage ? (SF_RTF | SF_USECODEPAGE | (static_cast<WPARAM>(codePage) << 16)) : SF_RTF;
    return Stream(hwnd_, EM_STREAMOUT, format, s, WriteCallback);
}

size_t NextTextPiece(std::wstring_view text, size_t& pos, wchar_t* out, size_t capacity) {
    size_t n = 0;
    while (n < capacity && pos < text.size()) {
        const wchar_t c = text[pos];
        if (c == L'\r' || c == L'\n') {
            out[n++] = L'\r';
            pos += c == L'\r' && pos + 1 < text.size() && text[pos + 1] == L'\n' ? 2 : 1;
        } else if (IS_HIGH_SURROGATE(c) && pos + 1 < text.size() && IS_LOW_SURROGATE(text[pos + 1])) {
            if (n + 2 > capacity) {
                if (n > 0) break;        // the pair goes whole into the next piece
                out[n++] = text[pos++];  // a piece of one unit cannot hold it whole
                break;
            }
            out[n++] = text[pos++];
            out[n++] = text[pos++];
        } else {
            out[n++] = c;
            ++pos;
        }
    }
    return n;
}

}  // namespace ui
