// The main window's parts and their layout: the control bar with its two tool bars, the panes and splitters,
// the status bar and the tab control, all sized for the screen's scaling.
#include <windowsx.h>

#include <algorithm>

#include "app/folder_find_pane.h"
#include "app/kurvanta_.h"
#include "ui/texts.h"

namespace app {
namespace {

// Sizes of the design, in pixels at 96 DPI; the window shows them at its monitor's DPI.
constexpr int kPictureSize = 16;  // the tool bar pictures
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kSeparatorWidth = 6;
constexpr int kEditBoxWidth = 120;
constexpr int kEditBoxMargin = 1;  // above and below an edit box in its tool bar
constexpr int kBandExtra = 16;     // room beside a tool bar in its band
constexpr int kFloatMargin = 2;    // around a tool bar in its floating window
constexpr int kSplitterSize = 6;
constexpr int kSplitterMinSize = 10;
constexpr int kPanel1Height = 20;
constexpr int kHistoryDropHeight = 200;
constexpr int kStatusPanel0 = 100;
constexpr int kStatusPanel1 = 300;
constexpr int kTabWidth = 100;
constexpr int kTabHeight = 20;

constexpr int kEdFindId = 301;
constexpr int kEdTikanId = 302;
constexpr int kPageControlId = 303;

struct ButtonSpec {
    int id;
    int image;  // index in the tool bar picture strip; -1 for a separator
    BYTE style;
    const wchar_t* hint;
};

// Pictures of the tool bar strip, in order.
enum Picture {
    kPicPane,
    kPicNew,
    kPicSave,
    kPicSaveAs,
    kPicCloseTab,
    kPicFind,
    kPicReplace,
    kPicBold,
    kPicItalic,
    kPicUnder,
    kPicStrike,
    kPicWrap,
    kPicFont,
    kPicColor,
    kPicUndo,
    kPicCut,
    kPicCopy,
    kPicPaste,
    kPicSelectAll,
    kPicHelp,
    kPicOneClick,
    kPicTransparent,
    kPicFolderFind,
    kPictureCount
};

const ButtonSpec kToolBar1[] = {
    {kBtnPaneHyoj, kPicPane, BTNS_BUTTON, txt::kHintPaneHyoj},
    {kBtnHakusi, kPicNew, BTNS_BUTTON, txt::kHintHakusi},
    {kBtnUwagaki, kPicSave, BTNS_BUTTON, txt::kHintUwagaki},
    {kBtnNamaeHozon, kPicSaveAs, BTNS_BUTTON, txt::kHintNamaeHozon},
    {kBtnTabToj, kPicCloseTab, BTNS_BUTTON, txt::kHintTabToj},
    {kEdFindId, -1, BTNS_SEP, nullptr},  // room for edFind
    {kBtnKensak, kPicFind, BTNS_BUTTON, txt::kHintKensak},
    {kEdTikanId, -1, BTNS_SEP, nullptr},  // room for edTikan
    {kBtnTikan, kPicReplace, BTNS_BUTTON, txt::kHintTikan},
    {kBtnFolderFind, kPicFolderFind, BTNS_BUTTON, txt::kHintFolderFind},
};

const ButtonSpec kToolBar2[] = {
    {kBtnBold, kPicBold, BTNS_BUTTON, txt::kHintBold},
    {kBtnItalic, kPicItalic, BTNS_BUTTON, txt::kHintItalic},
    {kBtnUnder, kPicUnder, BTNS_BUTTON, txt::kHintUnder},
    {kBtnStrike, kPicStrike, BTNS_BUTTON, txt::kHintStrike},
    {0, -1, BTNS_SEP, nullptr},
    {kBtnWrap, kPicWrap, BTNS_BUTTON, txt::kHintWrap},
    {kBtnFont, kPicFont, BTNS_BUTTON, txt::kHintFont},
    {kBtnColor, kPicColor, BTNS_BUTTON, txt::kHintColor},
    {0, -1, BTNS_SEP, nullptr},
    {kBtnUndo, kPicUndo, BTNS_BUTTON, txt::kHintUndo},
    {kBtnCut, kPicCut, BTNS_BUTTON, txt::kHintCut},
    {kBtnCopy, kPicCopy, BTNS_BUTTON, txt::kHintCopy},
    {kBtnPaste, kPicPaste, BTNS_BUTTON, txt::kHintPaste},
    {kBtnAllSelect, kPicSelectAll, BTNS_BUTTON, txt::kHintAllSelect},
    {kBtnHelp2, kPicHelp, BTNS_BUTTON, txt::kHintHelp},
    {kBtnOne2, kPicOneClick, BTNS_CHECK, txt::kHintOneClick},
    {kBtnTomei, kPicTransparent, BTNS_CHECK, txt::kHintTomei},
};

}  // namespace

const wchar_t* ToolHint(int id) {
    for (const auto& b : kToolBar1)
        if (b.id == id) return b.hint;
    for (const auto& b : kToolBar2)
        if (b.id == id) return b.hint;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Construction of the window's parts.

void TForm1::CreateMenus() {
    popupMenu1_.reset(::CreatePopupMenu());
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kCmdPopModos, txt::kPopUndo);
    ::AppendMenuW(popupMenu1_.get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kCmdPopCopy, txt::kPopCopy);
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kCmdPopPast, txt::kPopPaste);
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kCmdPopKirit, txt::kPopCut);
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kCmdPopSakjo, txt::kPopDelete);
    ::AppendMenuW(popupMenu1_.get(), MF_STRING, kCmdPopZense, txt::kPopSelectAll);
    popupMenu2_.reset(::CreatePopupMenu());
    ::AppendMenuW(popupMenu2_.get(), MF_STRING, kCmdTabClose, txt::kMenuClose);
}

