// Ending the process under the cursor, and every process named in the favourites.

#include <set>
#include <utility>

#include "platform/text.hpp"
#include "processes/processes.hpp"
#include "speech/wording.hpp"

namespace tarrow {

namespace {

std::u16string TwoDigits(int value) {
    std::u16string text = IntegerText(value);
    return text.size() < 2 ? u"0" + text : text;
}

std::u16string FourDigits(int value) {
    std::u16string text = IntegerText(value);
    while (text.size() < 4) text.insert(text.begin(), u'0');
    return text;
}

// "Killed notepad.exe, PID 812 on 2024-03-08, 14:05:09" and CR LF.
std::string LogLine(const ProcessEntry& entry, const LocalTime& t) {
    const std::u16string line = u"Killed " + entry.name + u", PID " + IntegerText(entry.pid) +
                                u" on " + FourDigits(t.year) + u"-" + TwoDigits(t.month) + u"-" +
                                TwoDigits(t.day) + u", " + TwoDigits(t.hour) + u":" +
                                TwoDigits(t.minute) + u":" + TwoDigits(t.second) + u"\r\n";
    return Utf16ToUtf8(line);
}

// The favourites: lines end at CR LF, LF or a lone CR; the list ends at the
// first empty line. Nothing is trimmed and a byte-order mark stays in the text.
std::vector<std::u16string> FavouriteLines(std::string_view bytes) {
    const std::u16string text = Utf8ToUtf16(bytes);
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        if (end == start) break;  // an empty line ends the list
        lines.emplace_back(text, start, end - start);
        if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() &&
            text[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

using ProcessKey = std::pair<int64_t, uint64_t>;  // PID and start time

// The first match from the top that is not the program itself and whose
// process has not been tried for this line yet: a process that refuses, or
// dies slowly, is asked only once.
int64_t NextMatch(const ProcessList& list, std::u16string_view line, int64_t ownPid,
                  const std::set<ProcessKey>& tried) {
    for (int64_t index = FindByNameFrom(list, line, 0); index >= 0;
         index = FindByNameFrom(list, line, index + 1)) {
        const ProcessEntry& e = list.entries[static_cast<size_t>(index)];
        if (e.pid != ownPid && !tried.count({e.pid, e.startTime})) return index;
    }
    return -1;
}

}  // namespace

EndOutcome EndProcessAtCursor(ProcessRoles roles, ProcessState& state, Dialogs* confirmWith) {
    const ProcessEntry* entry = EntryAt(state.list, state.list.cursor);
    if (!entry) return EndOutcome::Stay;
    const ProcessEntry chosen = *entry;
    if (confirmWith &&
        confirmWith->ShowMessage(u"Alert", u"Are you sure you wish to end " + chosen.name + u"?",
                                 kMbYesNo) != kIdYes)
        return EndOutcome::Stay;
    // Killing itself would skip the exit steps; the caller leaves the regular way.
    if (chosen.pid == static_cast<int64_t>(roles.control.CurrentProcessId()))
        return EndOutcome::ExitProgram;
    roles.control.TerminateProcess(static_cast<uint32_t>(chosen.pid), chosen.startTime,
                                   chosen.name);
    RefreshProcessList(roles, state);
    return EndOutcome::Stay;
}

EndOutcome KillWithConfirmation(ProcessRoles roles, Dialogs& dialogs, SpeechOutput&,
                                ProcessState& state) {
    return EndProcessAtCursor(roles, state, &dialogs);
}

EndOutcome KillWithoutConfirmation(ProcessRoles roles, SpeechOutput&, ProcessState& state) {
    return EndProcessAtCursor(roles, state, nullptr);
}

void KillFavourites(ProcessRoles roles, Files& files, SpeechOutput& speech, ProcessState& state) {
    const FileReadResult favourites = files.ReadFile(u"processes.txt");
    if (favourites.status != FileReadStatus::Ok) {
        speech.Speak(u"No processes.txt found.", true);
        return;
    }
    // Each run's lines go after the earlier ones; a log that cannot be opened
    // loses its lines silently.
    std::unique_ptr<OutputFile> log = files.OpenOutputFile(u"PROCESSES.LOG", OutputMode::Append);
    const int64_t ownPid = roles.control.CurrentProcessId();
    int64_t count = 0;
    for (const std::u16string& line : FavouriteLines(favourites.bytes)) {
        std::set<ProcessKey> tried;
        for (int64_t index = NextMatch(state.list, line, ownPid, tried); index >= 0;
             index = NextMatch(state.list, line, ownPid, tried)) {
            const ProcessEntry entry = state.list.entries[static_cast<size_t>(index)];
            tried.insert({entry.pid, entry.startTime});
            // Only a request that reached the listed process is logged and counted.
            if (roles.control.TerminateProcess(static_cast<uint32_t>(entry.pid), entry.startTime,
                                               entry.name)) {
                if (log) log->Write(LogLine(entry, roles.facts.GetLocalTime()));
                ++count;
            }
            RefreshProcessList(roles, state);
        }
    }
    log.reset();
    speech.Speak(IntegerText(count) + u" processes killed. See processes.log for more info.", true);
}

}  // namespace tarrow
