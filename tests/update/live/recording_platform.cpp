#include "update/live/recording_platform.hpp"

#include <algorithm>
#include <stdexcept>

namespace tarrow::live {

bool RecordingPlatform::WaitForWorkers(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, limit, [this] { return workersRunning_ == 0; });
}

int RecordingPlatform::WorkersStarted() const {
    std::lock_guard<std::mutex> guard(lock_);
    return workersStarted_;
}

std::vector<std::u16string> RecordingPlatform::Spoken() const {
    std::lock_guard<std::mutex> guard(lock_);
    return spoken;
}

std::vector<Box> RecordingPlatform::Boxes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return boxes;
}

void RecordingPlatform::InitServices() {}

void RecordingPlatform::ShutdownServices() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++shutdowns;
    }
    real_.ShutdownServices();
}

void RecordingPlatform::EndProcess(int) {
    throw std::logic_error("the logic never ends the process");
}

int64_t RecordingPlatform::NowMs() { return real_.NowMs(); }

Event RecordingPlatform::WaitEvent(int64_t timeoutMs) {
    if (script) {
        if (const std::optional<Event> event = script()) return *event;
        timeoutMs = std::min<int64_t>(timeoutMs, 20);  // asked again soon
    }
    std::unique_lock<std::mutex> guard(lock_);
    const auto ready = [this] {
        return exitPosted_ || (closeWhenWorkersEnd && workersStarted_ > 0 && workersRunning_ == 0);
    };
    changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
    if (exitPosted_) {
        exitPosted_ = false;
        guard.unlock();
        if (beforeExitRequest) beforeExitRequest();
        return {EventKind::ExitRequest, 0};
    }
    if (ready() || std::chrono::steady_clock::now() - loopStart_ > loopLimit)
        return {EventKind::Close, 0};
    return {};
}

void RecordingPlatform::PostExitRequest() {
    std::lock_guard<std::mutex> guard(lock_);
    ++exitRequests;
    exitPosted_ = true;
    changed_.notify_all();
}

int RecordingPlatform::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                   unsigned style) {
    const Box box{std::u16string(caption), std::u16string(text), style};
    std::function<int(const Box&)> answerer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        boxes.push_back(box);
        answerer = answer;
    }
    if (realBoxes) return real_.ShowMessage(caption, text, style);
    if (answerer) return answerer(box);
    return style == kMbYesNo ? kIdNo : kIdOk;
}

void RecordingPlatform::StartWorker(std::function<void()> entry) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++workersStarted_;
        ++workersRunning_;
    }
    real_.StartWorker([this, entry = std::move(entry)] {
        entry();
        std::lock_guard<std::mutex> guard(lock_);
        --workersRunning_;
        changed_.notify_all();
    });
}

bool RecordingPlatform::StartUpdater() {
    const bool started = real_.StartUpdater();
    std::lock_guard<std::mutex> guard(lock_);
    updaterStarts.push_back(started);
    return started;
}

void RecordingPlatform::OutputSpeech(std::u16string_view text, bool) {
    std::lock_guard<std::mutex> guard(lock_);
    spoken.emplace_back(text);
}

bool RecordingPlatform::TakeProcessSnapshot(std::vector<SnapshotEntry>& out) {
    out = {{0, u"[System Process]"}};
    return true;
}

FileReadResult RecordingPlatform::ReadFile(std::u16string_view path) {
    return real_.ReadFile(path);
}

bool RecordingPlatform::ReplaceFile(std::u16string_view path, std::string_view bytes) {
    return real_.ReplaceFile(path, bytes);
}

std::unique_ptr<OutputFile> RecordingPlatform::OpenOutputFile(std::u16string_view path,
                                                              OutputMode mode) {
    return real_.OpenOutputFile(path, mode);
}

bool RecordingPlatform::DeleteFile(std::u16string_view path) { return real_.DeleteFile(path); }

bool RecordingPlatform::RenameFile(std::u16string_view from, std::u16string_view to) {
    return real_.RenameFile(from, to);
}

std::u16string RecordingPlatform::AnsiToUtf16(std::string_view bytes) {
    return real_.AnsiToUtf16(bytes);
}

}  // namespace tarrow::live