HWND TForm1::CreateToolBar(const std::vector<TBBUTTON>& buttons) {
    HWND bar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                     CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                 0, 0, 0, 0, rebar_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(bar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    return bar;
}

void TForm1::CreateToolBars() {
    rebar_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, L"",
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                   RBS_BANDBORDERS | CCS_NODIVIDER | CCS_TOP,
                               0, 0, 0, 0, Handle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    REBARINFO info{sizeof info, 0, nullptr};
    ::SendMessageW(rebar_, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));

    auto make = [](const auto& specs) {
        std::vector<TBBUTTON> buttons;
        for (const ButtonSpec& s : specs) {
            TBBUTTON b{};
            b.iBitmap = s.style == BTNS_SEP ? (s.id ? kEditBoxWidth : kSeparatorWidth) : s.image;
            b.idCommand = s.id;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = s.style;
            buttons.push_back(b);
        }
        return buttons;
    };
    toolBar1_ = CreateToolBar(make(kToolBar1));
    toolBar2_ = CreateToolBar(make(kToolBar2));

    // The two edit boxes sit in the room the separators keep for them (PlaceEditBoxes).
    auto placeEdit = [this](int id, const wchar_t* hint) {
        HWND edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 0,
                                      0, toolBar1_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                      ::GetModuleHandleW(nullptr), nullptr);
        if (HWND tips = reinterpret_cast<HWND>(::SendMessageW(toolBar1_, TB_GETTOOLTIPS, 0, 0))) {
            TTTOOLINFOW ti{};
            ti.cbSize = sizeof ti;
            ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            ti.hwnd = toolBar1_;
            ti.uId = reinterpret_cast<UINT_PTR>(edit);
            ti.lpszText = const_cast<wchar_t*>(hint);
            ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        }
        return edit;
    };
    edFind_ = placeEdit(kEdFindId, txt::kHintFind);
    edTikan_ = placeEdit(kEdTikanId, txt::kHintTikanText);

    // The find button acts on the press, with either mouse button. The find itself, which may show a modal box,
    // runs from a posted message once the tool bar has handled the press: run inside the press, its box would
    // take the release that the tool bar waits for, leaving the button pressed and the mouse captured.
    toolBar1Hook_.Attach(toolBar1_, [this](UINT msg, WPARAM, LPARAM lp) -> std::optional<LRESULT> {
        if (msg != WM_LBUTTONDOWN && msg != WM_RBUTTONDOWN && msg != WM_MBUTTONDOWN) return std::nullopt;
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        const auto index = ::SendMessageW(toolBar1_, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&p));
        TBBUTTON b{};
        if (index < 0 || !::SendMessageW(toolBar1_, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&b)) ||
            b.idCommand != kBtnKensak)
            return std::nullopt;
        const int button = msg == WM_LBUTTONDOWN ? 1 : msg == WM_RBUTTONDOWN ? 2 : 3;
        ::PostMessageW(Handle(), kMsgKensakPress, static_cast<WPARAM>(button), 0);
        return msg == WM_LBUTTONDOWN ? std::nullopt : std::optional<LRESULT>(0);
    });

    for (HWND bar : {toolBar1_, toolBar2_}) AddBand(bar);
}

