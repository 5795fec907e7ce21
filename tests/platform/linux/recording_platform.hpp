#pragma once
// The real Linux backend for processes, clocks and files, with speech, the
// tray and the dialogs recorded instead of shown, so that the logic can be
// driven against the live system without a display or a speech server.

#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"

namespace tarrow::testing {

class RecordingPlatform final : public PlatformServices {
public:
    explicit RecordingPlatform(SystemRoots roots = {}) : real(std::move(roots)) {}

    LinuxPlatform real;
    std::vector<std::u16string> spoken;
    std::vector<std::u16string> tooltips;
    std::vector<std::u16string> messages;
    std::u16string promptAnswer;  // every prompt's answer

    void InitServices() override {}
    void ShutdownServices() override {}
    [[noreturn]] void EndProcess(int exitCode) override { real.EndProcess(exitCode); }
    int64_t NowMs() override { return real.NowMs(); }
    Event WaitEvent(int64_t) override { return {}; }
    void PostExitRequest() override {}
    void CreateHiddenWindow(std::u16string_view) override {}
    void CloseHiddenWindow() override {}
    void AddTrayIcon(std::u16string_view tooltip) override { tooltips.emplace_back(tooltip); }
    void SetTrayTooltip(std::u16string_view tooltip) override { tooltips.emplace_back(tooltip); }
    void RemoveTrayIcon() override {}
    void CreateTrayMenu(int64_t, std::u16string_view) override {}
    int ShowMessage(std::u16string_view, std::u16string_view text, unsigned style) override {
        messages.emplace_back(text);
        return style == kMbYesNo ? kIdNo : kIdOk;
    }
    std::u16string PromptText(std::u16string_view, std::u16string_view,
                              std::u16string_view) override {
        return promptAnswer;
    }
    bool RegisterHotkey(int, uint32_t, uint8_t, std::u16string_view) override { return true; }
    std::u16string KeyboardLayoutName() override { return u"00000409"; }
    void StartWorker(std::function<void()>) override {}
    bool StartUpdater() override { return false; }
    bool StartAudio() override { return false; }
    CueId LoadCue(std::u16string_view) override { return kNoCue; }
    void PlayCue(CueId) override {}
    void LoadSpeech() override {}
    void OutputSpeech(std::u16string_view text, bool) override { spoken.emplace_back(text); }
    bool SetClipboardText(std::u16string_view) override { return false; }

    bool TakeProcessSnapshot(std::vector<SnapshotEntry>& out) override {
        return real.TakeProcessSnapshot(out);
    }
    int64_t ProcessWorkingSet(uint32_t pid) override { return real.ProcessWorkingSet(pid); }
    std::optional<uint64_t> ProcessCpuTime(uint32_t pid) override {
        return real.ProcessCpuTime(pid);
    }
    std::optional<uint64_t> SystemAffinityMask() override { return real.SystemAffinityMask(); }
    uint64_t ProcessStartTime(uint32_t pid) override { return real.ProcessStartTime(pid); }
    bool TerminateProcess(uint32_t pid, uint64_t startTime, std::u16string_view name) override {
        return real.TerminateProcess(pid, startTime, name);
    }
    uint32_t CurrentProcessId() override { return real.CurrentProcessId(); }
    std::optional<std::u16string> ProcessImagePath(uint32_t pid) override {
        return real.ProcessImagePath(pid);
    }
    uint32_t TickCount() override { return real.TickCount(); }
    uint64_t SystemUptimeMs() override { return real.SystemUptimeMs(); }
    MemoryStatus GetMemoryStatus() override { return real.GetMemoryStatus(); }
    PowerStatus GetPowerStatus() override { return real.GetPowerStatus(); }
    std::optional<std::string> ProcessorBrand() override { return real.ProcessorBrand(); }
    LocalTime GetLocalTime() override { return real.GetLocalTime(); }
    FileReadResult ReadFile(std::u16string_view path) override { return real.ReadFile(path); }
    bool ReplaceFile(std::u16string_view path, std::string_view bytes) override {
        return real.ReplaceFile(path, bytes);
    }
    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path,
                                               OutputMode mode) override {
        return real.OpenOutputFile(path, mode);
    }
    bool DeleteFile(std::u16string_view path) override { return real.DeleteFile(path); }
    bool RenameFile(std::u16string_view from, std::u16string_view to) override {
        return real.RenameFile(from, to);
    }
    std::u16string AnsiToUtf16(std::string_view bytes) override {
        return real.AnsiToUtf16(bytes);
    }
};

}  // namespace tarrow::testing
