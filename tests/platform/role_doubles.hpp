#pragma once
// Doubles of single roles, to stand beside real ones: each implements one role,
// answers from its script and records what the logic asked of it. All of them
// may be called from worker threads; read the records through the accessors.
// The event loop here waits in real time beside real threads, where the role
// fakes let a scripted clock run; the workers are real ones, counted.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/fakes/dialogs.hpp"
#include "platform/fakes/fake_role.hpp"
#include "platform/fakes/keyboard.hpp"
#include "platform/fakes/speech_and_sound.hpp"
#include "platform/fakes/window_and_events.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

// The role fakes alone, each on a clock and a call log of its own.

using Box = ShownMessage;

// Boxes answered by `answer` (default: No to a question, OK to the rest) and
// prompts by `promptAnswers` in turn (then the empty text).
class ScriptedDialogs final : public FakeAssembly<FakeDialogs<>> {
public:
    std::vector<Box> Boxes() const { return Locked(messages); }
};

// Speech and cues recorded; there is no audio engine, so every cue is none.
class RecordingSpeech final : public FakeAssembly<FakeSpeechAndSound<>> {
public:
    RecordingSpeech() { audioStarts = false; }
    std::vector<std::u16string> Spoken() const { return SpokenTexts(); }
};

// Accepts every hotkey, as a US keyboard.
using AcceptingKeyboard = FakeAssembly<FakeKeyboard<>>;

// The event loop and the tray without a window: a posted exit request comes
// first, then whatever `script` gives; otherwise a wait returns nothing after
// at most 20 ms of real time, so the script is asked again soon. The rest is
// the window fake's, with tooltips, exit requests and shutdowns read under its lock.
class ScriptedWindow final : public FakeAssembly<FakeWindowAndEvents<>> {
public:
    // Asked on the waiting thread, outside the double's lock.
    std::function<std::optional<Event>()> script;
    // Runs on the waiting thread just before it takes a posted exit request.
    std::function<void()> beforeExitRequest;

    std::vector<std::u16string> Tooltips() const { return Locked(tooltips); }
    int ExitRequests() const { return Locked(exitRequests_); }
    int Shutdowns() const { return Locked(shutdowns); }

    void ShutdownServices() override {
        std::lock_guard<std::mutex> guard(log_.lock);
        FakeWindowAndEvents::ShutdownServices();
    }
    [[noreturn]] void EndProcess(int) override { std::terminate(); }
    Event WaitEvent(int64_t timeoutMs) override {
        if (TakeExitRequest()) {
            if (beforeExitRequest) beforeExitRequest();
            return {EventKind::ExitRequest, 0};
        }
        if (script) {
            if (const std::optional<Event> event = script()) return *event;
        }
        std::unique_lock<std::mutex> guard(log_.lock);
        exitRequested_.wait_for(guard,
                                std::chrono::milliseconds(std::clamp<int64_t>(timeoutMs, 0, 20)),
                                [this] { return exitPosted_; });
        return {};
    }
    void PostExitRequest() override {
        std::lock_guard<std::mutex> guard(log_.lock);
        ++exitRequests_;
        exitPosted_ = true;
        exitRequested_.notify_all();
    }
    void AddTrayIcon(std::u16string_view tooltip) override {
        std::lock_guard<std::mutex> guard(log_.lock);
        FakeWindowAndEvents::AddTrayIcon(tooltip);
    }
    void SetTrayTooltip(std::u16string_view tooltip) override {
        std::lock_guard<std::mutex> guard(log_.lock);
        FakeWindowAndEvents::SetTrayTooltip(tooltip);
    }

private:
    bool TakeExitRequest() {
        std::lock_guard<std::mutex> guard(log_.lock);
        return std::exchange(exitPosted_, false);
    }

    std::condition_variable exitRequested_;
    bool exitPosted_ = false;
    int exitRequests_ = 0;
};

// A real Workers role that also counts its workers and records each updater start.
class CountingWorkers final : public Workers {
public:
    explicit CountingWorkers(Workers& real) : real_(real) {}

    // Waits until every worker started so far has ended; false on time-out.
    bool WaitForWorkers(std::chrono::seconds limit) {
        std::unique_lock<std::mutex> guard(lock_);
        return ended_.wait_for(guard, limit, [this] { return running_ == 0; });
    }
    // Workers were started and all of them have ended.
    bool AllEnded() const {
        std::lock_guard<std::mutex> guard(lock_);
        return started_ > 0 && running_ == 0;
    }
    std::vector<bool> UpdaterStarts() const {
        std::lock_guard<std::mutex> guard(lock_);
        return updaterStarts_;
    }

    void StartWorker(std::function<void()> entry) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++started_;
            ++running_;
        }
        real_.StartWorker([this, entry = std::move(entry)] {
            entry();
            std::lock_guard<std::mutex> guard(lock_);
            --running_;
            ended_.notify_all();
        });
    }
    bool StartUpdater() override {
        const bool started = real_.StartUpdater();
        std::lock_guard<std::mutex> guard(lock_);
        updaterStarts_.push_back(started);
        return started;
    }

private:
    Workers& real_;
    mutable std::mutex lock_;
    std::condition_variable ended_;
    int started_ = 0;
    int running_ = 0;
    std::vector<bool> updaterStarts_;
};

}  // namespace tarrow::testing
