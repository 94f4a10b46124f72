// The version and help window: fixed help text in a read-only box, shown without a modal loop.
#pragma once
#include <windows.h>

#include <memory>

#include "ui/dpi.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace app {

class TForm2 : public ui::ToolWindow {
public:
    // The design, in pixels at 96 DPI; the window shows it at its monitor's DPI.
    static constexpr int kClientWidth = 544;
    static constexpr int kClientHeight = 561;
    static constexpr int kFontHeight = -13;

    explicit TForm2(ui::Component* owner = nullptr);
    ~TForm2() override;

    // Shows the window centred on the desktop, or brings it to the front when it is already shown.
    void Show();
    HWND Memo1() const noexcept { return memo1_; }
    const ui::Scale& Scaling() const noexcept { return scale_; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    HWND FocusTarget() const override { return memo1_; }

private:
    void ApplyScale();

    ui::Scale scale_;
    ui::UniqueFont font_;
    HWND memo1_ = nullptr;  // destroyed with the window
};

// The help window is made on the first request; every request shows the same window.
class HelpWindow {
public:
    explicit HelpWindow(ui::Component* owner = nullptr) : owner_(owner) {}
    TForm2& Show();
    // The window, or nullptr before the first request.
    TForm2* Form() const noexcept { return form_.get(); }

private:
    ui::Component* owner_;
    std::unique_ptr<TForm2> form_;
};

}  // namespace app
