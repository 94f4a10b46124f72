// The colour picking dialog: a modeless tool window above the other windows, holding the colour picker and the
// button that gives the decided colour to the current document's selection.
#pragma once
#include <windows.h>

#include <memory>

#include "dialogs/MyColorPic.h"
#include "dialogs/controls.h"
#include "dialogs/editor_access.h"
#include "ui/owned.h"
#include "ui/window.h"

namespace dialogs {

class TForm4 : public ui::ToolWindow {
public:
    static constexpr int kClientWidth = 335;
    static constexpr int kClientHeight = 206;

    explicit TForm4(EditorAccess& editors, ui::Component* owner = nullptr);
    ~TForm4() override;

    // Shows the dialog centred on the screen without a modal loop; when it is already visible it is brought to
    // the front instead.
    void Show();

    TMyColorPic& MyColorPic1() noexcept { return *myColorPic1_; }
    BitButton& BitBtn1() noexcept { return bitBtn1_; }

    void BitBtn1Click();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    HWND FocusTarget() const override { return myColorPic1_->PickingButton().Handle(); }

private:
    EditorAccess& editors_;
    ui::UniqueFont font_;
    std::unique_ptr<TMyColorPic> myColorPic1_;
    BitButton bitBtn1_;
};

}  // namespace dialogs
