// The colour picker: while picking is on it reads the screen pixel under the mouse pointer every 100 ms and shows
// it as the picked colour; the OK button makes the picked colour the decided one (keteiIro). A grid of random
// colours gives the user something to point at. The space key stops picking from any of its buttons.
#pragma once
#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <random>

#include "dialogs/controls.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace dialogs {

class TMyColorPic : public ui::Window {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 165;
    static constexpr int kPatternColumns = 12;
    static constexpr int kPatternLeft = 192;
    static constexpr int kPatternTop = 8;
    static constexpr int kPatternCell = 10;
    static constexpr COLORREF kPickingColor = RGB(255, 255, 0);

    // The owner is the window the picker sits in.
    explicit TMyColorPic(ui::Window& owner);
    ~TMyColorPic() override;

    // The decided colour, 0x00BBGGRR.
    COLORREF keteiIro() const noexcept { return keteiIro_; }
    COLORREF PickedColor() const noexcept { return picked_; }
    bool Picking() const noexcept { return picking_; }

    void TogglePicking();
    void NewColorPattern();
    // One tick of the sampling timer.
    void SamplePixel();
    void DecideColor();

    void SetBounds(int left, int top, int width, int height);
    // The colour of a square of the pattern and the square's centre on the screen.
    COLORREF PatternColor(int column, int row) const;
    POINT PatternCellCentreOnScreen(int column, int row) const;

    Button& PickingButton() noexcept { return pickingButton_; }
    BitButton& PatternButton() noexcept { return patternButton_; }
    BitButton& DecideButton() noexcept { return decideButton_; }
    ColorPanel& PickedPanel() noexcept { return *pickedPanel_; }
    ColorPanel& DecidedPanel() noexcept { return *decidedPanel_; }
    ColorPanel& StatusPanel() noexcept { return *statusPanel_; }
    Label& ArrowLabel() noexcept { return arrowLabel_; }
    Label& InstructionLabel() noexcept { return instructionLabel_; }
    ui::Timer& SamplingTimer() noexcept { return *timer_; }
    const HintWindow& Hints() const noexcept { return hints_; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint(HDC dc);
    std::optional<LRESULT> ChildKey(UINT msg, WPARAM wp);

    HFONT font_;  // the owner's, not owned
    ui::UniqueFont arrowFont_;
    COLORREF picked_ = RGB(255, 255, 255);
    COLORREF keteiIro_ = RGB(255, 255, 255);
    bool picking_ = false;
    bool swallowingSpace_ = false;  // a space key that stopped picking, until its release
    BYTE red_ = 0, green_ = 0, blue_ = 0;
    std::mt19937 random_;
    std::array<COLORREF, kPatternColumns * kPatternColumns> pattern_{};

    Button pickingButton_;
    BitButton patternButton_;
    std::unique_ptr<ColorPanel> pickedPanel_;
    std::unique_ptr<ColorPanel> decidedPanel_;
    std::unique_ptr<ColorPanel> statusPanel_;
    BitButton decideButton_;
    Label arrowLabel_;
    Label instructionLabel_;
    std::unique_ptr<ui::Timer> timer_;
    HintWindow hints_;
    std::array<ui::Subclass, 3> keyHooks_;
};

}  // namespace dialogs
