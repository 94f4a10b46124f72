#include "app/application.h"

#include "app/finder.h"

namespace app {

Application::Application(TForm1Options options)
    : form1_(std::make_unique<TForm1>(std::move(options))),
      form3_(std::make_unique<dialogs::TForm3>(*form1_)),
      form4_(std::make_unique<dialogs::TForm4>(*form1_)) {
    TForm1& f = *form1_;
    f.OnShowFontDialog = [this] { form3_->Show(); };
    f.OnShowColorDialog = [this] { form4_->Show(); };
    f.OnShowHelp = [this] { help_.Show(); };
    f.OnKensakPress = [&f](int button) { KensakPress(f.Handle(), f.CurrentEditor(), button, f.FindText()); };
    f.OnTikanClick = [&f] {
        TikanClick(
            f.Handle(), f.CurrentEditor(), [&f] { return f.FindText(); }, [&f] { return f.TikanText(); });
    };
}

bool Application::PreTranslate(MSG& msg) {
    return form1_->PreTranslate(msg) || form3_->HandleDialogMessage(msg) || form4_->HandleDialogMessage(msg);
}

int Application::Run(int showCommand) {
    if (form1_->Failed()) return 1;
    form1_->Show(showCommand);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslate(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace app
