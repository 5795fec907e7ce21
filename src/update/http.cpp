// The two GET requests of the update check, through the libcurl easy interface.

#include <curl/curl.h>

#include <cctype>
#include <functional>
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
constexpr long kMaxRedirects = 5;

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

// One archive download: where it goes, how much arrived and how the final
// response said its body would end.
struct Download {
    OutputFile* file = nullptr;
    uint64_t written = 0;
    bool chunked = false;
};

size_t WriteToFile(char* data, size_t size, size_t count, void* user) noexcept {
    auto* download = static_cast<Download*>(user);
    const size_t total = size * count;
    // Past the cap the transfer ends as an error, whatever was announced.
    if (total > kMaxArchiveBytes - download->written) return 0;
    try {
        // A short write ends the transfer as an error.
        const size_t written = download->file->Write(std::string_view(data, total));
        download->written += written;
        return written;
    } catch (...) {
        return 0;
    }
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// Only the last transfer coding says how the body ends.
bool EndsChunked(std::string_view codings) {
    const size_t comma = codings.rfind(',');
    std::string_view last = comma == std::string_view::npos ? codings : codings.substr(comma + 1);
    while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) last.remove_prefix(1);
    while (!last.empty() && std::isspace(static_cast<unsigned char>(last.back()))) last.remove_suffix(1);
    return last.size() == 7 && StartsWithNoCase(last, "chunked");
}

// Sees the headers of every response on the way, redirects included; what
// counts is the last response's.
size_t NoteHeader(char* data, size_t size, size_t count, void* user) noexcept {
    auto* download = static_cast<Download*>(user);
    const std::string_view line(data, size * count);
    constexpr std::string_view kTransferEncoding = "transfer-encoding:";
    if (StartsWithNoCase(line, "http/")) {
        download->chunked = false;
    } else if (StartsWithNoCase(line, kTransferEncoding)) {
        download->chunked = EndsChunked(line.substr(kTransferEncoding.size()));
    }
    return size * count;
}

int PollStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    const auto* stop = static_cast<const std::function<bool()>*>(user);
    try {
        return (*stop)() ? 1 : 0;  // non-zero aborts the transfer
    } catch (...) {
        return 1;
    }
}

// One request's easy handle. The error text comes first so that it outlives
// the handle: libcurl may write it until the cleanup.
struct Transfer {
    char errorText[CURL_ERROR_SIZE] = {};
    EasyHandle curl{curl_easy_init()};
};

// The options both requests share, in their order, up to the URL and agent.
// false when this libcurl cannot be held to HTTPS: then nothing is fetched.
bool SetCommonStart(CURL* curl, const std::string& url) {
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    // Every hop stays on verified HTTPS, and a loop ends after a few.
    if (curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https") != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https") != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) != CURLE_OK) {
        return false;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    return true;
}

void SetLimits(CURL* curl, const HttpRequest& request) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.limits.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request.limits.transferMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Only a build for the test server names a trust store; the shipped one keeps libcurl's.
    if (!request.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, request.caFile.c_str());
    if (request.stop) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &PollStop);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &request.stop);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
}

long ResponseCode(CURL* curl) {
    long code = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
    return code;
}

// The body is known to be whole only when its end was marked: the announced
// length arrived, or the last chunk did (HTTP/2 and later end each stream
// explicitly). A body that runs until the connection closes may have been cut.
bool ArrivedWhole(CURL* curl, const Download& download) {
    curl_off_t announced = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK) {
        return false;
    }
    if (announced >= 0) return static_cast<uint64_t>(announced) == download.written;
    long version = 0;
    if (curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &version) != CURLE_OK) return false;
    return download.chunked || version >= CURL_HTTP_VERSION_2_0;
}

}  // namespace

MemoryResponse FetchToMemory(const HttpRequest& request) {
    MemoryResponse response{u"0", {}};
    // Our URLs are plain ASCII, the same in every code page.
    const std::string url = Utf16ToUtf8(request.url);
    GrowingBuffer body(kMaxVersionBody);
    GrowingBuffer headers(kMaxHeaderBytes);
    Transfer transfer;
    CURL* curl = transfer.curl.get();
    if (curl == nullptr || !SetCommonStart(curl, url)) return response;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "GET");
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &AppendHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.errorText);
    SetLimits(curl, request);

    if (curl_easy_perform(curl) != CURLE_OK) return response;
    response.status = Ascii(std::to_string(ResponseCode(curl)));
    std::string_view text(body.bytes);
    text = text.substr(0, text.find('\0'));
    response.body = Utf8ToUtf16(text);
    return response;
}

bool FetchToFile(Files& files, const HttpRequest& request, std::u16string_view path) {
    std::unique_ptr<OutputFile> file = files.OpenOutputFile(path, OutputMode::Exclusive);
    // Not created: nothing of ours to delete.
    if (!file) return false;

    bool ok = false;
    {
        const std::string url = Utf16ToUtf8(request.url);
        Download download{file.get()};
        Transfer transfer;
        CURL* curl = transfer.curl.get();
        if (curl != nullptr && SetCommonStart(curl, url)) {
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToFile);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
            curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &NoteHeader);
            curl_easy_setopt(curl, CURLOPT_HEADERDATA, &download);
            // An announced length past the cap is refused before any byte is written.
            curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(kMaxArchiveBytes));
            SetLimits(curl, request);
            // An error page is no archive, and neither is a body that may have been cut.
            ok = curl_easy_perform(curl) == CURLE_OK && ResponseCode(curl) / 100 == 2 &&
                 ArrivedWhole(curl, download);
        }
    }
    file.reset();
    if (!ok) files.DeleteFile(path);
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
