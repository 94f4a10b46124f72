#include "app/kurvanta_.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/document_io.h"
#include "app/documents_on_disk.h"
#include "app/folder_find.h"
#include "app/folder_find_pane.h"
#include "app/recovery.h"
#include "ui/error.h"
#include "ui/ini.h"
#include "ui/prompt.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace app {
namespace {

constexpr wchar_t kClassName[] = L"TForm1";

// Screen size as the window placement rule sees it: the widths of all monitors added, the tallest height.
BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT r, LPARAM data) {
    auto* total = reinterpret_cast<SIZE*>(data);
    total->cx += r->right - r->left;
    total->cy = std::max<LONG>(total->cy, r->bottom - r->top);
    return TRUE;
}

SIZE TotalScreen() {
    SIZE total{0, 0};
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&total));
    if (total.cx == 0) total = {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return total;
}

// While the session's end waits for an answer, the system shows why. Looked up at run time: Wine's user32 has
// neither function, and there the answer alone holds the end back.
class ShutdownBlock {
public:
    ShutdownBlock(HWND window, const wchar_t* reason) : window_(window) {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        using Create = BOOL(WINAPI*)(HWND, LPCWSTR);
        const auto create = user32 ? reinterpret_cast<Create>(
                                         reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonCreate")))
                                   : nullptr;
        destroy_ = user32 ? reinterpret_cast<Destroy>(
                                reinterpret_cast<void*>(::GetProcAddress(user32, "ShutdownBlockReasonDestroy")))
                          : nullptr;
        if (!create || !destroy_ || !create(window_, reason)) destroy_ = nullptr;
    }
    ~ShutdownBlock() {
        if (destroy_) destroy_(window_);
    }
    ShutdownBlock(const ShutdownBlock&) = delete;
    ShutdownBlock& operator=(const ShutdownBlock&) = delete;

private:
    using Destroy = BOOL(WINAPI*)(HWND);
    HWND window_;
    Destroy destroy_ = nullptr;
};

std::wstring WindowText(HWND hwnd) {
    const int n = ::GetWindowTextLengthW(hwnd);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    s.resize(static_cast<size_t>(::GetWindowTextW(hwnd, s.data(), n + 1)));
    return s;
}

}  // namespace

TForm1::TForm1(TForm1Options options) : ui::Window(nullptr), options_(std::move(options)) {
    iniPath_ = options_.iniPath.empty() ? ui::ExeFolder() + L"data.ini" : options_.iniPath;
    // Beside whatever data.ini the window uses: the program's folder, or a test's own.
    std::wstring iniFolder = ui::DirectoryOf(iniPath_);
    if (!iniFolder.empty() && iniFolder.back() != L'\\') iniFolder += L'\\';
    recovery_ = std::make_unique<Recovery>(*this, iniFolder + L"recovery");
    documents_ = std::make_unique<DocumentsOnDisk>(*this);
    BeginLoading();
    background_.reset(::CreateSolidBrush(transparentColour_));

    CreateOwnWindow(kClassName, txt::kAppTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, RECT{0, 0, 850, 550}, nullptr,
                    0, nullptr, CS_DBLCLKS);
    // The window's parts are made for the DPI of the monitor it was created on.
    scale_ = ui::Scale(ui::DpiOf(Handle()));
    CreateMenus();
    CreateToolBars();
    statusBar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                   Handle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    CreatePanes();
    CreateFolderPanel();
    ApplyScale();
    timer1_ = std::make_unique<ui::Timer>(this, 200, false);
    timer1_->OnTimer = [this] { Timer1Timer(); };
    ACCEL ctrlS{FCONTROL | FVIRTKEY, 'S', kCmdActUagaki};
    accelerators_.reset(::CreateAcceleratorTableW(&ctrlS, 1));
    EndLoading();
    FormCreate();
}

TForm1::~TForm1() {
    documents_.reset();  // no look comes back to a tab that is going
    // The editors' windows go with the pages; the slots only hold them.
    for (auto& s : slots_) {
        s.editor.reset();
        s.page.reset();
    }
    // Recovery outlives the editors, which report their changes to it, and ends its folder before the window goes.
    recovery_.reset();
}

