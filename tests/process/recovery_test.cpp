// Unsaved work of the real program killed with TerminateProcess, as the task manager ends it, and its next start's
// offer answered from outside: the message box of the other process is found and its button pressed with BM_CLICK,
// as a click on it would. The editors are typed into with WM_CHAR and the tool buttons pressed with the WM_COMMAND
// they send their window.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/kurvanta_.h"
#include "support/program_process.h"
#include "support/test_support.h"
#include "ui/text.h"

namespace {

using testing_support::RemoteBuffer;
using testing_support::StartedProgram;
using testing_support::WaitFor;

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024]{};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

// Class names compare without regard to case, as the system compares them.
bool IsClass(HWND hwnd, const std::wstring& name) {
    wchar_t cls[64]{};
    ::GetClassNameW(hwnd, cls, 64);
    return ::lstrcmpiW(cls, name.c_str()) == 0;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> found;
    ::EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND ChildOf(HWND parent, const std::wstring& cls, const std::wstring& text = {}) {
    for (HWND child : Children(parent))
        if (IsClass(child, cls) && (text.empty() || WindowText(child) == text)) return child;
    return nullptr;
}

// The editor on show: the one visible rich edit control.
HWND ShownEditor(HWND window) {
    for (HWND child : Children(window))
        if (IsClass(child, L"RICHEDIT50W") && ::IsWindowVisible(child)) return child;
    return nullptr;
}

// A message box of the process, with its text (the longest static text in it).
struct Box {
    HWND hwnd = nullptr;
    std::wstring text;
};

Box WaitForBox(const StartedProgram& program, int milliseconds) {
    Box box;
    WaitFor(
        [&] {
            struct Search {
                DWORD process;
                HWND found;
            } search{program.Id(), nullptr};
            ::EnumWindows(
                [](HWND hwnd, LPARAM data) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    DWORD pid = 0;
                    ::GetWindowThreadProcessId(hwnd, &pid);
                    if (pid != s->process || !IsClass(hwnd, L"#32770") || !::IsWindowVisible(hwnd)) return TRUE;
                    s->found = hwnd;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&search));
            box.hwnd = search.found;
            return box.hwnd != nullptr;
        },
        milliseconds);
    if (box.hwnd) {
        for (HWND child : Children(box.hwnd)) {
            const std::wstring text = WindowText(child);
            if (IsClass(child, L"Static") && text.size() > box.text.size()) box.text = text;
        }
    }
    return box;
}

// Presses a button of the box by its caption; false when it has no such button.
bool Press(const Box& box, const std::wstring& caption) {
    HWND button = ChildOf(box.hwnd, L"Button", caption);
    if (!button) return false;
    ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    return true;
}

void Type(HWND editor, const std::wstring& text) {
    for (const wchar_t c : text) ::PostMessageW(editor, WM_CHAR, c, 1);
}

void Command(HWND window, int id) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

int TabCount(HWND window) {
    HWND tabs = ChildOf(window, WC_TABCONTROLW);
    return tabs ? static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0)) : -1;
}

std::wstring TabCaption(const StartedProgram& program, HWND window, int position) {
    HWND tabs = ChildOf(window, WC_TABCONTROLW);
    RemoteBuffer remote(program.Process(), sizeof(TCITEMW) + 256 * sizeof(wchar_t));
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<BYTE*>(remote.Address()) + sizeof(TCITEMW));
    item.cchTextMax = 256;
    remote.Write(&item, sizeof item);
    ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(remote.Address()));
    wchar_t text[256]{};
    remote.Read(text, sizeof text - sizeof(wchar_t), sizeof(TCITEMW));
    return text;
}

// A left click on the tab at the position, as the mouse gives it to the tab control.
void ClickTab(const StartedProgram& program, HWND window, int position) {
    HWND tabs = ChildOf(window, WC_TABCONTROLW);
    RemoteBuffer remote(program.Process(), sizeof(RECT));
    ::SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(remote.Address()));
    RECT r{};
    remote.Read(&r, sizeof r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(tabs, WM_LBUTTONUP, 0, at);
}

std::wstring StatusPanel(const StartedProgram& program, HWND window, int panel) {
    HWND bar = ChildOf(window, STATUSCLASSNAMEW);
    RemoteBuffer remote(program.Process(), 1024 * sizeof(wchar_t));
    ::SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(remote.Address()));
    wchar_t text[1024]{};
    remote.Read(text, sizeof text - sizeof(wchar_t));
    return text;
}

