// The program's windows, created in their order and tied together, and the message loop that drives them.
#pragma once
#include <windows.h>

#include <memory>

#include "app/kurvanta_.h"
#include "app/vajhel.h"
#include "dialogs/myColor.h"
#include "dialogs/myfont.h"
#include "shell/ShView.h"

namespace app {

class Application {
public:
    explicit Application(TForm1Options options);

    TForm1& Form1() noexcept { return *form1_; }
    dialogs::TForm3& Form3() noexcept { return *form3_; }
    dialogs::TForm4& Form4() noexcept { return *form4_; }
    HelpWindow& Help() noexcept { return help_; }

    // Gives a message to the windows' keyboard handling (Ctrl+S, the dialogs' keys); true when it was used.
    bool PreTranslate(MSG& msg);
    // Shows the main window and runs the loop until it closes; the exit code.
    int Run(int showCommand);

private:
    // OLE, the shell allocator and the desktop folder come before any window and go after the last one.
    shell::ShellModule shellModule_;
    // The main window goes last: the dialogs act on its editors until then.
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<dialogs::TForm3> form3_;
    std::unique_ptr<dialogs::TForm4> form4_;
    HelpWindow help_;
};

}  // namespace app
