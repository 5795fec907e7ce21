#include "settings/settings.hpp"

#include <algorithm>
#include <array>

#include "platform/text.hpp"
#include "settings/ini.hpp"
#include "speech/wording.hpp"

namespace tarrow {

using enum MonitorName;
using enum MonitorValue;

namespace {

constexpr auto kMonitorKeys = std::to_array<MonitorSetting>({
    {u"pc_cpu_monitor", 0, 0, &Settings::pc_cpu_monitor, PcCpu, Switch},
    {u"pc_memory_monitor", 0, 0, &Settings::pc_memory_monitor, PcMemory, Switch},
    {u"pc_battery_monitor", 0, 0, &Settings::pc_battery_monitor, PcBattery, Switch},
    {u"fp_memory_time", 5000, 5000, &Settings::fp_memory_time, FocusedMemory, Interval},
    {u"fp_cpu_time", 5000, 5000, &Settings::fp_cpu_time, FocusedCpu, Interval},
    {u"pc_cpu_time", 5000, 5000, &Settings::pc_cpu_time, PcCpu, Interval},
    {u"pc_memory_time", 5000, 5000, &Settings::pc_memory_time, PcMemory, Interval},
    {u"pc_battery_time", 10000, 10000, &Settings::pc_battery_time, PcBattery, Interval},
    {u"fp_memory_diff", 5, 10, &Settings::fp_memory_diff, FocusedMemory, Threshold},
    {u"fp_cpu_diff", 2, 2, &Settings::fp_cpu_diff, FocusedCpu, Threshold},
    {u"pc_cpu_diff", 2, 2, &Settings::pc_cpu_diff, PcCpu, Threshold},
    {u"pc_memory_diff", 100, 100, &Settings::pc_memory_diff, PcMemory, Threshold},
    {u"pc_battery_diff", 10, 10, &Settings::pc_battery_diff, PcBattery, Threshold},
});

// Every monitor has its interval and its threshold, and at most one switch.
constexpr bool EveryMonitorHasItsKeys() {
    for (size_t name = 0; name < kMonitorCount; ++name) {
        int counts[3] = {};  // switches, intervals, thresholds
        for (const MonitorSetting& setting : kMonitorKeys)
            if (static_cast<size_t>(setting.monitor) == name)
                ++counts[static_cast<int>(setting.value)];
        if (counts[0] > 1 || counts[1] != 1 || counts[2] != 1) return false;
    }
    return true;
}
static_assert(EveryMonitorHasItsKeys());

}  // namespace

constinit const std::span<const MonitorSetting> kMonitorSettings = kMonitorKeys;

Settings::Settings() {
    for (const MonitorSetting& setting : kMonitorSettings) this->*setting.field = setting.builtIn;
}

namespace {

std::string DefaultContents() {
    IniDocument document;
    document.groups.push_back({true, u"general", {{false, u"modifier", u"control+alt+shift"}}});
    IniGroup monitors{true, u"monitors", {}};
    for (const MonitorSetting& setting : kMonitorSettings)
        monitors.lines.push_back({false, std::u16string(setting.key), IntegerText(setting.written)});
    document.groups.push_back(std::move(monitors));
    return WriteIni(document);
}

IniText DecodeText(Files& files, std::string_view bytes) {
    IniText decoded = DecodeIniBytes(bytes);
    if (decoded.encoding == IniEncoding::Ansi) decoded.text = files.AnsiToUtf16(bytes);
    return decoded;
}

// A file cut at the limit loses its unfinished last line too.
void DropUnfinishedLine(std::u16string& text) {
    const size_t lastEnd = text.find_last_of(u"\r\n");
    text.resize(lastEnd == std::u16string::npos ? 0 : lastEnd + 1);
}

bool IsPlainAscii(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; });
}

