#include <gtest/gtest.h>

#include "platform/fake_platform.hpp"
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

}  // namespace
}  // namespace tarrow
