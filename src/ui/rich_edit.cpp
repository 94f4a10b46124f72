#include "ui/rich_edit.h"

#include <algorithm>

namespace ui {
namespace {

struct StreamState {
    const char* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    std::string* out = nullptr;
    const StreamProgress* progress = nullptr;
    ULONGLONG lastReport = 0;

    void Report() {
        if (!progress || !*progress) return;
        const ULONGLONG now = ::GetTickCount64();
        if (now - lastReport < 100) return;
        lastReport = now;
        const int percent = size == 0 ? 100 : static_cast<int>(std::min<size_t>(100, pos * 100 / size));
        (*progress)(percent);
    }
};

DWORD CALLBACK ReadCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb) {
    auto* s = reinterpret_cast<StreamState*>(cookie);
    const size_t n = std::min(static_cast<size_t>(cb), s->size - s->pos);
    std::copy_n(s->data + s->pos, n, reinterpret_cast<char*>(buffer));
    s->pos += n;
    *pcb = static_cast<LONG>(n);
    s->Report();
    return 0;
}

DWORD CALLBACK WriteCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb) {
    auto* s = reinterpret_cast<StreamState*>(cookie);
    s->out->append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(cb));
    *pcb = cb;
    s->pos += static_cast<size_t>(cb);
    s->Report();
    return 0;
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
    StreamState s{bytes.data(), bytes.size(), 0, nullptr, &progress, ::GetTickCount64()};
    EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&s), 0, ReadCallback};
    ::SendMessageW(hwnd_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    return es.dwError == 0;
}

bool RichEdit::StreamInText(std::wstring_view text, const StreamProgress& progress) {
    StreamState s{reinterpret_cast<const char*>(text.data()),
                  text.size() * sizeof(wchar_t),
                  0,
                  nullptr,
                  &progress,
                  ::GetTickCount64()};
    EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&s), 0, ReadCallback};
    ::SendMessageW(hwnd_, EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&es));
    return es.dwError == 0;
}

bool RichEdit::StreamOutRtf(std::string& out, const StreamProgress& progress, UINT codePage) const {
    out.clear();
    StreamState s{nullptr, static_cast<size_t>(TextLength()) * 2 + 1, 0, &out, &progress, ::GetTickCount64()};
    EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&s), 0, WriteCallback};
    const WPARAM format = codePage ? (SF_RTF | SF_USECODEPAGE | (static_cast<WPARAM>(codePage) << 16)) : SF_RTF;
    ::SendMessageW(hwnd_, EM_STREAMOUT, format, reinterpret_cast<LPARAM>(&es));
    return es.dwError == 0;
}

}  // namespace ui
