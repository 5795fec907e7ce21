// The update check's decisions on the fake platform, with a scripted network.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <future>
#include <thread>

#include "app/application.hpp"
#include "app/release_profile.hpp"
#include "platform/fake_platform.hpp"
#include "update/update.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::ShownMessage;
using testing::SpokenText;

const std::u16string kBase = u"https://updates.test";
const ShownMessage kDownloadError{u"Download error", u"There was an error downloading Tarrow.zip.",
                                  kMbOk};

ShownMessage Question(std::u16string_view version) {
    return {u"Alert",
            u"There is a new version of Tarrow available, " + std::u16string(version) +
                u". Would you like to download it now?",
            kMbYesNo};
}

// What the scripted server answers, and what it was asked.
struct ScriptedServer {
    MemoryResponse version{u"200", u"1.0.7"};
    bool downloadOk = true;
    int prepared = 0;
    std::vector<HttpRequest> requests;
    std::vector<std::u16string> savedTo;

    UpdateNetwork Network() {
        UpdateNetwork n;
        n.prepare = [this] { ++prepared; };
        n.fetchToMemory = [this](const HttpRequest& r) {
            requests.push_back(r);
            return version;
        };
        n.fetchToFile = [this](Files& p, const HttpRequest& r, std::u16string_view path) {
            requests.push_back(r);
            savedTo.emplace_back(path);
            if (!downloadOk) return false;
            auto file = p.OpenOutputFile(path, OutputMode::Exclusive);
            const std::string archive = "PK archive " + std::to_string(savedTo.size());
            return file && file->Write(archive) == archive.size();
        };
        return n;
    }
};

struct Rig {
    FakePlatform fake;
    ScriptedServer server;
    Application app{fake, testing::ReleaseProfile()};

    Rig() {
        app.updates.network = server.Network();
        app.updates.server = {kBase, ""};
        app.speech.Speak(u"ready", true);
        fake.spoken.clear();
    }
    void Check(bool quiet) {
        StartUpdateCheck(fake, app.speech, app.updates, quiet);
        fake.RunWorkers();
    }
};

TEST(UpdateCheck, SameVersionIsSilentAtStartUpAndAnsweredOnRequest) {
    Rig rig;
    rig.Check(true);
    EXPECT_TRUE(rig.fake.spoken.empty());
    rig.Check(false);
    EXPECT_EQ(rig.fake.spoken, (std::vector<SpokenText>{{u"No update available.", false}}));
    EXPECT_EQ(rig.app.speech.LastSpokenText(), u"No update available.");
    EXPECT_TRUE(rig.fake.messages.empty());
    ASSERT_EQ(rig.server.requests.size(), 2u);
    EXPECT_EQ(rig.server.requests[0].url, u"https://updates.test/projects/tarrowversion.txt");
    EXPECT_EQ(rig.server.requests[0].limits.connectMs, 3000);
    EXPECT_EQ(rig.server.requests[0].limits.transferMs, 20000);
}

TEST(UpdateCheck, AnyStatusButExactly200EndsSilentlyAlsoOnRequest) {
    for (const char16_t* status : {u"404", u"0", u"201", u"2000"}) {
        Rig rig;
        rig.server.version = {status, u"9.9.9"};
        rig.Check(false);
        EXPECT_TRUE(rig.fake.spoken.empty()) << testing::Narrow(status);
        EXPECT_TRUE(rig.fake.messages.empty()) << testing::Narrow(status);
    }
}

TEST(UpdateCheck, AnyDifferenceAsksTheQuestionWithTheBodyAsItCameAndNoIsSilent) {
    for (const char16_t* body : {u"1.0.7\n", u"", u"1.0.6", u" 1.0.7", u"1.0.70"}) {
        Rig rig;
        rig.server.version = {u"200", body};
        rig.Check(true);  // quiet changes nothing here
        EXPECT_EQ(rig.fake.messages, std::vector<ShownMessage>{Question(body)});
        EXPECT_TRUE(rig.fake.spoken.empty());
        EXPECT_EQ(rig.server.requests.size(), 1u);  // no download after No
    }
}