void TForm1::FormCreate() {
    transparentColour_ = 0xFFFFFF;
    alpha_ = 255;
    layeredFlags_ = 2;
    user32_.reset(::LoadLibraryW(L"user32.dll"));
    if (user32_) {
        setLayered_ = reinterpret_cast<SetLayeredFn>(
            reinterpret_cast<void*>(::GetProcAddress(user32_.get(), "SetLayeredWindowAttributes")));
        if (!setLayered_) user32_.reset();
    }
    if (!user32_) {
        ui::Ask(Handle(), txt::kNoLayered, MB_OK | MB_ICONWARNING);
        failed_ = true;
        return;
    }
    const LONG_PTR ex = ::GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
    ::SetWindowLongPtrW(Handle(), GWL_EXSTYLE, ex | WS_EX_LAYERED);
    toumei(255, 0xFFFFFF);
}

void TForm1::toumei(int alpha, COLORREF colour) {
    background_.reset(::CreateSolidBrush(colour));
    ::InvalidateRect(Handle(), nullptr, TRUE);
    const COLORREF rgb = colour & 0xFFFFFF;
    if (setLayered_ && layeredFlags_ >= 1 && layeredFlags_ <= 3)
        setLayered_(Handle(), rgb, static_cast<BYTE>(alpha), layeredFlags_);
}

void TForm1::tbtnTomeiClick() {
    alpha_ = ButtonDown(kBtnTomei) ? 125 : 255;
    toumei(alpha_, transparentColour_);
}

// ---------------------------------------------------------------------------------------------------------------
// First showing, settings and close.

void TForm1::Show(int showCommand) {
    if (failed_) return;
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    ::ShowWindow(Handle(), showCommand);
    ::UpdateWindow(Handle());
}

void TForm1::FormShow() {
    SetButtonDown(kBtnOne2, false);
    rightPressed_ = false;
    rightPress_ = {0, 0};
    current_ = 0;
    SetButtonDown(kBtnWrap, false);
    timer1_->SetEnabled(false);

    const SIZE screen = TotalScreen();
    {
        const ui::IniFile ini(iniPath_);
        // Stored sizes are screen pixels; the defaults are the design's, at the screen's scaling.
        const int left = ini.ReadInteger(L"form", L"left", 50);
        const int top = ini.ReadInteger(L"form", L"top", 50);
        const int width = ini.ReadInteger(L"form", L"width", scale_(850));
        const int height = ini.ReadInteger(L"form", L"height", scale_(550));
        const long long right = static_cast<long long>(left) + width;
        const long long bottom = static_cast<long long>(top) + height;
        placing_ = true;
        ::MoveWindow(Handle(), right > screen.cx ? 50 : left, bottom > screen.cy ? 50 : top, width, height, FALSE);
        placing_ = false;
        Rescale(ui::DpiOf(Handle()));  // placed on a monitor with another DPI
        paneLeftWidth_ = ini.ReadInteger(L"panel", L"paneLeft", scale_(180));
        paneLeftUpHeight_ = ini.ReadInteger(L"panel", L"paneLeftUp", scale_(200));
        findPaneHeight_ = ini.ReadInteger(L"panel", L"paneFind", scale_(kFindPaneHeight));
        fontDefaults_.name = ini.ReadString(L"Font", L"Name", txt::kDefaultEditorFont);
        fontDefaults_.size = ini.ReadInteger(L"Font", L"Size", 11);
        fontDefaults_.charset = SHIFTJIS_CHARSET;
    }
    LayoutForm();
    LayoutPaneMain();
    LayoutPaneLeft();

    std::wstring commandLine;
    for (const std::wstring& a : options_.arguments) commandLine += L" " + a;
    commandLine = ui::Trim(commandLine);
    if (!commandLine.empty()) {
        SelectStartFolder(ui::DirectoryOf(commandLine));
        sinkitab(1, commandLine);
    } else {
        SelectStartFolder(ui::ExeFolder());
        sinkitab(0, L"dmy");
    }
    ::DragAcceptFiles(Handle(), TRUE);
    FolderPanelFirstShow();
    recovery_->Start();
}

