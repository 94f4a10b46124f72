// A main window in a temporary folder of its own, with scripted answers for its questions.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/kurvanta_.h"
#include "app/recovery.h"
#include "support/test_support.h"
#include "ui/text.h"

namespace testing_support {

// The middle of a list view row's caption, in the list's coordinates.
inline POINT RowCentre(HWND list, int row) {
    RECT r{};
    ListView_GetItemRect(list, row, &r, LVIR_LABEL);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A press and release of the left button in the middle of a list view row, posted as the mouse posts them; twice
// for a double-click.
inline void ClickRow(HWND list, int row, bool twice) {
    ListView_EnsureVisible(list, row, FALSE);
    const POINT centre = RowCentre(list, row);
    const LPARAM at = MAKELPARAM(centre.x, centre.y);
    ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(list, WM_LBUTTONUP, 0, at);
    if (twice) {
        ::PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        ::PostMessageW(list, WM_LBUTTONUP, 0, at);
    }
    PumpFor(50);
}

}  // namespace testing_support

class MainWindowTest : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    testing_support::ScriptedPrompter prompter;
    std::unique_ptr<app::TForm1> form;

    std::wstring IniPath() const { return dir / L"data.ini"; }

    app::TForm1& Open(std::vector<std::wstring> args = {}) {
        form = std::make_unique<app::TForm1>(app::TForm1Options{IniPath(), std::move(args), false});
        form->Show(SW_SHOWNOACTIVATE);
        return *form;
    }

    // A file in the temporary folder with the given bytes.
    std::wstring File(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = dir / name;
        testing_support::WriteBytes(path, bytes);
        return path;
    }

    ui::RichEdit& Editor(int slot) { return *form->SlotAt(slot).editor; }
    std::wstring Text(int slot) { return Editor(slot).Text(); }
    // Replaces the editor's text as typing does, so that the editor marks itself modified.
    void Type(int slot, const std::wstring& text) {
        Editor(slot).SelectAll();
        Editor(slot).ReplaceSelection(text, true);
    }

    // Unsaved work kept beside data.ini: the folder of each instance under "recovery", and the files in one.
    std::wstring RecoveryRoot() const { return dir / L"recovery"; }
    std::vector<std::wstring> RecoveryFolders() const {
        std::vector<std::wstring> folders;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(RecoveryRoot(), ec))
            if (e.is_directory()) folders.push_back(e.path().wstring());
        return folders;
    }
    static std::vector<std::wstring> FileNames(const std::wstring& folder) {
        std::vector<std::wstring> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Pumps until the window has looked for old work and every change of a modified tab is on disk.
    bool SettleRecovery(app::TForm1* which = nullptr) {
        app::TForm1& f = which ? *which : *form;
        return testing_support::PumpUntil([&] { return f.UnsavedWork().Settled(); }, 30000);
    }
    // The system ends the session: the window is told, and then the process ends without any clean-up of ours.
    void EndSession() {
        ::SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        ::SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        form.reset();
    }
};
