// FetchToMemory and FetchToFile against a real HTTPS server through libcurl.

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/linux/linux_platform.hpp"
#include "platform/text.hpp"
#include "update/live/live_fixture.hpp"

namespace tarrow::live {
namespace {

using FetchToMemoryLive = LiveTest;
using FetchToFileLive = LiveTest;

std::string SomeArchive(size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 24);  // zero bytes included
    }
    return bytes;
}

TEST_F(FetchToMemoryLive, StatusAndBodyOfTheFinalResponse) {
    server->Route("/v", {.body = "1.0.7"});
    server->Route("/moved", {.status = 301, .location = "/v"});
    server->Route("/gone", {.status = 404, .body = "no such file"});
    server->Route("/text", {.body = std::string("caf\xc3\xa9\n", 6)});
    server->Route("/zero", {.body = std::string("1.0\0junk", 8)});

    EXPECT_EQ(FetchToMemory(Request(u"/v")).status, u"200");
    EXPECT_EQ(FetchToMemory(Request(u"/v")).body, u"1.0.7");
    const MemoryResponse moved = FetchToMemory(Request(u"/moved"));
    EXPECT_EQ(moved.status, u"200");
    EXPECT_EQ(moved.body, u"1.0.7");
    const MemoryResponse gone = FetchToMemory(Request(u"/gone"));
    EXPECT_EQ(gone.status, u"404");
    EXPECT_EQ(FetchToMemory(Request(u"/text")).body, u"caf\u00e9\n");
    EXPECT_EQ(FetchToMemory(Request(u"/zero")).body, u"1.0");
    // Every request names itself the same way.
    for (const auto& line : server->Requests()) EXPECT_EQ(line.substr(line.find(' ') + 1), kAgent);
}

TEST_F(FetchToMemoryLive, TheBodyIsHeldUpTo64KiBAndALongerOneFails) {
    server->Route("/fits", {.bodySize = 64 * 1024});
    server->Route("/over", {.bodySize = 64 * 1024 + 1});
    server->Route("/huge", {.bodySize = 10 * 1024 * 1024});
    const MemoryResponse fits = FetchToMemory(Request(u"/fits"));
    EXPECT_EQ(fits.status, u"200");
    EXPECT_EQ(fits.body.size(), 64u * 1024u);
    for (const char16_t* path : {u"/over", u"/huge"}) {
        const MemoryResponse over = FetchToMemory(Request(path));
        EXPECT_EQ(over.status, u"0");
        EXPECT_TRUE(over.body.empty());
    }
}

TEST_F(FetchToMemoryLive, BrokenTransfersAndUntrustedServersGiveStatusZero) {
    server->Route("/cut", {.bodySize = 100000, .cutAfter = 1000});
    server->Route("/v", {.body = "1.0.7"});
    EXPECT_EQ(FetchToMemory(Request(u"/cut")).status, u"0");
    // libcurl's own trust store, as shipped, does not know the test authority.
    HttpRequest shipped = Request(u"/v");
    shipped.caFile.clear();
    EXPECT_EQ(FetchToMemory(shipped).status, u"0");
    // A server whose certificate comes from an authority nobody trusts.
    TempFolder strangerFolder;
    LiveServer stranger(strangerFolder.path(), certs->strangerCert, certs->strangerKey);
    stranger.Route("/v", {.body = "1.0.7"});
    EXPECT_EQ(FetchToMemory({stranger.BaseUrl() + u"/v", kUpdateHttpLimits, certs->trustedCa}).status,
              u"0");
    EXPECT_EQ(stranger.Requests().size(), 0u);
}

bool AnyPlainRequest(const LiveServer& server) {
    for (const auto& line : server.Requests())
        if (line.rfind("plain ", 0) == 0) return true;
    return false;
}