// Files that editors save as UTF-16, or as UTF-8 without a mark holding more
// than ASCII, keep their encoding and every line the save does not change; the
// others (plain ASCII too, which reads the same in every encoding) are written
// whole in our own form.
std::string EncodeSaved(const IniText& read, const IniDocument& document) {
    switch (read.encoding) {
        case IniEncoding::Utf8:
            if (IsPlainAscii(read.text)) return WriteIni(document);
            return EncodeIniText(WriteIniOver(read.text, document), read.encoding);
        case IniEncoding::Utf16Le:
        case IniEncoding::Utf16Be: return EncodeIniText(WriteIniOver(read.text, document), read.encoding);
        default: return WriteIni(document);
    }
}

void ReadGeneral(const IniGroup& group, Settings& settings) {
    for (const IniLine& line : group.lines) {
        if (line.isComment || line.value.empty()) continue;
        if (line.name == u"modifier") settings.modifier = line.value;
        if (line.name == u"braille_hold_ms") settings.braille_hold_ms = ParseIniInteger(line.value);
    }
}

void ReadMonitors(const IniGroup& group, Settings& settings) {
    for (const IniLine& line : group.lines) {
        if (line.isComment || line.value.empty()) continue;
        for (const MonitorSetting& setting : kMonitorSettings)
            if (line.name == setting.key) settings.*setting.field = ParseIniInteger(line.value);
    }
}

// The first key of that name, compared without regard to case, takes the
// value and our spelling; a missing key is added at the end of the group.
void StoreKey(IniGroup& group, std::u16string_view name, int64_t value) {
    for (IniLine& line : group.lines) {
        if (!line.isComment && LowerText(line.name) == name) {
            line.name = std::u16string(name);
            line.value = IntegerText(value);
            return;
        }
    }
    group.lines.push_back({false, std::u16string(name), IntegerText(value)});
}

}  // namespace

void LoadSettings(Files& files, Settings& settings) {
    const FileReadResult file = files.ReadFile(kSettingsFile, kSettingsByteLimit);
    if (file.status == FileReadStatus::Missing) {
        // This run keeps the built-in values; the new file counts from the next start.
        files.ReplaceFile(kSettingsFile, DefaultContents());
        return;
    }
    // A file that cannot be read counts as empty.
    if (file.status != FileReadStatus::Ok) return;
    IniText read = DecodeText(files, file.bytes);
    if (file.cut) {
        files.ReportFileProblem(u"prefs.ini is larger than 1 MiB: only its first 1 MiB is read, "
                                u"and it is never rewritten.");
        DropUnfinishedLine(read.text);
    }
    const IniDocument document = ParseIni(read.text);
    if (const IniGroup* general = FindIniGroup(document, u"general")) ReadGeneral(*general, settings);
    if (const IniGroup* monitors = FindIniGroup(document, u"monitors"))
        ReadMonitors(*monitors, settings);
}

void SaveMonitorStates(Files& files, const Settings& states) {
    const FileReadResult file = files.ReadFile(kSettingsFile, kSettingsByteLimit);
    if (file.status == FileReadStatus::Missing) {
        files.ReplaceFile(kSettingsFile, DefaultContents());
        return;
    }
    // A file we cannot read would be replaced by our three keys alone: leave it.
    if (file.status != FileReadStatus::Ok) return;
    // Rewriting what we read of a larger file would lose the rest of it.
    if (file.cut) {
        files.ReportFileProblem(u"prefs.ini is larger than 1 MiB, so it is not rewritten: "
                                u"the monitor switch holds for this run only.");
        return;
    }
    const IniText read = DecodeText(files, file.bytes);
    IniDocument document = ParseIni(read.text);
    IniGroup* monitors = FindIniGroup(document, u"monitors");
    if (monitors == nullptr) {
        document.groups.push_back({true, u"monitors", {}});
        monitors = &document.groups.back();
    }
    for (const MonitorSetting& setting : kMonitorSettings)
        if (setting.value == MonitorValue::Switch) StoreKey(*monitors, setting.key, states.*setting.field);
    // Written aside and renamed over the old file; a read-only file stays as it is.
    files.ReplaceFile(kSettingsFile, EncodeSaved(read, document));
}

}  // namespace tarrow
