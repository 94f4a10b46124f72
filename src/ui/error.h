// Errors that end a command: thrown with the message text, shown in the standard error box at the boundary.
#pragma once
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace ui {

class Error : public std::runtime_error {
public:
    explicit Error(std::wstring message) : std::runtime_error("ui::Error"), message_(std::move(message)) {}
    const std::wstring& Message() const noexcept { return message_; }

private:
    std::wstring message_;
};

[[nodiscard]] inline bool Ok(HRESULT hr) noexcept {
    return SUCCEEDED(hr);
}
inline HRESULT HrFromLastError() noexcept {
    const DWORD e = ::GetLastError();
    return e == 0 ? E_FAIL : HRESULT_FROM_WIN32(e);
}

// The text of the standard error box: the message, with "." added when its last character sorts after ".".
std::wstring ErrorBoxText(const std::wstring& message);

// Shows the standard error box (error icon, OK, the application title) through the prompt seam.
void ShowError(HWND owner, const std::wstring& message);

// Shows the exception being handled in the standard error box: an ui::Error with its message, any other with a
// general one. Called only inside a catch block, at a boundary that keeps the program running.
void ShowCurrentException(HWND owner) noexcept;

// Runs a command; an exception it throws is shown in the standard error box and ends the command, never the
// program. Returns false when the command ended with an error.
bool RunCommand(HWND owner, const std::function<void()>& command);

}  // namespace ui
