#pragma once
// The Linux backend: the shortcuts portal, X11 or the terminal for events
// and dialogs, speech-dispatcher, miniaudio, /proc and /sys.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/platform_services.hpp"

namespace tarrow {

class FrontEnd;         // front_end.hpp
class SessionBus;       // bus/session_bus.hpp
class StatusNotifierTray;  // bus/status_notifier_tray.hpp
class WakePipe;         // wake_pipe.hpp
struct SpeechSession;   // speech/speech_session.hpp
struct BrailleSession;  // braille/braille.hpp
struct AudioSession;    // platform/audio/audio_session.hpp
struct ProcReader;      // proc/proc_reader.hpp

// Where /proc and /sys are read; tests point these at fixture trees.
struct SystemRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
};

class LinuxPlatform final : public PlatformServices {
public:
    explicit LinuxPlatform(SystemRoots roots = {});
    ~LinuxPlatform() override;

    // On Wayland the shortcuts portal when the bus offers it; else the X
    // display, else terminal mode; false (with the reason) when none is there.
    bool OpenUserInterface(std::string& why);
    // SIGTERM, SIGHUP and SIGINT close the program the way a close request does
    // (WaitEvent yields Close); SIGPIPE is ignored.
    void CatchTerminationSignals() noexcept;
    // Back to no front end; what was opened is given back.
    void CloseUserInterface() noexcept;

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

    void PrepareHotkeys(std::span<const HotkeyRequest> hotkeys) override;
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
    void SetBrailleHold(int64_t holdMs) override;

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
    void ShowTrayOnceTheBusAnswers();

    SystemRoots roots_;
    std::chrono::steady_clock::time_point clockStart_;
    bool clockStarted_ = false;
    std::unique_ptr<WakePipe> wake_;
    std::unique_ptr<SessionBus> bus_;  // opened with the user interface when there is one
    std::unique_ptr<FrontEnd> headless_;
    std::unique_ptr<FrontEnd> opened_;  // portal, X11 or terminal; kept until the platform goes
    std::atomic<FrontEnd*> frontEnd_;   // the one in use: opened_, else headless_
    std::unique_ptr<StatusNotifierTray> tray_;  // while a tray host shows our item
    bool trayPending_ = false;  // asked for, waiting for the bus to answer
    std::u16string trayFirstTooltip_, trayTooltip_;  // as added, and the latest
    std::optional<std::pair<int64_t, std::u16string>> trayMenu_;
    std::unique_ptr<SpeechSession> speech_;
    std::unique_ptr<BrailleSession> braille_;
    std::unique_ptr<AudioSession> audio_;
    std::unique_ptr<ProcReader> proc_;
    std::string cueFolder_;  // an installed program's cues; empty: snd/ here
};

}  // namespace tarrow
