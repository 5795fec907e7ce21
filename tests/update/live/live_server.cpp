#include "update/live/live_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/text.hpp"

extern char** environ;

namespace tarrow::live {

namespace {

constexpr const char* kNewKey = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes ";

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// An authority's key and self-signed certificate: <dir>/<name>-ca.{key,pem}.
void MakeAuthority(const std::string& dir, const std::string& name) {
    const std::string ca = dir + "/" + name + "-ca";
    Run("openssl req -x509" + std::string(kNewKey) + "-keyout " + ca + ".key -out " + ca +
        ".pem -days 2 -subj '/CN=Tarrow " + name +
        " CA' -addext basicConstraints=critical,CA:TRUE "
        "-addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null");
}

// A server key and certificate <dir>/<server>.{key,pem} for the names in
// `altNames`, signed by the authority `ca`.
void MakeServer(const std::string& dir, const std::string& ca, const std::string& server,
                const std::string& altNames) {
    const std::string authority = dir + "/" + ca + "-ca";
    const std::string out = dir + "/" + server;
    WriteWholeFile(dir + "/ext.cnf", "subjectAltName=" + altNames +
                                         "\nbasicConstraints=CA:FALSE\n"
                                         "extendedKeyUsage=serverAuth\n");
    Run("openssl req" + std::string(kNewKey) + "-keyout " + out + ".key -out " + out +
        ".csr -subj /CN=" + server + " 2>/dev/null");
    Run("openssl x509 -req -in " + out + ".csr -CA " + authority + ".pem -CAkey " + authority +
        ".key -CAcreateserial -out " + out + ".pem -days 2 -extfile " + dir + "/ext.cnf 2>/dev/null");
}

}  // namespace

TempFolder::TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tarrow-live-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

Certificates::Certificates(const std::string& folder) {
    const std::string local = "IP:127.0.0.1,DNS:localhost";
    MakeAuthority(folder, "trusted");
    MakeAuthority(folder, "stranger");
    MakeServer(folder, "trusted", "trusted-server", local);
    MakeServer(folder, "stranger", "stranger-server", local);
    MakeServer(folder, "trusted", "elsewhere-server", "DNS:elsewhere.test");
    trustedCa = folder + "/trusted-ca.pem";
    trustedCert = folder + "/trusted-server.pem";
    trustedKey = folder + "/trusted-server.key";
    strangerCert = folder + "/stranger-server.pem";
    strangerKey = folder + "/stranger-server.key";
    elsewhereCert = folder + "/elsewhere-server.pem";
    elsewhereKey = folder + "/elsewhere-server.key";
}

LiveServer::LiveServer(const std::string& folder, const std::string& cert, const std::string& key)
    : folder_(folder), routes_(folder + "/routes.json"), log_(folder + "/requests.log") {
    WriteRoutes();
    WriteWholeFile(log_, "");
    const std::string portFile = folder + "/port";
    const std::string plainPortFile = folder + "/plain-port";
    std::vector<std::string> args = {"python3",  TARROW_LIVE_SERVER_SCRIPT,
                                     "--cert",   cert,
                                     "--key",    key,
                                     "--routes", routes_,
                                     "--log",    log_,
                                     "--port-file", portFile,
                                     "--plain-port-file", plainPortFile};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawnp(&pid_, "python3", nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start python3");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!FileExists(portFile)) {
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();  // no destructor runs after a throw from here
            throw std::runtime_error("no server");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    port_ = std::stoi(ReadWholeFile(portFile));
    plainPort_ = std::stoi(ReadWholeFile(plainPortFile));
}

LiveServer::~LiveServer() { Stop(); }

void LiveServer::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

void LiveServer::Route(const std::string& path, const Answer& answer) {
    answers_[path] = answer;
    WriteRoutes();
}

void LiveServer::WriteRoutes() const {
    std::ostringstream json;
    json << "{";
    bool first = true;
    for (const auto& [path, a] : answers_) {
        json << (first ? "" : ",") << JsonText(path) << ":{\"status\":" << a.status
             << ",\"body\":" << JsonText(a.body);
        if (a.bodySize >= 0) json << ",\"body_size\":" << a.bodySize;
        if (!a.bodyFile.empty()) json << ",\"body_file\":" << JsonText(a.bodyFile);
        if (!a.location.empty()) json << ",\"location\":" << JsonText(a.location);
        if (a.length >= 0) json << ",\"length\":" << a.length;
        if (a.cutAfter >= 0) json << ",\"cut_after\":" << a.cutAfter;
        if (a.chunked) json << ",\"chunked\":true";
        if (a.noLength) json << ",\"no_length\":true";
        if (a.dripMs >= 0) json << ",\"drip_ms\":" << a.dripMs;
        if (a.hang) json << ",\"hang\":true";
        json << "}";
        first = false;
    }
    json << "}";
    // Whole or not at all: the server may read it at any moment.
    WriteWholeFile(routes_ + ".tmp", json.str());
    std::filesystem::rename(routes_ + ".tmp", routes_);
}

std::u16string LiveServer::BaseUrl() const {
    return Utf8ToUtf16("https://127.0.0.1:" + std::to_string(port_));
}

std::string LiveServer::PlainBaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(plainPort_);
}

std::vector<std::string> LiveServer::Requests() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadWholeFile(log_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

SilentPort::SilentPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot listen");
    port_ = ntohs(address.sin_port);
}

SilentPort::~SilentPort() {
    if (fd_ >= 0) ::close(fd_);
}

std::u16string SilentPort::BaseUrl() const {
    return Utf8ToUtf16("https://127.0.0.1:" + std::to_string(port_));
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace tarrow::live