bool BoldAt(const StartedProgram& program, HWND editor, long start, long end) {
    ::SendMessageW(editor, EM_SETSEL, static_cast<WPARAM>(start), end);
    RemoteBuffer remote(program.Process(), sizeof(CHARFORMAT2W));
    CHARFORMAT2W f{};
    f.cbSize = sizeof f;
    remote.Write(&f, sizeof f);
    ::SendMessageW(editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(&f, sizeof f);
    return (f.dwMask & CFM_BOLD) && (f.dwEffects & CFE_BOLD);
}

std::vector<std::wstring> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

size_t FilesUnder(const std::filesystem::path& folder) {
    size_t files = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file()) ++files;
    return files;
}

// The folder under "recovery" that holds these snapshots and an index of as many entries, once there is one.
std::filesystem::path WaitForSnapshots(const std::filesystem::path& root, const std::vector<std::wstring>& names) {
    std::filesystem::path found;
    WaitFor(
        [&] {
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(root, ec)) {
                bool all = true;
                for (const auto& name : names) all = all && std::filesystem::exists(e.path() / name, ec);
                const std::string index = testing_support::ReadBytes((e.path() / L"index.txt").wstring());
                if (all && std::count(index.begin(), index.end(), '\n') == static_cast<long>(names.size() + 1)) {
                    found = e.path();
                    return true;
                }
            }
            return false;
        },
        20000);
    return found;
}

void Kill(const StartedProgram& program) {
    ::TerminateProcess(program.Process(), 1);
    ::WaitForSingleObject(program.Process(), 10000);
}

// Types into the document a program shows and waits for its snapshot: the program's folder of snapshots, or empty.
std::filesystem::path TypeUntilKept(const StartedProgram& program, const std::filesystem::path& root,
                                    const std::wstring& text) {
    const HWND window = program.WaitForMainWindow(15000);
    HWND editor = nullptr;
    if (!window || !WaitFor([&] { return (editor = ShownEditor(window)) != nullptr; }, 5000)) return {};
    Type(editor, text);
    return WaitForSnapshots(root, {L"tab1.rtf"});
}

DWORD WaitForExit(const StartedProgram& program) {
    if (::WaitForSingleObject(program.Process(), 20000) != WAIT_OBJECT_0) return 999;
    DWORD code = 999;
    ::GetExitCodeProcess(program.Process(), &code);
    return code;
}

}  // namespace

