#pragma once
// The Windows backend: a hidden window owns the hotkeys, the tray icon and its
// menu; speech goes to the screen reader through Tolk.dll (SAPI 5 without it);
// cues play through miniaudio; processes come from toolhelp and psapi.

#include <memory>
#include <string>

#include "platform/platform_services.hpp"

namespace tarrow {

struct AudioSession;  // platform/audio/audio_session.hpp

namespace win32 {
struct WindowSession;  // events.cpp, tray.cpp, prompt.cpp, dialogs.cpp
struct SpeechSession;  // speech.cpp
struct WorkerSet;      // workers.cpp
}  // namespace win32

class Win32Platform final : public PlatformServices {
public:
    Win32Platform();
    ~Win32Platform() override;

    void InitServices() override;
    void ShutdownServices() override;
    [[noreturn]] void EndProcess(int exitCode) override;

    int64_t NowMs() override;
    Event WaitEvent(int64_t timeoutMs) override;
    void PostExitRequest() override;

    void CreateHiddenWindow(std::u16string_view title) override;
    void CloseHiddenWindow() override;
    void AddTrayIcon(std::u16string_view tooltip) override;
    void SetTrayTooltip(std::u16string_view tooltip) override;
    void RemoveTrayIcon() override;
    void CreateTrayMenu(int64_t itemId, std::u16string_view text) override;

    MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                              MessageStyle style) override;
    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText) override;

    bool RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                        std::u16string_view label) override;
    std::u16string KeyboardLayoutName() override;

    void StartWorker(std::function<void()> entry) override;
    bool StartUpdater() override;

    bool StartAudio() override;
    CueId LoadCue(std::u16string_view path) override;
    void PlayCue(CueId cue) override;

    void LoadSpeech() override;
    void OutputSpeech(std::u16string_view text, bool interrupt) override;

    bool SetClipboardText(std::u16string_view text) override;

    bool TakeProcessSnapshot(std::vector<SnapshotEntry>& out) override;
    int64_t ProcessWorkingSet(uint32_t pid) override;
    std::optional<uint64_t> ProcessCpuTime(uint32_t pid) override;
    std::optional<uint64_t> SystemAffinityMask() override;
    uint64_t ProcessStartTime(uint32_t pid) override;
    bool TerminateProcess(uint32_t pid, uint64_t startTime, std::u16string_view name) override;
    uint32_t CurrentProcessId() override;
    std::optional<std::u16string> ProcessImagePath(uint32_t pid) override;

    uint32_t TickCount() override;
    uint64_t SystemUptimeMs() override;
    MemoryStatus GetMemoryStatus() override;
    PowerStatus GetPowerStatus() override;
    std::optional<std::string> ProcessorBrand() override;
    LocalTime GetLocalTime() override;

    FileReadResult ReadFile(std::u16string_view path, size_t maxBytes) override;
    bool ReplaceFile(std::u16string_view path, std::string_view bytes) override;
    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path, OutputMode mode) override;
    bool DeleteFile(std::u16string_view path) override;
    bool RenameFile(std::u16string_view from, std::u16string_view to) override;
    std::u16string AnsiToUtf16(std::string_view bytes) override;
    void ReportFileProblem(std::u16string_view line) override;

private:
    // The creation time that the last ProcessCpuTime read along with the times.
    uint32_t timesPid_ = 0;
    uint64_t timesCreation_ = 0;
    // Clock: performance counter ticks, or GetTickCount64 where there is none.
    int64_t counterFrequency_ = 0;
    int64_t counterStart_ = 0;
    bool clockStarted_ = false;
    bool oleStarted_ = false;
    bool networkStarted_ = false;
    bool shutDown_ = false;
    std::unique_ptr<win32::WindowSession> window_;
    std::unique_ptr<win32::SpeechSession> speech_;
    std::unique_ptr<AudioSession> audio_;
    std::unique_ptr<win32::WorkerSet> workers_;
};

// Undoes a swap the updater left half done in the program's folder (it was
// killed), unless an updater of that folder still runs; before any file is read.
void FinishUnfinishedUpdate();

}  // namespace tarrow
