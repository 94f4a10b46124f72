// Components, errors at a command's boundary, timers and the INI file.
#include <windows.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "ui/component.h"
#include "ui/error.h"
#include "ui/ini.h"
#include "ui/window.h"

namespace {

// Records what it hears, in one log shared by a test.
class Probe : public ui::Component {
public:
    Probe(ui::Component* owner, std::wstring name, std::vector<std::wstring>& log) : ui::Component(owner), log_(log) {
        Name = std::move(name);
    }
    Component* link = nullptr;

protected:
    void Loaded() override { log_.push_back(Name + L" loaded"); }
    void Notification(ui::Component* c, ui::Operation op) override {
        if (op == ui::Operation::Remove) {
            log_.push_back(Name + L" heard " + c->Name);
            if (c == link) link = nullptr;
        }
    }

private:
    std::vector<std::wstring>& log_;
};

}  // namespace

TEST(Component, LoadingEndsOnceForEveryOwnedComponentThenTheOwner) {
    std::vector<std::wstring> log;
    Probe form(nullptr, L"form", log);
    form.BeginLoading();
    Probe a(&form, L"a", log), b(&form, L"b", log);
    EXPECT_TRUE(a.Loading());
    form.EndLoading();
    EXPECT_FALSE(a.Loading());
    EXPECT_FALSE(form.Loading());
    EXPECT_EQ(log, (std::vector<std::wstring>{L"a loaded", L"b loaded", L"form loaded"}));
    form.EndLoading();  // nothing twice
    EXPECT_EQ(log.size(), 3u);
}

TEST(Component, RemovalIsHeardBySiblingsAndLinkedComponents) {
    std::vector<std::wstring> log;
    Probe form(nullptr, L"form", log);
    Probe other(nullptr, L"other", log);
    auto gone = std::make_unique<Probe>(&form, L"gone", log);
    Probe sibling(&form, L"sibling", log);
    sibling.link = gone.get();
    other.link = gone.get();
    other.FreeNotification(gone.get());
    gone.reset();
    EXPECT_EQ(sibling.link, nullptr);
    EXPECT_EQ(other.link, nullptr);
    EXPECT_EQ(form.Components().size(), 1u);
    // A linked component that goes first is forgotten, not called later.
    auto first = std::make_unique<Probe>(nullptr, L"first", log);
    Probe second(nullptr, L"second", log);
    second.FreeNotification(first.get());
    second.link = first.get();
    log.clear();
    first.reset();
    EXPECT_EQ(log, std::vector<std::wstring>{L"second heard first"});
}

TEST(Errors, TheStandardBoxAddsAFullStopOnlyAfterHigherCharacters) {
    EXPECT_EQ(ui::ErrorBoxText(L"ファイル x は開けません"), L"ファイル x は開けません.");
    EXPECT_EQ(ui::ErrorBoxText(L"done."), L"done.");
    EXPECT_EQ(ui::ErrorBoxText(L"why?"), L"why?.");  // '?' sorts after '.'
    EXPECT_EQ(ui::ErrorBoxText(L"a,"), L"a,");
    EXPECT_EQ(ui::ErrorBoxText(L""), L"");
}

