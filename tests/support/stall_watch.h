// Measures how long a window keeps the user waiting, for the benchmarks and for the tests that bound a stall.
#pragma once
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "ui/window.h"

namespace testing_support {

// Measures how long a window keeps the user waiting: a thread of its own sends the window WM_NULL every 10 ms and
// times each answer, as another program would; the longest answer is the window's longest stall. An answer still
// outstanding when the watch ends counts with the time it has waited so far.
class StallWatch {
public:
    explicit StallWatch(HWND window) : window_(window), thread_([this] { Watch(); }) {}
    ~StallWatch() { Stop(); }
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    // Ends the watch; the longest answer, in milliseconds. Called on the window's thread, it serves the window's
    // messages until the watch is over, so that a send still outstanding is answered, not timed out by the wait.
    double Stop() {
        if (thread_.joinable()) {
            stop_ = true;
            while (!over_) {
                ui::PumpMessages();
                ::Sleep(1);
            }
            thread_.join();
        }
        return longest_;
    }
    double Longest() const { return longest_; }

private:
    void Watch() {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        while (!stop_) {
            LARGE_INTEGER start, end;
            ::QueryPerformanceCounter(&start);
            DWORD_PTR result = 0;
            // Waits in slices, so that a stall longer than the watch itself still ends the watch on time.
            while (!::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result)) {
                if (stop_ || !::IsWindow(window_)) break;
            }
            ::QueryPerformanceCounter(&end);
            const double waited =
                1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
            longest_ = std::max(longest_.load(), waited);
            ::Sleep(10);
        }
        over_ = true;
    }

    HWND window_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> over_{false};
    std::atomic<double> longest_{0.0};
    std::thread thread_;
};

}  // namespace testing_support
