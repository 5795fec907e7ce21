// The one-shot system announcements.

#include <cmath>

#include "monitors/monitors.hpp"
#include "platform/text.hpp"
#include "speech/wording.hpp"

namespace tarrow {

namespace {

struct UptimePart {
    double value;
    const char16_t* singular;
    const char16_t* plural;
};

}  // namespace

int64_t InUseBytes(uint64_t total, uint64_t available) {
    // A status that claims more free than total memory means nothing is in use,
    // not an unsigned wrap to an absurd figure.
    return available >= total ? 0 : static_cast<int64_t>(total - available);
}

void SpeakCpuUsage(SpeechOutput& speech, const ProcessList& list) {
    speech.Speak(u"CPU: " + IntegerText(TotalCpuPercent(list)) + u"%", true);
}

void SpeakTotalMemory(SystemFacts& facts, SpeechOutput& speech) {
    const uint64_t firstTotal = facts.GetMemoryStatus().totalPhys;
    const uint64_t available = facts.GetMemoryStatus().availPhys;
    const uint64_t total = facts.GetMemoryStatus().totalPhys;
    const int64_t used = InUseBytes(firstTotal, available);
    // A failed reading gives a total of 0: say 0% rather than a nonsense figure.
    const double percent =
        total == 0 ? 0.0 : static_cast<double>(used) / static_cast<double>(total) * 100.0;
    speech.Speak(FormatBytes(static_cast<float>(used)) + u" of " +
                     FormatBytes(static_cast<float>(total)) + u", " +
                     IntegerText(ToWholeNumber(percent)) + u"%.",
                 true);
}

void SpeakBatteryStatus(SystemFacts& facts, SpeechOutput& speech) {
    const auto percent = static_cast<int8_t>(facts.GetPowerStatus().batteryLifePercent);
    const uint8_t line = facts.GetPowerStatus().acLineStatus;
    if (percent == -1) {
        speech.Speak(u"No battery", false);
        return;
    }
    speech.Speak(IntegerText(percent) + u"%" + (line == 1 ? u" Charging" : u" Not Charging"),
                 false);
}

void SpeakUptime(SystemFacts& facts, SpeechOutput& speech) {
    const double t = static_cast<double>(facts.SystemUptimeMs());
    const UptimePart parts[] = {
        {RoundDown(t / 1000 / 60 / 60 / 24 / 365), u" year", u" years"},
        {RoundDown(std::fmod(t / 604800000, 52)), u" week", u" weeks"},
        {RoundDown(std::fmod(t / 86400000, 7)), u" day", u" days"},
        {RoundDown(std::fmod(t / 3600000, 24)), u" hour", u" hours"},
        {RoundDown(std::fmod(t / 60000, 60)), u" minute", u" minutes"},
        {RoundDown(std::fmod(t / 1000, 60)), u" second", u" seconds"},
    };
    std::u16string text;
    for (const UptimePart& part : parts) {
        if (part.value > 0)
            text += u", " + IntegerText(ToWholeNumber(part.value)) +
                    (part.value == 1 ? part.singular : part.plural);
    }
    if (t <= 999) text = IntegerText(ToWholeNumber(t)) + u" MS";
    speech.Speak(TrimEnds(TrimEnds(text, u','), u' '), true);
}

void SpeakCpuInfo(SystemFacts& facts, SpeechOutput& speech) {
    std::u16string brand;
    if (const auto raw = facts.ProcessorBrand()) {
        brand = Utf8ToUtf16(*raw);
        brand.erase(0, brand.find_first_not_of(u" \t"));  // all blanks: nothing left
    }
    if (brand.empty()) brand = u"Unknown CPU";
    speech.Speak(u"Processor: " + brand + u", with " + IntegerText(ProcessorCount(facts)) +
                     u" total cores.",
                 true);
}

}  // namespace tarrow
