#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake_platform.hpp"
#include "platform/text.hpp"
#include "speech/speech.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::SpokenText;

TEST(Speech, FirstSpeakLoadsTheLibraryOnceAndRecordsEveryText) {
    FakePlatform fake;
    SpeechOutput speech(fake);
    EXPECT_FALSE(speech.SpeechLoaded());
    speech.Speak(u"  one, untouched  ", true);
    speech.Speak(u"two", false);
    EXPECT_EQ(fake.speechLoads, 1);
    EXPECT_EQ(fake.spoken, (std::vector<SpokenText>{{u"  one, untouched  ", true}, {u"two", false}}));
    EXPECT_EQ(speech.LastSpokenText(), u"two");
}

TEST(Speech, RepeatSpeaksTheSameTextWithoutInterruptAndKeepsIt) {
    FakePlatform fake;
    SpeechOutput speech(fake);
    speech.Speak(u"Welcome", true);
    RepeatLastSpoken(speech);
    RepeatLastSpoken(speech);
    EXPECT_EQ(fake.spoken, (std::vector<SpokenText>{
                               {u"Welcome", true}, {u"Welcome", false}, {u"Welcome", false}}));
    EXPECT_EQ(speech.LastSpokenText(), u"Welcome");
}

TEST(Speech, CopyPutsTheBareTextOnTheClipboardAndConfirmsUnrecorded) {
    FakePlatform fake;
    SpeechOutput speech(fake);
    speech.Speak(u"notepad.exe: 7%; 12.50 MB. 3 of 57", true);
    CopyLastSpoken(fake, speech);
    CopyLastSpoken(fake, speech);
    ASSERT_EQ(fake.clipboard.size(), 2u);
    EXPECT_EQ(fake.clipboard[1], u"notepad.exe: 7%; 12.50 MB. 3 of 57");
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Copied notepad.exe: 7%; 12.50 MB. 3 of 57", true}));
    RepeatLastSpoken(speech);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"notepad.exe: 7%; 12.50 MB. 3 of 57", false}));
}

TEST(Speech, CopyConfirmsEvenWhenTheClipboardFails) {
    FakePlatform fake;
    fake.clipboardFails = true;
    SpeechOutput speech(fake);
    speech.Speak(u"text", true);
    CopyLastSpoken(fake, speech);
    EXPECT_TRUE(fake.clipboard.empty());
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Copied text", true}));
    EXPECT_EQ(fake.speechLoads, 1);
}

// Run under ThreadSanitizer by scripts/test: update workers speak while the
// user repeats and copies on the main thread.
TEST(SpeechThreads, RepeatAndCopyOnlyEverSeeWholeSpokenTexts) {
    constexpr int kWorkers = 4, kTexts = 1500;
    const auto textOf = [](int worker, int i) {
        // Long, and different all along, so that a torn copy cannot pass for another text.
        std::u16string text;
        for (int part = 0; part < 8; ++part)
            text += u"worker " + Ascii(std::to_string(worker)) + u" text " + Ascii(std::to_string(i)) + u"; ";
        return text;
    };
    FakePlatform fake;
    SpeechOutput speech(fake);
    speech.Speak(u"start", true);
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kTexts; ++i) speech.Speak(textOf(w, i), true);
            ++finished;
        });
    }
    int rounds = 0;
    while (finished < kWorkers || rounds < 100) {
        RepeatLastSpoken(speech);
        CopyLastSpoken(fake, speech);
        ++rounds;
    }
    for (std::thread& worker : workers) worker.join();

    std::set<std::u16string> spoken{u"start"};
    for (int w = 0; w < kWorkers; ++w)
        for (int i = 0; i < kTexts; ++i) spoken.insert(textOf(w, i));
    size_t repeats = 0, copies = 0;
    for (const SpokenText& said : fake.spoken) {
        const std::u16string_view text = said.text;
        if (text.starts_with(u"Copied ")) {
            EXPECT_EQ(spoken.count(std::u16string(text.substr(7))), 1u) << testing::Narrow(text);
            ++copies;
        } else {
            EXPECT_EQ(spoken.count(said.text), 1u) << testing::Narrow(text);
            repeats += said.interrupt ? 0 : 1;  // only the repeats speak without interrupting
        }
    }
    for (const std::u16string& copied : fake.clipboard) EXPECT_EQ(spoken.count(copied), 1u);
    EXPECT_EQ(copies, static_cast<size_t>(rounds));
    EXPECT_EQ(fake.clipboard.size(), static_cast<size_t>(rounds));
    EXPECT_EQ(repeats, static_cast<size_t>(rounds));
}

}  // namespace
}  // namespace tarrow