size_t CallIndex(const FakePlatform& fake, const std::string& call) {
    const auto it = std::find(fake.calls.begin(), fake.calls.end(), call);
    EXPECT_NE(it, fake.calls.end()) << call;
    return static_cast<size_t>(it - fake.calls.begin());
}

TEST(UpdateCheck, YesDownloadsStartsTheUpdaterAndTheMainLoopSaysExiting) {
    for (const bool updaterStarts : {true, false}) {
        Rig rig;
        rig.fake.closeWhenIdle = false;
        rig.fake.updaterStarts = updaterStarts;
        rig.fake.messageAnswers = {kIdYes};
        rig.server.version = {u"200", u"1.0.8"};
        rig.Check(false);
        EXPECT_EQ(rig.fake.spoken, (std::vector<SpokenText>{{u"Downloading update", false}}));
        // Downloaded beside the archive, then given its name.
        EXPECT_EQ(rig.server.savedTo, std::vector<std::u16string>{u"Tarrow.zip.1.part"});
        EXPECT_EQ(rig.fake.files, (std::map<std::u16string, std::string>{
                                      {u"Tarrow.zip", "PK archive 1"}}));
        ASSERT_EQ(rig.server.requests.size(), 2u);
        EXPECT_EQ(rig.server.requests[1].url, u"https://updates.test/softs/Tarrow.zip");
        EXPECT_EQ(rig.server.requests[1].limits.transferMs, 20000);
        // The worker only asked; the updater and the exit are the main loop's, so the
        // updater never runs beside a program held by a box on the main thread.
        EXPECT_EQ(rig.fake.updaterStarted, 0);
        EXPECT_EQ(rig.fake.shutdowns, 0);
        EXPECT_EQ(RunPass(rig.app), LoopControl::Exit);
        EXPECT_EQ(rig.fake.updaterStarted, 1);
        EXPECT_LT(CallIndex(rig.fake, "StartUpdater"), CallIndex(rig.fake, "Speak Exiting"));
        EXPECT_EQ(rig.fake.spoken.back(), (SpokenText{u"Exiting", true}));
        EXPECT_FALSE(rig.fake.trayIconPresent);
        EXPECT_EQ(rig.fake.shutdowns, 1);
    }
}

TEST(UpdateCheck, AFailedDownloadShowsTheErrorAndTheProgramGoesOn) {
    Rig rig;
    rig.fake.closeWhenIdle = false;
    rig.fake.messageAnswers = {kIdYes};
    rig.server.version = {u"200", u"1.0.8"};
    rig.server.downloadOk = false;
    rig.Check(false);
    EXPECT_EQ(rig.fake.messages, (std::vector<ShownMessage>{Question(u"1.0.8"), kDownloadError}));
    EXPECT_EQ(rig.fake.spoken, (std::vector<SpokenText>{{u"Downloading update", false}}));
    EXPECT_EQ(rig.fake.updaterStarted, 0);
    EXPECT_EQ(RunPass(rig.app), LoopControl::Continue);  // no exit was asked for
    // A later check can try again.
    rig.server.downloadOk = true;
    rig.fake.messageAnswers = {kIdYes};
    rig.Check(false);
    EXPECT_EQ(RunPass(rig.app), LoopControl::Exit);
    EXPECT_EQ(rig.fake.updaterStarted, 1);
}

TEST(UpdateCheck, AnArchiveThatCannotTakeItsNameIsAFailedDownload) {
    Rig rig;
    rig.fake.closeWhenIdle = false;
    rig.fake.messageAnswers = {kIdYes};
    rig.server.version = {u"200", u"1.0.8"};
    rig.fake.files[u"Tarrow.zip"] = "an archive in use";
    rig.fake.readOnlyFiles = {u"Tarrow.zip"};
    rig.Check(false);
    EXPECT_EQ(rig.fake.messages, (std::vector<ShownMessage>{Question(u"1.0.8"), kDownloadError}));
    EXPECT_EQ(rig.fake.files, (std::map<std::u16string, std::string>{
                                  {u"Tarrow.zip", "an archive in use"}}));
    EXPECT_EQ(RunPass(rig.app), LoopControl::Continue);  // no exit was asked for
}

