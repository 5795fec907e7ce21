#pragma once
// The real Linux backend for threads, files and the updater, with the user's
// side (speech, boxes, the event queue) recorded and scripted, so that the
// update check runs on real threads through the real libcurl.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"

namespace tarrow::live {

struct Box {
    std::u16string caption;
    std::u16string text;
    unsigned style = 0;
    bool operator==(const Box&) const = default;
};

class RecordingPlatform final : public PlatformServices {
public:
    // --- scripted ---
    // Answers each box; runs on the worker that shows it. Default: No / OK.
    std::function<int(const Box&)> answer;
    // The main loop gets a close request once every worker has ended.
    bool closeWhenWorkersEnd = true;
    // Safety net: a loop still running after this gets a close request.
    std::chrono::seconds loopLimit{60};
    // Asked first on every wait of the main loop; an event it gives is delivered.
    std::function<std::optional<Event>()> script;
    // Runs on the main loop just before it takes a worker's exit request.
    std::function<void()> beforeExitRequest;
    // Boxes go to the real backend (headless: standard error) instead of `answer`.
    bool realBoxes = false;

    // --- recorded (read them once the workers have ended) ---
    std::vector<std::u16string> spoken;
    std::vector<Box> boxes;
    std::vector<bool> updaterStarts;
    int exitRequests = 0;
    int shutdowns = 0;

    // Waits until every worker started so far has ended; false on time-out.
    bool WaitForWorkers(std::chrono::seconds limit);
    int WorkersStarted() const;
    std::vector<std::u16string> Spoken() const;
    std::vector<Box> Boxes() const;

    void InitServices() override;
    void ShutdownServices() override;
    [[noreturn]] void EndProcess(int exitCode) override;
    int64_t NowMs() override;
    Event WaitEvent(int64_t timeoutMs) override;
    void PostExitRequest() override;
    void CreateHiddenWindow(std::u16string_view) override {}
    void CloseHiddenWindow() override {}
    void AddTrayIcon(std::u16string_view) override {}
    void SetTrayTooltip(std::u16string_view) override {}
    void RemoveTrayIcon() override {}
    void CreateTrayMenu(int64_t, std::u16string_view) override {}
    int ShowMessage(std::u16string_view caption, std::u16string_view text,
                    unsigned style) override;
    std::u16string PromptText(std::u16string_view, std::u16string_view,
                              std::u16string_view) override {
        return {};
    }
    bool RegisterHotkey(int, uint32_t, uint8_t, std::u16string_view) override { return true; }
    std::u16string KeyboardLayoutName() override { return u"00000409"; }
    void StartWorker(std::function<void()> entry) override;
    bool StartUpdater() override;
    bool StartAudio() override { return false; }
    CueId LoadCue(std::u16string_view) override { return kNoCue; }
    void PlayCue(CueId) override {}
    void LoadSpeech() override {}
    void OutputSpeech(std::u16string_view text, bool interrupt) override;
    bool SetClipboardText(std::u16string_view) override { return false; }
    bool TakeProcessSnapshot(std::vector<SnapshotEntry>& out) override;
    int64_t ProcessWorkingSet(uint32_t) override { return 0; }
    std::optional<uint64_t> ProcessCpuTime(uint32_t) override { return std::nullopt; }
    std::optional<uint64_t> SystemAffinityMask() override { return 1; }
    uint64_t ProcessStartTime(uint32_t) override { return 0; }
    bool TerminateProcess(uint32_t, uint64_t, std::u16string_view) override { return false; }
    uint32_t CurrentProcessId() override { return 0; }
    std::optional<std::u16string> ProcessImagePath(uint32_t) override { return std::nullopt; }
    uint32_t TickCount() override { return 0; }
    uint64_t SystemUptimeMs() override { return 0; }
    MemoryStatus GetMemoryStatus() override { return {}; }
    PowerStatus GetPowerStatus() override { return {}; }
    std::optional<std::string> ProcessorBrand() override { return std::nullopt; }
    LocalTime GetLocalTime() override { return {}; }
    FileReadResult ReadFile(std::u16string_view path) override;
    bool ReplaceFile(std::u16string_view path, std::string_view bytes) override;
    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path,
                                               OutputMode mode) override;
    bool DeleteFile(std::u16string_view path) override;
    bool RenameFile(std::u16string_view from, std::u16string_view to) override;
    std::u16string AnsiToUtf16(std::string_view bytes) override;

private:
    LinuxPlatform real_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int workersStarted_ = 0;
    int workersRunning_ = 0;
    bool exitPosted_ = false;
    std::chrono::steady_clock::time_point loopStart_ = std::chrono::steady_clock::now();
};

}  // namespace tarrow::live
