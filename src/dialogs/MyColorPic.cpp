#include "dialogs/MyColorPic.h"

#include <chrono>

#include "ui/texts.h"

namespace dialogs {
namespace {

constexpr UINT kPickingId = 10;
constexpr UINT kPatternId = 11;
constexpr UINT kDecideId = 12;

}  // namespace

TMyColorPic::TMyColorPic(ui::Window& owner)
    : ui::Window(&owner),
      font_(reinterpret_cast<HFONT>(::SendMessageW(owner.Handle(), WM_GETFONT, 0, 0))),
      random_(static_cast<std::mt19937::result_type>(
          std::chrono::high_resolution_clock::now().time_since_epoch().count())) {
    CreateOwnWindow(L"PilkaColorPic", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                    WS_EX_CONTROLPARENT, RECT{0, 0, kWidth, kHeight}, owner.Handle());
    HWND self = Handle();

    pickingButton_.Create(self, kPickingId, 8, 72, 65, 25, txt::kPickButton, font_);
    pickingButton_.OnClick = [this] { TogglePicking(); };
    patternButton_.Create(self, kPatternId, 160, 72, 25, 25, L"", font_, L"GlyphRetry");
    patternButton_.OnClick = [this] { NewColorPattern(); };
    pickedPanel_ = std::make_unique<ColorPanel>(this, self, 80, 72, 73, 25, txt::kPickedPanel, font_);
    decidedPanel_ = std::make_unique<ColorPanel>(this, self, 80, 104, 73, 25, txt::kDecidedPanel, font_);
    statusPanel_ = std::make_unique<ColorPanel>(this, self, 8, 135, 305, 25, L"", font_);
    decideButton_.Create(self, kDecideId, 8, 104, 49, 25, txt::kDecideButton, font_, L"GlyphOk");
    decideButton_.OnClick = [this] { DecideColor(); };

    LOGFONTW arrow = LogFontOf(font_);
    {
        ui::WindowDc screen(nullptr);
        arrow.lfHeight = -::MulDiv(11, ::GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
    }
    arrowFont_.reset(::CreateFontIndirectW(&arrow));
    arrowLabel_.Create(self, 60, 110, 10, 25, txt::kArrow, arrowFont_.get(), true);
    instructionLabel_.Create(self, 8, 8, 180, 57, txt::kPickInstructions, font_);

    timer_ = std::make_unique<ui::Timer>(this, 100, false);
    timer_->OnTimer = [this] { SamplePixel(); };

    hints_.Create(owner.Handle());
    hints_.Add(patternButton_.Handle(), txt::kHintNewPattern);
    hints_.Add(decideButton_.Handle(), txt::kHintDecide);

    const HWND keyed[] = {pickingButton_.Handle(), patternButton_.Handle(), decideButton_.Handle()};
    for (size_t i = 0; i < keyHooks_.size(); ++i)
        keyHooks_[i].Attach(keyed[i], [this](UINT msg, WPARAM wp, LPARAM) { return ChildKey(msg, wp); });

    pickedPanel_->SetColor(picked_);
    decidedPanel_->SetColor(keteiIro_);
    NewColorPattern();
    picking_ = false;
}

TMyColorPic::~TMyColorPic() {
    timer_->SetEnabled(false);
    for (ui::Subclass& hook : keyHooks_) hook.Detach();
    // The window goes first, while the panels and buttons that its messages reach still exist.
    if (Handle()) ::DestroyWindow(Handle());
}

void TMyColorPic::TogglePicking() {
    if (!picking_) {
        picking_ = true;
        timer_->SetEnabled(true);
        statusPanel_->SetColor(kPickingColor);
        statusPanel_->SetText(txt::kPickingStatus);
    } else {
        picking_ = false;
        statusPanel_->SetColor(::GetSysColor(COLOR_BTNFACE));
        statusPanel_->SetText(L"");
        timer_->SetEnabled(false);
    }
}

void TMyColorPic::NewColorPattern() {
    // No part reaches 255, so no square is pure white.
    std::uniform_int_distribution<int> part(0, 254);
    for (COLORREF& c : pattern_)
        c = RGB(static_cast<BYTE>(part(random_)), static_cast<BYTE>(part(random_)), static_cast<BYTE>(part(random_)));
    if (Handle()) {
        RECT r{kPatternLeft, kPatternTop, kPatternLeft + kPatternColumns * kPatternCell,
               kPatternTop + kPatternColumns * kPatternCell};
        ::InvalidateRect(Handle(), &r, FALSE);
    }
}

void TMyColorPic::SamplePixel() {
    if (!picking_) return;
    POINT p{};
    if (!::GetCursorPos(&p)) return;
    COLORREF c = CLR_INVALID;
    {
        ui::WindowDc screen(nullptr);
        if (!screen) return;
        c = ::GetPixel(screen.get(), p.x, p.y);
    }
    if (c == CLR_INVALID) return;
    red_ = GetRValue(c);
    green_ = GetGValue(c);
    blue_ = GetBValue(c);
    picked_ = RGB(red_, green_, blue_);
    pickedPanel_->SetColor(picked_);
}

void TMyColorPic::DecideColor() {
    keteiIro_ = picked_;
    decidedPanel_->SetColor(keteiIro_);
}

void TMyColorPic::SetBounds(int left, int top, int width, int height) {
    ::MoveWindow(Handle(), left, top, width, height, TRUE);
}

COLORREF TMyColorPic::PatternColor(int column, int row) const {
    if (column < 0 || row < 0 || column >= kPatternColumns || row >= kPatternColumns) return CLR_INVALID;
    return pattern_[static_cast<size_t>(row * kPatternColumns + column)];
}

POINT TMyColorPic::PatternCellCentreOnScreen(int column, int row) const {
    POINT p{kPatternLeft + column * kPatternCell + kPatternCell / 2,
            kPatternTop + row * kPatternCell + kPatternCell / 2};
    ::ClientToScreen(Handle(), &p);
    return p;
}

std::optional<LRESULT> TMyColorPic::ChildKey(UINT msg, WPARAM wp) {
    if (wp != VK_SPACE) return std::nullopt;
    switch (msg) {
        case WM_KEYDOWN:
            if (picking_) {
                TogglePicking();
                swallowingSpace_ = true;
            }
            // A held key repeats: the button must not see the rest of a press that stopped picking.
            if (swallowingSpace_) return 0;
            break;
        case WM_CHAR:
            if (swallowingSpace_) return 0;
            break;
        case WM_KEYUP:
            if (swallowingSpace_) {
                swallowingSpace_ = false;
                return 0;
            }
            break;
    }
    return std::nullopt;
}

LRESULT TMyColorPic::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            // The picker keeps its size whatever it is given.
            if (ui::WidthOf(Handle()) != kWidth || ui::HeightOf(Handle()) != kHeight)
                ::SetWindowPos(Handle(), nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(Handle(), &ps);
            Paint(dc);
            ::EndPaint(Handle(), &ps);
            return 0;
        }
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_);
        case WM_COMMAND:
            if (pickingButton_.HandleCommand(wp, lp) || patternButton_.HandleCommand(wp, lp) ||
                decideButton_.HandleCommand(wp, lp))
                return 0;
            break;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (patternButton_.HandleDrawItem(item) || decideButton_.HandleDrawItem(item)) return TRUE;
            break;
        }
    }
    return Default(msg, wp, lp);
}

void TMyColorPic::Paint(HDC dc) {
    const RECT client = ui::ClientRect(Handle());
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    {
        ui::UniquePen pen(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
        ui::SelectIn penIn(dc, pen.get());
        const int w = client.right;
        const int h = client.bottom;
        const POINT frame[] = {{1, 1}, {w - 1, 1}, {w - 1, h - 1}, {1, h - 1}, {1, 1}};
        ::Polyline(dc, frame, 5);
    }
    for (int row = 0; row < kPatternColumns; ++row) {
        for (int column = 0; column < kPatternColumns; ++column) {
            const int x = kPatternLeft + column * kPatternCell;
            const int y = kPatternTop + row * kPatternCell;
            const RECT cell{x, y, x + kPatternCell, y + kPatternCell};
            ui::UniqueBrush brush(::CreateSolidBrush(PatternColor(column, row)));
            ::FillRect(dc, &cell, brush.get());
        }
    }
    pickedPanel_->SetColor(picked_);
    decidedPanel_->SetColor(keteiIro_);
}

}  // namespace dialogs