TEST(UpdateCheck, OnlyTheFirstWholeArchiveIsHandedOverAndALaterOneLeavesItAlone) {
    Rig rig;
    rig.fake.closeWhenIdle = false;
    rig.fake.messageAnswers = {kIdYes, kIdYes};
    rig.server.version = {u"200", u"1.0.8"};
    StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, false);
    StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, false);
    rig.fake.RunWorkers();
    EXPECT_EQ(rig.server.savedTo,
              (std::vector<std::u16string>{u"Tarrow.zip.1.part", u"Tarrow.zip.2.part"}));
    // The second check's archive went with its own file; no box for it either.
    EXPECT_EQ(rig.fake.files, (std::map<std::u16string, std::string>{
                                  {u"Tarrow.zip", "PK archive 1"}}));
    EXPECT_EQ(rig.fake.messages, (std::vector<ShownMessage>{Question(u"1.0.8"), Question(u"1.0.8")}));
    EXPECT_EQ(RunPass(rig.app), LoopControl::Exit);
    EXPECT_EQ(rig.fake.updaterStarted, 1);
}

TEST(UpdateCheck, TheNetworkIsPreparedOnceBeforeTheFirstWorkerRuns) {
    Rig rig;
    StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, true);
    EXPECT_EQ(rig.server.prepared, 1);
    EXPECT_TRUE(rig.server.requests.empty());  // the worker has not run yet
    StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, false);
    rig.fake.RunWorkers();
    EXPECT_EQ(rig.server.prepared, 1);
    EXPECT_EQ(rig.server.requests.size(), 2u);
}

TEST(UpdateCheck, AfterTheExitStepsAWorkerTouchesNothing) {
    // Same version on request, and a Yes that would download: both end unheard.
    for (const char16_t* body : {u"1.0.7", u"2.0"}) {
        Rig rig;
        rig.fake.messageAnswers = {kIdYes};
        rig.server.version = {u"200", body};
        StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, false);
        ExitSequence(rig.app);
        rig.fake.RunWorkers();
        EXPECT_EQ(rig.fake.spoken, (std::vector<SpokenText>{{u"Exiting", true}}));
        EXPECT_TRUE(rig.fake.messages.empty());
        EXPECT_EQ(rig.fake.updaterStarted, 0);
        // And no new worker starts.
        StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, false);
        EXPECT_EQ(rig.fake.PendingWorkers(), 0u);
    }
}

TEST(UpdateCheck, TheCloseRoadAlsoStopsTheWorkers) {
    Rig rig;
    StartUpdateCheck(rig.fake, rig.app.speech, rig.app.updates, false);
    EXPECT_EQ(Dispatch(rig.app, {EventKind::Close, 0}), LoopControl::Exit);
    rig.fake.RunWorkers();
    EXPECT_TRUE(rig.fake.spoken.empty());
}

TEST(UpdateThreads, AHotkeyIsAnsweredWhileACheckWaitsForTheServer) {
    Rig rig;
    rig.fake.closeWhenIdle = false;
    std::promise<void> requested;
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    rig.app.updates.network.fetchToMemory = [&](const HttpRequest&) {
        requested.set_value();
        // Bounded, so that a check run on the main thread fails instead of hanging.
        answered.wait_for(std::chrono::seconds(10));
        return MemoryResponse{u"200", u"1.0.7"};
    };
    rig.fake.PushHotkey(28);
    EXPECT_EQ(RunPass(rig.app), LoopControl::Continue);
    std::thread worker([&] { rig.fake.RunWorkers(); });
    ASSERT_EQ(requested.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // The worker is waiting for the server; the main loop still answers.
    rig.fake.PushHotkey(29);
    EXPECT_EQ(RunPass(rig.app), LoopControl::Continue);
    EXPECT_EQ(rig.fake.SpokenTexts(), std::vector<std::u16string>{u"ready"});
    answer.set_value();
    worker.join();
    EXPECT_EQ(rig.fake.SpokenTexts(),
              (std::vector<std::u16string>{u"ready", u"No update available."}));
}

}  // namespace
}  // namespace tarrow
