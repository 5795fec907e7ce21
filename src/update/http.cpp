// The two GET requests of the update check, through the libcurl easy interface.

#include <curl/curl.h>

#include <memory>
#include <string>

#include "platform/text.hpp"
#include "update/update.hpp"

namespace tarrow {

namespace {

constexpr const char* kUserAgent = "Mozilla/5.0 Gecko/41.0 Firefox/41.0";
constexpr size_t kBufferStep = 512 * 1024;
// Response headers are collected but never read; past this they are only counted.
constexpr size_t kMaxHeaderBytes = 64 * 1024;

struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

// A growable buffer: starts at 512 KB, and a chunk that does not fit grows it
// by the chunk's size plus 512 KB. Past `limit` bytes the chunk is refused.
struct GrowingBuffer {
    explicit GrowingBuffer(size_t maxBytes) : limit(maxBytes) { bytes.reserve(kBufferStep); }
    std::string bytes;
    size_t limit;
    bool overflowed = false;

    bool Append(const char* data, size_t size) {
        if (size > limit - bytes.size()) {
            overflowed = true;
            return false;
        }
        if (bytes.capacity() - bytes.size() < size) bytes.reserve(bytes.capacity() + size + kBufferStep);
        bytes.append(data, size);
        return true;
    }
};

size_t AppendBody(char* data, size_t size, size_t count, void* user) noexcept {
    auto* buffer = static_cast<GrowingBuffer*>(user);
    const size_t total = size * count;
    try {
        // Anything but the full count makes libcurl end the transfer as an error.
        return buffer->Append(data, total) ? total : 0;
    } catch (...) {
        return 0;
    }
}

size_t AppendHeader(char* data, size_t size, size_t count, void* user) noexcept {
    auto* buffer = static_cast<GrowingBuffer*>(user);
    const size_t total = size * count;
    try {
        buffer->Append(data, total);  // headers past the bound are dropped, not fatal
    } catch (...) {
    }
    return total;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* user) noexcept {
    auto* file = static_cast<OutputFile*>(user);
    try {
        // A short write ends the transfer as an error.
        return file->Write(std::string_view(data, size * count));
    } catch (...) {
        return 0;
    }
}

// The options both requests share, in their order, up to the URL and agent.
void SetCommonStart(CURL* curl, const std::string& url) {
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
}

void SetLimits(CURL* curl, const HttpRequest& request) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.limits.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request.limits.transferMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Only a build for the test server names a trust store; the shipped one keeps libcurl's.
    if (!request.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, request.caFile.c_str());
}

long ResponseCode(CURL* curl) {
    long code = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
    return code;
}

}  // namespace

MemoryResponse FetchToMemory(const HttpRequest& request) {
    MemoryResponse response{u"0", {}};
    EasyHandle curl(curl_easy_init());
    if (!curl) return response;
    // Our URLs are plain ASCII, the same in every code page.
    const std::string url = Utf16ToUtf8(request.url);
    GrowingBuffer body(kMaxVersionBody);
    GrowingBuffer headers(kMaxHeaderBytes);
    char errorText[CURL_ERROR_SIZE] = {};

    SetCommonStart(curl.get(), url);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, "GET");
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, &AppendHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
    SetLimits(curl.get(), request);

    if (curl_easy_perform(curl.get()) != CURLE_OK) return response;
    response.status = Ascii(std::to_string(ResponseCode(curl.get())));
    std::string_view text(body.bytes);
    text = text.substr(0, text.find('\0'));
    response.body = Utf8ToUtf16(text);
    return response;
}

bool FetchToFile(PlatformServices& platform, const HttpRequest& request, std::u16string_view path) {
    std::unique_ptr<OutputFile> file = platform.OpenOutputFile(path, OutputMode::Exclusive);
    // Not created (perhaps another check is writing it): nothing of ours to delete.
    if (!file) return false;

    bool ok = false;
    if (EasyHandle curl{curl_easy_init()}) {
        const std::string url = Utf16ToUtf8(request.url);
        SetCommonStart(curl.get(), url);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &WriteToFile);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, file.get());
        SetLimits(curl.get(), request);
        // An error page is no archive: the final status must say success.
        ok = curl_easy_perform(curl.get()) == CURLE_OK && ResponseCode(curl.get()) / 100 == 2;
    }
    file.reset();
    if (!ok) platform.DeleteFile(path);
    return ok;
}

UpdateNetwork CurlNetwork() {
    UpdateNetwork network;
    // Never balanced by a cleanup: workers may still be running when the process ends.
    network.prepare = [] { curl_global_init(CURL_GLOBAL_DEFAULT); };
    network.fetchToMemory = &FetchToMemory;
    network.fetchToFile = &FetchToFile;
    return network;
}

}  // namespace tarrow
