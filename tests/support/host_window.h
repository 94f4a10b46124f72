// A top-level window of ours for tests and benchmarks: controls placed in it get their own notifications back from
// it, as in a form of the program.
#pragma once
#include <windows.h>

#include "ui/window.h"

namespace testing_support {

class HostWindow : public ui::Window {
public:
    explicit HostWindow(int width = 900, int height = 700) : ui::Window(nullptr) {
        CreateOwnWindow(L"PilkaHostWindow", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, RECT{0, 0, width, height},
                        nullptr);
    }
    ~HostWindow() override {
        if (Handle()) ::DestroyWindow(Handle());
    }
};

}  // namespace testing_support
