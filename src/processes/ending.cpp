// Ending the process under the cursor, and every process named in the favourites.

#include <algorithm>
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
// A file cut at the byte limit loses its unfinished last line; lines past the
// line limit are not read. Each limit passed is reported once.
std::vector<std::u16string> FavouriteLines(const FileReadResult& file, Files& files) {
    std::u16string text = Utf8ToUtf16(file.bytes);
    if (file.cut) {
        files.ReportFileProblem(
            u"processes.txt is larger than 1 MiB: only its first 1 MiB is read.");
        const size_t lastEnd = text.find_last_of(u"\r\n");
        text.resize(lastEnd == std::u16string::npos ? 0 : lastEnd + 1);
    }
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        if (end == start) break;  // an empty line ends the list
        if (lines.size() == kFavouriteLineLimit) {
            files.ReportFileProblem(
                u"processes.txt has more than 4096 lines: only the first 4096 are read.");
            break;
        }
        lines.emplace_back(text, start, end - start);
        if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() &&
            text[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

using ProcessKey = std::pair<int64_t, uint64_t>;  // PID and start time

// The list's names lowered once and joined (each after a NUL, which no name
// holds), so that thousands of lines cost one search each, not one per process.
struct LoweredNames {
    explicit LoweredNames(const ProcessList& list) {
        starts.reserve(list.entries.size());
        for (const ProcessEntry& entry : list.entries) {
            joined.push_back(u'\0');
            starts.push_back(joined.size());
            joined += LowerText(entry.name);
            longest = std::max(longest, entry.name.size());
        }
    }
    // The entry whose name holds this position of `joined`.
    size_t EntryOf(size_t position) const {
        return static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), position) -
                                   starts.begin()) - 1;
    }
    std::u16string joined;
    std::vector<size_t> starts;
    size_t longest = 0;
};

// The first match from the top that is not the program itself and whose
// process has not been tried for this line yet: a process that refuses, or
// dies slowly, is asked only once. `wanted` is the line lowered.
int64_t NextMatch(const ProcessList& list, const LoweredNames& names, std::u16string_view wanted,
                  int64_t ownPid, const std::set<ProcessKey>& tried) {
    if (wanted.empty() || wanted.size() > names.longest) return -1;
    for (size_t at = names.joined.find(wanted); at != std::u16string::npos;) {
        const size_t index = names.EntryOf(at);
        const ProcessEntry& e = list.entries[index];
        if (e.pid != ownPid && !tried.count({e.pid, e.startTime}))
            return static_cast<int64_t>(index);
        const size_t next =
            index + 1 < names.starts.size() ? names.starts[index + 1] : names.joined.size();
        at = names.joined.find(wanted, next);
    }
    return -1;
}

// The summary spoken at the end; the log is named only when it holds every line.
std::u16string Summary(int64_t count, bool logComplete) {
    const std::u16string killed = IntegerText(count) + u" processes killed.";
    return killed + (logComplete ? u" See processes.log for more info."
                                 : u" The log could not be written.");
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
    const FileReadResult favourites = files.ReadFile(u"processes.txt", kFavouriteByteLimit);
    if (favourites.status != FileReadStatus::Ok) {
        speech.Speak(u"No processes.txt found.", true);
        return;
    }
    // Each run's lines go after the earlier ones. A line that cannot be written
    // (a log that does not open, a full disk) does not stop the run, but the
    // summary then says so instead of pointing at the log.
    std::unique_ptr<OutputFile> log = files.OpenOutputFile(u"PROCESSES.LOG", OutputMode::Append);
    bool logComplete = true;
    const int64_t ownPid = roles.control.CurrentProcessId();
    int64_t count = 0;
    LoweredNames names(state.list);  // again after every refresh
    for (const std::u16string& line : FavouriteLines(favourites, files)) {
        const std::u16string wanted = LowerText(line);
        std::set<ProcessKey> tried;
        for (int64_t index = NextMatch(state.list, names, wanted, ownPid, tried); index >= 0;
             index = NextMatch(state.list, names, wanted, ownPid, tried)) {
            const ProcessEntry entry = state.list.entries[static_cast<size_t>(index)];
            tried.insert({entry.pid, entry.startTime});
            // Only a request that reached the listed process is logged and counted.
            if (roles.control.TerminateProcess(static_cast<uint32_t>(entry.pid), entry.startTime,
                                               entry.name)) {
                const std::string text = LogLine(entry, roles.facts.GetLocalTime());
                if ((!log || log->Write(text) != text.size()) && logComplete) {
                    logComplete = false;
                    files.ReportFileProblem(u"PROCESSES.LOG: a line could not be written (" +
                                            (log ? log->FailureReason() : u"it does not open") +
                                            u").");
                }
                ++count;
            }
            RefreshProcessList(roles, state);
            names = LoweredNames(state.list);
        }
    }
    log.reset();
    speech.Speak(Summary(count, logComplete), true);
}

}  // namespace tarrow