TEST(ProgramRecovery, TheWorkOfAKilledProgramComesBackWithItsCaptionsAndFiles) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    testing_support::TempDir dir;
    const std::filesystem::path root = dir.Path() / L"recovery";
    const std::wstring a = dir / L"a.txt";
    testing_support::WriteBytes(a, "plain");
    {
        const StartedProgram first(dir.Path().wstring(), L"\"" + a + L"\"");
        ASSERT_TRUE(first.Started());
        HWND window = first.WaitForMainWindow(15000);
        ASSERT_NE(window, nullptr);
        HWND editor = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (editor = ShownEditor(window)) && WindowText(editor) == L"plain"; }, 5000));
        ::PostMessageW(editor, EM_SETSEL, 0, 0);
        Type(editor, L"edited ");
        ::PostMessageW(editor, EM_SETSEL, 0, 6);
        Command(window, app::kBtnBold);
        Command(window, app::kBtnHakusi);
        HWND second = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (second = ShownEditor(window)) && second != editor; }, 5000));
        Type(second, L"new words");
        ASSERT_FALSE(WaitForSnapshots(root, {L"tab1.rtf", L"tab2.rtf"}).empty());
        Kill(first);
    }

    const StartedProgram again(dir.Path().wstring(), L"");
    ASSERT_TRUE(again.Started());
    const Box offer = WaitForBox(again, 15000);
    ASSERT_NE(offer.hwnd, nullptr) << "no offer";
    EXPECT_EQ(offer.text, L"前回の終了時に保存されていない文書が 2 件あります。復元しますか？");
    EXPECT_EQ(WindowText(offer.hwnd), L"ピルカ２");
    ASSERT_TRUE(Press(offer, L"はい(&Y)"));
    HWND window = again.WaitForMainWindow(5000);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return TabCount(window) == 3; }, 5000));
    EXPECT_EQ(TabCaption(again, window, 0), L"無題");
    EXPECT_EQ(TabCaption(again, window, 1), L"a");
    EXPECT_EQ(TabCaption(again, window, 2), L"無題");

    // The last one given back is on show: the untitled document, modified.
    HWND editor = ShownEditor(window);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(WindowText(editor), L"new words");
    EXPECT_NE(::SendMessageW(editor, EM_GETMODIFY, 0, 0), 0);
    EXPECT_TRUE(WaitFor([&] { return StatusPanel(again, window, 2) == L"無題"; }, 5000));

    ClickTab(again, window, 1);
    ASSERT_TRUE(WaitFor([&] { return (editor = ShownEditor(window)) && WindowText(editor) == L"edited plain"; }, 5000));
    EXPECT_NE(::SendMessageW(editor, EM_GETMODIFY, 0, 0), 0);
    EXPECT_TRUE(BoldAt(again, editor, 0, 6));
    EXPECT_FALSE(BoldAt(again, editor, 7, 12));
    EXPECT_TRUE(WaitFor([&] { return StatusPanel(again, window, 2) == a; }, 5000));

    // Ctrl+S writes over the original file, and that tab's snapshot goes.
    Command(window, app::kCmdActUagaki);
    const Box saved = WaitForBox(again, 10000);
    ASSERT_NE(saved.hwnd, nullptr);
    EXPECT_EQ(saved.text, L"*a\r\nを上書き保存しました。");
    ASSERT_TRUE(Press(saved, L"OK"));
    EXPECT_EQ(testing_support::ReadBytes(a).rfind("{\\rtf", 0), 0u);
    EXPECT_NE(testing_support::ReadBytes(a).find("plain"), std::string::npos);
    const std::filesystem::path folder = WaitForSnapshots(root, {L"tab3.rtf"});
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(FilesIn(folder), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab3.rtf"}));

    // Closing asks about the untitled document that is still unsaved; a normal end leaves nothing behind.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const Box close = WaitForBox(again, 10000);
    ASSERT_NE(close.hwnd, nullptr);
    EXPECT_EQ(close.text, L"未保存テキストがありますが\r\n保存せずに終了しますか？");
    ASSERT_TRUE(Press(close, L"はい(&Y)"));
    EXPECT_EQ(WaitForExit(again), 0u);
    EXPECT_FALSE(std::filesystem::exists(root));
}

// Under Wine the Recycle Bin is the Linux desktop's trash, for files of the Linux side (drive Z:); empty elsewhere.
std::filesystem::path LinuxTrash() {
    wchar_t home[MAX_PATH]{};
    const DWORD n = ::GetEnvironmentVariableW(L"WINEHOMEDIR", home, MAX_PATH);  // "\\??\\Z:\\home\\user"
    if (n < 5 || n >= MAX_PATH) return {};
    return std::filesystem::path(home + 4) / L".local\\share\\Trash\\files";
}

