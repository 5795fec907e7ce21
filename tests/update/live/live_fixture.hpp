#pragma once
// Per test: a fresh folder with certificates, a scripted HTTPS server, and a
// working directory of its own ("work/") that the test runs in.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>

#include "update/live/live_server.hpp"

namespace tarrow::live {

inline const std::string kAgent = "Mozilla/5.0 Gecko/41.0 Firefox/41.0";

class LiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        original_ = cwd;
        certs = std::make_unique<Certificates>(folder.path());
        server = std::make_unique<LiveServer>(folder.path(), certs->trustedCert, certs->trustedKey);
        work = folder.path() + "/work";
        ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
        ASSERT_EQ(::chdir(work.c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(::chdir(original_.c_str()), 0); }

    UpdateServer Trusted() const { return {server->BaseUrl(), certs->trustedCa}; }
    HttpRequest Request(std::u16string_view path) const {
        return {server->BaseUrl() + std::u16string(path), kUpdateHttpLimits, certs->trustedCa};
    }
    // Lines of the server's log for one path.
    std::vector<std::string> RequestsFor(const std::string& path) const {
        std::vector<std::string> hits;
        for (const auto& line : server->Requests())
            if (line.rfind(path + " ", 0) == 0) hits.push_back(line);
        return hits;
    }

    TempFolder folder;
    std::unique_ptr<Certificates> certs;
    std::unique_ptr<LiveServer> server;
    std::string work;

private:
    std::string original_;
};

}  // namespace tarrow::live
