#include "ui/background.h"

#include <objbase.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace ui {
namespace {

constexpr UINT kMsgWake = WM_APP + 1;

}  // namespace

// ---- the inbox ----

struct UiInbox::State {
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
    HWND window = nullptr;
    bool alive = true;
    bool wakePosted = false;  // a wake message is on its way; more posts need none of their own
};

UiInbox::UiInbox(Component* owner) : Window(owner), state_(std::make_shared<State>()) {
    CreateOwnWindow(L"PilkaInbox", L"", 0, 0, RECT{}, HWND_MESSAGE);
    state_->window = Handle();
}

UiInbox::~UiInbox() {
    std::deque<std::function<void()>> unrun;
    {
        const std::lock_guard lock(state_->mutex);
        state_->alive = false;
        state_->window = nullptr;
        unrun.swap(state_->pending);
    }
    // Freed here, on the window's thread, outside the lock: what they hold may take a while to release.
}

bool UiInbox::Sender::Post(std::function<void()> work) const {
    if (!state_) return false;
    HWND wake = nullptr;
    {
        const std::lock_guard lock(state_->mutex);
        if (!state_->alive || !state_->window) return false;
        state_->pending.push_back(std::move(work));
        if (!state_->wakePosted) {
            state_->wakePosted = true;
            wake = state_->window;
        }
    }
    if (wake && !::PostMessageW(wake, kMsgWake, 0, 0)) {
        // A full message queue: the next post tries again.
        const std::lock_guard lock(state_->mutex);
        state_->wakePosted = false;
    }
    return true;
}

void UiInbox::Drain() {
    const std::shared_ptr<State> state = state_;  // a result may destroy this inbox; the state stays for the loop
    std::deque<std::function<void()>> ready;
    {
        const std::lock_guard lock(state->mutex);
        state->wakePosted = false;
        ready.swap(state->pending);
    }
    for (auto& work : ready) {
        {
            const std::lock_guard lock(state->mutex);
            if (!state->alive) return;
        }
        work();
        work = nullptr;
    }
}

LRESULT UiInbox::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgWake) {
        Drain();
        return 0;
    }
    return Default(msg, wp, lp);
}

// ---- the worker ----

struct BackgroundWorker::State {
    std::mutex mutex;
    std::condition_variable wake;   // a job was queued, or the worker is stopping
    std::condition_variable ended;  // the thread has left its loop
    std::deque<std::function<void()>> jobs;
    std::thread thread;
    bool started = false;
    bool stop = false;
    bool running = false;
    bool finished = false;

    static void Loop(std::shared_ptr<State> self);
};

void BackgroundWorker::State::Loop(std::shared_ptr<State> self) {
    // An apartment of the worker's own: folders are bound here from their lists, never borrowed from the window's.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(self->mutex);
            self->wake.wait(lock, [&] { return self->stop || !self->jobs.empty(); });
            if (self->stop) break;
            job = std::move(self->jobs.front());
            self->jobs.pop_front();
            self->running = true;
        }
        try {
            job();
        } catch (...) {
            // A job that fails ends alone; it has posted what it could.
        }
        job = nullptr;  // what it held goes before the next one starts
        const std::lock_guard lock(self->mutex);
        self->running = false;
    }
    std::deque<std::function<void()>> dropped;
    {
        const std::lock_guard lock(self->mutex);
        dropped.swap(self->jobs);
    }
    dropped.clear();  // inside the apartment, before it closes
    if (SUCCEEDED(com)) ::CoUninitialize();
    {
        const std::lock_guard lock(self->mutex);
        self->finished = true;
    }
    self->ended.notify_all();
}

BackgroundWorker::BackgroundWorker() : state_(std::make_shared<State>()) {}

BackgroundWorker::~BackgroundWorker() {
    std::deque<std::function<void()>> dropped;
    {
        const std::lock_guard lock(state_->mutex);
        state_->stop = true;
        dropped.swap(state_->jobs);
    }
    state_->wake.notify_all();
    dropped.clear();
    if (!state_->thread.joinable()) return;
    bool finished = false;
    {
        std::unique_lock lock(state_->mutex);
        finished =
            state_->ended.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [&] { return state_->finished; });
    }
    // A job stuck in the file system (a network drive that does not answer) is left to end on its own: it holds
    // its own state, and nothing it posts reaches a view that has gone.
    if (finished)
        state_->thread.join();
    else
        state_->thread.detach();
}

void BackgroundWorker::Run(std::function<void()> job) {
    const std::lock_guard lock(state_->mutex);
    if (state_->stop) return;
    state_->jobs.push_back(std::move(job));
    if (!state_->started) {
        state_->started = true;
        state_->thread = std::thread(State::Loop, state_);
    }
    state_->wake.notify_one();
}

void BackgroundWorker::DropQueued() {
    std::deque<std::function<void()>> dropped;
    const std::lock_guard lock(state_->mutex);
    dropped.swap(state_->jobs);
}

bool BackgroundWorker::Busy() const {
    const std::lock_guard lock(state_->mutex);
    return state_->running || !state_->jobs.empty();
}

}  // namespace ui
