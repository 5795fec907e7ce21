// The libcurl that the Windows program links: HTTP and HTTPS only, TLS through
// Schannel, and a request to a closed port fails at once instead of hanging.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Win32Curl, TheLibrarySpeaksOnlyHttpAndHttpsOverSchannel) {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    std::set<std::string> protocols;
    for (const char* const* p = info->protocols; *p != nullptr; ++p) protocols.insert(*p);
    EXPECT_EQ(protocols, (std::set<std::string>{"http", "https"}));
    ASSERT_NE(info->ssl_version, nullptr);
    EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos)
        << info->ssl_version;
    EXPECT_NE(info->features & CURL_VERSION_SSL, 0);
}

TEST(Win32Curl, AClosedPortFailsWithoutAResponseCode) {
    CURL* handle = curl_easy_init();
    ASSERT_NE(handle, nullptr);
    curl_easy_setopt(handle, CURLOPT_URL, "https://127.0.0.1:1/projects/tarrowversion.txt");
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, 20000L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const CURLcode result = curl_easy_perform(handle);
    long code = -1;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_cleanup(handle);
    EXPECT_NE(result, CURLE_OK);
    EXPECT_EQ(code, 0);
}

}  // namespace
