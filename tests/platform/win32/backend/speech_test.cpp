// Speech through the recording Tolk.dll beside this test program: loaded once,
// every text from every thread delivered in order with its flag, and the last
// words still delivered when the program shuts down right after them.

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "platform/win32/backend/backend_fixture.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

TEST(Win32Speech, EveryTextReachesTheLibraryInOrderWithItsFlag) {
    ScratchFolder folder;
    wchar_t folderPath[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folderPath);
    const std::wstring log = std::wstring(folderPath) + L"\\speech.log";
    SetEnvironmentVariableW(L"TARROW_SPEECH_LOG", log.c_str());

    Win32Platform platform;
    platform.InitServices();
    // Before the library is loaded nothing is spoken.
    platform.OutputSpeech(u"too early", true);
    platform.LoadSpeech();
    platform.OutputSpeech(u"Welcome to Tarrow version 1.0.7, Build 222!", true);
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) platform.OutputSpeech(u"worker " + Ascii(std::to_string(i)), false);
    });
    for (int i = 0; i < 50; ++i) platform.OutputSpeech(u"main " + Ascii(std::to_string(i)), true);
    worker.join();
    platform.OutputSpeech(u"  Exiting \u00E9 ", true);
    platform.ShutdownServices();
    platform.OutputSpeech(u"after the end", true);
    SetEnvironmentVariableW(L"TARROW_SPEECH_LOG", nullptr);

    const std::vector<std::string> lines = Lines(ReadWhole(log));
    ASSERT_GE(lines.size(), 4u);
    // Loading happens once, before the first text (the library may have been
    // loaded by an earlier test in this process: it is never unloaded).
    std::vector<std::string> spoken;
    for (const std::string& line : lines) {
        if (line.rfind("#", 0) != 0) spoken.push_back(line);
    }
    EXPECT_EQ(lines[0], "#load");
    EXPECT_EQ(lines[1], "#trysapi 1");
    ASSERT_EQ(spoken.size(), 102u);
    EXPECT_EQ(spoken.front(), "1\tWelcome to Tarrow version 1.0.7, Build 222!");
    EXPECT_EQ(spoken.back(), "1\t  Exiting \xC3\xA9 ");
    int nextMain = 0, nextWorker = 0;
    for (size_t i = 1; i + 1 < spoken.size(); ++i) {
        if (spoken[i].rfind("1\tmain ", 0) == 0) {
            EXPECT_EQ(spoken[i], "1\tmain " + std::to_string(nextMain++));
        } else {
            EXPECT_EQ(spoken[i], "0\tworker " + std::to_string(nextWorker++));
        }
    }
    EXPECT_EQ(nextMain, 50);
    EXPECT_EQ(nextWorker, 50);
}

}  // namespace
}  // namespace tarrow::testing
