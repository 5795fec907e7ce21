#pragma once
// The update check: version query, download and hand-over to the updater.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_services.hpp"
#include "speech/speech.hpp"

namespace tarrow {

// Time limits of one thread's requests. The worker keeps its own on its stack
// and hands them to every request it makes.
struct HttpLimits {
    long connectMs = 0;
    long transferMs = 0;
};
inline constexpr HttpLimits kUpdateHttpLimits{3000, 20000};

inline constexpr std::u16string_view kVersionPath = u"/projects/tarrowversion.txt";
inline constexpr std::u16string_view kArchivePath = u"/softs/Tarrow.zip";
inline constexpr std::u16string_view kArchiveFile = u"Tarrow.zip";
// The most of a version file that is held in memory; a longer one fails the request.
inline constexpr size_t kMaxVersionBody = 64 * 1024;
// The largest archive accepted; a longer one is a failed download.
inline constexpr uint64_t kMaxArchiveBytes = 256ull * 1024 * 1024;

// Where the update files are fetched from.
struct UpdateServer {
    std::u16string baseUrl;  // "https://host[:port]", no trailing slash
    // Trust store for test servers only; empty leaves libcurl's own (always so when shipped).
    std::string caFile;
};

struct HttpRequest {
    std::u16string url;
    HttpLimits limits;
    std::string caFile;
    // Polled while the request runs; true ends it as a failure.
    std::function<bool()> stop{};
};

struct MemoryResponse {
    std::u16string status;  // the final response code in decimal; "0" after any failure
    std::u16string body;    // UTF-8 decoded, up to the first zero byte
};

// Both GETs go over HTTPS only, redirects included (at most 5 of them), with the
// server's certificate and host name verified.
// GET into memory; a body over kMaxVersionBody fails like a broken transfer.
MemoryResponse FetchToMemory(const HttpRequest& request);
// GET into a file created at `path` (others may only read it meanwhile). True only
// when the transfer completed with a final status of 200-299 and a body known to
// be whole (its announced length, or chunked) of at most kMaxArchiveBytes;
// otherwise the file this call created is deleted.
bool FetchToFile(Files& files, const HttpRequest& request, std::u16string_view path);

// The network as the worker sees it; tests put a scripted one in its place.
struct UpdateNetwork {
    std::function<void()> prepare;  // once, on the main thread, before any worker runs
    std::function<MemoryResponse(const HttpRequest&)> fetchToMemory;
    std::function<bool(Files&, const HttpRequest&, std::u16string_view)> fetchToFile;
};
UpdateNetwork CurlNetwork();

enum class HandOverResult {
    Done,     // the step succeeded; every later hand-over is refused
    Failed,   // the step ran and failed; a later check may try again
    Refused,  // the program is ending, or another archive was handed over
};

// Lets workers touch the program's shared state only while it exists. Short
// actions (speaking, the hand-over) run inside the gate; closing it waits for
// those in progress and refuses all later ones. It also knows the downloads
// running, so that none outlives the program with a partial file.
class WorkerGate {
public:
    // Runs the action unless the gate is closed; false when it did not run.
    bool Run(const std::function<void()>& action);
    bool IsOpen() const;
    void Close();

    // Runs the hand-over step inside the gate, one worker at a time, and at most
    // one successfully in the whole run.
    HandOverResult HandOver(const std::function<bool()>& step);

    // A download into `file` begins (false once closed: then none may) or ends
    // with its file handed over or removed.
    bool BeginDownload(const std::u16string& file);
    void EndDownload(const std::u16string& file);
    // After Close: waits until every download has ended or `limit` has passed;
    // returns the files of those still running.
    std::vector<std::u16string> AwaitDownloads(std::chrono::milliseconds limit);

private:
    mutable std::mutex lock_;
    std::condition_variable idle_;
    int busy_ = 0;
    bool closed_ = false;
    std::vector<std::u16string> downloads_;
    std::mutex handOverLock_;
    bool handedOver_ = false;
};

// The update check's part of the program state.
struct UpdateWorkers {
    // The server asked, and the running version its answer is compared with.
    UpdateWorkers(UpdateServer server, std::u16string runningVersion);
    ~UpdateWorkers();
    UpdateWorkers(const UpdateWorkers&) = delete;
    UpdateWorkers& operator=(const UpdateWorkers&) = delete;

    UpdateServer server;
    std::u16string runningVersion;
    UpdateNetwork network;
    std::shared_ptr<WorkerGate> gate;
    bool networkPrepared = false;
    int checksStarted = 0;  // numbers each check's own download file
};

// What an update check uses besides the speech: its worker thread, the question
// and the error box, the download's files, and the exit request that hands the
// archive over to the main thread. The application's PlatformServices converts to it.
struct UpdateRoles {
    UpdateRoles(Workers& workers, Dialogs& dialogs, Files& files, WindowAndEvents& events)
        : workers(workers), dialogs(dialogs), files(files), events(events) {}
    UpdateRoles(PlatformServices& platform) : UpdateRoles(platform, platform, platform, platform) {}
    UpdateRoles(const PlatformRoles& roles)
        : UpdateRoles(roles.workers, roles.dialogs, roles.files, roles.window) {}

    Workers& workers;
    Dialogs& dialogs;
    Files& files;
    WindowAndEvents& events;
};

// Starts one update check on a new worker thread. Main thread only.
void StartUpdateCheck(UpdateRoles roles, SpeechOutput& speech, UpdateWorkers& workers, bool quiet);
// Before the services shut down: waits for a worker's speech in progress, then
// keeps every worker from touching the program again and stops its download.
void StopUpdateWorkers(UpdateWorkers& workers);
// After StopUpdateWorkers: gives the stopped downloads a moment to remove their
// files, and removes those of any that did not, so no partial file outlives us.
void RemovePartialDownloads(Files& files, UpdateWorkers& workers);

}  // namespace tarrow