bool TForm1::FormCloseQuery() {
    if (!mihoAri()) return true;
    return ui::Ask(Handle(), txt::kQuitUnsaved, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool TForm1::FormQueryEndSession() {
    // The reason is up from the start while anything is unsaved: should the writes outlast the system's patience,
    // its list of the programs holding the end up says why ours does.
    std::optional<ShutdownBlock> block;
    if (mihoAri()) block.emplace(Handle(), txt::kEndSessionBlocked);
    if (recovery_->QueryEndSession() || !mihoAri()) return true;
    return ui::Ask(Handle(), txt::kQuitUnsaved, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TForm1::FormClose() {
    RECT r{};
    ::GetWindowRect(Handle(), &r);
    ui::IniFile ini(iniPath_);
    ini.WriteInteger(L"form", L"left", r.left);
    ini.WriteInteger(L"form", L"top", r.top);
    ini.WriteInteger(L"form", L"height", r.bottom - r.top);
    ini.WriteInteger(L"form", L"width", r.right - r.left);
    ini.WriteInteger(L"panel", L"paneLeft", paneLeftWidth_);
    ini.WriteInteger(L"panel", L"paneLeftUp", paneLeftUpHeight_);
    ini.WriteInteger(L"panel", L"paneFind", findPaneHeight_);
    ini.WriteString(L"Font", L"Name", fontDefaults_.name);
    ini.WriteInteger(L"Font", L"Size", fontDefaults_.size);
    ini.WriteString(L"Folder", L"Path", SelectedFolderPath());
    ini.Save();
}

// ---------------------------------------------------------------------------------------------------------------
// Status bar.

void TForm1::SetStatus(int panel, const std::wstring& text) {
    ::SendMessageW(statusBar_, SB_SETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring TForm1::StatusText(int panel) const {
    const auto length = LOWORD(::SendMessageW(statusBar_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel), 0));
    std::wstring s(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(statusBar_, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(s.data()));
    s.resize(length);
    return s;
}

void TForm1::Timer1Timer() {
    const int slot = ActiveTabSlot();
    if (slot == 0) return;
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (!s.editor) return;
    ui::RichEdit& editor = *s.editor;
    std::wstring name = s.fontName;
    int size = s.fontSize;
    const CHARRANGE sel = editor.Selection();
    if (sel.cpMax != sel.cpMin) {
        const CHARFORMAT2W f = editor.SelectionFormat();
        name = f.szFaceName;
        // The size goes to pixels and back at the design's 96 pixels per inch, the screen's and the window's
        // alike: at another scaling the integer division would show 11 points as 10 (at 192 DPI, 29 pixels).
        constexpr int ppi = static_cast<int>(ui::kDesignDpi);
        const int pixels = static_cast<int>(std::lround(f.yHeight / 20.0 * ppi / 72.0));
        size = pixels * 72 / ppi;
    }
    SetStatus(1, name + txt::kSizeLabel + ui::ToText(size));
    const long line = editor.LineFromChar(sel.cpMax);
    // The column counts as the editor's document text does: in code page 932 bytes, a line break two.
    const std::wstring before = editor.TextRange(editor.LineIndex(-1), sel.cpMax);
    const long column = ui::Cp932Width(before) + static_cast<long>(std::count(before.begin(), before.end(), L'\r'));
    SetStatus(0, ui::ToText(line + 1) + L" : " + ui::ToText(column + 1));
    SetStatus(2, StatusMessageShown() ? statusMessage_ : documents_->StatusText(slot));
}

void TForm1::ShowStatusMessage(const std::wstring& text, DWORD milliseconds) {
    statusMessage_ = text;
    statusMessageUntil_ = milliseconds == INFINITE ? 0 : ::GetTickCount64() + milliseconds;
    SetStatus(2, text);
}

void TForm1::ClearStatusMessage() {
    if (statusMessage_.empty()) return;
    statusMessage_.clear();
    SetStatus(2, current_ != 0 ? documents_->StatusText(current_) : std::wstring());
}

bool TForm1::StatusMessageShown() {
    if (!statusMessage_.empty() && statusMessageUntil_ != 0 && ::GetTickCount64() >= statusMessageUntil_)
        statusMessage_.clear();
    return !statusMessage_.empty();
}

void TForm1::ShowStatusNotice(const std::wstring& text) {
    statusNotice_ = text;
    LayoutStatusNotice();
}

// The notice takes a panel of its own at the right end, as wide as its text, so the refresh of the other panels
// never covers it.
void TForm1::LayoutStatusNotice() {
    if (!statusBar_) return;
    int parts[4]{};
    const auto count = ::SendMessageW(statusBar_, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(parts));
    if (count < 2) return;
    if (statusNotice_.empty()) {
        if (count < 4) return;
        int withoutNotice[3] = {parts[0], parts[1], -1};
        ::SendMessageW(statusBar_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(withoutNotice));
        return;
    }
    SIZE extent{};
    {
        const ui::WindowDc dc(statusBar_);
        const ui::SelectIn font(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(statusBar_, WM_GETFONT, 0, 0)));
        ::GetTextExtentPoint32W(dc.get(), statusNotice_.c_str(), static_cast<int>(statusNotice_.size()), &extent);
    }
    const int width = extent.cx + scale_(24);  // the borders and the size grip
    const int right = ui::ClientRect(statusBar_).right;
    int withNotice[4] = {parts[0], parts[1], std::max(parts[1], right - width), -1};
    ::SendMessageW(statusBar_, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(withNotice));
    ::SendMessageW(statusBar_, SB_SETTEXTW, 3, reinterpret_cast<LPARAM>(statusNotice_.c_str()));
}

ui::StreamProgress TForm1::ProgressReporter(const wchar_t* label) {
    return [this, label](int percent) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        SetStatus(2, std::wstring(label) + ui::ToText(percent) + L"%");
        ::UpdateWindow(statusBar_);
    };
}

// ---------------------------------------------------------------------------------------------------------------
// Formatting and editing.

ui::RichEdit* TForm1::CurrentEditor() {
    if (current_ == 0) return nullptr;
    return slots_[static_cast<size_t>(current_)].editor.get();
}

void TForm1::ToggleStyle(DWORD effect) {
    ui::RichEdit* editor = CurrentEditor();
    if (!editor) return;
    const CHARFORMAT2W read = editor->SelectionFormat();
    constexpr DWORD kStyles = CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT;
    DWORD styles = read.dwEffects & kStyles;
    styles = (styles & effect) ? (styles & ~effect) : (styles | effect);
    CHARFORMAT2W f = ui::MakeCharFormat(CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT);
    f.dwEffects = styles;
    editor->SetSelectionFormat(f);
}

void TForm1::tbtnWRapOnOffClick() {
    ui::RichEdit* editor = CurrentEditor();
    if (!editor) return;
    const bool modified = editor->Modified();
    editor->SetWordWrap(!editor->WordWrap());
    SetButtonDown(kBtnWrap, editor->WordWrap());
    editor->SetModified(modified);
}

void TForm1::tbtnUndoClick() {
    if (ui::RichEdit* e = CurrentEditor()) e->Undo();
}
void TForm1::tbtnCutClick() {
    if (ui::RichEdit* e = CurrentEditor()) e->Cut();
}
void TForm1::tbtnCopyClick() {
    if (ui::RichEdit* e = CurrentEditor()) e->Copy();
}
void TForm1::tbtnPasteClick() {
    if (ui::RichEdit* e = CurrentEditor()) e->Paste();
}
void TForm1::tbtnAllSelectClick() {
    if (ui::RichEdit* e = CurrentEditor()) e->SelectAll();
}

void TForm1::popKiritClick() {
    if (ui::RichEdit* e = CurrentEditor()) {
        e->Cut();
        const long at = e->SelStart();
        e->Select(at, at);
    }
}

void TForm1::popSakjoClick() {
    if (ui::RichEdit* e = CurrentEditor()) {
        e->ClearSelection();
        const long at = e->SelStart();
        e->Select(at, at);
    }
}

// Every change of an editor's text marks it modified. The control does that itself for typing, but not under
// every implementation for cut, delete and undo, and a change that goes unmarked is lost without a question at
// close. Loading, find marking, word wrap and the font dialog set the mark back afterwards, as they must anyway.
void TForm1::EditorChanged(HWND editor) {
    for (int n = 1; n <= kSlotCount; ++n) {
        const Slot& s = slots_[static_cast<size_t>(n)];
        if (s.editor && s.editor->Handle() == editor) {
            s.editor->SetModified(true);
            recovery_->Changed(n);
            if (documents_) documents_->Edited(n);
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Buttons and edit boxes.

bool TForm1::ButtonDown(int id) const {
    HWND bar = ::SendMessageW(toolBar1_, TB_COMMANDTOINDEX, id, 0) >= 0 ? toolBar1_ : toolBar2_;
    return (::SendMessageW(bar, TB_GETSTATE, id, 0) & TBSTATE_CHECKED) != 0;
}

void TForm1::SetButtonDown(int id, bool down) {
    HWND bar = ::SendMessageW(toolBar1_, TB_COMMANDTOINDEX, id, 0) >= 0 ? toolBar1_ : toolBar2_;
    ::SendMessageW(bar, TB_CHECKBUTTON, id, MAKELPARAM(down ? TRUE : FALSE, 0));
}

std::wstring TForm1::FindText() const {
    return WindowText(edFind_);
}
std::wstring TForm1::TikanText() const {
    return WindowText(edTikan_);
}
void TForm1::SetFindText(const std::wstring& text) {
    ::SetWindowTextW(edFind_, text.c_str());
}
void TForm1::SetTikanText(const std::wstring& text) {
    ::SetWindowTextW(edTikan_, text.c_str());
}

// ---------------------------------------------------------------------------------------------------------------
// Messages.

bool TForm1::PreTranslate(MSG& msg) {
    return accelerators_ && ::TranslateAcceleratorW(Handle(), accelerators_.get(), &msg) != 0;
}

void TForm1::OnCommand(int id) {
    switch (id) {
        case kBtnPaneHyoj:
            tbtnPaneHyojClick();
            break;
        case kBtnHakusi:
            tbtnHakusiClick();
            break;
        case kBtnUwagaki:
            tbtnUwagakiClick();
            break;
        case kCmdActUagaki:
            ActUagakiExecute();
            break;
        case kBtnNamaeHozon:
            tbtnNamaeHozonClick();
            break;
        case kBtnTabToj:
            tbtnTabTojClick();
            break;
        case kCmdTabClose:
            N2Click();
            break;
        case kBtnTikan:
            if (OnTikanClick) OnTikanClick();
            break;
        case kBtnFolderFind:
            tbtnFolderFindClick();
            break;
        case kBtnBold:
            tbtnBoldClick();
            break;
        case kBtnItalic:
            tbtnItalicClick();
            break;
        case kBtnUnder:
            tbtnUnderClick();
            break;
        case kBtnStrike:
            tbtnStrikeClick();
            break;
        case kBtnWrap:
            tbtnWRapOnOffClick();
            break;
        case kBtnFont:
            if (OnShowFontDialog) OnShowFontDialog();
            break;
        case kBtnColor:
            if (OnShowColorDialog) OnShowColorDialog();
            break;
        case kBtnUndo:
        case kCmdPopModos:
            tbtnUndoClick();
            break;
        case kBtnCut:
            tbtnCutClick();
            break;
        case kBtnCopy:
        case kCmdPopCopy:
            tbtnCopyClick();
            break;
        case kBtnPaste:
        case kCmdPopPast:
            tbtnPasteClick();
            break;
        case kCmdPopKirit:
            popKiritClick();
            break;
        case kCmdPopSakjo:
            popSakjoClick();
            break;
        case kBtnAllSelect:
        case kCmdPopZense:
            tbtnAllSelectClick();
            break;
        case kBtnHelp2:
            if (OnShowHelp) OnShowHelp();
            break;
        case kBtnTomei:
            tbtnTomeiClick();
            break;
        default:
            break;
    }
}

LRESULT TForm1::OnNotify(NMHDR* header) {
    if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        if (const wchar_t* hint = ToolHint(static_cast<int>(header->idFrom)))
            info->lpszText = const_cast<wchar_t*>(hint);
        return 0;
    }
    if (header->hwndFrom == pageControl_ && header->code == TCN_SELCHANGE) {
        PageControl1Change();
        return 0;
    }
    if (header->hwndFrom == rebar_ && header->code == RBN_HEIGHTCHANGE) {
        LayoutForm();
        return 0;
    }
    if (header->hwndFrom == rebar_ && header->code == RBN_ENDDRAG) {
        // ToolBar1StartDock: a band dragged off the control bar floats as a tool window where it was let go.
        POINT at{};
        ::GetCursorPos(&at);
        RECT bar{};
        ::GetWindowRect(rebar_, &bar);
        ::InflateRect(&bar, 24, 24);
        if (!::PtInRect(&bar, at)) {
            REBARBANDINFOW band{};
            band.cbSize = sizeof band;
            band.fMask = RBBIM_CHILD;
            const auto* info = reinterpret_cast<NMREBAR*>(header);
            ::SendMessageW(rebar_, RB_GETBANDINFOW, info->uBand, reinterpret_cast<LPARAM>(&band));
            if (band.hwndChild) {
                // The rebar is still in its drag when it tells us; the move waits until it is done.
                ::PostMessageW(Handle(), kMsgFloatBar, reinterpret_cast<WPARAM>(band.hwndChild),
                               MAKELPARAM(at.x, at.y));
            }
        }
        return 0;
    }
    return 0;
}

void TForm1::OnContextMenu(HWND source, int x, int y) {
    HMENU menu = nullptr;
    if (source == pageControl_) {
        menu = popupMenu2_.get();
    } else {
        for (const Slot& s : slots_)
            if (s.editor && s.editor->Handle() == source) menu = popupMenu1_.get();
    }
    if (!menu) return;
    if (x == -1 && y == -1) {
        RECT r{};
        ::GetWindowRect(source, &r);
        x = r.left;
        y = r.top;
    }
    // A pop-up menu of a window that is not in front closes again at once.
    ::SetForegroundWindow(Handle());
    ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, Handle(), nullptr);
}

LRESULT TForm1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (lp != 0 && reinterpret_cast<HWND>(lp) == cbFolRireki_) {
                if (HIWORD(wp) == CBN_DROPDOWN) cbFolRirekiDropDown();
                if (HIWORD(wp) == CBN_SELCHANGE) cbFolRirekiChange();
                return 0;
            }
            if (HIWORD(wp) == EN_CHANGE && lp != 0) {
                EditorChanged(reinterpret_cast<HWND>(lp));
                return 0;
            }
            if (lp == 0 || HIWORD(wp) == BN_CLICKED) OnCommand(LOWORD(wp));
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lp));
        case WM_CONTEXTMENU:
            OnContextMenu(reinterpret_cast<HWND>(wp), GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_SIZE:
            LayoutForm();
            return 0;
        case WM_ACTIVATE:
            // Coming back to the window is when files changed meanwhile by other programs are noticed.
            if (documents_) documents_->Activated(LOWORD(wp) != WA_INACTIVE);
            return Default(msg, wp, lp);
        case WM_DPICHANGED:
            Rescale(ui::DpiOfMessage(wp));
            // The stored size is already in the pixels of the monitor the window is placed on.
            if (!placing_) ui::MoveToSuggested(Handle(), lp);
            return 0;
        case kMsgFloatBar:
            FloatToolBar(reinterpret_cast<HWND>(wp), POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
            return 0;
        case kMsgDropFloating:
            retired_.clear();
            return 0;
        case kMsgKensakPress:
            if (OnKensakPress) OnKensakPress(static_cast<int>(wp));
            return 0;
        case WM_DROPFILES:
            DropFiles(reinterpret_cast<HDROP>(wp));
            return 0;
        case WM_ERASEBKGND: {
            RECT r = ui::ClientRect(Handle());
            ::FillRect(reinterpret_cast<HDC>(wp), &r, background_.get());
            return 1;
        }
        case WM_CLOSE:
            if (FormCloseQuery()) {
                // Settings that cannot be written are reported, but never keep the program from closing.
                ui::RunCommand(Handle(), [this] { FormClose(); });
                ::DestroyWindow(Handle());
            }
            return 0;
        case WM_QUERYENDSESSION:
            return FormQueryEndSession() ? TRUE : FALSE;
        case WM_ENDSESSION:
            recovery_->EndSession(wp != FALSE);
            if (wp && (lp & ENDSESSION_CLOSEAPP)) {
                // An installer or an update needs the program closed while the session goes on: it ends as the
                // session's end would have it, its unsaved work kept for the next start.
                ui::RunCommand(Handle(), [this] { FormClose(); });
                ::DestroyWindow(Handle());
            }
            return 0;
        case WM_DESTROY:
            recovery_->WindowClosing();
            timer1_->SetEnabled(false);
            folderSearch_->Cancel();  // quitting ends a running search at once
            if (options_.quitOnClose) ::PostQuitMessage(0);
            return 0;
    }
    return Default(msg, wp, lp);
}

}  // namespace app
