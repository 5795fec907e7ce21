#include "update/update.hpp"

#include "app/application.hpp"

namespace tarrow {

namespace {

constexpr std::u16string_view kQuestionStart = u"There is a new version of Tarrow available, ";
constexpr std::u16string_view kQuestionEnd = u". Would you like to download it now?";

// Everything one worker needs, copied so that it never reads the program's
// records; only the speech output is reached, and only through the gate.
struct UpdateJob {
    UpdateServer server;
    UpdateNetwork network;
    std::shared_ptr<WorkerGate> gate;
    bool quiet = false;
};

HttpRequest RequestFor(const UpdateJob& job, std::u16string_view path, const HttpLimits& limits) {
    return {job.server.baseUrl + std::u16string(path), limits, job.server.caFile};
}

void UpdateCheck(PlatformServices& platform, SpeechOutput& speech, const UpdateJob& job) {
    // This thread's limits, for both of its requests.
    const HttpLimits limits = kUpdateHttpLimits;
    WorkerGate& gate = *job.gate;

    const MemoryResponse version = job.network.fetchToMemory(RequestFor(job, kVersionPath, limits));
    if (version.status != u"200") return;
    if (version.body == kRunningVersion) {
        if (!job.quiet) gate.Run([&] { speech.Speak(u"No update available.", false); });
        return;
    }

    // A box holds this thread for as long as the user likes, so it cannot run
    // inside the gate; the platform keeps an open box safe through shutdown.
    if (!gate.IsOpen()) return;
    const std::u16string question =
        std::u16string(kQuestionStart) + version.body + std::u16string(kQuestionEnd);
    if (platform.ShowMessage(u"Alert", question, kMbYesNo) != kIdYes) return;
    if (!gate.Run([&] { speech.Speak(u"Downloading update", false); })) return;

    if (!job.network.fetchToFile(platform, RequestFor(job, kArchivePath, limits), kArchiveFile)) {
        if (!gate.IsOpen()) return;
        platform.ShowMessage(u"Download error", u"There was an error downloading Tarrow.zip.",
                             kMbOk);
        return;
    }
    // The main thread starts the updater, says "Exiting" and ends the program at
    // once, so the updater never runs beside a program that is still going (the
    // main thread may be holding a box); this thread touches nothing after this.
    gate.Run([&] { platform.PostExitRequest(); });
}

}  // namespace

bool WorkerGate::Run(const std::function<void()>& action) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_) return false;
        ++busy_;
    }
    struct Leave {
        WorkerGate& gate;
        ~Leave() {
            std::lock_guard<std::mutex> guard(gate.lock_);
            if (--gate.busy_ == 0) gate.idle_.notify_all();
        }
    } leave{*this};
    action();
    return true;
}

bool WorkerGate::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !closed_;
}

void WorkerGate::Close() {
    std::unique_lock<std::mutex> guard(lock_);
    closed_ = true;
    idle_.wait(guard, [this] { return busy_ == 0; });
}

UpdateWorkers::UpdateWorkers()
    : server(BuiltInUpdateServer()), network(CurlNetwork()), gate(std::make_shared<WorkerGate>()) {}

// The records a worker may still reach are about to go.
UpdateWorkers::~UpdateWorkers() { gate->Close(); }

void StartUpdateCheck(PlatformServices& platform, SpeechOutput& speech, UpdateWorkers& workers,
                      bool quiet) {
    if (!workers.gate->IsOpen()) return;
    if (!workers.networkPrepared) {
        // Before the first worker exists, so no thread uses the network unprepared.
        if (workers.network.prepare) workers.network.prepare();
        workers.networkPrepared = true;
    }
    auto job = std::make_shared<const UpdateJob>(
        UpdateJob{workers.server, workers.network, workers.gate, quiet});
    platform.StartWorker([&platform, &speech, job]() noexcept {
        try {
            UpdateCheck(platform, speech, *job);
        } catch (...) {
            // Out of memory mid-check: the check ends silently, as a failed request does.
        }
    });
}

void StopUpdateWorkers(UpdateWorkers& workers) { workers.gate->Close(); }

}  // namespace tarrow