TEST(ProgramRecovery, NoPutsTheKilledProgramsWorkInTheRecycleBin) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    const std::filesystem::path trash = LinuxTrash();
    // A fresh machine's account may have no trash yet, and Wine makes none (it deletes instead): the desktop's
    // first use would have made it.
    if (!trash.empty()) {
        std::error_code made;
        std::filesystem::create_directories(trash, made);
        std::filesystem::create_directories(trash.parent_path() / L"info", made);
    }
    testing_support::TempDir dir(trash.empty() ? std::filesystem::path() : std::filesystem::path(L"Z:\\tmp"));
    const std::filesystem::path root = dir.Path() / L"recovery";
    {
        const StartedProgram first(dir.Path().wstring(), L"");
        ASSERT_FALSE(TypeUntilKept(first, root, L"throw this away").empty());
        Kill(first);
    }
    const std::wstring instance = std::filesystem::directory_iterator(root)->path().filename().wstring();
    const StartedProgram again(dir.Path().wstring(), L"");
    const Box offer = WaitForBox(again, 15000);
    ASSERT_NE(offer.hwnd, nullptr);
    EXPECT_EQ(offer.text, L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    ASSERT_TRUE(Press(offer, L"いいえ(&N)"));
    EXPECT_TRUE(WaitFor([&] { return FilesUnder(root) == 0; }, 10000));
    if (!trash.empty()) {
        bool binned = false;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(trash, ec))
            binned = binned || (e.path().filename().wstring().starts_with(instance) &&
                                std::filesystem::exists(e.path() / L"tab1.rtf", ec));
        EXPECT_TRUE(binned) << "not in " << trash;
        for (const auto& place : {trash, trash.parent_path() / L"info"})
            for (const auto& e : std::filesystem::directory_iterator(place, ec))
                if (e.path().filename().wstring().starts_with(instance)) std::filesystem::remove_all(e.path(), ec);
    }
    HWND window = again.WaitForMainWindow(5000);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TabCount(window), 1);
    EXPECT_EQ(WindowText(ShownEditor(window)), L"");
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(again), 0u);
    EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(ProgramRecovery, ASecondCopyStartedWhileTheFirstRunsOffersNothing) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    testing_support::TempDir dir;
    const std::filesystem::path root = dir.Path() / L"recovery";
    const StartedProgram first(dir.Path().wstring(), L"");
    const std::filesystem::path folder = TypeUntilKept(first, root, L"the first copy's work");
    ASSERT_FALSE(folder.empty());

    {
        // The second copy looks for old work as it starts; by the time it waits for input with its window shown,
        // and a while after, an offer would be on the screen.
        const StartedProgram second(dir.Path().wstring(), L"", L"pilka2_second.exe");
        HWND secondWindow = second.WaitForMainWindow(15000);
        ASSERT_NE(secondWindow, nullptr);
        ::WaitForInputIdle(second.Process(), 10000);
        EXPECT_EQ(WaitForBox(second, 3000).hwnd, nullptr) << "a running copy was taken for one that ended";
        ::PostMessageW(secondWindow, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(second), 0u);
    }
    EXPECT_EQ(FilesIn(folder), (std::vector<std::wstring>{L"index.txt", L"lock", L"tab1.rtf"}));

    // Killed now, the first copy's work is offered to the next start.
    Kill(first);
    const StartedProgram third(dir.Path().wstring(), L"", L"pilka2_third.exe");
    const Box offer = WaitForBox(third, 15000);
    ASSERT_NE(offer.hwnd, nullptr);
    EXPECT_EQ(offer.text, L"前回の終了時に保存されていない文書が 1 件あります。復元しますか？");
    ASSERT_TRUE(Press(offer, L"いいえ(&N)"));
    HWND thirdWindow = third.WaitForMainWindow(5000);
    ASSERT_NE(thirdWindow, nullptr);
    ::PostMessageW(thirdWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(third), 0u);
}

TEST(ProgramRecovery, TheSessionsEndAsksFromOutsideWhileNothingKeepsTheWork) {
    ASSERT_FALSE(testing_support::ProgramPath().empty()) << "PILKA_EXE is not set";
    testing_support::TempDir dir;
    testing_support::WriteBytes(dir / L"recovery", "a file where the folder would go");
    const StartedProgram program(dir.Path().wstring(), L"");
    const HWND window = program.WaitForMainWindow(15000);
    ASSERT_NE(window, nullptr);
    HWND editor = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (editor = ShownEditor(window)) != nullptr; }, 5000));
    Type(editor, L"kept nowhere");
    ASSERT_TRUE(WaitFor([&] { return WindowText(editor) == L"kept nowhere"; }, 5000));

    // The system's log-off asks the window, and waits for its answer.
    std::atomic<DWORD_PTR> answer{99};
    std::thread logoff([&] {
        DWORD_PTR result = 99;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &result);
        answer = result;
    });
    const Box question = WaitForBox(program, 15000);
    const bool pressed = question.hwnd && Press(question, L"いいえ(&N)");
    logoff.join();
    ASSERT_NE(question.hwnd, nullptr);
    EXPECT_EQ(question.text, L"未保存テキストがありますが\r\n保存せずに終了しますか？");
    EXPECT_TRUE(pressed);
    EXPECT_EQ(answer.load(), 0u) << "No holds the session's end";
    EXPECT_EQ(WindowText(editor), L"kept nowhere");
    ::TerminateProcess(program.Process(), 1);
}
