// The whole update check on real threads, through libcurl, against a real
// HTTPS server; the hand-over through the real main loop and a stub updater.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/application.hpp"
#include "app/release_profile.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/role_doubles.hpp"
#include "platform/text.hpp"
#include "update/live/live_fixture.hpp"

namespace tarrow::live {
namespace {

using std::chrono::seconds;
using testing::Box;

const std::string kVersionUrl = "/projects/tarrowversion.txt";
const std::string kArchiveUrl = "/softs/Tarrow.zip";
const Box kDownloadError{u"Download error", u"There was an error downloading Tarrow.zip.", kMbOk};

Box Question(std::u16string_view version) {
    return {u"Alert",
            u"There is a new version of Tarrow available, " + std::u16string(version) +
                u". Would you like to download it now?",
            kMbYesNo};
}

// The archive and every download file beside it.
std::vector<std::string> ArchiveFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Tarrow.zip", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> PlainRequests(const LiveServer& server) {
    std::vector<std::string> plain;
    for (const auto& line : server.Requests())
        if (line.rfind("plain ", 0) == 0) plain.push_back(line);
    return plain;
}

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string OwnFolder() {
    char buffer[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string exe(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/') + 1);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The real Linux backend for threads, files, processes and the machine's facts,
// with the user's side scripted and recorded: the boxes, the speech, the keys
// and the event loop. The update check runs on real threads through libcurl.
struct LiveProgram {
    LiveProgram() {
        // After the test's own script, the main loop gets a close request once
        // every worker has ended, or when it has run far too long.
        loop.script = [this]() -> std::optional<Event> {
            if (script) {
                if (const std::optional<Event> event = script()) return event;
            }
            if (workers.AllEnded() || std::chrono::steady_clock::now() - start > seconds(60))
                return Event{EventKind::Close, 0};
            return std::nullopt;
        };
    }

    LinuxPlatform real;
    testing::ScriptedDialogs dialogs;
    testing::RecordingSpeech voice;
    testing::AcceptingKeyboard keyboard;
    testing::ScriptedWindow loop;
    testing::CountingWorkers workers{real};
    PlatformRoles platform{loop, dialogs, keyboard, workers, voice, real, real, real, real};
    // Asked first on every wait of the main loop; an event it gives is delivered.
    std::function<std::optional<Event>()> script;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

class CheckLive : public LiveTest {
protected:
    // One check on a worker, as the hotkey or start-up starts it; waits for its
    // end. Only the roles the check takes are given: no whole platform.
    void Check(bool quiet, const UpdateServer& target) {
        SpeechOutput speech(program.voice);
        UpdateWorkers updates{{}, u"1.0.7"};
        updates.server = target;
        speech.Speak(u"ready", true);  // start-up loads speech before any worker
        StartUpdateCheck({program.workers, program.dialogs, program.real, program.loop}, speech,
                         updates, quiet);
        ASSERT_TRUE(program.workers.WaitForWorkers(seconds(40)));
    }
    void Check(bool quiet) { Check(quiet, Trusted()); }
    // What the checks made the user hear.
    std::vector<std::u16string> Heard() const {
        std::vector<std::u16string> heard;
        for (auto& text : program.voice.Spoken())
            if (text != u"ready") heard.push_back(text);
        return heard;
    }
    // The program run as a whole: start-up (whose quiet check does the work) and
    // the main loop, until the hand-over or, failing that, a close request once
    // every worker has ended.
    int RunProgram() {
        Application app(program.platform, testing::ReleaseProfile());
        app.updates.server = Trusted();
        return RunTarrow(app);
    }
    // Version 1.0.8 and its archive on the server; returns the archive's bytes.
    std::string OfferArchive() {
        std::string archive(250000, '\0');
        for (size_t i = 0; i < archive.size(); ++i) archive[i] = static_cast<char>(i * 7919 % 251);
        WriteWholeFile(folder.path() + "/archive.bin", archive);
        server->Route(kVersionUrl, {.body = "1.0.8"});
        server->Route(kArchiveUrl, {.bodyFile = folder.path() + "/archive.bin"});
        return archive;
    }
    // A stub updater in the working directory: it copies the archive it finds
    // to seen.zip, runs `more`, then leaves a file named done.
    void InstallUpdater(const std::string& more) {
        EXPECT_FALSE(FileExists(OwnFolder() + "updater")) << "a stray updater would be found first";
        WriteWholeFile(work + "/updater", "#!/bin/sh\ncp Tarrow.zip seen.zip\n" + more + "touch done\n");
        EXPECT_EQ(::chmod((work + "/updater").c_str(), 0755), 0);
    }
    void AnswerYes() {
        program.dialogs.answer = [](const Box& box) {
            return box.style == kMbYesNo ? kIdYes : kIdOk;
        };
    }

    LiveProgram program;
};

TEST_F(CheckLive, SameVersionIsSilentAtStartUpAndAnsweredOnRequest) {
    server->Route(kVersionUrl, {.body = "1.0.7"});
    Check(true);
    EXPECT_TRUE(Heard().empty());
    Check(false);
    EXPECT_EQ(Heard(), std::vector<std::u16string>{u"No update available."});
    EXPECT_TRUE(program.dialogs.Boxes().empty());
    EXPECT_EQ(RequestsFor(kVersionUrl).size(), 2u);
}

TEST_F(CheckLive, NotFoundIsSilentAlsoOnRequest) {
    Check(false);
    EXPECT_TRUE(Heard().empty());
    EXPECT_TRUE(program.dialogs.Boxes().empty());
    EXPECT_EQ(RequestsFor(kVersionUrl).size(), 1u);
}

TEST_F(CheckLive, ARedirectToAnAnswerIsAccepted) {
    server->Route(kVersionUrl, {.status = 302, .location = "/current/version"});
    server->Route("/current/version", {.body = "1.0.7"});
    Check(false);
    EXPECT_EQ(Heard(), std::vector<std::u16string>{u"No update available."});
}

TEST_F(CheckLive, ALineEndOrAnEmptyBodyIsANewVersionAndNoEndsIt) {
    for (const char* body : {"1.0.7\n", ""}) {
        server->Route(kVersionUrl, {.body = body});
        Check(true);
    }
    EXPECT_EQ(program.dialogs.Boxes(), (std::vector<Box>{Question(u"1.0.7\n"), Question(u"")}));
    EXPECT_TRUE(Heard().empty());
    EXPECT_TRUE(RequestsFor(kArchiveUrl).empty());
}

TEST_F(CheckLive, UntrustedWrongHostPlainHttpAndOversizedVersionsAreSilent) {
    server->Route(kVersionUrl, {.bodySize = 10 * 1024 * 1024});
    Check(false);
    server->Route(kVersionUrl, {.status = 302, .location = server->PlainBaseUrl() + "/v"});
    server->Route("/v", {.body = "2.0.0"});
    Check(false);
    TempFolder strangerFolder;
    LiveServer stranger(strangerFolder.path(), certs->strangerCert, certs->strangerKey);
    stranger.Route(kVersionUrl, {.body = "2.0.0"});
    Check(false, {stranger.BaseUrl(), certs->trustedCa});
    LiveServer elsewhere(strangerFolder.path(), certs->elsewhereCert, certs->elsewhereKey);
    elsewhere.Route(kVersionUrl, {.body = "2.0.0"});
    Check(false, {elsewhere.BaseUrl(), certs->trustedCa});
    EXPECT_TRUE(Heard().empty());
    EXPECT_TRUE(program.dialogs.Boxes().empty());
    EXPECT_TRUE(PlainRequests(*server).empty());
}

TEST_F(CheckLive, HeadlessTheQuestionReachesStandardErrorAsPrintableTextOnly) {
    server->Route(kVersionUrl, {.body = "\x1b]0;owned\x07\x1b[2J1.0.8\r\n\xc2\x9b" "6n\x7f"});
    program.dialogs.answer = [this](const Box& box) {  // recorded, then shown headless
        return program.real.ShowMessage(box.caption, box.text, box.style);
    };
    ::testing::internal::CaptureStderr();
    Check(false);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(printed.empty());
    EXPECT_NE(printed.find("1.0.8"), std::string::npos);
    EXPECT_EQ(printed.back(), '\n');
    for (size_t i = 0; i + 1 < printed.size(); ++i) {
        const auto c = static_cast<unsigned char>(printed[i]);
        EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "byte " << int(c) << " at " << i;
        if (c == 0xC2) {
            EXPECT_GE(static_cast<unsigned char>(printed[i + 1]), 0xA0) << "C1 control at " << i;
        }
    }
    EXPECT_TRUE(RequestsFor(kArchiveUrl).empty());  // no display: never a yes
}

TEST_F(CheckLive, AServerThatNeverAnswersEndsTheCheckWithinTheLimits) {
    server->Route(kVersionUrl, {.hang = true});
    const auto start = std::chrono::steady_clock::now();
    Check(false);
    const double took = SecondsSince(start);
    EXPECT_TRUE(Heard().empty());
    EXPECT_TRUE(program.dialogs.Boxes().empty());
    EXPECT_GE(took, 19.0);  // the whole-transfer limit, not the connect limit
    EXPECT_LT(took, 26.0);
}

TEST_F(CheckLive, TwoChecksAtOnceEachAskTheirOwnQuestion) {
    server->Route(kVersionUrl, {.body = "2.0.0"});
    std::mutex lock;
    std::condition_variable bothOpen;
    int open = 0;
    bool together = false;
    program.dialogs.answer = [&](const Box&) {
        std::unique_lock<std::mutex> guard(lock);
        ++open;
        bothOpen.notify_all();
        together = bothOpen.wait_for(guard, seconds(20), [&] { return open == 2; });
        return kIdNo;
    };
    SpeechOutput speech(program.voice);
    UpdateWorkers updates{{}, u"1.0.7"};
    updates.server = Trusted();
    speech.Speak(u"ready", true);
    const UpdateRoles roles{program.workers, program.dialogs, program.real, program.loop};
    StartUpdateCheck(roles, speech, updates, true);
    StartUpdateCheck(roles, speech, updates, false);
    ASSERT_TRUE(program.workers.WaitForWorkers(seconds(40)));
    EXPECT_TRUE(together);
    EXPECT_EQ(program.dialogs.Boxes(), (std::vector<Box>{Question(u"2.0.0"), Question(u"2.0.0")}));
    EXPECT_EQ(RequestsFor(kVersionUrl).size(), 2u);
}

TEST_F(CheckLive, FailedDownloadsShowTheErrorLeaveNoArchiveAndTheProgramGoesOn) {
    enum class Failure {
        NotFound, CutOff, CannotCreate, ToPlainHttp, CloseDelimitedCut, RedirectLoop, WrongHost
    };
    TempFolder elsewhereFolder;
    LiveServer elsewhere(elsewhereFolder.path(), certs->elsewhereCert, certs->elsewhereKey);
    elsewhere.Route(kArchiveUrl, {.body = "PK archive"});
    for (const Failure failure :
         {Failure::NotFound, Failure::CutOff, Failure::CannotCreate, Failure::ToPlainHttp,
          Failure::CloseDelimitedCut, Failure::RedirectLoop, Failure::WrongHost}) {
        SCOPED_TRACE(static_cast<int>(failure));
        LiveProgram run;
        run.dialogs.answer = [](const Box& box) { return box.style == kMbYesNo ? kIdYes : kIdOk; };
        server->Route(kVersionUrl, {.body = "1.0.8"});
        std::string folderOfRun = work + "/run" + std::to_string(static_cast<int>(failure));
        ASSERT_EQ(::mkdir(folderOfRun.c_str(), 0755), 0);
        ASSERT_EQ(::chdir(folderOfRun.c_str()), 0);
        switch (failure) {
            case Failure::NotFound:
                server->Route(kArchiveUrl, {.status = 404, .body = "<html>Not here</html>"});
                break;
            case Failure::CutOff:
                server->Route(kArchiveUrl, {.bodySize = 200000, .cutAfter = 50000});
                break;
            case Failure::CannotCreate:
                server->Route(kArchiveUrl, {.body = "PK archive"});
                ASSERT_EQ(::rmdir(folderOfRun.c_str()), 0);
                break;
            case Failure::ToPlainHttp:
                server->Route(kArchiveUrl, {.status = 302, .location = server->PlainBaseUrl() + "/zip"});
                server->Route("/zip", {.body = "PK archive"});
                break;
            case Failure::CloseDelimitedCut:
                server->Route(kArchiveUrl, {.bodySize = 200000, .cutAfter = 50000, .noLength = true});
                break;
            case Failure::RedirectLoop:
                server->Route(kArchiveUrl, {.status = 302, .location = kArchiveUrl});
                break;
            case Failure::WrongHost:
                server->Route(kArchiveUrl, {.status = 302, .location = Utf16ToUtf8(elsewhere.BaseUrl()) + kArchiveUrl});
                break;
        }
        Application app(run.platform, testing::ReleaseProfile());
        app.updates.server = Trusted();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunTarrow(app), 0);
        EXPECT_LT(SecondsSince(start), 10.0);  // well inside the 20 s limit
        EXPECT_EQ(run.dialogs.Boxes(), (std::vector<Box>{Question(u"1.0.8"), kDownloadError}));
        const auto heard = run.voice.Spoken();
        EXPECT_EQ(std::vector<std::u16string>(heard.begin() + 1, heard.end()),
                  std::vector<std::u16string>{u"Downloading update"});
        EXPECT_EQ(ArchiveFiles(folderOfRun), std::vector<std::string>{});
        EXPECT_TRUE(run.workers.UpdaterStarts().empty());
        // The loop ran on until it was closed.
        EXPECT_EQ(run.loop.ExitRequests(), 0);
        EXPECT_EQ(run.loop.Shutdowns(), 1);
        ASSERT_EQ(::chdir(work.c_str()), 0);
    }
    EXPECT_TRUE(PlainRequests(*server).empty());
    EXPECT_TRUE(elsewhere.Requests().empty());
}

TEST_F(CheckLive, AnArchiveThatDoesNotFinishWithin20SecondsFailsAndLeavesNothing) {
    server->Route(kVersionUrl, {.body = "1.0.8"});
    server->Route(kArchiveUrl, {.bodySize = 48 * 1024, .dripMs = 600});
    AnswerYes();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunProgram(), 0);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 19.0);
    EXPECT_LT(took, 28.0);
    EXPECT_EQ(program.dialogs.Boxes(), (std::vector<Box>{Question(u"1.0.8"), kDownloadError}));
    EXPECT_EQ(ArchiveFiles(work), std::vector<std::string>{});
    EXPECT_TRUE(program.workers.UpdaterStarts().empty());
}

TEST_F(CheckLive, ExitingDuringADownloadLeavesNoPartialFile) {
    const Event roads[] = {{EventKind::Hotkey, 0}, {EventKind::Menu, 0}, {EventKind::Close, 0}};
    for (const Event road : roads) {
        SCOPED_TRACE(static_cast<int>(road.kind));
        LiveProgram run;
        run.dialogs.answer = [](const Box& box) { return box.style == kMbYesNo ? kIdYes : kIdOk; };
        server->Route(kVersionUrl, {.body = "1.0.8"});
        server->Route(kArchiveUrl, {.bodySize = 64 * 1024, .dripMs = 200});
        const size_t asked = RequestsFor(kArchiveUrl).size();
        bool sent = false;
        // The road is taken once the download has begun writing its file.
        run.script = [&]() -> std::optional<Event> {
            if (sent || RequestsFor(kArchiveUrl).size() == asked || ArchiveFiles(work).empty())
                return std::nullopt;
            sent = true;
            return road;
        };
        Application app(run.platform, testing::ReleaseProfile());
        app.updates.server = Trusted();
        EXPECT_EQ(RunTarrow(app), 0);
        EXPECT_TRUE(sent);
        // Here the process would end.
        EXPECT_EQ(ArchiveFiles(work), std::vector<std::string>{});
        ASSERT_TRUE(run.workers.WaitForWorkers(seconds(10)));
        EXPECT_EQ(ArchiveFiles(work), std::vector<std::string>{});
        EXPECT_EQ(run.dialogs.Boxes(), std::vector<Box>{Question(u"1.0.8")});
        EXPECT_TRUE(run.workers.UpdaterStarts().empty());
    }
}

// Our children that have ended and were never collected.
int Zombies() {
    int count = 0;
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    while (const dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (state == 'Z' && parent == ::getpid()) ++count;
    }
    ::closedir(proc);
    return count;
}

TEST_F(CheckLive, YesDownloadsHandsOverToTheUpdaterAndTheProgramEndsWithExiting) {
    const std::string archive = OfferArchive();
    // The stub updater keeps what it found, then says it is done.
    InstallUpdater("echo $# > arguments\n"
                   "pwd > folder\n"
                   "cut -d' ' -f6 /proc/$$/stat > session\n");
    AnswerYes();

    EXPECT_EQ(RunProgram(), 0);
    // Here the process would end; the test outlives the worker's last steps.
    ASSERT_TRUE(program.workers.WaitForWorkers(seconds(10)));
    const auto heard = program.voice.Spoken();
    EXPECT_EQ(heard, (std::vector<std::u16string>{u"Welcome to Tarrow version 1.0.7, Build 222!",
                                                  u"Downloading update", u"Exiting"}));
    EXPECT_EQ(program.dialogs.Boxes(), std::vector<Box>{Question(u"1.0.8")});
    EXPECT_EQ(program.workers.UpdaterStarts(), std::vector<bool>{true});
    EXPECT_EQ(program.loop.ExitRequests(), 1);
    EXPECT_EQ(program.loop.Shutdowns(), 1);
    EXPECT_EQ(Zombies(), 0);

    ASSERT_TRUE(WaitUntil([&] { return FileExists(work + "/done"); }));
    EXPECT_EQ(ReadWholeFile(work + "/seen.zip"), archive);
    EXPECT_EQ(ReadWholeFile(work + "/arguments"), "0\n");
    EXPECT_EQ(ReadWholeFile(work + "/folder"), work + "\n");
    EXPECT_NE(std::stoi(ReadWholeFile(work + "/session")), ::getsid(0));
}

TEST_F(CheckLive, ASecondCheckAnsweredYesDuringTheHandOverLeavesTheArchiveWhole) {
    const std::string archive = OfferArchive();
    InstallUpdater("");
    // A second check from the hotkey, beside the start-up one.
    bool pressed = false;
    program.script = [&]() -> std::optional<Event> {
        if (pressed) return std::nullopt;
        pressed = true;
        return Event{EventKind::Hotkey, 28};
    };
    // The first Yes downloads at once; the second comes once that archive is in
    // place, and its own download is slow.
    std::mutex lock;
    int yeses = 0;
    program.dialogs.answer = [&](const Box& box) {
        if (box.style != kMbYesNo) return kIdOk;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (yeses++ == 0) return kIdYes;
        }
        WaitUntil([&] { return FileExists(work + "/Tarrow.zip"); });
        server->Route(kArchiveUrl, {.bodySize = 64 * 1024, .dripMs = 200});
        return kIdYes;
    };
    // The main loop takes the hand-over only once the second download runs.
    program.loop.beforeExitRequest = [&] { WaitUntil([&] { return RequestsFor(kArchiveUrl).size() == 2; }); };

    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(RequestsFor(kArchiveUrl).size(), 2u);
    EXPECT_EQ(ArchiveFiles(work), std::vector<std::string>{"Tarrow.zip"});
    ASSERT_TRUE(program.workers.WaitForWorkers(seconds(10)));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(work + "/done"); }));
    EXPECT_EQ(ReadWholeFile(work + "/seen.zip"), archive);
    EXPECT_EQ(ArchiveFiles(work), std::vector<std::string>{"Tarrow.zip"});
    EXPECT_EQ(program.workers.UpdaterStarts(), std::vector<bool>{true});
    EXPECT_EQ(program.dialogs.Boxes(), (std::vector<Box>{Question(u"1.0.8"), Question(u"1.0.8")}));
    EXPECT_EQ(program.voice.Spoken().back(), u"Exiting");
}

TEST_F(CheckLive, WithoutAnUpdaterTheProgramStillEnds) {
    server->Route(kVersionUrl, {.body = "1.0.8"});
    server->Route(kArchiveUrl, {.body = "PK archive"});
    AnswerYes();
    EXPECT_EQ(RunProgram(), 0);
    // Here the process would end; the test outlives the worker's last steps.
    ASSERT_TRUE(program.workers.WaitForWorkers(seconds(10)));
    EXPECT_EQ(program.workers.UpdaterStarts(), std::vector<bool>{false});
    EXPECT_EQ(program.voice.Spoken().back(), u"Exiting");
    EXPECT_EQ(ReadWholeFile("Tarrow.zip"), "PK archive");
}

}  // namespace
}  // namespace tarrow::live
