// The font settings dialog: a modeless tool window, above the other windows, that gives the current document's
// selection (or its whole text) a font name and a size as soon as either box changes.
#pragma once
#include <windows.h>

#include <memory>

#include "dialogs/FontNameComboBox.h"
#include "dialogs/controls.h"
#include "dialogs/editor_access.h"
#include "ui/dpi.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace dialogs {

class TForm3 : public ui::ToolWindow {
public:
    // The design, in pixels at 96 DPI; the dialog shows it at its monitor's DPI.
    static constexpr int kClientWidth = 320;
    static constexpr int kClientHeight = 29;
    static constexpr int kFontHeight = -12;
    static constexpr RECT kNameBounds{0, 0, 241, 25};
    static constexpr int kNameItemHeight = 19;
    static constexpr RECT kSizeBounds{248, 0, 313, 20};
    static constexpr int kSizeItemHeight = 12;
    // The sizes the rich edit control can show, in points.
    static constexpr int kMinFontSize = 1;
    static constexpr int kMaxFontSize = 1638;

    explicit TForm3(EditorAccess& editors, ui::Component* owner = nullptr);
    ~TForm3() override;

    // Shows the dialog centred on the screen, without a modal loop; FormShow runs first. When it is already
    // visible it is only brought to the front.
    void Show();

    TFontNameComboBox& FontNameComboBox1() noexcept { return *fontNameComboBox1_; }
    ComboBox& ComboBox1() noexcept { return comboBox1_; }
    const HintWindow& Hints() const noexcept { return hints_; }
    HFONT Font() const noexcept { return font_.get(); }
    const ui::Scale& Scaling() const noexcept { return scale_; }

    void FormShow();
    void FontNameComboBox1Change();
    void ComboBox1Change();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    HWND FocusTarget() const override { return fontNameComboBox1_->Handle(); }

private:
    void ApplySize(ui::RichEdit& editor);
    void ApplyScale();

    EditorAccess& editors_;
    ui::Scale scale_;
    ui::UniqueFont font_;
    std::unique_ptr<TFontNameComboBox> fontNameComboBox1_;
    ComboBox comboBox1_;
    HintWindow hints_;
};

}  // namespace dialogs
