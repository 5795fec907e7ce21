#pragma once
// A real HTTPS server on 127.0.0.1 for the update tests: certificates made with
// openssl at test time, answers scripted per path (tests/update/live/server.py).

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "update/update.hpp"

namespace tarrow::live {

// A fresh folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Two certificate authorities, each with a server certificate for 127.0.0.1:
// "trusted" is the one the tests hand to libcurl, "stranger" is unknown to it.
// "elsewhere" is signed by the trusted one for another host name only.
struct Certificates {
    explicit Certificates(const std::string& folder);
    std::string trustedCa, trustedCert, trustedKey;
    std::string strangerCert, strangerKey;
    std::string elsewhereCert, elsewhereKey;
};

// One scripted answer; see server.py for the meaning of each field.
struct Answer {
    int status = 200;
    std::string body{};
    long bodySize = -1;
    std::string bodyFile{};
    std::string location{};
    long long length = -1;
    long cutAfter = -1;
    bool chunked = false;
    bool noLength = false;
    long dripMs = -1;
    bool hang = false;
};

class LiveServer {
public:
    LiveServer(const std::string& folder, const std::string& cert, const std::string& key);
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Replaces the answer for one path (takes effect with the next request).
    void Route(const std::string& path, const Answer& answer);
    std::u16string BaseUrl() const;
    // The same answers over plain http; its requests are logged as "plain <path> <agent>".
    std::string PlainBaseUrl() const;
    // "<path> <user agent>" per request received, in order.
    std::vector<std::string> Requests() const;

private:
    void WriteRoutes() const;
    void Stop();
    std::string folder_;
    std::string routes_, log_;
    std::map<std::string, Answer> answers_;
    pid_t pid_ = -1;
    int port_ = 0;
    int plainPort_ = 0;
};

// A TCP port that accepts connections into its backlog and never serves them.
class SilentPort {
public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    std::u16string BaseUrl() const;

private:
    int fd_ = -1;
    int port_ = 0;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace tarrow::live
