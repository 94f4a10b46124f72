// Work off the window's thread. The window's thread never waits on the file system: a BackgroundWorker runs jobs in
// order on a thread of its own, with a COM apartment of its own (shell folders are bound there afresh from their
// absolute lists, never shared across apartments), and a job hands its results back through a UiInbox, whose
// message-only window runs them on the window's thread in its own message loop.
//
// A worker's thread is a single-threaded apartment, and shell code run there makes windows of its own (COM's
// apartment window among them): while it has no job, and while a job waits (WaitPumping), it dispatches its
// thread's messages, so that a message sent to those windows by another program is answered at once.
//
// Lifetimes: a job holds only what it was given (plain data, copies of lists) and an inbox Sender; what it posts
// runs only while the inbox lives, so a result never reaches a view that has gone. A worker's destructor drops
// the queued jobs and waits a bounded time for the running one; a job that overstays is left to finish on its own.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "ui/window.h"

namespace ui {

class UiInbox : public Window {
    struct State;

public:
    // How a wake message is posted: PostMessageW, or a test's stand-in for a full message queue.
    using PostFn = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
    // Made on the window's thread, whose message loop then runs what arrives.
    explicit UiInbox(Component* owner = nullptr, PostFn post = ::PostMessageW);
    ~UiInbox() override;  // what is still pending is freed unrun; later posts are dropped

    // What a job keeps to post back: copyable, usable from any thread, harmless once the inbox is gone.
    class Sender {
    public:
        Sender() = default;
        // Runs `work` on the inbox's thread, after everything posted before it. False when the inbox is gone.
        bool Post(std::function<void()> work) const;

    private:
        friend class UiInbox;
        explicit Sender(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };
    Sender MakeSender() const { return Sender(state_); }

    // Runs everything posted so far, now (a caller that must not wait for its message loop). A result that throws
    // does not stop the others; the first exception is thrown again once they have run.
    void Drain();

    // How often the inbox looks for posts whose wake message could not be posted (a full message queue).
    static constexpr UINT kRetryMs = 200;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    std::shared_ptr<State> state_;
};

// A counter that makes earlier work stale: a view takes a new generation for each read it starts, the read checks
// Current() between its steps and stops once it is no longer the newest, and results of a stale read are dropped
// when they arrive. Shared with the jobs, so it outlives its view.
class Generation {
public:
    Generation() : value_(std::make_shared<std::atomic<std::uint64_t>>(0)) {}
    std::uint64_t Next() noexcept { return ++*value_; }
    std::uint64_t Current() const noexcept { return value_->load(); }
    // Makes every read started so far stale (a view going away, a read that must not finish).
    void CancelAll() noexcept { ++*value_; }

    // What a job keeps: tells whether its generation is still the newest.
    class Token {
    public:
        Token() = default;
        bool Stale() const noexcept { return !value_ || value_->load() != mine_; }
        std::uint64_t Value() const noexcept { return mine_; }

    private:
        friend class Generation;
        Token(std::shared_ptr<std::atomic<std::uint64_t>> value, std::uint64_t mine)
            : value_(std::move(value)), mine_(mine) {}
        std::shared_ptr<std::atomic<std::uint64_t>> value_;
        std::uint64_t mine_ = 0;
    };
    // A new generation and the token of it.
    Token Start() { return Token(value_, Next()); }

private:
    std::shared_ptr<std::atomic<std::uint64_t>> value_;
};

// Waits for the handle, dispatching the calling thread's messages meanwhile (what a thread that owns windows must do
// while it waits); returns WAIT_OBJECT_0 once it is signalled, WAIT_TIMEOUT when the time ran out first.
DWORD WaitPumping(HANDLE handle, DWORD milliseconds);
// Dispatches the messages waiting for the calling thread, without waiting for more.
void PumpPending();

class BackgroundWorker {
    struct State;

public:
    // How long the destructor waits for a running job before leaving it to finish alone.
    static constexpr DWORD kStopWaitMs = 2000;

    BackgroundWorker();
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    // Queues a job; jobs run one at a time, in the order queued. The thread starts with the first job.
    void Run(std::function<void()> job);
    // Drops the jobs not yet started.
    void DropQueued();
    // True while a job runs or waits (tests and benchmarks wait for a quiet worker).
    bool Busy() const;

private:
    std::shared_ptr<State> state_;
};

}  // namespace ui
