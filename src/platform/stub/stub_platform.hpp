#pragma once
// The stub backend: every role of PlatformServices answers "not available".
// A new system starts here: copy src/platform/stub/ to src/platform/<system>/,
// rename StubPlatform, add cmake/<System>Backend.cmake after cmake/StubBackend.cmake
// and a <system>.cpp for the updater after src/updater/stub.cpp, then fill in one
// role at a time; the program builds, starts and ends at every step.

#include <chrono>
#include <mutex>

#include "platform/platform_services.hpp"

namespace tarrow {

class StubPlatform final : public PlatformServices {
public:
    // No window and no events: the loop's first wait is a close request, so the
    // program always ends instead of waiting for what can never come.
    void InitServices() override {}
    void ShutdownServices() override {}
    [[noreturn]] void EndProcess(int exitCode) override;
    Event WaitEvent(int64_t timeoutMs) override;
    void PostExitRequest() override {}
    void CreateHiddenWindow(std::u16string_view) override {}
    void CloseHiddenWindow() override {}
    void AddTrayIcon(std::u16string_view) override {}
    void SetTrayTooltip(std::u16string_view) override {}
    void RemoveTrayIcon() override {}
    void CreateTrayMenu(int64_t, std::u16string_view) override {}

    // Boxes go to standard error and take the answer that changes nothing.
    MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                              MessageStyle style) override;
    std::u16string PromptText(std::u16string_view, std::u16string_view,
                              std::u16string_view) override {
        return {};
    }

    // No hotkeys: every registration fails, so start-up ends at the exit hotkey.
    bool RegisterHotkey(int, uint32_t, uint8_t, std::u16string_view) override { return false; }
    std::u16string KeyboardLayoutName() override { return u"00000409"; }

    // No workers: an update check never runs, the updater never starts.
    void StartWorker(std::function<void()>) override {}
    bool StartUpdater() override { return false; }

    // No sound; speech is one line on standard output per text.
    bool StartAudio() override { return false; }
    CueId LoadCue(std::u16string_view) override { return kNoCue; }
    void PlayCue(CueId) override {}
    void LoadSpeech() override {}
    void OutputSpeech(std::u16string_view text, bool interrupt) override;

    bool SetClipboardText(std::u16string_view) override { return false; }

    // No processes to list, read or end.
    bool TakeProcessSnapshot(std::vector<SnapshotEntry>&) override { return false; }
    int64_t ProcessWorkingSet(uint32_t) override { return 0; }
    std::optional<uint64_t> ProcessCpuTime(uint32_t) override { return std::nullopt; }
    uint64_t ProcessStartTime(uint32_t) override { return 0; }
    bool TerminateProcess(uint32_t, uint64_t, std::u16string_view) override { return false; }
    uint32_t CurrentProcessId() override { return 0; }
    std::optional<std::u16string> ProcessImagePath(uint32_t) override { return std::nullopt; }

    // The run's own clock is real (the loop's timing rests on it); the machine's
    // facts are unknown.
    int64_t NowMs() override;
    uint32_t TickCount() override { return 0; }
    uint64_t SystemUptimeMs() override { return 0; }
    MemoryStatus GetMemoryStatus() override { return {}; }
    PowerStatus GetPowerStatus() override { return {}; }
    std::optional<std::string> ProcessorBrand() override { return std::nullopt; }
    std::optional<uint64_t> SystemAffinityMask() override { return std::nullopt; }
    LocalTime GetLocalTime() override { return {}; }

    // No files: every file is missing and nothing is written, so a run leaves
    // the working directory as it found it.
    FileReadResult ReadFile(std::u16string_view, size_t) override { return {}; }
    bool ReplaceFile(std::u16string_view, std::string_view) override { return false; }
    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view, OutputMode) override {
        return nullptr;
    }
    bool DeleteFile(std::u16string_view) override { return false; }
    bool RenameFile(std::u16string_view, std::u16string_view) override { return false; }
    std::u16string AnsiToUtf16(std::string_view bytes) override;
    void ReportFileProblem(std::u16string_view line) override;

private:
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex outputLock_;  // speech and boxes come from workers too
};

}  // namespace tarrow
