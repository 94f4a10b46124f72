// Shared helpers for the in-process tests: scripted answers for the prompt seam, temporary folders, files,
// and pumping the message loop.
#pragma once
#include <windows.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/prompt.h"

namespace testing_support {

// Answers message boxes and the save dialog from a script, and records what was asked.
class ScriptedPrompter : public ui::Prompter {
public:
    struct Shown {
        std::wstring text;
        std::wstring caption;
        UINT flags;
    };

    ScriptedPrompter() : scope_(*this) {}

    // Answers for the next message boxes, in order; when none is left, IDOK (or IDYES for questions) is used.
    std::deque<int> answers;
    // Paths for the next save dialogs; nullopt answers Cancel. When none is left the dialog is cancelled.
    std::deque<std::optional<std::wstring>> savePaths;

    std::vector<Shown> messages;
    // Runs while a message box is up, as the user acts before answering it.
    std::function<void(const Shown&)> whileShown;
    std::vector<ui::SaveDialogOptions> saveDialogs;

    int Message(HWND, const std::wstring& text, const std::wstring& caption, UINT flags) override;
    std::optional<std::wstring> SaveFile(HWND, const ui::SaveDialogOptions& options) override;

    std::wstring LastText() const { return messages.empty() ? std::wstring() : messages.back().text; }

private:
    ui::ScopedPrompter scope_;
};

// A fresh folder under the temporary directory, removed with its contents at the end of the scope.
class TempDir {
public:
    // under: the folder to make it in, the system's temporary folder when empty.
    explicit TempDir(const std::filesystem::path& under = {});
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);

// Removes a folder with everything in it as another program would, past any handle this process holds on it: under
// Wine by the system's own rm, since Wine keeps a folder that a handle of ours holds until the handle closes (as
// Windows did before deletion by POSIX rules); elsewhere with the file functions. True when the folder is gone.
bool RemoveFromOutside(const std::wstring& folder);
// Makes a folder in one that is there as another program would: under Wine by the system's own mkdir, which
// keeps the name's case where a folder differing only in case is there already ("docs" beside "Docs"). True once a
// folder of exactly that name is there.
bool MakeDirFromOutside(const std::wstring& folder);
// Makes a link to a folder (a symbolic link, a reparse point): on Windows by the file functions, under Wine by the
// system's own ln. True when the link is there and is a reparse point. RemoveFromOutside takes the link away
// without touching its target.
bool LinkFolder(const std::wstring& link, const std::wstring& target);

// Pumps messages for about the given time.
void PumpFor(DWORD milliseconds);
// Pumps messages until the condition holds or the time runs out; returns the condition.
template <class Pred>
bool PumpUntil(Pred pred, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (!pred()) {
        if (::GetTickCount64() > end) return false;
        PumpFor(10);
    }
    return true;
}

// True when the run has no real screen (Wine's null display driver, chosen by the scripts where no X server can
// run): windows and messages work, but nothing drawn can be read back from the screen.
bool NoScreen();

// Mouse input as the user gives it: buttons (MOUSEEVENTF_*), and with MOUSEEVENTF_MOVE a move to a screen point.
void SendMouse(DWORD flags, POINT at = {});
POINT CentreOf(HWND hwnd);
// Runs one step a timer tick and pumps between them, so that steps go on inside the modal loops that a step starts
// (a control tracking a press, a drag, a menu); then pumps a little more. False when the steps did not all run.
bool RunSteps(const std::vector<std::function<void()>>& steps, UINT interval = 60);

}  // namespace testing_support
