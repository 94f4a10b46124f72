#include "ui/prompt.h"

#include <commdlg.h>

#include <new>
#include <vector>

#include "ui/error.h"
#include "ui/texts.h"

namespace ui {
namespace {

class SystemPrompter final : public Prompter {
public:
    int Message(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) override {
        return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
    }

    std::optional<std::wstring> SaveFile(HWND owner, const SaveDialogOptions& options) override {
        std::wstring filter = options.filter;
        for (auto& c : filter)
            if (c == L'|') c = L'\0';
        filter.push_back(L'\0');
        std::vector<wchar_t> file(32768, L'\0');
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = static_cast<DWORD>(options.filterIndex);
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrDefExt = options.defaultExt.empty() ? nullptr : options.defaultExt.c_str();
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
        if (!::GetSaveFileNameW(&ofn)) return std::nullopt;
        return std::wstring(file.data());
    }
};

SystemPrompter systemPrompter;
Prompter* current = &systemPrompter;  // the seam: replaced only by ScopedPrompter

}  // namespace

Prompter& CurrentPrompter() {
    return *current;
}

ScopedPrompter::ScopedPrompter(Prompter& replacement) noexcept : previous_(current) {
    current = &replacement;
}
ScopedPrompter::~ScopedPrompter() {
    current = previous_;
}

int Ask(HWND owner, const std::wstring& text, UINT flags) {
    return CurrentPrompter().Message(owner, text, txt::kAppTitle, flags);
}

std::wstring ErrorBoxText(const std::wstring& message) {
    if (!message.empty() && message.back() > L'.') return message + L".";
    return message;
}

void ShowError(HWND owner, const std::wstring& message) {
    Ask(owner, ErrorBoxText(message), MB_OK | MB_ICONERROR);
}

void ShowCurrentException(HWND owner) noexcept {
    try {
        try {
            throw;
        } catch (const Error& e) {
            ShowError(owner, e.Message());
        } catch (const std::bad_alloc&) {
            ShowError(owner, txt::kOutOfMemory);
        } catch (...) {
            ShowError(owner, txt::kUnexpectedError);
        }
    } catch (...) {
        // Not even the box could be shown; the program goes on all the same.
    }
}

bool RunCommand(HWND owner, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (...) {
        ShowCurrentException(owner);
        return false;
    }
}

}  // namespace ui
