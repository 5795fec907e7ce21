// Walking the list, searching it, and the focused process.

#include <algorithm>

#include "platform/text.hpp"
#include "processes/processes.hpp"
#include "speech/wording.hpp"

namespace tarrow {

namespace {

constexpr size_t kPathUnits = 260;

int64_t Count(const ProcessList& list) { return static_cast<int64_t>(list.entries.size()); }

// The entry under the cursor, or the first one (moving the cursor there) when
// the cursor has fallen off the list.
const ProcessEntry* EntryAtCursorOrFirst(ProcessList& list) {
    if (!EntryAt(list, list.cursor)) SetCursor(list, 0);
    return EntryAt(list, list.cursor);
}

// Finds the focused process in a fresh list; says so when it is gone.
const ProcessEntry* RefreshAndFindFocusedOrSay(ProcessRoles roles, SpeechOutput& speech,
                                               ProcessState& state) {
    const ProcessEntry* entry = RefreshAndFindFocused(roles, state);
    if (!entry) speech.Speak(u"No focused process.", false);
    return entry;
}

// Moves the cursor to the first entry with the largest figure (the first entry
// when none is above 0) and speaks it.
template <typename Figure>
void FocusLargest(SpeechOutput& speech, ProcessList& list, Figure figure) {
    int64_t best = 0;
    int64_t bestValue = 0;
    for (int64_t i = 0; i < Count(list); ++i) {
        const int64_t value = figure(list.entries[static_cast<size_t>(i)]);
        if (value > bestValue) {
            best = i;
            bestValue = value;
        }
    }
    SetCursor(list, best);
    SpeakEntry(speech, list, best);
}

void KeepCursorOnList(ProcessList& list) {
    if (!EntryAt(list, list.cursor)) SetCursor(list, 0);
}

}  // namespace

void SpeakEntry(SpeechOutput& speech, const ProcessList& list, int64_t index) {
    const ProcessEntry* e = EntryAt(list, index);
    if (!e) return;
    speech.Speak(e->name + u": " + IntegerText(ToWholeNumber(e->cpu)) + u"%; " +
                     FormatBytes(static_cast<float>(e->memory)) + u". " +
                     IntegerText(index + 1) + u" of " + IntegerText(Count(list)),
                 true);
}

int64_t FindByNameFrom(const ProcessList& list, std::u16string_view text, int64_t start) {
    if (text.empty()) return -1;
    const std::u16string wanted = LowerText(text);
    for (int64_t i = std::max<int64_t>(start, 0); i < Count(list); ++i) {
        const std::u16string& name = list.entries[static_cast<size_t>(i)].name;
        if (!name.empty() && LowerText(name).find(wanted) != std::u16string::npos) return i;
    }
    return -1;
}

int64_t FindByName(const ProcessList& list, std::u16string_view text, bool afterCursor) {
    return FindByNameFrom(list, text, afterCursor ? std::max<int64_t>(list.cursor, -1) + 1 : 0);
}

void PreviousProcess(SpeechOutput& speech, ProcessState& state) {
    ProcessList& list = state.list;
    if (list.cursor <= 0) {
        speech.Speak(u"Top", true);
        return;
    }
    SetCursor(list, list.cursor - 1);
    if (EntryAt(list, list.cursor))
        SpeakEntry(speech, list, list.cursor);
    else
        SetCursor(list, 0);  // the list shrank below the cursor
}

void NextProcess(SpeechOutput& speech, ProcessState& state) {
    ProcessList& list = state.list;
    SetCursor(list, list.cursor + 1);
    if (EntryAt(list, list.cursor)) {
        SpeakEntry(speech, list, list.cursor);
        return;
    }
    // On the last entry; an empty list has none, so the cursor stays a valid start.
    SetCursor(list, std::max<int64_t>(Count(list) - 1, 0));
    speech.Speak(u"Bottom", true);
}

void FirstProcess(SpeechOutput& speech, ProcessState& state) {
    SetCursor(state.list, 0);
    SpeakEntry(speech, state.list, 0);  // an empty list says nothing
}

void LastProcess(SpeechOutput& speech, ProcessState& state) {
    ProcessList& list = state.list;
    SetCursor(list, Count(list) - 1);
    if (!EntryAt(list, list.cursor)) SetCursor(list, 0);
    SpeakEntry(speech, list, list.cursor);
}

void FocusMostMemory(SpeechOutput& speech, ProcessState& state) {
    FocusLargest(speech, state.list, [](const ProcessEntry& e) { return e.memory; });
}

void FocusMostCpu(SpeechOutput& speech, ProcessState& state) {
    FocusLargest(speech, state.list, [](const ProcessEntry& e) { return ToWholeNumber(e.cpu); });
}

void FindProcess(Dialogs& dialogs, SpeechOutput& speech, ProcessState& state) {
    state.lastSearchText = dialogs.PromptText(u"Find process",
                                              u"Enter the name of a process to find.",
                                              state.lastSearchText);
    if (state.lastSearchText.empty()) return;
    const int64_t index = FindByName(state.list, state.lastSearchText, true);
    if (index < 0) {
        dialogs.ShowMessage(u"Not found", u"The selected process was not found.", kMbOk);
        return;
    }
    SetCursor(state.list, index);
    SpeakEntry(speech, state.list, index);
}

void ToggleSort(ProcessRoles roles, SpeechOutput& speech, ProcessState& state) {
    int64_t& mode = state.list.sortMode;
    switch (mode) {
        case kSortByName:
            mode = kSortByMemory;
            speech.Speak(u"Memory", true);
            break;
        case kSortByMemory:
            mode = kSortByCpu;
            speech.Speak(u"CPU", true);
            break;
        default:
            mode = kSortByName;
            speech.Speak(u"Name", true);
            break;
    }
    RefreshProcessList(roles, state);
}

void FocusProcess(SpeechOutput& speech, ProcessState& state) {
    const ProcessEntry* e = EntryAtCursorOrFirst(state.list);
    if (!e) return;  // nothing listed: nothing to focus
    state.focusedPid = e->pid;
    speech.Speak(e->name + u" is now the focused process.", true);
}

void SpeakFocusedName(ProcessRoles roles, SpeechOutput& speech, ProcessState& state) {
    const ProcessEntry* e = RefreshAndFindFocusedOrSay(roles, speech, state);
    if (!e) return;
    speech.Speak(e->name + u", " + IntegerText(e->pid), true);
    KeepCursorOnList(state.list);
}

void SpeakFocusedCpu(ProcessRoles roles, SpeechOutput& speech, ProcessState& state) {
    const ProcessEntry* e = RefreshAndFindFocusedOrSay(roles, speech, state);
    if (!e) return;
    speech.Speak(IntegerText(ToWholeNumber(e->cpu)), true);
    KeepCursorOnList(state.list);
}

void SpeakFocusedMemory(ProcessRoles roles, SpeechOutput& speech, ProcessState& state) {
    const ProcessEntry* e = RefreshAndFindFocusedOrSay(roles, speech, state);
    if (!e) return;
    speech.Speak(FormatBytes(static_cast<float>(e->memory)), true);
    KeepCursorOnList(state.list);
}

void SpeakFullPath(ProcessControl& control, SpeechOutput& speech, ProcessState& state) {
    const ProcessEntry* e = EntryAtCursorOrFirst(state.list);
    if (!e) return;  // nothing listed: nothing to say
    // A path that cannot be read leaves the blank buffer, heard as nothing.
    std::u16string text(kPathUnits, u' ');
    if (const std::optional<std::u16string> path =
            control.ProcessImagePath(static_cast<uint32_t>(e->pid))) {
        text.assign(path->substr(0, kPathUnits - 1));
        text.resize(std::min(text.find(u'\0'), text.size()));
    }
    speech.Speak(text, true);
}

}  // namespace tarrow