TEST_F(FetchToMemoryLive, EveryHopStaysOnVerifiedHttpsAndRedirectsAreFew) {
    server->Route("/v", {.body = "1.0.7"});
    server->Route("/to-plain", {.status = 302, .location = server->PlainBaseUrl() + "/v"});
    server->Route("/loop", {.status = 302, .location = "/loop"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchToMemory(Request(u"/to-plain")).status, u"0");
    EXPECT_EQ(FetchToMemory(Request(u"/loop")).status, u"0");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_EQ(RequestsFor("/loop").size(), 6u);  // the request and five redirects
    EXPECT_FALSE(AnyPlainRequest(*server));
    // The trusted authority vouches for this server, but under another name.
    TempFolder elsewhereFolder;
    LiveServer elsewhere(elsewhereFolder.path(), certs->elsewhereCert, certs->elsewhereKey);
    elsewhere.Route("/v", {.body = "1.0.7"});
    EXPECT_EQ(FetchToMemory({elsewhere.BaseUrl() + u"/v", kUpdateHttpLimits, certs->trustedCa}).status,
              u"0");
    EXPECT_TRUE(elsewhere.Requests().empty());
}

TEST_F(FetchToMemoryLive, AServerThatNeverHandsOverGivesUpAtTheConnectLimit) {
    SilentPort silent;
    const auto start = std::chrono::steady_clock::now();
    const MemoryResponse response =
        FetchToMemory({silent.BaseUrl() + u"/v", kUpdateHttpLimits, certs->trustedCa});
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(response.status, u"0");
    EXPECT_GE(seconds, 2.5);
    EXPECT_LT(seconds, 8.0);
}

TEST_F(FetchToFileLive, TheArchiveIsSavedOnlyWhenWholeOverHttpsWithASuccessStatus) {
    LinuxPlatform platform;
    const std::string archive = SomeArchive(300000);
    const std::string body = folder.path() + "/archive.bin";
    WriteWholeFile(body, archive);
    server->Route("/zip", {.bodyFile = body});
    server->Route("/moved", {.status = 302, .location = "/zip"});
    server->Route("/chunked", {.bodyFile = body, .chunked = true});
    server->Route("/missing", {.status = 404, .body = "<html>error page</html>"});
    server->Route("/broken", {.status = 500, .body = "oops"});
    server->Route("/cut", {.bodyFile = body, .cutAfter = 100000});
    server->Route("/close-cut", {.bodyFile = body, .cutAfter = 100000, .noLength = true});
    server->Route("/close-whole", {.bodyFile = body, .noLength = true});
    server->Route("/chunks-cut", {.bodyFile = body, .cutAfter = 100000, .chunked = true});
    server->Route("/to-plain", {.status = 302, .location = server->PlainBaseUrl() + "/zip"});
    server->Route("/loop", {.status = 307, .location = "/loop"});
    server->Route("/too-big", {.body = "PK", .length = 257ll * 1024 * 1024});

    for (const char16_t* path : {u"/moved", u"/chunked"}) {
        EXPECT_TRUE(FetchToFile(platform, Request(path), u"Tarrow.zip.1.part"));
        EXPECT_EQ(ReadWholeFile("Tarrow.zip.1.part"), archive) << Utf16ToUtf8(path);
    }
    ASSERT_EQ(::unlink("Tarrow.zip.1.part"), 0);
    WriteWholeFile("Tarrow.zip", "the archive before");
    for (const char16_t* path : {u"/missing", u"/broken", u"/cut", u"/close-cut", u"/close-whole",
                                 u"/chunks-cut", u"/to-plain", u"/loop", u"/too-big"}) {
        EXPECT_FALSE(FetchToFile(platform, Request(path), u"Tarrow.zip.1.part"))
            << Utf16ToUtf8(path);
        EXPECT_FALSE(FileExists("Tarrow.zip.1.part")) << "left behind after " << Utf16ToUtf8(path);
    }
    EXPECT_EQ(ReadWholeFile("Tarrow.zip"), "the archive before");
    EXPECT_FALSE(AnyPlainRequest(*server));
}

TEST_F(FetchToFileLive, ARequestToldToStopEndsAtOnceAndLeavesNothing) {
    LinuxPlatform platform;
    server->Route("/slow", {.bodySize = 64 * 1024, .dripMs = 200});
    std::atomic<bool> stop{false};
    HttpRequest request = Request(u"/slow");
    request.stop = [&stop] { return stop.load(); };
    std::thread stopper([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (RequestsFor("/slow").empty() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchToFile(platform, request, u"Tarrow.zip.1.part"));
    stopper.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_FALSE(FileExists("Tarrow.zip.1.part"));
}

TEST_F(FetchToFileLive, NoFileNoRequestAndAnotherWritersFileIsLeftAlone) {
    LinuxPlatform platform;
    server->Route("/zip", {.body = "archive"});
    // Another check is writing the archive: this one cannot create it.
    {
        auto other = platform.OpenOutputFile(u"Tarrow.zip", OutputMode::Exclusive);
        ASSERT_TRUE(other);
        other->Write("half of another download");
        EXPECT_FALSE(FetchToFile(platform, Request(u"/zip"), u"Tarrow.zip"));
        EXPECT_EQ(ReadWholeFile("Tarrow.zip"), "half of another download");
    }
    ASSERT_EQ(::unlink("Tarrow.zip"), 0);
    // A folder where nothing can be created.
    ASSERT_EQ(::rmdir(work.c_str()), 0);
    EXPECT_FALSE(FetchToFile(platform, Request(u"/zip"), u"Tarrow.zip"));
    EXPECT_TRUE(RequestsFor("/zip").empty());
}

}  // namespace
}  // namespace tarrow::live
