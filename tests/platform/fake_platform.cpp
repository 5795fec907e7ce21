#include "platform/fake_platform.hpp"

#include <algorithm>
#include <stdexcept>

#include "platform/text.hpp"
#include "speech/wording.hpp"

namespace tarrow::testing {

namespace {

class FakeOutputFile final : public OutputFile {
public:
    FakeOutputFile(std::string& target, std::mutex& lock, size_t room)
        : target_(target), lock_(lock), room_(room) {}
    size_t Write(std::string_view bytes) override {
        std::lock_guard<std::mutex> guard(lock_);
        const size_t taken = std::min(bytes.size(), room_);
        target_.append(bytes.substr(0, taken));
        room_ -= taken;
        return taken;
    }
    std::u16string FailureReason() const override { return u"No space left on device"; }

private:
    std::string& target_;
    std::mutex& lock_;
    size_t room_;
};

}  // namespace

std::string Narrow(std::u16string_view text) { return Utf16ToUtf8(text); }

FakeProcess& FakePlatform::AddProcess(uint32_t pid, std::u16string exe, int64_t workingSet,
                                      uint64_t cpuTime) {
    FakeProcess p;
    p.pid = pid;
    p.exeFile = std::move(exe);
    p.workingSet = workingSet;
    p.cpuTime = cpuTime;
    processes.push_back(std::move(p));
    return processes.back();
}

FakeProcess* FakePlatform::FindProcess(uint32_t pid) {
    for (auto& p : processes)
        if (p.pid == pid) return &p;
    return nullptr;
}

void FakePlatform::PushHotkey(int64_t id, int64_t delayMs) {
    events.push_back({delayMs, {EventKind::Hotkey, id}});
}

void FakePlatform::RunWorkers() {
    while (true) {
        std::function<void()> next;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (workers_.empty()) return;
            next = std::move(workers_.front());
            workers_.pop_front();
        }
        next();
    }
}

size_t FakePlatform::PendingWorkers() const {
    std::lock_guard<std::mutex> guard(lock_);
    return workers_.size();
}

std::vector<std::u16string> FakePlatform::SpokenTexts() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::u16string> texts;
    for (const auto& s : spoken) texts.push_back(s.text);
    return texts;
}

void FakePlatform::InitServices() { calls.push_back("InitServices"); }

void FakePlatform::ShutdownServices() {
    calls.push_back("ShutdownServices");
    ++shutdowns;
    trayIconPresent = false;  // releasing the tray icons removes ours on every road
}

void FakePlatform::EndProcess(int) { throw std::logic_error("the logic never ends the process"); }

int64_t FakePlatform::NowMs() { return now; }

Event FakePlatform::WaitEvent(int64_t timeoutMs) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!posted_.empty()) {
            const Event e = posted_.front();
            posted_.pop_front();
            return e;
        }
    }
    if (events.empty()) {
        if (closeWhenIdle) return {EventKind::Close, 0};
        now += timeoutMs;
        return {};
    }
    ScriptedEvent& next = events.front();
    if (next.delayMs > 0) {
        const int64_t step = std::min<int64_t>(next.delayMs, std::max<int64_t>(timeoutMs, 0));
        next.delayMs -= step;
        now += step;
        if (next.delayMs > 0 || step > 0) return {};
    }
    const Event e = next.event;
    events.pop_front();
    return e;
}

void FakePlatform::PostExitRequest() {
    std::lock_guard<std::mutex> guard(lock_);
    posted_.push_back({EventKind::ExitRequest, 0});
}

void FakePlatform::CreateHiddenWindow(std::u16string_view title) {
    calls.push_back("CreateHiddenWindow " + Narrow(title));
    windowOpen = true;
}

void FakePlatform::CloseHiddenWindow() {
    calls.push_back("CloseHiddenWindow");
    windowOpen = false;
}

void FakePlatform::AddTrayIcon(std::u16string_view tooltip) {
    calls.push_back("AddTrayIcon " + Narrow(tooltip));
    trayIconPresent = true;
    tooltips.emplace_back(tooltip);
}

void FakePlatform::SetTrayTooltip(std::u16string_view tooltip) {
    tooltips.emplace_back(tooltip.substr(0, 63));
}