TEST(Errors, ACommandsErrorIsShownAndEndsOnlyThatCommand) {
    testing_support::ScriptedPrompter prompter;
    bool after = false;
    EXPECT_FALSE(ui::RunCommand(nullptr, [&] {
        throw ui::Error(L"失敗しました");
        after = true;
    }));
    EXPECT_FALSE(after);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.LastText(), L"失敗しました.");
    EXPECT_EQ(prompter.messages[0].caption, L"ピルカ２");
    EXPECT_EQ(prompter.messages[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_TRUE(ui::RunCommand(nullptr, [] {}));
}

TEST(Errors, AnyExceptionAtACommandOrWindowBoundaryIsShownAndTheProgramGoesOn) {
    testing_support::ScriptedPrompter prompter;
    EXPECT_FALSE(ui::RunCommand(nullptr, [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(ui::RunCommand(nullptr, [] { throw std::out_of_range("index"); }));
    EXPECT_FALSE(ui::RunCommand(nullptr, [] { throw 42; }));
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[0].text, L"メモリが不足しています.");
    EXPECT_EQ(prompter.messages[1].text, L"予期しないエラーが発生しました.");
    EXPECT_EQ(prompter.messages[2].text, L"予期しないエラーが発生しました.");
    for (const auto& m : prompter.messages) EXPECT_EQ(m.flags, static_cast<UINT>(MB_OK | MB_ICONERROR));

    // A handler that throws outside any command: the window procedure shows it, and the window keeps working.
    class Throwing : public ui::Window {
    public:
        Throwing() : ui::Window(nullptr) { CreateOwnWindow(L"PilkaThrowingTest", L"", WS_POPUP, 0, RECT{}, nullptr); }
        int handled = 0;

    protected:
        LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
            if (msg == WM_APP) throw std::bad_alloc();
            if (msg == WM_APP + 1) throw ui::Error(L"ファイル x は開けません");
            if (msg == WM_APP + 2) return ++handled;
            return Default(msg, wp, lp);
        }
    } window;
    ASSERT_NE(window.Handle(), nullptr);
    ::SendMessageW(window.Handle(), WM_APP, 0, 0);
    ::SendMessageW(window.Handle(), WM_APP + 1, 0, 0);
    ASSERT_EQ(prompter.messages.size(), 5u);
    EXPECT_EQ(prompter.messages[3].text, L"メモリが不足しています.");
    EXPECT_EQ(prompter.messages[4].text, L"ファイル x は開けません.");
    EXPECT_EQ(::SendMessageW(window.Handle(), WM_APP + 2, 0, 0), 1);

    // The same at a native control's hook.
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ui::Subclass hook;
    hook.Attach(edit, [](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_APP) throw std::runtime_error("hook");
        return std::nullopt;
    });
    ::SendMessageW(edit, WM_APP, 0, 0);
    ::SetWindowTextW(edit, L"still here");
    ASSERT_EQ(prompter.messages.size(), 6u);
    EXPECT_EQ(prompter.messages[5].text, L"予期しないエラーが発生しました.");
    wchar_t text[32]{};
    ::GetWindowTextW(edit, text, 32);
    EXPECT_STREQ(text, L"still here");
    ::DestroyWindow(edit);
}

TEST(Timer, TicksOnlyWhileEnabled) {
    ui::Timer timer(nullptr, 20, false);
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    testing_support::PumpFor(100);
    EXPECT_EQ(ticks, 0);
    timer.SetEnabled(true);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return ticks >= 2; }, 5000));
    timer.SetEnabled(false);
    const int stopped = ticks;
    testing_support::PumpFor(100);
    EXPECT_EQ(ticks, stopped);
}

TEST(Ini, RewritingKeepsOtherKeysAndCommentsAndWritesShiftJis) {
    testing_support::TempDir dir;
    const std::wstring path = dir / L"data.ini";
    testing_support::WriteBytes(path, "; settings\r\n[form]\r\nleft=1\r\nother=keep\r\n[Extra]\r\nx=\"quoted\"\r\n");
    ui::IniFile ini(path);
    EXPECT_EQ(ini.ReadString(L"extra", L"x", L""), L"quoted");
    ini.WriteInteger(L"FORM", L"LEFT", 5);
    ini.WriteInteger(L"form", L"top", 6);
    ini.WriteString(L"Font", L"Name", L"ＭＳ Ｐゴシック");
    ini.WriteString(L"Folder", L"Path", L"C:\\a\r\nb");  // a line break cannot split the file
    ini.Save();
    const ui::IniFile back(path);
    EXPECT_EQ(back.ReadInteger(L"form", L"left", 0), 5);
    EXPECT_EQ(back.ReadInteger(L"form", L"top", 0), 6);
    EXPECT_EQ(back.ReadString(L"form", L"other", L""), L"keep");
    EXPECT_EQ(back.ReadString(L"Font", L"Name", L""), L"ＭＳ Ｐゴシック");
    EXPECT_EQ(back.ReadString(L"Folder", L"Path", L""), L"C:\\a  b");
    const std::string bytes = testing_support::ReadBytes(path);
    EXPECT_EQ(bytes.rfind("; settings\r\n[form]\r\n", 0), 0u);
    EXPECT_NE(bytes.find("Name=\x82\x6c\x82\x72 \x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e"), std::string::npos);
}
