#pragma once
// The process list: snapshot and CPU sampling, navigation and the focused
// process, and ending processes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform_services.hpp"
#include "speech/speech.hpp"

namespace tarrow {

struct ProcessEntry {
    std::u16string name;  // executable file name, spaces trimmed at both ends
    int64_t memory = 0;   // working set in bytes, at least 1
    double cpu = 0;       // whole percent of the whole machine
    int64_t pid = 0;
    uint64_t startTime = 0;  // with pid and name, tells a reused PID apart
};

enum SortMode : int64_t { kSortByName = 1, kSortByMemory = 2, kSortByCpu = 3 };

// The process the cursor stands on, so that the cursor can follow it when a
// refresh moves it: the user acts on the process they last heard.
struct CursorProcess {
    int64_t pid = 0;
    uint64_t startTime = 0;
    std::u16string name;
};

struct ProcessList {
    std::vector<ProcessEntry> entries;
    int64_t cursor = 0;
    std::optional<CursorProcess> cursorProcess;  // none while the cursor is off the list
    int64_t sortMode = kSortByName;
};

struct CpuSample {
    int32_t cpuTime = 0;
    int32_t tick = 0;  // 0: no reference
    double lastPercent = 0;
};

using CpuSampleTable = std::unordered_map<int64_t, CpuSample>;

// Everything the process actions work on; owned by the application.
struct ProcessState {
    ProcessList list;
    CpuSampleTable cpuSamples;
    int64_t focusedPid = 0;
    std::u16string lastSearchText;
    std::vector<SnapshotEntry> snapshot;  // reused between refreshes
};

// What a refresh of the list reads and writes: the processes, the clock and
// processor facts, and the tray tooltip it keeps current. The application's
// PlatformServices converts to it.
struct ProcessRoles {
    ProcessRoles(ProcessControl& control, SystemFacts& facts, WindowAndEvents& window)
        : control(control), facts(facts), window(window) {}
    ProcessRoles(PlatformServices& platform) : ProcessRoles(platform, platform, platform) {}
    ProcessRoles(const PlatformRoles& roles)
        : ProcessRoles(roles.processes, roles.facts, roles.window) {}

    ProcessControl& control;
    SystemFacts& facts;
    WindowAndEvents& window;
};

// Snapshot and sampling.
void RefreshProcessList(ProcessRoles roles, ProcessState& state);
int64_t TotalCpuPercent(const ProcessList& list);
// The index of the first entry with this PID, or -1.
int64_t IndexOfPid(const ProcessList& list, int64_t pid);
// Refreshes the list, then gives IndexOfPid in the new one.
int64_t FindIndexByPid(ProcessRoles roles, ProcessState& state, int64_t pid);
// nullptr when the index is outside the list.
const ProcessEntry* EntryAt(const ProcessList& list, int64_t index);
// Puts the cursor on an index and remembers the process standing there.
void SetCursor(ProcessList& list, int64_t index);
// After a rebuild: the cursor moves to its process's new index; when that
// process is gone the index stays, and the cursor takes the entry now there.
void FollowCursorProcess(ProcessList& list);
bool SameProcess(const ProcessEntry& entry, const CursorProcess& process);
// Refreshes, then gives the focused process's entry, or nullptr when none was
// chosen or it has ended.
const ProcessEntry* RefreshAndFindFocused(ProcessRoles roles, ProcessState& state);
int64_t ProcessorCount(SystemFacts& facts);

// Navigation, search and the focused process.
void SpeakEntry(SpeechOutput& speech, const ProcessList& list, int64_t index);
int64_t FindByName(const ProcessList& list, std::u16string_view text, bool afterCursor);
// The first entry from `start` on whose name contains `text` in any letter case, or -1.
int64_t FindByNameFrom(const ProcessList& list, std::u16string_view text, int64_t start);
void PreviousProcess(SpeechOutput& speech, ProcessState& state);
void NextProcess(SpeechOutput& speech, ProcessState& state);
void FirstProcess(SpeechOutput& speech, ProcessState& state);
void LastProcess(SpeechOutput& speech, ProcessState& state);
void FocusMostMemory(SpeechOutput& speech, ProcessState& state);
void FocusMostCpu(SpeechOutput& speech, ProcessState& state);
void FindProcess(Dialogs& dialogs, SpeechOutput& speech, ProcessState& state);
void ToggleSort(ProcessRoles roles, SpeechOutput& speech, ProcessState& state);
void FocusProcess(SpeechOutput& speech, ProcessState& state);
void SpeakFocusedName(ProcessRoles roles, SpeechOutput& speech, ProcessState& state);
void SpeakFocusedCpu(ProcessRoles roles, SpeechOutput& speech, ProcessState& state);
void SpeakFocusedMemory(ProcessRoles roles, SpeechOutput& speech, ProcessState& state);
void SpeakFullPath(ProcessControl& control, SpeechOutput& speech, ProcessState& state);

// Ending processes. The program's own entry is never terminated: choosing it
// at the cursor asks the caller to take the regular exit road instead. With
// `confirmWith`, the user is asked first and only Yes goes on.
enum class EndOutcome { Stay, ExitProgram };
EndOutcome EndProcessAtCursor(ProcessRoles roles, ProcessState& state, Dialogs* confirmWith);
EndOutcome KillWithConfirmation(ProcessRoles roles, Dialogs& dialogs, SpeechOutput& speech,
                                ProcessState& state);
EndOutcome KillWithoutConfirmation(ProcessRoles roles, SpeechOutput& speech, ProcessState& state);
// processes.txt is read up to these limits; what lies beyond is ignored.
inline constexpr size_t kFavouriteByteLimit = size_t(1) << 20;
inline constexpr size_t kFavouriteLineLimit = 4096;
void KillFavourites(ProcessRoles roles, Files& files, SpeechOutput& speech, ProcessState& state);

}  // namespace tarrow