void FakePlatform::RemoveTrayIcon() {
    calls.push_back("RemoveTrayIcon");
    trayIconPresent = false;
}

void FakePlatform::CreateTrayMenu(int64_t itemId, std::u16string_view text) {
    calls.push_back("CreateTrayMenu " + std::to_string(itemId) + " " + Narrow(text));
}

MessageAnswer FakePlatform::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                        MessageStyle style) {
    std::function<void()> during;
    MessageAnswer answer = style == kMbYesNo ? kIdNo : kIdOk;
    {
        std::lock_guard<std::mutex> guard(lock_);
        calls.push_back("ShowMessage " + Narrow(caption));
        messages.push_back({std::u16string(caption), std::u16string(text), style});
        if (!messageAnswers.empty()) {
            answer = messageAnswers.front();
            messageAnswers.pop_front();
        }
        now += dialogDurationMs;
        during = onShowMessage;
    }
    if (during) during();
    return answer;
}

std::u16string FakePlatform::PromptText(std::u16string_view title, std::u16string_view prompt,
                                        std::u16string_view defaultText) {
    calls.push_back("PromptText " + Narrow(title));
    prompts.push_back(
        {std::u16string(title), std::u16string(prompt), std::u16string(defaultText)});
    now += dialogDurationMs;
    if (promptAnswers.empty()) return {};
    std::u16string answer = promptAnswers.front();
    promptAnswers.pop_front();
    return answer;
}

bool FakePlatform::RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                  std::u16string_view label) {
    calls.push_back("RegisterHotkey " + std::to_string(id));
    registrations.push_back({id, modifiers, virtualKey, std::u16string(label)});
    return failingHotkeys.count(id) == 0;
}

std::u16string FakePlatform::KeyboardLayoutName() { return layoutName; }

void FakePlatform::StartWorker(std::function<void()> entry) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        calls.push_back("StartWorker");
        if (!runWorkersInline) {
            workers_.push_back(std::move(entry));
            return;
        }
    }
    entry();
}

bool FakePlatform::StartUpdater() {
    std::lock_guard<std::mutex> guard(lock_);
    calls.push_back("StartUpdater");
    ++updaterStarted;
    return updaterStarts;
}

bool FakePlatform::StartAudio() {
    calls.push_back("StartAudio");
    return audioStarts;
}

CueId FakePlatform::LoadCue(std::u16string_view path) {
    calls.push_back("LoadCue " + Narrow(path));
    if (missingCues.count(std::u16string(path))) return kNoCue;
    loadedCuePaths.emplace_back(path);
    return static_cast<CueId>(loadedCuePaths.size() - 1);
}

void FakePlatform::PlayCue(CueId cue) {
    if (cue == kNoCue) return;
    calls.push_back("PlayCue " + std::to_string(cue));
    played.push_back(cue);
    playedAt.push_back(now);
}

void FakePlatform::LoadSpeech() {
    std::lock_guard<std::mutex> guard(lock_);
    calls.push_back("LoadSpeech");
    ++speechLoads;
}

void FakePlatform::OutputSpeech(std::u16string_view text, bool interrupt) {
    std::lock_guard<std::mutex> guard(lock_);
    calls.push_back("Speak " + Narrow(text));
    spoken.push_back({std::u16string(text), interrupt});
    spokenAt.push_back(now);
}

bool FakePlatform::SetClipboardText(std::u16string_view text) {
    if (clipboardFails) return false;
    clipboard.emplace_back(text);
    return true;
}

bool FakePlatform::TakeProcessSnapshot(std::vector<SnapshotEntry>& out) {
    calls.push_back("TakeProcessSnapshot");
    now += snapshotDurationMs;
    out.clear();
    if (snapshotFails) return false;
    out.push_back({0, u"[System Process]"});
    for (const auto& p : processes) out.push_back({p.pid, p.exeFile});
    return true;
}

int64_t FakePlatform::ProcessWorkingSet(uint32_t pid) {
    const FakeProcess* p = FindProcess(pid);
    return p ? p->workingSet : 0;
}

std::optional<uint64_t> FakePlatform::ProcessCpuTime(uint32_t pid) {
    const FakeProcess* p = FindProcess(pid);
    if (!p) return std::nullopt;
    return p->cpuTime;
}