// A band that holds the whole tool bar.
REBARBANDINFOW TForm1::BandFor(HWND bar) const {
    SIZE size{};
    ::SendMessageW(bar, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    REBARBANDINFOW band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILDSIZE | RBBIM_SIZE;
    band.cxMinChild = size.cx;
    band.cyMinChild = size.cy;
    band.cx = size.cx + scale_(kBandExtra);
    return band;
}

void TForm1::AddBand(HWND bar) {
    REBARBANDINFOW band = BandFor(bar);
    band.fMask |= RBBIM_CHILD | RBBIM_STYLE;
    band.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;
    band.hwndChild = bar;
    ::SendMessageW(rebar_, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

bool TForm1::ToolBarFloating(HWND bar) const {
    for (const auto& f : floating_)
        if (f && f->Bar() == bar) return true;
    return false;
}

void TForm1::FloatToolBar(HWND bar, POINT at) {
    if (ToolBarFloating(bar)) return;
    const int count = static_cast<int>(::SendMessageW(rebar_, RB_GETBANDCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        REBARBANDINFOW band{};
        band.cbSize = sizeof band;
        band.fMask = RBBIM_CHILD;
        ::SendMessageW(rebar_, RB_GETBANDINFOW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&band));
        if (band.hwndChild != bar) continue;
        ::SendMessageW(rebar_, RB_DELETEBAND, static_cast<WPARAM>(i), 0);
        auto& slot = floating_[bar == toolBar1_ ? 0 : 1];
        slot = std::make_unique<FloatingToolBar>(this, Handle(), bar, at, scale_(kFloatMargin));
        slot->OnClose = [this, bar] { DockToolBar(bar); };
        LayoutForm();
        return;
    }
}

void TForm1::DockToolBar(HWND bar) {
    auto& slot = floating_[bar == toolBar1_ ? 0 : 1];
    if (!slot || slot->Bar() != bar) return;
    ::SetParent(bar, rebar_);
    AddBand(bar);
    // The floating window goes once its own message has been handled.
    ::PostMessageW(Handle(), kMsgDropFloating, 0, 0);
    retired_.push_back(std::move(slot));
    LayoutForm();
}

void TForm1::CreatePanes() {
    paneMain_ = std::make_unique<ui::Panel>(this, Handle());
    paneLeft_ = std::make_unique<ui::Panel>(this, paneMain_->Handle());
    splitter1_ = std::make_unique<Splitter>(this, paneMain_->Handle(), Splitter::Orientation::Vertical);
    paneRight_ = std::make_unique<ui::Panel>(this, paneMain_->Handle());
    paneLeftUp_ = std::make_unique<ui::Panel>(this, paneLeft_->Handle());
    splitter2_ = std::make_unique<Splitter>(this, paneLeft_->Handle(), Splitter::Orientation::Horizontal);
    paneLeftDown_ = std::make_unique<ui::Panel>(this, paneLeft_->Handle(), RECT{}, WS_EX_CLIENTEDGE);
    panel1_ = std::make_unique<ui::Panel>(this, paneLeftUp_->Handle());
    cbFolRireki_ = ::CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0,
                                     0, 0, panel1_->Handle(), nullptr, ::GetModuleHandleW(nullptr), nullptr);

    pageControl_ =
        ::CreateWindowExW(0, WC_TABCONTROLW, L"",
                          WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | TCS_BUTTONS | TCS_FLATBUTTONS | TCS_FIXEDWIDTH, 0,
                          0, 0, 0, paneRight_->Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPageControlId)),
                          ::GetModuleHandleW(nullptr), nullptr);
    pageControlHook_.Attach(pageControl_, [this](UINT msg, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
        LRESULT result = 0;
        if (TabControlMessage(msg, wp, lp, result)) return result;
        return std::nullopt;
    });

    paneMain_->OnResize = [this] { LayoutPaneMain(); };
    paneLeft_->OnResize = [this] { LayoutPaneLeft(); };
    paneLeftUp_->OnResize = [this] { LayoutPaneLeftUp(); };
    paneLeftDown_->OnResize = [this] { LayoutFileList(); };
    paneRight_->OnResize = [this] { LayoutPaneRight(); };
    CreateFindPane();

    splitter1_->GetPaneSize = [this] { return paneLeftWidth_; };
    splitter1_->SetPaneSize = [this](int w) {
        paneLeftWidth_ = w;
        LayoutPaneMain();
    };
    splitter1_->OnMoved = [this] { Splitter1Moved(); };
    splitter2_->GetPaneSize = [this] { return paneLeftUpHeight_; };
    splitter2_->SetPaneSize = [this](int h) {
        paneLeftUpHeight_ = h;
        LayoutPaneLeft();
    };
    splitter2_->OnMoved = [this] { Splitter2Moved(); };
}

