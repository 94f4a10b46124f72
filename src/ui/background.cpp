#include "ui/background.h"

#include <objbase.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "ui/owned.h"

namespace ui {
namespace {

constexpr UINT kMsgWake = WM_APP + 1;
constexpr UINT_PTR kRetryTimer = 1;

}  // namespace

void PumpPending() {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the thread's own loop ends on it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

DWORD WaitPumping(HANDLE handle, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            const ULONGLONG now = ::GetTickCount64();
            left = now >= end ? 0 : static_cast<DWORD>(end - now);
        }
        // MWMO_INPUTAVAILABLE: messages already in the queue count too, not only those that came after the last
        // look at it.
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &handle, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return WAIT_OBJECT_0;
        if (woken == WAIT_OBJECT_0 + 1) {
            PumpPending();
            continue;
        }
        if (woken == WAIT_TIMEOUT) return WAIT_TIMEOUT;
        // A handle that cannot be waited on: waiting for the time would only hang.
        return woken;
    }
}

// ---- the inbox ----

struct UiInbox::State {
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
    HWND window = nullptr;
    PostFn post = ::PostMessageW;
    bool alive = true;
    bool wakePosted = false;  // a wake message is on its way; more posts need none of their own
};

UiInbox::UiInbox(Component* owner, PostFn post) : Window(owner), state_(std::make_shared<State>()) {
    state_->post = post;
    CreateOwnWindow(L"PilkaInbox", L"", 0, 0, RECT{}, HWND_MESSAGE);
    state_->window = Handle();
    // A wake that could not be posted is not lost: the timer's message needs no room in the queue.
    ::SetTimer(Handle(), kRetryTimer, kRetryMs, nullptr);
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
    PostFn post = nullptr;
    {
        const std::lock_guard lock(state_->mutex);
        if (!state_->alive || !state_->window) return false;
        state_->pending.push_back(std::move(work));
        if (!state_->wakePosted) {
            state_->wakePosted = true;
            wake = state_->window;
            post = state_->post;
        }
    }
    if (wake && !post(wake, kMsgWake, 0, 0)) {
        // A full message queue: the inbox's timer finds the work, and the next post tries again.
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
    // A result that throws does not take the rest of its batch with it: they run, and the first failure is
    // passed on once they have (to the message boundary, which shows it).
    std::exception_ptr failed;
    for (auto& work : ready) {
        {
            const std::lock_guard lock(state->mutex);
            if (!state->alive) break;
        }
        try {
            work();
        } catch (...) {
            if (!failed) failed = std::current_exception();
        }
        work = nullptr;
    }
    if (failed) std::rethrow_exception(failed);
}

LRESULT UiInbox::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgWake) {
        Drain();
        return 0;
    }
    if (msg == WM_TIMER && wp == kRetryTimer) {
        bool unwoken = false;
        {
            const std::lock_guard lock(state_->mutex);
            unwoken = !state_->wakePosted && !state_->pending.empty();
        }
        if (unwoken) Drain();
        return 0;
    }
    return Default(msg, wp, lp);
}

// ---- the worker ----

struct BackgroundWorker::State {
    std::mutex mutex;
    // Set when a job was queued or the worker is stopping; an event, not a condition variable, so that the worker
    // can wait for it and for its messages at once.
    UniqueHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
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
        bool stop = false;
        {
            const std::lock_guard lock(self->mutex);
            stop = self->stop;
            if (!stop && !self->jobs.empty()) {
                job = std::move(self->jobs.front());
                self->jobs.pop_front();
                self->running = true;
            }
        }
        if (stop) break;
        if (!job) {
            // Idle: the thread's windows are served until the next job comes.
            WaitPumping(self->wake.get(), INFINITE);
            continue;
        }
        PumpPending();  // between jobs too, however long the queue
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
    ::SetEvent(state_->wake.get());
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
    ::SetEvent(state_->wake.get());
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