std::optional<uint64_t> FakePlatform::SystemAffinityMask() { return affinityMask; }

uint64_t FakePlatform::ProcessStartTime(uint32_t pid) {
    const FakeProcess* p = FindProcess(pid);
    return p ? p->startTime : 0;
}

bool FakePlatform::TerminateProcess(uint32_t pid, uint64_t startTime,
                                    std::u16string_view name) {
    const auto it = std::find_if(processes.begin(), processes.end(),
                                 [&](const FakeProcess& p) { return p.pid == pid; });
    if (it == processes.end() || it->startTime != startTime ||
        TrimEnds(it->exeFile, u' ') != name)
        return false;
    terminated.push_back(pid);
    if (!it->refusesTermination) processes.erase(it);
    return true;
}

uint32_t FakePlatform::CurrentProcessId() { return currentPid; }

std::optional<std::u16string> FakePlatform::ProcessImagePath(uint32_t pid) {
    const FakeProcess* p = FindProcess(pid);
    if (!p) return std::nullopt;
    return p->imagePath;
}

uint32_t FakePlatform::TickCount() { return static_cast<uint32_t>(tickBase + now); }

uint64_t FakePlatform::SystemUptimeMs() { return uptimeMs; }

MemoryStatus FakePlatform::GetMemoryStatus() { return memory; }

PowerStatus FakePlatform::GetPowerStatus() { return power; }

std::optional<std::string> FakePlatform::ProcessorBrand() { return brand; }

LocalTime FakePlatform::GetLocalTime() { return localTime; }

FileReadResult FakePlatform::ReadFile(std::u16string_view path, size_t maxBytes) {
    const std::u16string key(path);
    calls.push_back("ReadFile " + Narrow(path));
    if (unreadableFiles.count(key)) return {FileReadStatus::Unreadable, {}};
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = files.find(key);
    if (it == files.end()) return {FileReadStatus::Missing, {}};
    readLimits.push_back(maxBytes);
    if (it->second.size() > maxBytes) return {FileReadStatus::Ok, it->second.substr(0, maxBytes), true};
    return {FileReadStatus::Ok, it->second};
}

bool FakePlatform::ReplaceFile(std::u16string_view path, std::string_view bytes) {
    const std::u16string key(path);
    calls.push_back("ReplaceFile " + Narrow(path));
    if (readOnlyFiles.count(key) || unreadableFiles.count(key) || failingReplaces.count(key))
        return false;
    std::lock_guard<std::mutex> guard(lock_);
    files[key] = std::string(bytes);
    return true;
}

std::unique_ptr<OutputFile> FakePlatform::OpenOutputFile(std::u16string_view path,
                                                         OutputMode mode) {
    const std::u16string key(path);
    calls.push_back("OpenOutputFile " + Narrow(path));
    if (readOnlyFiles.count(key) || unreadableFiles.count(key)) return nullptr;
    std::lock_guard<std::mutex> guard(lock_);
    std::string& target = files[key];
    if (mode == OutputMode::Exclusive) target.clear();
    const auto full = fullFiles.find(key);
    const size_t room = full == fullFiles.end() ? SIZE_MAX : full->second;
    return std::make_unique<FakeOutputFile>(target, lock_, room);
}

bool FakePlatform::DeleteFile(std::u16string_view path) {
    std::lock_guard<std::mutex> guard(lock_);
    return files.erase(std::u16string(path)) > 0;
}

bool FakePlatform::RenameFile(std::u16string_view from, std::u16string_view to) {
    std::lock_guard<std::mutex> guard(lock_);
    calls.push_back("RenameFile " + Narrow(from) + " " + Narrow(to));
    const auto it = files.find(std::u16string(from));
    if (it == files.end() || readOnlyFiles.count(std::u16string(to))) return false;
    std::string bytes = std::move(it->second);
    files.erase(it);
    files[std::u16string(to)] = std::move(bytes);
    return true;
}

void FakePlatform::ReportFileProblem(std::u16string_view line) {
    std::lock_guard<std::mutex> guard(lock_);
    fileProblems.emplace_back(line);
}

std::u16string FakePlatform::AnsiToUtf16(std::string_view bytes) {
    // The fake's "ANSI" code page is Latin-1.
    std::u16string out;
    for (const char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace tarrow::testing
