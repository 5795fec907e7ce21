// Ending the process under the cursor, and every process named in the favourites.

#include <set>

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

// The first match from the top whose process has not been asked to end for
// this line yet: a process that refuses, or dies slowly, is asked only once.
int64_t NextMatch(const ProcessList& list, std::u16string_view line,
                  const std::set<int64_t>& requested) {
    int64_t index = FindByNameFrom(list, line, 0);
    while (index >= 0 && requested.count(list.entries[static_cast<size_t>(index)].pid))
        index = FindByNameFrom(list, line, index + 1);
    return index;
}

}  // namespace

void EndProcessAtCursor(PlatformServices& platform, ProcessState& state, bool confirm) {
    const ProcessEntry* entry = EntryAt(state.list, state.list.cursor);
    if (!entry) return;
    const int64_t pid = entry->pid;
    if (confirm && platform.ShowMessage(u"Alert", u"Are you sure you wish to end " + entry->name +
                                                      u"?",
                                        kMbYesNo) != kIdYes)
        return;
    platform.TerminateProcess(static_cast<uint32_t>(pid));
    RefreshProcessList(platform, state);
}

void KillWithConfirmation(PlatformServices& platform, SpeechOutput&, ProcessState& state) {
    EndProcessAtCursor(platform, state, true);
}

void KillWithoutConfirmation(PlatformServices& platform, SpeechOutput&, ProcessState& state) {
    EndProcessAtCursor(platform, state, false);
}

void KillFavourites(PlatformServices& platform, SpeechOutput& speech, ProcessState& state) {
    const FileReadResult favourites = platform.ReadFile(u"processes.txt");
    if (favourites.status != FileReadStatus::Ok) {
        speech.Speak(u"No processes.txt found.", true);
        return;
    }
    // Each run's lines go after the earlier ones; a log that cannot be opened
    // loses its lines silently.
    std::unique_ptr<OutputFile> log = platform.OpenOutputFile(u"PROCESSES.LOG", OutputMode::Append);
    int64_t count = 0;
    for (const std::u16string& line : FavouriteLines(favourites.bytes)) {
        std::set<int64_t> requested;
        for (int64_t index = NextMatch(state.list, line, requested); index >= 0;
             index = NextMatch(state.list, line, requested)) {
            const ProcessEntry entry = state.list.entries[static_cast<size_t>(index)];
            requested.insert(entry.pid);
            platform.TerminateProcess(static_cast<uint32_t>(entry.pid));
            if (log) log->Write(LogLine(entry, platform.GetLocalTime()));
            ++count;
            RefreshProcessList(platform, state);
        }
    }
    log.reset();
    speech.Speak(IntegerText(count) + u" processes killed. See processes.log for more info.", true);
}

}  // namespace tarrow