// ---------------------------------------------------------------------------------------------------------------
// Layout.

void TForm1::LayoutForm() {
    if (!paneMain_ || !statusBar_) return;  // messages that arrive while the window is still being built
    const RECT client = ui::ClientRect(Handle());
    ::SendMessageW(rebar_, WM_SIZE, 0, 0);
    ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
    const int top = ui::HeightOf(rebar_);
    const int bottom = client.bottom - ui::HeightOf(statusBar_);
    ui::Place(paneMain_->Handle(), 0, top, client.right, bottom - top);
    LayoutStatusNotice();
}

void TForm1::LayoutPaneMain() {
    const RECT r = ui::ClientRect(paneMain_->Handle());
    int x = 0;
    if (paneLeftShown_) {
        ui::Place(paneLeft_->Handle(), 0, 0, paneLeftWidth_, r.bottom);
        ui::Place(splitter1_->Handle(), paneLeftWidth_, 0, scale_(kSplitterSize), r.bottom);
        x = paneLeftWidth_ + scale_(kSplitterSize);
    }
    ::ShowWindow(paneLeft_->Handle(), paneLeftShown_ ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(splitter1_->Handle(), paneLeftShown_ ? SW_SHOWNA : SW_HIDE);
    ui::Place(paneRight_->Handle(), x, 0, r.right - x, r.bottom);
}

void TForm1::LayoutPaneLeft() {
    const RECT r = ui::ClientRect(paneLeft_->Handle());
    ui::Place(paneLeftUp_->Handle(), 0, 0, r.right, paneLeftUpHeight_);
    ui::Place(splitter2_->Handle(), 0, paneLeftUpHeight_, r.right, scale_(kSplitterSize));
    const int y = paneLeftUpHeight_ + scale_(kSplitterSize);
    ui::Place(paneLeftDown_->Handle(), 0, y, r.right, r.bottom - y);
}

// PaneLeftUpResize: the history above, the tree below it, and the history combo as wide as the tree.
void TForm1::LayoutPaneLeftUp() {
    const RECT r = ui::ClientRect(paneLeftUp_->Handle());
    const int top = scale_(kPanel1Height);
    ui::Place(panel1_->Handle(), 0, 0, r.right, top);
    int width = r.right;
    if (shellTreeView1_) {
        ui::Place(shellTreeView1_->Handle(), 0, top, r.right, r.bottom - top);
        width = ui::WidthOf(shellTreeView1_->Handle());
    }
    ui::Place(cbFolRireki_, 0, 0, width, scale_(kHistoryDropHeight));
}

// The tabs above, and once a folder search has shown it, the find pane below them with its splitter; the pane
// never takes more than the room the tabs leave.
void TForm1::LayoutPaneRight() {
    const RECT r = ui::ClientRect(paneRight_->Handle());
    int tabs = static_cast<int>(r.bottom);
    if (findPaneShown_) {
        const int bar = scale_(kSplitterSize);
        const int height = std::clamp(findPaneHeight_, 0, std::max(0, static_cast<int>(r.bottom) - bar));
        tabs = static_cast<int>(r.bottom) - bar - height;
        ui::Place(splitter3_->Handle(), 0, tabs, r.right, bar);
        ui::Place(findPane_->Handle(), 0, tabs + bar, r.right, height);
    }
    ::ShowWindow(splitter3_->Handle(), findPaneShown_ ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(findPane_->Handle(), findPaneShown_ ? SW_SHOWNA : SW_HIDE);
    ui::Place(pageControl_, 0, 0, r.right, tabs);
    LayoutPages();
}

void TForm1::LayoutPages() {
    RECT r = ui::ClientRect(pageControl_);
    ::SendMessageW(pageControl_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    for (const Slot& s : slots_) {
        if (!s.page) continue;
        ui::Place(s.page->Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (s.editor) {
            const RECT pr = ui::ClientRect(s.page->Handle());
            ui::Place(s.editor->Handle(), 0, 0, pr.right, pr.bottom);
        }
    }
}

bool TForm1::PaneLeftVisible() const {
    return paneLeftShown_;
}

void TForm1::tbtnPaneHyojClick() {
    paneLeftShown_ = !paneLeftShown_;
    LayoutPaneMain();
}

void TForm1::Splitter1Moved() {
    if (splitter1_->Position() < splitter1_->MinSize) {
        paneLeftWidth_ = splitter1_->MinSize;
        LayoutPaneMain();
    }
}

void TForm1::Splitter2Moved() {
    if (splitter2_->Position() < splitter2_->MinSize) {
        paneLeftUpHeight_ = splitter2_->MinSize;
        LayoutPaneLeft();
    }
}

void TForm1::SplitterFindMoved() {
    // Dragged shut, the find pane keeps the splitter's minimum, as the other panes do; dragged past the tabs, it
    // keeps the room there is.
    const int room =
        static_cast<int>(ui::ClientRect(paneRight_->Handle()).bottom) - scale_(kSplitterSize) - splitter3_->MinSize;
    findPaneHeight_ = std::clamp(findPaneHeight_, splitter3_->MinSize, std::max(room, splitter3_->MinSize));
    LayoutPaneRight();
}

// ---------------------------------------------------------------------------------------------------------------
// Screen scaling.

void TForm1::ApplyScale() {
    const ui::Scale& s = scale_;
    // The new font and pictures go in first; the old ones are deleted once no control uses them.
    ui::UniqueFont font = ui::ScaledFont(txt::kUiFont, kUiFontHeight, SHIFTJIS_CHARSET, s);
    ui::UniqueImageList images = ui::ScaledImageStrip(::GetModuleHandleW(nullptr), L"TOOLSTRIP", kPictureSize,
                                                      kPictureCount, RGB(255, 0, 255), s);
    for (HWND control : {toolBar1_, toolBar2_, edFind_, edTikan_, statusBar_, cbFolRireki_, pageControl_,
                         shellTreeView1_->Handle(), shellListView1_->Handle()})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    for (HWND bar : {toolBar1_, toolBar2_}) ScaleToolBar(bar, images.get());
    uiFont_ = std::move(font);
    images_ = std::move(images);
    PlaceEditBoxes();

    const int bands = static_cast<int>(::SendMessageW(rebar_, RB_GETBANDCOUNT, 0, 0));
    for (int i = 0; i < bands; ++i) {
        REBARBANDINFOW band{};
        band.cbSize = sizeof band;
        band.fMask = RBBIM_CHILD;
        ::SendMessageW(rebar_, RB_GETBANDINFOW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&band));
        REBARBANDINFOW sizes = BandFor(band.hwndChild);
        ::SendMessageW(rebar_, RB_SETBANDINFOW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&sizes));
    }
    for (const auto& f : floating_)
        if (f) f->Fit(s(kFloatMargin));

    int parts[3] = {s(kStatusPanel0), s(kStatusPanel0) + s(kStatusPanel1), -1};
    ::SendMessageW(statusBar_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    ::SendMessageW(pageControl_, TCM_SETITEMSIZE, 0, MAKELPARAM(s(kTabWidth), s(kTabHeight)));
    splitter1_->MinSize = s(kSplitterMinSize);
    splitter2_->MinSize = s(kSplitterMinSize);
    splitter3_->MinSize = s(kSplitterMinSize);
    findPane_->ApplyScale(uiFont_.get(), s);
    for (const Slot& slot : slots_)
        if (slot.editor) ZoomEditor(*slot.editor);
    shellTreeView1_->SetIndent(s(kTreeIndent));

    LayoutForm();
    LayoutPaneMain();
    LayoutPaneLeft();
    LayoutPaneLeftUp();
    LayoutPaneRight();
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm1::Rescale(UINT dpi) {
    const ui::Scale old = scale_;
    if (ui::Scale(dpi) == old) return;
    scale_ = ui::Scale(dpi);
    // The panes keep their share of the window: their sizes are pixels at the old DPI.
    paneLeftWidth_ = scale_.From(paneLeftWidth_, old);
    paneLeftUpHeight_ = scale_.From(paneLeftUpHeight_, old);
    findPaneHeight_ = scale_.From(findPaneHeight_, old);
    ApplyScale();
}

void TForm1::ScaleToolBar(HWND bar, HIMAGELIST images) {
    const int picture = scale_(kPictureSize);
    ::SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    ::SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(picture, picture));
    ::SendMessageW(bar, TB_SETBUTTONSIZE, 0, MAKELPARAM(scale_(kButtonWidth), scale_(kButtonHeight)));
    const int count = static_cast<int>(::SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        if (!::SendMessageW(bar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&b)) ||
            !(b.fsStyle & BTNS_SEP))
            continue;
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_BYINDEX | TBIF_SIZE;
        info.cx = static_cast<WORD>(scale_(b.idCommand ? kEditBoxWidth : kSeparatorWidth));
        ::SendMessageW(bar, TB_SETBUTTONINFOW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info));
    }
    ::SendMessageW(bar, TB_AUTOSIZE, 0, 0);
}

void TForm1::PlaceEditBoxes() {
    for (HWND edit : {edFind_, edTikan_}) {
        RECT r{};
        const auto index = ::SendMessageW(toolBar1_, TB_COMMANDTOINDEX, ::GetDlgCtrlID(edit), 0);
        ::SendMessageW(toolBar1_, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        const int margin = scale_(kEditBoxMargin);
        ui::Place(edit, r.left, r.top + margin, r.right - r.left, r.bottom - r.top - 2 * margin);
    }
}

// The editors' fonts are in points, which the control draws at the system's DPI; on a monitor with another DPI
// the control's zoom makes up the difference.
void TForm1::ZoomEditor(ui::RichEdit& editor) const {
    const UINT system = ::GetDpiForSystem();
    const bool same = system == 0 || scale_.Dpi() == system;
    ::SendMessageW(editor.Handle(), EM_SETZOOM, same ? 0 : scale_.Dpi(), same ? 0 : system);
}

namespace {
constexpr DWORD kFloatingStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
}

FloatingToolBar::FloatingToolBar(ui::Component* owner, HWND form, HWND bar, POINT at, int margin)
    : ui::Window(owner), form_(form), bar_(bar) {
    const SIZE size = WindowSize(margin);
    CreateOwnWindow(L"PilkaFloatingBar", L"", kFloatingStyle, WS_EX_TOOLWINDOW,
                    RECT{at.x - size.cx / 2, at.y - 8, at.x - size.cx / 2 + size.cx, at.y - 8 + size.cy}, form_, 0,
                    reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    ::SetParent(bar_, Handle());
    Fit(margin);
    ::ShowWindow(bar_, SW_SHOW);
    ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
}

SIZE FloatingToolBar::WindowSize(int margin) const {
    SIZE size{};
    ::SendMessageW(bar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    RECT r{0, 0, size.cx + 2 * margin, size.cy + 2 * margin};
    ::AdjustWindowRectEx(&r, kFloatingStyle, FALSE, WS_EX_TOOLWINDOW);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void FloatingToolBar::Fit(int margin) {
    SIZE bar{};
    ::SendMessageW(bar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&bar));
    const SIZE size = WindowSize(margin);
    ::SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::MoveWindow(bar_, margin, margin, bar.cx, bar.cy, TRUE);
}

LRESULT FloatingToolBar::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
            // The buttons still belong to the main window.
            return ::SendMessageW(form_, msg, wp, lp);
        case WM_CLOSE:
            if (OnClose) OnClose();
            return 0;
    }
    return Default(msg, wp, lp);
}

}  // namespace app
