#pragma once
// A whole platform put together from one object per role, for tests that run
// the application (which holds the bundle) on real roles beside scripted ones.

#include <exception>

#include "platform/platform_services.hpp"

namespace tarrow::testing {

struct Roles {
    WindowAndEvents& window;
    Dialogs& dialogs;
    Keyboard& keyboard;
    Workers& workers;
    SpeechAndSound& speech;
    Clipboard& clipboard;
    ProcessControl& processes;
    SystemFacts& facts;
    Files& files;
};

class RolePlatform final : public PlatformServices {
public:
    explicit RolePlatform(Roles roles) : r_(roles) {}

    void InitServices() override { r_.window.InitServices(); }
    void ShutdownServices() override { r_.window.ShutdownServices(); }
    [[noreturn]] void EndProcess(int exitCode) override {
        r_.window.EndProcess(exitCode);
        std::terminate();  // not reached; the compiler cannot see through the call
    }
    Event WaitEvent(int64_t timeoutMs) override { return r_.window.WaitEvent(timeoutMs); }
    void PostExitRequest() override { r_.window.PostExitRequest(); }
    void CreateHiddenWindow(std::u16string_view title) override {
        r_.window.CreateHiddenWindow(title);
    }
    void CloseHiddenWindow() override { r_.window.CloseHiddenWindow(); }
    void AddTrayIcon(std::u16string_view tooltip) override { r_.window.AddTrayIcon(tooltip); }
    void SetTrayTooltip(std::u16string_view tooltip) override {
        r_.window.SetTrayTooltip(tooltip);
    }
    void RemoveTrayIcon() override { r_.window.RemoveTrayIcon(); }
    void CreateTrayMenu(int64_t itemId, std::u16string_view text) override {
        r_.window.CreateTrayMenu(itemId, text);
    }

    MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                              MessageStyle style) override {
        return r_.dialogs.ShowMessage(caption, text, style);
    }
    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText) override {
        return r_.dialogs.PromptText(title, prompt, defaultText);
    }

    bool RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                        std::u16string_view label) override {
        return r_.keyboard.RegisterHotkey(id, modifiers, virtualKey, label);
    }
    std::u16string KeyboardLayoutName() override { return r_.keyboard.KeyboardLayoutName(); }

    void StartWorker(std::function<void()> entry) override {
        r_.workers.StartWorker(std::move(entry));
    }
    bool StartUpdater() override { return r_.workers.StartUpdater(); }

    bool StartAudio() override { return r_.speech.StartAudio(); }
    CueId LoadCue(std::u16string_view path) override { return r_.speech.LoadCue(path); }
    void PlayCue(CueId cue) override { r_.speech.PlayCue(cue); }
    void LoadSpeech() override { r_.speech.LoadSpeech(); }
    void OutputSpeech(std::u16string_view text, bool interrupt) override {
        r_.speech.OutputSpeech(text, interrupt);
    }

    bool SetClipboardText(std::u16string_view text) override {
        return r_.clipboard.SetClipboardText(text);
    }

    bool TakeProcessSnapshot(std::vector<SnapshotEntry>& out) override {
        return r_.processes.TakeProcessSnapshot(out);
    }
    int64_t ProcessWorkingSet(uint32_t pid) override { return r_.processes.ProcessWorkingSet(pid); }
    std::optional<uint64_t> ProcessCpuTime(uint32_t pid) override {
        return r_.processes.ProcessCpuTime(pid);
    }
    uint64_t ProcessStartTime(uint32_t pid) override { return r_.processes.ProcessStartTime(pid); }
    bool TerminateProcess(uint32_t pid, uint64_t startTime, std::u16string_view name) override {
        return r_.processes.TerminateProcess(pid, startTime, name);
    }
    uint32_t CurrentProcessId() override { return r_.processes.CurrentProcessId(); }
    std::optional<std::u16string> ProcessImagePath(uint32_t pid) override {
        return r_.processes.ProcessImagePath(pid);
    }

    int64_t NowMs() override { return r_.facts.NowMs(); }
    uint32_t TickCount() override { return r_.facts.TickCount(); }
    uint64_t SystemUptimeMs() override { return r_.facts.SystemUptimeMs(); }
    MemoryStatus GetMemoryStatus() override { return r_.facts.GetMemoryStatus(); }
    PowerStatus GetPowerStatus() override { return r_.facts.GetPowerStatus(); }
    std::optional<std::string> ProcessorBrand() override { return r_.facts.ProcessorBrand(); }
    std::optional<uint64_t> SystemAffinityMask() override { return r_.facts.SystemAffinityMask(); }
    LocalTime GetLocalTime() override { return r_.facts.GetLocalTime(); }

    FileReadResult ReadFile(std::u16string_view path) override { return r_.files.ReadFile(path); }
    bool ReplaceFile(std::u16string_view path, std::string_view bytes) override {
        return r_.files.ReplaceFile(path, bytes);
    }
    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path,
                                               OutputMode mode) override {
        return r_.files.OpenOutputFile(path, mode);
    }
    bool DeleteFile(std::u16string_view path) override { return r_.files.DeleteFile(path); }
    bool RenameFile(std::u16string_view from, std::u16string_view to) override {
        return r_.files.RenameFile(from, to);
    }
    std::u16string AnsiToUtf16(std::string_view bytes) override {
        return r_.files.AnsiToUtf16(bytes);
    }

private:
    Roles r_;
};

}  // namespace tarrow::testing
