// The one seam through which the program asks the user: message boxes and the save dialog.
// Tests install a scripted prompter for the scope of a test; the program uses the system's.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace ui {

struct SaveDialogOptions {
    std::wstring filter;      // "name|pattern|name|pattern", as the dialog shows it
    int filterIndex = 1;      // 1-based
    std::wstring defaultExt;  // appended when the user types a name without extension
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // As MessageBoxW: flags are MB_* values, the result an ID* value.
    virtual int Message(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) = 0;
    // The chosen path, or nullopt when the user cancels.
    virtual std::optional<std::wstring> SaveFile(HWND owner, const SaveDialogOptions& options) = 0;
};

// The prompter in force: the system's unless a test installed another.
Prompter& CurrentPrompter();

// Installs a prompter for the lifetime of this object and restores the previous one afterwards.
class ScopedPrompter {
public:
    explicit ScopedPrompter(Prompter& replacement) noexcept;
    ~ScopedPrompter();
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

private:
    Prompter* previous_;
};

// Message box with the application title.
int Ask(HWND owner, const std::wstring& text, UINT flags);

}  // namespace ui
