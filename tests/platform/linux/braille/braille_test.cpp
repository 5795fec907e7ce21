#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/linux/braille/braille.hpp"

namespace tarrow {
namespace {

using namespace std::chrono_literals;

const BrailleTime kStart{};

TEST(BrailleView, ShowsATextForTheHoldThenNothing) {
    BrailleView view;
    EXPECT_FALSE(view.Showing());
    view.Add(L"Welcome", true, kStart);
    EXPECT_EQ(view.Window(40), L"Welcome");
    EXPECT_EQ(view.HoldEnd(), kStart + 4000ms);
    view.Tick(kStart + 3999ms);
    EXPECT_TRUE(view.Showing());
    view.Tick(kStart + 4000ms);
    EXPECT_FALSE(view.Showing());
    EXPECT_EQ(view.Window(40), L"");
}

TEST(BrailleView, InterruptingReplacesAtOnceOthersWaitForTheHold) {
    BrailleView view;
    view.SetHold(1000);
    view.Add(L"one", true, kStart);
    view.Add(L"two", false, kStart + 100ms);
    view.Add(L"three", false, kStart + 200ms);
    EXPECT_EQ(view.Window(40), L"one");
    view.Tick(kStart + 1000ms);
    EXPECT_EQ(view.Window(40), L"two");
    EXPECT_EQ(view.HoldEnd(), kStart + 2000ms) << "each text gets its own hold";
    view.Add(L"now", true, kStart + 1500ms);
    EXPECT_EQ(view.Window(40), L"now");
    view.Tick(kStart + 2500ms);
    EXPECT_FALSE(view.Showing()) << "the interruption dropped what waited";
}

TEST(BrailleView, HoldZeroKeepsTheTextUntilTheNextOne) {
    for (int64_t hold : {0, -5}) {
        BrailleView view;
        view.SetHold(hold);
        view.Add(L"kept", false, kStart);
        EXPECT_EQ(view.HoldEnd(), std::nullopt);
        view.Tick(kStart + 24h);
        EXPECT_EQ(view.Window(40), L"kept");
        view.Add(L"next", false, kStart + 25h);
        EXPECT_EQ(view.Window(40), L"next") << "nothing to wait for: replaced at once";
    }
}

TEST(BrailleView, PanningMovesThroughALongTextAndStartsTheHoldAgain) {
    BrailleView view;
    view.Add(L"chrome.exe, 1234 MB, 12 CPU", true, kStart);
    EXPECT_EQ(view.Window(10), L"chrome.exe");
    const uint64_t before = view.Version();
    view.PanRight(10, kStart + 3000ms);
    EXPECT_EQ(view.Window(10), L", 1234 MB,");
    EXPECT_NE(view.Version(), before);
    EXPECT_EQ(view.HoldEnd(), kStart + 7000ms);
    view.PanRight(10, kStart + 3100ms);
    EXPECT_EQ(view.Window(10), L" 12 CPU");
    view.PanRight(10, kStart + 3200ms);
    EXPECT_EQ(view.Window(10), L" 12 CPU") << "the end stays";
    view.PanLeft(4, kStart + 3300ms);
    EXPECT_EQ(view.Window(10), L" MB, 12 CP");
    view.PanLeft(100, kStart + 3400ms);
    EXPECT_EQ(view.Window(10), L"chrome.exe");
    view.Add(L"next", true, kStart + 3500ms);
    EXPECT_EQ(view.Window(10), L"next") << "a new text starts at its beginning";
}

TEST(BrailleView, AHugeHoldDoesNotOverflowTheClock) {
    BrailleView view;
    view.SetHold(INT64_MAX);
    view.Add(L"x", true, std::chrono::steady_clock::now());
    ASSERT_TRUE(view.HoldEnd().has_value());
    EXPECT_GT(*view.HoldEnd(), std::chrono::steady_clock::now());
}

TEST(BrailleText, KeepsEveryLanguageAndMendsBrokenSurrogates) {
    EXPECT_EQ(BrailleText(u"Zażółć gęślą jaźń, Größe"), L"Zażółć gęślą jaźń, Größe");
    EXPECT_EQ(BrailleText(u"\U0001F600!"), std::wstring(1, static_cast<wchar_t>(0x1F600)) + L"!");
    EXPECT_EQ(BrailleText(std::u16string(1, u'\xD800') + u"a"), L"\xFFFD" L"a");
}

TEST(Braille, WithoutAServerNothingHappensAndTheWayOutIsQuick) {
    setenv("BRLAPI_HOST", "127.0.0.1:59999", 1);
    setenv("BRLAPI_AUTH", "keyfile:/nonexistent/tarrow-test.key", 1);
    BrailleSession session;
    StartBraille(session);
    QueueBraille(session, u"Welcome", true);
    QueueBraille(session, u"12 CPU", false);
    EXPECT_TRUE(StopBraille(session, 5s));
}

}  // namespace
}  // namespace tarrow
