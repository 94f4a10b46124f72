#include "dialogs/myColor.h"

#include "ui/texts.h"

namespace dialogs {
namespace {

constexpr UINT kApplyId = 20;

}  // namespace

TForm4::TForm4(EditorAccess& editors, ui::Component* owner) : ui::ToolWindow(owner), editors_(editors) {
    BeginLoading();
    font_.reset(::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, txt::kUiFont));
    CreateOwnWindow(L"PilkaColorDialog", txt::kColorDialogCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                    WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, RECT{0, 0, 0, 0},
                    nullptr, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const SIZE size = WindowSizeForClient(Handle(), kClientWidth, kClientHeight);
    ::SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    myColorPic1_ = std::make_unique<TMyColorPic>(*this);
    myColorPic1_->Name = L"MyColorPic1";
    myColorPic1_->SetBounds(8, 8, 320, 165);

    bitBtn1_.Create(Handle(), kApplyId, 8, 176, 241, 25, txt::kApplyColor, font_.get(), L"GlyphLightBulb", true);
    bitBtn1_.OnClick = [this] { BitBtn1Click(); };
    EndLoading();
}

TForm4::~TForm4() {
    // The window goes first, while the picker and the button that its messages reach still exist.
    if (Handle()) ::DestroyWindow(Handle());
}

void TForm4::Show() {
    if (IsVisible()) {
        BringToFrontAndFocus();
        return;
    }
    CentreOnScreen(Handle());
    ShowInFront(true);
}

LRESULT TForm4::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_.get());
        case DM_GETDEFID:
            return MAKELRESULT(kApplyId, DC_HASDEFID);
        case WM_COMMAND:
            if (bitBtn1_.HandleCommand(wp, lp)) return 0;
            break;
        case WM_DRAWITEM:
            if (bitBtn1_.HandleDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp))) return TRUE;
            break;
    }
    return ui::ToolWindow::OnMessage(msg, wp, lp);
}

void TForm4::BitBtn1Click() {
    ui::RichEdit* editor = editors_.CurrentEditor();
    if (!editor || !editor->Handle()) return;
    // Only the selection: an empty selection colours what is typed next at the caret.
    CHARFORMAT2W format = ui::MakeCharFormat(CFM_COLOR);
    format.crTextColor = myColorPic1_->keteiIro();
    format.dwEffects = 0;  // not the automatic colour
    editor->SetSelectionFormat(format);
}

}  // namespace dialogs
