#include "dialogs/myfont.h"

#include <iterator>
#include <utility>

#include "ui/error.h"
#include "ui/text.h"
#include "ui/texts.h"

namespace dialogs {
namespace {

constexpr UINT kFontNameId = 100;
constexpr UINT kFontSizeId = 101;
constexpr int kDefaultSizeIndex = 2;  // "10", when the editor's size is not in the list

// Suspends an editor's redrawing and gives it back its modified flag at the end of the scope, also when the
// command ends with an error: a font change is not an edit of the document.
class FormatScope {
public:
    explicit FormatScope(ui::RichEdit& editor) : editor_(editor), modified_(editor.Modified()) {
        editor_.BeginUpdate();
    }
    ~FormatScope() {
        editor_.SetModified(modified_);
        editor_.EndUpdate();
    }
    FormatScope(const FormatScope&) = delete;
    FormatScope& operator=(const FormatScope&) = delete;

private:
    ui::RichEdit& editor_;
    bool modified_;
};

}  // namespace

TForm3::TForm3(EditorAccess& editors, ui::Component* owner) : ui::ToolWindow(owner), editors_(editors) {
    BeginLoading();
    CreateOwnWindow(L"PilkaFontDialog", txt::kFontDialogCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                    WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, RECT{0, 0, 0, 0},
                    nullptr, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // The boxes are made for the DPI of the monitor the dialog was created on; the name box takes the form's font.
    scale_ = ui::Scale(ui::DpiOf(Handle()));
    font_ = ui::ScaledFont(txt::kUiFont, kFontHeight, SHIFTJIS_CHARSET, scale_);

    fontNameComboBox1_ = std::make_unique<TFontNameComboBox>(this, Handle(), kFontNameId);
    TFontNameComboBox& names = *fontNameComboBox1_;
    names.Name = L"FontNameComboBox1";
    names.SetCollectFilters({fnfDevice, fnfVector, fnfRaster, fnfTrueType, fnfJapanese, fnfFixedPitch});
    names.SetValue(txt::kUiFont);
    names.OnChange = [this](ui::Component*) { FontNameComboBox1Change(); };

    comboBox1_.Create(Handle(), kFontSizeId, 0, 0, 0, 0, font_.get(), 0);
    for (const wchar_t* item : txt::kFontSizeItems) comboBox1_.AddItem(item);
    comboBox1_.OnChange = [this] { ComboBox1Change(); };

    hints_.Create(Handle());
    hints_.Add(names.Handle(), txt::kHintFontName);
    hints_.Add(comboBox1_.Handle(), txt::kHintFontSize);
    hints_.Add(comboBox1_.EditHandle(), txt::kHintFontSize);
    ApplyScale();
    EndLoading();
}

// Sizes the dialog and its boxes for scale_, and gives them the font made for it.
void TForm3::ApplyScale() {
    const ui::Scale& s = scale_;
    const SIZE size = WindowSizeForClient(Handle(), s(kClientWidth), s(kClientHeight));
    ::SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    TFontNameComboBox& names = *fontNameComboBox1_;
    names.SetScaling(s);
    names.SetFontHeight(s(kFontHeight));
    names.SetBounds(s(kNameBounds.left), s(kNameBounds.top), s(kNameBounds.right - kNameBounds.left),
                    s(kNameBounds.bottom - kNameBounds.top));
    names.SetItemHeight(s(kNameItemHeight));

    ::SendMessageW(comboBox1_.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    const int itemHeight = s(kSizeItemHeight);
    comboBox1_.Place(s(kSizeBounds.left), s(kSizeBounds.top), s(kSizeBounds.right - kSizeBounds.left),
                     s(kSizeBounds.bottom - kSizeBounds.top), 8 * itemHeight + s(2));
    comboBox1_.SetItemHeight(itemHeight);
}

TForm3::~TForm3() {
    // The window goes first, while the boxes that its messages reach still exist.
    if (Handle()) ::DestroyWindow(Handle());
}

void TForm3::Show() {
    if (IsVisible()) {
        BringToFrontAndFocus();
        return;
    }
    CentreOnScreen(Handle());
    FormShow();
    ShowInFront(true);
}

LRESULT TForm3::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_.get());
        case WM_DPICHANGED: {
            const ui::Scale scale(ui::DpiOfMessage(wp));
            if (scale != scale_) {
                ui::UniqueFont font = ui::ScaledFont(txt::kUiFont, kFontHeight, SHIFTJIS_CHARSET, scale);
                scale_ = scale;
                std::swap(font_, font);  // the old font goes once the boxes have the new one
                ApplyScale();
            }
            const auto* suggested = reinterpret_cast<const RECT*>(lp);
            ::SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_COMMAND: {
            LRESULT result = 0;
            if (fontNameComboBox1_ && fontNameComboBox1_->HandleParentMessage(msg, wp, lp, result)) return result;
            if (msg == WM_COMMAND && comboBox1_.HandleCommand(wp, lp)) return 0;
            break;
        }
    }
    return ui::ToolWindow::OnMessage(msg, wp, lp);
}

void TForm3::FormShow() {
    ui::RichEdit* editor = editors_.CurrentEditor();
    // Without a document there is nothing to show; the boxes keep what they show.
    if (!editor || !editor->Handle()) return;
    fontNameComboBox1_->SetValue(editor->FontName());
    const std::wstring size = ui::ToText(editor->FontSize());
    int index = kDefaultSizeIndex;
    for (int i = 0; i < comboBox1_.Count(); ++i) {
        if (comboBox1_.Item(i) == size) {
            index = i;
            break;
        }
    }
    comboBox1_.SetItemIndex(index);
}

void TForm3::FontNameComboBox1Change() {
    ui::RichEdit* editor = editors_.CurrentEditor();
    if (!editor || !editor->Handle()) return;
    const std::wstring name = fontNameComboBox1_->Value();
    if (name.empty()) return;
    FormatScope scope(*editor);
    if (editor->SelLength() == 0) editor->SelectAll();
    CHARFORMAT2W format = ui::MakeCharFormat(CFM_FACE);
    const size_t n = std::min(name.size(), static_cast<size_t>(LF_FACESIZE - 1));
    std::copy_n(name.c_str(), n, format.szFaceName);
    format.szFaceName[n] = L'\0';
    editor->SetSelectionFormat(format);
    editor->SetFontName(name);
}

void TForm3::ComboBox1Change() {
    ui::RunCommand(Handle(), [this] {
        ui::RichEdit* editor = editors_.CurrentEditor();
        if (!editor || !editor->Handle()) return;
        ApplySize(*editor);
        EditorFontDefaults& defaults = editors_.FontDefaults();
        defaults.charset = editor->FontCharset();
        defaults.name = editor->FontName();
        defaults.size = editor->FontSize();
    });
}

void TForm3::ApplySize(ui::RichEdit& editor) {
    FormatScope scope(editor);
    if (editor.SelLength() == 0) editor.SelectAll();
    const std::wstring text = comboBox1_.Text();
    const std::optional<int> points = ui::ParseInt(text);
    if (!points) throw ui::Error(ui::Format1(txt::kNotInteger, text));
    // The control takes sizes up to 1638 points (32760 twips); a size it cannot show must not reach the document.
    if (*points < kMinFontSize || *points > kMaxFontSize) throw ui::Error(ui::Format1(txt::kFontSizeOutOfRange, text));
    CHARFORMAT2W format = ui::MakeCharFormat(CFM_SIZE);
    format.yHeight = *points * 20;
    editor.SetSelectionFormat(format);
    editor.SetFontSize(*points);
}

}  // namespace dialogs
