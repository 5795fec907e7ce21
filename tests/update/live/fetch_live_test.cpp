// FetchToMemory and FetchToFile against a real HTTPS server through libcurl.

#include <chrono>

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

TEST_F(FetchToFileLive, TheArchiveIsSavedWholeOnlyWhenTheFinalStatusIsSuccess) {
    LinuxPlatform platform;
    const std::string archive = SomeArchive(300000);
    WriteWholeFile(folder.path() + "/archive.bin", archive);
    server->Route("/zip", {.bodyFile = folder.path() + "/archive.bin"});
    server->Route("/moved", {.status = 302, .location = "/zip"});
    server->Route("/missing", {.status = 404, .body = "<html>error page</html>"});
    server->Route("/broken", {.status = 500, .body = "oops"});
    server->Route("/cut", {.bodyFile = folder.path() + "/archive.bin", .cutAfter = 100000});

    EXPECT_TRUE(FetchToFile(platform, Request(u"/moved"), u"Tarrow.zip"));
    EXPECT_EQ(ReadWholeFile("Tarrow.zip"), archive);
    for (const char16_t* path : {u"/missing", u"/broken", u"/cut"}) {
        WriteWholeFile("Tarrow.zip", "an older archive");
        EXPECT_FALSE(FetchToFile(platform, Request(path), u"Tarrow.zip"));
        EXPECT_FALSE(FileExists("Tarrow.zip")) << "left behind after " << Utf16ToUtf8(path);
    }
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
