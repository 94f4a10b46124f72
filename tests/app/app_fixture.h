// A main window in a temporary folder of its own, with scripted answers for its questions.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/kurvanta_.h"
#include "support/test_support.h"
#include "ui/text.h"

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
};
