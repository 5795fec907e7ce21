#pragma once
// A scripted platform: the clock, events, dialog answers, processes, memory,
// power and files are set by the test; what the logic speaks, plays, copies
// and shows is recorded. Nothing sleeps: waiting moves the clock.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/platform_services.hpp"

namespace tarrow::testing {

struct SpokenText {
    std::u16string text;
    bool interrupt = false;
    bool operator==(const SpokenText&) const = default;
};

struct ShownMessage {
    std::u16string caption;
    std::u16string text;
    MessageStyle style = kMbOk;
    bool operator==(const ShownMessage&) const = default;
};

struct PromptCall {
    std::u16string title;
    std::u16string prompt;
    std::u16string defaultText;
};

struct Registration {
    int id = 0;
    uint32_t modifiers = 0;
    uint8_t virtualKey = 0;
    std::u16string label;
};

// A process of the scripted table.
struct FakeProcess {
    uint32_t pid = 0;
    std::u16string exeFile;
    int64_t workingSet = 0;
    std::optional<uint64_t> cpuTime = 0;  // 100-ns units; nullopt: times unreadable
    std::optional<std::u16string> imagePath;
    bool refusesTermination = false;
    uint64_t startTime = 0;
};

// A scripted event: the wait first lets `delayMs` pass, then yields `event`.
struct ScriptedEvent {
    int64_t delayMs = 0;
    Event event;
};

class FakePlatform final : public PlatformServices {
public:
    // --- scripted inputs ---
    int64_t now = 0;               // the millisecond clock
    uint32_t tickBase = 1000000;   // TickCount() = tickBase + now
    std::deque<ScriptedEvent> events;
    // When no event is left: yield Close so a loop under test always ends.
    bool closeWhenIdle = true;
    std::deque<MessageAnswer> messageAnswers;  // default: kIdOk / kIdNo
    std::deque<std::u16string> promptAnswers;  // default: empty text
    int64_t dialogDurationMs = 0;         // how long each box or prompt stays open
    std::function<void()> onShowMessage;  // runs while a box is open
    std::set<int> failingHotkeys;
    std::u16string layoutName = u"00000409";
    bool audioStarts = true;
    std::set<std::u16string> missingCues;
    bool clipboardFails = false;
    bool snapshotFails = false;
    int64_t snapshotDurationMs = 0;  // the clock moves this much during each snapshot
    std::vector<FakeProcess> processes;
    uint32_t currentPid = 0;  // the program's own PID; 0 lists no own entry
    std::optional<uint64_t> affinityMask = 0xF;
    uint64_t uptimeMs = 0;
    MemoryStatus memory{8ull << 30, 4ull << 30};
    PowerStatus power{};
    std::optional<std::string> brand = "Fake CPU";
    LocalTime localTime{2024, 3, 8, 14, 5, 9};
    std::map<std::u16string, std::string> files;
    std::set<std::u16string> readOnlyFiles;
    std::set<std::u16string> unreadableFiles;
    // ReplaceFile fails before its rename (disk full): the old file stays.
    std::set<std::u16string> failingReplaces;
    // Writes to these files stop after this many bytes each open (disk full).
    std::map<std::u16string, size_t> fullFiles;
    bool updaterStarts = true;
    bool runWorkersInline = false;  // else StartWorker queues them for RunWorkers()

    // --- recorded outputs ---
    std::vector<std::string> calls;  // significant calls in order, for order tests
    std::vector<SpokenText> spoken;
    std::vector<CueId> played;
    std::vector<int64_t> spokenAt;  // the clock at each entry of `spoken`
    std::vector<int64_t> playedAt;  // the clock at each entry of `played`
    std::vector<std::u16string> clipboard;  // every text set, in order
    std::vector<std::u16string> tooltips;
    std::vector<ShownMessage> messages;
    std::vector<PromptCall> prompts;
    std::vector<Registration> registrations;  // successful and failed, in order
    std::vector<uint32_t> terminated;  // requests that reached the process listed
    std::vector<std::u16string> fileProblems;  // the lines for standard error
    std::vector<size_t> readLimits;  // the byte limit of each read of an existing file
    int speechLoads = 0;
    int shutdowns = 0;
    bool trayIconPresent = false;
    bool windowOpen = false;
    int updaterStarted = 0;

    // --- helpers for tests ---
    FakeProcess& AddProcess(uint32_t pid, std::u16string exe, int64_t workingSet,
                            uint64_t cpuTime = 0);
    FakeProcess* FindProcess(uint32_t pid);
    void PushHotkey(int64_t id, int64_t delayMs = 0);
    // Runs the queued workers (and any they queue) on the calling thread.
    void RunWorkers();
    std::vector<std::u16string> SpokenTexts() const;
    size_t PendingWorkers() const;

    // --- PlatformServices ---
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
    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path,
                                               OutputMode mode) override;
    bool DeleteFile(std::u16string_view path) override;
    bool RenameFile(std::u16string_view from, std::u16string_view to) override;
    std::u16string AnsiToUtf16(std::string_view bytes) override;
    void ReportFileProblem(std::u16string_view line) override;

    // Cues are numbered in load order; this maps a cue back to its path.
    std::vector<std::u16string> loadedCuePaths;

private:
    mutable std::mutex lock_;  // guards what workers touch: speech, boxes, events, workers
    std::deque<std::function<void()>> workers_;
    std::deque<Event> posted_;
};

// Readable output for gtest failures.
std::string Narrow(std::u16string_view text);
inline void PrintTo(const SpokenText& s, std::ostream* os) {
    *os << '"' << Narrow(s.text) << '"' << (s.interrupt ? " (interrupt)" : "");
}

}  // namespace tarrow::testing
